#include "app/elidinglabel.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

ElidingLabel::ElidingLabel(QWidget *parent, Qt::TextElideMode mode)
    : QLabel(parent)
    , m_mode(mode)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize ElidingLabel::minimumSizeHint() const
{
    if (wordWrap())
        return QLabel::minimumSizeHint();
    const QSize natural = QLabel::minimumSizeHint();
    return QSize(qMin(natural.width(), fontMetrics().horizontalAdvance(QStringLiteral("…")) * 6),
                 natural.height());
}

void ElidingLabel::paintEvent(QPaintEvent *event)
{
    const QRect area = contentsRect();
    if (wordWrap() || fontMetrics().horizontalAdvance(text()) <= area.width()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    QStyleOption option;
    option.initFrom(this);
    const QString shown = fontMetrics().elidedText(text(), m_mode, area.width());
    style()->drawItemText(&painter, area, int(alignment()), option.palette, isEnabled(), shown,
                          foregroundRole());
}
