#pragma once
// Helpers of the operation tests: the two status panes, answers written as
// hex and requests shown as "command:data hex" items.

#include "device/deviceoperations.h"

#include <QString>
#include <QStringList>

namespace {

const QString Cal = QString::fromLatin1(StatusPanes::Calibration);
const QString Dev = QString::fromLatin1(StatusPanes::Device);

QString u(const char *s) { return QString::fromUtf8(s); }

OperationAnswer answer(int code, const char *requestHex, const char *dataHex, bool checksumOk = true)
{
    return {code, QByteArray::fromHex(requestHex), QByteArray::fromHex(dataHex), checksumOk};
}

QStringList hexItems(const OperationRequest &r)
{
    QStringList list;
    for (const RequestItem &i : r.items)
        list << QStringLiteral("%1:%2").arg(i.command).arg(QString::fromLatin1(i.data.toHex()));
    return list;
}

} // namespace
