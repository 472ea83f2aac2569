#pragma once
// Event-loop lateness as the benchmarks measure it: a precise single-shot
// timer, re-armed each time it fires, records how much later than its
// interval every timeout came. A busy or blocked event loop shows up in the
// tail of these figures.
//
// A virtual machine also stops whole processes now and then; a probe that
// shows such a stall says nothing about the program. A ReferenceProbe runs
// the same probe in a thread doing nothing else, and the figures "outside
// the machine's stalls" leave out the samples that overlap one of its stalls.

#include <QElapsedTimer>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

class LatenessProbe
{
public:
    // A time the probe waited too long: from `fromNs` to `toNs` on the
    // steady clock, shared by every thread.
    struct Stall
    {
        qint64 fromNs, toNs;
    };

    explicit LatenessProbe(int intervalMs, std::size_t expectedSamples = 1 << 16)
        : m_intervalMs(intervalMs)
    {
        m_samples.reserve(expectedSamples);
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 late = qMax<qint64>(0, m_armed.nsecsElapsed() - m_intervalMs * 1000000LL);
            m_samples.push_back({late, steadyNs()});
            noteWorst(late);
            arm();
        });
    }

    static qint64 steadyNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    void start()
    {
        m_since.start();
        arm();
    }
    // Rests and wakes again, keeping what it measured: its own wake-ups are
    // not in what is measured while it rests.
    void pause() { m_timer.stop(); }
    void resume() { arm(); }
    void stop() { m_timer.stop(); }

    // Forgets the samples, for a fresh measurement.
    void clear()
    {
        m_samples.clear();
        m_worst.clear();
    }
    // The longest few, longest first: how late (ms) and when (s after start,
    // and the time of day), to tell a periodic cause from a one-off and to
    // set it against what else the machine did then.
    struct Late
    {
        double ms, atS;
        QTime clock;
    };
    std::vector<Late> worst() const { return m_worst; }

    struct Summary
    {
        int samples;
        double p99Ms, maxMs;
    };
    // The figures, leaving out the samples that overlap one of `stalls`.
    Summary summary(const std::vector<Stall> &stalls = {}) const
    {
        const std::vector<qint64> late = sortedLate(stalls);
        return {int(late.size()), quantileMs(late, 0.99), quantileMs(late, 1.0)};
    }
    int samples() const { return int(m_samples.size()); }
    double p99Ms() const { return summary().p99Ms; }
    double maxMs() const { return summary().maxMs; }

    // The times this probe came later than `minMs`.
    std::vector<Stall> stalls(double minMs) const
    {
        std::vector<Stall> out;
        for (const Sample &s : m_samples) {
            if (s.lateNs >= qint64(minMs * 1e6))
                out.push_back({s.endNs - s.lateNs - m_intervalMs * 1000000LL, s.endNs});
        }
        return out;
    }

private:
    static constexpr std::size_t WorstKept = 5;

    struct Sample
    {
        qint64 lateNs, endNs;
    };

    std::vector<qint64> sortedLate(const std::vector<Stall> &stalls) const
    {
        std::vector<qint64> out;
        out.reserve(m_samples.size());
        for (const Sample &s : m_samples) {
            const qint64 from = s.endNs - s.lateNs - m_intervalMs * 1000000LL;
            const bool overlaps = std::any_of(stalls.begin(), stalls.end(), [&](const Stall &st) {
                return from < st.toNs && st.fromNs < s.endNs;
            });
            if (!overlaps)
                out.push_back(s.lateNs);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    static double quantileMs(const std::vector<qint64> &sorted, double q)
    {
        return sorted.empty() ? 0 : sorted[std::size_t(double(sorted.size() - 1) * q)] / 1e6;
    }

    void noteWorst(qint64 lateNs)
    {
        const Late l{lateNs / 1e6, m_since.nsecsElapsed() / 1e9, QTime::currentTime()};
        auto at = std::find_if(m_worst.begin(), m_worst.end(), [&](const Late &w) { return w.ms < l.ms; });
        if (at == m_worst.end() && m_worst.size() >= WorstKept)
            return;
        m_worst.insert(at, l);
        if (m_worst.size() > WorstKept)
            m_worst.pop_back();
    }

    void arm()
    {
        m_armed.start();
        m_timer.start(m_intervalMs);
    }

    int m_intervalMs;
    QTimer m_timer;
    QElapsedTimer m_armed;
    QElapsedTimer m_since;
    std::vector<Sample> m_samples;
    std::vector<Late> m_worst;
};

// The same probe in a thread that does nothing else: what it sees is the
// machine's, not the program's. Read it after finish().
class ReferenceProbe : public QThread
{
public:
    // Later than this, the reference probe was stopped along with the
    // process (left alone it keeps its p99 near a quarter of a millisecond).
    static constexpr double StallMs = 2.0;

    explicit ReferenceProbe(int intervalMs) : m_intervalMs(intervalMs) {}
    ~ReferenceProbe() override { finish(); }

    void finish()
    {
        quit();
        wait();
    }
    const std::vector<LatenessProbe::Stall> &stalls() const { return m_stalls; }
    double maxMs() const { return m_max; }

protected:
    void run() override
    {
        LatenessProbe probe(m_intervalMs);
        probe.start();
        exec();
        probe.stop();
        m_max = probe.maxMs();
        m_stalls = probe.stalls(StallMs);
    }

private:
    int m_intervalMs;
    double m_max = 0;
    std::vector<LatenessProbe::Stall> m_stalls;
};
