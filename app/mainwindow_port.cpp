// Port controls, the port check, the busy lock, request building and the
// status panes.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "link/hartframe.h"
#include "link/protocolcomhart.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTextCharFormat>
#include <cstdio>
#include <cstring>

void MainWindow::appendPaneOnly(QTextEdit *pane, const QString &text, const QColor &colour)
{
    if (colour.isValid()) {
        pane->moveCursor(QTextCursor::End);
        pane->setTextColor(colour);
    }
    // Appends in the pane's current colour: whoever set a colour before
    // (a failure in red, a success in green) keeps it for this text.
    const QTextCharFormat format = pane->currentCharFormat();
    pane->moveCursor(QTextCursor::End);
    pane->setCurrentCharFormat(format);
    pane->insertPlainText(text);
    pane->ensureCursorVisible();
}

void MainWindow::appendStatus(QTextEdit *pane, const QString &text)
{
    appendPaneOnly(pane, text);
    echoPaneMessage(pane, text);
}

void MainWindow::appendStatus(QTextEdit *pane, const QString &text, const QColor &colour)
{
    appendPaneOnly(pane, text, colour);
    echoPaneMessage(pane, text);
}

void MainWindow::updateCOM()
{
    if (busy)
        setBusy(false);
    ui->comboBoxNamePort->clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->comboBoxNamePort->addItem(info.portName());

    // A port the system does not list (a virtual line, an adapter under
    // another name) is offered first when it was chosen for this run or
    // connected last time.
    if (!m_preferredPort.isEmpty()) {
        const int at = ui->comboBoxNamePort->findText(m_preferredPort);
        if (at >= 0)
            ui->comboBoxNamePort->removeItem(at);
        ui->comboBoxNamePort->insertItem(0, m_preferredPort);
        ui->comboBoxNamePort->setCurrentIndex(0);
    }
}

namespace {

// What the engineer can do about a port that would not open, in words; the
// port's own error kind decides, since its text may come translated.
QString portOpenFailureText(const QString &name, QSerialPort::SerialPortError error,
                            const QString &errorText)
{
    switch (error) {
    case QSerialPort::PermissionError:
        // A port held by another program is told apart before this.
        return QStringLiteral("Нет доступа к порту %1 (%2): нужны права на чтение и запись порта")
            .arg(name, errorText);
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("Порт %1 не найден: проверьте имя порта и подключение адаптера, "
                              "обновите список портов и нажмите \"Связать\"").arg(name);
    default:
        return QStringLiteral("Не удалось открыть порт %1 (%2): проверьте имя порта и нажмите "
                              "\"Связать\" снова").arg(name, errorText);
    }
}

} // namespace

void MainWindow::connectCOM()
{
    const QString name = ui->comboBoxNamePort->currentText().trimmed();
    const bool opened = !name.isEmpty() && link->openPort(name);
    if (!name.isEmpty() && link->isPortOpen() && !opened) {
        // Open but not set to the line's parameters: talking over it would
        // only garble frames, so it is not offered as connected.
        const QString why = link->portErrorString();
        const QString setting = link->refusedSetting();
        link->closePort();
        appendStatus(ui->textEditStatus, QStringLiteral("Ошибка подключения\n"));
        // Only values no port can take are the settings' fault; a usable
        // value the port refused is the port's (its driver or adapter).
        const QString text = link->serialConfig().isUsable()
            ? QStringLiteral("Порт %1 отказался принять настройку линии \"%2\" (%3): порт или его драйвер "
                             "её не поддерживает; переподключите адаптер или выберите другой порт и "
                             "нажмите \"Связать\" снова").arg(name, setting, why)
            : QStringLiteral("Порт %1 не принял настройки линии (%2): проверьте их на вкладке "
                             "\"Настройка программы\" и нажмите \"Связать\" снова").arg(name, why);
        reportFailure(text, nullptr, -1, LogSource::port());
        return;
    }
    if (opened) {
        appendStatus(ui->textEditStatus, QStringLiteral("COM подключен\n"));
        ui->buttonConnectPort->setEnabled(false);
        m_lastPort = name;
        // Replaces a loss or failure the status bar may still be showing.
        showStatusMessage(QStringLiteral("Порт %1 подключен").arg(name), successColour(), -1,
                          LogSource::port());
        return;
    }
    appendStatus(ui->textEditStatus, QStringLiteral("Ошибка подключения\n"));
    if (name.isEmpty()) {
        reportFailure(QStringLiteral("Порт не выбран: выберите порт в списке или введите его имя "
                                     "и нажмите \"Связать\""),
                      nullptr, -1, LogSource::port());
        return;
    }
    if (link->portHeldElsewhere()) {
        // Stays in the status bar until the next message: the port stays
        // taken until the other program lets it go.
        reportFailure(QStringLiteral("Порт %1 занят другой программой: закройте её или выберите другой порт")
                          .arg(name), nullptr, 0, LogSource::port());
        return;
    }
    reportFailure(portOpenFailureText(name, link->portError(), link->portErrorString()), nullptr, -1,
                  LogSource::port());
}

void MainWindow::closeCOM()
{
    // Nothing that waits for an answer may outlive the port: a loop would
    // otherwise go on timing out against a closed line.
    haltLineActivity(QStringLiteral("порт закрыт"));
    ui->buttonConnectPort->setEnabled(true);
    // The request in flight ends with a time-out outcome once the port is
    // closed; it belongs to what was just stopped.
    m_staleOutcome = link->isBusy();
    link->closePort();
}

bool MainWindow::checkPortOpen()
{
    if (link->isPortOpen())
        return true;
    const QString text = QStringLiteral("Порт не открыт!!\n");
    appendStatus(ui->textEditStatus, text, Qt::red);
    ui->textEditStatus->setTextColor(Qt::black);
    // These two panes stay red until an operation sets its own colour.
    for (QTextEdit *pane : {ui->textEditStatusCalibration, ui->textEditStatusSettingsDevice})
        appendStatus(pane, text, Qt::red);
    // The developer tab's log is hidden while the tabs are locked: the
    // status bar says it whatever is shown.
    showStatusMessage(QStringLiteral("Порт не открыт!! Выберите порт и нажмите \"Связать\""), Qt::red,
                      -1, LogSource::port());
    return false;
}

void MainWindow::setBusy(bool on)
{
    if (!interfaceLocked && !loopRunning) {
        const int current = ui->tabWidget->currentIndex();
        for (int i = TabDeveloper; i <= TabDevice; ++i) {
            if (i != current)
                ui->tabWidget->setTabEnabled(i, !on);
        }
        QWidget *const buttons[] = {
            ui->buttonSpan, ui->buttonZero, ui->buttonZeroFirstVar, ui->buttonSetMode,
            ui->buttonMovingAverage_1, ui->buttonMovingAverage_2, ui->buttonSetAddress,
            ui->buttonSetMaxValue, ui->buttonGetMode, ui->buttonGetMovingAverage_1,
            ui->buttonGetMovingAverage_2, ui->buttonMovingAverage_3, ui->buttonGetAddress,
            ui->buttonGetMaxValue, ui->buttonGetPressue, ui->buttonGetCurrent,
            ui->buttonFindCoefMNK, ui->pbGetSerial, ui->pbSetSerial, ui->current_reg_setButton,
            ui->current_reg_recvButton, ui->kdsp_getButton, ui->kdsp_setButton,
            ui->coef_getButton, ui->coef_setButton, ui->pbSetEEPROMPaswd, ui->pbGetEEPROMPaswd,
            ui->pbRebootDevice, ui->pbSetFilterAmp,
        };
        for (QWidget *w : buttons)
            w->setEnabled(!on);
    }
    busy = on;
}

void MainWindow::buildRequest(int preamble, bool longFrame, uint8_t address, int command, int n,
                              QString *error)
{
    // Command 0 is always sent with a short frame, so its address byte must
    // be the short address itself, not the first byte of a long one.
    const bool useLong = longFrame && command != 0;
    const uint8_t longAddress[5] = {0x0F, 0x02, address, 0xFD, 0xEF};
    const uint8_t shortAddress[5] = {address, 0, 0, 0, 0};

    HartRequestFrame frame;
    frame.setPreambleCount(preamble);
    frame.setLongFrame(useLong);
    frame.setAddressBytes(useLong ? longAddress : shortAddress);

    bool built = false;
    switch (command) {
    case 0: built = frame.buildCommand0(); break;
    case 3: built = frame.buildCommand3(); break;
    case 36: built = frame.buildCommand36(); break;
    case 37: built = frame.buildCommand37(); break;
    case 42: built = frame.buildCommand42(); break;
    case 43: built = frame.buildCommand43(); break;
    case 51: built = frame.buildCommand51(command51Data); break;
    case 91: {
        const int count = qBound(0, n + 1, write91Data.size());
        built = frame.buildCommand91(reinterpret_cast<const uint8_t *>(write91Data.constData()), count);
        break;
    }
    default:
        std::fprintf(stderr, "buildRequest: unknown command %d\n", command);
        break;
    }

    if (!built) {
        // The frame has said why on the diagnostic stream.
        if (error)
            *error = frame.errorString();
        requestLength = 0;
        return;
    }
    requestLength = qMin(frame.frameSize(), int(RequestBufferSize));
    std::memcpy(requestBytes, frame.frameBytes(), size_t(requestLength));
}

QVector<QByteArray> MainWindow::batchFrames(const QVector<RequestItem> &items)
{
    OperationRequest request;
    request.items = items;
    const bool longFrame = ui->checkLongFrame->isChecked();
    const auto address = uint8_t(ui->comboBoxMainAddr->currentData().toInt());
    QVector<QByteArray> frames;
    QString error;
    if (!request.frames(ui->spinBoxSymPreamble->value(), longFrame,
                        OperationRequest::addressBytes(address, longFrame), &frames, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        reportUnbuiltFrames(ui->spinBoxSymPreamble->value(), longFrame, items, error);
    }
    return frames;
}

void MainWindow::runBatch(int code, int periodMs, const QVector<QByteArray> &frames, bool cyclic)
{
    if (frames.isEmpty()) {
        // Too many preamble bytes for the frame buffer: nothing goes out, so
        // no answer would ever release the lock.
        setBusy(false);
        return;
    }
    prepareLink(code, periodMs);
    for (const QByteArray &f : frames)
        link->enqueue(f);
    link->startQueue(cyclic);
    trackOperation(code, frames.size());
}

bool MainWindow::startExchange()
{
    if (!checkPortOpen())
        return false;
    takeLine(0);
    if (!busy)
        setBusy(true);
    link->clearQueue();
    return true;
}

void MainWindow::prepareLink(int code, int periodMs)
{
    link->setPeriod(periodMs);
    link->setTimeout(pollTimeout);
    link->setRepeats(pollRepeats);
    link->setOperation(code);
}
