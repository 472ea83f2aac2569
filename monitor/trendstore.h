#pragma once
// The polled values of every short address over the session, for the live
// trend, its export and the stability mark. Bounded whatever the length of
// the shift: each address keeps its most recent answers at full resolution
// in a ring, and the whole session in a second store whose buckets double
// in width (pairs merged into their mean) each time it fills, so the longest
// windows show bucket means and the recent minutes every answer.
//
// Times are milliseconds of one monotonic clock chosen by the caller; the
// store only needs them not to run backwards.

#include "monitor/ringbuffer.h"

#include <QString>
#include <QVector>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

class Command3Answer;

// What a command-3 answer carries, in the order of its data: the loop
// current and dynamic variables 1 to 4.
enum class TrendQuantity { Current = 0, Var1, Var2, Var3, Var4 };
constexpr int TrendQuantityCount = 5;

struct TrendSample
{
    qint32 ms = 0;          // since the store's origin
    float values[TrendQuantityCount] = {0, 0, 0, 0, 0};

    float value(TrendQuantity q) const { return values[int(q)]; }
};

class TrendSeries
{
public:
    TrendSeries(std::size_t recentCapacity, std::size_t historyCapacity);

    void add(const TrendSample &sample);
    void clear();

    bool isEmpty() const { return m_recent.isEmpty(); }
    // Time of the oldest answer still represented (valid when not empty).
    qint32 firstMs() const { return m_history.empty() ? m_recent.front().ms
                                                       : std::min(m_history.front().ms, m_recent.front().ms); }
    qint64 answers() const { return m_answers; }
    const RingBuffer<TrendSample> &recent() const { return m_recent; }
    // Answers per history bucket at present (1 until the history first fills).
    int historyStride() const { return m_stride; }
    std::size_t historySize() const { return m_history.size(); }
    std::size_t bytesReserved() const;

    // Visits the samples with from <= ms <= to, oldest first: history buckets
    // older than the recent ring, then the recent ring's answers.
    template <typename F>
    void forEach(qint32 from, qint32 to, F &&visit) const
    {
        const qint32 recentStart = m_recent.isEmpty() ? to + 1 : m_recent.front().ms;
        if (from < recentStart) {
            auto it = std::lower_bound(m_history.begin(), m_history.end(), from,
                                       [](const TrendSample &s, qint32 t) { return s.ms < t; });
            for (; it != m_history.end() && it->ms < recentStart && it->ms <= to; ++it)
                visit(*it);
        }
        for (std::size_t i = firstRecentAtOrAfter(from); i < m_recent.size(); ++i) {
            const TrendSample &s = m_recent.at(i);
            if (s.ms > to)
                break;
            visit(s);
        }
    }

private:
    std::size_t firstRecentAtOrAfter(qint32 ms) const;
    void compactHistory();

    RingBuffer<TrendSample> m_recent;
    std::vector<TrendSample> m_history;
    std::size_t m_historyCapacity;
    int m_stride = 1;
    // The bucket being filled.
    double m_sumMs = 0;
    double m_sum[TrendQuantityCount] = {0, 0, 0, 0, 0};
    int m_pending = 0;
    qint64 m_answers = 0;
};

class TrendStore
{
public:
    static constexpr int AddressCount = 16;
    // Per address: the recent ring holds the last 20 minutes of a device
    // polled alone every 300 ms, hours of one among fifteen; the history's
    // buckets outnumber the pixels of any plot. About 100 KB at most.
    static constexpr std::size_t DefaultRecent = 2048;
    static constexpr std::size_t DefaultHistory = 2048;

    explicit TrendStore(std::size_t recentCapacity = DefaultRecent,
                        std::size_t historyCapacity = DefaultHistory);

    // The first answer fixes the origin; nowMs is the caller's clock.
    void add(int address, qint64 nowMs, const Command3Answer &answer);
    void add(int address, qint64 nowMs, const float (&values)[TrendQuantityCount]);
    void clear();

    bool hasOrigin() const { return m_hasOrigin; }
    qint64 originMs() const { return m_origin; }
    qint32 toStoreMs(qint64 ms) const;
    qint64 fromStoreMs(qint32 ms) const { return m_origin + ms; }
    // Time of the oldest answer kept for any of the addresses (the start of
    // the "whole session" window); -1 when empty.
    qint64 firstMs(const QVector<int> &addresses) const;

    // Null for an address outside 0..15.
    const TrendSeries *series(int address) const;
    std::size_t bytesReserved() const;

    // Plot points of one address in [fromMs, toMs]: at most two per bucket
    // of the window (its lowest and its highest value, in time order), so a
    // window drawn `buckets` pixels wide costs the same whatever it holds.
    // x in seconds of the caller's clock, y the quantity. Where answers are
    // more than gapMs apart (0: never) a NaN point breaks the line: a plot
    // must not draw a straight line across a stop or a lost line.
    void plotPoints(int address, TrendQuantity q, qint64 fromMs, qint64 toMs, int buckets,
                    QVector<double> *x, QVector<double> *y, qint64 gapMs = 0) const;

private:
    std::vector<TrendSeries> m_series;
    qint64 m_origin = 0;
    bool m_hasOrigin = false;
};
