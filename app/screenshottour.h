#pragma once
// Renders the screen, step by step, into PNG files for review: the locked
// window, every tab unlocked, the message log, and every dialog, at the size
// of the screen it runs on (the window filling it, as maximised). With a
// line to talk to (TESMAR_PORT, a virtual line of transmitters), also a
// real scan with its progress and fill offer, and a bulk read, whole and
// cancelled. Driven by timers so that the window lays itself out and the
// link runs between shots.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>
#include <functional>

class MainWindow;
class QWidget;

class ScreenshotTour : public QObject
{
    Q_OBJECT
public:
    ScreenshotTour(MainWindow *window, const QString &directory, QObject *parent = nullptr);
    void start();
    // Checks the first three poll rows for the tour line's devices 01, 02
    // and 05, as the monitor and the guided run's tours both start.
    static void checkTourDevices(MainWindow *window);

signals:
    void finished();

private:
    struct Step
    {
        QString name;                   // file name without extension; empty: no shot
        std::function<void()> setup;    // run first
        std::function<bool()> ready;    // then waited for (none: at once)
    };
    void add(const QString &name, std::function<void()> setup, std::function<bool()> ready = nullptr);
    void addTabs();
    void addDialogs();
    void addLineSteps();
    void runStep();
    void poll();
    void shoot();

    MainWindow *m_window;
    QString m_directory;
    QString m_prefix;
    QVector<Step> m_steps;
    int m_index = 0;
    int m_waitedMs = 0;
    QVector<QPointer<QWidget>> m_transient;     // windows the tour opened itself
};
