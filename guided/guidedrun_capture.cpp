// The polling steps of a guided run: capture of a calibration point and
// the readings of a verification point.

#include "guided/guidedrun.h"

#include "device/registermap.h"
#include "device/valuecodec.h"
#include "link/responsecode.h"
#include "polling/command3answer.h"
#include "polling/lineappender.h"
#include "polling/runningmean.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace {

constexpr TrendQuantity Judged[3] = {TrendQuantity::Var1, TrendQuantity::Var2, TrendQuantity::Var4};

// The worse of two verdicts, for one mark per device.
int severity(StabilityState s)
{
    switch (s) {
    case StabilityState::Stable: return 0;
    case StabilityState::Collecting: return 1;
    case StabilityState::NoData: return 2;
    case StabilityState::Unstable: return 3;
    case StabilityState::Stale: return 4;
    }
    return 4;
}

} // namespace

void GuidedRun::schedule(int ms)
{
    QTimer::singleShot(ms, this, [this] {
        if (m_cursor.phase == GuidedPhase::Calculating && !m_polling)
            calcNext();
        else
            pollNext();
    });
}

void GuidedRun::beginStep()
{
    if (m_pending != Pending::None) {
        // Its answer would tell of the pressure before the confirmation.
        m_link->forget();
        m_pending = Pending::None;
    }
    m_held.clear();
    m_recordHeld = false;
    m_store.reset(new TrendStore(256, 16));
    m_clock.restart();
    for (GuidedLiveDevice &l : m_live)
        l = GuidedLiveDevice();
    m_cycles = 0;
    m_pollDevice = -1;
    m_polling = true;
    emit changed();
    schedule();
}

void GuidedRun::pollNext()
{
    if (!m_polling || m_paused || m_pending != Pending::None)
        return;
    const int n = m_plan.devices.size();
    int next = -1;
    for (int step = 1; step <= n; ++step) {
        const int i = (m_pollDevice + step + n) % n;
        if (m_cursor.devices[i].active()) {
            next = i;
            break;
        }
    }
    if (next < 0) {
        checkStepDone();
        return;
    }
    if (pauseIfPortGone())
        return;
    if (!m_link->send(m_plan.devices[next].address, 3)) {
        schedule(10);   // the line is still busy with a forgotten request
        return;
    }
    if (next <= m_pollDevice || m_pollDevice < 0)
        ++m_cycles;
    m_pollDevice = next;
    m_pending = Pending::Poll;
}

void GuidedRun::onReply(const GuidedReply &reply)
{
    const Pending was = m_pending;
    m_pending = Pending::None;
    switch (was) {
    case Pending::Poll: onPollReply(reply); break;
    case Pending::Params: onParamsReply(reply); break;
    case Pending::Write: onWriteReply(reply); break;
    case Pending::Pressure: onPressureReply(reply); break;
    case Pending::Identity: onIdentityReply(reply); break;
    case Pending::None: break;
    }
}

void GuidedRun::onPollReply(const GuidedReply &reply)
{
    const int i = m_pollDevice;
    if (!m_polling || i < 0 || !m_cursor.devices[i].active())
        return;
    const Command3Answer answer = Command3Answer::decode(reply.data);
    if (!reply.ok() || !answer.complete()) {
        noteMiss(i, reply.ok() ? QStringLiteral("ответ без данных") : reply.why,
                 reply.answered && reply.intact && !reply.ok() ? int(reply.responseCode) : -1);
    } else {
        const qint64 now = m_clock.elapsed();
        const int address = m_plan.devices[i].address;
        m_store->add(address, now, answer);
        GuidedLiveDevice &l = m_live[i];
        ++l.answers;
        l.misses = 0;
        for (int k = 0; k < TrendQuantityCount; ++k)
            l.values[k] = answer.value(k);
        const GuidedThresholds &t = m_plan.thresholdsFor(m_plan.devices[i].sensor);
        // A device that stops answering is caught by its missed cycles; a
        // lapse by age would also catch the slow cycle of fifteen devices
        // at 1200 baud and keep every mark from ever turning stable.
        const qint64 stale = std::numeric_limits<qint32>::max();
        StabilityVerdict worst;
        worst.state = StabilityState::Stable;
        for (int q = 0; q < 3; ++q) {
            StabilityRule rule;
            rule.count = m_plan.stableCount;
            rule.threshold = t[size_t(q)];
            const StabilityVerdict v = Stability::judge(m_store->series(address), Judged[q], rule,
                                                        m_store->toStoreMs(now), stale);
            if (q == 0 || severity(v.state) > severity(worst.state))
                worst = v;
        }
        l.state = worst.state;
        l.mark = Stability::markText(worst);
    }
    checkStepDone();
    if (m_polling)
        schedule();
    emit changed();
}

void GuidedRun::noteMiss(int device, const QString &why, int refusal)
{
    GuidedLiveDevice &l = m_live[device];
    ++l.misses;
    l.state = StabilityState::Stale;
    // A refusal is an answer: the device is there and says why it will not
    // be polled, which is what the operator needs to read, not "silent".
    const bool refused = refusal > 0;
    l.mark = refused ? QStringLiteral("отказ") : QStringLiteral("нет ответа");
    if (l.misses < m_plan.silentCycles)
        return;
    if (refused)
        leaveOut(device, QStringLiteral("отказывает в опросе (команда 3): %1, %2 раз подряд")
                             .arg(ResponseCode::status1Text(uint8_t(refusal))).arg(l.misses));
    else
        leaveOut(device, QStringLiteral("не отвечает (%1 %2 раз подряд)").arg(why).arg(l.misses));
}

bool GuidedRun::deviceReady(int device, bool) const
{
    const GuidedLiveDevice &l = m_live[device];
    return l.state == StabilityState::Stable && l.answers >= m_plan.stabilityCycles();
}

void GuidedRun::checkStepDone()
{
    if (!m_polling)
        return;
    if (activeCount() == 0) {
        m_polling = false;
        abort(QStringLiteral("ни одно устройство не осталось в прогоне"));
        return;
    }
    for (int i = 0; i < m_live.size(); ++i)
        if (m_cursor.devices[i].active() && !deviceReady(i, true))
            return;
    m_polling = false;
    if (m_pending == Pending::Poll) {
        m_link->forget();
        m_pending = Pending::None;
    }
    m_lastStepCycles = m_cycles;
    if (m_cursor.phase == GuidedPhase::Capturing)
        finishPoint();
    else
        finishVerifyPolling();
}

// ------------------------------------------------------------ points

QVector<GuidedPendingLine> GuidedRun::pointLines() const
{
    const int t = m_cursor.temperature;
    QVector<GuidedPendingLine> lines;
    for (int i = 0; i < m_plan.devices.size(); ++i) {
        if (!m_cursor.devices[i].active())
            continue;
        const TrendSeries *s = m_store->series(m_plan.devices[i].address);
        const RingBuffer<TrendSample> &recent = s->recent();
        ChannelMean mean;
        const std::size_t n = std::min<std::size_t>(recent.size(), std::size_t(m_plan.averaged));
        for (std::size_t k = recent.size() - n; k < recent.size(); ++k) {
            const TrendSample &x = recent.at(k);
            const float v[4] = {x.values[1], x.values[2], x.values[3], x.values[4]};
            RunningMean::foldInto(mean, v);
        }
        const std::array<double, 2> p = m_plan.chambersFor(m_plan.devices[i].sensor, m_cursor.referenceKPa);
        GuidedPendingLine line;
        line.device = i;
        line.file = pointFile(i, t);
        line.sizeBefore = QFileInfo(line.file).exists() ? QFileInfo(line.file).size() : 0;
        line.line = CalibrationFiles::pointLine(mean, p[0], p[1]);
        lines.append(line);
    }
    return lines;
}

void GuidedRun::finishPoint()
{
    const int t = m_cursor.temperature;
    const QVector<GuidedPendingLine> lines = pointLines();
    if (holdPoint(lines))
        return;
    m_cursor.pending = lines;
    // The lines go into the state first: a run stopped while they are
    // written finishes them on restart, none twice.
    if (!save())
        return;
    if (!applyPending())
        return;
    say(QStringLiteral("Точка %1 при %2 записана для %3 устройств (%4 циклов опроса)")
            .arg(m_cursor.point + 1)
            .arg(GuidedPlan::temperatureName(m_plan.temperatures[t].slot))
            .arg(m_cursor.lastWritten.size())
            .arg(m_lastStepCycles));
    advanceAfterPoint();
    if (m_cursor.phase == GuidedPhase::Calculating)
        schedule();
}

bool GuidedRun::applyPending()
{
    const int slot = int(m_plan.temperatures[m_cursor.temperature].slot);
    const int index = slot == int(CalibrationTemperature::Low) ? 0 : slot == int(CalibrationTemperature::High) ? 2 : 1;
    QVector<GuidedPendingLine> written;
    for (const GuidedPendingLine &p : qAsConst(m_cursor.pending)) {
        QFile f(p.file);
        const qint64 size = f.exists() ? f.size() : 0;
        bool there = false;
        if (size >= p.sizeBefore + p.line.size() && f.open(QIODevice::ReadOnly)) {
            f.seek(p.sizeBefore);
            there = f.read(p.line.size()) == p.line;
            f.close();
        }
        if (!there && size > p.sizeBefore) {
            // A fragment of this very line from a run stopped mid-write.
            f.resize(p.sizeBefore);
        }
        QString error;
        if (!there && size < p.sizeBefore) {
            leaveOut(p.device, QStringLiteral("файл точек %1 укорочен вне прогона").arg(p.file));
            continue;
        }
        if (!there && !LineAppender::append(p.file, p.line, LineAppender::TornTail::Cut, &error)) {
            leaveOut(p.device, QStringLiteral("файл точек %1 не записан: %2").arg(p.file, error));
            continue;
        }
        ++m_cursor.devices[p.device].points[size_t(index)];
        written.append(p);
    }
    m_cursor.lastWritten = written;
    m_cursor.lastTemperature = m_cursor.temperature;
    m_cursor.lastPoint = m_cursor.point;
    m_cursor.pending.clear();
    return true;
}

void GuidedRun::advanceAfterPoint()
{
    ++m_cursor.point;
    GuidedPhase next = GuidedPhase::SetPressure;
    if (m_cursor.point >= m_plan.pointCount()) {
        m_cursor.point = 0;
        ++m_cursor.temperature;
        next = GuidedPhase::SetTemperature;
        if (m_cursor.temperature >= m_plan.temperatures.size()) {
            m_cursor.temperature = m_plan.temperatures.size() - 1;
            m_cursor.point = m_plan.pointCount() - 1;
            m_cursor.calcDevice = 0;
            next = GuidedPhase::Calculating;
        }
    }
    setPhase(next);
}

void GuidedRun::redoLastPoint()
{
    if (m_cursor.phase == GuidedPhase::Capturing || m_cursor.phase == GuidedPhase::Verifying) {
        say(QStringLiteral("Точка снимается заново"));
        beginStep();
        return;
    }
    if ((m_cursor.phase != GuidedPhase::SetPressure && m_cursor.phase != GuidedPhase::SetTemperature)
        || m_cursor.lastWritten.isEmpty()) {
        fail(QStringLiteral("Переснять можно только только что записанную точку, до расчета"));
        return;
    }
    const int slot = int(m_plan.temperatures[m_cursor.lastTemperature].slot);
    const int index = slot == int(CalibrationTemperature::Low) ? 0 : slot == int(CalibrationTemperature::High) ? 2 : 1;
    for (const GuidedPendingLine &p : qAsConst(m_cursor.lastWritten)) {
        QFile f(p.file);
        bool ours = false;
        if (f.size() == p.sizeBefore + p.line.size() && f.open(QIODevice::ReadOnly)) {
            f.seek(p.sizeBefore);
            ours = f.read(p.line.size()) == p.line;
            f.close();
        }
        if (!ours || !f.resize(p.sizeBefore)) {
            fail(QStringLiteral("Файл %1 изменен после записи точки: строка не удалена").arg(p.file));
            continue;
        }
        --m_cursor.devices[p.device].points[size_t(index)];
    }
    const bool otherTemperature = m_cursor.lastTemperature != m_cursor.temperature;
    m_cursor.temperature = m_cursor.lastTemperature;
    m_cursor.point = m_cursor.lastPoint;
    m_cursor.lastWritten.clear();
    say(QStringLiteral("Последняя точка удалена из файлов: снимите ее заново"));
    setPhase(otherTemperature ? GuidedPhase::SetTemperature : GuidedPhase::SetPressure);
}

// ------------------------------------------------------------ verification

void GuidedRun::finishVerifyPolling()
{
    m_pressureOrder.clear();
    m_pressureRead = QVector<double>(m_plan.devices.size(), std::nan(""));
    for (int i = 0; i < m_plan.devices.size(); ++i)
        if (m_cursor.devices[i].active())
            m_pressureOrder.append(i);
    QTimer::singleShot(0, this, [this] { onPressureReply(GuidedReply()); });
}

// Reads the pressure register of the next device ("Считать давление");
// called first with no reply, then with each reply.
void GuidedRun::onPressureReply(const GuidedReply &reply)
{
    if (reply.address >= 0 && m_pollDevice >= 0) {
        float v = 0;
        if (reply.ok() && ValueCodec::readFloat(reply.data, 0, &v))
            m_pressureRead[m_pollDevice] = v;
        else
            fail(QStringLiteral("Устройство %1: давление не прочитано (%2)")
                     .arg(m_plan.devices[m_pollDevice].addressText(),
                          reply.ok() ? QStringLiteral("ответ без данных") : reply.why));
    }
    if (m_paused)
        return;
    if (m_pressureOrder.isEmpty()) {
        finishVerifyStep();
        return;
    }
    readNext(&m_pressureOrder, RequestItem::read(RegisterMap::PressureValue, 4), Pending::Pressure,
             &GuidedRun::onPressureReply);
}

void GuidedRun::finishVerifyStep()
{
    const QVector<double> seq = m_plan.verifySequence();
    const int step = m_cursor.verifyStep;
    const double ref = m_cursor.referenceKPa;
    QVector<GuidedVerifyRow> rows(m_plan.devices.size());
    for (int i = 0; i < m_plan.devices.size(); ++i) {
        if (!m_cursor.devices[i].active())
            continue;
        const GuidedDevice &dev = m_plan.devices[i];
        GuidedVerifyRow &row = rows[i];
        row.percent = seq[step];
        row.falling = step >= m_plan.verifyPercent.size();
        row.referenceKPa = ref;
        const double pn = double(dev.pnPa) / 1000.0;
        const double span = double(dev.pvPa - dev.pnPa) / 1000.0;
        row.answered = !std::isnan(m_pressureRead[i]) && span > 0;
        if (row.answered) {
            const RingBuffer<TrendSample> &recent = m_store->series(dev.address)->recent();
            const std::size_t n = std::min<std::size_t>(recent.size(), std::size_t(m_plan.averaged));
            double current = 0;
            for (std::size_t k = recent.size() - n; k < recent.size(); ++k)
                current += recent.at(k).values[0];
            row.currentMa = n ? current / double(n) : 0;
            row.readKPa = dev.toKPa(m_pressureRead[i]);
            row.expectedMa = 4.0 + 16.0 * (ref - pn) / span;
            row.pressureError = (row.readKPa - ref) / span * 100.0;
            row.currentError = (row.currentMa - row.expectedMa) / 16.0 * 100.0;
        }
    }
    if (holdVerification(rows))
        return;
    for (int i = 0; i < m_plan.devices.size(); ++i)
        if (m_cursor.devices[i].active())
            m_cursor.devices[i].verify.append(rows[i]);
    say(QStringLiteral("Поверка: точка %1 из %2 снята").arg(step + 1).arg(seq.size()));
    ++m_cursor.verifyStep;
    if (m_cursor.verifyStep >= seq.size()) {
        for (GuidedDeviceResult &d : m_cursor.devices)
            d.verified = d.active();
        finishRun();
        return;
    }
    setPhase(GuidedPhase::SetVerifyPressure);
}
