#include "monitor/stability.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

bool StabilityRule::isValid() const
{
    return count >= MinCount && count <= MaxCount && std::isfinite(threshold) && threshold >= 0.0;
}

bool StabilityRule::parseThreshold(const QString &text, double *value, QString *why)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.isEmpty() ? 0.0 : QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) {
        if (why)
            *why = QStringLiteral("\"%1\" — не число").arg(text.trimmed());
        return false;
    }
    if (v < 0) {
        if (why)
            *why = QStringLiteral("порог не может быть отрицательным");
        return false;
    }
    *value = v;
    return true;
}

qint64 StabilityRule::staleAfterMs(int checkedChannels, int periodMs, int timeoutMs, int repeats)
{
    const qint64 cycle = qint64(std::max(1, checkedChannels)) * std::max(0, periodMs);
    const qint64 silence = qint64(std::max(0, timeoutMs)) * std::max(1, repeats);
    return std::max<qint64>(2000, 3 * cycle + silence);
}

StabilityVerdict Stability::judge(const TrendSeries *series, TrendQuantity q,
                                  const StabilityRule &rule, qint32 nowStoreMs,
                                  qint64 staleAfterMs, qint32 sinceStoreMs)
{
    StabilityVerdict v;
    if (!series || series->isEmpty())
        return v;
    const RingBuffer<TrendSample> &recent = series->recent();
    const std::size_t wanted = std::size_t(std::max(1, rule.count));
    std::size_t n = 0;
    while (n < recent.size() && n < wanted && recent.at(recent.size() - 1 - n).ms >= sinceStoreMs)
        ++n;
    if (n == 0)
        return v;
    v.answers = int(n);

    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    bool finite = true;
    for (std::size_t i = recent.size() - n; i < recent.size(); ++i) {
        const double x = recent.at(i).value(q);
        if (!std::isfinite(x)) {
            finite = false;
            break;
        }
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    v.spread = finite ? hi - lo : std::numeric_limits<double>::quiet_NaN();

    if (qint64(nowStoreMs) - recent.back().ms > staleAfterMs)
        v.state = StabilityState::Stale;
    else if (int(n) < rule.count)
        v.state = StabilityState::Collecting;
    else if (finite && rule.isValid() && v.spread <= rule.threshold)
        v.state = StabilityState::Stable;
    else
        v.state = StabilityState::Unstable;
    return v;
}

bool Stability::allStable(const QVector<StabilityVerdict> &verdicts)
{
    if (verdicts.isEmpty())
        return false;
    return std::all_of(verdicts.begin(), verdicts.end(),
                       [](const StabilityVerdict &v) { return v.isStable(); });
}

QString Stability::spreadText(double spread)
{
    if (!std::isfinite(spread))
        return QStringLiteral("—");
    return QString::number(spread, 'g', 4);
}

QString Stability::markText(const StabilityVerdict &v)
{
    switch (v.state) {
    case StabilityState::NoData:
        return QString();
    case StabilityState::Collecting:
        return QStringLiteral("%1/…").arg(v.answers);
    case StabilityState::Stale:
        return QStringLiteral("нет ответа");
    case StabilityState::Stable:
        return QStringLiteral("✓ ") + spreadText(v.spread);
    case StabilityState::Unstable:
        return QStringLiteral("± ") + spreadText(v.spread);
    }
    return QString();
}

QString Stability::describe(const StabilityVerdict &v, const QString &quantity,
                            const StabilityRule &rule)
{
    const QString limit = QString::number(rule.threshold, 'g', 6);
    switch (v.state) {
    case StabilityState::NoData:
        return QStringLiteral("Нет ответов");
    case StabilityState::Collecting:
        return QStringLiteral("Набирается: %1 из %2 ответов").arg(v.answers).arg(rule.count);
    case StabilityState::Stale:
        return QStringLiteral("Устройство давно не отвечает");
    case StabilityState::Stable:
        return QStringLiteral("Стабильно: разброс %1 за %2 ответов не больше %3 (%4)")
            .arg(spreadText(v.spread)).arg(v.answers).arg(limit, quantity);
    case StabilityState::Unstable:
        return QStringLiteral("Нестабильно: разброс %1 за %2 ответов больше %3 (%4)")
            .arg(spreadText(v.spread)).arg(v.answers).arg(limit, quantity);
    }
    return QString();
}

unsigned Stability::colour(StabilityState state)
{
    switch (state) {
    case StabilityState::Stable:
        return 0x079E00;
    case StabilityState::Unstable:
        return 0xD06000;
    default:
        return 0x808080;
    }
}
