#include "sim/virtualdevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace sim {

namespace {

constexpr uint8_t ShortDelimiter = 0x02;
constexpr uint8_t LongDelimiter = 0x82;

enum Command : uint8_t {
    ReadIdentity = 0,
    ReadCurrentAndVariables = 3,
    SetUpperRangeValue = 36,
    SetLowerRangeValue = 37,
    ResetDevice = 42,
    SetPrimaryVariableZero = 43,
    ReadRegisters = 51,
    WriteRegisters = 91,
};

void appendF32(QByteArray &out, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((bits >> shift) & 0xFF));
}

} // namespace

VirtualDevice::VirtualDevice(uint8_t address)
    : m_address(address), m_memory(MemorySize, '\0')
{
    fillDefaults();
    syncMeasuredRegisters();
}

uint8_t VirtualDevice::address() const { return m_address; }

bool VirtualDevice::hits(Fault &fault)
{
    if (fault.next > 0) {
        --fault.next;
        return true;
    }
    return fault.every > 0 && answersGiven > 0 && answersGiven % fault.every == 0;
}

QByteArray &VirtualDevice::memory() { return m_memory; }
const QByteArray &VirtualDevice::memory() const { return m_memory; }

uint8_t VirtualDevice::u8(uint16_t reg) const
{
    return reg < m_memory.size() ? uint8_t(m_memory.at(reg)) : 0;
}

uint16_t VirtualDevice::u16(uint16_t reg) const
{
    return uint16_t(u8(reg) << 8 | u8(reg + 1));
}

uint32_t VirtualDevice::u32(uint16_t reg) const
{
    return uint32_t(u16(reg)) << 16 | u16(reg + 2);
}

float VirtualDevice::f32(uint16_t reg) const
{
    const uint32_t bits = u32(reg);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void VirtualDevice::setU8(uint16_t reg, uint8_t v)
{
    if (reg < m_memory.size())
        m_memory[reg] = char(v);
}

void VirtualDevice::setU16(uint16_t reg, uint16_t v)
{
    setU8(reg, uint8_t(v >> 8));
    setU8(reg + 1, uint8_t(v));
}

void VirtualDevice::setU32(uint16_t reg, uint32_t v)
{
    setU16(reg, uint16_t(v >> 16));
    setU16(reg + 2, uint16_t(v));
}

void VirtualDevice::setF32(uint16_t reg, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    setU32(reg, bits);
}

void VirtualDevice::fillDefaults()
{
    // A gauge-pressure transmitter (type 1) with the 6.3 kPa sensor (code 1),
    // set to its widest range and reporting in kPa.
    setU8(RegMode, 1);
    setU8(RegAddress, m_address);
    setU8(RegMovingAverage1, 8);
    setU8(RegMovingAverage2, 4);
    setU8(RegBalanceIdac, 128);
    setU8(RegCurrentMode, 0);
    setU8(RegFixedCurrentOn, 0);
    setU16(RegFixedCurrentCode, 0);
    setF32(RegPmax, 6300.0f);
    setF32(RegPv, 6300.0f);
    setF32(RegUk1h, 25.0f);
    setF32(RegUk2h, 500.0f);
    setF32(RegU10, 0.5f);
    setF32(RegU20, 480.0f);
    setF32(RegPn, 0.0f);
    setU32(RegSerial, 3920100u + m_address);
    const float identityPoly[3] = {0.0f, 1.0f, 0.0f}; // x2, x1, x0
    for (int i = 0; i < 3; ++i) {
        setF32(uint16_t(RegA42 + 4 * i), identityPoly[i]);
        setF32(uint16_t(RegB42 + 4 * i), identityPoly[i]);
        setF32(uint16_t(RegC42 + 4 * i), identityPoly[i]);
        setF32(uint16_t(RegT42 + 4 * i), identityPoly[i]);
    }
    setU32(RegBalanceDp, 0);
    setU16(RegRange, 0);
    setU16(RegUnit, 1);
    setU16(RegDeviceType, 1);
    setU16(RegSensorCode, 1);
    setU8(RegEepromPassword, 0);
    setF32(RegKsi, 1.0f);
    for (int k = 0; k <= 10; ++k)
        setF32(uint16_t(RegKdsp0 + 4 * k), 1.0f);
    setF32(RegC43, 0.0f);
    setF32(RegFilterAmp, 5.0f);
    const float ak[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    for (int i = 0; i < 4; ++i)
        setF32(uint16_t(RegAk0 + 4 * i), ak[i]);
    setF32(RegKmin, 0.5f);
    setF32(RegKmax, 1.5f);
}

void VirtualDevice::setPressure(float kPa)
{
    pressure = kPa;
    const float lowPa = f32(RegPn);
    const float highPa = f32(RegPv);
    float mA = 4.0f;
    if (highPa > lowPa)
        mA = 4.0f + 16.0f * (kPa * 1000.0f - lowPa) / (highPa - lowPa);
    current = std::clamp(mA, 3.8f, 21.0f);
}

void VirtualDevice::setSensor(const SensorModel &sensor)
{
    m_sensor = sensor;
    setCompensation(nominalCompensation(sensor));
    setF32(RegPv, sensor.ratedPmaxPa());
    setF32(RegPn, 0.0f);
    setU16(RegSensorCode, sensorCodeWord(sensor.kind(), u8(RegSensorCode + 1)));
    const auto codes = sensor.unitCodes();
    std::copy(codes.begin(), codes.end(), units);
    measure();
}

void VirtualDevice::clearSensor() { m_sensor.reset(); }
SensorModel *VirtualDevice::sensor() { return m_sensor ? &*m_sensor : nullptr; }
const SensorModel *VirtualDevice::sensor() const { return m_sensor ? &*m_sensor : nullptr; }
void VirtualDevice::setBench(const BenchState &bench) { m_bench = bench; }

void VirtualDevice::setBench(double pPlusKPa, double pMinusKPa, double temperatureC)
{
    m_bench = BenchState{pPlusKPa, pMinusKPa, temperatureC};
}

BenchState VirtualDevice::bench() const { return m_bench; }
void VirtualDevice::measureNow() { syncMeasuredRegisters(); }

Compensation VirtualDevice::compensation() const
{
    Compensation k;
    k.pmax = f32(RegPmax);
    k.uk1h = f32(RegUk1h);
    k.uk2h = f32(RegUk2h);
    k.u10 = f32(RegU10);
    k.u20 = f32(RegU20);
    for (int i = 0; i < 3; ++i) {
        k.a[size_t(i)] = f32(uint16_t(RegA42 + 4 * i));
        k.b[size_t(i)] = f32(uint16_t(RegB42 + 4 * i));
        k.c[size_t(i)] = f32(uint16_t(RegC42 + 4 * i));
    }
    k.c43 = f32(RegC43);
    return k;
}

void VirtualDevice::setCompensation(const Compensation &k)
{
    setF32(RegPmax, k.pmax);
    setF32(RegUk1h, k.uk1h);
    setF32(RegUk2h, k.uk2h);
    setF32(RegU10, k.u10);
    setF32(RegU20, k.u20);
    for (int i = 0; i < 3; ++i) {
        setF32(uint16_t(RegA42 + 4 * i), k.a[size_t(i)]);
        setF32(uint16_t(RegB42 + 4 * i), k.b[size_t(i)]);
        setF32(uint16_t(RegC42 + 4 * i), k.c[size_t(i)]);
    }
    setF32(RegC43, k.c43);
}

// One measurement cycle of a device with a sensor: read the bench, compute
// the pressure as the firmware does, and drive the loop. The signals enter
// the compensation as the device reports them (the 32-bit values of the
// command-3 answer) times 1000, the same numbers the calibration fitted.
void VirtualDevice::measure()
{
    const SensorModel::Variables v = m_sensor->read(m_bench);
    for (int i = 0; i < 4; ++i)
        variables[i] = float(v[size_t(i)]);
    const double pa = compensatedPressurePa(compensationFor(m_sensor->kind()), compensation(),
                                            double(variables[0]) * 1000.0,
                                            double(variables[1]) * 1000.0,
                                            double(variables[3]) * 1000.0);
    if (std::isfinite(pa)) {
        setPressure(float(pa / 1000.0));
    } else {
        // Coefficients that give no number: report it and signal a fault
        // on the loop below the measuring range.
        pressure = std::numeric_limits<float>::quiet_NaN();
        current = 3.6f;
    }
    if (m_sensor->isCapacitive())
        variables[2] = pressure;
    std::memcpy(&m_syncedCurrent, &current, sizeof m_syncedCurrent);
    std::memcpy(&m_syncedPressure, &pressure, sizeof m_syncedPressure);
    setU32(RegCurrent, m_syncedCurrent);
    setU32(RegPressure, m_syncedPressure);
    m_synced = true;
}

// The measured values and their registers are kept as one: a value set on
// the field since the last look wins; otherwise a register changed directly
// in memory (by a test or a command-91 write) is taken over into the field.
void VirtualDevice::syncMeasuredRegisters()
{
    if (m_sensor) {
        measure();
        return;
    }
    const auto sync = [this](float &field, uint32_t &lastBits, uint16_t reg) {
        uint32_t fieldBits;
        std::memcpy(&fieldBits, &field, sizeof fieldBits);
        if (m_synced && fieldBits == lastBits && u32(reg) != lastBits) {
            fieldBits = u32(reg);
            std::memcpy(&field, &fieldBits, sizeof field);
        }
        setU32(reg, fieldBits);
        lastBits = fieldBits;
    };
    sync(current, m_syncedCurrent, RegCurrent);
    sync(pressure, m_syncedPressure, RegPressure);
    m_synced = true;
}

bool VirtualDevice::isAddressedBy(const Request &request) const
{
    if (!request.longFrame)
        return request.address.size() == 1 && (uint8_t(request.address.at(0)) & 0x3F) == m_address;
    if (request.address.size() != 5)
        return false;
    QByteArray head = request.address;
    head[0] = char(head.at(0) & 0x3F);
    const QByteArray expected("\x0F\x02" + QByteArray(1, char(m_address)) + "\xFD\xEF", 5);
    return head == expected;
}

QByteArray VirtualDevice::answer(const Request &request)
{
    // The knob's code for this answer, if it is hit (the line counts the
    // answer after this call, so this one is number answersGiven + 1).
    int forced = -1;
    // The register a read or write starts at; -1 for other commands.
    const bool registerCommand = request.command == ReadRegisters || request.command == WriteRegisters;
    const int reg = registerCommand && request.data.size() >= 2
        ? uint8_t(request.data.at(0)) << 8 | uint8_t(request.data.at(1)) : -1;
    if ((respondTo.isEmpty() || respondTo.contains(request.command))
        && (respondToRegisters.isEmpty() || respondToRegisters.contains(reg))) {
        const int given = answersGiven;
        ++answersGiven;
        if (hits(respond))
            forced = responseCode;
        answersGiven = given;
    }
    // A field device carries out a command it answers with a warning, and
    // leaves everything as it was when it refuses or did not hear it right.
    const bool warning = forced == 8 || forced == 14 || (forced >= 24 && forced <= 27) || forced == 30
        || forced == 31 || (forced >= 96 && forced <= 111);
    const bool refused = forced > 0 && !warning;
    QByteArray address = request.address;
    if (refused)
        return frameAnswer(request, address, uint8_t(forced), QByteArray());

    commandsSeen.append(char(request.command) + request.data);
    if (commandsSeen.size() > MaxCommandsKept)
        commandsSeen.removeFirst();
    syncMeasuredRegisters();

    uint8_t response = forced > 0 ? uint8_t(forced) : ResponseOk;
    QByteArray data;
    switch (request.command) {
    case ReadIdentity:
        data = identity();
        break;
    case ReadCurrentAndVariables:
        data = measurements();
        break;
    case SetUpperRangeValue:
    case SetLowerRangeValue:
    case ResetDevice:
    case SetPrimaryVariableZero:
        // Acknowledged without data; tests see them in commandsSeen.
        break;
    case ReadRegisters:
        if (request.data.size() < 3)
            response = ResponseTooFewDataBytes;
        else
            data = readRegisters(request.data);
        break;
    case WriteRegisters:
        if (request.data.size() < 2)
            response = ResponseTooFewDataBytes;
        else
            data = writeRegisters(request.data);
        if (answersFromNewAddress && reg == RegAddress && request.data.size() >= 3 && !request.longFrame) {
            m_address = u8(RegAddress) & 0x3F;
            address = QByteArray(1, char(m_address));
        }
        break;
    default:
        response = ResponseCommandNotImplemented;
        break;
    }
    return frameAnswer(request, address, response, data);
}

QByteArray VirtualDevice::frameAnswer(const Request &request, const QByteArray &address, uint8_t response,
                                      QByteArray data)
{
    // The byte count is one byte; a longer answer cannot be framed.
    data.truncate(255);

    QByteArray frame;
    frame.append(char(request.longFrame ? LongDelimiter : ShortDelimiter));
    frame.append(address);
    frame.append(char(request.command));
    frame.append(char(data.size()));
    frame.append(char(response));
    frame.append(char(0)); // device status: nothing to report
    frame.append(data);
    uint8_t checksum = 0;
    for (char c : qAsConst(frame))
        checksum ^= uint8_t(c);
    frame.append(char(checksum));
    return frame;
}

QByteArray VirtualDevice::identity() const
{
    const uint32_t serial = u32(RegSerial);
    QByteArray data;
    data.append(char(254));              // expanded device type marker
    data.append(char(0x60));             // manufacturer
    data.append(char(u8(RegDeviceType + 1)));
    data.append(char(5));                // preambles wanted from the master
    data.append(char(5));                // universal command revision
    data.append(char(1));                // device revision
    data.append(char(1));                // software revision
    data.append(char(0x08));             // hardware revision, signalling code
    data.append(char(0));                // flags
    data.append(char((serial >> 16) & 0xFF)); // device id
    data.append(char((serial >> 8) & 0xFF));
    data.append(char(serial & 0xFF));
    return data;
}

QByteArray VirtualDevice::measurements() const
{
    QByteArray data;
    appendF32(data, current);
    for (int i = 0; i < 4; ++i) {
        data.append(char(units[i]));
        appendF32(data, variables[i]);
    }
    return data;
}

QByteArray VirtualDevice::readRegisters(const QByteArray &requestData) const
{
    const int reg = uint8_t(requestData.at(0)) << 8 | uint8_t(requestData.at(1));
    const int count = uint8_t(requestData.at(2));
    // Bytes past the end of the memory read as 0, like unmapped addresses.
    QByteArray data(count, '\0');
    for (int i = 0; i < count && reg + i < m_memory.size(); ++i)
        data[i] = m_memory.at(reg + i);
    return data;
}

QByteArray VirtualDevice::writeRegisters(const QByteArray &requestData)
{
    const int reg = uint8_t(requestData.at(0)) << 8 | uint8_t(requestData.at(1));
    for (int i = 2; i < requestData.size() && reg + i - 2 < m_memory.size(); ++i)
        m_memory[reg + i - 2] = requestData.at(i);
    // The answer echoes the request data: register address and the bytes as
    // written, so a master can check what was applied.
    return requestData;
}

} // namespace sim
