#pragma once
// Finds request frames in the byte stream the device side of the line
// receives, the way a field device's receiver does: a run of at least two
// 0xFF preamble bytes, a delimiter (0x02 short, 0x82 long), the address,
// command, byte count, data and a checksum over delimiter..last data byte.

#include "sim/virtualdevice.h"

#include <QByteArray>
#include <QList>

namespace sim {

class RequestFramer
{
public:
    struct Frame
    {
        QByteArray raw;      // preamble as received, then the frame
        bool checksumOk = false;
        Request request;     // meaningful when checksumOk
    };

    static constexpr int MinPreamble = 2;

    // Feeds received bytes; nowMs is a monotonic time stamp. A partial frame
    // whose last byte is older than the gap limit is dropped first, as a
    // receiver abandons a frame after a silence on the line.
    QList<Frame> feed(const QByteArray &bytes, qint64 nowMs);

    void setGapLimitMs(int ms);
    void reset();
    int pendingBytes() const;

private:
    QByteArray m_buffer;
    qint64 m_lastByteMs = 0;
    int m_gapLimitMs = 200;
};

} // namespace sim
