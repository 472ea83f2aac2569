// The calculation and writing of a guided run, device by device with the
// calculation and quality gate of the calibration tab, and the end of the
// run.

#include "guided/guidedrun.h"

#include "device/registermap.h"
#include "guided/guidedcalc.h"
#include "guided/guidedreport.h"

#include <QTimer>

void GuidedRun::calcNext()
{
    if (m_paused || m_cursor.phase != GuidedPhase::Calculating || m_pending != Pending::None)
        return;
    int i = m_cursor.calcDevice;
    while (i < m_plan.devices.size() && !m_cursor.devices[i].active())
        ++i;
    m_cursor.calcDevice = i;
    if (i >= m_plan.devices.size()) {
        m_cursor.calcDevice = m_plan.devices.size() - 1;
        m_cursor.verifyStep = 0;
        say(QStringLiteral("Расчет и запись закончены: переходим к поверке"));
        setPhase(GuidedPhase::SetVerifyTemperature);
        return;
    }
    if (pauseIfPortGone())
        return;
    if (!m_link->send(m_plan.devices[i].address, RegisterMap::CmdReadRegisters, GuidedCalc::parameterRequest())) {
        QTimer::singleShot(10, this, [this] { calcNext(); });
        return;
    }
    m_pending = Pending::Params;
    emit changed();
}

void GuidedRun::onParamsReply(const GuidedReply &reply)
{
    const int i = m_cursor.calcDevice;
    if (!reply.ok()) {
        calcDone(GuidedDeviceResult::Calc::Refused,
                 QStringLiteral("Pmax не прочитан (%1): расчет не выполнен").arg(reply.why));
        return;
    }
    m_calc.reset(new GuidedCalcResult(GuidedCalc::calculate(deviceDir(i), m_plan.devices[i], reply.data)));
    if (!m_calc->ok) {
        calcDone(GuidedDeviceResult::Calc::Refused, m_calc->refusal);
        return;
    }
    m_cursor.devices[i].fitWorstPercent = m_calc->worstPercent;
    if (m_calc->needsConfirmation) {
        fail(QStringLiteral("Устройство %1: %2").arg(m_plan.devices[i].addressText(), m_calc->question));
        setPhase(GuidedPhase::ConfirmFit);
        return;
    }
    acceptCalc();
}

void GuidedRun::answerFit(bool yes)
{
    if (m_cursor.phase != GuidedPhase::ConfirmFit || !m_calc)
        return;
    m_cursor.phase = GuidedPhase::Calculating;
    if (yes) {
        say(QStringLiteral("Оператор принял результат с невязкой %1 %").arg(m_calc->worst, 0, 'f', 3));
        acceptCalc();
    } else {
        calcDone(GuidedDeviceResult::Calc::Refused, m_calc->declined);
    }
}

void GuidedRun::acceptCalc()
{
    m_writes = GuidedCalc::writeRequests(m_calc->written);
    m_writeIndex = 0;
    onWriteReply(GuidedReply());
}

// Sends the next of the five writes; called first with no reply.
void GuidedRun::onWriteReply(const GuidedReply &reply)
{
    const int i = m_cursor.calcDevice;
    if (reply.address >= 0) {
        if (!reply.ok()) {
            calcDone(GuidedDeviceResult::Calc::WriteFailed,
                     QStringLiteral("запись в прибор не выполнена (блок %1 из %2): %3")
                         .arg(m_writeIndex + 1).arg(m_writes.size()).arg(reply.why));
            return;
        }
        ++m_writeIndex;
    }
    if (m_writeIndex >= m_writes.size()) {
        QString error;
        QStringList notes = m_calc->warnings;
        if (!GuidedCalc::writeReport(*m_calc, &error))
            notes << QStringLiteral("отчет расчета не записан: %1").arg(error);
        say(QStringLiteral("Устройство %1: коэффициенты записаны, наибольшая невязка %2 % от Pmax")
                .arg(m_plan.devices[i].addressText())
                .arg(m_calc->worst, 0, 'f', 3));
        calcDone(GuidedDeviceResult::Calc::Written, notes.join(QStringLiteral("; ")));
        return;
    }
    if (!m_link->send(m_plan.devices[i].address, RegisterMap::CmdWriteRegisters, m_writes[m_writeIndex])) {
        if (!m_link->isPortOpen()) {
            // Not this device's fault: it is calculated and written again
            // when the run goes on.
            m_paused = true;
            fail(QStringLiteral("Порт не открыт, запись в прибор %1 не закончена: ").arg(m_plan.devices[i].addressText())
                 + portAdvice());
            emit changed();
            return;
        }
        QTimer::singleShot(10, this, [this] { onWriteReply(GuidedReply()); });
        return;
    }
    m_pending = Pending::Write;
}

void GuidedRun::calcDone(GuidedDeviceResult::Calc state, const QString &note)
{
    const int i = m_cursor.calcDevice;
    GuidedDeviceResult &d = m_cursor.devices[i];
    d.calc = state;
    d.calcNote = note;
    if (state == GuidedDeviceResult::Calc::Written && m_calc) {
        d.setWritten(m_calc->written);
        emit calculationWritten(m_calc->report, m_calc->reportPath);
    }
    if (state != GuidedDeviceResult::Calc::Written)
        fail(QStringLiteral("Устройство %1 (зав. № %2) не записано: %3")
                 .arg(m_plan.devices[i].addressText(), m_plan.devices[i].serialText(), note));
    m_calc.reset();
    ++m_cursor.calcDevice;
    setPhase(GuidedPhase::Calculating);
    QTimer::singleShot(0, this, [this] { calcNext(); });
}

void GuidedRun::finishRun()
{
    for (GuidedDeviceResult &d : m_cursor.devices)
        d.judge();
    setPhase(GuidedPhase::Done);
    QString error;
    if (GuidedReport::writeText(reportBase() + QStringLiteral(".txt"), m_plan, m_cursor, &error))
        say(QStringLiteral("Отчет партии записан: %1.txt").arg(reportBase()));
    else
        fail(QStringLiteral("Отчет партии не записан: %1").arg(error));
    emit finished();
}
