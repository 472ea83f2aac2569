#pragma once
// Which transmitter a write went to, as the history records it. The short
// address alone does not say it: an engineer may move the address box, or
// put another unit on the line, between a read and a write. So every write
// to a device (the calculation's coefficients, a parameters file, the device
// data record) starts with a read of the serial number from the address it
// is about to write, in the same exchange, and does not start when that read
// fails; the record carries that address and that number.
//
// On the wire the read is the one the serial number field sends: command 51
// for the four bytes of register 0x003A.

#include "device/operations.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

// The device a write was sent to.
struct WriteTarget
{
    int address = -1;       // short address, -1 until the serial is read
    QString serial;         // as read just before the write
};

// A write waiting for its serial read: where it goes and what the window
// does with the read's outcome.
struct PendingWrite
{
    int address = -1;
    bool longFrame = false;
    QString what;                                   // "Коэффициенты расчета"
    std::function<void()> write;                    // sends the write itself
    std::function<void(const QString &)> say;       // a plain line in the write's pane
    std::function<void(const QString &)> refuse;    // a refusal, in red where the write was asked
    bool waiting() const { return bool(write); }
};

namespace WriteIdentity {

// The operation code the serial read runs under.
constexpr int Operation = 53;

RequestItem serialRead();

// What the read brought: the serial number in decimal, or why there is none.
struct Result
{
    bool ok = false;
    QString serial;
    QString why;            // "прибор не ответил", "прибор отказал: код 7 (...)"
};
// answered: an answer came (false: the read timed out); status1 is the
// response code of an intact answer.
Result decode(bool answered, bool intact, uint8_t status1, const QByteArray &data);

// The refusal said when the read did not give a number: what was not
// written (the write's name as the history keeps it), where, and why.
QString refusalText(const QString &what, int address, const QString &why);
// The line that names the device the write goes to.
QString targetText(const QString &what, const WriteTarget &target);

} // namespace WriteIdentity
