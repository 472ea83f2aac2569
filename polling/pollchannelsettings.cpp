#include "polling/pollchannelsettings.h"

#include <QSettings>

QString PollChannelSettings::checkKey(int i)
{
    return QStringLiteral("/ParametersFunc3/CheckDev_") + QString::number(i);
}

QString PollChannelSettings::addressKey(int i)
{
    return QStringLiteral("/ParametersFunc3/Dev_") + QString::number(i);
}

QString PollChannelSettings::addressValueKey(int i)
{
    return QStringLiteral("/ParametersFunc3/DevAddr_") + QString::number(i);
}

PollChannelSettings::Entries PollChannelSettings::load(QSettings &settings, int addressItemCount)
{
    Entries out{};
    for (int i = 0; i < PollChannelCount; ++i) {
        const int state = settings.value(checkKey(i), 0).toInt();
        out[i].checkState = (state == 2) ? 2 : 0;
        const int index = settings.value(addressKey(i), 0).toInt();
        out[i].addressIndex = (index >= 0 && index < addressItemCount) ? index : 0;
        bool ok = false;
        const int address = settings.value(addressValueKey(i)).toInt(&ok);
        out[i].address = (ok && address >= 0 && address <= 255) ? address : -1;
    }
    return out;
}

void PollChannelSettings::save(QSettings &settings, const Entries &entries)
{
    for (int i = 0; i < PollChannelCount; ++i) {
        settings.setValue(checkKey(i), entries[i].checkState);
        settings.setValue(addressKey(i), entries[i].addressIndex);
        if (entries[i].address >= 0)
            settings.setValue(addressValueKey(i), entries[i].address);
        else
            settings.remove(addressValueKey(i));
    }
}
