#include "app/wheelguard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>

void WheelGuard::install()
{
    if (!qApp || qApp->findChild<WheelGuard *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    qApp->installEventFilter(new WheelGuard(qApp));
}

bool WheelGuard::passesOn(const QWidget *widget)
{
    if (!widget || widget->hasFocus())
        return false;
    // Scroll bars are what the wheel is for.
    if (qobject_cast<const QScrollBar *>(widget))
        return false;
    return qobject_cast<const QAbstractSpinBox *>(widget) || qobject_cast<const QComboBox *>(widget)
           || qobject_cast<const QAbstractSlider *>(widget)
           || widget->property("wheelNeedsFocus").toBool();
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || !watched->isWidgetType()
        || !passesOn(static_cast<QWidget *>(watched)))
        return false;
    // Ignored and filtered: the application hands the wheel on to the parent.
    event->ignore();
    return true;
}
