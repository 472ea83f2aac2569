#pragma once
// The two history engines side by side for table-driven tests: every test
// that takes an "engine" column runs on a fresh SQLite file and on a fresh
// database of a PostgreSQL server started for the test process; and events
// whose every text field is hostile.

#include "history/historyevent.h"
#include "history/historystore.h"
#include "pgserver.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

class HistoryEngines
{
public:
    static HistoryEngines &instance()
    {
        static HistoryEngines e;
        return e;
    }

    static QString name(int engine)
    {
        return engine == HistoryConfig::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgresql");
    }
    // The "engine" column: a row per engine.
    static void addColumn() { QTest::addColumn<int>("engine"); }
    static void addRows(const char *name)
    {
        QTest::newRow(qPrintable(QStringLiteral("sqlite %1").arg(QLatin1String(name)))) << int(HistoryConfig::Sqlite);
        QTest::newRow(qPrintable(QStringLiteral("postgresql %1").arg(QLatin1String(name)))) << int(HistoryConfig::Postgres);
    }

    // A new empty database of that engine; skips the row (with the reason)
    // only when the PostgreSQL server is not installed.
    HistoryConfig fresh(int engine)
    {
        if (engine == HistoryConfig::Sqlite) {
            HistoryConfig c;
            c.sqlitePath = m_files.filePath(QStringLiteral("h%1.sqlite").arg(++m_count));
            return c;
        }
        if (!m_tried) {
            m_tried = true;
            m_started = m_server.start(&m_why);
        }
        if (!m_started) {
            if (m_server.binariesMissing())
                qWarning("PostgreSQL rows skipped: %s", qPrintable(m_why));
            return HistoryConfig();
        }
        const QString name = QStringLiteral("h%1").arg(++m_count);
        QString why;
        if (!m_server.createDatabase(name, &why))
            qWarning("CREATE DATABASE failed: %s", qPrintable(why));
        return m_server.config(name);
    }
    bool skipPostgres() const { return m_tried && !m_started && m_server.binariesMissing(); }
    QString whyNot() const { return m_why; }
    PgServer &server() { return m_server; }

private:
    QTemporaryDir m_files;
    PgServer m_server;
    bool m_tried = false, m_started = false;
    QString m_why;
    int m_count = 0;
};

// Inside a test function with an "engine" column: a fresh database's
// settings in `config`, or the row skipped / failed.
#define HISTORY_FRESH_CONFIG(config)                                                                    \
    QFETCH(int, engine);                                                                                \
    const HistoryConfig config = HistoryEngines::instance().fresh(engine);                             \
    if (engine == HistoryConfig::Postgres && HistoryEngines::instance().skipPostgres())                 \
        QSKIP(qPrintable(HistoryEngines::instance().whyNot()));                                         \
    QVERIFY2(engine == HistoryConfig::Sqlite || !config.host.isEmpty(),                                 \
             qPrintable(QStringLiteral("PostgreSQL server did not start: ") + HistoryEngines::instance().whyNot()))

// A connection of its own to the database of the given settings (another
// PC's Tesmar, or a database administrator), not yet open; the caller
// closes and removes it.
inline QSqlDatabase historyRawDatabase(const HistoryConfig &config, const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(config.driver(), name);
    db.setDatabaseName(config.engine == HistoryConfig::Postgres ? config.database : config.sqlitePath);
    db.setHostName(config.host);
    db.setPort(config.port);
    db.setUserName(config.user);
    return db;
}

// Statements run through such a connection; the first value the last
// statement returns, empty when none.
inline QString historyRawExec(const HistoryConfig &config, const QStringList &statements, bool *ok = nullptr)
{
    QString value;
    bool ran = true;
    {
        QSqlDatabase db = historyRawDatabase(config, QStringLiteral("raw-exec"));
        ran = db.open();
        for (const QString &sql : statements) {
            QSqlQuery q(db);
            if (!ran || !q.exec(sql)) {
                if (ran)
                    qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
                ran = false;
                break;
            }
            value = q.next() ? q.value(0).toString() : QString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw-exec"));
    if (ok)
        *ok = ran;
    return value;
}

// A database that refuses every event of the serial "refuse-me", as a
// server's own rule would (a check on PostgreSQL, a trigger on SQLite).
inline bool historyRefuseSerial(const HistoryConfig &config)
{
    bool ok = false;
    historyRawExec(config,
                   {config.engine == HistoryConfig::Postgres
                        ? QStringLiteral("ALTER TABLE events ADD CONSTRAINT refuse_test CHECK (serial IS NULL OR serial <> 'refuse-me')")
                        : QStringLiteral("CREATE TRIGGER refuse_test BEFORE INSERT ON events WHEN NEW.serial = 'refuse-me'"
                                         " BEGIN SELECT RAISE(ABORT, 'refused by rule'); END")},
                   &ok);
    return ok;
}

namespace HistorySamples {

inline HistoryContext context(const QDateTime &when)
{
    HistoryContext c;
    c.when = when;
    c.profile = QStringLiteral("стенд-1");
    c.port = QStringLiteral("/dev/ttyUSB0");
    c.operatorName = QStringLiteral("Иванов И.И.");
    c.batch = QStringLiteral("партия 7");
    return c;
}

inline CalculationEvent calculation(const QString &serial, const QDateTime &when, double zero = 1.5)
{
    CalculationEvent e;
    e.context = context(when);
    e.device = {serial, QStringLiteral("ДД-100")};
    e.sensorType = QStringLiteral("два тензодатчика");
    e.pmaxPa = 250000;
    e.fitModel = QStringLiteral("два тензодатчика");
    e.coefficients = {{QStringLiteral("U10"), zero}, {QStringLiteral("a42"), 1.25e-7}, {QStringLiteral("c40"), -3.5}};
    e.fitPercent = {0.01, 0.02, 0.04};
    e.worstPercent = 0.04;
    e.worstPoint = QStringLiteral("Tmax, строка 3");
    e.zero = zero;
    e.files = {{QStringLiteral("Tmid"), QByteArray("/data/dev_MNK.txt"), QStringLiteral("ab12")}};
    return e;
}

// Every text field of every kind hostile: quotes and SQL, a serial of ten
// thousand characters with characters beyond the BMP, control characters,
// and file names that are not UTF-8.
inline QString hostile(const QString &what)
{
    return what + QStringLiteral("'; DROP TABLE events; -- \"кавычки\" \\N \t\r\n%_ ? :name $1 😀 ") + QChar(0x7f);
}

inline QVector<HistoryRecord> hostileRecords()
{
    const QString longSerial = QStringLiteral("9'\"😀").repeated(2500);
    const QByteArray badName("/tmp/\xff\xfe'\"\x80_MNK.txt");
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);

    HistoryContext c;
    c.when = when;
    c.profile = hostile(QStringLiteral("p"));
    c.port = hostile(QStringLiteral("port"));
    c.operatorName = hostile(QStringLiteral("op"));
    c.batch = hostile(QStringLiteral("batch"));

    CalculationEvent k;
    k.context = c;
    k.device = {longSerial, hostile(QStringLiteral("model"))};
    k.sensorType = hostile(QStringLiteral("sensor"));
    k.pmaxPa = 1e-300;
    k.fitModel = hostile(QStringLiteral("fit"));
    k.coefficients = {{hostile(QStringLiteral("k")), -0.0}, {QStringLiteral("max"), 1.7976931348623157e308},
                      {QStringLiteral("tiny"), 4.9e-324}};
    k.fitPercent = {0.01, std::numeric_limits<double>::infinity(), 2.5};
    k.worstPercent = std::numeric_limits<double>::infinity();
    k.worstPoint = hostile(QStringLiteral("worst"));
    k.zero = -123456.789;
    k.files = {{hostile(QStringLiteral("role")), badName, hostile(QStringLiteral("sum"))},
               {QStringLiteral("Отчет"), QByteArray("/tmp/отчет 'x'.txt"), QString()}};
    // A kept content of every byte value, as a report or a PDF may hold.
    for (int b = 0; b < 256; ++b)
        k.files[1].content.append(char(b));
    k.files[1].sha256 = historySha256(k.files[1].content);
    k.files[1].kept = true;
    k.withinTarget = false;

    WriteEvent w;
    w.context = c;
    w.device = {longSerial, hostile(QStringLiteral("model"))};
    w.what = hostile(QStringLiteral("what"));
    w.address = 0x0f;
    w.blocks = QStringList{hostile(QStringLiteral("b1")), QString(), hostile(QStringLiteral("b2"))};
    w.refusedBlocks = QStringList{hostile(QStringLiteral("r1"))};
    w.blockCount = 3;
    w.writtenCount = 2;
    w.values = {{hostile(QStringLiteral("v")), 3.25}};
    w.outcome = hostile(QStringLiteral("outcome"));

    VerificationEvent v;
    v.context = c;
    v.device = {longSerial, hostile(QStringLiteral("model"))};
    v.table = hostile(QStringLiteral("table"));
    v.accuracyClass = hostile(QStringLiteral("class"));
    v.passed = true;
    v.details = hostile(QStringLiteral("details")).repeated(50);
    v.files = {{QStringLiteral("Протокол"), badName, QString()}};

    QVector<HistoryRecord> out = {HistoryRecord::of(k), HistoryRecord::of(w), HistoryRecord::of(v)};
    for (HistoryRecord &r : out)
        r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return out;
}

} // namespace HistorySamples
