#include "polling/pollchannelstate.h"

QString pollAddressText(int address)
{
    return QStringLiteral("%1").arg(address & 0xFF, 2, 16, QLatin1Char('0'));
}

int parsePollAddressText(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 16);
    if (!ok || value < 0 || value > 255)
        return 0;
    return value;
}

QVector<int> pollAddresses(const PollChannels &channels)
{
    QVector<int> out;
    for (const PollChannelState &c : channels) {
        if (c.checked)
            out.append(c.address);
    }
    return out;
}

int firstCheckedChannelFor(const PollChannels &channels, int address)
{
    for (int i = 0; i < PollChannelCount; ++i) {
        if (channels[i].checked && channels[i].address == address)
            return i;
    }
    return -1;
}
