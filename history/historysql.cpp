#include "history/historystore_p.h"

#include <cmath>
#include <limits>

namespace HistorySql {

QString storable(const QString &text)
{
    if (!text.contains(QChar(0)))
        return text;
    QString out = text;
    out.replace(QChar(0), QChar(0x2400));
    return out;
}

namespace {
const QString TimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");
}

QString timeText(const QDateTime &t)
{
    return t.toUTC().toString(TimeFormat);
}

QDateTime timeFrom(const QVariant &v)
{
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

QVariant number(double v)
{
    return std::isfinite(v) ? QVariant(v) : QVariant(QVariant::Double);
}

double numberFrom(const QVariant &v)
{
    return v.isNull() ? std::numeric_limits<double>::infinity() : v.toDouble();
}

int currentVersion(QSqlDatabase &db, bool *ok)
{
    *ok = true;
    if (!db.tables().contains(QStringLiteral("schema_version")))
        return 0;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next()) {
        *ok = false;
        return 0;
    }
    return q.value(0).toInt();
}

bool beginHoldingSchema(QSqlDatabase &db, bool postgres, bool exclusive, QString *why)
{
    QSqlQuery lock(db);
    if (!postgres) {
        // SQLite: the write lock is taken at the start, where waiting for
        // another writer is possible; taken at the first insert after a
        // read, two writers would deadlock and one would be refused at once.
        if (lock.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return true;
        *why = lock.lastError().text();
        return false;
    }
    const QString sql = exclusive ? QStringLiteral("SELECT pg_advisory_xact_lock(%1)")
                                  : QStringLiteral("SELECT pg_advisory_xact_lock_shared(%1)");
    if (db.transaction() && lock.exec(sql.arg(SchemaLockKey)))
        return true;
    *why = db.lastError().text() + lock.lastError().text();
    return false;
}

} // namespace HistorySql
