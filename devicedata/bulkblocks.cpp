#include "devicedata/bulkblocks.h"

#include "device/valuecodec.h"
#include "devicedata/numbertext.h"

#include <cmath>

namespace BulkBlocks {

namespace {

const Block kReadBlocks[BlockCount] = {
    {78, 16}, {256, 24}, {280, 16}, {245, 5}, {58, 4}, {21, 3},
    {30, 24}, {392, 4}, {11, 1}, {292, 24}, {316, 24}, {340, 4},
};

// Block 4 is written two bytes longer than it is read, so a bulk write also
// covers 250 and 251 (251 holds the EEPROM write password; see
// writeRequests). Block 7 of the
// read is split in two here so that bytes 34..37 are never written.
const Block kWriteBlocks[BlockCount] = {
    {78, 16}, {256, 24}, {280, 16}, {245, 7}, {58, 4}, {21, 3},
    {30, 4}, {38, 16}, {392, 4}, {11, 1}, {292, 28}, {320, 24},
};

int storageSize(DeviceItems::Storage s)
{
    using S = DeviceItems::Storage;
    return s == S::Float || s == S::UInt32 ? 4 : 1;
}

// Device items stored wholly inside [address, address + length), in position
// order, with their offset in the block.
struct Field
{
    int position;
    int offset;
    DeviceItems::Storage storage;
};

QVector<Field> fieldsOf(int address, int length)
{
    QVector<Field> out;
    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i) {
        const DeviceItems::DeviceItem &item = DeviceItems::deviceItem(i);
        const int at = item.address + item.offset;
        if (at >= address && at + storageSize(item.storage) <= address + length)
            out.append({i, at - address, item.storage});
    }
    return out;
}

const Block *findBlock(const Block *table, int address)
{
    for (int i = 0; i < BlockCount; ++i) {
        if (table[i].address == address)
            return &table[i];
    }
    return nullptr;
}

// "%g" with six significant digits when that gives the same float back, else
// as many more digits (up to nine, always enough) as it takes: a record read
// from one transmitter has to write the very same bytes into another, and
// calibration coefficients seldom fit in six digits.
QString floatText(float v)
{
    QString text = NumberText::formatG(double(v));
    if (std::isnan(v) || std::isinf(v))
        return text;
    for (int digits = 7; digits <= 9; ++digits) {
        bool ok = false;
        const float back = NumberText::toFloat(text, &ok);
        if (ok && back == v)
            break;
        text = NumberText::formatG(double(v), digits);
    }
    return text;
}

QString decodeField(const Field &f, const QByteArray &d)
{
    using S = DeviceItems::Storage;
    const uint8_t byte = uint8_t(d[f.offset]);
    switch (f.storage) {
    // The caller has checked that the whole field is in the data.
    case S::Float: {
        float v = 0;
        ValueCodec::readFloat(d, f.offset, &v);
        return floatText(v);
    }
    case S::UInt32: {
        uint32_t v = 0;
        ValueCodec::readU32(d, f.offset, &v);
        return QString::number(v);
    }
    case S::SignedByte: return QString::number(int(int8_t(byte)));
    case S::UnsignedByte: return QString::number(int(byte));
    case S::ModelNumber: return DeviceItems::modelName(byte);
    case S::UnitCode: return DeviceItems::unitName(byte);
    }
    return QString();
}

void encodeField(const Field &f, const DeviceRecord &record, QByteArray &d)
{
    using S = DeviceItems::Storage;
    const int at = 2 + f.offset;
    switch (f.storage) {
    case S::Float: d.replace(at, 4, ValueCodec::float32(record.toFloat(f.position))); break;
    case S::UInt32: d.replace(at, 4, ValueCodec::u32(record.toUInt32(f.position))); break;
    // A signed byte goes back as the byte it was read from: "-1" is 0xFF,
    // so a record read from a device writes back unchanged.
    case S::SignedByte:
        d[at] = char(NumberText::toInt32(record.deviceText(f.position), nullptr) & 0xff);
        break;
    case S::UnsignedByte: d[at] = char(record.toUInt16(f.position) & 0xff); break;
    case S::ModelNumber:
        d[at] = char(DeviceItems::modelNumber(record.deviceText(f.position)));
        break;
    case S::UnitCode:
        d[at] = char(qMax(0, DeviceItems::unitCode(record.deviceText(f.position))));
        break;
    }
}

QVector<int> positionsOf(const QVector<Field> &fields)
{
    QVector<int> out;
    for (const Field &f : fields)
        out.append(f.position);
    return out;
}

} // namespace

const Block &readBlock(int index)
{
    Q_ASSERT(index >= 0 && index < BlockCount);
    return kReadBlocks[index];
}

const Block &writeBlock(int index)
{
    Q_ASSERT(index >= 0 && index < BlockCount);
    return kWriteBlocks[index];
}

QByteArray readRequestData(int index)
{
    const Block &b = readBlock(index);
    return ValueCodec::readData(uint16_t(b.address), b.length);
}

QByteArray writeRequestData(int index, const DeviceRecord &record)
{
    const Block &b = writeBlock(index);
    QByteArray d = ValueCodec::writeData(uint16_t(b.address), QByteArray(b.length, '\0'));
    for (const Field &f : fieldsOf(b.address, b.length))
        encodeField(f, record, d);
    return d;
}

QVector<QByteArray> readRequests()
{
    QVector<QByteArray> out;
    for (int i = 0; i < BlockCount; ++i)
        out.append(readRequestData(i));
    return out;
}

QVector<QByteArray> writeRequests(const DeviceRecord &record, int eepromPassword)
{
    QVector<QByteArray> out;
    for (int i = 0; i < BlockCount; ++i)
        out.append(writeRequestData(i, record));
    // The identity block ends on the EEPROM write password. Writing it as 0
    // every time would silently drop a password set on the device, so the
    // password the user typed in the dialog goes there when there is one.
    if (eepromPassword >= 0 && eepromPassword <= 255) {
        for (QByteArray &d : out) {
            if (requestAddress(d) == PasswordBlockAddress)
                d[2 + PasswordRegister - PasswordBlockAddress] = char(eepromPassword);
        }
    }
    return out;
}

int passwordFromText(const QString &text)
{
    const NumberText::InputValue v = NumberText::readInput(text, NumberText::InputRule::integer(0, 255));
    return v.ok ? int(v.value) : -1;
}

int requestAddress(const QByteArray &requestData)
{
    return ValueCodec::requestRegister(requestData);
}

QVector<ItemValue> decodeReadAnswer(int address, const QByteArray &data)
{
    QVector<ItemValue> out;
    const Block *b = findBlock(kReadBlocks, address);
    if (!b)
        return out;
    for (const Field &f : fieldsOf(b->address, b->length)) {
        if (f.offset + storageSize(f.storage) <= data.size())
            out.append({f.position, decodeField(f, data)});
    }
    return out;
}

QVector<int> applyReadAnswer(int address, const QByteArray &data, DeviceRecord &record)
{
    QVector<int> positions;
    for (const ItemValue &v : decodeReadAnswer(address, data)) {
        record.setDeviceText(v.position, v.text);
        positions.append(v.position);
    }
    return positions;
}

QString writeBlockName(int address)
{
    QStringList keys;
    for (int p : writeBlockPositions(address))
        keys << QString::fromLatin1(DeviceItems::deviceItem(p).key);
    return keys.isEmpty() ? QString::number(address)
                          : QStringLiteral("%1 (%2)").arg(address).arg(keys.join(QStringLiteral(", ")));
}

QVector<int> writeBlockPositions(int address)
{
    const Block *b = findBlock(kWriteBlocks, address);
    return b ? positionsOf(fieldsOf(b->address, b->length)) : QVector<int>();
}

QVector<int> readBlockPositions(int address)
{
    const Block *b = findBlock(kReadBlocks, address);
    return b ? positionsOf(fieldsOf(b->address, b->length)) : QVector<int>();
}

QVector<ProgramRowValue> programRowsFromSettings(const ProgramSettings &s)
{
    auto number = [](int row, int v) { return ProgramRowValue{row, QString::number(v), true}; };
    auto choice = [](int row, const QString &text) {
        return ProgramRowValue{row, text, !text.isEmpty()};
    };

    QString parity;
    switch (s.parity) {
    case 0: parity = QString::fromUtf8("Нет"); break;
    case 2: parity = QString::fromUtf8("Четный"); break;
    case 3: parity = QString::fromUtf8("Нечетный"); break;
    case 4: parity = QString::fromUtf8("Пробел"); break;
    case 5: parity = QString::fromUtf8("Метка"); break;
    default: break;
    }
    QString stopBits;
    switch (s.stopBits) {
    case 1: stopBits = QStringLiteral("1"); break;
    case 3: stopBits = QStringLiteral("1.5"); break;
    case 2: stopBits = QStringLiteral("2"); break;
    default: break;
    }
    QString flow;
    if (s.flowControl == 0)
        flow = QString::fromUtf8("нет");
    else if (s.flowControl == 1)
        flow = QString::fromUtf8("да");

    return {
        number(0, s.pollPeriod), number(1, s.pollTimeout), number(2, s.pollRepeats),
        number(3, s.scanPeriod), number(4, s.scanTimeout), number(5, s.scanRepeats),
        number(6, s.baudRate), number(7, s.dataBits), choice(8, parity),
        choice(9, stopBits), choice(10, flow), number(11, s.rtsDelay),
    };
}

} // namespace BulkBlocks
