#pragma once
// The guided run's one door into the coefficient calculation: the same
// search for point files, the same checks, models and fit judgement that
// "Рассчитать коэффициенты(МНК)" runs, for one device directory at a time,
// and the five register writes the parameters dialog's download sends.

#include "calc/calibrationreport.h"
#include "calc/calibrationtypes.h"
#include "guided/guidedplan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

struct GuidedCalcResult
{
    bool ok = false;                    // coefficients to write
    QString refusal;                    // why not, when not ok
    bool needsConfirmation = false;     // worst residual beyond the gate
    QString question;
    QString declined;                   // the refusal when the operator says no
    CalibrationCoefficients written;    // as the dialog hands them to the device
    std::array<double, 3> worstPercent = {0, 0, 0};   // by Tmin, Tmid, Tmax
    double worst = 0;
    QString reportPath;                 // <base>_report.txt beside the point files
    CalibrationReport report;           // what the report file says, as one record
    QByteArray reportText;
    QStringList warnings;
};

namespace GuidedCalc {

// The read the calculation needs from the device: Pmax alone, as the
// calibration tab reads it (command-51 data).
QByteArray parameterRequest();

// Calculates from the point files in dir with the device's Pmax answer, as
// the window does after "Да"; the serial number the plan read goes into
// the device's report.
GuidedCalcResult calculate(const QString &dir, const GuidedDevice &device, const QByteArray &parameterAnswer);

bool writeReport(const GuidedCalcResult &result, QString *error);

} // namespace GuidedCalc
