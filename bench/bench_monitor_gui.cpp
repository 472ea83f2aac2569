// The line monitor under load. The main window polls 15 virtual
// transmitters cyclically with the trend, the line statistics and the
// traffic log open (the window shown on the offscreen platform, so the plot
// really draws), while about 5 % of the requests meet a fault (a silent
// device, a bad checksum). Two runs:
//   a) the line paced at 1200 baud, period 300 ms, for --minutes (default 5);
//   b) an instant line, until --answers (default 100000) answers have gone
//      through the trend and the traffic log.
// The virtual line runs in a thread of its own, as real transmitters are
// outside the program.
// Printed (no pass/fail): event-loop lateness p99 and max of a 5 ms probe,
// also leaving out the times an idle thread's probe saw the machine stall,
// CPU share of the window's thread (window, link and monitor) while the
// probe rests and while it runs (they take turns on the paced line), of the
// line's thread and of the whole process, and of the window standing still, RSS
// at start and end, the trend's frame times as drawn during the run and at
// the longest window afterwards, and whether the link's statistics equal
// what the fault-injecting line counted.
//
// --without-docks runs the same with the monitor's panels closed, for the
// share of the window and the polling table alone.
//
//   bench_monitor_gui [--minutes M] [--answers N] [--only a|b] [--without-docks]

#include "processusage.h"
#include "guibench.h"
#include "linethread.h"
#include "app/mainwindow.h"
#include "bench/latenessprobe.h"
#include "ui_mainwindow.h"

#include "console/consoleformat.h"
#include "link/protocolcomhart.h"
#include "monitor/linemonitor.h"
#include "monitor/trafficlogview.h"
#include "monitor/trendview.h"
#include "sim/virtualline.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Devices = 15;
constexpr int ProbeMs = 5;
constexpr int IdleMs = 10000;
constexpr int SliceMs = 10000;

struct RunConfig
{
    const char *name;
    int baud;
    int periodMs;
    int timeoutMs;
    qint64 durationMs;      // 0: run until `answers`
    int answers;
    bool docks;             // false: the same window with the monitor's panels closed
};

// What the line saw and did, per short address. With a repeat count of 2 a
// request ends in a time-out when its second transmission is silenced too.
struct LineCounts
{
    qint64 requests = 0, silenced = 0, timeouts = 0, corrupted = 0, duplicated = 0;
};

void runBench(const RunConfig &cfg, unsigned seed)
{
    QTemporaryDir dir;
    sim::VirtualLine line;
    if (!dir.isValid() || !line.open()) {
        std::fprintf(stderr, "cannot set up: %s\n", qPrintable(line.errorString()));
        std::exit(1);
    }
    fillLine(line, cfg.baud, Devices);

    MainWindow w;
    w.resize(1600, 900);
    w.show();
    openPollingWindow(w, line.portName(), Devices, cfg.periodMs, cfg.timeoutMs);

    LineMonitor *monitor = w.lineMonitor();
    TrendView *trend = monitor->trend;
    if (cfg.docks) {
        monitor->trendDock->show();
        monitor->statsDock->show();
        monitor->logDock->show();
    }
    trend->windowBox->setCurrentIndex(0);       // 1 min while running
    // The instant line is about the monitor's stores: the measurement
    // table, which redraws on every answer, is kept out of view there.
    w.ui->tabWidget->setCurrentIndex(cfg.baud > 0 ? MainWindow::TabFunction3 : MainWindow::TabSettings);

    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> chance(0, 1);
    std::vector<LineCounts> counts(16);
    int previousAddress = -1;
    bool previousSilenced = false;
    QObject::connect(&line, &sim::VirtualLine::requestReceived, [&](const QByteArray &raw) {
        const int shortAddress = ConsoleFormat::requestShortAddress(raw);
        if (shortAddress < 0)
            return;
        const int address = shortAddress & 0x0F;
        sim::VirtualDevice *d = line.device(uint8_t(address));
        LineCounts &c = counts[address];
        ++c.requests;
        // The link only ever sends the same address twice running to repeat
        // a request that met silence.
        const bool repeat = address == previousAddress && previousSilenced;
        previousAddress = address;
        previousSilenced = false;
        if (!d || chance(rng) >= 0.05)
            return;
        switch (rng() % 3) {
        case 0:
            d->silentFor = 1;
            ++c.silenced;
            previousSilenced = true;
            if (repeat)
                ++c.timeouts;
            break;
        case 1:
            d->corruptNextChecksum = true;
            ++c.corrupted;
            break;
        default:
            d->duplicate.next = 1;
            ++c.duplicated;
            break;
        }
    });
    qint64 answersSent = 0;
    QObject::connect(&line, &sim::VirtualLine::answerSent, [&](const QByteArray &) {
        if (++answersSent % 1000 == 0)
            forgetLineHistory(line);
    });

    qint64 answers = 0, timeouts = 0;
    const qint64 warmAnswers = cfg.durationMs > 0 ? 50 : qMax(1000, cfg.answers / 50);
    double rssWarm = 0;
    QEventLoop loop;
    protocolComHart *link = w.hartLink();
    QObject::connect(link, &protocolComHart::answerGet, &w, [&](int code) {
        if (code == 0) {
            ++timeouts;
            return;
        }
        ++answers;
        // Growth is also taken from a point where every panel has drawn
        // itself at least once and the stores have started to fill, so that
        // first-paint caches do not count as growth with the answers.
        if (answers == warmAnswers)
            rssWarm = rssMb();
        if (cfg.durationMs == 0 && answers >= cfg.answers)
            loop.quit();
    }, Qt::DirectConnection);

    // The transmitters answer from their own thread from here on.
    LineThread lineThread(&line);
    LatenessProbe probe(ProbeMs);
    // Let the window settle before measuring.
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();

    // What the window's thread costs standing still (the monitor's refresh
    // timer), and the probe's own wake-ups on top of that.
    auto idleShare = [&] {
        const double start = threadCpuSeconds();
        QElapsedTimer idleWall;
        idleWall.start();
        QTimer::singleShot(IdleMs / 2, &loop, &QEventLoop::quit);
        loop.exec();
        return 100.0 * (threadCpuSeconds() - start) / (idleWall.nsecsElapsed() / 1e9);
    };
    const double idleWithout = idleShare();
    probe.start();
    const double idleWith = idleShare();
    probe.stop();
    probe.clear();

    const double rssStart = rssMb();
    const double cpuStart = cpuSeconds();
    const double windowCpuStart = threadCpuSeconds();
    const double lineCpuStart = lineThread.cpuSeconds();
    const int framesStart = trend->frames();
    const double frameMsStart = trend->totalFrameMs();
    QElapsedTimer wall;
    wall.start();

    // The probe's own wake-ups cost the window's thread about as much as the
    // polling does, so the two take turns: the probe runs for a slice, rests
    // for the next, and the window's share is read both ways.
    struct Share
    {
        double cpu = 0, seconds = 0;
        double percent() const { return seconds > 0 ? 100.0 * cpu / seconds : 0; }
    } probing, resting;
    bool probeOn = true;
    double sliceCpu = threadCpuSeconds();
    QElapsedTimer sliceWall;
    sliceWall.start();
    auto closeSlice = [&] {
        Share &s = probeOn ? probing : resting;
        const double now = threadCpuSeconds();
        s.cpu += now - sliceCpu;
        s.seconds += sliceWall.nsecsElapsed() / 1e9;
        sliceCpu = now;
        sliceWall.restart();
    };
    QTimer slices;
    slices.setInterval(SliceMs);
    QObject::connect(&slices, &QTimer::timeout, [&] {
        closeSlice();
        probeOn = !probeOn;
        if (probeOn)
            probe.resume();
        else
            probe.pause();
    });
    // The machine's own stalls, seen by the same probe in an idle thread.
    ReferenceProbe reference(ProbeMs);
    reference.start();
    probe.start();
    if (cfg.durationMs > 0)
        slices.start();
    w.ui->buttonFunction3Loop->click();
    if (cfg.durationMs > 0)
        QTimer::singleShot(cfg.durationMs, &loop, &QEventLoop::quit);
    loop.exec();
    closeSlice();
    slices.stop();
    reference.finish();
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    const double windowCpu = threadCpuSeconds() - windowCpuStart;
    const double lineCpu = lineThread.cpuSeconds() - lineCpuStart;
    probe.stop();
    w.ui->buttonStopRequstFunc3->click();
    link->stopSending();
    const int frames = trend->frames() - framesStart;
    const double frameMs = trend->totalFrameMs() - frameMsStart;
    const double frameMax = trend->maxFrameMs();

    // Let the last request end, then draw the longest window a few times.
    QTimer::singleShot(cfg.timeoutMs * 3 + 200, &loop, &QEventLoop::quit);
    loop.exec();
    const double rssEnd = rssMb();
    trend->windowBox->setCurrentIndex(trend->windowBox->count() - 1);     // whole session
    std::vector<double> longest;
    int points = 0;
    for (int i = 0; i < 21; ++i) {
        trend->refresh(monitor->now(), true);
        longest.push_back(trend->lastFrameMs());
        points = trend->lastFramePoints();
    }
    std::sort(longest.begin(), longest.end());
    // The line's counts are read here, its thread ended.
    lineThread.stop();

    qint64 requests = 0, silenced = 0, corrupted = 0, duplicated = 0;
    for (const LineCounts &c : counts) {
        requests += c.requests;
        silenced += c.silenced;
        corrupted += c.corrupted;
        duplicated += c.duplicated;
    }
    // The link's counts against the line's, address by address.
    const LinkStatistics &stats = link->statistics();
    int mismatches = 0;
    for (int a = 0; a < 16; ++a) {
        const LineCounts &c = counts[a];
        const LinkAddressStatistics &s = stats.address(a);
        const qint64 want[5] = {c.requests, c.requests - c.silenced, c.timeouts, c.corrupted, c.duplicated};
        const qint64 got[5] = {s.requestsSent, s.answersCredited, s.timeouts, s.checksumErrors,
                               s.answersDiscarded};
        if (std::equal(std::begin(want), std::end(want), std::begin(got)))
            continue;
        ++mismatches;
        std::printf("    address %02x: line %lld/%lld/%lld/%lld/%lld, link %lld/%lld/%lld/%lld/%lld "
                    "(requests/answers/time-outs/checksum errors/discarded)\n", a,
                    (long long)want[0], (long long)want[1], (long long)want[2], (long long)want[3],
                    (long long)want[4], (long long)got[0], (long long)got[1], (long long)got[2],
                    (long long)got[3], (long long)got[4]);
    }
    const LinkAddressStatistics &other = stats.other();
    if (other.answersDiscarded || other.requestsSent)
        ++mismatches;

    std::printf("\n%s\n", cfg.name);
    std::printf("  duration            %.1f s, %lld requests, %lld answers handled, %lld time-outs; "
                "faults injected: %lld silences, %lld bad checksums, %lld answers sent twice\n",
                seconds, (long long)requests, (long long)answers, (long long)timeouts,
                (long long)silenced, (long long)corrupted, (long long)duplicated);
    std::printf("  answers per second  %.1f\n", answers / seconds);
    std::printf("  event-loop lateness p99 %.2f ms, max %.2f ms (%d samples of a %d ms probe; "
                "target p99 < 5, max < 20)\n", probe.p99Ms(), probe.maxMs(), probe.samples(), ProbeMs);
    const LatenessProbe::Summary outside = probe.summary(reference.stalls());
    std::printf("  outside the machine's stalls p99 %.2f ms, max %.2f ms (%d samples; %d stalls of %.0f ms "
                "or more seen by the same probe in an idle thread, the longest %.1f ms)\n",
                outside.p99Ms, outside.maxMs, outside.samples, int(reference.stalls().size()),
                ReferenceProbe::StallMs, reference.maxMs());
    std::printf("  longest waits      ");
    for (const LatenessProbe::Late &l : probe.worst())
        std::printf(" %.1f ms at %.1f s (%s);", l.ms, l.atS, qPrintable(l.clock.toString(QStringLiteral("hh:mm:ss.zzz"))));
    std::printf("\n");
    if (resting.seconds > 0) {
        std::printf("  CPU share           window's thread %.2f %% of one core while the probe rests "
                    "(%.0f s in %d s turns; target < 3 at 1200 baud), %.2f %% while it runs\n",
                    resting.percent(), resting.seconds, SliceMs / 1000, probing.percent());
    }
    std::printf("  CPU over the run    window's thread %.2f %%, virtual line's thread %.2f %%, whole "
                "process %.2f %%; the window's thread standing still %.2f %%, %.2f %% with the probe "
                "running\n", 100.0 * windowCpu / seconds, 100.0 * lineCpu / seconds,
                100.0 * cpu / seconds, idleWithout, idleWith);
    std::printf("  RSS                 %.1f MB at start, %.1f MB after %lld answers, %.1f MB at end: "
                "growth %+.2f MB from start, %+.2f MB after the first %lld answers (target <= 5); "
                "trend store %.2f MB\n", rssStart, rssWarm, (long long)warmAnswers, rssEnd,
                rssEnd - rssStart, rssWarm > 0 ? rssEnd - rssWarm : 0.0, (long long)warmAnswers,
                monitor->trendStore->bytesReserved() / 1048576.0);
    std::printf("  trend frames        %d drawn while polling, mean %.2f ms, max %.2f ms\n",
                frames, frames ? frameMs / frames : 0.0, frameMax);
    std::printf("  longest window      whole session, %d points shown: frame median %.2f ms, "
                "max %.2f ms (target < 10)\n", points, longest[longest.size() / 2], longest.back());
    std::printf("  traffic log         %lld events seen, %d kept, %d shown\n",
                (long long)monitor->trafficLog->total(), int(monitor->trafficLog->size()),
                int(monitor->log->shownEvents().size()));
    std::printf("  line statistics     %s the line's counts (requests, answers, time-outs, checksum "
                "errors, discarded per address)\n", mismatches ? "DIFFER from" : "equal");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    GuiBench bench(argc, argv);
    const double minutes = bench.number("--minutes", 5);
    const int answers = int(bench.number("--answers", 100000));
    const QString only = bench.value("--only");
    const bool docks = !bench.flag("--without-docks");

    std::printf("Line monitor: %d virtual devices, ~5 %% faults, trend, statistics and traffic log %s\n",
                Devices, docks ? "open" : "closed");
    if (only.isEmpty() || only == QLatin1String("a"))
        runBench({docks ? "a) 1200 baud, period 300 ms" : "a) 1200 baud, period 300 ms, panels closed",
                  1200, 300, 1000, qint64(minutes * 60000.0), 0, docks}, 1);
    if (only.isEmpty() || only == QLatin1String("b"))
        runBench({docks ? "b) instant line, period 1 ms" : "b) instant line, period 1 ms, panels closed",
                  0, 1, 100, 0, answers, docks}, 2);
    return 0;
}
