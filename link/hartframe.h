#pragma once
// HART frame codec: request building, answer framing and answer parsing.
//
// This device family answers with the delimiter of the request (0x02 short,
// 0x82 long) and its byte count covers only the data after the two status
// bytes.

#include "link/hartanswer.h"
#include "link/hartreceiver.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// A request being built. One is created per request, then its bytes copied out.
class HartRequestFrame
{
public:
    static constexpr int BufferSize = 50;

    HartRequestFrame() = default;

    void setPreambleCount(int n);
    void setLongFrame(bool on);
    // Copies a[0]; when the long flag is already set, also a[1]..a[4].
    void setAddressBytes(const uint8_t *a);
    void setAddressBytes(const QByteArray &a);

    // Every builder starts over at position 0 and finishes with the checksum.
    // A frame that would not fit the buffer is refused: the builder returns
    // false, leaves frameSize() at 0 and errorString() says why.
    bool buildCommand0();
    bool buildCommand3();
    bool buildCommand36();
    bool buildCommand37();
    bool buildCommand42();
    bool buildCommand43();
    bool buildCommand51(const uint8_t d[3]);
    bool buildCommand91(const uint8_t *d, int n);

    // The smallest frame is preamble + 6 bytes (short, no data); the long
    // address adds 4. Lets a caller check a request before building it.
    static int frameSizeFor(int preambleCount, bool longFrame, int dataLength);

    const uint8_t *frameBytes() const { return m_buffer; }
    int frameSize() const { return m_totalLength; }
    QByteArray toByteArray() const;
    QString errorString() const { return m_error; }

    bool isLongFrame() const { return m_longFrame; }
    int preambleCount() const { return m_preambleCount; }

private:
    bool build(uint8_t command, const uint8_t *data, int n);

    uint8_t m_buffer[BufferSize] = {};
    uint8_t m_address[5] = {};
    int m_preambleCount = 1;
    int m_totalLength = 0;
    bool m_longFrame = false;
    QString m_error;
};
