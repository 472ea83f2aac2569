#include "monitor/monitordocks.h"

#include "app/screenfit.h"
#include "monitor/linemonitor.h"

#include <QDockWidget>
#include <QEvent>
#include <QHeaderView>
#include <QLayout>
#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <functional>

namespace {

// Runs `f` after a watched widget has laid itself out anew (the tabs grew
// or shrank when the interface was locked or unlocked).
class AfterLayout : public QObject
{
public:
    AfterLayout(QObject *parent, std::function<void()> f)
        : QObject(parent)
        , m_f(std::move(f))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::LayoutRequest)
            QTimer::singleShot(0, this, m_f);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_f;
};

// The tabs' scroll area asks for the tabs' own size, not a scroll area's
// modest default: a panel below the tabs then takes the height it needs,
// not all it would like.
//
// Up and down the tabs give way only to a monitor panel below them: other
// panels there (the message log) stay as short as the tabs leave them.
class TabsScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;
    bool holdsHeight = true;
    QSize sizeHint() const override
    {
        return widget() ? widget()->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth())
                        : QScrollArea::sizeHint();
    }
    QSize minimumSizeHint() const override
    {
        QSize size = QScrollArea::minimumSizeHint();
        if (holdsHeight && widget())
            size.setHeight(widget()->minimumSizeHint().height() + 2 * frameWidth());
        return size;
    }
};

// Keeps a tool bar shown exactly while the watched widget is hidden.
class ShownWhileHidden : public QObject
{
public:
    ShownWhileHidden(QWidget *watched, QWidget *shown)
        : QObject(shown)
        , m_shown(shown)
    {
        watched->installEventFilter(this);
        m_shown->setVisible(watched->isHidden());
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            m_shown->setVisible(static_cast<QWidget *>(watched)->isHidden());
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_shown;
};

// Height of the poll table with this many one-line rows in view below its
// heading (a row's height again), and its horizontal scroll bar.
int tableHeightForRows(const QTableView *table, int rows)
{
    const int row = table->fontMetrics().height() + 6;
    return (rows + 1) * row + table->style()->pixelMetric(QStyle::PM_ScrollBarExtent)
           + 2 * table->frameWidth();
}

// The least width at which a panel's controls stay whole: its widest
// group of controls (the rest wrap below it) and its scroll bar. The panel
// is not squeezed below it, beside the tabs or floating.
void holdPanelWidths(LineMonitor *m)
{
    for (QDockWidget *d : m->docks()) {
        auto *scroll = static_cast<QScrollArea *>(d->widget());
        scroll->setMinimumWidth(scroll->widget()->minimumSizeHint().width()
                                + scroll->verticalScrollBar()->sizeHint().width());
    }
}

// Beside the tabs when the screen's width holds the tabs whole and the
// widest panel's controls next to them, below the tabs otherwise. Judged
// for the widest the window may grow on its screen, since it grows for
// the panel: a window opened narrower than its screen still gets the
// panel beside its tabs.
Qt::DockWidgetArea areaFor(const QMainWindow *window, const LineMonitor *m)
{
    if (ScreenFit::largestSize(window).isEmpty())
        return Qt::RightDockWidgetArea;
    int panel = 0;
    for (QDockWidget *d : m->docks())
        panel = qMax(panel, d->minimumSizeHint().width());
    const int tabs = m->centralScroll->widget()->minimumSizeHint().width()
                     + m->centralScroll->verticalScrollBar()->sizeHint().width();
    const int separator = window->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    return tabs + separator + panel <= ScreenFit::largestSize(window).width()
               ? Qt::RightDockWidgetArea
               : Qt::BottomDockWidgetArea;
}

// No panel docked anywhere but where the window put them.
bool panelsWherePlaced(const QMainWindow *window, const LineMonitor *m)
{
    for (QDockWidget *d : m->docks()) {
        if (!d->isFloating() && window->dockWidgetArea(d) != m->dockArea)
            return false;
    }
    return true;
}

// Rows of the poll table in view below an open panel: the tabs scroll to
// it (the poll buttons above it come along where there is room).
void showPollTable(LineMonitor *m)
{
    if (m->pollTable->isVisible())
        m->centralScroll->ensureWidgetVisible(m->pollTable, 0, 0);
}

// A panel below the tabs takes their height: the poll table keeps eight
// rows in view then, the tabs scrolling instead. Without one it is not
// held up, so that no tab scrolls for its sake on a short screen.
void holdPollRows(QMainWindow *window, LineMonitor *m, const QDockWidget *changing = nullptr,
                  bool willShow = false)
{
    // Hidden: not yet laid out, or going away with its docks.
    if (!window->isVisible())
        return;
    bool below = false;
    for (QDockWidget *d : m->docks()) {
        const Qt::DockWidgetArea area = window->dockWidgetArea(d);
        const bool shown = d == changing ? willShow : !d->isHidden();
        below = below || (shown && !d->isFloating()
                          && (area == Qt::BottomDockWidgetArea || area == Qt::TopDockWidgetArea));
    }
    // In this order, so that the tabs never hold the table's eight rows
    // whole, which would make the window taller than the screen.
    auto *table = static_cast<QTableView *>(m->pollTable);
    auto *tabs = static_cast<TabsScrollArea *>(m->centralScroll);
    // Nor do the tabs hold their height where the screen is too short for
    // them (unlocked on a 700 pixel screen): they scroll instead of pushing
    // the window past the screen's edge, which would float every panel.
    const int around = window->height() - tabs->height();
    const QSize largest = ScreenFit::largestSize(window);
    const bool tooTall = !largest.isEmpty()
                         && tabs->widget()->minimumSizeHint().height() + 2 * tabs->frameWidth() + around
                                > largest.height();
    if ((below || tooTall) && tabs->holdsHeight) {
        tabs->holdsHeight = false;
        tabs->updateGeometry();
    }
    table->setMinimumHeight(below ? tableHeightForRows(table, 8) : m->pollTableMinimum);
    if (!below && !tooTall && !tabs->holdsHeight) {
        tabs->holdsHeight = true;
        tabs->updateGeometry();
    }
}

// Gives the open panels their room. Beside the tabs: the window widens
// as far as its screen allows, and the panel takes what the tabs leave
// (never so much that the tabs would scroll across; the engineer may
// still drag it wider). Below the tabs: two fifths of the window at
// first, the tabs scrolling up and down to the poll table.
void sizeDocks(QMainWindow *window, LineMonitor *m)
{
    holdPanelWidths(m);
    holdPollRows(window, m);
    if (!window->isVisible())
        return;
    // Whatever the tabs or panels asked for, the window stays on the screen.
    ScreenFit::fit(window);
    // Placed for the screen the window is on and for the tabs as they are:
    // unlocked, the tabs are wider, and the panels go below them (beside
    // them again once locked), unless the engineer has put them elsewhere.
    const Qt::DockWidgetArea wanted = areaFor(window, m);
    if (wanted != m->dockArea && (!m->docksSized || panelsWherePlaced(window, m))) {
        m->dockArea = wanted;
        m->docksSized = false;
        QDockWidget *front = m->trendDock;
        for (QDockWidget *d : m->docks()) {
            if (d->isVisible())
                front = d;
        }
        window->addDockWidget(m->dockArea, m->trendDock);
        window->tabifyDockWidget(m->trendDock, m->statsDock);
        window->tabifyDockWidget(m->statsDock, m->logDock);
        front->raise();
    }
    QDockWidget *shown = nullptr;
    for (QDockWidget *d : m->docks()) {
        if (d->isVisible() && !d->isFloating() && window->dockWidgetArea(d) == m->dockArea) {
            shown = d;
            break;
        }
    }
    if (!shown)
        return;
    if (m->dockArea == Qt::BottomDockWidgetArea) {
        if (!m->docksSized)
            window->resizeDocks({shown}, {window->height() * 2 / 5}, Qt::Vertical);
        showPollTable(m);
    } else {
        if (!m->docksSized) {
            const QSize largest = ScreenFit::largestSize(window);
            if (window->width() < largest.width())
                window->resize(largest.width(), window->height());
        }
        QWidget *tabs = m->centralScroll->widget();
        const int overflow = tabs->minimumSizeHint().width() - m->centralScroll->viewport()->width();
        if (!m->docksSized || overflow > 0) {
            const int width = qMax(shown->minimumSizeHint().width(), shown->width() - overflow);
            window->resizeDocks({shown}, {width}, Qt::Horizontal);
        }
    }
    m->docksSized = true;
}

} // namespace

namespace MonitorDocks {

QDockWidget *make(QMainWindow *window, const QString &name, const QString &title, QWidget *content)
{
    auto *dock = new QDockWidget(title, window);
    dock->setObjectName(name);
    // In a scroll area, so that an open panel never makes the window larger
    // than a small screen: the panel scrolls instead, but only up and down;
    // across, its controls wrap to the panel's width.
    auto *scroll = new QScrollArea(dock);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    scroll->setMinimumSize(160, 120);
    dock->setWidget(scroll);
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    // The panels' tabs are cut short beside the tabs of a small screen;
    // the tab's tool tip, which is the panel's, names it whole.
    dock->setToolTip(title);
    return dock;
}

QScrollArea *wrapTabs(QMainWindow *window)
{
    // Scrolling up and down, or across once the engineer drags a panel
    // wider; the tabs' side margins make room for the vertical scroll bar.
    auto *scroll = new TabsScrollArea(window);
    scroll->setObjectName(QStringLiteral("centralScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    QWidget *tabs = window->takeCentralWidget();
    if (QLayout *layout = tabs->layout()) {
        const QMargins margins = layout->contentsMargins();
        layout->setContentsMargins(0, margins.top(), 0, margins.bottom());
    }
    scroll->setWidget(tabs);
    window->setCentralWidget(scroll);
    return scroll;
}

void addPanels(QMainWindow *window, LineMonitor *m)
{
    m->dockArea = areaFor(window, m);
    window->addDockWidget(m->dockArea, m->trendDock);
    window->tabifyDockWidget(m->trendDock, m->statsDock);
    window->tabifyDockWidget(m->statsDock, m->logDock);
    for (QDockWidget *dock : m->docks())
        dock->hide();
    // The tabs grow or shrink when the interface is locked or unlocked.
    m->centralScroll->widget()->installEventFilter(new AfterLayout(m, [window, m] { sizeDocks(window, m); }));
}

void place(QMainWindow *window, LineMonitor *m)
{
    sizeDocks(window, m);
}

void keepPollRows(QMainWindow *window, LineMonitor *m, const QDockWidget *changing, bool willShow)
{
    holdPollRows(window, m, changing, willShow);
}

void showWhileHidden(QWidget *watched, QWidget *shown)
{
    new ShownWhileHidden(watched, shown);
}

} // namespace MonitorDocks
