// Arbitrary bytes as a device data file through the device-parameters
// dialog's reader, from a buffer and from a device that hands the bytes over
// in small uneven pieces. Both must agree, and a corrupted file must hand
// nothing over.

#include "devicedata/parametersfile.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

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
        memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += int(n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    int m_pos = 0;
    uint32_t m_seed;
};

bool sameValues(const ParametersFile::LoadResult &a, const ParametersFile::LoadResult &b)
{
    // Bitwise, so that NaN compares equal to itself.
    return a.status == b.status && a.found == b.found
            && std::memcmp(a.values.data(), b.values.data(), sizeof a.values) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));
    DiagnosticStreams &quiet = DiagnosticStreams::discard();

    QBuffer whole;
    whole.setData(bytes);
    whole.open(QIODevice::ReadOnly);
    const ParametersFile::LoadResult a = ParametersFile::load(whole, quiet);

    ChunkedDevice chunked(bytes, data[0] + 1u);
    chunked.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const ParametersFile::LoadResult b = ParametersFile::load(chunked, quiet);

    if (!sameValues(a, b) || a.status == ParametersFile::LoadStatus::OpenFailed)
        std::abort();
    if (a.status == ParametersFile::LoadStatus::Corrupted) {
        for (int i = 0; i < ParametersFile::RecordSize; ++i) {
            if (a.values[size_t(i)] != 0 || a.found[size_t(i)])
                std::abort();
        }
    }
    return 0;
}
