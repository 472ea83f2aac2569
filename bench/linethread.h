#pragma once
// The virtual line in a thread of its own, as real transmitters are outside
// the program: what the window costs is then read off its own thread, apart
// from the test equipment's share. Signals of the line reach functors
// connected without a context object in the line's thread.

#include "sim/virtualline.h"

#include <QThread>
#include <sys/resource.h>

// CPU seconds (user and system) the calling thread has used so far.
inline double threadCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
         + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

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
