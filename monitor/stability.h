#pragma once
// When a reading has settled enough to record a calibration point: the
// spread (highest minus lowest) of the chosen quantity over a device's last
// N good answers must not exceed the engineer's threshold, in the
// quantity's own unit. The mark only advises; nothing waits for it.
//
// A device is judged conservatively: fewer than N answers, a value that is
// not a number, or a newest answer older than the poll cycle can explain
// (the device stopped answering) never count as stable. Answers taken
// before `sinceStoreMs` (the poll stopped, the line was lost or connected
// again since) are not judged at all: a mark is earned again by N answers
// taken after it.

#include "monitor/trendstore.h"

#include <QString>
#include <QVector>
#include <limits>

struct StabilityRule
{
    static constexpr int MinCount = 2;
    static constexpr int MaxCount = 1000;

    int count = 10;             // N answers
    double threshold = 0.0;     // largest spread still stable

    bool isValid() const;

    // The threshold as the engineer types it: a decimal point or comma, an
    // optional exponent, nothing else. False with the reason for anything
    // that is not a finite number of at least zero.
    static bool parseThreshold(const QString &text, double *value, QString *why);

    // How old a device's newest answer may be before its mark lapses: three
    // poll cycles over the checked channels, with the time a silent device
    // takes to be given up, and never less than two seconds.
    static qint64 staleAfterMs(int checkedChannels, int periodMs, int timeoutMs, int repeats);
};

enum class StabilityState {
    NoData,         // no answer yet
    Collecting,     // fewer than N answers
    Stable,
    Unstable,
    Stale           // the newest answer is too old
};

struct StabilityVerdict
{
    StabilityState state = StabilityState::NoData;
    double spread = 0.0;        // over the answers judged (NaN if one is not a number)
    int answers = 0;            // answers judged (at most N)

    bool isStable() const { return state == StabilityState::Stable; }
};

class Stability
{
public:
    static StabilityVerdict judge(const TrendSeries *series, TrendQuantity q,
                                  const StabilityRule &rule, qint32 nowStoreMs,
                                  qint64 staleAfterMs,
                                  qint32 sinceStoreMs = std::numeric_limits<qint32>::min());

    // True when there is at least one verdict and every one is stable.
    static bool allStable(const QVector<StabilityVerdict> &verdicts);

    // Short text beside a device's row: the spread, or how many answers are
    // still missing, or why there is none.
    static QString markText(const StabilityVerdict &v);
    // One line for a tool tip or a plot legend.
    static QString describe(const StabilityVerdict &v, const QString &quantity,
                            const StabilityRule &rule);
    static QString spreadText(double spread);
    // 0xRRGGBB of the mark: green stable, orange unstable, grey otherwise.
    static unsigned colour(StabilityState state);
};
