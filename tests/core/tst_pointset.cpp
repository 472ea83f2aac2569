#include "calc/calibrationpointset.h"
#include "calc/fitquality.h"
#include "calc/pointfiles.h"
#include "device/sensorrangetable.h"

#include <QtTest>

#include <cmath>

using Means = std::array<float, 3>;
Q_DECLARE_METATYPE(Means)

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A point line as the capture writes it: six numbers in 'e' notation.
QByteArray pointLine(double v1, double v2, double v3, double v4, double pPlus, double pMinus)
{
    QByteArrayList fields;
    for (double v : {v1, v2, v3, v4, pPlus, pMinus})
        fields << QByteArray::number(v, 'e', 4);
    return fields.join('\t') + '\n';
}

bool near(float a, float b) { return std::fabs(a - b) <= 1e-5f * std::max(1.0f, std::fabs(b)); }

} // namespace

class TestPointSet : public QObject
{
    Q_OBJECT

private slots:
    void readGroups_data();
    void readGroups();
    void groupingFollowsEveryRange();
    void linesThatAreNotSixNumbers_data();
    void linesThatAreNotSixNumbers();
    void readConstantPressureHasNoHighPoints();
    void readMissingAndEmptyFiles();
    void openStaticFilesListsEighteenValues();
    void loadMidPointSet();
    void loadMidPointSetMissingFile();
    void regressions();
    void fitPolynomialDegreeOne();
    void fitDifferencePolynomial();
    void fitFarFromZero_data();
    void fitFarFromZero();
};

void TestPointSet::readGroups_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("vakum");
    QTest::addColumn<Means>("low");
    QTest::addColumn<Means>("high");

    // P+ 0, 0, 100, 100 while P- runs 7, 3, 3, 7 the other way. Each group
    // keeps the rows whose other chamber is at its lowest (3 kPa of P-, 0
    // of P+): the others are differential points.
    const QByteArray fourLines = pointLine(1, 10, 0, 100, 0, 7) + pointLine(3, 20, 0, 200, 0, 3)
                                 + pointLine(5, 30, 0, 300, 100, 3) + pointLine(7, 40, 0, 400, 100, 7);
    QTest::newRow("by P+") << fourLines << false << Means{3, 20, 200} << Means{5, 30, 300};
    QTest::newRow("by P- (vacuum gauge)") << fourLines << true << Means{3, 20, 200} << Means{1, 10, 100};
    // Both chambers at one pressure in every line: zero and top keep their
    // own rows.
    QTest::newRow("both chambers together")
        << pointLine(1, 10, 0, 100, 0, 0) + pointLine(3, 20, 0, 200, 50, 50) + pointLine(5, 30, 0, 300, 100, 100)
        << false << Means{1, 10, 100} << Means{5, 30, 300};

    // Repeats of one nominal pressure stay together: 99.9 and 100.2 kPa
    // are both the top point, 0 and 0.3 kPa both zero.
    QTest::newRow("repeats of a nominal pressure")
        << pointLine(1, 1, 0, 1, 0, 0) + pointLine(3, 3, 0, 3, 0.3, 0) + pointLine(5, 5, 0, 5, 50, 0)
               + pointLine(8, 8, 0, 8, 99.9, 0) + pointLine(10, 10, 0, 10, 100.2, 0)
        << false << Means{2, 2, 2} << Means{9, 9, 9};
    // A low range: 0 and 0.0625 kPa are two points, not one "zero".
    QTest::newRow("0.25 kPa range") << pointLine(1, 1, 0, 1, 0, 0) + pointLine(2, 2, 0, 2, 0.0625, 0)
                                           + pointLine(5, 5, 0, 5, 0.25, 0)
                                    << false << Means{1, 1, 1} << Means{5, 5, 5};
    // Middle pressures take part in neither group.
    QTest::newRow("middle points ignored")
        << pointLine(1, 1, 0, 1, 0, 0) + pointLine(50, 50, 0, 50, 50, 0) + pointLine(9, 9, 0, 9, 100, 0)
        << false << Means{1, 1, 1} << Means{9, 9, 9};
    // Written in text mode on another platform, with a stray blank line.
    QTest::newRow("CR LF and blank lines")
        << QByteArray("1.0e+00\t2.0e+00\t0\t3.0e+00\t0\t0\r\n\r\n5.0e+00\t6.0e+00\t0\t7.0e+00\t10\t0\r\n")
        << false << Means{1, 2, 3} << Means{5, 6, 7};
    // Written by a spreadsheet in a Russian locale.
    QTest::newRow("decimal commas") << QByteArray("1,5\t2\t0\t3\t0\t0\n4\t5,25\t0\t6\t1,5\t0\n") << false
                                    << Means{1.5, 2, 3} << Means{4, 5.25, 6};
}

void TestPointSet::readGroups()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, vakum);
    QFETCH(Means, low);
    QFETCH(Means, high);
    QTemporaryDir dir;
    CalcMessages messages;
    const PointFileMeans m = readPointFile(writeFile(dir, "a_Tmin_MNK.txt", content), vakum, &messages);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(near(m.low[i], low[i]), qPrintable(QStringLiteral("low %1: %2").arg(i).arg(m.low[i])));
        QVERIFY2(near(m.high[i], high[i]), qPrintable(QStringLiteral("high %1: %2").arg(i).arg(m.high[i])));
    }
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].kind, CalcMessage::Success);
    QCOMPARE(messages[0].text, QStringLiteral("Файл калибровки: Открыт\n"));
}

// Every upper limit of the family's range table, recorded as the capture
// writes it with 5 and 11 points: the lowest group is the zero point alone
// and the highest the full-scale point alone.
void TestPointSet::groupingFollowsEveryRange()
{
    QTemporaryDir dir;
    QSet<double> ranges;
    for (int key : SensorRangeTable::knownKeys())
        for (double kPa : SensorRangeTable::listForKey(key))
            if (kPa > 0)
                ranges.insert(kPa);
    QVERIFY(ranges.contains(0.25) && ranges.contains(6000));
    for (double pmax : ranges) {
        for (int points : {5, 11}) {
            QByteArray content;
            for (int i = 0; i < points; ++i) {
                const double p = pmax * i / (points - 1);
                content += pointLine(10 + i, 20 + i, 0, 30 + i, p, 0);
            }
            const PointFileMeans m = readPointFile(writeFile(dir, "r_Tmid_MNK.txt", content), false, nullptr);
            const QString where = QStringLiteral("Pmax %1 kPa, %2 points").arg(pmax).arg(points);
            QVERIFY2(m.lowCount == 1 && m.highCount == 1, qPrintable(where));
            QVERIFY2(m.low == (Means{10, 20, 30}), qPrintable(where));
            QVERIFY2(near(m.high[0], 10 + points - 1) && near(m.high[2], 30 + points - 1), qPrintable(where));
            QVERIFY2(std::fabs(m.highPressureKPa - pmax) <= 1e-4 * pmax, qPrintable(where));
            QCOMPARE(m.lowPressureKPa, 0.0);
        }
    }
}

// A line is six TAB-separated numbers or the file is refused, with the file
// and the line named; what is merely untidy is read.
void TestPointSet::linesThatAreNotSixNumbers_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("error");   // empty: the line is read

    const QByteArray good = "1.0e+00\t2.0e+00\t0\t3.0e+00\t";
    QTest::newRow("header") << QByteArray("V1\tV2\tV3\tV4\tP+\tP-") << QStringLiteral("поле 1 «V1»");
    QTest::newRow("leading number") << good + "12abc\t0" << QStringLiteral("поле 5 «12abc»");
    QTest::newRow("nan") << good + "nan\t0" << QStringLiteral("поле 5 «nan»");
    QTest::newRow("inf") << good + "0\t-inf" << QStringLiteral("поле 6 «-inf»");
    QTest::newRow("empty field") << QByteArray("1\t\t3\t4\t5\t6") << QStringLiteral("поле 2 «»");
    QTest::newRow("thousands mark") << good + "1,234.5\t0" << QStringLiteral("поле 5 «1,234.5»");
    QTest::newRow("two decimal commas") << good + "1,2,3\t0" << QStringLiteral("поле 5");
    QTest::newRow("five fields") << QByteArray("1\t2\t3\t4\t5") << QStringLiteral("полей 5 вместо шести");
    QTest::newRow("seven fields") << QByteArray("1\t2\t3\t4\t5\t6\t7") << QStringLiteral("полей 7 вместо шести");
    QTest::newRow("binary bytes") << QByteArray("\x01\xff\x00\x7f", 4) << QStringLiteral("«\\x01\\xff\\x00\\x7f»");
    QTest::newRow("cut short by a crash") << QByteArray("1.0e+00\t2.0e+00\t0\t3.0e") << QStringLiteral("полей 4");

    QTest::newRow("CR LF") << good + "4\t0\r" << QString();
    QTest::newRow("trailing TAB and blanks") << good + "4\t0\t  " << QString();
    QTest::newRow("blanks around fields") << QByteArray(" 1\t2 \t0\t3\t4\t0") << QString();
    QTest::newRow("decimal comma") << QByteArray("1,0\t2\t0\t3\t4,0e+00\t0") << QString();
    QTest::newRow("signs and exponents") << QByteArray("+1\t2.\t.0\t3E0\t4e+0\t-0") << QString();
}

void TestPointSet::linesThatAreNotSixNumbers()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    QTemporaryDir dir;
    // The line under test is the third; blank lines around it are fine.
    const QByteArray content = pointLine(1, 2, 0, 3, 0, 0) + "\n" + line + "\n\n" + pointLine(5, 6, 0, 7, 8, 0);
    const PointFileRead r = readPointRecords(writeFile(dir, "x_Tmin_MNK.txt", content));
    QVERIFY(r.opened);
    if (error.isEmpty()) {
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.file.records.size(), 3);
        const PointRecord &p = r.file.records[1];
        QCOMPARE(p.line, 3);
        QCOMPARE((QVector<double>{p.v1, p.v2, p.v4, p.pPlus}), (QVector<double>{1, 2, 3, 4}));
        return;
    }
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith(QStringLiteral("Расчет невозможен: файл x_Tmin_MNK.txt, строка 3: ")),
             qPrintable(r.error));
    QVERIFY2(r.error.contains(error), qPrintable(r.error));

    // The same file in a calculation stops the reading with that reason.
    writeFile(dir, "x_Tmid_MNK.txt", pointLine(1, 2, 0, 3, 0, 0) + pointLine(5, 6, 0, 7, 8, 0));
    writeFile(dir, "x_Tmax_MNK.txt", pointLine(1, 2, 0, 3, 0, 0) + pointLine(5, 6, 0, 7, 8, 0));
    CalcMessages messages;
    const PointFileSet set = readPointFileSet(dir.path(), "x_Tmid_MNK.txt", "x_Tmin_MNK.txt", "x_Tmax_MNK.txt",
                                              false, &messages);
    QVERIFY(!set.ok);
    QCOMPARE(messages.last(), (CalcMessage{CalcMessage::Failure, r.error}));
}

void TestPointSet::readConstantPressureHasNoHighPoints()
{
    QTemporaryDir dir;
    const PointFileMeans m = readPointFile(
        writeFile(dir, "c.txt", pointLine(1, 2, 0, 3, 0, 0) + pointLine(3, 4, 0, 5, 0, 0)), false, nullptr);
    QCOMPARE(m.low, (Means{2, 3, 4}));
    for (float v : m.high)
        QVERIFY(std::isnan(v));
}

void TestPointSet::readMissingAndEmptyFiles()
{
    QTemporaryDir dir;
    CalcMessages messages;
    PointFileMeans m = readPointFile(dir.filePath("absent.txt"), false, &messages);
    QCOMPARE(m.low, (Means{0, 0, 0}));
    QCOMPARE(m.high, (Means{0, 0, 0}));
    QCOMPARE(messages, (CalcMessages{{CalcMessage::Failure,
                                      QStringLiteral("Файл калибровки не открыт или не существует\n")}}));

    messages.clear();
    m = readPointFile(writeFile(dir, "empty.txt", QByteArray()), false, &messages);
    QCOMPARE(m.low, (Means{0, 0, 0}));
    QCOMPARE(m.high, (Means{0, 0, 0}));
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].kind, CalcMessage::Success);
}

void TestPointSet::openStaticFilesListsEighteenValues()
{
    QTemporaryDir dir;
    // Each file has its own signature so a mix-up of temperatures shows.
    auto file = [](double base) {
        return pointLine(base + 1, base + 2, 0, base + 4, 0, 0)
               + pointLine(base + 11, base + 12, 0, base + 14, 100, 0);
    };
    writeFile(dir, "d_Tmin_MNK.txt", file(100));
    writeFile(dir, "d_Tmid_MNK.txt", file(200));
    CalcMessages messages;
    // The Tmax file is missing: the reading stops there, red, and nothing
    // is listed.
    PointFileSet set = readPointFileSet(dir.path(), "d_Tmid_MNK.txt", "d_Tmin_MNK.txt", "d_Tmax_MNK.txt",
                                        false, &messages);
    QVERIFY(!set.ok);
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages[2], (CalcMessage{CalcMessage::Failure,
                                       QStringLiteral("Файл калибровки не открыт или не существует\n")}));

    writeFile(dir, "d_Tmax_MNK.txt", file(300));
    messages.clear();
    set = readPointFileSet(dir.path(), "d_Tmid_MNK.txt", "d_Tmin_MNK.txt", "d_Tmax_MNK.txt", false, &messages);
    QVERIFY(set.ok);
    const ReferenceVoltages &u = set.u;
    QCOMPARE(u.U1nl, 101000.0f);
    QCOMPARE(u.U4hl, 114000.0f);
    QCOMPARE(u.U2nn, 202000.0f);
    QCOMPARE(u.U1hn, 211000.0f);
    QCOMPARE(u.U1nh, 301000.0f);
    QCOMPARE(u.U4hh, 314000.0f);
    QCOMPARE(u.variable(1), (std::array<float, 6>{101000, 201000, 301000, 111000, 211000, 311000}));
    QCOMPARE(u.highPressurePa, (std::array<double, 3>{100000, 100000, 100000}));
    QCOMPARE(set.files[FileTmax].fileName, QStringLiteral("d_Tmax_MNK.txt"));

    QCOMPARE(messages.size(), 3 + 18);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(messages[i].kind, CalcMessage::Success);
    QStringList lines;
    for (int i = 3; i < messages.size(); ++i) {
        QCOMPARE(messages[i].kind, CalcMessage::Plain);
        lines << messages[i].text;
    }
    QCOMPARE(lines, (QStringList{
        "U1nn = 201000\n", "U2nn = 202000\n", "U4nn = 204000\n",
        "U1nl = 101000\n", "U2nl = 102000\n", "U4nl = 104000\n",
        "U1nh = 301000\n", "U2nh = 302000\n", "U4nh = 304000\n",
        "U1hn = 211000\n", "U2hn = 212000\n", "U4hn = 214000\n",
        "U1hl = 111000\n", "U2hl = 112000\n", "U4hl = 114000\n",
        "U1hh = 311000\n", "U2hh = 312000\n", "U4hh = 314000\n"}));
}

void TestPointSet::loadMidPointSet()
{
    QTemporaryDir dir;
    // Last line without its line break still counts.
    QByteArray content = pointLine(1, 2, 3, 4, 0, 0) + pointLine(2, 3, 3, 4, 50, 25);
    content += "3.0e+00\t4.0e+00\t3\t4\t100\t50";
    writeFile(dir, "m_Tmid_MNK.txt", content);
    CalibrationPointSet set;
    CalcMessages messages;
    QVERIFY(::loadMidPointSet(set, dir.path(), "m_Tmid_MNK.txt", &messages));
    QVERIFY(messages.isEmpty());
    QCOMPARE(set.count(), 3);
    QCOMPARE(set.v1List(), (QVector<double>{1000, 2000, 3000}));
    QCOMPARE(set.pPlusList(), (QVector<double>{0, 50000, 100000}));
    QCOMPARE(set.v2List(), (QVector<double>{2000, 3000, 4000}));
    QCOMPARE(set.pMinusList(), (QVector<double>{0, 25000, 50000}));
    QVERIFY(near(set.slope1(), 0.02f));
    QVERIFY(near(set.intercept1(), 1000));
    QVERIFY(near(set.slope2(), 0.04f));
    QVERIFY(near(set.intercept2(), 2000));

    // Loading again starts from scratch.
    QVERIFY(::loadMidPointSet(set, dir.path(), "m_Tmid_MNK.txt", nullptr));
    QCOMPARE(set.count(), 3);
}

void TestPointSet::loadMidPointSetMissingFile()
{
    QTemporaryDir dir;
    CalibrationPointSet set;
    set.addPoint(1, 1, 1, 1, 1, 1);
    set.addPoint(2, 2, 2, 2, 2, 2);
    CalcMessages messages;
    QVERIFY(!::loadMidPointSet(set, dir.path(), "none_Tmid_MNK.txt", &messages));
    QCOMPARE(messages, (CalcMessages{{CalcMessage::Failure, QStringLiteral("НЕ ОТКРЫТ МНК")}}));
    QCOMPARE(set.count(), 0);
    QVERIFY(set.v1List().isEmpty());
    QCOMPARE(set.slope1(), 0.0f);
    QCOMPARE(set.valueAtMinus(5), 0.0f);
}

void TestPointSet::regressions()
{
    CalibrationPointSet set;
    set.addPoint(1500, 700, 0, 0, 20000, 10000);
    QCOMPARE(set.count(), 1);
    QCOMPARE(set.slope1(), 0.0f);
    QCOMPARE(set.intercept1(), 0.0f);
    QCOMPARE(set.slope2(), 0.0f);
    QCOMPARE(set.intercept2(), 0.0f);

    set.addPoint(2500, 400, 0, 0, 60000, 40000);
    QVERIFY(near(set.valueAtPlus(20000), 1500));
    QVERIFY(near(set.valueAtPlus(60000), 2500));
    QVERIFY(near(set.valueAtMinus(10000), 700));
    QVERIFY(near(set.valueAtMinus(40000), 400));
}

void TestPointSet::fitPolynomialDegreeOne()
{
    CalibrationPointSet set;
    set.addPoint(1, 0, 0, 0, 3, 0);
    set.addPoint(2, 0, 0, 0, 5, 0);
    set.addPoint(3, 0, 0, 0, 7, 0);
    set.fitPolynomial(1);
    QCOMPARE(set.coefficients().size(), 2);
    QVERIFY(std::fabs(set.coefficients()[0] - 1) < 1e-9);
    QVERIFY(std::fabs(set.coefficients()[1] - 2) < 1e-9);
    QCOMPARE(set.count(), 3);
    QCOMPARE(set.v1List().size(), 3);   // a plain fit keeps its points
}

void TestPointSet::fitDifferencePolynomial()
{
    // P = 1000 + 40 x - 0.002 x^2 + 1e-8 x^3 with x = V1 - V2, signals in
    // microvolts well away from zero, as a real sensor gives them.
    auto pressure = [](double x) { return 1000 + 40 * x - 0.002 * x * x + 1e-8 * x * x * x; };
    CalibrationPointSet set;
    for (int i = 0; i <= 10; ++i) {
        const double v2 = 3000 + 10 * i;
        const double x = 500 + 450 * i;
        set.addPoint(float(v2 + x), float(v2), 0, 0, float(pressure(x)), 0);
    }
    set.fitDifferencePolynomial(3);
    QVERIFY(set.v1List().isEmpty());
    QVERIFY(set.pPlusList().isEmpty());
    QVERIFY(set.v2List().isEmpty());
    QVERIFY(set.pMinusList().isEmpty());
    QVERIFY(!set.lastFitReport().capped);
    const QVector<double> c = set.coefficients();
    QCOMPARE(c.size(), 4);
    // Single-precision inputs bound the accuracy; what counts is the pressure
    // the fit gives over the range, well within 0.1 % of full scale.
    const double fullScale = pressure(5000);
    for (double x = 500; x <= 5000; x += 250) {
        const double fitted = c[0] + c[1] * x + c[2] * x * x + c[3] * x * x * x;
        QVERIFY2(std::fabs(fitted - pressure(x)) < 1e-3 * fullScale,
                 qPrintable(QStringLiteral("x %1: fitted %2, true %3").arg(x).arg(fitted).arg(pressure(x))));
    }
}

// A cubic over a capacitive difference far from zero: the normal matrix of
// raw powers is beyond what the iterated inverse can invert, yet the fit
// must be as good as the points allow, also after its coefficients pass
// through the dialog's six digits.
void TestPointSet::fitFarFromZero_data()
{
    QTest::addColumn<double>("offset");   // Hz at zero pressure
    QTest::newRow("near, 5 kHz") << 5000.0;
    QTest::newRow("far, 40 kHz") << 40000.0;
    QTest::newRow("80 kHz") << 80000.0;
}

void TestPointSet::fitFarFromZero()
{
    QFETCH(double, offset);
    // Pressure (Pa) over x (Hz): the inverse of a bowed cell, not a cubic.
    auto x = [offset](double p) { return offset + 8000 * (p + 0.06 * p * p - 0.02 * p * p * p) / 1.04; };
    CalibrationPointSet set;
    for (int i = 0; i <= 10; ++i) {
        const double p = i / 10.0;
        set.addPoint(float(21000 + x(p)), 21000, 0, 0, float(p * 100000), 0);
    }
    set.fitDifferencePolynomial(3, valueAsWritten);
    QVERIFY(set.lastFit().ok);
    const QVector<double> c = set.coefficients();
    for (double v : c)
        QCOMPARE(valueAsWritten(v), v);
    for (int i = 0; i <= 10; ++i) {
        const double p = i / 10.0, xi = double(float(21000 + x(p))) - 21000;
        const double q = ((double(float(c[3])) * xi + float(c[2])) * xi + float(c[1])) * xi + float(c[0]);
        QVERIFY2(std::fabs(q - p * 100000) < 20,   // 0.02 % of full scale
                 qPrintable(QStringLiteral("p %1: %2 Pa (%3)").arg(p).arg(q).arg(set.lastFit().normal.method)));
    }
}

QTEST_APPLESS_MAIN(TestPointSet)
#include "tst_pointset.moc"
