#include "guided/guidedplausibility.h"

#include "calc/scaledpolynomial.h"

#include <algorithm>
#include <cmath>

namespace GuidedPlausibility {

namespace {

// The signal and the pressure of one chamber, as the calculation pairs
// them: each gauge with its own chamber for a two-gauge unit, the
// difference signal with P+ for the others.
struct Channel
{
    QString chamber;
    double (*signal)(const PointRecord &);
    double (*pressure)(const PointRecord &);
};

double gauge1(const PointRecord &r) { return r.v1; }
double gauge2(const PointRecord &r) { return r.v2; }
double difference(const PointRecord &r) { return r.v1 - r.v2; }
double plus(const PointRecord &r) { return r.pPlus; }
double minus(const PointRecord &r) { return r.pMinus; }

QVector<Channel> channels(SensorModel model)
{
    if (model == SensorModel::TwoGauge)
        return {{QStringLiteral("P+"), gauge1, plus}, {QStringLiteral("P-"), gauge2, minus}};
    return {{QString(), difference, plus}};
}

int distinct(const QVector<double> &v)
{
    QVector<double> s = v;
    std::sort(s.begin(), s.end());
    return int(std::unique(s.begin(), s.end()) - s.begin());
}

struct Series
{
    QVector<double> s, p;
};

Series series(const Channel &c, const QVector<PointRecord> &records)
{
    Series out;
    for (const PointRecord &r : records) {
        out.s << c.signal(r);
        out.p << c.pressure(r);
    }
    return out;
}

// The pressure a signal means on the curve of a whole earlier temperature:
// a line for the gauges, up to the calculation's cubic for the difference
// cells.
bool earlierCurve(const Channel &c, SensorModel model, const QVector<QVector<PointRecord>> &before,
                  ScaledPolynomial *curve)
{
    for (int t = before.size() - 1; t >= 0; --t) {
        const Series x = series(c, before[t]);
        const int n = std::min(distinct(x.p), distinct(x.s));
        if (n < 2)
            continue;
        const int degree = model == SensorModel::TwoGauge ? 1 : std::min(3, n - 1);
        if (fitScaled(x.s, x.p, degree, curve))
            return true;
    }
    return false;
}

} // namespace

QVector<Check> judge(SensorModel model, const QVector<PointRecord> &here, const QVector<QVector<PointRecord>> &before,
                     const PointRecord &candidate, double spanKPa, double sharePercent)
{
    QVector<Check> out;
    for (const Channel &c : channels(model)) {
        Check k;
        k.chamber = c.chamber;
        k.askedKPa = c.pressure(candidate);
        const double s = c.signal(candidate);
        const Series x = series(c, here);
        const int pressures = distinct(x.p);
        ScaledPolynomial curve;
        double allowance = 0;   // kPa beyond the share: what the estimate cannot know
        if (earlierCurve(c, model, before, &curve) && !x.s.isEmpty()) {
            // The earlier temperature's shape, moved (one point here) or
            // moved and scaled (two pressures or more) onto this one's.
            ScaledPolynomial onto;
            QVector<double> f;
            for (double v : x.s)
                f << curve(v);
            if (pressures >= 2 && fitScaled(f, x.p, 1, &onto))
                k.impliedKPa = onto(curve(s));
            else {
                k.impliedKPa = x.p.last() + curve(s) - f.last();
                allowance = kGainDrift * std::fabs(k.askedKPa - x.p.last());
            }
            k.judged = true;
        } else if (pressures >= 2 && distinct(x.s) >= 2) {
            // The first temperature: a line through the points so far.
            ScaledPolynomial line;
            k.judged = fitScaled(x.s, x.p, 1, &line);
            k.impliedKPa = line(s);
        }
        k.fits = !k.judged || std::fabs(k.impliedKPa - k.askedKPa) <= sharePercent / 100.0 * spanKPa + allowance;
        out << k;
    }
    return out;
}

bool wrongMinusChamber(double readKPa, double askedKPa, double spanKPa, double sharePercent)
{
    const double tolerance = sharePercent / 100.0 * spanKPa;
    if (std::fabs(readKPa - askedKPa) <= tolerance || std::fabs(askedKPa) <= 2 * tolerance)
        return false;
    return std::fabs(readKPa) <= tolerance || std::fabs(readKPa + askedKPa) <= tolerance;
}

QString roughKPa(double kPa, double spanKPa)
{
    const double step = std::pow(10.0, std::floor(std::log10(std::max(spanKPa, 1e-9) / 100.0)));
    double v = std::round(kPa / step) * step;
    if (v == 0)
        v = 0;   // no "−0"
    const int decimals = std::max(0, -int(std::floor(std::log10(step))));
    return QString::number(v, 'f', decimals) + QStringLiteral(" кПа");
}

QString heldText(const QString &address, const Check &c, double spanKPa)
{
    if (c.chamber.isEmpty())
        return QStringLiteral("Прибор %1: показания соответствуют ≈%2, задано %3 — проверьте давление")
            .arg(address, roughKPa(c.impliedKPa, spanKPa), roughKPa(c.askedKPa, spanKPa));
    return QStringLiteral("Прибор %1: показания %2 соответствуют ≈%3, задано %4 — проверьте давление в камере %2")
        .arg(address, c.chamber, roughKPa(c.impliedKPa, spanKPa), roughKPa(c.askedKPa, spanKPa));
}

QString heldVerifyText(const QString &address, double readKPa, double askedKPa, double spanKPa)
{
    return QStringLiteral("Прибор %1: показывает ≈%2, задано %3 — проверьте давление в камере P-")
        .arg(address, roughKPa(readKPa, spanKPa), roughKPa(askedKPa, spanKPa));
}

} // namespace GuidedPlausibility
