#include "calc/lsqcalibration.h"

#include "common/capture.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

struct Reading
{
    double v1, v2, v4;
};

// Writes a point file with P+ = P- = p over the given pressures (kPa),
// unless pMinusFixed says P- stays at that value.
void writePointFile(const QString &path, const QVector<double> &pressures,
                    const std::function<Reading(double)> &at, const double *pMinusFixed = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        qFatal("cannot write %s", qPrintable(path));
    for (double p : pressures) {
        const Reading r = at(p);
        QByteArrayList fields;
        for (double v : {r.v1, r.v2, 0.0, r.v4, p, pMinusFixed ? *pMinusFixed : p})
            fields << QByteArray::number(v, 'e', 4);
        f.write(fields.join('\t') + '\n');
    }
}

QByteArray floatBigEndian(float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    QByteArray b(4, '\0');
    qToBigEndian(bits, b.data());
    return b;
}

const QVector<double> kPressures = {0, 25, 50, 75, 100};
const float kPmax = 100000;   // Pa
const double kTemps[3] = {-40, 23, 70};
const char *const kSuffix[3] = {"_Tmin_MNK.txt", "_Tmid_MNK.txt", "_Tmax_MNK.txt"};

// A two-gauge sensor whose zero and span drift with temperature (mV, kPa).
Reading twoGauge(double p, double t)
{
    const double dt = t - 23;
    return {2.0 + 0.02 * p + 0.004 * dt + 0.00003 * dt * dt, 1.0 + 0.01 * p + 0.002 * dt,
            300 + 1.5 * dt};
}

// A sensor whose difference signal is slightly curved in pressure.
Reading curved(double p, double t)
{
    const double dt = t - 23;
    const double x = 1.5 + 0.03 * p - 0.00004 * p * p + 0.001 * dt;
    return {2.0 + x, 2.0 + 0.0005 * dt, 300 + 1.5 * dt};
}

CalibrationOutcome runCalculation(const QTemporaryDir &dir, bool capacitor, bool tenzo1,
                                  std::string *printed = nullptr)
{
    CoutCapture out;
    LsqCalibration calc;
    const CalibrationFileSearch search = calc.findFiles(dir.path());
    if (!search.found)
        qFatal("files not found: %s", qPrintable(search.boxText));
    calc.openStaticFiles(false);
    CalibrationOutcome result = calc.onParameterAnswer(floatBigEndian(kPmax), capacitor, tenzo1);
    if (printed)
        *printed = out.text();
    return result;
}

void writeSensor(const QTemporaryDir &dir, const std::function<Reading(double, double)> &sensor,
                 const double *pMinusFixed = nullptr, const double (&temps)[3] = kTemps,
                 const QVector<double> &pressures = kPressures)
{
    for (int i = 0; i < 3; ++i)
        writePointFile(dir.filePath(QStringLiteral("dev") + kSuffix[i]), pressures,
                       [&](double p) { return sensor(p, temps[i]); }, pMinusFixed);
}

// The calculation as the window runs it: files read first, the device
// asked only when they are usable.
CalibrationOutcome calculateAsTheWindow(const QTemporaryDir &dir, bool capacitor, bool tenzo1,
                                        const QByteArray &answer = floatBigEndian(kPmax))
{
    CoutCapture out;
    LsqCalibration calc;
    if (!calc.findFiles(dir.path()).found)
        qFatal("files not found");
    CalibrationOutcome result;
    result.messages = calc.openStaticFiles(false);
    if (!calc.filesUsable())
        return result;
    return calc.onParameterAnswer(answer, capacitor, tenzo1);
}

QString lastText(const CalibrationOutcome &o, CalcMessage::Kind kind)
{
    for (int i = o.messages.size() - 1; i >= 0; --i)
        if (o.messages[i].kind == kind)
            return o.messages[i].text;
    return QString();
}

double dot(const std::array<float, 3> &k, double u) { return k[0] * u * u + k[1] * u + k[2]; }

bool anyNan(const CalibrationCoefficients &v)
{
    for (float f : {v.Uk1h, v.Uk2h, v.U10, v.U20, v.c43})
        if (std::isnan(f))
            return true;
    for (const auto &t : {v.a, v.b, v.c})
        for (float f : t)
            if (std::isnan(f))
                return true;
    return false;
}

} // namespace

class TestLsqCalibration : public QObject
{
    Q_OBJECT

private slots:
    void findFiles_data();
    void findFiles();
    void candidatesFromDirectory();
    void confirmationText();
    void modelChoice_data();
    void modelChoice();
    void bisection_data();
    void bisection();
    void twoGaugeSatisfiesItsEquations();
    void twoGaugeIdenticalFiles();
    void refusesWhatCannotBeRight_data();
    void refusesWhatCannotBeRight();
    void topPointBelowPmax();
    void residualBeyondOnePercentAsks();
    void twoGaugeRefusesConstantPMinus();
    void polynomialModel_data();
    void polynomialModel();
    void refusesNonNumbers_data();
    void refusesNonNumbers();
    void recalculationUsesGivenK();
    void pmaxDecoding();
};

void TestLsqCalibration::findFiles_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("found");   // mid, min, max, base; empty when not found
    QTest::addColumn<QString>("boxText");

    QTest::newRow("nothing") << QStringList{} << QStringList{}
                             << QStringLiteral("Не найдено калибровочных файлов (Файлы должны иметь имя, "
                                               "начинающееся с одинакового базового имени, температуры,и MNK.\n"
                                               " Например: basename_Tmid_MNK.txt");
    QTest::newRow("no Tmid") << QStringList{"a_Tmin_MNK.txt", "a_Tmax_MNK.txt"} << QStringList{}
                             << QStringLiteral("Не найден файл калибровки при нормальной температуре");
    QTest::newRow("Tmid is case-sensitive") << QStringList{"a_tmid_MNK.txt", "a_Tmin_MNK.txt"} << QStringList{}
                                            << QStringLiteral("Не найден файл калибровки при нормальной температуре");
    QTest::newRow("no Tmin") << QStringList{"a_Tmid_MNK.txt", "a_Tmax_MNK.txt"} << QStringList{}
                             << QStringLiteral("Не найден файл калибровки при минимальной температуре");
    QTest::newRow("only Tmid and Tmin") << QStringList{"a_Tmid_MNK.txt", "a_Tmin_MNK.txt"} << QStringList{}
                                        << QStringLiteral("Не найден файл калибровки при максимальной температуре");
    QTest::newRow("other device's Tmin") << QStringList{"a_Tmid_MNK.txt", "b_Tmin_MNK.txt", "b_Tmax_MNK.txt"}
                                         << QStringList{}
                                         << QStringLiteral("Не найден файл калибровки при минимальной температуре");
    QTest::newRow("plain") << QStringList{"dev_Tmax_MNK.txt", "dev_Tmid_MNK.txt", "dev_Tmin_MNK.txt"}
                           << QStringList{"dev_Tmid_MNK.txt", "dev_Tmin_MNK.txt", "dev_Tmax_MNK.txt", "dev"}
                           << QString();
    QTest::newRow("underscores in base name")
        << QStringList{"x_Tmin_MNK.txt", "x_y_Tmax_MNK.txt", "x_y_Tmid_MNK.txt", "x_y_Tmin_MNK.txt"}
        << QStringList{"x_y_Tmid_MNK.txt", "x_y_Tmin_MNK.txt", "x_y_Tmax_MNK.txt", "x_y"} << QString();
    QTest::newRow("first Tmid wins") << QStringList{"a_Tmid_MNK.txt", "b_Tmid_MNK.txt", "b_Tmin_MNK.txt",
                                                    "b_Tmax_MNK.txt"}
                                     << QStringList{} << QStringLiteral("Не найден файл калибровки при минимальной температуре");
}

void TestLsqCalibration::findFiles()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, found);
    QFETCH(QString, boxText);
    const CalibrationFileSearch r = findCalibrationFiles(names);
    QCOMPARE(r.found, !found.isEmpty());
    if (r.found) {
        QCOMPARE((QStringList{r.midFileName, r.minFileName, r.maxFileName, r.baseName}), found);
        QVERIFY(r.boxText.isEmpty());
        QVERIFY(r.standardOutput.contains(QStringLiteral("Его базовое имя: ") + found[3]));
        QVERIFY(r.standardOutput.contains(QStringLiteral("Найден файл при максимальной температуре: ") + found[2]));
    } else {
        QCOMPARE(r.boxTitle, QStringLiteral("Ошибка"));
        QCOMPARE(r.boxText, boxText);
    }
    QCOMPARE(r.standardError.isEmpty(), !names.isEmpty());
    if (names.isEmpty())
        QCOMPARE(r.standardError, QStringLiteral("Не найдено файлов калибровки\n"));
}

void TestLsqCalibration::candidatesFromDirectory()
{
    QTemporaryDir dir;
    for (const char *name : {"dev_Tmid_MNK.txt", "dev_Tmid.txt", "notes_mnk.txt", "dev_Tmin_MNK.txt"}) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(dir.path()).mkdir("old_MNK"));
    QStringList got = listCalibrationCandidates(dir.path());
    got.sort();
    QCOMPARE(got, (QStringList{"dev_Tmid_MNK.txt", "dev_Tmin_MNK.txt"}));
}

void TestLsqCalibration::confirmationText()
{
    const CalibrationFileSearch r = findCalibrationFiles({"d_Tmid_MNK.txt", "d_Tmin_MNK.txt", "d_Tmax_MNK.txt"});
    QCOMPARE(calibrationConfirmationText("/data/run", r),
             QStringLiteral("Были найдены следующие калибровочные файлы:\nВ директории /data/run"
                            "\nПри нормальной температуре: d_Tmid_MNK.txt"
                            "\nПри минимальной температуре: d_Tmin_MNK.txt"
                            "\nПри максимальной температуре: d_Tmax_MNK.txt"
                            "\n\nИспользовать данные файлы для калибровки?"));
}

void TestLsqCalibration::modelChoice_data()
{
    QTest::addColumn<bool>("capacitor");
    QTest::addColumn<bool>("tenzo1");
    QTest::addColumn<int>("model");
    QTest::newRow("both boxes") << true << true << int(SensorModel::Capacitive);
    QTest::newRow("capacitor") << true << false << int(SensorModel::Capacitive);
    QTest::newRow("single gauge") << false << true << int(SensorModel::SingleGauge);
    QTest::newRow("neither") << false << false << int(SensorModel::TwoGauge);
}

void TestLsqCalibration::modelChoice()
{
    QFETCH(bool, capacitor);
    QFETCH(bool, tenzo1);
    QFETCH(int, model);
    QCOMPARE(int(chooseSensorModel(capacitor, tenzo1)), model);
}

void TestLsqCalibration::bisection_data()
{
    QTest::addColumn<QVector<float>>("c");   // c40..c43
    QTest::addColumn<float>("expected");
    QTest::addColumn<float>("tolerance");
    // Q - Pmax has one sign over the whole bracket: neither end moves.
    QTest::newRow("no root") << QVector<float>{200000, 0, 0, 0} << 50001.0f << 0.0f;
    QTest::newRow("linear") << QVector<float>{0, 10, 0, 0} << 10001.0f << 0.5f;
    // 20 x + 0.001 x^2 = 100000 at x = 4142.136.
    QTest::newRow("quadratic") << QVector<float>{0, 20, 0.001f, 0} << 4143.136f << 0.5f;
}

void TestLsqCalibration::bisection()
{
    QFETCH(QVector<float>, c);
    QFETCH(float, expected);
    QFETCH(float, tolerance);
    const float got = bisectPressureRoot(c[0], c[1], c[2], c[3], kPmax);
    QVERIFY2(std::fabs(got - expected) <= tolerance, qPrintable(QString::number(got, 'g', 9)));
}

void TestLsqCalibration::twoGaugeSatisfiesItsEquations()
{
    QTemporaryDir dir;
    writeSensor(dir, twoGauge);
    std::string printed;
    const CalibrationOutcome out = runCalculation(dir, false, false, &printed);
    QVERIFY2(out.ok, qPrintable(out.messages.isEmpty() ? QString() : out.messages.last().text));
    QCOMPARE(printed.find("Impossible"), std::string::npos);
    const CalibrationCoefficients &v = out.values;
    QVERIFY(!v.polynomial);
    QCOMPARE(v.c, v.b);
    QCOMPARE(v.c43, 0.0f);
    QCOMPARE(v.Pmax, kPmax);
    // Straight lines of the Tmid points (microvolts over Pa).
    QVERIFY(std::fabs(v.U10 - 2000) < 0.5);
    QVERIFY(std::fabs(v.U20 - 1000) < 0.5);
    QVERIFY(std::fabs(v.Uk1h - 4000) < 0.5);
    QVERIFY(std::fabs(v.Uk2h - 2000) < 0.5);

    // The compensated reading is 0 at zero pressure and Pmax at full scale
    // at every calibration temperature.
    const double k1 = kPmax / (v.Uk1h - v.U10), k2 = kPmax / (v.Uk2h - v.U20);
    for (int i = 0; i < 3; ++i) {
        const Reading lo = twoGauge(0, kTemps[i]), hi = twoGauge(100, kTemps[i]);
        const double u4 = lo.v4 * 1000;
        const double zero = k1 * (lo.v1 * 1000 - v.U10) - k2 * (lo.v2 * 1000 - v.U20) + dot(v.a, u4);
        const double full = dot(v.b, u4)
                            * (k1 * (hi.v1 * 1000 - v.U10) - k2 * (lo.v2 * 1000 - v.U20) + dot(v.a, u4));
        QVERIFY2(std::fabs(zero) < 1e-3 * kPmax, qPrintable(QStringLiteral("T%1 zero %2").arg(i).arg(zero)));
        QVERIFY2(std::fabs(full - kPmax) < 1e-3 * kPmax, qPrintable(QStringLiteral("T%1 full %2").arg(i).arg(full)));
    }
    QCOMPARE(v.var1[1], float(twoGauge(0, 23).v1 * 1000));
    QCOMPARE(v.var4[5], float(twoGauge(100, 70).v4 * 1000));
}

void TestLsqCalibration::twoGaugeIdenticalFiles()
{
    // Three equal temperature rows: no compensation can come out of them,
    // and the device is not even asked.
    QTemporaryDir dir;
    writeSensor(dir, [](double p, double) { return twoGauge(p, 23); });
    CoutCapture out;
    LsqCalibration calc;
    QVERIFY(calc.findFiles(dir.path()).found);
    const CalcMessages messages = calc.openStaticFiles(false);
    QVERIFY(!calc.filesUsable());
    QCOMPARE(messages.last().kind, CalcMessage::Failure);
    QVERIFY2(messages.last().text.startsWith(QStringLiteral(
                 "Расчет невозможен: все три файла (dev_Tmin_MNK.txt, dev_Tmid_MNK.txt, dev_Tmax_MNK.txt) "
                 "записаны при одной температуре")),
             qPrintable(messages.last().text));
    // Asked all the same, the calculation says so again.
    const CalibrationOutcome r = calc.onParameterAnswer(floatBigEndian(kPmax), false, false);
    QVERIFY(!r.ok);
    QCOMPARE(r.messages.last(), messages.last());
}

// What cannot give a right result is refused with its reason, before or
// after the device is asked, and no coefficient comes out.
void TestLsqCalibration::refusesWhatCannotBeRight_data()
{
    QTest::addColumn<int>("model");        // SensorModel
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");   // start of the red line, after "Расчет невозможен: "

    const int two = int(SensorModel::TwoGauge), one = int(SensorModel::SingleGauge),
              cap = int(SensorModel::Capacitive);
    QTest::newRow("three files at one temperature") << cap << "temps 23 23 23"
        << "все три файла (dev_Tmin_MNK.txt, dev_Tmid_MNK.txt, dev_Tmax_MNK.txt) записаны при одной температуре";
    QTest::newRow("Tmin recorded at Tmid") << one << "temps 23 23 70"
        << "файлы dev_Tmin_MNK.txt и dev_Tmid_MNK.txt записаны практически при одной температуре";
    QTest::newRow("Tmin and Tmax at one temperature") << two << "temps 70 23 70"
        << "файлы dev_Tmin_MNK.txt и dev_Tmax_MNK.txt записаны практически при одной температуре";
    QTest::newRow("Tmax 0.5 degrees from Tmid") << two << "temps -40 23 23.5"
        << "файлы dev_Tmid_MNK.txt и dev_Tmax_MNK.txt записаны практически при одной температуре";
    QTest::newRow("pressures in Pa") << two << "top 100000"
        << "наибольшее давление в файле dev_Tmin_MNK.txt равно 100000 кПа, а Pmax прибора 100 кПа";
    QTest::newRow("Pmax 0") << two << "pmax 0" << "прибор сообщил Pmax = 0 Па";
    QTest::newRow("Pmax not a number") << cap << "pmax nan" << "прибор сообщил Pmax = nan Па";
    QTest::newRow("plus gauge dead") << two << "dead-gauge" << "сигнал U1 не следует за давлением P+ в файле dev_Tmin_MNK.txt";
    QTest::newRow("difference signal dead") << one << "dead-gauge" << "сигнал U1 - U2 не следует за давлением P+ в файле dev_Tmin_MNK.txt";
    QTest::newRow("three pressures for a cubic") << cap << "pressures 0 50 100"
        << "для полинома давления третьей степени нужны не менее четырех точек";
    QTest::newRow("Tmin signal does not move with pressure") << two << "Tmin flat"
        << "сигнал U1 не следует за давлением P+ в файле dev_Tmin_MNK.txt";
    QTest::newRow("a file at one pressure") << one << "Tmax constant"
        << "в файле dev_Tmax_MNK.txt все точки записаны при одном давлении P+ 0 кПа";
}

void TestLsqCalibration::refusesWhatCannotBeRight()
{
    QFETCH(int, model);
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    const QStringList words = setup.split(QLatin1Char(' '));
    double temps[3] = {kTemps[0], kTemps[1], kTemps[2]};
    QVector<double> pressures = kPressures;
    QByteArray answer = floatBigEndian(kPmax);
    std::function<Reading(double, double)> sensor = model == int(SensorModel::TwoGauge) ? twoGauge : curved;
    if (words[0] == "temps")
        for (int i = 0; i < 3; ++i)
            temps[i] = words[i + 1].toDouble();
    if (words[0] == "top")
        for (double &p : pressures)
            p *= words[1].toDouble() / 100;
    if (words[0] == "pressures")
        pressures = {words[1].toDouble(), words[2].toDouble(), words[3].toDouble()};
    if (words[0] == "pmax")
        answer = floatBigEndian(words[1].toFloat());
    if (words[0] == "dead-gauge")
        sensor = [model](double p, double t) {
            Reading r = model == int(SensorModel::TwoGauge) ? twoGauge(p, t) : curved(p, t);
            // Noise instead of a response to pressure.
            r.v1 = (model == int(SensorModel::TwoGauge) ? 2.0 : 3.5) + 1e-4 * std::sin(7 * p);
            return r;
        };
    QTemporaryDir dir;
    writeSensor(dir, sensor, nullptr, temps, pressures);
    if (words[0] == "Tmin")
        writePointFile(dir.filePath("dev_Tmin_MNK.txt"), kPressures, [](double p) {
            Reading r = twoGauge(p, -40);
            r.v1 = twoGauge(0, -40).v1;
            return r;
        });
    if (words[0] == "Tmax")
        writePointFile(dir.filePath("dev_Tmax_MNK.txt"), {0, 0, 0}, [](double p) { return curved(p, 70); });

    const bool capacitor = model == int(SensorModel::Capacitive);
    const CalibrationOutcome r =
        calculateAsTheWindow(dir, capacitor, model == int(SensorModel::SingleGauge), answer);
    QVERIFY(!r.ok);
    const QString red = lastText(r, CalcMessage::Failure);
    QVERIFY2(red.startsWith(QStringLiteral("Расчет невозможен: ") + reason), qPrintable(red));
    QCOMPARE(r.messages.last().text, red);
}

// A run that stopped short of Pmax is calculated with the pressure it
// recorded, and the operator is told.
void TestLsqCalibration::topPointBelowPmax()
{
    QTemporaryDir dir;
    QVector<double> pressures = kPressures;
    for (double &p : pressures)
        p *= 0.9;
    writeSensor(dir, curved, nullptr, kTemps, pressures);
    const CalibrationOutcome r = calculateAsTheWindow(dir, false, true);
    QVERIFY2(r.ok, qPrintable(r.messages.last().text));
    QVERIFY(!r.needsConfirmation);
    QCOMPARE(lastText(r, CalcMessage::Warning),
             QStringLiteral("Наибольшее давление в файле dev_Tmax_MNK.txt равно 90 кПа, а Pmax прибора 100 кПа: "
                            "расчет ведется по записанному давлению\n"));
    // At the top of every file the device reads the 90 kPa recorded there.
    for (int i = 0; i < 3; ++i) {
        const Reading hi = curved(90, kTemps[i]);
        const double read = devicePressurePa(SensorModel::SingleGauge, r.written, kPmax, hi.v1 * 1000,
                                             hi.v2 * 1000, hi.v4 * 1000);
        QVERIFY2(std::fabs(read - 90000) < 1e-4 * kPmax, qPrintable(QString::number(read)));
    }
    QVERIFY2(r.quality.worst() < kFitTargetPercent, qPrintable(QString::number(r.quality.worst())));
}

// A result that leaves the device more than 1 % off at its own points is
// shown in red and waits for the operator.
void TestLsqCalibration::residualBeyondOnePercentAsks()
{
    QTemporaryDir dir;
    // The zero point was never recorded: the device is made to read 0 at 5 kPa.
    writeSensor(dir, curved, nullptr, kTemps, {5, 25, 50, 75, 100});
    const CalibrationOutcome r = calculateAsTheWindow(dir, false, true);
    QVERIFY(r.ok);
    QVERIFY(r.needsConfirmation);
    QVERIFY2(std::fabs(r.quality.worst() - 5) < 0.1, qPrintable(QString::number(r.quality.worst())));
    QVERIFY2(r.confirmationText.startsWith(QStringLiteral("Наибольшая невязка в точках калибровки 5.0")),
             qPrintable(r.confirmationText));
    QCOMPARE(r.quality.points.size(), 15);
    QVERIFY(lastText(r, CalcMessage::Failure).startsWith(QStringLiteral("  Tmax (dev_Tmax_MNK.txt): 5.0")));
}

void TestLsqCalibration::twoGaugeRefusesConstantPMinus()
{
    // A gauge calibrated on P+ alone: P- is 0 in every line.
    QTemporaryDir dir;
    const double zero = 0;
    writeSensor(dir, twoGauge, &zero);
    const CalibrationOutcome out = runCalculation(dir, false, false);
    QVERIFY(!out.ok);
    QVERIFY(!anyNan(out.values));
    QCOMPARE(out.messages.first(), (CalcMessage{CalcMessage::Success, QStringLiteral("Параметр для расчета МНК получен\n")}));
    QCOMPARE(out.messages.last().kind, CalcMessage::Failure);
    QCOMPARE(out.messages.last().text,
             QStringLiteral("Расчет невозможен: для модели с двумя тензодатчиками давление P- должно изменяться "
                            "(подавайте давление на оба входа одновременно)\n"));

    // The single-gauge model does not need P-: the same files calculate.
    QVERIFY(runCalculation(dir, false, true).ok);
}

void TestLsqCalibration::polynomialModel_data()
{
    QTest::addColumn<bool>("capacitor");
    QTest::addColumn<bool>("tenzo1");
    QTest::newRow("single gauge") << false << true;
    QTest::newRow("capacitive (both boxes)") << true << true;
}

void TestLsqCalibration::polynomialModel()
{
    QFETCH(bool, capacitor);
    QFETCH(bool, tenzo1);
    QTemporaryDir dir;
    writeSensor(dir, curved);
    const CalibrationOutcome out = runCalculation(dir, capacitor, tenzo1);
    QVERIFY2(out.ok, qPrintable(out.messages.last().text));
    const CalibrationCoefficients &v = out.values;
    QVERIFY(v.polynomial);
    QCOMPARE(v.Uk2h, 1.0f);
    QCOMPARE(v.U10, 1.0f);
    QCOMPARE(v.U20, 0.0f);
    auto q = [&](double x) { return v.c[2] + v.c[1] * x + v.c[0] * x * x + v.c43 * x * x * x; };
    // The fit reproduces the Tmid pressures.
    for (double p : kPressures) {
        const Reading r = curved(p, 23);
        QVERIFY2(std::fabs(q((r.v1 - r.v2) * 1000) - p * 1000) < 2e-3 * kPmax,
                 qPrintable(QStringLiteral("p %1: %2").arg(p).arg(q((r.v1 - r.v2) * 1000))));
    }
    // Uk1h is where Q reaches Pmax, plus one.
    QVERIFY(std::fabs(q(v.Uk1h - 1) - kPmax) < 0.01 * kPmax);
    // Zero and full scale compensated at every temperature.
    auto s = [&](double u) { return capacitor ? std::array<double, 3>{u * u / 1e6, u / 1e3, 1}
                                              : std::array<double, 3>{u * u, u, 1}; };
    auto row = [](const std::array<float, 3> &k, const std::array<double, 3> &r) {
        return k[0] * r[0] + k[1] * r[1] + k[2] * r[2];
    };
    for (int i = 0; i < 3; ++i) {
        const Reading lo = curved(0, kTemps[i]), hi = curved(100, kTemps[i]);
        const auto t = s(lo.v4 * 1000);
        const double zero = q((lo.v1 - lo.v2) * 1000) + row(v.a, t);
        const double full = row(v.b, t) * (q((hi.v1 - hi.v2) * 1000) + row(v.a, t));
        QVERIFY2(std::fabs(zero) < 2e-3 * kPmax, qPrintable(QStringLiteral("T%1 zero %2").arg(i).arg(zero)));
        QVERIFY2(std::fabs(full - kPmax) < 2e-3 * kPmax, qPrintable(QStringLiteral("T%1 full %2").arg(i).arg(full)));
    }
}

void TestLsqCalibration::refusesNonNumbers_data()
{
    QTest::addColumn<bool>("capacitor");
    QTest::addColumn<QString>("broken");   // "Tmid" removed, or "Tmin constant"
    QTest::addColumn<QString>("reason");
    const QString gone = QStringLiteral("Файл калибровки не открыт или не существует\n");
    const QString onePressure = QStringLiteral(
        "Расчет невозможен: в файле dev_Tmin_MNK.txt все точки записаны при одном давлении P+ 0 кПа; "
        "нужны точки от нуля до Pmax\n");
    QTest::newRow("capacitive, Tmid gone") << true << "Tmid" << gone;
    QTest::newRow("two-gauge, Tmid gone") << false << "Tmid" << gone;
    QTest::newRow("capacitive, Tmin at one pressure") << true << "Tmin constant" << onePressure;
    QTest::newRow("two-gauge, Tmin at one pressure") << false << "Tmin constant" << onePressure;
}

void TestLsqCalibration::refusesNonNumbers()
{
    QFETCH(bool, capacitor);
    QFETCH(QString, broken);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    writeSensor(dir, twoGauge);
    const QString tmin = dir.filePath("dev_Tmin_MNK.txt");
    if (broken == "Tmin constant")
        writePointFile(tmin, {0, 0, 0}, [](double p) { return twoGauge(p, -40); });

    CoutCapture out;
    LsqCalibration calc;
    QVERIFY(calc.findFiles(dir.path()).found);
    // Gone between the search and the reading.
    if (broken == "Tmid")
        QVERIFY(QFile::remove(dir.filePath("dev_Tmid_MNK.txt")));
    const CalcMessages read = calc.openStaticFiles(false);
    QVERIFY(!calc.filesUsable());
    QCOMPARE(read.last(), (CalcMessage{CalcMessage::Failure, reason}));
    const CalibrationOutcome r = calc.onParameterAnswer(floatBigEndian(kPmax), capacitor, false);
    QVERIFY(!r.ok);
    QVERIFY(!anyNan(r.values));
    QCOMPARE(r.messages.last(), (CalcMessage{CalcMessage::Failure, reason}));
}

void TestLsqCalibration::recalculationUsesGivenK()
{
    // Reference values of the two-gauge sensor, as the dialog shows them.
    RecalcInputs in;
    in.Pmax = kPmax;
    in.U10 = 2000;
    in.U20 = 1000;
    const Reading l = twoGauge(0, -40), n = twoGauge(0, 23), h = twoGauge(0, 70);
    in.U1l = l.v1 * 1000; in.U2l = l.v2 * 1000; in.U4l = l.v4 * 1000;
    in.U4n = n.v4 * 1000;
    in.U1h = h.v1 * 1000; in.U2h = h.v2 * 1000; in.U4h = h.v4 * 1000;
    in.U1hl = twoGauge(100, -40).v1 * 1000;
    in.U1hh = twoGauge(100, 70).v1 * 1000;

    for (float k2 : {100.0f, 50.0f}) {
        in.K1 = 50;
        in.K2 = k2;
        CoutCapture out;
        const RecalcResult r = recalculateTwoGauge(in);
        QVERIFY(r.ok);
        // Zero at -40 and +70 with exactly these K1, K2.
        for (const auto &t : {std::make_tuple(in.U1l, in.U2l, in.U4l), std::make_tuple(in.U1h, in.U2h, in.U4h)}) {
            const double zero = in.K1 * (std::get<0>(t) - in.U10) - in.K2 * (std::get<1>(t) - in.U20)
                                + dot(r.a, std::get<2>(t));
            QVERIFY2(std::fabs(zero) < 1e-3 * kPmax, qPrintable(QString::number(zero)));
        }
        QVERIFY(std::fabs(dot(r.b, in.U4n) - 1) < 1e-4);
    }

    // Every field empty: nothing to compensate, and nothing that is a number.
    CoutCapture out;
    const RecalcResult empty = recalculateTwoGauge(RecalcInputs());
    QVERIFY(!empty.ok);
    QVERIFY(!empty.error.isEmpty());
}

void TestLsqCalibration::pmaxDecoding()
{
    float p = 0;
    QVERIFY(decodePmax(QByteArray::fromHex("47c35000ff"), &p));
    QCOMPARE(p, 100000.0f);
    QVERIFY(!decodePmax(QByteArray::fromHex("47c350"), &p));
    // The serial number comes in the answer to its own read.
    uint32_t serial = 0;
    QVERIFY(decodeSerial(QByteArray::fromHex("003bd1e5"), &serial));
    QCOMPARE(serial, 3920357u);
    QVERIFY(!decodeSerial(QByteArray::fromHex("003bd1"), &serial));

    QTemporaryDir dir;
    writeSensor(dir, twoGauge);
    LsqCalibration calc;
    QVERIFY(calc.findFiles(dir.path()).found);
    const CalibrationOutcome r = calc.onParameterAnswer(QByteArray(), false, false);
    QVERIFY(!r.ok);
    QCOMPARE(r.messages.last().kind, CalcMessage::Failure);
}

QTEST_GUILESS_MAIN(TestLsqCalibration)
#include "tst_lsqcalibration.moc"
