#include "console/consoleformat.h"

#include <cstring>

QString ConsoleFormat::spacedHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString ConsoleFormat::spacedHex(const uint8_t *bytes, int length)
{
    if (!bytes || length <= 0)
        return QString();
    return spacedHex(QByteArray(reinterpret_cast<const char *>(bytes), length));
}

uint8_t ConsoleFormat::hexFieldByte(const QString &text)
{
    const QByteArray bytes = QByteArray::fromHex(text.trimmed().toLatin1());
    return bytes.isEmpty() ? 0 : uint8_t(bytes.at(0));
}

QString ConsoleFormat::byteText(uint8_t byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
}

QString ConsoleFormat::floatText(float value)
{
    return QString::number(double(value), 'g', 6);
}

float ConsoleFormat::parseFloat(const QString &text)
{
    bool ok = false;
    const float v = text.trimmed().toFloat(&ok);
    return ok ? v : 0.0f;
}

QByteArray ConsoleFormat::floatBytes(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray out(4, '\0');
    for (int k = 0; k < 4; ++k)
        out[k] = char(uint8_t(bits >> (24 - 8 * k)));
    return out;
}

float ConsoleFormat::floatFromBytes(const QByteArray &fourBytes)
{
    uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        const uint8_t b = k < fourBytes.size() ? uint8_t(fourBytes.at(k)) : 0;
        bits = bits << 8 | b;
    }
    float v = 0.0f;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

bool ConsoleFormat::floatFieldCovered(int count, int i)
{
    return count >= BytesPerFloat * i;
}

bool ConsoleFormat::byteFieldCovered(int count, int i, int j)
{
    return count >= BytesPerFloat * (i - 1) + j;
}

bool ConsoleFormat::preset(int itemData, Preset *out)
{
    struct Row
    {
        int count;
        const char *high;
        const char *low;
    };
    static const Row rows[] = {
        {4, "00", "1e"},    // 1  Pstat
        {4, "00", "22"},    // 2  dP
        {4, "00", "26"},    // 3  U1nh
        {4, "00", "2a"},    // 4  U2nh
        {4, "00", "2e"},    // 5  U10
        {4, "00", "32"},    // 6  U20
        {4, "00", "5a"},    // 7  zero balance
        {24, "00", "1e"},   // 8  all six floats from Pstat on
        {1, "00", "15"},    // 9  current output balance
        {1, "00", "17"},    // 10 current mode
        {12, "00", "4e"},   // 11 coefficients A
        {24, "01", "00"},   // 12 coefficients B and C
        {12, "01", "00"},   // 13 coefficients B
        {12, "01", "06"},   // 14 coefficients C
    };
    if (itemData < 1 || itemData > int(sizeof rows / sizeof rows[0]))
        return false;
    if (out) {
        const Row &r = rows[itemData - 1];
        out->dataCount = r.count;
        out->high = QString::fromLatin1(r.high);
        out->low = QString::fromLatin1(r.low);
    }
    return true;
}

QVector<ConsoleFormat::DecodedLine> ConsoleFormat::decodedView(const QByteArray &data, int lowAddress)
{
    QVector<DecodedLine> lines;
    lines.reserve(data.size() + data.size() / 4);
    for (int i = 0; i < data.size(); ++i) {
        lines.append({QStringLiteral("Address::%1\tData::%2\n")
                          .arg(lowAddress + i)
                          .arg(byteText(uint8_t(data.at(i)))),
                      false});
        if (i % 4 == 3) {
            lines.append({QStringLiteral("Float %1 to %2:\t%3\n")
                              .arg(lowAddress + i - 3)
                              .arg(lowAddress + i)
                              .arg(floatText(floatFromBytes(data.mid(i - 3, 4)))),
                          true});
        }
    }
    return lines;
}

int ConsoleFormat::requestShortAddress(const QByteArray &frame)
{
    int i = 0;
    while (i < frame.size() && uint8_t(frame.at(i)) == 0xFF)
        ++i;
    if (i >= frame.size())
        return -1;
    const uint8_t delimiter = uint8_t(frame.at(i));
    if (delimiter == 0x02)
        return i + 1 < frame.size() ? uint8_t(frame.at(i + 1)) : -1;
    if (delimiter == 0x82)
        return i + 3 < frame.size() ? uint8_t(frame.at(i + 3)) : -1;
    return -1;
}

QString ConsoleFormat::oversizeText(int frameSize, int bufferSize)
{
    return QStringLiteral("Запрос не отправлен: длина кадра %1 байт больше %2\n").arg(frameSize).arg(bufferSize);
}
