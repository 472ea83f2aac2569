#pragma once
// A main window connected to one virtual transmitter at address 0, unlocked,
// with short poll timing, for the tests of the device operation slots. The
// operations write their diagnostics to the standard error stream
// (common/capture.h catches them).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/capture.h"
#include "common/sandbox.h"
#include "panecolour.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextEdit>
#include <memory>

namespace bench {

inline const QColor successColour(7, 158, 0);

struct DeviceBench
{
    sim::VirtualLine line;
    sim::VirtualDevice *device = nullptr;
    std::unique_ptr<MainWindow> window;

    // Empty on success, else what went wrong.
    QString start(bool connectPort = true)
    {
        if (!line.open())
            return line.errorString();
        line.setBaud(0);
        device = line.addDevice(0);
        window.reset(new MainWindow);
        window->ui->lineEditPassword->setText(QStringLiteral("7391"));
        window->pollPeriod = 20;
        window->pollTimeout = 1000;
        window->pollRepeats = 1;
        if (!connectPort)
            return QString();
        window->ui->comboBoxNamePort->setEditText(line.portName());
        window->ui->buttonConnectPort->click();
        return window->hartLink()->isPortOpen() ? QString() : QStringLiteral("port did not open");
    }

    MainWindow &w() { return *window; }
    Ui::MainWindow *ui() { return window->ui; }

    template <typename T = QWidget>
    T *widget(const QString &name) { return window->findChild<T *>(name); }

    // "name=value": a line edit takes the text, a spin box or slider the
    // number, a combo box selects the item with that text, a check box or
    // radio button is checked by "1".
    bool setInput(const QString &assignment)
    {
        const int eq = assignment.indexOf(QLatin1Char('='));
        const QString name = assignment.left(eq);
        const QString value = assignment.mid(eq + 1);
        QObject *o = window->findChild<QObject *>(name);
        if (auto *e = qobject_cast<QLineEdit *>(o)) {
            e->setText(value);
        } else if (auto *s = qobject_cast<QSpinBox *>(o)) {
            s->setValue(value.toInt());
        } else if (auto *d = qobject_cast<QDoubleSpinBox *>(o)) {
            d->setValue(value.toDouble());
        } else if (auto *sl = qobject_cast<QSlider *>(o)) {
            sl->setValue(value.toInt());
        } else if (auto *c = qobject_cast<QComboBox *>(o)) {
            const int i = c->findText(value);
            if (i < 0)
                return false;
            c->setCurrentIndex(i);
        } else if (auto *b = qobject_cast<QAbstractButton *>(o)) {
            b->setChecked(value == QLatin1String("1"));
        } else {
            return false;
        }
        return true;
    }

    // A register of the device read as a number of the given kind.
    double memory(uint16_t reg, const QString &kind) const
    {
        if (kind == QLatin1String("u8"))
            return device->u8(reg);
        if (kind == QLatin1String("u16"))
            return device->u16(reg);
        if (kind == QLatin1String("u32"))
            return device->u32(reg);
        return double(device->f32(reg));
    }

    QString paneText(const QString &pane) { return widget<QTextEdit>(pane)->toPlainText(); }
};

inline QColor baseColour(QWidget *w)
{
    return w->palette().color(QPalette::Base);
}

} // namespace bench
