#include "history/historyimport.h"

#include <array>

#include "calc/calibrationtypes.h"
#include "calc/devicesensor.h"
#include "history/historystore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

const char *const TemperatureRoles[3] = {"Tmin", "Tmid", "Tmax"};

// A number as the report writes it; infinity for "не число".
bool reportNumber(const QString &text, double *v)
{
    bool ok = false;
    *v = text.trimmed().toDouble(&ok);
    if (!ok && text.trimmed() == QStringLiteral("не число")) {
        *v = std::numeric_limits<double>::infinity();
        return true;
    }
    return ok;
}

} // namespace

QStringList HistoryImport::findReports(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, {QStringLiteral("*_report.txt")}, QDir::Files | QDir::Readable,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QDir folder = QFileInfo(path).dir();
        if (!folder.entryList({QStringLiteral("*MNK*")}, QDir::Files).isEmpty())
            out << path;
    }
    out.sort();
    return out;
}

HistoryImport::Parsed HistoryImport::parseReport(const QString &path, const HistoryContext &context)
{
    Parsed p;
    const QString name = QDir::toNativeSeparators(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        p.error = QStringLiteral("%1: не открывается (%2)").arg(name, f.errorString());
        return p;
    }
    const QByteArray bytes = f.readAll();
    p.sourceKey = QStringLiteral("report:")
                  + QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (lines.isEmpty() || !lines.first().startsWith(QStringLiteral("Отчет о калибровке"))) {
        p.error = QStringLiteral("%1: это не отчет о калибровке").arg(name);
        return p;
    }

    CalculationEvent &e = p.event;
    e.context = context;
    e.context.when = QDateTime();
    const QDir folder = QFileInfo(path).dir();
    // A report cut short, edited or damaged in a copy is not imported: the
    // first problem met is said with the file.
    QString problem;
    const auto fail = [&problem](const QString &why) {
        if (problem.isEmpty())
            problem = why;
    };
    bool inCoefficients = false, havePmax = false, haveModel = false, haveEnd = false;
    std::array<bool, 3> haveTemperature = {false, false, false};
    std::array<QString, 3> worstTexts;
    const auto coefficientNames = CalibrationCoefficients().named();
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        const QStringList f = line.split(QLatin1Char('\t'));
        const QString key = f.value(0);
        const QString value = f.value(1);
        double v = 0;
        if (key == QStringLiteral("Дата и время:")) {
            e.context.when = QDateTime::fromString(value, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
            if (!e.context.when.isValid())
                fail(QStringLiteral("дата «%1» не читается").arg(value.left(40)));
        } else if (key == QStringLiteral("Заводской номер:")) {
            bool digits = !value.isEmpty() && value.size() <= 10;
            for (const QChar c : value)
                digits = digits && c.isDigit() && c.unicode() < 0x80;
            if (value != QStringLiteral("не прочитан") && (!digits || value.toULongLong() > 0xffffffffu))
                fail(QStringLiteral("заводской номер «%1» не номер").arg(value.left(40)));
            e.device.serial = value == QStringLiteral("не прочитан") ? QString() : value;
        } else if (key == QStringLiteral("Модель расчета:")) {
            haveModel = value == sensorModelText(SensorModel::Capacitive)
                        || value == sensorModelText(SensorModel::SingleGauge)
                        || value == sensorModelText(SensorModel::TwoGauge);
            if (!haveModel)
                fail(QStringLiteral("неизвестная модель расчета «%1»").arg(value.left(40)));
            e.fitModel = value;
            e.sensorType = value;
        } else if (key == QStringLiteral("Pmax, кПа:")) {
            havePmax = reportNumber(value, &v) && std::isfinite(v) && v > 0;
            if (!havePmax)
                fail(QStringLiteral("Pmax «%1» не число больше нуля").arg(value.left(40)));
            e.pmaxPa = v * 1000.0;
        } else if ((f.size() == 6 || f.size() == 7)
                   && (key == QLatin1String("Tmin") || key == QLatin1String("Tmid") || key == QLatin1String("Tmax"))
                   && !inCoefficients && e.coefficients.isEmpty() && e.files.size() < 3) {
            // Earlier reports end the row at the residual; later ones name
            // the worst point after it.
            const int t = key == QLatin1String("Tmin") ? 0 : key == QLatin1String("Tmid") ? 1 : 2;
            if (haveTemperature[size_t(t)])
                fail(QStringLiteral("строка %1 дважды").arg(key));
            haveTemperature[size_t(t)] = true;
            // Infinity stands for "не число"; a NaN or a negative residual
            // is not one the calculation writes.
            if (!reportNumber(f.value(5), &v) || !(v >= 0))
                fail(QStringLiteral("невязка %1 «%2» не число").arg(key, f.value(5).left(40)));
            e.fitPercent[size_t(t)] = v;
            const QString file = f.value(1);
            if (file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\'))
                || file == QLatin1String("..") || file == QLatin1String("."))
                fail(QStringLiteral("файл точек %1 «%2» не имя файла в папке отчета").arg(key, file.left(80)));
            worstTexts[size_t(t)] = f.value(6);
            e.files.append(historyFile(QString::fromLatin1(TemperatureRoles[t]), folder.filePath(file)));
        } else if (key.startsWith(QStringLiteral("Коэффициенты, как они записываются"))) {
            inCoefficients = true;
        } else if (inCoefficients && f.size() == 2) {
            const auto known = std::find_if(coefficientNames.begin(), coefficientNames.end(),
                                            [&key](const auto &c) { return key == QLatin1String(c.first); });
            if (known == coefficientNames.end())
                fail(QStringLiteral("неизвестный коэффициент «%1»").arg(key.left(40)));
            else if (std::any_of(e.coefficients.begin(), e.coefficients.end(),
                                 [&key](const HistoryValue &c) { return c.name == key; }))
                fail(QStringLiteral("коэффициент %1 дважды").arg(key));
            else if (!reportNumber(value, &v) || !std::isfinite(v) || std::fabs(v) > FLT_MAX)
                fail(QStringLiteral("коэффициент %1 «%2» не число").arg(key, value.left(40)));
            e.coefficients.append({key, v});
        } else if (inCoefficients && line.trimmed().isEmpty() && !e.coefficients.isEmpty()) {
            inCoefficients = false;
        } else if (key == QStringLiteral("Итог:")) {
            haveEnd = true;
        }
    }
    if (!e.context.when.isValid() || !havePmax || e.coefficients.isEmpty())
        fail(QStringLiteral("в отчете нет даты, Pmax или коэффициентов"));
    if (!haveModel)
        fail(QStringLiteral("в отчете нет модели расчета"));
    for (int t = 0; t < 3; ++t)
        if (!haveTemperature[size_t(t)])
            fail(QStringLiteral("в отчете нет строки %1").arg(QLatin1String(TemperatureRoles[t])));
    for (const auto &c : coefficientNames)
        if (std::none_of(e.coefficients.begin(), e.coefficients.end(),
                         [&c](const HistoryValue &k) { return k.name == QLatin1String(c.first); }))
            fail(QStringLiteral("в отчете нет коэффициента %1").arg(QLatin1String(c.first)));
    if (!haveEnd || !bytes.endsWith('\n'))
        fail(QStringLiteral("отчет обрезан: нет строки «Итог:» до конца"));
    if (!problem.isEmpty()) {
        p.error = QStringLiteral("%1: %2").arg(name, problem);
        return p;
    }
    e.context.when = e.context.when.toUTC();
    e.worstPercent = 0;
    for (int t = 0; t < 3; ++t) {
        if (!(e.fitPercent[size_t(t)] <= e.worstPercent))
            e.worstPoint = worstTexts[size_t(t)].isEmpty()
                               ? QString::fromLatin1(TemperatureRoles[t])
                               : QStringLiteral("%1: %2").arg(QLatin1String(TemperatureRoles[t]), worstTexts[size_t(t)]);
        e.worstPercent = qMax(e.worstPercent, e.fitPercent[size_t(t)]);
    }
    e.withinTarget = e.worstPercent <= 0.05;
    for (const HistoryValue &c : qAsConst(e.coefficients)) {
        if (c.name == QLatin1String("U10") && e.fitModel == QStringLiteral("два тензодатчика"))
            e.zero = c.value;
        else if (c.name == QLatin1String("c40") && e.fitModel != QStringLiteral("два тензодатчика"))
            e.zero = c.value;
    }
    e.files.append(historyFile(QStringLiteral("Отчет"), path));
    p.ok = true;
    return p;
}

QString HistoryImport::Result::text() const
{
    QString s = QStringLiteral("Импорт в историю: добавлено отчетов %1, уже были в истории %2").arg(imported).arg(alreadyThere);
    QStringList among;
    if (recordedLive > 0)
        among << QStringLiteral("записаны при расчете: %1").arg(recordedLive);
    if (byOtherBench > 0)
        among << QStringLiteral("уже импортировано другим рабочим местом: %1").arg(byOtherBench);
    if (!among.isEmpty())
        s += QStringLiteral(" (") + among.join(QStringLiteral("; ")) + QLatin1Char(')');
    if (!failures.isEmpty())
        s += QStringLiteral("; не импортированы: ") + failures.join(QStringLiteral("; "));
    return s;
}

HistoryImport::Result HistoryImport::importFolder(HistoryStore &store, const QString &dir,
                                                  const HistoryContext &context,
                                                  const std::function<void(const QString &)> &beforeWrite)
{
    Result result;
    if (!store.isOpen()) {
        result.error = store.error();
        return result;
    }
    for (const QString &path : findReports(dir)) {
        const Parsed p = parseReport(path, context);
        if (!p.ok) {
            result.failures << p.error;
            continue;
        }
        bool asked = false;
        if (store.isImported(p.sourceKey, &asked)) {
            ++result.alreadyThere;
            continue;
        }
        if (!asked) {
            result.error = store.error();
            return result;
        }
        const QString live = store.findCalculation(p.event, p.sourceKey.mid(p.sourceKey.indexOf(QLatin1Char(':')) + 1),
                                                   LiveMatchSeconds, &asked);
        if (!asked) {
            result.error = store.error();
            return result;
        }
        if (!live.isEmpty()) {
            // Noted, so that the next import knows it at once; a note not
            // made costs only the search again.
            store.markImported(p.sourceKey, live);
            ++result.alreadyThere;
            ++result.recordedLive;
            continue;
        }
        if (beforeWrite)
            beforeWrite(path);
        HistoryRecord r = HistoryRecord::of(p.event);
        r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        r.sourceKey = p.sourceKey;
        if (store.write(r)) {
            ++result.imported;
            continue;
        }
        // Another PC importing the same folder took the report between our
        // look and our write: it is there, once.
        if (store.refused() && store.isImported(p.sourceKey, &asked)) {
            ++result.alreadyThere;
            ++result.byOtherBench;
            continue;
        }
        result.failures << QDir::toNativeSeparators(path) + QStringLiteral(": ") + store.error();
        if (!store.isOpen()) {
            result.error = store.error();
            return result;
        }
    }
    return result;
}
