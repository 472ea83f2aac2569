#include "guided/guidedrun.h"

#include "guided/guidedcalc.h"
#include "guided/guidedreport.h"
#include "guided/guidedvalidate.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

GuidedRun::GuidedRun(GuidedLink *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    connect(m_link, &GuidedLink::replied, this, &GuidedRun::onReply);
    connect(m_link, &GuidedLink::lineLost, this, [this](const QString &reason) {
        m_pending = Pending::None;
        if (m_job.running()) {
            // The blocks that went in are kept; a write is taken up again
            // when the run goes on, a return of what it held is said.
            m_job.stop(QStringLiteral("линия потеряна: %1").arg(reason));
            noteJobProgress();
            if (m_job.record().restore)
                restoreDone(m_job.record());
            else
                emit writeRecorded(m_job.record());
        }
        const GuidedPhase p = m_cursor.phase;
        if (p == GuidedPhase::Capturing || p == GuidedPhase::Verifying || p == GuidedPhase::Calculating
            || m_identityDue) {
            m_paused = true;
            fail(QStringLiteral("Линия потеряна (%1): %2").arg(reason, GuidedRun::portAdvice()));
            emit changed();
        }
    });
}

GuidedRun::~GuidedRun()
{
    // A request still out belongs to nobody now.
    if (m_pending != Pending::None)
        m_link->forget();
}

QString GuidedRun::portAdvice()
{
    // The run's window stands over the main window, whose port controls
    // the operator needs: the run waits in its folder meanwhile.
    return QStringLiteral("прогон приостановлен и сохранен в своей папке. Закройте окно пошаговой калибровки, подключите порт и продолжите прогон («Продолжить прогон»)");
}

QString GuidedRun::deviceDir(int device) const
{
    return GuidedValidate::deviceDir(m_runDir, m_plan, device);
}

QString GuidedRun::pointFile(int device, int temperature) const
{
    return GuidedValidate::pointFile(m_runDir, m_plan, device, temperature);
}

QString GuidedRun::reportBase() const
{
    return QDir(m_runDir).filePath(m_plan.baseName + QStringLiteral("_batch_report"));
}

bool GuidedRun::create(const QString &runDir, const GuidedPlan &plan, QString *why, const QString &operatorName)
{
    const QString problem = plan.check();
    if (!problem.isEmpty()) {
        *why = problem;
        return false;
    }
    QString damage;
    if (resumable(runDir, nullptr, &damage)) {
        *why = QStringLiteral("В папке %1 уже есть незаконченный прогон: продолжите его или выберите "
                              "другую папку").arg(runDir);
        return false;
    }
    // A damaged run is kept as it is for whoever looks into it.
    if (!damage.isEmpty()) {
        *why = QStringLiteral("В папке %1 прогон с поврежденными файлами (%2): выберите другую папку")
                   .arg(runDir, damage);
        return false;
    }
    if (!QDir().mkpath(runDir)) {
        *why = QStringLiteral("Не удалось создать папку %1").arg(runDir);
        return false;
    }
    m_runDir = runDir;
    m_plan = plan;
    m_cursor = GuidedCursor();
    m_cursor.batchId = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-"))
                       + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    m_cursor.started = QDateTime::currentDateTime();
    m_cursor.operatorName = operatorName;
    for (int i = 0; i < plan.devices.size(); ++i) {
        const GuidedDevice &d = plan.devices[i];
        if (!QDir().mkpath(deviceDir(i))) {
            *why = QStringLiteral("Не удалось создать папку %1").arg(deviceDir(i));
            return false;
        }
        // Point files of an earlier run in the same place would be read as
        // this run's points.
        for (int t = 0; t < plan.temperatures.size(); ++t)
            if (QFileInfo::exists(pointFile(i, t))) {
                *why = QStringLiteral("В папке уже есть файл точек %1: выберите пустую папку").arg(pointFile(i, t));
                return false;
            }
        GuidedDeviceResult r;
        r.batchId = m_cursor.batchId;
        r.address = d.address;
        r.haveSerial = d.haveSerial;
        r.serial = d.serial;
        r.model = d.modelText();
        r.sensor = d.sensor;
        r.pnPa = d.pnPa;
        r.pvPa = d.pvPa;
        r.pmaxPa = d.pmaxPa;
        r.classPercent = plan.classPercent;
        m_cursor.devices.append(r);
    }
    m_live = QVector<GuidedLiveDevice>(plan.devices.size());
    if (!GuidedFiles::saveJson(GuidedFiles::planFile(runDir), m_plan.toJson(), why) || !save()) {
        if (why->isEmpty())
            *why = m_error;
        return false;
    }
    emit changed();
    return true;
}

bool GuidedRun::open(const QString &runDir, QString *why)
{
    // Nothing of a damaged folder is taken: the run stays as it was.
    GuidedPlan plan;
    GuidedCursor cursor;
    if (!GuidedValidate::readRun(runDir, &plan, &cursor, why))
        return false;
    m_runDir = runDir;
    m_plan = plan;
    m_cursor = cursor;
    m_live = QVector<GuidedLiveDevice>(plan.devices.size());
    // A point whose lines were on their way to the files is finished first.
    if (!m_cursor.pending.isEmpty()) {
        if (!applyPending()) {
            *why = m_error;
            return false;
        }
        advanceAfterPoint();
    }
    // A step that was under way is taken up again from its request.
    switch (m_cursor.phase) {
    case GuidedPhase::Capturing:
        m_cursor.phase = GuidedPhase::SetPressure;
        break;
    case GuidedPhase::Verifying:
        m_cursor.phase = GuidedPhase::SetVerifyPressure;
        break;
    case GuidedPhase::ConfirmFit:
        m_cursor.phase = GuidedPhase::Calculating;
        break;
    default:
        break;
    }
    m_paused = m_cursor.phase == GuidedPhase::Calculating;
    // Whatever answers at a saved address now may not be the device the
    // points so far came from: checked before the next step (a write checks
    // its device itself).
    const GuidedPhase p = m_cursor.phase;
    m_identityDue = p == GuidedPhase::SetTemperature || p == GuidedPhase::SetPressure
                    || p == GuidedPhase::SetVerifyTemperature || p == GuidedPhase::SetVerifyPressure;
    if (!save()) {
        *why = m_error;
        return false;
    }
    emit changed();
    return true;
}

bool GuidedRun::resumable(const QString &runDir, QString *where, QString *damage)
{
    GuidedPlan plan;
    GuidedCursor c;
    QString why;
    if (damage)
        damage->clear();
    if (runDir.isEmpty() || !QFileInfo::exists(GuidedFiles::stateFile(runDir)))
        return false;
    if (!GuidedValidate::readRun(runDir, &plan, &c, &why)) {
        if (damage)
            *damage = why;
        return false;
    }
    if (c.phase == GuidedPhase::Done || c.phase == GuidedPhase::Aborted)
        return false;
    if (where)
        *where = QStringLiteral("партия %1, шаг «%2», температура %3, точка %4")
                     .arg(c.batchId, GuidedCursor::phaseKey(c.phase))
                     .arg(c.temperature + 1)
                     .arg(c.point + 1);
    return true;
}

bool GuidedRun::save()
{
    QString error;
    if (!GuidedFiles::saveJson(GuidedFiles::stateFile(m_runDir), m_cursor.toJson(), &error)) {
        // Going on without the state on disk would lose the run at the next
        // restart: stop and say so.
        m_paused = true;
        fail(QStringLiteral("Состояние прогона не сохранено (%1): прогон приостановлен; освободите место "
                            "или проверьте права на папку и нажмите «Продолжить»").arg(error));
        return false;
    }
    return true;
}

void GuidedRun::fail(const QString &text)
{
    m_error = text;
    emit message(text, true);
}

void GuidedRun::say(const QString &text) { emit message(text, false); }

void GuidedRun::setPhase(GuidedPhase p)
{
    m_cursor.phase = p;
    save();
    emit changed();
}

bool GuidedRun::isWaitingForOperator() const
{
    if (m_identityDue)
        return false;
    if (isHeld())
        return true;
    switch (m_cursor.phase) {
    case GuidedPhase::WriteReview:
    case GuidedPhase::Ready:
    case GuidedPhase::SetTemperature:
    case GuidedPhase::SetPressure:
    case GuidedPhase::ConfirmFit:
    case GuidedPhase::SetVerifyTemperature:
    case GuidedPhase::SetVerifyPressure:
        return true;
    default:
        return false;
    }
}

QString GuidedRun::request() const
{
    if (isHeld())
        return heldRequest();
    switch (m_cursor.phase) {
    case GuidedPhase::SetTemperature:
        return GuidedPlan::temperaturePrompt(m_plan.temperatures.value(m_cursor.temperature).celsius);
    case GuidedPhase::SetPressure:
        return m_plan.pressurePrompt(m_plan.pointKPa(m_cursor.point));
    case GuidedPhase::ConfirmFit:
        return m_calc ? m_calc->question : QString();
    case GuidedPhase::SetVerifyTemperature:
        return m_plan.verifyTemperaturePrompt();
    case GuidedPhase::SetVerifyPressure:
        return m_plan.verifyPressurePrompt(m_cursor.verifyStep);
    case GuidedPhase::WriteReview:
        return QStringLiteral("Не все устройства записаны. Запишите их снова («Записать снова»), верните прежние "
                              "коэффициенты выбранного устройства («Вернуть прежние коэффициенты») или перейдите к "
                              "поверке без них («Готово»)");
    default:
        return QString();
    }
}

int GuidedRun::activeCount() const
{
    int n = 0;
    for (const GuidedDeviceResult &d : m_cursor.devices)
        n += d.active();
    return n;
}

int GuidedRun::stableCount() const
{
    int n = 0;
    for (int i = 0; i < m_live.size(); ++i)
        n += m_cursor.devices[i].active() && m_live[i].state == StabilityState::Stable;
    return n;
}

QString GuidedRun::progressText() const
{
    const int temps = m_plan.temperatures.size();
    switch (m_cursor.phase) {
    case GuidedPhase::Ready:
        return QStringLiteral("Прогон готов: %1 устройств, %2 температуры, %3 точек").arg(m_plan.devices.size())
            .arg(temps).arg(m_plan.pointCount());
    case GuidedPhase::SetTemperature:
    case GuidedPhase::SetPressure:
    case GuidedPhase::Capturing:
        return QStringLiteral("Температура %1 из %2, точка %3 из %4, стабильны %5 из %6")
            .arg(m_cursor.temperature + 1).arg(temps).arg(m_cursor.point + 1).arg(m_plan.pointCount())
            .arg(stableCount()).arg(activeCount());
    case GuidedPhase::Calculating:
    case GuidedPhase::ConfirmFit:
    case GuidedPhase::WriteReview:
        return QStringLiteral("Расчет и запись: устройство %1 из %2").arg(m_cursor.calcDevice + 1)
            .arg(m_plan.devices.size());
    case GuidedPhase::SetVerifyTemperature:
    case GuidedPhase::SetVerifyPressure:
    case GuidedPhase::Verifying:
        return QStringLiteral("Поверка: точка %1 из %2, стабильны %3 из %4").arg(m_cursor.verifyStep + 1)
            .arg(m_plan.verifySequence().size()).arg(stableCount()).arg(activeCount());
    case GuidedPhase::Done: {
        int passed = 0;
        for (const GuidedDeviceResult &d : m_cursor.devices)
            passed += d.passed;
        return QStringLiteral("Прогон завершен: годны %1 из %2").arg(passed).arg(m_cursor.devices.size());
    }
    case GuidedPhase::Aborted:
        return QStringLiteral("Прогон прерван: %1").arg(m_cursor.abortReason);
    }
    return QString();
}

// ------------------------------------------------------------ choices

void GuidedRun::start()
{
    m_paused = false;
    if (m_identityDue) {
        if (m_pending == Pending::None)
            checkIdentity();
        emit changed();
        return;
    }
    if (m_cursor.phase == GuidedPhase::Ready) {
        m_cursor.temperature = m_cursor.point = 0;
        setPhase(GuidedPhase::SetTemperature);
    } else if (m_cursor.phase == GuidedPhase::Calculating) {
        calcNext();
    }
    emit changed();
}

void GuidedRun::confirm(double referenceKPa)
{
    if (m_paused || m_identityDue)
        return;
    if (isHeld()) {
        confirmHeld(referenceKPa);
        return;
    }
    switch (m_cursor.phase) {
    case GuidedPhase::WriteReview:
        goToVerification();
        break;
    case GuidedPhase::SetTemperature:
        setPhase(GuidedPhase::SetPressure);
        break;
    case GuidedPhase::SetPressure:
    case GuidedPhase::SetVerifyPressure: {
        const bool verify = m_cursor.phase == GuidedPhase::SetVerifyPressure;
        const double nominal = verify ? m_plan.verifyKPa(m_cursor.verifyStep) : m_plan.pointKPa(m_cursor.point);
        if (!std::isnan(referenceKPa) && !std::isfinite(referenceKPa)) {
            fail(QStringLiteral("Показание эталона должно быть числом"));
            return;
        }
        m_cursor.referenceKPa = std::isnan(referenceKPa) ? nominal : referenceKPa;
        setPhase(verify ? GuidedPhase::Verifying : GuidedPhase::Capturing);
        beginStep();
        break;
    }
    case GuidedPhase::SetVerifyTemperature:
        m_cursor.verifyStep = 0;
        setPhase(GuidedPhase::SetVerifyPressure);
        break;
    default:
        break;
    }
}

void GuidedRun::pause()
{
    if (m_paused || m_cursor.phase == GuidedPhase::Done || m_cursor.phase == GuidedPhase::Aborted)
        return;
    m_paused = true;
    say(QStringLiteral("Прогон приостановлен"));
    emit changed();
}

void GuidedRun::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    say(QStringLiteral("Прогон продолжен"));
    if (m_identityDue && m_pending == Pending::None)
        checkIdentity();
    else if (m_cursor.phase == GuidedPhase::Capturing || m_cursor.phase == GuidedPhase::Verifying)
        beginStep();   // the readings of before the pause say nothing of now
    else if (m_cursor.phase == GuidedPhase::Calculating && m_pending == Pending::None)
        calcNext();
    emit changed();
}

void GuidedRun::skipDevice(int device, const QString &reason)
{
    if (device < 0 || device >= m_cursor.devices.size() || !m_cursor.devices[device].active())
        return;
    leaveOut(device, reason.isEmpty() ? QStringLiteral("исключено оператором") : reason);
    if (m_polling)
        checkStepDone();
    else if (isHeld())
        judgeHeldAgain();   // without it
}

void GuidedRun::abort(const QString &reason)
{
    if (m_cursor.phase == GuidedPhase::Done || m_cursor.phase == GuidedPhase::Aborted)
        return;
    if (m_pending != Pending::None)
        m_link->forget();
    m_pending = Pending::None;
    m_polling = false;
    if (m_job.running()) {
        m_job.stop(QStringLiteral("прогон прерван"));
        noteJobProgress();
        emit writeRecorded(m_job.record());
    }
    m_held.clear();
    m_cursor.abortReason = reason.isEmpty() ? QStringLiteral("прервано оператором") : reason;
    for (GuidedDeviceResult &d : m_cursor.devices)
        d.judge();
    setPhase(GuidedPhase::Aborted);
    fail(QStringLiteral("Прогон прерван: %1").arg(m_cursor.abortReason));
    QString error;
    if (!GuidedReport::writeText(reportBase() + QStringLiteral(".txt"), m_plan, m_cursor, &error))
        fail(QStringLiteral("Отчет партии не записан: %1").arg(error));
    emit finished();
}

void GuidedRun::leaveOut(int device, const QString &reason)
{
    GuidedDeviceResult &d = m_cursor.devices[device];
    if (!d.active())
        return;
    d.leftOut = reason;
    save();
    fail(QStringLiteral("Устройство %1 (зав. № %2) исключено из прогона: %3")
             .arg(m_plan.devices[device].addressText(), m_plan.devices[device].serialText(), reason));
    emit changed();
}

void GuidedRun::readNext(QVector<int> *order, const RequestItem &read, Pending kind,
                         void (GuidedRun::*again)(const GuidedReply &))
{
    const int i = order->first();
    if (!m_link->send(m_plan.devices[i].address, uint8_t(read.command), read.data)) {
        if (!pauseIfPortGone())
            QTimer::singleShot(10, this, [this, again] { (this->*again)(GuidedReply()); });
        return;
    }
    order->removeFirst();
    m_pollDevice = i;
    m_pending = kind;
}

bool GuidedRun::pauseIfPortGone()
{
    if (m_link->isPortOpen())
        return false;
    m_paused = true;
    fail(QStringLiteral("Порт не открыт: ") + portAdvice());
    emit changed();
    return true;
}
