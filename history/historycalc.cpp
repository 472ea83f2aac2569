#include "history/historycalc.h"

#include "calc/calibrationreport.h"

#include <QDir>
#include <cmath>

namespace {
const char *const TemperatureNames[3] = {"Tmin", "Tmid", "Tmax"};

QString sensorText(SensorModel m)
{
    switch (m) {
    case SensorModel::Capacitive: return QStringLiteral("емкостной датчик");
    case SensorModel::SingleGauge: return QStringLiteral("один тензодатчик");
    case SensorModel::TwoGauge: break;
    }
    return QStringLiteral("два тензодатчика");
}
}

CalculationEvent historyCalculation(const CalibrationReport &r, const QString &reportPath)
{
    CalculationEvent e;
    e.context.when = r.when.toUTC();
    e.device.serial = r.haveSerial ? QString::number(r.serial) : QString();
    // The report names the model by the sensor it is for; the window may
    // name the sensor more closely.
    e.fitModel = sensorText(r.model);
    e.sensorType = e.fitModel;
    e.pmaxPa = r.pmax;
    const CalibrationCoefficients &k = r.written;
    const std::pair<const char *, float> values[] = {
        {"Uk1h", k.Uk1h}, {"Uk2h", k.Uk2h}, {"U10", k.U10}, {"U20", k.U20},
        {"a42", k.a[0]}, {"a41", k.a[1]}, {"a40", k.a[2]},
        {"b42", k.b[0]}, {"b41", k.b[1]}, {"b40", k.b[2]},
        {"c42", k.c[0]}, {"c41", k.c[1]}, {"c40", k.c[2]}, {"c43", k.c43}};
    for (const auto &v : values)
        e.coefficients.append({QString::fromLatin1(v.first), double(v.second)});
    // The zero the device starts from: the first gauge's zero signal in the
    // two-gauge model, the polynomial's constant term otherwise.
    e.zero = r.model == SensorModel::TwoGauge ? double(k.U10) : double(k.c[2]);

    for (size_t t = 0; t < 3; ++t)
        e.fitPercent[t] = r.quality.worstPercent[t];
    e.worstPercent = r.quality.worst();
    double worst = -1;
    for (const PointResidual &p : r.quality.points) {
        const double v = std::isfinite(p.residualPercent) ? p.residualPercent : HUGE_VAL;
        if (v > worst) {
            worst = v;
            e.worstPoint = QStringLiteral("%1, строка %2, P+ %3 кПа")
                               .arg(QLatin1String(TemperatureNames[p.file]))
                               .arg(p.record.line)
                               .arg(p.record.pPlus, 0, 'g', 7);
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
