#pragma once
// One event told whole for the history window's details: where, by whom,
// which device (and whether its serial was read at all), the address a
// write went to, what it held, and each file with whether the history
// keeps its content.

#include "history/historyevent.h"

#include <QString>

QString historyDetails(const HistoryRecord &record);

// The serial as shown: "не прочитан" when the event has none.
QString historySerialText(const QString &serial);
