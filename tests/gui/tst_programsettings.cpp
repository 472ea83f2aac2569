// The program-wide settings actions: the program items of the device data
// dialog applied to the settings tab, the link and the settings file, and
// the reset to every default, down to what the settings store keeps at exit.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "ui_dumpdialog.h"

#include "devicedata/dumpdialog.h"
#include "link/protocolcomhart.h"

#include "common/sandbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QSettings>
#include <QtTest>
#include <memory>

namespace {

QString u8(const char *s) { return QString::fromUtf8(s); }

QSettings store()
{
    return QSettings(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
}

QList<QMessageBox *> openBoxes(const QWidget *parent)
{
    QList<QMessageBox *> out;
    for (QMessageBox *b : parent->findChildren<QMessageBox *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (b->isVisible())
            out << b;
    }
    return out;
}

SerialConfig savedConfig()
{
    QFile f(SerialConfig::defaultPath());
    SerialConfig c;
    c.baudRate = -1;
    if (f.open(QIODevice::ReadOnly))
        SerialConfig::fromBytes(f.readAll(), c);
    return c;
}

void setProgramRows(DumpDialog *d, const QStringList &texts)
{
    const char *keys[] = {"T_query", "timeout", "rep_cnt", "T_query_scan", "timeout_scan",
                          "rep_cnt_scan", "serial_speed", "serial_nBits", "serial_parity",
                          "serial_sb", "serial_fc", "serial_rts_delay"};
    for (int i = 0; i < texts.size(); ++i)
        QVERIFY(d->setProgramText(QString::fromLatin1(keys[i]), texts[i]));
}

} // namespace

class TestProgramSettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void applyProgramItems_data();
    void applyProgramItems();
    void applyEmptyRowsKeepsSerialRecord();
    void resetRestoresDefaults();

private:
    Sandbox m_sandbox;
};

void TestProgramSettings::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestProgramSettings::cleanup()
{
    m_sandbox.leave();
}

void TestProgramSettings::applyProgramItems_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QVector<int>>("applied");   // period, timeout, repeats; scan the same
    QTest::addColumn<QVector<int>>("serial");    // baud, bits, parity, stop, flow, rts

    QTest::newRow("timeout 500 is raised to 1 s")
            << QStringList{"700", "500", "2", "800", "2500", "4", "9600", "7",
                           u8("четный"), "2", u8("НЕТ"), "20"}
            << QVector<int>{700, 1000, 2, 800, 2500, 4} << QVector<int>{9600, 7, 2, 2, 0, 20};
    QTest::newRow("clamped to the fields' ranges")
            << QStringList{"100", "90000", "0", "9000", "1499", "99", "57600", "5",
                           u8("Метка"), "1.5", u8("да"), "5000"}
            << QVector<int>{300, 25000, 1, 5000, 1500, 10} << QVector<int>{57600, 5, 5, 3, 1, 999};
}

void TestProgramSettings::applyProgramItems()
{
    QFETCH(QStringList, rows);
    QFETCH(QVector<int>, applied);
    QFETCH(QVector<int>, serial);

    MainWindow w;
    DumpDialog *d = w.deviceDataDialog();
    w.onDeviceMemoryDump();
    setProgramRows(d, rows);
    d->form()->pbApplyProgramSettings->click();

    QCOMPARE(QVector<int>({w.appliedPollPeriod(), w.appliedPollTimeout(), w.appliedPollRepeats(),
                           w.appliedScanPeriod(), w.appliedScanTimeout(), w.appliedScanRepeats()}),
             applied);
    QCOMPARE(w.ui->spinBoxTimeout->value(), applied[1] / 1000.0);
    const SerialConfig &c = w.hartLink()->serialConfig();
    QCOMPARE(QVector<int>({c.baudRate, c.dataBits, c.parity, c.stopBits, c.flowControl, c.rtsDelay}),
             serial);
    QCOMPARE(savedConfig().toBytes(), c.toBytes());

    QTRY_COMPARE(openBoxes(d).size(), 1);
    QMessageBox *box = openBoxes(d).first();
    QCOMPARE(box->windowTitle(), u8("Применение настроек"));
    QCOMPARE(box->text(), u8("Настройки программы применены"));
    QCOMPARE(box->icon(), QMessageBox::Information);
}

void TestProgramSettings::applyEmptyRowsKeepsSerialRecord()
{
    MainWindow w;
    w.ui->comboBoxBaudRate->setCurrentText(QStringLiteral("4800"));
    w.ui->cbFlowControl->setCurrentIndex(0);
    w.ui->pbApplyComConf->click();
    w.ui->spinBoxTimer->setValue(900);
    w.ui->buttonApplyMessegeSettings->click();

    DumpDialog *d = w.deviceDataDialog();
    w.onDeviceMemoryDump();
    // One valid row among empty ones is taken over; the others are not.
    QVERIFY(d->setProgramText(QStringLiteral("serial_nBits"), QStringLiteral("6")));
    d->form()->pbApplyProgramSettings->click();

    for (QComboBox *box : {w.ui->comboBoxBaudRate, w.ui->comboBoxParity, w.ui->comboBoxStopBits,
                           w.ui->cbFlowControl})
        QCOMPARE(box->currentIndex(), -1);
    QCOMPARE(w.ui->comboBoxDataBits->currentText(), QStringLiteral("6"));
    QCOMPARE(w.ui->sbRTS_Delay->value(), 0);
    QCOMPARE(w.appliedPollPeriod(), 300);
    QCOMPARE(w.appliedPollTimeout(), 1000);
    QCOMPARE(w.appliedPollRepeats(), 1);

    // A list without a selection does not put a zero baud rate or stop-bit
    // setting into the record and the file.
    const SerialConfig &c = w.hartLink()->serialConfig();
    QCOMPARE(c.baudRate, 4800);
    QCOMPARE(c.dataBits, 6);
    QCOMPARE(c.parity, 3);
    QCOMPARE(c.stopBits, 1);
    QCOMPARE(c.flowControl, 0);
    QCOMPARE(c.rtsDelay, uint16_t(0));
    QCOMPARE(savedConfig().toBytes(), c.toBytes());
}

void TestProgramSettings::resetRestoresDefaults()
{
    {
        MainWindow w;
        w.ui->comboBoxBaudRate->setCurrentText(QStringLiteral("19200"));
        w.ui->comboBoxParity->setCurrentText(u8("Нет"));
        w.ui->cbFlowControl->setCurrentIndex(0);
        w.ui->sbRTS_Delay->setValue(77);
        w.ui->pbApplyComConf->click();
        w.ui->spinBoxTimer->setValue(1200);
        w.ui->spinBoxTimeout->setValue(7.5);
        w.ui->spinBoxRepeat->setValue(6);
        w.ui->spinBoxTimerFind->setValue(900);
        w.ui->spinBoxTimeoutFind->setValue(2.0);
        w.ui->spinBoxRepeatFind->setValue(5);
        w.ui->buttonApplyMessegeSettings->click();
        w.channels()[0].enable->setChecked(true);
        w.channels()[4].enable->setChecked(true);
        // As a scan leaves them: only the addresses found.
        w.ui->comboBoxMainAddr->clear();
        w.ui->comboBoxMainAddr->addItem(QStringLiteral("03"), 3);
        w.channels()[2].address->clear();

        w.ui->pbResetProgramSettings->click();

        QCOMPARE(w.ui->comboBoxBaudRate->currentText(), QStringLiteral("1200"));
        QCOMPARE(w.ui->comboBoxDataBits->currentText(), QStringLiteral("8"));
        QCOMPARE(w.ui->comboBoxParity->currentText(), u8("Нечетный"));
        QCOMPARE(w.ui->comboBoxStopBits->currentText(), QStringLiteral("1"));
        QCOMPARE(w.ui->cbFlowControl->currentText(), u8("да"));
        QCOMPARE(w.ui->sbRTS_Delay->value(), 10);
        QCOMPARE(savedConfig().toBytes(), SerialConfig().toBytes());
        QCOMPARE(w.appliedPollTimeout(), 3000);
        for (const PollChannel &ch : w.channels())
            QVERIFY(!ch.enable->isChecked());
        QCOMPARE(w.ui->comboBoxMainAddr->count(), 16);
        QCOMPARE(w.channels()[2].address->count(), 16);

        QTRY_COMPARE(openBoxes(&w).size(), 1);
        QMessageBox *box = openBoxes(&w).first();
        QCOMPARE(box->windowTitle(), u8("Сброс настроек"));
        QCOMPARE(box->text(), u8("Применены настройки программы по-умолчанию"));
        // Another edit after the reset that is never applied is not stored.
        w.ui->spinBoxTimer->setValue(4000);
    }
    QSettings s = store();
    const char *keys[] = {"Timer", "TimerTimeout", "Repeat", "TimerFind", "TimerTimeoutFind",
                          "RepeatFind"};
    const int expected[] = {500, 3000, 3, 500, 3000, 1};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(s.value(QStringLiteral("/Settings/") + keys[i]).toInt(), expected[i]);
}

QTEST_MAIN(TestProgramSettings)
#include "tst_programsettings.moc"
