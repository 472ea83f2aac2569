// The device scan: command 0 to each of the sixteen short addresses in turn
// under the scan timing, progress in the scan box line by line, and the
// address lists of the console and of the polling channels replaced by the
// addresses that answered. The reset restores the full lists.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/operationprogress.h"
#include "console/consoleformat.h"
#include "link/protocolcomhart.h"
#include "app/pollrowfill.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

void MainWindow::setupScan()
{
    connect(ui->buttonFindDevice, &QPushButton::clicked, this, &MainWindow::sendFindRequest);
    connect(ui->buttonResetAddr, &QPushButton::clicked, this, &MainWindow::resetAddress);
    connect(msgBoxScanAddr, &QMessageBox::finished, this, &MainWindow::onMsgBoxScanAddrExit);
    connect(link, &protocolComHart::lateAnswer, this, &MainWindow::onLateAnswer);
}

void MainWindow::sendFindRequest()
{
    if (!checkPortOpen())
        return;
    takeLine(2);

    ui->comboBoxMainAddr->clear();
    for (const PollChannel &ch : qAsConst(pollChannels))
        ch.address->clear();
    link->clearQueue();

    for (int a = 0; a < 16; ++a) {
        buildRequest(ui->spinBoxSymPreamble->value(), false, uint8_t(a), 0);
        link->enqueue(builtRequest());
    }

    // Shown without blocking: the scan runs on the event loop under it.
    msgBoxScanAddr->setWindowFlags(Qt::Dialog);
    msgBoxScanAddr->setWindowTitle(QStringLiteral("Поиск устройств"));
    msgBoxScanAddr->setText(QStringLiteral("Поиск устройств...\n"));
    scanRunning = true;
    msgBoxScanAddr->setModal(true);
    msgBoxScanAddr->show();
    msgBoxScanAddr->raise();
    msgBoxScanAddr->activateWindow();

    link->setPeriod(scanPeriod);
    link->setTimeout(scanTimeout);
    link->setRepeats(scanRepeats);
    m_scanLate.clear();
    m_scanLatePending.clear();
    m_scanLateSaid = 0;
    link->setOperation(2);
    link->startQueue(false);
    trackOperation(2, 16);
}

void MainWindow::onMsgBoxScanAddrExit(int)
{
    // The request in flight still has its outcome; nothing is sent after it.
    link->clearQueue();
    scanRunning = false;
    OperationProgress *progress = operationProgress();
    if (progress && progress->isActive() && progress->kind() == 2)
        progress->requestCancel();
    // The fill offer is taken only by its own button.
    QAbstractButton *fill = msgBoxScanAddr->findChild<QAbstractButton *>(QStringLiteral("pbFillPollRows"));
    if (fill && msgBoxScanAddr->clickedButton() == fill)
        fillPollRowsFromScan();
    if (fill) {
        msgBoxScanAddr->removeButton(fill);
        fill->deleteLater();
    }
}

void MainWindow::resetAddress()
{
    scanRunning = false;
    link->clearQueue();
    fillAddressList(ui->comboBoxMainAddr);
    for (const PollChannel &ch : qAsConst(pollChannels))
        fillAddressList(ch.address);
}

void MainWindow::appendScanText(const QString &text)
{
    msgBoxScanAddr->setText(msgBoxScanAddr->text() + text);
}

void MainWindow::addFoundAddress(int address)
{
    const QString text = ConsoleFormat::byteText(uint8_t(address));
    ui->comboBoxMainAddr->addItem(text, address);
    appendScanText(QStringLiteral(" найдено\n"));
    flushScanLate();
    for (const PollChannel &ch : qAsConst(pollChannels))
        ch.address->addItem(text, address);
}

void MainWindow::handleScanAnswer()
{
    // Any answer counts, a damaged one too: the device is there.
    addFoundAddress(link->answerAddress());
    logScanOutcome(true);
}

void MainWindow::handleScanTimeout()
{
    appendScanText(QStringLiteral(" не найдено\n"));
    flushScanLate();
}

// ---------------------------------------------------------------- late answers

namespace {
QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}
}

void MainWindow::onLateAnswer(int address, int, int operation, int afterMs, int timeoutMs)
{
    // The operation that timed out has said so already; the device did
    // answer (and, for a command that acts, may have acted), which the
    // engineer has to know to set the time-out right.
    const QString at = ConsoleFormat::byteText(uint8_t(address));
    const QString late = QStringLiteral("ответ от %1 пришёл через %2 с, после тайм-аута %3 с")
                             .arg(at, seconds(afterMs), seconds(timeoutMs));
    if (operation != 2) {
        reportFailure(late + QStringLiteral("; увеличьте тайм-аут"));
        return;
    }
    if (!m_scanLate.contains(address))
        m_scanLate.append(address);
    // In the box between its lines, not in the middle of a probe's line.
    m_scanLatePending.append(late);
    if (msgBoxScanAddr->text().endsWith(QLatin1Char('\n')))
        flushScanLate();
    if (!link->isQueueRunning() && !link->isBusy())
        sayScanLate();      // the probes are over: said now, not at their end
}

void MainWindow::flushScanLate()
{
    if (msgBoxScanAddr->isVisible())
        for (const QString &line : qAsConst(m_scanLatePending))
            appendScanText(line + QLatin1Char('\n'));
    m_scanLatePending.clear();
}

void MainWindow::sayScanLate()
{
    // A scan that found nothing is no proof of an empty line when devices
    // answered after its time-out.
    if (!lastScanAddresses().isEmpty() || m_scanLate.size() <= m_scanLateSaid)
        return;
    m_scanLateSaid = m_scanLate.size();
    flushScanLate();
    const QString text = QStringLiteral("Поиск: устройства ответили после тайм-аута: %1; увеличьте тайм-аут поиска")
                             .arg(PollRowFill::addressList(m_scanLate));
    if (msgBoxScanAddr->isVisible())
        appendScanText(text + QLatin1Char('\n'));
    reportFailure(text);
}
