#pragma once
// Where the device data readers and writers put their developer diagnostics:
// short lines for the standard output and standard error streams. The GUI
// uses standard(); tests record the lines; the fuzzers discard them.

#include <QByteArray>

class DiagnosticStreams
{
public:
    virtual ~DiagnosticStreams() = default;
    virtual void out(const QByteArray &text) = 0;
    virtual void err(const QByteArray &text) = 0;

    // The process's std::cout and std::cerr.
    static DiagnosticStreams &standard();
    // Swallows everything.
    static DiagnosticStreams &discard();
};
