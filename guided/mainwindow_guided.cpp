// The main window's part of the guided calibration run: the menu action
// behind the interface lock and the window it opens over the main window.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "guided/guideddialog.h"
#include "guided/guidedrun.h"
#include "history/historycalc.h"
#include "history/historyguided.h"
#include "history/historyrecorder.h"
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
    // Who runs the batch: the history's operator when one is set, else the
    // one logged in.
    setup.operatorName = m_history->config().operatorName;
    if (setup.operatorName.isEmpty())
        setup.operatorName = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));

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
    // The run's calculations (refused ones too), writes and verifications
    // go into the history under the operator's batch name with the run's
    // id beside it, and the name of who runs it.
    const auto record = [this](HistoryRecord r) {
        const GuidedRun *run = m_guidedDialog ? m_guidedDialog->run() : nullptr;
        if (!run)
            return;
        const HistoryContext now = historyContext();
        HistoryContext &c = r.context();
        if (!c.when.isValid())
            c.when = now.when;
        c.profile = now.profile;
        c.port = now.port;
        c.operatorName = run->cursor().operatorName.isEmpty() ? now.operatorName : run->cursor().operatorName;
        c.batch = historyGuidedBatch(m_historyBatch, run->cursor().batchId);
        m_history->record(r);
    };
    connect(m_guidedDialog, &GuidedDialog::calculationWritten, this,
            [this, record](const CalibrationReport &report, const QString &path) {
                CalculationEvent e = historyCalculation(report, path);
                for (const GuidedDevice &d : m_guidedDialog->run()->plan().devices)
                    if (e.device.model.isEmpty() && d.haveSerial && QString::number(d.serial) == e.device.serial)
                        e.device.model = d.modelText();
                record(HistoryRecord::of(e));
            });
    connect(m_guidedDialog, &GuidedDialog::calculationRefused, this, [this, record](int device, const QString &why) {
        const GuidedRun *run = m_guidedDialog->run();
        QStringList files;
        for (int t = 0; t < run->plan().temperatures.size(); ++t)
            files << run->pointFile(device, t);
        record(HistoryRecord::of(historyGuidedRefusal(run->plan(), run->cursor().devices[device], files, why)));
    });
    connect(m_guidedDialog, &GuidedDialog::writeRecorded, this, [this, record](const GuidedWriteRecord &w) {
        record(HistoryRecord::of(historyGuidedWrite(m_guidedDialog->run()->plan(), w)));
    });
    connect(m_guidedDialog, &GuidedDialog::runEnded, this, [this, record] {
        const GuidedRun *run = m_guidedDialog ? m_guidedDialog->run() : nullptr;
        if (!run)
            return;
        // A device left out is recorded as left out, with why.
        for (int i = 0; i < run->cursor().devices.size(); ++i) {
            const GuidedDeviceResult &d = run->cursor().devices[i];
            if (d.verified || !d.active())
                record(HistoryRecord::of(historyVerification(run->plan(), d, run->reportBase(), run->priorFile(i))));
        }
    });
    m_guidedDialog->show();
}
