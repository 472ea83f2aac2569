#pragma once
// A guided run on the virtual bench that stands at its calculation: two
// two-gauge transmitters whose points are all taken (or, for a restarted
// run, at a pressure point), the run's lines and writes collected, and the
// coefficients each transmitter held from the factory.

#include "common/guidedrig.h"
#include "common/pointfilesrig.h"
#include "sim/compensation.h"

#include <QDir>
#include <QJsonArray>

namespace guidedrig {

inline bool sameCoefficients(const sim::Compensation &k, const CalibrationCoefficients &w)
{
    return k.uk1h == w.Uk1h && k.uk2h == w.Uk2h && k.u10 == w.U10 && k.u20 == w.U20 && k.a == w.a && k.b == w.b
           && k.c == w.c && k.c43 == w.c43;
}

inline bool sameCoefficients(const sim::Compensation &k, const sim::Compensation &w)
{
    return k.uk1h == w.uk1h && k.uk2h == w.uk2h && k.u10 == w.u10 && k.u20 == w.u20 && k.a == w.a && k.b == w.b
           && k.c == w.c && k.c43 == w.c43;
}

// Two two-gauge transmitters whose run stands where its last point left
// it (phase: "calculating", or a capture phase for a restarted run), the
// point files in their folders; the run's lines and writes collected.
struct WriteRig
{
    Bench bench;
    std::unique_ptr<GuidedRun> run;
    QString runDir = QDir::current().filePath(QStringLiteral("run"));
    sim::Compensation factory[2];
    QStringList red, green;
    QVector<GuidedWriteRecord> writes;

    bool setUp(GuidedPhase phase, bool planSerial = true) { return prepare(phase, planSerial) && open(); }
    // The folder alone, for a window that opens it.
    bool prepare(GuidedPhase phase, bool planSerial = true)
    {
        if (!bench.open())
            return false;
        QVector<GuidedDevice> devices;
        for (int a : {1, 2}) {
            factory[a - 1] = bench.add(a, Kind::TwoGauge, uint32_t(a))->compensation();
            devices << bench.planned(a, SensorModel::TwoGauge);
        }
        devices[0].haveSerial = planSerial;
        GuidedPlan plan = GuidedPlan::defaults(devices);
        plan.baseName = QStringLiteral("lot");
        QString why;
        GuidedCursor c;
        {
            GuidedRun r(bench.guided.get());
            if (!r.create(runDir, plan, &why))
                return false;
            for (int i = 0; i < 2; ++i)
                if (!writeTwoGaugePointFiles(r.deviceDir(i), plan.baseName))
                    return false;
            c = r.cursor();
        }
        c.phase = phase;
        c.temperature = 2;
        return GuidedFiles::saveJson(GuidedFiles::stateFile(runDir), c.toJson(), &why);
    }
    // What a restarted program does.
    bool open()
    {
        run.reset();
        if (!bench.reconnect())
            return false;
        run.reset(new GuidedRun(bench.guided.get()));
        QObject::connect(run.get(), &GuidedRun::message, run.get(),
                         [this](const QString &t, bool failure) { (failure ? red : green) << t; });
        QObject::connect(run.get(), &GuidedRun::writeRecorded, run.get(),
                         [this](const GuidedWriteRecord &r) { writes << r; });
        // The synthetic points bend no fit much; a question is answered yes.
        QObject::connect(run.get(), &GuidedRun::changed, run.get(), [this] {
            if (run->phase() == GuidedPhase::ConfirmFit)
                QTimer::singleShot(0, run.get(), [this] { run->answerFit(true); });
        });
        QString why;
        return run->open(runDir, &why);
    }
    bool calculated() const
    {
        return !run->isWriting()
               && (run->phase() == GuidedPhase::WriteReview || run->phase() == GuidedPhase::SetVerifyTemperature);
    }
    sim::VirtualDevice *device(int address) { return bench.line->device(uint8_t(address)); }
    QJsonObject savedDevice(int i) const
    {
        QJsonObject o;
        QString why;
        GuidedFiles::loadJson(GuidedFiles::stateFile(runDir), &o, &why);
        return o.value(QStringLiteral("devices")).toArray().at(i).toObject();
    }
};

} // namespace guidedrig
