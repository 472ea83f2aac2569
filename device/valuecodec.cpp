#include "device/valuecodec.h"

#include "devicedata/numbertext.h"

#include <QLocale>
#include <QRegularExpression>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

QByteArray ValueCodec::u8(int value)
{
    return QByteArray(1, char(value & 0xFF));
}

QByteArray ValueCodec::u16(uint16_t value)
{
    QByteArray b(2, '\0');
    b[0] = char(value >> 8);
    b[1] = char(value & 0xFF);
    return b;
}

QByteArray ValueCodec::u32(uint32_t value)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((value >> (24 - 8 * i)) & 0xFF);
    return b;
}

QByteArray ValueCodec::float32(float value)
{
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof value, "float must be 32 bits");
    std::memcpy(&bits, &value, sizeof bits);
    return u32(bits);
}

QByteArray ValueCodec::writeData(uint16_t reg, const QByteArray &payload)
{
    return u16(reg) + payload;
}

QByteArray ValueCodec::readData(uint16_t reg, int count)
{
    return u16(reg) + u8(count);
}

int ValueCodec::requestRegister(const QByteArray &requestData)
{
    uint16_t reg = 0;
    return readU16(requestData, 0, &reg) ? int(reg) : -1;
}

bool ValueCodec::readU8(const QByteArray &data, int offset, uint8_t *out)
{
    if (offset < 0 || offset + 1 > data.size())
        return false;
    *out = uint8_t(data.at(offset));
    return true;
}

bool ValueCodec::readS8(const QByteArray &data, int offset, int8_t *out)
{
    uint8_t v = 0;
    if (!readU8(data, offset, &v))
        return false;
    *out = int8_t(v);
    return true;
}

bool ValueCodec::readU16(const QByteArray &data, int offset, uint16_t *out)
{
    if (offset < 0 || offset + 2 > data.size())
        return false;
    *out = uint16_t((uint8_t(data.at(offset)) << 8) | uint8_t(data.at(offset + 1)));
    return true;
}

bool ValueCodec::readU32(const QByteArray &data, int offset, uint32_t *out)
{
    if (offset < 0 || offset + 4 > data.size())
        return false;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | uint8_t(data.at(offset + i));
    *out = v;
    return true;
}

bool ValueCodec::readFloat(const QByteArray &data, int offset, float *out)
{
    uint32_t bits = 0;
    if (!readU32(data, offset, &bits))
        return false;
    std::memcpy(out, &bits, sizeof bits);
    return true;
}

QString ValueCodec::formatG(double value)
{
    return NumberText::formatG(value);
}

QString ValueCodec::formatF(double value)
{
    return NumberText::formatF(value);
}

uint16_t ValueCodec::fixedCurrentCode(double milliamps, bool wideLoop)
{
    const double lower = wideLoop ? 3.8 : 4.0;
    const double upper = wideLoop ? 21.0 : 20.0;
    const double span = upper - lower;
    double h;
    if (!(milliamps >= lower))          // also catches NaN
        h = 0.0;
    else if (milliamps > upper)
        h = span;
    else
        h = milliamps - lower;
    const double code = std::trunc(h * 65535.0 / span);
    if (code <= 0.0)
        return 0;
    if (code >= 65535.0)
        return 65535;
    return uint16_t(code);
}

float ValueCodec::floatOrZero(const QString &text)
{
    bool ok = false;
    const float v = text.toFloat(&ok);
    return ok ? v : 0.0f;
}

uint8_t ValueCodec::hexByteOrZero(const QString &text)
{
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    return ok ? uint8_t(v & 0xFF) : 0;
}

uint32_t ValueCodec::decimalU32OrZero(const QString &text)
{
    bool ok = false;
    const uint v = text.toUInt(&ok, 10);
    return ok ? uint32_t(v) : 0;
}

uint8_t ValueCodec::decimalU16LowByteOrZero(const QString &text)
{
    bool ok = false;
    const ushort v = text.toUShort(&ok, 10);
    return ok ? uint8_t(v & 0xFF) : 0;
}

double ValueCodec::doubleOrZero(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : 0.0;
}

bool ValueCodec::leadingFloat(const QString &text, float *out)
{
    // The decimal point is always '.', whatever the process locale says, so
    // this is matched here rather than handed to strtof.
    static const QRegularExpression re(
        QStringLiteral("^[ \\t\\n\\v\\f\\r]*([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    bool ok = false;
    const double d = QLocale::c().toDouble(m.capturedRef(1), &ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > double(FLT_MAX))
        return false;
    *out = float(d);
    return true;
}

bool ValueCodec::leadingByte(const QString &text, uint8_t *out)
{
    static const QRegularExpression re(QStringLiteral("^[ \\t\\n\\v\\f\\r]*([+-]?)([0-9]+)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    const bool negative = m.capturedRef(1) == QLatin1String("-");
    // Only whether the magnitude exceeds 255 matters, so long digit strings
    // need no exact conversion.
    QStringRef digits = m.capturedRef(2);
    while (digits.size() > 1 && digits.at(0) == QLatin1Char('0'))
        digits = digits.mid(1);
    int magnitude = digits.size() > 3 ? 1000 : digits.toInt();
    int value = negative ? -magnitude : magnitude;
    *out = uint8_t(qBound(0, value, 255));
    return true;
}

uint8_t ValueCodec::lowByteOf(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double t = std::trunc(value);
    // The low byte of an integer is its value modulo 256, which fmod gives
    // without going through an integer type that might overflow.
    double m = std::fmod(t, 256.0);
    if (m < 0)
        m += 256.0;
    return uint8_t(m);
}

uint32_t ValueCodec::u32Of(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= 4294967295.0)
        return std::numeric_limits<uint32_t>::max();
    return uint32_t(value);
}
