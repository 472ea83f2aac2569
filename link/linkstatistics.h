#pragma once
// What the link counts about the line, per device, and the traffic events it
// reports one by one for a traffic log. Counting is a few integer additions
// per frame; nothing here allocates.

#include <QByteArray>
#include <QMetaType>
#include <QtGlobal>
#include <array>
#include <cstdint>

// The counts of one device address.
struct LinkAddressStatistics
{
    int requestsSent = 0;       // transmissions, repeats included
    int answersCredited = 0;    // frames taken as the answer of their request
    int timeouts = 0;           // requests that ended without an answer
    int checksumErrors = 0;     // frames with a bad checksum, credited or not
    int answersDiscarded = 0;   // frames no waiting request could take
    qint64 responseTotalUs = 0; // end of transmission to the answer, summed
    qint64 responseMaxUs = 0;
    int refusals = 0;           // intact answers whose response code refused or
                                // reported a communication error
    int warnings = 0;           // intact answers with a warning code
    int lateAnswers = 0;        // answers that came after their request timed out
    int damagedRetried = 0;     // damaged answers to reads asked for again
    int lastStatus1 = -1;       // status bytes of the last intact answer; -1 none
    int lastStatus2 = -1;

    double responseMeanMs() const
    {
        return answersCredited > 0 ? responseTotalUs / 1000.0 / answersCredited : 0.0;
    }
    double responseMaxMs() const { return responseMaxUs / 1000.0; }
    void add(const LinkAddressStatistics &other);
};

class LinkStatistics
{
public:
    static constexpr int AddressCount = 16;

    // Why a complete frame was not taken as an answer.
    enum DiscardReason {
        NobodyWaiting,  // no request in flight, or its answer already in: late, duplicated, stray
        OtherAddress,   // from another device than the request's
        OtherCommand,   // for another command than the request's
        Duplicate,      // the answer just taken once more, right behind it
        BeforeRequest,  // began before the request was written: an earlier exchange's
        DiscardReasonCount
    };

    // Short addresses 0..15; long frames count by their device byte. Any
    // other address (a stray frame naming 0x23, say) counts under other().
    const LinkAddressStatistics &address(int shortAddress) const;
    const LinkAddressStatistics &other() const { return m_counts[AddressCount]; }
    LinkAddressStatistics total() const;
    int discarded(DiscardReason reason) const;

    // Counting, for the link.
    LinkAddressStatistics &slot(int shortAddress);
    void countDiscard(int shortAddress, DiscardReason reason, bool checksumOk);
    void countResponse(int shortAddress, qint64 responseUs, bool checksumOk);
    void countStatus(int shortAddress, uint8_t status1, uint8_t status2);

private:
    std::array<LinkAddressStatistics, AddressCount + 1> m_counts {};
    std::array<int, DiscardReasonCount> m_discards {};
};

// One event on the line, as a traffic log shows it.
struct LinkTrafficEvent
{
    enum Direction : quint8 { Tx, Rx };
    enum Verdict : quint8 {
        Good,           // a request written, or an answer credited with a good checksum
        ChecksumError,  // an answer credited with a bad checksum
        Timeout,        // a request that ended without an answer (no bytes)
        Discarded       // a frame no waiting request could take
    };

    qint64 msecsSinceEpoch = 0;
    Direction direction = Tx;
    Verdict verdict = Good;
    int address = -1;       // short address (device byte of a long one); -1 unknown
    int command = -1;       // -1 unknown
    int byteCount = -1;     // the frame's byte-count field; -1 unknown
    QByteArray bytes;       // the frame, preamble included
};

Q_DECLARE_METATYPE(LinkTrafficEvent)
