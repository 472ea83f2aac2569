#pragma once
// The line statistics table: what the link counted per short address since
// it started or was last reset, with the reset button.

#include "link/linkstatistics.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

class LineStatsView : public QWidget
{
    Q_OBJECT
public:
    explicit LineStatsView(QWidget *parent = nullptr);

    QTableWidget *table = nullptr;
    QPushButton *resetButton = nullptr;
    QLabel *discardLabel = nullptr;

    // Writes only the cells whose text changed.
    void showStatistics(const LinkStatistics &stats);
    // The text of a cell, empty outside the table (for tests and tools).
    QString cellText(int row, int column) const;
    // Row of an address text ("05", "Всего"), -1 when not shown.
    int rowOf(const QString &name) const;
};
