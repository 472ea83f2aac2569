// The single-register operations of the calibration and device tabs, the
// device settings read, the range sliders and the pressure query, driven
// through the main window's buttons against a virtual transmitter: writes are
// proven by the device's memory, reads by what the widgets show.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "devicebench.h"

#include <QLabel>
#include <QtTest>

using namespace bench;

class TestDeviceOps : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void writes_data();
    void writes();
    void commands_data();
    void commands();
    void reads_data();
    void reads();
    void fixedCurrent();
    void deviceSettingsRead();
    void rangeWrite_data();
    void rangeWrite();

    void sensorCodeLimits();
    void labelsFollowUnit();
    void slidersStayApart();
    void quantityAndUnit();

    void pressureQuery();
    void operationDuringPressureQuery();
    void closedPort_data();
    void closedPort();
    void unusedCodes();
    void strictReadIgnoresBadChecksum();
    void framesOnTheWire_data();
    void framesOnTheWire();

private:
    Sandbox m_sandbox;
};

namespace {
const QString cal = QStringLiteral("textEditStatusCalibration");
const QString dev = QStringLiteral("textEditStatusSettingsDevice");
}

// ------------------------------------------------------------------ writes

void TestDeviceOps::writes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("expected");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("panes");

    const QStringList c{cal}, d{dev}, both{cal, dev};
    QTest::newRow("mode") << "buttonSetMode" << QStringList{"comboBoxSetMode=RS-485 (3)"} << 0x0001 << "u8" << 5.0
                          << "Режим работы установлен\n" << c;
    QTest::newRow("average U1U2") << "buttonMovingAverage_1" << QStringList{"spinBoxMovingAverage_1=17"} << 0x000B
                                  << "u8" << 17.0 << "Изменено количество точек скользящего среднего U1, U2\n" << both;
    QTest::newRow("average from device tab")
        << "buttonMovingAverage_3" << QStringList{"spinBoxMovingAverage_1=17", "spinBoxMovingAverage_3=9"} << 0x000B
        << "u8" << 9.0 << "Изменено количество точек скользящего среднего U1, U2\n" << both;
    QTest::newRow("average U3U4") << "buttonMovingAverage_2" << QStringList{"spinBoxMovingAverage_2=12"} << 0x000D
                                  << "u8" << 12.0 << "Изменено количество точек скользящего среднего U3, U4\n" << c;
    QTest::newRow("address hex") << "buttonSetAddress" << QStringList{"comboBoxSetAddress=0a"} << 0x0003 << "u8"
                                 << 10.0 << "Адрес устройства изменен\n" << c;
    QTest::newRow("Pmax") << "buttonSetMaxValue" << QStringList{"lineEditSetMaxValue=1.5e6"} << 0x001E << "f32"
                          << 1.5e6 << "Установлен максимальный верхний предел\n" << c;
    QTest::newRow("Pmax decimal comma") << "buttonSetMaxValue" << QStringList{"lineEditSetMaxValue=0,75"}
                                        << 0x001E << "f32" << 0.75 << "Установлен максимальный верхний предел\n" << c;
    QTest::newRow("fixed current 12 mA") << "buttonSetFixedCurrent" << QStringList{"lineEditSetFixedCurrent=12"}
                                         << 0x001A << "u16" << 32767.0 << "Ток установлен\n" << c;
    QTest::newRow("fixed current wide loop")
        << "buttonSetFixedCurrent" << QStringList{"radioButton_38_21=1", "lineEditSetFixedCurrent=20"} << 0x001A
        << "u16" << 61724.0 << "Ток установлен\n" << c;
    QTest::newRow("EEPROM password") << "pbSetEEPROMPaswd" << QStringList{"leSetEEPROMPaswd=200"} << 0x00FB
                                     << "u8" << 200.0 << "Пароль на запись в EEPROM установлен\n" << c;
    QTest::newRow("serial") << "pbSetSerial" << QStringList{"leSetSerial=3000000001"} << 0x003A << "u32"
                            << 3000000001.0 << "Серийный номер установлен\n" << c;
    QTest::newRow("current loop mode") << "current_reg_setButton" << QStringList{"current_reg_spinBox=7"} << 0x0017
                                       << "u8" << 7.0 << "Режим работы по току установлен\n" << d;
    QTest::newRow("type and sensor")
        << "buttonSetDeviceType" << QStringList{"comboBoxCurrentDevice=ЛТ3920ДД", "spinBoxSensorCode=5"} << 0x00F6
        << "u32" << double(0x00030005) << "Установлен тип датчика и код сенсора\n" << d;
    QTest::newRow("type of a variant name")
        << "buttonSetDeviceType" << QStringList{"comboBoxCurrentDevice=ЛТ3920ДВИ1", "spinBoxSensorCode=2"} << 0x00F6
        << "u32" << double(0x00050002) << "Установлен тип датчика и код сенсора\n" << d;
    QTest::newRow("unit") << "buttonSetMesureUnit" << QStringList{"comboBoxMesure=бар"} << 0x00F4 << "u16" << 4.0
                          << "Единицы измерения установлены\n" << d;
    QTest::newRow("current zero balance") << "buttonSetBalanceZero" << QStringList{"spinBoxSensorCode_2=200"}
                                          << 0x0015 << "u8" << 200.0 << "Установлено смещение нуля\n" << d;
    QTest::newRow("pulse amplitude") << "pbSetFilterAmp" << QStringList{"sbFilterAmp=12.5"} << 0x0188 << "f32" << 12.5
                                     << "Учитываемое значение амплитуды импульса установлено\n" << d;
    QTest::newRow("lower limit")
        << "buttonSetRangeMin"
        << QStringList{"comboBoxCurrentDevice=ЛТ3920ДИ", "spinBoxSensorCode=1", "sliderChooseRangeMin=3"} << 0x0036
        << "f32" << 600.0 << "Установлен нижний предел\n" << d;
}

void TestDeviceOps::writes()
{
    QFETCH(QString, button);
    QFETCH(QStringList, inputs);
    QFETCH(int, reg);
    QFETCH(QString, kind);
    QFETCH(double, expected);
    QFETCH(QString, message);
    QFETCH(QStringList, panes);

    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (const QString &in : inputs)
        QVERIFY2(b.setInput(in), qPrintable(in));
    // Bytes the write must replace, whatever its value.
    for (int i = 0; i < 4; ++i)
        b.device->setU8(uint16_t(reg + i), 0x5A);
    auto *trigger = b.widget<QAbstractButton>(button);
    QVERIFY(trigger);
    trigger->setEnabled(true);   // the fixed-current button waits for its mode

    trigger->click();
    QVERIFY(b.w().isBusy());
    QTRY_COMPARE(b.memory(uint16_t(reg), kind), expected);
    QTRY_VERIFY(!b.w().isBusy());
    QTRY_VERIFY(b.paneText(panes.first()).endsWith(message));
    QCOMPARE(colourAtEnd(b.widget<QTextEdit>(panes.first())), successColour);
    for (const QString &pane : panes)
        QCOMPARE(b.paneText(pane).count(message), 1);
}

void TestDeviceOps::commands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("panes");
    const QStringList c{cal}, d{dev}, both{cal, dev};
    QTest::newRow("span") << "buttonSpan" << 36 << "Верхнее значение диапазона установлено\n" << both;
    QTest::newRow("span, device tab") << "buttonSpan_2" << 36 << "Верхнее значение диапазона установлено\n" << both;
    QTest::newRow("zero") << "buttonZero" << 37 << "Баланс нуля выполнен\n" << both;
    QTest::newRow("zero, device tab") << "buttonZero_2" << 37 << "Баланс нуля выполнен\n" << both;
    QTest::newRow("PV zero") << "buttonZeroFirstVar" << 43 << "Установлен нуль первичной переменной\n" << c;
    for (const char *reboot : {"pbRebootDevice", "pbRebootDevice_2", "pbRebootDevice_3", "pbRebootDevice_4",
                               "pbRebootDevice_5"})
        QTest::newRow(reboot) << reboot << 42 << "Запрос на перезагрузку устройства отправлен\n" << d;
}

void TestDeviceOps::commands()
{
    QFETCH(QString, button);
    QFETCH(int, command);
    QFETCH(QString, message);
    QFETCH(QStringList, panes);

    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    b.widget<QAbstractButton>(button)->click();
    QTRY_COMPARE(b.device->commandsSeen.size(), 1);
    // The command alone, without data.
    QCOMPARE(b.device->commandsSeen.first(), QByteArray(1, char(command)));
    QTRY_VERIFY(b.paneText(panes.first()).endsWith(message));
    QCOMPARE(colourAtEnd(b.widget<QTextEdit>(panes.first())), successColour);
    for (const QString &pane : panes)
        QVERIFY(b.paneText(pane).endsWith(message));
    QVERIFY(!b.w().isBusy());
}

// ------------------------------------------------------------------ reads

void TestDeviceOps::reads_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("held");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("pane");

    QTest::newRow("mode") << "buttonGetMode" << 0x0001 << "u8" << 4.0 << "lineEditGetMode" << "RS-485 (2)"
                          << "Режим работы устройства получен\n" << cal;
    QTest::newRow("average U1U2 signed") << "buttonGetMovingAverage_1" << 0x000B << "u8" << 240.0
                                         << "lineEditGetMovingAverage_1" << "-16"
                                         << "Получено количество точек скользящего среднего U1, U2\n" << cal;
    QTest::newRow("average U3U4") << "buttonGetMovingAverage_2" << 0x000D << "u8" << 5.0
                                  << "lineEditGetMovingAverage_2" << "5"
                                  << "Получено количество точек скользящего среднего U3, U4\n" << cal;
    QTest::newRow("address") << "buttonGetAddress" << 0x0003 << "u8" << 31.0 << "lineEditGetAddress" << "0x1f"
                             << "Адрес получен\n" << cal;
    QTest::newRow("address zero") << "buttonGetAddress" << 0x0003 << "u8" << 0.0 << "lineEditGetAddress" << "0x0"
                                  << "Адрес получен\n" << cal;
    QTest::newRow("Pmax") << "buttonGetMaxValue" << 0x001E << "f32" << 2.5e6 << "lineEditMaxValueGet" << "2.5e+06"
                          << "Получен максимальный верхний предел\n" << cal;
    QTest::newRow("current") << "buttonGetCurrent" << 0x00C8 << "f32" << 7.25 << "lineEditGetCurrent" << "7.25"
                             << "Значение тока получено\n" << cal;
    QTest::newRow("pressure") << "buttonGetPressue" << 0x00CC << "f32" << 101.325 << "lineEditGetPressue"
                              << "101.325" << "Значение давления получено\n" << cal;
    QTest::newRow("EEPROM password") << "pbGetEEPROMPaswd" << 0x00FB << "u8" << 200.0 << "leGetEEPROMPaswd" << "200"
                                     << "Пароль на запись в EEPROM получен\n" << cal;
    QTest::newRow("serial") << "pbGetSerial" << 0x003A << "u32" << 4000000000.0 << "leGetSerial" << "4000000000"
                            << "Серийный номер получен\n" << cal;
    QTest::newRow("current loop mode signed") << "current_reg_recvButton" << 0x0017 << "u8" << 254.0
                                              << "current_reg_recv_lineEdit" << "-2"
                                              << "Режим работы по току получен\n" << dev;
}

void TestDeviceOps::reads()
{
    QFETCH(QString, button);
    QFETCH(int, reg);
    QFETCH(QString, kind);
    QFETCH(double, held);
    QFETCH(QString, output);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    QFETCH(QString, pane);

    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const auto r = uint16_t(reg);
    if (kind == QLatin1String("u8"))
        b.device->setU8(r, uint8_t(held));
    else if (kind == QLatin1String("u32"))
        b.device->setU32(r, uint32_t(held));
    else if (r == 0x00C8)
        b.device->current = float(held);     // what the device measures
    else if (r == 0x00CC)
        b.device->pressure = float(held);
    else
        b.device->setF32(r, float(held));
    b.widget<QLineEdit>(output)->setText(QStringLiteral("old"));

    b.widget<QAbstractButton>(button)->click();
    QVERIFY(b.w().isBusy());
    QTRY_COMPARE(b.widget<QLineEdit>(output)->text(), shown);
    QTRY_VERIFY(b.paneText(pane).endsWith(message));
    QCOMPARE(colourAtEnd(b.widget<QTextEdit>(pane)), successColour);
    QTRY_VERIFY(!b.w().isBusy());
}

void TestDeviceOps::strictReadIgnoresBadChecksum()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    b.device->setU8(0x0003, 5);
    b.device->corruptNextChecksum = true;
    b.ui()->buttonGetAddress->click();
    QTRY_VERIFY(!b.w().isBusy());
    QVERIFY(b.ui()->lineEditGetAddress->text().isEmpty());
    QVERIFY(!b.paneText(cal).contains(QStringLiteral("Адрес получен")));

    // An unknown mode still reports the read but leaves the field.
    b.device->setU8(0x0001, 12);
    b.ui()->lineEditGetMode->setText(QStringLiteral("HART (1)"));
    b.ui()->buttonGetMode->click();
    QTRY_VERIFY(b.paneText(cal).endsWith(QStringLiteral("Режим работы устройства получен\n")));
    QCOMPARE(b.ui()->lineEditGetMode->text(), QStringLiteral("HART (1)"));
}

void TestDeviceOps::fixedCurrent()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    auto *ui = b.ui();
    ui->buttonSetFixedCurrent->setEnabled(false);
    ui->lineEditSetFixedCurrent->setEnabled(false);

    // The toggle itself writes the mode; the controls follow the answer.
    ui->checkBoxFixedCurrent->setChecked(true);
    QVERIFY(!ui->buttonSetFixedCurrent->isEnabled());
    QTRY_COMPARE(int(b.device->u8(0x0019)), 1);
    QTRY_VERIFY(ui->buttonSetFixedCurrent->isEnabled());
    QVERIFY(ui->lineEditSetFixedCurrent->isEnabled());
    QVERIFY(b.paneText(cal).endsWith(QStringLiteral("Установлен режим фиксированного тока\n")));

    ui->lineEditSetFixedCurrent->setText(QStringLiteral("25"));
    ui->buttonSetFixedCurrent->click();
    QTRY_COMPARE(int(b.device->u16(0x001A)), 65535);
    QTRY_VERIFY(!b.w().isBusy());

    ui->checkBoxFixedCurrent->setChecked(false);
    QTRY_COMPARE(int(b.device->u8(0x0019)), 0);
    QTRY_VERIFY(!ui->buttonSetFixedCurrent->isEnabled());
    QVERIFY(!ui->lineEditSetFixedCurrent->isEnabled());
}

// ------------------------------------------------------------------ device tab

void TestDeviceOps::deviceSettingsRead()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    sim::VirtualDevice *d = b.device;
    d->setU16(0x00F4, 1);          // kPa
    d->setU16(0x00F6, 3);          // "ЛТ3920ДД"
    d->setU16(0x00F8, 5);          // key 35: 0 25 40 60 63 100 160 250 400 600 630
    d->setF32(0x0022, 400000.0f);  // 400 kPa: index 8
    d->setF32(0x0036, 40000.0f);   // 40 kPa: index 2
    d->setU8(0x0015, 7);
    d->setU8(0x000B, 9);
    d->setF32(0x0188, 33.5f);

    auto *ui = b.ui();
    // Same sensor as the device, lower slider left above the device's upper
    // limit: the limits read must still come out as the device holds them.
    QVERIFY(b.setInput(QStringLiteral("comboBoxCurrentDevice=ЛТ3920ДД")));
    ui->spinBoxSensorCode->setValue(5);
    ui->sliderChooseRangeMin->setValue(9);
    ui->buttonGetDeviceType->click();
    QTRY_COMPARE(ui->sbFilterAmp->value(), 33.5);
    QCOMPARE(ui->comboBoxMesure->currentIndex(), 1);
    QCOMPARE(ui->comboBoxCurrentDevice->currentText(), QStringLiteral("ЛТ3920ДД"));
    QCOMPARE(ui->spinBoxSensorCode->value(), 5);
    QCOMPARE(b.w().deviceOps.ranges().selectedKey(), 35);
    QCOMPARE(ui->sliderChooseRange->value(), 8);
    QCOMPARE(ui->labelChooseRange->text(), QStringLiteral("400"));
    QCOMPARE(ui->sliderChooseRangeMin->value(), 2);
    QCOMPARE(ui->labelChooseRangeMin->text(), QStringLiteral("40"));
    QCOMPARE(ui->spinBoxSensorCode_2->value(), 7);
    QCOMPARE(ui->spinBoxMovingAverage_3->value(), 9);

    const QString pane = b.paneText(dev);
    for (const char *m : {"Тип устройства, код сенсора и ед. измерения получены\n", "Верхний предел измерений получен\n",
                          "Нижний предел измерений получен\n",
                          "Учитываемое значение амплитуды импульса получено\n",
                          "Количество точек скользящего среднего получено\n",
                          "Баланс нуля токового выхода получен\n"})
        QCOMPARE(pane.count(QString::fromUtf8(m)), 1);
    // The six reads went out in order, one register each.
    QList<int> regs;
    for (const QByteArray &c : qAsConst(d->commandsSeen))
        regs << (uint8_t(c.at(1)) << 8 | uint8_t(c.at(2)));
    QCOMPARE(regs, (QList<int>{0x00F4, 0x0022, 0x0036, 0x0015, 0x000B, 0x0188}));
    QCOMPARE(int(uint8_t(d->commandsSeen.first().at(3))), 6);
}

void TestDeviceOps::rangeWrite_data()
{
    QTest::addColumn<bool>("atTop");
    QTest::addColumn<float>("upperPa");
    QTest::addColumn<int>("rangeNumber");
    QTest::newRow("widest range") << true << 6300.0f << 0;
    QTest::newRow("first entry") << false << 0.0f << 10;
}

void TestDeviceOps::rangeWrite()
{
    QFETCH(bool, atTop);
    QFETCH(float, upperPa);
    QFETCH(int, rangeNumber);

    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    auto *ui = b.ui();
    QVERIFY(b.setInput(QStringLiteral("comboBoxCurrentDevice=ЛТ3920ДИ")));
    ui->spinBoxSensorCode->setValue(1);   // key 11: eleven entries
    QCOMPARE(ui->sliderChooseRange->maximum(), 10);
    if (atTop) {
        QCOMPARE(ui->sliderChooseRange->value(), 10);
    } else {
        // The lower slider keeps the upper one off index 0 in the form.
        QSignalBlocker block(ui->sliderChooseRange);
        ui->sliderChooseRange->setValue(0);
    }
    b.device->setF32(0x0022, 123.0f);
    b.device->setU16(0x00F2, 0x5A5A);

    ui->buttonSetRange->click();
    QTRY_COMPARE_WITH_TIMEOUT(int(b.device->u16(0x00F2)), rangeNumber, 8000);
    QCOMPARE(b.device->f32(0x0022), upperPa);
    QTRY_COMPARE(b.paneText(dev).count(QStringLiteral("Установлен верхний предел\n")), 2);
    // The two writes go out 1500 ms apart whatever the poll period.
    QCOMPARE(b.w().hartLink()->period(), 1500);
}

void TestDeviceOps::sensorCodeLimits()
{
    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    auto *ui = b.ui();
    QVERIFY(b.setInput(QStringLiteral("comboBoxCurrentDevice=ЛТ3920ДВ")));
    QCOMPARE(ui->spinBoxSensorCode->minimum(), 3);
    QCOMPARE(ui->spinBoxSensorCode->maximum(), 3);
    QCOMPARE(ui->spinBoxSensorCode->value(), 3);
    QCOMPARE(b.w().deviceOps.ranges().selectedKey(), 43);
    QCOMPARE(ui->sliderChooseRange->maximum(), 9);
    QCOMPARE(ui->sliderChooseRange->value(), 9);
    QCOMPARE(ui->sliderChooseRangeMin->value(), 0);

    QVERIFY(b.setInput(QStringLiteral("comboBoxCurrentDevice=ЛТ3920ДА")));
    QCOMPARE(ui->spinBoxSensorCode->minimum(), 2);
    QCOMPARE(ui->spinBoxSensorCode->maximum(), 6);
    QCOMPARE(b.w().deviceOps.ranges().selectedKey(), 23);
}

void TestDeviceOps::labelsFollowUnit()
{
    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    auto *ui = b.ui();
    QVERIFY(b.setInput(QStringLiteral("comboBoxMesure=кПа")));
    QVERIFY(b.setInput(QStringLiteral("comboBoxCurrentDevice=ЛТ3920ДД")));
    QVERIFY(b.setInput(QStringLiteral("comboBoxCurrentDevice=ЛТ3920ДИ")));
    ui->spinBoxSensorCode->setValue(1);
    QCOMPARE(b.w().deviceOps.ranges().selectedKey(), 11);
    QCOMPARE(ui->labelChooseRange->text(), QStringLiteral("6.3"));
    QCOMPARE(ui->labelChooseRangeMin->text(), QStringLiteral("0"));

    QVERIFY(b.setInput(QStringLiteral("comboBoxMesure=Па")));
    QCOMPARE(ui->labelChooseRange->text(), QStringLiteral("6300"));
    ui->sliderChooseRangeMin->setValue(1);
    QCOMPARE(ui->labelChooseRangeMin->text(), QStringLiteral("250"));
    QVERIFY(b.setInput(QStringLiteral("comboBoxMesure=МПа")));
    QCOMPARE(ui->labelChooseRange->text(), QStringLiteral("0.0063"));
}

void TestDeviceOps::slidersStayApart()
{
    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    auto *upper = b.ui()->sliderChooseRange;
    auto *lower = b.ui()->sliderChooseRangeMin;
    QCOMPARE(upper->maximum(), 10);
    upper->setValue(5);
    lower->setValue(7);
    QCOMPARE(lower->value(), 4);
    QCOMPARE(upper->value(), 5);
    lower->setValue(2);
    upper->setValue(1);
    QCOMPARE(upper->value(), 3);
    QCOMPARE(lower->value(), 2);
    // Labels follow the values where the sliders ended up.
    QCOMPARE(b.ui()->labelChooseRange->text(), b.w().deviceOps.ranges().labelText(3));
    QCOMPARE(b.ui()->labelChooseRangeMin->text(), b.w().deviceOps.ranges().labelText(2));
}

void TestDeviceOps::quantityAndUnit()
{
    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    auto *ui = b.ui();
    QCOMPARE(ui->lMeasType->text(), QStringLiteral("Давление:"));
    const struct {
        int index;
        const char *quantity;
    } rows[] = {{9, "Температура"}, {8, "Ток"}, {11, "Расход"}, {14, "Уровень"}, {18, "Плотность"}, {3, "Давление"}};
    for (const auto &r : rows) {
        ui->comboBoxMesure->setCurrentIndex(r.index);
        QCOMPARE(ui->lMeasType->text(), QString::fromUtf8(r.quantity));
        QCOMPARE(ui->lMeasUnits->text(), ui->comboBoxMesure->itemText(r.index));
    }
}

// ------------------------------------------------------------------ pressure query

void TestDeviceOps::pressureQuery()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    auto *ui = b.ui();
    auto *button = ui->pbQueryPressure;
    QCOMPARE(button->text(), QStringLiteral("Начать опрос"));

    // The first press only arms the query.
    button->click();
    QCOMPARE(button->text(), QStringLiteral("Начать опрос"));
    QVERIFY(!b.w().isBusy());
    QVERIFY(!b.w().hartLink()->isQueueRunning());
    QCOMPARE(b.device->requestsSeen, 0);

    b.device->pressure = 42.5f;
    button->click();
    QCOMPARE(button->text(), QStringLiteral("Остановить опрос"));
    QTRY_COMPARE(ui->sbPressure->value(), 42.5);
    // It keeps reading: a new value shows up without another press.
    b.device->pressure = -7.25f;
    QTRY_COMPARE(ui->sbPressure->value(), -7.25);
    QVERIFY(b.device->requestsSeen >= 2);
    QCOMPARE(b.paneText(cal), QString());

    button->click();
    QCOMPARE(button->text(), QStringLiteral("Начать опрос"));
    QTRY_VERIFY(!b.w().hartLink()->isQueueRunning());
    // Nothing left that could send: no queue, no request in flight.
    QTRY_VERIFY(!b.w().hartLink()->isBusy());
    QCOMPARE(b.w().hartLink()->queueSize(), 0);
}

void TestDeviceOps::operationDuringPressureQuery()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    auto *ui = b.ui();
    protocolComHart *link = b.w().hartLink();
    b.device->answerDelayMs = 300;
    ui->pbQueryPressure->click();
    ui->pbQueryPressure->click();
    // The query's lock ends with its first answer; the next read is heard
    // and its answer delayed.
    QTRY_COMPARE(b.device->requestsSeen, 2);
    QVERIFY(link->isBusy());
    QVERIFY(!b.w().isBusy());

    // The pressure answer still on its way comes back under the new code; it
    // must not pass for the write's confirmation, which then never comes.
    ui->lineEditSetMaxValue->setText(QStringLiteral("2.5"));
    ui->buttonSetMaxValue->click();
    b.device->silentFor = 1;
    QTRY_VERIFY_WITH_TIMEOUT(b.paneText(QStringLiteral("textEditStatus")).endsWith(QStringLiteral("Таймаут операции\n")),
                             5000);
    QVERIFY(!b.paneText(cal).contains(QStringLiteral("Установлен максимальный верхний предел")));

    // Sent once the line was free: the next write is confirmed as usual.
    b.device->answerDelayMs = 0;
    ui->lineEditSetMaxValue->setText(QStringLiteral("3.5"));
    ui->buttonSetMaxValue->click();
    QTRY_COMPARE(b.device->f32(0x001E), 3.5f);
    QTRY_VERIFY(b.paneText(cal).endsWith(QStringLiteral("Установлен максимальный верхний предел\n")));
}

// ------------------------------------------------------------------ failures

void TestDeviceOps::closedPort_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("busyBefore");
    for (const char *name : {"buttonGetMode", "buttonSetMaxValue", "kdsp_setButton", "coef_getButton",
                             "buttonSetRange", "pbQueryPressure", "buttonGetDeviceType", "pbRebootDevice"}) {
        QTest::newRow(QByteArray(name).append(" idle").constData()) << name << false;
        QTest::newRow(QByteArray(name).append(" busy").constData()) << name << true;
    }
}

void TestDeviceOps::closedPort()
{
    QFETCH(QString, button);
    QFETCH(bool, busyBefore);

    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    b.w().busy = busyBefore;
    b.w().hartLink()->setOperation(77);
    b.ui()->kdsp0_setEdit->setText(QStringLiteral("1"));
    auto *trigger = b.widget<QAbstractButton>(button);
    trigger->setEnabled(true);
    trigger->click();

    const QString text = QStringLiteral("Порт не открыт!!\n");
    QVERIFY(b.paneText(QStringLiteral("textEditStatus")).endsWith(text));
    QVERIFY(b.paneText(cal).endsWith(text));
    QVERIFY(b.paneText(dev).endsWith(text));
    QCOMPARE(b.w().isBusy(), busyBefore);
    QCOMPARE(b.w().hartLink()->operation(), 77);
    QCOMPARE(b.w().hartLink()->queueSize(), 0);
    QVERIFY(!b.w().deviceOps.pressureQueryArmed());
}

void TestDeviceOps::unusedCodes()
{
    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    for (int code : {12, 13, 14, 15, 21, 41, 99, 200}) {
        b.w().setBusy(true);
        b.w().answerIsGet(code);
        QVERIFY(!b.w().isBusy());
    }
    QCOMPARE(b.paneText(cal), QString());
    QCOMPARE(b.paneText(dev), QString());
}

// ------------------------------------------------------------------ framing

void TestDeviceOps::framesOnTheWire_data()
{
    QTest::addColumn<bool>("longFrame");
    QTest::addColumn<int>("preamble");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("short") << false << 5 << QByteArray::fromHex("ffffffffff 02 03");
    QTest::newRow("long") << true << 3 << QByteArray::fromHex("ffffff 82 0f 02 03 fd ef");
}

void TestDeviceOps::framesOnTheWire()
{
    QFETCH(bool, longFrame);
    QFETCH(int, preamble);
    QFETCH(QByteArray, head);

    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    sim::VirtualDevice *third = b.line.addDevice(3);
    auto *ui = b.ui();
    QVERIFY(b.setInput(QStringLiteral("comboBoxMainAddr=03")));
    ui->checkLongFrame->setChecked(longFrame);
    ui->spinBoxSymPreamble->setValue(preamble);
    ui->lineEditSetMaxValue->setText(QStringLiteral("1.0"));

    ui->buttonSetMaxValue->click();
    QTRY_COMPARE(third->f32(0x001E), 1.0f);
    // Command 91, six data bytes: the register, then the float big-endian.
    QByteArray expected = head + QByteArray::fromHex("5b 06 001e 3f800000");
    char sum = 0;
    for (int i = preamble; i < expected.size(); ++i)
        sum ^= expected.at(i);
    expected.append(sum);
    QCOMPARE(b.line.requests().last(), expected);
    QCOMPARE(b.device->requestsSeen, 0);
}

QTEST_MAIN(TestDeviceOps)
#include "tst_deviceops.moc"
