#pragma once
// Column widths of tables that grow or change while the line is polled.
// Sizing every column to every row on each answer costs a text layout per
// cell and grows with the table; a new row can only ask for more room.

class QTableView;

namespace TableColumns {

// Widens each column whose cell in `row` (or whose header) needs more room
// than the column has; never narrows one.
void widenToRow(QTableView *view, int row);

} // namespace TableColumns
