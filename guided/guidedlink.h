#pragma once
// The guided run's way to the line: one request at a time through the
// window's link, under an operation code of its own so that the window's
// dispatcher leaves its outcomes alone, each outcome handed back as one
// reply that says plainly whether the device answered and accepted.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

class protocolComHart;

struct GuidedReply
{
    int address = -1;
    uint8_t command = 0;
    QByteArray requestData;
    bool answered = false;      // an answer frame came
    bool intact = false;        // with a good checksum
    uint8_t responseCode = 0;   // first status byte
    QByteArray data;            // after the two status bytes
    QString why;                // when not ok: what happened, in words

    bool ok() const { return answered && intact && why.isEmpty(); }
};

class GuidedLink : public QObject
{
    Q_OBJECT
public:
    // Not used by any other operation of the window.
    static constexpr int Operation = 70;

    explicit GuidedLink(protocolComHart *link, QObject *parent = nullptr);

    void setFrameForm(int preambleCount, bool longFrame);
    void setTiming(int periodMs, int timeoutMs, int repeats);

    // Sends now. False (and nothing sent) when the port is closed or a
    // request of the run is still out.
    bool send(int address, uint8_t command, const QByteArray &data = QByteArray());
    bool isWaiting() const { return m_waiting; }
    bool isPortOpen() const;
    // The request out, if any, is forgotten: its outcome will be dropped.
    void forget();

    protocolComHart *link() const { return m_link; }

signals:
    void replied(const GuidedReply &reply);
    void lineLost(const QString &reason);

private:
    void onAnswer(int code);

    protocolComHart *m_link;
    int m_preamble = 5;
    bool m_longFrame = false;
    int m_period = 50, m_timeout = 500, m_repeats = 2;
    bool m_waiting = false;
    int m_address = -1;
    uint8_t m_command = 0;
    QByteArray m_data;
    int m_forgotten = 0;        // outcomes still to come of forgotten requests
};
