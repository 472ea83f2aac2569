#include "device/valuecodec.h"

#include <QtTest>
#include <cmath>
#include <limits>

class TestValueCodec : public QObject
{
    Q_OBJECT
private slots:
    void encodersAreBigEndian();
    void readersRefuseShortData();
    void fixedCurrentCode_data();
    void fixedCurrentCode();
    void leadingFloat_data();
    void leadingFloat();
    void leadingByte_data();
    void leadingByte();
    void wholeFieldConversions();
    void formatG_data();
    void formatG();
    void floatToIntegerWithoutOverflow();
};

void TestValueCodec::encodersAreBigEndian()
{
    QCOMPARE(ValueCodec::float32(1.0f).toHex(), QByteArray("3f800000"));
    QCOMPARE(ValueCodec::u16(0x1234).toHex(), QByteArray("1234"));
    QCOMPARE(ValueCodec::u32(0x12345678u).toHex(), QByteArray("12345678"));
    QCOMPARE(ValueCodec::u8(0x1FF).toHex(), QByteArray("ff"));
    QCOMPARE(ValueCodec::writeData(0x001E, ValueCodec::float32(1.0f)).toHex(), QByteArray("001e3f800000"));
    QCOMPARE(ValueCodec::readData(0x0124, 24).toHex(), QByteArray("012418"));

    // Round trip through the readers, including a negative float.
    float f = 0;
    QVERIFY(ValueCodec::readFloat(ValueCodec::float32(-6.3f), 0, &f));
    QCOMPARE(f, -6.3f);
    uint32_t v = 0;
    QVERIFY(ValueCodec::readU32(QByteArray::fromHex("00ffffffff"), 1, &v));
    QCOMPARE(v, 0xFFFFFFFFu);
    int8_t s = 0;
    QVERIFY(ValueCodec::readS8(QByteArray::fromHex("80"), 0, &s));
    QCOMPARE(int(s), -128);
}

void TestValueCodec::readersRefuseShortData()
{
    const QByteArray three = QByteArray::fromHex("010203");
    float f = 42.0f;
    QVERIFY(!ValueCodec::readFloat(three, 0, &f));
    QCOMPARE(f, 42.0f);
    uint16_t w = 7;
    QVERIFY(!ValueCodec::readU16(three, 2, &w));
    QCOMPARE(int(w), 7);
    uint8_t b = 0;
    QVERIFY(!ValueCodec::readU8(three, -1, &b));
    QCOMPARE(ValueCodec::requestRegister(QByteArray::fromHex("01")), -1);
    QCOMPARE(ValueCodec::requestRegister(QByteArray::fromHex("013c18")), 0x013C);
}

void TestValueCodec::fixedCurrentCode_data()
{
    QTest::addColumn<double>("mA");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<int>("code");
    QTest::newRow("12 mA on 4..20") << 12.0 << false << 32767;
    QTest::newRow("3 mA below the loop") << 3.0 << false << 0;
    QTest::newRow("25 mA above the loop") << 25.0 << false << 65535;
    QTest::newRow("4 mA bottom") << 4.0 << false << 0;
    QTest::newRow("20 mA top") << 20.0 << false << 65535;
    QTest::newRow("20 mA on 3.8..21") << 20.0 << true << 61724;
    QTest::newRow("3.8 mA wide bottom") << 3.8 << true << 0;
    QTest::newRow("21 mA wide top") << 21.0 << true << 65535;
    QTest::newRow("4 mA on the wide loop") << 4.0 << true << 762;
    QTest::newRow("NaN") << std::nan("") << false << 0;
}

void TestValueCodec::fixedCurrentCode()
{
    QFETCH(double, mA);
    QFETCH(bool, wide);
    QFETCH(int, code);
    QCOMPARE(int(ValueCodec::fixedCurrentCode(mA, wide)), code);
}

void TestValueCodec::leadingFloat_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("value");
    QTest::newRow("trailing letters ignored") << "1.5abc" << true << 1.5f;
    QTest::newRow("letters only") << "abc" << false << 0.0f;
    QTest::newRow("empty") << "" << false << 0.0f;
    QTest::newRow("leading blanks, exponent") << "  -2.5e3x" << true << -2500.0f;
    QTest::newRow("bare fraction") << ".5" << true << 0.5f;
    QTest::newRow("explicit plus") << "+3" << true << 3.0f;
    QTest::newRow("dangling exponent") << "1.5e" << true << 1.5f;
    QTest::newRow("comma is not a decimal point") << "1,5" << true << 1.0f;
    QTest::newRow("beyond float range") << "1e39" << false << 0.0f;
    QTest::newRow("negative beyond range") << "-4e38" << false << 0.0f;
    QTest::newRow("sign alone") << "-" << false << 0.0f;
}

void TestValueCodec::leadingFloat()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(float, value);
    float out = -99.0f;
    QCOMPARE(ValueCodec::leadingFloat(text, &out), ok);
    if (ok)
        QCOMPARE(out, value);
    else
        QCOMPARE(out, -99.0f);
}

void TestValueCodec::leadingByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("above 255") << "300" << true << 255;
    QTest::newRow("negative") << "-5" << true << 0;
    QTest::newRow("blanks and trailing text") << " 42abc" << true << 42;
    QTest::newRow("leading zeros") << "00000000000012" << true << 12;
    QTest::newRow("huge") << "99999999999999999999" << true << 255;
    QTest::newRow("huge negative") << "-99999999999999999999" << true << 0;
    QTest::newRow("fraction truncated") << "7.9" << true << 7;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("sign alone") << "+" << false << 0;
}

void TestValueCodec::leadingByte()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    uint8_t out = 77;
    QCOMPARE(ValueCodec::leadingByte(text, &out), ok);
    QCOMPARE(int(out), ok ? value : 77);
}

void TestValueCodec::wholeFieldConversions()
{
    // Single-value fields: anything that is not wholly a number sends 0.
    QCOMPARE(ValueCodec::floatOrZero(QStringLiteral("2.5")), 2.5f);
    QCOMPARE(ValueCodec::floatOrZero(QStringLiteral("1.5abc")), 0.0f);
    QCOMPARE(int(ValueCodec::hexByteOrZero(QStringLiteral("0f"))), 15);
    QCOMPARE(int(ValueCodec::hexByteOrZero(QStringLiteral("1ff"))), 0xFF);
    QCOMPARE(int(ValueCodec::hexByteOrZero(QStringLiteral("zz"))), 0);
    QCOMPARE(ValueCodec::decimalU32OrZero(QStringLiteral("4294967295")), 4294967295u);
    QCOMPARE(ValueCodec::decimalU32OrZero(QStringLiteral("4294967296")), 0u);
    QCOMPARE(ValueCodec::decimalU32OrZero(QStringLiteral("-1")), 0u);
    QCOMPARE(int(ValueCodec::decimalU16LowByteOrZero(QStringLiteral("300"))), 44);
    QCOMPARE(int(ValueCodec::decimalU16LowByteOrZero(QStringLiteral("70000"))), 0);
    QCOMPARE(ValueCodec::doubleOrZero(QStringLiteral("x")), 0.0);
}

void TestValueCodec::formatG_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("6.3 as float") << double(6.3f) << "6.3";
    QTest::newRow("integer") << 6300.0 << "6300";
    QTest::newRow("small") << 1e-5 << "1e-05";
    QTest::newRow("seven digits") << 1234567.0 << "1.23457e+06";
    QTest::newRow("negative") << -0.25 << "-0.25";
}

void TestValueCodec::formatG()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(ValueCodec::formatG(value), text);
}

void TestValueCodec::floatToIntegerWithoutOverflow()
{
    QCOMPARE(int(ValueCodec::lowByteOf(-1.0)), 0xFF);
    QCOMPARE(int(ValueCodec::lowByteOf(300.0)), 44);
    QCOMPARE(int(ValueCodec::lowByteOf(5.9)), 5);
    QCOMPARE(int(ValueCodec::lowByteOf(std::nan(""))), 0);
    QCOMPARE(int(ValueCodec::lowByteOf(std::numeric_limits<double>::infinity())), 0);
    QCOMPARE(int(ValueCodec::lowByteOf(1e20)), 0);
    QCOMPARE(ValueCodec::u32Of(-5.0), 0u);
    QCOMPARE(ValueCodec::u32Of(4e9), 4000000000u);
    QCOMPARE(ValueCodec::u32Of(1e12), 4294967295u);
    QCOMPARE(ValueCodec::u32Of(std::nan("")), 0u);
}

QTEST_APPLESS_MAIN(TestValueCodec)
#include "tst_valuecodec.moc"
