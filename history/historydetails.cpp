#include "history/historydetails.h"

#include <QFile>
#include <cmath>

namespace {

QString number(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 9) : QStringLiteral("не число");
}

QString valuesText(const QVector<HistoryValue> &values)
{
    QStringList out;
    for (const HistoryValue &v : values)
        out << QStringLiteral("%1 = %2").arg(v.name, number(v.value));
    return out.join(QStringLiteral(", "));
}

} // namespace

QString historySerialText(const QString &serial)
{
    return serial.isEmpty() ? QStringLiteral("не прочитан") : serial;
}

QString historyDetails(const HistoryRecord &r)
{
    const HistoryContext &c = r.context();
    QStringList lines;
    auto line = [&lines](const QString &key, const QString &value) {
        if (!value.isEmpty())
            lines << key + QStringLiteral(": ") + value;
    };
    line(QStringLiteral("Событие"), historyKindText(r.kind));
    line(QStringLiteral("Дата"), c.when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    line(QStringLiteral("Заводской номер"), historySerialText(r.device().serial));
    line(QStringLiteral("Модель"), r.device().model);
    line(QStringLiteral("Оператор"), c.operatorName);
    line(QStringLiteral("Порт"), c.port);
    line(QStringLiteral("Профиль"), c.profile);
    line(QStringLiteral("Партия"), c.batch);
    switch (r.kind) {
    case HistoryRecord::Write: {
        const WriteEvent &w = r.write;
        line(QStringLiteral("Адрес"), w.address >= 0 ? historyAddressText(w.address) : QStringLiteral("не известен"));
        if (w.device.serial.isEmpty())
            lines << QStringLiteral("Заводской номер прибора не был прочитан при записи: чей это прибор, "
                                    "событие не говорит");
        line(QStringLiteral("Записано"), w.what);
        line(QStringLiteral("Блоки"), w.blocks.join(QStringLiteral("; ")));
        line(QStringLiteral("Не записаны"), w.refusedBlocks.join(QStringLiteral("; ")));
        if (w.blockCount > 0)
            line(QStringLiteral("Записано блоков"), QStringLiteral("%1 из %2").arg(w.writtenCount).arg(w.blockCount));
        line(QStringLiteral("Значения"), valuesText(w.values));
        line(QStringLiteral("Итог"), w.outcome);
        break;
    }
    case HistoryRecord::Verification: {
        const VerificationEvent &v = r.verification;
        line(QStringLiteral("Класс"), v.accuracyClass);
        line(QStringLiteral("Результат"), v.passed ? QStringLiteral("годен") : QStringLiteral("не годен"));
        line(QStringLiteral("Подробности"), v.details);
        line(QStringLiteral("Таблица"), v.table);
        break;
    }
    case HistoryRecord::Calculation: {
        const CalculationEvent &k = r.calculation;
        line(QStringLiteral("Модель расчета"), k.fitModel);
        line(QStringLiteral("Датчик"), k.sensorType);
        line(QStringLiteral("Pmax, кПа"), number(k.pmaxPa / 1000.0));
        line(QStringLiteral("Наибольшая невязка, %"), number(k.worstPercent) + QStringLiteral(" (") + k.worstPoint
                                                           + QLatin1Char(')'));
        line(QStringLiteral("Коэффициенты"), valuesText(k.coefficients));
        break;
    }
    }
    for (const HistoryFile &f : r.files()) {
        lines << QStringLiteral("Файл %1: %2 — %3")
                     .arg(f.role, QFile::decodeName(f.path),
                          f.kept ? QStringLiteral("копия хранится в истории")
                                 : f.sha256.isEmpty() ? QStringLiteral("не был прочитан")
                                                      : QStringLiteral("в истории только контрольная сумма"));
    }
    return lines.join(QLatin1Char('\n'));
}
