#include "monitor/trafficlog.h"

#include "link/hartanswer.h"
#include "link/responsecode.h"

#include <QDateTime>

QVector<LinkTrafficEvent> TrafficLog::events(int address, qint64 from, QVector<qint64> *seqs) const
{
    QVector<LinkTrafficEvent> out;
    const qint64 first = firstKept();
    for (qint64 s = qMax(from, first); s < m_total; ++s) {
        const LinkTrafficEvent &e = m_events.at(std::size_t(s - first));
        if (address < 0 || e.address == address) {
            out.append(e);
            if (seqs)
                seqs->append(s);
        }
    }
    return out;
}

QString TrafficLog::directionText(LinkTrafficEvent::Direction d)
{
    return d == LinkTrafficEvent::Tx ? QStringLiteral("TX") : QStringLiteral("RX");
}

QString TrafficLog::verdictText(LinkTrafficEvent::Verdict v)
{
    switch (v) {
    case LinkTrafficEvent::Good:
        return QStringLiteral("ок");
    case LinkTrafficEvent::ChecksumError:
        return QStringLiteral("ошибка КС");
    case LinkTrafficEvent::Timeout:
        return QStringLiteral("таймаут");
    case LinkTrafficEvent::Discarded:
        return QStringLiteral("отброшен");
    }
    return QString();
}

QString TrafficLog::timeText(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString TrafficLog::addressText(int address)
{
    return address < 0 ? QString() : QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0'));
}

QString TrafficLog::numberText(int n)
{
    return n < 0 ? QString() : QString::number(n);
}

QString TrafficLog::bytesText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString TrafficLog::statusText(const LinkTrafficEvent &e)
{
    if (e.direction != LinkTrafficEvent::Rx || e.bytes.isEmpty())
        return QString();
    HartAnswer a;
    if (!a.parse(e.bytes))
        return QString();
    return ResponseCode::statusText(a.status1(), a.status2());
}

QByteArray TrafficLog::heading()
{
    return QStringLiteral("Время\tНапр.\tАдрес\tКоманда\tБайт\tИтог\tСтатус\tКадр").toUtf8();
}

QByteArray TrafficLog::line(const LinkTrafficEvent &e)
{
    QByteArray out = timeText(e.msecsSinceEpoch).toLatin1();
    out.reserve(out.size() + 40 + e.bytes.size() * 3);
    out += '\t';
    out += directionText(e.direction).toLatin1();
    out += '\t';
    out += addressText(e.address).toLatin1();
    out += '\t';
    out += numberText(e.command).toLatin1();
    out += '\t';
    out += numberText(e.byteCount).toLatin1();
    out += '\t';
    out += verdictText(e.verdict).toUtf8();
    out += '\t';
    out += statusText(e).toUtf8();
    out += '\t';
    out += e.bytes.toHex(' ');
    return out;
}
