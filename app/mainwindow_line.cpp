// The line has one owner at a time. An operation that starts ends whatever
// loop was sending (the console's repeat, a cyclic poll, the pressure query)
// the way its own stop button would; and when the port goes away under the
// link, every loop, queue, scan, poll and chain stops, the lock is released
// and the window says so where the engineer looks.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "console/consoleformat.h"
#include "link/hartframe.h"
#include "link/protocolcomhart.h"

void MainWindow::takeLine(int code)
{
    // Left running, the console's repeat would go on sending under the new
    // operation's code: its answers would be taken for the operation's, and
    // a device-changing request handed to the link would be repeated every
    // period.
    if (loopRunning || link->isRepeating()) {
        stopLoop();
        // A new poll replaces the old one without a word; anything else
        // has stopped it.
        if (capture.pollEnded() && code != 3)
            reportPollStopped(QStringLiteral("остановлен: начата другая операция"));
        // The link sends one request at a time: the outcome still due is
        // the loop's and comes before any of the new operation's.
        m_staleOutcome = link->isBusy();
    }
    if (m_pressureQueryRunning && code != 50) {
        // Its cyclic queue is replaced by the operation's; the button must
        // not go on offering to stop a query that no longer runs.
        m_pressureQueryRunning = false;
        const OperationRequest stop = deviceOps.buildOperation(50);
        applyWidgetActions(stop.before);
    }
}

void MainWindow::onRepeatEnded()
{
    // Only the console's loop runs in repeat mode; a poll's loop flag is not
    // this signal's to clear.
    if (!loopRunning || link->isQueueRunning())
        return;
    leaveLoopState();
    if (!busy)
        setBusy(false);
}

void MainWindow::leaveLoopState()
{
    if (!interfaceLocked) {
        for (int i : {int(TabDeveloper), int(TabCalibration), int(TabKdsp)})
            ui->tabWidget->setTabEnabled(i, true);
    }
    ui->tabWidget->setTabEnabled(TabMiscCoefs, true);
    ui->tabWidget->setTabEnabled(TabDevice, true);
    loopRunning = false;
    m_pollPassLeft = 0;
}

void MainWindow::endPollPass()
{
    // Every request of the pass has been answered or has timed out: nothing
    // is in flight, so the window is idle again.
    leaveLoopState();
    setBusy(false);
    capture.pollEnded();
}

void MainWindow::reportUnbuiltFrames(int preamble, bool longFrame, const QVector<RequestItem> &items,
                                     const QString &error)
{
    int largest = 0;
    for (const RequestItem &item : items)
        largest = qMax(largest, HartRequestFrame::frameSizeFor(preamble, longFrame, item.data.size()));
    if (largest <= RequestBufferSize) {
        reportFailure(QStringLiteral("Запрос не отправлен: ") + error);
        return;
    }
    QString text = ConsoleFormat::oversizeText(largest, RequestBufferSize).trimmed();
    text += QStringLiteral(". Уменьшите число преамбул");
    if (longFrame)
        text += QStringLiteral(" или выберите короткий кадр");
    reportFailure(text);
}

void MainWindow::haltLineActivity(const QString &reason)
{
    // No answer will come any more to release what is still waiting for
    // one: the loops, the scan, the chains and the lock end here.
    link->stopSending();
    link->clearQueue();

    if (scanRunning) {
        scanRunning = false;
        appendScanText(QStringLiteral("\nПоиск прерван: ") + reason + QLatin1Char('\n'));
    }
    if (m_pressureQueryRunning) {
        m_pressureQueryRunning = false;
        applyWidgetActions(deviceOps.buildOperation(50).before);
    }
    if (deviceOps.saveChainActive()) {
        deviceOps.abortSaveChain();
        appendStatus(ui->textEditStatusCalibration,
                     QStringLiteral("Файл параметров записан не полностью: ") + reason + QLatin1Char('\n'),
                     Qt::red);
    }
    abortDeviceDataTransfer(reason);
    uploadedBlocks = 0;
    m_awaitedRequests.clear();
    m_staleOutcome = false;
    if (capture.pollEnded())
        reportPollStopped(QStringLiteral("остановлен: ") + reason);

    leaveLoopState();
    setBusy(false);
    ui->buttonSend->setEnabled(true);
    ui->buttonConnectPort->setEnabled(true);
}

void MainWindow::onLineLost(const QString &reason)
{
    // The link has closed the port and dropped its requests already.
    haltLineActivity(QStringLiteral("связь с портом потеряна"));
    // The status bar's port state and any progress end first, so that the
    // loss is the message left standing.
    showLineLostState(reason);
    reportFailure(QStringLiteral("Связь с портом потеряна: ") + reason, nullptr, 0, LogSource::port());
}
