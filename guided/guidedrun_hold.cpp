// The bench check of a guided run: a point whose readings do not fit what
// the bench was said to hold, and a verification reading that tells of a
// loaded P- chamber, wait for the operator instead of going into the files
// or the verdict.

#include "guided/guidedrun.h"

#include "guided/guidedplausibility.h"

#include <QFile>

namespace {

// A point line back as the calculation will read it.
bool recordOf(const QByteArray &line, PointRecord *r)
{
    const QList<QByteArray> f = line.trimmed().split('\t');
    double v[6];
    if (f.size() != 6)
        return false;
    for (int k = 0; k < 6; ++k)
        if (!parsePointNumber(f[k], &v[k]))
            return false;
    *r = PointRecord{v[0], v[1], v[2], v[3], v[4], v[5], 0};
    return true;
}

QVector<PointRecord> recordsIn(const QString &path)
{
    if (!QFile::exists(path))
        return {};
    const PointFileRead read = readPointRecords(path);
    return read.ok ? read.file.records : QVector<PointRecord>();
}

} // namespace

bool GuidedRun::holdPoint(const QVector<GuidedPendingLine> &lines)
{
    QVector<QPair<int, QString>> held;
    const int t = m_cursor.temperature;
    for (const GuidedPendingLine &l : lines) {
        const GuidedDevice &dev = m_plan.devices[l.device];
        PointRecord candidate;
        if (!recordOf(l.line, &candidate))
            continue;
        QVector<QVector<PointRecord>> before;
        for (int earlier = 0; earlier < t; ++earlier)
            before << recordsIn(pointFile(l.device, earlier));
        const double span = dev.pmaxPa > 0 ? double(dev.pmaxPa) / 1000.0 : m_plan.pmaxKPa;
        const QVector<GuidedPlausibility::Check> checks = GuidedPlausibility::judge(
            dev.sensor, recordsIn(l.file), before, candidate, span, m_plan.plausiblePercent);
        for (const GuidedPlausibility::Check &c : checks)
            if (!c.fits)
                held << qMakePair(l.device, GuidedPlausibility::heldText(dev.addressText(), c, span));
    }
    if (held.isEmpty() || !m_recordHeld) {
        if (!held.isEmpty())
            hold(held);
        return !held.isEmpty();
    }
    const QString where = QStringLiteral("точка %1 при %2").arg(m_cursor.point + 1)
                              .arg(GuidedPlan::temperatureName(m_plan.temperatures[t].slot));
    for (const QPair<int, QString> &h : held)
        m_cursor.devices[h.first].benchNotes << QStringLiteral("%1: %2").arg(where, h.second);
    m_recordHeld = false;
    fail(QStringLiteral("Точка записана без подтверждения давления по решению оператора (%1): отмечено в отчете")
             .arg(where));
    return false;
}

bool GuidedRun::holdVerification(const QVector<GuidedVerifyRow> &rows)
{
    QVector<QPair<int, QString>> held;
    for (int i = 0; i < rows.size(); ++i) {
        const GuidedDevice &dev = m_plan.devices[i];
        const double span = double(dev.pvPa - dev.pnPa) / 1000.0;
        if (!m_cursor.devices[i].active() || !rows[i].answered
            || !GuidedPlausibility::wrongMinusChamber(rows[i].readKPa, rows[i].referenceKPa, span,
                                                      m_plan.plausiblePercent))
            continue;
        held << qMakePair(i, GuidedPlausibility::heldVerifyText(dev.addressText(), rows[i].readKPa,
                                                                 rows[i].referenceKPa, span));
    }
    if (held.isEmpty() || !m_recordHeld) {
        if (!held.isEmpty())
            hold(held);
        return !held.isEmpty();
    }
    const QString where = QStringLiteral("поверка, точка %1").arg(m_cursor.verifyStep + 1);
    for (const QPair<int, QString> &h : held)
        m_cursor.devices[h.first].benchNotes << QStringLiteral("%1: %2").arg(where, h.second);
    m_recordHeld = false;
    fail(QStringLiteral("Показания поверки записаны без проверки камеры P- по решению оператора (%1): отмечено в "
                        "отчете").arg(where));
    return false;
}

void GuidedRun::hold(const QVector<QPair<int, QString>> &held)
{
    m_held = held;
    QStringList texts;
    for (const QPair<int, QString> &h : held)
        texts << h.second;
    fail(QStringLiteral("Точка не записана: %1").arg(texts.join(QStringLiteral("; "))));
    emit changed();
}

QString GuidedRun::heldRequest() const
{
    QStringList lines;
    for (const QPair<int, QString> &h : m_held)
        lines << h.second;
    lines << QStringLiteral("Точка не записана (допуск %1 % диапазона). Установите давление заново и нажмите «Готово», "
                            "или введите показание эталона и нажмите «Готово», или нажмите «Записать как есть» "
                            "(будет отмечено в отчете)")
                 .arg(QString::number(m_plan.plausiblePercent, 'g', 4));
    return lines.join(QLatin1Char('\n'));
}

void GuidedRun::confirmHeld(double referenceKPa)
{
    if (std::isnan(referenceKPa)) {
        say(QStringLiteral("Давление установлено заново: точка снимается заново"));
        beginStep();
        return;
    }
    if (!std::isfinite(referenceKPa)) {
        fail(QStringLiteral("Показание эталона должно быть числом"));
        return;
    }
    m_cursor.referenceKPa = referenceKPa;
    say(QStringLiteral("Принято показание эталона %1: точка проверяется снова").arg(GuidedPlan::kPaText(referenceKPa)));
    judgeHeldAgain();
}

void GuidedRun::recordHeld()
{
    if (!isHeld() || m_paused)
        return;
    m_recordHeld = true;
    judgeHeldAgain();
}

void GuidedRun::judgeHeldAgain()
{
    m_held.clear();
    if (m_cursor.phase == GuidedPhase::Capturing)
        finishPoint();
    else
        finishVerifyStep();
    emit changed();
}
