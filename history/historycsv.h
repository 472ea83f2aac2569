#pragma once
// The history table as a CSV file a spreadsheet opens as it is: UTF-8 with
// its mark, ";" between fields (what a Russian-locale spreadsheet expects),
// every field quoted when it holds a quote, a separator or a line break.

#include "history/historystore.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>

QByteArray csvText(const QStringList &header, const QVector<QStringList> &rows);

// The columns of the history table, and a row's cells as it shows them.
QStringList historyColumns();
QStringList historyCells(const HistoryRow &row);
QByteArray historyCsv(const QVector<HistoryRow> &rows);
