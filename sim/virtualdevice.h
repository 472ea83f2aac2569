#pragma once
// One virtual transmitter of the virtual line: its register memory, what it
// measures, how it answers a request, and the knobs tests turn to make it
// misbehave.

#include "sim/compensation.h"
#include "sim/sensormodel.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <cstdint>
#include <optional>

namespace sim {

// A request as the device side of the line saw it: checksum already checked,
// preamble stripped.
struct Request
{
    bool longFrame = false;
    QByteArray address;      // 1 byte (short) or 5 bytes (long), as received
    uint8_t command = 0;
    QByteArray data;
    int preambleCount = 0;
};

class VirtualDevice
{
public:
    static constexpr int MemorySize = 0x200;

    // Registers the simulator itself relies on.
    enum Register : uint16_t {
        RegMode = 0x0001,
        RegAddress = 0x0003,
        RegMovingAverage1 = 0x000B,
        RegMovingAverage2 = 0x000D,
        RegBalanceIdac = 0x0015,
        RegCurrentMode = 0x0017,
        RegFixedCurrentOn = 0x0019,
        RegFixedCurrentCode = 0x001A,
        RegPmax = 0x001E,
        RegPv = 0x0022,
        RegUk1h = 0x0026,
        RegUk2h = 0x002A,
        RegU10 = 0x002E,
        RegU20 = 0x0032,
        RegPn = 0x0036,
        RegSerial = 0x003A,
        RegA42 = 0x004E,
        RegBalanceDp = 0x005A,
        RegCurrent = 0x00C8,
        RegPressure = 0x00CC,
        RegRange = 0x00F2,
        RegUnit = 0x00F4,
        RegDeviceType = 0x00F6,
        RegSensorCode = 0x00F8,
        RegEepromPassword = 0x00FB,
        RegB42 = 0x0100,
        RegC42 = 0x010C,
        RegT42 = 0x0118,
        RegKsi = 0x0124,
        RegKdsp0 = 0x0128,
        RegC43 = 0x0154,
        RegFilterAmp = 0x0188,
        RegAk0 = 0x0190,
        RegKmin = 0x01A0,
        RegKmax = 0x01A4,
    };

    // First status byte of an answer. 0 is success; the other two are what
    // a field device says to a malformed or unknown request.
    enum ResponseCode : uint8_t {
        ResponseOk = 0,
        ResponseTooFewDataBytes = 5,
        ResponseCommandNotImplemented = 64,
    };

    explicit VirtualDevice(uint8_t address);

    uint8_t address() const;

    // Register memory (big-endian values, IEEE-754 single floats). Accessors
    // outside the memory read 0 and write nothing.
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

    // True when this device is the one a request's address names: the short
    // address byte without its master and burst bits, or the long address
    // 0F 02 A FD EF (its first byte likewise).
    bool isAddressedBy(const Request &request) const;

    // Executes a request addressed to this device and returns the answer
    // frame without preamble: delimiter, the request's address bytes,
    // command, byte count, the two status bytes, data and checksum. The
    // byte count counts only the data after the status bytes, as this
    // family does. Appends to commandsSeen; the knobs and requestsSeen are
    // the line's business, since they decide whether a request is heard.
    QByteArray answer(const Request &request);

    // Sets the measured pressure (kPa) and the loop current that goes with
    // it on the configured range (Pn..Pv, 4..20 mA, clamped to 3.8..21 mA).
    void setPressure(float kPa);

    // Sensor physics. Without a sensor (the default) the measured values
    // below are plain fields that tests set. With one, every request first
    // takes a fresh (noisy) reading of the bench, puts it into the four
    // variables, and computes the pressure and the loop current from the
    // coefficient registers with the compensation the firmware of that
    // sensor uses (sim/compensation.h).
    //
    // setSensor also does what a factory does for a new unit of that type:
    // Pmax, the range (Pn = 0, Pv = Pmax), the nominal, uncompensated
    // coefficients, and the cell stated in the high byte of the sensor code
    // word 0x00F8 (sensorCodeWord; the range code in the low byte is kept).
    // A calibration then overwrites the coefficients.
    void setSensor(const SensorModel &sensor);
    void clearSensor();
    SensorModel *sensor();
    const SensorModel *sensor() const;
    void setBench(const BenchState &bench);
    void setBench(double pPlusKPa, double pMinusKPa, double temperatureC);
    BenchState bench() const;
    // Brings the measured values and their registers up to date now, as
    // the device does before executing every request.
    void measureNow();

    // The coefficient registers as one record, and writing them all (Pmax
    // included).
    Compensation compensation() const;
    void setCompensation(const Compensation &k);

    // What the device measures. Without a sensor these are plain values
    // tests set; the command-3 answer is built from them, and the registers
    // 0x00C8 and 0x00CC are kept equal to them just before every request is
    // executed (syncMeasuredRegisters: a changed field wins, else a changed
    // register is taken over). With a sensor they are computed there.
    float current = 12.0f;          // loop current, mA
    float pressure = 3.15f;         // pressure in the device unit (kPa); also 0x00CC
    // What command 3 reports besides the current: the four variables with
    // their unit codes (36: millivolts; the bridge and temperature signals).
    float variables[4] = {10.25f, 512.5f, 9.75f, 498.0f};
    uint8_t units[4] = {36, 36, 36, 36};

    // Knobs for tests
    int answerDelayMs = 0;          // extra turnaround before this device answers
    int silentFor = 0;              // the next k requests addressed to it are not heard
    // A supply or cable cut in the middle of a write: the device carries out
    // this many more command-91 writes and then hears nothing at all until
    // the knob is set back to -1 (-1: never cut).
    int writesBeforeCut = -1;
    bool corruptNextChecksum = false;
    QVector<int> splitNextAnswer;   // chunk sizes for the next answer (rest in one chunk)
    QByteArray noiseBeforeNext;     // bytes sent before the next answer's preamble

    // A misbehaviour that hits the next `next` answers and, besides, every
    // `every`-th answer the device gives (counted by answersGiven).
    struct Fault
    {
        int next = 0;
        int every = 0;
    };
    Fault late;                     // the answer comes lateByMs later than it would
    int lateByMs = 0;
    Fault duplicate;                // the answer goes out twice, back to back
    Fault otherAddress;             // the answer names strayAddress instead
    int strayAddress = -1;          // -1: the device's address + 1 (0..15)
    Fault otherCommand;             // the answer names strayCommand instead
    int strayCommand = -1;          // -1: the request's command with bit 0 flipped
    // True when the fault hits the answer being given now (uses up one of
    // `next`). The line asks once per answer, after counting it.
    bool hits(Fault &fault);

    // The answer's response code: the hit answers carry responseCode instead
    // of success, for the commands listed (every command when empty). A
    // warning code (8, 14, ...) is carried out and answered with its data; any
    // other code leaves the device as it was and answers with no data.
    Fault respond;
    uint8_t responseCode = 7;
    QVector<int> respondTo;
    // And, for register reads and writes, only those that start at one of
    // these registers (every register when empty): one read of several a
    // master sends with the same command can be refused alone.
    QVector<int> respondToRegisters;
    // Bits of the address's first byte a device sets in its answer (the
    // master bit 0x80, the burst bit 0x40), on the hit answers.
    Fault echoAddressBits;
    uint8_t echoedBits = 0x80;
    // A write of a new short address into register 0x0003 takes effect at
    // once: the device answers that write, and everything after, from the
    // new address.
    bool answersFromNewAddress = false;

    // Counters
    int requestsSeen = 0;           // requests addressed to it, heard or not
    int answersGiven = 0;           // answers queued, duplicates counted once
    QList<QByteArray> commandsSeen; // command byte + data of each executed request
                                    // (a refused one is not executed)
    static constexpr int MaxCommandsKept = 10000;

private:
    void fillDefaults();
    QByteArray frameAnswer(const Request &request, const QByteArray &address, uint8_t response, QByteArray data);
    void syncMeasuredRegisters();
    void measure();
    QByteArray identity() const;
    QByteArray measurements() const;
    QByteArray readRegisters(const QByteArray &requestData) const;
    QByteArray writeRegisters(const QByteArray &requestData);

    uint8_t m_address;
    QByteArray m_memory;
    bool m_synced = false;
    uint32_t m_syncedCurrent = 0;   // bits of the values at the last sync
    uint32_t m_syncedPressure = 0;
    std::optional<SensorModel> m_sensor;
    BenchState m_bench;
};

} // namespace sim
