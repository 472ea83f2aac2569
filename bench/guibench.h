#pragma once
// What every window benchmark sets up before it starts: a settings store and
// a working directory of its own in a temporary folder (the user's are never
// touched), the offscreen platform unless a display is asked for, and the
// options given as "--name value".

#include "app/mainwindow.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
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

// Transmitters at 1..devices, told apart by their current (4 + a mA) and
// first variable (100 + a), on a line paced like a real one at `baud`
// (0: instant).
inline void fillLine(sim::VirtualLine &line, int baud, int devices)
{
    line.setBaud(baud);
    // The pseudo-terminal hands a request over at once; its wire time is
    // charged as turnaround so the line is as slow as a real one.
    if (baud > 0)
        line.setTurnaroundMs(8 * 11 * 1000 / baud);
    for (int a = 1; a <= devices; ++a) {
        sim::VirtualDevice *d = line.addDevice(uint8_t(a));
        d->current = 4.0f + float(a);
        d->variables[0] = 100.0f + float(a);
    }
}

// The window connected to `port` and unlocked, poll rows 1..devices checked
// at those addresses, the table cleared when full (a shift's worth of rows
// would not fit), each request tried twice. Ends the bench when the port
// does not open.
inline void openPollingWindow(MainWindow &w, const QString &port, int devices, int periodMs, int timeoutMs)
{
    w.ui->comboBoxNamePort->setEditText(port);
    w.ui->buttonConnectPort->click();
    if (!w.hartLink()->isPortOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(port));
        std::exit(1);
    }
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    for (int i = 0; i < devices; ++i) {
        w.pollChannels[i].enable->setChecked(true);
        w.pollChannels[i].address->setCurrentIndex(i + 1);
    }
    w.ui->checkBoxClear->setChecked(true);
    w.pollPeriod = periodMs;
    w.pollTimeout = timeoutMs;
    w.pollRepeats = 2;
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
