#include "monitor/flowlayout.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QWidget>

FlowLayout::FlowLayout(QWidget *parent, int spacing)
    : QLayout(parent)
    , m_spacing(spacing)
{
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

QWidget *FlowLayout::addGroup(const QList<QWidget *> &widgets)
{
    auto *group = new QWidget(parentWidget());
    auto *row = new QHBoxLayout(group);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (QWidget *w : widgets)
        row->addWidget(w);
    addWidget(group);
    return group;
}

void FlowLayout::addItem(QLayoutItem *item) { m_items.append(item); }
int FlowLayout::count() const { return m_items.size(); }
QLayoutItem *FlowLayout::itemAt(int index) const { return m_items.value(index); }

QLayoutItem *FlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

Qt::Orientations FlowLayout::expandingDirections() const { return {}; }
bool FlowLayout::hasHeightForWidth() const { return true; }

int FlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::minimumSize() const
{
    // As narrow as the widest item: everything else wraps.
    QSize size;
    for (const QLayoutItem *item : m_items)
        size = size.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize FlowLayout::sizeHint() const
{
    // One row when there is room for it.
    int width = 0, height = 0;
    for (const QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        width += (width > 0 ? m_spacing : 0) + item->sizeHint().width();
        height = qMax(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return QSize(width + m.left() + m.right(), height + m.top() + m.bottom());
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect &rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    int x = area.x(), y = area.y(), rowHeight = 0;
    // Items of a row share its height and are centred in it.
    QList<QPair<QLayoutItem *, QPoint>> row;
    auto placeRow = [&] {
        if (apply) {
            for (const auto &placed : qAsConst(row)) {
                const QSize size = placed.first->sizeHint().boundedTo(QSize(area.width(), QWIDGETSIZE_MAX))
                                       .expandedTo(placed.first->minimumSize());
                placed.first->setGeometry(QRect(placed.second + QPoint(0, (rowHeight - size.height()) / 2), size));
            }
        }
        row.clear();
    };
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint().boundedTo(QSize(area.width(), QWIDGETSIZE_MAX))
                               .expandedTo(item->minimumSize());
        if (x > area.x() && x + hint.width() > area.right() + 1) {
            placeRow();
            x = area.x();
            y += rowHeight + m_spacing;
            rowHeight = 0;
        }
        row.append({item, QPoint(x, y)});
        x += hint.width() + m_spacing;
        rowHeight = qMax(rowHeight, hint.height());
    }
    placeRow();
    const QMargins m = contentsMargins();
    return y + rowHeight - rect.y() + m.bottom();
}

WidthBoundBox::WidthBoundBox(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize WidthBoundBox::sizeHint() const
{
    if (!layout())
        return QWidget::sizeHint();
    return QSize(layout()->sizeHint().width(), layout()->heightForWidth(qMax(1, width())));
}

QSize WidthBoundBox::minimumSizeHint() const
{
    if (!layout())
        return QWidget::minimumSizeHint();
    return QSize(layout()->minimumSize().width(), layout()->heightForWidth(qMax(1, width())));
}

void WidthBoundBox::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Narrower: more rows, and the panel's layout must give them room.
    if (event->oldSize().width() != event->size().width())
        updateGeometry();
}

FlowBox::FlowBox(QWidget *parent)
    : WidthBoundBox(parent)
    , m_flow(new FlowLayout(this))
{
}
