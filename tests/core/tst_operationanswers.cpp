#include "device/coefficientgroup.h"
#include "device/deviceoperations.h"
#include "device/valuecodec.h"

#include "operationstestutil.h"

#include <QBuffer>
#include <QtTest>

class TestOperationAnswers : public QObject
{
    Q_OBJECT
private slots:
    void messagesAndColours();
    void modeAnswer_data();
    void modeAnswer();
    void gatedSingleByteReads();
    void floatReads();
    void serialOutsideTheChain();
    void fixedCurrentModeFollowsCheckBox();
    void deviceSettingsAnswers();
    void kdspReadFillsFields();
    void readsNeverWritePastLastField();
    void writeAnswersColourFields();
    void saveChain();
    void recordWriteAnswers();
};

void TestOperationAnswers::messagesAndColours()
{
    DeviceOperations ops;
    // Zero balance goes to both panes; only the first is recoloured.
    AnswerResult r = ops.decodeAnswer(answer(5, "", ""));
    QCOMPARE(r.actions.size(), 2);
    QCOMPARE(r.actions[0], (WidgetAction{WidgetAction::AppendStatus, Cal, u("Баланс нуля выполнен\n"), true}));
    QCOMPARE(r.actions[1], (WidgetAction{WidgetAction::AppendStatus, Dev, u("Баланс нуля выполнен\n"), false}));

    r = ops.decodeAnswer(answer(44, "", ""));
    QCOMPARE(r.messages(Dev), QStringList{u("Запрос на перезагрузку устройства отправлен\n")});
    QVERIFY(r.messages(Cal).isEmpty());

    // A write confirms whatever its checksum; the message is all it does.
    r = ops.decodeAnswer(answer(11, "001e3f800000", "", false));
    QCOMPARE(r.messages(Cal), QStringList{u("Установлен максимальный верхний предел\n")});
    QCOMPARE(r.actions.size(), 1);

    // Each answer of the range write shows the same line.
    r = ops.decodeAnswer(answer(30, "00f20000", ""));
    QCOMPARE(r.messages(Dev), QStringList{u("Установлен верхний предел\n")});
}

void TestOperationAnswers::modeAnswer_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::newRow("HART (2)") << QByteArray::fromHex("02") << "HART (2)";
    QTest::newRow("RS-485 (1)") << QByteArray::fromHex("03") << "RS-485 (1)";
    QTest::newRow("RS-485 (9)") << QByteArray::fromHex("0b") << "RS-485 (9)";
    QTest::newRow("12 is no mode") << QByteArray::fromHex("0c") << QString();
    QTest::newRow("0 is no mode") << QByteArray::fromHex("00") << QString();
    QTest::newRow("no data") << QByteArray() << QString();
}

void TestOperationAnswers::modeAnswer()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    DeviceOperations ops;
    // Not checksum-gated: the message comes first, always.
    const AnswerResult r = ops.decodeAnswer({16, QByteArray::fromHex("000101"), data, false});
    QCOMPARE(r.messages(Cal), QStringList{u("Режим работы устройства получен\n")});
    QCOMPARE(r.actions.first().kind, WidgetAction::AppendStatus);
    if (text.isEmpty())
        QVERIFY(!r.touches("lineEditGetMode"));
    else
        QCOMPARE(r.valueOf("lineEditGetMode", WidgetAction::SetText).toString(), text);
}

void TestOperationAnswers::gatedSingleByteReads()
{
    DeviceOperations ops;
    AnswerResult r = ops.decodeAnswer(answer(17, "000b01", "f0"));
    QCOMPARE(r.valueOf("lineEditGetMovingAverage_1", WidgetAction::SetText).toString(), QStringLiteral("-16"));
    QCOMPARE(r.actions.last().kind, WidgetAction::AppendStatus);   // value, then message

    QVERIFY(ops.decodeAnswer(answer(17, "000b01", "f0", false)).actions.isEmpty());
    const QStringList e1{QStringLiteral("filter1Size request error, dat\n")};
    QCOMPARE(ops.decodeAnswer(answer(17, "000b01", "f0f0")).errorLines(), e1);
    QCOMPARE(ops.decodeAnswer(answer(17, "000d01", "f0")).errorLines(), e1);
    QCOMPARE(ops.decodeAnswer(answer(17, "000d01", "f0")).actions.size(), 1);

    // The second filter only complains about the length.
    QCOMPARE(ops.decodeAnswer(answer(18, "000d01", "")).errorLines(),
             QStringList{QStringLiteral("filter2Size request error, dat\n")});
    QVERIFY(ops.decodeAnswer(answer(18, "000b01", "05")).actions.isEmpty());

    QCOMPARE(ops.decodeAnswer(answer(19, "000301", "0a")).valueOf("lineEditGetAddress", WidgetAction::SetText),
             QVariant(QStringLiteral("0xa")));
    QCOMPARE(ops.decodeAnswer(answer(19, "000301", "ff")).valueOf("lineEditGetAddress", WidgetAction::SetText),
             QVariant(QStringLiteral("0xff")));
    QCOMPARE(ops.decodeAnswer(answer(19, "000301", "00")).valueOf("lineEditGetAddress", WidgetAction::SetText),
             QVariant(QStringLiteral("0x0")));
    QVERIFY(ops.decodeAnswer(answer(19, "000301", "")).actions.isEmpty());
    QVERIFY(ops.decodeAnswer(answer(19, "000b01", "05")).actions.isEmpty());

    r = ops.decodeAnswer(answer(48, "00fb01", "c8"));
    QCOMPARE(r.valueOf("leGetEEPROMPaswd", WidgetAction::SetText).toString(), QStringLiteral("200"));
    QCOMPARE(r.messages(Cal), QStringList{u("Пароль на запись в EEPROM получен\n")});
    QVERIFY(ops.decodeAnswer(answer(48, "00fb01", "c8c8")).actions.isEmpty());

    r = ops.decodeAnswer(answer(135, "001701", "ff"));
    QCOMPARE(r.valueOf("current_reg_recv_lineEdit", WidgetAction::SetText).toString(), QStringLiteral("-1"));
    QCOMPARE(r.messages(Dev), QStringList{u("Режим работы по току получен\n")});
    const QStringList coefError{QStringLiteral("COEF request error, dat\n")};
    QCOMPARE(ops.decodeAnswer(answer(135, "001501", "01")).errorLines(), coefError);
    QCOMPARE(ops.decodeAnswer(answer(135, "001701", "")).errorLines(), coefError);
    QVERIFY(ops.decodeAnswer(answer(135, "001701", "01", false)).actions.isEmpty());
}

void TestOperationAnswers::floatReads()
{
    DeviceOperations ops;
    AnswerResult r = ops.decodeAnswer(answer(23, "00cc04", "40c9999a", false));
    QCOMPARE(r.actions.first().kind, WidgetAction::AppendStatus);
    QCOMPARE(r.valueOf("lineEditGetPressue", WidgetAction::SetText).toString(), QStringLiteral("6.3"));
    r = ops.decodeAnswer(answer(20, "001e04", "45c4e000"));
    QCOMPARE(r.valueOf("lineEditMaxValueGet", WidgetAction::SetText).toString(), QStringLiteral("6300"));
    // Too short to be a float: the message, and the field left alone.
    r = ops.decodeAnswer(answer(22, "00c804", "40c9"));
    QCOMPARE(r.messages(Cal), QStringList{u("Значение тока получено\n")});
    QVERIFY(!r.touches("lineEditGetCurrent"));
}

void TestOperationAnswers::serialOutsideTheChain()
{
    DeviceOperations ops;
    AnswerResult r = ops.decodeAnswer(answer(42, "003a04", "ffffffff"));
    QCOMPARE(r.valueOf("leGetSerial", WidgetAction::SetText).toString(), QStringLiteral("4294967295"));
    QCOMPARE(r.messages(Cal), QStringList{u("Серийный номер получен\n")});
    QVERIFY(ops.decodeAnswer(answer(42, "003a04", "ffffffff", false)).actions.isEmpty());
    QVERIFY(ops.decodeAnswer(answer(42, "003a04", "ffffff")).actions.isEmpty());
    QVERIFY(ops.decodeAnswer(answer(42, "00f604", "00010003")).actions.isEmpty());
    QVERIFY(ops.decodeAnswer(answer(40, "005a04", "3f800000")).actions.isEmpty());
}

void TestOperationAnswers::fixedCurrentModeFollowsCheckBox()
{
    DeviceOperations ops;
    const QVector<InputSpec> specs = DeviceOperations::answerInputSpecs(24);
    QCOMPARE(specs.size(), 1);
    QCOMPARE(specs.first().widget, QStringLiteral("checkBoxFixedCurrent"));
    AnswerResult r = ops.decodeAnswer(answer(24, "001901", ""), {{"checkBoxFixedCurrent", 2}});
    QCOMPARE(r.messages(Cal), QStringList{u("Установлен режим фиксированного тока\n")});
    QCOMPARE(r.valueOf("buttonSetFixedCurrent", WidgetAction::SetEnabled), QVariant(true));
    QCOMPARE(r.valueOf("lineEditSetFixedCurrent", WidgetAction::SetEnabled), QVariant(true));
    r = ops.decodeAnswer(answer(24, "001900", ""), {{"checkBoxFixedCurrent", 0}});
    QCOMPARE(r.valueOf("buttonSetFixedCurrent", WidgetAction::SetEnabled), QVariant(false));
    QCOMPARE(r.valueOf("lineEditSetFixedCurrent", WidgetAction::SetEnabled), QVariant(false));

    // The request: partly checked counts as on; the wide loop changes the code.
    QCOMPARE(hexItems(ops.buildOperation(24, {{"checkBoxFixedCurrent", 0}})), QStringList{"91:001900"});
    QCOMPARE(hexItems(ops.buildOperation(25, {{"lineEditSetFixedCurrent", "20"}, {"radioButton_38_21", 2}})),
             QStringList{"91:001af11c"});
    // A text that is no number sends nothing (it used to go out as 0 mA).
    QCOMPARE(hexItems(ops.buildOperation(25, {{"lineEditSetFixedCurrent", "abc"}})), QStringList());
    QCOMPARE(hexItems(ops.buildOperation(25, {{"lineEditSetFixedCurrent", "12,0"}})), QStringList{"91:001a7fff"});
    // The device tab's moving-average button sends its own spin box.
    const QVector<InputSpec> alt = DeviceOperations::inputSpecs(8, "buttonMovingAverage_3");
    QCOMPARE(alt.size(), 1);
    QCOMPARE(alt.first().widget, QStringLiteral("spinBoxMovingAverage_3"));
    QCOMPARE(hexItems(ops.buildOperation(8, {{"spinBoxMovingAverage_3", 4}})), QStringList{"91:000b04"});
}

void TestOperationAnswers::deviceSettingsAnswers()
{
    DeviceOperations ops;
    AnswerResult r = ops.decodeAnswer(answer(32, "00f406", "000100040003", false));
    QCOMPARE(r.valueOf("comboBoxMesure", WidgetAction::SetCurrentIndex), QVariant(1));
    QCOMPARE(r.valueOf("comboBoxCurrentDevice", WidgetAction::SelectItemText), QVariant(u("ЛТ3920ДВ")));
    QCOMPARE(r.valueOf("spinBoxSensorCode", WidgetAction::SetValue), QVariant(3));
    QCOMPARE(r.messages(Dev), QStringList{u("Тип устройства, код сенсора и ед. измерения получены\n")});
    // An unknown type leaves the device list alone.
    r = ops.decodeAnswer(answer(32, "00f406", "000000090002"));
    QVERIFY(!r.touches("comboBoxCurrentDevice"));
    QCOMPARE(r.valueOf("spinBoxSensorCode", WidgetAction::SetValue), QVariant(2));

    // Limits are matched against the list the GUI selected meanwhile.
    ops.ranges().selectSensorRange(43);
    r = ops.decodeAnswer(answer(32, "002204", "42c80000"));   // 100 Pa is not a nominal limit of key 43
    QCOMPARE(r.valueOf("sliderChooseRange", WidgetAction::SetValueAndNotify), QVariant(-1));
    QCOMPARE(r.messages(Dev), QStringList{u("Верхний предел измерений получен\n")});
    r = ops.decodeAnswer(answer(32, "002204", "47c35000"));   // 100 kPa
    QCOMPARE(r.valueOf("sliderChooseRange", WidgetAction::SetValueAndNotify), QVariant(9));
    r = ops.decodeAnswer(answer(32, "003604", "45bb8000"));   // 6 kPa
    QCOMPARE(r.valueOf("sliderChooseRangeMin", WidgetAction::SetValueAndNotify), QVariant(1));
    QCOMPARE(r.messages(Dev), QStringList{u("Нижний предел измерений получен\n")});

    r = ops.decodeAnswer(answer(32, "000b01", "fe"));
    QCOMPARE(r.valueOf("spinBoxMovingAverage_3", WidgetAction::SetValue), QVariant(-2));
    r = ops.decodeAnswer(answer(32, "001501", "07"));
    QCOMPARE(r.valueOf("spinBoxSensorCode_2", WidgetAction::SetValue), QVariant(7));
    QCOMPARE(r.messages(Dev), QStringList{u("Баланс нуля токового выхода получен\n")});
    r = ops.decodeAnswer(answer(32, "018804", "40200000"));
    QCOMPARE(r.valueOf("sbFilterAmp", WidgetAction::SetValue), QVariant(2.5));
    QVERIFY(ops.decodeAnswer(answer(32, "00cc04", "40200000")).actions.isEmpty());
}

void TestOperationAnswers::kdspReadFillsFields()
{
    DeviceOperations ops;
    const OperationRequest req = ops.buildOperation(36);
    QCOMPARE(req.before, CoefficientGroup::kdsp().clearActions(CoefficientGroup::Receive));

    QByteArray six;
    for (float f : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f})
        six += ValueCodec::float32(f);
    AnswerResult r = ops.decodeAnswer({36, QByteArray::fromHex("012418"), six, true});
    const QStringList fields{"idaccoef_recvEdit", "kdsp0_recvEdit", "kdsp1_recvEdit",
                             "kdsp2_recvEdit", "kdsp3_recvEdit", "kdsp4_recvEdit"};
    for (int i = 0; i < fields.size(); ++i) {
        QCOMPARE(r.valueOf(fields[i], WidgetAction::SetText).toString(), QString::number(i + 1));
        QCOMPARE(r.valueOf(fields[i], WidgetAction::SetPalette), QVariant(int(FieldPalette::Confirmed)));
    }
    r = ops.decodeAnswer({36, QByteArray::fromHex("013c18"), six, true});
    QCOMPARE(r.valueOf("kdsp5_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("1"));
    QCOMPARE(r.valueOf("kdsp10_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("6"));
    r = ops.decodeAnswer(answer(36, "001503", "c80005"));
    QCOMPARE(r.valueOf("idaczero_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("200"));

    const QStringList error{QStringLiteral("KDSP request error, dat\n")};
    QCOMPARE(ops.decodeAnswer(answer(36, "001503", "c800")).errorLines(), error);
    // Three bytes cannot hold six floats.
    QCOMPARE(ops.decodeAnswer(answer(36, "012418", "c80005")).errorLines(), error);
    QVERIFY(ops.decodeAnswer({36, QByteArray::fromHex("012418"), six, false}).actions.isEmpty());
}

void TestOperationAnswers::readsNeverWritePastLastField()
{
    DeviceOperations ops;
    QByteArray four;
    for (float f : {1.0f, 2.0f, 3.0f, 4.0f})
        four += ValueCodec::float32(f);
    // 0x0118 starts at t42, the third-last field: the fourth float has nowhere to go.
    AnswerResult r = ops.decodeAnswer({38, QByteArray::fromHex("01180c"), four, true});
    QCOMPARE(r.actions.size(), 6);
    QCOMPARE(r.valueOf("coef_t40_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("3"));
    // The lone c43 read lands between b40 and c42.
    r = ops.decodeAnswer({38, QByteArray::fromHex("015404"), four.left(4), true});
    QCOMPARE(r.valueOf("coef_c43_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("1"));
    QCOMPARE(r.actions.size(), 2);
    QVERIFY(ops.decodeAnswer({38, QByteArray::fromHex("004e0c"), four.left(3), true}).actions.isEmpty());
    // An unknown register starts at the first field.
    r = ops.decodeAnswer({38, QByteArray::fromHex("077704"), four.left(4), true});
    QCOMPARE(r.valueOf("coef_a42_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("1"));

    QByteArray seven = four + four.left(12);
    r = ops.decodeAnswer({45, QByteArray::fromHex("019018"), seven, true});
    QCOMPARE(r.actions.size(), 12);
    QCOMPARE(r.valueOf("valueKmax_recvEdit", WidgetAction::SetText).toString(), QStringLiteral("2"));
    QVERIFY(ops.decodeAnswer({45, QByteArray::fromHex("019418"), seven, true}).actions.isEmpty());
    QVERIFY(ops.decodeAnswer({45, QByteArray::fromHex("019018"), seven, false}).actions.isEmpty());
}

void TestOperationAnswers::writeAnswersColourFields()
{
    DeviceOperations ops;
    AnswerResult r = ops.decodeAnswer(answer(39, "0154bf800000", ""));
    QCOMPARE(r.actions, (WidgetActions{{WidgetAction::SetPalette, "coef_c43_setEdit", int(FieldPalette::Confirmed)}}));
    r = ops.decodeAnswer(answer(37, "0015ff", "", false));
    QCOMPARE(r.actions, (WidgetActions{{WidgetAction::SetPalette, "idaczero_setEdit", int(FieldPalette::Failed)}}));
    r = ops.decodeAnswer(answer(46, "01a43f000000", ""));
    QCOMPARE(r.valueOf("valueKmax_setEdit", WidgetAction::SetPalette), QVariant(int(FieldPalette::Confirmed)));
    QVERIFY(ops.decodeAnswer(answer(46, "0154bf800000", "")).actions.isEmpty());
}

void TestOperationAnswers::saveChain()
{
    DeviceOperations ops;
    QBuffer file;
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Pmax:1\n");
    ops.beginSaveChain(&file);
    QVERIFY(ops.saveChainActive());

    QByteArray first, second;
    for (int i = 0; i < 6; ++i) {
        first += ValueCodec::float32(0.5f + i);
        second += ValueCodec::float32(10.0f + i);
    }
    AnswerResult r = ops.decodeAnswer(answer(36, "001503", "c800fe"));
    QVERIFY(r.actions.isEmpty());     // fields stay as they are during the chain
    r = ops.decodeAnswer({36, QByteArray::fromHex("012418"), first, true});
    QCOMPARE(r.followUp, 0);
    r = ops.decodeAnswer({36, QByteArray::fromHex("013c18"), second, true});
    QCOMPARE(r.followUp, 40);
    r = ops.decodeAnswer(answer(40, "005a04", "3fc00000"));
    QCOMPARE(r.followUp, 42);
    QCOMPARE(hexItems(ops.buildOperation(42)), (QStringList{"51:003a04", "51:00f604"}));
    r = ops.decodeAnswer(answer(42, "003a04", "00bc614e"));
    QVERIFY(r.actions.isEmpty());
    QVERIFY(ops.saveChainActive());
    r = ops.decodeAnswer(answer(42, "00f604", "00030005"));
    QVERIFY(!ops.saveChainActive());
    QVERIFY(!file.isOpen());

    const QString expected = u("Pmax:1\n"
                               "bal_IDAC:200\nItenzo:-2\n"
                               "Ksi:0.5\nKdsp0:1.5\nKdsp1:2.5\nKdsp2:3.5\nKdsp3:4.5\nKdsp4:5.5\n"
                               "Kdsp5:10\nKdsp6:11\nKdsp7:12\nKdsp8:13\nKdsp9:14\nKdsp10:15\n"
                               "bal_dP:1.500000\n"
                               "serial:12345678\n"
                               "model_name:ЛТ3920ДД\nmodel_code:5\n");
    QCOMPARE(QString::fromUtf8(file.data()), expected);

    // After the chain the serial shows again, and 0x00F6 is no longer read.
    QCOMPARE(hexItems(ops.buildOperation(42)), QStringList{"51:003a04"});
    QVERIFY(ops.decodeAnswer(answer(42, "003a04", "00bc614e")).touches("leGetSerial"));

    // An unknown model writes an empty name.
    QBuffer other;
    QVERIFY(other.open(QIODevice::WriteOnly));
    ops.beginSaveChain(&other);
    ops.decodeAnswer(answer(42, "00f604", "00000001"));
    QCOMPARE(other.data(), QByteArray("model_name:\nmodel_code:1\n"));
}

void TestOperationAnswers::recordWriteAnswers()
{
    DeviceOperations ops;
    // Without a loaded record the dialog's own writes are confirmed by the
    // low address byte, in the pane's current colour.
    AnswerResult r = ops.decodeAnswer(answer(28, "004e00", ""));
    QCOMPARE(r.actions, (WidgetActions{{WidgetAction::AppendStatus, Cal, u("Записаны коэффициенты А\n"), false}}));
    QCOMPARE(r.messages().first().at(22), QChar(0x0410));   // Cyrillic А
    QCOMPARE(ops.decodeAnswer(answer(28, "0154", "")).messages(), QStringList{u("Записан коэффициент C43\n")});
    QCOMPARE(ops.decodeAnswer(answer(28, "010c", "")).messages(), QStringList{u("Записаны коэффициенты C\n")});
    QVERIFY(ops.decodeAnswer(answer(28, "001e", "")).actions.isEmpty());

    QVERIFY(ops.setLoadedRecord(QVector<double>(LoadedRecord::Size, 1.0)));
    r = ops.decodeAnswer(answer(28, "0140", "", false));
    QCOMPARE(r.actions, (WidgetActions{{WidgetAction::AppendStatus, Cal, u("Записаны kdsp6..10\n"), true}}));
    QCOMPARE(ops.decodeAnswer(answer(28, "0015", "")).messages(),
             QStringList{u("Записаны баланс токового выхода и режим работы по току\n")});
    QCOMPARE(ops.decodeAnswer(answer(28, "003a", "")).messages(), QStringList{u("Записан серийный номер\n")});
    // An unexpected block still turns the pane to the success colour.
    QCOMPARE(ops.decodeAnswer(answer(28, "010c", "")).actions,
             (WidgetActions{{WidgetAction::AppendStatus, Cal, QString(), true}}));
}

QTEST_GUILESS_MAIN(TestOperationAnswers)
#include "tst_operationanswers.moc"
