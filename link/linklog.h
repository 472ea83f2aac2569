#pragma once
// The link's developer diagnostics: framing errors, port set-up failures and
// refused frames. They are off by default, in tests and in the installed
// program alike; QT_LOGGING_RULES="tesmar.link.debug=true" turns them on
// (written to the standard error stream as the short lines they are), and
// "tesmar.link.frames.debug=true" adds a dump of every frame sent, received
// and discarded.

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcLinkFrames)

// Writes one diagnostic line (the text carries its own line break) when the
// link's diagnostics are on.
void linkDiagnostic(const char *text);
void linkDiagnostic(const QString &text);

// Turns the diagnostics on or off from code (a test that checks them).
bool linkDiagnosticsOn();
void setLinkDiagnosticsOn(bool on);
