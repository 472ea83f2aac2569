#include "app/tablecolumns.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>

namespace TableColumns {

void widenToRow(QTableView *view, int row)
{
    const QAbstractItemModel *model = view->model();
    if (!model || row < 0 || row >= model->rowCount())
        return;
    QHeaderView *header = view->horizontalHeader();
    for (int c = 0; c < model->columnCount(); ++c) {
        if (view->isColumnHidden(c))
            continue;
        const int want = qMax(view->sizeHintForIndex(model->index(row, c)).width()
                                  + (view->showGrid() ? 1 : 0),
                              header->isHidden() ? 0 : header->sectionSizeHint(c));
        if (want > view->columnWidth(c))
            view->setColumnWidth(c, want);
    }
}

} // namespace TableColumns
