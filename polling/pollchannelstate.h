#pragma once
// What the polling logic needs to know about one of the fifteen polling
// channels: whether it is checked and which short address it polls. The
// widgets stay in the main window; slots copy their state into these values.

#include <QString>
#include <QVector>
#include <array>

struct PollChannelState
{
    bool checked = false;
    int address = 0;    // the address list's current text read as hexadecimal
};

constexpr int PollChannelCount = 15;
using PollChannels = std::array<PollChannelState, PollChannelCount>;

// Two lower-case hexadecimal digits ("00", "0a", "ff"); the text of the
// address lists, of the table's address column and of directory names.
QString pollAddressText(int address);

// The address list's text read as hexadecimal (0..255). Anything that does
// not parse reads as 0, as every other number field of the program does.
int parsePollAddressText(const QString &text);

// Addresses to poll, one per checked channel, in channel order. Two channels
// on the same address both poll it.
QVector<int> pollAddresses(const PollChannels &channels);

// Index of the first checked channel polling this address, -1 if none.
int firstCheckedChannelFor(const PollChannels &channels, int address);
