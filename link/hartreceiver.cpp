#include "link/hartreceiver.h"
#include "link/linklog.h"

#include <algorithm>
#include <cstring>

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
    m_hunts[0].buffer.reserve(MaxBuffer);
}

void HartReceiver::reset()
{
    clearHunt(0);
    m_lastError = NoError;
    for (int &n : m_errorCounts)
        n = 0;
}

void HartReceiver::huntOn()
{
    // A damaged frame may have been noise whose byte count ran into the
    // preamble of the real answer: what the inner hunt had of it stays.
    if (m_hunts[0].complete && !m_hunts[0].checksumOk())
        giveUp(0);
    else
        clearHunt(0);
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
        linkDiagnostic(errorText(e));
}

bool HartReceiver::feed(const char *data, int size)
{
    bool completed = false;
    int i = 0;
    while (i < size) {
        bool complete = false;
        i += feedUntilComplete(data + i, size - i, &complete);
        completed |= complete;
    }
    return completed;
}

int HartReceiver::feedUntilComplete(const char *data, int size, bool *complete)
{
    *complete = false;
    int i = 0;
    while (i < size) {
        // Once the byte count is known the frame's bytes are copied in one
        // go, up to the last one (which completes it) and up to the first
        // 0xFF while the inner hunt has nothing begun: nothing else can
        // start a frame inside this one.
        Hunt &h = m_hunts[0];
        if (h.frameStarted && !h.complete && h.expectedLength > 0) {
            int bulk = qMin(h.expectedLength - h.buffer.size(), size - i) - 1;
            if (bulk > 0) {
                if (!innerIdle(0)) {
                    bulk = 0;
                } else if (const void *ff = std::memchr(data + i, 0xFF, size_t(bulk))) {
                    bulk = int(static_cast<const char *>(ff) - (data + i));
                }
            }
            if (bulk > 0) {
                h.buffer.append(data + i, bulk);
                i += bulk;
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
    // The common bytes take a short way: the next 0xFF of a preamble under
    // way, and a byte inside a frame that neither is its byte count nor
    // completes it, while nothing has begun inside the frame.
    Hunt &h = m_hunts[0];
    if (!h.frameStarted) {
        if (c == 0xFF && h.preambleCounter > 0 && h.preambleCounter < MaxPreamble) {
            ++h.preambleCounter;
            return false;
        }
    } else if (!h.complete && c != 0xFF && innerIdle(0) && h.buffer.size() < MaxBuffer) {
        const int n = h.buffer.size() + 1;
        if (n - 1 != h.headerIndex && n != h.expectedLength) {
            h.buffer.append(char(c));
            return false;
        }
    }
    return feedHunt(0, c);
}

HartAnswer HartReceiver::answer() const
{
    HartAnswer a;
    const Hunt &h = m_hunts[0];
    if (h.complete)
        a.parse(h.buffer.size() == h.expectedLength ? h.buffer : h.buffer.left(h.expectedLength));
    return a;
}

// ---------------------------------------------------------------- the hunts

void HartReceiver::clearHunt(int k)
{
    Hunt &h = m_hunts[k];
    h.buffer.resize(0);
    h.preambleCounter = 0;
    h.headerIndex = 0;
    h.expectedLength = 0;
    h.number = 0;
    h.runTooLong = false;
    h.frameStarted = false;
    h.complete = false;
    // An idle inner hunt has nothing to forget, nor has any hunt inside it.
    if (!innerIdle(k))
        clearHunt(k + 1);
}

bool HartReceiver::Hunt::checksumOk() const
{
    if (!complete || expectedLength < 2 || buffer.size() < expectedLength)
        return false;
    // From the delimiter (right after the counted preamble) to the checksum.
    const int last = expectedLength - 1;
    return HartAnswer::checksumOf(buffer.constData() + preambleCounter, last - preambleCounter)
        == uint8_t(buffer.at(last));
}

bool HartReceiver::feedHunt(int k, uint8_t c)
{
    Hunt &h = m_hunts[k];
    if (!h.frameStarted) {
        if (c == 0xFF) {
            if (h.preambleCounter == 0 && k == 0)
                ++m_startCount;
            // A run longer than a preamble may be is line noise (a converter
            // switching direction) running into a real answer's preamble: it
            // is reported once, and the last bytes of the run still count, so
            // the answer behind it is not lost.
            if (++h.preambleCounter > MaxPreamble) {
                h.preambleCounter = MaxPreamble;
                if (!h.runTooLong) {
                    h.runTooLong = true;
                    if (k == 0)
                        report(PreambleTooLong);
                }
            }
            return false;
        }
        if (h.preambleCounter >= MinPreamble && (c == 0x82 || c == 0x02)) {
            // headerIndex is where the byte count will sit in the buffer.
            h.headerIndex = h.preambleCounter + (c == 0x82 ? 7 : 3);
            h.buffer.fill(char(0xFF), h.preambleCounter);
            h.buffer.append(char(c));
            h.frameStarted = true;
            h.runTooLong = false;
            h.number = ++m_delimiterCount;
            if (k + 1 < MaxNesting) {
                // What begins inside this frame is hunted for from here on.
                m_huntsInUse = qMax(m_huntsInUse, k + 2);
                clearHunt(k + 1);
            }
            return false;
        }
        // Only the frame reported has its framing errors reported.
        if (k == 0)
            report(h.preambleCounter < MinPreamble ? PreambleTooShort : WrongDelimiter);
        h.preambleCounter = 0;
        h.runTooLong = false;
        return false;
    }

    if (h.complete) {
        // Kept (up to the cap) for whoever reads the buffer; never a frame.
        if (h.buffer.size() < MaxBuffer)
            h.buffer.append(char(c));
        return false;
    }
    Hunt *inner = innerOf(k);
    bool completed = false;
    bool hopeless = false;
    if (h.buffer.size() < MaxBuffer) {
        h.buffer.append(char(c));
        const int n = h.buffer.size();
        if (n - 1 == h.headerIndex) {
            // The byte count is taken as a signed byte. A negative one never
            // forms a frame: from 0x80 to 0xFD the end would lie behind the
            // bytes already received, and 0xFE or 0xFF would end the frame
            // one or two bytes later with a data field reaching past them.
            // Such a start is noise and given up at once.
            const int count = int(int8_t(c));
            hopeless = count < 0;
            h.expectedLength = hopeless ? 0 : h.headerIndex + count + 4;
        } else if (h.expectedLength != 0 && n == h.expectedLength) {
            h.complete = true;
            completed = true;
        }
    }
    // Every byte after this frame's delimiter is also hunted through for a
    // frame that begins inside it; a damaged one there is given up at once.
    // (A byte other than 0xFF changes nothing in an idle hunt.)
    if (inner && (c == 0xFF || !inner->idle()) && feedHunt(k + 1, c) && !inner->checksumOk())
        giveUp(k + 1);
    // This frame gives way to the one begun inside it when it cannot
    // complete, when that one completed first with a good checksum, or when
    // this one completed damaged: then the later frame completes on its own
    // bytes.
    const bool innerWon = inner && inner->complete && !completed;
    const bool innerBegun = inner && inner->frameStarted;
    if (hopeless || innerWon || (completed && innerBegun && !h.checksumOk())) {
        giveUp(k);
        return h.complete;
    }
    return completed;
}

void HartReceiver::giveUp(int k)
{
    if (!innerOf(k)) {
        clearHunt(k);
        return;
    }
    std::rotate(m_hunts.begin() + k, m_hunts.begin() + k + 1, m_hunts.begin() + m_huntsInUse);
    --m_huntsInUse;
}
