// Arbitrary bytes as a device data file through the device data dialog's
// reader, once from a buffer and once from a device that hands the bytes
// over in small uneven pieces. Both must agree, and whatever loaded must
// survive a save and a second load unchanged.

#include "devicedata/devicedatafile.h"

#include "fuzzchunks.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>

namespace {

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

    const auto [a, b] = loadWholeAndChunked(bytes, data[0] + 1u, [&](QIODevice &device) {
        return DeviceDataFile::load(device, DeviceRecord(), quiet);
    });

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
