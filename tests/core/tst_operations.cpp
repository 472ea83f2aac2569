#include "device/coefficientgroup.h"
#include "device/deviceoperations.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "operationstestutil.h"

#include <QtTest>

class TestOperations : public QObject
{
    Q_OBJECT
private slots:
    void walkTheCatalogue_data();
    void walkTheCatalogue();
    void catalogueIsConsistent();
    void framesCarryTheData();
    void unknownCodesDoNothing();
    void closedPortLeavesPressureToggle();
    void rangeWrites();
    void coefficientWrites();
    void emptySetColumnTakesNoLock();
    void clearActions();
    void loadedRecordWrite();

    // Over the virtual transmitter line, through the real link.
    void lineSingleRegister();
    void lineCoefficientGroups();
    void lineRecordAndRange();

private:
    // Sends an operation as a slot would and decodes every answer.
    void runOnLine(DeviceOperations &ops, int code, const QVariantMap &inputs, QVector<AnswerResult> *results);
    bool openLine();

    sim::VirtualLine *m_line = nullptr;
    protocolComHart *m_link = nullptr;
    sim::VirtualDevice *m_device = nullptr;
};

void TestOperations::walkTheCatalogue_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QVariantMap>("inputs");
    QTest::addColumn<QStringList>("items");     // "command:data hex" per request
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("period");

    const int S = int(RequestKind::Single), Q = int(RequestKind::Queued), C = int(RequestKind::Cyclic);
    auto row = [](int code) -> QTestData & { return QTest::newRow(qPrintable(QString::number(code))) << code; };

    row(4) << QVariantMap() << QStringList{"36:"} << S << 0;
    row(5) << QVariantMap() << QStringList{"37:"} << S << 0;
    row(6) << QVariantMap() << QStringList{"43:"} << S << 0;
    row(7) << QVariantMap{{"comboBoxSetMode", 3}} << QStringList{"91:000103"} << S << 0;
    row(8) << QVariantMap{{"spinBoxMovingAverage_1", 16}} << QStringList{"91:000b10"} << S << 0;
    row(9) << QVariantMap{{"spinBoxMovingAverage_2", 200}} << QStringList{"91:000dc8"} << S << 0;
    row(10) << QVariantMap{{"comboBoxSetAddress", "0f"}} << QStringList{"91:00030f"} << S << 0;
    row(11) << QVariantMap{{"lineEditSetMaxValue", "1.0"}} << QStringList{"91:001e3f800000"} << S << 0;
    row(16) << QVariantMap() << QStringList{"51:000101"} << S << 0;
    row(17) << QVariantMap() << QStringList{"51:000b01"} << S << 0;
    row(18) << QVariantMap() << QStringList{"51:000d01"} << S << 0;
    row(19) << QVariantMap() << QStringList{"51:000301"} << S << 0;
    row(20) << QVariantMap() << QStringList{"51:001e04"} << S << 0;
    row(22) << QVariantMap() << QStringList{"51:00c804"} << S << 0;
    row(23) << QVariantMap() << QStringList{"51:00cc04"} << S << 0;
    row(24) << QVariantMap{{"checkBoxFixedCurrent", 1}} << QStringList{"91:001901"} << S << 0;
    row(25) << QVariantMap{{"lineEditSetFixedCurrent", "12"}, {"radioButton_38_21", 0}}
            << QStringList{"91:001a7fff"} << S << 0;
    row(30) << QVariantMap{{"sliderChooseRange", 10}} << QStringList{"91:002245c4e000", "91:00f20000"} << Q << 1500;
    row(31) << QVariantMap{{"comboBoxCurrentDevice", 3}, {"spinBoxSensorCode", 5}} << QStringList{"91:00f600030005"}
            << S << 0;
    row(32) << QVariantMap()
            << QStringList{"51:00f406", "51:002204", "51:003604", "51:001501", "51:000b01", "51:018804"} << Q << 0;
    row(33) << QVariantMap{{"spinBoxSensorCode_2", 7}} << QStringList{"91:001507"} << S << 0;
    row(34) << QVariantMap{{"sliderChooseRangeMin", 1}} << QStringList{"91:0036437a0000"} << S << 0;
    row(35) << QVariantMap{{"comboBoxMesure", 2}} << QStringList{"91:00f40002"} << S << 0;
    row(36) << QVariantMap() << QStringList{"51:001503", "51:012418", "51:013c18"} << Q << 0;
    row(37) << QVariantMap{{"kdsp10_setEdit", "2"}} << QStringList{"91:015040000000"} << Q << 1500;
    row(38) << QVariantMap() << QStringList{"51:004e0c", "51:01000c", "51:010c0c", "51:015404", "51:01180c"} << Q << 0;
    row(39) << QVariantMap{{"coef_t40_setEdit", "-1"}, {"coef_c43_setEdit", "0"}}
            << QStringList{"91:015400000000", "91:0120bf800000"} << Q << 1500;
    row(40) << QVariantMap() << QStringList{"51:005a04"} << S << 0;
    row(42) << QVariantMap() << QStringList{"51:003a04"} << Q << 0;
    row(43) << QVariantMap{{"leSetSerial", "305419896"}} << QStringList{"91:003a12345678"} << S << 0;
    row(44) << QVariantMap() << QStringList{"42:"} << S << 0;
    row(45) << QVariantMap() << QStringList{"51:019018"} << S << 0;
    row(46) << QVariantMap{{"valueKmax_setEdit", "0.5"}, {"ak0_setEdit", "1"}}
            << QStringList{"91:01903f800000", "91:01a43f000000"} << Q << 0;
    row(47) << QVariantMap{{"leSetEEPROMPaswd", "200"}} << QStringList{"91:00fbc8"} << S << 0;
    row(48) << QVariantMap() << QStringList{"51:00fb01"} << S << 0;
    row(49) << QVariantMap{{"sbFilterAmp", 2.5}} << QStringList{"91:018840200000"} << S << 0;
    row(50) << QVariantMap() << QStringList{"51:00cc04"} << C << 0;
    row(135) << QVariantMap() << QStringList{"51:001701"} << S << 0;
    row(136) << QVariantMap{{"current_reg_spinBox", -1}} << QStringList{"91:0017ff"} << S << 0;
}

void TestOperations::walkTheCatalogue()
{
    QFETCH(int, code);
    QFETCH(QVariantMap, inputs);
    QFETCH(QStringList, items);
    QFETCH(int, kind);
    QFETCH(int, period);

    DeviceOperations ops;
    ops.ranges().selectSensorRange(11);
    if (code == 50)
        ops.buildOperation(50);   // the first press only arms the query

    // Every widget the request needs is one the slot is told to collect.
    for (auto it = inputs.constBegin(); it != inputs.constEnd(); ++it) {
        bool named = false;
        for (const InputSpec &input : DeviceOperations::inputSpecs(code))
            named = named || input.widget == it.key();
        QVERIFY2(named, qPrintable(it.key()));
    }

    const OperationRequest r = ops.buildOperation(code, inputs);
    QVERIFY(r.valid);
    QCOMPARE(r.code, code);
    QCOMPARE(hexItems(r), items);
    QCOMPARE(int(r.kind), kind);
    QCOMPARE(r.fixedPeriodMs, period);
    QCOMPARE(r.periodMs(700), period ? period : 700);
    QVERIFY(r.takesBusyLock());
}

void TestOperations::catalogueIsConsistent()
{
    const QList<int> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28,
                                 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 42, 43, 44, 45, 46, 47, 48, 49,
                                 50, 51, 52, 135, 136};
    QList<int> codes;
    for (const OperationDescriptor &d : Operations::all()) {
        codes << d.code;
        QVERIFY(Operations::find(d.code) == &d);
        // Every register write carries its register and a payload rule.
        if (d.command == 91 && d.handler == OperationHandler::Generic) {
            QVERIFY2(d.reg != 0 && d.width > 0 && d.payload != Payload::None, d.slot);
            QVERIFY2(d.input, d.slot);
        }
        if (d.command == 51 && d.handler == OperationHandler::Generic)
            QVERIFY2(d.output && d.shown != Shown::None, d.slot);
    }
    QCOMPARE(codes, expected);

    // Operations built by other subsystems are not built here.
    DeviceOperations ops;
    for (int code : {1, 2, 3, 26, 27, 29, 51, 52, 28})
        QVERIFY(!ops.buildOperation(code).valid);
}

void TestOperations::framesCarryTheData()
{
    DeviceOperations ops;
    const OperationRequest r = ops.buildOperation(11, {{"lineEditSetMaxValue", "1.0"}});
    QVector<QByteArray> frames;
    QVERIFY(r.frames(5, false, OperationRequest::addressBytes(2, false), &frames));
    QCOMPARE(frames.size(), 1);
    const QByteArray f = frames.first();
    // preamble, delimiter, address, command 91, byte count 6, data, checksum
    QCOMPARE(f.left(9).toHex(), QByteArray("ffffffffff02025b06"));
    QCOMPARE(f.mid(9, 6).toHex(), QByteArray("001e3f800000"));
    char sum = 0;
    for (int i = 5; i < f.size() - 1; ++i)
        sum ^= f.at(i);
    QCOMPARE(f.at(f.size() - 1), sum);

    // Every request of the catalogue frames with its command and byte count.
    ops.ranges().selectSensorRange(11);
    for (const OperationDescriptor &d : Operations::all()) {
        const OperationRequest req = ops.buildOperation(d.code, {{"kdsp0_setEdit", "1"},
                                                                 {"coef_a42_setEdit", "1"},
                                                                 {"ak0_setEdit", "1"}});
        if (!req.valid)
            continue;
        QVector<QByteArray> fs;
        QVERIFY2(req.frames(3, true, OperationRequest::addressBytes(1, true), &fs), d.slot);
        if (!fs.isEmpty())
            QCOMPARE(fs.first().mid(4, 5).toHex(), QByteArray("0f0201fdef"));
        QCOMPARE(fs.size(), req.items.size());
        for (int i = 0; i < fs.size(); ++i) {
            QCOMPARE(int(uint8_t(fs[i].at(4 + 5))), req.items[i].command);
            QCOMPARE(int(uint8_t(fs[i].at(4 + 6))), req.items[i].data.size());
            QCOMPARE(fs[i].mid(11, req.items[i].data.size()), req.items[i].data);
        }
    }

    // A frame that would not fit the buffer is refused, not truncated.
    OperationRequest big;
    big.valid = true;
    big.items.append({91, QByteArray(40, '\0')});
    QString error;
    QVERIFY(!big.frames(20, true, QByteArray(5, '\0'), &frames, &error));
    QVERIFY(frames.isEmpty());
    QVERIFY(!error.isEmpty());
}

void TestOperations::unknownCodesDoNothing()
{
    DeviceOperations ops;
    for (int code : {0, 12, 13, 14, 15, 21, 41, 99, -7}) {
        QVERIFY(!Operations::isKnown(code));
        QVERIFY(!ops.buildOperation(code).valid);
        QVERIFY(ops.decodeAnswer(answer(code, "000101", "01")).actions.isEmpty());
    }
}

void TestOperations::closedPortLeavesPressureToggle()
{
    DeviceOperations ops;
    QVERIFY(!ops.pressureQueryArmed());
    // First press: nothing is sent, the caption stays, the query is armed.
    OperationRequest first = ops.buildOperation(50);
    QVERIFY(first.stopOnly);
    QVERIFY(first.items.isEmpty());
    QVERIFY(!first.takesBusyLock());
    QCOMPARE(first.before.first().value.toString(), u("Начать опрос"));
    QVERIFY(ops.pressureQueryArmed());
    // Second press starts the cyclic read.
    OperationRequest second = ops.buildOperation(50);
    QVERIFY(!second.stopOnly);
    QCOMPARE(second.kind, RequestKind::Cyclic);
    QCOMPARE(second.before.first().value.toString(), u("Остановить опрос"));
    QVERIFY(!ops.pressureQueryArmed());

    // Answers: gated, exactly four bytes of register 0x00CC, no message.
    AnswerResult r = ops.decodeAnswer(answer(50, "00cc04", "40200000"));
    QCOMPARE(r.valueOf("sbPressure", WidgetAction::SetValue).toDouble(), 2.5);
    QVERIFY(r.messages().isEmpty());
    QVERIFY(ops.decodeAnswer(answer(50, "00cc04", "40200000", false)).actions.isEmpty());
    QVERIFY(ops.decodeAnswer(answer(50, "00c804", "40200000")).actions.isEmpty());
    QVERIFY(ops.decodeAnswer(answer(50, "00cc04", "4020000000")).actions.isEmpty());
}

void TestOperations::rangeWrites()
{
    DeviceOperations ops;
    ops.ranges().selectSensorRange(11);   // 11 entries
    // Slider at its maximum: the widest range, number 0.
    QCOMPARE(hexItems(ops.buildOperation(30, {{"sliderChooseRange", 10}})).last(), QStringLiteral("91:00f20000"));
    // Index 0 of an 11-entry list is range 10, never more.
    QCOMPARE(hexItems(ops.buildOperation(30, {{"sliderChooseRange", 0}})),
             (QStringList{"91:002200000000", "91:00f2000a"}));
    ops.ranges().selectSensorRange(53);
    QCOMPARE(hexItems(ops.buildOperation(30, {{"sliderChooseRange", 0}})).last(), QStringLiteral("91:00f20007"));
    QCOMPARE(hexItems(ops.buildOperation(34, {{"sliderChooseRangeMin", 7}})),
             QStringList{"91:003647435000"});   // 50 kPa = 50000 Pa
}

void TestOperations::coefficientWrites()
{
    DeviceOperations ops;
    const OperationRequest good = ops.buildOperation(37, {{"idaczero_setEdit", "255"},
                                                          {"kdsp0_setEdit", "1,5"},
                                                          {"kdsp2_setEdit", ""},
                                                          {"kdsp3_setEdit", " -2e1"}});
    QCOMPARE(hexItems(good), (QStringList{"91:0015ff", "91:01283fc00000", "91:0134c1a00000"}));
    QCOMPARE(good.before.size(), 13);
    for (int i = 0; i < 13; ++i)
        QCOMPARE(good.before[i].value, QVariant(int(FieldPalette::Neutral)));
    QVERIFY(!good.refused());

    // One field that is not its number stops the whole column: nothing is
    // sent, each bad field is red and named, with the old diagnostic.
    const OperationRequest r = ops.buildOperation(37, {{"idaczero_setEdit", "300"},
                                                       {"kdsp0_setEdit", "1.5abc"},
                                                       {"kdsp1_setEdit", "abc"},
                                                       {"kdsp3_setEdit", " -2e1"}});
    QVERIFY(r.items.isEmpty());
    QVERIFY(!r.takesBusyLock());
    QCOMPARE(r.refusals.size(), 3);
    QCOMPARE(r.refusals[1].widget, QStringLiteral("kdsp0_setEdit"));
    QVERIFY(r.refusalText().contains(QStringLiteral("«Поправочный коэффициент для диапазона №0»: «1.5abc» — не число")));
    QVERIFY(r.refusalText().contains(QStringLiteral("«Баланс нуля токового выхода»: «300» — вне допустимых значений 0…255")));
    QCOMPARE(r.before.count(WidgetAction{WidgetAction::ErrorLine, QString(),
                                         QStringLiteral("onKdspSet:Conversion error\n")}),
             3);
    QCOMPARE(r.before.count(WidgetAction{WidgetAction::SetPalette, QStringLiteral("kdsp1_setEdit"),
                                         int(FieldPalette::Failed)}),
             1);

    QVERIFY(ops.buildOperation(37, {{"idaczero_setEdit", "-5"}}).refused());
    // Coefficient and polynomial groups share their diagnostic.
    const OperationRequest ak = ops.buildOperation(46, {{"ak2_setEdit", "x"}});
    QVERIFY(ak.items.isEmpty());
    QCOMPARE(ak.before.last().value, QVariant(int(FieldPalette::Failed)));
    QCOMPARE(ak.refusals.first().text, QStringLiteral("«ak2»: «x» — не число"));
    QVERIFY(ops.buildOperation(39, {{"coef_b41_setEdit", "1e40"}}).refused());
}

void TestOperations::emptySetColumnTakesNoLock()
{
    DeviceOperations ops;
    for (int code : {37, 39, 46}) {
        const OperationRequest r = ops.buildOperation(code, {});
        QVERIFY(r.valid);
        QVERIFY(r.items.isEmpty());
        QVERIFY(!r.takesBusyLock());
    }
}

void TestOperations::clearActions()
{
    const WidgetActions a = CoefficientGroup::ak().clearActions(CoefficientGroup::Set);
    QCOMPARE(a.size(), 12);
    QCOMPARE(a[0], (WidgetAction{WidgetAction::SetText, "ak0_setEdit", QString()}));
    QCOMPARE(a[1], (WidgetAction{WidgetAction::SetPalette, "ak0_setEdit", int(FieldPalette::Neutral)}));
    QCOMPARE(a[10].target, QStringLiteral("valueKmax_setEdit"));
    QCOMPARE(CoefficientGroup::coef().entries().at(6).receiveField, QStringLiteral("coef_c43_recvEdit"));
    QCOMPARE(CoefficientGroup::kdsp().entries().at(12).setField, QStringLiteral("kdsp10_setEdit"));
}

void TestOperations::loadedRecordWrite()
{
    DeviceOperations ops;
    QVERIFY(!ops.setLoadedRecord(QVector<double>(32, 0.0)));
    QVERIFY(!ops.recordLoaded());

    QVector<double> rec(LoadedRecord::Size, 0.0);
    rec[LoadedRecord::BalIdac] = 200;
    rec[LoadedRecord::Itenzo] = -1;
    rec[LoadedRecord::Pmax] = 1.0;
    rec[LoadedRecord::Uk1h] = 2.0;
    rec[LoadedRecord::B42] = 0.5;
    rec[LoadedRecord::C40] = -2.0;
    rec[LoadedRecord::ModelName] = 0;
    rec[LoadedRecord::ModelCode] = 7;
    rec[LoadedRecord::Ksi] = 1.0;
    rec[LoadedRecord::Kdsp0 + 6] = 2.0;
    rec[LoadedRecord::C43] = -1.0;
    rec[LoadedRecord::Serial] = 305419896;   // not exact as a single; kept exact here
    QVERIFY(ops.setLoadedRecord(rec));

    const OperationRequest r = ops.buildOperation(28);
    QVERIFY(r.valid);
    QCOMPARE(r.kind, RequestKind::Queued);
    QCOMPARE(r.fixedPeriodMs, 1500);
    const QStringList items = hexItems(r);
    QCOMPARE(items.size(), 9);
    QCOMPARE(items[0], QStringLiteral("91:0015c800ff"));
    QCOMPARE(items[1], QStringLiteral("91:001e3f800000"));
    QCOMPARE(items[2], QStringLiteral("91:002640000000000000000000000000000000"));
    QCOMPARE(items[3].left(8), QStringLiteral("91:004e0"));
    QCOMPARE(items[4], QStringLiteral("91:00f600000007"));
    QCOMPARE(items[5], QStringLiteral("91:01003f000000") + QString(32, QLatin1Char('0')) + QStringLiteral("c0000000"));
    QCOMPARE(items[6], QStringLiteral("91:01243f800000") + QString(48, QLatin1Char('0')));
    QCOMPARE(items[7], QStringLiteral("91:014040000000") + QString(32, QLatin1Char('0')) + QStringLiteral("bf800000"));
    QCOMPARE(items[8], QStringLiteral("91:003a12345678"));
    QStringList diagnostics;
    for (const WidgetAction &a : r.before)
        if (a.kind == WidgetAction::ErrorLine)
            diagnostics << a.value.toString();
    QCOMPARE(diagnostics, (QStringList{"0.5\n", "0\n", "0\n", "0\n", "0\n", "-2\n"}));

    // A download after the first writes the same record again.
    QCOMPARE(hexItems(ops.buildOperation(28)), items);
    ops.clearLoadedRecord();
    QVERIFY(!ops.buildOperation(28).valid);
}

bool TestOperations::openLine()
{
    delete m_link;
    delete m_line;
    m_line = new sim::VirtualLine(this);
    if (!m_line->open())
        return false;
    m_device = m_line->addDevice(2);
    m_link = new protocolComHart(this, QStringLiteral("no-such-file"));
    return m_link->openPort(m_line->portName());
}

void TestOperations::runOnLine(DeviceOperations &ops, int code, const QVariantMap &inputs,
                               QVector<AnswerResult> *results)
{
    results->clear();
    const OperationRequest r = ops.buildOperation(code, inputs);
    QVERIFY(r.valid);
    QVector<QByteArray> frames;
    QVERIFY(r.frames(4, false, QByteArray(1, '\x02'), &frames));
    m_link->clearQueue();
    m_link->setPeriod(30);   // the product's 1500 ms spacing would only slow the test
    m_link->setTimeout(1000);
    m_link->setRepeats(1);
    m_link->setOperation(code);
    const auto c = connect(m_link, &protocolComHart::answerGet, this, [&](int got) {
        results->append(ops.decodeAnswer({got, m_link->requestData(), m_link->answerData(),
                                          m_link->answerChecksumOk()}));
    });
    if (r.kind == RequestKind::Single) {
        m_link->sendFrame(frames.first());
    } else {
        for (const QByteArray &f : frames)
            m_link->enqueue(f);
        m_link->startQueue(false);
    }
    QTRY_COMPARE_WITH_TIMEOUT(results->size(), frames.size(), 15000);
    disconnect(c);
}

void TestOperations::lineSingleRegister()
{
    QVERIFY(openLine());
    DeviceOperations ops;
    QVector<AnswerResult> results;
    runOnLine(ops, 11, {{"lineEditSetMaxValue", "6300"}}, &results);
    QCOMPARE(m_device->f32(0x001E), 6300.0f);
    QCOMPARE(results.first().messages(Cal), QStringList{u("Установлен максимальный верхний предел\n")});

    runOnLine(ops, 20, {}, &results);
    QCOMPARE(results.first().valueOf("lineEditMaxValueGet", WidgetAction::SetText).toString(), QStringLiteral("6300"));

    runOnLine(ops, 43, {{"leSetSerial", "4000000001"}}, &results);
    QCOMPARE(m_device->u32(0x003A), 4000000001u);
    runOnLine(ops, 42, {}, &results);
    QCOMPARE(results.first().valueOf("leGetSerial", WidgetAction::SetText).toString(), QStringLiteral("4000000001"));

    runOnLine(ops, 25, {{"lineEditSetFixedCurrent", "12"}}, &results);
    QCOMPARE(int(m_device->u16(0x001A)), 32767);
    runOnLine(ops, 7, {{"comboBoxSetMode", 11}}, &results);
    runOnLine(ops, 16, {}, &results);
    QCOMPARE(results.first().valueOf("lineEditGetMode", WidgetAction::SetText).toString(), QStringLiteral("RS-485 (9)"));
}

void TestOperations::lineCoefficientGroups()
{
    QVERIFY(openLine());
    DeviceOperations ops;
    QVector<AnswerResult> results;
    m_device->corruptNextChecksum = true;   // the first write's confirmation is damaged
    runOnLine(ops, 37, {{"idaczero_setEdit", "255"}, {"idaccoef_setEdit", "1,25"}, {"kdsp10_setEdit", "-3"}},
              &results);
    QCOMPARE(int(m_device->u8(0x0015)), 255);
    QCOMPARE(m_device->f32(0x0124), 1.25f);
    QCOMPARE(m_device->f32(0x0150), -3.0f);
    QCOMPARE(results[0].valueOf("idaczero_setEdit", WidgetAction::SetPalette), QVariant(int(FieldPalette::Failed)));
    QCOMPARE(results[1].valueOf("idaccoef_setEdit", WidgetAction::SetPalette), QVariant(int(FieldPalette::Confirmed)));
    QCOMPARE(results[2].valueOf("kdsp10_setEdit", WidgetAction::SetPalette), QVariant(int(FieldPalette::Confirmed)));

    // All three reads fill all thirteen receive fields.
    runOnLine(ops, 36, {}, &results);
    QStringList filled;
    for (const AnswerResult &r : results)
        for (const WidgetAction &a : r.actions)
            if (a.kind == WidgetAction::SetPalette && a.value == int(FieldPalette::Confirmed))
                filled << a.target;
    QCOMPARE(filled.size(), 13);
    QCOMPARE(results[0].valueOf("idaczero_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("255"));
    QCOMPARE(results[1].valueOf("idaccoef_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("1.25"));
    QCOMPARE(results[2].valueOf("kdsp10_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("-3"));

    m_device->setF32(0x0120, 0.125f);
    runOnLine(ops, 38, {}, &results);
    QCOMPARE(results.size(), 5);
    QCOMPARE(results[4].valueOf("coef_t40_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("0.125"));

    runOnLine(ops, 46, {{"valueKmin_setEdit", "-1.5"}}, &results);
    QCOMPARE(m_device->f32(0x01A0), -1.5f);
    runOnLine(ops, 45, {}, &results);
    QCOMPARE(results.first().valueOf("valueKmin_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("-1.5"));
}

void TestOperations::lineRecordAndRange()
{
    QVERIFY(openLine());
    DeviceOperations ops;
    QVector<AnswerResult> results;
    QVector<double> rec(LoadedRecord::Size, 0.0);
    rec[LoadedRecord::Itenzo] = 2;
    rec[LoadedRecord::ModelName] = 3;
    rec[LoadedRecord::ModelCode] = 5;
    rec[LoadedRecord::C43] = 0.75;
    rec[LoadedRecord::Kdsp0 + 10] = 9.5;
    rec[LoadedRecord::Serial] = 123456789;
    QVERIFY(ops.setLoadedRecord(rec));
    runOnLine(ops, 28, {}, &results);
    QCOMPARE(results.size(), 9);
    QCOMPARE(int(m_device->u8(0x0017)), 2);
    QCOMPARE(m_device->u32(0x00F6), 0x00030005u);
    QCOMPARE(m_device->f32(0x0154), 0.75f);
    QCOMPARE(m_device->f32(0x0150), 9.5f);
    QCOMPARE(m_device->u32(0x003A), 123456789u);
    QCOMPARE(results.last().messages(Cal), QStringList{u("Записан серийный номер\n")});

    // The device settings read selects the list before the limits arrive.
    ops.ranges().selectSensorRange(36);
    runOnLine(ops, 30, {{"sliderChooseRange", 9}}, &results);
    QCOMPARE(m_device->f32(0x0022), 1600000.0f);
    QCOMPARE(int(m_device->u16(0x00F2)), 1);
    runOnLine(ops, 34, {{"sliderChooseRangeMin", 2}}, &results);
    QCOMPARE(m_device->f32(0x0036), 63000.0f);
    runOnLine(ops, 32, {}, &results);
    QCOMPARE(results.size(), 6);
    QCOMPARE(results[0].valueOf("comboBoxCurrentDevice", WidgetAction::SelectItemText), QVariant(u("ЛТ3920ДД")));
    QCOMPARE(results[1].valueOf("sliderChooseRange", WidgetAction::SetValueAndNotify), QVariant(9));
    QCOMPARE(results[2].valueOf("sliderChooseRangeMin", WidgetAction::SetValueAndNotify), QVariant(2));
}

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
