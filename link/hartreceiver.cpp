#include "link/hartreceiver.h"

#include <cstdio>

const char *HartReceiver::errorText(Error e)
{
    switch (e) {
    case PreambleTooLong:
        return "Преамбула больше 20 байт\n";
    case PreambleTooShort:
        return "Преамбула меньше 3 байт\n";
    case WrongDelimiter:
        return "Некорректный разделитель\n";
    case NoError:
        break;
    }
    return "";
}

HartReceiver::HartReceiver()
{
    m_buffer.reserve(MaxBuffer);
}

void HartReceiver::reset()
{
    m_buffer.resize(0);
    m_preambleCounter = 0;
    m_headerIndex = 0;
    m_expectedLength = 0;
    m_frameStarted = false;
    m_complete = false;
    m_runTooLong = false;
    m_lastError = NoError;
    for (int &n : m_errorCounts)
        n = 0;
}

int HartReceiver::errorCount(Error e) const
{
    const int i = int(e);
    return (i >= 0 && i < 4) ? m_errorCounts[i] : 0;
}

void HartReceiver::report(Error e)
{
    m_lastError = e;
    ++m_errorCounts[e];
    if (m_diagnostics)
        std::fputs(errorText(e), stderr);
}

void HartReceiver::fail(Error e)
{
    report(e);
    m_preambleCounter = 0;
    m_runTooLong = false;
}

bool HartReceiver::feed(const char *data, int size)
{
    bool completed = false;
    int i = 0;
    while (i < size) {
        // Once the byte count is known the rest of the frame is copied in one
        // go; everything else goes byte by byte through the state machine.
        if (m_frameStarted && !m_complete && m_expectedLength > 0) {
            const int n = m_buffer.size();
            const int take = qMin(m_expectedLength - n, size - i);
            if (take > 1) {
                m_buffer.append(data + i, take - 1);
                i += take - 1;
            }
        }
        completed |= feedByte(uint8_t(data[i++]));
    }
    return completed;
}

int HartReceiver::feedUntilComplete(const char *data, int size, bool *complete)
{
    *complete = false;
    int i = 0;
    while (i < size) {
        if (m_frameStarted && !m_complete && m_expectedLength > 0) {
            const int take = qMin(m_expectedLength - m_buffer.size(), size - i);
            if (take > 1) {
                m_buffer.append(data + i, take - 1);
                i += take - 1;
            }
        }
        if (feedByte(uint8_t(data[i++]))) {
            *complete = true;
            break;
        }
    }
    return i;
}

bool HartReceiver::feedByte(uint8_t c)
{
    if (m_headerIndex == 0) {
        if (c == 0xFF) {
            if (m_preambleCounter == 0)
                ++m_startCount;
            // A run longer than a preamble may be is line noise (a converter
            // switching direction) running into a real answer's preamble: it
            // is reported once, and the last bytes of the run still count, so
            // the answer behind it is not lost.
            if (++m_preambleCounter > MaxPreamble) {
                m_preambleCounter = MaxPreamble;
                if (!m_runTooLong) {
                    m_runTooLong = true;
                    report(PreambleTooLong);
                }
            }
        } else if (m_preambleCounter < MinPreamble) {
            fail(PreambleTooShort);
        } else if (c == 0x82 || c == 0x02) {
            // headerIndex is where the byte count will sit in the buffer.
            m_headerIndex = m_preambleCounter + (c == 0x82 ? 7 : 3);
            m_buffer.fill(char(0xFF), m_preambleCounter);
            m_buffer.append(char(c));
            m_frameStarted = true;
            m_runTooLong = false;
            ++m_delimiterCount;
        } else {
            fail(WrongDelimiter);
        }
        return false;
    }
    if (!m_frameStarted)
        return false;

    if (m_buffer.size() >= MaxBuffer)
        return false;
    m_buffer.append(char(c));
    const int n = m_buffer.size();
    if (n - 1 == m_headerIndex) {
        // The byte count is taken as a signed byte. A negative one never
        // forms a frame: from 0x80 to 0xFD the end would lie behind the bytes
        // already received, and 0xFE or 0xFF would end the frame one or two
        // bytes later with a data field reaching past them. Such an answer is
        // left unfinished, so the request ends in the link's time-out.
        const int count = int(int8_t(c));
        m_expectedLength = count < 0 ? 0 : m_headerIndex + count + 4;
    } else if (!m_complete && m_expectedLength != 0 && n == m_expectedLength) {
        m_complete = true;
        return true;
    }
    return false;
}

HartAnswer HartReceiver::answer() const
{
    HartAnswer a;
    if (m_complete)
        a.parse(m_buffer.size() == m_expectedLength ? m_buffer : m_buffer.left(m_expectedLength));
    return a;
}
