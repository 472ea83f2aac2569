#pragma once
// The line statistics as the table shows them: one row per short address
// that has seen any traffic, a row for frames naming no device of the line,
// and the totals. The link counts; this only words its counts.

#include "link/linkstatistics.h"

#include <QString>
#include <QStringList>
#include <QVector>

class LineStatisticsRows
{
public:
    enum Column {
        AddressColumn,
        RequestsColumn,
        AnswersColumn,
        TimeoutsColumn,
        ChecksumColumn,
        DiscardedColumn,
        MeanColumn,
        MaxColumn,
        RefusalsColumn,     // answers refused by the device, then those with a warning
        LateColumn,         // answers that came after their request's time-out
        StatusColumn,       // both status bytes of the device's last intact answer
        ColumnCount
    };

    static QStringList headers();
    // Rows in address order, then "прочие" when it has counts, then "Всего".
    static QVector<QStringList> rows(const LinkStatistics &stats);
    static QStringList row(const QString &name, const LinkAddressStatistics &s);
    // Why frames were discarded, in one line under the table.
    static QString discardSummary(const LinkStatistics &stats);
    static bool isActive(const LinkAddressStatistics &s);
};
