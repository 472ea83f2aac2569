#pragma once
// Input as the windowing system hands it to the program: queued on the
// platform's side and delivered as a spontaneous event, so that Qt's own
// handling (the focus a wheel or a click gives a widget) happens before any
// filter or widget sees it, as on a real desktop. An event sent straight to
// a widget skips that handling.

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

namespace PlatformInput {

// One notch of the wheel (down for a negative angle) at `at` in `widget`,
// its centre by default; returns once the event has been delivered.
inline void wheel(QWidget *widget, int angle = -120, QPoint at = QPoint(-1, -1))
{
    if (at.x() < 0)
        at = widget->rect().center();
    QWidget *top = widget->window();
    QWindow *window = top->windowHandle();
    const QPointF local = widget->mapTo(top, at);
    QWindowSystemInterface::handleWheelEvent(window, local, window->mapToGlobal(local.toPoint()),
                                             QPoint(), QPoint(0, angle));
    QWindowSystemInterface::flushWindowSystemEvents();
    QCoreApplication::processEvents();
}

} // namespace PlatformInput
