// The main window's part of the guided calibration run: the menu action
// behind the interface lock and the window it opens over the main window.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "guided/guideddialog.h"
#include "guided/guidedrun.h"
#include "history/historyguided.h"
#include "link/protocolcomhart.h"
#include "settings/benchprofile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

namespace {
const char *const LastRunKey = "/Guided/lastRunDir";
}

void MainWindow::setupGuided()
{
    m_guidedAction = new QAction(QStringLiteral("Пошаговая калибровка…"), this);
    m_guidedAction->setObjectName(QStringLiteral("actionGuidedRun"));
    ui->menu->addAction(m_guidedAction);
    connect(m_guidedAction, &QAction::triggered, this, &MainWindow::showGuidedRun);

    // A run the program was closed (or killed) in the middle of is offered
    // again at start, once the window stands.
    const QString last = BenchProfile::settings().value(QLatin1String(LastRunKey)).toString();
    QString where, damage;
    if (GuidedRun::resumable(last, &where, &damage))
        QTimer::singleShot(0, this, [this, last, where] {
            reportSuccess(QStringLiteral("Незаконченный прогон пошаговой калибровки в папке %1 (%2): чтобы "
                                         "продолжить его со следующей точки, откройте «Параметры» → "
                                         "«Пошаговая калибровка…»").arg(last, where),
                          ui->textEditStatus);
        });
    else if (!damage.isEmpty())
        QTimer::singleShot(0, this, [this, damage] {
            reportFailure(QStringLiteral("Прогон пошаговой калибровки не может быть продолжен: %1").arg(damage),
                          ui->textEditStatus);
        });
}

void MainWindow::showGuidedRun()
{
    // The menu is hidden while the interface is locked; a shortcut must
    // not get past the lock either.
    if (interfaceLocked)
        return;
    if (m_guidedDialog) {
        m_guidedDialog->raise();
        m_guidedDialog->activateWindow();
        return;
    }
    if (!checkPortOpen())
        return;
    if (busy) {
        reportFailure(QStringLiteral("Пошаговая калибровка не открыта: идет другая операция с прибором; "
                                     "дождитесь ее конца или отмените ее"));
        return;
    }
    // The run takes the line: a poll of the window would share it.
    if (loopRunning || link->isQueueRunning() || link->isRepeating())
        stopLoop();

    GuidedDialog::Setup setup;
    for (const PollChannel &c : qAsConst(pollChannels)) {
        bool ok = false;
        const int address = c.address->currentText().toInt(&ok, 16);
        if (c.enable->isChecked() && ok && !setup.addresses.contains(address))
            setup.addresses.append(address);
    }
    setup.strainDefault = ui->cbTenzo1->isChecked() ? SensorModel::SingleGauge : SensorModel::TwoGauge;
    setup.preamble = ui->spinBoxSymPreamble->value();
    setup.longFrame = ui->checkLongFrame->isChecked();
    setup.periodMs = pollPeriod;
    setup.timeoutMs = pollTimeout;
    setup.repeats = pollRepeats;
    setup.folder = BenchProfile::settings().value(QLatin1String(LastRunKey)).toString();

    m_guidedDialog = new GuidedDialog(link, setup, this);
    m_guidedDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_guidedDialog, &QObject::destroyed, this, [this] { m_guidedDialog = nullptr; });
    // Over the main window, which it keeps from sending meanwhile.
    m_guidedDialog->setWindowModality(Qt::WindowModal);
    connect(m_guidedDialog, &GuidedDialog::folderUsed, this,
            [](const QString &dir) { BenchProfile::settings().setValue(QLatin1String(LastRunKey), dir); });
    // Its failures reach the status bar and the message log as well.
    connect(m_guidedDialog, &GuidedDialog::runMessage, this, [this](const QString &text, bool failure) {
        if (failure)
            reportFailure(QStringLiteral("Пошаговая калибровка: ") + text, ui->textEditStatus);
    });
    // The run's calculations and verifications go into the history, under
    // the run's batch.
    connect(m_guidedDialog, &GuidedDialog::calculationWritten, this,
            [this](const CalibrationReport &report, const QString &path) {
                const GuidedRun *run = m_guidedDialog ? m_guidedDialog->run() : nullptr;
                recordCalculationHistory(report, path, run ? run->cursor().batchId : QString());
            });
    connect(m_guidedDialog, &GuidedDialog::runEnded, this, [this] {
        const GuidedRun *run = m_guidedDialog ? m_guidedDialog->run() : nullptr;
        if (!run)
            return;
        for (const GuidedDeviceResult &d : run->cursor().devices)
            if (d.verified || !d.active())
                recordVerificationHistory(historyVerification(run->plan(), d, run->reportBase()));
    });
    m_guidedDialog->show();
}
