#pragma once
// The main window's status bar, message log and progress state, shared by
// app/mainwindow_statusbar.cpp, app/mainwindow_messagelog.cpp and
// app/mainwindow_progress.cpp. A child object of the window.

#include "app/linestatus.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class MessageLog;
class OperationProgress;
class ProgressPanel;
class QAbstractButton;
class QDockWidget;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

class StatusBarParts : public QObject
{
public:
    using QObject::QObject;

    // Status bar
    QLabel *portLabel = nullptr;
    QLabel *operationLabel = nullptr;
    QLabel *pollLabel = nullptr;
    QToolButton *logButton = nullptr;
    ProgressPanel *statusPanel = nullptr;
    ProgressPanel *dumpPanel = nullptr;
    ProgressPanel *parametersPanel = nullptr;

    LineStatus::PortState portState = LineStatus::PortState::NotConnected;
    QString portDetail;
    QString portName;

    int pollAnswers = 0;
    int pollBadChecksums = 0;
    int pollTimeouts = 0;

    // Message log
    MessageLog *log = nullptr;
    QDockWidget *logDock = nullptr;
    QListView *logView = nullptr;

    // Progress
    OperationProgress *progress = nullptr;
    QTimer *watch = nullptr;
    QString chainFile;          // the parameters file of a save chain

    // Scan
    QVector<int> scanFound;
    QPointer<QPushButton> fillButton;
};
