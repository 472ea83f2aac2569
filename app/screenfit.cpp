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

static QRect &areaOverride()
{
    static QRect area;
    return area;
}

void setAvailableAreaOverride(const QRect &area)
{
    areaOverride() = area;
}

QRect availableArea(const QWidget *window)
{
    if (!areaOverride().isEmpty())
        return areaOverride();
    const QScreen *screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QSize largestSize(const QWidget *window)
{
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return QSize();
    // The frame once the window has one; until then, room for a title bar.
    const QSize frameSize = window->frameGeometry().size() - window->size();
    return QSize(qMax(200, area.width() - frameSize.width()),
                 qMax(200, area.height() - qMax(FrameAllowance, frameSize.height())));
}

void fit(QWidget *window)
{
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return;
    const QSize wanted = window->size().boundedTo(largestSize(window));
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
