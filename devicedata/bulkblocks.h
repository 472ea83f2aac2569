#pragma once
// The bulk transfer of the device data record: the twelve memory blocks read
// with command 51 and the twelve written with command 91, and the conversion
// between their bytes and the record's texts.
//
// The items of a block are not listed by hand: a block holds every device
// item whose storage lies wholly inside it (see DeviceItems), so a block
// table and the item table cannot drift apart.

#include "devicedata/devicerecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace BulkBlocks {

constexpr int BlockCount = 12;

struct Block
{
    uint16_t address;
    int length;
};

// In queue order.
const Block &readBlock(int index);
const Block &writeBlock(int index);

// Command-51 request data: address high, address low, byte count.
QByteArray readRequestData(int index);
// Command-91 request data: address high, address low, payload.
QByteArray writeRequestData(int index, const DeviceRecord &record);
QVector<QByteArray> readRequests();
// eepromPassword 0..255 goes into the EEPROM write-password byte that the
// identity block's write covers (register 251); any other value leaves it 0.
QVector<QByteArray> writeRequests(const DeviceRecord &record, int eepromPassword = -1);
// The dialog's password field as a byte value, -1 when it holds none.
int passwordFromText(const QString &text);
constexpr int PasswordBlockAddress = 245;
constexpr int PasswordRegister = 251;

// The block address a request was for (its data bytes 0 and 1); -1 when the
// data is too short to hold one.
int requestAddress(const QByteArray &requestData);

struct ItemValue
{
    int position;
    QString text;
};

// The rows an intact command-51 answer fills, from the memory bytes it
// returned for the block at that address. An item is decoded only when all
// its bytes are in the answer; an unknown address fills nothing. A model
// number outside 1..5 and a unit code outside 0..18 give an empty text.
QVector<ItemValue> decodeReadAnswer(int address, const QByteArray &data);
// The same, written into the record; returns the positions set.
QVector<int> applyReadAnswer(int address, const QByteArray &data, DeviceRecord &record);

// The rows a command-91 answer for the block at that address colours; empty
// for an address that is not a write block.
QVector<int> writeBlockPositions(int address);
// "245 (model_name, model_code, …)": a write block as the history and the
// messages name it, by its register and the items it carries.
QString writeBlockName(int address);
// The rows of a read block (the same rule), for tests and callers that need
// to know what a block will fill.
QVector<int> readBlockPositions(int address);

// The tool's current settings, as the bulk read shows them in the program
// rows.
struct ProgramSettings
{
    int baudRate = 0;
    int dataBits = 0;
    int parity = 0;      // QSerialPort::Parity
    int stopBits = 0;    // QSerialPort::StopBits
    int flowControl = 0; // QSerialPort::FlowControl
    int rtsDelay = 0;
    int pollPeriod = 0;
    int pollTimeout = 0;
    int pollRepeats = 0;
    int scanPeriod = 0;
    int scanTimeout = 0;
    int scanRepeats = 0;
};

struct ProgramRowValue
{
    int row;
    QString text;
    bool ok; // false: no text for this setting, paint the row as failed
};

// All twelve program rows in grid order. A parity, stop-bits or flow-control
// value without a text of its own gives an empty, failed row.
QVector<ProgramRowValue> programRowsFromSettings(const ProgramSettings &settings);

} // namespace BulkBlocks
