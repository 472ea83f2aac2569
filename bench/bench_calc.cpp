// Timing and convergence figures of the coefficient calculation: how many
// Newton-Schulz rounds the cubic normal matrices of point files need, how
// long an inverse and a whole fit take, and how far off the fit would be if
// the iteration stopped early.

#include "calc/calibrationpointset.h"
#include "calc/squarematrix.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

// Eleven points of a sensor whose difference signal starts at offset
// microvolts and spans 4500 more, pressure 0..100 kPa in Pa.
void fillSet(CalibrationPointSet &set, double offset)
{
    set.reset();
    for (int i = 0; i <= 10; ++i) {
        const double x = offset + 450 * i;
        const double p = 10000.0 * i;
        set.addPoint(float(x + 3000), 3000.0f, 0, 0, float(p), 0);
    }
}

SquareMatrix normalMatrix(double offset)
{
    SquareMatrix m(4);
    for (int j = 0; j < 4; ++j)
        for (int l = 0; l < 4; ++l) {
            float s = 0;
            for (int i = 0; i <= 10; ++i) {
                double p = 1;
                for (int q = 0; q < j + l; ++q)
                    p *= offset + 450 * i;
                s += float(p);
            }
            m[j][l] = s;
        }
    return m;
}

} // namespace

int main()
{
    // The toolkit reports a singular or capped inverse on standard output;
    // keep the figures readable.
    std::ostringstream sink;
    std::streambuf *old = std::cout.rdbuf(sink.rdbuf());

    std::printf("%-14s %10s %14s %14s %18s\n", "signal from", "rounds", "inverse (us)", "fit (us)",
                "max error (% FS)");
    for (double offset : {0.0, 500.0, 2000.0, 5000.0, 10000.0, 20000.0, 50000.0}) {
        const SquareMatrix m = normalMatrix(offset);
        InverseReport report;
        const int reps = 200;
        QElapsedTimer t;
        t.start();
        for (int r = 0; r < reps; ++r)
            matrixInverse(m, 4, &report);
        const double inverseUs = t.nsecsElapsed() / 1000.0 / reps;

        CalibrationPointSet set;
        t.restart();
        for (int r = 0; r < reps; ++r) {
            fillSet(set, offset);
            set.fitDifferencePolynomial(3);
        }
        const double fitUs = t.nsecsElapsed() / 1000.0 / reps;

        // The data are linear in x, so a good cubic fit reproduces them.
        const QVector<double> c = set.coefficients();
        double worst = 0;
        for (int i = 0; i <= 10; ++i) {
            const double x = offset + 450 * i;
            const double fitted = c[0] + c[1] * x + c[2] * x * x + c[3] * x * x * x;
            worst = std::max(worst, std::fabs(fitted - 10000.0 * i));
        }
        std::printf("%-14.0f %10d%s %13.1f %14.1f %18.4f\n", offset, report.iterations,
                    report.capped ? "*" : " ", inverseUs, fitUs, 100.0 * worst / 100000.0);
    }
    std::printf("(* = iteration cap of %d reached)\n", kInverseIterationCap);
    std::cout.rdbuf(old);
    return 0;
}
