#include "monitor/linestatsview.h"

#include "monitor/flowlayout.h"
#include "monitor/linestatisticsrows.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

LineStatsView::LineStatsView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("lineStatsView"));
    table = new QTableWidget(0, LineStatisticsRows::ColumnCount, this);
    table->setObjectName(QStringLiteral("tableLineStatistics"));
    table->setHorizontalHeaderLabels(LineStatisticsRows::headers());
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    // Sized by showStatistics when a text grows: a header sizing itself to
    // its contents lays out every cell again on each changed count.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    resetButton = new QPushButton(QStringLiteral("Сбросить"), this);
    resetButton->setObjectName(QStringLiteral("buttonResetLineStatistics"));
    resetButton->setToolTip(QStringLiteral("Обнулить счётчики линии"));
    discardLabel = new QLabel(this);
    discardLabel->setObjectName(QStringLiteral("labelDiscardReasons"));
    discardLabel->setWordWrap(true);
    // Two lines are always reserved, so a changed count does not move the
    // table above it.
    discardLabel->setMinimumHeight(2 * discardLabel->fontMetrics().lineSpacing());
    discardLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    // The reasons take as many lines as the panel's width needs.
    auto *bottomBox = new WidthBoundBox(this);
    auto *bottom = new QHBoxLayout(bottomBox);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(discardLabel, 1);
    bottom->addWidget(resetButton, 0, Qt::AlignTop);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(table, 1);
    layout->addWidget(bottomBox);
}

void LineStatsView::showStatistics(const LinkStatistics &stats)
{
    const QVector<QStringList> rows = LineStatisticsRows::rows(stats);
    bool grew = table->rowCount() != rows.size();
    if (grew)
        table->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        const bool total = r == rows.size() - 1;
        for (int c = 0; c < rows[r].size() && c < table->columnCount(); ++c) {
            QTableWidgetItem *item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(c == 0 ? int(Qt::AlignCenter) : int(Qt::AlignRight | Qt::AlignVCenter));
                table->setItem(r, c, item);
            }
            const QString &text = rows[r][c];
            if (item->text() != text) {
                grew = grew || text.size() > item->text().size();
                item->setText(text);
            }
            if (item->font().bold() != total) {
                QFont f = item->font();
                f.setBold(total);
                item->setFont(f);
                grew = true;
            }
        }
    }
    if (grew)
        table->resizeColumnsToContents();
    const QString summary = LineStatisticsRows::discardSummary(stats);
    if (discardLabel->text() != summary)
        discardLabel->setText(summary);
}

QString LineStatsView::cellText(int row, int column) const
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

int LineStatsView::rowOf(const QString &name) const
{
    for (int r = 0; r < table->rowCount(); ++r) {
        if (cellText(r, LineStatisticsRows::AddressColumn) == name)
            return r;
    }
    return -1;
}
