#pragma once
// The events the history database could not take yet, kept in a local file
// until it can: one JSON object per line, appended as they come (a crash
// loses nothing already appended), rewritten whole when some have been
// written to the database. An event the database refuses is set aside in a
// file beside it.

#include "history/historyevent.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace HistoryJson {
QJsonObject toJson(const HistoryRecord &record);
// False with the reason when a field is missing, of another type or out of
// range: such a line is not an event to write.
bool fromJson(const QJsonObject &object, HistoryRecord *record, QString *why = nullptr);
}

class HistoryQueue
{
public:
    explicit HistoryQueue(const QString &path) : m_path(path) {}
    QString path() const { return m_path; }

    bool append(const HistoryRecord &record, QString *error);
    // Every record in the file; lines that are not a record are counted in
    // *unreadable, said in *reasons (the file, the line and why) and kept
    // aside in "<file>.bad" when the file is rewritten.
    QVector<HistoryRecord> readAll(int *unreadable = nullptr, QStringList *reasons = nullptr) const;
    // Leaves only `left` in the file (none: the file goes).
    bool replace(const QVector<HistoryRecord> &left, QString *error);
    int count() const;

    // An event the database refused (the same on every try) leaves the
    // queue for "<file>.refused", with the reason, so that the events after
    // it go on; the file keeps it for whoever can mend it.
    QString setAsidePath() const { return m_path + QStringLiteral(".refused"); }
    bool setAside(const HistoryRecord &record, const QString &reason, QString *error);

private:
    QString m_path;
};
