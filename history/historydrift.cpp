#include "history/historydrift.h"

#include <cmath>

QString driftText(double change)
{
    if (!std::isfinite(change))
        return QStringLiteral("—");
    return (change >= 0 ? QStringLiteral("+") : QString()) + QString::number(change, 'g', 6);
}

HistoryDriftTable historyDrift(const QVector<HistoryRecord> &calcs)
{
    HistoryDriftTable t;
    // Every coefficient any of the calculations has, in the order first seen.
    QStringList names;
    for (const HistoryRecord &r : calcs) {
        for (const HistoryValue &v : r.calculation.coefficients) {
            if (!names.contains(v.name))
                names << v.name;
        }
    }
    t.header << QStringLiteral("Дата") << QStringLiteral("Модель расчета") << QStringLiteral("Невязка, %")
             << QStringLiteral("Ноль") << QStringLiteral("Дрейф нуля от первой");
    for (const QString &n : qAsConst(names))
        t.header << n << QStringLiteral("Δ ") + n;

    const double firstZero = calcs.isEmpty() ? 0 : calcs.first().calculation.zero;
    for (int i = 0; i < calcs.size(); ++i) {
        const CalculationEvent &k = calcs[i].calculation;
        QStringList row;
        row << calcs[i].context().when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm"))
            << k.fitModel
            << (std::isfinite(k.worstPercent) ? QString::number(k.worstPercent, 'g', 3) : QStringLiteral("не число"))
            << QString::number(k.zero, 'g', 7) << (i == 0 ? QStringLiteral("—") : driftText(k.zero - firstZero));
        for (const QString &n : qAsConst(names)) {
            double value = NAN, previous = NAN;
            for (const HistoryValue &v : k.coefficients) {
                if (v.name == n)
                    value = v.value;
            }
            if (i > 0) {
                for (const HistoryValue &v : calcs[i - 1].calculation.coefficients) {
                    if (v.name == n)
                        previous = v.value;
                }
            }
            row << (std::isfinite(value) ? QString::number(value, 'g', 9) : QStringLiteral("—"))
                << driftText(value - previous);
        }
        t.rows.append(row);
        t.uids << calcs[i].uid;
    }
    return t;
}
