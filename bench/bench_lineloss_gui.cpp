// A line lost under cyclic polling: the main window polls virtual
// transmitters through a symlinked pseudo-terminal, as an adapter is reached
// by its name, and the line vanishes as a pulled USB adapter does. Printed
// per run (no pass/fail): the time from the line's disappearance until the
// status bar says "Связь с портом потеряна" (target < 1 s), the CPU share of
// this process over the next --idle-s seconds (default 10; target < 1 % of a
// core), the window's state afterwards, and whether "Связать" works at once
// on the line plugged in again.
//
//   bench_lineloss_gui [--idle-s S] [--runs N]

#include "processusage.h"
#include "guibench.h"
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int Devices = 5;
const QString LostText = QStringLiteral("Связь с портом потеряна");

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct RunConfig
{
    const char *name;
    int baud;
    int periodMs;
    int timeoutMs;
};

struct Result
{
    double lostAfterMs = -1;
    double cpuShare = 0;
    bool idle = false;
    bool reconnected = false;
};

Result runOnce(const RunConfig &cfg, const QString &dir, int idleSeconds)
{
    Result r;
    sim::VirtualLine line;
    const QString path = dir + QStringLiteral("/ttyHART");
    if (!line.open() || !line.createLink(path)) {
        std::fprintf(stderr, "cannot set up the line: %s\n", qPrintable(line.errorString()));
        std::exit(1);
    }
    fillLine(line, cfg.baud, Devices);

    MainWindow w;
    openPollingWindow(w, path, Devices, cfg.periodMs, cfg.timeoutMs);
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    w.ui->buttonFunction3Loop->click();
    spin(1500);

    // From the moment the line goes until the window says so.
    QElapsedTimer sinceLoss;
    QEventLoop waitShown;
    QObject::connect(w.ui->statusBar, &QStatusBar::messageChanged, &waitShown,
                     [&](const QString &text) {
                         if (r.lostAfterMs < 0 && text.startsWith(LostText)) {
                             r.lostAfterMs = sinceLoss.nsecsElapsed() / 1e6;
                             waitShown.quit();
                         }
                     });
    QTimer::singleShot(10000, &waitShown, &QEventLoop::quit);
    sinceLoss.start();
    line.vanish();
    waitShown.exec();

    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(idleSeconds * 1000);
    r.cpuShare = 100.0 * (cpuSeconds() - cpuStart) / (wall.nsecsElapsed() / 1e9);

    r.idle = !w.loopRunning && !w.isBusy() && !w.hartLink()->isPortOpen()
             && !w.hartLink()->isBusy() && !w.hartLink()->isQueueRunning()
             && w.ui->buttonConnectPort->isEnabled();

    // Plugged in again at the same name: one click, and polling answers.
    if (line.reappear()) {
        w.ui->buttonConnectPort->click();
        const int rows = w.measurementModel->rowCount();
        w.ui->checkBoxClear->setChecked(false);
        w.ui->buttonFunction3Send->click();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && w.measurementModel->rowCount() < rows + Devices)
            spin(20);
        r.reconnected = w.hartLink()->isPortOpen() && w.measurementModel->rowCount() >= rows + Devices;
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    GuiBench bench(argc, argv);
    const int idleSeconds = qMax(1, int(bench.number("--idle-s", 10)));
    const int runs = qMax(1, int(bench.number("--runs", 3)));

    const RunConfig configs[] = {
        {"instant line, period 20 ms", 0, 20, 200},
        {"1200 baud, period 300 ms", 1200, 300, 1000},
    };
    std::printf("Line lost under cyclic polling of %d virtual devices (%d runs each)\n", Devices, runs);
    for (const RunConfig &cfg : configs) {
        std::printf("\n%s\n", cfg.name);
        for (int i = 0; i < runs; ++i) {
            const Result r = runOnce(cfg, bench.home(), idleSeconds);
            std::printf("  run %d: \"%s\" shown after %.1f ms (target < 1000); CPU over the next %d s "
                        "%.3f %% of a core (target < 1); window idle: %s; \"Связать\" on the line "
                        "plugged in again: %s\n",
                        i + 1, qPrintable(LostText), r.lostAfterMs, idleSeconds, r.cpuShare,
                        r.idle ? "yes" : "NO", r.reconnected ? "polls at once" : "FAILED");
            std::fflush(stdout);
        }
    }
    return 0;
}
