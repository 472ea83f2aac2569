// A guided run against a bench that is not what the run was told: a plan
// the calculation would refuse stopped before its first point, a point
// whose pressure was not on the bench held and named, the chamber left
// loaded at verification held instead of failing good devices, the cell a
// device states asked about, and a new run kept out of the last one's folder.

#include "common/files.h"
#include "common/guidedrig.h"
#include "common/sandbox.h"

#include "guided/guidedfolder.h"
#include "guided/guidedreport.h"

#include <QDir>
#include <QtTest>

using namespace guidedrig;

namespace {

GuidedDevice device(int address, SensorModel sensor, float pmaxPa = 100000)
{
    GuidedDevice d;
    d.address = address;
    d.sensor = sensor;
    d.pmaxPa = d.pvPa = pmaxPa;
    return d;
}

// The device's cell stated in the high byte of its sensor code.
void stateCell(sim::VirtualDevice *d, int cell)
{
    d->setU16(sim::VirtualDevice::RegSensorCode, uint16_t(cell << 8 | (d->u16(sim::VirtualDevice::RegSensorCode) & 0xff)));
}

} // namespace

class TestGuidedBench : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void planRefusedBeforeFirstPoint_data();
    void planRefusedBeforeFirstPoint();
    void verificationPrompts_data();
    void verificationPrompts();
    void heldPoint_data();
    void heldPoint();
    void chamberTrapAtVerification();
    void statedCell();
    void freshFolder_data();
    void freshFolder();

private:
    Sandbox m_sandbox;
};

void TestGuidedBench::planRefusedBeforeFirstPoint_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");
    QTest::newRow("default plan") << "" << "";
    QTest::newRow("two-gauge on P+ alone")
        << "two-plus" << "Расчет для 2-тензо (устройство 01) будет отклонен после всех точек: для модели с двумя "
                         "тензодатчиками давление P- должно изменяться";
    QTest::newRow("single-gauge on P- alone") << "single-minus" << "давление P+ в файле при нормальной температуре не изменяется";
    QTest::newRow("capacitive on both chambers") << "capacitive-both" << "емкостной (устройство 03) измеряет разность";
    QTest::newRow("three points for a cubic") << "three-points" << "не менее четырех точек с разным давлением, а их 3";
    QTest::newRow("top point beyond a device's Pmax") << "small-device" << "Наибольшая точка 100 кПа больше Pmax устройства 03 (40 кПа)";
}

// The calculation's own rule on the pressures it is given, applied to the
// ones the plan will record: refused on the plan, not after nine points.
void TestGuidedBench::planRefusedBeforeFirstPoint()
{
    QFETCH(QString, change);
    QFETCH(QString, reason);
    GuidedPlan plan = GuidedPlan::defaults({device(1, SensorModel::TwoGauge), device(2, SensorModel::SingleGauge),
                                            device(3, SensorModel::Capacitive, change == "small-device" ? 40000 : 100000)});
    if (change == "two-plus") plan.chambers[size_t(SensorModel::TwoGauge)] = GuidedChambers::Plus;
    if (change == "single-minus") plan.chambers[size_t(SensorModel::SingleGauge)] = GuidedChambers::Minus;
    if (change == "capacitive-both") plan.chambers[size_t(SensorModel::Capacitive)] = GuidedChambers::Both;
    if (change == "three-points") plan.points = {0, 50, 100};
    QVERIFY2(reason.isEmpty() ? plan.check().isEmpty() : plan.check().contains(reason), qPrintable(plan.check()));

    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    GuidedLink guided(&link);
    GuidedRun run(&guided);
    const QString runDir = QDir::current().filePath(QStringLiteral("run"));
    QString why;
    QCOMPARE(run.create(runDir, plan, &why), reason.isEmpty());
    QVERIFY2(why.contains(reason), qPrintable(why));
    QCOMPARE(QDir(runDir).exists(), reason.isEmpty());
}

void TestGuidedBench::verificationPrompts_data()
{
    QTest::addColumn<int>("sensor");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("two-gauge, first step") << int(SensorModel::TwoGauge) << 0
        << "Подайте P+ = 0, P- = 0 (камера P- открыта в атмосферу). Поверка: давление подается только в камеру P+. "
           "Камера P- при калибровке была под давлением — сбросьте ее в атмосферу и держите открытой до конца поверки";
    QTest::newRow("two-gauge, later step") << int(SensorModel::TwoGauge) << 1
                                           << "Подайте P+ = 25 кПа, P- = 0 (камера P- открыта в атмосферу)";
    QTest::newRow("capacitive only") << int(SensorModel::Capacitive) << 1 << "Подайте P+ = 25 кПа, P- = 0";
    QTest::newRow("two-gauge, chamber temperature") << int(SensorModel::TwoGauge) << -1
        << "Установите температуру 23 °C в камере. Поверка: давление подается только в камеру P+. Камера P- при "
           "калибровке была под давлением — сбросьте ее в атмосферу и держите открытой до конца поверки";
}

// The change from both chambers to one is said where it happens.
void TestGuidedBench::verificationPrompts()
{
    QFETCH(int, sensor);
    QFETCH(int, step);
    QFETCH(QString, prompt);
    const GuidedPlan plan = GuidedPlan::defaults({device(1, SensorModel(sensor))});
    QCOMPARE(step < 0 ? plan.verifyTemperaturePrompt() : plan.verifyPressurePrompt(step), prompt);
}

void TestGuidedBench::heldPoint_data()
{
    QTest::addColumn<int>("kind");          // sim::SensorModel::Kind of device 01
    QTest::addColumn<int>("temperature");   // where the bench is wrong
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("plus");       // what the bench holds instead
    QTest::addColumn<double>("minus");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("held");
    QTest::addColumn<double>("written");    // P+ of the line that goes in
    const QString short50 = QStringLiteral("Прибор 01: показания соответствуют ≈40 кПа, задано 50 кПа — проверьте давление");
    QTest::newRow("short, set again") << int(Kind::SingleGauge) << 1 << 2 << 40.0 << 0.0 << "again" << short50 << 50.0;
    QTest::newRow("short, reference typed") << int(Kind::SingleGauge) << 1 << 2 << 40.0 << 0.0 << "typed" << short50 << 40.0;
    QTest::newRow("short, recorded anyway") << int(Kind::SingleGauge) << 1 << 2 << 40.0 << 0.0 << "record" << short50 << 50.0;
    QTest::newRow("capacitive, first temperature") << int(Kind::CapacitiveFar) << 0 << 3 << 60.0 << 0.0 << "again"
        << "Прибор 01: показания соответствуют ≈60 кПа, задано 75 кПа — проверьте давление" << 75.0;
    QTest::newRow("two-gauge, P- not loaded") << int(Kind::TwoGauge) << 2 << 1 << 25.0 << 0.0 << "again"
        << "Прибор 01: показания P- соответствуют ≈0 кПа, задано 25 кПа — проверьте давление в камере P-" << 25.0;
}

// The point the bench did not hold waits, named, for the operator: set
// again, the reference's reading, or written as it is and said in the
// report; the other device's line waits with it.
void TestGuidedBench::heldPoint()
{
    QFETCH(int, kind);
    QFETCH(int, temperature);
    QFETCH(int, point);
    QFETCH(double, plus);
    QFETCH(double, minus);
    QFETCH(QString, choice);
    QFETCH(QString, held);
    QFETCH(double, written);
    Bench bench;
    QVERIFY(bench.open());
    bench.add(1, Kind(kind), 1);
    bench.add(2, Kind::CapacitiveNear, 2);
    GuidedPlan plan = GuidedPlan::defaults({bench.planned(1, calcModelFor(Kind(kind))),
                                            bench.planned(2, SensorModel::Capacitive)});
    plan.stableCount = plan.averaged = 3;
    GuidedRun run(bench.guided.get());
    QString why;
    QVERIFY2(run.create(QDir::current().filePath(QStringLiteral("run")), plan, &why), qPrintable(why));
    Operator op(&bench, &run);
    int holds = 0;
    bool past = false, waited = false;
    op.beforeConfirm = [&](GuidedRun *r) {
        const GuidedCursor &c = r->cursor();
        if (r->isHeld()) {
            ++holds;
            if (!r->request().startsWith(held + QLatin1Char('\n')) || holds > 1)
                return false;   // the test fails on the request below
            waited = fileLines(r->pointFile(0, temperature)).size() == point
                     && fileLines(r->pointFile(1, temperature)).size() == point;
            if (choice == "again") {
                const std::array<double, 2> p = plan.chambersFor(calcModelFor(Kind(kind)), written);
                bench.line->device(1)->setBench(p[0], p[1], bench.temperature);
                bench.line->device(2)->setBench(written, 0, bench.temperature);
                r->confirm();
            } else if (choice == "typed") {
                r->confirm(written);
            } else {
                r->recordHeld();
            }
            return false;
        }
        if (c.phase == GuidedPhase::SetPressure && c.temperature == temperature && c.point == point && !past) {
            past = true;
            // One bench: the capacitive cell beside it gets the same P+.
            bench.line->device(2)->setBench(plus, 0, bench.temperature);
            bench.line->device(1)->setBench(plus, minus, bench.temperature);
            r->confirm();
            return false;
        }
        // Done once the point after the held one is asked for.
        return !(past && c.phase != GuidedPhase::Capturing);
    };
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(past && !run.isHeld() && run.phase() != GuidedPhase::Capturing, 60000);
    QVERIFY2(holds == 1, qPrintable(run.request()));
    QVERIFY(waited);   // neither device's line went in while held
    const QList<QByteArray> lines = fileLines(run.pointFile(0, temperature));
    QCOMPARE(lines.size(), point + 1);
    QCOMPARE(lines.last().split('\t').value(4).toDouble(), written);
    QCOMPARE(fileLines(run.pointFile(1, temperature)).size(), point + 1);
    const QStringList notes = run.cursor().devices[0].benchNotes;
    QCOMPARE(notes.isEmpty(), choice != "record");
    if (choice == "record") {
        QCOMPARE(notes.first(), QStringLiteral("точка %1 при Tmid: %2").arg(point + 1).arg(held));
        QVERIFY(GuidedReport::text(run.plan(), run.cursor()).contains(
            QStringLiteral("Записано при непроверенном давлении: %1").arg(notes.first()).toUtf8()));
    }
    run.abort();
}

// Four two-gauge units and the others of the family, verified by an
// engineer who keeps loading both chambers: each step is held with the
// chamber named instead of failing devices that are right; set again, the
// whole batch passes its class.
void TestGuidedBench::chamberTrapAtVerification()
{
    Bench bench;
    QVERIFY(bench.open());
    const Kind kinds[] = {Kind::TwoGauge, Kind::TwoGauge, Kind::TwoGauge, Kind::TwoGauge,
                          Kind::SingleGauge, Kind::CapacitiveNear, Kind::CapacitiveFar};
    QVector<GuidedDevice> devices;
    for (int i = 0; i < 7; ++i) {
        bench.add(i + 1, kinds[i], uint32_t(i + 11));
        devices << bench.planned(i + 1, calcModelFor(kinds[i]));
    }
    GuidedPlan plan = GuidedPlan::defaults(devices);
    plan.stableCount = plan.averaged = 3;
    GuidedRun run(bench.guided.get());
    QString why;
    QVERIFY2(run.create(QDir::current().filePath(QStringLiteral("run")), plan, &why), qPrintable(why));
    QStringList failures;
    collectFailures(&run, &failures);
    Operator op(&bench, &run);
    QStringList holds;
    op.beforeConfirm = [&](GuidedRun *r) {
        const GuidedCursor &c = r->cursor();
        if (r->isHeld()) {
            holds << r->request();
            QTimer::singleShot(0, r, [&, r] {
                for (const GuidedDevice &d : plan.devices)
                    bench.line->device(uint8_t(d.address))->setBench(plan.verifyKPa(c.verifyStep), 0, bench.temperature);
                r->confirm();
            });
            return false;
        }
        if (c.phase != GuidedPhase::SetVerifyPressure || c.verifyStep != 2)
            return true;
        // Both chambers as at calibration.
        const double p = plan.verifyKPa(c.verifyStep);
        for (const GuidedDevice &d : plan.devices)
            bench.line->device(uint8_t(d.address))->setBench(p, p, bench.temperature);
        r->confirm();
        return false;
    };
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.phase() == GuidedPhase::Done || run.phase() == GuidedPhase::Aborted, 240000);
    QCOMPARE(run.phase(), GuidedPhase::Done);
    QCOMPARE(holds.size(), 1);
    for (int i = 0; i < 7; ++i)
        QVERIFY2(holds[0].contains(QStringLiteral("Прибор %1: показывает ≈0 кПа, задано 50 кПа — проверьте давление "
                                                  "в камере P-").arg(i + 1, 2, 10, QLatin1Char('0'))),
                 qPrintable(holds[0]));
    for (const GuidedDeviceResult &d : run.cursor().devices) {
        qInfo("%02d %s: pressure %.4f %%, current %.4f %%", d.address, qPrintable(d.model), d.worstPressureError,
              d.worstCurrentError);
        QVERIFY2(d.passed, qPrintable(d.verdict));
        QCOMPARE(d.verify.size(), 9);
        QVERIFY(d.benchNotes.isEmpty());
    }
    QVERIFY(GuidedReport::text(run.plan(), run.cursor()).contains("Итог партии: Годны 7 из 7"));
    QCOMPARE(failures.size(), 1);   // the held step, said once
}

// The cell each device states, against the type in the plan: asked as the
// calibration tab asks, and the operator's answer kept.
void TestGuidedBench::statedCell()
{
    struct Row
    {
        SensorModel planned;
        bool yes;
        GuidedDeviceResult::Calc calc;
        QString note;
    };
    const Row rows[] = {
        {SensorModel::TwoGauge, true, GuidedDeviceResult::Calc::Written, QString()},
        {SensorModel::SingleGauge, false, GuidedDeviceResult::Calc::Refused,
         QStringLiteral("прибор сообщает тип датчика «два тензодатчика», выбрана модель «один тензодатчик»: расчет "
                        "отменен оператором")},
        {SensorModel::SingleGauge, true, GuidedDeviceResult::Calc::Written, QString()},
    };
    Bench bench;
    QVERIFY(bench.open());
    QVector<GuidedDevice> devices;
    for (int i = 0; i < 3; ++i) {
        stateCell(bench.add(i + 1, Kind::TwoGauge, uint32_t(i + 1)), 1);
        devices << bench.planned(i + 1, rows[i].planned);
    }
    GuidedPlan plan = GuidedPlan::defaults(devices);
    plan.stableCount = plan.averaged = 3;
    GuidedRun run(bench.guided.get());
    QString why;
    QVERIFY2(run.create(QDir::current().filePath(QStringLiteral("run")), plan, &why), qPrintable(why));
    Operator op(&bench, &run);
    QStringList questions;
    op.beforeConfirm = [&](GuidedRun *r) {
        const GuidedCursor &c = r->cursor();
        if (c.phase == GuidedPhase::SetVerifyTemperature) {
            r->abort(QStringLiteral("расчет проверен"));
            return false;
        }
        if (c.phase != GuidedPhase::ConfirmFit)
            return true;
        questions << QStringLiteral("%1|%2").arg(c.calcDevice).arg(r->request());
        r->answerFit(rows[c.calcDevice].yes);
        return false;
    };
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.phase() == GuidedPhase::Aborted, 120000);
    QCOMPARE(questions.size(), 2);
    for (int i = 1; i < 3; ++i)
        QVERIFY2(questions[i - 1].startsWith(QStringLiteral("%1|Прибор сообщает тип датчика «два тензодатчика», "
                                                            "выбрана модель «один тензодатчик».").arg(i)),
                 qPrintable(questions[i - 1]));
    for (int i = 0; i < 3; ++i) {
        const GuidedDeviceResult &d = run.cursor().devices[i];
        QCOMPARE(d.calc, rows[i].calc);
        QVERIFY2(d.calcNote.startsWith(rows[i].note), qPrintable(d.calcNote));
    }
    // The one written against its cell says so in its own report.
    QVERIFY(readAll(run.deviceDir(2) + QLatin1Char('/') + plan.baseName + QStringLiteral("_report.txt"))
                .contains(QStringLiteral("расчет по выбранной модели по решению оператора").toUtf8()));
}

void TestGuidedBench::freshFolder_data()
{
    QTest::addColumn<QString>("last");          // the last run's folder, relative
    QTest::addColumn<bool>("lastIsRun");
    QTest::addColumn<QString>("taken");         // a folder already there
    QTest::addColumn<QString>("proposed");
    QTest::newRow("no run before") << "" << false << "" << "calibration/2026-12-08_09-30";
    QTest::newRow("after a run") << "lab/lot7" << true << "" << "lab/2026-12-08_09-30";
    QTest::newRow("a folder of runs") << "lab" << false << "" << "lab/2026-12-08_09-30";
    QTest::newRow("same minute twice") << "lab/lot7" << true << "lab/2026-12-08_09-30" << "lab/2026-12-08_09-30_2";
}

// A new run is proposed a folder no run has used, beside the last one, and
// the last run's settings.
void TestGuidedBench::freshFolder()
{
    QFETCH(QString, last);
    QFETCH(bool, lastIsRun);
    QFETCH(QString, taken);
    QFETCH(QString, proposed);
    const QDir here = QDir::current();
    GuidedPlan earlier = GuidedPlan::defaults({device(1, SensorModel::Capacitive), device(2, SensorModel::TwoGauge)});
    earlier.baseName = QStringLiteral("lot7");
    earlier.points = {0, 20, 40, 60, 80, 100};
    if (!last.isEmpty())
        QVERIFY(here.mkpath(last));
    if (lastIsRun) {
        QString why;
        QVERIFY(GuidedFiles::saveJson(GuidedFiles::planFile(here.filePath(last)), earlier.toJson(), &why));
    }
    if (!taken.isEmpty())
        QVERIFY(here.mkpath(taken));
    const QDateTime now(QDate(2026, 12, 8), QTime(9, 30, 12));
    QCOMPARE(GuidedFolder::fresh(last.isEmpty() ? QString() : here.filePath(last), here.filePath("calibration"), now),
             here.filePath(proposed));

    GuidedPlan offered;   // its settings are offered to the next run (the window's test)
    QCOMPARE(GuidedFolder::plan(here.filePath(last), &offered), lastIsRun);
    QCOMPARE(offered.points, lastIsRun ? earlier.points : GuidedPlan().points);
}

QTEST_MAIN(TestGuidedBench)
#include "tst_guidedbench.moc"
