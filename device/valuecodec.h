#pragma once
// Value encodings of the transmitter's register memory (big-endian integers,
// IEEE-754 single floats) and the conversions of the text typed into the
// tool's fields. Pure functions; nothing here touches a widget or the link.

#include <QByteArray>
#include <QString>
#include <cstdint>

class ValueCodec
{
public:
    ValueCodec() = delete;

    // Register payloads, most significant byte first.
    static QByteArray u8(int value);                 // low byte of value
    static QByteArray u16(uint16_t value);
    static QByteArray u32(uint32_t value);
    static QByteArray float32(float value);

    // Register address followed by payload: the data of a command-91 request.
    static QByteArray writeData(uint16_t reg, const QByteArray &payload);
    // Register address and byte count: the data of a command-51 request.
    static QByteArray readData(uint16_t reg, int count);
    // Register address carried in the first two data bytes of a request
    // (-1 when the request is shorter than that).
    static int requestRegister(const QByteArray &requestData);

    // Readers return false and leave *out alone when the data are too short.
    static bool readU8(const QByteArray &data, int offset, uint8_t *out);
    static bool readS8(const QByteArray &data, int offset, int8_t *out);
    static bool readU16(const QByteArray &data, int offset, uint16_t *out);
    static bool readU32(const QByteArray &data, int offset, uint32_t *out);
    static bool readFloat(const QByteArray &data, int offset, float *out);

    // printf "%g": six significant digits, shorter of fixed and exponent form.
    static QString formatG(double value);
    // printf "%f": six digits after the point.
    static QString formatF(double value);

    // Loop output code 0..65535 for a current in mA: 4..20 mA, or 3.8..21 mA
    // when the wide loop is chosen. Values outside the loop saturate.
    static uint16_t fixedCurrentCode(double milliamps, bool wideLoop);

    // Lenient readings: what does not parse gives 0, a leading number is
    // taken and the rest ignored. No field the operator types is read with
    // them any more: those go through NumberText::readInput, which refuses
    // instead of sending 0 or a truncated value.

    // Whole-field conversions: a field that does not parse gives 0.
    static float floatOrZero(const QString &text);
    static uint8_t hexByteOrZero(const QString &text);     // low byte
    static uint32_t decimalU32OrZero(const QString &text);
    static uint8_t decimalU16LowByteOrZero(const QString &text);
    static double doubleOrZero(const QString &text);

    // Prefix conversions: leading blanks are skipped, trailing characters
    // ignored. False when no number starts the
    // text or a float would not fit a single.
    static bool leadingFloat(const QString &text, float *out);
    // Decimal integer with optional sign, limited to 0..255.
    static bool leadingByte(const QString &text, uint8_t *out);

    // Float to integer without undefined behaviour for NaN and out-of-range
    // values: truncated toward zero and saturated.
    static uint8_t lowByteOf(double value);
    static uint32_t u32Of(double value);
};
