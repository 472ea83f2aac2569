// Arbitrary bytes as a device data file through the device data dialog's
// reader, once from a buffer and once from a device that hands the bytes
// over in small uneven pieces. Both must agree, and whatever loaded must
// survive a save and a second load unchanged.

#include "devicedata/devicedatafile.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>

namespace {

// Serves the data in chunks of 1..31 bytes chosen by a seed.
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

bool sameMessages(const QList<UserMessage> &a, const QList<UserMessage> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].title != b[i].title || a[i].text != b[i].text)
            return false;
    }
    return true;
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
    const DeviceDataFile::LoadResult a = DeviceDataFile::load(whole, DeviceRecord(), quiet);

    ChunkedDevice chunked(bytes, data[0] + 1u);
    chunked.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const DeviceDataFile::LoadResult b = DeviceDataFile::load(chunked, DeviceRecord(), quiet);

    if (!a.opened || a.record != b.record || a.devicePositionsLoaded != b.devicePositionsLoaded
        || a.programRowsLoaded != b.programRowsLoaded || !sameMessages(a.messages, b.messages))
        std::abort();

    // No loaded text may hold a separator or a line break: it would not save.
    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i) {
        const QString t = a.record.deviceText(i);
        if (t.contains(QLatin1Char(':')) || t.contains(QLatin1Char('\n')))
            std::abort();
    }

    QBuffer saved;
    saved.setData(DeviceDataFile::serialize(a.record));
    saved.open(QIODevice::ReadOnly);
    const DeviceDataFile::LoadResult again = DeviceDataFile::load(saved, DeviceRecord(), quiet);
    if (again.record != a.record || !again.messages.isEmpty())
        std::abort();
    return 0;
}
