// The two program-wide settings actions: applying the program items of the
// device data dialog to the settings tab, and restoring every default. Both
// end with the serial settings and the poll timing applied.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "devicedata/deviceitems.h"
#include "devicedata/dumpdialog.h"
#include "link/protocolcomhart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <cstdio>

namespace {
// Selects the item with that text (any case); none when there is no such
// item.
void selectByText(QComboBox *box, const QString &text)
{
    int at = -1;
    for (int i = 0; i < box->count() && at < 0; ++i) {
        if (box->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            at = i;
    }
    box->setCurrentIndex(at);
}

void selectByValue(QComboBox *box, int value)
{
    box->setCurrentIndex(box->findData(value));
}
}

void MainWindow::setupProgramSettings()
{
    connect(ui->pbResetProgramSettings, &QPushButton::clicked, this,
            &MainWindow::onResetProgramSettings);
}

void MainWindow::onApplyProgramSettings()
{
    auto text = [this](const char *key) { return dumpDialog->programText(QString::fromLatin1(key)); };
    auto integer = [&text](const char *key) { return DeviceItems::programInteger(text(key)); };

    // An item without a matching text leaves its list without a selection,
    // which shows the user what was not taken over.
    // (onApplyComConf then keeps that setting's previous value.)
    selectByText(ui->comboBoxBaudRate, text("serial_speed"));
    selectByText(ui->comboBoxDataBits, text("serial_nBits"));
    selectByText(ui->comboBoxParity, text("serial_parity"));
    selectByText(ui->comboBoxStopBits, text("serial_sb"));
    selectByText(ui->cbFlowControl, text("serial_fc"));
    ui->sbRTS_Delay->setValue(integer("serial_rts_delay"));

    ui->spinBoxTimer->setValue(integer("T_query"));
    ui->spinBoxTimeout->setValue(DeviceItems::programSeconds(text("timeout")));
    ui->spinBoxRepeat->setValue(integer("rep_cnt"));
    ui->spinBoxTimerFind->setValue(integer("T_query_scan"));
    ui->spinBoxTimeoutFind->setValue(DeviceItems::programSeconds(text("timeout_scan")));
    ui->spinBoxRepeatFind->setValue(integer("rep_cnt_scan"));

    onApplyComConf();

    applyMessegeSettings();
    showDeviceDataMessage(dumpDialog.get(), false, QStringLiteral("Применение настроек"),
                          QStringLiteral("Настройки программы применены"));
}

void MainWindow::onResetProgramSettings()
{
    selectByValue(ui->comboBoxBaudRate, 1200);
    selectByValue(ui->comboBoxDataBits, 8);
    selectByValue(ui->comboBoxParity, 3);
    selectByValue(ui->comboBoxStopBits, 1);
    selectByValue(ui->cbFlowControl, 1);
    ui->sbRTS_Delay->setValue(10);

    ui->spinBoxTimer->setValue(500);
    ui->spinBoxTimeout->setValue(3.0);
    ui->spinBoxRepeat->setValue(3);
    ui->spinBoxTimerFind->setValue(500);
    ui->spinBoxTimeoutFind->setValue(3.0);
    ui->spinBoxRepeatFind->setValue(1);

    onApplyComConf();
    applyMessegeSettings();

    for (const PollChannel &ch : qAsConst(pollChannels))
        ch.enable->setChecked(false);
    resetAddress();

    showDeviceDataMessage(this, false, QStringLiteral("Сброс настроек"),
                          QStringLiteral("Применены настройки программы по-умолчанию"));
}
