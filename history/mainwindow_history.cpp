// The calibration history in the main window: the recorder that takes every
// event, its part of the status bar (events waiting for the database), the
// history window, the import of earlier reports and the history settings;
// and the two hooks the calculation and the device writes call.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/operationprogress.h"
#include "calc/calibrationreport.h"
#include "calc/dialog.h"
#include "calc/parametervector.h"
#include "devicedata/bulkblocks.h"
#include "devicedata/dumpdialog.h"
#include "history/historycalc.h"
#include "history/historyrecorder.h"
#include "history/historysettingsdialog.h"
#include "history/historywindow.h"
#include "link/protocolcomhart.h"
#include "settings/benchprofile.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>

void MainWindow::setupHistory()
{
    QSettings settings = BenchProfile::settings();
    HistoryConfig config = HistoryConfig::load(settings);
    m_historyBatch = settings.value(QStringLiteral("history/batch")).toString();
    m_history = new HistoryRecorder(HistoryConfig::defaultQueuePath(), this);
    connect(m_history, &HistoryRecorder::stateChanged, this, &MainWindow::showHistoryState);
    connect(m_history, &HistoryRecorder::imported, this, [this](int request, const HistoryImport::Result &r) {
        if (request != m_historyImport)
            return;
        if (!r.error.isEmpty()) {
            reportFailure(QStringLiteral("Импорт в историю не выполнен: %1").arg(r.error));
            return;
        }
        if (r.failures.isEmpty())
            reportSuccess(r.text());
        else
            reportFailure(r.text());
    });
    // An event the database refused is said once, in red, with where it is kept.
    connect(m_history, &HistoryRecorder::setAside, this,
            [this](const QString &what, const QString &reason, const QString &file) {
                reportFailure(QStringLiteral("История: база отказалась принять событие (%1): %2. Оно отложено в "
                                             "файл %3, остальные записываются")
                                  .arg(what, reason, QDir::toNativeSeparators(file)),
                              nullptr, 0);
            });
    m_history->setConfig(config);

    historyDialogs.chooseImportDir = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Папка с отчетами калибровки"),
                                                 QDir::currentPath());
    };
    historyDialogs.editSettings = [](HistorySettingsDialog *dialog) { return dialog->exec() == QDialog::Accepted; };

    // The status bar keeps the way in and the queue's state whatever the
    // lock: the menu bar is hidden while locked.
    m_historyLabel = new QLabel(ui->statusBar);
    m_historyLabel->setObjectName(QStringLiteral("labelHistoryQueue"));
    m_historyLabel->setStyleSheet(QStringLiteral("color: #c05000"));
    m_historyLabel->hide();
    auto *open = new QToolButton(ui->statusBar);
    open->setObjectName(QStringLiteral("pbShowHistory"));
    open->setText(QStringLiteral("История"));
    open->setToolTip(QStringLiteral("История калибровок всех приборов"));
    open->setAutoRaise(true);
    ui->statusBar->addPermanentWidget(m_historyLabel);
    ui->statusBar->addPermanentWidget(open);
    connect(open, &QToolButton::clicked, this, &MainWindow::showHistoryWindow);

    QMenu *menu = ui->menuBar->addMenu(QStringLiteral("История"));
    menu->setObjectName(QStringLiteral("menuHistory"));
    QAction *show = menu->addAction(QStringLiteral("История калибровок…"), this, &MainWindow::showHistoryWindow);
    show->setObjectName(QStringLiteral("actionHistory"));
    QAction *import = menu->addAction(QStringLiteral("Импорт отчетов в историю…"), this, &MainWindow::importHistory);
    import->setObjectName(QStringLiteral("actionHistoryImport"));
    QAction *edit = menu->addAction(QStringLiteral("Настройки истории…"), this, &MainWindow::editHistorySettings);
    edit->setObjectName(QStringLiteral("actionHistorySettings"));
}

HistoryWindow *MainWindow::historyWindow()
{
    if (!m_historyWindow) {
        m_historyWindow = new HistoryWindow(m_history, this);
        connect(m_historyWindow, &HistoryWindow::failure, this,
                [this](const QString &text) { showStatusMessage(text, Qt::red); });
    }
    return m_historyWindow;
}

void MainWindow::showHistoryWindow()
{
    HistoryWindow *w = historyWindow();
    w->show();
    w->raise();
    w->activateWindow();
}

HistoryContext MainWindow::historyContext() const
{
    HistoryContext c;
    c.when = QDateTime::currentDateTimeUtc();
    c.profile = BenchProfile::name();
    c.port = link->portName();
    c.operatorName = m_history->config().operatorName;
    c.batch = m_historyBatch;
    return c;
}

void MainWindow::recordCalculationHistory(const CalibrationReport &report, const QString &reportPath,
                                          const QString &batch)
{
    CalculationEvent e = historyCalculation(report, reportPath);
    const QDateTime when = e.context.when;
    e.context = historyContext();
    e.context.when = when;
    if (!batch.isEmpty())
        e.context.batch = batch;
    // The device's own type when it was read, else the device tab's choice.
    if (e.device.model.isEmpty())
        e.device.model = ui->comboBoxCurrentDevice->currentText();
    m_history->record(HistoryRecord::of(e));
}

void MainWindow::recordWriteHistory(int kind, const OperationProgress &progress)
{
    WriteEvent e;
    e.context = historyContext();
    // The device as read at the address written, just before the write; a
    // number in the serial field may be another device's.
    e.address = m_writeTarget.address;
    e.device = {m_writeTarget.serial, ui->comboBoxCurrentDevice->currentText()};
    e.blockCount = progress.total();
    e.writtenCount = progress.succeeded();
    e.outcome = progress.resultText();
    if (kind == 52) {
        e.what = QStringLiteral("Данные устройства");
        for (const QByteArray &request : BulkBlocks::writeRequests(dumpDialog->record()))
            e.blocks << BulkBlocks::writeBlockName(BulkBlocks::requestAddress(request));
        e.refusedBlocks = m_lastTransfer.failedBlocks;
    } else if (deviceOps.recordLoaded()) {
        e.what = QStringLiteral("Файл параметров");
    } else {
        // The five blocks of the calculation's write, and what they held.
        e.what = QStringLiteral("Коэффициенты расчета");
        e.blocks = m_coefWrite.names();
        e.refusedBlocks = m_coefWrite.failed();
        const ParameterVector::Values v = dialogParam->parameterVector();
        for (int i = 0; i < ParameterVector::Count; ++i)
            e.values.append({ParameterVector::keys()[i], double(v[size_t(i)])});
    }
    m_history->record(HistoryRecord::of(e));
}

void MainWindow::recordVerificationHistory(VerificationEvent e)
{
    const HistoryContext context = historyContext();
    if (!e.context.when.isValid())
        e.context.when = context.when;
    e.context.profile = context.profile;
    e.context.port = context.port;
    e.context.operatorName = context.operatorName;
    if (e.context.batch.isEmpty())
        e.context.batch = context.batch;
    m_history->record(HistoryRecord::of(e));
}

void MainWindow::showHistoryState(int pending, const QString &problem)
{
    const QString text = HistoryRecorder::pendingText(pending);
    m_historyLabel->setText(text);
    m_historyLabel->setToolTip(problem);
    m_historyLabel->setVisible(!text.isEmpty());
    // Why the events wait is told once, not at every retry.
    if (pending > 0 && !problem.isEmpty() && problem != m_historyProblemSaid)
        reportFailure(QStringLiteral("%1: %2. Записи сохранены в очереди и будут записаны, когда база станет доступна")
                          .arg(text, problem),
                      nullptr, 0);
    m_historyProblemSaid = pending > 0 ? problem : QString();
}

void MainWindow::importHistory()
{
    const QString dir = historyDialogs.chooseImportDir();
    if (dir.isEmpty())
        return;
    showStatusMessage(QStringLiteral("Импорт отчетов из %1…").arg(QDir::toNativeSeparators(dir)), Qt::black);
    m_historyImport = m_history->importFolder(dir, historyContext());
}

void MainWindow::editHistorySettings()
{
    if (!m_historySettings)
        m_historySettings = new HistorySettingsDialog(this);
    m_historySettings->setConfig(m_history->config(), m_historyBatch);
    if (!historyDialogs.editSettings(m_historySettings))
        return;
    const HistoryConfig config = m_historySettings->config();
    m_historyBatch = m_historySettings->batch();
    QSettings settings = BenchProfile::settings();
    config.save(settings);
    settings.setValue(QStringLiteral("history/batch"), m_historyBatch);
    m_history->setConfig(config);
    reportSuccess(QStringLiteral("Настройки истории приняты: %1").arg(config.description()));
}
