#include "calc/lsqcalibration.h"

#include "calc/squarematrix.h"
#include "device/registermap.h"
#include "device/valuecodec.h"

#include <QDir>
#include <QRegExp>

#include <algorithm>
#include <cmath>

SensorModel chooseSensorModel(bool capacitor, bool tenzo1)
{
    if (capacitor)
        return SensorModel::Capacitive;
    if (tenzo1)
        return SensorModel::SingleGauge;
    return SensorModel::TwoGauge;
}

namespace {

// Temperature row of the compensation system. The capacitive sensor's
// signal is in hertz of a much larger magnitude, so its row is scaled.
struct TemperatureRow
{
    bool scaled = false;
    std::array<double, 3> operator()(double u) const
    {
        if (scaled)
            return {u * u / 1000000.0, u / 1000.0, 1.0};
        return {u * u, u, 1.0};
    }
};

// M has the rows s(U4nn), s(U4nl), s(U4nh), in that order.
SquareMatrix temperatureMatrix(const TemperatureRow &s, double u4n, double u4l, double u4h)
{
    SquareMatrix m(3);
    const double rows[3] = {u4n, u4l, u4h};
    for (int r = 0; r < 3; ++r) {
        const auto row = s(rows[r]);
        for (int c = 0; c < 3; ++c)
            m[r][c] = row[static_cast<size_t>(c)];
    }
    return m;
}

CalcMessage failure(const QString &text)
{
    return CalcMessage{CalcMessage::Failure, text};
}

} // namespace

// The system's name is Cyrillic text: it goes in as a QString (a Latin-1
// view of its UTF-8 bytes would reach the operator garbled).
QString unsolvedSystemMessage(const QString &what, double backwardError)
{
    return QStringLiteral("Расчет невозможен: %1 не решается с нужной точностью (относительная невязка "
                          "уравнений %2); проверьте файлы калибровки\n")
        .arg(what)
        .arg(backwardError, 0, 'g', 3);
}

namespace {

// z with M z = r, each component kept as a float; false, with the reason,
// when no solve brings the equations to their tolerance.
bool solve3(const SquareMatrix &m, const std::array<double, 3> &r, std::array<float, 3> *z,
            CalcMessages *messages)
{
    const LinearSolve solved = solveLinearSystem(m, Vector(r.begin(), r.end()), 3);
    if (!solved.ok()) {
        messages->append(failure(unsolvedSystemMessage(QStringLiteral("система температурной компенсации"),
                                                 solved.backwardError)));
        return false;
    }
    *z = {static_cast<float>(solved.x[0]), static_cast<float>(solved.x[1]), static_cast<float>(solved.x[2])};
    return true;
}

double rowDot(const std::array<float, 3> &k, const std::array<double, 3> &s)
{
    return k[0] * s[0] + k[1] * s[1] + k[2] * s[2];
}

bool varies(const QVector<double> &values)
{
    for (double v : values)
        if (v != values.front())
            return true;
    return false;
}

// Pearson correlation of y over x; 0 when either does not vary.
double correlation(const QVector<double> &x, const QVector<double> &y)
{
    const int n = std::min(x.size(), y.size());
    if (n < 2)
        return 0;
    double mx = 0, my = 0;
    for (int i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    double sxy = 0, sxx = 0, syy = 0;
    for (int i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    if (sxx <= 0 || syy <= 0)
        return 0;
    return sxy / std::sqrt(sxx * syy);
}

// The first reference voltage of names that is not a number, or empty.
QString firstNonFinite(std::initializer_list<std::pair<const char *, float>> values)
{
    for (const auto &v : values)
        if (!std::isfinite(v.second))
            return QLatin1String(v.first);
    return QString();
}

QString nonFiniteReferenceMessage(const QString &name)
{
    return QStringLiteral("Расчет невозможен: значение %1 не является числом "
                          "(проверьте файлы калибровки)\n").arg(name);
}

void fillReference(CalibrationCoefficients &v, float pmax, const ReferenceVoltages &u)
{
    v.Pmax = pmax;
    v.var1 = u.variable(1);
    v.var2 = u.variable(2);
    v.var4 = u.variable(4);
}

// The pressure the gain rows bring the top reading to at temperature t: the
// pressure recorded there. It equals Pmax when the run went to full scale;
// when it did not, Pmax would put the whole gain off by their ratio.
double topPressure(const ReferenceVoltages &u, int t, float pmax)
{
    const double p = u.highPressurePa[static_cast<size_t>(t)];
    return p > 0 && std::isfinite(p) ? p : double(pmax);
}

} // namespace

// Every file's signals against the pressures they were recorded at: for the
// two-gauge model each gauge against its own chamber, for the polynomial
// models the difference signal against P+, the pressure it is fitted to.
// Empty when they follow; else the red reason.
QString checkSignalsFollowPressure(SensorModel model, const PointFileSet &files)
{
    for (const PointFile &f : files.files) {
        QVector<double> pPlus, pMinus, v1, v2, x;
        for (const PointRecord &r : f.records) {
            pPlus << r.pPlus;
            pMinus << r.pMinus;
            v1 << r.v1;
            v2 << r.v2;
            x << r.v1 - r.v2;
        }
        struct Pair { QString signal, pressure; const QVector<double> &s, &p; };
        const std::vector<Pair> pairs = model == SensorModel::TwoGauge
            ? std::vector<Pair>{{QStringLiteral("U1"), QStringLiteral("P+"), v1, pPlus},
                            {QStringLiteral("U2"), QStringLiteral("P-"), v2, pMinus}}
            : std::vector<Pair>{{QStringLiteral("U1 - U2"), QStringLiteral("P+"), x, pPlus}};
        for (const Pair &pair : pairs) {
            // A chamber whose pressure never changes has nothing to follow;
            // whether the model needs it to is the model's business.
            if (!varies(pair.p))
                continue;
            const double r = correlation(pair.p, pair.s);
            if (std::fabs(r) < kMinimumCorrelation)
                return QStringLiteral("Расчет невозможен: сигнал %1 не следует за давлением %2 в файле %3 "
                                      "(коэффициент корреляции %4); проверьте, на какую камеру подавалось "
                                      "давление и как записаны давления P+ и P-\n")
                    .arg(pair.signal, pair.pressure, f.fileName)
                    .arg(r, 0, 'f', 3);
        }
    }
    return QString();
}

QString recordedPressureProblem(SensorModel model, const QVector<double> &pPlus, const QVector<double> &pMinus)
{
    if (!varies(pPlus))
        return QStringLiteral("давление P+ в файле при нормальной температуре не изменяется");
    QVector<double> distinct = pPlus;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    if (model != SensorModel::TwoGauge && distinct.size() < kPolynomialMinimumPoints)
        return QStringLiteral("для полинома давления третьей степени нужны не менее четырех точек с разным "
                              "давлением, а их %1").arg(distinct.size());
    if (model == SensorModel::TwoGauge && !varies(pMinus))
        return QStringLiteral("для модели с двумя тензодатчиками давление P- должно изменяться "
                              "(подавайте давление на оба входа одновременно)");
    return QString();
}

bool coefficientsFinite(const CalibrationCoefficients &v)
{
    const float scalars[] = {v.Pmax, v.Uk1h, v.Uk2h, v.U10, v.U20, v.c43};
    for (float f : scalars)
        if (!std::isfinite(f))
            return false;
    for (const auto *t : {&v.a, &v.b, &v.c})
        for (float f : *t)
            if (!std::isfinite(f))
                return false;
    return true;
}

const QString &notANumberMessage()
{
    static const QString text = QStringLiteral(
        "Расчет невозможен: результат расчета не является числом (проверьте файлы калибровки)\n");
    return text;
}

float bisectPressureRoot(float c40, float c41, float c42, float c43, float pmax)
{
    auto f = [&](double t) { return c40 + c41 * t + c42 * t * t + c43 * t * t * t - pmax; };
    double lo = 0.0, hi = 100000.0;
    for (int round = 0; round < 100; ++round) {
        const double mid = (lo + hi) / 2;
        if (f(mid) * f(lo) < 0)
            hi = mid;
        else if (f(mid) * f(hi) < 0)
            lo = mid;
        if (hi - lo < 0.5)
            break;
    }
    return static_cast<float>((lo + hi) / 2 + 1);
}

QString checkTemperatureSystem(const PointFileSet &files)
{
    const ReferenceVoltages &u = files.u;
    const double t[3] = {u.U4nl, u.U4nn, u.U4nh};   // by CalibrationFileIndex
    const auto name = [&files](int i) { return files.files[static_cast<size_t>(i)].fileName; };
    const auto shown = [](double v) { return QString::number(v / 1000.0, 'g', 7); };
    const double spread = std::max({t[0], t[1], t[2]}) - std::min({t[0], t[1], t[2]});
    // The temperature signal's own noise: its scatter within a file, and at
    // least the last digit a point file keeps.
    double noise = 0;
    for (const PointFile &f : files.files) {
        double mean = 0, square = 0;
        for (const PointRecord &r : f.records)
            mean += r.v4;
        mean /= std::max(1, f.records.size());
        for (const PointRecord &r : f.records)
            square += (r.v4 - mean) * (r.v4 - mean);
        noise = std::max({noise, std::sqrt(square / std::max(1, f.records.size())) * 1000.0,
                          std::fabs(mean) * 1000.0 * 1e-4});
    }
    const QString tail = QStringLiteral("; температурную компенсацию нельзя рассчитать. Нужны три файла, "
                                        "записанные при трех разных температурах\n");
    if (!(spread > kMinimumTemperatureSpread * noise))
        return QStringLiteral("Расчет невозможен: все три файла (%1, %2, %3) записаны при одной "
                              "температуре (V4 = %4)")
                   .arg(name(0), name(1), name(2), shown(t[1]))
               + tail;

    // The two files whose temperatures lie closest together.
    int a = 0, b = 1;
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (std::fabs(t[i] - t[j]) < std::fabs(t[a] - t[b]))
                a = i, b = j;
    if (std::fabs(t[a] - t[b]) < std::max(kMinimumTemperatureGap * spread, kMinimumTemperatureSpread / 10 * noise))
        return QStringLiteral("Расчет невозможен: файлы %1 и %2 записаны практически при одной "
                              "температуре (V4 = %3 и %4)")
                   .arg(name(a), name(b), shown(t[a]), shown(t[b]))
               + tail;

    const SquareMatrix m = temperatureMatrix(TemperatureRow{false}, u.U4nn, u.U4nl, u.U4nh);
    const double k = matrixConditionNumber(m, 3);
    if (!(k <= kTemperatureConditionLimit))
        return QStringLiteral("Расчет невозможен: система температурной компенсации вырождена (число "
                              "обусловленности %1, V4 = %2, %3, %4)")
                   .arg(k, 0, 'g', 3)
                   .arg(shown(t[0]), shown(t[1]), shown(t[2]))
               + tail;
    return QString();
}

CalibrationOutcome calculatePolynomialModel(bool capacitive, float pmax,
                                            const ReferenceVoltages &u, CalibrationPointSet &set)
{
    CalibrationOutcome out;
    CalibrationCoefficients &v = out.values;
    fillReference(v, pmax, u);

    const QString bad = firstNonFinite({{"U4nn", u.U4nn}, {"U4nl", u.U4nl}, {"U4nh", u.U4nh},
                                        {"U1nl", u.U1nl}, {"U2nl", u.U2nl}, {"U1nh", u.U1nh},
                                        {"U2nh", u.U2nh}, {"U1hl", u.U1hl}, {"U2hl", u.U2hl},
                                        {"U1hh", u.U1hh}, {"U2hh", u.U2hh}});
    if (!bad.isEmpty()) {
        out.messages.append(failure(nonFiniteReferenceMessage(bad)));
        return out;
    }
    // Pressure over the difference signal, x = V1 - V2.
    // Fitted to the points as the dialog will pass the coefficients on.
    set.fitDifferencePolynomial(3, valueAsWritten);
    const CalibrationPointSet::FitReport &fit = set.lastFit();
    if (fit.distinctX < kPolynomialMinimumPoints) {
        out.messages.append(failure(QStringLiteral(
            "Расчет невозможен: для полинома давления третьей степени нужны не менее четырех точек с разным "
            "сигналом в файле при нормальной температуре, а их %1\n").arg(fit.distinctX)));
        return out;
    }
    if (!fit.ok) {
        out.messages.append(failure(unsolvedSystemMessage(QStringLiteral("система уравнений полинома давления"),
                                                    fit.normal.backwardError)));
        return out;
    }
    const QVector<double> &coef = set.coefficients();
    const float c40 = static_cast<float>(coef.value(0));
    const float c41 = static_cast<float>(coef.value(1));
    const float c42 = static_cast<float>(coef.value(2));
    const float c43 = static_cast<float>(coef.value(3));
    auto q = [&](float x) { return c40 + c41 * double(x) + c42 * double(x) * x + c43 * double(x) * x * x; };

    const TemperatureRow s{capacitive};
    const SquareMatrix m = temperatureMatrix(s, u.U4nn, u.U4nl, u.U4nh);

    // Offset: the zero-pressure reading is brought to 0 at every temperature.
    if (!solve3(m, {0.0, -q(u.U1nl - u.U2nl), -q(u.U1nh - u.U2nh)}, &v.a, &out.messages))
        return out;
    // Gain: the top reading is brought to the pressure recorded there. The
    // temperature rows use the lowest-pressure U4 values at both ends.
    if (!solve3(m, {1.0, topPressure(u, FileTmin, pmax) / (q(u.U1hl - u.U2hl) + rowDot(v.a, s(u.U4nl))),
                    topPressure(u, FileTmax, pmax) / (q(u.U1hh - u.U2hh) + rowDot(v.a, s(u.U4nh)))},
                &v.b, &out.messages))
        return out;

    v.Uk1h = bisectPressureRoot(c40, c41, c42, c43, pmax);
    v.Uk2h = 1;
    v.U10 = 1;
    v.U20 = 0;
    v.c = {c42, c41, c40};
    v.c43 = c43;
    v.polynomial = true;

    if (!coefficientsFinite(v)) {
        out.messages.append(failure(notANumberMessage()));
        return out;
    }
    out.ok = true;
    return out;
}

CalibrationOutcome calculateTwoGaugeModel(float pmax, const ReferenceVoltages &u,
                                          CalibrationPointSet &set)
{
    CalibrationOutcome out;
    CalibrationCoefficients &v = out.values;
    fillReference(v, pmax, u);

    // The straight lines of both gauges come from the Tmid points; a line
    // through points that all share one pressure is 0/0.
    if (set.count() < 2) {
        out.messages.append(failure(QStringLiteral(
            "Расчет невозможен: в файле при нормальной температуре меньше двух точек\n")));
        return out;
    }
    const QString pressures = recordedPressureProblem(SensorModel::TwoGauge, set.pPlusList(), set.pMinusList());
    if (!pressures.isEmpty()) {
        out.messages.append(failure(QStringLiteral("Расчет невозможен: ") + pressures + QLatin1Char('\n')));
        return out;
    }
    const QString bad = firstNonFinite({{"U4nn", u.U4nn}, {"U4nl", u.U4nl}, {"U4nh", u.U4nh},
                                        {"U1nl", u.U1nl}, {"U2nl", u.U2nl}, {"U1nh", u.U1nh},
                                        {"U2nh", u.U2nh}, {"U1hl", u.U1hl}, {"U1hh", u.U1hh}});
    if (!bad.isEmpty()) {
        out.messages.append(failure(nonFiniteReferenceMessage(bad)));
        return out;
    }

    v.U10 = set.intercept1();
    v.U20 = set.intercept2();
    v.Uk1h = set.valueAtPlus(pmax);
    v.Uk2h = set.valueAtMinus(pmax);
    const float k1 = pmax / (v.Uk1h - v.U10);
    const float k2 = pmax / (v.Uk2h - v.U20);
    auto d = [&](float u1, float u2) { return k1 * (u1 - v.U10) - k2 * (u2 - v.U20); };

    const TemperatureRow s{false};
    const SquareMatrix m = temperatureMatrix(s, u.U4nn, u.U4nl, u.U4nh);
    if (!solve3(m, {0.0, -d(u.U1nl, u.U2nl), -d(u.U1nh, u.U2nh)}, &v.a, &out.messages))
        return out;
    // Variable 2 enters the gain rows with its lowest-pressure values.
    if (!solve3(m, {1.0, topPressure(u, FileTmin, pmax) / (d(u.U1hl, u.U2nl) + rowDot(v.a, s(u.U4nl))),
                    topPressure(u, FileTmax, pmax) / (d(u.U1hh, u.U2nh) + rowDot(v.a, s(u.U4nh)))},
                &v.b, &out.messages))
        return out;
    v.c = v.b;
    v.c43 = 0;
    v.polynomial = false;

    if (!coefficientsFinite(v) || !std::isfinite(k1) || !std::isfinite(k2)) {
        out.messages.append(failure(notANumberMessage()));
        return out;
    }
    out.ok = true;
    return out;
}

CalibrationOutcome calculateCoefficients(SensorModel model, float pmax,
                                         const ReferenceVoltages &u, CalibrationPointSet &set)
{
    switch (model) {
    case SensorModel::Capacitive: return calculatePolynomialModel(true, pmax, u, set);
    case SensorModel::SingleGauge: return calculatePolynomialModel(false, pmax, u, set);
    case SensorModel::TwoGauge: break;
    }
    return calculateTwoGaugeModel(pmax, u, set);
}

RecalcResult recalculateTwoGauge(const RecalcInputs &in)
{
    RecalcResult out;
    const TemperatureRow s{false};
    const SquareMatrix m = temperatureMatrix(s, in.U4n, in.U4l, in.U4h);
    CalcMessages messages;
    const bool solved =
        solve3(m, {0.0, -in.K1 * (in.U1l - in.U10) + in.K2 * (in.U2l - in.U20),
                   -in.K1 * (in.U1h - in.U10) + in.K2 * (in.U2h - in.U20)},
               &out.a, &messages)
        && solve3(m, {1.0,
                      in.Pmax / (in.K1 * (in.U1hl - in.U10) - in.K2 * (in.U2l - in.U20)
                                 + rowDot(out.a, s(in.U4l))),
                      in.Pmax / (in.K1 * (in.U1hh - in.U10) - in.K2 * (in.U2h - in.U20)
                                 + rowDot(out.a, s(in.U4h)))},
                  &out.b, &messages);
    if (!solved) {
        out.error = QStringLiteral("Пересчет невозможен: температурная компенсация не решается "
                                   "(проверьте значения U4 и напряжений)\n");
        return out;
    }
    for (const auto *t : {&out.a, &out.b})
        for (float f : *t)
            if (!std::isfinite(f)) {
                out.error = QStringLiteral(
                    "Пересчет невозможен: результат не является числом (проверьте значения полей)\n");
                return out;
            }
    out.ok = true;
    return out;
}

