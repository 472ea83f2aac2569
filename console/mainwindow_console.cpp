// The developer console of the main window: a raw request for command 0, 3,
// 51 or 91 composed from the fields of the developer tab, sent once or on
// every period until stopped, and the byte-level log of requests and
// answers with the checksum verdict and the decoded view of register reads.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "console/consoleformat.h"
#include "devicedata/numbertext.h"
#include "link/hartframe.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

namespace {
QLineEdit *byteField(const QObject *owner, const QString &floatName, int j)
{
    return owner->findChild<QLineEdit *>(floatName + QStringLiteral("_Byte_%1").arg(j));
}

QString floatName(int i)
{
    return QStringLiteral("lineFloat_%1").arg(i);
}
}

void MainWindow::setupConsole()
{
    // The state has been restored with the by-name handlers connected; the
    // command choice has not run its handler yet. The long-frame box holds
    // the choice stored at exit, which is the remembered one.
    longFrameChoice = ui->checkLongFrame->isChecked();
    refreshCommand51Data();
    on_spinBoxSymData91_valueChanged(ui->spinBoxSymData91->value());
    rebuildWrite91Data();
    m_write91Count = ui->spinBoxSymData91->value();

    connect(ui->comboBoxFunc, &QComboBox::currentTextChanged, this, &MainWindow::changeFunction);
    for (int i = 1; i <= ConsoleFormat::FloatFields; ++i) {
        if (auto *field = findChild<QLineEdit *>(floatName(i)))
            connect(field, &QLineEdit::textEdited, this, &MainWindow::changeData);
    }
    connect(ui->buttonCreate91Request, &QPushButton::clicked, this, &MainWindow::creat91Request);
    connect(ui->buttonSend, &QPushButton::clicked, this, &MainWindow::sendRequest);
    connect(ui->buttonStartLoop, &QPushButton::clicked, this, &MainWindow::startLoop);
    connect(ui->buttonStopLoop, &QPushButton::clicked, this, &MainWindow::stopLoop);
    // The polling tab's stop ends a console loop too; unique, as the polling
    // wiring may connect it as well.
    connect(ui->buttonStopRequstFunc3, &QPushButton::clicked, this, &MainWindow::stopLoop,
            Qt::UniqueConnection);
    connect(ui->buttonClearConsole, &QPushButton::clicked, this, &MainWindow::clearConsole);
    connect(link, &protocolComHart::requestSend, this, &MainWindow::requestIsSend, Qt::DirectConnection);

    // Brings the long-frame and decoded-view boxes in line with the restored
    // command, then builds and shows the request.
    changeFunction();
}

// ------------------------------------------------------------ composing

void MainWindow::changeFunction()
{
    const int command = ui->comboBoxFunc->currentData().toInt();
    if (command == 3) {
        ui->checkLongFrame->setChecked(longFrameChoice);
        ui->checkLongFrame->setEnabled(true);
    } else if (command == 0) {
        ui->checkLongFrame->setChecked(false);
        ui->checkLongFrame->setEnabled(false);
    }
    ui->checkAltView->setEnabled(command == 51);
    ui->checkAltView->setChecked(command == 51);
    buildConsoleRequest();
    showRequest();
}

void MainWindow::on_checkLongFrame_stateChanged(int)
{
    if (ui->comboBoxFunc->currentData().toInt() != 0)
        longFrameChoice = ui->checkLongFrame->isChecked();
    buildConsoleRequest();
    showRequest();
}

void MainWindow::on_comboBoxMainAddr_currentIndexChanged(int)
{
    buildConsoleRequest();
    showRequest();
}

void MainWindow::on_spinBoxSymPreamble_valueChanged(int)
{
    buildConsoleRequest();
    showRequest();
}

void MainWindow::on_lineAddr91_textChanged(const QString &)
{
    buildConsoleRequest();
    showRequest();
}

void MainWindow::on_lineAddr91_2_textChanged(const QString &)
{
    buildConsoleRequest();
    showRequest();
}

void MainWindow::on_comboBoxRegisters_currentIndexChanged(int)
{
    ConsoleFormat::Preset p;
    if (!ConsoleFormat::preset(ui->comboBoxRegisters->currentData().toInt(), &p))
        return;
    ui->spinBoxSymData91->setValue(p.dataCount);
    ui->lineAddr91_2->setText(p.high);
    ui->lineAddr91->setText(p.low);
}

void MainWindow::on_spinBoxSymData91_valueChanged(int count)
{
    for (int i = 1; i <= ConsoleFormat::FloatFields; ++i) {
        const QString name = floatName(i);
        auto *field = findChild<QLineEdit *>(name);
        if (!field)
            continue;
        field->setEnabled(ConsoleFormat::floatFieldCovered(count, i));
        QByteArray bytes;
        for (int j = 1; j <= ConsoleFormat::BytesPerFloat; ++j) {
            QLineEdit *b = byteField(this, name, j);
            if (!b)
                continue;
            b->setEnabled(ConsoleFormat::byteFieldCovered(count, i, j));
            bytes.append(char(ConsoleFormat::hexFieldByte(b->text())));
        }
        // Every float shows what its byte fields hold, covered or not.
        field->setText(ConsoleFormat::floatText(ConsoleFormat::floatFromBytes(bytes)));
    }
    // The count is part of a register read and sizes a write: the request
    // line follows it, as it follows every other field.
    buildConsoleRequest();
    showRequest();
}

void MainWindow::changeData()
{
    auto *field = qobject_cast<QLineEdit *>(sender());
    if (!field)
        return;
    // A text that is no number (yet) leaves the bytes as they are and shows
    // red; a send refuses it while it stays so.
    const NumberText::InputValue typed = NumberText::readInput(field->text(), NumberText::InputRule::real());
    field->setPalette(typed.ok ? paletteNormal : paletteFailure);
    if (!typed.ok)
        return;
    const QByteArray bytes = ConsoleFormat::floatBytes(float(typed.value));
    for (int j = 1; j <= ConsoleFormat::BytesPerFloat; ++j) {
        if (QLineEdit *b = byteField(this, field->objectName(), j))
            b->setText(ConsoleFormat::byteText(uint8_t(bytes.at(j - 1))));
    }
}

bool MainWindow::consoleFieldsValid()
{
    // The fields the chosen command takes its bytes from, each whole: a
    // byte field that is empty or a float field that is no number would
    // otherwise send 0 or the bytes of an earlier value.
    const int command = ui->comboBoxFunc->currentData().toInt();
    if (command != 51 && command != 91)
        return true;
    QStringList problems;
    auto check = [&](QLineEdit *field, bool ok, const QString &caption, const NumberText::InputValue &v) {
        field->setPalette(ok ? paletteNormal : paletteFailure);
        if (!ok)
            problems << NumberText::inputRefusal(caption, v);
    };
    const NumberText::InputRule byteRule = NumberText::InputRule::hex(0xff);
    const NumberText::InputValue high = NumberText::readInput(ui->lineAddr91_2->text(), byteRule);
    check(ui->lineAddr91_2, high.ok, QStringLiteral("Адрес, старший байт"), high);
    const NumberText::InputValue low = NumberText::readInput(ui->lineAddr91->text(), byteRule);
    check(ui->lineAddr91, low.ok, QStringLiteral("Адрес, младший байт"), low);
    if (command == 91) {
        const int count = ui->spinBoxSymData91->value();
        for (int i = 1; i <= ConsoleFormat::FloatFields; ++i) {
            QByteArray bytes;
            for (int j = 1; j <= ConsoleFormat::BytesPerFloat; ++j) {
                QLineEdit *b = byteField(this, floatName(i), j);
                if (!b || !ConsoleFormat::byteFieldCovered(count, i, j))
                    continue;
                const NumberText::InputValue v = NumberText::readInput(b->text(), byteRule);
                check(b, v.ok, QStringLiteral("Значение %1, байт %2").arg(i).arg(j), v);
                bytes.append(char(ConsoleFormat::hexFieldByte(b->text())));
            }
            auto *f = findChild<QLineEdit *>(floatName(i));
            if (!f || !ConsoleFormat::floatFieldCovered(count, i))
                continue;
            // What the bytes hold shown as is ("nan" for an erased cell) is
            // no typed number, but it is what goes out.
            const NumberText::InputValue v = NumberText::readInput(f->text(), NumberText::InputRule::real());
            const bool showsBytes = f->text() == ConsoleFormat::floatText(ConsoleFormat::floatFromBytes(bytes));
            check(f, v.ok || showsBytes, QStringLiteral("Значение %1").arg(i), v);
        }
    }
    if (problems.isEmpty())
        return true;
    reportFailure(QStringLiteral("Запрос не отправлен: ") + problems.join(QStringLiteral("; ")),
                  ui->textEditStatus);
    return false;
}

void MainWindow::creat91Request()
{
    if (!consoleFieldsValid())
        return;
    rebuildWrite91Data();
    m_write91Count = ui->spinBoxSymData91->value();
    buildConsoleRequest();
    showRequest();
}

void MainWindow::refreshCommand51Data()
{
    command51Data[0] = ConsoleFormat::hexFieldByte(ui->lineAddr91_2->text());
    command51Data[1] = ConsoleFormat::hexFieldByte(ui->lineAddr91->text());
    command51Data[2] = uint8_t(ui->spinBoxSymData91->value());
}

void MainWindow::rebuildWrite91Data()
{
    // Register address, then the bytes of every byte field in use, float by
    // float, most significant first: as many as the data count.
    QByteArray data;
    data.append(char(ConsoleFormat::hexFieldByte(ui->lineAddr91_2->text())));
    data.append(char(ConsoleFormat::hexFieldByte(ui->lineAddr91->text())));
    for (int i = 1; i <= ConsoleFormat::FloatFields; ++i) {
        for (int j = 1; j <= ConsoleFormat::BytesPerFloat; ++j) {
            QLineEdit *b = byteField(this, floatName(i), j);
            if (b && b->isEnabled())
                data.append(char(ConsoleFormat::hexFieldByte(b->text())));
        }
    }
    write91Data = data;
}

void MainWindow::buildConsoleRequest()
{
    const int command = ui->comboBoxFunc->currentData().toInt();
    // Command 0 always goes out short; buildRequest sees to its address byte.
    const bool longFrame = ui->checkLongFrame->isChecked() && command != 0;
    refreshCommand51Data();

    int dataLength = 0;
    if (command == 51) {
        dataLength = 3;
    } else if (command == 91) {
        // The data count may have changed since the data was created: then
        // the data is taken from the fields again at every build until it
        // is created anew, so that the request carries exactly the bytes the
        // count and the fields show rather than a buffer of another size.
        const int count = ui->spinBoxSymData91->value();
        if (count != m_write91Count || write91Data.size() != count + 2)
            rebuildWrite91Data();
        dataLength = qMin(count + 2, write91Data.size());
    }

    const int preamble = ui->spinBoxSymPreamble->value();
    QString error;
    buildRequest(preamble, longFrame, ConsoleFormat::hexFieldByte(ui->comboBoxMainAddr->currentText()),
                 command, command == 91 ? dataLength - 1 : 0, &error);
    if (requestLength == 0) {
        const int size = HartRequestFrame::frameSizeFor(preamble, longFrame, dataLength);
        m_consoleRefusal = size > RequestBufferSize
                               ? ConsoleFormat::oversizeText(size, RequestBufferSize)
                               : error + QLatin1Char('\n');
        return;
    }
    m_consoleRefusal.clear();
}

void MainWindow::showRequest()
{
    ui->lineEditRequest->setText(ConsoleFormat::spacedHex(requestBytes, requestLength));
}

// ------------------------------------------------------------ sending

bool MainWindow::prepareConsoleSend()
{
    if (!checkPortOpen() || !consoleFieldsValid())
        return false;
    takeLine(1);
    link->clearQueue();
    buildConsoleRequest();
    showRequest();
    if (requestLength == 0) {
        consoleWrite(m_consoleRefusal, Qt::red, Qt::white);
        return false;
    }
    // The answers are the console's: left at the code of the last operation
    // they would be taken for scan results, polling rows or a device
    // operation's value.
    prepareLink(1, pollPeriod);
    return true;
}

void MainWindow::sendRequest()
{
    if (!prepareConsoleSend())
        return;
    // A loop's request just stopped may still wait for its answer: queued,
    // this one goes out once that outcome is in instead of being refused.
    if (link->isBusy()) {
        link->enqueue(builtRequest());
        link->startQueue(false);
        return;
    }
    link->sendFrame(builtRequest());
}

void MainWindow::startLoop()
{
    if (!prepareConsoleSend())
        return;
    link->sendRepeated(builtRequest());
    loopRunning = true;
}

void MainWindow::stopLoop()
{
    leaveLoopState();
    link->stopSending();
    // A poll takes the busy lock before it marks the loop as running, and
    // while the loop runs its answers release only the flag: the operation
    // buttons it disabled would stay disabled for good. With nothing in
    // flight, stopping returns the window to its idle state; otherwise the
    // outstanding answer's release does it.
    if (!busy)
        setBusy(false);
}

void MainWindow::clearConsole()
{
    ui->textEditConsole->clear();
    ui->textEditStatus->clear();
}

// ------------------------------------------------------------ the log

void MainWindow::consoleWrite(const QString &text, const QColor &fg, const QColor &bg)
{
    // The cursor may have been put anywhere by a click: the log always grows
    // at its end, and the colours are set there.
    QTextEdit *c = ui->textEditConsole;
    c->moveCursor(QTextCursor::End);
    c->setTextBackgroundColor(bg);
    c->setTextColor(fg);
    c->insertPlainText(text);
}

void MainWindow::requestIsSend(const char *req, int sSym)
{
    const QByteArray frame(req, qMax(0, sSym));
    if (ui->tabWidget->currentWidget() == ui->tabForDeveloper) {
        ui->buttonSend->setEnabled(false);
        consoleWrite(QStringLiteral("\n") + ConsoleFormat::spacedHex(frame) + QLatin1Char(' '),
                     Qt::black, Qt::white);
        // The answer that follows is written inverted.
        ui->textEditConsole->setTextBackgroundColor(Qt::black);
        ui->textEditConsole->setTextColor(Qt::white);
        ui->textEditConsole->ensureCursorVisible();
    } else if (scanRunning) {
        const int address = ConsoleFormat::requestShortAddress(frame);
        appendScanText(QStringLiteral("Устройство по адресу ")
                       + ConsoleFormat::byteText(uint8_t(qMax(0, address))) + QStringLiteral("..."));
    }
}

void MainWindow::showConsoleAnswer()
{
    if (ui->tabWidget->currentWidget() == ui->tabForDeveloper) {
        consoleWrite(ConsoleFormat::spacedHex(link->receivedBytes()) + QLatin1Char(' '), Qt::white, Qt::black);
        if (link->answerChecksumOk())
            consoleWrite(QStringLiteral("CRC Ok"), Qt::black, Qt::green);
        else
            consoleWrite(QStringLiteral("bad CRC"), Qt::black, Qt::red);
        const bool altView = ui->checkAltView->isChecked();
        if (altView) {
            consoleWrite(QStringLiteral("\n"), Qt::black, Qt::white);
            const auto lines = ConsoleFormat::decodedView(link->answerData(), command51Data[1]);
            for (const ConsoleFormat::DecodedLine &line : lines) {
                if (line.isFloat)
                    consoleWrite(line.text, Qt::white, Qt::black);
                else
                    consoleWrite(line.text, Qt::black, Qt::white);
            }
        }
        // What the device says about the request and about itself, after
        // the verdict (or its decoded data) so both stay where they were.
        const HartAnswer &a = link->answer();
        const ResponseCode::Kind kind = ResponseCode::kind(a.status1());
        const QColor back = kind == ResponseCode::Kind::Success ? QColor(Qt::white)
            : kind == ResponseCode::Kind::Warning              ? QColor(255, 165, 0)
                                                               : QColor(Qt::red);
        if (!altView)
            consoleWrite(QStringLiteral(" "), Qt::black, Qt::white);
        consoleWrite(ResponseCode::statusText(a.status1(), a.status2()), Qt::black, back);
        ui->textEditConsole->setTextBackgroundColor(Qt::white);
        ui->textEditConsole->setTextColor(Qt::black);
    }
    ui->textEditConsole->moveCursor(QTextCursor::End);
    ui->textEditConsole->ensureCursorVisible();
}
