#pragma once
// What the engineer sets in the trend and the traffic log and finds again at
// the next start, kept in the settings store under "Monitor/".

#include "monitor/stability.h"

#include <QString>
#include <array>

class QSettings;

struct MonitorSettings
{
    // Trend windows offered, in minutes; 0 is the whole session.
    static constexpr std::array<int, 9> WindowMinutes = {1, 5, 15, 30, 60, 120, 240, 480, 0};
    static constexpr int MinRotateKb = 16;
    static constexpr int MaxRotateKb = 1024 * 1024;

    TrendQuantity quantity = TrendQuantity::Var1;
    int windowIndex = 1;                    // 5 minutes
    int stableCount = 10;
    // Thresholds per quantity, apart for the capacitive sensors whose
    // variables are frequencies, a pressure and a temperature.
    std::array<double, TrendQuantityCount> threshold = {0.01, 0.1, 0.1, 0.1, 0.1};
    std::array<double, TrendQuantityCount> thresholdCapacitor = {0.01, 0.01, 0.01, 0.1, 0.5};

    QString trafficFile;                    // streaming target last chosen
    int rotateKb = 1024;

    double thresholdFor(TrendQuantity q, bool capacitor) const;
    void setThreshold(TrendQuantity q, bool capacitor, double value);
    StabilityRule rule(TrendQuantity q, bool capacitor) const;
    int windowMinutes() const;

    // Values out of range in the store fall back to the defaults.
    static MonitorSettings load(QSettings &settings);
    void save(QSettings &settings) const;
};
