// Construction steps and answer handlers of the subsystems that have not yet
// taken them over. A subsystem that implements one defines it in its own
// folder (<subsystem>/mainwindow_<subsystem>.cpp) and removes it here.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

// ---- polling and calibration capture ----
void MainWindow::initCalibrationFiles() {}
void MainWindow::setupPolling()
{
    connect(ui->pbEndCalibration, &QPushButton::clicked, this, &MainWindow::onSaveFilesNotChoosen);
}
void MainWindow::handlePollingAnswer() {}

void MainWindow::onSaveFilesNotChoosen()
{
    // Ends a save-directory selection: the channel list is free again and
    // the readiness mark turns red.
    for (const PollChannel &ch : qAsConst(pollChannels)) {
        ch.enable->setEnabled(true);
        ch.address->setEnabled(true);
    }
    ui->lbSaveFilesReady->setText(QStringLiteral("❌"));
    QPalette p = ui->lbSaveFilesReady->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::WindowText, Qt::red);
    ui->lbSaveFilesReady->setPalette(p);
}

// ---- developer console ----
void MainWindow::setupConsole() {}
void MainWindow::showConsoleAnswer() {}

// ---- device scan ----
void MainWindow::setupScan() {}
void MainWindow::handleScanAnswer() {}
void MainWindow::handleScanTimeout() {}

// ---- device operations and coefficient tabs ----
void MainWindow::setupDeviceOperations() {}
void MainWindow::handleDeviceAnswer(int) {}

// ---- coefficient calculation ----
void MainWindow::setupCalc() {}

// ---- device data ----
void MainWindow::setupDeviceData() {}
void MainWindow::handleDeviceDataAnswer(int) {}

// ---- program settings apply and reset ----
void MainWindow::setupProgramSettings() {}
