#pragma once
// The device data file as the device data dialog saves and loads it: one
// "key:value:description" line per item that has a value.
//
// Both operations return everything the dialog has to show (message boxes,
// the updated record) as data; the developer diagnostics go to the
// DiagnosticStreams handed in.

#include "devicedata/devicerecord.h"
#include "devicedata/diagnosticstreams.h"

#include <QList>
#include <QString>
#include <QVector>

class QIODevice;

// A message box the caller should show, in order.
struct UserMessage
{
    enum Kind { Critical, Information };
    Kind kind = Critical;
    QString title;
    QString text;
};

class DeviceDataFile
{
public:
    struct SaveResult
    {
        bool ok = false;
        QString absolutePath;
        QString errorString; // the platform's file error when !ok
        UserMessage message; // the box to show either way
    };

    // Writes every device item with a value in position order, then every
    // program item with a value. The file is replaced atomically where
    // that is harmless (see SafeSave): when anything fails the previous file
    // stays as it was and the failure is reported, never the success. A
    // target that is no regular file is refused.
    static SaveResult save(const QString &path, const DeviceRecord &record,
                           DiagnosticStreams &diagnostics = DiagnosticStreams::standard());
    // The bytes save() writes.
    static QByteArray serialize(const DeviceRecord &record);

    struct LoadResult
    {
        bool opened = false;
        // The record handed in with every line that loaded applied to it;
        // items not named in the file keep their texts.
        DeviceRecord record;
        QVector<int> devicePositionsLoaded; // in file order, repeats possible
        QVector<int> programRowsLoaded;
        QList<UserMessage> messages;        // one per invalid program value
    };

    static LoadResult load(const QString &path, const DeviceRecord &current,
                           DiagnosticStreams &diagnostics = DiagnosticStreams::standard());
    // Reads an already open device from its current position.
    static LoadResult load(QIODevice &device, const DeviceRecord &current,
                           DiagnosticStreams &diagnostics = DiagnosticStreams::standard());
};
