#include "history/historyimport.h"

#include <array>

#include "history/historystore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
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
    bool inCoefficients = false, havePmax = false;
    std::array<QString, 3> worstTexts;
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        const QStringList f = line.split(QLatin1Char('\t'));
        const QString key = f.value(0);
        const QString value = f.value(1);
        double v = 0;
        if (key == QStringLiteral("Дата и время:")) {
            e.context.when = QDateTime::fromString(value, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        } else if (key == QStringLiteral("Заводской номер:")) {
            e.device.serial = value == QStringLiteral("не прочитан") ? QString() : value;
        } else if (key == QStringLiteral("Модель расчета:")) {
            e.fitModel = value;
            e.sensorType = value;
        } else if (key == QStringLiteral("Pmax, кПа:") && reportNumber(value, &v)) {
            e.pmaxPa = v * 1000.0;
            havePmax = true;
        } else if ((f.size() == 6 || f.size() == 7)
                   && (key == QLatin1String("Tmin") || key == QLatin1String("Tmid") || key == QLatin1String("Tmax"))
                   && e.files.size() < 3) {
            // Earlier reports end the row at the residual; later ones name
            // the worst point after it.
            const int t = key == QLatin1String("Tmin") ? 0 : key == QLatin1String("Tmid") ? 1 : 2;
            if (reportNumber(f.value(5), &v))
                e.fitPercent[size_t(t)] = v;
            worstTexts[size_t(t)] = f.value(6);
            e.files.append(historyFile(QString::fromLatin1(TemperatureRoles[t]), folder.filePath(f.value(1))));
        } else if (key.startsWith(QStringLiteral("Коэффициенты, как они записываются"))) {
            inCoefficients = true;
        } else if (inCoefficients && f.size() == 2 && reportNumber(value, &v)) {
            e.coefficients.append({key, v});
        } else if (inCoefficients && line.trimmed().isEmpty() && !e.coefficients.isEmpty()) {
            inCoefficients = false;
        }
    }
    if (!e.context.when.isValid() || !havePmax || e.coefficients.isEmpty()) {
        p.error = QStringLiteral("%1: в отчете нет даты, Pmax или коэффициентов").arg(name);
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
