// One owner of the line at a time, over the virtual line: an operation
// started while the console loop runs ends the loop first and goes out as
// often as asked; a single poll pass returns the window to idle; a lost line
// stops everything, releases the lock and says so; a device data transfer cut
// short says how far it got and is not saved without the operator's word.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "ui_dumpdialog.h"

#include "app/messagelog.h"
#include "devicedata/dumpdialog.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "devicebench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QtTest>

namespace {

const QString LostText = QStringLiteral("Связь с портом потеряна");

// Requests of one command the device executed.
int executed(const sim::VirtualDevice *d, int command)
{
    int n = 0;
    for (const QByteArray &c : d->commandsSeen)
        n += (!c.isEmpty() && uint8_t(c[0]) == command) ? 1 : 0;
    return n;
}

// The bench's window connected through a symlink, as an adapter keeps its
// name when it is plugged in again.
QString connectByLink(bench::DeviceBench &b, const QString &path)
{
    const QString error = b.start(false);
    if (!error.isEmpty())
        return error;
    if (!b.line.createLink(path))
        return b.line.errorString();
    b.w().ui->comboBoxNamePort->setEditText(path);
    b.w().ui->buttonConnectPort->click();
    return b.w().hartLink()->isPortOpen() ? QString() : QStringLiteral("port did not open");
}

bool linkIdle(MainWindow &w)
{
    return !w.hartLink()->isBusy() && !w.hartLink()->isQueueRunning();
}

QStringList comboTexts(QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QString openBoxText(QWidget *parent)
{
    QString text;
    for (QMessageBox *b : parent->findChildren<QMessageBox *>())
        if (b->isVisible())
            text += b->text() + QLatin1Char('\n');
    return text;
}

// Nothing more goes out for several periods of the 20 ms timing.
bool lineQuiet(sim::VirtualLine &line)
{
    QSignalSpy more(&line, &sim::VirtualLine::requestReceived);
    return !more.wait(200);
}

} // namespace

class TestLineOwner : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void operationEndsConsoleLoop_data();
    void operationEndsConsoleLoop();
    void singlePassReturnsToIdle_data();
    void singlePassReturnsToIdle();
    void lineLostStopsEverything_data();
    void lineLostStopsEverything();
    void cutTransferNotSavedUnasked_data();
    void cutTransferNotSavedUnasked();

private:
    Sandbox m_sandbox;
};

void TestLineOwner::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestLineOwner::cleanup()
{
    m_sandbox.leave();
}

// ------------------------------------------------------ one owner

void TestLineOwner::operationEndsConsoleLoop_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("scan") << "scan";
    QTest::newRow("single poll") << "poll";
    QTest::newRow("zero adjustment, command 37") << "zero";
    QTest::newRow("pressure query") << "pressure";
    QTest::newRow("parameter upload") << "upload";
    QTest::newRow("device data read") << "dump";
    QTest::newRow("console send once") << "send";
    QTest::newRow("queue started on the link directly") << "direct";
}

void TestLineOwner::operationEndsConsoleLoop()
{
    QFETCH(QString, operation);
    bench::DeviceBench b;
    QCOMPARE(b.start(), QString());
    MainWindow &w = b.w();
    b.device->pressure = 42.5f;
    w.scanPeriod = 20;
    w.scanTimeout = 60;
    w.scanRepeats = 1;

    // The loop reads device 0's identity every period.
    w.ui->comboBoxFunc->setCurrentIndex(0);
    w.ui->buttonStartLoop->click();
    QVERIFY(w.loopRunning);
    QTRY_VERIFY(executed(b.device, 0) >= 3);

    if (operation == QLatin1String("scan")) {
        w.ui->buttonFindDevice->click();
    } else if (operation == QLatin1String("poll")) {
        w.pollChannels[0].enable->setChecked(true);
        w.ui->buttonFunction3Send->click();
    } else if (operation == QLatin1String("zero")) {
        w.ui->buttonZero->click();
    } else if (operation == QLatin1String("pressure")) {
        w.ui->pbQueryPressure->click();     // arms
        w.ui->pbQueryPressure->click();     // starts
    } else if (operation == QLatin1String("upload")) {
        w.uploadFromDevice();
    } else if (operation == QLatin1String("dump")) {
        w.onRecvCoefsFromDevice();
    } else if (operation == QLatin1String("send")) {
        w.ui->comboBoxFunc->setCurrentIndex(1);     // command 3
        w.ui->buttonSend->click();
    } else if (operation == QLatin1String("direct")) {
        // No window slot involved: the link ends its repeat and says so.
        w.buildRequest(4, false, 0, 3);
        w.hartLink()->enqueue(w.builtRequest());
        w.hartLink()->startQueue(false);
    }

    // Ended as "Стоп" would end it (a poll pass holds the loop flag itself
    // until its end).
    QVERIFY(!w.hartLink()->isRepeating());
    QVERIFY(!w.loopRunning || operation == QLatin1String("poll"));

    if (operation == QLatin1String("pressure")) {
        QTRY_COMPARE(b.widget<QDoubleSpinBox>(QStringLiteral("sbPressure"))->value(), 42.5);
        w.ui->pbQueryPressure->click();     // stops
        QCOMPARE(w.ui->pbQueryPressure->text(), QStringLiteral("Начать опрос"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(linkIdle(w), 5000);
    QVERIFY(!w.loopRunning);
    const int identityReads = executed(b.device, 0);
    QVERIFY(lineQuiet(b.line));
    QCOMPARE(executed(b.device, 0), identityReads);

    // The operation got its own answers, and only those.
    if (operation == QLatin1String("scan")) {
        QCOMPARE(comboTexts(w.ui->comboBoxMainAddr), QStringList{QStringLiteral("00")});
        w.onMsgBoxScanAddrExit(0);
    } else if (operation == QLatin1String("poll")) {
        QCOMPARE(w.measurementModel->rowCount(), 1);
        QCOMPARE(executed(b.device, 3), 1);
    } else if (operation == QLatin1String("zero")) {
        QCOMPARE(executed(b.device, 37), 1);
        QVERIFY(b.paneText(QStringLiteral("textEditStatusCalibration")).contains(QStringLiteral("Баланс нуля выполнен")));
    } else if (operation == QLatin1String("upload")) {
        QCOMPARE(executed(b.device, 51), 5);
    } else if (operation == QLatin1String("dump")) {
        QCOMPARE(executed(b.device, 51), 12);
        QVERIFY(w.deviceDataDialog()->incompleteText().isEmpty());
        QVERIFY(!w.deviceDataDialog()->deviceText(0).isEmpty());
    } else if (operation == QLatin1String("send") || operation == QLatin1String("direct")) {
        QCOMPARE(executed(b.device, 3), 1);
        QVERIFY(w.ui->buttonSend->isEnabled());
        for (int tab = MainWindow::TabDeveloper; tab <= MainWindow::TabDevice; ++tab)
            QVERIFY(w.ui->tabWidget->isTabEnabled(tab));
    }
    QVERIFY(!w.isBusy());
}

void TestLineOwner::singlePassReturnsToIdle_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("silentDevice");      // -1: every device answers
    QTest::newRow("all answer") << false << -1;
    QTest::newRow("last one silent") << false << 2;
    QTest::newRow("first one silent") << false << 1;
    QTest::newRow("interface locked") << true << -1;
}

void TestLineOwner::singlePassReturnsToIdle()
{
    QFETCH(bool, locked);
    QFETCH(int, silentDevice);
    bench::DeviceBench b;
    QCOMPARE(b.start(), QString());
    MainWindow &w = b.w();
    w.pollTimeout = 100;
    b.line.addDevice(1);
    b.line.addDevice(2);
    if (silentDevice >= 0)
        b.line.device(uint8_t(silentDevice))->silentFor = 100;
    if (locked)
        w.ui->lineEditPassword->setText(QString());
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    for (int i = 0; i < 2; ++i) {
        w.pollChannels[i].enable->setChecked(true);
        w.pollChannels[i].address->setCurrentIndex(i + 1);
    }

    w.ui->buttonFunction3Send->click();
    QVERIFY(w.isBusy());
    QCOMPARE(w.ui->tabWidget->isTabEnabled(MainWindow::TabDevice), locked);
    QTRY_VERIFY_WITH_TIMEOUT(linkIdle(w), 5000);
    QCOMPARE(w.measurementModel->rowCount(), silentDevice >= 0 ? 1 : 2);

    QVERIFY(!w.loopRunning);
    QVERIFY(!w.isBusy());
    for (int tab : {MainWindow::TabMiscCoefs, MainWindow::TabDevice})
        QVERIFY(w.ui->tabWidget->isTabEnabled(tab));
    for (int tab : {MainWindow::TabDeveloper, MainWindow::TabCalibration, MainWindow::TabKdsp})
        QCOMPARE(w.ui->tabWidget->isTabEnabled(tab), !locked);
    // Not disabled itself (a locked tab disables its page, not its buttons).
    for (QWidget *button : {static_cast<QWidget *>(w.ui->buttonGetCurrent), static_cast<QWidget *>(w.ui->pbGetSerial)})
        QVERIFY(!button->testAttribute(Qt::WA_ForceDisabled));
    QVERIFY(lineQuiet(b.line));
}

// ------------------------------------------------------ the line lost

void TestLineOwner::lineLostStopsEverything_data()
{
    QTest::addColumn<QString>("running");
    QTest::addColumn<int>("tab");
    QTest::newRow("cyclic poll, polling tab") << "poll" << int(MainWindow::TabFunction3);
    QTest::newRow("console loop, developer tab") << "loop" << int(MainWindow::TabDeveloper);
    QTest::newRow("scan, device tab") << "scan" << int(MainWindow::TabDevice);
    QTest::newRow("pressure query, calibration tab") << "pressure" << int(MainWindow::TabCalibration);
    QTest::newRow("parameters file chain") << "chain" << int(MainWindow::TabCalibration);
}

void TestLineOwner::lineLostStopsEverything()
{
    QFETCH(QString, running);
    QFETCH(int, tab);
    bench::DeviceBench b;
    const QString path = m_sandbox.filePath(QStringLiteral("ttyHART"));
    QCOMPARE(connectByLink(b, path), QString());
    MainWindow &w = b.w();
    w.ui->tabWidget->setCurrentIndex(tab);
    // Slow enough that the chain is still waiting when the line goes.
    if (running == QLatin1String("chain"))
        b.device->answerDelayMs = 100;

    if (running == QLatin1String("poll")) {
        w.pollChannels[0].enable->setChecked(true);
        w.ui->buttonFunction3Loop->click();
    } else if (running == QLatin1String("loop")) {
        w.ui->buttonStartLoop->click();
    } else if (running == QLatin1String("scan")) {
        w.ui->buttonFindDevice->click();
    } else if (running == QLatin1String("pressure")) {
        w.ui->pbQueryPressure->click();
        w.ui->pbQueryPressure->click();
    } else if (running == QLatin1String("chain")) {
        w.onSaveToFile(m_sandbox.filePath(QStringLiteral("params.txt")));
        QVERIFY(w.deviceOps.saveChainActive());
    }
    QTRY_VERIFY(b.device->requestsSeen >= 1);

    QSignalSpy lost(w.hartLink(), &protocolComHart::lineLost);
    b.line.vanish();
    QVERIFY(lost.wait(5000));
    QCOMPARE(lost.size(), 1);

    QVERIFY(!w.hartLink()->isPortOpen());
    QVERIFY(!w.loopRunning);
    QVERIFY(!w.scanRunning);
    QVERIFY(!w.isBusy());
    QVERIFY(!w.hartLink()->isRepeating());
    QVERIFY(!w.hartLink()->isQueueRunning());
    QVERIFY(!w.deviceOps.saveChainActive());
    QCOMPARE(w.ui->pbQueryPressure->text(), QStringLiteral("Начать опрос"));
    QVERIFY(w.ui->buttonConnectPort->isEnabled());
    for (int t = MainWindow::TabDeveloper; t <= MainWindow::TabDevice; ++t)
        QVERIFY(w.ui->tabWidget->isTabEnabled(t));

    const QString expected = LostText + QStringLiteral(": ") + lost.first().first().toString();
    QCOMPARE(w.ui->statusBar->currentMessage(), expected);
    // The log has it from the line, whatever tab is in view, and a poll
    // says it was stopped by it.
    QCOMPARE(w.messageLog()->toText().count(QStringLiteral("[Порт] ") + expected), 1);
    QCOMPARE(w.messageLog()->toText().contains(
                 QStringLiteral("[Опрос] Циклический опрос остановлен: связь с портом потеряна")),
             running == QLatin1String("poll"));
    if (QTextEdit *pane = w.currentPane()) {
        QVERIFY(pane->toPlainText().contains(expected));
        QCOMPARE(colourAtEnd(pane), QColor(Qt::red));
    }
    if (running == QLatin1String("scan")) {
        QVERIFY(w.msgBoxScanAddr->text().contains(QStringLiteral("Поиск прерван")));
        w.msgBoxScanAddr->done(0);
        w.resetAddress();
    }

    // Nothing is left running against the closed port.
    QSignalSpy sent(w.hartLink(), &protocolComHart::requestSend);
    QSignalSpy outcomes(w.hartLink(), &protocolComHart::answerGet);
    QVERIFY(!outcomes.wait(200));
    QCOMPARE(sent.size(), 0);
    QVERIFY(!w.hartLink()->isBusy());

    // Plugged in again: "Связать" works at once.
    QVERIFY(b.line.reappear());
    w.ui->buttonConnectPort->click();
    QVERIFY(w.hartLink()->isPortOpen());
    QVERIFY(!w.ui->buttonConnectPort->isEnabled());
    QVERIFY(!w.ui->statusBar->currentMessage().startsWith(LostText));
    QVERIFY(w.messageLog()->toText().contains(QStringLiteral("[Порт] Порт %1 подключен").arg(path)));
    w.ui->comboBoxFunc->setCurrentIndex(1);     // command 3
    const int before = executed(b.device, 3);
    w.ui->buttonSend->click();
    QTRY_COMPARE(executed(b.device, 3), before + 1);
    QTRY_VERIFY(linkIdle(w));
}

void TestLineOwner::cutTransferNotSavedUnasked_data()
{
    QTest::addColumn<bool>("write");            // else a read
    QTest::addColumn<bool>("lost");             // else one block times out
    QTest::addColumn<bool>("agree");
    QTest::addColumn<QString>("message");
    QTest::newRow("read, line lost, save declined") << false << true << false << "Чтение прервано: получено 4 из 12 блоков";
    QTest::newRow("read, line lost, save agreed") << false << true << true << "Чтение прервано: получено 4 из 12 блоков";
    QTest::newRow("read, block timed out, save declined") << false << false << false << "Чтение не завершено: получено 11 из 12 блоков";
    QTest::newRow("write, line lost") << true << true << false << "Запись прервана: записано 4 из 12 блоков";
}

void TestLineOwner::cutTransferNotSavedUnasked()
{
    QFETCH(bool, write);
    QFETCH(bool, lost);
    QFETCH(bool, agree);
    QFETCH(QString, message);
    bench::DeviceBench b;
    QCOMPARE(connectByLink(b, m_sandbox.filePath(QStringLiteral("ttyHART"))), QString());
    MainWindow &w = b.w();
    w.pollTimeout = 300;
    DumpDialog *d = w.deviceDataDialog();
    QStringList asked;
    d->confirmIncompleteSave = [&](const QString &text) {
        asked << text;
        return agree;
    };
    auto readWhole = [&] {
        w.onRecvCoefsFromDevice();
        return QTest::qWaitFor([&] { return linkIdle(w) && !d->deviceText(38).isEmpty(); }, 5000);
    };
    w.onDeviceMemoryDump();
    // A write sends what a whole read has put into the dialog.
    if (write)
        QVERIFY(readWhole());

    // The fifth block goes unanswered, or the line goes before it is answered.
    // A write opens with the serial read of the device it writes.
    const int first = b.device->requestsSeen + (write ? 1 : 0);
    QObject::connect(&b.line, &sim::VirtualLine::requestReceived, &w, [&] {
        if (b.device->requestsSeen == first + 4)
            b.device->silentFor = 1;
        else if (lost && b.device->requestsSeen == first + 5)
            QTimer::singleShot(0, &b.line, [&] { b.line.vanish(); });
    });
    if (write)
        d->form()->pbUploadToDevice->click();
    else
        w.onRecvCoefsFromDevice();
    QTRY_VERIFY2_WITH_TIMEOUT(openBoxText(d).contains(message), qPrintable(openBoxText(d) + QStringLiteral(" / requests %1").arg(b.device->requestsSeen - first)), 5000);
    QVERIFY(!w.isBusy());
    // Said under the rows and in the message log, from the dialog.
    QVERIFY(d->statusLabel()->text().startsWith(message));
    const QStringList logged = w.messageLog()->toText().split(QLatin1Char('\n'));
    QVERIFY(std::any_of(logged.begin(), logged.end(), [&](const QString &l) {
        return l.contains(QStringLiteral("Данные устройства")) && l.contains(message);
    }));

    // Only a partial read is a partial record.
    const QString path = m_sandbox.filePath(QStringLiteral("record.txt"));
    QCOMPARE(d->saveToPath(path), agree || write);
    QCOMPARE(QFile::exists(path), agree || write);
    QCOMPARE(asked.size(), write ? 0 : 1);
    if (write)
        return;
    QVERIFY(d->incompleteText().startsWith(message));
    QVERIFY(asked.first().contains(message));

    // A whole read clears the mark: saved without a question.
    if (lost) {
        QVERIFY(b.line.reappear());
        w.ui->buttonConnectPort->click();
        QVERIFY(w.hartLink()->isPortOpen());
    }
    QTRY_VERIFY(linkIdle(w));
    QVERIFY(readWhole());
    QVERIFY(d->incompleteText().isEmpty());
    QVERIFY(d->saveToPath(path));
    QCOMPARE(asked.size(), 1);
}

QTEST_MAIN(TestLineOwner)
#include "tst_lineowner.moc"
