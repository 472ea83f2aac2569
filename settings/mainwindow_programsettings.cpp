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
// item. Returns whether one was selected.
bool selectByText(QComboBox *box, const QString &text)
{
    int at = -1;
    for (int i = 0; i < box->count() && at < 0; ++i) {
        if (box->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            at = i;
    }
    box->setCurrentIndex(at);
    return at >= 0;
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
    const SerialConfig before = link->serialConfig();
    const bool baudOk = selectByText(ui->comboBoxBaudRate, text("serial_speed"));
    const bool bitsOk = selectByText(ui->comboBoxDataBits, text("serial_nBits"));
    const bool parityOk = selectByText(ui->comboBoxParity, text("serial_parity"));
    const bool stopOk = selectByText(ui->comboBoxStopBits, text("serial_sb"));
    const bool flowOk = selectByText(ui->cbFlowControl, text("serial_fc"));
    ui->sbRTS_Delay->setValue(integer("serial_rts_delay"));

    ui->spinBoxTimer->setValue(integer("T_query"));
    ui->spinBoxTimeout->setValue(DeviceItems::programSeconds(text("timeout")));
    ui->spinBoxRepeat->setValue(integer("rep_cnt"));
    ui->spinBoxTimerFind->setValue(integer("T_query_scan"));
    ui->spinBoxTimeoutFind->setValue(DeviceItems::programSeconds(text("timeout_scan")));
    ui->spinBoxRepeatFind->setValue(integer("rep_cnt_scan"));

    onApplyComConf();

    // A list without a selection delivers 0, which is no baud rate, data-bit
    // count or stop-bit setting: the port would refuse it and the settings
    // file would keep a line the next start cannot open. Such a setting
    // keeps the value it had.
    if (!(baudOk && bitsOk && parityOk && stopOk && flowOk)) {
        SerialConfig &c = link->serialConfig();
        if (!baudOk)
            c.baudRate = before.baudRate;
        if (!bitsOk)
            c.dataBits = before.dataBits;
        if (!parityOk)
            c.parity = before.parity;
        if (!stopOk)
            c.stopBits = before.stopBits;
        if (!flowOk)
            c.flowControl = before.flowControl;
        if (!link->configurePort())
            std::fprintf(stderr, "%s\n", link->portErrorString().toUtf8().constData());
        c.save(SerialConfig::defaultPath());
    }

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
