#pragma once
// The descriptors of the device data record: 39 device items (identity,
// coefficients and tuning kept in the transmitter's memory) and 12 program
// items (this tool's own poll timing and serial settings), with the model
// list, the unit table and the rules that say which texts are valid values.
//
// The tables are static data; every other part of device data transfer (the
// record, its files, the dialog, the bulk transfer) reads them from here.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace DeviceItems {

constexpr int DeviceItemCount = 39;
constexpr int ProgramItemCount = 12;
constexpr int ModelCount = 5;
constexpr int UnitCount = 19;

// How a device item's text is validated when loaded from a file.
enum class ValueKind {
    ModelName,   // one of the model names
    UnitName,    // one of the unit texts
    SignedInt,   // signed 32-bit decimal
    UnsignedInt, // unsigned 32-bit decimal
    Float,       // single-precision float
};

// How a device item is laid out in the transmitter's memory.
enum class Storage {
    Float,       // IEEE-754 single, big-endian
    UInt32,      // unsigned 32-bit, big-endian
    SignedByte,  // read as signed, written as the low byte of an unsigned 16-bit text
    UnsignedByte,// read as unsigned, written as the low byte of an unsigned 16-bit text
    ModelNumber, // one byte: 1-based position in the model list
    UnitCode,    // one byte: 0-based position in the unit table
};

struct DeviceItem
{
    int position;       // 0..38: dialog row and file order
    const char *key;    // ASCII, compared case-sensitively
    ValueKind kind;
    uint16_t address;   // block start in device memory
    int offset;         // byte offset from address
    Storage storage;
};

// What text a program item accepts.
enum class ProgramKind {
    UnsignedInt, // any unsigned 32-bit decimal
    BaudRate,    // one of the seven baud rates
    DataBits,    // 5..8
    Parity,      // one of the parity texts
    StopBits,    // "1", "1.5", "2"
    FlowControl, // "да", "нет"
};

struct ProgramItem
{
    int row;            // 0..11 in the program-settings grid
    const char *key;
    const char *description; // UTF-8
    ProgramKind kind;
};

// Device items in position order.
const DeviceItem &deviceItem(int position);
// The description shown next to the item and written into the file; may
// contain a line break.
QString deviceDescription(int position);
// Position of the first device item with that key, -1 when there is none.
int devicePosition(const QString &key);

const ProgramItem &programItem(int row);
QString programDescription(int row);
// Grid row of the program item with that key, -1 when there is none.
int programRow(const QString &key);

// Model list: number 1..5 <-> text.
const QStringList &modelNames();
int modelNumber(const QString &text);    // 0 when not in the list
QString modelName(int number);           // empty outside 1..5

// Unit table: code 0..18 <-> text.
const QStringList &unitNames();
int unitCode(const QString &text);       // -1 when not in the table
QString unitName(int code);              // empty outside 0..18

// The texts the serial-settings lists offer for parity, stop bits and flow
// control; the program items accept exactly these.
const QStringList &parityTexts();
const QStringList &stopBitsTexts();
const QStringList &flowControlTexts();
const QList<uint32_t> &baudRates();

// True when the text is a value a file may give this item (exact text for
// list kinds, whole-field decimal number otherwise).
bool isValidDeviceText(int position, const QString &text);
bool isValidProgramText(int row, const QString &text);

// A program item's text as the settings fields take it when the items are
// applied: a decimal integer, 0 when the text is not one (an empty row, for
// instance). The fields clamp the value to their own ranges.
int programInteger(const QString &text);
// The time-out items hold milliseconds; their fields show seconds.
double programSeconds(const QString &millisecondsText);

} // namespace DeviceItems
