// Arbitrary byte streams, cut into arbitrary chunks, through the answer
// framing and the answer parser; the parser is also fed the raw input.
// Checks that hold for every input are asserted, so a logic slip shows up as
// a crash just like a memory fault.

#include "link/hartanswer.h"
#include "link/hartreceiver.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte seeds the chunk sizes, the rest is the line.
    uint32_t seed = data[0] * 2654435761u + 1;
    const auto *bytes = reinterpret_cast<const char *>(data + 1);
    const int n = int(size - 1);

    HartReceiver whole;
    whole.setDiagnosticsEnabled(false);
    const bool wholeDone = whole.feed(bytes, n);

    HartReceiver chunked;
    chunked.setDiagnosticsEnabled(false);
    int completions = 0;
    for (int pos = 0; pos < n;) {
        seed = seed * 1103515245u + 12345u;
        const int chunk = qMin(n - pos, 1 + int((seed >> 16) % 24));
        completions += chunked.feed(bytes + pos, chunk) ? 1 : 0;
        pos += chunk;
    }

    // However the stream is split, the result is the same, and a frame
    // completes at most once.
    if (completions > 1 || (completions == 1) != wholeDone)
        std::abort();
    if (chunked.buffer() != whole.buffer() || chunked.isComplete() != whole.isComplete())
        std::abort();
    if (whole.buffer().size() > HartReceiver::MaxBuffer)
        std::abort();

    if (whole.isComplete()) {
        const HartAnswer a = whole.answer();
        if (!a.isValid() || a.data().size() != a.byteCount()
            || a.totalLength() > whole.buffer().size() || a.preambleCount() < 3 || a.preambleCount() > 20)
            std::abort();
        (void)a.checksumOk();
    }

    HartAnswer direct;
    if (direct.parse(QByteArray(bytes, n))) {
        if (direct.totalLength() > n || direct.data().size() != direct.byteCount())
            std::abort();
        (void)direct.checksumOk();
        (void)direct.shortAddress();
    }
    return 0;
}
