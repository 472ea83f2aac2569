#include "monitor/monitortour.h"

#include "app/mainwindow.h"
#include "app/screenshottour.h"
#include "ui_mainwindow.h"

#include "monitor/linemonitor.h"
#include "monitor/trendview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {
// The three panels open, as they open together, with this one in front.
void showInFront(LineMonitor *m, QDockWidget *dock)
{
    for (QDockWidget *d : m->docks())
        d->show();
    dock->raise();
}
}

QVector<MonitorTourStep> monitorTourSteps(MainWindow *w)
{
    if (qEnvironmentVariableIsEmpty("TESMAR_PORT"))
        return {};
    LineMonitor *m = w->lineMonitor();
    // Locked first, as the window starts; the panels as they first open.
    auto start = [w, m] {
        w->ui->lineEditPassword->setText(QString());
        w->ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
        w->ui->comboBoxNamePort->setEditText(w->preferredPort());
        w->ui->buttonConnectPort->click();
        ScreenshotTour::checkTourDevices(w);
        m->trend->windowBox->setCurrentIndex(0);
        m->trend->stableCountBox->setValue(5);
        w->ui->buttonFunction3Loop->click();
        showInFront(m, m->trendDock);
    };
    auto unlock = [w, m] {
        w->ui->lineEditPassword->setText(QStringLiteral("7391"));
        w->ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
        showInFront(m, m->trendDock);
    };
    return {
        {QStringLiteral("locked_monitor_trend"), start, 15000},
        {QStringLiteral("locked_monitor_statistics"), [m] { showInFront(m, m->statsDock); }, 1500},
        {QStringLiteral("locked_monitor_traffic"), [m] { showInFront(m, m->logDock); }, 1500},
        {QStringLiteral("unlocked_monitor_trend"), unlock, 2000},
        {QStringLiteral("unlocked_monitor_statistics"), [m] { showInFront(m, m->statsDock); }, 1500},
        {QStringLiteral("unlocked_monitor_traffic"), [w, m] {
             showInFront(m, m->logDock);
             w->ui->buttonStopRequstFunc3->click();
         }, 1500},
    };
}
