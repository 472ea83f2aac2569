#include "link/protocolcomhart.h"
#include "link/linklog.h"

#include <QSerialPort>
#include <QTimer>
#include <climits>

namespace {
// RTS is raised this long before the first byte so the modem's carrier is up.
constexpr int RtsLeadMs = 5;
// Longest wait for the port to take a frame before moving on regardless.
constexpr int WriteGuardMs = 30000;
// A frame in progress that has had no byte for this long is a torn fragment,
// not a frame still arriving, and is not waited for. Real adapters hand
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

// ---------------------------------------------------------------- transmission

bool protocolComHart::sendFrame(const QByteArray &frame)
{
    endRepeatMode();
    return startRequest(frame);
}

void protocolComHart::resetReceive()
{
    // The receiver itself is left alone: a frame in progress is an earlier
    // exchange's and is judged as such when it completes (see startWrite).
    m_answerValid = false;
    m_answerPending = false;
    m_written = false;
}

bool protocolComHart::startRequest(const QByteArray &frame)
{
    if (m_busy) {
        linkDiagnostic("protocolComHart::sendFrame:link busy, frame not sent\n");
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
    qCDebug(lcLinkFrames) << "send" << m_currentFrame.toHex(' ');
    if (mayBeBusy()) {
        // Judged from the event loop, once what has come in by now is read.
        m_phase = Phase::LineQuiet;
        m_quietWaitStartNs = m_quietCheckNs = m_clock.nsecsElapsed();
        m_phaseTimer->start(QuietCheckMs);
        return;
    }
    startLine();
}

bool protocolComHart::mayBeBusy() const
{
    // A request goes out on a quiet line. A frame still coming in is an
    // earlier exchange's and is heard out (up to the torn-fragment gap). And
    // a request to the device and command just answered waits until nothing
    // has come for 2.5 byte times: a device answering twice sends its copy
    // right behind the answer, and on a slow line the copy would otherwise
    // begin after this request, looking like its answer in every field.
    return m_receiver.isMidFrame()
        || (m_matchAddress == m_lastCreditedAddress && m_matchCommand == m_lastCreditedCommand);
}

bool protocolComHart::lineBusy(qint64 heardUntilNs) const
{
    // Silence counts only up to heardUntilNs: while this thread did not run
    // (a busy machine, a long repaint) the bytes on their way were not read,
    // and that stretch says nothing about the line.
    const qint64 quietNs = m_lastRxNs < 0 ? LLONG_MAX : heardUntilNs - m_lastRxNs;
    if (m_receiver.isMidFrame())
        return quietNs <= FragmentGapNs;
    if (!mayBeBusy())
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
            linkDiagnostic(QStringLiteral("protocolComHart::couldn't set RTS on %1 (%2), sending without it\n")
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
    // its answer. It is not dropped: the receiver hunts for the answer
    // inside it, should it be a torn fragment whose byte count runs on.
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
    case Phase::LineQuiet: {
        // Everything due before this check was due has been read by now;
        // what came later, while the check was late, has not been heard
        // out. A line that never falls quiet (a chattering device) is
        // talked over after one time-out rather than never.
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 heardUntilNs = qMin(now, m_quietCheckNs + qint64(QuietCheckMs) * 1000000);
        m_quietCheckNs = now;
        if (lineBusy(heardUntilNs) && now - m_quietWaitStartNs < qint64(m_timeout) * 1000000) {
            m_phaseTimer->start(QuietCheckMs);
            break;
        }
        startLine();
        break;
    }
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

void protocolComHart::lineEvent(LineEvent) {}
