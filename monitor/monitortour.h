#pragma once
// The monitor's part of the screenshot tour: with a port to poll, the
// window polls three devices for a while and shows the trend, the line
// statistics and the traffic log in turn, locked and then unlocked.

#include <QString>
#include <QVector>
#include <functional>

class MainWindow;

struct MonitorTourStep
{
    QString name;
    std::function<void()> setup;    // puts the window into the state to grab
    int settleMs = 0;               // how long to let it run before the grab
};

// Empty when no port is offered (TESMAR_PORT unset).
QVector<MonitorTourStep> monitorTourSteps(MainWindow *window);
