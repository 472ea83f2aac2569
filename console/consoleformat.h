#pragma once
// What the developer console shows and how it reads its fields, without any
// widget: spaced hexadecimal, the hexadecimal byte fields, float texts and
// their big-endian bytes, the register presets, which byte fields a data
// count covers, and the decoded view of a register read.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

class ConsoleFormat
{
public:
    static constexpr int FloatFields = 6;
    static constexpr int BytesPerFloat = 4;

    // "ff ff 02 00": two lowercase digits per byte, single blanks between.
    static QString spacedHex(const QByteArray &bytes);
    static QString spacedHex(const uint8_t *bytes, int length);

    // A hexadecimal text field: the first byte the text decodes to, 0 for an
    // empty or undecodable text.
    static uint8_t hexFieldByte(const QString &text);
    // One byte as a field shows it: two lowercase digits.
    static QString byteText(uint8_t byte);

    // Six significant digits, the shorter of fixed and exponent notation.
    static QString floatText(float value);
    // A lenient reading of a float text, 0 when it is not a number; the
    // console's float fields go through NumberText::readInput instead.
    static float parseFloat(const QString &text);
    // Big-endian IEEE-754 single precision, most significant byte first.
    static QByteArray floatBytes(float value);
    static float floatFromBytes(const QByteArray &fourBytes);

    // Float field i (1..6) and byte field (i, j) (j 1..4) are in use when
    // the data count covers them.
    static bool floatFieldCovered(int count, int i);
    static bool byteFieldCovered(int count, int i, int j);

    // Register presets of the console, by item data (1..14).
    struct Preset
    {
        int dataCount = 0;
        QString high;
        QString low;
    };
    static bool preset(int itemData, Preset *out);

    // The decoded view of register bytes read from lowAddress on: one
    // "Address::" line per byte and, after every fourth byte, a "Float" line
    // that the console sets off in inverted colours.
    struct DecodedLine
    {
        QString text;
        bool isFloat = false;
    };
    static QVector<DecodedLine> decodedView(const QByteArray &data, int lowAddress);

    // The short address a request frame is sent to: the address byte of a
    // short frame, byte 2 of a long address; -1 when the bytes are no frame.
    static int requestShortAddress(const QByteArray &frame);

    // Why a request was not sent: a frame of frameSize bytes is longer than
    // the request buffer holds.
    static QString oversizeText(int frameSize, int bufferSize);
};
