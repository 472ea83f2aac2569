#pragma once
// The virtual transmitter line: a pseudo-terminal whose slave side any
// QSerialPort opens by path, with virtual transmitters at short addresses
// 0..15 answering on the master side, paced at the configured baud rate.
//
// CONTRACT (public API the tests, benchmarks and tesmar-sim code against; the
// implementation may add members but keeps these signatures).

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <memory>

namespace sim {

// One virtual transmitter: its register memory and the knobs tests turn.
class VirtualDevice
{
public:
    static constexpr int MemorySize = 0x200;

    explicit VirtualDevice(uint8_t address);

    uint8_t address() const;

    // Register memory (big-endian values, IEEE-754 single floats).
    QByteArray &memory();
    const QByteArray &memory() const;
    uint8_t u8(uint16_t reg) const;
    uint16_t u16(uint16_t reg) const;
    uint32_t u32(uint16_t reg) const;
    float f32(uint16_t reg) const;
    void setU8(uint16_t reg, uint8_t v);
    void setU16(uint16_t reg, uint16_t v);
    void setU32(uint16_t reg, uint32_t v);
    void setF32(uint16_t reg, float v);

    // What command 3 reports: loop current (mA) and the four variables with
    // their unit codes.
    float current = 12.0f;
    float variables[4] = {0, 0, 0, 0};
    uint8_t units[4] = {12, 12, 12, 12};

    // Knobs for tests
    int answerDelayMs = 0;          // extra turnaround before this device answers
    int silentFor = 0;              // stay silent for the next k requests addressed to it
    bool corruptNextChecksum = false;
    QVector<int> splitNextAnswer;   // chunk sizes for the next answer (rest in one chunk)
    QByteArray noiseBeforeNext;     // bytes sent before the next answer's preamble

    // Counters
    int requestsSeen = 0;           // requests addressed to this device
    QList<QByteArray> commandsSeen; // each request's command byte + data, in order
};

class VirtualLine : public QObject
{
    Q_OBJECT
public:
    explicit VirtualLine(QObject *parent = nullptr);
    ~VirtualLine() override;

    // Creates the pseudo-terminal. Returns false (and errorString()) on failure.
    bool open();
    void close();
    bool isOpen() const;
    QString portName() const;          // slave path, e.g. /dev/pts/7
    QString errorString() const;

    // Optional symlink to the slave side (removed on close).
    bool createLink(const QString &linkPath);

    // Pacing: 0 = instant; otherwise 11 bits per byte at this baud rate.
    void setBaud(int baud);
    int baud() const;
    // Delay between the end of a request and the start of the answer.
    void setTurnaroundMs(int ms);

    VirtualDevice *addDevice(uint8_t address);
    VirtualDevice *device(uint8_t address) const;
    void removeDevice(uint8_t address);
    QList<uint8_t> addresses() const;

    // Every complete request frame received (normalised: preamble included).
    QList<QByteArray> requests() const;
    void clearRequests();

signals:
    void requestReceived(const QByteArray &frame);
    void answerSent(const QByteArray &frame);
};

} // namespace sim
