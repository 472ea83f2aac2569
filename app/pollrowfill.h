#pragma once
// After a scan the engineer may fill the polling rows with the addresses
// found: one row per address in the order found, checked; the rows beyond
// them unchecked. Only on request: the rows may hold a set-up the engineer
// wants to keep.

#include <QString>
#include <QVector>

namespace PollRowFill {

struct Row
{
    bool checked = false;
    int address = -1;   // -1: the row keeps the address it shows
};

// The rows as they should be after the fill: found addresses (duplicates
// dropped, order kept) into the first rows, the rest unchecked. Addresses
// beyond rowCount are left out.
QVector<Row> plan(const QVector<int> &found, int rowCount);
// "01, 05": the addresses as the lists show them.
QString addressList(const QVector<int> &found);
// What the fill did, for the status bar and the log.
QString summary(const QVector<int> &found, int rowCount);

} // namespace PollRowFill
