#include "monitor/trendstore.h"

#include "polling/command3answer.h"

#include <algorithm>
#include <limits>

TrendSeries::TrendSeries(std::size_t recentCapacity, std::size_t historyCapacity)
    : m_recent(recentCapacity)
    , m_historyCapacity(std::max<std::size_t>(2, historyCapacity & ~std::size_t(1)))
{
}

void TrendSeries::add(const TrendSample &sample)
{
    ++m_answers;
    m_recent.push(sample);

    m_sumMs += sample.ms;
    for (int k = 0; k < TrendQuantityCount; ++k)
        m_sum[k] += sample.values[k];
    if (++m_pending < m_stride)
        return;
    TrendSample bucket;
    bucket.ms = qint32(m_sumMs / m_pending);
    for (int k = 0; k < TrendQuantityCount; ++k)
        bucket.values[k] = float(m_sum[k] / m_pending);
    m_sumMs = 0;
    std::fill(std::begin(m_sum), std::end(m_sum), 0.0);
    m_pending = 0;
    if (m_history.size() == m_historyCapacity)
        compactHistory();
    if (m_history.capacity() == m_history.size())
        m_history.reserve(std::min(m_historyCapacity, std::max<std::size_t>(16, m_history.size() * 2)));
    m_history.push_back(bucket);
}

void TrendSeries::compactHistory()
{
    // Neighbours merge into their mean: the history keeps spanning the whole
    // session in half as many buckets, each twice as wide from now on.
    const std::size_t half = m_history.size() / 2;
    for (std::size_t i = 0; i < half; ++i) {
        const TrendSample &a = m_history[2 * i];
        const TrendSample &b = m_history[2 * i + 1];
        TrendSample m;
        m.ms = qint32((qint64(a.ms) + b.ms) / 2);
        for (int k = 0; k < TrendQuantityCount; ++k)
            m.values[k] = float((double(a.values[k]) + b.values[k]) / 2);
        m_history[i] = m;
    }
    m_history.resize(half);
    m_stride *= 2;
}

void TrendSeries::clear()
{
    m_recent.clear();
    std::vector<TrendSample>().swap(m_history);
    m_stride = 1;
    m_sumMs = 0;
    std::fill(std::begin(m_sum), std::end(m_sum), 0.0);
    m_pending = 0;
    m_answers = 0;
}

std::size_t TrendSeries::bytesReserved() const
{
    return m_recent.bytesReserved() + m_history.capacity() * sizeof(TrendSample);
}

std::size_t TrendSeries::firstRecentAtOrAfter(qint32 ms) const
{
    std::size_t lo = 0, hi = m_recent.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (m_recent.at(mid).ms < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// ------------------------------------------------------------------ store

TrendStore::TrendStore(std::size_t recentCapacity, std::size_t historyCapacity)
{
    m_series.reserve(AddressCount);
    for (int a = 0; a < AddressCount; ++a)
        m_series.emplace_back(recentCapacity, historyCapacity);
}

qint32 TrendStore::toStoreMs(qint64 ms) const
{
    const qint64 d = ms - m_origin;
    return qint32(qBound<qint64>(std::numeric_limits<qint32>::min(), d,
                                 std::numeric_limits<qint32>::max()));
}

void TrendStore::add(int address, qint64 nowMs, const Command3Answer &answer)
{
    float values[TrendQuantityCount];
    for (int k = 0; k < TrendQuantityCount; ++k)
        values[k] = answer.value(k);
    add(address, nowMs, values);
}

void TrendStore::add(int address, qint64 nowMs, const float (&values)[TrendQuantityCount])
{
    if (address < 0 || address >= AddressCount)
        return;
    if (!m_hasOrigin) {
        m_origin = nowMs;
        m_hasOrigin = true;
    }
    TrendSample s;
    s.ms = toStoreMs(nowMs);
    std::copy(std::begin(values), std::end(values), s.values);
    m_series[std::size_t(address)].add(s);
}

void TrendStore::clear()
{
    for (TrendSeries &s : m_series)
        s.clear();
    m_hasOrigin = false;
    m_origin = 0;
}

const TrendSeries *TrendStore::series(int address) const
{
    if (address < 0 || address >= AddressCount)
        return nullptr;
    return &m_series[std::size_t(address)];
}

qint64 TrendStore::firstMs(const QVector<int> &addresses) const
{
    qint64 first = -1;
    for (int a : addresses) {
        const TrendSeries *s = series(a);
        if (!s || s->isEmpty())
            continue;
        const qint64 t = fromStoreMs(s->firstMs());
        if (first < 0 || t < first)
            first = t;
    }
    return first;
}

std::size_t TrendStore::bytesReserved() const
{
    std::size_t n = 0;
    for (const TrendSeries &s : m_series)
        n += s.bytesReserved();
    return n;
}

void TrendStore::plotPoints(int address, TrendQuantity q, qint64 fromMs, qint64 toMs,
                            int buckets, QVector<double> *x, QVector<double> *y, qint64 gapMs) const
{
    x->clear();
    y->clear();
    const TrendSeries *s = series(address);
    if (!s || s->isEmpty() || toMs < fromMs || !m_hasOrigin)
        return;
    buckets = std::max(1, buckets);
    const qint32 from = toStoreMs(fromMs);
    const qint32 to = toStoreMs(toMs);
    const double span = double(qint64(to) - from) + 1.0;

    int current = -1;
    TrendSample lo, hi;
    auto flush = [&] {
        if (current < 0)
            return;
        const TrendSample &a = lo.ms <= hi.ms ? lo : hi;
        const TrendSample &b = lo.ms <= hi.ms ? hi : lo;
        x->append(fromStoreMs(a.ms) / 1000.0);
        y->append(a.value(q));
        if (a.ms != b.ms || a.value(q) != b.value(q)) {
            x->append(fromStoreMs(b.ms) / 1000.0);
            y->append(b.value(q));
        }
    };
    // History buckets stand for `stride` answers each and lie that much
    // further apart than answers do.
    const qint32 recentStart = s->recent().front().ms;
    const qint64 historyGapMs = gapMs * s->historyStride();
    qint64 previousMs = std::numeric_limits<qint64>::min();
    s->forEach(from, to, [&](const TrendSample &t) {
        const int b = std::min(buckets - 1, int(double(qint64(t.ms) - from) * buckets / span));
        const float v = t.value(q);
        const qint64 allowed = t.ms < recentStart ? historyGapMs : gapMs;
        if (gapMs > 0 && previousMs != std::numeric_limits<qint64>::min()
            && qint64(t.ms) - previousMs > allowed) {
            flush();
            current = -1;
            x->append(fromStoreMs(qint32(previousMs + 1)) / 1000.0);
            y->append(std::numeric_limits<double>::quiet_NaN());
        }
        previousMs = t.ms;
        if (b != current) {
            flush();
            current = b;
            lo = hi = t;
            return;
        }
        // NaN compares false both ways and is left out of the extremes.
        if (v < lo.value(q))
            lo = t;
        else if (v > hi.value(q))
            hi = t;
    });
    flush();
}
