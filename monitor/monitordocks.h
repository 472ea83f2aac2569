#pragma once
// Where the monitor's panels live in the main window, and how the window
// makes room for them on a small screen: the tabs in a scroll area that
// gives way to a panel below them, the three panels docked together (one
// tab each) beside the tabs on a wide screen and below them on a narrow
// one, sized when first shown, and the poll table's rows kept in view.

#include <QString>

class LineMonitor;
class QDockWidget;
class QMainWindow;
class QScrollArea;
class QWidget;

namespace MonitorDocks {

// A panel: the content in a scroll area that scrolls only up and down.
QDockWidget *make(QMainWindow *window, const QString &name, const QString &title, QWidget *content);
// Puts the window's tabs (its central widget) into a scroll area and
// makes that the central widget.
QScrollArea *wrapTabs(QMainWindow *window);
// Docks the monitor's three panels together, hidden, in the default area.
void addPanels(QMainWindow *window, LineMonitor *m);
// Gives the open panels their room (first shown: the area for the screen
// the window is on, and its size), and holds the poll table's rows.
void place(QMainWindow *window, LineMonitor *m);
// `changing`, when given, is about to be shown or hidden (willShow): the
// tabs make room before the panel takes it, so the window never grows
// past the screen in between.
void keepPollRows(QMainWindow *window, LineMonitor *m, const QDockWidget *changing = nullptr,
                  bool willShow = false);
// Keeps `shown` visible exactly while `watched` is hidden.
void showWhileHidden(QWidget *watched, QWidget *shown);

} // namespace MonitorDocks
