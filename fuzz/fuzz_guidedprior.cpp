// Arbitrary bytes as the file that keeps what a device held before a guided
// run wrote to it: refused with a reason, or taken with every coefficient a
// finite number that goes back into the same text it would be saved as.

#include "guided/guidedwrite.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    CalibrationCoefficients k;
    QString why;
    if (!GuidedPrior::parse(bytes, &k, &why)) {
        if (why.isEmpty())
            std::abort();
        return 0;
    }
    for (const auto &v : k.named())
        if (!std::isfinite(v.second))
            std::abort();
    // What is taken is written and read back bit for bit.
    CalibrationCoefficients again;
    if (!GuidedPrior::parse(GuidedPrior::text(k, 1, true, 1), &again, &why))
        std::abort();
    for (size_t i = 0; i < k.named().size(); ++i)
        if (k.named()[i].second != again.named()[i].second)
            std::abort();
    return 0;
}
