// The history's schema: its steps, the step-by-step migration at open, and
// the check of the version inside every write transaction.

#include "history/historystore.h"
#include "history/historystore_p.h"

using namespace HistorySql;

namespace {

// The schema, one step per version. A step never changes: a database at
// version n has had exactly the steps up to n. Types and statements are the
// ones both engines read alike.
const char *const step1[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "INSERT INTO schema_version (version) VALUES (0)",
    "CREATE TABLE events (uid TEXT PRIMARY KEY, kind TEXT NOT NULL, at_utc TEXT NOT NULL, profile TEXT,"
    " port TEXT, operator_name TEXT, serial TEXT, device_model TEXT, ok INTEGER NOT NULL, summary TEXT)",
    "CREATE TABLE calculations (event_uid TEXT PRIMARY KEY, sensor_type TEXT, pmax DOUBLE PRECISION,"
    " fit_model TEXT, fit_tmin DOUBLE PRECISION, fit_tmid DOUBLE PRECISION, fit_tmax DOUBLE PRECISION,"
    " worst_percent DOUBLE PRECISION, worst_point TEXT, zero DOUBLE PRECISION)",
    "CREATE TABLE event_values (event_uid TEXT NOT NULL, seq INTEGER NOT NULL, name TEXT,"
    " value DOUBLE PRECISION, PRIMARY KEY (event_uid, seq))",
    "CREATE TABLE event_files (event_uid TEXT NOT NULL, seq INTEGER NOT NULL, role TEXT, path TEXT,"
    " path_bytes TEXT, sha256 TEXT, PRIMARY KEY (event_uid, seq))",
    "CREATE TABLE writes (event_uid TEXT PRIMARY KEY, what TEXT, block_count INTEGER,"
    " written_count INTEGER, outcome TEXT)",
    "CREATE TABLE write_blocks (event_uid TEXT NOT NULL, seq INTEGER NOT NULL, block TEXT,"
    " refused INTEGER NOT NULL, PRIMARY KEY (event_uid, seq))",
    "CREATE TABLE verifications (event_uid TEXT PRIMARY KEY, table_name TEXT, accuracy_class TEXT,"
    " passed INTEGER NOT NULL, details TEXT)",
    nullptr};

// The batch of a device; searching by serial, date and model without
// reading the whole table; the reports already imported.
const char *const step2[] = {
    "ALTER TABLE events ADD COLUMN batch TEXT",
    "ALTER TABLE events ADD COLUMN serial_key TEXT",
    "UPDATE events SET serial_key = substr(serial, 1, 200)",
    "CREATE INDEX events_serial ON events (serial_key, at_utc)",
    "CREATE INDEX events_time ON events (at_utc)",
    "CREATE INDEX events_model ON events (device_model, at_utc)",
    "CREATE TABLE imports (source_key TEXT PRIMARY KEY, event_uid TEXT NOT NULL)",
    nullptr};

// The short address a write went to; the files an event names, kept in the
// history itself (a folder can be overwritten), once per content; finding
// an event by the checksum of its report.
const char *const step3[] = {
    "ALTER TABLE writes ADD COLUMN address INTEGER",
    "CREATE TABLE blobs (sha256 TEXT PRIMARY KEY, size BIGINT NOT NULL, content BYTEA NOT NULL)",
    "CREATE INDEX event_files_sha ON event_files (sha256)",
    nullptr};

const char *const *const steps[] = {step1, step2, step3};
static_assert(sizeof(steps) / sizeof(steps[0]) == HistoryStore::SchemaVersion,
              "one step per schema version");

} // namespace

bool HistoryStore::migrate(QSqlDatabase &db, bool postgres, int targetVersion, int *foundVersion,
                           QString *error)
{
    auto failed = [&](const QString &why) {
        db.rollback();
        if (error)
            *error = why;
        return false;
    };
    // Two PCs (or two windows) opening a new database at once would both
    // build it: the first to start holds the others off until it is done.
    // Writers hold the same lock shared, so a step never lands under a write.
    QString why;
    if (!beginHoldingSchema(db, postgres, true, &why))
        return failed(why);
    bool ok = false;
    const int version = currentVersion(db, &ok);
    if (foundVersion)
        *foundVersion = version;
    if (!ok)
        return failed(QStringLiteral("не читается версия схемы"));
    if (version > targetVersion) {
        db.rollback();
        return true;   // the caller judges a newer schema
    }
    for (int v = version + 1; v <= targetVersion; ++v) {
        for (const char *const *sql = steps[v - 1]; *sql; ++sql) {
            QSqlQuery q(db);
            if (!q.exec(QString::fromLatin1(*sql)))
                return failed(QStringLiteral("шаг схемы %1: %2").arg(v).arg(q.lastError().text()));
        }
    }
    if (version < targetVersion) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        q.addBindValue(targetVersion);
        if (!q.exec())
            return failed(q.lastError().text());
    }
    if (!db.commit())
        return failed(db.lastError().text());
    return true;
}

QString HistoryStore::newerSchemaText(int found) const
{
    return QStringLiteral("База истории (%1) создана более новой версией Tesmar: схема %2, эта версия знает "
                          "схему %3. База не изменена; обновите Tesmar")
        .arg(m_description)
        .arg(found)
        .arg(SchemaVersion);
}

// Opened at version n does not mean still at n: another PC's newer Tesmar
// may have brought the schema forward since. Every write transaction holds
// the schema still (see SchemaLockKey) and reads the version first.
bool HistoryStore::beginWrite(QSqlDatabase &db)
{
    QString why;
    if (!beginHoldingSchema(db, m_postgres, false, &why))
        return fail(QStringLiteral("Транзакция не начата"), why);
    bool ok = false;
    const int version = currentVersion(db, &ok);
    m_foundVersion = ok ? version : m_foundVersion;
    if (!ok)
        fail(QStringLiteral("Версия схемы базы истории не прочитана"), QString());
    else if (version > SchemaVersion)
        fail(newerSchemaText(version), QString());
    else if (version < SchemaVersion)
        fail(QStringLiteral("Схема базы истории (%1) старше этой версии Tesmar (%2): база будет обновлена при "
                            "следующем подключении")
                 .arg(version)
                 .arg(SchemaVersion),
             QString());
    if (ok && version == SchemaVersion)
        return true;
    db.rollback();
    m_schemaChanged = ok && version > SchemaVersion;
    return false;
}
