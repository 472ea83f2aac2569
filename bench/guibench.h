#pragma once
// What every window benchmark sets up before it starts: a settings store and
// a working directory of its own in a temporary folder (the user's are never
// touched), the offscreen platform unless a display is asked for, and the
// options given as "--name value".

#include "sim/virtualline.h"

#include <QApplication>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

// The virtual line keeps the last 10000 requests and every device the
// commands it saw, for tests; a long bench drops them now and then so that
// this bookkeeping does not count as the window's growth.
inline void forgetLineHistory(sim::VirtualLine &line)
{
    line.clearRequests();
    for (int a = 0; a < 64; ++a) {
        if (sim::VirtualDevice *d = line.device(uint8_t(a)))
            d->commandsSeen.clear();
    }
}

class GuiBench
{
public:
    GuiBench(int &argc, char **argv)
        : m_ready(prepare(m_home))
        , m_app(argc, argv)
    {
        QDir::setCurrent(m_home.path());
    }

    QString home() const { return m_home.path(); }

    bool flag(const char *name) const { return m_app.arguments().contains(QString::fromLatin1(name)); }
    QString value(const char *name, const QString &fallback = QString()) const
    {
        const QStringList args = m_app.arguments();
        const int at = args.indexOf(QString::fromLatin1(name));
        return at > 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
    }
    double number(const char *name, double fallback) const
    {
        bool ok = false;
        const double v = value(name).toDouble(&ok);
        return ok ? v : fallback;
    }

private:
    static bool prepare(const QTemporaryDir &home)
    {
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return home.isValid();
    }

    QTemporaryDir m_home;
    bool m_ready;           // set up before the application, which reads the environment
    QApplication m_app;
};
