// Accuracy of a whole calibration on the virtual bench: the pressure a
// virtual transmitter reads back, in % of Pmax, before and after it is
// calibrated, at the three calibration temperatures and at two between them,
// for every sensor kind over several noise seeds (the worst seed counts).
//
// The run is the engineer's, done through the cores instead of the widgets:
// command-3 answers from the device are decoded and averaged as the polling
// tab does and written as point lines to the point files; the calculation
// core finds the files, reads the reference voltages, takes Pmax from the
// device's answer and runs the model the check boxes would choose; the
// fifteen values go through the parameters dialog's text fields (six
// significant digits) and into the device with the dialog's five register
// writes; then the device's pressure register is read back.
//
// The last table fits the cubic of the polynomial models on its own with
// the normal-matrix sums in 32-bit floats or exactly, and the inverse by the
// toolkit's iteration or a direct solve, to show which step costs what. The
// "capped" column says the inverse's determinant test never held and the
// iteration stopped at its cap (the result is used all the same).
//
//   bench_accuracy [seeds]      default 5 seeds per sensor kind

#include "calc/lsqcalibration.h"
#include "calc/parametervector.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "polling/calibrationfiles.h"
#include "polling/command3answer.h"
#include "polling/runningmean.h"
#include "sim/virtualdevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <sstream>
#include <vector>

namespace {

using sim::SensorModel;
using sim::VirtualDevice;

constexpr double CalTemperatures[3] = {-40.0, 23.0, 80.0};   // Tmin, Tmid, Tmax
constexpr double BetweenTemperatures[2] = {-10.0, 50.0};
constexpr int PressureSteps = 5;                              // 0, 25, 50, 75, 100 % of Pmax
constexpr int AnswersPerPoint = 10;
constexpr double TargetAtCal = 0.05;
constexpr double TargetBetween = 0.1;

// How the coefficients reach the device.
enum class Transfer {
    DialogText,   // through the dialog's fields, 'g' 6 and back (what the program does)
    Exact,        // the 32-bit results as computed
};

struct Options
{
    double noiseScale = 1.0;
    Transfer transfer = Transfer::DialogText;
};

QByteArray transact(VirtualDevice &dev, uint8_t command, const QByteArray &data = {})
{
    sim::Request r;
    r.address = QByteArray(1, char(dev.address()));
    r.command = command;
    r.data = data;
    const QByteArray frame = dev.answer(r);
    // delimiter, address, command, byte count, two status bytes, data, checksum
    const int count = uint8_t(frame.at(3));
    return frame.mid(6, count);
}

QByteArray readRegisters(VirtualDevice &dev, uint16_t reg, int count)
{
    return transact(dev, RegisterMap::CmdReadRegisters, ValueCodec::readData(reg, count));
}

float readPressureKPa(VirtualDevice &dev)
{
    // A short answer reads as no number, which counts as the worst error.
    float v = std::numeric_limits<float>::quiet_NaN();
    ValueCodec::readFloat(readRegisters(dev, RegisterMap::PressureValue, RegisterMap::FloatWidth), 0, &v);
    return v;
}

bool isTwoGauge(SensorModel::Kind k) { return k == SensorModel::Kind::TwoGauge; }

// The bench for a read-back: the pressure on the plus chamber only, so the
// two-gauge transmitter sees it as a difference too.
double expectedKPa(double pKPa) { return pKPa; }

// Worst |read - applied| in % of Pmax over the pressures at the given
// temperatures.
double worstError(VirtualDevice &dev, const double *temps, int count)
{
    const double rangeKPa = dev.sensor()->ratedPmaxPa() / 1000.0;
    double worst = 0;
    for (int t = 0; t < count; ++t) {
        for (int i = 0; i < PressureSteps; ++i) {
            const double p = rangeKPa * i / (PressureSteps - 1);
            dev.setBench(p, 0.0, temps[t]);
            const double read = readPressureKPa(dev);
            const double err = std::isfinite(read) ? std::fabs(read - expectedKPa(p)) / rangeKPa * 100.0
                                                   : 1e9;
            worst = std::max(worst, err);
        }
    }
    return worst;
}

// One calibration run in dir; false when the calculation refused.
bool calibrate(VirtualDevice &dev, const QString &dir, const Options &opt, QString *why,
               InverseReport *fitReport)
{
    const SensorModel::Kind kind = dev.sensor()->kind();
    const double rangeKPa = dev.sensor()->ratedPmaxPa() / 1000.0;
    const QString deviceDir = dir + QStringLiteral("/dev_01");
    QDir().mkpath(deviceDir);
    const CalibrationTemperature temps[3] = {CalibrationTemperature::Low, CalibrationTemperature::Middle,
                                             CalibrationTemperature::High};
    for (int t = 0; t < 3; ++t) {
        QFile file(deviceDir + QStringLiteral("/dev") + CalibrationFiles::pointSuffix(temps[t]));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return false;
        for (int i = 0; i < PressureSteps; ++i) {
            const double p = rangeKPa * i / (PressureSteps - 1);
            // Both chambers together for the two-gauge sensor, so that one
            // run gives both gauges' lines.
            const double pMinus = isTwoGauge(kind) ? p : 0.0;
            dev.setBench(p, pMinus, CalTemperatures[t]);
            ChannelMean mean;
            for (int n = 0; n < AnswersPerPoint; ++n) {
                const Command3Answer a = Command3Answer::decode(transact(dev, 3));
                const float values[4] = {a.variable(1), a.variable(2), a.variable(3), a.variable(4)};
                RunningMean::foldInto(mean, values);
            }
            file.write(CalibrationFiles::pointLine(mean, p, pMinus));
        }
    }

    LsqCalibration calc;
    if (!calc.findFiles(deviceDir).found)
        return false;
    calc.openStaticFiles(false);
    const bool capacitor = dev.sensor()->isCapacitive();
    const bool tenzo1 = kind == SensorModel::Kind::SingleGauge;
    const CalibrationOutcome out =
        calc.onParameterAnswer(readRegisters(dev, RegisterMap::MaxUpperLimit, RegisterMap::FloatWidth),
                               capacitor, tenzo1);
    *fitReport = calc.pointSet().lastFitReport();
    if (!out.ok) {
        *why = out.messages.isEmpty() ? QStringLiteral("refused") : out.messages.last().text.trimmed();
        return false;
    }

    // What setValues shows and the parameter vector reads back.
    const CalibrationCoefficients &v = out.values;
    ParameterVector::Values pv = {v.Uk1h, v.polynomial ? v.Uk1h : v.Uk2h, v.U10,
                                  v.polynomial ? v.U10 : v.U20, v.a[0], v.a[1], v.a[2],
                                  v.b[0], v.b[1], v.b[2], v.c[0], v.c[1], v.c[2], v.c43, v.Pmax};
    if (opt.transfer == Transfer::DialogText)
        for (float &x : pv)
            x = ParameterVector::fromText(QString::number(double(x), 'g', 6));

    using P = ParameterVector::Index;
    const auto write = [&](uint16_t reg, std::initializer_list<P> idx) {
        QByteArray payload;
        for (P i : idx)
            payload += ValueCodec::float32(pv[size_t(i)]);
        transact(dev, RegisterMap::CmdWriteRegisters, ValueCodec::writeData(reg, payload));
    };
    write(RegisterMap::Uk1h, {P::Uk1h, P::Uk2h, P::U10, P::U20});
    write(RegisterMap::A42, {P::A42, P::A41, P::A40});
    write(RegisterMap::B42, {P::B42, P::B41, P::B40});
    write(RegisterMap::C42, {P::C42, P::C41, P::C40});
    write(RegisterMap::C43, {P::C43});
    return true;
}

struct Figures
{
    double beforeCal = 0, beforeBetween = 0, afterCal = 0, afterBetween = 0;
    int refused = 0;
    int inverseRounds = 0;
    bool capped = false;
    QString why;
};

Figures run(SensorModel::Kind kind, int seeds, const Options &opt)
{
    Figures f;
    for (int seed = 1; seed <= seeds; ++seed) {
        QTemporaryDir dir;
        VirtualDevice dev(1);
        SensorModel sensor = SensorModel::make(kind, uint32_t(seed));
        sensor.setNoiseScale(opt.noiseScale);
        dev.setSensor(sensor);
        f.beforeCal = std::max(f.beforeCal, worstError(dev, CalTemperatures, 3));
        f.beforeBetween = std::max(f.beforeBetween, worstError(dev, BetweenTemperatures, 2));
        QString why;
        InverseReport report;
        if (!calibrate(dev, dir.path(), opt, &why, &report)) {
            ++f.refused;
            f.why = why;
            continue;
        }
        f.inverseRounds = std::max(f.inverseRounds, report.iterations);
        f.capped = f.capped || report.capped || report.singular;
        f.afterCal = std::max(f.afterCal, worstError(dev, CalTemperatures, 3));
        f.afterBetween = std::max(f.afterBetween, worstError(dev, BetweenTemperatures, 2));
    }
    return f;
}

// The cubic fit of the polynomial models on its own, to tell which part of
// its numerics costs what: the normal-matrix sums in 32-bit floats or in
// extended precision, and the inverse by the toolkit's Newton-Schulz
// iteration or a direct solve (Gaussian elimination with partial pivoting,
// extended precision).
std::vector<double> fitCubic(const QVector<double> &x, const QVector<double> &y, bool floatSums,
                             bool directSolve, InverseReport *report)
{
    const int n = 4;
    SquareMatrix m(n);
    Vector r(n, 0.0);
    for (int j = 0; j < n; ++j) {
        for (int l = 0; l <= n; ++l) {
            float fs = 0;
            long double ls = 0;
            for (int i = 0; i < x.size(); ++i) {
                double p = 1.0;
                for (int k = 0; k < j + (l < n ? l : 0); ++k)
                    p *= x[i];
                if (l == n)
                    p *= y[i];
                fs += float(p);
                ls += p;
            }
            const double sum = floatSums ? double(fs) : double(ls);
            if (l < n)
                m[j][l] = sum;
            else
                r[size_t(j)] = sum;
        }
    }
    if (!directSolve) {
        const Vector c = matrixVectorMultiply(matrixInverse(m, n, report), r, n);
        return std::vector<double>(c.begin(), c.end());
    }
    long double a[4][5];
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k)
            a[i][k] = m[i][k];
        a[i][n] = r[size_t(i)];
    }
    for (int col = 0; col < n; ++col) {
        int piv = col;
        for (int i = col + 1; i < n; ++i)
            if (std::fabs(a[i][col]) > std::fabs(a[piv][col]))
                piv = i;
        for (int k = 0; k <= n; ++k)
            std::swap(a[col][k], a[piv][k]);
        for (int i = col + 1; i < n; ++i) {
            const long double f = a[i][col] / a[col][col];
            for (int k = col; k <= n; ++k)
                a[i][k] -= f * a[col][k];
        }
    }
    std::vector<double> c(n);
    for (int i = n - 1; i >= 0; --i) {
        long double v = a[i][n];
        for (int k = i + 1; k < n; ++k)
            v -= a[i][k] * c[size_t(k)];
        c[size_t(i)] = double(v / a[i][i]);
    }
    return c;
}

void fitTable()
{
    std::printf("\nThe cubic fit alone: worst |Q(x) - P| over the Tmid points in %% of Pmax, no noise\n");
    std::printf("%-16s | %-22s | %-22s | %-22s | %-22s\n", "sensor", "float sums, inverse",
                "float sums, direct", "exact sums, inverse", "exact sums, direct");
    for (SensorModel::Kind kind : {SensorModel::Kind::SingleGauge, SensorModel::Kind::CapacitiveNear,
                                   SensorModel::Kind::CapacitiveFar}) {
        SensorModel sensor = SensorModel::make(kind, 1);
        sensor.setNoiseScale(0);
        const double range = sensor.ratedPmaxPa();
        QVector<double> x, y;
        for (int i = 0; i < PressureSteps; ++i) {
            const double p = range / 1000.0 * i / (PressureSteps - 1);
            const auto v = sensor.ideal(sim::BenchState{p, 0.0, 23.0});
            // As the point file and the calculation carry them.
            const float v1 = QByteArray::number(double(float(v[0])), 'e', 4).toFloat() * 1000;
            const float v2 = QByteArray::number(double(float(v[1])), 'e', 4).toFloat() * 1000;
            x.append(double(v1) - double(v2));
            y.append(double(float(QByteArray::number(p, 'e', 4).toFloat() * 1000)));
        }
        std::printf("%-16s", qPrintable(SensorModel::name(kind)));
        for (bool floatSums : {true, false}) {
            for (bool direct : {false, true}) {
                InverseReport rep;
                const auto c = fitCubic(x, y, floatSums, direct, &rep);
                double worst = 0;
                for (int i = 0; i < x.size(); ++i) {
                    const double q = ((c[3] * x[i] + c[2]) * x[i] + c[1]) * x[i] + c[0];
                    worst = std::max(worst, std::fabs(q - y[i]) / range * 100.0);
                }
                const QString rounds = direct ? QString()
                    : QStringLiteral(" (%1%2)").arg(rep.iterations).arg(rep.capped ? ", cap" : "");
                std::printf(" | %-22s", qPrintable(QString::number(worst, 'f', 4) + rounds));
            }
        }
        std::printf("\n");
    }
}

const char *verdict(double atCal, double between)
{
    return atCal <= TargetAtCal && between <= TargetBetween ? "ok" : "MISSED";
}

void table(const char *title, int seeds, const Options &opt)
{
    std::printf("\n%s\n", title);
    std::printf("%-16s | %9s %9s | %9s %9s | %7s %6s | %s\n", "sensor", "before@cal", "between",
                "after@cal", "between", "rounds", "capped", "target");
    for (SensorModel::Kind kind : {SensorModel::Kind::TwoGauge, SensorModel::Kind::SingleGauge,
                                   SensorModel::Kind::CapacitiveNear, SensorModel::Kind::CapacitiveFar}) {
        const Figures f = run(kind, seeds, opt);
        if (f.refused == seeds) {
            std::printf("%-16s | %9.4f %9.4f | refused: %s\n", qPrintable(SensorModel::name(kind)),
                        f.beforeCal, f.beforeBetween, qPrintable(f.why));
            continue;
        }
        // The two-gauge model fits no polynomial: no rounds to show.
        const bool fits = kind != SensorModel::Kind::TwoGauge;
        std::printf("%-16s | %9.4f %9.4f | %9.4f %9.4f | %7s %6s | %s%s\n",
                    qPrintable(SensorModel::name(kind)), f.beforeCal, f.beforeBetween, f.afterCal,
                    f.afterBetween, fits ? qPrintable(QString::number(f.inverseRounds)) : "-",
                    fits ? (f.capped ? "yes" : "no") : "-",
                    verdict(f.afterCal, f.afterBetween),
                    f.refused ? qPrintable(QStringLiteral(" (%1 refused)").arg(f.refused)) : "");
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seeds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // The calculation talks to the developer on both streams; keep the
    // table readable.
    std::ostringstream sink;
    std::streambuf *oldOut = std::cout.rdbuf(sink.rdbuf());
    std::streambuf *oldErr = std::cerr.rdbuf(sink.rdbuf());

    std::printf("Worst read-back error in %% of Pmax over %d seeds; calibration at %g, %g, %g degC,\n"
                "between at %g and %g degC; %d pressures 0..Pmax, %d answers averaged per point.\n"
                "Target: <= %.2f %% at the calibration temperatures, <= %.2f %% between.\n",
                seeds, CalTemperatures[0], CalTemperatures[1], CalTemperatures[2],
                BetweenTemperatures[0], BetweenTemperatures[1], PressureSteps, AnswersPerPoint,
                TargetAtCal, TargetBetween);

    table("As the program does it (coefficients through the dialog's text fields):", seeds, Options{});
    table("Where the rest comes from, 1: no noise (sensor physics and model only):", 1,
          Options{0.0, Transfer::DialogText});
    table("Where the rest comes from, 2: no noise, coefficients written unrounded:", 1,
          Options{0.0, Transfer::Exact});
    fitTable();

    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    return 0;
}
