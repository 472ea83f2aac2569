// The device data record's descriptors, value rules and number texts.

#include "devicedata/devicerecord.h"
#include "devicedata/deviceitems.h"
#include "devicedata/numbertext.h"

#include <QtTest>
#include <cstdio>

using namespace DeviceItems;

class TestDeviceRecord : public QObject
{
    Q_OBJECT

private slots:
    void deviceItemsInPositionOrder();
    void descriptions_data();
    void descriptions();
    void lookups();
    void modelAndUnitTables();
    void programValidation_data();
    void programValidation();
    void deviceValidation_data();
    void deviceValidation();
    void wholeFieldNumbers_data();
    void wholeFieldNumbers();
    void prefixNumbers_data();
    void prefixNumbers();
    void formatGMatchesPrintf_data();
    void formatGMatchesPrintf();
    void recordFilledStateAndConversions();
    void programValuesForSettingsFields();
};

void TestDeviceRecord::deviceItemsInPositionOrder()
{
    const QStringList keys = {
        "model_name", "model_code", "serial", "mu", "Pmax", "Uk1h", "Uk2h", "U10", "U20",
        "a42", "a41", "a40", "b42", "b41", "b40", "c42", "c41", "c40", "c43", "t42", "t41",
        "t40", "Filter_Size", "bal_IDAC", "bal_dP", "Itenzo", "Ksi", "dPemax", "Kdsp0",
        "Kdsp1", "Kdsp2", "Kdsp3", "Kdsp4", "Kdsp5", "Kdsp6", "Kdsp7", "Kdsp8", "Kdsp9",
        "Kdsp10"};
    QCOMPARE(keys.size(), DeviceItemCount);
    for (int i = 0; i < DeviceItemCount; ++i) {
        QCOMPARE(deviceItem(i).position, i);
        QCOMPARE(QString::fromLatin1(deviceItem(i).key), keys.at(i));
    }
    const QStringList program = {"T_query", "timeout", "rep_cnt", "T_query_scan",
                                 "timeout_scan", "rep_cnt_scan", "serial_speed", "serial_nBits",
                                 "serial_parity", "serial_sb", "serial_fc", "serial_rts_delay"};
    for (int i = 0; i < ProgramItemCount; ++i) {
        QCOMPARE(programItem(i).row, i);
        QCOMPARE(QString::fromLatin1(programItem(i).key), program.at(i));
    }
    // The range-correction area is one run of floats from Ksi to c43.
    for (int r = 0; r <= 10; ++r)
        QCOMPARE(deviceItem(28 + r).address + deviceItem(28 + r).offset, 296 + 4 * r);
    QCOMPARE(deviceItem(18).address + deviceItem(18).offset, 340);
}

void TestDeviceRecord::descriptions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("model_name") << 0 << QByteArray("Обозначение датчика");
    QTest::newRow("Pmax") << 4 << QByteArray("Максимальный верхний предел диапазона измерений, Па");
    QTest::newRow("Uk1h") << 5 << QByteArray("Начальное значение U1 при НУ");
    QTest::newRow("Uk2h") << 6 << QByteArray("Начальное значение U2 при НУ");
    QTest::newRow("U10") << 7 << QByteArray("Значение U1 при НУ при максимальном статическом\n"
                                            "давлении Pстат в обеих камерах прибора");
    QTest::newRow("U20") << 8 << QByteArray("Значение U2 при НУ при максимальном статическом\n"
                                            "давлении Pстат в обеих камерах прибора");
    QTest::newRow("a40") << 11 << QByteArray("Параметр для компенсации аддитивной\n"
                                             "составляющей температурной погрешности");
    QTest::newRow("b42") << 12 << QByteArray("Параметр для компенсации мультипликативной\n"
                                             "составляющей температурной погрешности");
    // EN DASH is E2 80 93 in UTF-8.
    QTest::newRow("c43") << 18 << QByteArray("Переводной коэффициент (частота\xE2\x80\x93"
                                             "давление)");
    QTest::newRow("t40") << 21 << QByteArray("Переводной коэффициент (напряжение\xE2\x80\x93"
                                             "температура)");
    QTest::newRow("dPemax") << 27 << QByteArray("Учитываемая амплитуда импульса");
    QTest::newRow("Kdsp0") << 28 << QByteArray("Поправочный коэффициент для диапазона №0");
    QTest::newRow("Kdsp10") << 38 << QByteArray("Поправочный коэффициент для диапазона №10");
}

void TestDeviceRecord::descriptions()
{
    QFETCH(int, position);
    QFETCH(QByteArray, utf8);
    QCOMPARE(deviceDescription(position).toUtf8(), utf8);
}

void TestDeviceRecord::lookups()
{
    QCOMPARE(devicePosition("Kdsp10"), 38);
    QCOMPARE(devicePosition("c43"), 18);
    QCOMPARE(devicePosition("pmax"), -1); // case-sensitive
    QCOMPARE(devicePosition("timeout"), -1);
    QCOMPARE(programRow("timeout"), 1);
    QCOMPARE(programRow("serial_rts_delay"), 11);
    QCOMPARE(programRow("Pmax"), -1);
    QCOMPARE(programDescription(10).toUtf8(), QByteArray("Аппаратное квитирование серийного порта"));
}

void TestDeviceRecord::modelAndUnitTables()
{
    QCOMPARE(modelNumber(QString::fromUtf8("ЛТ3920ДИ")), 1);
    QCOMPARE(modelNumber(QString::fromUtf8("ЛТ3920ДВИ")), 5);
    QCOMPARE(modelNumber(QString::fromUtf8("лт3920ди")), 0);
    QCOMPARE(modelName(3).toUtf8(), QByteArray("ЛТ3920ДД"));
    QVERIFY(modelName(0).isEmpty());
    QVERIFY(modelName(6).isEmpty());
    QCOMPARE(unitNames().size(), UnitCount);
    QCOMPARE(unitCode(QString::fromUtf8("Па")), 0);
    QCOMPARE(unitCode(QString::fromUtf8("мм вод. ст.")), 6);
    QCOMPARE(unitCode(QString::fromUtf8("кг/м3")), 18);
    QCOMPARE(unitCode(QString::fromUtf8("кг/м3 ")), -1);
    QCOMPARE(unitName(17).toUtf8(), QByteArray("г/см3"));
    QVERIFY(unitName(19).isEmpty());
    QVERIFY(unitName(-1).isEmpty());
}

void TestDeviceRecord::programValidation_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("speed 57600") << "serial_speed" << "57600" << true;
    QTest::newRow("speed 1200") << "serial_speed" << "1200" << true;
    QTest::newRow("speed 115200") << "serial_speed" << "115200" << false;
    QTest::newRow("speed 1000") << "serial_speed" << "1000" << false;
    QTest::newRow("nBits 4") << "serial_nBits" << "4" << false;
    QTest::newRow("nBits 5") << "serial_nBits" << "5" << true;
    QTest::newRow("nBits 8") << "serial_nBits" << "8" << true;
    QTest::newRow("nBits 9") << "serial_nBits" << "9" << false;
    QTest::newRow("nBits 8 with LF") << "serial_nBits" << "8\n" << true;
    QTest::newRow("parity Нечетный") << "serial_parity" << QString::fromUtf8("Нечетный") << true;
    QTest::newRow("parity нечетный") << "serial_parity" << QString::fromUtf8("нечетный") << false;
    QTest::newRow("parity with LF") << "serial_parity" << QString::fromUtf8("Нет\n") << false;
    QTest::newRow("parity Метка") << "serial_parity" << QString::fromUtf8("Метка") << true;
    QTest::newRow("sb 1.5") << "serial_sb" << "1.5" << true;
    QTest::newRow("sb 1,5") << "serial_sb" << "1,5" << false;
    QTest::newRow("sb 3") << "serial_sb" << "3" << false;
    QTest::newRow("fc да") << "serial_fc" << QString::fromUtf8("да") << true;
    QTest::newRow("fc Да") << "serial_fc" << QString::fromUtf8("Да") << false;
    QTest::newRow("timeout 500") << "timeout" << "500" << true;
    QTest::newRow("timeout -1") << "timeout" << "-1" << false;
    QTest::newRow("timeout 2^32") << "timeout" << "4294967296" << false;
    QTest::newRow("timeout empty") << "timeout" << "" << false;
    QTest::newRow("rts 1e3") << "serial_rts_delay" << "1e3" << false;
}

void TestDeviceRecord::programValidation()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(isValidProgramText(programRow(key), text), valid);
}

void TestDeviceRecord::deviceValidation_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("model") << "model_name" << QString::fromUtf8("ЛТ3920ДД") << true;
    QTest::newRow("model lower") << "model_name" << QString::fromUtf8("лт3920дд") << false;
    QTest::newRow("model with LF") << "model_name" << QString::fromUtf8("ЛТ3920ДД\n") << false;
    QTest::newRow("unit") << "mu" << QString::fromUtf8("мм рт. ст.") << true;
    QTest::newRow("model_code -5") << "model_code" << "-5" << true;
    QTest::newRow("model_code 3.5") << "model_code" << "3.5" << false;
    QTest::newRow("bal_dP int max") << "bal_dP" << "2147483647" << true;
    QTest::newRow("bal_dP above int") << "bal_dP" << "2147483648" << false;
    QTest::newRow("serial u32 max") << "serial" << "4294967295" << true;
    QTest::newRow("serial negative") << "serial" << "-1" << false;
    QTest::newRow("float exp") << "Pmax" << "1.5e+06" << true;
    QTest::newRow("float spaces") << "Pmax" << " 2.5 \r\n" << true;
    QTest::newRow("float comma") << "Pmax" << "2,5" << false;
    QTest::newRow("float trailing junk") << "Pmax" << "2.5x" << false;
    QTest::newRow("float text") << "Pmax" << "abc" << false;
    QTest::newRow("float overflow") << "Pmax" << "1e39" << false;
    QTest::newRow("float nan") << "Ksi" << "nan" << true;
    QTest::newRow("float -inf") << "Ksi" << "-inf" << true;
    QTest::newRow("float empty") << "Ksi" << "" << false;
}

void TestDeviceRecord::deviceValidation()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(isValidDeviceText(devicePosition(key), text), valid);
}

void TestDeviceRecord::wholeFieldNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("okInt32");
    QTest::addColumn<qint64>("int32");
    QTest::addColumn<bool>("okUInt16");
    QTest::addColumn<uint>("uint16");
    QTest::newRow("300") << "300" << true << qint64(300) << true << 300u;
    QTest::newRow("+7") << "+7" << true << qint64(7) << true << 7u;
    QTest::newRow("-1") << "-1" << true << qint64(-1) << false << 0u;
    QTest::newRow("65536") << "65536" << true << qint64(65536) << false << 0u;
    QTest::newRow("int min") << "-2147483648" << true << qint64(-2147483648LL) << false << 0u;
    QTest::newRow("int min - 1") << "-2147483649" << false << qint64(0) << false << 0u;
    QTest::newRow("huge") << QString(5000, QLatin1Char('9')) << false << qint64(0) << false << 0u;
    QTest::newRow("sign only") << "-" << false << qint64(0) << false << 0u;
    QTest::newRow("hex") << "0x10" << false << qint64(0) << false << 0u;
    QTest::newRow("arabic digits") << QString::fromUtf8("١٢") << false << qint64(0) << false << 0u;
}

void TestDeviceRecord::wholeFieldNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, okInt32);
    QFETCH(qint64, int32);
    QFETCH(bool, okUInt16);
    QFETCH(uint, uint16);
    bool ok = !okInt32;
    QCOMPARE(qint64(NumberText::toInt32(text, &ok)), int32);
    QCOMPARE(ok, okInt32);
    ok = !okUInt16;
    QCOMPARE(uint(NumberText::toUInt16(text, &ok)), uint16);
    QCOMPARE(ok, okUInt16);
}

void TestDeviceRecord::prefixNumbers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("intStatus");
    QTest::addColumn<int>("ulongStatus");
    QTest::addColumn<int>("doubleStatus");
    QTest::addColumn<double>("doubleValue");
    const int ok = int(NumberText::PrefixStatus::Ok);
    const int inv = int(NumberText::PrefixStatus::InvalidArgument);
    const int range = int(NumberText::PrefixStatus::OutOfRange);
    QTest::newRow("with description") << QByteArray("1.5:Описание") << ok << ok << ok << 1.5;
    QTest::newRow("leading space") << QByteArray(" \t-2e3x") << ok << ok << ok << -2000.0;
    QTest::newRow("word") << QByteArray("abc") << inv << inv << inv << 0.0;
    QTest::newRow("empty") << QByteArray() << inv << inv << inv << 0.0;
    QTest::newRow("sign twice") << QByteArray("+-1") << inv << inv << inv << 0.0;
    QTest::newRow("int overflow") << QByteArray("3000000000") << range << ok << ok << 3e9;
    QTest::newRow("ulong overflow") << QByteArray("99999999999999999999") << range << range << ok
                                    << 1e20;
    QTest::newRow("double overflow") << QByteArray("1e999") << ok << ok << range << 0.0;
    QTest::newRow("double underflow") << QByteArray("1e-999") << ok << ok << range << 0.0;
    QTest::newRow("point first") << QByteArray(".5") << inv << inv << ok << 0.5;
}

void TestDeviceRecord::prefixNumbers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, intStatus);
    QFETCH(int, ulongStatus);
    QFETCH(int, doubleStatus);
    QFETCH(double, doubleValue);
    int i = 0;
    uint64_t u = 0;
    double d = 0;
    QCOMPARE(int(NumberText::prefixToInt(text, &i)), intStatus);
    QCOMPARE(int(NumberText::prefixToULong(text, &u)), ulongStatus);
    QCOMPARE(int(NumberText::prefixToDouble(text, &d)), doubleStatus);
    if (doubleStatus == int(NumberText::PrefixStatus::Ok))
        QCOMPARE(d, doubleValue);
}

void TestDeviceRecord::formatGMatchesPrintf_data()
{
    QTest::addColumn<double>("value");
    for (double v : {0.0, 1.0, -1.5, 1e6, 123456.0, 1234567.0, 1e-4, 1e-5, 3.14159265,
                     -2.5e-10, 3.4028234663852886e38, 99999.95, double(0.1f), 1e-45})
        QTest::newRow(qPrintable(QString::number(v, 'e', 17))) << v;
}

void TestDeviceRecord::formatGMatchesPrintf()
{
    QFETCH(double, value);
    char buf[64];
    // The test process keeps the C locale, so printf is the reference here.
    std::snprintf(buf, sizeof buf, "%g", value);
    QCOMPARE(NumberText::formatG(value), QString::fromLatin1(buf));
}

void TestDeviceRecord::recordFilledStateAndConversions()
{
    DeviceRecord r;
    QCOMPARE(r.firstEmptyDeviceItem(), 0);
    for (int i = 0; i < DeviceItemCount; ++i)
        r.setDeviceText(i, QStringLiteral("1"));
    QCOMPARE(r.firstEmptyDeviceItem(), -1);
    r.setDeviceText(17, QString());
    QCOMPARE(r.firstEmptyDeviceItem(), 17);
    QVERIFY(!r.isDeviceFilled(17));

    QVERIFY(!r.setProgramText("Pmax", "5"));
    QVERIFY(r.programText("Pmax").isEmpty());
    QVERIFY(r.setProgramText("timeout", "500"));
    QCOMPARE(r.programTextAt(1), QStringLiteral("500"));

    r.setDeviceText(1, QStringLiteral("-3"));
    QCOMPARE(r.toUInt16(1), uint16_t(0));
    r.setDeviceText(1, QStringLiteral("300"));
    QCOMPARE(r.toUInt16(1), uint16_t(300));
    r.setDeviceText(4, QStringLiteral("garbage"));
    QCOMPARE(r.toFloat(4), 0.0f);

    r.clear();
    QCOMPARE(r, DeviceRecord());
}

void TestDeviceRecord::programValuesForSettingsFields()
{
    // A time-out row of 500 ms is half a second; the field's minimum of one
    // second is the field's business.
    QCOMPARE(programSeconds("500"), 0.5);
    QCOMPARE(programSeconds("3000"), 3.0);
    QCOMPARE(programSeconds(QString()), 0.0);
    QCOMPARE(programInteger(" 750 "), 750);
    QCOMPARE(programInteger("fast"), 0);
}

QTEST_APPLESS_MAIN(TestDeviceRecord)
#include "tst_devicerecord.moc"
