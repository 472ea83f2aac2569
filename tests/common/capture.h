#pragma once
// Captures of what the code under test prints: std::cout at the stream level,
// the standard error stream at the file descriptor, so C stdio is caught too.
// A capture of the standard error stream asks for the link's diagnostics
// (off by default, see link/linklog.h) while it lives.

#include "link/linklog.h"

#include <QByteArray>
#include <QTemporaryFile>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

// Collects what is written to std::cout while alive.
class CoutCapture
{
public:
    CoutCapture() : m_old(std::cout.rdbuf(m_buffer.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(m_old); }
    std::string text() const { return m_buffer.str(); }

private:
    std::ostringstream m_buffer;
    std::streambuf *m_old;
};

// Captures what is written to file descriptor 2 while it lives; text() ends
// the capture.
class StderrCapture
{
public:
    StderrCapture()
        : m_linkDiagnostics(linkDiagnosticsOn())
    {
        setLinkDiagnosticsOn(true);
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(2);
        dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        setLinkDiagnosticsOn(m_linkDiagnostics);
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
    bool m_linkDiagnostics;
};
