// The main window shell: the form's named controls, construction defaults,
// persisted state, poll timing, the interface lock, the busy lock, the port
// controls against the virtual line, and the serial settings tab.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"
#include "panecolour.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QtTest>
#include <memory>

namespace {
QSettings store()
{
    return QSettings(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
}

// The form on its own, as the designer file defines it, before any handler
// of the window has touched it.
struct BareForm
{
    QMainWindow host;
    Ui::MainWindow ui;
    BareForm() { ui.setupUi(&host); }
};

QByteArray configFile(int32_t baud, int size)
{
    SerialConfig c;
    c.baudRate = baud;
    c.dataBits = 7;
    c.parity = 2;
    return c.toBytes().left(size);
}
}

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void captions_data();
    void captions();
    void fixedListTexts_data();
    void fixedListTexts();
    void byteFieldsAndRanges();
    void rowsAndIcon();

    void firstStartDefaults();
    void storedPreamble();
    void timeoutApplied_data();
    void timeoutApplied();
    void settingsRoundTrip();

    void portCheckColours();
    void passwordLock();
    void busyLock();
    void timeoutAnswer();
    void buildRequestFrames();

    void connectAndClose();
    void connectFailure();
    void preferredPortFromEnvironment();

    void serialListsWithoutFile();
    void serialRecordKeepsUnlistedBaud();
    void serialShortFileIgnored();
    void serialApplyWritesFile();

private:
    Sandbox m_sandbox;
};

void TestMainWindow::init()
{
    // A working directory and a settings store of its own for every case.
    QVERIFY(m_sandbox.enter());
}

void TestMainWindow::cleanup()
{
    m_sandbox.leave();
}

// ------------------------------------------------------------------ form

void TestMainWindow::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char *rows[][2] = {
        {"buttonUpdateCom", "O"}, {"buttonConnectPort", "Связать"},
        {"buttonClosePort", "Закрыть порт"}, {"label_64", "Пароль:"},
        {"label_17", "Адрес устройства"}, {"buttonFindDevice", "Поиск устройств"},
        {"buttonResetAddr", "Сброс адреса"}, {"buttonSave", "Сохранять как"},
        {"label_14", "Сохраняется в файл:"},
        {"label_21", "Преамбула"}, {"checkLongFrame", "Длинный фрейм"},
        {"buttonSend", "Отправить"}, {"buttonStartLoop", "Цикл"}, {"buttonStopLoop", "Стоп"},
        {"label_18", "Запрос"}, {"buttonClearConsole", "Clear"},
        {"label_23", "Альтернативный вид 51-й функции"}, {"label_27", "Выбор регистра"},
        {"label_19", "Кол-во байт данных"}, {"label_22", "Адрес"},
        {"buttonCreate91Request", "Создать 91-й запрос"},
        {"buttonFunction3Send", "Отправить запрос"}, {"buttonFunction3Loop", "Циклический опрос"},
        {"buttonStopRequstFunc3", "Остановить опрос"}, {"label_47", "P+"}, {"label_48", "P-"},
        {"buttonSetPressue", "Записывать давление"}, {"pbEndCalibration", "Закончить калибровку"},
        {"buttonClearMO", "Сбросить усреднение"}, {"buttonAddDataCoef", "Добавить данные"},
        {"buttonMO", "Усреднять значения"}, {"buttonClearTable", "Очистить"},
        {"checkBoxClear", "Очищать экран"}, {"label_30", "Период опроса"},
        {"checkBoxCakibrationMiddle", "Калибровка НУ (23 °C)"},
        {"checkBoxCakibrationLow", "Калибровка (Tmin)"}, {"checkBoxCakibrationHigh", "Калибровка (Tmax)"},
        {"pbChooseSaveDir", "Сохранять как"}, {"lbSaveFilesReady", "❌"},
        {"buttonZero", "Установка нуля"}, {"buttonSpan", "Установить верхнее значение диапазона"},
        {"buttonZeroFirstVar", "Установить нуль первичной переменной"},
        {"label_53", "Значение давления"}, {"label_54", "Значение тока"}, {"label_55", "Режим работы"},
        {"label_60", "Пароль на запись в EEPROM"}, {"label_40", "Режим работы по току"},
        {"label_63", "Серийный номер"},
        {"label_56", "Количество точек скользящего среднего U1, U2"},
        {"label_57", "Количество точек скользящего среднего U3, U4"},
        {"label_59", "Максимальный верхний предел диапазона измерений, Па(Pmax)"},
        {"label_58", "Адрес устройства"}, {"buttonSetMode", "Установить"}, {"buttonGetMode", "Получить"},
        {"checkBoxFixedCurrent", "Фиксированное значение тока, мА"},
        {"radioButton_4_20", "4...&20 мА"}, {"radioButton_38_21", "&3,8...21 мА"},
        {"checkBoxVakum", "Вакууметр"}, {"checkBoxCapacitor", "Емкостной"}, {"cbTenzo1", "1-тензо"},
        {"buttonFindCoefMNK", "Рассчитать коэффициенты(МНК)"},
        {"pbRebootDevice_5", "Перезагрузить устройство"},
        {"label_24", "Поправочный коэффициент для диапазона №0"},
        {"kdsp_getButton", "Получить"}, {"kdsp_setButton", "Записать"},
        {"kdsp_clearButton_req", "Очистить"}, {"kdsp_clearButton_set", "Очистить"},
        {"coef_getButton", "Получить"}, {"coef_setButton", "Записать"},
        {"coef_clearButton_req", "Очистить"}, {"coef_clearButton_set", "Очистить"},
        {"pbRebootDevice_4", "Перезагрузить устройство"},
        {"ak_getButton", "Получить"}, {"ak_setButton", "Записать"},
        {"ak_clearButton_req", "Очистить"}, {"ak_clearButton_set", "Очистить"},
        {"lMeasType", "Давление:"}, {"lMeasUnits", "Па"}, {"pbQueryPressure", "Начать опрос"},
        {"pbRebootDevice_3", "Перезагрузить устройство"},
        {"label", "Обозначение датчика"}, {"label_2", "Код модели"},
        {"buttonSetDeviceType", "Установить"}, {"buttonGetDeviceType", "Получить"},
        {"label_3", "Верхний предел измерений(Pv)"}, {"labelChooseRange", "0"},
        {"buttonSetRange", "Установить"}, {"label_16", "Нижний предел измерений(Pn)"},
        {"labelChooseRangeMin", "0"}, {"buttonSetRangeMin", "Установить"},
        {"label_20", "Единицы измерения"}, {"buttonSetMesureUnit", "Установить"},
        {"label_15", "Баланс нуля токового выхода"}, {"buttonSetBalanceZero", "Установить"},
        {"buttonZero_2", "Баланс нуля по давлению"},
        {"buttonSpan_2", "Установить верхнее значение диапазона"},
        {"label_65", "Количество точек скользящего среднего"}, {"buttonMovingAverage_3", "Установить"},
        {"label_73", "Учитываемая амплитуда импульса, %"}, {"pbSetFilterAmp", "Установить"},
        {"pbMemDump", "Считать коэффициенты"}, {"pbRebootDevice", "Перезагрузить устройство"},
        {"label_4", "Настройка опроса"}, {"label_5", "Период опроса"}, {"label_6", "Таймаут"},
        {"label_7", "Кол-во повторных запросов"}, {"label_8", "мс"}, {"label_9", "с"},
        {"label_10", "с"}, {"label_11", "мс"}, {"label_12", "Обычный режим"},
        {"label_13", "Режим поиска"}, {"buttonApplyMessegeSettings", "Применить"},
        {"label_76", "Настройки порта"}, {"label_77", "Скорость передачи"}, {"label_82", "бит/с"},
        {"label_78", "Бит данных"}, {"label_79", "Бит паритета"}, {"label_80", "Стоп битов"},
        {"label_81", "Аппаратное квитирование"}, {"label_83", "Задержка RTS"}, {"label_84", "мс"},
        {"pbApplyComConf", "Применить"}, {"pbRebootDevice_2", "Перезагрузить устройство"},
        {"pbResetProgramSettings", "Сбросить настройки программы"},
    };
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]);
}

void TestMainWindow::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    BareForm form;
    QObject *o = form.host.findChild<QObject *>(name);
    QVERIFY2(o, qPrintable(name));
    QCOMPARE(o->property("text").toString(), caption);
}

void TestMainWindow::fixedListTexts_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("data");
    // Latin and Cyrillic look-alikes written out by code point.
    QTest::newRow("unit kgc latin c") << "comboBoxMesure" << 3
        << QStringLiteral("кг") + QChar(0x63) + QStringLiteral("/см2") << QVariant(3);
    QTest::newRow("unit water cyrillic C") << "comboBoxMesure" << 6
        << QStringLiteral("мм вод.ст. (4°") + QChar(0x421) + QLatin1Char(')') << QVariant(6);
    QTest::newRow("unit degrees latin C") << "comboBoxMesure" << 9
        << QString(QChar(0xB0)) + QChar(0x43) << QVariant(9);
    QTest::newRow("unit last") << "comboBoxMesure" << 18 << "кг/м3" << QVariant(18);
    QTest::newRow("P unit latin M") << "cbMU4var" << 2
        << QString(QChar(0x4D)) + QStringLiteral("Па") << QVariant();
    QTest::newRow("register B and cyrillic C") << "comboBoxRegisters" << 11
        << QStringLiteral("Коэффициенты B и ") + QChar(0x421) << QVariant(12);
    QTest::newRow("register C latin") << "comboBoxRegisters" << 13
        << QStringLiteral("Коэффициенты ") + QChar(0x43) << QVariant(14);
    QTest::newRow("function 91") << "comboBoxFunc" << 3 << "91.Запись нескольких регистров" << QVariant(91);
    QTest::newRow("mode last") << "comboBoxSetMode" << 10 << "RS-485 (9)" << QVariant(11);
    QTest::newRow("device variant") << "comboBoxCurrentDevice" << 7 << "ЛТ3920ДВИ1" << QVariant(5);
    QTest::newRow("address last") << "comboBoxSetAddress" << 15 << "0f" << QVariant(15);
}

void TestMainWindow::fixedListTexts()
{
    QFETCH(QString, list);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QVariant, data);
    MainWindow w;
    auto *box = w.findChild<QComboBox *>(list);
    QVERIFY(box);
    QVERIFY(index < box->count());
    QCOMPARE(box->itemText(index), text);
    QCOMPARE(box->itemData(index), data);
}

void TestMainWindow::byteFieldsAndRanges()
{
    BareForm form;
    for (int i = 1; i <= 6; ++i) {
        for (int j = 1; j <= 4; ++j) {
            auto *f = form.host.findChild<QLineEdit *>(QStringLiteral("lineFloat_%1_Byte_%2").arg(i).arg(j));
            QVERIFY(f);
            QCOMPARE(f->inputMask(), QStringLiteral("hh"));
            QCOMPARE(f->text(), QStringLiteral("00"));
        }
    }
    QCOMPARE(form.ui.lineFloat_6->text(), QStringLiteral("6.789"));
    QCOMPARE(form.ui.lineAddr91_2->text(), QStringLiteral("00"));
    QCOMPARE(form.ui.lineAddr91->text(), QStringLiteral("04"));
    QCOMPARE(form.ui.spinBoxSymPreamble->value(), 4);
    QCOMPARE(form.ui.spinBoxSymData91->value(), 4);
    QCOMPARE(form.ui.spinBoxTimer->value(), 500);
    QCOMPARE(form.ui.spinBoxTimeout->value(), 3.0);
    QCOMPARE(form.ui.spinBoxRepeat->value(), 3);
    QCOMPARE(form.ui.spinBoxRepeatFind->value(), 1);
    QCOMPARE(form.ui.tabWidget->currentIndex(), int(MainWindow::TabSettings));

    MainWindow w;
    QCOMPARE(w.ui->spinBoxPressuePos->minimum(), -600000);
    QCOMPARE(w.ui->spinBoxPressueNeg->maximum(), 6000);
    QCOMPARE(w.ui->spinBoxTimerInterval->value(), 500);
    QCOMPARE(w.ui->spinBoxTimeout->decimals(), 1);
    QCOMPARE(w.ui->spinBoxTimeoutFind->maximum(), 25.0);
    QCOMPARE(w.ui->spinBoxSymData91->maximum(), 24);
    QCOMPARE(w.ui->sbRTS_Delay->maximum(), 999);
    QCOMPARE(w.ui->tabWidget->count(), 7);
    QCOMPARE(w.ui->tabWidget->tabText(MainWindow::TabMiscCoefs), QStringLiteral("Коэф. косвенного расчета"));
    QCOMPARE(w.ui->tabWidget->styleSheet(), QStringLiteral("QTabBar::tab { height: 20px;}\n"));
    QCOMPARE(w.ui->parWind->text(), QStringLiteral("Параметры расчета"));
    QCOMPARE(w.ui->actionSettings->text(), QStringLiteral("Настройки"));
    QCOMPARE(w.maximumWidth(), 1800);
    QCOMPARE(w.size(), QSize(1183, 720));
}

void TestMainWindow::rowsAndIcon()
{
    MainWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Tesmar"));
    QVERIFY(QFile::exists(QStringLiteral(":/icons/tesmar.png")));
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.channels().size(), 15);
    QCOMPARE(w.ui->devsGridLayout->itemAtPosition(14, 0)->widget(), w.channels()[14].enable);
    QCOMPARE(w.channels()[14].enable->text(), QStringLiteral("Устр-во 15"));
    QCOMPARE(w.channels()[0].address->count(), 16);
    QCOMPARE(w.channels()[0].address->itemText(10), QStringLiteral("0a"));
    QCOMPARE(w.ui->devsAvgGridLayout->itemAtPosition(4, 1)->widget(), w.meanRows()[4].field);
    QCOMPARE(w.meanRows()[4].label->text(), QStringLiteral("У5"));
    QCOMPARE(w.meanRows()[4].label->width(), 25);
    QCOMPARE(w.meanRows()[4].field->width(), 200);
    QVERIFY(w.meanRows()[4].field->isReadOnly());
}

// ----------------------------------------------------- state and timing

void TestMainWindow::firstStartDefaults()
{
    MainWindow w;
    QCOMPARE(w.ui->spinBoxSymPreamble->value(), 3);
    QCOMPARE(w.ui->spinBoxTimer->value(), 300);
    QCOMPARE(w.ui->spinBoxTimeout->value(), 1.0);
    QCOMPARE(w.ui->spinBoxRepeat->value(), 1);
    QCOMPARE(w.appliedPollPeriod(), 300);
    QCOMPARE(w.appliedPollTimeout(), 1000);
    QCOMPARE(w.appliedPollRepeats(), 1);
    QCOMPARE(w.appliedScanTimeout(), 1000);
    QCOMPARE(w.ui->comboBoxFunc->currentIndex(), 0);
    QCOMPARE(w.ui->comboBoxRegisters->currentIndex(), 0);
    QVERIFY(!w.ui->checkLongFrame->isChecked());
    QVERIFY(w.ui->checkBoxCakibrationMiddle->isChecked());
    QVERIFY(!w.isBusy());
    QVERIFY(w.isInterfaceLocked());
}

void TestMainWindow::storedPreamble()
{
    store().setValue(QStringLiteral("/Parameters/CurrentPreamble"), QStringLiteral("7"));
    MainWindow w;
    QCOMPARE(w.ui->spinBoxSymPreamble->value(), 7);
}

void TestMainWindow::timeoutApplied_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("ms");
    QTest::newRow("3.0") << 3.0 << 3000;
    QTest::newRow("25.0") << 25.0 << 25000;
    QTest::newRow("2.3 not truncated to 2299") << 2.3 << 2300;
    QTest::newRow("1.1") << 1.1 << 1100;
}

void TestMainWindow::timeoutApplied()
{
    QFETCH(double, seconds);
    QFETCH(int, ms);
    MainWindow w;
    w.ui->spinBoxTimeout->setValue(seconds);
    w.ui->spinBoxTimeoutFind->setValue(seconds);
    QCOMPARE(w.appliedPollTimeout(), 1000);     // nothing until applied
    w.ui->buttonApplyMessegeSettings->click();
    QCOMPARE(w.appliedPollTimeout(), ms);
    QCOMPARE(w.appliedScanTimeout(), ms);
}

void TestMainWindow::settingsRoundTrip()
{
    {
        MainWindow w;
        w.ui->spinBoxSymPreamble->setValue(5);
        w.ui->comboBoxFunc->setCurrentIndex(1);     // command 3 takes a long frame
        w.ui->checkLongFrame->setChecked(true);
        w.ui->comboBoxMainAddr->setCurrentIndex(2);
        w.ui->lineAddr91->setText(QStringLiteral("2a"));
        w.ui->spinBoxTimer->setValue(800);
        w.ui->spinBoxTimeout->setValue(2.5);
        w.ui->spinBoxRepeatFind->setValue(4);
        w.applyMessegeSettings();
        w.ui->spinBoxTimer->setValue(4000);     // edited, never applied
        w.channels()[3].enable->setChecked(true);
        w.channels()[3].address->setCurrentIndex(5);
        w.ui->tabWidget->setCurrentIndex(MainWindow::TabSettings);
    }
    QSettings s = store();
    QCOMPARE(s.value(QStringLiteral("/Parameters/CurrentPreamble")).toString(), QStringLiteral("5"));
    QCOMPARE(s.value(QStringLiteral("/Parameters/CurrentFrame")).toInt(), 2);
    QCOMPARE(s.value(QStringLiteral("/Settings/Timer")).toInt(), 800);
    QCOMPARE(s.value(QStringLiteral("/Settings/TimerTimeout")).toInt(), 2500);
    QCOMPARE(s.value(QStringLiteral("/ParametersFunc3/CheckDev_3")).toInt(), 2);
    QCOMPARE(s.value(QStringLiteral("/ParametersFunc3/CheckDev_4")).toInt(), 0);

    MainWindow again;
    QCOMPARE(again.ui->spinBoxSymPreamble->value(), 5);
    QCOMPARE(again.ui->comboBoxFunc->currentIndex(), 1);
    QVERIFY(again.ui->checkLongFrame->isChecked());
    QCOMPARE(again.ui->comboBoxMainAddr->currentIndex(), 2);
    QCOMPARE(again.ui->lineAddr91->text(), QStringLiteral("2a"));
    QCOMPARE(again.ui->spinBoxTimer->value(), 800);
    QCOMPARE(again.ui->spinBoxTimeout->value(), 2.5);
    QCOMPARE(again.appliedPollTimeout(), 2500);
    QCOMPARE(again.appliedScanRepeats(), 4);
    QVERIFY(again.channels()[3].enable->isChecked());
    QCOMPARE(again.channels()[3].address->currentIndex(), 5);
    QVERIFY(!again.channels()[4].enable->isChecked());
    QCOMPARE(again.ui->tabWidget->currentIndex(), int(MainWindow::TabSettings));
}

// ------------------------------------------------------- locks, status

void TestMainWindow::portCheckColours()
{
    MainWindow w;
    QVERIFY(!w.checkPortOpen());
    QVERIFY(w.ui->textEditStatus->toPlainText().contains(QStringLiteral("Порт не открыт!!\n")));
    QCOMPARE(colourAtEnd(w.ui->textEditStatusCalibration), QColor(Qt::red));

    w.appendStatus(w.ui->textEditStatus, QStringLiteral("later\n"));
    w.appendStatus(w.ui->textEditStatusCalibration, QStringLiteral("later\n"));
    w.appendStatus(w.ui->textEditStatusSettingsDevice, QStringLiteral("later\n"));
    QCOMPARE(colourAtEnd(w.ui->textEditStatus), QColor(Qt::black));
    QCOMPARE(colourAtEnd(w.ui->textEditStatusCalibration), QColor(Qt::red));
    QCOMPARE(colourAtEnd(w.ui->textEditStatusSettingsDevice), QColor(Qt::red));
}

void TestMainWindow::passwordLock()
{
    MainWindow w;
    auto *tabs = w.ui->tabWidget;
    auto locked = [&] {
        return w.isInterfaceLocked() && !tabs->isTabVisible(0) && !tabs->isTabVisible(2)
               && !tabs->isTabVisible(3) && w.ui->menuBar->isHidden()
               && w.ui->buttonMO->isHidden() && w.ui->label_47->isHidden()
               && w.meanRows()[0].field->isHidden() && !w.ui->buttonSetPressue->isEnabled();
    };
    QVERIFY(locked());
    // The password can be typed while locked.
    QVERIFY(!w.ui->lineEditPassword->isHidden());
    QVERIFY(!w.ui->label_64->isHidden());

    QTest::keyClicks(w.ui->lineEditPassword, QStringLiteral("739"));
    QVERIFY(locked());
    QTest::keyClick(w.ui->lineEditPassword, Qt::Key_1);
    QVERIFY(!w.isInterfaceLocked());
    for (int i : {0, 2, 3}) {
        QVERIFY(tabs->isTabVisible(i));
        QVERIFY(tabs->isTabEnabled(i));
    }
    QVERIFY(!w.ui->menuBar->isHidden());
    for (QWidget *shown : {static_cast<QWidget *>(w.ui->buttonMO), static_cast<QWidget *>(w.ui->label_47),
                           static_cast<QWidget *>(w.ui->cbMU4var), static_cast<QWidget *>(w.ui->spinBoxTimerInterval),
                           static_cast<QWidget *>(w.ui->lbSaveFilesReady),
                           static_cast<QWidget *>(w.meanRows()[14].label)}) {
        QVERIFY2(!shown->isHidden(), qPrintable(shown->objectName()));
    }
    QVERIFY(w.ui->buttonSetDeviceType->isEnabled());
    QVERIFY(w.ui->buttonSetPressue->isEnabled());
    QVERIFY(!w.ui->lineEditPassword->isHidden());

    // Any further keystroke locks again.
    QTest::keyClick(w.ui->lineEditPassword, Qt::Key_Backspace);
    QVERIFY(locked());
}

void TestMainWindow::busyLock()
{
    MainWindow w;
    auto *tabs = w.ui->tabWidget;
    tabs->setCurrentIndex(MainWindow::TabDevice);

    // Locked: only the flag changes.
    w.setBusy(true);
    QVERIFY(w.isBusy());
    QVERIFY(tabs->isTabEnabled(MainWindow::TabFunction3));
    QVERIFY(w.ui->buttonGetDeviceType->isEnabled());
    w.setBusy(false);

    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    QVERIFY(!w.isInterfaceLocked());
    w.setBusy(true);
    for (int i = 0; i <= 4; ++i)
        QVERIFY2(!tabs->isTabEnabled(i), qPrintable(QString::number(i)));
    QVERIFY(tabs->isTabEnabled(MainWindow::TabDevice));
    QVERIFY(tabs->isTabEnabled(MainWindow::TabSettings));
    QVERIFY(!w.ui->buttonSpan->isEnabled());
    QVERIFY(!w.ui->pbSetFilterAmp->isEnabled());

    w.setBusy(false);
    for (int i = 0; i <= 6; ++i)
        QVERIFY(tabs->isTabEnabled(i));
    QVERIFY(w.ui->buttonSpan->isEnabled());
}

void TestMainWindow::timeoutAnswer()
{
    MainWindow w;
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabCalibration);
    w.ui->buttonSend->setEnabled(false);
    w.ui->buttonSetFixedCurrent->setEnabled(false);
    w.setBusy(true);

    w.answerIsGet(0);
    const QString text = QStringLiteral("Таймаут операции\n");
    QVERIFY(w.ui->textEditStatus->toPlainText().endsWith(text));
    QVERIFY(w.ui->textEditStatusSettingsDevice->toPlainText().endsWith(text));
    QVERIFY(w.ui->textEditStatusCalibration->toPlainText().endsWith(text));
    QCOMPARE(colourAtEnd(w.ui->textEditStatusCalibration), QColor(Qt::red));
    QVERIFY(w.ui->buttonSend->isEnabled());
    QVERIFY(w.ui->buttonSetFixedCurrent->isEnabled());
    QVERIFY(!w.isBusy());

    // Another tab: the calibration pane is left alone; an unused code only
    // releases the busy lock.
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabDevice);
    w.answerIsGet(0);
    QCOMPARE(w.ui->textEditStatusCalibration->toPlainText().count(text), 1);
    w.setBusy(true);
    w.answerIsGet(14);
    QVERIFY(!w.isBusy());
}

void TestMainWindow::buildRequestFrames()
{
    MainWindow w;
    auto bytes = [&w] { return QByteArray(reinterpret_cast<const char *>(w.requestBytes), w.requestLength); };

    w.buildRequest(5, false, 1, 0);
    QCOMPARE(bytes(), QByteArray::fromHex("ffffffffff 02 01 00 00 03"));
    // Command 0 stays short even when a long frame is asked for.
    w.buildRequest(3, true, 2, 0);
    QCOMPARE(bytes(), QByteArray::fromHex("ffffff 02 02 00 00 00"));

    w.buildRequest(3, true, 2, 3);
    QCOMPARE(bytes().mid(3, 8), QByteArray::fromHex("82 0f02 02 fdef 03 00"));

    w.command51Data[0] = 0x00;
    w.command51Data[1] = 0xcc;
    w.command51Data[2] = 4;
    w.buildRequest(4, false, 5, 51);
    QCOMPARE(bytes(), QByteArray::fromHex("ffffffff 02 05 33 03 00cc04 ff"));

    w.write91Data = QByteArray::fromHex("001e3f800000");
    w.buildRequest(3, false, 1, 91, 5);
    QCOMPARE(bytes().mid(3, 10), QByteArray::fromHex("02 01 5b 06 001e3f800000"));
}

// ---------------------------------------------------------------- port

void TestMainWindow::connectAndClose()
{
    sim::VirtualLine line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    line.addDevice(1);
    {
        MainWindow w;
        w.ui->comboBoxNamePort->setEditText(line.portName());
        w.ui->buttonConnectPort->click();
        QVERIFY(w.hartLink()->isPortOpen());
        QVERIFY(w.ui->textEditStatus->toPlainText().endsWith(QStringLiteral("COM подключен\n")));
        QVERIFY(!w.ui->buttonConnectPort->isEnabled());
        QVERIFY(w.checkPortOpen());

        w.ui->buttonClosePort->click();
        QVERIFY(!w.hartLink()->isPortOpen());
        QVERIFY(w.ui->buttonConnectPort->isEnabled());
    }
    // The port last connected is offered first at the next start.
    QCOMPARE(store().value(QStringLiteral("/Settings/LastPort")).toString(), line.portName());
    MainWindow again;
    QCOMPARE(again.ui->comboBoxNamePort->itemText(0), line.portName());
    QCOMPARE(again.ui->comboBoxNamePort->currentText(), line.portName());
    QVERIFY(again.ui->comboBoxNamePort->isEditable());
}

void TestMainWindow::connectFailure()
{
    MainWindow w;
    w.ui->comboBoxNamePort->setEditText(m_sandbox.filePath(QStringLiteral("no-such-tty")));
    w.ui->buttonConnectPort->click();
    QVERIFY(!w.hartLink()->isPortOpen());
    QVERIFY(w.ui->textEditStatus->toPlainText().endsWith(QStringLiteral("Ошибка подключения\n")));
    QVERIFY(w.ui->buttonConnectPort->isEnabled());
    QVERIFY(!store().contains(QStringLiteral("/Settings/LastPort")));
}

void TestMainWindow::preferredPortFromEnvironment()
{
    store().setValue(QStringLiteral("/Settings/LastPort"), QStringLiteral("/dev/ttyOLD"));
    qputenv("TESMAR_PORT", "/tmp/ttyTESMAR");
    MainWindow w;
    QCOMPARE(w.ui->comboBoxNamePort->currentIndex(), 0);
    QCOMPARE(w.ui->comboBoxNamePort->currentText(), QStringLiteral("/tmp/ttyTESMAR"));
    w.ui->buttonUpdateCom->click();
    QCOMPARE(w.ui->comboBoxNamePort->currentText(), QStringLiteral("/tmp/ttyTESMAR"));

    // A long by-id path does not widen the field (and the header row with it).
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    qputenv("TESMAR_PORT", "/dev/serial/by-id/usb-0403_6001_USB_UART_A50285BI-if00-port0");
    MainWindow longPath;
    longPath.show();
    QVERIFY(QTest::qWaitForWindowExposed(&longPath));
    QCOMPARE(longPath.ui->comboBoxNamePort->sizeHint().width(), w.ui->comboBoxNamePort->sizeHint().width());
    qunsetenv("TESMAR_PORT");
}

// ------------------------------------------------------ serial settings

void TestMainWindow::serialListsWithoutFile()
{
    MainWindow w;
    QCOMPARE(w.ui->comboBoxBaudRate->currentText(), QStringLiteral("1200"));
    QCOMPARE(w.ui->comboBoxDataBits->currentText(), QStringLiteral("8"));
    QCOMPARE(w.ui->comboBoxParity->currentText(), QStringLiteral("Нечетный"));
    QCOMPARE(w.ui->comboBoxStopBits->currentText(), QStringLiteral("1"));
    QCOMPARE(w.ui->cbFlowControl->currentText(), QStringLiteral("да"));
    QCOMPARE(w.ui->sbRTS_Delay->value(), 10);
    QCOMPARE(w.ui->comboBoxStopBits->itemData(1).toInt(), 3);
    QCOMPARE(w.ui->comboBoxParity->itemData(3).toInt(), 5);
}

void TestMainWindow::serialRecordKeepsUnlistedBaud()
{
    QFile f(SerialConfig::defaultPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(configFile(115200, SerialConfig::FileSize));
    f.close();
    MainWindow w;
    QCOMPARE(w.ui->comboBoxBaudRate->currentText(), QStringLiteral("1200"));
    QCOMPARE(w.hartLink()->serialConfig().baudRate, 115200);
    QCOMPARE(w.ui->comboBoxDataBits->currentText(), QStringLiteral("7"));
    QCOMPARE(w.ui->comboBoxParity->currentText(), QStringLiteral("Четный"));
}

void TestMainWindow::serialShortFileIgnored()
{
    QFile f(SerialConfig::defaultPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(configFile(9600, SerialConfig::FileSize - 1));
    f.close();
    MainWindow w;
    QCOMPARE(w.hartLink()->serialConfig().baudRate, 1200);
    QCOMPARE(w.ui->comboBoxBaudRate->currentText(), QStringLiteral("1200"));
    QCOMPARE(w.ui->comboBoxDataBits->currentText(), QStringLiteral("8"));
}

void TestMainWindow::serialApplyWritesFile()
{
    MainWindow w;
    w.ui->pbApplyComConf->click();
    QFile f(SerialConfig::defaultPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    QCOMPARE(bytes.size(), 28);
    QCOMPARE(bytes.mid(4, 4), QByteArray::fromHex("b0040000"));

    w.ui->comboBoxBaudRate->setCurrentText(QStringLiteral("9600"));
    w.ui->comboBoxStopBits->setCurrentText(QStringLiteral("1.5"));
    w.ui->sbRTS_Delay->setValue(300);
    w.ui->pbApplyComConf->click();
    QCOMPARE(w.hartLink()->serialConfig().baudRate, 9600);
    QVERIFY(f.open(QIODevice::ReadOnly));
    bytes = f.readAll();
    QCOMPARE(bytes.size(), 28);
    QCOMPARE(bytes.mid(4, 4), QByteArray::fromHex("80250000"));
    QCOMPARE(bytes.mid(16, 4), QByteArray::fromHex("03000000"));
    QCOMPARE(bytes.mid(24, 2), QByteArray::fromHex("2c01"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
