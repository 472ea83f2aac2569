// The answer dispatcher: every outcome the link reports comes here tagged
// with the operation code in force. The head and the tail are common; each
// code goes to the handler of the subsystem that owns it.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "console/consoleformat.h"
#include "guided/guidedlink.h"
#include "link/hartanswer.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"

#include <QPushButton>
#include <QTextEdit>

namespace {
// The short address a request went to: the third byte of a long address,
// the one byte of a short one without its master and burst bits.
QString requestShortAddress(const QByteArray &address)
{
    if (address.isEmpty())
        return QStringLiteral("??");
    const auto a = uint8_t(address.size() == 5 ? uint8_t(address.at(2))
                                               : uint8_t(address.at(0)) & HartAnswer::AddressMask);
    return ConsoleFormat::byteText(a);
}
}

void MainWindow::answerIsGet(int status)
{
    // Taken before the handlers: a handler may send the next request. A
    // time-out is reported as 0; the request it ends had its own code.
    const int outcomeCode = status == 0 ? link->answerOperation() : status;
    const bool answerIntact = status != 0 && link->answerChecksumOk();
    // An intact answer that refuses is no step done.
    const bool done = answerIntact && ResponseCode::executed(link->answer().status1());

    // The console disables its send button while its request is out.
    ui->buttonSend->setEnabled(true);

    if (m_staleOutcome) {
        // The answer (or time-out) of a loop that has been ended: it is none
        // of the operation that took the line, and must not release its lock.
        m_staleOutcome = false;
        return;
    }

    if (outcomeCode == GuidedLink::Operation) {
        // The guided run hears its own outcomes and reports them itself.
        noteLinkOutcome(outcomeCode, status != 0, answerIntact, done);
        return;
    }

    switch (status) {
    case 0: {
        ui->buttonSetFixedCurrent->setEnabled(true);
        if (outcomeCode == 2) {
            // An address nobody answers is the scan's usual finding, not
            // a failure of the line.
            logScanOutcome(false);
            if (scanRunning)
                handleScanTimeout();
            break;
        }
        // The calculation goes on without its serial number or sensor type.
        if (outcomeCode == 27 && handleCalcTimeout())
            break;
        // A write whose device did not give its serial number is not sent.
        if (outcomeCode == WriteIdentity::Operation) {
            handleWriteSerialOutcome(false);
            break;
        }
        if (outcomeCode == 28)
            noteCoefficientBlock(false);
        const QString text = QStringLiteral("Таймаут операции\n");
        if (outcomeCode == 3) {
            // A poll time-out: the panes say what they always said, the log
            // names the device, one entry per silent device counting its
            // time-outs.
            appendPaneOnly(ui->textEditStatus, text);
            appendPaneOnly(ui->textEditStatusSettingsDevice, text);
            if (ui->tabWidget->currentWidget() == ui->tabCalibration)
                appendPaneOnly(ui->textEditStatusCalibration, text, Qt::red);
            const QString line = QStringLiteral("Таймаут операции: %1 не ответил")
                                     .arg(requestShortAddress(link->requestAddress()));
            if (MessageLog *log = messageLog())
                log->appendCycled(LogSource::polling(), line, QColor(Qt::red).rgba());
            showStatusText(line, Qt::red, -1);
            break;
        }
        appendStatus(ui->textEditStatus, text);
        appendStatus(ui->textEditStatusSettingsDevice, text);
        if (ui->tabWidget->currentWidget() == ui->tabCalibration)
            appendStatus(ui->textEditStatusCalibration, text, Qt::red);
        noteDeviceDataTimeout();
        break;
    }
    case 1:     // developer console
        showConsoleAnswer();
        break;
    case 2:     // device scan
        showConsoleAnswer();
        handleScanAnswer();
        break;
    case 3:     // cyclic polling
        showConsoleAnswer();
        handlePollingAnswer();
        break;
    case WriteIdentity::Operation:      // the serial number before a write
        handleWriteSerialOutcome(true);
        break;
    case 28:    // parameter download: a block not taken is named, the rest as any operation's
        if (!noteCoefficientBlock(true))
            handleDeviceAnswer(status);
        break;
    case 51:    // device data record read
    case 52:    // device data record write
        handleDeviceDataAnswer(status);
        break;
    case 27:    // the reads before the least-squares calculation
        // It says a refusal itself, naming the read, and goes on or stops.
        handleCalcAnswer(status);
        break;
    case 29:    // parameter upload into the parameters dialog
        // A refusal carries no values to upload.
        if (reportResponseCode(answerResponseCode(), ui->textEditStatusCalibration))
            handleCalcAnswer(status);
        break;
    default:    // single device operations, coefficient tabs, parameter download
        handleDeviceAnswer(status);
        break;
    }

    // The calculation's reads follow one another under one lock.
    if (busy && !calcChainPending())
        setBusy(false);
    noteLinkOutcome(outcomeCode, status != 0, answerIntact, done);
    if (m_pollPassLeft > 0 && outcomeCode == 3 && --m_pollPassLeft == 0)
        endPollPass();
}
