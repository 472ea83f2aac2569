// The writes of a guided run and what guards them: the device at the
// address is the one planned (its serial number read before every write,
// and before the run goes on after a restart), what it held is kept before
// the first block goes, every block that went in is saved, a step with a
// device not written ends in the operator's choice and never in a green
// line, and what a device held can be put back.

#include "guided/guidedrun.h"

#include "devicedata/writeidentity.h"
#include "guided/guidedreport.h"

#include <QDir>
#include <QSaveFile>
#include <QTimer>

namespace {
bool written(const GuidedDeviceResult &d) { return d.calc == GuidedDeviceResult::Calc::Written; }
}

bool GuidedRun::needsCalc(int device) const
{
    const GuidedDeviceResult &d = m_cursor.devices[device];
    if (!d.active())
        return false;
    return !m_cursor.retryWrites || (!written(d) && d.calc != GuidedDeviceResult::Calc::Restored);
}

void GuidedRun::endCalculation()
{
    m_cursor.calcDevice = m_plan.devices.size() - 1;
    m_cursor.retryWrites = false;
    QStringList unwritten;
    for (int i = 0; i < m_plan.devices.size(); ++i)
        if (m_cursor.devices[i].active() && !written(m_cursor.devices[i]))
            unwritten << QStringLiteral("%1 (зав. № %2)").arg(m_plan.devices[i].addressText(), m_plan.devices[i].serialText());
    if (unwritten.isEmpty()) {
        m_cursor.verifyStep = 0;
        say(QStringLiteral("Расчет и запись закончены: переходим к поверке"));
        setPhase(GuidedPhase::SetVerifyTemperature);
        return;
    }
    setPhase(GuidedPhase::WriteReview);
    fail(QStringLiteral("Расчет и запись закончены с ошибками: не записаны %1. %2")
             .arg(unwritten.join(QStringLiteral(", ")), request()));
}

void GuidedRun::writeAgain()
{
    if (m_cursor.phase != GuidedPhase::WriteReview || m_paused || isWriting())
        return;
    m_cursor.retryWrites = true;
    m_cursor.calcDevice = 0;
    say(QStringLiteral("Запись незаписанных устройств снова"));
    setPhase(GuidedPhase::Calculating);
    calcNext();
}

// The devices not written leave the run before verification: a device is
// verified only as it was written.
void GuidedRun::goToVerification()
{
    for (int i = 0; i < m_plan.devices.size(); ++i) {
        const GuidedDeviceResult &d = m_cursor.devices[i];
        if (!d.active() || written(d))
            continue;
        leaveOut(i, d.calc == GuidedDeviceResult::Calc::Restored
                        ? QStringLiteral("возвращены прежние коэффициенты")
                        : QStringLiteral("коэффициенты не записаны: %1").arg(d.calcNote));
    }
    m_cursor.verifyStep = 0;
    if (activeCount() == 0) {
        fail(QStringLiteral("Поверять нечего: ни одно устройство не записано"));
        finishRun();
        return;
    }
    say(QStringLiteral("Переходим к поверке записанных устройств"));
    setPhase(GuidedPhase::SetVerifyTemperature);
}

void GuidedRun::sendJob()
{
    if (!m_job.running()) {
        jobDone();
        return;
    }
    const int i = m_job.record().device;
    const RequestItem r = m_job.next();
    if (m_link->send(m_plan.devices[i].address, uint8_t(r.command), r.data)) {
        m_pending = Pending::Write;
        return;
    }
    if (m_link->isPortOpen()) {
        QTimer::singleShot(10, this, [this] { sendJob(); });
        return;
    }
    // Not the device's fault: the write is taken up again (from the
    // identity check) when the run goes on.
    m_job.stop(QStringLiteral("порт не открыт"));
    noteJobProgress();
    emit writeRecorded(m_job.record());
    m_paused = true;
    fail(QStringLiteral("Порт не открыт, запись в прибор %1 не закончена (%2): ")
             .arg(m_plan.devices[i].addressText(), m_job.record().outcome) + portAdvice());
    emit changed();
}

void GuidedRun::onWriteReply(const GuidedReply &reply)
{
    if (!m_job.running())
        return;
    m_job.take(reply);
    QString why;
    if (m_job.priorJustRead() && !keepPrior(m_job.record(), &why))
        m_job.stop(QStringLiteral("прежние коэффициенты не сохранены (%1): запись не выполнена, в прибор ничего не "
                                  "записано").arg(why));
    noteJobProgress();
    sendJob();
}

// The blocks in the device so far, saved at once: a run killed in the
// middle of a write knows on restart what the device holds.
void GuidedRun::noteJobProgress()
{
    const GuidedWriteRecord &r = m_job.record();
    if (!r.blocksStarted)
        return;
    GuidedDeviceResult &d = m_cursor.devices[r.device];
    if (d.blocksWritten == r.written && d.blocksTotal == r.blocks.size())
        return;
    d.blocksWritten = r.written;
    d.blocksTotal = r.blocks.size();
    save();
}

void GuidedRun::jobDone()
{
    const GuidedWriteRecord r = m_job.record();
    if (r.restore)
        restoreDone(r);
    else
        writeDone();
}

QString GuidedRun::priorFile(int device) const
{
    return QDir(deviceDir(device)).filePath(GuidedPrior::fileName(m_plan.baseName));
}

bool GuidedRun::keepPrior(const GuidedWriteRecord &r, QString *why)
{
    // One file per device and run: a second write keeps what the device
    // held before the first, never what a cut write left in it.
    const QString path = priorFile(r.device);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(GuidedPrior::text(r.prior, r.address, r.serialRead, r.serial)) < 0
        || !f.commit()) {
        *why = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    m_cursor.devices[r.device].priorKept = true;
    if (!save()) {
        *why = m_error;
        return false;
    }
    say(QStringLiteral("Устройство %1: прежние коэффициенты сохранены в %2").arg(m_plan.devices[r.device].addressText(), path));
    return true;
}

bool GuidedRun::canRestore(int device) const
{
    if (device < 0 || device >= m_cursor.devices.size() || !m_cursor.devices[device].priorKept)
        return false;
    const GuidedPhase p = m_cursor.phase;
    const bool between = p == GuidedPhase::WriteReview || p == GuidedPhase::Done || p == GuidedPhase::Aborted;
    return between && m_pending == Pending::None && !isWriting() && !m_polling;
}

bool GuidedRun::restorePrior(int device, QString *why)
{
    if (!canRestore(device)) {
        *why = device >= 0 && device < m_cursor.devices.size() && !m_cursor.devices[device].priorKept
                   ? QStringLiteral("прежние коэффициенты этого устройства не сохранялись: прогон в него не писал")
                   : QStringLiteral("вернуть можно после записи (или по окончании прогона), когда ничего не "
                                    "выполняется");
        return false;
    }
    if (!m_link->isPortOpen()) {
        *why = QStringLiteral("порт не открыт");
        return false;
    }
    CalibrationCoefficients prior;
    if (!GuidedPrior::read(priorFile(device), &prior, why))
        return false;
    say(QStringLiteral("Устройство %1: возвращаются прежние коэффициенты").arg(m_plan.devices[device].addressText()));
    m_job.begin(device, m_plan.devices[device], prior, false, true);
    sendJob();
    emit changed();
    return true;
}

void GuidedRun::restoreDone(const GuidedWriteRecord &r)
{
    emit writeRecorded(r);
    GuidedDeviceResult &d = m_cursor.devices[r.device];
    const QString name = QStringLiteral("Устройство %1 (зав. № %2)")
                             .arg(m_plan.devices[r.device].addressText(), m_plan.devices[r.device].serialText());
    if (r.complete()) {
        d.calc = GuidedDeviceResult::Calc::Restored;
        say(QStringLiteral("%1: %2").arg(name, r.outcome));
    } else {
        if (r.written > 0)
            d.calc = GuidedDeviceResult::Calc::WriteFailed;
        d.calcNote = QStringLiteral("прежние коэффициенты не возвращены: %1").arg(r.outcome);
        fail(QStringLiteral("%1: %2").arg(name, d.calcNote));
    }
    if (m_cursor.phase == GuidedPhase::Done || m_cursor.phase == GuidedPhase::Aborted) {
        // The batch report must not call a device good that holds what it
        // held before.
        d.judge();
        QString error;
        if (!GuidedReport::writeText(reportBase() + QStringLiteral(".txt"), m_plan, m_cursor, &error))
            fail(QStringLiteral("Отчет партии не записан: %1").arg(error));
    }
    save();
    emit changed();
}

// ------------------------------------------------------------ identity after a restart

void GuidedRun::checkIdentity()
{
    m_identityOrder.clear();
    m_identityProblems.clear();
    for (int i = 0; i < m_plan.devices.size(); ++i)
        if (m_cursor.devices[i].active())
            m_identityOrder.append(i);
    say(QStringLiteral("Проверяются зав. № приборов на линии"));
    onIdentityReply(GuidedReply());
}

// Reads the next device's serial number; called first with no reply.
void GuidedRun::onIdentityReply(const GuidedReply &reply)
{
    if (reply.address >= 0 && m_pollDevice >= 0) {
        uint32_t serial = 0;
        bool read = false;
        const QString problem = GuidedWrite::identityProblem(m_plan.devices[m_pollDevice], reply, &serial, &read);
        if (!problem.isEmpty())
            m_identityProblems << problem;
    }
    if (m_paused)
        return;
    if (m_identityOrder.isEmpty()) {
        if (m_identityProblems.isEmpty()) {
            m_identityDue = false;
            say(QStringLiteral("Зав. № приборов на линии совпадают с планом"));
        } else {
            m_paused = true;
            fail(QStringLiteral("Прогон не продолжен: %1. Подключите приборы плана (или исключите устройство) и "
                                "нажмите «Продолжить»").arg(m_identityProblems.join(QStringLiteral("; "))));
        }
        emit changed();
        return;
    }
    readNext(&m_identityOrder, WriteIdentity::serialRead(), Pending::Identity, &GuidedRun::onIdentityReply);
}
