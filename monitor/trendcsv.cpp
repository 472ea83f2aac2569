#include "monitor/trendcsv.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
struct Row
{
    qint32 ms;
    int series;
    float value;
};
}

QString TrendCsv::quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')))
        return field;
    QString q = field;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QByteArray TrendCsv::text(const TrendStore &store, const QVector<TrendCsvSeries> &series,
                          TrendQuantity q, const QString &quantityLabel, qint64 fromMs,
                          qint64 toMs, qint64 epochOffsetMs)
{
    QByteArray out;
    out += (QStringLiteral("Время,Секунды,Серия,Адрес,") + quoted(quantityLabel) + QLatin1Char('\n'))
               .toUtf8();
    if (!store.hasOrigin() || toMs < fromMs)
        return out;

    std::vector<Row> rows;
    const qint32 from = store.toStoreMs(fromMs);
    const qint32 to = store.toStoreMs(toMs);
    for (int i = 0; i < series.size(); ++i) {
        const TrendSeries *s = store.series(series[i].address);
        if (!s)
            continue;
        s->forEach(from, to, [&](const TrendSample &t) { rows.push_back({t.ms, i, t.value(q)}); });
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.ms < b.ms; });

    QVector<QByteArray> names;
    for (const TrendCsvSeries &s : series) {
        names.append((quoted(s.name) + QLatin1Char(',')
                      + QStringLiteral("%1").arg(s.address, 2, 16, QLatin1Char('0'))).toUtf8());
    }
    out.reserve(out.size() + int(rows.size()) * 56);
    for (const Row &r : rows) {
        const qint64 ms = store.fromStoreMs(r.ms);
        out += QDateTime::fromMSecsSinceEpoch(ms + epochOffsetMs)
                   .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                   .toLatin1();
        out += ',';
        out += QByteArray::number(double(ms - fromMs) / 1000.0, 'f', 3);
        out += ',';
        out += names[r.series];
        out += ',';
        // Seven significant digits hold every float exactly enough to plot
        // it again; a value that is not a number stays an empty field.
        if (std::isfinite(r.value))
            out += QByteArray::number(double(r.value), 'g', 7);
        out += '\n';
    }
    return out;
}
