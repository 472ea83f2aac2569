#pragma once
// The virtual line in a thread of its own, as real transmitters are outside
// the program: what the window costs is then read off its own thread, apart
// from the test equipment's share. Signals of the line reach functors
// connected without a context object in the line's thread.

#include "processusage.h"
#include "sim/virtualline.h"

#include <QThread>

class LineThread
{
public:
    // The line must be open and set up; from here on it lives in the thread.
    explicit LineThread(sim::VirtualLine *line)
        : m_line(line)
    {
        m_thread.start();
        line->moveToThread(&m_thread);
    }
    ~LineThread() { stop(); }

    double cpuSeconds()
    {
        double s = 0;
        if (m_thread.isRunning())
            QMetaObject::invokeMethod(m_line, [] { return threadCpuSeconds(); }, Qt::BlockingQueuedConnection, &s);
        return s;
    }

    // Brings the line back to the calling thread and ends the line's.
    void stop()
    {
        if (!m_thread.isRunning())
            return;
        QThread *home = QThread::currentThread();
        QMetaObject::invokeMethod(m_line, [this, home] { m_line->moveToThread(home); },
                                  Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

private:
    sim::VirtualLine *m_line;
    QThread m_thread;
};
