#include "link/protocolcomhart.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QTimer>
#include <climits>
#include <cstdio>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcLink, "tesmar.link", QtWarningMsg)

namespace {
// RTS is raised this long before the first byte so the modem's carrier is up.
constexpr int RtsLeadMs = 5;
// Longest wait for the port to take a frame before moving on regardless.
constexpr int WriteGuardMs = 30000;
// A frame in progress that has had no byte for this long when a request is
// written is a torn fragment, not a frame still arriving. Real adapters hand
// bytes over every 16 ms or so, even at 1200 baud.
constexpr qint64 FragmentGapNs = 50LL * 1000 * 1000;
// How often a request waiting for a quiet line looks again, and the least
// silence that counts as quiet after an answer from the same device.
constexpr int QuietCheckMs = 2;
constexpr qint64 CopyGapFloorNs = 3LL * 1000 * 1000;

// The device byte (short address, or byte 2 of a long address) and the
// command of a request frame; false when the frame cannot be read that far.
// A short address and the first byte of a long one are taken without their
// master and burst bits, which a device may echo in its answer.
bool requestKeys(const QByteArray &frame, int *address, int *command, int *longHead)
{
    const auto *b = reinterpret_cast<const uint8_t *>(frame.constData());
    const int size = frame.size();
    int i = 0;
    while (i < size && b[i] == 0xFF)
        ++i;
    if (i >= size || (b[i] != 0x02 && b[i] != 0x82))
        return false;
    const bool longFrame = b[i] == 0x82;
    const int commandAt = i + 1 + (longFrame ? 5 : 1);
    if (commandAt >= size)
        return false;
    *address = longFrame ? b[i + 3] : (b[i + 1] & HartAnswer::AddressMask);
    *longHead = longFrame ? (b[i + 1] & HartAnswer::AddressMask) : -1;
    *command = b[commandAt];
    return true;
}

// The new short address a request writes into the address register, or -1
// when it writes something else. The device may answer such a write from
// its new address.
int newAddressWritten(int command, const QByteArray &data)
{
    constexpr int WriteRegisters = 91;
    constexpr int AddressRegister = 0x0003;
    if (command != WriteRegisters || data.size() < 3)
        return -1;
    const int reg = uint8_t(data.at(0)) << 8 | uint8_t(data.at(1));
    return reg == AddressRegister ? (uint8_t(data.at(2)) & HartAnswer::AddressMask) : -1;
}

void writeDiagnostic(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
}

int clampToInt(long long v)
{
    return int(qBound<long long>(INT_MIN, v, INT_MAX));
}

// The device file a port name stands for, as the serial port library reads it.
QString devicePath(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./"))
        || name.startsWith(QLatin1String("../")))
        return name;
    return QStringLiteral("/dev/") + name;
}

QTimer *makeSingleShot(QObject *parent)
{
    auto *t = new QTimer(parent);
    t->setSingleShot(true);
    // Coarse timers may fire early; every interval here is a minimum.
    t->setTimerType(Qt::PreciseTimer);
    return t;
}
}

protocolComHart::protocolComHart(QObject *parent, const QString &configPath)
    : QObject(parent)
    , m_port(new QSerialPort(this))
    , m_timeoutTimer(makeSingleShot(this))
    , m_sendTimer(makeSingleShot(this))
    , m_phaseTimer(makeSingleShot(this))
{
    m_clock.start();
    qRegisterMetaType<LinkTrafficEvent>();
    m_config.load(configPath);
    connect(m_port, &QSerialPort::readyRead, this, &protocolComHart::readData);
    connect(m_port, &QSerialPort::bytesWritten, this, &protocolComHart::onBytesWritten);
    connect(m_timeoutTimer, &QTimer::timeout, this, &protocolComHart::timeoutFunc);
    connect(m_phaseTimer, &QTimer::timeout, this, &protocolComHart::onPhaseTimer);
    connect(m_port, &QSerialPort::errorOccurred, this, &protocolComHart::onPortError);
}

protocolComHart::~protocolComHart()
{
    m_timeoutTimer->stop();
    m_sendTimer->stop();
    m_phaseTimer->stop();
    disconnect(m_port, nullptr, this, nullptr);
    m_port->close();
}

// ---------------------------------------------------------------- port

bool protocolComHart::openPort(const QString &name)
{
    if (m_port->isOpen() && m_portName == name && !m_losingLine)
        return true;
    closePort();
    // A loss still being wound up must not close the port opened now.
    m_losingLine = false;
    m_portName = name;
    // The lock that keeps a second program off a port is named after the path
    // opened: open the device a link (/dev/serial/by-id/..., a virtual line)
    // points to, so that every name of one device meets the same lock.
    const QFileInfo device(devicePath(name));
    const QString target = device.isSymLink() ? device.canonicalFilePath() : QString();
    m_port->setPortName(target.isEmpty() ? name : target);
    if (!m_port->open(QIODevice::ReadWrite)) {
        std::fputs("protocolComHart::couldn't set rw permission\n", stderr);
        writeDiagnostic(m_port->errorString() + QLatin1Char('\n'));
        return false;
    }
    if (!configurePort()) {
        writeDiagnostic(m_port->errorString() + QLatin1Char('\n'));
        return false;
    }
    return true;
}

bool protocolComHart::configurePort()
{
    // A setting the port already holds is not sent again: a pseudo-terminal
    // drops the parity-enable bit and then refuses a second odd-parity
    // request, which would fail a re-apply of an unchanged record.
    const auto dataBits = QSerialPort::DataBits(m_config.dataBits);
    const auto parity = QSerialPort::Parity(m_config.parity);
    const auto stopBits = QSerialPort::StopBits(m_config.stopBits);
    const auto flow = QSerialPort::FlowControl(m_config.flowControl);
    if (m_port->baudRate(QSerialPort::Input) != m_config.baudRate
        || m_port->baudRate(QSerialPort::Output) != m_config.baudRate) {
        if (!m_port->setBaudRate(m_config.baudRate, QSerialPort::AllDirections)) {
            std::fputs("protocolComHart::couldn't set baudrate\n", stderr);
            return false;
        }
    }
    if (m_port->dataBits() != dataBits && !m_port->setDataBits(dataBits)) {
        std::fputs("protocolComHart::couldn't set data bits number\n", stderr);
        return false;
    }
    if (m_port->parity() != parity && !m_port->setParity(parity)) {
        std::fputs("protocolComHart::couldn't set parity\n", stderr);
        return false;
    }
    if (m_port->stopBits() != stopBits && !m_port->setStopBits(stopBits)) {
        std::fputs("protocolComHart::couldn't set stop bits\n", stderr);
        return false;
    }
    if (m_port->flowControl() != flow && !m_port->setFlowControl(flow)) {
        std::fputs("protocolComHart::couldn't set flow control\n", stderr);
        return false;
    }
    return true;
}

void protocolComHart::closePort()
{
    m_closingPort = true;
    m_port->close();
    m_closingPort = false;
    // Whatever phase the request in flight had reached, no answer can come
    // through a closed port: it ends at once with its time-out outcome.
    if (m_busy && m_phase != Phase::Unsent) {
        m_timeoutTimer->stop();
        m_phase = Phase::Unsent;
        m_phaseTimer->start(0);
    }
}

bool protocolComHart::isPortOpen() const { return m_port->isOpen(); }
QString protocolComHart::portName() const { return m_portName; }
QString protocolComHart::portErrorString() const { return m_port->errorString(); }

QSerialPort::SerialPortError protocolComHart::portError() const { return m_port->error(); }

bool protocolComHart::portHeldElsewhere() const
{
    // The library reports a port locked by another program, and one another
    // program opened exclusively, as a permission error. It is the other
    // program, not the rights, when this user may read and write the device.
    if (m_port->isOpen() || m_port->error() != QSerialPort::PermissionError)
        return false;
    return ::access(QFile::encodeName(devicePath(m_portName)).constData(), R_OK | W_OK) == 0;
}

SerialConfig &protocolComHart::serialConfig() { return m_config; }
const SerialConfig &protocolComHart::serialConfig() const { return m_config; }

// ---------------------------------------------------------------- timing

void protocolComHart::setPeriod(int ms)
{
    m_period = ms;
    if (m_timeout < 2LL * ms)
        m_timeout = clampToInt(2LL * ms);
}

void protocolComHart::setTimeout(int ms)
{
    m_timeout = clampToInt(qMax<long long>(ms, 2LL * m_period));
}

void protocolComHart::setRepeats(int n)
{
    m_repeatCount = m_repeatsLeft = n;
}

void protocolComHart::setOperation(int code) { m_operation = code; }
int protocolComHart::period() const { return m_period; }
int protocolComHart::timeout() const { return m_timeout; }
int protocolComHart::repeats() const { return m_repeatCount; }
int protocolComHart::operation() const { return m_operation; }
int protocolComHart::repeatsLeft() const { return m_repeatsLeft; }

// ---------------------------------------------------------------- queue

void protocolComHart::clearQueue() { m_queue.clear(); }
void protocolComHart::enqueue(const QByteArray &frame) { m_queue.append(frame); }
int protocolComHart::queueSize() const { return m_queue.size(); }
bool protocolComHart::isBusy() const { return m_busy; }

void protocolComHart::resetReceive()
{
    // The receiver itself is left alone: a frame in progress is an earlier
    // exchange's and is judged as such when it completes (see startWrite).
    m_answerValid = false;
    m_answerPending = false;
    m_written = false;
}

void protocolComHart::startQueue(bool loop)
{
    endRepeatMode();
    if (m_queue.isEmpty()) {
        std::fputs("Requests quene is empty\n", stderr);
        return;
    }
    m_answerValid = false;
    m_loopMode = loop;
    m_allSent = false;
    m_lastOutcomeAnswered = false;
    m_queueIndex = 0;
    m_queueRunning = true;
    connect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::sendNext, Qt::UniqueConnection);
    // Connected after the main window's own handler, so that runs first.
    connect(this, &protocolComHart::answerGet, this, &protocolComHart::sendNext, Qt::UniqueConnection);
    m_sendTimer->start(m_period);
}

void protocolComHart::stopSending()
{
    endQueueRun();
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::timerSendLoop);
    m_repeating = false;
}

void protocolComHart::endQueueRun()
{
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::sendNext);
    disconnect(this, &protocolComHart::answerGet, this, &protocolComHart::sendNext);
    m_sendTimer->stop();
    m_queueRunning = false;
}

void protocolComHart::endRepeatMode()
{
    if (!m_repeating)
        return;
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::timerSendLoop);
    m_sendTimer->stop();
    m_repeating = false;
    emit repeatEnded();
}

void protocolComHart::finishQueue()
{
    m_queue.clear();
    endQueueRun();

    // Only a batch whose last request was answered is reported complete; one
    // that ended in a time-out is not, and nothing is left pending for some
    // later, unrelated answer to trigger. The queue can run out while its
    // last request is still in flight: then that request's outcome decides.
    if (m_busy) {
        m_allSent = true;
        return;
    }
    m_allSent = false;
    if (!m_lastOutcomeAnswered || m_requestOperation != NotifyAllSentOperation)
        return;
    if (m_answerEmitDepth > 0)
        m_allSent = true;           // reported right after that answer's answerGet
    else
        emit allRequestsIsSend();   // the period ran out after the answer
}

void protocolComHart::sendNext()
{
    // The send timer keeps at least one period between the starts of two
    // transmissions; while it runs, its own time-out will call again.
    if (m_sendTimer->isActive())
        return;
    if (m_queue.isEmpty()) {
        finishQueue();
        return;
    }
    if (m_queueIndex >= m_queue.size()) {
        if (!m_loopMode) {
            finishQueue();
            return;
        }
        m_queueIndex = 0;
    }
    if (m_busy)
        return;     // the answer or the final time-out calls again
    m_sendTimer->start(m_period);
    const QByteArray frame = m_queue.at(m_queueIndex);
    ++m_queueIndex;
    startRequest(frame);
}

void protocolComHart::sendRepeated(const QByteArray &frame)
{
    if (m_queueRunning)
        endQueueRun();
    m_repeatFrame = frame;
    m_repeating = true;
    connect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::timerSendLoop, Qt::UniqueConnection);
    m_sendTimer->start(m_period);
}

void protocolComHart::timerSendLoop()
{
    // The loop runs until stopSending: the timer is re-armed every period. A
    // tick that finds the previous request still waiting for its outcome
    // skips its transmission rather than ending the loop or overlapping.
    m_sendTimer->start(m_period);
    if (m_busy)
        return;
    startRequest(m_repeatFrame);
}

// ---------------------------------------------------------------- transmission

bool protocolComHart::sendFrame(const QByteArray &frame)
{
    endRepeatMode();
    return startRequest(frame);
}

bool protocolComHart::startRequest(const QByteArray &frame)
{
    if (m_busy) {
        std::fputs("protocolComHart::sendFrame:link busy, frame not sent\n", stderr);
        return false;
    }
    m_requestOperation = m_operation;
    m_transmissions = 0;
    transmit(frame);
    return true;
}

void protocolComHart::transmit(const QByteArray &frame)
{
    m_busy = true;
    ++m_transmissions;
    m_currentFrame = frame;
    analysisRequest(m_currentFrame);
    if (!requestKeys(m_currentFrame, &m_matchAddress, &m_matchCommand, &m_matchLongHead))
        m_matchAddress = m_matchCommand = m_matchLongHead = -1;   // unreadable: any answer will do
    m_altMatchAddress = newAddressWritten(m_reqCommand, m_reqData);
    // The receive side is armed before the first byte leaves: an answer may
    // start arriving while RTS is still held. The input is not flushed: a
    // flush could cut an earlier exchange's frame in two and leave its head
    // to swallow this answer; whatever is pending is framed and judged.
    resetReceive();
    if (!m_port->isOpen() || m_losingLine) {
        // Nothing goes out and nothing is reported as sent. The outcome
        // comes from the event loop, never from inside this call, so a
        // caller sees the same order of events as with a real transmission.
        m_phase = Phase::Unsent;
        m_phaseTimer->start(0);
        return;
    }
    qCDebug(lcLink) << "send" << m_currentFrame.toHex(' ');
    if (lineBusy()) {
        m_phase = Phase::LineQuiet;
        m_quietWaitStartNs = m_clock.nsecsElapsed();
        m_phaseTimer->start(QuietCheckMs);
        return;
    }
    startLine();
}

bool protocolComHart::lineBusy() const
{
    // A request goes out on a quiet line. A frame still coming in is an
    // earlier exchange's and is heard out (up to the torn-fragment gap). And
    // a request to the device and command just answered waits until nothing
    // has come for 2.5 byte times: a device answering twice sends its copy
    // right behind the answer, and on a slow line the copy would otherwise
    // begin after this request, looking like its answer in every field.
    const qint64 quietNs = m_lastRxNs < 0 ? LLONG_MAX : m_clock.nsecsElapsed() - m_lastRxNs;
    if (m_receiver.isMidFrame())
        return quietNs <= FragmentGapNs;
    if (m_matchAddress != m_lastCreditedAddress || m_matchCommand != m_lastCreditedCommand)
        return false;
    const qint64 baud = qMax(1, m_config.baudRate);
    const qint64 copyGapNs = qMax<qint64>(CopyGapFloorNs, 5LL * 11 * 1000000000 / (2 * baud));
    return quietNs <= copyGapNs;
}

void protocolComHart::startLine()
{
    if (m_config.flowControl != 0) {
        startWrite();
        return;
    }
    setRts(true);
    if (m_losingLine)
        return;     // the port failed under the RTS change
    m_phase = Phase::RtsLead;
    m_phaseTimer->start(RtsLeadMs);
}

void protocolComHart::setRts(bool on)
{
    lineEvent(on ? LineEvent::RtsOn : LineEvent::RtsOff);
    emit rtsChanged(on);
    if (!m_port->isOpen())
        return;
    if (!m_port->setRequestToSend(on)) {
        // Pseudo-terminals and some adapters have no RTS line; the frame is
        // sent all the same, and the user hears about it once per port.
        if (!m_rtsWarnedPorts.contains(m_portName)) {
            m_rtsWarnedPorts.insert(m_portName);
            writeDiagnostic(QStringLiteral("protocolComHart::couldn't set RTS on %1 (%2), sending without it\n")
                                .arg(m_portName, m_port->errorString()));
        }
        m_port->clearError();
    }
}

void protocolComHart::startWrite()
{
    m_phase = Phase::Writing;
    lineEvent(LineEvent::WriteStarted);
    // A frame still coming in now began before this request and cannot be
    // its answer; one that has been quiet for a while is a torn fragment
    // and is dropped, so it cannot swallow the answer's bytes.
    if (m_receiver.isMidFrame() && (m_lastRxNs < 0 || m_clock.nsecsElapsed() - m_lastRxNs > FragmentGapNs))
        m_receiver.reset();
    m_writeMark = m_receiver.delimiterCount();
    m_written = true;
    if (m_port->write(m_currentFrame) < 0) {
        // The port is open but takes nothing: the line is as good as gone.
        loseLine(QStringLiteral("%1: ошибка записи").arg(m_portName));
        return;
    }
    if (m_port->bytesToWrite() == 0) {
        onWriteDone();
        return;
    }
    m_phaseTimer->start(WriteGuardMs);
}

void protocolComHart::onBytesWritten()
{
    if (m_phase == Phase::Writing && m_port->bytesToWrite() == 0)
        onWriteDone();
}

void protocolComHart::onWriteDone()
{
    m_phaseTimer->stop();
    m_writeDoneNs = m_clock.nsecsElapsed();
    lineEvent(LineEvent::WriteDone);
    if (m_config.flowControl != 0) {
        transmissionComplete();
        return;
    }
    // The port has taken the bytes but the line still carries them: RTS stays
    // up for rtsDelay ms per byte.
    const int hold = int(m_config.rtsDelay) * m_currentFrame.size();
    if (hold > 0) {
        m_phase = Phase::RtsHold;
        m_phaseTimer->start(hold);
        return;
    }
    setRts(false);
    transmissionComplete();
}

void protocolComHart::onPhaseTimer()
{
    switch (m_phase) {
    case Phase::LineQuiet:
        // A line that never falls quiet (a chattering device) is talked
        // over after one time-out rather than never.
        if (lineBusy() && m_clock.nsecsElapsed() - m_quietWaitStartNs < qint64(m_timeout) * 1000000) {
            m_phaseTimer->start(QuietCheckMs);
            break;
        }
        startLine();
        break;
    case Phase::RtsLead:
        startWrite();
        break;
    case Phase::Writing:
        // The port never reported the write complete: carry on as if it had.
        onWriteDone();
        break;
    case Phase::RtsHold:
        setRts(false);
        transmissionComplete();
        break;
    case Phase::Unsent:
        endUnsent();
        break;
    case Phase::Idle:
    case Phase::AwaitingAnswer:
        break;
    }
}

void protocolComHart::transmissionComplete()
{
    if (m_losingLine)
        return;     // the port failed under the RTS change: everything is dropped
    m_phase = Phase::AwaitingAnswer;
    m_timeoutTimer->start(m_timeout);
    lineEvent(LineEvent::AnswerAwaited);

    const QByteArray frame = m_currentFrame;
    ++m_stats.slot(m_matchAddress).requestsSent;
    emitTraffic(LinkTrafficEvent::Tx, LinkTrafficEvent::Good, m_matchAddress, m_matchCommand,
                int(m_reqData.size()), frame);
    emit requestSend(frame.constData(), frame.size());
    m_repeatsLeft -= 1;

    if (m_answerPending) {
        m_answerPending = false;
        deliverAnswer();
    }
}

void protocolComHart::timeoutFunc()
{
    // Only a transmission waiting for its answer can time out; the timer runs
    // in that phase alone, and a call at any other moment changes nothing.
    if (m_phase != Phase::AwaitingAnswer)
        return;
    m_timeoutTimer->stop();
    m_phase = Phase::Idle;
    m_busy = false;
    if (m_repeatsLeft > 0) {
        transmit(m_currentFrame);
        return;
    }
    // Also reached with a repeat count below 1: such a request gets its one
    // transmission and is then reported, instead of leaving the link waiting
    // for an outcome that would never come.
    reportTimeout();
}

void protocolComHart::endUnsent()
{
    m_phase = Phase::Idle;
    m_busy = false;
    reportTimeout();
}

void protocolComHart::reportTimeout()
{
    // Remembered for a while: an answer that still comes is said to be late.
    if (m_matchAddress >= 0 && m_matchCommand >= 0) {
        if (m_timedOut.size() >= MaxTimedOutKept)
            m_timedOut.removeFirst();
        m_timedOut.append({m_matchAddress, m_matchCommand, m_requestOperation, m_writeDoneNs, m_timeout});
    }
    m_repeatsLeft = m_repeatCount;
    m_lastOutcomeAnswered = false;
    ++m_stats.slot(m_matchAddress).timeouts;
    emitTraffic(LinkTrafficEvent::Rx, LinkTrafficEvent::Timeout, m_matchAddress, m_matchCommand, -1, {});
    ++m_answerEmitDepth;
    emit answerGet(0);
    --m_answerEmitDepth;
    m_allSent = false;
}

// ---------------------------------------------------------------- line loss

void protocolComHart::onPortError(QSerialPort::SerialPortError error)
{
    // Closing a port whose device is gone fails to restore its settings and
    // says so; that is no news.
    if (m_closingPort || !m_port->isOpen())
        return;
    QString what;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
        what = QStringLiteral("устройство недоступно");
        break;
    case QSerialPort::ReadError:
        what = QStringLiteral("ошибка чтения");
        break;
    case QSerialPort::WriteError:
        what = QStringLiteral("ошибка записи");
        break;
    default:
        return;
    }
    writeDiagnostic(QStringLiteral("protocolComHart::port error %1 on %2: %3\n")
                        .arg(int(error)).arg(m_portName, m_port->errorString()));
    loseLine(QStringLiteral("%1: %2").arg(m_portName, what));
}

void protocolComHart::loseLine(const QString &reason)
{
    if (m_losingLine)
        return;
    m_losingLine = true;
    const bool wasRepeating = m_repeating;
    dropEverything();
    // The port reports the error from inside its own notifier, which goes
    // on using its buffers after this returns: it is closed from the event
    // loop. Until then a vanished device may keep the notifier firing; it is
    // a turn or two, and nothing here reacts to it.
    QMetaObject::invokeMethod(this, [this, reason, wasRepeating] {
        if (wasRepeating)
            emit repeatEnded();
        if (m_losingLine) {
            m_closingPort = true;
            m_port->close();
            m_closingPort = false;
            m_losingLine = false;
        }
        emit lineLost(reason);
    }, Qt::QueuedConnection);
}

void protocolComHart::dropEverything()
{
    m_timeoutTimer->stop();
    m_sendTimer->stop();
    m_phaseTimer->stop();
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::sendNext);
    disconnect(this, &protocolComHart::answerGet, this, &protocolComHart::sendNext);
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::timerSendLoop);
    m_queue.clear();
    m_queueIndex = 0;
    m_queueRunning = false;
    m_loopMode = false;
    m_repeating = false;
    m_phase = Phase::Idle;
    m_busy = false;
    m_repeatsLeft = m_repeatCount;
    m_allSent = false;
    m_answerPending = false;
    m_receiver.reset();
}

void protocolComHart::lineEvent(LineEvent) {}
