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
    int i = std::max(0, m_cursor.calcDevice);
    while (i < m_plan.devices.size() && !needsCalc(i))
        ++i;
    m_cursor.calcDevice = i;
    if (i >= m_plan.devices.size()) {
        endCalculation();
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
        refuseCalc(QStringLiteral("Pmax не прочитан (%1): расчет не выполнен").arg(reply.why));
        return;
    }
    m_calc.reset(new GuidedCalcResult(GuidedCalc::calculate(deviceDir(i), m_plan.devices[i], reply.data)));
    if (!m_calc->ok) {
        refuseCalc(m_calc->refusal);
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
        refuseCalc(m_calc->declined);
    }
}

// The write: the device's serial number, what it holds (kept before the
// first block goes), then the five blocks.
void GuidedRun::acceptCalc()
{
    const int i = m_cursor.calcDevice;
    m_job.begin(i, m_plan.devices[i], m_calc->written, !m_cursor.devices[i].priorKept, false);
    sendJob();
}

// The write's end: the device written whole, or not.
void GuidedRun::writeDone()
{
    const int i = m_cursor.calcDevice;
    const GuidedWriteRecord &r = m_job.record();
    emit writeRecorded(r);
    if (!r.complete()) {
        // Blocks of an earlier cut write are still in it when this one wrote none.
        const bool mixed = r.written > 0 || m_cursor.devices[i].calc == GuidedDeviceResult::Calc::WriteFailed;
        calcDone(mixed ? GuidedDeviceResult::Calc::WriteFailed : GuidedDeviceResult::Calc::Refused, r.outcome);
        return;
    }
    QString error;
    QStringList notes = m_calc->warnings;
    if (!GuidedCalc::writeReport(*m_calc, &error))
        notes << QStringLiteral("отчет расчета не записан: %1").arg(error);
    say(QStringLiteral("Устройство %1 (зав. № %2 прочитан перед записью): коэффициенты записаны, наибольшая невязка %3 % "
                       "от Pmax").arg(m_plan.devices[i].addressText()).arg(r.serial).arg(m_calc->worst, 0, 'f', 3));
    calcDone(GuidedDeviceResult::Calc::Written, notes.join(QStringLiteral("; ")));
}

void GuidedRun::refuseCalc(const QString &why)
{
    emit calculationRefused(m_cursor.calcDevice, why);
    calcDone(GuidedDeviceResult::Calc::Refused, why);
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
    if (state == GuidedDeviceResult::Calc::WriteFailed)
        fail(QStringLiteral("Устройство %1 (зав. № %2) записано не полностью: %3. Запишите его снова или верните "
                            "прежние коэффициенты").arg(m_plan.devices[i].addressText(), m_plan.devices[i].serialText(), note));
    else if (state != GuidedDeviceResult::Calc::Written)
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
