// How many poll cycles a guided run's calibration point takes from the
// operator's confirmation (the pressure set and settled on the bench) to
// its lines in the point files, against the bound max(N, averaged) + 1
// cycles (one cycle = one command-3 answer from every device), on the
// instant virtual line and at 1200 baud. Prints the ratio to the bound.

#include "tests/common/guidedrig.h"

#include "calc/lsqcalibration.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace guidedrig;

namespace {

struct Figures
{
    int points = 0;
    int worstCycles = 0;
    double meanCycles = 0;
    double msPerPoint = 0;
};

Figures measure(int baud, int devices, int n, int averaged, int points)
{
    Figures f;
    Bench bench;
    QTemporaryDir dir;
    if (!bench.open(baud) || !dir.isValid())
        return f;
    const Kind kinds[] = {Kind::TwoGauge, Kind::CapacitiveNear, Kind::SingleGauge, Kind::CapacitiveFar};
    QVector<GuidedDevice> planned;
    for (int a = 1; a <= devices; ++a) {
        bench.add(a, kinds[(a - 1) % 4], uint32_t(a));
        planned.append(bench.planned(a, calcModelFor(kinds[(a - 1) % 4])));
    }
    GuidedPlan plan = GuidedPlan::defaults(planned);
    plan.stableCount = n;
    plan.averaged = averaged;
    // The run is stopped after the points measured; the plan itself has
    // the fewest points the calculation takes.
    plan.points.clear();
    const int planPoints = std::max(points, kPolynomialMinimumPoints);
    for (int k = 0; k < planPoints; ++k)
        plan.points.append(100.0 * k / (planPoints - 1));
    GuidedRun run(bench.guided.get());
    QString why;
    if (!run.create(dir.filePath(QStringLiteral("run")), plan, &why)) {
        std::fprintf(stderr, "bench_guided: %s\n", qPrintable(why));
        return f;
    }
    Operator op(&bench, &run);
    QElapsedTimer clock;
    qint64 confirmedAt = 0;
    double totalMs = 0;
    int total = 0;
    QObject::connect(&run, &GuidedRun::changed, &run, [&] {
        if (run.phase() == GuidedPhase::Capturing && confirmedAt == 0)
            confirmedAt = clock.elapsed();
    });
    QObject::connect(&run, &GuidedRun::message, &run, [&](const QString &text, bool) {
        if (!text.startsWith(QStringLiteral("Точка")) || !text.contains(QStringLiteral(" записана для ")))
            return;
        ++f.points;
        f.worstCycles = std::max(f.worstCycles, run.lastStepCycles());
        total += run.lastStepCycles();
        totalMs += double(clock.elapsed() - confirmedAt);
        confirmedAt = 0;
    });
    // One temperature is enough for the figures.
    op.beforeConfirm = [&](GuidedRun *) { return f.points < points; };
    clock.start();
    run.start();
    QElapsedTimer limit;
    limit.start();
    while (f.points < points && run.phase() != GuidedPhase::Aborted && limit.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (f.points) {
        f.meanCycles = double(total) / f.points;
        f.msPerPoint = totalMs / f.points;
    }
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::printf("Guided run: poll cycles per calibration point, from the confirmation to the lines written\n");
    std::printf("%8s %8s %4s %9s %7s %7s %11s %11s %7s %11s\n", "baud", "devices", "N", "averaged", "points",
                "bound", "mean cyc.", "worst cyc.", "ratio", "ms/point");
    struct Case { int baud, devices, n, averaged, points; };
    const Case cases[] = {{0, 4, 10, 10, 5}, {0, 15, 10, 10, 3}, {0, 4, 5, 20, 3}, {1200, 2, 5, 5, 2}, {1200, 15, 5, 5, 2}};
    for (const Case &c : cases) {
        const Figures f = measure(c.baud, c.devices, c.n, c.averaged, c.points);
        const int bound = std::max(c.n, c.averaged) + 1;
        std::printf("%8d %8d %4d %9d %7d %7d %11.2f %11d %7.3f %11.0f\n", c.baud, c.devices, c.n, c.averaged,
                    f.points, bound, f.meanCycles, f.worstCycles, double(f.worstCycles) / bound, f.msPerPoint);
    }
    std::printf("ratio = worst cycles per point / (max(N, averaged) + 1); at most 1 meets the target\n");
    return 0;
}
