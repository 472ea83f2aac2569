// The guided calibration run driven without widgets over the virtual line:
// transmitters with sensor physics through three temperatures, the
// calculation written into them, and the verification at the end; with a
// device going silent, the program killed and restarted, and a device
// planned with the wrong sensor type.

#include "common/files.h"
#include "common/guidedrig.h"
#include "common/sandbox.h"

#include "guided/guidedidentify.h"
#include "device/registermap.h"
#include "guided/guidedreport.h"
#include "sim/compensation.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace guidedrig;

namespace {

struct Unit
{
    int address;
    Kind kind;
};
const Unit Batch[] = {{1, Kind::TwoGauge}, {2, Kind::SingleGauge}, {3, Kind::CapacitiveNear}, {4, Kind::CapacitiveFar}};

} // namespace

class TestGuidedRun : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void prompts_data();
    void prompts();
    void planRefusals_data();
    void planRefusals();
    void wholeRun_data();
    void wholeRun();
    void restartFinishesPointOnce();
    void fitGate_data();
    void fitGate();
    void identify();
    void operatorChoices_data();
    void operatorChoices();
    void brokenFolder_data();
    void brokenFolder();

private:
    Sandbox m_sandbox;
};

void TestGuidedRun::prompts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    GuidedPlan plan = GuidedPlan::defaults({});
    GuidedDevice cap;
    cap.sensor = SensorModel::Capacitive;
    plan.devices = {cap};
    QTest::newRow("cold") << GuidedPlan::temperaturePrompt(-40) << QStringLiteral("Установите температуру −40 °C в камере");
    QTest::newRow("warm") << GuidedPlan::temperaturePrompt(80) << QStringLiteral("Установите температуру 80 °C в камере");
    QTest::newRow("plus only") << plan.pressurePrompt(50) << QStringLiteral("Подайте P+ = 50 кПа, P- = 0");
    GuidedDevice two;
    two.address = 1;
    plan.devices.append(two);
    QTest::newRow("mixed batch") << plan.pressurePrompt(50)
                                 << QStringLiteral("Подайте P+ = 50 кПа, P- = 0 (емкостной); "
                                                   "P+ = 50 кПа, P- = 50 кПа (2-тензо)");
}

void TestGuidedRun::prompts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestGuidedRun::planRefusals_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no devices") << "devices" << "нет устройств";
    QTest::newRow("same address twice") << "twice" << "указан дважды";
    QTest::newRow("points not rising") << "points" << "должны расти";
    QTest::newRow("two temperatures") << "temperatures" << "три температуры";
    QTest::newRow("negative threshold") << "threshold" << "Порог";
    QTest::newRow("no class") << "class" << "Класс";
}

// A plan that cannot run is refused with what to change, also when it
// comes from a file edited by hand.
void TestGuidedRun::planRefusals()
{
    QFETCH(QString, field);
    QFETCH(QString, reason);
    GuidedDevice d;
    d.address = 1;
    d.pmaxPa = d.pvPa = 100000;
    GuidedPlan plan = GuidedPlan::defaults({d});
    QVERIFY(plan.check().isEmpty());
    GuidedPlan back;
    QVERIFY(GuidedPlan::fromJson(plan.toJson(), &back, nullptr));
    QCOMPARE(back.toJson(), plan.toJson());

    if (field == "devices") plan.devices.clear();
    if (field == "twice") plan.devices.append(d);
    if (field == "points") plan.points = {0, 50, 50, 100};
    if (field == "temperatures") plan.temperatures.removeLast();
    if (field == "threshold") plan.strainThresholds[1] = -1;
    if (field == "class") plan.classPercent = 0;
    QVERIFY2(plan.check().contains(reason), qPrintable(plan.check()));
    QString why;
    QVERIFY(!GuidedPlan::fromJson(plan.toJson(), &back, &why));
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestGuidedRun::wholeRun_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QVector<int>>("failing");      // addresses expected to fail
    QTest::newRow("all pass") << QString() << QVector<int>{};
    QTest::newRow("silent mid-capture") << "silent" << QVector<int>{2};
    QTest::newRow("killed and restarted") << "kill" << QVector<int>{};
    QTest::newRow("wrong sensor type") << "wrong" << QVector<int>{1};
    QTest::newRow("refuses polling mid-capture") << "refuses" << QVector<int>{3};
}

void TestGuidedRun::wholeRun()
{
    QFETCH(QString, trouble);
    QFETCH(QVector<int>, failing);
    Bench bench;
    QVERIFY(bench.open());
    QVector<GuidedDevice> devices;
    for (const Unit &u : Batch) {
        bench.add(u.address, u.kind, uint32_t(u.address));
        // The operator picks the single-gauge type for the two-gauge unit.
        const SensorModel planned = trouble == "wrong" && u.address == 1 ? SensorModel::SingleGauge
                                                                          : calcModelFor(u.kind);
        devices.append(bench.planned(u.address, planned));
    }
    GuidedPlan plan = GuidedPlan::defaults(devices);
    plan.baseName = QStringLiteral("lot");
    const QString runDir = QDir::current().filePath(QStringLiteral("run"));

    auto run = std::make_unique<GuidedRun>(bench.guided.get());
    QString why;
    QVERIFY2(run->create(runDir, plan, &why), qPrintable(why));
    QVERIFY(!run->create(runDir, plan, &why));   // the folder holds a run now
    QStringList failures;
    collectFailures(run.get(), &failures);
    auto op = std::make_unique<Operator>(&bench, run.get());
    // The operator types the reference's reading at one point.
    op->reading = [](const GuidedCursor &c) { return c.temperature == 0 && c.point == 2 ? 50.02 : std::nan(""); };

    // The program killed: the run and the link go, a new program builds
    // both again from the folder and the operator carries on.
    QString resumedAt;
    const auto restart = [&] {
        op.reset();
        run.reset();
        if (!bench.reconnect() || !GuidedRun::resumable(runDir))
            return;
        run = std::make_unique<GuidedRun>(bench.guided.get());
        QString error;
        if (!run->open(runDir, &error)) {
            resumedAt = error;
            return;
        }
        resumedAt = QStringLiteral("%1 %2 %3").arg(GuidedCursor::phaseKey(run->phase()))
                        .arg(run->cursor().temperature).arg(run->cursor().point);
        collectFailures(run.get(), &failures);
        op = std::make_unique<Operator>(&bench, run.get());
        run->start();
    };
    bool killed = false;
    op->beforeConfirm = [&](GuidedRun *r) {
        const GuidedCursor &c = r->cursor();
        if (trouble == "silent" && c.phase == GuidedPhase::SetPressure && c.temperature == 1 && c.point == 2)
            bench.line->device(2)->silentFor = 1000000;
        if (trouble == "refuses" && c.phase == GuidedPhase::SetPressure && c.temperature == 1 && c.point == 2) {
            // Answers every poll, with "busy" and no data, from now on.
            sim::VirtualDevice *d = bench.line->device(3);
            d->respond.next = 1000000;
            d->responseCode = 32;
            d->respondTo = {3};
        }
        if (trouble == "kill" && !killed && c.phase == GuidedPhase::SetPressure && c.temperature == 1 && c.point == 3) {
            // Killed in the middle of capturing the point: confirmed, a
            // few answers in, nothing written yet.
            killed = true;
            r->confirm();
            auto *watch = new QObject(r);
            connect(r, &GuidedRun::changed, watch, [&, r, watch] {
                if (r->phase() != GuidedPhase::Capturing || r->live()[0].answers < 3)
                    return;
                watch->deleteLater();
                QTimer::singleShot(0, this, restart);
            });
            return false;
        }
        return true;
    };
    run->start();
    QTRY_VERIFY_WITH_TIMEOUT(run && (run->phase() == GuidedPhase::Done || run->phase() == GuidedPhase::Aborted), 120000);
    QCOMPARE(run->phase(), GuidedPhase::Done);
    QCOMPARE(killed, trouble == "kill");
    if (killed)   // taken up at the point it stopped in, from its request
        QCOMPARE(resumedAt, QStringLiteral("set-pressure 1 3"));

    const GuidedCursor &c = run->cursor();
    const QByteArray report = GuidedReport::text(run->plan(), c);
    QVERIFY(QFile::exists(run->reportBase() + QStringLiteral(".txt")));
    for (int i = 0; i < c.devices.size(); ++i) {
        const GuidedDeviceResult &d = c.devices[i];
        const bool fails = failing.contains(d.address);
        qInfo("%s %02d: pressure %.4f %%, current %.4f %%, hysteresis %.4f %%, fit %.4f/%.4f/%.4f %% -- %s",
              QTest::currentDataTag(), d.address, d.worstPressureError, d.worstCurrentError, d.hysteresis,
              d.fitWorstPercent[0], d.fitWorstPercent[1], d.fitWorstPercent[2], qPrintable(d.verdict));
        QVERIFY2(d.passed != fails, qPrintable(QStringLiteral("%1: %2").arg(d.address).arg(d.verdict)));
        QVERIFY(report.contains(QStringLiteral("Устройство %1, зав. № %2").arg(d.address, 2, 10, QLatin1Char('0'))
                                    .arg(3920000 + d.address).toUtf8()));
        if (fails) {
            QVERIFY(report.contains(QStringLiteral("НЕ ГОДЕН: %1").arg(d.verdict).toUtf8()));
            continue;
        }
        // Every point once, in order, in every file; the typed reading as typed.
        for (int t = 0; t < 3; ++t) {
            const QList<QByteArray> lines = fileLines(run->pointFile(i, t));
            QCOMPARE(lines.size(), 5);
            for (int k = 0; k < 5; ++k) {
                const double expected = t == 0 && k == 2 ? 50.02 : plan.pointKPa(k);
                QCOMPARE(lines[k].split('\t').value(4).toDouble(), std::round(expected * 1e4) / 1e4);
            }
        }
        QCOMPARE(d.points, (std::array<int, 3>{5, 5, 5}));
        // What the run says it wrote is what the transmitter holds.
        QCOMPARE(d.calc, GuidedDeviceResult::Calc::Written);
        const sim::Compensation k = bench.line->device(uint8_t(d.address))->compensation();
        QCOMPARE(k.uk1h, d.written.Uk1h);
        QCOMPARE(k.a, d.written.a);
        QCOMPARE(k.b, d.written.b);
        QCOMPARE(k.c43, d.written.c43);
        QCOMPARE(d.verify.size(), 9);
        QVERIFY2(d.worstPressureError <= 0.1 && d.worstCurrentError <= 0.1, qPrintable(d.verdict));
        // The device's own report carries the serial number the plan read.
        QFile own(run->deviceDir(i) + QStringLiteral("/lot_report.txt"));
        QVERIFY(own.open(QIODevice::ReadOnly));
        QVERIFY(own.readAll().contains(QStringLiteral("Заводской номер:\t%1").arg(d.serial).toUtf8()));
    }
    QVERIFY(report.contains(QStringLiteral("Итог партии: Годны %1 из 4").arg(4 - failing.size()).toUtf8()));
    // A real device is asked nothing longer than the program asks elsewhere.
    for (uint8_t a : bench.line->addresses())
        for (const QByteArray &seen : bench.line->device(a)->commandsSeen)
            if (uint8_t(seen.at(0)) == RegisterMap::CmdReadRegisters)
                QVERIFY2(seen.size() == 4 && uint8_t(seen.at(3)) <= 24, seen.toHex().constData());
    if (trouble == "silent") {
        QVERIFY(!c.devices[1].active());
        QVERIFY2(failures.join('\n').contains(QStringLiteral("Устройство 02 (зав. № 3920002) исключено из прогона: не отвечает (нет ответа")),
                 qPrintable(failures.join('\n')));
        QCOMPARE(c.devices[1].points, (std::array<int, 3>{5, 2, 0}));
    }
    if (trouble == "refuses") {
        const QString why = QStringLiteral("отказывает в опросе (команда 3): 32 (прибор занят)");
        QVERIFY2(c.devices[2].verdict.contains(why), qPrintable(c.devices[2].verdict));
        QVERIFY2(failures.join('\n').contains(QStringLiteral("Устройство 03 (зав. № 3920003) исключено из прогона: ") + why),
                 qPrintable(failures.join('\n')));
        QCOMPARE(c.devices[2].points, (std::array<int, 3>{5, 2, 0}));
    }
    if (trouble == "wrong")   // written with the wrong model and failing, or refused by the calculation
        QVERIFY2(c.devices[0].verdict.contains(QStringLiteral("погрешность давления"))
                     || c.devices[0].verdict.contains(QStringLiteral("коэффициенты не записаны")),
                 qPrintable(c.devices[0].verdict));
    if (trouble.isEmpty())
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
}

// Killed after a point's lines were put into the state and while they were
// being written: one file has its line, one a fragment of it, one nothing.
// The restart leaves each with the line exactly once and moves on.
void TestGuidedRun::restartFinishesPointOnce()
{
    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    GuidedLink guided(&link);
    QVector<GuidedDevice> devices;
    for (int a = 1; a <= 3; ++a) {
        GuidedDevice d;
        d.address = a;
        d.pmaxPa = d.pvPa = 100000;
        devices.append(d);
    }
    const QString runDir = QDir::current().filePath(QStringLiteral("run"));
    QString why;
    {
        GuidedRun run(&guided);
        QVERIFY2(run.create(runDir, GuidedPlan::defaults(devices), &why), qPrintable(why));
    }
    QJsonObject state;
    QVERIFY(GuidedFiles::loadJson(GuidedFiles::stateFile(runDir), &state, &why));
    GuidedCursor c;
    QVERIFY(GuidedCursor::fromJson(state, &c, &why));
    GuidedRun probe(&guided);
    QVERIFY(probe.open(runDir, &why));
    const QByteArray first = "1.0000e+00\t2.0000e+00\t3.0000e+00\t4.0000e+00\t0.0000e+00\t0.0000e+00\n";
    const QByteArray line = "1.5000e+00\t2.5000e+00\t3.5000e+00\t4.5000e+00\t2.5000e+01\t0.0000e+00\n";
    const QByteArray present[3] = {line, line.left(17), QByteArray()};
    c.phase = GuidedPhase::Capturing;
    c.point = 1;
    for (int i = 0; i < 3; ++i) {
        const QString file = probe.pointFile(i, 0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(first + present[i]);
        f.close();
        c.devices[i].points[0] = 1;
        c.pending.append({i, file, first.size(), line});
    }
    QVERIFY(GuidedFiles::saveJson(GuidedFiles::stateFile(runDir), c.toJson(), &why));

    GuidedRun run(&guided);
    QVERIFY2(run.open(runDir, &why), qPrintable(why));
    QCOMPARE(run.phase(), GuidedPhase::SetPressure);
    QCOMPARE(run.cursor().point, 2);
    QVERIFY(run.cursor().pending.isEmpty());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(fileLines(run.pointFile(i, 0)), (QList<QByteArray>{first.chopped(1), line.chopped(1)}));
        QCOMPARE(run.cursor().devices[i].points[0], 2);
    }
    // And the point can be taken back once, from every file.
    run.redoLastPoint();
    QCOMPARE(run.cursor().point, 1);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(fileLines(run.pointFile(i, 0)), (QList<QByteArray>{first.chopped(1)}));
}

void TestGuidedRun::fitGate_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("operator says yes") << true;
    QTest::newRow("operator says no") << false;
}

// A reference misread at one point (60 kPa typed with 50 on the bench)
// bends the fit beyond the gate: the device is written only on the
// operator's yes; on no it keeps what it had and the report says why.
void TestGuidedRun::fitGate()
{
    QFETCH(bool, yes);
    Bench bench;
    QVERIFY(bench.open());
    sim::VirtualDevice *dev = bench.add(1, Kind::TwoGauge, 1);
    const sim::Compensation factory = dev->compensation();
    GuidedPlan plan = GuidedPlan::defaults({bench.planned(1, SensorModel::TwoGauge)});
    plan.stableCount = plan.averaged = 3;   // one device: the link's quiet gap makes each answer slow
    GuidedRun run(bench.guided.get());
    QString why;
    QVERIFY(run.create(QDir::current().filePath(QStringLiteral("run")), plan, &why));
    Operator op(&bench, &run);
    op.beforeConfirm = [&](GuidedRun *r) {
        const GuidedCursor &c = r->cursor();
        if (r->isHeld()) {   // the bench check doubts the reading; the operator insists
            r->recordHeld();
            return false;
        }
        if (c.phase == GuidedPhase::ConfirmFit && !yes) {
            ++op.fitQuestions;
            r->answerFit(false);
            return false;
        }
        if (c.phase != GuidedPhase::SetPressure || c.temperature != 1 || c.point != 2)
            return true;
        dev->setBench(50, 50, 23);
        r->confirm(60);
        return false;
    };
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.phase() == GuidedPhase::Done, 60000);
    QCOMPARE(op.fitQuestions, 1);
    const GuidedDeviceResult &d = run.cursor().devices[0];
    QVERIFY(d.fitWorstPercent[1] > 1.0);
    QVERIFY(!d.passed);
    if (yes) {
        QCOMPARE(d.calc, GuidedDeviceResult::Calc::Written);
        QCOMPARE(dev->compensation().a, d.written.a);
    } else {
        QCOMPARE(d.calc, GuidedDeviceResult::Calc::Refused);
        QCOMPARE(dev->compensation().a, factory.a);
        QCOMPARE(dev->compensation().uk1h, factory.uk1h);
        QVERIFY2(d.verdict.startsWith(QStringLiteral("коэффициенты не записаны: невязка")), qPrintable(d.verdict));
        QVERIFY(GuidedReport::text(run.plan(), run.cursor()).contains(d.verdict.toUtf8()));
    }
}

// What the plan is built from: each checked row's device read, the sensor
// type told by its unit codes; the devices that cannot be read listed with
// the reason, the others not held up.
void TestGuidedRun::identify()
{
    Bench bench;
    QVERIFY(bench.open());
    bench.add(1, Kind::TwoGauge, 1);
    bench.add(2, Kind::CapacitiveNear, 2);
    bench.add(3, Kind::TwoGauge, 3)->silentFor = 1000000;
    bench.add(4, Kind::TwoGauge, 4)->setF32(sim::VirtualDevice::RegPv, 0);
    bench.add(5, Kind::TwoGauge, 5)->setU16(sim::VirtualDevice::RegUnit, 8);   // mA
    bench.add(6, Kind::TwoGauge, 6)->setU16(sim::VirtualDevice::RegUnit, 2);   // MPa
    GuidedIdentify id(bench.guided.get());
    QSignalSpy done(&id, &GuidedIdentify::finished);
    QVERIFY(id.start({1, 3, 2, 4, 9, 5, 6}, SensorModel::SingleGauge));
    QVERIFY(done.wait(20000));
    QCOMPARE(id.devices().size(), 3);
    QCOMPARE(id.devices()[2].toKPa(0.1), 100.0);
    const GuidedDevice &a = id.devices()[0];
    QCOMPARE(a.address, 1);
    QCOMPARE(a.serialText(), QStringLiteral("3920001"));
    QCOMPARE(a.modelText(), QStringLiteral("ЛТ3920ДИ"));
    QCOMPARE(a.sensor, SensorModel::SingleGauge);   // a strain gauge: the window's choice
    QCOMPARE(a.pmaxPa, 100000.0f);
    QCOMPARE(a.pvPa, 100000.0f);
    QCOMPARE(id.devices()[1].sensor, SensorModel::Capacitive);
    const QString failures = id.failures().join('\n');
    QVERIFY2(failures.contains(QStringLiteral("03: нет ответа")), qPrintable(failures));
    QVERIFY2(failures.contains(QStringLiteral("04: диапазон прибора не задан")), qPrintable(failures));
    QVERIFY2(failures.contains(QStringLiteral("09: нет ответа")), qPrintable(failures));
    QVERIFY2(failures.contains(QStringLiteral("05: прибор показывает не давление (единица «мА»)")), qPrintable(failures));
}

void TestGuidedRun::operatorChoices_data()
{
    QTest::addColumn<QString>("choice");
    QTest::newRow("pause and go on") << "pause";
    QTest::newRow("skip a device") << "skip";
    QTest::newRow("abort") << "abort";
    QTest::newRow("line lost and back") << "lost";
}

// What the operator (or the line) does in the middle of a capture: the
// point is taken whole afterwards, never twice, and the others go on.
void TestGuidedRun::operatorChoices()
{
    QFETCH(QString, choice);
    Bench bench;
    QVERIFY(bench.open());
    GuidedPlan plan = bench.addMixedPair();
    plan.points = {0, 50, 75, 100};   // the fewest the capacitive cubic is calculated from
    plan.stableCount = plan.averaged = 3;
    GuidedRun run(bench.guided.get());
    QString why;
    QVERIFY2(run.create(QDir::current().filePath(QStringLiteral("run")), plan, &why), qPrintable(why));
    QStringList failures;
    collectFailures(&run, &failures);
    int sentWhilePaused = 0;
    connect(bench.line.get(), &sim::VirtualLine::requestReceived, &run, [&] { sentWhilePaused += run.isPaused(); });

    Operator op(&bench, &run);
    bool acted = false;
    op.beforeConfirm = [&](GuidedRun *r) {
        const GuidedCursor &c = r->cursor();
        if (acted || c.phase != GuidedPhase::SetPressure || c.temperature != 0 || c.point != 1)
            return true;
        acted = true;
        bench.line->device(1)->setBench(50, 50, -40);
        bench.line->device(2)->setBench(50, 0, -40);
        r->confirm();
        auto *watch = new QObject(r);
        connect(r, &GuidedRun::changed, watch, [&, r, watch] {
            if (r->phase() != GuidedPhase::Capturing || r->live()[0].answers < 1)
                return;
            watch->deleteLater();
            if (choice == "pause") {
                // Nothing goes out for a while, then the point is taken anew.
                r->pause();
                QTimer::singleShot(100, r, [r] { r->resume(); });
            } else if (choice == "skip") {
                r->skipDevice(1);
            } else if (choice == "abort") {
                QTimer::singleShot(0, r, [r] { r->abort(); });
            } else {
                bench.line->vanish();
            }
        });
        return false;
    };
    connect(bench.guided.get(), &GuidedLink::lineLost, &run, [&] {
        QTimer::singleShot(0, &run, [&] {
            QVERIFY(run.isPaused());
            QVERIFY(bench.line->reappear());
            QVERIFY(bench.link->openPort(bench.line->portName()));
            run.resume();
        });
    });
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.phase() == GuidedPhase::Done || run.phase() == GuidedPhase::Aborted, 60000);
    QVERIFY(acted);
    QCOMPARE(sentWhilePaused, 0);
    if (choice == "abort") {
        QCOMPARE(run.phase(), GuidedPhase::Aborted);
        QVERIFY(!GuidedRun::resumable(run.runDir()));
        QFile report(run.reportBase() + QStringLiteral(".txt"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QVERIFY(report.readAll().contains("ПРОГОН ПРЕРВАН: прервано оператором"));
        QCOMPARE(fileLines(run.pointFile(0, 0)).size(), 1);
        return;
    }
    QCOMPARE(run.phase(), GuidedPhase::Done);
    for (int i = 0; i < 2; ++i) {
        const bool skipped = choice == "skip" && i == 1;
        // (A device whose calculation is refused leaves before verification.)
        QCOMPARE(run.cursor().devices[i].leftOut == QStringLiteral("исключено оператором"), skipped);
        for (int t = 0; t < 3; ++t)
            QCOMPARE(fileLines(run.pointFile(i, t)).size(), skipped ? (t == 0 ? 1 : 0) : plan.pointCount());
    }
    if (choice == "skip")
        QCOMPARE(run.cursor().devices[1].verdict, QStringLiteral("исключено оператором"));
    if (choice == "lost")
        QVERIFY2(failures.join('\n').contains(QStringLiteral("Линия потеряна")), qPrintable(failures.join('\n')));
}

void TestGuidedRun::brokenFolder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("state cut short") << "guided_state.json" << QByteArray("{\"format\": 1, \"pha") << "поврежден";
    QTest::newRow("state of another version") << "guided_state.json" << QByteArray("{\"format\": 99}")
                                              << "другой версией";
    QTest::newRow("unknown step") << "guided_state.json" << QByteArray("{\"format\": 1, \"phase\": \"x\"}")
                                  << "неизвестный шаг";
    QTest::newRow("plan with a bad point list") << "guided_plan.json" << QByteArray() << "должны расти";
}

// A run folder damaged or written by another version is refused with the
// reason, and not offered for continuing as if it were whole.
void TestGuidedRun::brokenFolder()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    GuidedLink guided(&link);
    GuidedDevice d;
    d.address = 1;
    d.pmaxPa = d.pvPa = 100000;
    const QString runDir = QDir::current().filePath(QStringLiteral("run"));
    QString why;
    {
        GuidedRun run(&guided);
        QVERIFY(run.create(runDir, GuidedPlan::defaults({d}), &why));
    }
    QVERIFY(GuidedRun::resumable(runDir));
    if (content.isEmpty()) {
        QJsonObject plan;
        QVERIFY(GuidedFiles::loadJson(GuidedFiles::planFile(runDir), &plan, &why));
        plan[QStringLiteral("points")] = QJsonArray{0, 50, 40};
        QVERIFY(GuidedFiles::saveJson(GuidedFiles::planFile(runDir), plan, &why));
    } else {
        QFile f(QDir(runDir).filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QVERIFY(!GuidedRun::resumable(runDir));
    }
    GuidedRun run(&guided);
    QVERIFY(!run.open(runDir, &why));
    QVERIFY2(why.contains(reason), qPrintable(why));
}

QTEST_MAIN(TestGuidedRun)
#include "tst_guidedrun.moc"
