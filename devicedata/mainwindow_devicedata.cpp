// The device data dialog seen from the main window: opening it, and the bulk
// read and write of the whole device data record under operation codes 51
// and 52. What goes into each block and how an answer turns into row texts is
// the business of BulkBlocks; here are only the widgets and the link.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "ui_dumpdialog.h"

#include "app/messagelog.h"
#include "app/progresspanel.h"
#include "app/statusbarparts_p.h"
#include "devicedata/bulkblocks.h"
#include "devicedata/dumpdialog.h"
#include "devicedata/numbertext.h"
#include "device/operations.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"

#include <QLineEdit>
#include <QMessageBox>

namespace {
constexpr int CodeRead = 51;
constexpr int CodeWrite = 52;
constexpr int CommandRead = 51;
constexpr int CommandWrite = 91;

void deleteDumpDialog(DumpDialog *dialog)
{
    delete dialog;
}
}

void MainWindow::setupDeviceData()
{
    dumpDialog = std::unique_ptr<DumpDialog, void (*)(DumpDialog *)>(new DumpDialog(nullptr),
                                                                     &deleteDumpDialog);
    connect(ui->pbMemDump, &QPushButton::clicked, this, &MainWindow::onDeviceMemoryDump);
    connect(dumpDialog.get(), &DumpDialog::onRecvCoefs, this, &MainWindow::onRecvCoefsFromDevice);
    connect(dumpDialog.get(), &DumpDialog::onSendCoefs, this, &MainWindow::onSendCoefsToDevice);
    connect(dumpDialog.get(), &DumpDialog::onApplySettings, this,
            &MainWindow::onApplyProgramSettings);
    // The dialog's own status line reaches the log and the status bar.
    connect(dumpDialog.get(), &DumpDialog::statusReported, this, [this](const QString &text, bool failure) {
        showStatusMessage(text, failure ? QColor(Qt::red) : successColour(), -1, LogSource::deviceData());
    });
    // A loaded file is not the read whose verdict the dialog still shows.
    connect(dumpDialog.get(), &DumpDialog::recordLoaded, this, [this] {
        if (m_statusParts && m_statusParts->dumpPanel)
            m_statusParts->dumpPanel->hide();
    });
}

void MainWindow::onDeviceMemoryDump()
{
    dumpDialog->clearAll();
    dumpDialog->setModal(true);
    dumpDialog->show();
}

void MainWindow::showDeviceDataMessage(QWidget *parent, bool critical, const QString &title,
                                       const QString &text)
{
    // Opened rather than executed: the link keeps working under the box, and
    // a test can see and close it.
    auto *box = new QMessageBox(critical ? QMessageBox::Critical : QMessageBox::Information, title,
                                text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool MainWindow::startDeviceDataTransfer()
{
    if (startExchange())
        return true;
    showDeviceDataMessage(dumpDialog.get(), true, QStringLiteral("Ошибка"),
                          QStringLiteral("Порт не открыт"));
    return false;
}

QVector<QByteArray> MainWindow::deviceDataFrames(int command, const QVector<QByteArray> &requests)
{
    QVector<RequestItem> items;
    for (const QByteArray &data : requests)
        items.append({command, data});
    return batchFrames(items);
}

void MainWindow::onRecvCoefsFromDevice()
{
    if (!startDeviceDataTransfer())
        return;

    dumpDialog->beginDeviceRead();

    // The program rows show what this tool runs with now.
    const SerialConfig &c = link->serialConfig();
    BulkBlocks::ProgramSettings s;
    s.baudRate = c.baudRate;
    s.dataBits = c.dataBits;
    s.parity = c.parity;
    s.stopBits = c.stopBits;
    s.flowControl = c.flowControl;
    s.rtsDelay = c.rtsDelay;
    s.pollPeriod = pollPeriod;
    s.pollTimeout = pollTimeout;
    s.pollRepeats = pollRepeats;
    s.scanPeriod = scanPeriod;
    s.scanTimeout = scanTimeout;
    s.scanRepeats = scanRepeats;
    for (const BulkBlocks::ProgramRowValue &row : BulkBlocks::programRowsFromSettings(s)) {
        const QString key = QString::fromLatin1(DeviceItems::programItem(row.row).key);
        dumpDialog->setProgramText(key, row.text);
        dumpDialog->setProgramPalette(key, row.ok ? paletteSuccess : paletteFailure);
    }

    const QVector<QByteArray> frames = deviceDataFrames(CommandRead, BulkBlocks::readRequests());
    runBatch(CodeRead, pollPeriod, frames);
    beginDeviceDataTransfer(CodeRead, frames.size());
}

void MainWindow::onSendCoefsToDevice()
{
    // A typed password is a byte or nothing is written: "256" or "12a"
    // would otherwise go out as the device's password 0. Empty is no
    // password, as before.
    QLineEdit *typed = dumpDialog->form()->lePassword;
    int password = -1;
    if (!typed->text().trimmed().isEmpty()) {
        const NumberText::InputValue v = NumberText::readInput(typed->text(), NumberText::InputRule::integer(0, 255));
        typed->setPalette(v.ok ? QPalette() : paletteFailure);
        if (!v.ok) {
            const QString text = QStringLiteral("Запись в устройство не выполнена: ")
                    + NumberText::inputRefusal(QStringLiteral("Пароль на запись"), v);
            reportFailure(text);
            showDeviceDataMessage(dumpDialog.get(), true, QStringLiteral("Ошибка"), text);
            return;
        }
        password = int(v.value);
    }
    if (!startDeviceDataTransfer())
        return;
    // The dialog has checked that every device row has a text.
    const QVector<QByteArray> frames =
        deviceDataFrames(CommandWrite, BulkBlocks::writeRequests(dumpDialog->record(), password));
    PendingWrite write;
    write.what = QStringLiteral("Данные устройства");
    write.say = [this](const QString &text) { appendStatus(ui->textEditStatusSettingsDevice, text); };
    write.refuse = [this](const QString &text) {
        reportFailure(text, ui->textEditStatusSettingsDevice);
        dumpDialog->showFailure(text);
    };
    write.write = [this, frames] {
        runBatch(CodeWrite, pollPeriod, frames);
        beginDeviceDataTransfer(CodeWrite, frames.size());
    };
    writeAfterSerialRead(frames, std::move(write));
}

void MainWindow::handleDeviceDataAnswer(int code)
{
    const int address = BulkBlocks::requestAddress(link->requestData());
    const uint8_t status1 = answerResponseCode();
    // A block the device refused is neither read nor written: its rows stay
    // empty (read) or turn red (write), and the end of the batch counts it.
    const bool refused = !ResponseCode::executed(status1);
    if (refused && m_transfer.code == code && link->answerOperation() == code) {
        ++m_transfer.refused;
        const QString why = QStringLiteral("код %1 (%2)").arg(status1).arg(ResponseCode::meaning(status1));
        if (!m_transfer.refusals.contains(why))
            m_transfer.refusals.append(why);
    }
    const bool intact = link->answerChecksumOk() && !refused;

    if (code == CodeRead) {
        // A damaged or refused answer leaves the block's rows empty.
        if (!intact) {
            noteDeviceDataOutcome(false);
            return;
        }
        const QVector<BulkBlocks::ItemValue> values = BulkBlocks::decodeReadAnswer(address, link->answerData());
        for (const BulkBlocks::ItemValue &v : values) {
            dumpDialog->setDeviceText(v.position, v.text);
            dumpDialog->setDevicePalette(v.position, paletteSuccess);
        }
        noteDeviceDataOutcome(!values.isEmpty());
        return;
    }

    if (code == CodeWrite) {
        for (int position : BulkBlocks::writeBlockPositions(address))
            dumpDialog->setDevicePalette(position, intact ? paletteSuccess : paletteFailure);
        if (!intact && m_transfer.code == code)
            m_transfer.failedBlocks << BulkBlocks::writeBlockName(address);
        noteDeviceDataOutcome(intact);
    }
}

// ------------------------------------------------ how far a transfer got

void MainWindow::beginDeviceDataTransfer(int code, int blocks)
{
    m_transfer = DeviceDataTransfer();
    m_lastTransfer = DeviceDataTransfer();
    if (blocks > 0) {
        m_transfer.code = code;
        m_transfer.blocks = blocks;
    }
}

void MainWindow::noteDeviceDataOutcome(bool intact)
{
    if (m_transfer.code == 0 || link->answerOperation() != m_transfer.code)
        return;
    ++m_transfer.outcomes;
    if (intact)
        ++m_transfer.intact;
    if (m_transfer.outcomes < m_transfer.blocks)
        return;
    const DeviceDataTransfer done = m_transfer;
    m_lastTransfer = done;
    m_transfer = DeviceDataTransfer();
    if (done.intact >= done.blocks)
        return;
    // Blocks that timed out, came back damaged or were refused: the record
    // is not whole.
    QString text = done.code == CodeRead
        ? QStringLiteral("Чтение не завершено: получено %1 из %2 блоков").arg(done.intact).arg(done.blocks)
        : QStringLiteral("Запись не завершена: записано %1 из %2 блоков").arg(done.intact).arg(done.blocks);
    if (done.refused > 0)
        text += QStringLiteral(", %1 отклонены прибором: %2").arg(done.refused).arg(done.refusals.join(QStringLiteral(", ")));
    if (done.code == CodeRead)
        dumpDialog->setIncomplete(text);
    dumpDialog->showFailure(text);
    reportFailure(text);
}

void MainWindow::noteDeviceDataTimeout()
{
    if (m_transfer.code == CodeWrite && link->answerOperation() == CodeWrite)
        m_transfer.failedBlocks << BulkBlocks::writeBlockName(BulkBlocks::requestAddress(link->requestData()));
    noteDeviceDataOutcome(false);
}

void MainWindow::abortDeviceDataTransfer(const QString &reason)
{
    const DeviceDataTransfer cut = m_transfer;
    m_lastTransfer = cut;
    m_transfer = DeviceDataTransfer();
    if (cut.code == 0)
        return;
    const QString text = cut.code == CodeRead
        ? QStringLiteral("Чтение прервано: получено %1 из %2 блоков (%3)").arg(cut.intact).arg(cut.blocks).arg(reason)
        : QStringLiteral("Запись прервана: записано %1 из %2 блоков (%3)").arg(cut.intact).arg(cut.blocks).arg(reason);
    if (cut.code == CodeRead)
        dumpDialog->setIncomplete(text);
    dumpDialog->showFailure(text);
}
