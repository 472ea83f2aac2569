// The polling tab of the main window: command-3 polling of the checked
// channels, the measurement table, the running means, the reference
// pressures and the calibration point cycle, the calibration temperature
// boxes, the measurement log and the choice of the save directories.
// Everything that needs no widget is done by MeasurementCapture; these slots
// move widget state in and out of it.

#include "app/mainwindow.h"
#include "app/tablecolumns.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "app/textfiledialog.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"
#include "polling/savefile_confirm_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardItemModel>

#include <cstdio>

namespace {

QStandardItem *cellItem(const MeasurementRow::Cell &cell)
{
    auto *item = new QStandardItem(cell.text);
    if (cell.hasBackground)
        item->setBackground(QBrush(QColor::fromRgb(cell.background)));
    return item;
}

// A null text leaves the channel's field as it is.
void showMeans(const QVector<MeanDisplayRow> &rows, const std::array<QString, PollChannelCount> &texts)
{
    for (int i = 0; i < PollChannelCount && i < rows.size(); ++i) {
        if (!texts[i].isNull())
            rows[i].field->setText(texts[i]);
    }
}

} // namespace

void MainWindow::initCalibrationFiles()
{
    // Runs before the form exists: only the non-widget state.
    capture = MeasurementCapture();
    logFileName.clear();
}

void MainWindow::setupPolling()
{
    pollingDialogs.chooseSaveDir = [this](QString *baseDir, QString *selectedFile) {
        QFileDialog dlg(this);
        dlg.setWindowTitle(QStringLiteral("Каталог и базовое имя файлов калибровки"));
        dlg.setLabelText(QFileDialog::Accept, QStringLiteral("Выбрать"));
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setOption(QFileDialog::DontResolveSymlinks);
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        *baseDir = dlg.directory().absolutePath();
        const QStringList files = dlg.selectedFiles();
        *selectedFile = files.isEmpty() ? QString() : files.last();
        return true;
    };
    pollingDialogs.confirmSaveDirs = [this](const QString &message, bool someDirExists) {
        savefile_confirm_dialog dlg(message, someDirExists, this);
        return dlg.exec();
    };
    pollingDialogs.chooseLogFile = [this] {
        return TextFileDialog::getSaveFileName(this, QStringLiteral("Save File"), QStringLiteral("data"),
                                               QStringLiteral("untitled"),
                                               QStringLiteral("Текстовый файл (*.txt)"));
    };
    pollingDialogs.critical = [this](const QString &text) {
        QMessageBox::critical(this, QStringLiteral("Ошибка"), text, QMessageBox::Ok);
    };

    connect(ui->buttonFunction3Send, &QPushButton::clicked, this, &MainWindow::sendFunc3Request);
    connect(ui->buttonFunction3Loop, &QPushButton::clicked, this, &MainWindow::sendFunc3Request);
    connect(ui->buttonSetPressue, &QPushButton::clicked, this, &MainWindow::setPressue);
    connect(ui->buttonMO, &QPushButton::clicked, this, &MainWindow::startFindAvg);
    connect(ui->buttonClearMO, &QPushButton::clicked, this, &MainWindow::clearMO);
    connect(ui->buttonAddDataCoef, &QPushButton::clicked, this, &MainWindow::addDataCoef);
    connect(ui->buttonClearTable, &QPushButton::clicked, this, &MainWindow::clearTable);
    connect(ui->pbChooseSaveDir, &QPushButton::clicked, this, &MainWindow::onPbChooseSaveDir);
    connect(ui->pbEndCalibration, &QPushButton::clicked, this, &MainWindow::onSaveFilesNotChoosen);
    connect(ui->cbMU4var, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &MainWindow::onUpdateMU4var);
    // After the stop itself (wired with the console): a poll that was
    // running says it was stopped, so that its last quiet rows are not taken
    // for devices that stopped answering.
    for (QPushButton *stop : {ui->buttonStopRequstFunc3, ui->buttonStopLoop}) {
        connect(stop, &QPushButton::clicked, this, [this] {
            if (capture.pollEnded())
                reportPollStopped(QStringLiteral("остановлен оператором"));
        });
    }

    // The spin boxes' values taken as kPa until a unit is applied.
    capture.setInitialPressures(ui->spinBoxPressuePos->value(), ui->spinBoxPressueNeg->value());
    pressurePlus = capture.pressure().plus();
    pressureMinus = capture.pressure().minus();
}

MeasurementCapture::Inputs MainWindow::pollingInputs() const
{
    MeasurementCapture::Inputs in;
    for (int i = 0; i < pollChannels.size() && i < PollChannelCount; ++i) {
        in.channels[i].checked = pollChannels[i].enable->isChecked();
        in.channels[i].address = parsePollAddressText(pollChannels[i].address->currentText());
    }
    in.capacitor = ui->checkBoxCapacitor->isChecked();
    in.clearTable = ui->checkBoxClear->isChecked();
    in.temperature = CalibrationFiles::temperature(ui->checkBoxCakibrationMiddle->isChecked(),
                                                   ui->checkBoxCakibrationLow->isChecked(),
                                                   ui->checkBoxCakibrationHigh->isChecked());
    in.log.enabled = ui->checkBoxSave->isChecked();
    in.log.fileName = logFileName;
    return in;
}

// ------------------------------------------------------------- polling

void MainWindow::sendFunc3Request()
{
    const bool loop = sender() == ui->buttonFunction3Loop;
    // The port is checked before the busy lock is taken: with the port
    // closed no answer would ever come to release it.
    if (!checkPortOpen())
        return;
    takeLine(3);
    const MeasurementCapture::Inputs in = pollingInputs();
    const QVector<int> addresses = pollAddresses(in.channels);
    if (addresses.isEmpty()) {
        // Nothing to poll: the link says so, and no lock is taken that no
        // answer would release.
        link->clearQueue();
        link->startQueue(loop);
        reportFailure(QStringLiteral("Опрос не начат: отметьте хотя бы одно устройство"), nullptr, -1,
                      LogSource::polling());
        return;
    }
    if (!busy)
        setBusy(true);
    // Polling keeps the other tabs disabled until it is stopped, also over
    // the busy releases of its own answers.
    loopRunning = true;
    for (int tab : {TabDeveloper, TabCalibration, TabKdsp})
        ui->tabWidget->setTabEnabled(tab, false);

    link->clearQueue();
    const int preamble = ui->spinBoxSymPreamble->value();
    const bool longFrame = ui->checkLongFrame->isChecked();
    QVector<QByteArray> frames;
    for (int address : addresses) {
        buildRequest(preamble, longFrame, uint8_t(address), 3);
        if (requestLength > 0)
            frames.append(builtRequest());
    }
    if (frames.isEmpty()) {
        endPollPass();
        return;
    }
    runBatch(3, pollPeriod, frames, loop);
    capture.pollStarted(loop);
    // A single pass returns the window to idle once every request has had
    // its outcome.
    m_pollPassLeft = loop ? 0 : frames.size();
}

void MainWindow::handlePollingAnswer()
{
    MeasurementCapture::Answer answer;
    answer.address = link->answerAddress();
    answer.checksumOk = link->answerChecksumOk();
    answer.data = link->answerData();
    const uint8_t status1 = answerResponseCode();
    if (!ResponseCode::executed(status1)) {
        answer.refusal = QStringLiteral("Отказ: код %1").arg(status1);
        showStatusMessage(QStringLiteral("Опрос %1: %2").arg(answer.address, 2, 16, QLatin1Char('0'))
                              .arg(ResponseCode::operationText(status1)), Qt::red);
    }
    const MeasurementCapture::RowView v = capture.handleAnswer(answer, pollingInputs());
    if (answer.refusal.isEmpty())
        feedMonitor(answer);     // a refused answer is no measurement

    // The headings change only with the sensor kind; setting them again on
    // every answer would lay the header out again each time.
    bool newHeadings = measurementModel->columnCount() != v.headers.size();
    for (int c = 0; !newHeadings && c < v.headers.size(); ++c)
        newHeadings = measurementModel->headerData(c, Qt::Horizontal).toString() != v.headers.at(c);
    if (newHeadings)
        measurementModel->setHorizontalHeaderLabels(v.headers);
    for (int c = 0; c < v.texts.size(); ++c)
        measurementModel->setItem(v.row, c, new QStandardItem(v.texts.at(c)));
    measurementModel->setItem(v.row, MeasurementRow::CrcColumn, cellItem(v.crc));
    QStandardItem *fileItem = cellItem(v.file);
    // The row names why its file failed; the status bar says it only once.
    const QString why = QStringList{v.files.recordError, v.files.logError}.join(QLatin1Char(' ')).trimmed();
    if (!why.isEmpty())
        fileItem->setToolTip(why);
    measurementModel->setItem(v.row, MeasurementRow::FileColumn, fileItem);

    showMeans(meanDisplay, v.means);
    // A file fault is told once per cause; the row says it on every answer.
    for (const QString &fault : v.fileFaults)
        reportFailure(fault, nullptr, -1, LogSource::polling());
    for (const QString &back : v.fileRecoveries)
        reportSuccess(back, nullptr, -1, LogSource::polling());

    if (ui->tableView->model() != measurementModel)
        ui->tableView->setModel(measurementModel);
    // Only the new row: the rows above were sized when they were filled, and
    // sizing every row on every answer would grow with the table. A fresh
    // table fits its columns to what it holds; later rows only widen them.
    ui->tableView->resizeRowToContents(v.row);
    if (newHeadings || measurementModel->rowCount() == 1)
        ui->tableView->resizeColumnsToContents();
    else
        TableColumns::widenToRow(ui->tableView, v.row);
    ui->tableView->scrollToBottom();

    if (v.clearTableNow)
        measurementModel->clear();
}

void MainWindow::reportPollStopped(const QString &why)
{
    const QString what = capture.pollCyclic() ? QStringLiteral("Циклический опрос")
                                              : QStringLiteral("Опрос");
    report(what + QLatin1Char(' ') + why, palette().color(QPalette::WindowText), nullptr, -1,
           LogSource::polling());
}

void MainWindow::clearTable()
{
    measurementModel->clear();
    capture.clearTable();
}

void MainWindow::on_spinBoxTimerInterval_valueChanged(int)
{
    link->setPeriod(pollPeriod);
}

// --------------------------------------------- pressures and averaging

namespace {

void applyCycleButtons(Ui::MainWindow *ui, const CalibrationCycle::Buttons &b)
{
    ui->buttonSetPressue->setEnabled(b.setPressue);
    ui->buttonMO->setEnabled(b.mo);
    ui->buttonClearMO->setEnabled(b.clearMO);
    ui->buttonAddDataCoef->setEnabled(b.addDataCoef);
}

} // namespace

void MainWindow::setPressue()
{
    if (!capture.setPressue(ui->spinBoxPressuePos->value(), ui->spinBoxPressueNeg->value(),
                            ui->cbMU4var->currentIndex())) {
        pollingDialogs.critical(QStringLiteral("Не выбраны файлы для сохранения"));
        return;
    }
    pressurePlus = capture.pressure().plus();
    pressureMinus = capture.pressure().minus();
    showMeans(meanDisplay, capture.clearMO(pollingInputs()));
    applyCycleButtons(ui, capture.buttons());
}

void MainWindow::onUpdateMU4var()
{
    capture.unitChanged(ui->spinBoxPressuePos->value(), ui->spinBoxPressueNeg->value(),
                        ui->cbMU4var->currentIndex());
    pressurePlus = capture.pressure().plus();
    pressureMinus = capture.pressure().minus();
}

void MainWindow::startFindAvg()
{
    capture.startFindAvg();
    applyCycleButtons(ui, capture.buttons());
}

void MainWindow::clearMO()
{
    showMeans(meanDisplay, capture.clearMO(pollingInputs()));
    applyCycleButtons(ui, capture.buttons());
}

void MainWindow::addDataCoef()
{
    const MeasurementCapture::AddDataResult r = capture.addDataCoef(pollingInputs());
    // Appended, each point file on its own line, where the engineer sees it
    // whatever the lock state (the developer pane is hidden while locked).
    for (const CalibrationFiles::PointOutcome &o : r.outcomes) {
        const QString line = CalibrationFiles::pointStatusText({o});
        if (o.written)
            reportSuccess(line, ui->textEditStatus, -1, LogSource::polling());
        else
            reportFailure(line, ui->textEditStatus, -1, LogSource::polling());
    }
    showMeans(meanDisplay, r.means);
    applyCycleButtons(ui, capture.buttons());
}

void MainWindow::on_spinBoxPressuePos_valueChanged(int value)
{
    if (ui->checkBoxSamePressue->isChecked())
        ui->spinBoxPressueNeg->setValue(value);
}

void MainWindow::on_spinBoxPressueNeg_valueChanged(int value)
{
    if (ui->checkBoxSamePressue->isChecked())
        ui->spinBoxPressuePos->setValue(value);
}

// ------------------------------------------ temperature boxes and log

void MainWindow::on_checkBoxCakibrationMiddle_stateChanged(int state)
{
    if (state == Qt::Checked) {
        ui->checkBoxCakibrationLow->setChecked(false);
        ui->checkBoxCakibrationHigh->setChecked(false);
    }
}

void MainWindow::on_checkBoxCakibrationLow_stateChanged(int state)
{
    if (state == Qt::Checked) {
        ui->checkBoxCakibrationMiddle->setChecked(false);
        ui->checkBoxCakibrationHigh->setChecked(false);
    }
}

void MainWindow::on_checkBoxCakibrationHigh_stateChanged(int state)
{
    if (state == Qt::Checked) {
        ui->checkBoxCakibrationMiddle->setChecked(false);
        ui->checkBoxCakibrationLow->setChecked(false);
    }
}

void MainWindow::on_buttonSave_clicked()
{
    // A cancelled choice changes nothing: dropping the log chosen before
    // would stop it without a word while the box stays checked.
    const QString chosen = pollingDialogs.chooseLogFile();
    if (chosen.isEmpty())
        return;
    logFileName = chosen;
    ui->labelSave->setText(logFileName);
    ui->labelSave->setToolTip(logFileName);
    showStatusMessage(ui->checkBoxSave->isChecked()
                          ? QStringLiteral("Журнал измерений пишется в %1").arg(logFileName)
                          : QStringLiteral("Журнал измерений: %1; отметьте поле рядом с кнопкой, чтобы он писался")
                                .arg(logFileName),
                      successColour(), -1, LogSource::polling());
}

// ---------------------------------------------------- save directories

namespace {

void setReadyMark(QLabel *label, bool ready)
{
    label->setText(ready ? QStringLiteral("✔") : QStringLiteral("❌"));
    QPalette p = label->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::WindowText, ready ? QColor(Qt::green) : QColor(Qt::red));
    label->setPalette(p);
}

void printError(const QString &text)
{
    const QByteArray b = text.toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void MainWindow::onPbChooseSaveDir()
{
    QString baseDir;
    QString selectedFile;
    if (!pollingDialogs.chooseSaveDir(&baseDir, &selectedFile))
        return;

    // Planned aside: while the operator reads the list, a running poll goes
    // on writing where the standing selection says (or nowhere), never into
    // directories nobody has agreed to yet.
    SaveDirs dirs;
    if (!dirs.plan(baseDir, SaveDirs::baseNameFor(selectedFile), pollingInputs().channels)) {
        pollingDialogs.critical(QStringLiteral("Хотя бы одно устройство должно быть активно"));
        return;
    }
    // The channels stay as planned until the selection ends: a channel
    // switched or readdressed now would poll into no directory or another
    // device's.
    for (const PollChannel &ch : qAsConst(pollChannels)) {
        ch.enable->setEnabled(false);
        ch.address->setEnabled(false);
    }

    bool someDirExists = false;
    const QString message = dirs.message(&someDirExists);
    const SaveDirs::Outcome out = dirs.confirm(pollingDialogs.confirmSaveDirs(message, someDirExists));
    for (const QString &path : out.failed)
        printError(QStringLiteral("Cannot prepare dir: ") + path + QLatin1Char('\n'));
    if (!out.failed.isEmpty())
        reportFailure(QStringLiteral("Не удалось подготовить директории: ") + out.failed.join(QStringLiteral(", "))
                      + QStringLiteral(". Проверьте права на запись в базовую директорию"),
                      nullptr, -1, LogSource::polling());
    if (out.ready) {
        capture.saveDirs() = dirs;
        setReadyMark(ui->lbSaveFilesReady, true);
        showStatusMessage(QStringLiteral("Измерения записываются в %1/%2_<адрес>").arg(dirs.baseDir(), dirs.baseName()),
                          successColour(), -1, LogSource::polling());
    } else {
        onSaveFilesNotChoosen();
        report(QStringLiteral("Каталоги сохранения не выбраны: выбор отменен"),
               palette().color(QPalette::WindowText), nullptr, -1, LogSource::polling());
    }
}

void MainWindow::onSaveFilesNotChoosen()
{
    // Ends a save-directory selection: the channel list is free again and
    // the readiness mark turns red.
    for (const PollChannel &ch : qAsConst(pollChannels)) {
        ch.enable->setEnabled(true);
        ch.address->setEnabled(true);
    }
    capture.saveDirs().end();
    setReadyMark(ui->lbSaveFilesReady, false);
}
