#pragma once
// Renders the main window, unlocked, tab by tab into PNG files: once at the
// initial size and once filling the screen. Driven by timers so the window
// lays itself out between shots.

#include <QObject>
#include <QSize>
#include <QString>
#include <QVector>
#include <functional>

class MainWindow;

class ScreenshotTour : public QObject
{
    Q_OBJECT
public:
    ScreenshotTour(MainWindow *window, const QString &directory, QObject *parent = nullptr);
    void start();

signals:
    void finished();

private:
    struct Shot
    {
        QSize size;
        int tab;            // -1: the locked window as it starts, -2: as setup leaves it
        QString name;
        std::function<void()> setup = {};
        int settleMs = 0;   // 0: the usual settling time
    };
    void next();

    MainWindow *m_window;
    QString m_directory;
    QVector<Shot> m_shots;
    int m_index = 0;
};
