#include "app/markglyphs.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

namespace {

class StrokePainter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto *label = static_cast<QLabel *>(watched);
        const bool tick = label->text() == QStringLiteral("✔");
        if (!tick && label->text() != QStringLiteral("❌"))
            return false;
        const int side = qMin(label->contentsRect().height(), label->fontMetrics().height());
        QRectF box(0, 0, side, side);
        box.moveCenter(QRectF(label->contentsRect()).center());
        box.adjust(side * 0.15, side * 0.15, -side * 0.15, -side * 0.15);
        QPainter p(label);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(label->palette().color(label->foregroundRole()), qMax(2.0, side * 0.16),
                      Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (tick) {
            p.drawPolyline(QPolygonF({box.topLeft() + QPointF(0, box.height() * 0.55),
                                      box.topLeft() + QPointF(box.width() * 0.38, box.height()),
                                      box.topRight()}));
        } else {
            p.drawLine(box.topLeft(), box.bottomRight());
            p.drawLine(box.topRight(), box.bottomLeft());
        }
        return true;
    }
};

} // namespace

namespace MarkGlyphs {

void drawAsStrokes(QLabel *label)
{
    const int side = label->fontMetrics().height();
    label->setMinimumSize(side, side);
    label->installEventFilter(new StrokePainter(label));
}

} // namespace MarkGlyphs
