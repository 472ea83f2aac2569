// Accuracy of a whole calibration on the virtual bench: the pressure a
// virtual transmitter reads back, in % of Pmax, after it is calibrated, at
// the three calibration temperatures and at two between them, for every
// sensor kind, over the ranges of the family and two point counts, and
// several noise seeds (the worst seed counts). Then the cases that must be
// refused, each with the message the operator gets, and the cases that must
// calculate right although their files are unusual.
//
// The run is the engineer's, done through the cores instead of the widgets:
// command-3 answers from the device are decoded and averaged as the polling
// tab does and written as point lines to the point files; the calculation
// core finds the files, reads them, takes Pmax from the device's answer,
// runs the model the check boxes would choose and judges the fit at the
// recorded points; the fifteen values go through the parameters dialog's
// text fields (six significant digits) and into the device with the
// dialog's five register writes; then the device's pressure register is
// read back.
//
//   bench_accuracy [seeds]      default 5 seeds per case

#include "calc/lsqcalibration.h"
#include "calc/parametervector.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "polling/calibrationfiles.h"
#include "polling/command3answer.h"
#include "polling/runningmean.h"
#include "sim/compensation.h"
#include "common/pointrun.h"
#include "sim/virtualdevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <sstream>
#include <vector>

namespace {

using sim::SensorModel;
using sim::VirtualDevice;
using Kind = SensorModel::Kind;
// One request straight to the device, and the dialog's five writes.
using pointrun::download;
using pointrun::transact;

constexpr double TargetAtCal = 0.05;
constexpr double TargetBetween = 0.1;
constexpr int AnswersPerPoint = 10;
constexpr double BetweenTemperatures[2] = {-10.0, 50.0};
constexpr double NominalTemperatures[3] = {-40.0, 23.0, 80.0};   // Tmin, Tmid, Tmax
constexpr int ReadBackSteps = 11;                                   // 0, 10 .. 100 % of Pmax

const Kind AllKinds[] = {Kind::TwoGauge, Kind::SingleGauge, Kind::CapacitiveNear, Kind::CapacitiveFar};
const double MatrixRangesKPa[] = {0.25, 2.5, 6.3, 100, 6000};
const int MatrixPointCounts[] = {5, 11};

// One calibration run: the sensor, its range and how the engineer records.
struct Case
{
    Kind kind = Kind::TwoGauge;
    double rangeKPa = 100;
    int points = 5;
    uint32_t seed = 1;
    // Temperatures the three files are recorded at (Tmin, Tmid, Tmax).
    double temps[3] = {NominalTemperatures[0], NominalTemperatures[1], NominalTemperatures[2]};
    double topFraction = 1.0;            // highest recorded pressure over Pmax
    double bottomFraction = 0.0;         // lowest recorded pressure over Pmax
    double differenceZeroHz = 0;         // capacitive f1 - f2 at zero; 0 keeps the kind's
    double referenceHz = 0;              // capacitive f2; 0 keeps the kind's
    bool vacuum = false;                 // the pressure on the minus chamber, "Вакууметр" checked
    // Points as (P+, P-) fractions of the range, Tmid and the other two
    // files; empty: the usual run of `points` pressures.
    std::vector<std::pair<double, double>> tmidPoints, otherPoints;
    int boxesAs = -1;                    // the model the boxes choose (Kind), -1: the sensor's own
    // Changes the three files' contents (Tmin, Tmid, Tmax) after the run.
    std::function<void(QByteArray files[3])> edit;
};

struct Outcome
{
    bool refused = false;
    bool confirmAsked = false;    // the fit's residual needs the operator's word
    bool mismatchAsked = false;
    double expectedAtPmax = 0;
    QString message;              // the refusal, or the last red line
    double atCal = 0, between = 0;
    double fitShown = 0;          // worst residual at the points, as the pane shows it
};

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

// Worst |read - applied| in % of Pmax over 0..Pmax on the plus chamber at
// the given temperatures.
double worstError(VirtualDevice &dev, const double *temps, int count)
{
    const double rangeKPa = dev.sensor()->ratedPmaxPa() / 1000.0;
    double worst = 0;
    for (int t = 0; t < count; ++t) {
        for (int i = 0; i < ReadBackSteps; ++i) {
            const double p = rangeKPa * i / (ReadBackSteps - 1);
            dev.setBench(p, 0.0, temps[t]);
            const double read = readPressureKPa(dev);
            const double err = std::isfinite(read) ? std::fabs(read - p) / rangeKPa * 100.0 : 1e9;
            worst = std::max(worst, err);
        }
    }
    return worst;
}

// The three point files of one run, as the polling tab writes them.
void recordPointFiles(VirtualDevice &dev, const Case &c, QByteArray files[3])
{
    const bool twoGauge = c.kind == Kind::TwoGauge;
    for (int t = 0; t < 3; ++t) {
        files[t].clear();
        const auto &listed = t == 1 ? c.tmidPoints : c.otherPoints;
        if (!listed.empty()) {
            for (const auto &pp : listed) {
                dev.setBench(c.rangeKPa * pp.first, c.rangeKPa * pp.second, c.temps[t]);
                ChannelMean mean;
                for (int n = 0; n < AnswersPerPoint; ++n) {
                    const Command3Answer a = Command3Answer::decode(transact(dev, 3));
                    const float values[4] = {a.variable(1), a.variable(2), a.variable(3), a.variable(4)};
                    RunningMean::foldInto(mean, values);
                }
                files[t] += CalibrationFiles::pointLine(mean, c.rangeKPa * pp.first, c.rangeKPa * pp.second);
            }
            continue;
        }
        for (int i = 0; i < c.points; ++i) {
            const double p = c.rangeKPa
                             * (c.bottomFraction + (c.topFraction - c.bottomFraction) * i / (c.points - 1));
            // Both chambers together for the two-gauge sensor, so that one
            // run gives both gauges' lines; a vacuum gauge's pressure goes
            // to the minus chamber while both references read it.
            double pPlus = p, pMinus = twoGauge ? p : 0.0;
            if (c.vacuum)
                dev.setBench(0.0, p, c.temps[t]);
            else
                dev.setBench(pPlus, pMinus, c.temps[t]);
            if (c.vacuum)
                pMinus = p;
            ChannelMean mean;
            for (int n = 0; n < AnswersPerPoint; ++n) {
                const Command3Answer a = Command3Answer::decode(transact(dev, 3));
                const float values[4] = {a.variable(1), a.variable(2), a.variable(3), a.variable(4)};
                RunningMean::foldInto(mean, values);
            }
            files[t] += CalibrationFiles::pointLine(mean, pPlus, pMinus);
        }
    }
}

// What the calculation does with the files and the device's answer: the
// steps of the calibration tab, without the widgets.
struct CalcRun
{
    bool ok = false;
    bool confirmAsked = false;
    bool mismatchAsked = false;   // the device's sensor type and the boxes disagree
    double expectedAtPmax = 0;    // error to expect at Pmax told for a low top point
    QString message;
    CalibrationCoefficients values;
    double fitShown = 0;
};

QString lastRed(const CalcMessages &messages)
{
    for (int i = messages.size() - 1; i >= 0; --i)
        if (messages[i].kind == CalcMessage::Failure)
            return messages[i].text.trimmed();
    return QString();
}

CalcRun calculate(const QString &dir, VirtualDevice &dev, const Case &c)
{
    CalcRun run;
    LsqCalibration calc;
    if (!calc.findFiles(dir).found) {
        run.message = QStringLiteral("files not found");
        return run;
    }
    const CalcMessages read = calc.openStaticFiles(c.vacuum);
    if (!calc.filesUsable()) {
        // The window stops here: nothing is sent to the device.
        run.message = lastRed(read);
        return run;
    }
    const Kind boxes = c.boxesAs >= 0 ? Kind(c.boxesAs) : c.kind;
    const bool capacitor = boxes == Kind::CapacitiveNear || boxes == Kind::CapacitiveFar;
    const bool tenzo1 = boxes == Kind::SingleGauge;
    // The window's reads: Pmax, the serial number, the sensor type.
    uint32_t serial = 0;
    calc.setSerial(decodeSerial(readRegisters(dev, RegisterMap::SerialNumber, 4), &serial), serial);
    calc.setDeviceSensor(decodeDeviceSensorType(readRegisters(dev, RegisterMap::MeasureUnit, kSensorTypeReadBytes)));
    run.mismatchAsked = !sensorMismatchQuestion(calc.deviceSensor(), chooseSensorModel(capacitor, tenzo1)).isEmpty();
    const CalibrationOutcome out = calc.onParameterAnswer(
        readRegisters(dev, RegisterMap::MaxUpperLimit, LsqCalibration::ParameterReadBytes), capacitor, tenzo1);
    if (!out.ok) {
        run.message = lastRed(out.messages);
        return run;
    }
    run.confirmAsked = out.needsConfirmation;
    run.fitShown = out.quality.worst();
    run.expectedAtPmax = out.expectedErrorAtPmax;
    run.message = out.needsConfirmation ? out.confirmationText : lastRed(out.messages);
    run.ok = true;
    run.values = out.values;
    return run;
}

Outcome runCase(const Case &c)
{
    Outcome o;
    QTemporaryDir dir;
    VirtualDevice dev(1);
    SensorModel sensor = SensorModel::make(c.kind, c.seed);
    sensor.setRatedPmaxPa(float(c.rangeKPa * 1000.0));
    if (c.differenceZeroHz > 0)
        sensor.setDifferenceZeroHz(c.differenceZeroHz);
    if (c.referenceHz > 0)
        sensor.setReferenceHz(c.referenceHz);
    dev.setSensor(sensor);
    // The transmitter says which cell it has, as a real one does.
    dev.setU16(VirtualDevice::RegSensorCode, sim::sensorCodeWord(c.kind));

    QByteArray files[3];
    recordPointFiles(dev, c, files);
    if (c.edit)
        c.edit(files);
    const CalibrationTemperature temps[3] = {CalibrationTemperature::Low, CalibrationTemperature::Middle,
                                             CalibrationTemperature::High};
    for (int t = 0; t < 3; ++t) {
        QFile f(dir.filePath(QStringLiteral("dev") + CalibrationFiles::pointSuffix(temps[t])));
        if (!f.open(QIODevice::WriteOnly) || f.write(files[t]) != files[t].size()) {
            o.refused = true;
            o.message = QStringLiteral("bench: cannot write the point files");
            return o;
        }
    }

    const CalcRun run = calculate(dir.path(), dev, c);
    o.confirmAsked = run.confirmAsked;
    o.mismatchAsked = run.mismatchAsked;
    o.expectedAtPmax = run.expectedAtPmax;
    o.fitShown = run.fitShown;
    if (!run.ok) {
        o.refused = true;
        o.message = run.message;
        return o;
    }
    o.message = run.message;
    download(dev, run.values);
    const double *calTemps = NominalTemperatures;
    o.atCal = worstError(dev, calTemps, 3);
    o.between = worstError(dev, BetweenTemperatures, 2);
    return o;
}

const char *shortName(Kind k)
{
    switch (k) {
    case Kind::TwoGauge: return "two-gauge";
    case Kind::SingleGauge: return "single-gauge";
    case Kind::CapacitiveNear: return "cap-near";
    case Kind::CapacitiveFar: return "cap-far";
    }
    return "?";
}

// ------------------------------------------------------------------ matrix

struct Cell
{
    double atCal = 0, between = 0, fitShown = 0, expectedAtPmax = 0;
    int refused = 0, asked = 0, mismatch = 0;
    int hidden = 0;   // runs off target at the calibration temperatures while the residual shown is not
    QString why;
};

Cell runSeeds(Case c, int seeds)
{
    Cell cell;
    for (int s = 1; s <= seeds; ++s) {
        c.seed = uint32_t(s);
        const Outcome o = runCase(c);
        if (o.refused) {
            ++cell.refused;
            cell.why = o.message;
            continue;
        }
        cell.asked += o.confirmAsked;
        cell.mismatch += o.mismatchAsked;
        cell.hidden += o.atCal > TargetAtCal && o.fitShown <= kFitTargetPercent;
        cell.fitShown = std::max(cell.fitShown, o.fitShown);
        cell.expectedAtPmax = std::max(cell.expectedAtPmax, o.expectedAtPmax);
        cell.atCal = std::max(cell.atCal, o.atCal);
        cell.between = std::max(cell.between, o.between);
    }
    return cell;
}

QString cellText(const Cell &c, int seeds)
{
    if (c.refused == seeds)
        return QStringLiteral("refused");
    QString t = QString::asprintf("%.3f/%.3f", c.atCal, c.between);
    if (c.refused)
        t += QStringLiteral(" r%1").arg(c.refused);
    if (c.asked)
        t += QStringLiteral(" ?%1").arg(c.asked);
    return t;
}

int matrix(int seeds)
{
    std::printf("\nThe matrix: worst read-back error at the calibration temperatures / between them, %% of Pmax,\n"
                "worst of %d seeds (rN: refused for N seeds, ?N: confirmation asked for N seeds).\n",
                seeds);
    std::printf("%-13s %6s |", "sensor", "points");
    for (double r : MatrixRangesKPa)
        std::printf(" %15s", qPrintable(QStringLiteral("%1 kPa").arg(r)));
    std::printf("\n");
    int missed = 0;
    double worstFit = 0;
    for (Kind k : AllKinds) {
        for (int n : MatrixPointCounts) {
            std::printf("%-13s %6d |", shortName(k), n);
            for (double r : MatrixRangesKPa) {
                Case c;
                c.kind = k;
                c.rangeKPa = r;
                c.points = n;
                const Cell cell = runSeeds(c, seeds);
                const bool ok = cell.refused == 0 && cell.asked == 0 && cell.hidden == 0
                                && cell.atCal <= TargetAtCal && cell.between <= TargetBetween;
                worstFit = std::max(worstFit, cell.fitShown);
                missed += !ok;
                std::printf(" %14s%s", qPrintable(cellText(cell, seeds)), ok ? " " : "!");
            }
            std::printf("\n");
        }
    }
    std::printf("Targets <= %.2f / <= %.2f %% of Pmax: %s (cells marked ! miss them)\n", TargetAtCal,
                TargetBetween, missed ? "MISSED" : "met in every cell");
    std::printf("Largest fit residual the calibration pane showed over the matrix: %.3f %% of Pmax\n", worstFit);
    return missed;
}

// ------------------------------------------------------------------ cases

// Files as they come from the polling tab, changed the way a real run or an
// editor changes them.
void replaceLine(QByteArray &file, int line, const QByteArray &with)
{
    QList<QByteArray> lines = file.split('\n');
    if (line < lines.size())
        lines[line] = with;
    file = lines.join('\n');
}

void insertLine(QByteArray &file, int line, const QByteArray &text)
{
    QList<QByteArray> lines = file.split('\n');
    lines.insert(std::min(line, int(lines.size())), text);
    file = lines.join('\n');
}

struct Special
{
    // Shown: a limit the fit's residual must show; Confirmed: a residual
    // beyond 1 % that is written only on the operator's word.
    // Exposed: a wrong model: the sensor-type question asked, and the fit
    // shown not green and within a fifth of what the device reads back.
    enum Expect { Accurate, Refused, Shown, Confirmed, Exposed };
    const char *name;
    Expect expect;
    Case c;
};

std::vector<Special> specialCases()
{
    std::vector<Special> list;
    auto add = [&](const char *name, bool refuse, Case c) {
        list.push_back({name, refuse ? Special::Refused : Special::Accurate, c});
    };

    Case c;
    c.kind = Kind::SingleGauge;
    c.rangeKPa = 0.63;
    c.points = 5;
    add("Pmax 0.63 kPa, single-gauge", false, c);

    c = Case();
    c.kind = Kind::TwoGauge;
    c.rangeKPa = 6.3;
    c.points = 11;
    add("Pmax 6.3 kPa, 11 points, two-gauge", false, c);

    for (Kind k : {Kind::TwoGauge, Kind::SingleGauge, Kind::CapacitiveNear}) {
        c = Case();
        c.kind = k;
        c.topFraction = 0.9;
        add(k == Kind::TwoGauge ? "top point at 90 % of Pmax, two-gauge"
            : k == Kind::SingleGauge ? "top point at 90 % of Pmax, single-gauge"
                                     : "top point at 90 % of Pmax, cap-near", false, c);
    }
    c = Case();
    c.kind = Kind::CapacitiveNear;
    c.topFraction = 1.1;
    add("top point at 110 % of Pmax, cap-near", false, c);
    // Below 90 % of Pmax: calculated, the operator told the error to
    // expect at Pmax and asked.
    c.topFraction = 0.8;
    list.push_back({"top point at 80 % of Pmax, cap-near", Special::Confirmed, c});
    c.kind = Kind::SingleGauge;
    c.topFraction = 0.5;
    list.push_back({"top point at 50 % of Pmax, single-gauge", Special::Confirmed, c});
    c.topFraction = 1000;
    add("pressures recorded in Pa (top 1000 x Pmax)", true, c);

    c = Case();
    c.kind = Kind::SingleGauge;
    c.bottomFraction = 0.05;
    list.push_back({"lowest point at 5 % of Pmax (no zero point)", Special::Confirmed, c});

    c = Case();
    c.kind = Kind::CapacitiveFar;
    c.differenceZeroHz = 80000;
    c.referenceHz = 10000;
    add("capacitive, f1-f2 offset 80 kHz, 5 points", false, c);
    c.points = 11;
    add("capacitive, f1-f2 offset 80 kHz, 11 points", false, c);
    // f1 above 100 kHz: the point file's five digits leave 10 Hz, 0.125 %
    // of the span; no fit can do better, the residual has to say so.
    c.referenceHz = 21000;
    list.push_back({"capacitive, 80 kHz offset, f1 over 100 kHz", Special::Shown, c});

    c = Case();
    c.kind = Kind::SingleGauge;
    c.edit = [](QByteArray f[3]) {
        for (int t = 0; t < 3; ++t)
            f[t].replace('.', ',');
    };
    add("decimal commas in every file", false, c);

    c = Case();
    c.kind = Kind::TwoGauge;
    c.edit = [](QByteArray f[3]) {
        for (int t = 0; t < 3; ++t)
            f[t].replace("\n", "\r\n");
        f[1].append("\r\n\r\n");
    };
    add("CR LF line ends and blank lines", false, c);

    // What cannot give a right result.
    for (Kind k : {Kind::TwoGauge, Kind::CapacitiveNear}) {
        c = Case();
        c.kind = k;
        c.temps[0] = c.temps[1] = c.temps[2] = 23.0;
        add(k == Kind::TwoGauge ? "three files at one temperature, two-gauge"
                                : "three files at one temperature, cap-near", true, c);
    }
    c = Case();
    c.kind = Kind::SingleGauge;
    c.edit = [](QByteArray f[3]) { f[0] = f[2] = f[1]; };
    add("identical files, single-gauge", true, c);
    c.kind = Kind::TwoGauge;
    add("identical files, two-gauge", true, c);

    c = Case();
    c.kind = Kind::SingleGauge;
    c.temps[0] = 23.0;
    add("Tmin file recorded at Tmid, single-gauge", true, c);
    c = Case();
    c.kind = Kind::CapacitiveNear;
    c.temps[0] = 80.0;
    add("Tmin and Tmax at one temperature, cap-near", true, c);
    c.kind = Kind::TwoGauge;
    add("Tmin and Tmax at one temperature, two-gauge", true, c);

    c = Case();
    c.kind = Kind::SingleGauge;
    c.edit = [](QByteArray f[3]) { insertLine(f[0], 0, "V1\tV2\tV3\tV4\tP+\tP-"); };
    add("header line in the Tmin file", true, c);
    c.edit = [](QByteArray f[3]) { insertLine(f[1], 2, "garbage"); };
    add("garbage line in the Tmid file", true, c);
    c.edit = [](QByteArray f[3]) {
        QList<QByteArray> lines = f[2].split('\n');
        QList<QByteArray> fields = lines[4].split('\t');
        fields[0] += "abc";
        lines[4] = fields.join('\t');
        f[2] = lines.join('\n');
    };
    add("a field \"12abc\" in the Tmax file", true, c);
    c.edit = [](QByteArray f[3]) { replaceLine(f[1], 1, "nan\tnan\t0\tnan\t2.5e+01\t0"); };
    add("\"nan\" fields in the Tmid file", true, c);
    c.edit = [](QByteArray f[3]) { insertLine(f[0], 3, QByteArray("\x01\xff\x00\x7f\xfe\x10", 6)); };
    add("binary bytes in the Tmin file", true, c);
    c.edit = [](QByteArray f[3]) {
        QList<QByteArray> lines = f[1].split('\n');
        lines[2] = lines[2].left(lines[2].lastIndexOf('\t'));
        f[1] = lines.join('\n');
    };
    add("a line of five fields in the Tmid file", true, c);

    c = Case();
    c.kind = Kind::TwoGauge;
    c.vacuum = true;
    add("two-gauge, vacuum gauge on the minus chamber", true, c);

    // The natural two-gauge run: P+/P- 0/0, 25/0, 50/0, 100/0, 0/50, 50/50
    // at Tmid, the same without 25/0 at Tmin and Tmax.
    for (double range : {100.0, 6.3}) {
        c = Case();
        c.kind = Kind::TwoGauge;
        c.rangeKPa = range;
        c.tmidPoints = {{0, 0}, {0.25, 0}, {0.5, 0}, {1, 0}, {0, 0.5}, {0.5, 0.5}};
        c.otherPoints = {{0, 0}, {0.5, 0}, {1, 0}, {0, 0.5}, {0.5, 0.5}};
        add(range == 100 ? "natural two-gauge run, differential points"
                         : "natural two-gauge run, differential points, 6.3 kPa", false, c);
    }
    // A two-gauge transmitter calculated with "1-тензо" ticked: the device's
    // sensor type makes the window ask, and the fit shown is what the
    // transmitter will read, never green.
    c = Case();
    c.kind = Kind::TwoGauge;
    c.boxesAs = int(Kind::SingleGauge);
    c.tmidPoints = c.otherPoints = {{0, 0}, {0.25, 0}, {0.5, 0}, {0.75, 0}, {1, 0}};
    list.push_back({"wrong model: two-gauge as 1-тензо, P+ only", Special::Exposed, c});
    c.tmidPoints.clear();
    c.otherPoints.clear();
    list.push_back({"wrong model: two-gauge as 1-тензо, both chambers", Special::Exposed, c});
    c.kind = Kind::CapacitiveNear;
    c.boxesAs = int(Kind::SingleGauge);
    list.push_back({"wrong model: cap-near calculated as 1-тензо", Special::Exposed, c});
    return list;
}

int cases(int seeds)
{
    std::printf("\nCases that must calculate right, be refused, or ask before they are written (worst of %d "
                "seeds):\n", seeds);
    int wrong = 0;
    for (const Special &s : specialCases()) {
        Cell cell = runSeeds(s.c, seeds);
        QString verdict;
        bool good;
        if (s.expect == Special::Exposed) {
            good = cell.refused == 0 && cell.mismatch == seeds && cell.fitShown > kFitTargetPercent
                   && cell.hidden == 0 && std::fabs(cell.fitShown - cell.atCal) <= 0.2 * cell.atCal;
            verdict = QStringLiteral("sensor type asked for %1 of %2 seeds, fit shown %3 %, read back %4 %, "
                                     "confirmation asked %5")
                          .arg(cell.mismatch).arg(seeds).arg(cell.fitShown, 0, 'f', 3).arg(cell.atCal, 0, 'f', 3)
                          .arg(cell.asked);
        } else if (s.expect == Special::Confirmed) {
            good = cell.refused == 0 && cell.asked == seeds;
            verdict = QStringLiteral("confirmation asked for %1 of %2 seeds, fit shown %3 %, read back %4 %")
                          .arg(cell.asked).arg(seeds).arg(cell.fitShown, 0, 'f', 3).arg(cell.atCal, 0, 'f', 3);
            if (cell.expectedAtPmax > 0)
                verdict += QStringLiteral(", error told for Pmax %1 %").arg(cell.expectedAtPmax, 0, 'f', 3);
        } else if (s.expect == Special::Refused) {
            good = cell.refused == seeds;
            verdict = good ? QStringLiteral("refused: ") + cell.why
                           : QStringLiteral("ACCEPTED for %1 of %2 seeds: %3 % at cal, %4 % between%5")
                                 .arg(seeds - cell.refused).arg(seeds)
                                 .arg(cell.atCal, 0, 'f', 3).arg(cell.between, 0, 'f', 3)
                                 .arg(cell.asked ? QStringLiteral(" (confirmation asked %1)").arg(cell.asked)
                                                 : QString());
        } else {
            const bool accurate = cell.atCal <= TargetAtCal && cell.between <= TargetBetween;
            good = cell.refused == 0 && cell.asked == 0 && cell.hidden == 0
                   && (accurate || (s.expect == Special::Shown && cell.fitShown > kFitTargetPercent));
            verdict = cell.refused == seeds
                          ? QStringLiteral("REFUSED: ") + cell.why
                          : QStringLiteral("%1 % at cal, %2 % between, fit shown %5 %%3%4")
                                .arg(cell.atCal, 0, 'f', 3).arg(cell.between, 0, 'f', 3)
                                .arg(cell.refused ? QStringLiteral(", refused for %1 seeds").arg(cell.refused)
                                                  : QString())
                                .arg(cell.asked ? QStringLiteral(", confirmation asked %1").arg(cell.asked)
                                                : QString())
                                .arg(cell.fitShown, 0, 'f', 3);
        }
        wrong += !good;
        std::printf("  %-48s %s %s\n", s.name, good ? "ok    " : "WRONG ", qPrintable(verdict));
    }
    return wrong;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seeds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // The calculation talks to the developer on both streams; keep the
    // tables readable.
    std::ostringstream sink;
    std::streambuf *oldOut = std::cout.rdbuf(sink.rdbuf());
    std::streambuf *oldErr = std::cerr.rdbuf(sink.rdbuf());

    QElapsedTimer clock;
    clock.start();
    std::printf("Read-back error in %% of Pmax after a calibration at %g, %g, %g degC, read back at those\n"
                "and at %g and %g degC over 0..Pmax in %d steps; %d answers averaged per point.\n"
                "Targets: <= %.2f %% at the calibration temperatures, <= %.2f %% between.\n",
                NominalTemperatures[0], NominalTemperatures[1], NominalTemperatures[2],
                BetweenTemperatures[0], BetweenTemperatures[1], ReadBackSteps, AnswersPerPoint,
                TargetAtCal, TargetBetween);
    const int missed = matrix(seeds);
    const int wrong = cases(seeds);
    std::printf("\n%s; %.1f s\n",
                missed || wrong ? qPrintable(QStringLiteral("%1 matrix cells missed, %2 cases wrong")
                                                 .arg(missed).arg(wrong))
                                : "every target met, every bad case refused",
                clock.elapsed() / 1000.0);

    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    return missed || wrong ? 1 : 0;
}
