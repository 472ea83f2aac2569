#pragma once
// The words of the status bar: the port and its line, the operation the link
// is running, and the polling tally. Kept apart from the widgets so that the
// texts can be checked against every state the link can be in.

#include "link/serialconfig.h"

#include <QString>

namespace LineStatus {

enum class PortState { NotConnected, Connected, LineLost };

// "8O1" and the like: data bits, parity letter, stop bits ("1.5" for 3).
QString frameFormat(const SerialConfig &config);
// The parity as the settings tab names it ("Нечетный"), "?" for an unknown code.
QString parityName(int parity);

// One line for the status bar. The port name is shown as given; the caller
// elides long paths from the left so that their end stays visible. detail
// is the reason of a lost line (may be empty).
QString portStateText(PortState state, const QString &portName, const SerialConfig &config,
                      const QString &detail = QString());
// The same spelt out, for the tool tip.
QString portStateToolTip(PortState state, const QString &portName, const SerialConfig &config,
                         const QString &detail = QString());

// What the link is busy with, by operation code; empty for codes that need
// no name of their own (single requests that end within a time-out).
QString operationName(int code, bool cyclic);

// Polling tally: "Опрос: ответов 12, таймаутов 1" (checksum errors named
// when there were any).
QString pollCountsText(int answers, int badChecksums, int timeouts);

} // namespace LineStatus
