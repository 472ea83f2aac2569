#pragma once
// The guided run's part of the screenshot tour: with a port to a line of
// transmitters, the run's window at each step - the folder, the plan read
// from the devices, the temperature and pressure requests, a point being
// captured, a verification request and the end of the batch. A short plan
// (three points, three answers) keeps the tour quick; an operator stand-in
// sets the bench as asked (through the line's control input named by
// TESMAR_BENCH) and confirms what is not shot, so the batch really passes.

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
