#pragma once
// The traffic log's memory: the most recent frames and time-outs the link
// reported, in a ring of fixed size, and the text of one event as the log
// view, its saved file and its streamed file write it.

#include "link/linkstatistics.h"
#include "monitor/ringbuffer.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class TrafficLog
{
public:
    static constexpr std::size_t DefaultCapacity = 10000;

    explicit TrafficLog(std::size_t capacity = DefaultCapacity) : m_events(capacity) {}

    void append(const LinkTrafficEvent &event)
    {
        m_events.push(event);
        ++m_total;
    }
    void clear() { m_events.clear(); }

    std::size_t size() const { return m_events.size(); }
    std::size_t capacity() const { return m_events.capacity(); }
    const LinkTrafficEvent &at(std::size_t i) const { return m_events.at(i); }
    // Events appended since construction, including those the ring has dropped.
    qint64 total() const { return m_total; }
    // The number (counted from 0 since construction) of the oldest event kept.
    qint64 firstKept() const { return m_total - qint64(m_events.size()); }

    // The kept events of one address (-1: all) numbered `from` and later,
    // oldest first; their numbers go to `seqs` when given.
    QVector<LinkTrafficEvent> events(int address, qint64 from = 0, QVector<qint64> *seqs = nullptr) const;

    static QString directionText(LinkTrafficEvent::Direction d);
    static QString verdictText(LinkTrafficEvent::Verdict v);
    static QString timeText(qint64 msecsSinceEpoch);
    static QString addressText(int address);
    static QString numberText(int n);       // empty for -1 (unknown)
    static QString bytesText(const QByteArray &bytes);
    // Both status bytes of a received answer in words; empty for a request,
    // a time-out and bytes that hold no whole answer.
    static QString statusText(const LinkTrafficEvent &event);
    // Tab-separated: time, direction, address, command, byte count, verdict,
    // status, frame bytes.
    static QByteArray line(const LinkTrafficEvent &event);
    static QByteArray heading();

private:
    RingBuffer<LinkTrafficEvent> m_events;
    qint64 m_total = 0;
};
