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

// A parameters file with every key of the record: it is written to the
// device whole, in nine blocks (the serial number 123456789 among them).
inline bool writeWholeRecordFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QByteArray text = "bal_IDAC:131\nItenzo:1\nPmax:160000\nUk1h:40000\nUk2h:20000\nU10:2000\nU20:1000\n"
                      "a42:1e-09\na41:0.002\na40:-100\nbal_dP:3.5\n";
    text += QStringLiteral("model_name:ЛТ3920ДВ\n").toUtf8();
    text += "model_code:6\nb42:-2e-12\nb41:1e-06\nb40:0.9\nc42:-1e-12\nc41:2e-06\nc40:0.8\nKsi:1.01\n";
    for (int k = 0; k <= 10; ++k)
        text += "Kdsp" + QByteArray::number(k) + ':' + QByteArray::number(1 + k * 0.25) + '\n';
    // Above 2^24: a float would hold it as 123456792.
    text += "c43:3e-15\nserial:123456789\n";
    return f.write(text) == text.size();
}
