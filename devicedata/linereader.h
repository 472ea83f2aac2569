#pragma once
// Splits a device into lines with bounded work per byte: the device is read
// in fixed chunks and each byte is scanned once, so a ten-megabyte line costs
// no more than ten megabytes of short ones. A line is held whole, though (a
// key:value line is only meaningful complete), up to a limit that keeps a
// multi-gigabyte file without line breaks from exhausting memory: a longer
// line is handed out in pieces of the limit's length, without terminator.

#include <QByteArray>

class QIODevice;

class LineReader
{
public:
    static constexpr int DefaultMaxLineLength = 64 * 1024 * 1024;

    explicit LineReader(QIODevice &device, int maxLineLength = DefaultMaxLineLength);

    // The next line with its terminator; a CR LF terminator comes back as a
    // single LF so that both conventions read alike. The last line of a file
    // may have no terminator. False when nothing is left.
    bool next(QByteArray *line);

private:
    bool fill();

    QIODevice &m_device;
    int m_maxLineLength;
    QByteArray m_buffer;
    int m_start = 0;   // first unconsumed byte
    int m_scanned = 0; // bytes from m_start already known to hold no LF
    bool m_eof = false;
};
