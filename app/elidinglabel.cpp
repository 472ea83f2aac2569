#include "app/elidinglabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

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

bool ElidingLabel::isElided() const
{
    return !wordWrap() && fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QString ElidingLabel::fullToolTip() const
{
    if (!isElided() || toolTip() == text())
        return toolTip();
    return toolTip().isEmpty() ? text() : text() + QLatin1Char('\n') + toolTip();
}

bool ElidingLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && isElided()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), fullToolTip(), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidingLabel::paintEvent(QPaintEvent *event)
{
    const QRect area = contentsRect();
    if (!isElided()) {
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
