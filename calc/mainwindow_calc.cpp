// Coefficient calculation in the main window: the least-squares calculation
// from a directory of point files and the device's maximum pressure, the
// parameters dialog, and the exchange of its values with the device (five
// writes, or the record loaded from a parameters file; five reads) and with a
// parameters file.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "calc/dialog.h"
#include "calc/coefficientupload.h"
#include "calc/devicesensor.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

#include <cmath>
#include <cstdio>

namespace {

// The five blocks of an upload, one bit each.
enum UploadBlock { BlockA = 1, BlockB = 2, BlockC = 4, BlockC43 = 8, BlockLimits = 16, AllBlocks = 31 };

void printTo(FILE *stream, const QString &text)
{
    if (text.isEmpty())
        return;
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

} // namespace

void MainWindow::setupCalc()
{
    dialogParam = new Dialog(this);
    parametersFile = new QFile(this);

    calcDialogs.chooseCalibrationDir = [this] {
        return QFileDialog::getExistingDirectory(
            this, QStringLiteral("Выберите директорию с калибровочными файлами"), QDir::currentPath());
    };
    calcDialogs.critical = [this](const QString &title, const QString &text) {
        QMessageBox::critical(this, title, text);
    };
    calcDialogs.question = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No)
               == QMessageBox::Yes;
    };

    connect(ui->buttonFindCoefMNK, &QPushButton::clicked, this, &MainWindow::calcCoefMNK);
    connect(ui->parWind, &QAction::triggered, this, &MainWindow::showParametersWindow);
    connect(dialogParam, &Dialog::download, this, &MainWindow::download2Device);
    connect(dialogParam, &Dialog::upload, this, &MainWindow::uploadFromDevice);
    connect(dialogParam, &Dialog::saveToFile, this, &MainWindow::onSaveToFile);
    connect(dialogParam, &Dialog::fileIsParsed, this, &MainWindow::onReadFromFile);
    connect(dialogParam, &Dialog::refusal, this,
            [this](const QString &text) { reportFailure(text, ui->textEditStatusCalibration); });
    connect(dialogParam, &Dialog::fileRefused, this, [this] { deviceOps.clearLoadedRecord(); });
}

void MainWindow::showParametersWindow()
{
    dialogParam->show();
}

// ------------------------------------------------------------ calculation

void MainWindow::calcCoefMNK()
{
    dialogParam->close();
    // A calculation started again forgets the reads of the last one.
    calcStage = CalcIdle;
    if (!startExchange())
        return;

    const QString dir = calcDialogs.chooseCalibrationDir();
    if (dir.isEmpty()) {
        // Nothing will be sent, so nothing would ever release the lock.
        setBusy(false);
        return;
    }

    const CalibrationFileSearch files = lsqCalibration.findFiles(dir);
    printTo(stderr, files.standardError);
    printTo(stdout, files.standardOutput);
    if (!files.found) {
        calcDialogs.critical(files.boxTitle, files.boxText);
        setBusy(false);
        return;
    }
    if (!calcDialogs.question(QStringLiteral("Подтверждение"), lsqCalibration.confirmationText())) {
        setBusy(false);
        return;
    }

    appendCalcMessages(lsqCalibration.openStaticFiles(ui->checkBoxVakum->isChecked()));
    // Files that cannot give a right result have said why in red; the
    // device is not even asked.
    if (!lsqCalibration.filesUsable()) {
        setBusy(false);
        return;
    }

    // The device's maximum pressure alone, sent at once; the serial number
    // and the sensor type follow once it has arrived.
    if (!sendCalcRead(CalcReadPmax)) {
        calcStage = CalcIdle;
        setBusy(false);
    }
}

RequestItem MainWindow::calcStageRead(CalcStage stage)
{
    switch (stage) {
    case CalcReadPmax: return RequestItem::read(RegisterMap::MaxUpperLimit, LsqCalibration::ParameterReadBytes);
    case CalcReadSerial: return RequestItem::read(RegisterMap::SerialNumber, LsqCalibration::SerialReadBytes);
    case CalcReadSensor: return RequestItem::read(RegisterMap::MeasureUnit, kSensorTypeReadBytes);
    case CalcIdle: break;
    }
    return RequestItem();
}

bool MainWindow::sendCalcRead(CalcStage stage)
{
    calcStage = stage;
    const QVector<QByteArray> frames = batchFrames({calcStageRead(stage)});
    if (frames.isEmpty())
        return false;
    sendAlone(27, frames.first());
    return true;
}

QByteArray MainWindow::calcStageRequest() const
{
    return calcStageRead(calcStage).data;
}

void MainWindow::calcNextRead()
{
    if (calcStage == CalcReadSerial) {
        if (sendCalcRead(CalcReadSensor))
            return;
        // Nothing could be sent: the calculation goes on without it.
        lsqCalibration.setDeviceSensor(DeviceSensorType());
    }
    finishCalculation();
}

bool MainWindow::handleCalcTimeout()
{
    if (calcStage == CalcIdle || link->requestData() != calcStageRequest())
        return false;
    if (calcStage == CalcReadPmax) {
        calcStage = CalcIdle;
        return false;
    }
    calcReadNotTaken(QStringLiteral("прибор не ответил"));
    return true;
}

void MainWindow::calcReadNotTaken(const QString &why)
{
    // Without Pmax there is nothing to calculate with: the chain ends here,
    // and with it its hold on the lock.
    if (calcStage == CalcReadPmax) {
        calcStage = CalcIdle;
        reportFailure(QStringLiteral("Расчет невозможен: значение Pmax не прочитано (%1); проверьте прибор и "
                                     "повторите расчет").arg(why),
                      ui->textEditStatusCalibration);
        return;
    }
    // Neither the serial number nor the sensor type holds the calculation
    // back: the report and the pane say what was not read.
    if (calcStage == CalcReadSerial) {
        lsqCalibration.setSerial(false, 0);
        appendCalcMessages({CalcMessage{CalcMessage::Warning,
                                        QStringLiteral("Заводской номер не прочитан (%1): в отчете будет «не "
                                                       "прочитан», расчет продолжается\n").arg(why)}});
    } else {
        lsqCalibration.setDeviceSensor(DeviceSensorType());
        appendCalcMessages({CalcMessage{CalcMessage::Warning,
                                        QStringLiteral("Тип датчика не прочитан (%1), расчет продолжается\n")
                                            .arg(why)}});
    }
    calcNextRead();
}

bool MainWindow::calcChainPending() const
{
    // Only while the link still runs the calculation's reads: an operation
    // that took the line since (or a lost line) ends the chain's hold on
    // the lock.
    return calcStage != CalcIdle && link->operation() == 27;
}

void MainWindow::finishCalculation()
{
    calcStage = CalcIdle;
    const bool capacitor = ui->checkBoxCapacitor->isChecked();
    const bool tenzo1 = ui->cbTenzo1->isChecked();
    const DeviceSensorType &sensor = lsqCalibration.deviceSensor();
    const SensorModel chosen = chooseSensorModel(capacitor, tenzo1);
    const QString mismatch = sensorMismatchQuestion(sensor, chosen);
    if (!mismatch.isEmpty() && !calcDialogs.question(QStringLiteral("Подтверждение"), mismatch)) {
        reportFailure(QStringLiteral("Расчет отменен: прибор сообщает тип датчика «%1», выбрана модель «%2»; "
                                     "отметьте флажки «Емкостной» и «1-тензо» по типу датчика и повторите расчет")
                          .arg(sensorModelText(sensor.model), sensorModelText(chosen)),
                      ui->textEditStatusCalibration);
        return;
    }

    CalibrationOutcome out = lsqCalibration.calculate(capacitor, tenzo1);
    if (!mismatch.isEmpty()) {
        const QString note = QStringLiteral("Прибор сообщает тип датчика «%1», выбрана модель «%2»: расчет по "
                                            "выбранной модели по решению оператора")
                                 .arg(sensorModelText(sensor.model), sensorModelText(chosen));
        out.notes.prepend(note);
        out.messages.prepend(CalcMessage{CalcMessage::Warning, note + QLatin1Char('\n')});
    }
    appendCalcMessages(out.messages);
    // A refused result has said why in red; the dialog stays empty so
    // that nothing that is not a number can be written from it.
    if (!out.ok)
        return;
    if (out.needsConfirmation
        && !calcDialogs.question(QStringLiteral("Подтверждение"), out.confirmationText)) {
        reportFailure(QStringLiteral("Результат расчета отклонен: коэффициенты не переданы в окно "
                                     "параметров, в прибор ничего не записано"),
                      ui->textEditStatusCalibration);
        return;
    }
    // The record of the calibration beside its point files. One that
    // cannot be written is told, and does not hold the result back.
    const QString reportPath = lsqCalibration.reportFileName();
    lastCalibration = lsqCalibration.report(out, ui->comboBoxMainAddr->currentText(),
                                            QDateTime::currentDateTime());
    QString error;
    if (writeCalibrationReport(reportPath, calibrationReportText(lastCalibration), &error))
        appendCalcSuccess(QStringLiteral("Отчет о калибровке записан: %1\n").arg(reportPath));
    else
        reportFailure(QStringLiteral("Отчет о калибровке не записан (%1): %2").arg(reportPath, error),
                      ui->textEditStatusCalibration);
    recordCalculationHistory(lastCalibration, reportPath);
    dialogParam->setValues(out.values);
    dialogParam->show();
}

void MainWindow::handleCalcAnswer(int code)
{
    if (code == 27) {
        // An earlier request's late answer arrives under this code too; only
        // the answer to the read the calculation waits for is taken.
        if (calcStage == CalcIdle || link->requestData() != calcStageRequest())
            return;
        const bool intact = link->answerChecksumOk();
        const QByteArray data = link->answerData();
        const uint8_t status1 = answerResponseCode();
        if (!ResponseCode::executed(status1)) {
            calcReadNotTaken(QStringLiteral("прибор отказал: код ") + ResponseCode::status1Text(status1));
            return;
        }
        reportResponseCode(status1, ui->textEditStatusCalibration);   // a warning, said before the values
        switch (calcStage) {
        case CalcReadPmax: {
            // Pmax goes into every coefficient: a corrupted one must not.
            if (!intact) {
                calcStage = CalcIdle;
                reportFailure(QStringLiteral("Расчет невозможен: ответ прибора со значением Pmax искажен "
                                             "(ошибка контрольной суммы); повторите расчет"),
                              ui->textEditStatusCalibration);
                return;
            }
            CalcMessages messages;
            const bool ok = lsqCalibration.takePmax(data, &messages);
            appendCalcMessages(messages);
            if (!ok) {
                calcStage = CalcIdle;
                return;
            }
            if (!sendCalcRead(CalcReadSerial)) {
                lsqCalibration.setSerial(false, 0);
                calcNextRead();
            }
            return;
        }
        case CalcReadSerial: {
            uint32_t serial = 0;
            const bool have = intact && decodeSerial(data, &serial);
            lsqCalibration.setSerial(have, serial);
            if (!have)
                appendCalcMessages({CalcMessage{CalcMessage::Warning,
                                                QStringLiteral("Заводской номер не прочитан (ответ прибора %1): в "
                                                               "отчете будет «не прочитан», расчет продолжается\n")
                                                    .arg(intact ? QStringLiteral("без номера")
                                                                : QStringLiteral("искажен"))}});
            calcNextRead();
            return;
        }
        case CalcReadSensor:
            lsqCalibration.setDeviceSensor(intact ? decodeDeviceSensorType(data) : DeviceSensorType());
            finishCalculation();
            return;
        default:
            return;
        }
    }
    if (code != 29)
        return;

    // Upload: each answer is one block, told apart by its request register.
    // A corrupted answer fills nothing: its values would go back to the
    // device with the next download.
    const QByteArray data = link->answerData();
    if (!link->answerChecksumOk())
        return;
    const uint16_t reg = ValueCodec::requestRegister(link->requestData());
    if (!CoefficientUpload::take(reg, data, &uploadedValues))
        return;
    switch (reg) {
    case RegisterMap::A42:
        uploadedBlocks |= BlockA;
        appendCalcSuccess(QStringLiteral("Получены A\n"));
        break;
    case RegisterMap::B42:
        uploadedBlocks |= BlockB;
        appendCalcSuccess(QStringLiteral("Получены B\n"));
        break;
    case RegisterMap::C42:
        uploadedBlocks |= BlockC;
        appendCalcSuccess(QStringLiteral("Получены C\n"));
        break;
    case RegisterMap::MaxUpperLimit:
        uploadedBlocks |= BlockLimits;
        appendCalcSuccess(QStringLiteral("Получены коэффициенты\n"));
        break;
    default:
        uploadedBlocks |= BlockC43;
        break;
    }

    if (uploadedBlocks != AllBlocks)
        return;
    CalibrationCoefficients &v = uploadedValues;
    v.var1 = v.var2 = v.var4 = std::array<float, 6>{};
    v.polynomial = ui->checkBoxCapacitor->isChecked();
    dialogParam->setValues(v);
    dialogParam->show();
    uploadedBlocks = 0;
}

// ------------------------------------------------------ device exchange

void MainWindow::download2Device()
{
    PendingWrite write;
    write.say = [this](const QString &text) { appendStatus(ui->textEditStatusCalibration, text); };
    write.refuse = [this](const QString &text) { reportFailure(text, ui->textEditStatusCalibration); };
    m_coefWrite.clear();
    // A record loaded from a file is written whole, as the device operation
    // that knows its nine blocks; the dialog stays open.
    if (deviceOps.recordLoaded()) {
        if (!startExchange())
            return;
        write.what = QStringLiteral("Файл параметров");
        write.write = [this] { runOperation(28); };
        writeAfterSerialRead(batchFrames(deviceOps.buildOperation(28).items), std::move(write));
        return;
    }

    // A field that holds no number would go out as 0: nothing is sent, and
    // the dialog stays open with the field in red.
    using namespace ParameterVector;
    Values v{};
    if (!checkPortOpen()
        || !dialogParam->checkedParameterVector(&v, false, QStringLiteral("Запись в прибор не выполнена")))
        return;
    if (!startExchange())
        return;
    dialogParam->close();

    const QVector<BlockWriteTally::Block> blocks = BlockWriteTally::dialogBlocks(v);
    QVector<RequestItem> items;
    for (const BlockWriteTally::Block &b : blocks)
        items << RequestItem{RegisterMap::CmdWriteRegisters, b.request};
    const QVector<QByteArray> frames = batchFrames(items);
    write.what = QStringLiteral("Коэффициенты расчета");
    write.write = [this, frames, blocks] {
        m_coefWrite.begin(blocks);
        runBatch(28, 1500, frames);
    };
    writeAfterSerialRead(frames, std::move(write));
}

void MainWindow::uploadFromDevice()
{
    if (!startExchange())
        return;
    // What comes from the device replaces what came from a file.
    deviceOps.clearLoadedRecord();

    const QVector<QByteArray> frames = batchFrames(CoefficientUpload::reads());
    uploadedValues = CalibrationCoefficients();
    uploadedBlocks = 0;
    dialogParam->close();
    runBatch(29, pollPeriod, frames);
}

// ------------------------------------------------------ parameters file

void MainWindow::onSaveToFile(QString path)
{
    if (parametersFile->isOpen()) {
        deviceOps.abortSaveChain();
        parametersFile->close();
    }
    parametersFile->setFileName(path);
    if (!parametersFile->open(QIODevice::WriteOnly | QIODevice::Text)) {
        printTo(stderr, QStringLiteral("Couldn't open save file\n"));
        return;
    }

    const ParameterVector::Values v = dialogParam->parameterVector();
    const QStringList &keys = ParameterVector::keys();
    QByteArray lines;
    for (int i = 0; i < ParameterVector::Count; ++i)
        lines += (keys[i] + QLatin1Char(':') + ValueCodec::formatG(v[static_cast<size_t>(i)]) + QLatin1Char('\n'))
                     .toUtf8();
    parametersFile->write(lines);
    // On disk even if the device never answers and the chain stays open.
    parametersFile->flush();

    // The device supplies the rest of the file: range correction, balances,
    // serial number and model, appended answer by answer.
    deviceOps.beginSaveChain(parametersFile);
    onKdspRequest();
    // Without a line no answer will ever close the file.
    if (!link->isPortOpen())
        deviceOps.abortSaveChain();
}

void MainWindow::onReadFromFile(float *record)
{
    if (!record)
        return;
    // The dialog's own record comes with its integers exact (a serial number
    // above 2^24 does not survive a float); empty when its file lacked keys.
    QVector<double> values;
    if (record == dialogParam->loadedRecord().data()) {
        values = dialogParam->loadedValues();
    } else {
        for (int i = 0; i < Dialog::RecordSize; ++i)
            values.append(double(record[i]));
    }
    // A record the device cannot take must not go to it, nor an older one
    // in its place.
    if (!deviceOps.setLoadedRecord(values)) {
        deviceOps.clearLoadedRecord();
        if (!values.isEmpty())
            reportFailure(QStringLiteral("Файл параметров не будет записан в прибор: в нём значения, "
                                         "которые прибор не может хранить"),
                          ui->textEditStatusCalibration);
    }
}

// ------------------------------------------------------------ status pane

void MainWindow::appendCalcSuccess(const QString &text)
{
    appendCalcMessages({CalcMessage{CalcMessage::Success, text}});
}

void MainWindow::appendCalcMessages(const CalcMessages &messages)
{
    QTextEdit *pane = ui->textEditStatusCalibration;
    for (const CalcMessage &m : messages) {
        switch (m.kind) {
        case CalcMessage::Plain:
            appendStatus(pane, m.text);
            break;
        case CalcMessage::Success:
            appendStatus(pane, m.text, successColour());
            break;
        case CalcMessage::Warning:
            appendStatus(pane, m.text, QColor(230, 115, 0));   // orange: worth a look
            break;
        case CalcMessage::Failure:
            // Also in the status bar, whatever tab is in view.
            reportFailure(m.text, pane);
            break;
        }
    }
}
