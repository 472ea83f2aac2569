// Sensor physics and compensation of the virtual transmitter: drifts go the
// way real sensors drift, a seed gives one bench everywhere, the compensation
// matches hand-computed cases, the device computes its pressure from its
// registers as its firmware would, and a whole calibration through the
// calculation core brings each kind of sensor within its accuracy.

#include "calc/lsqcalibration.h"
#include "polling/calibrationfiles.h"
#include "polling/command3answer.h"
#include "polling/runningmean.h"
#include "sim/compensation.h"
#include "sim/virtualline.h"

#include "common/bigendian.h"
#include "common/pointrun.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

using sim::BenchState;
using sim::Compensation;
using sim::CompensationForm;
using sim::VirtualDevice;
using Kind = sim::SensorModel::Kind;

Q_DECLARE_METATYPE(sim::SensorModel::Kind)
Q_DECLARE_METATYPE(sim::CompensationForm)

namespace {

using pointrun::transact;

QByteArray writeFloats(uint16_t reg, std::initializer_list<float> values)
{
    QByteArray data;
    data.append(char(reg >> 8));
    data.append(char(reg & 0xFF));
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int shift = 24; shift >= 0; shift -= 8)
            data.append(char((bits >> shift) & 0xFF));
    }
    return data;
}

float readPressureKPa(VirtualDevice &dev)
{
    return beFloat(transact(dev, 51, QByteArray("\x00\xCC\x04", 3)), 0);
}

void addKinds()
{
    QTest::addColumn<Kind>("kind");
    for (Kind k : {Kind::TwoGauge, Kind::SingleGauge, Kind::CapacitiveNear, Kind::CapacitiveFar})
        QTest::newRow(qPrintable(sim::SensorModel::name(k))) << k;
}

// Difference signal as the compensation sees it (uV or Hz), noiseless.
double differenceSignal(const sim::SensorModel &s, double pKPa, double tempC)
{
    const auto v = s.ideal(BenchState{pKPa, 0.0, tempC});
    return (v[0] - v[1]) * 1000.0;
}

} // namespace

class TestSensorModel : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedSameBench_data() { addKinds(); }
    void sameSeedSameBench();
    void noiseIsSmallAndZeroable_data() { addKinds(); }
    void noiseIsSmallAndZeroable();
    void driftDirections_data() { addKinds(); }
    void driftDirections();
    void chambersReachTheRightSignals();
    void capacitiveDifferenceRanges();
    void namesRoundTrip();

    void compensationByHand_data();
    void compensationByHand();
    void undefinedCoefficientsGiveNoNumber();

    void deviceWithoutSensorIsUnchanged();
    void setSensorWritesFactorySettings_data() { addKinds(); }
    void setSensorWritesFactorySettings();
    void deviceComputesFromItsRegisters_data() { addKinds(); }
    void deviceComputesFromItsRegisters();
    void faultyCoefficientsDriveTheLoopLow();
    void lineBenchReachesEveryDevice();

    void calibrationReachesTarget_data() { addKinds(); }
    void calibrationReachesTarget();
};

void TestSensorModel::sameSeedSameBench()
{
    QFETCH(Kind, kind);
    sim::SensorModel a = sim::SensorModel::make(kind, 7);
    sim::SensorModel b = sim::SensorModel::make(kind, 7);
    sim::SensorModel c = sim::SensorModel::make(kind, 8);
    const BenchState bench{40.0, 0.0, 10.0};
    bool differs = false;
    for (int i = 0; i < 20; ++i) {
        const auto va = a.read(bench);
        QCOMPARE(b.read(bench), va);
        differs = differs || c.read(bench) != va;
    }
    QVERIFY(differs);
    // Reseeding starts the same sequence again.
    a.reseed(7);
    sim::SensorModel fresh = sim::SensorModel::make(kind, 7);
    QCOMPARE(a.read(bench), fresh.read(bench));
}

void TestSensorModel::noiseIsSmallAndZeroable()
{
    QFETCH(Kind, kind);
    sim::SensorModel s = sim::SensorModel::make(kind, 3);
    const BenchState bench{50.0, 0.0, 23.0};
    const auto ideal = s.ideal(bench);
    // Spread of the difference signal, in % of its span.
    const double span = std::fabs(differenceSignal(s, 100, 23) - differenceSignal(s, 0, 23));
    double sum = 0, sumSq = 0;
    const int n = 400;
    for (int i = 0; i < n; ++i) {
        const auto v = s.read(bench);
        const double d = (v[0] - v[1]) * 1000.0 - (ideal[0] - ideal[1]) * 1000.0;
        sum += d;
        sumSq += d * d;
    }
    const double sigma = std::sqrt(sumSq / n - (sum / n) * (sum / n)) / span * 100.0;
    QVERIFY2(sigma > 0.0005 && sigma < 0.02, qPrintable(QString::number(sigma)));
    QVERIFY(std::fabs(sum / n) / span * 100.0 < 0.005);   // no bias

    s.setNoiseScale(0.0);
    QCOMPARE(s.read(bench), ideal);
}

void TestSensorModel::driftDirections()
{
    QFETCH(Kind, kind);
    const sim::SensorModel s = sim::SensorModel::make(kind, 1);
    // The pressure channel alone (for the two-gauge sensor, the plus gauge).
    const auto differenceSignal = [](const sim::SensorModel &s, double p, double t) {
        return s.channel1().at(p / 100.0, t - 23.0);
    };
    const double zeroCold = differenceSignal(s, 0, -40), zeroHot = differenceSignal(s, 0, 80);
    const double spanCold = differenceSignal(s, 100, -40) - zeroCold;
    const double spanMid = differenceSignal(s, 100, 23) - differenceSignal(s, 0, 23);
    const double spanHot = differenceSignal(s, 100, 80) - zeroHot;
    // Span falls with temperature, by a few percent over the range, as it
    // does for both silicon gauges and capacitive cells.
    QVERIFY(spanCold > spanMid && spanMid > spanHot);
    QVERIFY(spanCold / spanHot < 1.2);
    // The zero moves upwards, by a few percent of the span over the range.
    QVERIFY(zeroHot > zeroCold);
    QVERIFY((zeroHot - zeroCold) / spanMid > 0.005);
    QVERIFY((zeroHot - zeroCold) / spanMid < 0.1);
    // The temperature signal rises with temperature; the capacitive device
    // reports degrees directly.
    const auto cold = s.ideal(BenchState{0, 0, -40}), hot = s.ideal(BenchState{0, 0, 80});
    QVERIFY(hot[3] > cold[3]);
    if (s.isCapacitive()) {
        QCOMPARE(cold[3], -40.0);
        QCOMPARE(cold[2], 0.0);   // the device fills variable 3
    } else {
        QVERIFY(std::fabs(hot[2] - 2500) < 10);   // supply
    }
    // Monotonic in pressure at every temperature, and nonlinear: the middle
    // is not on the chord.
    for (double t : {-40.0, 23.0, 80.0}) {
        double last = -1e300;
        for (int p = 0; p <= 100; p += 10) {
            const double d = differenceSignal(s, p, t);
            QVERIFY(d > last);
            last = d;
        }
        const double chordMid = (differenceSignal(s, 0, t) + differenceSignal(s, 100, t)) / 2;
        QVERIFY(std::fabs(differenceSignal(s, 50, t) - chordMid) > 1e-5 * std::fabs(spanMid));
    }
}

void TestSensorModel::chambersReachTheRightSignals()
{
    const sim::SensorModel two = sim::SensorModel::twoGauge();
    const auto base = two.ideal(BenchState{0, 0, 23});
    const auto plus = two.ideal(BenchState{100, 0, 23});
    const auto minus = two.ideal(BenchState{0, 100, 23});
    QVERIFY(plus[0] - base[0] > 20);       // about 25 mV full scale
    QCOMPARE(plus[1], base[1]);
    QVERIFY(minus[1] - base[1] > 20);
    QCOMPARE(minus[0], base[0]);

    // One bridge on the difference; the reference arm does not follow.
    const sim::SensorModel one = sim::SensorModel::singleGauge();
    const auto same = one.ideal(BenchState{60, 60, 23});
    const auto zero = one.ideal(BenchState{0, 0, 23});
    QCOMPARE(same[0], zero[0]);
    QCOMPARE(one.ideal(BenchState{100, 0, 23})[1], zero[1]);
}

void TestSensorModel::capacitiveDifferenceRanges()
{
    const struct { sim::SensorModel s; double lo, hi; } cases[] = {
        {sim::SensorModel::capacitiveNear(), 5000, 13000},
        {sim::SensorModel::capacitiveFar(), 40000, 48000},
    };
    for (const auto &c : cases) {
        QCOMPARE(differenceSignal(c.s, 0, 23), c.lo);
        QCOMPARE(differenceSignal(c.s, 100, 23), c.hi);
        // Frequencies in kHz and below 100 kHz, so the point files keep
        // them to the hertz.
        const auto v = c.s.ideal(BenchState{100, 0, -40});
        QVERIFY(v[0] > 1 && v[0] < 100 && v[1] > 1 && v[1] < 100);
    }
}

void TestSensorModel::namesRoundTrip()
{
    for (Kind k : {Kind::TwoGauge, Kind::SingleGauge, Kind::CapacitiveNear, Kind::CapacitiveFar}) {
        Kind back = Kind::TwoGauge;
        QVERIFY(sim::SensorModel::kindFromName(sim::SensorModel::name(k).toUpper(), &back));
        QCOMPARE(back, k);
    }
    Kind untouched = Kind::SingleGauge;
    QVERIFY(!sim::SensorModel::kindFromName(QStringLiteral("piezo"), &untouched));
    QCOMPARE(untouched, Kind::SingleGauge);
}

void TestSensorModel::compensationByHand_data()
{
    QTest::addColumn<CompensationForm>("form");
    QTest::addColumn<double>("u1");
    QTest::addColumn<double>("u2");
    QTest::addColumn<double>("u4");
    QTest::addColumn<double>("expected");

    // Two-gauge: Pmax 1000, U10 100, Uk1h 1100 (K1 = 1), U20 50, Uk2h 550
    // (K2 = 2). D = 1*(600-100) - 2*(80-50) = 440. A.s = 2e-6*100^2 +
    // 0.1*100 - 3 = 7.02, B.s = 1e-6*100^2 + 0*100 + 2 = 2.01.
    QTest::newRow("two-gauge") << CompensationForm::TwoGauge << 600.0 << 80.0 << 100.0
                               << (440.0 + 7.02) * 2.01;
    // Polynomial with x = 30 - 10 = 20: Q = 5 + 2*20 + 0.5*400 + 0.01*8000
    // = 325; the same rows in (U^2, U, 1).
    QTest::newRow("single-gauge") << CompensationForm::SingleGauge << 30.0 << 10.0 << 100.0
                                  << (325.0 + 7.02) * 2.01;
    // Capacitive: U4 = 100000 millidegrees gives the row (10000, 100, 1).
    // A.s = 2e-6*1e4 + 0.1*100 - 3 = 7.02, B.s = 1e-6*1e4 + 2 = 2.01.
    QTest::newRow("capacitive") << CompensationForm::Capacitive << 30.0 << 10.0 << 100000.0
                                << (325.0 + 7.02) * 2.01;
}

void TestSensorModel::compensationByHand()
{
    QFETCH(CompensationForm, form);
    QFETCH(double, u1);
    QFETCH(double, u2);
    QFETCH(double, u4);
    QFETCH(double, expected);
    Compensation k;
    k.pmax = 1000;
    k.u10 = 100;
    k.uk1h = 1100;
    k.u20 = 50;
    k.uk2h = 550;
    k.a = {2e-6f, 0.1f, -3.0f};
    k.b = {1e-6f, 0.0f, 2.0f};
    k.c = {0.5f, 2.0f, 5.0f};
    k.c43 = 0.01f;
    // The coefficients are floats: allow their rounding.
    QVERIFY2(std::fabs(sim::compensatedPressurePa(form, k, u1, u2, u4) - expected) < 1e-4 * expected,
             qPrintable(QString::number(sim::compensatedPressurePa(form, k, u1, u2, u4), 'g', 10)));
}

void TestSensorModel::undefinedCoefficientsGiveNoNumber()
{
    Compensation k;
    k.pmax = 1000;
    k.uk1h = k.u10 = 100;   // K1 = Pmax / 0
    QVERIFY(std::isnan(sim::compensatedPressurePa(CompensationForm::TwoGauge, k, 1, 1, 1)));
    k.uk1h = 200;
    k.b = {std::numeric_limits<float>::infinity(), 0, 0};
    QVERIFY(std::isnan(sim::compensatedPressurePa(CompensationForm::TwoGauge, k, 1, 1, 1)));
}

void TestSensorModel::deviceWithoutSensorIsUnchanged()
{
    VirtualDevice dev(1);
    dev.setBench(80, 0, 70);   // no sensor: the bench means nothing
    QCOMPARE(dev.sensor(), nullptr);
    const Command3Answer a = Command3Answer::decode(transact(dev, 3));
    QCOMPARE(a.current(), 12.0f);
    QCOMPARE(a.variable(1), 10.25f);
    QCOMPARE(a.variable(4), 498.0f);
    QCOMPARE(readPressureKPa(dev), 3.15f);
    QCOMPARE(dev.f32(VirtualDevice::RegPmax), 6300.0f);
}

void TestSensorModel::setSensorWritesFactorySettings()
{
    QFETCH(Kind, kind);
    VirtualDevice dev(2);
    sim::SensorModel s = sim::SensorModel::make(kind, 1);
    s.setNoiseScale(0);
    dev.setSensor(s);
    QCOMPARE(dev.f32(VirtualDevice::RegPmax), 100000.0f);
    QCOMPARE(dev.f32(VirtualDevice::RegPv), 100000.0f);
    QCOMPARE(dev.f32(VirtualDevice::RegPn), 0.0f);
    // Uncalibrated: right at 23 degrees but for the bow (0.03..0.1 % for
    // gauges, about 1.5 % for capacitive cells), well off when hot.
    const double bowKPa = s.isCapacitive() ? 1.0 : 0.1;
    for (int p = 0; p <= 100; p += 25) {
        dev.setBench(p, 0, 23);
        QVERIFY2(std::fabs(readPressureKPa(dev) - p) < bowKPa,
                 qPrintable(QString::number(readPressureKPa(dev))));
    }
    dev.setBench(0, 0, 80);
    QVERIFY(std::fabs(readPressureKPa(dev)) > 0.5);
    // The unit codes follow the sensor: mV, or kHz, kHz, kPa, degrees C.
    const QByteArray d = transact(dev, 3);
    const QVector<uint8_t> units = {uint8_t(d[4]), uint8_t(d[9]), uint8_t(d[14]), uint8_t(d[19])};
    if (s.isCapacitive())
        QCOMPARE(units, (QVector<uint8_t>{38, 38, 12, 32}));
    else
        QCOMPARE(units, (QVector<uint8_t>{36, 36, 36, 36}));
}

// The device's pressure is the compensation of the very values its
// command-3 answer reports, with the coefficients as written by command 91.
void TestSensorModel::deviceComputesFromItsRegisters()
{
    QFETCH(Kind, kind);
    VirtualDevice dev(3);
    sim::SensorModel s = sim::SensorModel::make(kind, 1);
    s.setNoiseScale(0);
    dev.setSensor(s);
    dev.setBench(60, 10, -10);

    const bool capacitive = s.isCapacitive();
    Compensation k = dev.compensation();
    k.a = capacitive ? std::array<float, 3>{0.5f, -20.0f, 100.0f}
                     : std::array<float, 3>{1e-6f, -0.5f, 100.0f};
    k.b = capacitive ? std::array<float, 3>{1e-5f, 1e-4f, 1.01f}
                     : std::array<float, 3>{1e-13f, 1e-7f, 0.95f};
    k.c43 = kind == Kind::TwoGauge ? 0.0f : 1e-12f;
    transact(dev, 91, writeFloats(0x004E, {k.a[0], k.a[1], k.a[2]}));
    transact(dev, 91, writeFloats(0x0100, {k.b[0], k.b[1], k.b[2]}));
    transact(dev, 91, writeFloats(0x0154, {k.c43}));
    QCOMPARE(dev.compensation().a, k.a);
    QCOMPARE(dev.compensation().c43, k.c43);

    const QByteArray d = transact(dev, 3);
    const Command3Answer a = Command3Answer::decode(d);
    const double expectedPa = sim::compensatedPressurePa(sim::compensationFor(kind), k,
        double(a.variable(1)) * 1000, double(a.variable(2)) * 1000, double(a.variable(4)) * 1000);
    const float pressure = readPressureKPa(dev);
    QVERIFY2(std::fabs(pressure - expectedPa / 1000) < 1e-6 * std::fabs(expectedPa / 1000) + 1e-6,
             qPrintable(QStringLiteral("%1 vs %2").arg(pressure).arg(expectedPa / 1000)));
    // The loop current follows the pressure over the range 0..Pmax.
    const float expectedMa = std::clamp(float(4.0 + 16.0 * expectedPa / 100000.0), 3.8f, 21.0f);
    QVERIFY(std::fabs(a.current() - expectedMa) < 1e-4f);
    if (capacitive)
        QCOMPARE(a.variable(3), pressure);
}

void TestSensorModel::faultyCoefficientsDriveTheLoopLow()
{
    VirtualDevice dev(1);
    dev.setSensor(sim::SensorModel::twoGauge());
    transact(dev, 91, writeFloats(0x0026, {500.0f, 500.0f, 500.0f, 0.0f}));   // Uk1h = U10
    const Command3Answer a = Command3Answer::decode(transact(dev, 3));
    QVERIFY(std::isnan(readPressureKPa(dev)));
    QCOMPARE(a.current(), 3.6f);
}

void TestSensorModel::lineBenchReachesEveryDevice()
{
    sim::VirtualLine line;
    VirtualDevice *early = line.addDevice(1);
    line.setBench(12, 3, -5);
    VirtualDevice *late = line.addDevice(2);
    for (VirtualDevice *dev : {early, late}) {
        QCOMPARE(dev->bench().pPlusKPa, 12.0);
        QCOMPARE(dev->bench().pMinusKPa, 3.0);
        QCOMPARE(dev->bench().temperatureC, -5.0);
    }
    QCOMPARE(line.bench().temperatureC, -5.0);
}

// The engineer's run through the cores: averaged command-3 answers into the
// point files, the calculation, the five register writes, the read-back.
void TestSensorModel::calibrationReachesTarget()
{
    QFETCH(Kind, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    VirtualDevice dev(1);
    dev.setSensor(sim::SensorModel::make(kind, 2));
    const bool twoGauge = kind == Kind::TwoGauge;
    const double temps[3] = {-40, 23, 80};
    const CalibrationTemperature which[3] = {CalibrationTemperature::Low, CalibrationTemperature::Middle,
                                             CalibrationTemperature::High};
    for (int t = 0; t < 3; ++t) {
        QFile file(dir.path() + QStringLiteral("/dev") + CalibrationFiles::pointSuffix(which[t]));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int p = 0; p <= 100; p += 25) {
            dev.setBench(p, twoGauge ? p : 0, temps[t]);
            ChannelMean mean;
            for (int n = 0; n < 10; ++n) {
                const Command3Answer a = Command3Answer::decode(transact(dev, 3));
                const float values[4] = {a.variable(1), a.variable(2), a.variable(3), a.variable(4)};
                RunningMean::foldInto(mean, values);
            }
            file.write(CalibrationFiles::pointLine(mean, p, twoGauge ? p : 0));
        }
    }
    LsqCalibration calc;
    QVERIFY(calc.findFiles(dir.path()).found);
    calc.openStaticFiles(false);
    const CalibrationOutcome out = calc.onParameterAnswer(
        transact(dev, 51, QByteArray("\x00\x1E\x04", 3)), dev.sensor()->isCapacitive(),
        kind == Kind::SingleGauge);
    QVERIFY(out.ok);
    const CalibrationCoefficients &v = out.values;
    transact(dev, 91, writeFloats(0x0026, {v.Uk1h, v.Uk2h, v.U10, v.U20}));
    transact(dev, 91, writeFloats(0x004E, {v.a[0], v.a[1], v.a[2]}));
    transact(dev, 91, writeFloats(0x0100, {v.b[0], v.b[1], v.b[2]}));
    transact(dev, 91, writeFloats(0x010C, {v.c[0], v.c[1], v.c[2]}));
    transact(dev, 91, writeFloats(0x0154, {v.c43}));

    for (double t : {-40.0, -10.0, 23.0, 50.0, 80.0}) {
        const bool between = t == -10.0 || t == 50.0;
        for (int p = 0; p <= 100; p += 25) {
            dev.setBench(p, 0, t);
            const double errorPercent = std::fabs(readPressureKPa(dev) - p);   // of 100 kPa
            QVERIFY2(errorPercent <= (between ? 0.1 : 0.05),
                     qPrintable(QStringLiteral("%1 degC, %2 kPa: %3 %").arg(t).arg(p).arg(errorPercent)));
        }
    }
}

QTEST_APPLESS_MAIN(TestSensorModel)
#include "tst_sensormodel.moc"
