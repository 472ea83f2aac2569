#pragma once
// A device's calibrations side by side, oldest first: how its zero and each
// coefficient moved from one calibration to the next, and its zero from the
// first. A returned transmitter whose zero wandered shows it here.

#include "history/historyevent.h"

#include <QStringList>
#include <QVector>

struct HistoryDriftTable
{
    QStringList header;
    QVector<QStringList> rows;
    QStringList uids;       // the event of each row
};

HistoryDriftTable historyDrift(const QVector<HistoryRecord> &calculations);

// The change of a value, signed, as shown ("+1.25e-03"; "—" for none).
QString driftText(double change);
