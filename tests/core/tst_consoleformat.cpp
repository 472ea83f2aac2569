// Console formatting without widgets: hexadecimal texts and fields, float
// texts and bytes, the byte fields a data count covers, the
// decoded view of a register read, and the address of a request frame.

#include "console/consoleformat.h"

#include <QtTest>
#include <cmath>
#include <limits>

class TestConsoleFormat : public QObject
{
    Q_OBJECT
private slots:
    void spacedHex();
    void hexFieldByte_data();
    void hexFieldByte();
    void floatTextAndBytes_data();
    void floatTextAndBytes();
    void parseFloatGivesZeroForText_data();
    void parseFloatGivesZeroForText();
    void coveredFields_data();
    void coveredFields();
    void decodedView();
    void requestShortAddress_data();
    void requestShortAddress();
};

void TestConsoleFormat::spacedHex()
{
    QCOMPARE(ConsoleFormat::spacedHex(QByteArray::fromHex("ffffffff 02 00 00 00 02")),
             QStringLiteral("ff ff ff ff 02 00 00 00 02"));
    QCOMPARE(ConsoleFormat::spacedHex(QByteArray()), QString());
    const uint8_t raw[] = {0xAB, 0x0C};
    QCOMPARE(ConsoleFormat::spacedHex(raw, 2), QStringLiteral("ab 0c"));
    QCOMPARE(ConsoleFormat::spacedHex(raw, 0), QString());
    QCOMPARE(ConsoleFormat::byteText(0x0f), QStringLiteral("0f"));
}

void TestConsoleFormat::hexFieldByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");
    QTest::newRow("two digits") << "1e" << 0x1e;
    QTest::newRow("upper case") << "FD" << 0xfd;
    QTest::newRow("one digit") << "7" << 0x07;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blank") << "  " << 0;
    QTest::newRow("no hex digit") << "zz" << 0;
    QTest::newRow("first byte of several") << "0102" << 0x01;
}

void TestConsoleFormat::hexFieldByte()
{
    QFETCH(QString, text);
    QFETCH(int, byte);
    QCOMPARE(int(ConsoleFormat::hexFieldByte(text)), byte);
}

void TestConsoleFormat::floatTextAndBytes_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.5") << 1.5f << QByteArray::fromHex("3fc00000") << "1.5";
    QTest::newRow("zero") << 0.0f << QByteArray::fromHex("00000000") << "0";
    QTest::newRow("negative") << -2.0f << QByteArray::fromHex("c0000000") << "-2";
    QTest::newRow("six digits") << 3.14159265f << QByteArray::fromHex("40490fdb") << "3.14159";
    QTest::newRow("large in exponent form") << 1.0e7f << QByteArray::fromHex("4b189680") << "1e+07";
    QTest::newRow("small in exponent form") << 1.0e-5f << QByteArray::fromHex("3727c5ac") << "1e-05";
}

void TestConsoleFormat::floatTextAndBytes()
{
    QFETCH(float, value);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(ConsoleFormat::floatBytes(value), bytes);
    QCOMPARE(ConsoleFormat::floatFromBytes(bytes), value);
    QCOMPARE(ConsoleFormat::floatText(value), text);
}

void TestConsoleFormat::parseFloatGivesZeroForText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("value");
    QTest::newRow("number") << "2.5" << 2.5f;
    QTest::newRow("padded") << " -4 " << -4.0f;
    QTest::newRow("exponent") << "1e3" << 1000.0f;
    QTest::newRow("empty") << "" << 0.0f;
    QTest::newRow("word") << "abc" << 0.0f;
    QTest::newRow("comma decimal") << "1,5" << 0.0f;
}

void TestConsoleFormat::parseFloatGivesZeroForText()
{
    QFETCH(QString, text);
    QFETCH(float, value);
    QCOMPARE(ConsoleFormat::parseFloat(text), value);
}

void TestConsoleFormat::coveredFields_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("floats");    // float fields covered
    QTest::addColumn<int>("bytes");     // byte fields covered, in order
    QTest::newRow("1") << 1 << 0 << 1;
    QTest::newRow("4") << 4 << 1 << 4;
    QTest::newRow("5") << 5 << 1 << 5;
    QTest::newRow("12") << 12 << 3 << 12;
    QTest::newRow("23") << 23 << 5 << 23;
    QTest::newRow("24") << 24 << 6 << 24;
}

void TestConsoleFormat::coveredFields()
{
    QFETCH(int, count);
    QFETCH(int, floats);
    QFETCH(int, bytes);
    for (int i = 1; i <= 6; ++i) {
        QCOMPARE(ConsoleFormat::floatFieldCovered(count, i), i <= floats);
        for (int j = 1; j <= 4; ++j)
            QCOMPARE(ConsoleFormat::byteFieldCovered(count, i, j), 4 * (i - 1) + j <= bytes);
    }
}

void TestConsoleFormat::decodedView()
{
    const QByteArray data = QByteArray::fromHex("3fc00000" "c0000000" "ab");
    const auto lines = ConsoleFormat::decodedView(data, 30);
    QCOMPARE(lines.size(), 9 + 2);
    QCOMPARE(lines[0].text, QStringLiteral("Address::30\tData::3f\n"));
    QVERIFY(!lines[0].isFloat);
    QCOMPARE(lines[4].text, QStringLiteral("Float 30 to 33:\t1.5\n"));
    QVERIFY(lines[4].isFloat);
    QCOMPARE(lines[9].text, QStringLiteral("Float 34 to 37:\t-2\n"));
    // A ninth byte has its line but no float of its own.
    QCOMPARE(lines[10].text, QStringLiteral("Address::38\tData::ab\n"));
    QVERIFY(!lines[10].isFloat);
    // The low address byte counts on past 255 in decimal.
    QCOMPARE(ConsoleFormat::decodedView(QByteArray(2, '\0'), 255)[1].text,
             QStringLiteral("Address::256\tData::00\n"));
    QVERIFY(ConsoleFormat::decodedView(QByteArray(), 0).isEmpty());
}

void TestConsoleFormat::requestShortAddress_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("address");
    QTest::newRow("short") << QByteArray::fromHex("ffffffff 02 07 00 00 05") << 7;
    QTest::newRow("long") << QByteArray::fromHex("ffff 82 0f02 0a fdef 03 00 00") << 10;
    QTest::newRow("no preamble") << QByteArray::fromHex("02 0f 00 00") << 15;
    QTest::newRow("preamble only") << QByteArray::fromHex("ffff") << -1;
    QTest::newRow("wrong delimiter") << QByteArray::fromHex("ff 06 01 00") << -1;
    QTest::newRow("cut before address") << QByteArray::fromHex("ff 02") << -1;
    QTest::newRow("long cut short") << QByteArray::fromHex("ff 82 0f 02") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
}

void TestConsoleFormat::requestShortAddress()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, address);
    QCOMPARE(ConsoleFormat::requestShortAddress(frame), address);
}

QTEST_MAIN(TestConsoleFormat)
#include "tst_consoleformat.moc"
