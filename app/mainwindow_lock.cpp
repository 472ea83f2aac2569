// The interface lock. The service functions (developer, calibration and
// range-settings tabs, the calibration-capture controls, the menu) sit behind
// a password; the window starts locked and any keystroke in the password
// field locks it again before the text is checked.
//
// The password row itself stays visible while locked, otherwise the password
// could never be typed, and unlocking shows again everything locking hid.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>

namespace {
// Tabs that only the unlocked interface shows.
constexpr int lockedTabs[] = {MainWindow::TabDeveloper, MainWindow::TabCalibration,
                              MainWindow::TabKdsp};
}

// Controls that locking disables and hides.
static QList<QWidget *> lockedControls(Ui::MainWindow *ui)
{
    return {ui->buttonAddDataCoef, ui->buttonMO, ui->buttonClearMO, ui->checkBoxSamePressue,
            ui->spinBoxPressueNeg, ui->spinBoxPressuePos, ui->checkBoxCakibrationHigh,
            ui->checkBoxCakibrationMiddle, ui->checkBoxCakibrationLow, ui->buttonSetDeviceType,
            ui->pbEndCalibration, ui->pbChooseSaveDir};
}

// Controls that locking only hides.
static QList<QWidget *> hiddenControls(Ui::MainWindow *ui)
{
    return {ui->label_30, ui->spinBoxTimerInterval, ui->buttonSetPressue, ui->label_47,
            ui->label_48, ui->cbMU4var, ui->lbSaveFilesReady,
            // the group holding the capture controls would stand empty
            ui->groupBoxCalibrationCapture};
}

void MainWindow::blockInterface()
{
    for (int tab : lockedTabs)
        ui->tabWidget->setTabEnabled(tab, false);
    const QList<QWidget *> locked = lockedControls(ui);
    for (QWidget *w : locked)
        w->setEnabled(false);
    for (int tab : lockedTabs)
        ui->tabWidget->setTabVisible(tab, false);
    for (QWidget *w : locked)
        w->hide();
    for (QWidget *w : hiddenControls(ui))
        w->hide();
    ui->menuBar->hide();
    for (const MeanDisplayRow &row : qAsConst(meanDisplay)) {
        row.label->hide();
        row.field->hide();
    }
    fitChannelArea();
    onSaveFilesNotChoosen();
    ui->buttonSetPressue->setEnabled(false);
    interfaceLocked = true;
}

void MainWindow::unblockInterface()
{
    for (int tab : lockedTabs) {
        ui->tabWidget->setTabEnabled(tab, true);
        ui->tabWidget->setTabVisible(tab, true);
    }
    QWidget *const enabled[] = {ui->buttonSetPressue, ui->checkBoxSamePressue,
                                ui->spinBoxPressueNeg, ui->spinBoxPressuePos,
                                ui->checkBoxCakibrationHigh, ui->checkBoxCakibrationMiddle,
                                ui->checkBoxCakibrationLow, ui->pbEndCalibration,
                                ui->pbChooseSaveDir, ui->buttonSetDeviceType};
    for (QWidget *w : enabled)
        w->setEnabled(true);
    for (QWidget *w : lockedControls(ui))
        w->show();
    for (QWidget *w : hiddenControls(ui))
        w->show();
    ui->menuBar->show();
    for (const MeanDisplayRow &row : qAsConst(meanDisplay)) {
        row.label->show();
        row.field->show();
    }
    fitChannelArea();
    interfaceLocked = false;
}

void MainWindow::on_lineEditPassword_textChanged(const QString &text)
{
    blockInterface();
    if (text == password)
        unblockInterface();
}
