#include "link/serialconfig.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>
#include <cstring>

namespace {
void putLe32(char *p, int32_t v) { qToLittleEndian<qint32>(v, p); }
int32_t getLe32(const char *p) { return qFromLittleEndian<qint32>(p); }
}

void SerialConfig::setDefaults()
{
    // The padding is left alone: it has no meaning and is carried along.
    reserved = 3;
    baudRate = 1200;
    dataBits = 8;
    parity = 3;
    stopBits = 1;
    flowControl = 1;
    rtsDelay = 10;
}

bool SerialConfig::isUsable() const
{
    // What a serial port can be asked for at all (the library's own enums);
    // whether a given port takes it is the port's business.
    const bool parityKnown = parity == 0 || (parity >= 2 && parity <= 5);
    return baudRate > 0 && dataBits >= 5 && dataBits <= 8 && parityKnown && stopBits >= 1 && stopBits <= 3
        && flowControl >= 0 && flowControl <= 2;
}

QByteArray SerialConfig::toBytes() const
{
    char p[FileSize] = {};
    putLe32(p + 0, reserved);
    putLe32(p + 4, baudRate);
    putLe32(p + 8, dataBits);
    putLe32(p + 12, parity);
    putLe32(p + 16, stopBits);
    putLe32(p + 20, flowControl);
    qToLittleEndian<quint16>(rtsDelay, p + 24);
    p[26] = char(padding[0]);
    p[27] = char(padding[1]);
    return QByteArray(p, FileSize);
}

bool SerialConfig::fromBytes(const QByteArray &bytes, SerialConfig &out)
{
    if (bytes.size() < FileSize)
        return false;
    const char *p = bytes.constData();
    out.reserved = getLe32(p + 0);
    out.baudRate = getLe32(p + 4);
    out.dataBits = getLe32(p + 8);
    out.parity = getLe32(p + 12);
    out.stopBits = getLe32(p + 16);
    out.flowControl = getLe32(p + 20);
    out.rtsDelay = qFromLittleEndian<quint16>(p + 24);
    out.padding[0] = uint8_t(p[26]);
    out.padding[1] = uint8_t(p[27]);
    return true;
}

bool SerialConfig::load(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = f.read(FileSize);
        if (bytes.size() == FileSize)
            return fromBytes(bytes, *this);
    }
    // Missing, unreadable or short: the usual HART modem line. What the file
    // holds is never validated; the port refuses what it cannot do.
    setDefaults();
    return false;
}

bool SerialConfig::save(const QString &path) const
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = toBytes();
    return f.write(bytes) == bytes.size() && f.flush();
}
