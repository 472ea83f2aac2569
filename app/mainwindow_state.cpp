// The persisted window state: read once during construction, written once in
// the destructor. Keys and their forms are fixed; the last connected port is
// kept next to them so that it is offered first at the next start.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "polling/pollchannelsettings.h"
#include "settings/benchprofile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>

namespace {
const QString keyLastPort = QStringLiteral("/Settings/LastPort");
}

void MainWindow::loadPreferredPort()
{
    // An explicit choice for this run (run.sh, a test rig) wins over the
    // port remembered from the last session.
    m_lastPort = BenchProfile::settings().value(keyLastPort).toString();
    const QString fromEnv = qEnvironmentVariable("TESMAR_PORT");
    m_preferredPort = fromEnv.isEmpty() ? m_lastPort : fromEnv;
}

void MainWindow::readSettings()
{
    QSettings s = BenchProfile::settings();

    // Read in this order: the by-name handlers are already connected, so
    // restoring the register preset runs it first and the stored data count
    // and register address then override what it set. The preset is applied
    // even when its index does not change (the first one, at a first start):
    // the fields must show the register the list shows, or a request would
    // go to register 0 by accident. Keys never stored leave the preset's values.
    ui->tabWidget->setCurrentIndex(s.value(QStringLiteral("/Parameters/CurrentTab")).toInt());
    ui->comboBoxRegisters->setCurrentIndex(s.value(QStringLiteral("/Parameters/CurrentRegisters")).toInt());
    on_comboBoxRegisters_currentIndexChanged(ui->comboBoxRegisters->currentIndex());
    ui->comboBoxMainAddr->setCurrentIndex(s.value(QStringLiteral("/Parameters/CurrentAddr")).toInt());
    ui->spinBoxSymPreamble->setValue(s.value(QStringLiteral("/Parameters/CurrentPreamble")).toInt());
    ui->checkLongFrame->setChecked(s.value(QStringLiteral("/Parameters/CurrentFrame")).toBool());
    if (s.contains(QStringLiteral("/Parameters/CurrentData91")))
        ui->spinBoxSymData91->setValue(s.value(QStringLiteral("/Parameters/CurrentData91")).toInt());
    if (s.contains(QStringLiteral("/Parameters/CurrentAddr91")))
        ui->lineAddr91->setText(s.value(QStringLiteral("/Parameters/CurrentAddr91")).toString());
    ui->comboBoxFunc->setCurrentIndex(s.value(QStringLiteral("/Parameters/CurrentFunc")).toInt());

    // Missing keys read as 0 and each field raises that to its minimum.
    // Time-outs are stored in ms and shown in seconds; divided as a real
    // number so that 2500 ms comes back as 2.5 s.
    ui->spinBoxTimer->setValue(s.value(QStringLiteral("/Settings/Timer")).toInt());
    ui->spinBoxTimeout->setValue(s.value(QStringLiteral("/Settings/TimerTimeout")).toInt() / 1000.0);
    ui->spinBoxRepeat->setValue(s.value(QStringLiteral("/Settings/Repeat")).toInt());
    ui->spinBoxTimerFind->setValue(s.value(QStringLiteral("/Settings/TimerFind")).toInt());
    ui->spinBoxTimeoutFind->setValue(s.value(QStringLiteral("/Settings/TimerTimeoutFind")).toInt() / 1000.0);
    ui->spinBoxRepeatFind->setValue(s.value(QStringLiteral("/Settings/RepeatFind")).toInt());

    const PollChannelSettings::Entries channelState =
        PollChannelSettings::load(s, pollChannels.isEmpty() ? 0 : pollChannels[0].address->count());
    for (int i = 0; i < pollChannels.size() && i < PollChannelCount; ++i) {
        pollChannels[i].enable->setChecked(channelState[i].checkState == Qt::Checked);
        QComboBox *box = pollChannels[i].address;
        const int address = channelState[i].address;
        if (address < 0) {
            box->setCurrentIndex(channelState[i].addressIndex);
            continue;
        }
        // The address chosen, wherever it stands in the list now.
        int at = box->findData(address);
        if (at < 0) {
            box->addItem(pollAddressText(address), address);
            at = box->count() - 1;
        }
        box->setCurrentIndex(at);
    }

    applyMessegeSettings();
}

void MainWindow::writeSettings()
{
    QSettings s = BenchProfile::settings();
    s.setValue(QStringLiteral("/Parameters/CurrentTab"), ui->tabWidget->currentIndex());
    s.setValue(QStringLiteral("/Parameters/CurrentRegisters"), ui->comboBoxRegisters->currentIndex());
    s.setValue(QStringLiteral("/Parameters/CurrentAddr"), ui->comboBoxMainAddr->currentIndex());
    s.setValue(QStringLiteral("/Parameters/CurrentPreamble"), ui->spinBoxSymPreamble->text());
    s.setValue(QStringLiteral("/Parameters/CurrentFrame"), int(ui->checkLongFrame->checkState()));
    s.setValue(QStringLiteral("/Parameters/CurrentData91"), ui->spinBoxSymData91->value());
    s.setValue(QStringLiteral("/Parameters/CurrentAddr91"), ui->lineAddr91->text());
    s.setValue(QStringLiteral("/Parameters/CurrentFunc"), ui->comboBoxFunc->currentIndex());

    // The applied values, not whatever the fields show now.
    s.setValue(QStringLiteral("/Settings/Timer"), pollPeriod);
    s.setValue(QStringLiteral("/Settings/TimerTimeout"), pollTimeout);
    s.setValue(QStringLiteral("/Settings/Repeat"), pollRepeats);
    s.setValue(QStringLiteral("/Settings/TimerFind"), scanPeriod);
    s.setValue(QStringLiteral("/Settings/TimerTimeoutFind"), scanTimeout);
    s.setValue(QStringLiteral("/Settings/RepeatFind"), scanRepeats);

    PollChannelSettings::Entries channelState{};
    for (int i = 0; i < pollChannels.size() && i < PollChannelCount; ++i) {
        channelState[i].checkState = int(pollChannels[i].enable->checkState());
        channelState[i].addressIndex = pollChannels[i].address->currentIndex();
        const QString text = pollChannels[i].address->currentText();
        channelState[i].address = text.isEmpty() ? -1 : parsePollAddressText(text);
    }
    PollChannelSettings::save(s, channelState);

    if (!m_lastPort.isEmpty())
        s.setValue(keyLastPort, m_lastPort);
    s.sync();
}
