#include "calc/lsqcalibration.h"

#include "calc/squarematrix.h"
#include "device/valuecodec.h"

#include <QDir>
#include <QRegExp>

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

// z = inverse(M) * r, each component kept as a float.
std::array<float, 3> solve3(const SquareMatrix &m, const std::array<double, 3> &r)
{
    const Vector z = matrixVectorMultiply(matrixInverse(m, 3), Vector(r.begin(), r.end()), 3);
    return {static_cast<float>(z[0]), static_cast<float>(z[1]), static_cast<float>(z[2])};
}

double rowDot(const std::array<float, 3> &k, const std::array<double, 3> &s)
{
    return k[0] * s[0] + k[1] * s[1] + k[2] * s[2];
}

CalcMessage failure(const QString &text)
{
    return CalcMessage{CalcMessage::Failure, text};
}

bool varies(const QVector<double> &values)
{
    for (double v : values)
        if (v != values.front())
            return true;
    return false;
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
                          "(в файле калибровки нет точек при наибольшем давлении)\n").arg(name);
}

bool allFinite(const CalibrationCoefficients &v)
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

void fillReference(CalibrationCoefficients &v, float pmax, const ReferenceVoltages &u)
{
    v.Pmax = pmax;
    v.var1 = u.variable(1);
    v.var2 = u.variable(2);
    v.var4 = u.variable(4);
}

} // namespace

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
    set.fitDifferencePolynomial(3);
    const QVector<double> &coef = set.coefficients();
    const float c40 = static_cast<float>(coef.value(0));
    const float c41 = static_cast<float>(coef.value(1));
    const float c42 = static_cast<float>(coef.value(2));
    const float c43 = static_cast<float>(coef.value(3));
    auto q = [&](float x) { return c40 + c41 * double(x) + c42 * double(x) * x + c43 * double(x) * x * x; };

    const TemperatureRow s{capacitive};
    const SquareMatrix m = temperatureMatrix(s, u.U4nn, u.U4nl, u.U4nh);

    // Offset: the zero-pressure reading is brought to 0 at every temperature.
    v.a = solve3(m, {0.0, -q(u.U1nl - u.U2nl), -q(u.U1nh - u.U2nh)});
    // Gain: the full-scale reading is brought to Pmax. The temperature rows
    // use the lowest-pressure U4 values at both ends.
    v.b = solve3(m, {1.0, pmax / (q(u.U1hl - u.U2hl) + rowDot(v.a, s(u.U4nl))),
                     pmax / (q(u.U1hh - u.U2hh) + rowDot(v.a, s(u.U4nh)))});

    v.Uk1h = bisectPressureRoot(c40, c41, c42, c43, pmax);
    v.Uk2h = 1;
    v.U10 = 1;
    v.U20 = 0;
    v.c = {c42, c41, c40};
    v.c43 = c43;
    v.polynomial = true;

    if (!allFinite(v)) {
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
    if (!varies(set.pPlusList())) {
        out.messages.append(failure(QStringLiteral(
            "Расчет невозможен: давление P+ в файле при нормальной температуре не изменяется\n")));
        return out;
    }
    if (!varies(set.pMinusList())) {
        out.messages.append(failure(QStringLiteral(
            "Расчет невозможен: для модели с двумя тензодатчиками давление P- должно изменяться "
            "(подавайте давление на оба входа одновременно)\n")));
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
    v.a = solve3(m, {0.0, -d(u.U1nl, u.U2nl), -d(u.U1nh, u.U2nh)});
    // Variable 2 enters the gain rows with its lowest-pressure values.
    v.b = solve3(m, {1.0, pmax / (d(u.U1hl, u.U2nl) + rowDot(v.a, s(u.U4nl))),
                     pmax / (d(u.U1hh, u.U2nh) + rowDot(v.a, s(u.U4nh)))});
    v.c = v.b;
    v.c43 = 0;
    v.polynomial = false;

    if (!allFinite(v) || !std::isfinite(k1) || !std::isfinite(k2)) {
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
    out.a = solve3(m, {0.0, -in.K1 * (in.U1l - in.U10) + in.K2 * (in.U2l - in.U20),
                       -in.K1 * (in.U1h - in.U10) + in.K2 * (in.U2h - in.U20)});
    out.b = solve3(m, {1.0,
                       in.Pmax / (in.K1 * (in.U1hl - in.U10) - in.K2 * (in.U2l - in.U20)
                                  + rowDot(out.a, s(in.U4l))),
                       in.Pmax / (in.K1 * (in.U1hh - in.U10) - in.K2 * (in.U2h - in.U20)
                                  + rowDot(out.a, s(in.U4h)))});
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

QStringList listCalibrationCandidates(const QString &dir)
{
    const QStringList names = QDir(dir).entryList(
        QDir::Files | QDir::Readable | QDir::NoDotAndDotDot, QDir::Type | QDir::LocaleAware);
    QStringList kept;
    for (const QString &name : names)
        if (name.contains(QLatin1String("MNK"), Qt::CaseSensitive))
            kept.append(name);
    return kept;
}

CalibrationFileSearch findCalibrationFiles(const QStringList &candidates)
{
    CalibrationFileSearch r;
    const QString title = QStringLiteral("Ошибка");
    if (candidates.isEmpty()) {
        r.standardError = QStringLiteral("Не найдено файлов калибровки\n");
        r.boxTitle = title;
        r.boxText = QStringLiteral(
            "Не найдено калибровочных файлов (Файлы должны иметь имя, начинающееся с одинакового "
            "базового имени, температуры,и MNK.\n Например: basename_Tmid_MNK.txt");
        return r;
    }

    const QRegExp midPattern(QStringLiteral("*_Tmid_MNK.txt"), Qt::CaseSensitive, QRegExp::Wildcard);
    for (const QString &name : candidates) {
        if (midPattern.exactMatch(name)) {
            r.midFileName = name;
            break;
        }
    }
    if (r.midFileName.isEmpty()) {
        r.standardOutput += QStringLiteral("Не найден файл при нормальной температуре\n");
        r.boxTitle = title;
        r.boxText = QStringLiteral("Не найден файл калибровки при нормальной температуре");
        return r;
    }
    r.standardOutput += QStringLiteral("Найден файл при нормальной температуре: ") + r.midFileName
                        + QLatin1Char('\n');
    // Everything before the second-to-last underscore, so a base name may
    // itself contain underscores.
    const int last = r.midFileName.lastIndexOf(QLatin1Char('_'));
    const int secondLast = r.midFileName.lastIndexOf(QLatin1Char('_'), last - 1);
    r.baseName = r.midFileName.left(secondLast);
    r.standardOutput += QStringLiteral("Его базовое имя: ") + r.baseName + QLatin1Char('\n');

    struct Step {
        const char *suffix;
        QString *target;
        QString notFoundOut, notFoundBox, foundOut;
    };
    const Step steps[] = {
        {"_Tmin_MNK.txt", &r.minFileName,
         QStringLiteral("Не найден файл при минимальной температуре"),
         QStringLiteral("Не найден файл калибровки при минимальной температуре"),
         QStringLiteral("Найден файл при минимальной температуре: ")},
        {"_Tmax_MNK.txt", &r.maxFileName,
         QStringLiteral("Не найден файл при максимальной температуре"),
         QStringLiteral("Не найден файл калибровки при максимальной температуре"),
         QStringLiteral("Найден файл при максимальной температуре: ")},
    };
    for (const Step &step : steps) {
        const QString wanted = r.baseName + QLatin1String(step.suffix);
        if (!candidates.contains(wanted)) {
            r.standardOutput += step.notFoundOut + QLatin1Char('\n');
            r.boxTitle = title;
            r.boxText = step.notFoundBox;
            return r;
        }
        *step.target = wanted;
        r.standardOutput += step.foundOut + wanted + QLatin1Char('\n');
    }
    r.found = true;
    return r;
}

QString calibrationConfirmationText(const QString &dir, const CalibrationFileSearch &files)
{
    return QStringLiteral("Были найдены следующие калибровочные файлы:\n") + QStringLiteral("В директории ")
           + dir + QStringLiteral("\nПри нормальной температуре: ") + files.midFileName
           + QStringLiteral("\nПри минимальной температуре: ") + files.minFileName
           + QStringLiteral("\nПри максимальной температуре: ") + files.maxFileName
           + QStringLiteral("\n\nИспользовать данные файлы для калибровки?");
}

bool decodePmax(const QByteArray &answerData, float *pmax)
{
    return ValueCodec::readFloat(answerData, 0, pmax);
}

CalibrationFileSearch LsqCalibration::findFiles(const QString &dir)
{
    m_dir = dir;
    m_files = findCalibrationFiles(listCalibrationCandidates(dir));
    return m_files;
}

QString LsqCalibration::confirmationText() const
{
    return calibrationConfirmationText(m_dir, m_files);
}

CalcMessages LsqCalibration::openStaticFiles(bool vakum)
{
    CalcMessages messages;
    m_reference = ::openStaticFiles(m_dir, m_files.midFileName, m_files.minFileName,
                                    m_files.maxFileName, vakum, &messages);
    return messages;
}

CalibrationOutcome LsqCalibration::onParameterAnswer(const QByteArray &answerData, bool capacitor,
                                                     bool tenzo1)
{
    CalcMessages messages;
    messages.append(CalcMessage{CalcMessage::Success,
                                QStringLiteral("Параметр для расчета МНК получен\n")});
    if (!decodePmax(answerData, &m_pmax)) {
        CalibrationOutcome out;
        out.messages = messages;
        out.messages.append(failure(
            QStringLiteral("Расчет невозможен: в ответе прибора нет значения Pmax\n")));
        return out;
    }
    loadMidPointSet(m_points, m_dir, m_files.midFileName, &messages);
    CalibrationOutcome out = calculateCoefficients(chooseSensorModel(capacitor, tenzo1), m_pmax,
                                                   m_reference, m_points);
    out.messages = messages + out.messages;
    return out;
}
