#pragma once
// The virtual transmitter line: a pseudo-terminal whose slave side any
// QSerialPort opens by path, with virtual transmitters at short addresses
// 0..15 answering on the master side, paced at the configured baud rate.
//
// The line lives on the event loop of the thread that created it and never
// blocks: the master side is non-blocking, reads come through a socket
// notifier and answers go out on single-shot timers against absolute
// deadlines. Tests can therefore run it in the same thread as the code under
// test.

#include "sim/requestframer.h"
#include "sim/virtualdevice.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace sim {

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

    // Optional symlink to the slave side (removed on close). A stale symlink
    // at the path is replaced; any other file there is left alone (false).
    bool createLink(const QString &linkPath);
    QString linkPath() const;

    // The line disappears as a pulled USB adapter does: both ends of the
    // pseudo-terminal are closed and the symlink removed, so a port still
    // open on the slave side sees a hang-up and read errors. The devices
    // and their memory stay.
    void vanish();
    // Plugs the line back in: a new pseudo-terminal (another slave path)
    // with the symlink the vanished line had, if any, pointing at it.
    bool reappear();

    // Pacing: 0 = instant; otherwise 11 bits per byte (8O1) at this baud rate.
    void setBaud(int baud);
    int baud() const;
    // Delay between the end of a request and the start of the answer.
    void setTurnaroundMs(int ms);
    int turnaroundMs() const;
    // Number of 0xFF bytes in front of every answer (default 5).
    void setAnswerPreamble(int count);
    int answerPreamble() const;
    // At baud 0, the pause between the chunks of a split answer, so that
    // they reach the reader as separate reads (default 5 ms).
    void setChunkGapMs(int ms);

    // Adds a device at a short address 0..15 (returns the existing one when
    // the address is taken, nullptr for addresses above 15).
    VirtualDevice *addDevice(uint8_t address);
    VirtualDevice *device(uint8_t address) const;
    void removeDevice(uint8_t address);
    QList<uint8_t> addresses() const;

    // The bench all devices of the line sit on: reference pressures in kPa
    // and temperature in degrees. Devices added later start on it too. It
    // matters only to devices with a sensor (VirtualDevice::setSensor).
    void setBench(double pPlusKPa, double pMinusKPa, double temperatureC);
    BenchState bench() const;

    // Puts bytes on the line as they are, as a stray device or noise would:
    // after the answer on the wire, if any (reported by answerSent too).
    void sendRaw(const QByteArray &bytes);

    // Stray bytes around a request, as an RS-485 converter switching its
    // direction (0xFF runs) or line noise puts them there: at the moment RTS
    // rises, when a request's first byte arrives, or when the request is
    // complete (before its answer). `times` of them (-1: at every request).
    enum class StrayMoment { Never, RtsRaised, RequestStart, RequestComplete };
    void setStrayBytes(const QByteArray &bytes, StrayMoment when, int times = -1);
    // RTS rising at the master. A pseudo-terminal carries no RTS; a rig that
    // wants the converter's noise at that moment calls this from the link's
    // RTS step.
    void rtsRaised();

    // Faults of a misbehaving line, counted over every answer the line's
    // devices give (1, 2, ... in the order they are given): every
    // dropEvery-th is lost, every corruptEvery-th arrives with a damaged
    // checksum, every noiseEvery-th has `noise` in front of it and every
    // lateEvery-th comes lateMs later. 0 leaves a fault out.
    struct LineFaults
    {
        int dropEvery = 0;
        int corruptEvery = 0;
        int noiseEvery = 0;
        QByteArray noise;
        int lateEvery = 0;
        int lateMs = 0;
    };
    void setLineFaults(const LineFaults &faults);
    // Answers given since the line opened, the lost ones included.
    int answersGiven() const;

    // Every complete request frame received, checksum good or not, as it
    // arrived from its first preamble byte (the most recent 10000).
    QList<QByteArray> requests() const;
    void clearRequests();
    // True while answers are queued or being sent.
    bool isTransmitting() const;

signals:
    void requestReceived(const QByteArray &frame);
    // A client closed the slave side (or was killed holding it).
    void clientClosed();
    // An answer frame (preamble to checksum, without noise) has been
    // written completely.
    void answerSent(const QByteArray &frame);

private:
    struct Outgoing
    {
        QByteArray frame;              // what answerSent reports
        QVector<QByteArray> chunks;    // what goes on the wire, in writes
        qint64 earliestNs = 0;         // end of request + turnaround
    };

    void onReadable();
    void watchClients();
    void onClientClosed();
    void onWritable();
    void handleFrame(const RequestFramer::Frame &frame);
    void strayAt(StrayMoment moment);
    void queueAnswer(VirtualDevice *device, const Request &request);
    void enqueueOutgoing(Outgoing out);
    void pump();
    bool writeSome(const char *data, int size, int *written);
    void scheduleAt(qint64 dueNs);
    qint64 nowNs() const;
    qint64 byteTimeNs() const;

    int m_masterFd = -1;
    int m_slaveFd = -1;               // held so the master never sees a hang-up
    QString m_portName;
    QString m_linkPath;
    QString m_vanishedLinkPath;
    QString m_error;
    int m_baud = 0;
    int m_turnaroundMs = 0;
    int m_preamble = 5;
    int m_chunkGapMs = 5;
    QByteArray m_stray;
    StrayMoment m_strayMoment = StrayMoment::Never;
    int m_strayTimes = 0;
    LineFaults m_faults;
    int m_answersGiven = 0;

    std::map<uint8_t, std::unique_ptr<VirtualDevice>> m_devices;
    BenchState m_bench;
    QList<QByteArray> m_requests;
    RequestFramer m_framer;

    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QSocketNotifier *m_closeNotifier = nullptr;
    int m_closeWatchFd = -1;          // inotify: clients closing the slave side
    QTimer *m_pumpTimer = nullptr;
    QTimer *m_readRetryTimer = nullptr;
    QElapsedTimer m_clock;

    // The answer being sent and the ones waiting behind it: the line is half
    // duplex, so answers go out one after the other.
    std::deque<Outgoing> m_outgoing;
    bool m_active = false;            // front of m_outgoing has started
    qint64 m_startNs = 0;             // when its first byte began
    int m_chunk = 0;                  // next chunk to write
    int m_offset = 0;                 // bytes of that chunk already written
    int m_sentTotal = 0;              // bytes of the answer already written
    qint64 m_lineFreeNs = 0;          // when the previous answer's last byte ended
};

} // namespace sim
