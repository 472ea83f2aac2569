// Faults the engineer meets without looking for them, over the virtual line:
// refusals and port failures that must reach the status bar and the pane in
// view whatever the lock state, polling rows that must come back with the
// addresses chosen, and save directories that must not be written to before
// the operator has agreed to them.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "devicebench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSerialPort>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QtTest>

namespace {

int fileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().count('\n');
}

QStringList channelTexts(const MainWindow &w, int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << w.channels()[i].address->currentText();
    return out;
}

} // namespace

class TestVisibleFaults : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void failureReachesStatusBar_data();
    void failureReachesStatusBar();
    void pollingRowsAfterRestart_data();
    void pollingRowsAfterRestart();
    void saveDirsOnlyOnceConfirmed_data();
    void saveDirsOnlyOnceConfirmed();

private:
    Sandbox m_sandbox;
};

void TestVisibleFaults::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestVisibleFaults::cleanup()
{
    m_sandbox.leave();
}

// ------------------------------------------------ failures in view

void TestVisibleFaults::failureReachesStatusBar_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("expected");      // in the status bar and the pane in view

    const int polling = MainWindow::TabFunction3, device = MainWindow::TabDevice,
              developer = MainWindow::TabDeveloper, calibration = MainWindow::TabCalibration;
    QTest::newRow("scan, port closed, locked") << "scan" << true << polling << "Порт не открыт!!";
    QTest::newRow("poll, port closed, locked") << "poll" << true << polling << "Порт не открыт!!";
    QTest::newRow("device tab read, port closed, locked") << "deviceType" << true << device << "Порт не открыт!!";
    QTest::newRow("console, port closed") << "console" << false << developer << "Порт не открыт!!";
    QTest::newRow("mistyped port, locked") << "mistyped" << true << device
                                           << "не найден: проверьте имя порта";
    QTest::newRow("port held by another program") << "held" << false << calibration
                                                  << "занят другой программой";
    QTest::newRow("no port name") << "noName" << true << polling << "Порт не выбран";
    QTest::newRow("poll, no device checked, locked") << "pollNone" << true << polling
                                                     << "отметьте хотя бы одно устройство";
    QTest::newRow("loaded record, 20 preambles and long frames, locked")
        << "oversize" << true << device << "больше 50. Уменьшите число преамбул или выберите короткий кадр";
}

void TestVisibleFaults::failureReachesStatusBar()
{
    QFETCH(QString, action);
    QFETCH(bool, locked);
    QFETCH(int, tab);
    QFETCH(QString, expected);

    bench::DeviceBench b;
    const bool connect = action == QLatin1String("oversize") || action == QLatin1String("pollNone");
    QCOMPARE(b.start(connect), QString());
    MainWindow &w = b.w();
    if (locked)
        w.ui->lineEditPassword->setText(QString());
    QCOMPARE(w.isInterfaceLocked(), locked);
    w.ui->tabWidget->setCurrentIndex(tab);

    QSerialPort other;
    if (action == QLatin1String("scan")) {
        w.ui->buttonFindDevice->click();
    } else if (action == QLatin1String("poll")) {
        w.pollChannels[0].enable->setChecked(true);
        w.ui->buttonFunction3Send->click();
    } else if (action == QLatin1String("deviceType")) {
        w.ui->buttonGetDeviceType->click();
    } else if (action == QLatin1String("console")) {
        w.ui->buttonSend->click();
    } else if (action == QLatin1String("mistyped")) {
        w.ui->comboBoxNamePort->setEditText(m_sandbox.filePath(QStringLiteral("ttyNOSUCH0")));
        w.ui->buttonConnectPort->click();
    } else if (action == QLatin1String("held")) {
        other.setPortName(b.line.portName());
        QVERIFY(other.open(QIODevice::ReadWrite));
        w.ui->comboBoxNamePort->setEditText(b.line.portName());
        w.ui->buttonConnectPort->click();
        QVERIFY(w.ui->statusBar->currentMessage().contains(b.line.portName()));
    } else if (action == QLatin1String("noName")) {
        w.ui->comboBoxNamePort->setEditText(QString());
        w.ui->buttonConnectPort->click();
    } else if (action == QLatin1String("pollNone")) {
        w.ui->buttonFunction3Loop->click();
    } else if (action == QLatin1String("oversize")) {
        w.ui->spinBoxSymPreamble->setValue(20);
        w.ui->checkLongFrame->setChecked(true);
        // Whole numbers: the serial number among them must be one.
        QVERIFY(w.deviceOps.setLoadedRecord(QVector<double>(LoadedRecord::Size, 2.0)));
        w.download2Device();
        QVERIFY(!w.isBusy());
    }

    QVERIFY2(w.ui->statusBar->currentMessage().contains(expected),
             qPrintable(w.ui->statusBar->currentMessage()));
    if (QTextEdit *pane = w.currentPane()) {
        QVERIFY2(pane->toPlainText().contains(expected), qPrintable(pane->toPlainText()));
        QCOMPARE(colourAtEnd(pane), QColor(Qt::red));
    }
    QVERIFY(b.line.requests().isEmpty());
    QCOMPARE(w.ui->buttonConnectPort->isEnabled(), !connect);
    QVERIFY(!w.isBusy());
}

// ------------------------------------------------ polling rows

void TestVisibleFaults::pollingRowsAfterRestart_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("chosen after a scan") << "scan" << QStringList{"01", "02", "05"};
    QTest::newRow("index keys alone, as older copies left them") << "indexOnly" << QStringList{"03", "0a", "00"};
    QTest::newRow("an address the list lacks") << "outside" << QStringList{"20", "00", "00"};
}

void TestVisibleFaults::pollingRowsAfterRestart()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, expected);

    bench::DeviceBench b;
    QCOMPARE(b.start(false), QString());
    for (int a : {1, 2, 5})
        b.line.addDevice(uint8_t(a));
    b.line.removeDevice(0);

    if (stored == QLatin1String("scan")) {
        MainWindow &w = b.w();
        w.ui->comboBoxNamePort->setEditText(b.line.portName());
        w.ui->buttonConnectPort->click();
        w.scanPeriod = 20;
        w.scanTimeout = 60;
        w.scanRepeats = 1;
        w.ui->buttonFindDevice->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.hartLink()->isQueueRunning() && !w.hartLink()->isBusy(), 5000);
        w.onMsgBoxScanAddrExit(0);
        QCOMPARE(w.channels()[0].address->count(), 3);
        for (int i = 0; i < 3; ++i) {
            w.pollChannels[i].enable->setChecked(true);
            w.pollChannels[i].address->setCurrentIndex(i);
        }
        b.window.reset();      // writes its state
    } else {
        b.window.reset();
        QSettings s(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
        s.remove(QStringLiteral("ParametersFunc3"));
        for (int i = 0; i < 3; ++i)
            s.setValue(QStringLiteral("/ParametersFunc3/CheckDev_%1").arg(i), 2);
        if (stored == QLatin1String("indexOnly")) {
            s.setValue(QStringLiteral("/ParametersFunc3/Dev_0"), 3);
            s.setValue(QStringLiteral("/ParametersFunc3/Dev_1"), 10);
        } else {
            s.setValue(QStringLiteral("/ParametersFunc3/Dev_0"), 0);
            s.setValue(QStringLiteral("/ParametersFunc3/DevAddr_0"), 0x20);
        }
    }

    MainWindow w;
    QCOMPARE(channelTexts(w, 3), expected);
    for (int i = 0; i < 3; ++i)
        QVERIFY(w.channels()[i].enable->isChecked());
    if (stored != QLatin1String("scan"))
        return;

    // Polling asks the devices chosen, in channel order.
    w.ui->comboBoxNamePort->setEditText(b.line.portName());
    w.ui->buttonConnectPort->click();
    w.pollPeriod = 20;
    w.pollTimeout = 200;
    w.ui->buttonFunction3Send->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.measurementModel->rowCount(), 3, 5000);
    for (int a : {1, 2, 5})
        QCOMPARE(b.line.device(uint8_t(a))->requestsSeen, 2);   // the scan, then the pass
}

// ------------------------------------------------ save directories

void TestVisibleFaults::saveDirsOnlyOnceConfirmed_data()
{
    QTest::addColumn<bool>("selectionBefore");
    QTest::addColumn<bool>("newExists");        // left by an earlier run
    QTest::addColumn<int>("answer");            // of the confirmation dialog
    QTest::newRow("re-chosen, accepted") << true << false << 1;
    QTest::newRow("re-chosen, cancelled") << true << false << 4;
    QTest::newRow("re-chosen, dialog closed") << true << false << 0;
    QTest::newRow("re-chosen onto an earlier run, cancelled") << true << true << 4;
    QTest::newRow("re-chosen onto an earlier run, appended") << true << true << 3;
    QTest::newRow("first choice onto an earlier run, cancelled") << false << true << 4;
    QTest::newRow("first choice, accepted") << false << false << 1;
}

void TestVisibleFaults::saveDirsOnlyOnceConfirmed()
{
    QFETCH(bool, selectionBefore);
    QFETCH(bool, newExists);
    QFETCH(int, answer);

    bench::DeviceBench b;
    QCOMPARE(b.start(), QString());
    MainWindow &w = b.w();
    b.line.addDevice(1);
    w.pollChannels[0].enable->setChecked(true);
    w.pollChannels[0].address->setCurrentIndex(1);
    const QString base = m_sandbox.path();
    const QString oldFile = base + QStringLiteral("/old_01/old_Tmid.txt");
    const QString newDir = base + QStringLiteral("/new_01");
    const QString newFile = newDir + QStringLiteral("/new_Tmid.txt");
    if (newExists) {
        QVERIFY(QDir().mkpath(newDir));
        QFile f(newFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("a line of the earlier run\n");
    }
    const int newBefore = fileLines(newFile);

    auto choose = [&](const QString &name) {
        w.pollingDialogs.chooseSaveDir = [=](QString *dir, QString *file) {
            *dir = base;
            *file = name;
            return true;
        };
    };
    if (selectionBefore) {
        choose(QStringLiteral("old"));
        w.pollingDialogs.confirmSaveDirs = [](const QString &, bool) { return 1; };
        w.ui->pbChooseSaveDir->click();
    }
    w.ui->buttonFunction3Loop->click();
    if (selectionBefore)
        QTRY_VERIFY(fileLines(oldFile) >= 2);

    // While the operator reads the new list, polling goes on where it went.
    choose(QStringLiteral("new"));
    int oldDuringDialog = -1;
    int newDuringDialog = -1;
    bool newDirDuringDialog = false;
    w.pollingDialogs.confirmSaveDirs = [&](const QString &message, bool) {
        const int rows = w.measurementModel->rowCount() + 3;
        const int lines = fileLines(oldFile);
        if (!QTest::qWaitFor([&] { return w.measurementModel->rowCount() >= rows; }, 5000))
            return -1;
        oldDuringDialog = fileLines(oldFile) - lines;
        newDuringDialog = fileLines(newFile) - newBefore;
        newDirDuringDialog = QFileInfo::exists(newDir);
        return message.contains(newDir) ? answer : -1;
    };
    w.ui->pbChooseSaveDir->click();
    QCOMPARE(newDuringDialog, 0);
    QCOMPARE(newDirDuringDialog, newExists);
    if (selectionBefore)
        QVERIFY(oldDuringDialog >= 3);
    else
        QCOMPARE(oldDuringDialog, 0);

    // Afterwards the answer decides.
    const int oldAfter = fileLines(oldFile);
    const int rows = w.measurementModel->rowCount() + 3;
    QTRY_VERIFY(w.measurementModel->rowCount() >= rows);
    w.ui->buttonStopRequstFunc3->click();
    QTRY_VERIFY(!w.hartLink()->isBusy());
    const bool agreed = answer == 1 || answer == 3;
    if (agreed) {
        QVERIFY(fileLines(newFile) >= newBefore + 3);
        QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("✔"));
    } else {
        QCOMPARE(fileLines(newFile), newBefore);
        QCOMPARE(QFileInfo::exists(newDir), newExists);
        QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("❌"));
    }
    QCOMPARE(fileLines(oldFile), oldAfter);
}

QTEST_MAIN(TestVisibleFaults)
#include "tst_visiblefaults.moc"
