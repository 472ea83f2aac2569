#include "app/wheelguard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QPointer>
#include <QScrollBar>
#include <QWheelEvent>

namespace {
// Click or Tab, never the wheel: the wheel would focus the box it turns over.
void keepWheelFocusOff(QWidget *widget)
{
    if (widget->focusPolicy() == Qt::WheelFocus && WheelGuard::guards(widget))
        widget->setFocusPolicy(Qt::StrongFocus);
}
}

void WheelGuard::install()
{
    static QPointer<WheelGuard> installed;
    if (!qApp || installed)
        return;
    installed = new WheelGuard(qApp);
    qApp->installEventFilter(installed);
    // Widgets polished before the guard came; the rest as they are polished.
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets)
        keepWheelFocusOff(widget);
}

bool WheelGuard::guards(const QWidget *widget)
{
    // Scroll bars are what the wheel is for.
    if (!widget || qobject_cast<const QScrollBar *>(widget))
        return false;
    return qobject_cast<const QAbstractSpinBox *>(widget) || qobject_cast<const QComboBox *>(widget)
           || qobject_cast<const QAbstractSlider *>(widget)
           || widget->property("wheelNeedsFocus").toBool();
}

bool WheelGuard::passesOn(const QWidget *widget)
{
    return widget && !widget->hasFocus() && guards(widget);
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    // Polished once, before it is first shown, its constructor's focus
    // policy set.
    if (event->type() == QEvent::Polish && watched->isWidgetType()) {
        keepWheelFocusOff(static_cast<QWidget *>(watched));
        return false;
    }
    if (event->type() != QEvent::Wheel || !watched->isWidgetType()
        || !passesOn(static_cast<QWidget *>(watched)))
        return false;
    // Handed up the parents, as the application hands on a wheel nobody
    // takes, until one takes it (the scroll area of the page); done here
    // rather than left to the application, which hands on only the wheel
    // of the mouse itself.
    const auto *wheel = static_cast<QWheelEvent *>(event);
    QWidget *from = static_cast<QWidget *>(watched);
    QPointF at = wheel->position();
    // (The guarded widget's own WA_NoMousePropagation, set by a plot, is
    // about the wheel it takes, not this one.)
    while (!from->isWindow()
           && (from == watched || !from->testAttribute(Qt::WA_NoMousePropagation))) {
        QWidget *parent = from->parentWidget();
        if (!parent)
            break;
        at += from->pos();
        QWheelEvent handed(at, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
                           wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted(),
                           wheel->source());
        handed.ignore();
        QApplication::sendEvent(parent, &handed);
        if (handed.isAccepted())
            break;
        from = parent;
    }
    event->accept();
    return true;
}
