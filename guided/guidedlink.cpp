#include "guided/guidedlink.h"

#include "link/hartframe.h"
#include "link/responsecode.h"
#include "link/protocolcomhart.h"

GuidedLink::GuidedLink(protocolComHart *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    connect(m_link, &protocolComHart::answerGet, this, &GuidedLink::onAnswer);
    connect(m_link, &protocolComHart::lineLost, this, [this](const QString &reason) {
        // No outcome follows for the request in flight.
        m_waiting = false;
        m_forgotten = 0;
        emit lineLost(reason);
    });
}

void GuidedLink::setFrameForm(int preambleCount, bool longFrame)
{
    m_preamble = preambleCount;
    m_longFrame = longFrame;
}

void GuidedLink::setTiming(int periodMs, int timeoutMs, int repeats)
{
    m_period = periodMs;
    m_timeout = timeoutMs;
    m_repeats = repeats;
}

bool GuidedLink::isPortOpen() const { return m_link->isPortOpen(); }

bool GuidedLink::send(int address, uint8_t command, const QByteArray &data)
{
    if (m_waiting || !m_link->isPortOpen() || m_link->isBusy() || m_link->isQueueRunning()
        || m_link->isRepeating())
        return false;
    const uint8_t a[5] = {m_longFrame ? uint8_t(0x0F) : uint8_t(address), 0x02, uint8_t(address), 0xFD, 0xEF};
    HartRequestFrame f;
    f.setPreambleCount(m_preamble);
    f.setLongFrame(m_longFrame);
    f.setAddressBytes(a);
    bool built = false;
    switch (command) {
    case 3:
        built = f.buildCommand3();
        break;
    case 51:
        built = data.size() == 3 && f.buildCommand51(reinterpret_cast<const uint8_t *>(data.constData()));
        break;
    case 91:
        built = f.buildCommand91(reinterpret_cast<const uint8_t *>(data.constData()), data.size());
        break;
    default:
        break;
    }
    if (!built)
        return false;
    m_link->clearQueue();
    m_link->setPeriod(m_period);
    m_link->setTimeout(m_timeout);
    m_link->setRepeats(m_repeats);
    m_link->setOperation(Operation);
    m_address = address;
    m_command = command;
    m_data = data;
    m_waiting = true;
    if (!m_link->sendFrame(f.toByteArray())) {
        m_waiting = false;
        return false;
    }
    return true;
}

void GuidedLink::forget()
{
    if (m_waiting)
        ++m_forgotten;
    m_waiting = false;
}

void GuidedLink::onAnswer(int code)
{
    const int op = code == 0 ? m_link->answerOperation() : code;
    if (op != Operation)
        return;
    if (m_forgotten > 0 && !m_waiting) {
        --m_forgotten;
        return;
    }
    if (!m_waiting)
        return;
    m_waiting = false;
    GuidedReply r;
    r.address = m_address;
    r.command = m_command;
    r.requestData = m_data;
    r.answered = code != 0;
    if (!r.answered) {
        r.why = QStringLiteral("нет ответа");
    } else {
        r.intact = m_link->answerChecksumOk();
        r.responseCode = m_link->answer().status1();
        r.data = m_link->answerData();
        if (!r.intact)
            r.why = QStringLiteral("ошибка контрольной суммы");
        else if (!ResponseCode::executed(r.responseCode))
            r.why = QStringLiteral("отказ прибора: %1").arg(ResponseCode::status1Text(r.responseCode));
    }
    emit replied(r);
}
