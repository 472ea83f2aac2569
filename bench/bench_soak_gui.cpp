// Soak of the polling tab: the main window polls 15 virtual transmitters
// cyclically into record files while about 5 % of the requests meet a fault
// (a silent device, a bad checksum, an answer split into pieces, noise in
// front of an answer). Two runs:
//   a) the line paced at 1200 baud, period 300 ms, for --minutes (default 5);
//   b) an instant line with a short period set on the window's applied timing
//      (the spin box's 300 ms minimum does not bind a benchmark), until
//      --answers (default 20000) answers have been handled.
// Printed per run (no pass/fail): answers per second against the wire limit,
// event-loop lateness p99 and max of a 5 ms probe timer, CPU share of this
// process (window and virtual line together), RSS at start and end, and
// whether every record file holds exactly the good answers of its device.
//
//   bench_soak_gui [--minutes M] [--answers N] [--period-ms P] [--only a|b]

#include "processusage.h"
#include "guibench.h"
#include "app/mainwindow.h"
#include "bench/latenessprobe.h"
#include "ui_mainwindow.h"

#include "console/consoleformat.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Devices = 15;
constexpr int ProbeMs = 5;

struct RunConfig
{
    const char *name;
    int baud;
    int periodMs;
    int timeoutMs;
    qint64 durationMs;      // 0: run until `answers`
    int answers;
};

struct Faults
{
    int silent = 0, badChecksum = 0, split = 0, noise = 0;
    int total() const { return silent + badChecksum + split + noise; }
};

void runSoak(const RunConfig &cfg, unsigned seed)
{
    QTemporaryDir dir;
    sim::VirtualLine line;
    if (!dir.isValid() || !line.open()) {
        std::fprintf(stderr, "cannot set up: %s\n", qPrintable(line.errorString()));
        std::exit(1);
    }
    fillLine(line, cfg.baud, Devices);

    MainWindow w;
    openPollingWindow(w, line.portName(), Devices, cfg.periodMs, cfg.timeoutMs);
    w.ui->spinBoxSymPreamble->setValue(3);
    w.pollingDialogs.chooseSaveDir = [&](QString *b, QString *f) {
        *b = dir.path();
        *f = QStringLiteral("soak");
        return true;
    };
    w.pollingDialogs.confirmSaveDirs = [](const QString &, bool) { return 1; };
    w.ui->pbChooseSaveDir->click();
    w.ui->cbMU4var->setCurrentIndex(1);
    w.ui->spinBoxPressuePos->setValue(100);
    w.ui->buttonSetPressue->click();
    w.ui->buttonMO->click();

    // Faults: decided per request, before the device answers it.
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> chance(0, 1);
    Faults faults;
    qint64 requestBytes = 0, answerBytes = 0, requests = 0, answersSent = 0;
    QObject::connect(&line, &sim::VirtualLine::requestReceived, [&](const QByteArray &raw) {
        ++requests;
        requestBytes += raw.size();
        const int address = ConsoleFormat::requestShortAddress(raw);
        sim::VirtualDevice *d = address >= 0 ? line.device(uint8_t(address & 0x3F)) : nullptr;
        if (!d || chance(rng) >= 0.05)
            return;
        switch (rng() % 4) {
        case 0: d->silentFor = 1; ++faults.silent; break;
        case 1: d->corruptNextChecksum = true; ++faults.badChecksum; break;
        case 2: d->splitNextAnswer = {4, 1, 9}; ++faults.split; break;
        default: d->noiseBeforeNext = QByteArray::fromHex("00135a"); ++faults.noise; break;
        }
    });
    QObject::connect(&line, &sim::VirtualLine::answerSent, [&](const QByteArray &frame) {
        answerBytes += frame.size();
        if (++answersSent % 1000 == 0)
            forgetLineHistory(line);
    });

    // What the window was handed: good answers per address, bad ones, time-outs.
    std::vector<qint64> good(16, 0);
    qint64 answers = 0, bad = 0, timeouts = 0;
    QEventLoop loop;
    protocolComHart *link = w.hartLink();
    QObject::connect(link, &protocolComHart::answerGet, &w, [&](int code) {
        if (code == 0) {
            ++timeouts;
            return;
        }
        ++answers;
        if (link->answerChecksumOk() && link->answerData().size() >= 24)
            ++good[link->answerAddress() & 0x0F];
        else
            ++bad;
        if (cfg.durationMs == 0 && answers >= cfg.answers)
            loop.quit();
    }, Qt::DirectConnection);

    LatenessProbe probe(ProbeMs);

    const double rssStart = rssMb();
    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    probe.start();
    w.ui->buttonFunction3Loop->click();
    if (cfg.durationMs > 0)
        QTimer::singleShot(cfg.durationMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    probe.stop();
    w.ui->buttonStopRequstFunc3->click();
    link->stopSending();
    const double rssEnd = rssMb();

    // Let an answer still on its way be handled, then count the files.
    QTimer::singleShot(cfg.timeoutMs + 200, &loop, &QEventLoop::quit);
    loop.exec();
    qint64 goodTotal = 0, lines = 0;
    bool exact = true, wellFormed = true;
    for (int a = 1; a <= Devices; ++a) {
        goodTotal += good[a];
        QFile f(dir.path() + QStringLiteral("/soak_%1/soak_Tmid.txt").arg(a, 2, 16, QLatin1Char('0')));
        QByteArray content;
        if (f.open(QIODevice::ReadOnly))
            content = f.readAll();
        const qint64 n = content.count('\n');
        lines += n;
        if (n != good[a]) {
            exact = false;
            std::printf("    device %02x: %lld lines, %lld good answers\n", a, (long long)n,
                        (long long)good[a]);
        }
        if (!content.isEmpty() && !content.endsWith('\n'))
            wellFormed = false;
        for (const QByteArray &l : content.split('\n')) {
            if (!l.isEmpty() && l.count('\t') != 7)
                wellFormed = false;
        }
    }

    std::printf("\n%s\n", cfg.name);
    std::printf("  duration            %.1f s, %lld requests, faults injected %d (%.1f %%: "
                "%d silent, %d bad checksum, %d split, %d noise)\n",
                seconds, (long long)requests, faults.total(),
                requests ? 100.0 * faults.total() / double(requests) : 0.0, faults.silent,
                faults.badChecksum, faults.split, faults.noise);
    std::printf("  answers handled     %lld (%lld good, %lld bad), %lld time-outs\n",
                (long long)answers, (long long)goodTotal, (long long)bad, (long long)timeouts);
    if (cfg.baud > 0 && requests && answersSent) {
        const double bytesPerTx = double(requestBytes) / double(requests)
                                + double(answerBytes) / double(answersSent);
        const double wire = cfg.baud / 11.0 / bytesPerTx;
        std::printf("  answers per second  %.3f; wire limit %.3f (%.0f bytes per exchange at "
                    "%d baud, 8O1), %.0f %% of it\n",
                    answers / seconds, wire, bytesPerTx, cfg.baud, 100.0 * answers / seconds / wire);
    } else {
        std::printf("  answers per second  %.1f; no wire limit (instant line), period %d ms "
                    "allows %.0f\n", answers / seconds, cfg.periodMs, 1000.0 / cfg.periodMs);
    }
    std::printf("  event-loop lateness p99 %.2f ms, max %.2f ms (%d samples of a %d ms probe; "
                "target p99 < 5, max < 20)\n", probe.p99Ms(), probe.maxMs(), probe.samples(), ProbeMs);
    std::printf("  CPU share           %.1f %% of one core (window and virtual line)\n",
                100.0 * cpu / seconds);
    std::printf("  RSS                 %.1f MB at start, %.1f MB at end, growth %+.2f MB "
                "(target <= 2)\n", rssStart, rssEnd, rssEnd - rssStart);
    std::printf("  record files        %lld lines for %lld good answers: %s%s\n",
                (long long)lines, (long long)goodTotal, exact ? "exact" : "MISMATCH",
                wellFormed ? ", every line whole with eight fields" : ", BROKEN LINES");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    GuiBench bench(argc, argv);
    const double minutes = bench.number("--minutes", 5);
    const int answers = int(bench.number("--answers", 20000));
    const int period = qMax(1, int(bench.number("--period-ms", 5)));
    const QString only = bench.value("--only");

    std::printf("Polling soak: %d virtual devices, ~5 %% faults, record files checked\n", Devices);
    if (only.isEmpty() || only == QLatin1String("a")) {
        runSoak({"a) 1200 baud, period 300 ms", 1200, 300, 1000,
                 qint64(minutes * 60000.0), 0}, 1);
    }
    if (only.isEmpty() || only == QLatin1String("b")) {
        const QByteArray name = "b) instant line, period " + QByteArray::number(period) + " ms";
        runSoak({name.constData(), 0, period, 100, 0, answers}, 2);
    }
    return 0;
}
