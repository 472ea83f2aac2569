// Arbitrary bytes as a device data file through the device-parameters
// dialog's reader, from a buffer and from a device that hands the bytes over
// in small uneven pieces. Both must agree, a file that is not taken must
// hand nothing over, and what is handed over is finite.

#include "devicedata/parametersfile.h"

#include "fuzzchunks.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

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

    const auto [a, b] = loadWholeAndChunked(bytes, data[0] + 1u, [&](QIODevice &device) {
        return ParametersFile::load(device, quiet);
    });

    if (!sameValues(a, b) || a.status == ParametersFile::LoadStatus::OpenFailed)
        std::abort();
    if (a.status != ParametersFile::LoadStatus::Ok) {
        for (int i = 0; i < ParametersFile::RecordSize; ++i) {
            if (a.values[size_t(i)] != 0 || a.exact[size_t(i)] != 0 || a.found[size_t(i)])
                std::abort();
        }
    } else {
        // What is handed over is what registers hold.
        for (int i = 0; i < ParametersFile::RecordSize; ++i) {
            if (!std::isfinite(a.values[size_t(i)]) || !std::isfinite(a.exact[size_t(i)]))
                std::abort();
        }
    }
    return 0;
}
