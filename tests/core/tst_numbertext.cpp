// Numbers as the operator types them and as the files carry them: the one
// rule for typed numbers (whole text, "." or ",", whatever the locale) and
// the printf texts of "%g" and "%f", compared with the C library's own
// output over many values, exact decimal ties among them.

#include "devicedata/numbertext.h"

#include <QLocale>
#include <QtTest>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

using NumberText::InputRule;

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void typedNumbers_data();
    void typedNumbers();
    void printfParity_data();
    void printfParity();

private:
    QByteArray m_numericLocale;
};

namespace {

QString cText(const char *format, int precision, double v)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, format, precision, v);
    return QString::fromLatin1(buf);
}

// Values whose decimal expansion ends in a 5 just past the digits printed:
// printf rounds them to the even digit, a half-up conversion does not.
QVector<double> tiesOfG()
{
    QVector<double> v;
    // n.xyz5 with four digits before the point: seven significant digits.
    for (int n = 1000; n < 10000; n += 37)
        for (int k : {1, 3, 5, 7})
            v << n + k / 8.0 << -(n + k / 8.0);
    // Six digits and a half.
    for (int n = 100000; n < 1000000; n += 997)
        v << n + 0.5 << -(n + 0.5);
    v << 1234.625 << 1234.635 << 0.5 << 2.5 << 1e6 + 0.5 << 8388607.5;
    return v;
}

QVector<double> tiesOfF()
{
    QVector<double> v;
    // Odd multiples of 2^-7 have exactly seven decimals, the last a 5.
    for (int n = 0; n < 200; n += 3)
        for (int k = 1; k < 128; k += 2)
            v << n + k / 128.0 << -(n + k / 128.0);
    return v;
}

QVector<double> randomDoubles(bool asFloats)
{
    std::mt19937_64 gen(20240611);
    QVector<double> v;
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = gen();
        if (asFloats) {
            const auto b32 = uint32_t(bits);
            float f;
            std::memcpy(&f, &b32, sizeof f);
            v << double(f);
        } else {
            double d;
            std::memcpy(&d, &bits, sizeof d);
            v << d;
        }
    }
    return v;
}

QVector<double> everyDayValues()
{
    QVector<double> v;
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    for (int e = -12; e <= 12; ++e)
        for (int i = 0; i < 200; ++i)
            v << double(float(mantissa(gen) * std::pow(10.0, e)));
    for (int e = -8; e <= 8; ++e)
        v << std::pow(10.0, e) << 9.999995 * std::pow(10.0, e) << 9.9999949 * std::pow(10.0, e);
    return v;
}

QVector<double> specials()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {0.0, -0.0, inf, -inf, nan, -nan, std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
            double(std::numeric_limits<float>::max()), double(std::numeric_limits<float>::denorm_min()),
            1e-5, 1e-4, 99999.95, 999999.5, 1e15, 4294967295.0};
}

} // namespace

void TestNumberText::initTestCase()
{
    // The reference is printf in the C locale, whatever the test process
    // inherited.
    m_numericLocale = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
}

void TestNumberText::cleanupTestCase()
{
    std::setlocale(LC_NUMERIC, m_numericLocale.constData());
    QLocale::setDefault(QLocale::c());
}

void TestNumberText::typedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("problem");   // part of the refusal text

    const int R = InputRule::Real, I = InputRule::Integer, H = InputRule::Hex;
    const double fmax = double(FLT_MAX);
    auto real = [&](const char *name, const char *text, bool ok, double value, const char *problem = "") {
        QTest::newRow(name) << QString::fromUtf8(text) << R << -fmax << fmax << ok << value
                            << QString::fromUtf8(problem);
    };
    real("point", "0.75", true, 0.75);
    real("comma", "0,75", true, 0.75);
    real("comma one", "1,1", true, 1.1);
    real("blanks, sign, exponent", "  -1,5e3 ", true, -1500.0);
    real("exponent sign", "2.5E-3", true, 2.5e-3);
    real("trailing point", "1.", true, 1.0);
    real("leading comma", ",5", true, 0.5);
    real("plus", "+2", true, 2.0);
    real("letters", "abc", false, 0, "«abc» — не число");
    real("digits then letters", "12abc", false, 0, "«12abc» — не число");
    real("number then letters", "1.5xyz", false, 0, "«1.5xyz» — не число");
    real("empty", "", false, 0, "поле пустое");
    real("blanks only", "   ", false, 0, "поле пустое");
    real("two separators", "1,5.0", false, 0, "не число");
    real("two points", "1.5.0", false, 0, "не число");
    real("thousands blank", "1 000", false, 0, "не число");
    real("nan", "nan", false, 0, "не число");
    real("infinity", "-inf", false, 0, "не число");
    real("hexadecimal", "0x10", false, 0, "не число");
    real("exponent without digits", "1e", false, 0, "не число");
    real("sign alone", "-", false, 0, "не число");
    real("separator alone", ",", false, 0, "не число");
    real("wide digit", "１", false, 0, "не число");
    real("beyond a float", "1e39", false, 0, "вне допустимых значений");
    real("below a float", "1e-50", false, 0, "прибор хранит его как 0");
    real("zero", "-0,0", true, 0.0);

    auto integer = [&](const char *name, const char *text, double lo, double hi, bool ok, double value,
                       const char *problem = "") {
        QTest::newRow(name) << QString::fromUtf8(text) << I << lo << hi << ok << value << QString::fromUtf8(problem);
    };
    integer("serial above 2^24", "123456789", 0, 4294967295.0, true, 123456789.0);
    integer("serial at the top", "4294967295", 0, 4294967295.0, true, 4294967295.0);
    integer("serial beyond", "4294967296", 0, 4294967295.0, false, 0, "вне допустимых значений 0…4294967295");
    integer("negative serial", "-1", 0, 4294967295.0, false, 0, "вне допустимых значений");
    integer("huge", "99999999999999999999999", 0, 255, false, 0, "вне допустимых значений");
    integer("byte", " 255 ", 0, 255, true, 255.0);
    integer("byte too big", "300", 0, 255, false, 0, "«300» — вне допустимых значений 0…255");
    integer("byte negative", "-5", 0, 255, false, 0, "вне допустимых значений 0…255");
    integer("fraction", "1,5", 0, 255, false, 0, "«1,5» — не целое число");
    integer("point zero", "1.0", 0, 255, false, 0, "не целое число");
    integer("trailing letters", "42abc", 0, 255, false, 0, "не целое число");

    auto hex = [&](const char *name, const char *text, bool ok, double value, const char *problem = "") {
        QTest::newRow(name) << QString::fromUtf8(text) << H << 0.0 << 255.0 << ok << value
                            << QString::fromUtf8(problem);
    };
    hex("hex byte", "0f", true, 15.0);
    hex("hex prefix", "0x1F", true, 31.0);
    hex("hex one digit", "a", true, 10.0);
    hex("hex too big", "1ff", false, 0, "вне допустимых значений 0…ff");
    hex("hex letters", "g1", false, 0, "не шестнадцатеричное число");
    hex("hex empty", "", false, 0, "поле пустое");
}

void TestNumberText::typedNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(bool, ok);
    QFETCH(double, value);
    QFETCH(QString, problem);
    const InputRule rule{InputRule::Kind(kind), min, max};

    // The same answer whatever separator the locale of the moment uses.
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::Russian), QLocale(QLocale::German),
                                  QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        const NumberText::InputValue v = NumberText::readInput(text, rule);
        QVERIFY2(v.ok == ok, qPrintable(locale.name() + QLatin1Char(' ') + v.problem));
        if (ok) {
            QCOMPARE(v.value, value);
            QVERIFY(v.problem.isEmpty());
        } else {
            QVERIFY2(v.problem.contains(problem), qPrintable(v.problem));
            QCOMPARE(NumberText::inputRefusal(QStringLiteral("Поле"), v),
                     QStringLiteral("«Поле»: ") + v.problem);
        }
    }
    QLocale::setDefault(QLocale::c());
}

void TestNumberText::printfParity_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<bool>("commaLocale");
    QTest::newRow("exact ties of %g") << tiesOfG() << false;
    QTest::newRow("exact ties of %f") << tiesOfF() << false;
    QTest::newRow("random doubles") << randomDoubles(false) << false;
    QTest::newRow("random floats") << randomDoubles(true) << false;
    QTest::newRow("every-day values") << everyDayValues() << false;
    QTest::newRow("specials") << specials() << false;
    QTest::newRow("ties, process locale with a decimal comma") << tiesOfG() << true;
}

void TestNumberText::printfParity()
{
    QFETCH(QVector<double>, values);
    QFETCH(bool, commaLocale);

    // The reference texts first, in the C locale.
    QStringList g, f, g9;
    for (double v : values) {
        g << cText("%.*g", 6, v);
        f << cText("%.*f", 6, v);
        g9 << cText("%.*g", 9, v);
    }
    if (commaLocale) {
        bool set = false;
        for (const char *name : {"ru_RU.UTF-8", "de_DE.UTF-8", "ru_RU", "de_DE"})
            if (std::setlocale(LC_NUMERIC, name)) {
                set = true;
                break;
            }
        QLocale::setDefault(QLocale(QLocale::Russian));
        if (!set)
            qInfo("no C library locale with a decimal comma here; Qt's default locale is Russian");
    }
    int mismatches = 0;
    for (int i = 0; i < values.size(); ++i) {
        const double v = values.at(i);
        if (NumberText::formatG(v) != g.at(i) || NumberText::formatF(v) != f.at(i)
            || NumberText::formatG(v, 9) != g9.at(i)) {
            if (++mismatches <= 5)
                qWarning("%.17g: got %s / %s, printf %s / %s", v, qPrintable(NumberText::formatG(v)),
                         qPrintable(NumberText::formatF(v)), qPrintable(g.at(i)), qPrintable(f.at(i)));
        }
    }
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    QCOMPARE(mismatches, 0);
    // The tie the fault was seen with.
    QCOMPARE(NumberText::formatG(double(1234.625f)), QStringLiteral("1234.62"));
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
