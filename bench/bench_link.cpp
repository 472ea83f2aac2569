// Link figures, printed (no pass/fail):
//  1. event-loop lateness of a 1 ms probe timer while the link polls 15
//     devices cyclically at a 300 ms period, with and without flow control;
//  2. line use: transactions per second against the best the line allows,
//     with the simulator paced at 1200 baud and answering at once;
//  3. answer framing + parsing throughput in MB/s;
//  4. line loss: the virtual line vanishes during cyclic polling; the time
//     until the link reports it, and the process CPU share over the next
//     10 s (the port must not spin).
//
//   bench_link [--seconds N] [--only lateness|line-use|parser|line-loss]
//       N shortens (or lengthens) every timed run; default 30 s per lateness
//       case, 60 s per line case. The line-loss window is always 10 s.

#include "bench/latenessprobe.h"
#include "link/hartframe.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

QByteArray command3(uint8_t address)
{
    const uint8_t a[5] = {address, 0, 0, 0, 0};
    HartRequestFrame f;
    f.setPreambleCount(5);
    f.setAddressBytes(a);
    f.buildCommand3();
    return f.toByteArray();
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Lateness
{
    double p99Ms = 0;
    double maxMs = 0;
    int samples = 0;
    int answers = 0;
    int timeouts = 0;
};

Lateness measureLateness(int flowControl, int seconds)
{
    sim::VirtualLine line;
    if (!line.open()) {
        std::fprintf(stderr, "virtual line: %s\n", qPrintable(line.errorString()));
        std::exit(1);
    }
    line.setBaud(1200);
    for (uint8_t a = 1; a <= 15; ++a)
        line.addDevice(a);

    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    link.serialConfig().flowControl = flowControl;
    link.serialConfig().rtsDelay = 10;
    link.openPort(line.portName());
    link.setPeriod(300);
    link.setTimeout(1000);
    link.setRepeats(1);
    link.setOperation(3);
    Lateness result;
    QObject::connect(&link, &protocolComHart::answerGet, [&](int code) {
        ++(code ? result.answers : result.timeouts);
    });
    for (uint8_t a = 1; a <= 15; ++a)
        link.enqueue(command3(a));
    link.startQueue(true);

    LatenessProbe probe(1, size_t(seconds) * 1000);
    probe.start();
    runFor(seconds * 1000);
    probe.stop();
    link.stopSending();

    result.samples = probe.samples();
    result.p99Ms = probe.p99Ms();
    result.maxMs = probe.maxMs();
    return result;
}

struct LineUse
{
    double perSecond = 0;
    double idealPerSecond = 0;
    int timeouts = 0;
};

LineUse measureLineUse(int period, int flowControl, bool chargeRequest, int seconds)
{
    sim::VirtualLine line;
    line.open();
    line.setBaud(1200);
    // The pseudo-terminal hands the request over at once; charging its wire
    // time as the turnaround makes the simulator's line as slow as a real one.
    const int requestWireMs = int(command3(1).size() * 11 * 1000 / 1200);
    line.setTurnaroundMs(chargeRequest ? requestWireMs : 0);
    for (uint8_t a = 1; a <= 15; ++a)
        line.addDevice(a);

    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    link.serialConfig().flowControl = flowControl;
    // 11 bits per byte at 1200 baud is 9.2 ms: 10 ms per byte covers it.
    link.serialConfig().rtsDelay = 10;
    link.openPort(line.portName());
    link.setPeriod(period);
    link.setTimeout(qMax(2 * period, 2000));
    link.setRepeats(1);
    link.setOperation(3);
    int answers = 0;
    LineUse result;
    QElapsedTimer clock;
    qint64 firstMs = -1;
    qint64 lastMs = 0;
    QObject::connect(&link, &protocolComHart::answerGet, [&](int code) {
        if (!code) {
            ++result.timeouts;
            return;
        }
        // Counted from the first answer so the opening period is not charged.
        if (firstMs < 0)
            firstMs = clock.elapsed();
        else
            ++answers;
        lastMs = clock.elapsed();
    });
    int answerBytes = 0;
    QObject::connect(&line, &sim::VirtualLine::answerSent, [&](const QByteArray &f) { answerBytes = f.size(); });
    for (uint8_t a = 1; a <= 15; ++a)
        link.enqueue(command3(a));
    clock.start();
    link.startQueue(true);
    runFor(seconds * 1000);
    link.stopSending();
    runFor(qMax(2 * period, 1500));

    const int requestBytes = command3(1).size();
    const double wireMs = (requestBytes + answerBytes) * 11.0 * 1000.0 / 1200.0;
    result.idealPerSecond = 1000.0 / qMax(double(period), wireMs);
    result.perSecond = (lastMs > firstMs && answers > 0) ? answers * 1000.0 / double(lastMs - firstMs) : 0;
    std::printf("    request %d B + answer %d B = %.1f ms on the wire; period %d ms\n",
                requestBytes, answerBytes, wireMs, period);
    return result;
}

void measureParser(double seconds)
{
    // Answers of the sizes the system sees, with a little noise before some.
    std::vector<QByteArray> frames;
    for (int n : {0, 4, 24, 24, 3, 64}) {
        QByteArray f(5, '\xff');
        f += QByteArray::fromHex("02 01 33");
        f += char(n);
        f += QByteArray(2, '\0');
        for (int i = 0; i < n; ++i)
            f += char(i * 7);
        uint8_t sum = 0;
        for (int i = 5; i < f.size(); ++i)
            sum ^= uint8_t(f.at(i));
        f += char(sum);
        frames.push_back(f);
    }
    frames.push_back(QByteArray::fromHex("0013") + frames[2]);

    HartReceiver r;
    r.setDiagnosticsEnabled(false);
    qint64 bytes = 0;
    long long good = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < qint64(seconds * 1000)) {
        for (int rep = 0; rep < 1000; ++rep) {
            for (const QByteArray &f : frames) {
                r.reset();
                if (r.feed(f) && r.answer().checksumOk())
                    ++good;
                bytes += f.size();
            }
        }
    }
    const double s = t.nsecsElapsed() / 1e9;
    std::printf("parser: %.1f MB/s (%lld frames, framing + parse + checksum)  target >= 100\n",
                bytes / s / 1e6, good);

    // The worst case for the framing: every byte in a read of its own.
    bytes = 0;
    t.restart();
    while (t.elapsed() < qint64(seconds * 1000)) {
        for (int rep = 0; rep < 1000; ++rep) {
            for (const QByteArray &f : frames) {
                r.reset();
                for (char c : f)
                    r.feedByte(uint8_t(c));
                (void)r.answer().checksumOk();
                bytes += f.size();
            }
        }
    }
    std::printf("parser, one byte per read: %.1f MB/s\n", bytes / (t.nsecsElapsed() / 1e9) / 1e6);
}

double processCpuSeconds()
{
    rusage r {};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

void measureLineLoss()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line"));
    sim::VirtualLine line;
    if (!line.open() || !line.createLink(path)) {
        std::fprintf(stderr, "virtual line: %s\n", qPrintable(line.errorString()));
        std::exit(1);
    }
    line.setBaud(1200);
    for (uint8_t a = 1; a <= 15; ++a)
        line.addDevice(a);

    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    link.openPort(path);
    link.setPeriod(300);
    link.setTimeout(1000);
    link.setRepeats(1);
    link.setOperation(3);
    int answers = 0, answersAfterLoss = 0, losses = 0;
    bool lost = false;
    QElapsedTimer sinceVanish;
    qint64 reportedAfterMs = -1;
    QObject::connect(&link, &protocolComHart::answerGet, [&](int) { ++(lost ? answersAfterLoss : answers); });
    QObject::connect(&link, &protocolComHart::lineLost, [&](const QString &) {
        ++losses;
        lost = true;
        reportedAfterMs = sinceVanish.elapsed();
    });
    for (uint8_t a = 1; a <= 15; ++a)
        link.enqueue(command3(a));
    link.startQueue(true);
    runFor(3000);
    sinceVanish.start();
    line.vanish();

    const double cpu0 = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(10000);
    const double cpuShare = (processCpuSeconds() - cpu0) / (wall.nsecsElapsed() / 1e9);

    // Plugged back in: the port opens at once and polling works again.
    line.reappear();
    const bool reopened = link.openPort(path);
    link.enqueue(command3(1));
    link.startQueue(false);
    const int before = answersAfterLoss;
    runFor(1500);
    std::printf("line loss during cyclic polling (15 devices, 300 ms, 1200 baud): reported after %lld ms"
                " (%d report%s)  target < 1000\n",
                reportedAfterMs, losses, losses == 1 ? "" : "s");
    std::printf("  CPU share over the 10 s after the loss: %.3f %% of one core  target < 1\n", cpuShare * 100.0);
    std::printf("  answers before the loss %d, after it %d; reopened at once: %s, answer on the restored line: %s\n",
                answers, before, reopened ? "yes" : "no", answersAfterLoss > before ? "yes" : "no");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = -1;
    QByteArray only;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = qMax(1, atoi(argv[++i]));
        else if (qstrcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
    }
    const auto wanted = [&only](const char *name) { return only.isEmpty() || only == name; };
    if (wanted("line-loss")) {
        measureLineLoss();
        std::fflush(stdout);
        if (!only.isEmpty())
            return 0;
    }
    const int latenessSeconds = seconds > 0 ? seconds : 30;
    const int lineSeconds = seconds > 0 ? seconds : 60;

    if (wanted("lateness"))
        std::printf("event-loop lateness, 1 ms probe, 15-request cyclic queue at 300 ms, %d s each\n",
                    latenessSeconds);
    for (int fc : {1, 0}) {
        if (!wanted("lateness"))
            break;
        const Lateness l = measureLateness(fc, latenessSeconds);
        std::printf("  flow control %d%s: p99 %.3f ms, max %.3f ms (%d samples, %d answers, %d time-outs)"
                    "  target p99 < 5, max < 20\n",
                    fc, fc ? "" : " (rtsDelay 10)", l.p99Ms, l.maxMs, l.samples, l.answers, l.timeouts);
        std::fflush(stdout);
    }

    if (wanted("line-use"))
        std::printf("line use, simulator at 1200 baud answering at once, %d s each\n", lineSeconds);
    struct Case { int period; int fc; bool chargeRequest; const char *what; };
    for (const Case &c : {Case{100, 1, true, "wire-bound, request wire time charged"},
                          Case{100, 1, false, "wire-bound, request not paced (ratio overstates)"},
                          Case{600, 1, false, "period-bound"},
                          Case{600, 0, false, "period-bound, RTS driven"}}) {
        if (!wanted("line-use"))
            break;
        std::printf("  %s, flow control %d:\n", c.what, c.fc);
        const LineUse u = measureLineUse(c.period, c.fc, c.chargeRequest, lineSeconds);
        std::printf("    %.3f transactions/s of %.3f possible: ratio %.3f (%d time-outs)  target >= 0.97\n",
                    u.perSecond, u.idealPerSecond, u.idealPerSecond > 0 ? u.perSecond / u.idealPerSecond : 0.0,
                    u.timeouts);
        std::fflush(stdout);
    }

    if (wanted("parser"))
        measureParser(seconds > 0 ? qMin(seconds, 3) : 3);
    return 0;
}
