// The calculation against the ways a natural run gives a wrong coefficient
// set: differential points in the zero and top groups, a model box that is
// not the device's sensor, a bench that cannot reach full scale, a single
// bad row; and every message it says, readable.

#include "calc/lsqcalibration.h"

#include "common/capture.h"
#include "common/mojibake.h"
#include "common/pointrun.h"
#include "sim/compensation.h"

#include <QTemporaryDir>
#include <QtTest>

using Kind = sim::SensorModel::Kind;
using pointrun::BenchPoint;

namespace {

// A virtual transmitter of one kind that reports its own sensor.
struct Transmitter
{
    sim::VirtualDevice dev{1};
    explicit Transmitter(Kind kind, uint32_t seed = 1)
    {
        dev.setSensor(sim::SensorModel::make(kind, seed));
        dev.setU16(sim::VirtualDevice::RegSensorCode, sim::sensorCodeWord(kind));
    }
    DeviceSensorType sensorType()
    {
        return decodeDeviceSensorType(pointrun::transact(
            dev, RegisterMap::CmdReadRegisters, ValueCodec::readData(RegisterMap::MeasureUnit, 6)));
    }
};

// The window's steps without the widgets: files, Pmax, serial, sensor type,
// the boxes' model.
CalibrationOutcome calculate(const QString &dir, Transmitter &t, bool capacitor, bool tenzo1,
                             LsqCalibration *keep = nullptr)
{
    CoutCapture out;
    LsqCalibration local;
    LsqCalibration &calc = keep ? *keep : local;
    if (!calc.findFiles(dir).found)
        qFatal("point files not found");
    CalibrationOutcome refused;
    refused.messages = calc.openStaticFiles(false);
    if (!calc.filesUsable())
        return refused;
    calc.setDeviceSensor(t.sensorType());
    return calc.onParameterAnswer(pointrun::transact(t.dev, RegisterMap::CmdReadRegisters,
                                                     ValueCodec::readData(RegisterMap::MaxUpperLimit, 4)),
                                  capacitor, tenzo1);
}

} // namespace

class TestCalibrationTrust : public QObject
{
    Q_OBJECT

private slots:
    void naturalDifferentialRun_data();
    void naturalDifferentialRun();
    void sensorType_data();
    void sensorType();
    void wrongModelNeverLooksGreen();
    void topBelowNinetyPercentAsks_data();
    void topBelowNinetyPercentAsks();
    void worstPointNamed();
    void messagesReadable();
};

// The run an engineer makes on a two-gauge transmitter, with the
// differential rows 0/50 and 50/50: within 0.05 % of Pmax at all three
// temperatures, shown and read back.
void TestCalibrationTrust::naturalDifferentialRun_data()
{
    QTest::addColumn<double>("rangeKPa");
    QTest::addColumn<uint>("seed");
    QTest::newRow("100 kPa") << 100.0 << 1u;
    QTest::newRow("6.3 kPa, seed 3") << 6.3 << 3u;
    QTest::newRow("6000 kPa, seed 5") << 6000.0 << 5u;
}

void TestCalibrationTrust::naturalDifferentialRun()
{
    QFETCH(double, rangeKPa);
    QFETCH(uint, seed);
    Transmitter t(Kind::TwoGauge, seed);
    sim::SensorModel sensor = *t.dev.sensor();
    sensor.setRatedPmaxPa(float(rangeKPa * 1000));
    t.dev.setSensor(sensor);
    QTemporaryDir dir;
    QVERIFY(pointrun::writeRun(dir.path(), QStringLiteral("dev"), t.dev, pointrun::differentialRun(rangeKPa, true),
                               pointrun::differentialRun(rangeKPa, false)));
    const CalibrationOutcome r = calculate(dir.path(), t, false, false);
    QVERIFY2(r.ok, qPrintable(r.messages.last().text));
    QVERIFY(!r.needsConfirmation);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(r.quality.worstPercent[size_t(i)] <= kFitTargetPercent,
                 qPrintable(QString::number(r.quality.worstPercent[size_t(i)])));
    pointrun::download(t.dev, r.values);
    for (double temp : pointrun::kTemperatures) {
        const double e = pointrun::worstReadBack(t.dev, temp);
        QVERIFY2(e <= kFitTargetPercent, qPrintable(QStringLiteral("%1 degC: %2 %").arg(temp).arg(e)));
    }
}

void TestCalibrationTrust::sensorType_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("read");
    QTest::addColumn<bool>("known");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("text");
    const int two = int(SensorModel::TwoGauge);
    QTest::newRow("two gauges") << QByteArray::fromHex("000100030107") << true << true << two
                                << QStringLiteral("два тензодатчика");
    QTest::newRow("one gauge") << QByteArray::fromHex("000100010201") << true << true
                               << int(SensorModel::SingleGauge) << QStringLiteral("один тензодатчик");
    QTest::newRow("capacitive") << QByteArray::fromHex("000100010303") << true << true
                                << int(SensorModel::Capacitive) << QStringLiteral("емкостной датчик");
    // The device tab writes the type with 0 in that byte: nothing is said.
    QTest::newRow("not stated") << QByteArray::fromHex("000100010001") << true << false << two
                                << QStringLiteral("не сообщает");
    QTest::newRow("unknown cell") << QByteArray::fromHex("000100010901") << true << false << two
                                  << QStringLiteral("неизвестный (код 9)");
    QTest::newRow("short answer") << QByteArray::fromHex("0001000102") << false << false << two
                                  << QStringLiteral("не прочитан");
}

void TestCalibrationTrust::sensorType()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, read);
    QFETCH(bool, known);
    QFETCH(int, model);
    QFETCH(QString, text);
    const DeviceSensorType t = decodeDeviceSensorType(block);
    QCOMPARE(t.read, read);
    QCOMPARE(t.known, known);
    if (known)
        QCOMPARE(int(t.model), model);
    QCOMPARE(deviceSensorText(t), text);
    // The device's word beats nothing it does not know.
    QCOMPARE(sensorMismatchQuestion(t, t.model).isEmpty(), true);
}

// A two-gauge transmitter calculated with "1-тензо" ticked: asked before,
// and judged with the formula the transmitter runs, the table is as far
// off as the transmitter reads.
void TestCalibrationTrust::wrongModelNeverLooksGreen()
{
    Transmitter t(Kind::TwoGauge);
    QTemporaryDir dir;
    const QVector<BenchPoint> together{{0, 0}, {25, 25}, {50, 50}, {75, 75}, {100, 100}};
    QVERIFY(pointrun::writeRun(dir.path(), QStringLiteral("dev"), t.dev, together, together));
    QCOMPARE(sensorMismatchQuestion(t.sensorType(), SensorModel::SingleGauge).section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("Прибор сообщает тип датчика «два тензодатчика», выбрана модель «один тензодатчик»."));

    const CalibrationOutcome wrong = calculate(dir.path(), t, false, true);
    QVERIFY(wrong.ok);
    QCOMPARE(wrong.evaluatedAs, SensorModel::TwoGauge);
    pointrun::download(t.dev, wrong.values);
    double readBack = 0;
    for (double temp : pointrun::kTemperatures)
        readBack = std::max(readBack, pointrun::worstReadBack(t.dev, temp));
    QVERIFY2(readBack > 1.0, qPrintable(QString::number(readBack)));
    // Not green, and within a tenth of what the device reads.
    QVERIFY2(std::fabs(wrong.quality.worst() - readBack) < 0.1 * readBack,
             qPrintable(QStringLiteral("shown %1, read %2").arg(wrong.quality.worst()).arg(readBack)));
    QVERIFY(wrong.needsConfirmation);

    // The right boxes: green and asked nothing.
    const CalibrationOutcome right = calculate(dir.path(), t, false, false);
    QVERIFY(right.ok && !right.needsConfirmation);
    QVERIFY(right.quality.worst() <= kFitTargetPercent);
}

// A bench that stops short of Pmax: calculated, the operator told the top,
// Pmax and the error to expect there, and asked; the note goes to the report.
void TestCalibrationTrust::topBelowNinetyPercentAsks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("top");    // fraction of Pmax
    QTest::newRow("single gauge to 50 %") << int(Kind::SingleGauge) << 0.5;
    QTest::newRow("capacitive to 80 %") << int(Kind::CapacitiveNear) << 0.8;
    QTest::newRow("two gauges to 70 %") << int(Kind::TwoGauge) << 0.7;
}

void TestCalibrationTrust::topBelowNinetyPercentAsks()
{
    QFETCH(int, kind);
    QFETCH(double, top);
    const Kind k = Kind(kind);
    Transmitter t(k);
    QVector<BenchPoint> points;
    for (int i = 0; i < 5; ++i) {
        const double p = 100 * top * i / 4;
        points.append({p, k == Kind::TwoGauge ? p : 0.0});
    }
    QTemporaryDir dir;
    QVERIFY(pointrun::writeRun(dir.path(), QStringLiteral("dev"), t.dev, points, points));
    LsqCalibration calc;
    const CalibrationOutcome r =
        calculate(dir.path(), t, sim::SensorModel::make(k).isCapacitive(), k == Kind::SingleGauge, &calc);
    QVERIFY2(r.ok, qPrintable(r.messages.last().text));
    QVERIFY(r.needsConfirmation);
    const QString topText = QString::number(100 * top);
    QVERIFY2(r.confirmationText.contains(QStringLiteral("Точки записаны не до Pmax 100 кПа: наибольшее давление "
                                                        "dev_Tmin_MNK.txt — %1 кПа (%1 % от Pmax)").arg(topText)),
             qPrintable(r.confirmationText));
    QVERIFY(r.confirmationText.contains(QStringLiteral("ожидаемая ошибка при Pmax около ")));
    QVERIFY(r.confirmationText.endsWith(QStringLiteral("Все равно использовать результат расчета?")));
    QCOMPARE(r.notes.size(), 1);
    QVERIFY(std::isfinite(r.expectedErrorAtPmax) && r.expectedErrorAtPmax > 0);

    // The estimate is of the size the device shows at Pmax.
    pointrun::download(t.dev, r.values);
    t.dev.setBench(100, 0, 23);
    const double atPmax = pointrun::worstReadBack(t.dev, 23);
    QVERIFY2(atPmax < 10 * r.expectedErrorAtPmax + kFitTargetPercent,
             qPrintable(QStringLiteral("read %1 %, expected %2 %").arg(atPmax).arg(r.expectedErrorAtPmax)));

    const QString report = QString::fromUtf8(calibrationReportText(calc.report(r, QStringLiteral("01"), {})));
    QVERIFY(report.contains(QStringLiteral("Принято оператором:\n") + r.notes.first() + QLatin1Char('\n')));
}

// One row recorded with the wrong pressure: named, and marked as apart
// from the rest of its file, in the pane and the report.
void TestCalibrationTrust::worstPointNamed()
{
    Transmitter t(Kind::SingleGauge);
    QTemporaryDir dir;
    QVector<BenchPoint> points;
    for (double p : {0.0, 20.0, 40.0, 60.0, 80.0, 100.0})
        points.append({p, 0});
    QVERIFY(pointrun::writeRun(dir.path(), QStringLiteral("dev"), t.dev, points, points));
    // Line 4 of the Tmax file: 60 kPa typed as 61.
    const QString tmax = dir.filePath(QStringLiteral("dev_Tmax_MNK.txt"));
    QFile f(tmax);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    QList<QByteArray> fields = lines[3].split('\t');
    fields[4] = "61";
    lines[3] = fields.join('\t');
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(lines.join('\n'));
    f.close();

    LsqCalibration calc;
    const CalibrationOutcome r = calculate(dir.path(), t, false, true, &calc);
    QVERIFY(r.ok);
    const WorstPoint &w = r.quality.worstPoints[FileTmax];
    QVERIFY(w.any && w.standsApart);
    QCOMPARE(w.point.record.line, 4);
    QVERIFY(!r.quality.worstPoints[FileTmid].standsApart);
    const QString named = QStringLiteral("худшая точка: строка 4 (P+ = 61 кПа, P- = 0 кПа): ");
    QString paneLine;
    for (const CalcMessage &m : r.messages)
        if (m.text.startsWith(QStringLiteral("  Tmax (dev_Tmax_MNK.txt): ")))
            paneLine = m.text;
    QVERIFY2(paneLine.contains(named) && paneLine.contains(QStringLiteral("выделяется среди точек файла")),
             qPrintable(paneLine));
    const QString report = QString::fromUtf8(calibrationReportText(calc.report(r, QStringLiteral("01"), {})));
    QVERIFY(report.contains(QStringLiteral("\tстрока 4 (P+ = 61 кПа, P- = 0 кПа): ")));
}

// The refusals and warnings the calculation can say, as text: none went
// through a Latin-1 conversion. (The window's own path is read in tst_calc.)
void TestCalibrationTrust::messagesReadable()
{
    QStringList said = {unsolvedSystemMessage(QStringLiteral("система уравнений полинома давления"), 0.5),
                        unsolvedSystemMessage(QStringLiteral("система температурной компенсации"), 0.5)};
    DeviceSensorType two = decodeDeviceSensorType(QByteArray::fromHex("000100010101"));
    said << sensorMismatchQuestion(two, SensorModel::Capacitive) << deviceSensorText(DeviceSensorType());
    WorstPoint w;
    w.any = w.standsApart = true;
    said << worstPointText(w);
    QVERIFY(said[0].startsWith(QStringLiteral("Расчет невозможен: система уравнений полинома давления не решается")));
    for (const QString &text : said)
        QVERIFY2(!looksGarbled(text), qPrintable(text));
    QVERIFY(looksGarbled(QString::fromLatin1(QStringLiteral("Расчет").toUtf8())));
}

QTEST_GUILESS_MAIN(TestCalibrationTrust)
#include "tst_calibrationtrust.moc"
