#include "calc/fitquality.h"

#include "calc/parametervector.h"

#include <algorithm>
#include <cmath>
#include <limits>

double valueAsWritten(double v);

namespace {

float shown(float v)
{
    return float(valueAsWritten(double(v)));
}

std::array<double, 3> temperatureRow(SensorModel model, double u)
{
    if (model == SensorModel::Capacitive)
        return {u * u / 1000000.0, u / 1000.0, 1.0};
    return {u * u, u, 1.0};
}

const char *const TemperatureNames[3] = {"Tmin", "Tmid", "Tmax"};

} // namespace

double valueAsWritten(double v)
{
    return double(ParameterVector::fromText(QString::number(double(float(v)), 'g', 6)));
}

CalibrationCoefficients coefficientsAsWritten(const CalibrationCoefficients &v)
{
    CalibrationCoefficients w = v;
    // With one polynomial the dialog shows the first channel's span and
    // zero for the second as well, and that is what its parameter vector
    // hands on.
    w.Uk1h = shown(v.Uk1h);
    w.U10 = shown(v.U10);
    w.Uk2h = v.polynomial ? w.Uk1h : shown(v.Uk2h);
    w.U20 = v.polynomial ? w.U10 : shown(v.U20);
    for (auto *t : {&w.a, &w.b, &w.c})
        for (float &f : *t)
            f = shown(f);
    w.c43 = shown(v.c43);
    return w;
}

double devicePressurePa(SensorModel model, const CalibrationCoefficients &k, float pmax, double u1,
                        double u2, double u4)
{
    double d;
    if (model == SensorModel::TwoGauge) {
        const double k1 = pmax / (double(k.Uk1h) - k.U10);
        const double k2 = pmax / (double(k.Uk2h) - k.U20);
        d = k1 * (u1 - k.U10) - k2 * (u2 - k.U20);
    } else {
        const double x = u1 - u2;
        d = ((double(k.c43) * x + k.c[0]) * x + k.c[1]) * x + k.c[2];
    }
    const auto s = temperatureRow(model, u4);
    const double as = k.a[0] * s[0] + k.a[1] * s[1] + k.a[2] * s[2];
    const double bs = k.b[0] * s[0] + k.b[1] * s[1] + k.b[2] * s[2];
    const double p = (d + as) * bs;
    return std::isfinite(p) ? p : std::numeric_limits<double>::quiet_NaN();
}

double FitQuality::worst() const
{
    return std::max({worstPercent[0], worstPercent[1], worstPercent[2]});
}

bool FitQuality::allFinite() const
{
    return std::isfinite(worst());
}

FitQuality evaluateFit(SensorModel model, const CalibrationCoefficients &written, float pmax,
                       const PointFileSet &files, bool vakum)
{
    FitQuality q;
    for (int t : {FileTmin, FileTmid, FileTmax}) {
        const PointFileMeans &means = files.means[size_t(t)];
        for (const PointRecord &r : files.files[size_t(t)].records) {
            PointResidual p;
            p.file = t;
            p.record = r;
            if (model == SensorModel::TwoGauge) {
                p.expectedPa = (vakum ? r.pMinus : r.pPlus) * 1000.0;
                p.readingPa = devicePressurePa(model, written, pmax, r.v1 * 1000.0,
                                               double(means.low[1]) * 1000.0, r.v4 * 1000.0);
            } else {
                p.expectedPa = r.pPlus * 1000.0;
                p.readingPa = devicePressurePa(model, written, pmax, r.v1 * 1000.0, r.v2 * 1000.0,
                                               r.v4 * 1000.0);
            }
            const double e = std::fabs(p.readingPa - p.expectedPa) / double(pmax) * 100.0;
            p.residualPercent = std::isfinite(e) ? e : std::numeric_limits<double>::infinity();
            q.worstPercent[size_t(t)] = std::max(q.worstPercent[size_t(t)], p.residualPercent);
            q.points.append(p);
        }
    }
    for (int t : {FileTmin, FileTmid, FileTmax}) {
        WorstPoint &w = q.worstPoints[size_t(t)];
        QVector<double> rest;
        for (const PointResidual &p : q.points) {
            if (p.file != t)
                continue;
            if (!w.any || p.residualPercent > w.point.residualPercent) {
                if (w.any)
                    rest.append(w.point.residualPercent);
                w.point = p;
                w.any = true;
            } else {
                rest.append(p.residualPercent);
            }
        }
        if (rest.size() < 2)
            continue;
        std::sort(rest.begin(), rest.end());
        w.restPercent = rest[rest.size() / 2];
        const double r = w.point.residualPercent;
        w.standsApart = std::isfinite(r) && r > kStandsApartRatio * w.restPercent
                        && r - w.restPercent > kFitTargetPercent;
    }
    return q;
}

QString worstPointText(const WorstPoint &w)
{
    if (!w.any)
        return QString();
    const PointRecord &r = w.point.record;
    QString text = QStringLiteral("строка %1 (P+ = %2 кПа, P- = %3 кПа): %4 %")
                       .arg(r.line)
                       .arg(r.pPlus, 0, 'g', 6)
                       .arg(r.pMinus, 0, 'g', 6)
                       .arg(residualText(w.point.residualPercent));
    if (w.standsApart)
        text += QStringLiteral(" — выделяется среди точек файла (у остальных около %1 %); проверьте эту строку")
                    .arg(residualText(w.restPercent));
    return text;
}

QString residualText(double percent)
{
    if (!std::isfinite(percent))
        return QStringLiteral("не число");
    return QString::number(percent, 'f', percent < 10 ? 3 : 1);
}

CalcMessages fitQualityMessages(const FitQuality &quality, const PointFileSet &files,
                                const QString &deviceText)
{
    CalcMessages out;
    out.append(CalcMessage{CalcMessage::Plain,
                           QStringLiteral("Качество калибровки %1: наибольшая невязка в точках калибровки, "
                                          "% от Pmax (цель %2 %):\n")
                               .arg(deviceText)
                               .arg(kFitTargetPercent)});
    for (int t : {FileTmin, FileTmid, FileTmax}) {
        const double w = quality.worstPercent[size_t(t)];
        const CalcMessage::Kind kind = w <= kFitTargetPercent ? CalcMessage::Success
                                       : w <= kFitConfirmPercent ? CalcMessage::Warning
                                                                 : CalcMessage::Failure;
        QString line = QStringLiteral("  %1 (%2): %3 %")
                           .arg(QString::fromUtf8(TemperatureNames[t]), files.files[size_t(t)].fileName,
                                residualText(w));
        const WorstPoint &worst = quality.worstPoints[size_t(t)];
        if (worst.any)
            line += QStringLiteral("; худшая точка: ") + worstPointText(worst);
        out.append(CalcMessage{kind, line + QLatin1Char('\n')});
    }
    return out;
}
