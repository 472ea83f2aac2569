#include "link/linkstatistics.h"

#include "link/responsecode.h"

void LinkAddressStatistics::add(const LinkAddressStatistics &o)
{
    requestsSent += o.requestsSent;
    answersCredited += o.answersCredited;
    timeouts += o.timeouts;
    checksumErrors += o.checksumErrors;
    answersDiscarded += o.answersDiscarded;
    responseTotalUs += o.responseTotalUs;
    responseMaxUs = qMax(responseMaxUs, o.responseMaxUs);
    refusals += o.refusals;
    warnings += o.warnings;
    lateAnswers += o.lateAnswers;
    damagedRetried += o.damagedRetried;
    // The last status of a sum means nothing: each device keeps its own.
}

const LinkAddressStatistics &LinkStatistics::address(int shortAddress) const
{
    const bool known = shortAddress >= 0 && shortAddress < AddressCount;
    return m_counts[size_t(known ? shortAddress : AddressCount)];
}

LinkAddressStatistics &LinkStatistics::slot(int shortAddress)
{
    const bool known = shortAddress >= 0 && shortAddress < AddressCount;
    return m_counts[size_t(known ? shortAddress : AddressCount)];
}

LinkAddressStatistics LinkStatistics::total() const
{
    LinkAddressStatistics sum;
    for (const LinkAddressStatistics &s : m_counts)
        sum.add(s);
    return sum;
}

int LinkStatistics::discarded(DiscardReason reason) const
{
    return reason >= 0 && reason < DiscardReasonCount ? m_discards[size_t(reason)] : 0;
}

void LinkStatistics::countDiscard(int shortAddress, DiscardReason reason, bool checksumOk)
{
    LinkAddressStatistics &s = slot(shortAddress);
    ++s.answersDiscarded;
    if (!checksumOk)
        ++s.checksumErrors;
    if (reason >= 0 && reason < DiscardReasonCount)
        ++m_discards[size_t(reason)];
}

void LinkStatistics::countResponse(int shortAddress, qint64 responseUs, bool checksumOk)
{
    LinkAddressStatistics &s = slot(shortAddress);
    ++s.answersCredited;
    if (!checksumOk)
        ++s.checksumErrors;
    responseUs = qMax<qint64>(0, responseUs);
    s.responseTotalUs += responseUs;
    s.responseMaxUs = qMax(s.responseMaxUs, responseUs);
}

void LinkStatistics::countStatus(int shortAddress, uint8_t status1, uint8_t status2)
{
    LinkAddressStatistics &s = slot(shortAddress);
    switch (ResponseCode::kind(status1)) {
    case ResponseCode::Kind::Success: break;
    case ResponseCode::Kind::Warning: ++s.warnings; break;
    case ResponseCode::Kind::Refusal:
    case ResponseCode::Kind::CommunicationError: ++s.refusals; break;
    }
    s.lastStatus1 = status1;
    s.lastStatus2 = status2;
}
