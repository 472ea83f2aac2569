#pragma once
// What the main window keeps for the line monitor: the trend store and the
// monitor settings, the docks with their views, the stability marks beside
// the poll rows, and the one timer that refreshes whatever is shown.
//
// Created first among the monitor's objects and a child of the window, so
// it goes before the docks when the window is destroyed; every connection
// of the monitor uses it as context and dies with it. The stores are shared
// with the views that draw them.

#include "monitor/monitorsettings.h"
#include "monitor/rotatinglogfile.h"
#include "monitor/stability.h"
#include "monitor/trafficlog.h"
#include "monitor/trendstore.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QVector>
#include <functional>
#include <memory>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QScrollArea;
class QTimer;
class QToolBar;
class LineStatsView;
class TrafficLogView;
class TrendView;

class LineMonitor : public QObject
{
    Q_OBJECT
public:
    explicit LineMonitor(QObject *parent = nullptr);

    // Milliseconds since the epoch at start, advanced by a monotonic clock:
    // readable as wall time, and never running backwards.
    qint64 now() const { return m_epochStart + m_clock.elapsed(); }

    std::shared_ptr<TrendStore> trendStore = std::make_shared<TrendStore>();
    std::shared_ptr<TrafficLog> trafficLog = std::make_shared<TrafficLog>();
    RotatingLogFile trafficFile;
    MonitorSettings settings;

    // The three panels, in the order of their tabs.
    QList<QDockWidget *> docks() const { return {trendDock, statsDock, logDock}; }
    QDockWidget *trendDock = nullptr;
    TrendView *trend = nullptr;
    QDockWidget *statsDock = nullptr;
    LineStatsView *stats = nullptr;
    QDockWidget *logDock = nullptr;
    TrafficLogView *log = nullptr;
    QMenu *menu = nullptr;
    // The panels' switches: a tool bar of their own while the menu bar is
    // hidden (locked), in the menu bar's corner while it is shown.
    QToolBar *toolBar = nullptr;
    QToolBar *cornerBar = nullptr;
    // The tabs scroll rather than let an open panel push the window past
    // the screen; the panels open together in this area.
    QScrollArea *centralScroll = nullptr;
    Qt::DockWidgetArea dockArea = Qt::RightDockWidgetArea;
    bool docksSized = false;
    // The poll table, and its least height while no panel is below the tabs.
    QWidget *pollTable = nullptr;
    int pollTableMinimum = 0;
    QTimer *refreshTimer = nullptr;
    // Ticks of the timer since the statistics and the traffic log were
    // last brought up to date.
    int tableTick = 0;

    // Beside every poll row, and what it shows.
    QVector<QLabel *> marks;
    QVector<StabilityVerdict> verdicts;
    bool allStable = false;
    // Answers taken before this (now()'s clock) earn no mark: the poll
    // stopped, or the line was lost or connected again, since.
    qint64 judgeSince = 0;

    // The save dialogs of the monitor: the chosen path, empty if cancelled.
    // Tests and tools answer them by replacing the function.
    struct Dialogs
    {
        std::function<QString(const QString &title, const QString &suggested,
                              const QString &filter)> saveFile;
    };
    Dialogs dialogs;

private:
    QElapsedTimer m_clock;
    qint64 m_epochStart = 0;
};
