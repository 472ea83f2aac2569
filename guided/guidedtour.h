#pragma once
// The guided run's part of the screenshot tour: with a port to a line of
// transmitters, the run's window at each step - the folder, the plan read
// from the devices, the temperature and pressure requests, a point being
// captured, a verification request and the end of the batch. A short plan
// (two points, three answers) keeps the tour quick; an operator stand-in
// confirms what is not shot.

#include <QString>
#include <QVector>
#include <functional>

class MainWindow;

struct GuidedTourStep
{
    QString name;
    std::function<void()> setup;
    std::function<bool()> ready;
};

// Empty when no port is offered (TESMAR_PORT unset).
QVector<GuidedTourStep> guidedTourSteps(MainWindow *window);
