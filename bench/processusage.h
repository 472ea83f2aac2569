#pragma once
// What this process costs, as the benchmarks report it: resident memory and
// the CPU time spent so far (user and system together), by the process or
// by one thread.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <sys/resource.h>

inline double rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// RUSAGE_SELF: the whole process; RUSAGE_THREAD: the calling thread.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
         + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double threadCpuSeconds() { return cpuSeconds(RUSAGE_THREAD); }
