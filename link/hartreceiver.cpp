#include "link/hartreceiver.h"
#include "link/linklog.h"

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
    m_top.buffer.reserve(MaxBuffer);
}

HartReceiver::~HartReceiver() = default;

void HartReceiver::reset()
{
    m_top.clear();
    m_lastError = NoError;
    for (int &n : m_errorCounts)
        n = 0;
}

void HartReceiver::huntOn()
{
    // A damaged frame may have been noise whose byte count ran into the
    // preamble of the real answer: what the inner hunt had of it stays.
    if (m_top.complete && !m_top.checksumOk())
        m_top.giveUp();
    else
        m_top.clear();
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
        const Hunt &h = m_top;
        if (h.frameStarted && !h.complete && h.expectedLength > 0) {
            int bulk = qMin(h.expectedLength - h.buffer.size(), size - i) - 1;
            if (bulk > 0 && h.inner) {
                if (!h.inner->idle()) {
                    bulk = 0;
                } else if (const void *ff = std::memchr(data + i, 0xFF, size_t(bulk))) {
                    bulk = int(static_cast<const char *>(ff) - (data + i));
                }
            }
            if (bulk > 0) {
                m_top.buffer.append(data + i, bulk);
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
    Hunt &h = m_top;
    if (!h.frameStarted) {
        if (c == 0xFF && h.preambleCounter > 0 && h.preambleCounter < MaxPreamble) {
            ++h.preambleCounter;
            return false;
        }
    } else if (!h.complete && c != 0xFF && (!h.inner || h.inner->idle()) && h.buffer.size() < MaxBuffer) {
        const int n = h.buffer.size() + 1;
        if (n - 1 != h.headerIndex && n != h.expectedLength) {
            h.buffer.append(char(c));
            return false;
        }
    }
    const Hunt::Step step = m_top.feedByte(c, *this, 0);
    if (step == Hunt::Failed)
        report(m_top.error);
    return step == Hunt::Completed;
}

HartAnswer HartReceiver::answer() const
{
    HartAnswer a;
    if (m_top.complete) {
        const QByteArray &b = m_top.buffer;
        a.parse(b.size() == m_top.expectedLength ? b : b.left(m_top.expectedLength));
    }
    return a;
}

// ---------------------------------------------------------------- one hunt

void HartReceiver::Hunt::clear()
{
    buffer.resize(0);
    preambleCounter = 0;
    headerIndex = 0;
    expectedLength = 0;
    number = 0;
    runTooLong = false;
    frameStarted = false;
    complete = false;
    error = NoError;
    // An idle inner hunt has nothing to forget, nor has any hunt inside it.
    if (inner && !inner->idle())
        inner->clear();
}

bool HartReceiver::Hunt::checksumOk() const
{
    if (!complete || expectedLength < 2 || buffer.size() < expectedLength)
        return false;
    // From the delimiter (right after the counted preamble) to the checksum.
    uint8_t sum = 0;
    for (int i = preambleCounter; i < expectedLength - 1; ++i)
        sum ^= uint8_t(buffer.at(i));
    return sum == uint8_t(buffer.at(expectedLength - 1));
}

HartReceiver::Hunt::Step HartReceiver::Hunt::feedByte(uint8_t c, HartReceiver &r, int depth)
{
    if (!frameStarted) {
        if (c == 0xFF) {
            if (preambleCounter == 0 && depth == 0)
                ++r.m_startCount;
            // A run longer than a preamble may be is line noise (a converter
            // switching direction) running into a real answer's preamble: it
            // is reported once, and the last bytes of the run still count, so
            // the answer behind it is not lost.
            if (++preambleCounter > MaxPreamble) {
                preambleCounter = MaxPreamble;
                if (!runTooLong) {
                    runTooLong = true;
                    error = PreambleTooLong;
                    return Failed;
                }
            }
            return Nothing;
        }
        if (preambleCounter >= MinPreamble && (c == 0x82 || c == 0x02)) {
            // headerIndex is where the byte count will sit in the buffer.
            headerIndex = preambleCounter + (c == 0x82 ? 7 : 3);
            buffer.fill(char(0xFF), preambleCounter);
            buffer.append(char(c));
            frameStarted = true;
            runTooLong = false;
            number = ++r.m_delimiterCount;
            if (depth + 1 < MaxNesting) {
                if (!inner)
                    inner = std::make_unique<Hunt>();
                else if (!inner->idle())
                    inner->clear();
            }
            return Nothing;
        }
        error = preambleCounter < MinPreamble ? PreambleTooShort : WrongDelimiter;
        preambleCounter = 0;
        runTooLong = false;
        return Failed;
    }

    if (complete) {
        // Kept (up to the cap) for whoever reads the buffer; never a frame.
        if (buffer.size() < MaxBuffer)
            buffer.append(char(c));
        return Nothing;
    }
    Step step = Nothing;
    bool hopeless = false;
    if (buffer.size() < MaxBuffer) {
        buffer.append(char(c));
        const int n = buffer.size();
        if (n - 1 == headerIndex) {
            // The byte count is taken as a signed byte. A negative one never
            // forms a frame: from 0x80 to 0xFD the end would lie behind the
            // bytes already received, and 0xFE or 0xFF would end the frame
            // one or two bytes later with a data field reaching past them.
            // Such a start is noise and given up at once.
            const int count = int(int8_t(c));
            hopeless = count < 0;
            expectedLength = hopeless ? 0 : headerIndex + count + 4;
        } else if (expectedLength != 0 && n == expectedLength) {
            complete = true;
            step = Completed;
        }
    }
    // Every byte after this frame's delimiter is also hunted through for a
    // frame that begins inside it; a damaged one there is given up at once.
    // (A byte other than 0xFF changes nothing in an idle hunt.)
    if (inner && (c == 0xFF || !inner->idle()) && inner->feedByte(c, r, depth + 1) == Completed
        && !inner->checksumOk())
        inner->giveUp();
    // This frame gives way to the one begun inside it when it cannot
    // complete, when that one completed first with a good checksum, or when
    // this one completed damaged: then the later frame completes on its own
    // bytes.
    const bool innerWon = inner && inner->complete && step != Completed;
    const bool innerBegun = inner && inner->frameStarted;
    if (hopeless || innerWon || (step == Completed && innerBegun && !checksumOk())) {
        giveUp();
        return complete ? Completed : Nothing;
    }
    return step;
}

void HartReceiver::Hunt::giveUp()
{
    if (!inner) {
        clear();
        return;
    }
    std::unique_ptr<Hunt> next = std::move(inner);
    *this = std::move(*next);
}
