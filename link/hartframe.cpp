#include "link/hartframe.h"
#include "link/linklog.h"

#include <cstring>

namespace {
constexpr uint8_t ShortDelimiter = 0x02;
constexpr uint8_t LongDelimiter = 0x82;
}

void HartRequestFrame::setPreambleCount(int n)
{
    m_preambleCount = n;
}

void HartRequestFrame::setLongFrame(bool on)
{
    m_longFrame = on;
}

void HartRequestFrame::setAddressBytes(const uint8_t *a)
{
    if (!a)
        return;
    m_address[0] = a[0];
    // Only a long frame carries the other four bytes; the flag has to be set
    // before the address, callers rely on that order.
    if (m_longFrame)
        std::memcpy(m_address + 1, a + 1, 4);
}

void HartRequestFrame::setAddressBytes(const QByteArray &a)
{
    if (a.isEmpty())
        return;
    m_address[0] = uint8_t(a.at(0));
    if (m_longFrame) {
        // A short array leaves the missing bytes as they were.
        for (int i = 1; i < qMin(a.size(), 5); ++i)
            m_address[i] = uint8_t(a.at(i));
    }
}

int HartRequestFrame::frameSizeFor(int preambleCount, bool longFrame, int dataLength)
{
    // preamble, delimiter, address, command, byte count, data, checksum
    return preambleCount + 1 + (longFrame ? 5 : 1) + 1 + 1 + dataLength + 1;
}

bool HartRequestFrame::buildCommand0()
{
    // Command 0 is how a device is found by its short address, before its
    // long address is known: it always goes out as a short frame.
    m_longFrame = false;
    return build(0x00, nullptr, 0);
}

bool HartRequestFrame::buildCommand3() { return build(0x03, nullptr, 0); }
bool HartRequestFrame::buildCommand36() { return build(0x24, nullptr, 0); }
bool HartRequestFrame::buildCommand37() { return build(0x25, nullptr, 0); }
bool HartRequestFrame::buildCommand42() { return build(0x2A, nullptr, 0); }
bool HartRequestFrame::buildCommand43() { return build(0x2B, nullptr, 0); }

bool HartRequestFrame::buildCommand51(const uint8_t d[3])
{
    return build(0x33, d, 3);
}

bool HartRequestFrame::buildCommand91(const uint8_t *d, int n)
{
    return build(0x5B, d, n);
}

QByteArray HartRequestFrame::toByteArray() const
{
    return QByteArray(reinterpret_cast<const char *>(m_buffer), m_totalLength);
}

bool HartRequestFrame::build(uint8_t command, const uint8_t *data, int n)
{
    m_totalLength = 0;
    m_error.clear();

    // Everything is checked before the first byte is written, so a refused
    // request never touches memory past the buffer.
    if (m_preambleCount < 0 || n < 0 || n > 255 || (n > 0 && !data)) {
        m_error = QStringLiteral("HartRequestFrame: invalid request (preamble %1, %2 data bytes)")
                      .arg(m_preambleCount)
                      .arg(n);
    } else {
        const int needed = frameSizeFor(m_preambleCount, m_longFrame, n);
        if (needed > BufferSize) {
            m_error = QStringLiteral("HartRequestFrame: request of %1 bytes does not fit the %2-byte buffer "
                                     "(preamble %3, %4 frame, %5 data bytes), not built")
                          .arg(needed)
                          .arg(BufferSize)
                          .arg(m_preambleCount)
                          .arg(m_longFrame ? QStringLiteral("long") : QStringLiteral("short"))
                          .arg(n);
        }
    }
    if (!m_error.isEmpty()) {
        linkDiagnostic(m_error + QLatin1Char('\n'));
        return false;
    }

    std::memset(m_buffer, 0xFF, size_t(m_preambleCount));
    int length = m_preambleCount;
    m_buffer[length++] = m_longFrame ? LongDelimiter : ShortDelimiter;
    const int addressLength = m_longFrame ? 5 : 1;
    std::memcpy(m_buffer + length, m_address, size_t(addressLength));
    length += addressLength;
    m_buffer[length++] = command;
    m_buffer[length++] = uint8_t(n);
    if (n > 0) {
        std::memcpy(m_buffer + length, data, size_t(n));
        length += n;
    }

    // The checksum covers delimiter through data, preamble excluded.
    m_buffer[length] = HartAnswer::checksumOf(reinterpret_cast<const char *>(m_buffer) + m_preambleCount,
                                              length - m_preambleCount);
    m_totalLength = length + 1;
    return true;
}
