// The polling tab against several virtual transmitters on one line: which
// requests go out and in what order, the measurement table, the running
// means, the reference pressures, the calibration buttons, and the record,
// log and point files the answers end up in.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/files.h"
#include "common/sandbox.h"
#include "pollingrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QtTest>
#include <memory>

namespace {

struct Rig : PollingRig
{
    QStringList criticals;

    bool start(std::initializer_list<int> devices)
    {
        if (!open(devices))
            return false;
        for (int a : devices)
            line.device(uint8_t(a))->variables[1] = 200.25f + float(a);
        w->ui->cbMU4var->setCurrentIndex(1);    // pressures typed in kPa
        w->pollingDialogs.critical = [this](const QString &t) { criticals << t; };
        return true;
    }

    QStandardItemModel *model() const { return w->measurementModel; }
    QString cell(int row, int column) const
    {
        const QStandardItem *item = model()->item(row, column);
        return item ? item->text() : QString();
    }
    QString header(int column) const
    {
        return model()->headerData(column, Qt::Horizontal).toString();
    }

    bool onePass() { return passes(1); }

    // Stands a save-directory selection below `dir`.
    void choose(const QString &dir, const QString &file)
    {
        w->pollingDialogs.chooseSaveDir = [=](QString *b, QString *f) {
            *b = dir;
            *f = file;
            return true;
        };
        w->pollingDialogs.confirmSaveDirs = [](const QString &, bool exists) {
            return exists ? 3 : 1;
        };
        w->ui->pbChooseSaveDir->click();
    }
};

// Short address and command of each request frame the line received.
QList<QPair<int, int>> addressedCommands(const QList<QByteArray> &frames)
{
    QList<QPair<int, int>> out;
    for (const QByteArray &f : frames) {
        int i = 0;
        while (i < f.size() && uchar(f[i]) == 0xFF)
            ++i;
        const bool longFrame = uchar(f[i]) & 0x80;
        const int address = uchar(f[i + (longFrame ? 3 : 1)]);
        out << qMakePair(address, int(uchar(f[i + (longFrame ? 6 : 2)])));
    }
    return out;
}

} // namespace

class TestPolling : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void onePassInChannelOrder_data();
    void onePassInChannelOrder();
    void hexAddressText();
    void silentDeviceAddsNoRow();
    void stopEndsCyclicPolling();
    void nothingToPollTakesNoLock_data();
    void nothingToPollTakesNoLock();
    void sameAddressFeedsBothChannels();
    void firstMeanIsTheValue();
    void badChecksumShownNotAveraged();
    void clearTableRestoresHeaders();
    void clearsAfterRow50_data();
    void clearsAfterRow50();
    void capacitorHeadersAndUnits();
    void unitChange_data();
    void unitChange();
    void samePressureBoxes();
    void calibrationButtonCycle();
    void temperatureBoxesExclusive();
    void channelStateRestored();

    void recordAndPointFiles_data();
    void recordAndPointFiles();
    void badChecksumLeavesFiles();
    void measurementLog_data();
    void measurementLog();
    void logFileFaults_data();
    void logFileFaults();

private:
    Sandbox m_sandbox;
};

void TestPolling::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestPolling::cleanup()
{
    m_sandbox.leave();
}

// ------------------------------------------------------------- polling

void TestPolling::onePassInChannelOrder_data()
{
    QTest::addColumn<bool>("longFrame");
    QTest::newRow("short frames") << false;
    QTest::newRow("long frames") << true;
}

void TestPolling::onePassInChannelOrder()
{
    QFETCH(bool, longFrame);
    Rig r;
    QVERIFY(r.start({1, 2, 5}));
    r.w->ui->checkLongFrame->setChecked(longFrame);
    r.channel(0, 5);    // channel order, not address order
    r.channel(3, 1);
    r.channel(7, 2);
    r.channel(9, 3, false);

    QVERIFY(r.onePass());
    QCOMPARE(r.model()->rowCount(), 3);
    const QList<QPair<int, int>> sent = addressedCommands(r.line.requests());
    QCOMPARE(sent, (QList<QPair<int, int>>{{5, 3}, {1, 3}, {2, 3}}));

    QCOMPARE(r.cell(0, 0), QStringLiteral("05"));
    QCOMPARE(r.cell(1, 0), QStringLiteral("01"));
    QCOMPARE(r.cell(2, 0), QStringLiteral("02"));
    QCOMPARE(r.cell(0, 1), QStringLiteral("9.0000"));      // current of device 5
    QCOMPARE(r.cell(1, 2), QStringLiteral("101.0000"));
    QCOMPARE(r.cell(2, 3), QStringLiteral("202.2500"));
    QCOMPARE(r.cell(2, 6), QStringLiteral("0"));
    QCOMPARE(r.cell(2, 8), QStringLiteral("OK"));
    QCOMPARE(r.model()->item(2, 8)->background().color(), QColor(Qt::green));
    QCOMPARE(r.cell(2, 9), QStringLiteral("Файл не выбран"));
    QCOMPARE(r.model()->item(2, 9)->background().color(), QColor(255, 128, 0));
    QCOMPARE(r.header(0), QStringLiteral("Адрес"));
    QCOMPARE(r.header(2), QStringLiteral("U1, мВ"));
    QCOMPARE(r.header(9), QStringLiteral("Файл"));
    QCOMPARE(r.w->ui->tableView->model(), r.model());

    // A pass that has ended leaves the window idle.
    for (int tab : {0, 2, 3, 4, 5})
        QVERIFY(r.w->ui->tabWidget->isTabEnabled(tab));
    QVERIFY(!r.w->loopRunning);
    QVERIFY(!r.w->isBusy());
}

void TestPolling::hexAddressText()
{
    Rig r;
    QVERIFY(r.start({10}));
    r.channel(0, 0);
    r.w->pollChannels[0].address->setCurrentIndex(r.w->pollChannels[0].address->findText("0a"));
    QVERIFY(r.onePass());
    QCOMPARE(r.line.device(10)->requestsSeen, 1);
    QCOMPARE(r.model()->rowCount(), 1);
    QCOMPARE(r.cell(0, 0), QStringLiteral("0a"));
}

void TestPolling::silentDeviceAddsNoRow()
{
    Rig r;
    QVERIFY(r.start({1, 2}));
    r.line.device(1)->silentFor = 100;
    r.channel(0, 1);
    r.channel(1, 2);
    QVERIFY(r.onePass());
    QCOMPARE(r.model()->rowCount(), 1);
    QCOMPARE(r.cell(0, 0), QStringLiteral("02"));
    QVERIFY(r.w->ui->textEditStatus->toPlainText().contains(QStringLiteral("Таймаут операции\n")));
}

void TestPolling::stopEndsCyclicPolling()
{
    Rig r;
    QVERIFY(r.start({1}));
    r.channel(0, 1);
    r.w->ui->buttonFunction3Loop->click();
    QTRY_VERIFY(r.model()->rowCount() >= 3);
    QVERIFY(!r.w->ui->tabWidget->isTabEnabled(MainWindow::TabCalibration));
    r.w->ui->buttonStopRequstFunc3->click();
    QTRY_VERIFY(!r.w->hartLink()->isBusy());
    const int requests = r.line.requests().size();
    QVERIFY(!r.w->hartLink()->isQueueRunning());
    QVERIFY(!r.w->loopRunning);
    for (int tab : {0, 2, 3, 4, 5})
        QVERIFY(r.w->ui->tabWidget->isTabEnabled(tab));
    // Several periods go by without another request.
    QSignalSpy more(&r.line, &sim::VirtualLine::requestReceived);
    QVERIFY(!more.wait(150));
    QCOMPARE(r.line.requests().size(), requests);
    // It says it was stopped, in the status bar and the log, once.
    const QString stopped = QStringLiteral("Циклический опрос остановлен оператором");
    QCOMPARE(r.w->ui->statusBar->currentMessage(), stopped);
    QCOMPARE(r.w->messageLog()->toText().count(QStringLiteral("[Опрос] ") + stopped), 1);
    r.w->ui->buttonStopRequstFunc3->click();
    QCOMPARE(r.w->messageLog()->toText().count(stopped), 1);
}

void TestPolling::nothingToPollTakesNoLock_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<bool>("channelChecked");
    QTest::newRow("port closed") << false << true;
    QTest::newRow("no channel checked") << true << false;
}

void TestPolling::nothingToPollTakesNoLock()
{
    QFETCH(bool, portOpen);
    QFETCH(bool, channelChecked);
    Rig r;
    QVERIFY(r.start({1}));
    if (!portOpen)
        r.w->ui->buttonClosePort->click();
    r.channel(0, 1, channelChecked);
    r.w->ui->buttonFunction3Loop->click();
    QCOMPARE(r.w->ui->textEditStatus->toPlainText().contains(QStringLiteral("Порт не открыт!!\n")),
             !portOpen);
    QVERIFY(!r.w->isBusy());
    QVERIFY(!r.w->loopRunning);
    QVERIFY(!r.w->hartLink()->isQueueRunning());
    for (int tab : {0, 2, 3, 4, 5})
        QVERIFY(r.w->ui->tabWidget->isTabEnabled(tab));
}

void TestPolling::sameAddressFeedsBothChannels()
{
    Rig r;
    QVERIFY(r.start({3}));
    r.channel(0, 3);
    r.channel(1, 3);
    r.channel(2, 4, false);
    r.w->startFindAvg();
    QVERIFY(r.onePass());
    QCOMPARE(r.line.device(3)->requestsSeen, 2);
    QCOMPARE(r.model()->rowCount(), 2);
    QCOMPARE(r.w->capture.means().channel(0).count, 2);
    QCOMPARE(r.w->capture.means().channel(1).count, 2);
    QCOMPARE(r.w->capture.means().channel(2).count, 0);
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("103.0000 мВ 203.2500 мВ"));
    QCOMPARE(r.w->meanRows()[1].field->text(), QStringLiteral("103.0000 мВ 203.2500 мВ"));
    QCOMPARE(r.w->meanRows()[2].field->text(), QString());
}

void TestPolling::firstMeanIsTheValue()
{
    Rig r;
    QVERIFY(r.start({4}));
    const float odd[4] = {0.1f, 1.0f / 3.0f, 123456.7f, -2.2e-5f};
    std::copy(odd, odd + 4, r.line.device(4)->variables);
    r.channel(0, 4);
    r.w->ui->buttonMO->setEnabled(true);
    r.w->ui->buttonMO->click();
    QVERIFY(r.w->ui->buttonAddDataCoef->isEnabled());
    QVERIFY(r.onePass());
    const ChannelMean &m = r.w->capture.means().channel(0);
    QCOMPARE(m.count, 1);
    for (int k = 0; k < 4; ++k)
        QVERIFY2(m.mean[k] == odd[k], qPrintable(QString::number(k)));

    // Folded with the running formula afterwards.
    r.line.device(4)->variables[0] = 0.3f;
    QVERIFY(r.onePass());
    QCOMPARE(r.w->capture.means().channel(0).mean[0], float((1 * 0.1f + 0.3f) / 2));
}

void TestPolling::badChecksumShownNotAveraged()
{
    Rig r;
    QVERIFY(r.start({1}));
    r.channel(0, 1);
    r.w->startFindAvg();
    r.line.device(1)->corruptNextChecksum = true;
    QVERIFY(r.onePass());
    QCOMPARE(r.model()->rowCount(), 1);
    QCOMPARE(r.cell(0, 8), QStringLiteral("BAD"));
    QCOMPARE(r.model()->item(0, 8)->background().color(), QColor(Qt::red));
    QCOMPARE(r.cell(0, 2), QStringLiteral("101.0000"));
    QCOMPARE(r.w->capture.means().channel(0).count, 0);
}

void TestPolling::clearTableRestoresHeaders()
{
    Rig r;
    QVERIFY(r.start({1, 2}));
    r.channel(0, 1);
    r.channel(1, 2);
    QVERIFY(r.onePass());
    QCOMPARE(r.model()->rowCount(), 2);
    r.w->ui->buttonClearTable->click();
    QCOMPARE(r.model()->rowCount(), 0);
    QCOMPARE(r.model()->columnCount(), 0);
    r.channel(1, 2, false);
    QVERIFY(r.onePass());
    QCOMPARE(r.model()->rowCount(), 1);
    QCOMPARE(r.cell(0, 0), QStringLiteral("01"));
    QCOMPARE(r.header(1), QStringLiteral("Ток, мА"));
    QCOMPARE(r.header(8), QStringLiteral("CRC"));
}

void TestPolling::clearsAfterRow50_data()
{
    QTest::addColumn<bool>("clear");
    QTest::newRow("Очищать экран") << true;
    QTest::newRow("rows keep growing") << false;
}

void TestPolling::clearsAfterRow50()
{
    QFETCH(bool, clear);
    Rig r;
    QVERIFY(r.start({6}));
    r.w->pollPeriod = 5;
    r.channel(0, 6);
    r.w->ui->checkBoxClear->setChecked(clear);

    // Row count after each answer, seen once the window has handled it.
    QVector<int> rows;
    protocolComHart *link = r.w->hartLink();
    QObject::connect(link, &protocolComHart::answerGet, r.w.get(), [&](int code) {
        if (code != 3)
            return;
        rows << r.model()->rowCount();
        if (rows.size() == 53)
            link->stopSending();
    }, Qt::DirectConnection);
    r.w->ui->buttonFunction3Loop->click();
    QTRY_COMPARE_WITH_TIMEOUT(rows.size(), 53, 20000);

    for (int i = 0; i < 50; ++i)
        QCOMPARE(rows[i], i + 1);
    if (clear) {
        QCOMPARE(rows[50], 0);      // the 51st answer filled row 50, then the table emptied
        QCOMPARE(rows[51], 1);
        QCOMPARE(rows[52], 2);
        QCOMPARE(r.cell(0, 0), QStringLiteral("06"));
        QCOMPARE(r.header(0), QStringLiteral("Адрес"));
    } else {
        QCOMPARE(rows[52], 53);
    }
}

void TestPolling::capacitorHeadersAndUnits()
{
    Rig r;
    QVERIFY(r.start({2}));
    r.channel(0, 2);
    r.w->startFindAvg();
    r.w->ui->checkBoxCapacitor->setChecked(true);
    QVERIFY(r.onePass());
    QCOMPARE(r.header(2), QStringLiteral("f1, кГц"));
    QCOMPARE(r.header(3), QStringLiteral("f2, кГц"));
    QCOMPARE(r.header(4), QStringLiteral("P, кПа"));
    QCOMPARE(r.header(5), QStringLiteral("t, °C"));
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("102.0000 кГц 202.2500 кГц"));

    r.w->ui->checkBoxCapacitor->setChecked(false);
    QVERIFY(r.onePass());
    QCOMPARE(r.header(2), QStringLiteral("U1, мВ"));
    QCOMPARE(r.header(5), QStringLiteral("U4, мВ"));
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("102.0000 мВ 202.2500 мВ"));
}

void TestPolling::unitChange_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("plus");
    QTest::addColumn<double>("kPa");
    QTest::addColumn<QString>("shown");
    QTest::newRow("кПа -> Па") << 1 << 0 << 1000 << 1.0 << "1";
    QTest::newRow("Па -> MПа") << 0 << 2 << -3 << -3000.0 << "-3000";
    QTest::newRow("MПа -> кПа") << 2 << 1 << 600000 << 600000.0 << "600000";
}

void TestPolling::unitChange()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, plus);
    QFETCH(double, kPa);
    QFETCH(QString, shown);
    Rig r;
    QVERIFY(r.start({1}));
    r.channel(0, 1);
    QCOMPARE(r.w->ui->cbMU4var->itemText(2), QString::fromUtf8("M" "Па"));
    r.w->ui->cbMU4var->setCurrentIndex(from);
    r.w->ui->spinBoxPressuePos->setValue(plus);
    const bool moBefore = r.w->ui->buttonMO->isEnabled();
    r.w->ui->cbMU4var->setCurrentIndex(to);
    QCOMPARE(r.w->capture.pressure().plus(), kPa);
    QCOMPARE(r.w->pressurePlus, kPa);
    QCOMPARE(r.w->ui->buttonMO->isEnabled(), moBefore);
    QVERIFY(r.onePass());
    QCOMPARE(r.cell(0, 6), shown);
}

void TestPolling::samePressureBoxes()
{
    MainWindow w;
    w.ui->spinBoxPressuePos->setValue(120);
    QCOMPARE(w.ui->spinBoxPressueNeg->value(), 0);
    w.ui->checkBoxSamePressue->setChecked(true);
    w.ui->spinBoxPressuePos->setValue(250);
    QCOMPARE(w.ui->spinBoxPressueNeg->value(), 250);
    w.ui->spinBoxPressueNeg->setValue(-40);
    QCOMPARE(w.ui->spinBoxPressuePos->value(), -40);
}

void TestPolling::calibrationButtonCycle()
{
    Rig r;
    QVERIFY(r.start({1}));
    auto *ui = r.w->ui;
    auto buttons = [ui] {
        return QVector<bool>{ui->buttonSetPressue->isEnabled(), ui->buttonMO->isEnabled(),
                             ui->buttonClearMO->isEnabled(), ui->buttonAddDataCoef->isEnabled()};
    };
    r.channel(0, 1);
    r.channel(1, 2, false);
    r.w->meanRows()[1].field->setText(QStringLiteral("stale"));

    // Refused without save files: no message but the box, nothing changes.
    const QVector<bool> before = buttons();
    ui->spinBoxPressuePos->setValue(50);
    ui->buttonSetPressue->click();
    QCOMPARE(r.criticals, QStringList{QStringLiteral("Не выбраны файлы для сохранения")});
    QCOMPARE(buttons(), before);
    QCOMPARE(r.w->capture.pressure().plus(), 0.0);

    r.choose(m_sandbox.path(), QStringLiteral("cyc"));
    ui->buttonSetPressue->click();
    QCOMPARE(r.criticals.size(), 1);
    QCOMPARE(r.w->capture.pressure().plus(), 50.0);
    QCOMPARE(buttons(), (QVector<bool>{true, true, true, false}));
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("0.0000 мВ 0.0000 мВ"));
    QCOMPARE(r.w->meanRows()[1].field->text(), QString());

    ui->buttonMO->click();
    QVERIFY(r.w->capture.averagingOn());
    QCOMPARE(buttons(), (QVector<bool>{true, true, true, true}));
    QVERIFY(r.onePass());
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("101.0000 мВ 201.2500 мВ"));

    ui->buttonClearMO->click();
    QCOMPARE(r.w->capture.means().channel(0).count, 0);
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("0.0000 мВ 0.0000 мВ"));
    QVERIFY(r.onePass());

    ui->buttonAddDataCoef->click();
    QVERIFY(!r.w->capture.averagingOn());
    QCOMPARE(buttons(), (QVector<bool>{true, false, false, false}));
    QCOMPARE(r.w->meanRows()[0].field->text(), QStringLiteral("0.0000 мВ 0.0000 мВ"));
    const QString point = m_sandbox.path() + QStringLiteral("/cyc_01/cyc_Tmid_MNK.txt");
    // Appended on a line of its own, after what the pane held.
    QVERIFY2(ui->textEditStatus->toPlainText().endsWith(QStringLiteral("Файл калибровки МНК записан ") + point
                                                         + QLatin1Char('\n')),
             qPrintable(ui->textEditStatus->toPlainText()));
    QCOMPARE(fileLines(point).size(), 1);
    // Filed under the polling tab it comes from, not the pane it is shown in.
    QVERIFY(r.w->messageLog()->toText().contains(QStringLiteral("[Опрос] Файл калибровки МНК записан ") + point));
}

void TestPolling::temperatureBoxesExclusive()
{
    MainWindow w;
    QCheckBox *mid = w.ui->checkBoxCakibrationMiddle;
    QCheckBox *low = w.ui->checkBoxCakibrationLow;
    QCheckBox *high = w.ui->checkBoxCakibrationHigh;
    QVERIFY(mid->isChecked());
    low->setChecked(true);
    QVERIFY(!mid->isChecked() && low->isChecked() && !high->isChecked());
    high->setChecked(true);
    QVERIFY(!mid->isChecked() && !low->isChecked() && high->isChecked());
    high->setChecked(false);
    QVERIFY(!mid->isChecked() && !low->isChecked() && !high->isChecked());
    QVERIFY(w.pollingInputs().temperature == CalibrationTemperature::None);
}

void TestPolling::channelStateRestored()
{
    {
        QSettings s(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
        s.setValue(QStringLiteral("/ParametersFunc3/CheckDev_0"), 2);
        s.setValue(QStringLiteral("/ParametersFunc3/Dev_0"), 11);
        s.setValue(QStringLiteral("/ParametersFunc3/CheckDev_1"), 2);
        // An address a scan had added last time is not in the list now.
        s.setValue(QStringLiteral("/ParametersFunc3/Dev_1"), 17);
    }
    MainWindow w;
    QVERIFY(w.channels()[0].enable->isChecked());
    QCOMPARE(w.channels()[0].address->currentText(), QStringLiteral("0b"));
    QVERIFY(w.channels()[1].enable->isChecked());
    QCOMPARE(w.channels()[1].address->currentIndex(), 0);
    QVERIFY(!w.channels()[2].enable->isChecked());
    QCOMPARE(w.pollingInputs().channels[0].address, 11);
}

// --------------------------------------------------------------- files

void TestPolling::recordAndPointFiles_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("point");
    QTest::newRow("Tmin") << "checkBoxCakibrationLow" << "dev_Tmin.txt" << "dev_Tmin_MNK.txt";
    QTest::newRow("Tmax") << "checkBoxCakibrationHigh" << "dev_Tmax.txt" << "dev_Tmax_MNK.txt";
    QTest::newRow("Tmid") << "checkBoxCakibrationMiddle" << "dev_Tmid.txt" << "dev_Tmid_MNK.txt";
    QTest::newRow("no box") << "" << "dev_T.txt" << "";
}

void TestPolling::recordAndPointFiles()
{
    QFETCH(QString, box);
    QFETCH(QString, record);
    QFETCH(QString, point);
    Rig r;
    QVERIFY(r.start({2, 7}));
    r.channel(0, 2);
    r.channel(1, 7);
    auto *ui = r.w->ui;
    ui->checkBoxCakibrationMiddle->setChecked(false);
    if (!box.isEmpty())
        r.w->findChild<QCheckBox *>(box)->setChecked(true);
    const QString d = m_sandbox.path() + QStringLiteral("/D");
    QVERIFY(QDir().mkpath(d));
    r.choose(d, QStringLiteral("dev"));
    ui->spinBoxPressuePos->setValue(250);
    ui->spinBoxPressueNeg->setValue(-5);
    ui->buttonSetPressue->click();
    ui->buttonMO->click();
    QVERIFY(r.onePass());
    QCOMPARE(r.cell(0, 9), QStringLiteral("Записан"));
    QCOMPARE(r.model()->item(0, 9)->background().color(), QColor(0, 128, 128));

    const QList<QByteArray> lines = fileLines(d + QStringLiteral("/dev_02/") + record);
    QCOMPARE(lines.size(), 1);
    const QList<QByteArray> f = lines.first().split('\t');
    QCOMPARE(f.size(), 8);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                .match(QString::fromUtf8(f[0])).hasMatch());
    QCOMPARE(f.mid(1), (QList<QByteArray>{"6.0000e+00", "1.0200e+02", "2.0225e+02", "9.7500e+00",
                                          "4.9800e+02", "250", "-5"}));
    QCOMPARE(fileLines(d + QStringLiteral("/dev_07/") + record).size(), 1);

    ui->buttonAddDataCoef->click();
    if (point.isEmpty()) {
        QCOMPARE(QDir(d + QStringLiteral("/dev_02")).entryList(QDir::Files),
                 QStringList{record});
        QCOMPARE(ui->textEditStatus->toPlainText().contains(QStringLiteral("МНК")), false);
    } else {
        const QList<QByteArray> p = fileLines(d + QStringLiteral("/dev_02/") + point);
        QCOMPARE(p.size(), 1);
        QCOMPARE(p.first().split('\t'),
                 (QList<QByteArray>{"1.0200e+02", "2.0225e+02", "9.7500e+00", "4.9800e+02",
                                    "2.5000e+02", "-5.0000e+00"}));
        QCOMPARE(fileLines(d + QStringLiteral("/dev_07/") + point).size(), 1);
    }
}

void TestPolling::badChecksumLeavesFiles()
{
    Rig r;
    QVERIFY(r.start({2}));
    r.channel(0, 2);
    r.choose(m_sandbox.path(), QStringLiteral("bad"));
    const QString record = m_sandbox.path() + QStringLiteral("/bad_02/bad_Tmid.txt");
    QVERIFY(r.onePass());
    const QByteArray before = fileLines(record).join('\n');
    QCOMPARE(fileLines(record).size(), 1);

    r.line.device(2)->corruptNextChecksum = true;
    QVERIFY(r.onePass());
    QCOMPARE(r.cell(1, 8), QStringLiteral("BAD"));
    QCOMPARE(r.cell(1, 9), QStringLiteral("Ошибка открытия"));
    QCOMPARE(r.model()->item(1, 9)->background().color(), QColor(255, 128, 0));
    QCOMPARE(fileLines(record).join('\n'), before);
}

void TestPolling::measurementLog_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("named");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("lines");
    QTest::newRow("checked, no name") << true << false << "Файл не выбран" << 0;
    QTest::newRow("named, unchecked") << false << true << "Файл не выбран" << 0;
    QTest::newRow("checked and named") << true << true << "Записан" << 1;
}

void TestPolling::measurementLog()
{
    QFETCH(bool, checked);
    QFETCH(bool, named);
    QFETCH(QString, status);
    QFETCH(int, lines);
    Rig r;
    QVERIFY(r.start({3}));
    r.channel(0, 3);
    const QString log = m_sandbox.path() + QStringLiteral("/log.txt");
    r.w->pollingDialogs.chooseLogFile = [&] { return named ? log : QString(); };
    r.w->ui->buttonSave->click();
    QCOMPARE(r.w->ui->labelSave->text(), named ? log : QString());
    // A cancelled choice keeps the log chosen before.
    r.w->pollingDialogs.chooseLogFile = [] { return QString(); };
    r.w->ui->buttonSave->click();
    QCOMPARE(r.w->ui->labelSave->text(), named ? log : QString());
    r.w->ui->checkBoxSave->setChecked(checked);
    QVERIFY(r.onePass());
    QCOMPARE(r.cell(0, 9), status);
    QCOMPARE(fileLines(log).size(), lines);
    if (lines)
        QCOMPARE(fileLines(log).first().split('\t').mid(8), QList<QByteArray>{"03"});
    QCOMPARE(QDir(m_sandbox.path()).entryList(QDir::Files).contains(QStringLiteral("log.txt")),
             lines > 0);
}

void TestPolling::logFileFaults_data()
{
    QTest::addColumn<QString>("name");       // below the sandbox
    QTest::addColumn<bool>("blocked");      // a folder stands where the file should be
    QTest::addColumn<QString>("cell");
    QTest::addColumn<int>("lines");
    QTest::newRow("missing folder is made") << "data/untitled.txt" << false << "Записан" << 3;
    QTest::newRow("cannot open: said once") << "blocked.txt" << true << "Журнал не записан" << 0;
}

void TestPolling::logFileFaults()
{
    QFETCH(QString, name);
    QFETCH(bool, blocked);
    QFETCH(QString, cell);
    QFETCH(int, lines);
    Rig r;
    QVERIFY(r.start({3}));
    // Three answers in one poll.
    for (int ch = 0; ch < 3; ++ch)
        r.channel(ch, 3);
    const QString log = m_sandbox.filePath(name);
    if (blocked)
        QVERIFY(QDir().mkpath(log));
    r.w->pollingDialogs.chooseLogFile = [&] { return log; };
    r.w->ui->buttonSave->click();
    r.w->ui->checkBoxSave->setChecked(true);
    QVERIFY(r.onePass());
    for (int row = 0; row < 3; ++row)
        QCOMPARE(r.cell(row, 9), cell);
    QCOMPARE(r.model()->item(2, 9)->background().color(),
             blocked ? QColor(Qt::red) : QColor(0, 128, 128));
    QCOMPARE(r.model()->item(2, 9)->toolTip().isEmpty(), !blocked);
    QCOMPARE(fileLines(log).size(), lines);
    const QString fault = QStringLiteral("[Опрос] Журнал измерений не записан в ") + log;
    QCOMPARE(r.w->messageLog()->toText().count(fault), blocked ? 1 : 0);

    // Mended, the log takes the next answer and says so once.
    if (blocked) {
        QVERIFY(QDir(log).removeRecursively());
        QVERIFY(r.onePass());
        QCOMPARE(r.cell(5, 9), QStringLiteral("Записан"));
        QCOMPARE(fileLines(log).size(), 3);
        QCOMPARE(r.w->messageLog()->toText().count(QStringLiteral("Запись в файл %1 возобновлена").arg(log)), 1);
    }
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
