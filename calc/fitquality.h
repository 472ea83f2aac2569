#pragma once
// How well a calculated calibration fits the points it was calculated from,
// judged the way that matters: the transmitter's own compensation evaluated
// with the new coefficients, exactly as they will reach its registers, at
// every recorded point, against the reference pressure of that point.
//
// The device computes
//
//   P = (D + A.s(U4)) * B.s(U4)                                     [Pa]
//
//   two-gauge:      D = K1 (U1 - U10) - K2 (U2 - U20),
//                   K1 = Pmax / (Uk1h - U10), K2 = Pmax / (Uk2h - U20)
//   single-gauge,
//   capacitive:     D = Q(U1 - U2) = c40 + c41 x + c42 x^2 + c43 x^3
//
// with s(U) = (U^2, U, 1), for the capacitive sensor (U^2/1e6, U/1e3, 1),
// the signals the reported values times 1000 and Pmax its own register.

#include "calc/calcmessage.h"
#include "calc/calibrationtypes.h"
#include "calc/pointfiles.h"

#include <QString>
#include <QVector>
#include <array>

// What a good calibration reaches at its points, and beyond what its
// result is written to a device only on the operator's word; % of Pmax.
constexpr double kFitTargetPercent = 0.05;
constexpr double kFitConfirmPercent = 1.0;

// One value as the parameters dialog shows it (a 32-bit float in six
// significant digits) and hands it on to the device; and all of them.
double valueAsWritten(double v);
CalibrationCoefficients coefficientsAsWritten(const CalibrationCoefficients &v);

// The transmitter's pressure in Pa from signals u1, u2, u4 (microvolts,
// hertz or millidegrees); NaN when the coefficients give no number.
double devicePressurePa(SensorModel model, const CalibrationCoefficients &k, float pmax, double u1,
                        double u2, double u4);

struct PointResidual
{
    int file = FileTmid;         // CalibrationFileIndex
    PointRecord record;
    double expectedPa = 0;       // what the transmitter should read there
    double readingPa = 0;        // what it reads with the new coefficients
    double residualPercent = 0;  // |reading - expected| in % of Pmax; infinite for no number
};

// The row of one file the new coefficients fit worst. It stands apart when
// its residual is far above the rest of its file (a differential point
// averaged into a zero, a pressure typed wrong): worth a look before the
// result is written.
struct WorstPoint
{
    bool any = false;            // the file has rows
    PointResidual point;
    double restPercent = 0;      // median residual of the file's other rows
    bool standsApart = false;
};

// A worst row stands apart when its residual exceeds this many times the
// median of its file and the median by more than the target.
constexpr double kStandsApartRatio = 4.0;

struct FitQuality
{
    std::array<double, 3> worstPercent = {0, 0, 0};   // by CalibrationFileIndex
    std::array<WorstPoint, 3> worstPoints;            // by CalibrationFileIndex
    QVector<PointResidual> points;

    double worst() const;
    bool allFinite() const;
    bool needsConfirmation() const { return worst() > kFitConfirmPercent; }
};

// Every point of the three files with the coefficients as written.
//
// For the polynomial models a point reads its own signals and should give
// its P+, the pressure the polynomial is fitted to. The two-gauge model is
// calibrated with both chambers under the same pressure, where the device
// reads only the small difference of its gauges; its points are judged as
// the calculation poses them, the plus gauge's signal of the point with the
// minus gauge's signal of the file's lowest pressure, which should read the
// point's pressure (P+, or P- for a vacuum gauge).
FitQuality evaluateFit(SensorModel model, const CalibrationCoefficients &written, float pmax,
                       const PointFileSet &files, bool vakum);

// Residual as shown: "0.012", or "не число".
QString residualText(double percent);

// "строка 3 (P+ = 100 кПа, P- = 0 кПа): 0.012 %", and the mark when the
// row stands apart.
QString worstPointText(const WorstPoint &worst);

// The pane's lines: one heading for the device, then one line per
// temperature coloured against kFitTargetPercent (red beyond
// kFitConfirmPercent), naming its worst row.
CalcMessages fitQualityMessages(const FitQuality &quality, const PointFileSet &files,
                                const QString &deviceText);
