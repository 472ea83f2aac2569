// The serial-port settings of the settings tab: five choice lists and the RTS
// delay, filled from the link's record and applied back to it and to the
// settings file.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"

#include <QComboBox>
#include <QSpinBox>
#include <cstdio>

namespace {
struct Choice
{
    const char *text;
    int value;
};

const Choice baudRates[] = {{"1200", 1200},   {"2400", 2400},   {"4800", 4800}, {"9600", 9600},
                            {"19200", 19200}, {"38400", 38400}, {"57600", 57600}};
const Choice dataBits[] = {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}};
const Choice parities[] = {{"Нет", 0}, {"Четный", 2}, {"Нечетный", 3}, {"Метка", 5}, {"Пробел", 4}};
const Choice stopBits[] = {{"1", 1}, {"1.5", 3}, {"2", 2}};
const Choice flowControls[] = {{"нет", 0}, {"да", 1}};

// Fills the list and selects the item holding value, or the fallback item.
template <int N>
void fillChoice(QComboBox *box, const Choice (&items)[N], int value, int fallback)
{
    box->clear();
    for (const Choice &c : items)
        box->addItem(QString::fromUtf8(c.text), c.value);
    const int at = box->findData(value);
    box->setCurrentIndex(at >= 0 ? at : fallback);
}

// A list left without a selection (a program item that matched no entry)
// keeps the record's value: 0 is no baud rate, data-bit count or stop-bit
// setting, and a settings file holding it could not open the port at the
// next start.
int selectedValue(const QComboBox *box, int current)
{
    return box->currentIndex() < 0 ? current : box->currentData().toInt();
}
}

void MainWindow::fillSerialSettings()
{
    const SerialConfig &c = link->serialConfig();
    fillChoice(ui->comboBoxBaudRate, baudRates, c.baudRate, 0);
    fillChoice(ui->comboBoxDataBits, dataBits, c.dataBits, 3);
    fillChoice(ui->comboBoxParity, parities, c.parity, 2);
    fillChoice(ui->comboBoxStopBits, stopBits, c.stopBits, 0);
    fillChoice(ui->cbFlowControl, flowControls, c.flowControl, 0);
    ui->sbRTS_Delay->setValue(c.rtsDelay);
}

void MainWindow::onApplyComConf()
{
    SerialConfig &c = link->serialConfig();
    c.baudRate = selectedValue(ui->comboBoxBaudRate, c.baudRate);
    c.dataBits = selectedValue(ui->comboBoxDataBits, c.dataBits);
    c.parity = selectedValue(ui->comboBoxParity, c.parity);
    c.stopBits = selectedValue(ui->comboBoxStopBits, c.stopBits);
    c.flowControl = selectedValue(ui->cbFlowControl, c.flowControl);
    c.rtsDelay = uint16_t(ui->sbRTS_Delay->value());

    // Applied whether or not the port is open: a closed port keeps the
    // settings for its next open.
    if (!link->configurePort())
        std::fprintf(stderr, "%s\n", link->portErrorString().toUtf8().constData());

    // A file that cannot be written is not reported; the record keeps the
    // values for this session.
    c.save(SerialConfig::defaultPath());
}
