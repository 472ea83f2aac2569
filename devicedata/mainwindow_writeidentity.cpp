// The serial read that opens every write to a device (the parameters
// dialog's coefficients or loaded file, the device data record), and the
// parameters dialog's blocks a device did not take. The history records the
// address written and the number read from it here, never a number typed
// or read from another address before.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "calc/dialog.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"

#include <QCheckBox>
#include <QComboBox>

#include <utility>

void MainWindow::sendAlone(int code, const QByteArray &frame)
{
    prepareLink(code, pollPeriod);
    // While the link still waits for an earlier request's answer it would
    // refuse the frame; queued, it goes out once that outcome is in.
    if (link->isBusy()) {
        link->enqueue(frame);
        link->startQueue(false);
    } else {
        link->sendFrame(frame);
    }
}

void MainWindow::writeAfterSerialRead(const QVector<QByteArray> &writeFrames, PendingWrite write)
{
    m_writeTarget = WriteTarget();
    // Frames that cannot be built (said by batchFrames) are refused before
    // anything is read: nothing goes out, so nothing would release the lock.
    const QVector<QByteArray> frames =
        writeFrames.isEmpty() ? QVector<QByteArray>() : batchFrames({WriteIdentity::serialRead()});
    if (frames.isEmpty()) {
        setBusy(false);
        return;
    }
    write.address = ui->comboBoxMainAddr->currentData().toInt();
    write.longFrame = ui->checkLongFrame->isChecked();
    m_pendingWrite = std::move(write);
    sendAlone(WriteIdentity::Operation, frames.first());
}

void MainWindow::handleWriteSerialOutcome(bool answered)
{
    if (!m_pendingWrite.waiting() || link->requestData() != WriteIdentity::serialRead().data)
        return;
    const PendingWrite p = std::exchange(m_pendingWrite, PendingWrite());
    WriteIdentity::Result r;
    if (link->operation() != WriteIdentity::Operation)
        r.why = QStringLiteral("до ответа прибора начата другая операция");
    else if (ui->comboBoxMainAddr->currentData().toInt() != p.address || ui->checkLongFrame->isChecked() != p.longFrame)
        r.why = QStringLiteral("адрес в окне изменен во время чтения");
    else
        r = WriteIdentity::decode(answered, answered && link->answerChecksumOk(), answerResponseCode(),
                                  link->answerData());
    if (!r.ok) {
        p.refuse(WriteIdentity::refusalText(p.what, p.address, r.why));
        return;
    }
    m_writeTarget = WriteTarget{p.address, r.serial};
    p.say(WriteIdentity::targetText(p.what, m_writeTarget));
    p.write();
}

bool MainWindow::noteCoefficientBlock(bool answered)
{
    const BlockWriteTally::Block *block = m_coefWrite.find(link->requestData());
    if (!block || link->answerOperation() != 28)
        return false;
    const uint8_t status1 = answerResponseCode();
    QString why;
    if (!answered)
        why = QStringLiteral("прибор не ответил");
    else if (!link->answerChecksumOk())
        why = QStringLiteral("ответ прибора искажен, запись не подтверждена");
    else if (!ResponseCode::executed(status1))
        why = QStringLiteral("прибор отказал: код ") + ResponseCode::status1Text(status1);
    else
        return false;
    // The values the device does not hold are seen where they were typed.
    dialogParam->markRefused(block->fields);
    dialogParam->show();
    reportFailure(m_coefWrite.fail(*block, why), ui->textEditStatusCalibration);
    return true;
}
