#include "app/screenfit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
// What a window manager's title bar and frame usually take.
constexpr int FrameAllowance = 40;

class FitOnShow : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *w = qobject_cast<QWidget *>(watched))
                ScreenFit::fit(w);
        }
        return false;
    }
};
}

namespace ScreenFit {

void fit(QWidget *window)
{
    QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int maxW = qMax(200, area.width());
    const int maxH = qMax(200, area.height() - FrameAllowance);
    const QSize wanted = window->size().boundedTo(QSize(maxW, maxH));
    if (wanted != window->size())
        window->resize(wanted.expandedTo(window->minimumSize()));
    QRect frame = window->frameGeometry();
    if (!area.contains(frame)) {
        const int x = qBound(area.left(), frame.left(), qMax(area.left(), area.right() - frame.width()));
        const int y = qBound(area.top(), frame.top(), qMax(area.top(), area.bottom() - frame.height()));
        window->move(x, y);
    }
}

void fitOnShow(QWidget *window)
{
    window->installEventFilter(new FitOnShow(window));
}

} // namespace ScreenFit
