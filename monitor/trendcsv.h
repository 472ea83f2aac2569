#pragma once
// The shown part of the trend as a CSV file: one line per answer of every
// shown series within the shown time range, oldest first, with the wall
// time, the seconds from the range's start, the series, its address and the
// value. Comma separated, a point as decimal sign, texts quoted when they
// hold a comma or a quote.

#include "monitor/trendstore.h"

#include <QByteArray>
#include <QString>
#include <QVector>

struct TrendCsvSeries
{
    QString name;       // as in the plot's legend
    int address = 0;
};

class TrendCsv
{
public:
    // fromMs/toMs on the store's clock; epochOffsetMs turns that clock into
    // milliseconds since the epoch for the time column.
    static QByteArray text(const TrendStore &store, const QVector<TrendCsvSeries> &series,
                           TrendQuantity q, const QString &quantityLabel, qint64 fromMs,
                           qint64 toMs, qint64 epochOffsetMs);

    static QString quoted(const QString &field);
};
