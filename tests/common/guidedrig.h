#pragma once
// A guided run on the virtual bench: transmitters with sensor physics on a
// virtual line, the link to them, and an operator who answers every request
// of the run by setting each device's bench as the plan says and
// confirming. Tests, the GUI test and the bench share it.

#include "guided/guidedlink.h"
#include "guided/guidedrun.h"
#include "link/protocolcomhart.h"
#include "sim/sensormodel.h"
#include "sim/virtualline.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace guidedrig {

using Kind = sim::SensorModel::Kind;

inline SensorModel calcModelFor(Kind kind)
{
    switch (kind) {
    case Kind::TwoGauge: return SensorModel::TwoGauge;
    case Kind::SingleGauge: return SensorModel::SingleGauge;
    default: return SensorModel::Capacitive;
    }
}

// The line and the link; reconnect() is what a restarted program does.
struct Bench
{
    std::unique_ptr<sim::VirtualLine> line;
    std::unique_ptr<protocolComHart> link;
    std::unique_ptr<GuidedLink> guided;
    double temperature = 23;

    bool open(int baud = 0) { return openLine(baud) && reconnect(); }
    // The line alone, for a window that brings its own link.
    bool openLine(int baud = 0)
    {
        line.reset(new sim::VirtualLine);
        if (!line->open())
            return false;
        line->setBaud(baud);
        return true;
    }
    bool reconnect()
    {
        guided.reset();
        link.reset(new protocolComHart(nullptr, QStringLiteral("no-such-file")));
        if (!link->openPort(line->portName()))
            return false;
        guided.reset(new GuidedLink(link.get()));
        guided->setFrameForm(5, false);
        const int slow = line->baud() > 0 ? 4000 / std::max(1, line->baud() / 300) : 0;
        guided->setTiming(20, 300 + slow, 2);
        return true;
    }
    sim::VirtualDevice *add(int address, Kind kind, uint32_t seed)
    {
        sim::VirtualDevice *d = line->addDevice(uint8_t(address));
        d->setSensor(sim::SensorModel::make(kind, seed));
        d->setU32(sim::VirtualDevice::RegSerial, 3920000u + uint32_t(address));
        return d;
    }
    // The plan's device as identification would find it (the sensor type
    // as given, which an operator may get wrong).
    GuidedDevice planned(int address, SensorModel sensor) const
    {
        const sim::VirtualDevice *d = line->device(uint8_t(address));
        GuidedDevice g;
        g.address = address;
        g.haveSerial = true;
        g.serial = d->u32(sim::VirtualDevice::RegSerial);
        g.deviceType = d->u16(sim::VirtualDevice::RegDeviceType);
        g.sensorCode = d->u16(sim::VirtualDevice::RegSensorCode);
        g.sensor = sensor;
        g.pmaxPa = d->f32(sim::VirtualDevice::RegPmax);
        g.pvPa = d->f32(sim::VirtualDevice::RegPv);
        g.pnPa = d->f32(sim::VirtualDevice::RegPn);
        return g;
    }
    // A two-gauge unit at 01 and a capacitive one at 02, planned as they are.
    GuidedPlan addMixedPair()
    {
        add(1, Kind::TwoGauge, 1);
        add(2, Kind::CapacitiveNear, 2);
        return GuidedPlan::defaults({planned(1, SensorModel::TwoGauge), planned(2, SensorModel::Capacitive)});
    }
};

// The run's lines said in red, collected as they come.
inline void collectFailures(GuidedRun *run, QStringList *into)
{
    QObject::connect(run, &GuidedRun::message, run, [into](const QString &t, bool failure) {
        if (failure)
            *into << t;
    });
}

// Answers the run's requests as they come: the chamber temperature for
// every device, each device's chambers as the plan says for its sensor
// type, the operator's yes to a result beyond the gate. beforeConfirm may
// change the bench or the devices, or end the test's run (return false:
// the request is left unanswered).
class Operator : public QObject
{
public:
    Operator(Bench *bench, GuidedRun *run)
        : m_bench(bench)
    {
        attach(run);
    }
    void attach(GuidedRun *run)
    {
        m_run = run;
        m_lastKey.clear();
        connect(run, &GuidedRun::changed, this, [this] { QTimer::singleShot(0, this, [this] { act(); }); });
        QTimer::singleShot(0, this, [this] { act(); });
    }
    std::function<bool(GuidedRun *)> beforeConfirm;
    // The reference's actual reading to type at a capture point (NaN: the
    // nominal pressure is taken); the bench is set to it.
    std::function<double(const GuidedCursor &)> reading;
    int fitQuestions = 0;
    int confirmations = 0;

private:
    void setPressure(double kPa, bool verification)
    {
        const GuidedPlan &plan = m_run->plan();
        for (const GuidedDevice &d : plan.devices) {
            const std::array<double, 2> p =
                verification ? std::array<double, 2>{kPa, 0} : plan.chambersFor(d.sensor, kPa);
            m_bench->line->device(uint8_t(d.address))->setBench(p[0], p[1], m_bench->temperature);
        }
    }
    void setTemperature(double c)
    {
        m_bench->temperature = c;
        for (uint8_t a : m_bench->line->addresses()) {
            sim::BenchState b = m_bench->line->device(a)->bench();
            m_bench->line->device(a)->setBench(b.pPlusKPa, b.pMinusKPa, c);
        }
    }
    void act()
    {
        if (!m_run || m_run->isPaused() || !m_run->isWaitingForOperator())
            return;
        const GuidedCursor &c = m_run->cursor();
        const QString key = QStringLiteral("%1/%2/%3/%4/%5").arg(int(c.phase)).arg(c.temperature).arg(c.point)
                                .arg(c.verifyStep).arg(c.calcDevice);
        if (key == m_lastKey)
            return;
        m_lastKey = key;
        if (beforeConfirm && !beforeConfirm(m_run))
            return;
        const GuidedPlan &plan = m_run->plan();
        switch (c.phase) {
        case GuidedPhase::Ready:
            m_run->start();
            return;
        case GuidedPhase::SetTemperature:
            setTemperature(plan.temperatures[c.temperature].celsius);
            break;
        case GuidedPhase::SetVerifyTemperature:
            setTemperature(plan.temperatures[plan.verifyTemperature].celsius);
            break;
        case GuidedPhase::SetPressure: {
            const double typed = reading ? reading(c) : std::nan("");
            setPressure(std::isnan(typed) ? plan.pointKPa(c.point) : typed, false);
            ++confirmations;
            m_run->confirm(typed);
            return;
        }
        case GuidedPhase::SetVerifyPressure:
            setPressure(plan.verifyKPa(c.verifyStep), true);
            break;
        case GuidedPhase::ConfirmFit:
            ++fitQuestions;
            m_run->answerFit(true);
            return;
        case GuidedPhase::WriteReview:   // on to verification without the devices not written
            break;
        default:
            return;
        }
        ++confirmations;
        m_run->confirm();
    }

    Bench *m_bench;
    GuidedRun *m_run = nullptr;
    QString m_lastKey;
};

} // namespace guidedrig
