// Decoding of command-3 answers and the polling bookkeeping built on them:
// running means, table texts, reference pressures, channel state.

#include "polling/calibrationcycle.h"
#include "polling/command3answer.h"
#include "polling/measurementrow.h"
#include "polling/pollchannelsettings.h"
#include "polling/pollchannelstate.h"
#include "polling/referencepressure.h"
#include "polling/runningmean.h"

#include "common/bigendian.h"

#include <QSettings>
#include <QtTest>

namespace {

QByteArray answerData(float i, float v1, float v2, float v3, float v4)
{
    return be(i) + char(0x24) + be(v1) + char(0x25) + be(v2) + char(0x26) + be(v3)
         + char(0x27) + be(v4);
}

Command3Answer answer(float v1, float v2, float v3 = 0, float v4 = 0)
{
    return Command3Answer::decode(answerData(4.0f, v1, v2, v3, v4));
}

PollChannels channelsAt(std::initializer_list<std::pair<int, int>> checked)
{
    PollChannels c{};
    for (auto [index, address] : checked)
        c[index] = PollChannelState{true, address};
    return c;
}

} // namespace

class TestCommand3 : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void firstMeanIsTheValueExactly();
    void meansFollowTheFormula();
    void sameAddressFeedsEveryCheckedChannel();
    void meanDisplayText();
    void headersFollowCapacitorBox();
    void valueTexts();
    void tableClearsAfterRow50_data();
    void tableClearsAfterRow50();
    void unitConversion_data();
    void unitConversion();
    void addressTexts();
    void pollOrderIsChannelOrder();
    void channelSettings();
    void calibrationCycle();
};

void TestCommand3::decode_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QVector<float>>("values");

    const QByteArray full = answerData(12.5f, 1.25f, -2.5f, 1e6f, 0.001f);
    QTest::newRow("full") << full << true << QVector<float>{12.5f, 1.25f, -2.5f, 1e6f, 0.001f};
    QTest::newRow("extra bytes ignored") << full + QByteArray(3, 'x') << true
                                         << QVector<float>{12.5f, 1.25f, -2.5f, 1e6f, 0.001f};
    QTest::newRow("last float cut") << full.left(23) << false
                                    << QVector<float>{12.5f, 1.25f, -2.5f, 1e6f, 0};
    QTest::newRow("current only") << full.left(4) << false << QVector<float>{12.5f, 0, 0, 0, 0};
    QTest::newRow("empty") << QByteArray() << false << QVector<float>{0, 0, 0, 0, 0};
}

void TestCommand3::decode()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, complete);
    QFETCH(QVector<float>, values);
    const Command3Answer a = Command3Answer::decode(data);
    QCOMPARE(a.complete(), complete);
    for (int k = 0; k < 5; ++k)
        QCOMPARE(a.value(k), values[k]);
    if (complete) {
        // Unit bytes sit in front of each variable, never inside a float.
        QCOMPARE(int(a.unitCode(1)), 0x24);
        QCOMPARE(int(a.unitCode(4)), 0x27);
    }
}

void TestCommand3::firstMeanIsTheValueExactly()
{
    RunningMean m;
    const PollChannels ch = channelsAt({{0, 3}});
    const float odd = 1234.56789f;
    QCOMPARE(m.fold(3, answer(odd, -0.1f, 7.0f, 1e-7f), ch), 1);
    QCOMPARE(m.channel(0).count, 1);
    QCOMPARE(m.channel(0).mean[0], odd);
    QCOMPARE(m.channel(0).mean[1], -0.1f);
    QCOMPARE(m.channel(0).mean[3], 1e-7f);
}

void TestCommand3::meansFollowTheFormula()
{
    RunningMean m;
    const PollChannels ch = channelsAt({{4, 7}});
    m.fold(7, answer(1, 10), ch);
    m.fold(7, answer(2, 20), ch);
    m.fold(7, answer(6, 60), ch);
    QCOMPARE(m.channel(4).count, 3);
    QCOMPARE(m.channel(4).mean[0], 3.0f);
    QCOMPARE(m.channel(4).mean[1], 30.0f);
    // Other addresses and the loop current leave the record alone.
    QCOMPARE(m.fold(8, answer(100, 100), ch), 0);
    QCOMPARE(m.channel(4).count, 3);
    m.reset();
    QCOMPARE(m.channel(4).count, 0);
    QCOMPARE(m.channel(4).mean[1], 0.0f);
}

void TestCommand3::sameAddressFeedsEveryCheckedChannel()
{
    RunningMean m;
    PollChannels ch = channelsAt({{0, 5}, {6, 5}, {9, 1}});
    ch[3] = PollChannelState{false, 5};     // unchecked on the same address
    QCOMPARE(m.fold(5, answer(2, 4), ch), 2);
    QCOMPARE(m.channel(0).mean[0], 2.0f);
    QCOMPARE(m.channel(6).mean[1], 4.0f);
    QCOMPARE(m.channel(3).count, 0);
    QCOMPARE(m.channel(9).count, 0);
}

void TestCommand3::meanDisplayText()
{
    ChannelMean c;
    c.mean[0] = 12.3456f;
    c.mean[1] = 7.89f;
    QCOMPARE(RunningMean::displayText(c, true), QStringLiteral("12.3456 кГц 7.8900 кГц"));
    QCOMPARE(RunningMean::displayText(ChannelMean{}, false), QStringLiteral("0.0000 мВ 0.0000 мВ"));
}

void TestCommand3::headersFollowCapacitorBox()
{
    const QStringList cap = MeasurementRow::headers(true);
    const QStringList plain = MeasurementRow::headers(false);
    QCOMPARE(cap.size(), 10);
    QCOMPARE(cap.mid(2, 4), (QStringList{"f1, кГц", "f2, кГц", "P, кПа", "t, °C"}));
    QCOMPARE(plain.mid(2, 4), (QStringList{"U1, мВ", "U2, мВ", "U3, мВ", "U4, мВ"}));
    for (const QStringList &h : {cap, plain}) {
        QCOMPARE(h.mid(0, 2), (QStringList{"Адрес", "Ток, мА"}));
        QCOMPARE(h.mid(6), (QStringList{"P+, кПа", "P-, кПа", "CRC", "Файл"}));
    }
}

void TestCommand3::valueTexts()
{
    const Command3Answer a = Command3Answer::decode(answerData(4.00004f, 1, -2.5f, 3, 1234.5f));
    QCOMPARE(MeasurementRow::valueTexts("0a", a, 101.325, -0.1234567),
             (QStringList{"0a", "4.0000", "1.0000", "-2.5000", "3.0000", "1234.5000", "101.325",
                          "-0.123457"}));
    QCOMPARE(MeasurementRow::crcCell(false).text, QStringLiteral("BAD"));
    QCOMPARE(MeasurementRow::crcCell(false).background, 0xFF0000u);
    QCOMPARE(MeasurementRow::fileCell(MeasurementRow::FileStatus::Written).background, 0x008080u);
    QCOMPARE(MeasurementRow::fileCell(MeasurementRow::FileStatus::NotChosen).text,
             QStringLiteral("Файл не выбран"));
    QVERIFY(!MeasurementRow::fileCell(MeasurementRow::FileStatus::None).hasBackground);
}

void TestCommand3::tableClearsAfterRow50_data()
{
    QTest::addColumn<bool>("clearBox");
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("rowAfter");
    QTest::addColumn<int>("clears");
    QTest::newRow("50 rows stay") << true << 50 << 50 << 0;
    QTest::newRow("row 50 filled -> cleared") << true << 51 << 0 << 1;
    QTest::newRow("next lands in row 0, then 1") << true << 52 << 1 << 1;
    QTest::newRow("twice round") << true << 102 << 0 << 2;
    QTest::newRow("box off keeps growing") << false << 120 << 120 << 0;
}

void TestCommand3::tableClearsAfterRow50()
{
    QFETCH(bool, clearBox);
    QFETCH(int, answers);
    QFETCH(int, rowAfter);
    QFETCH(int, clears);
    int row = 0;
    int cleared = 0;
    for (int i = 0; i < answers; ++i) {
        QVERIFY(row <= 50 || !clearBox);
        cleared += MeasurementRow::advance(row, clearBox) ? 1 : 0;
    }
    QCOMPARE(row, rowAfter);
    QCOMPARE(cleared, clears);
}

void TestCommand3::unitConversion_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("plus");
    QTest::addColumn<int>("minus");
    QTest::addColumn<double>("plusKPa");
    QTest::addColumn<double>("minusKPa");
    QTest::newRow("Па: 1000 -> 1 kPa") << 0 << 1000 << -500 << 1.0 << -0.5;
    QTest::newRow("кПа") << 1 << 1000 << 6000 << 1000.0 << 6000.0;
    QTest::newRow("MПа") << 2 << 600000 << -6 << 600000000.0 << -6000.0;
    QTest::newRow("no item") << -1 << 1000 << 1000 << 0.0 << 0.0;
}

void TestCommand3::unitConversion()
{
    QFETCH(int, unit);
    QFETCH(int, plus);
    QFETCH(int, minus);
    QFETCH(double, plusKPa);
    QFETCH(double, minusKPa);
    ReferencePressure p;
    p.set(plus, minus, 1);      // taken in kPa first, then the unit changes
    p.set(plus, minus, unit);
    QCOMPARE(p.plus(), plusKPa);
    QCOMPARE(p.minus(), minusKPa);
    // The MPa item has a Latin capital M.
    QCOMPARE(ReferencePressure::unitNames().at(2).at(0), QChar('M'));
}

void TestCommand3::addressTexts()
{
    QCOMPARE(pollAddressText(10), QStringLiteral("0a"));
    QCOMPARE(pollAddressText(0), QStringLiteral("00"));
    QCOMPARE(parsePollAddressText("0a"), 10);
    QCOMPARE(parsePollAddressText("0F"), 15);
    QCOMPARE(parsePollAddressText("zz"), 0);
    QCOMPARE(parsePollAddressText(""), 0);
}

void TestCommand3::pollOrderIsChannelOrder()
{
    PollChannels c = channelsAt({{0, 5}, {3, 1}, {14, 2}, {7, 5}});
    c[5] = PollChannelState{false, 9};
    QCOMPARE(pollAddresses(c), (QVector<int>{5, 1, 5, 2}));
    QCOMPARE(firstCheckedChannelFor(c, 5), 0);
    QCOMPARE(firstCheckedChannelFor(c, 9), -1);
}

void TestCommand3::channelSettings()
{
    QSettings s(QDir::current().filePath("channels.ini"), QSettings::IniFormat);
    PollChannelSettings::Entries e = PollChannelSettings::load(s, 16);
    QCOMPARE(e[0].checkState, 0);       // missing keys
    QCOMPARE(e[14].addressIndex, 0);

    e[2] = {2, 10};
    e[14] = {2, 17};                    // an address appended by a scan
    PollChannelSettings::save(s, e);
    s.sync();
    QCOMPARE(s.value("/ParametersFunc3/CheckDev_2").toInt(), 2);
    QCOMPARE(s.value("/ParametersFunc3/Dev_14").toInt(), 17);

    const PollChannelSettings::Entries back = PollChannelSettings::load(s, 16);
    QCOMPARE(back[2].checkState, 2);
    QCOMPARE(back[2].addressIndex, 10);
    QCOMPARE(back[14].addressIndex, 0); // not in a fresh list
    QCOMPARE(PollChannelSettings::load(s, 18)[14].addressIndex, 17);
}

void TestCommand3::calibrationCycle()
{
    CalibrationCycle c;
    c.pressureTaken();
    QVERIFY(!c.averagingOn());
    QVERIFY(c.buttons().mo && c.buttons().clearMO && !c.buttons().addDataCoef);
    c.averagingStarted();
    QVERIFY(c.averagingOn() && c.buttons().addDataCoef);
    c.pointAdded();
    QVERIFY(!c.averagingOn());
    QVERIFY(c.buttons().setPressue);
    QVERIFY(!c.buttons().mo && !c.buttons().clearMO && !c.buttons().addDataCoef);
    c.meansCleared();
    QVERIFY(c.buttons().setPressue && c.buttons().mo);
}

QTEST_GUILESS_MAIN(TestCommand3)
#include "tst_command3.moc"
