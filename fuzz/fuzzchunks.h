#pragma once
// For the file-reader fuzzers: a sequential device that serves its data in
// chunks of 1..31 bytes chosen by a seed, so a reader meets its lines split at
// arbitrary points, and a run of a reader over a buffer and over that device.

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <cstdint>
#include <cstring>
#include <utility>

class ChunkedDevice : public QIODevice
{
public:
    ChunkedDevice(const QByteArray &data, uint32_t seed) : m_data(data), m_seed(seed) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        m_seed = m_seed * 1103515245u + 12345u;
        const qint64 n = qMin<qint64>(qMin<qint64>(max, m_data.size() - m_pos),
                                      1 + (m_seed >> 16) % 31);
        if (n <= 0)
            return m_pos >= m_data.size() ? -1 : 0;
        std::memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += int(n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    int m_pos = 0;
    uint32_t m_seed;
};

// What a reader makes of the same bytes from a buffer and from a chunked
// device seeded with seed; load takes the open device.
template <typename Load>
auto loadWholeAndChunked(const QByteArray &bytes, uint32_t seed, Load load)
{
    QBuffer whole;
    whole.setData(bytes);
    whole.open(QIODevice::ReadOnly);
    auto a = load(whole);

    ChunkedDevice chunked(bytes, seed);
    chunked.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    auto b = load(chunked);
    return std::make_pair(std::move(a), std::move(b));
}
