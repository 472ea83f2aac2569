#include "sim/requestframer.h"

namespace sim {

namespace {

constexpr uint8_t Preamble = 0xFF;
constexpr uint8_t ShortDelimiter = 0x02;
constexpr uint8_t LongDelimiter = 0x82;
// A request never comes near this; past it the oldest bytes are garbage.
constexpr int MaxBuffered = 2048;

struct Candidate
{
    int start = -1;  // first preamble byte
    int delim = -1;  // delimiter
};

// The next preamble run of at least MinPreamble bytes followed by a
// delimiter, searching from 'from'. 'keepFrom' is where an unfinished
// preamble at the end of the buffer begins (or the buffer size).
Candidate findCandidate(const QByteArray &buf, int from, int *keepFrom)
{
    int run = 0;
    int runStart = from;
    for (int i = from; i < buf.size(); ++i) {
        const uint8_t c = uint8_t(buf.at(i));
        if (c == Preamble) {
            if (run++ == 0)
                runStart = i;
            continue;
        }
        if (run >= RequestFramer::MinPreamble && (c == ShortDelimiter || c == LongDelimiter))
            return {runStart, i};
        run = 0;
    }
    *keepFrom = run > 0 ? runStart : buf.size();
    return {};
}

enum class Outcome { Incomplete, Complete };

Outcome frameAt(const QByteArray &buf, const Candidate &cand, RequestFramer::Frame *frame, int *end)
{
    const bool isLong = uint8_t(buf.at(cand.delim)) == LongDelimiter;
    const int addressLength = isLong ? 5 : 1;
    const int countIndex = cand.delim + 1 + addressLength + 1;
    if (countIndex >= buf.size())
        return Outcome::Incomplete;
    const int count = uint8_t(buf.at(countIndex));
    const int checksumIndex = countIndex + 1 + count;
    if (checksumIndex >= buf.size())
        return Outcome::Incomplete;

    uint8_t sum = 0;
    for (int i = cand.delim; i < checksumIndex; ++i)
        sum ^= uint8_t(buf.at(i));
    frame->raw = buf.mid(cand.start, checksumIndex + 1 - cand.start);
    frame->checksumOk = sum == uint8_t(buf.at(checksumIndex));
    Request &r = frame->request;
    r.longFrame = isLong;
    r.preambleCount = cand.delim - cand.start;
    r.address = buf.mid(cand.delim + 1, addressLength);
    r.command = uint8_t(buf.at(countIndex - 1));
    r.data = buf.mid(countIndex + 1, count);
    *end = checksumIndex + 1;
    return Outcome::Complete;
}

} // namespace

void RequestFramer::setGapLimitMs(int ms) { m_gapLimitMs = ms; }

void RequestFramer::reset() { m_buffer.clear(); }

int RequestFramer::pendingBytes() const { return m_buffer.size(); }

QList<RequestFramer::Frame> RequestFramer::feed(const QByteArray &bytes, qint64 nowMs)
{
    if (!m_buffer.isEmpty() && nowMs - m_lastByteMs > m_gapLimitMs)
        m_buffer.clear();
    if (!bytes.isEmpty())
        m_lastByteMs = nowMs;
    m_buffer.append(bytes);
    if (m_buffer.size() > MaxBuffered)
        m_buffer.remove(0, m_buffer.size() - MaxBuffered);

    QList<Frame> frames;
    int pos = 0;
    for (;;) {
        int keepFrom = m_buffer.size();
        const Candidate cand = findCandidate(m_buffer, pos, &keepFrom);
        if (cand.delim < 0) {
            pos = keepFrom;
            break;
        }
        Frame frame;
        int end = 0;
        if (frameAt(m_buffer, cand, &frame, &end) == Outcome::Complete) {
            frames.append(frame);
            // After a damaged frame look again right behind its delimiter: the
            // false start may have swallowed the beginning of a real request.
            pos = frame.checksumOk ? end : cand.delim + 1;
            continue;
        }
        // Unfinished. If a later start already holds a whole good frame, this
        // one was noise that happened to look like a start: skip it.
        bool skipped = false;
        int from = cand.delim + 1;
        for (;;) {
            int ignored = 0;
            const Candidate later = findCandidate(m_buffer, from, &ignored);
            if (later.delim < 0)
                break;
            Frame probe;
            int probeEnd = 0;
            if (frameAt(m_buffer, later, &probe, &probeEnd) == Outcome::Complete && probe.checksumOk) {
                pos = later.start;
                skipped = true;
                break;
            }
            from = later.delim + 1;
        }
        if (!skipped) {
            pos = cand.start;
            break;
        }
    }
    m_buffer.remove(0, pos);
    return frames;
}

} // namespace sim
