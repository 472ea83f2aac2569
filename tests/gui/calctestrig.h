#pragma once
// A main window connected to the virtual line with one transmitter at
// address 1, unlocked, with short link timings; and the helpers the
// calculation and parameters-dialog tests share.

#include "app/mainwindow.h"
#include "calc/dialog.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"
#include "ui_dialog.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <memory>

struct CalcRig
{
    sim::VirtualLine line;              // outlives the window, which closes its port
    sim::VirtualDevice *device = nullptr;
    std::unique_ptr<MainWindow> w;

    bool start()
    {
        if (!line.open())
            return false;
        line.setBaud(0);
        device = line.addDevice(1);
        w.reset(new MainWindow);
        w->ui->lineEditPassword->setText(QStringLiteral("7391"));
        w->ui->comboBoxNamePort->setEditText(line.portName());
        w->ui->buttonConnectPort->click();
        w->ui->comboBoxMainAddr->setCurrentIndex(1);
        w->pollPeriod = 30;
        w->pollTimeout = 500;
        w->pollRepeats = 1;
        return w->hartLink()->isPortOpen();
    }

    Dialog *dialog() const { return w->parametersDialog(); }
    Ui::Dialog *form() const { return w->parametersDialog()->form(); }
    QTextEdit *pane() const { return w->ui->textEditStatusCalibration; }
};

// Colour of the text fragment of a pane that holds text (invalid when none).
inline QColor colourOfText(QTextEdit *pane, const QString &text)
{
    const QString wanted = text.trimmed();
    for (QTextBlock b = pane->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(wanted))
                return it.fragment().charFormat().foreground().color();
        }
    }
    return QColor();
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
