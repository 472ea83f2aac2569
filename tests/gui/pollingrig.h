#pragma once
// A main window on an instant virtual line of transmitters, connected and
// unlocked, with fast poll timing; the poll rows are set by the test.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <initializer_list>
#include <memory>

struct PollingRig
{
    sim::VirtualLine line;
    std::unique_ptr<MainWindow> w;

    // Devices at these short addresses, told apart by their current
    // (4 + a mA) and first variable (100 + a).
    bool open(std::initializer_list<int> devices, int repeats = 1)
    {
        if (!line.open())
            return false;
        line.setBaud(0);
        for (int a : devices) {
            sim::VirtualDevice *d = line.addDevice(uint8_t(a));
            d->current = 4.0f + float(a);
            d->variables[0] = 100.0f + float(a);
        }
        w.reset(new MainWindow);
        w->ui->comboBoxNamePort->setEditText(line.portName());
        w->ui->buttonConnectPort->click();
        w->ui->lineEditPassword->setText(QStringLiteral("7391"));
        w->pollPeriod = 20;
        w->pollTimeout = 150;
        w->pollRepeats = repeats;
        return w->hartLink()->isPortOpen();
    }

    void channel(int index, int address, bool on = true)
    {
        w->pollChannels[index].enable->setChecked(on);
        w->pollChannels[index].address->setCurrentIndex(address);
    }

    // n passes of "Отправить запрос", each to its end.
    bool passes(int n)
    {
        for (int i = 0; i < n; ++i) {
            w->ui->buttonFunction3Send->click();
            if (!QTest::qWaitFor([this] { return !w->hartLink()->isQueueRunning()
                                                 && !w->hartLink()->isBusy(); }, 5000))
                return false;
        }
        return true;
    }
};
