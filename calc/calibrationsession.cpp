// The calculation as the window runs it: finding the point files, the
// device's answers that come before the calculation, the checks of the
// recorded range, the fit judged with the device's own formula, and the
// finished result the report is built from.

#include "calc/lsqcalibration.h"

#include "calc/scaledpolynomial.h"
#include "calc/squarematrix.h"
#include "device/registermap.h"
#include "device/sensorrangetable.h"
#include "device/valuecodec.h"

#include <QDir>
#include <QFileInfo>
#include <QRegExp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

CalcMessage failure(const QString &text)
{
    return CalcMessage{CalcMessage::Failure, text};
}

QString kPaText(double pa)
{
    return QString::number(pa / 1000.0, 'g', 6);
}

} // namespace

bool fitScaled(const QVector<double> &x, const QVector<double> &y, int degree, ScaledPolynomial *out)
{
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    if (x.size() < degree + 1 || !(*hi > *lo))
        return false;
    out->centre = (*hi + *lo) / 2;
    out->scale = (*hi - *lo) / 2;
    const int n = degree + 1;
    SquareMatrix m(n);
    Vector r(size_t(n), 0.0);
    for (int k = 0; k < x.size(); ++k) {
        const double t = (x[k] - out->centre) / out->scale;
        std::vector<double> pw(size_t(2 * n), 1.0);
        for (size_t j = 1; j < pw.size(); ++j)
            pw[j] = pw[j - 1] * t;
        for (int i = 0; i < n; ++i) {
            r[size_t(i)] += pw[size_t(i)] * y[k];
            for (int j = 0; j < n; ++j)
                m[i][j] += pw[size_t(i + j)];
        }
    }
    const LinearSolve solved = solveLinearSystem(m, r, n);
    if (!solved.ok())
        return false;
    out->c.assign(solved.x.begin(), solved.x.begin() + n);
    return true;
}

double extrapolationErrorPercent(SensorModel model, const PointFile &tmid, float pmax)
{
    // The two-gauge device is linear in its plus gauge's signal; the
    // polynomial ones run a cubic of the difference signal.
    QVector<double> x, y;
    for (const PointRecord &r : tmid.records) {
        x << (model == SensorModel::TwoGauge ? r.v1 : r.v1 - r.v2) * 1000.0;
        y << r.pPlus * 1000.0;
    }
    const int degree = model == SensorModel::TwoGauge ? 1 : 3;
    ScaledPolynomial fitted, next;
    const double inf = std::numeric_limits<double>::infinity();
    if (!fitScaled(x, y, degree, &fitted))
        return inf;
    // One degree up, or down when the points cannot carry one more.
    if (!fitScaled(x, y, degree + 1, &next) && !fitScaled(x, y, degree - 1, &next))
        return inf;
    // Where the model's curve reaches Pmax, looking beyond the points.
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double span = *hi - *lo;
    const bool rising = fitted(*hi) > fitted(*lo);
    double a = *lo, b = rising ? *hi + 3 * span : *lo - 3 * span;
    if (!rising)
        std::swap(a, b), a = *hi;
    auto f = [&](double v) { return fitted(v) - double(pmax); };
    if (!(f(a) * f(b) <= 0))
        return inf;
    for (int i = 0; i < 200 && std::fabs(b - a) > 1e-9 * span; ++i) {
        const double mid = (a + b) / 2;
        (f(mid) * f(a) <= 0 ? b : a) = mid;
    }
    const double at = (a + b) / 2;
    return std::fabs(next(at) - fitted(at)) / double(pmax) * 100.0;
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

bool decodeSerial(const QByteArray &answerData, uint32_t *serial)
{
    return ValueCodec::readU32(answerData, 0, serial);
}

CalibrationFileSearch LsqCalibration::findFiles(const QString &dir)
{
    m_dir = dir;
    m_files = findCalibrationFiles(listCalibrationCandidates(dir));
    m_set = PointFileSet();
    m_filesUsable = false;
    m_haveSerial = false;
    m_deviceSensor = DeviceSensorType();
    m_sensorAsked = false;
    return m_files;
}

QString LsqCalibration::confirmationText() const
{
    return calibrationConfirmationText(m_dir, m_files);
}

CalcMessages LsqCalibration::openStaticFiles(bool vakum)
{
    CalcMessages messages;
    m_vakum = vakum;
    m_set = readPointFileSet(m_dir, m_files.midFileName, m_files.minFileName, m_files.maxFileName, vakum,
                             &messages);
    m_filesUsable = m_set.ok;
    if (!m_filesUsable)
        return messages;
    const QString temperatures = checkTemperatureSystem(m_set);
    if (!temperatures.isEmpty()) {
        messages.append(failure(temperatures));
        m_filesUsable = false;
    }
    return messages;
}

bool LsqCalibration::takePmax(const QByteArray &answerData, CalcMessages *messages)
{
    messages->append(CalcMessage{CalcMessage::Success, QStringLiteral("Параметр для расчета МНК получен\n")});
    if (!decodePmax(answerData, &m_pmax)) {
        m_pmax = 0;
        messages->append(failure(QStringLiteral("Расчет невозможен: в ответе прибора нет значения Pmax\n")));
        return false;
    }
    if (!std::isfinite(m_pmax) || m_pmax <= 0) {
        messages->append(failure(QStringLiteral("Расчет невозможен: прибор сообщил Pmax = %1 Па, а это должно "
                                                "быть положительное число; проверьте прибор\n")
                                     .arg(double(m_pmax), 0, 'g', 6)));
        return false;
    }
    return true;
}

void LsqCalibration::setSerial(bool have, uint32_t serial)
{
    m_haveSerial = have;
    m_serial = have ? serial : 0;
}

CalibrationOutcome LsqCalibration::onParameterAnswer(const QByteArray &answerData, bool capacitor, bool tenzo1)
{
    CalcMessages messages;
    if (!takePmax(answerData, &messages)) {
        CalibrationOutcome refused;
        refused.messages = messages;
        return refused;
    }
    CalibrationOutcome out = calculate(capacitor, tenzo1);
    out.messages = messages + out.messages;
    return out;
}

CalibrationOutcome LsqCalibration::calculate(bool capacitor, bool tenzo1)
{
    CalcMessages messages;
    CalibrationOutcome refused;
    auto refuse = [&](const QString &why) {
        refused.messages = messages;
        refused.messages.append(failure(why));
        return refused;
    };
    if (!std::isfinite(m_pmax) || m_pmax <= 0)
        return refuse(QStringLiteral("Расчет невозможен: значение Pmax от прибора не получено\n"));
    if (!m_filesUsable) {
        // Files not read yet, or refused when they were: say why again
        // rather than calculate from them.
        const CalcMessages read = openStaticFiles(m_vakum);
        for (const CalcMessage &m : read)
            if (m.kind == CalcMessage::Failure)
                messages.append(m);
        if (!m_filesUsable) {
            refused.messages = messages;
            return refused;
        }
    }

    // The top of every file against the device's range.
    QStringList lowTops;
    for (int t : {FileTmin, FileTmid, FileTmax}) {
        const double top = m_set.u.highPressurePa[size_t(t)];
        const QString file = m_set.files[size_t(t)].fileName;
        // A hair of slack: 90 kPa typed for a 100 kPa device is 90 %.
        const double slack = 1e-9 * m_pmax;
        if (!(top <= kMaximumTopFraction * m_pmax + slack) || !(top > 0))
            return refuse(QStringLiteral("Расчет невозможен: наибольшее давление в файле %1 равно %2 кПа, "
                                         "а Pmax прибора %3 кПа; запишите точки от нуля до Pmax в кПа\n")
                              .arg(file, kPaText(top), kPaText(m_pmax)));
        if (top < kMinimumTopFraction * m_pmax - slack)
            lowTops << QStringLiteral("%1 — %2 кПа (%3 % от Pmax)")
                           .arg(file, kPaText(top))
                           .arg(top / m_pmax * 100.0, 0, 'f', 0);
        else if (std::fabs(top - m_pmax) > kTopPointTolerance * m_pmax)
            messages.append(CalcMessage{CalcMessage::Warning,
                                        QStringLiteral("Наибольшее давление в файле %1 равно %2 кПа, а Pmax "
                                                       "прибора %3 кПа: расчет ведется по записанному давлению\n")
                                            .arg(file, kPaText(top), kPaText(m_pmax))});
    }

    m_model = chooseSensorModel(capacitor, tenzo1);
    const QString following = checkSignalsFollowPressure(m_model, m_set);
    if (!following.isEmpty())
        return refuse(following);

    loadPointSet(m_points, m_set.files[FileTmid]);
    CalibrationOutcome out = calculateCoefficients(m_model, m_pmax, m_set.u, m_points);
    out.messages = messages + out.messages;
    if (!out.ok)
        return out;

    // Judged as the device will hold the values, at every recorded point,
    // with the formula the device runs for the sensor it has.
    out.written = coefficientsAsWritten(out.values);
    if (!coefficientsFinite(out.written)) {
        out.ok = false;
        out.messages.append(failure(notANumberMessage()));
        return out;
    }
    out.evaluatedAs = m_deviceSensor.known ? m_deviceSensor.model : m_model;
    if (m_sensorAsked && !m_deviceSensor.read)
        out.messages.append(CalcMessage{CalcMessage::Warning,
                                        QStringLiteral("Тип датчика прибора не прочитан: качество калибровки "
                                                       "оценено по выбранной модели «%1»\n")
                                            .arg(sensorModelText(m_model))});
    else if (m_sensorAsked && !m_deviceSensor.stated)
        out.messages.append(CalcMessage{CalcMessage::Plain,
                                        QStringLiteral("Прибор не сообщает тип датчика: качество калибровки "
                                                       "оценено по выбранной модели «%1»\n")
                                            .arg(sensorModelText(m_model))});
    else if (m_sensorAsked && !m_deviceSensor.known)
        out.messages.append(CalcMessage{CalcMessage::Warning,
                                        QStringLiteral("Прибор сообщает неизвестный тип датчика (код %1): "
                                                       "качество калибровки оценено по выбранной модели «%2»\n")
                                            .arg(m_deviceSensor.cellCode)
                                            .arg(sensorModelText(m_model))});
    out.quality = evaluateFit(out.evaluatedAs, out.written, m_pmax, m_set, m_vakum);
    const QString device = m_haveSerial ? QStringLiteral("прибора зав. № %1").arg(m_serial)
                                        : QStringLiteral("прибора");
    out.messages += fitQualityMessages(out.quality, m_set, device);
    if (!out.quality.allFinite()) {
        out.ok = false;
        out.messages.append(failure(QStringLiteral(
            "Расчет невозможен: с новыми коэффициентами прибор не вычисляет давление в точках калибровки "
            "(результат не является числом); проверьте файлы калибровки\n")));
        return out;
    }

    QStringList questions;
    if (out.quality.needsConfirmation())
        questions << QStringLiteral("Наибольшая невязка в точках калибровки %1 % от Pmax больше %2 %: с такими "
                                    "коэффициентами прибор будет показывать давление с такой ошибкой.")
                         .arg(residualText(out.quality.worst()))
                         .arg(kFitConfirmPercent);
    if (!lowTops.isEmpty()) {
        // Above the top point the pressure comes from the curve continued.
        out.expectedErrorAtPmax = std::max(extrapolationErrorPercent(m_model, m_set.files[FileTmid], m_pmax),
                                           out.quality.worst());
        const QString expected = std::isfinite(out.expectedErrorAtPmax)
                                     ? QStringLiteral("около %1 % от Pmax").arg(residualText(out.expectedErrorAtPmax))
                                     : QStringLiteral("не оценивается (кривая не доходит до Pmax)");
        const QString note = QStringLiteral("Точки записаны не до Pmax %1 кПа: наибольшее давление %2. Выше него "
                                            "давление вычисляется продолжением кривой, ожидаемая ошибка при Pmax %3")
                                 .arg(kPaText(m_pmax), lowTops.join(QStringLiteral(", ")), expected);
        out.notes << note;
        out.messages.append(CalcMessage{CalcMessage::Warning, note + QLatin1Char('\n')});
        questions << note + QLatin1Char('.');
    }
    if (!questions.isEmpty()) {
        out.needsConfirmation = true;
        out.confirmationText = questions.join(QStringLiteral("\n\n"))
                               + QStringLiteral("\n\nВсе равно использовать результат расчета?");
    }
    return out;
}

CalibrationReport LsqCalibration::report(const CalibrationOutcome &outcome, const QString &address,
                                         const QDateTime &when) const
{
    CalibrationReport r;
    r.when = when;
    r.address = address;
    r.haveSerial = m_haveSerial;
    r.serial = m_serial;
    r.deviceSensor = m_deviceSensor;
    r.deviceModel = m_deviceSensor.read ? SensorRangeTable::modelName(m_deviceSensor.deviceType) : QString();
    r.model = m_model;
    r.evaluatedAs = outcome.evaluatedAs;
    r.pmax = m_pmax;
    r.dir = m_dir;
    for (int t : {FileTmin, FileTmid, FileTmax})
        r.pointFilePaths[size_t(t)] =
            QDir(m_dir).filePath(m_set.files[size_t(t)].fileName);
    r.files = m_set;
    r.written = outcome.written;
    r.quality = outcome.quality;
    r.notes = outcome.notes;
    return r;
}

QString LsqCalibration::reportFileName() const
{
    return calibrationReportFileName(m_dir, m_files.baseName);
}
