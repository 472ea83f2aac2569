#include "link/linklog.h"

#include <cstdio>

Q_LOGGING_CATEGORY(lcLink, "tesmar.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLinkFrames, "tesmar.link.frames", QtWarningMsg)

void linkDiagnostic(const char *text)
{
    // The texts go out as they are, without the category's prefix: they are
    // the ones a developer greps for.
    if (linkDiagnosticsOn())
        std::fputs(text, stderr);
}

void linkDiagnostic(const QString &text)
{
    if (linkDiagnosticsOn())
        std::fputs(text.toUtf8().constData(), stderr);
}

bool linkDiagnosticsOn()
{
    return lcLink().isDebugEnabled();
}

void setLinkDiagnosticsOn(bool on)
{
    // The category is a static object of this file; the accessor hands it
    // out read-only.
    const_cast<QLoggingCategory &>(lcLink()).setEnabled(QtDebugMsg, on);
}
