#include "devicedata/linereader.h"

#include <QIODevice>

namespace {
constexpr qint64 ChunkSize = 64 * 1024;
}

LineReader::LineReader(QIODevice &device, int maxLineLength)
    : m_device(device)
    , m_maxLineLength(qMax(1, maxLineLength))
{
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    // Drop what has been handed out before growing the buffer, so that the
    // buffer never holds more than one line plus one chunk.
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    const int old = m_buffer.size();
    m_buffer.resize(old + int(ChunkSize));
    const qint64 got = m_device.read(m_buffer.data() + old, ChunkSize);
    if (got <= 0) {
        m_buffer.resize(old);
        m_eof = true;
        return false;
    }
    m_buffer.resize(old + int(got));
    return true;
}

bool LineReader::next(QByteArray *line)
{
    for (;;) {
        const int lf = m_buffer.indexOf('\n', m_start + m_scanned);
        const int available = (lf >= 0 ? lf : m_buffer.size()) - m_start;
        if (available >= m_maxLineLength) {
            *line = m_buffer.mid(m_start, m_maxLineLength);
            m_start += m_maxLineLength;
            m_scanned = lf >= 0 ? 0 : available - m_maxLineLength;
            return true;
        }
        if (lf >= 0) {
            int end = lf;
            if (end > m_start && m_buffer.at(end - 1) == '\r')
                --end;
            *line = m_buffer.mid(m_start, end - m_start);
            line->append('\n');
            m_start = lf + 1;
            m_scanned = 0;
            return true;
        }
        m_scanned = available;
        if (!fill())
            break;
    }
    if (m_start >= m_buffer.size())
        return false;
    *line = m_buffer.mid(m_start);
    m_start = m_buffer.size();
    m_scanned = 0;
    return true;
}
