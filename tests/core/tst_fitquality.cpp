// The fit's judge and its record: the calculation evaluates the device's
// compensation exactly as the virtual transmitter (the firmware's stand-in)
// computes it, what it judges is what the dialog writes, and the report
// holds the device, the date, the temperatures, the pressures, the readings
// as found and the residuals, or says why it could not be written.

#include "calc/calibrationreport.h"
#include "calc/fitquality.h"
#include "calc/parametervector.h"
#include "sim/compensation.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(SensorModel)

namespace {

PointRecord record(double v1, double v2, double v4, double pPlus, int line)
{
    PointRecord r;
    r.v1 = v1;
    r.v2 = v2;
    r.v4 = v4;
    r.pPlus = r.pMinus = pPlus;
    r.line = line;
    return r;
}

} // namespace

class TestFitQuality : public QObject
{
    Q_OBJECT

private slots:
    void sameFormulaAsTheDevice_data();
    void sameFormulaAsTheDevice();
    void judgedAsWritten();
    void reportHoldsTheRun();
    void reportThatCannotBeWritten();
};

void TestFitQuality::sameFormulaAsTheDevice_data()
{
    QTest::addColumn<SensorModel>("model");
    QTest::addColumn<int>("form");
    QTest::newRow("two-gauge") << SensorModel::TwoGauge << int(sim::CompensationForm::TwoGauge);
    QTest::newRow("single-gauge") << SensorModel::SingleGauge << int(sim::CompensationForm::SingleGauge);
    QTest::newRow("capacitive") << SensorModel::Capacitive << int(sim::CompensationForm::Capacitive);
}

void TestFitQuality::sameFormulaAsTheDevice()
{
    QFETCH(SensorModel, model);
    QFETCH(int, form);
    CalibrationCoefficients k;
    sim::Compensation d;
    k.Uk1h = d.uk1h = 26200;
    k.Uk2h = d.uk2h = 24800;
    k.U10 = d.u10 = 1200;
    k.U20 = d.u20 = 800;
    k.a = d.a = {1.5e-7f, -0.2f, 3000};
    k.b = d.b = {2e-13f, -1e-7f, 1.04f};
    k.c = d.c = {-5.7e-4f, 39.4f, -921607};
    k.c43 = d.c43 = 3.97e-9f;
    d.pmax = 250;
    for (double u1 : {1200.0, 14000.0, 26500.0, 61000.0})
        for (double u4 : {-40000.0, 23000.0, 480000.0}) {
            const double mine = devicePressurePa(model, k, 250, u1, 21000, u4);
            const double device = sim::compensatedPressurePa(sim::CompensationForm(form), d, u1, 21000, u4);
            QVERIFY2(std::fabs(mine - device) <= 1e-9 * std::max(1.0, std::fabs(device)),
                     qPrintable(QStringLiteral("u1 %1 u4 %2: %3 against %4").arg(u1).arg(u4).arg(mine).arg(device)));
        }
    // Coefficients that give no number give none here either.
    k.Uk1h = k.U10;
    d.uk1h = d.u10;
    QCOMPARE(std::isnan(devicePressurePa(model, k, 250, 5000, 21000, 23000)),
             std::isnan(sim::compensatedPressurePa(sim::CompensationForm(form), d, 5000, 21000, 23000)));
}

// The values are judged after the dialog's six digits, the polynomial
// models' second channel as the dialog shows it; a residual is the
// device's reading at a point against that point's pressure.
void TestFitQuality::judgedAsWritten()
{
    CalibrationCoefficients v;
    v.Uk1h = 26200.123f;
    v.U10 = 1234.5678f;
    v.Uk2h = 9;
    v.U20 = 7;
    v.a = {1.23456789e-7f, -0.2f, 3000.1234f};
    v.b = {0, 0, 1};
    v.c = {0, 4.0000001f, -4937.8901f};
    v.c43 = 3.97e-9f;
    v.polynomial = true;
    const CalibrationCoefficients w = coefficientsAsWritten(v);
    QCOMPARE(w.Uk1h, ParameterVector::fromText(QStringLiteral("26200.1")));
    QCOMPARE(w.U10, ParameterVector::fromText(QStringLiteral("1234.57")));
    QCOMPARE(w.Uk2h, w.Uk1h);
    QCOMPARE(w.U20, w.U10);
    QCOMPARE(w.a[0], ParameterVector::fromText(QStringLiteral("1.23457e-07")));
    QCOMPARE(w.c[2], ParameterVector::fromText(QStringLiteral("-4937.89")));

    // Q(x) = 4 x - 4937.89 over x = V1 - V2 in Hz: 25 kPa at x = 7484.4725.
    PointFileSet files;
    files.files[FileTmid].fileName = QStringLiteral("d_Tmid_MNK.txt");
    files.files[FileTmid].records = {record(30.0 + 7.4844725, 30.0, 23, 25, 1),
                                     record(30.0 + 7.4844725, 30.0, 23, 25.5, 2)};
    // No temperature correction (A.s = 0, B.s = 1) and a straight line.
    CalibrationCoefficients line = w;
    line.a = {0, 0, 0};
    line.c43 = 0;
    const FitQuality q = evaluateFit(SensorModel::SingleGauge, line, 100000, files, false);
    QCOMPARE(q.points.size(), 2);
    QVERIFY2(q.points[0].residualPercent < 1e-4, qPrintable(QString::number(q.points[0].residualPercent)));
    QVERIFY2(std::fabs(q.points[1].residualPercent - 0.5) < 1e-4, qPrintable(QString::number(q.points[1].residualPercent)));
    QCOMPARE(q.worstPercent[FileTmid], q.points[1].residualPercent);
    QCOMPARE(q.worstPercent[FileTmin], 0.0);
    QVERIFY(!q.needsConfirmation());

    // A reading that is no number is an infinite residual, shown as such.
    CalibrationCoefficients broken = line;
    broken.c43 = std::numeric_limits<float>::infinity();
    const FitQuality bad = evaluateFit(SensorModel::SingleGauge, broken, 100000, files, false);
    QVERIFY(!bad.allFinite());
    QCOMPARE(residualText(bad.worst()), QStringLiteral("не число"));
    const CalcMessages lines = fitQualityMessages(bad, files, QStringLiteral("прибора"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[2].kind, CalcMessage::Failure);
    QVERIFY2(lines[2].text.startsWith(QStringLiteral("  Tmid (d_Tmid_MNK.txt): не число %; худшая точка: строка ")),
             qPrintable(lines[2].text));
    QCOMPARE(fitQualityMessages(q, files, QStringLiteral("прибора"))[2].kind, CalcMessage::Warning);
}

void TestFitQuality::reportHoldsTheRun()
{
    CalibrationReport r;
    r.when = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
    r.address = QStringLiteral("03");
    r.haveSerial = true;
    r.serial = 3920103;
    r.model = SensorModel::Capacitive;
    r.pmax = 250;
    r.dir = QStringLiteral("/data/run/dev_03");
    const char *names[3] = {"dev_Tmin_MNK.txt", "dev_Tmid_MNK.txt", "dev_Tmax_MNK.txt"};
    for (int t = 0; t < 3; ++t) {
        r.files.files[size_t(t)].fileName = QLatin1String(names[t]);
        r.files.files[size_t(t)].records = {record(37.1, 32.0, -40 + 60 * t, 0, 1),
                                           record(45.1, 32.0, -40 + 60 * t, 0.25, 2)};
        r.files.means[size_t(t)].highPressureKPa = 0.25;
    }
    r.written.c43 = 3.97e-9f;
    r.quality = evaluateFit(SensorModel::Capacitive, r.written, r.pmax, r.files, false);
    r.quality.worstPercent = {0.012, 0.004, 0.0626};

    const QString text = QString::fromUtf8(calibrationReportText(r));
    for (const QString &line : {QStringLiteral("Отчет о калибровке\n"),
                                QStringLiteral("Дата и время:\t05.03.2024 14:07:09\n"),
                                QStringLiteral("Адрес прибора:\t03\n"), QStringLiteral("Заводской номер:\t3920103\n"),
                                QStringLiteral("Модель расчета:\tемкостной датчик\n"),
                                QStringLiteral("Pmax, кПа:\t0.25\n"),
                                QStringLiteral("Tmax\tdev_Tmax_MNK.txt\t8.0000e+01\t0\t0.25\t0.063\tстрока "),
                                QStringLiteral("Tmid\t2\t4.5100e+01\t3.2000e+01\t0.0000e+00\t2.0000e+01\t0.25\t0.25\t0.25\t"),
                                QStringLiteral("\nc43\t3.96999988e-09\n"),
                                QStringLiteral("Итог:\tнаибольшая невязка 0.063 % от Pmax, выше цели\n")})
        QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + text));
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("\n(Tmin|Tmid|Tmax)\t\\d+\t"))), 6);
    QCOMPARE(calibrationReportFileName(r.dir, QStringLiteral("dev")),
             QStringLiteral("/data/run/dev_03/dev_report.txt"));
    // Not a name the search for point files would take.
    QVERIFY(!calibrationReportFileName(r.dir, QStringLiteral("dev")).contains(QLatin1String("MNK")));

    r.haveSerial = false;
    QVERIFY(QString::fromUtf8(calibrationReportText(r)).contains(QStringLiteral("Заводской номер:\tне прочитан\n")));
}

void TestFitQuality::reportThatCannotBeWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dev_report.txt"));
    QString error;
    QVERIFY(writeCalibrationReport(path, "first\n", &error));
    QVERIFY(writeCalibrationReport(path, "second\n", &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("second\n"));

    QVERIFY(!writeCalibrationReport(dir.filePath(QStringLiteral("gone/dev_report.txt")), "x\n", &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestFitQuality)
#include "tst_fitquality.moc"
