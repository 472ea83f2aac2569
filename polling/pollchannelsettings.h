#pragma once
// The polling channels' persisted state in the settings store: for channel
// i+1 (i = 0..14) "/ParametersFunc3/CheckDev_<i>" holds the check state (0 or
// 2) and "/ParametersFunc3/Dev_<i>" the current index of its address list.
// The index alone names another device once a scan has changed the list's
// contents, so "/ParametersFunc3/DevAddr_<i>" keeps the address itself; it
// wins when present, and the index key is still written for older copies.

#include "polling/pollchannelstate.h"

#include <QString>
#include <array>

class QSettings;

class PollChannelSettings
{
public:
    struct Entry
    {
        int checkState = 0;     // Qt::Unchecked (0) or Qt::Checked (2)
        int addressIndex = 0;
        int address = -1;       // polling address 0..255; -1 when not stored
    };
    using Entries = std::array<Entry, PollChannelCount>;

    static QString checkKey(int i);
    static QString addressKey(int i);
    static QString addressValueKey(int i);

    // A missing key leaves the channel unchecked at index 0. An index that
    // the address list does not have (addresses found by an earlier scan are
    // not in the list after a restart) reads as 0 too, so that no channel
    // comes up with an empty, unpollable address.
    static Entries load(QSettings &settings, int addressItemCount);
    static void save(QSettings &settings, const Entries &entries);
};
