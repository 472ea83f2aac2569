#pragma once
// The calibration history's database, on SQLite or PostgreSQL through Qt SQL.
//
// One store is one named connection, used by one thread only (Qt SQL's
// rule). Both engines see the same schema and the same statements, with
// bound values; only opening differs, and the lock that keeps two PCs from
// building the schema at once. The schema version lives in the database and
// is brought forward step by step when it is opened; a database from a newer
// Tesmar is refused and left as it is.
//
// Each record is written in one transaction with everything it holds, so a
// record is either all there or not at all; a uid already there is not
// written again. Every write transaction reads the schema version first: a
// database that a newer Tesmar has brought forward since it was opened is
// not written into.
//
// The files an event names (point files, reports) are kept in the database
// too, once per content (its SHA-256), so that the record does not depend
// on a folder that can be overwritten.

#include "history/historyconfig.h"
#include "history/historyevent.h"

#include <QDate>
#include <QString>
#include <QVector>

#include <QSqlError>

class QSqlDatabase;
namespace HistorySql {
struct Query;
}

struct HistoryFilter
{
    enum Result { AnyResult, OkOnly, NotOkOnly };
    QString serial;             // exact; empty for any
    QDate from, to;             // days, both included; invalid for open
    QString model;              // exact; empty for any
    Result result = AnyResult;
    int kind = -1;              // HistoryRecord::Kind, -1 for any
    int limit = 2000;           // newest first
};

// One line of the history table.
struct HistoryRow
{
    QString uid;
    HistoryRecord::Kind kind = HistoryRecord::Calculation;
    QDateTime when;
    QString serial, model;
    bool ok = false;
    QString summary, operatorName, port, profile, batch;
};

class HistoryStore
{
public:
    enum class Status { Closed, Open, Unreachable, NewerSchema, Failed };
    static constexpr int SchemaVersion = 3;
    // Serials are searched by their first characters (an index cannot hold
    // a serial of any length on every engine) and then compared whole.
    static constexpr int SerialKeyLength = 200;
    static QString serialKey(const QString &serial);

    explicit HistoryStore(const QString &connectionName);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    Status open(const HistoryConfig &config);
    void close();
    bool isOpen() const { return m_status == Status::Open; }
    Status status() const { return m_status; }
    // What went wrong last, in words for the operator.
    QString error() const { return m_error; }
    // The version the database had when it was opened.
    int foundSchemaVersion() const { return m_foundVersion; }
    QString connectionName() const { return m_name; }

    // One transaction. A failed write closes the connection, so that the
    // next one starts from a fresh connect (a server that went away).
    bool write(const HistoryRecord &record);
    // Many records in one transaction: for filling a database in one go.
    bool writeAll(const QVector<HistoryRecord> &records);
    // The last write failed on what the records hold (the database answered
    // and refused them), not on the database being away or newer: the
    // connection stays open for the next one.
    bool refused() const { return m_refused; }
    bool contains(const QString &uid, bool *ok = nullptr);
    bool isImported(const QString &sourceKey, bool *ok = nullptr);

    QVector<HistoryRow> search(const HistoryFilter &filter, bool *ok = nullptr);
    bool load(const QString &uid, HistoryRecord *record);
    // The content of the record's files that the history keeps (the others
    // are left empty, their `kept` false).
    bool loadContents(HistoryRecord *record);
    // The calculation recorded when it was made that a report tells of: the
    // one whose report had the same checksum, else one of the same device
    // with the same coefficients (as the report prints them, to the float
    // the device holds) within maxSeconds of its time. Empty for none.
    QString findCalculation(const CalculationEvent &event, const QString &reportSha256, int maxSeconds,
                            bool *ok = nullptr);
    // Notes that an imported report is the event `uid` (recorded live).
    bool markImported(const QString &sourceKey, const QString &uid);
    // A device's calculations, oldest first.
    QVector<HistoryRecord> deviceCalculations(const QString &serial, bool *ok = nullptr);
    QStringList models(bool *ok = nullptr);

    // Brings the schema of an open database to targetVersion (tests build
    // an old database with it).
    static bool migrate(QSqlDatabase &db, bool postgres, int targetVersion, int *foundVersion,
                        QString *error);

private:
    bool writeOne(QSqlDatabase &db, const HistoryRecord &record);
    bool writeFiles(QSqlDatabase &db, const QString &uid, const QVector<HistoryFile> &files);
    bool beginWrite(QSqlDatabase &db);
    bool judgeFailure(QSqlDatabase &db);
    // Whether the statement (one bound key) finds a row.
    bool exists(const char *sql, const QString &key, bool *ok);
    QString newerSchemaText(int found) const;
    bool fail(const QString &what, const QString &detail);
    bool failOn(const QString &what, const HistorySql::Query &q);
    QString m_name;
    Status m_status = Status::Closed;
    QString m_error;
    int m_foundVersion = 0;
    bool m_postgres = false;
    bool m_refused = false;
    bool m_inWrite = false;
    bool m_schemaChanged = false;
    QSqlError m_lastSqlError;
    QString m_description;
};
