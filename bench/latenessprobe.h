#pragma once
// Event-loop lateness as the benchmarks measure it: a precise single-shot
// timer, re-armed each time it fires, records how much later than its
// interval every timeout came. A busy or blocked event loop shows up in the
// tail of these figures.

#include <QElapsedTimer>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <vector>

class LatenessProbe
{
public:
    explicit LatenessProbe(int intervalMs, std::size_t expectedSamples = 1 << 16)
        : m_intervalMs(intervalMs)
    {
        m_lateNs.reserve(expectedSamples);
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_lateNs.push_back(qMax<qint64>(0, m_armed.nsecsElapsed() - m_intervalMs * 1000000LL));
            arm();
        });
    }

    void start() { arm(); }
    // Stops the probe and orders the samples for the figures below.
    void stop()
    {
        m_timer.stop();
        std::sort(m_lateNs.begin(), m_lateNs.end());
    }

    int samples() const { return int(m_lateNs.size()); }
    double p99Ms() const
    {
        return m_lateNs.empty() ? 0 : m_lateNs[std::size_t(double(m_lateNs.size() - 1) * 0.99)] / 1e6;
    }
    double maxMs() const { return m_lateNs.empty() ? 0 : m_lateNs.back() / 1e6; }

private:
    void arm()
    {
        m_armed.start();
        m_timer.start(m_intervalMs);
    }

    int m_intervalMs;
    QTimer m_timer;
    QElapsedTimer m_armed;
    std::vector<qint64> m_lateNs;
};
