// The window's status bar, message log and progress over the virtual line:
// the port state from the link, the step count of the long runs and their
// cancel (queue stopped, busy lock released, result marked partial), the scan
// that logs absent devices as a normal outcome and offers to fill the
// polling rows, pane lines reaching the log and the status bar, the menu's
// settings action and the console preset at a first start.

#include "devicebench.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "app/operationprogress.h"
#include "calc/dialog.h"
#include "devicedata/dumpdialog.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>
#include <functional>

using bench::DeviceBench;

namespace {
// Colour of the first line of a pane that contains text (invalid if none).
QColor lineColour(QTextEdit *pane, const QString &text)
{
    for (QTextBlock b = pane->document()->begin(); b.isValid(); b = b.next()) {
        if (b.text().contains(text) && b.begin() != b.end())
            return b.begin().fragment().charFormat().foreground().color();
    }
    return QColor();
}

QString statusText(MainWindow &w, const char *name)
{
    auto *label = w.ui->statusBar->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<none>");
}

bool linkIdle(MainWindow &w)
{
    return !w.hartLink()->isBusy() && !w.hartLink()->isQueueRunning();
}
}

class TestWindowFlows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void portStateFollowsTheLink();
    void runsCountEveryStep_data();
    void runsCountEveryStep();
    void cancelStopsTheQueue_data();
    void cancelStopsTheQueue();
    void scanLogsAbsentDevicesAndOffersTheFill();
    void paneLinesReachLogAndStatusBar();
    void settingsActionAndConsolePreset();
    void fileNamesFollowTheSerial();
    void secondSaveSupersedesTheFirst();

private:
    // Starts the run named by what; false when it could not be started.
    // started() comes just before the request that starts it (for a write,
    // after the read that fills the record it sends).
    bool startRun(const QString &what, const std::function<void()> &started = {});

    Sandbox m_sandbox;
    std::unique_ptr<DeviceBench> m_bench;
};

void TestWindowFlows::init()
{
    QVERIFY(m_sandbox.enter());
    m_bench.reset(new DeviceBench);
    const QString error = m_bench->start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestWindowFlows::cleanup()
{
    m_bench.reset();
    m_sandbox.leave();
}

bool TestWindowFlows::startRun(const QString &what, const std::function<void()> &started)
{
    MainWindow &w = m_bench->w();
    if (what == QLatin1String("write")) {
        // A record the device itself gave, so that every row has its text.
        w.onRecvCoefsFromDevice();
        if (!QTest::qWaitFor([&] { return !w.operationProgress()->isActive() && linkIdle(w); }, 10000))
            return false;
    }
    if (started)
        started();
    if (what == QLatin1String("read")) {
        w.onRecvCoefsFromDevice();
    } else if (what == QLatin1String("write")) {
        // The run is counted once the device's serial number is in.
        w.onSendCoefsToDevice();
        return QTest::qWaitFor([&] { return w.operationProgress()->isActive(); }, 5000);
    } else if (what == QLatin1String("upload")) {
        w.uploadFromDevice();
    } else if (what == QLatin1String("saveChain")) {
        w.onSaveToFile(m_sandbox.filePath(QStringLiteral("params.txt")));
    } else {
        return false;
    }
    return w.operationProgress()->isActive();
}

void TestWindowFlows::portStateFollowsTheLink()
{
    MainWindow &w = m_bench->w();
    const QString port = m_bench->line.portName();
    // Connected by the bench; the serial settings file is absent, so the
    // defaults apply.
    QTRY_VERIFY(statusText(w, "labelPortState").endsWith(QStringLiteral(": подключен, 1200 бит/с, 8O1")));
    QCOMPARE(w.portState(), LineStatus::PortState::Connected);

    w.ui->buttonClosePort->click();
    QTRY_VERIFY(statusText(w, "labelPortState").endsWith(QStringLiteral(": не подключен")));

    w.ui->buttonConnectPort->click();
    QTRY_COMPARE(w.portState(), LineStatus::PortState::Connected);
    emit w.hartLink()->lineLost(QStringLiteral("устройство отключено"));
    QCOMPARE(w.portState(), LineStatus::PortState::LineLost);
    QVERIFY(statusText(w, "labelPortState").endsWith(QStringLiteral(": связь потеряна (устройство отключено)")));
    // The loss stays shown until the engineer connects or closes again.
    w.ui->pbApplyComConf->click();
    QTest::qWait(20);
    QCOMPARE(w.portState(), LineStatus::PortState::LineLost);
    w.ui->buttonClosePort->click();
    QTRY_COMPARE(w.portState(), LineStatus::PortState::NotConnected);
    // A long path is shown by its end.
    QVERIFY(statusText(w, "labelPortState").contains(port.right(6)));
}

void TestWindowFlows::runsCountEveryStep_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("steps");
    QTest::newRow("bulk read") << "read" << 51 << 12;
    QTest::newRow("bulk write") << "write" << 52 << 12;
    QTest::newRow("parameter upload") << "upload" << 29 << 5;
    // Range corrections (3 reads), zero balance, serial number and model.
    QTest::newRow("parameters file save chain") << "saveChain" << 1000 << 6;
}

void TestWindowFlows::runsCountEveryStep()
{
    QFETCH(QString, what);
    QFETCH(int, kind);
    QFETCH(int, steps);
    MainWindow &w = m_bench->w();
    OperationProgress *p = w.operationProgress();
    QSignalSpy changed(p, &OperationProgress::changed);

    QVERIFY(startRun(what));
    QCOMPARE(p->kind(), kind);
    QCOMPARE(p->total(), steps);
    QTRY_VERIFY_WITH_TIMEOUT(p->state() == OperationProgress::State::Finished, 15000);
    QVERIFY2(p->outcome() == OperationProgress::Outcome::Complete, qPrintable(p->resultText()));
    QCOMPARE(p->done(), steps);
    QVERIFY(!w.isBusy());
    // The count moved once a step, between its start and its end.
    QVERIFY(changed.count() >= steps + 2);
    QVERIFY(w.messageLog()->toText().contains(QStringLiteral(": готово, ")));
    if (what == QLatin1String("saveChain")) {
        QFile f(m_sandbox.filePath(QStringLiteral("params.txt")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY2(text.contains("serial:") && text.contains("model_code:"), text.constData());
        QVERIFY(!w.deviceOps.saveChainActive());
    }
}

void TestWindowFlows::cancelStopsTheQueue_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("after");      // steps in when the engineer cancels
    QTest::addColumn<bool>("inFlight");  // cancelled with the next request out
    QTest::addColumn<QString>("pane");
    QTest::newRow("bulk read between requests") << "read" << 3 << false << "textEditStatusSettingsDevice";
    QTest::newRow("bulk read in flight") << "read" << 3 << true << "textEditStatusSettingsDevice";
    QTest::newRow("bulk write in flight") << "write" << 5 << true << "textEditStatusSettingsDevice";
    QTest::newRow("upload between requests") << "upload" << 2 << false << "textEditStatusCalibration";
    QTest::newRow("save chain in flight") << "saveChain" << 2 << true << "textEditStatusCalibration";
}

void TestWindowFlows::cancelStopsTheQueue()
{
    QFETCH(QString, what);
    QFETCH(int, after);
    QFETCH(bool, inFlight);
    QFETCH(QString, pane);
    MainWindow &w = m_bench->w();
    OperationProgress *p = w.operationProgress();
    auto *cancel = w.ui->statusBar->findChild<QPushButton *>(QStringLiteral("pbCancelOperation"));
    QVERIFY(cancel);

    // The engineer's click, from the event loop: between two requests (the
    // link waits for its period) or once the next request is out.
    bool armed = true;
    int sentAtCancel = -1;
    bool busyAtCancel = false;
    int sent = 0;
    auto click = [&] {
        if (!armed || p->done() < after || p->state() != OperationProgress::State::Running)
            return;
        armed = false;
        QTimer::singleShot(0, cancel, [&, cancel] {
            sentAtCancel = sent;
            busyAtCancel = w.hartLink()->isBusy();
            QVERIFY(cancel->isEnabled());
            cancel->click();
        });
    };

    // Counted from the run's start: a write first reads the record it
    // sends, then the serial number of the device it writes, outside the run.
    QMetaObject::Connection counter, hook;
    QVERIFY(startRun(what, [&] {
        counter = connect(w.hartLink(), &protocolComHart::requestSend, this, [&] {
            if (p->isActive())
                ++sent;
        });
        hook = inFlight ? connect(w.hartLink(), &protocolComHart::requestSend, this, click)
                        : connect(p, &OperationProgress::changed, this, click);
    }));
    QTRY_VERIFY_WITH_TIMEOUT(p->state() == OperationProgress::State::Finished, 15000);
    disconnect(hook);
    QTRY_VERIFY(linkIdle(w));
    QTest::qWait(100);     // longer than a period: nothing more goes out
    disconnect(counter);

    QCOMPARE(p->outcome(), OperationProgress::Outcome::Cancelled);
    QVERIFY(sentAtCancel >= after);
    // Only what was out when the cancel came: the request in flight ends
    // with its outcome, the rest of the queue is dropped. A request whose
    // bytes were already being written counts as sent once the write ends.
    QVERIFY2(sent == sentAtCancel || (busyAtCancel && sent == sentAtCancel + 1),
             qPrintable(QStringLiteral("sent %1, %2 at the cancel").arg(sent).arg(sentAtCancel)));
    QCOMPARE(p->done(), sent);
    QVERIFY(p->done() < p->total());
    QVERIFY(!w.isBusy());
    QVERIFY(w.ui->buttonGetPressue->isEnabled());
    // Partial, in red, where the engineer looks.
    auto *paneEdit = w.findChild<QTextEdit *>(pane);
    const QString verdict = QStringLiteral("результат неполный (остановлено оператором)");
    QVERIFY2(paneEdit->toPlainText().contains(verdict), qPrintable(paneEdit->toPlainText()));
    QCOMPARE(lineColour(paneEdit, verdict), QColor(Qt::red));
    if (what == QLatin1String("saveChain")) {
        QVERIFY(!w.deviceOps.saveChainActive());
        QVERIFY(paneEdit->toPlainText().contains(QStringLiteral("params.txt неполный")));
    }
    // The next run starts normally.
    QVERIFY(startRun(QStringLiteral("read")));
    QTRY_VERIFY_WITH_TIMEOUT(p->state() == OperationProgress::State::Finished, 15000);
    QCOMPARE(p->outcome(), OperationProgress::Outcome::Complete);
}

void TestWindowFlows::scanLogsAbsentDevicesAndOffersTheFill()
{
    MainWindow &w = m_bench->w();
    m_bench->line.addDevice(5);
    w.scanPeriod = 20;
    w.scanTimeout = 60;
    w.scanRepeats = 1;
    OperationProgress *p = w.operationProgress();
    w.ui->tabWidget->setCurrentWidget(w.ui->tabFunction3);
    w.ui->buttonFindDevice->click();
    QCOMPARE(p->kind(), 2);
    QCOMPARE(p->total(), 16);
    QTRY_VERIFY_WITH_TIMEOUT(p->state() == OperationProgress::State::Finished, 15000);
    QCOMPARE(p->outcome(), OperationProgress::Outcome::Complete);
    QCOMPARE(w.lastScanAddresses(), (QVector<int>{0, 5}));

    // No device at an address is the scan's normal finding: no time-out
    // error, a plain line; the devices found are confirmed.
    QTextEdit *dev = w.ui->textEditStatus;
    QVERIFY(!dev->toPlainText().contains(QStringLiteral("Таймаут операции")));
    QVERIFY(!w.ui->textEditStatusSettingsDevice->toPlainText().contains(QStringLiteral("Таймаут операции")));
    QCOMPARE(lineColour(dev, QStringLiteral("по адресу 07 устройства нет")), QColor(Qt::black));
    QCOMPARE(lineColour(dev, QStringLiteral("по адресу 05 найдено устройство")), bench::successColour);
    QVERIFY(w.msgBoxScanAddr->informativeText().contains(QStringLiteral("опрошено 16 из 16 адресов")));

    // The rows change only on the offer's own click.
    const PollChannel &first = w.channels().at(0);
    QVERIFY(!first.enable->isChecked());
    auto *fill = w.msgBoxScanAddr->findChild<QPushButton *>(QStringLiteral("pbFillPollRows"));
    QVERIFY(fill);
    QVERIFY(fill->text().contains(QStringLiteral("00, 05")));
    fill->click();
    QTRY_VERIFY(!w.msgBoxScanAddr->isVisible());
    QCOMPARE(w.channels().at(0).enable->isChecked(), true);
    QCOMPARE(w.channels().at(0).address->currentData().toInt(), 0);
    QCOMPARE(w.channels().at(1).enable->isChecked(), true);
    QCOMPARE(w.channels().at(1).address->currentData().toInt(), 5);
    QCOMPARE(w.channels().at(2).enable->isChecked(), false);

    // A real time-out elsewhere stays red.
    m_bench->line.removeDevice(0);
    w.ui->tabWidget->setCurrentWidget(w.ui->tabCalibration);
    w.ui->comboBoxMainAddr->setCurrentIndex(0);
    w.pollTimeout = 60;
    w.ui->buttonGetPressue->click();
    QTRY_VERIFY(w.ui->textEditStatusCalibration->toPlainText().contains(QStringLiteral("Таймаут операции")));
    QCOMPARE(lineColour(w.ui->textEditStatusCalibration, QStringLiteral("Таймаут операции")), QColor(Qt::red));

    // Closing the box mid-scan is a cancel: the count says so.
    w.ui->buttonFindDevice->click();
    QTRY_VERIFY(p->done() >= 3);
    w.msgBoxScanAddr->button(QMessageBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(p->state() == OperationProgress::State::Finished, 5000);
    QCOMPARE(p->outcome(), OperationProgress::Outcome::Cancelled);
}

void TestWindowFlows::paneLinesReachLogAndStatusBar()
{
    MainWindow &w = m_bench->w();
    MessageLog *log = w.messageLog();
    log->clear();
    w.ui->tabWidget->setCurrentWidget(w.ui->tabForDevice);
    w.ui->buttonGetDeviceType->click();
    QTRY_VERIFY(log->toText().contains(QStringLiteral("[Настройка устройства] Учитываемое значение амплитуды импульса получено")));
    // The last pane line shows in the status bar in its pane's colour.
    QTRY_VERIFY(!w.ui->statusBar->currentMessage().isEmpty());
    QVERIFY(w.ui->textEditStatusSettingsDevice->toPlainText().contains(w.ui->statusBar->currentMessage()));

    // A failure while locked still reaches the log and the status bar.
    w.ui->buttonClosePort->click();
    w.ui->lineEditPassword->setText(QString());
    QVERIFY(w.isInterfaceLocked());
    w.ui->buttonFunction3Send->click();
    QTRY_VERIFY(w.ui->statusBar->currentMessage().startsWith(QStringLiteral("Порт не открыт!!")));
    // The panes' line, then what only the status bar said, from the port.
    const MessageLog::Entry &pane = log->entry(log->size() - 2);
    QCOMPARE(pane.text, QStringLiteral("Порт не открыт!!"));
    QCOMPARE(QColor::fromRgba(pane.colour), QColor(Qt::red));
    const MessageLog::Entry &last = log->entry(log->size() - 1);
    QCOMPARE(last.source, QStringLiteral("Порт"));
    QCOMPARE(last.text, w.ui->statusBar->currentMessage());
    QCOMPARE(QColor::fromRgba(last.colour), QColor(Qt::red));

    // The log is there from the status bar whatever the lock state.
    auto *button = w.ui->statusBar->findChild<QAbstractButton *>(QStringLiteral("pbShowMessageLog"));
    QVERIFY(button);
    button->click();
    QTRY_VERIFY(w.messageLogDock()->isVisibleTo(&w));
    QVERIFY(w.messageLogDock()->findChild<QListView *>(QStringLiteral("listViewMessageLog"))->model()->rowCount() > 0);
    button->click();
    QTRY_VERIFY(!w.messageLogDock()->isVisibleTo(&w));
}

void TestWindowFlows::settingsActionAndConsolePreset()
{
    MainWindow &w = m_bench->w();
    w.ui->tabWidget->setCurrentWidget(w.ui->tabFunction3);
    w.ui->actionSettings->trigger();
    QCOMPARE(w.ui->tabWidget->currentWidget(), w.ui->tabSettings);

    // A first start shows the first register preset and its address, so a
    // request never goes to register 0 by accident.
    QCOMPARE(w.ui->comboBoxRegisters->currentText(), QStringLiteral("Pstat 0x1E"));
    QCOMPARE(w.ui->lineAddr91_2->text(), QStringLiteral("00"));
    QCOMPARE(w.ui->lineAddr91->text(), QStringLiteral("1e"));
    QCOMPARE(w.ui->spinBoxSymData91->value(), 4);
}

void TestWindowFlows::fileNamesFollowTheSerial()
{
    MainWindow &w = m_bench->w();
    QVERIFY(w.parametersDialog()->suggestedFileName);
    // Unknown until the device has been asked.
    QCOMPARE(w.knownSerialNumber(), QString());
    QCOMPARE(w.parametersDialog()->suggestedFileName(), QString());
    m_bench->device->setU32(0x003A, 4242);
    w.ui->pbGetSerial->click();
    QTRY_COMPARE(w.ui->leGetSerial->text(), QStringLiteral("4242"));
    QCOMPARE(w.knownSerialNumber(), QStringLiteral("4242"));
    QCOMPARE(w.parametersDialog()->suggestedFileName(), QStringLiteral("parameters_4242.txt"));
}

void TestWindowFlows::secondSaveSupersedesTheFirst()
{
    MainWindow &w = m_bench->w();
    OperationProgress *p = w.operationProgress();
    w.onSaveToFile(m_sandbox.filePath(QStringLiteral("first.txt")));
    QVERIFY(p->isActive());
    // Saved again before the device has answered: the first run ends, the
    // second one's file gets the device's part.
    w.onSaveToFile(m_sandbox.filePath(QStringLiteral("second.txt")));
    QVERIFY(p->isActive());
    QCOMPARE(p->kind(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(p->state() == OperationProgress::State::Finished, 15000);
    QVERIFY2(p->outcome() == OperationProgress::Outcome::Complete, qPrintable(p->resultText()));
    QFile f(m_sandbox.filePath(QStringLiteral("second.txt")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("model_code:"));
    QVERIFY(w.messageLog()->toText().contains(QStringLiteral("(начата другая операция)")));
}

QTEST_MAIN(TestWindowFlows)
#include "tst_windowflows.moc"
