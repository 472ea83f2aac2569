#pragma once
// What the device data dialog checks before it writes the record to the
// device or saves a record read from it: the first item that cannot go to
// the device as it stands (empty, or a text the device's storage cannot hold
// unchanged), and the read blocks that did not arrive.

#include "devicedata/devicerecord.h"

#include <QString>
#include <QStringList>

namespace RecordCheck {

struct ItemProblem
{
    int position = -1;      // -1: every item can be written
    bool empty = false;
    QString text;           // the item's text as it stands
    QString reason;         // for a text that is there but unusable
};

// The first device item, in position order, that would not be written as
// shown: empty, not a value of its kind, or (byte items) outside 0..255,
// which the one byte in the device would silently cut.
ItemProblem firstUnwritable(const DeviceRecord &record);

// "«a42» (Коэффициент …)": how a refusal names an item.
QString itemName(int position);

// The refusal the dialog shows: starts with "Все коэффициенты должны быть
// заполнены" for an empty item and names the item either way.
QString refusalText(const ItemProblem &problem);

// The read blocks, in queue order, that left some of their rows empty:
// "5 (serial)", "6 (bal_IDAC, Itenzo)".
QStringList missingReadBlocks(const DeviceRecord &record);

// Device items with a value.
int filledDeviceItems(const DeviceRecord &record);

} // namespace RecordCheck
