#pragma once
// Single floats in the transmitters' byte order (big-endian), spelled out here
// apart from the product's codec so that the tests check it rather than
// repeat it.

#include <QByteArray>
#include <cstdint>
#include <cstring>

inline QByteArray be(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char(bits >> (24 - 8 * i));
    return b;
}

inline float beFloat(const QByteArray &b, int at)
{
    const uint32_t bits = uint32_t(uint8_t(b.at(at))) << 24 | uint32_t(uint8_t(b.at(at + 1))) << 16
                        | uint32_t(uint8_t(b.at(at + 2))) << 8 | uint8_t(b.at(at + 3));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
