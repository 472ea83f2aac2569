#pragma once
// Whether what the bench held agrees with what the run was told it held.
// Nothing in a point line says the pressure was wrong: 40 kPa on the bench
// recorded as 50 bends every coefficient. Before a point is written each
// device's new signals are put through its own curve (its points so far at
// this temperature, shaped by the fit of the temperatures before where
// there is one); a pressure that lands further from the one asked than a
// share of the span holds the point for the operator. At verification the
// calibrated reading itself is compared: a unit reading about 0 (or minus
// the pressure) against X has P- under pressure too.

#include "calc/calibrationtypes.h"
#include "calc/pointfiles.h"

#include <QString>
#include <QVector>

namespace GuidedPlausibility {

// With one point at a new temperature the earlier curve is only moved onto
// it; its gain may have moved with the temperature by this fraction (a
// cell's sensitivity drifts some per cent over the chamber's range), which
// the check allows for over the distance from that point.
constexpr double kGainDrift = 0.1;

// One chamber's verdict (the difference signal's for a one-signal cell).
struct Check
{
    bool judged = false;        // there was a curve to judge by
    bool fits = true;
    QString chamber;            // "P+" or "P-" for a two-gauge unit; empty: the cell's difference
    double askedKPa = 0;        // what the point says the chamber holds
    double impliedKPa = 0;      // what the signals correspond to
};

// The chambers of a new point judged against the records so far at its
// temperature (here) and the complete files of the temperatures before
// (before, the latest last). spanKPa: the device's range the share is of.
QVector<Check> judge(SensorModel model, const QVector<PointRecord> &here, const QVector<QVector<PointRecord>> &before,
                     const PointRecord &candidate, double spanKPa, double sharePercent);

// A verification reading that matches P- loaded as well: about 0 or about
// minus the pressure asked, when that is told apart from the pressure asked.
bool wrongMinusChamber(double readKPa, double askedKPa, double spanKPa, double sharePercent);

// "Прибор 01: показания соответствуют ≈40 кПа, задано 50 кПа — проверьте давление".
QString heldText(const QString &address, const Check &c, double spanKPa);
QString heldVerifyText(const QString &address, double readKPa, double askedKPa, double spanKPa);
// A pressure as said beside "≈": rounded to a thousandth of the span.
QString roughKPa(double kPa, double spanKPa);

} // namespace GuidedPlausibility
