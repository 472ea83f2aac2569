#include "guided/guidedidentify.h"

#include "device/registermap.h"
#include "device/sensorrangetable.h"
#include "device/valuecodec.h"
#include "guided/guidedvalidate.h"
#include "polling/command3answer.h"

#include <QTimer>

namespace {
// The reads, one register each as the calibration and device tabs send
// them (no longer read than a device is asked for elsewhere), then one
// command 3 for the kind of signal.
enum Step { ReadPmax, ReadPv, ReadPn, ReadSerial, ReadSettings, ReadVariables, StepCount };
}

GuidedIdentify::GuidedIdentify(GuidedLink *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    connect(m_link, &GuidedLink::replied, this, &GuidedIdentify::onReply);
    connect(m_link, &GuidedLink::lineLost, this, [this](const QString &reason) {
        if (!m_running)
            return;
        m_running = false;
        m_failures << QStringLiteral("линия потеряна: %1").arg(reason);
        emit finished();
    });
}

bool GuidedIdentify::start(const QVector<int> &addresses, SensorModel strainDefault)
{
    if (m_running || !m_link->isPortOpen())
        return false;
    m_addresses = addresses;
    m_strainDefault = strainDefault;
    m_devices.clear();
    m_failures.clear();
    m_index = 0;
    m_step = 0;
    m_running = true;
    QTimer::singleShot(0, this, &GuidedIdentify::next);
    return true;
}

void GuidedIdentify::next()
{
    if (!m_running)
        return;
    if (m_index >= m_addresses.size()) {
        m_running = false;
        emit finished();
        return;
    }
    const int address = m_addresses[m_index];
    if (m_step == 0) {
        m_current = GuidedDevice();
        m_current.address = address;
    }
    bool sent = false;
    const auto read = [&](uint16_t reg, int bytes) {
        return m_link->send(address, RegisterMap::CmdReadRegisters, ValueCodec::readData(reg, bytes));
    };
    switch (m_step) {
    case ReadPmax: sent = read(RegisterMap::MaxUpperLimit, 4); break;
    case ReadPv: sent = read(RegisterMap::UpperLimit, 4); break;
    case ReadPn: sent = read(RegisterMap::LowerLimit, 4); break;
    case ReadSerial: sent = read(RegisterMap::SerialNumber, 4); break;
    case ReadSettings: sent = read(RegisterMap::MeasureUnit, RegisterMap::DeviceSettingsBlockWidth); break;
    default: sent = m_link->send(address, 3); break;
    }
    if (!sent) {
        if (!m_link->isPortOpen()) {
            m_running = false;
            m_failures << QStringLiteral("порт не открыт");
            emit finished();
            return;
        }
        QTimer::singleShot(10, this, &GuidedIdentify::next);
    }
}

void GuidedIdentify::onReply(const GuidedReply &reply)
{
    if (!m_running || m_index >= m_addresses.size() || reply.address != m_addresses[m_index])
        return;
    GuidedDevice &d = m_current;
    bool ok = reply.ok();
    bool said = false;     // the reason is already in m_failures
    if (m_step == ReadSerial) {
        // A serial number that cannot be read leaves the device in the
        // plan; its reports say the number was not read.
        d.haveSerial = ok && ValueCodec::readU32(reply.data, 0, &d.serial);
        ok = true;
    } else if (ok && m_step == ReadPmax) {
        ok = ValueCodec::readFloat(reply.data, 0, &d.pmaxPa);
    } else if (ok && m_step == ReadPv) {
        ok = ValueCodec::readFloat(reply.data, 0, &d.pvPa);
    } else if (ok && m_step == ReadPn) {
        ok = ValueCodec::readFloat(reply.data, 0, &d.pnPa);
        if (ok && !d.rangeProblem().isEmpty())
            ok = false, said = true, m_failures << QStringLiteral("%1: %2").arg(d.addressText(), d.rangeProblem());
    } else if (ok && m_step == ReadSettings) {
        uint16_t unit = 0, type = 0, code = 0;
        ok = ValueCodec::readU16(reply.data, 0, &unit) && ValueCodec::readU16(reply.data, 2, &type)
             && ValueCodec::readU16(reply.data, 4, &code);
        d.unitCode = unit;
        d.deviceType = type;
        d.sensorCode = code;
        // The verification compares its pressure register with the bench.
        if (ok && !GuidedValidate::pressureUnit(unit))
            ok = false, said = true, m_failures << QStringLiteral("%1: прибор показывает не давление (единица «%2»); "
                                                     "установите единицу давления на вкладке прибора")
                                          .arg(d.addressText(), SensorRangeTable::unitText(unit));
    } else if (ok) {
        const Command3Answer a = Command3Answer::decode(reply.data);
        ok = a.complete();
        d.sensor = a.unitCode(1) == FrequencyUnitCode ? SensorModel::Capacitive : m_strainDefault;
    }
    if (!ok) {
        if (!reply.ok())
            m_failures << QStringLiteral("%1: %2").arg(d.addressText(), reply.why);
        else if (!said)
            m_failures << QStringLiteral("%1: неполный ответ").arg(d.addressText());
        ++m_index;
        m_step = 0;
    } else if (++m_step >= StepCount) {
        m_devices.append(d);
        ++m_index;
        m_step = 0;
    }
    QTimer::singleShot(0, this, &GuidedIdentify::next);
}
