// The twelve read and twelve write blocks of the bulk transfer: request
// bytes, payload encoding, answer decoding, and a whole record through the
// simulated transmitter's memory and back.

#include "devicedata/bulkblocks.h"
#include "sim/virtualdevice.h"

#include <QtTest>
#include <cstring>

using namespace BulkBlocks;
using namespace DeviceItems;

namespace {

QString u8(const char *s) { return QString::fromUtf8(s); }

QByteArray floatBytes(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return QByteArray::fromHex(QByteArray::number(bits, 16).rightJustified(8, '0'));
}

// Texts that survive float -> "%g" -> float unchanged.
DeviceRecord exactRecord()
{
    DeviceRecord r;
    for (int i = 0; i < DeviceItemCount; ++i)
        r.setDeviceText(i, QString::number(0.25 * (i + 1) - 3));
    r.setDeviceText(0, u8("ЛТ3920ДВИ"));
    r.setDeviceText(1, "-7");
    r.setDeviceText(2, "4000000001");
    r.setDeviceText(3, u8("кг/м3"));
    r.setDeviceText(4, "1.6e+07");
    r.setDeviceText(22, "-1");
    r.setDeviceText(23, "255");
    r.setDeviceText(24, "3000000000");
    r.setDeviceText(25, "2");
    return r;
}

QByteArray exec(sim::VirtualDevice &dev, uint8_t command, const QByteArray &data)
{
    sim::Request req;
    req.address = QByteArray(1, char(dev.address()));
    req.command = command;
    req.data = data;
    const QByteArray frame = dev.answer(req);
    // Short frame: delimiter, address, command, count, two status bytes, data.
    return frame.mid(6, uint8_t(frame.at(3)));
}

} // namespace

class TestBulkBlocks : public QObject
{
    Q_OBJECT

private slots:
    void readRequestBytes_data();
    void readRequestBytes();
    void everyItemTravelsEachWay();
    void blockRows_data();
    void blockRows();
    void writePayloadOfIdentityBlock_data();
    void writePayloadOfIdentityBlock();
    void writePayloadLayout();
    void decodeAnswers();
    void shortOrForeignAnswers();
    void roundTripThroughDeviceMemory();
    void programRows_data();
    void programRows();
};

void TestBulkBlocks::readRequestBytes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("hex");
    const char *expected[BlockCount] = {"004e10", "010018", "011810", "00f505", "003a04", "001503",
                                        "001e18", "018804", "000b01", "012418", "013c18", "015404"};
    for (int i = 0; i < BlockCount; ++i)
        QTest::newRow(qPrintable(QString::number(i + 1))) << i << QByteArray(expected[i]);
}

void TestBulkBlocks::readRequestBytes()
{
    QFETCH(int, index);
    QFETCH(QByteArray, hex);
    QCOMPARE(readRequestData(index).toHex(), hex);
    QCOMPARE(readRequests().at(index), readRequestData(index));
}

void TestBulkBlocks::everyItemTravelsEachWay()
{
    int written[DeviceItemCount] = {};
    int read[DeviceItemCount] = {};
    for (int b = 0; b < BlockCount; ++b) {
        for (int p : writeBlockPositions(writeBlock(b).address))
            ++written[p];
        for (int p : readBlockPositions(readBlock(b).address))
            ++read[p];
    }
    for (int i = 0; i < DeviceItemCount; ++i) {
        // Ksi travels twice each way: as the last float of the t4 block and
        // as the first of the range-correction block.
        const int expected = i == devicePosition("Ksi") ? 2 : 1;
        QCOMPARE(written[i], expected);
        QCOMPARE(read[i], expected);
    }
}

void TestBulkBlocks::blockRows_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QVector<int>>("readRows");
    QTest::addColumn<QVector<int>>("writeRows");
    QTest::newRow("78") << 78 << QVector<int>{9, 10, 11, 24} << QVector<int>{9, 10, 11, 24};
    QTest::newRow("245") << 245 << QVector<int>{0, 1, 3} << QVector<int>{0, 1, 3};
    QTest::newRow("21") << 21 << QVector<int>{23, 25} << QVector<int>{23, 25};
    QTest::newRow("30") << 30 << QVector<int>{4, 5, 6, 7, 8} << QVector<int>{4};
    QTest::newRow("38") << 38 << QVector<int>() << QVector<int>{5, 6, 7, 8};
    QTest::newRow("292") << 292 << QVector<int>{26, 28, 29, 30, 31, 32}
                         << QVector<int>{26, 28, 29, 30, 31, 32, 33};
    QTest::newRow("316") << 316 << QVector<int>{33, 34, 35, 36, 37, 38} << QVector<int>();
    QTest::newRow("320") << 320 << QVector<int>() << QVector<int>{18, 34, 35, 36, 37, 38};
    QTest::newRow("340") << 340 << QVector<int>{18} << QVector<int>();
    QTest::newRow("unknown") << 100 << QVector<int>() << QVector<int>();
}

void TestBulkBlocks::blockRows()
{
    QFETCH(int, address);
    QFETCH(QVector<int>, readRows);
    QFETCH(QVector<int>, writeRows);
    QCOMPARE(readBlockPositions(address), readRows);
    QCOMPARE(writeBlockPositions(address), writeRows);
}

void TestBulkBlocks::writePayloadOfIdentityBlock_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("modelCode");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QByteArray>("hex");
    QTest::newRow("plain") << u8("ЛТ3920ДД") << "5" << u8("кПа") << QByteArray("00f501000300050000");
    QTest::newRow("300 is 44") << u8("ЛТ3920ДИ") << "300" << u8("Па") << QByteArray("00f5000001002c0000");
    QTest::newRow("-1 is the byte it was read from") << u8("ЛТ3920ДВИ") << "-1" << u8("кг/м3")
                                                    << QByteArray("00f512000500ff0000");
    QTest::newRow("unknown texts") << "xx" << "abc" << "yy" << QByteArray("00f500000000000000");
}

void TestBulkBlocks::writePayloadOfIdentityBlock()
{
    QFETCH(QString, model);
    QFETCH(QString, modelCode);
    QFETCH(QString, unit);
    QFETCH(QByteArray, hex);
    DeviceRecord r = exactRecord();
    r.setDeviceText(0, model);
    r.setDeviceText(1, modelCode);
    r.setDeviceText(3, unit);
    QCOMPARE(writeRequestData(3, r).toHex(), hex);
}

void TestBulkBlocks::writePayloadLayout()
{
    DeviceRecord r = exactRecord();
    r.setDeviceText(devicePosition("Filter_Size"), "-2");
    r.setDeviceText(devicePosition("bal_IDAC"), "258");
    r.setDeviceText(devicePosition("Itenzo"), "3");
    r.setDeviceText(devicePosition("serial"), "305419896");
    r.setDeviceText(devicePosition("bal_dP"), "-5"); // not unsigned: written as 0
    r.setDeviceText(devicePosition("c43"), "oops");  // not a number: written as 0
    const QVector<QByteArray> w = writeRequests(r);
    QCOMPARE(w.size(), BlockCount);
    for (int i = 0; i < BlockCount; ++i) {
        QCOMPARE(w[i].size(), 2 + writeBlock(i).length);
        QCOMPARE(requestAddress(w[i]), int(writeBlock(i).address));
    }
    QCOMPARE(w[0].mid(2, 4), floatBytes(r.toFloat(9)));
    QCOMPARE(w[0].mid(14).toHex(), QByteArray("00000000"));
    QCOMPARE(w[4].toHex(), QByteArray("003a12345678"));
    QCOMPARE(w[5].toHex(), QByteArray("0015020003"));
    QCOMPARE(w[6].toHex(), QByteArray("001e") + floatBytes(1.6e7f).toHex());
    QCOMPARE(w[7].mid(2), floatBytes(r.toFloat(5)) + floatBytes(r.toFloat(6))
                                  + floatBytes(r.toFloat(7)) + floatBytes(r.toFloat(8)));
    QCOMPARE(w[9].toHex(), QByteArray("000bfe")); // Filter_Size -2, its own byte
    // Without a password the identity block's last byte (register 251) is 0;
    // with one, it carries it, and nothing else changes.
    QCOMPARE(uint8_t(w[3].at(2 + 6)), uint8_t(0));
    QVector<QByteArray> withPassword = writeRequests(r, passwordFromText(" 42 "));
    QCOMPARE(uint8_t(withPassword[3].at(2 + 6)), uint8_t(42));
    withPassword[3][2 + 6] = 0;
    QCOMPARE(withPassword, w);
    QCOMPARE(passwordFromText(""), -1);
    QCOMPARE(passwordFromText("256"), -1);
    QCOMPARE(passwordFromText("abc"), -1);
    QCOMPARE(w[10].mid(2, 4), floatBytes(r.toFloat(devicePosition("Ksi"))));
    QCOMPARE(w[10].mid(26, 4), floatBytes(r.toFloat(devicePosition("Kdsp5"))));
    QCOMPARE(w[11].mid(22).toHex(), QByteArray("00000000"));
}

void TestBulkBlocks::decodeAnswers()
{
    QVector<ItemValue> v = decodeReadAnswer(245, QByteArray::fromHex("0200030cfe"));
    QCOMPARE(v.size(), 3);
    QCOMPARE(v[0].position, 0);
    QCOMPARE(v[0].text, u8("ЛТ3920ДД"));
    QCOMPARE(v[1].text, QStringLiteral("-2"));
    QCOMPARE(v[2].text, u8("МПа"));

    // Model number and unit code outside their tables give empty texts.
    v = decodeReadAnswer(245, QByteArray::fromHex("1300060000"));
    QVERIFY(v[0].text.isEmpty());
    QVERIFY(v[2].text.isEmpty());

    v = decodeReadAnswer(78, floatBytes(1.5f) + floatBytes(-2e-5f) + floatBytes(1e10f)
                                     + QByteArray::fromHex("ffffffff"));
    QCOMPARE(v.size(), 4);
    QCOMPARE(v[0].text, QStringLiteral("1.5"));
    QCOMPARE(v[1].text, QStringLiteral("-2e-05"));
    QCOMPARE(v[2].text, QStringLiteral("1e+10"));
    QCOMPARE(v[3].text, QStringLiteral("4294967295")); // bal_dP unsigned

    v = decodeReadAnswer(21, QByteArray::fromHex("ff01fe"));
    QCOMPARE(v[0].text, QStringLiteral("255"));
    QCOMPARE(v[1].text, QStringLiteral("254"));
    v = decodeReadAnswer(11, QByteArray::fromHex("ff"));
    QCOMPARE(v[0].text, QStringLiteral("-1"));

    // An erased cell reads as NaN (its sign bit set) and shows as printf
    // shows it.
    v = decodeReadAnswer(392, QByteArray::fromHex("ffffffff"));
    QCOMPARE(v[0].text, QStringLiteral("-nan"));
    v = decodeReadAnswer(392, QByteArray::fromHex("7fc00000"));
    QCOMPARE(v[0].text, QStringLiteral("nan"));

    DeviceRecord r;
    QCOMPARE(applyReadAnswer(58, QByteArray::fromHex("12345678"), r), QVector<int>{2});
    QCOMPARE(r.deviceText(2), QStringLiteral("305419896"));
}

void TestBulkBlocks::shortOrForeignAnswers()
{
    // Only items whose bytes are all present are decoded.
    QVector<ItemValue> v = decodeReadAnswer(30, floatBytes(2.0f) + QByteArray(6, '\0'));
    QCOMPARE(v.size(), 1);
    QCOMPARE(v[0].position, devicePosition("Pmax"));
    v = decodeReadAnswer(245, QByteArray::fromHex("01"));
    QCOMPARE(v.size(), 1);
    QCOMPARE(v[0].position, 3);
    QVERIFY(decodeReadAnswer(245, QByteArray()).isEmpty());
    // More bytes than asked for fill no further rows.
    QCOMPARE(decodeReadAnswer(340, QByteArray(40, '\0')).size(), 1);
    QVERIFY(decodeReadAnswer(38, QByteArray(16, '\0')).isEmpty()); // a write-only block
    QVERIFY(decodeReadAnswer(0xffff, QByteArray(16, '\0')).isEmpty());
    QCOMPARE(requestAddress(QByteArray::fromHex("01")), -1);
    QCOMPARE(requestAddress(QByteArray::fromHex("0154")), 340);
}

void TestBulkBlocks::roundTripThroughDeviceMemory()
{
    sim::VirtualDevice dev(3);
    const DeviceRecord original = exactRecord();
    for (const QByteArray &req : writeRequests(original))
        exec(dev, 91, req);
    QCOMPARE(dev.f32(30), 1.6e7f);
    QCOMPARE(dev.u8(245), uint8_t(18));
    QCOMPARE(dev.u8(247), uint8_t(5));
    QCOMPARE(dev.u32(90), 3000000000u);

    DeviceRecord back;
    for (int i = 0; i < BlockCount; ++i) {
        const QByteArray data = exec(dev, 51, readRequestData(i));
        QCOMPARE(data.size(), readBlock(i).length);
        applyReadAnswer(readBlock(i).address, data, back);
    }
    // Negative signed bytes come back as they went (they were once written as 0).
    QCOMPARE(back.firstEmptyDeviceItem(), -1);
    for (int i = 0; i < DeviceItemCount; ++i)
        QCOMPARE(back.deviceText(i), original.deviceText(i));
}

void TestBulkBlocks::programRows_data()
{
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<QString>("parityText");
    QTest::addColumn<QString>("stopText");
    QTest::addColumn<QString>("flowText");
    QTest::newRow("odd, 1, hardware") << 3 << 1 << 1 << u8("Нечетный") << "1" << u8("да");
    QTest::newRow("none, 1.5, off") << 0 << 3 << 0 << u8("Нет") << "1.5" << u8("нет");
    QTest::newRow("even, 2") << 2 << 2 << 0 << u8("Четный") << "2" << u8("нет");
    QTest::newRow("space") << 4 << 1 << 0 << u8("Пробел") << "1" << u8("нет");
    QTest::newRow("mark") << 5 << 1 << 0 << u8("Метка") << "1" << u8("нет");
    QTest::newRow("software flow") << 3 << 1 << 2 << u8("Нечетный") << "1" << QString();
    QTest::newRow("unknown parity, stop") << 1 << 0 << 0 << QString() << QString() << u8("нет");
}

void TestBulkBlocks::programRows()
{
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(QString, parityText);
    QFETCH(QString, stopText);
    QFETCH(QString, flowText);
    ProgramSettings s;
    s.baudRate = 9600;
    s.dataBits = 8;
    s.parity = parity;
    s.stopBits = stopBits;
    s.flowControl = flow;
    s.rtsDelay = 10;
    s.pollPeriod = 500;
    s.pollTimeout = 3000;
    s.pollRepeats = 3;
    s.scanPeriod = 400;
    s.scanTimeout = 1000;
    s.scanRepeats = 1;
    const QVector<ProgramRowValue> rows = programRowsFromSettings(s);
    QCOMPARE(rows.size(), ProgramItemCount);
    for (int i = 0; i < ProgramItemCount; ++i)
        QCOMPARE(rows[i].row, i);
    const QStringList numbers = {"500", "3000", "3", "400", "1000", "1", "9600", "8"};
    for (int i = 0; i < numbers.size(); ++i) {
        QCOMPARE(rows[i].text, numbers[i]);
        QVERIFY(rows[i].ok);
    }
    QCOMPARE(rows[8].text, parityText);
    QCOMPARE(rows[8].ok, !parityText.isEmpty());
    QCOMPARE(rows[9].text, stopText);
    QCOMPARE(rows[9].ok, !stopText.isEmpty());
    QCOMPARE(rows[10].text, flowText);
    QCOMPARE(rows[10].ok, !flowText.isEmpty());
    QCOMPARE(rows[11].text, QStringLiteral("10"));
    // Every text the bulk read shows is one a file may load back.
    for (const ProgramRowValue &v : rows) {
        if (v.ok)
            QVERIFY2(isValidProgramText(v.row, v.text), qPrintable(v.text));
    }
}

QTEST_APPLESS_MAIN(TestBulkBlocks)
#include "tst_bulkblocks.moc"
