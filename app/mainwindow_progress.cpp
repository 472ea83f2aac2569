// Progress of the long runs: the device scan, the bulk read and write of the
// device data, the parameter download and upload, and the parameters file
// save chain. Every outcome the link reports for the run is a step; the
// engineer sees the count in the status bar (and in the dialog the run was
// started from, as a modal dialog keeps the status bar out of reach) and may
// cancel: the queue is dropped, the request in flight keeps its outcome, the
// busy lock goes with it, and what was done is reported as partial.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "ui_dumpdialog.h"

#include "app/messagelog.h"
#include "app/operationprogress.h"
#include "app/pollrowfill.h"
#include "app/progresspanel.h"
#include "app/screenfit.h"
#include "app/statusbarparts_p.h"
#include "app/textfilenames.h"
#include "calc/dialog.h"
#include "devicedata/deviceitems.h"
#include "devicedata/dumpdialog.h"
#include "link/protocolcomhart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// The save chain runs under three operation codes; its progress has a tag
// of its own.
constexpr int SaveChainKind = 1000;
constexpr int ScanKind = 2;

struct Tracked
{
    int code;
    const char *title;
    const char *unit;
    const char *doneWord;
};

const Tracked trackedRuns[] = {
    {ScanKind, "Поиск устройств", "адресов", "опрошено"},
    {51, "Чтение данных устройства", "блоков", "получено"},
    {52, "Запись данных устройства", "блоков", "записано"},
    {28, "Загрузка параметров в прибор", "блоков", "записано"},
    {29, "Выгрузка параметров из прибора", "блоков", "получено"},
    {SaveChainKind, "Сохранение файла параметров", "запросов", "получено"},
};

// The run an operation code starts; kind 0 for one that is not counted.
OperationProgress::Run runFor(int code)
{
    for (const Tracked &t : trackedRuns) {
        if (t.code == code)
            return {t.code, QString::fromUtf8(t.title), QString::fromUtf8(t.unit), QString::fromUtf8(t.doneWord)};
    }
    return {};
}

// How long the link may stay silent before a run that has not ended is
// looked at again.
int watchMs(const protocolComHart *link)
{
    return qMax(link->period(), 50) + 200;
}

bool belongsTo(int kind, int code)
{
    if (kind == SaveChainKind)
        return code == 36 || code == 40 || code == 42;
    return kind == code;
}

void insertPanel(QWidget *dialog, ProgressPanel *panel, int fromEnd)
{
    if (auto *box = qobject_cast<QBoxLayout *>(dialog->layout()))
        box->insertWidget(qMax(0, box->count() - fromEnd), panel);
}
}

OperationProgress *MainWindow::operationProgress() const
{
    return m_statusParts ? m_statusParts->progress : nullptr;
}

void MainWindow::setupProgressPanels()
{
    StatusBarParts *p = m_statusParts;
    connect(p->progress, &OperationProgress::cancelRequested, this, &MainWindow::cancelOperation);
    connect(p->progress, &OperationProgress::changed, this, &MainWindow::updateScanBox);

    // Under the rows, above the buttons.
    p->dumpPanel = new ProgressPanel(p->progress, -1, dumpDialog.get());
    p->dumpPanel->setKinds({51, 52});
    insertPanel(dumpDialog.get(), p->dumpPanel, 1);
    connect(ui->pbMemDump, &QPushButton::clicked, p->dumpPanel, &QWidget::hide);
    // Above the OK and Cancel buttons.
    p->parametersPanel = new ProgressPanel(p->progress, -1, dialogParam);
    p->parametersPanel->setKinds({28, 29, SaveChainKind});
    insertPanel(dialogParam, p->parametersPanel, 1);
    ScreenFit::fitOnShow(dumpDialog.get());
    ScreenFit::fitOnShow(dialogParam);

    // The parameters dialog proposes a file name from the serial number.
    dialogParam->suggestedFileName = [this] {
        return TextFileNames::defaultName(QStringLiteral("parameters"), knownSerialNumber(), QString());
    };

}

QString MainWindow::knownSerialNumber() const
{
    const QString read = TextFileNames::usableSerial(ui->leGetSerial->text());
    if (!read.isEmpty())
        return read;
    const int at = DeviceItems::devicePosition(QStringLiteral("serial"));
    return at >= 0 ? TextFileNames::usableSerial(dumpDialog->deviceText(at)) : QString();
}

// ---------------------------------------------------------------- runs

void MainWindow::trackOperation(int code, int frameCount)
{
    StatusBarParts *p = m_statusParts;
    if (!p)
        return;
    OperationProgress *progress = p->progress;
    const bool chain = deviceOps.saveChainActive() && belongsTo(SaveChainKind, code);
    // The later stages of the save chain go on counting the run the first
    // one started.
    if (chain && code != 36)
        return;
    const OperationProgress::Run run = runFor(chain ? SaveChainKind : code);
    if (run.kind == 0)
        return;
    int total = frameCount;
    if (chain) {
        total += deviceOps.buildOperation(40).items.size() + deviceOps.buildOperation(42).items.size();
        p->chainFile = parametersFile ? parametersFile->fileName() : QString();
    }
    // A run still counting was dropped when this one cleared the queue.
    if (progress->isActive())
        endProgress(QStringLiteral("начата другая операция"), run.kind == SaveChainKind);
    if (code == ScanKind)
        p->scanFound.clear();
    progress->start(run, total);
    p->watch->start(watchMs(link));
    refreshOperationLabel();
}

void MainWindow::noteLinkOutcome(int code, bool answered, bool intact, bool done)
{
    StatusBarParts *p = m_statusParts;
    if (!p)
        return;
    if (code == 3) {
        if (answered) {
            ++p->pollAnswers;
            if (!intact)
                ++p->pollBadChecksums;
        } else {
            ++p->pollTimeouts;
        }
        refreshPollCounts();
    }
    OperationProgress *progress = p->progress;
    if (progress->isActive() && belongsTo(progress->kind(), code)) {
        // A scan probe nobody answers is a probe done.
        progress->step(progress->kind() == ScanKind || (intact && done));
        checkProgressEnd();
    }
    // Once more when the link has had its period to stop.
    QTimer::singleShot(0, this, &MainWindow::refreshOperationLabel);
    QTimer::singleShot(qMax(0, link->period()) + 100, this, &MainWindow::refreshOperationLabel);
}

void MainWindow::checkProgressEnd()
{
    StatusBarParts *p = m_statusParts;
    OperationProgress *progress = p->progress;
    if (!progress->isActive())
        return;
    if (progress->state() == OperationProgress::State::Cancelling) {
        if (!link->isBusy())
            endProgress();
        return;
    }
    const bool over = progress->kind() == SaveChainKind ? !deviceOps.saveChainActive() : progress->allStepsIn();
    if (over)
        endProgress();
    else
        p->watch->start(watchMs(link));
}

void MainWindow::onProgressWatch()
{
    StatusBarParts *p = m_statusParts;
    if (!p->progress->isActive())
        return;
    if (link->isBusy() || link->isQueueRunning() || link->isRepeating()) {
        p->watch->start(watchMs(link));
        return;
    }
    // The link stopped short of the last step: a closed scan box, a chain
    // whose next stage never came (a time-out), a queue cleared elsewhere.
    endProgress();
}

void MainWindow::cancelOperation()
{
    StatusBarParts *p = m_statusParts;
    link->clearQueue();
    link->stopSending();
    if (p->progress->kind() == ScanKind)
        scanRunning = false;
    if (p->progress->kind() == SaveChainKind && deviceOps.saveChainActive())
        deviceOps.abortSaveChain();
    // Otherwise the request in flight ends the run with its outcome.
    if (!link->isBusy())
        endProgress();
}

void MainWindow::endProgress(const QString &reason, bool keepChain)
{
    StatusBarParts *p = m_statusParts;
    OperationProgress *progress = p->progress;
    if (!progress->isActive())
        return;
    p->watch->stop();
    progress->finish(reason);
    const int kind = progress->kind();

    QString text = progress->resultText();
    QTextEdit *pane = nullptr;
    // The verdict is filed in the log under the run's own source.
    QString source = LogSource::calibration();
    switch (kind) {
    case ScanKind:
        source = LogSource::scan();
        text += p->scanFound.isEmpty() ? QStringLiteral("; устройства не найдены")
                                       : QStringLiteral("; найдены: ") + PollRowFill::addressList(p->scanFound);
        if (p->scanFound.isEmpty() && !m_scanLate.isEmpty())
            text += QStringLiteral(", но после тайм-аута ответили: %1; увеличьте тайм-аут поиска")
                        .arg(PollRowFill::addressList(m_scanLate));
        sayScanLate();
        break;
    case SaveChainKind:
        // A chain that stopped leaves a file without the device's part.
        if (deviceOps.saveChainActive() && !keepChain)
            deviceOps.abortSaveChain();
        if (progress->isPartial())
            text += QStringLiteral("; файл %1 неполный, сохраните его заново").arg(p->chainFile);
        pane = ui->textEditStatusCalibration;
        break;
    case 28:
    case 29:
        pane = ui->textEditStatusCalibration;
        break;
    case 51:
    case 52:
        pane = ui->textEditStatusSettingsDevice;
        source = LogSource::deviceData();
        break;
    default:
        break;
    }
    if (kind == 28 || kind == 52)
        recordWriteHistory(kind, *progress);
    if (progress->isPartial() && kind != ScanKind) {
        reportFailure(text, pane, -1, source);
    } else {
        showStatusMessage(text, progress->isPartial() ? QColor(Qt::red) : successColour(), -1, source);
    }
    // No answer is coming that would release the lock.
    if (busy && !link->isBusy() && !loopRunning)
        setBusy(false);
    refreshOperationLabel();
}

// ---------------------------------------------------------------- scan

void MainWindow::updateScanBox()
{
    StatusBarParts *p = m_statusParts;
    if (!p || p->progress->kind() != ScanKind)
        return;
    OperationProgress *progress = p->progress;
    QAbstractButton *ok = msgBoxScanAddr->button(QMessageBox::Ok);
    // The box grows a line per probe: keep it on the screen.
    QTimer::singleShot(0, msgBoxScanAddr, [this] {
        if (msgBoxScanAddr->isVisible())
            ScreenFit::fit(msgBoxScanAddr);
    });
    // The count under the lines; the bar is the status bar's (the box
    // rebuilds its own layout, which would lose a bar put into it).
    if (progress->isActive()) {
        msgBoxScanAddr->setInformativeText(progress->progressText());
        if (ok)
            ok->setText(QStringLiteral("Прервать"));
        return;
    }
    if (progress->state() != OperationProgress::State::Finished)
        return;
    if (ok)
        ok->setText(QStringLiteral("Закрыть"));
    msgBoxScanAddr->setInformativeText(progress->resultText());
    // One click fills the polling rows; nothing changes unless it is clicked.
    if (!p->scanFound.isEmpty() && msgBoxScanAddr->isVisible() && !p->fillButton) {
        p->fillButton = msgBoxScanAddr->addButton(
            QStringLiteral("Заполнить строки опроса: %1").arg(PollRowFill::addressList(p->scanFound)),
            QMessageBox::ActionRole);
        p->fillButton->setObjectName(QStringLiteral("pbFillPollRows"));
    }
}

void MainWindow::logScanOutcome(bool found)
{
    const QByteArray address = link->requestAddress();
    const int a = address.isEmpty() ? -1 : int(uint8_t(address.at(0)));
    const QString at = QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0'));
    // Shown in the developer pane, filed with the scan's verdict.
    const QString was = m_logSource;
    m_logSource = LogSource::scan();
    if (found) {
        if (m_statusParts && !m_statusParts->scanFound.contains(link->answerAddress()))
            m_statusParts->scanFound.append(link->answerAddress());
        appendStatus(ui->textEditStatus, QStringLiteral("Поиск: по адресу %1 найдено устройство\n").arg(at),
                     successColour());
    } else {
        appendStatus(ui->textEditStatus, QStringLiteral("Поиск: по адресу %1 устройства нет\n").arg(at),
                     ui->textEditStatus->palette().color(QPalette::Text));
    }
    m_logSource = was;
}

QVector<int> MainWindow::lastScanAddresses() const
{
    return m_statusParts ? m_statusParts->scanFound : QVector<int>();
}

void MainWindow::fillPollRowsFromScan()
{
    const QVector<int> found = lastScanAddresses();
    if (found.isEmpty()) {
        reportFailure(QStringLiteral("Строки опроса не изменены: поиск не нашел устройств"));
        return;
    }
    for (const PollChannel &ch : qAsConst(pollChannels)) {
        if (!ch.enable->isEnabled()) {
            reportFailure(QStringLiteral("Строки опроса не изменены: выбраны каталоги сохранения; "
                                         "нажмите «Закончить калибровку», чтобы изменить строки"));
            return;
        }
    }
    const QVector<PollRowFill::Row> rows = PollRowFill::plan(found, pollChannels.size());
    for (int i = 0; i < rows.size(); ++i) {
        const PollChannel &ch = pollChannels[i];
        ch.enable->setChecked(rows[i].checked);
        if (rows[i].address >= 0) {
            const int at = ch.address->findData(rows[i].address);
            if (at >= 0)
                ch.address->setCurrentIndex(at);
        }
    }
    reportSuccess(PollRowFill::summary(found, pollChannels.size()));
}
