// The files an event names, kept in the history itself: each content once,
// under its SHA-256, whichever events name it.

#include "history/historystore.h"
#include "history/historystore_p.h"

using namespace HistorySql;

namespace {

// A path whose bytes are not UTF-8 keeps them beside its readable text.
QString pathBytes(const QByteArray &path)
{
    if (QString::fromUtf8(path).toUtf8() == path)
        return QString();
    return QString::fromLatin1(path.toBase64());
}

} // namespace

bool HistoryStore::writeFiles(QSqlDatabase &db, const QString &uid, const QVector<HistoryFile> &files)
{
    for (int i = 0; i < files.size(); ++i) {
        const HistoryFile &f = files[i];
        Query q(db, "INSERT INTO event_files (event_uid, seq, role, path, path_bytes, sha256)"
                    " VALUES (?, ?, ?, ?, ?, ?)");
        q << uid << i << f.role << QString::fromUtf8(f.path) << pathBytes(f.path) << f.sha256;
        if (!q.exec())
            return failOn(QStringLiteral("Файлы события не записаны"), q);
        if (!f.kept)
            continue;
        // A content that is not what its sum says is no record of the file.
        if (historySha256(f.content) != f.sha256) {
            m_lastSqlError = QSqlError();
            return fail(QStringLiteral("Содержимое файла %1 не совпадает с его контрольной суммой")
                            .arg(QString::fromUtf8(f.path)),
                        QString());
        }
        Query b(db, "INSERT INTO blobs (sha256, size, content) VALUES (?, ?, ?) ON CONFLICT (sha256) DO NOTHING");
        b << f.sha256 << qint64(f.content.size()) << f.content;
        if (!b.exec())
            return failOn(QStringLiteral("Содержимое файлов события не записано"), b);
    }
    return true;
}

bool HistoryStore::loadContents(HistoryRecord *record)
{
    if (!isOpen())
        return fail(QStringLiteral("База истории не открыта"), m_error);
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    for (HistoryFile &f : record->files()) {
        f.content.clear();
        f.kept = false;
        if (f.sha256.isEmpty())
            continue;
        Query q(db, "SELECT content FROM blobs WHERE sha256 = ?");
        q << f.sha256;
        if (!q.exec())
            return failOn(QStringLiteral("Файлы события не прочитаны из истории"), q);
        if (!q.q.next())
            continue;
        f.content = q.q.value(0).toByteArray();
        // What comes back is what was kept, or it is not offered.
        f.kept = historySha256(f.content) == f.sha256;
        if (!f.kept)
            f.content.clear();
    }
    return true;
}
