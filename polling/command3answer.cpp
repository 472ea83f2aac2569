#include "polling/command3answer.h"

#include <cstring>

namespace {

float bigEndianFloat(const uint8_t *p)
{
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16)
                        | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

Command3Answer Command3Answer::decode(const QByteArray &data)
{
    Command3Answer a;
    const auto *bytes = reinterpret_cast<const uint8_t *>(data.constData());
    const int size = data.size();
    for (int k = 0; k < ValueCount; ++k) {
        // The current carries no unit byte; each variable's unit byte sits
        // right in front of its float.
        const int at = 5 * k;
        if (at + 4 <= size)
            a.m_values[k] = bigEndianFloat(bytes + at);
        if (k > 0 && at - 1 < size)
            a.m_units[k] = bytes[at - 1];
    }
    a.m_complete = size >= DataSize;
    return a;
}
