#pragma once
// The link as the link tests drive it: request builders and a link that logs
// every step of its transmissions and every signal, in order, with times.

#include "link/hartframe.h"
#include "link/protocolcomhart.h"

#include <QElapsedTimer>
#include <QStringList>

namespace linkrig {

inline QByteArray command3(uint8_t address, int preamble = 4, bool longFrame = false)
{
    const uint8_t a[5] = {longFrame ? uint8_t(0x0F) : address, 0x02, address, 0xFD, 0xEF};
    HartRequestFrame f;
    f.setPreambleCount(preamble);
    f.setLongFrame(longFrame);
    f.setAddressBytes(a);
    f.buildCommand3();
    return f.toByteArray();
}

// A command without data (37: set the lower range value, say), short frame.
inline QByteArray bareCommand(uint8_t address, uint8_t command)
{
    const uint8_t a[5] = {address, 0, 0, 0, 0};
    HartRequestFrame f;
    f.setPreambleCount(4);
    f.setAddressBytes(a);
    switch (command) {
    case 0: f.buildCommand0(); break;
    case 36: f.buildCommand36(); break;
    case 37: f.buildCommand37(); break;
    case 42: f.buildCommand42(); break;
    case 43: f.buildCommand43(); break;
    default: f.buildCommand3(); break;
    }
    return f.toByteArray();
}

inline QByteArray readRegisters(uint8_t address, uint16_t reg, uint8_t count, bool longFrame = false)
{
    const uint8_t a[5] = {longFrame ? uint8_t(0x0F) : address, 0x02, address, 0xFD, 0xEF};
    const uint8_t d[3] = {uint8_t(reg >> 8), uint8_t(reg), count};
    HartRequestFrame f;
    f.setPreambleCount(4);
    f.setLongFrame(longFrame);
    f.setAddressBytes(a);
    f.buildCommand51(d);
    return f.toByteArray();
}

// The address a request on the line was sent to (short frames).
inline int addressOf(const QByteArray &request)
{
    int i = 0;
    while (i < request.size() && uint8_t(request.at(i)) == 0xFF)
        ++i;
    return i + 1 < request.size() ? uint8_t(request.at(i + 1)) : -1;
}

// The link with every step of its transmissions and every signal logged in
// order, each with the time it happened.
class RecordingLink : public protocolComHart
{
public:
    RecordingLink()
        : protocolComHart(nullptr, QStringLiteral("no-such-file"))
    {
        clock.start();
        connect(this, &protocolComHart::requestSend, this, [this](const char *, int n) {
            log(QStringLiteral("send:%1").arg(n));
        });
        connect(this, &protocolComHart::answerGet, this, [this](int code) {
            log(QStringLiteral("answer:%1").arg(code));
        });
        connect(this, &protocolComHart::allRequestsIsSend, this, [this] { log(QStringLiteral("allSent")); });
        connect(this, &protocolComHart::lineLost, this, [this] { log(QStringLiteral("lineLost")); });
        connect(this, &protocolComHart::repeatEnded, this, [this] { log(QStringLiteral("repeatEnded")); });
    }

    void log(const QString &what)
    {
        events.append(what);
        times.append(clock.elapsed());
    }
    int count(const QString &what) const { return events.count(what); }
    int countPrefix(const QString &prefix) const
    {
        int n = 0;
        for (const QString &e : events)
            n += e.startsWith(prefix) ? 1 : 0;
        return n;
    }
    qint64 timeOf(const QString &what, int nth = 0) const
    {
        for (int i = 0; i < events.size(); ++i)
            if (events.at(i) == what && nth-- == 0)
                return times.at(i);
        return -1;
    }

    QStringList events;
    QList<qint64> times;
    QElapsedTimer clock;

protected:
    void lineEvent(LineEvent e) override
    {
        static const char *const names[] = {"rtsOn", "write", "written", "rtsOff", "await"};
        log(QString::fromLatin1(names[int(e)]));
    }
};


} // namespace linkrig
