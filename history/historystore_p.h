#pragma once
// What the history store's files share: a prepared statement with bound
// values, and how times, numbers and texts are put into either engine.

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace HistorySql {

// A text as the database keeps it. PostgreSQL's client library passes texts
// as C strings, so a NUL character would cut the statement short (and the
// server refuses it in a text anyway): it is kept as the visible symbol for
// NUL on both engines, so that the same event reads the same everywhere.
QString storable(const QString &text);
inline QVariant storable(const QVariant &value)
{
    return value.type() == QVariant::String ? QVariant(storable(value.toString())) : value;
}

QString timeText(const QDateTime &t);
QDateTime timeFrom(const QVariant &v);
// A number with no value (a residual that is no number) is NULL: neither
// engine keeps NaN or infinity the same way.
QVariant number(double v);
double numberFrom(const QVariant &v);

struct Query
{
    Query(QSqlDatabase &db, const QString &sql, bool forwardOnly = false) : q(db)
    {
        q.setForwardOnly(forwardOnly);
        prepared = q.prepare(sql);
    }
    Query(QSqlDatabase &db, const char *sql) : Query(db, QString::fromLatin1(sql)) {}
    Query &operator<<(const QVariant &v)
    {
        q.addBindValue(storable(v));
        return *this;
    }
    bool exec() { return prepared && q.exec(); }
    QString error() const { return q.lastError().text(); }
    QSqlQuery q;
    bool prepared = false;
};

// The schema's version as the database says it; 0 before the first step.
int currentVersion(QSqlDatabase &db, bool *ok);

// Taken by every write transaction (shared) and by a schema change
// (exclusive) on PostgreSQL: a newer Tesmar cannot change the schema under
// a write that has checked its version. SQLite's write lock does the same.
constexpr int SchemaLockKey = 724024;

// Begins a transaction that holds the schema still (see SchemaLockKey):
// exclusive for a schema change, shared for a write. False with what the
// database said when it could not.
bool beginHoldingSchema(QSqlDatabase &db, bool postgres, bool exclusive, QString *why);

} // namespace HistorySql
