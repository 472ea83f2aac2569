// The link's timing settings and its queue: a batch of requests sent one
// after the other (once or in a loop), and the repeat mode that sends one
// frame every period.

#include "link/protocolcomhart.h"
#include "link/linklog.h"

#include <QTimer>
#include <climits>

namespace {

int clampToInt(long long v)
{
    return int(qBound<long long>(INT_MIN, v, INT_MAX));
}


} // namespace

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

void protocolComHart::startQueue(bool loop)
{
    endRepeatMode();
    if (m_queue.isEmpty()) {
        linkDiagnostic("Requests quene is empty\n");
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

