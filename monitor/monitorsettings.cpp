#include "monitor/monitorsettings.h"

#include <QSettings>
#include <cmath>

namespace {
const QString keyQuantity = QStringLiteral("/Monitor/Quantity");
const QString keyWindow = QStringLiteral("/Monitor/Window");
const QString keyStableCount = QStringLiteral("/Monitor/StableCount");
const QString keyThreshold = QStringLiteral("/Monitor/Threshold_%1");
const QString keyThresholdCapacitor = QStringLiteral("/Monitor/ThresholdCapacitor_%1");
const QString keyTrafficFile = QStringLiteral("/Monitor/TrafficFile");
const QString keyRotateKb = QStringLiteral("/Monitor/TrafficRotateKb");

int intIn(QSettings &s, const QString &key, int lo, int hi, int fallback)
{
    bool ok = false;
    const int v = s.value(key).toInt(&ok);
    return ok && v >= lo && v <= hi ? v : fallback;
}

double thresholdIn(QSettings &s, const QString &key, double fallback)
{
    bool ok = false;
    const double v = s.value(key).toDouble(&ok);
    return ok && std::isfinite(v) && v >= 0 ? v : fallback;
}
}

constexpr std::array<int, 9> MonitorSettings::WindowMinutes;

double MonitorSettings::thresholdFor(TrendQuantity q, bool capacitor) const
{
    return (capacitor ? thresholdCapacitor : threshold)[std::size_t(q)];
}

void MonitorSettings::setThreshold(TrendQuantity q, bool capacitor, double value)
{
    (capacitor ? thresholdCapacitor : threshold)[std::size_t(q)] = value;
}

StabilityRule MonitorSettings::rule(TrendQuantity q, bool capacitor) const
{
    StabilityRule r;
    r.count = stableCount;
    r.threshold = thresholdFor(q, capacitor);
    return r;
}

int MonitorSettings::windowMinutes() const
{
    return WindowMinutes[std::size_t(windowIndex)];
}

MonitorSettings MonitorSettings::load(QSettings &s)
{
    MonitorSettings m;
    m.quantity = TrendQuantity(intIn(s, keyQuantity, 0, TrendQuantityCount - 1, int(m.quantity)));
    m.windowIndex = intIn(s, keyWindow, 0, int(WindowMinutes.size()) - 1, m.windowIndex);
    m.stableCount = intIn(s, keyStableCount, StabilityRule::MinCount, StabilityRule::MaxCount,
                          m.stableCount);
    for (int k = 0; k < TrendQuantityCount; ++k) {
        m.threshold[k] = thresholdIn(s, keyThreshold.arg(k), m.threshold[k]);
        m.thresholdCapacitor[k] = thresholdIn(s, keyThresholdCapacitor.arg(k), m.thresholdCapacitor[k]);
    }
    m.trafficFile = s.value(keyTrafficFile).toString();
    m.rotateKb = intIn(s, keyRotateKb, MinRotateKb, MaxRotateKb, m.rotateKb);
    return m;
}

void MonitorSettings::save(QSettings &s) const
{
    s.setValue(keyQuantity, int(quantity));
    s.setValue(keyWindow, windowIndex);
    s.setValue(keyStableCount, stableCount);
    for (int k = 0; k < TrendQuantityCount; ++k) {
        s.setValue(keyThreshold.arg(k), threshold[k]);
        s.setValue(keyThresholdCapacitor.arg(k), thresholdCapacitor[k]);
    }
    s.setValue(keyTrafficFile, trafficFile);
    s.setValue(keyRotateKb, rotateKb);
}
