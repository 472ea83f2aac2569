#include "history/historycalc.h"

#include "calc/calibrationreport.h"
#include "calc/devicesensor.h"
#include "calc/fitquality.h"

#include <QDir>
#include <cmath>

namespace {
const char *const TemperatureNames[3] = {"Tmin", "Tmid", "Tmax"};
}


CalculationEvent historyCalculation(const CalibrationReport &r, const QString &reportPath)
{
    CalculationEvent e;
    e.context.when = r.when.toUTC();
    e.device.serial = r.haveSerial ? QString::number(r.serial) : QString();
    e.device.model = r.deviceModel;
    e.fitModel = sensorModelText(r.model);
    // The sensor the device says it has; the model used when it says none.
    e.sensorType = r.deviceSensor.read && r.deviceSensor.stated ? deviceSensorText(r.deviceSensor) : e.fitModel;
    e.pmaxPa = r.pmax;
    const CalibrationCoefficients &k = r.written;
    for (const auto &v : k.named())
        e.coefficients.append({QString::fromLatin1(v.first), double(v.second)});
    // The zero the device starts from: the first gauge's zero signal in the
    // two-gauge model, the polynomial's constant term otherwise.
    e.zero = r.model == SensorModel::TwoGauge ? double(k.U10) : double(k.c[2]);

    for (size_t t = 0; t < 3; ++t)
        e.fitPercent[t] = r.quality.worstPercent[t];
    e.worstPercent = r.quality.worst();
    double worst = -1;
    for (size_t t = 0; t < 3; ++t) {
        const WorstPoint &w = r.quality.worstPoints[t];
        const double v = std::isfinite(w.point.residualPercent) ? w.point.residualPercent : HUGE_VAL;
        if (w.any && v > worst) {
            worst = v;
            e.worstPoint = QStringLiteral("%1: %2").arg(QLatin1String(TemperatureNames[t]), worstPointText(w));
        }
    }
    e.withinTarget = e.worstPercent <= kFitTargetPercent;
    for (size_t t = 0; t < 3; ++t) {
        const QString name = r.files.files[t].fileName;
        if (!name.isEmpty())
            e.files.append(historyFile(QLatin1String(TemperatureNames[t]), QDir(r.dir).filePath(name)));
    }
    if (!reportPath.isEmpty())
        e.files.append(historyFile(QStringLiteral("Отчет"), reportPath));
    return e;
}
