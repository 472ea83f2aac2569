// The receiving side of the link: answer frames hunted in the byte stream,
// each judged against the request waiting for it, counted, and the one that
// is its answer reported; and the fields of the request and answer that the
// main window reads.

#include "link/protocolcomhart.h"
#include "link/linklog.h"
#include "link/responsecode.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QTimer>

void protocolComHart::readData()
{
    const QByteArray bytes = m_port->readAll();
    // The input buffer is not flushed after reading: bytes of an answer that
    // arrive in pieces would be lost between the read and the flush.
    if (bytes.isEmpty())
        return;
    m_lastRxNs = m_clock.nsecsElapsed();
    qCDebug(lcLinkFrames) << "recv" << bytes.toHex(' ');
    hunt(bytes.constData(), bytes.size());
}

void protocolComHart::hunt(const char *data, int size)
{
    // Every frame in the bytes is judged, also after the one credited: a
    // duplicate in the same read is counted, and a discarded frame may be
    // followed by the right one.
    bool credited = false;
    int pos = 0;
    while (pos < size) {
        // Noise while nobody waits is no news; framing errors are reported
        // only for bytes that could have been the awaited answer.
        m_receiver.setDiagnosticsEnabled(m_busy && !credited && !m_answerPending);
        bool complete = false;
        pos += m_receiver.feedUntilComplete(data + pos, size - pos, &complete);
        if (complete)
            frameCompleted(&credited);
    }
    if (!credited)
        return;
    if (m_phase == Phase::AwaitingAnswer) {
        deliverAnswer();
    } else if (m_phase == Phase::RtsLead || m_phase == Phase::LineQuiet) {
        // The late answer to an earlier transmission of this same request,
        // in before the repeat has left: the repeat is not sent, unless the
        // answer is one it would ask again (see askAgain).
        if (askAgain() && m_repeatsLeft > 0) {
            if (!m_answer.checksumOk())
                ++m_stats.slot(m_answer.shortAddress()).checksumErrors;
            m_answerValid = false;
            return;
        }
        m_phaseTimer->stop();
        if (m_phase == Phase::RtsLead)
            setRts(false);
        if (!m_losingLine)
            deliverAnswer();
    } else {
        m_answerPending = true;     // reported once the transmission is complete
    }
}

void protocolComHart::frameCompleted(bool *credited)
{
    const HartAnswer frame = m_receiver.answer();
    const int number = m_receiver.frameNumber();
    m_receiver.huntOn();
    const int address = frame.isValid() ? frame.shortAddress() : -1;
    const int command = frame.isValid() ? frame.command() : -1;
    const bool addressMatches = m_matchAddress < 0 || address == m_matchAddress
        || (m_altMatchAddress >= 0 && address == m_altMatchAddress);
    const bool headMatches = m_matchLongHead < 0 || !frame.isLongFrame()
        || frame.longAddressHead() == m_matchLongHead;

    // A frame that began before the request was written belongs to an
    // earlier exchange, unless this is a repeat: then it may be the late
    // answer to the request's own earlier transmission.
    const bool beganBefore = !m_written || number <= m_writeMark;
    LinkStatistics::DiscardReason reason;
    if (!m_busy || m_phase == Phase::Unsent || m_answerPending || *credited)
        reason = LinkStatistics::NobodyWaiting;
    else if (!addressMatches || !headMatches)
        reason = LinkStatistics::OtherAddress;
    else if (m_matchCommand >= 0 && command != m_matchCommand)
        reason = LinkStatistics::OtherCommand;
    else if (beganBefore && m_transmissions <= 1)
        reason = LinkStatistics::BeforeRequest;
    else {
        m_answer = frame;
        m_answerValid = true;
        m_answerNs = m_lastRxNs;
        m_lastCredited = frame.raw();
        m_lastCreditedAddress = address;
        m_lastCreditedCommand = command;
        // The device has answered since: what comes after is a copy, not
        // the answer to a request that timed out before.
        for (int i = m_timedOut.size() - 1; i >= 0; --i)
            if (m_timedOut.at(i).address == address && m_timedOut.at(i).command == command)
                m_timedOut.removeAt(i);
        *credited = true;
        return;
    }
    // Named for the count only: a copy of the answer last taken that came
    // when no request could take it.
    if ((reason == LinkStatistics::NobodyWaiting || reason == LinkStatistics::BeforeRequest)
        && frame.raw() == m_lastCredited)
        reason = LinkStatistics::Duplicate;
    const bool checksumOk = frame.checksumOk();
    m_stats.countDiscard(address, reason, checksumOk);
    if (frame.isValid())
        noteIfLate(address, command);
    qCDebug(lcLinkFrames) << "discarded" << reason << frame.raw().toHex(' ');
    emitTraffic(LinkTrafficEvent::Rx, LinkTrafficEvent::Discarded, address, command,
                frame.isValid() ? frame.byteCount() : -1, frame.raw());
}

void protocolComHart::noteIfLate(int address, int command)
{
    for (int i = m_timedOut.size() - 1; i >= 0; --i) {
        const TimedOut t = m_timedOut.at(i);
        if (t.address != address || t.command != command)
            continue;
        m_timedOut.removeAt(i);
        // Long after the time-out a frame is a stray, not that answer.
        const qint64 staleNs = qMax<qint64>(10LL * t.timeoutMs, 5000) * 1000000;
        if (m_lastRxNs - t.writeDoneNs > staleNs)
            return;
        ++m_stats.slot(address).lateAnswers;
        const int afterMs = int(qMax<qint64>(0, m_lastRxNs - t.writeDoneNs) / 1000000);
        emit lateAnswer(address, command, t.operation, afterMs, t.timeoutMs);
        return;
    }
}

bool protocolComHart::askAgain() const
{
    // A read changes nothing in the device, so a damaged answer to one is
    // asked for again. And a device that reports a communication error (bit
    // 7 of the response code) did not take the request at all: any request
    // may go out again. The last transmission's answer is taken as it is,
    // so the operation sees what went wrong.
    const int command = m_answer.command();
    if (!m_answer.checksumOk())
        return command == 0 || command == 3 || command == 51;
    return ResponseCode::kind(m_answer.status1()) == ResponseCode::Kind::CommunicationError;
}

bool protocolComHart::repeatUnheard()
{
    if (m_repeatsLeft <= 0 || !askAgain())
        return false;
    const int address = m_answer.shortAddress();
    const int command = m_answer.command();
    const bool checksumOk = m_answer.checksumOk();
    // An answer asked for again was still an answer the device gave: the
    // statistics count it, and its time, as the line saw it.
    m_stats.countResponse(address, (m_answerNs - m_writeDoneNs) / 1000, checksumOk);
    if (checksumOk)
        m_stats.countStatus(address, m_answer.status1(), m_answer.status2());
    else
        ++m_stats.slot(address).damagedRetried;
    emitTraffic(LinkTrafficEvent::Rx, checksumOk ? LinkTrafficEvent::Good : LinkTrafficEvent::ChecksumError,
                address, command, m_answer.byteCount(), m_answer.raw());
    m_answerValid = false;
    m_timeoutTimer->stop();
    m_phase = Phase::Idle;
    m_busy = false;
    transmit(m_currentFrame);
    return true;
}

void protocolComHart::deliverAnswer()
{
    if (repeatUnheard())
        return;
    m_timeoutTimer->stop();
    m_repeatsLeft = m_repeatCount;
    m_phase = Phase::Idle;
    m_busy = false;
    m_lastOutcomeAnswered = true;

    const bool checksumOk = m_answer.checksumOk();
    const int address = m_answer.shortAddress();
    m_stats.countResponse(address, (m_answerNs - m_writeDoneNs) / 1000, checksumOk);
    if (checksumOk)
        m_stats.countStatus(address, m_answer.status1(), m_answer.status2());
    emitTraffic(LinkTrafficEvent::Rx, checksumOk ? LinkTrafficEvent::Good : LinkTrafficEvent::ChecksumError,
                address, m_answer.command(), m_answer.byteCount(), m_answer.raw());

    const int code = m_requestOperation;
    ++m_answerEmitDepth;
    emit answerGet(code);
    --m_answerEmitDepth;
    const bool notify = m_allSent && code == NotifyAllSentOperation;
    m_allSent = false;
    if (notify)
        emit allRequestsIsSend();
}

void protocolComHart::emitTraffic(LinkTrafficEvent::Direction direction, LinkTrafficEvent::Verdict verdict,
                                  int address, int command, int byteCount, const QByteArray &bytes)
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&protocolComHart::traffic);
    if (!isSignalConnected(signal))
        return;
    LinkTrafficEvent e;
    e.msecsSinceEpoch = QDateTime::currentMSecsSinceEpoch();
    e.direction = direction;
    e.verdict = verdict;
    e.address = address;
    e.command = command;
    e.byteCount = byteCount;
    e.bytes = bytes;
    emit traffic(e);
}

void protocolComHart::resetStatistics() { m_stats = LinkStatistics(); }

QByteArray protocolComHart::answerData() const
{
    return m_answerValid ? m_answer.data() : QByteArray();
}

int protocolComHart::answerDataLength() const
{
    return m_answerValid ? m_answer.data().size() : 0;
}

bool protocolComHart::answerChecksumOk() const
{
    return m_answerValid && m_answer.checksumOk();
}

bool protocolComHart::answerIsLong() const
{
    return m_answerValid && m_answer.isLongFrame();
}

uint8_t protocolComHart::answerAddress() const
{
    return m_answerValid ? m_answer.shortAddress() : 0;
}

QByteArray protocolComHart::receivedBytes() const
{
    return m_answerValid ? m_answer.raw() : QByteArray();
}

// ---------------------------------------------------------------- request fields

QByteArray protocolComHart::requestAddress() const { return m_reqAddress; }
QByteArray protocolComHart::requestData() const { return m_reqData; }

void protocolComHart::analysisRequest(const QByteArray &frame)
{
    const auto *b = reinterpret_cast<const uint8_t *>(frame.constData());
    const int size = frame.size();
    int i = 0;
    while (i < size && b[i] == 0xFF)
        ++i;
    if (i >= size || (b[i] != 0x82 && b[i] != 0x02)) {
        linkDiagnostic("protocolComHart::analysisRequest:Wrong frame identifier\n");
        return;
    }
    const int addressLength = b[i] == 0x82 ? 5 : 1;
    const int p = i + 1 + addressLength;
    // A frame cut short keeps what it has; nothing past its end is read.
    if (p + 2 > size)
        return;
    m_reqAddress = frame.mid(i + 1, addressLength);
    m_reqCommand = b[p];
    const int count = int(int8_t(b[p + 1]));
    if (count < 0) {
        linkDiagnostic(QStringLiteral("analyze_request:Wrong data length%1\n").arg(count));
        return;
    }
    m_reqData = frame.mid(p + 2, count);
}
