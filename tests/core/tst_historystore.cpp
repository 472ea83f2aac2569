// The calibration history's database on both engines through the same
// tests: what is written comes back unchanged whatever its text, searches
// find what they should, an old schema is brought forward, a newer one is
// left alone, and earlier reports are imported once.

#include "common/historyrig.h"

#include "calc/calibrationreport.h"
#include "history/historycsv.h"
#include "history/historyimport.h"
#include "history/historystore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void compareRecords(const HistoryRecord &got, const HistoryRecord &want)
{
    QCOMPARE(got.uid, want.uid);
    QCOMPARE(int(got.kind), int(want.kind));
    QCOMPARE(got.context().when, want.context().when);
    QCOMPARE(got.context().profile, want.context().profile);
    QCOMPARE(got.context().port, want.context().port);
    QCOMPARE(got.context().operatorName, want.context().operatorName);
    QCOMPARE(got.context().batch, want.context().batch);
    QCOMPARE(got.device().serial, want.device().serial);
    QCOMPARE(got.device().model, want.device().model);
    QCOMPARE(got.files(), want.files());
    const CalculationEvent &a = got.calculation, &b = want.calculation;
    QCOMPARE(a.sensorType, b.sensorType);
    QCOMPARE(a.pmaxPa, b.pmaxPa);
    QCOMPARE(a.fitModel, b.fitModel);
    QCOMPARE(a.coefficients, b.coefficients);
    for (size_t i = 0; i < 3; ++i)
        QCOMPARE(a.fitPercent[i], b.fitPercent[i]);
    QCOMPARE(a.worstPercent, b.worstPercent);
    QCOMPARE(a.worstPoint, b.worstPoint);
    QCOMPARE(a.zero, b.zero);
    const WriteEvent &w = got.write, &x = want.write;
    QCOMPARE(w.what, x.what);
    QCOMPARE(w.blocks, x.blocks);
    QCOMPARE(w.refusedBlocks, x.refusedBlocks);
    QCOMPARE(w.blockCount, x.blockCount);
    QCOMPARE(w.writtenCount, x.writtenCount);
    QCOMPARE(w.values, x.values);
    QCOMPARE(w.outcome, x.outcome);
    const VerificationEvent &v = got.verification, &y = want.verification;
    QCOMPARE(v.table, y.table);
    QCOMPARE(v.accuracyClass, y.accuracyClass);
    QCOMPARE(v.passed, y.passed);
    QCOMPARE(v.details, y.details);
    QCOMPARE(got.ok(), want.ok());
}

QDateTime day(int d, int hour = 12)
{
    return QDateTime(QDate(2026, 1, d), QTime(hour, 0), Qt::UTC);
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT
private slots:
    void hostileTextRoundTrips_data();
    void hostileTextRoundTrips();
    void search_data();
    void search();
    void migrationFromFirstSchema_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("v1"); }
    void migrationFromFirstSchema();
    void newerSchemaRefused_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("v99"); }
    void newerSchemaRefused();
    void importEachReportOnce_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("import"); }
    void importEachReportOnce();
    void csvKeepsEveryText();
};

void TestHistoryStore::hostileTextRoundTrips_data()
{
    HistoryEngines::addColumn();
    HistoryEngines::addRows("all kinds");
}

// Every field of every kind, through the database and through the local
// queue's JSON (the same record may take either way), comes back as it was.
void TestHistoryStore::hostileTextRoundTrips()
{
    HISTORY_FRESH_CONFIG(config);
    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    const QVector<HistoryRecord> records = HistorySamples::hostileRecords();
    for (const HistoryRecord &r : records) {
        QVERIFY2(store.write(r), qPrintable(store.error()));
        // Written again (a queue replayed): kept once.
        QVERIFY2(store.write(r), qPrintable(store.error()));
    }
    for (const HistoryRecord &want : records) {
        HistoryRecord got;
        QVERIFY2(store.load(want.uid, &got), qPrintable(store.error()));
        compareRecords(got, want);
    }
    HistoryFilter f;
    f.serial = records.first().device().serial;
    const QVector<HistoryRow> rows = store.search(f);
    QCOMPARE(rows.size(), records.size());
    for (const HistoryRow &row : rows) {
        QCOMPARE(row.serial, f.serial);
        QCOMPARE(row.batch, records.first().context().batch);
    }
    // A serial that differs only beyond the indexed part is another device.
    f.serial = f.serial.left(f.serial.size() - 1);
    QCOMPARE(store.search(f).size(), 0);
}

void TestHistoryStore::search_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("expected");   // serials, newest first

    struct Row
    {
        const char *name;
        QString serial;
        QDate from, to;
        QString model;
        int result;
        QStringList expected;
    };
    const QString dd = QStringLiteral("ДД-100"), dg = QStringLiteral("ДГ-10");
    const Row rows[] = {
        {"everything", {}, {}, {}, {}, HistoryFilter::AnyResult, {"300", "200", "100", "100"}},
        {"by serial", "100", {}, {}, {}, HistoryFilter::AnyResult, {"100", "100"}},
        {"serial is exact", "10", {}, {}, {}, HistoryFilter::AnyResult, {}},
        {"from day 2", {}, QDate(2026, 1, 2), {}, {}, HistoryFilter::AnyResult, {"300", "200", "100"}},
        {"days 2 to 3 inclusive", {}, QDate(2026, 1, 2), QDate(2026, 1, 3), {}, HistoryFilter::AnyResult, {"200", "100"}},
        {"by model", {}, {}, {}, dg, HistoryFilter::AnyResult, {"200"}},
        {"failed only", {}, {}, {}, {}, HistoryFilter::NotOkOnly, {"300"}},
        {"good only of serial", "100", {}, {}, dd, HistoryFilter::OkOnly, {"100", "100"}},
    };
    for (int engine : {int(HistoryConfig::Sqlite), int(HistoryConfig::Postgres)}) {
        for (const Row &r : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(engine == HistoryConfig::Sqlite ? "sqlite" : "postgresql",
                                                                   QLatin1String(r.name))))
                << engine << r.serial << r.from << r.to << r.model << r.result << r.expected;
    }
}

void TestHistoryStore::search()
{
    HISTORY_FRESH_CONFIG(config);
    QFETCH(QString, serial);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, model);
    QFETCH(int, result);
    QFETCH(QStringList, expected);

    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    QVector<HistoryRecord> seed = {HistoryRecord::of(HistorySamples::calculation("100", day(1))),
                                   HistoryRecord::of(HistorySamples::calculation("100", day(2, 0))),
                                   HistoryRecord::of(HistorySamples::calculation("200", day(3, 23))),
                                   HistoryRecord::of(HistorySamples::calculation("300", day(4)))};
    seed[2].device().model = QStringLiteral("ДГ-10");
    seed[3].calculation.withinTarget = false;
    for (int i = 0; i < seed.size(); ++i)
        seed[i].uid = QStringLiteral("u%1").arg(i);
    QVERIFY2(store.writeAll(seed), qPrintable(store.error()));

    HistoryFilter f;
    f.serial = serial;
    // Days are the operator's local days; the seed is in UTC.
    f.from = from.isValid() ? QDateTime(from, QTime(0, 0), Qt::UTC).toLocalTime().date() : QDate();
    f.to = to.isValid() ? QDateTime(to, QTime(0, 0), Qt::UTC).toLocalTime().date() : QDate();
    f.model = model;
    f.result = HistoryFilter::Result(result);
    bool ok = false;
    QStringList got;
    for (const HistoryRow &row : store.search(f, &ok))
        got << row.serial;
    QVERIFY2(ok, qPrintable(store.error()));
    QCOMPARE(got, expected);
}

// A database made by the first schema: its events are kept, found by serial
// and stay readable after the step to the current one.
void TestHistoryStore::migrationFromFirstSchema()
{
    HISTORY_FRESH_CONFIG(config);
    // A raw connection builds the first schema, as the first Tesmar did.
    const QString driver = engine == HistoryConfig::Postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, QStringLiteral("raw"));
        db.setDatabaseName(engine == HistoryConfig::Postgres ? config.database : config.sqlitePath);
        db.setHostName(config.host);
        db.setPort(config.port);
        db.setUserName(config.user);
        QVERIFY(db.open());
        int found = -1;
        QString error;
        QVERIFY2(HistoryStore::migrate(db, engine == HistoryConfig::Postgres, 1, &found, &error), qPrintable(error));
        QCOMPARE(found, 0);
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("INSERT INTO events (uid, kind, at_utc, serial, device_model, ok, summary)"
                                      " VALUES ('old', 'calculation', '2025-05-06T07:08:09.000Z', '777', 'ДД-1', 1, 's')")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO calculations (event_uid, pmax, zero) VALUES ('old', 1000, 2.5)")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO event_values (event_uid, seq, name, value) VALUES ('old', 0, 'U10', 2.5)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));

    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    QCOMPARE(store.foundSchemaVersion(), 1);
    HistoryFilter f;
    f.serial = QStringLiteral("777");
    const QVector<HistoryRecord> calcs = store.deviceCalculations(f.serial);
    QCOMPARE(calcs.size(), 1);
    QCOMPARE(calcs[0].context().when, QDateTime(QDate(2025, 5, 6), QTime(7, 8, 9), Qt::UTC));
    QCOMPARE(calcs[0].calculation.zero, 2.5);
    QCOMPARE(calcs[0].context().batch, QString());
    // And the new schema's parts work on it.
    HistoryRecord r = HistoryRecord::of(HistorySamples::calculation(QStringLiteral("777"), day(5)));
    r.uid = QStringLiteral("new");
    r.sourceKey = QStringLiteral("report:x");
    QVERIFY2(store.write(r), qPrintable(store.error()));
    QVERIFY(store.isImported(r.sourceKey));
    QCOMPARE(store.search(f).size(), 2);
    store.close();
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    QCOMPARE(store.foundSchemaVersion(), HistoryStore::SchemaVersion);
}

// A database a newer Tesmar made is neither written nor altered.
void TestHistoryStore::newerSchemaRefused()
{
    HISTORY_FRESH_CONFIG(config);
    {
        HistoryStore store(QStringLiteral("t"));
        QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    }
    const QString driver = engine == HistoryConfig::Postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    auto tablesAndVersion = [&](int setVersion) {
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(driver, QStringLiteral("raw"));
            db.setDatabaseName(engine == HistoryConfig::Postgres ? config.database : config.sqlitePath);
            db.setHostName(config.host);
            db.setPort(config.port);
            db.setUserName(config.user);
            if (db.open()) {
                QSqlQuery q(db);
                if (setVersion > 0)
                    q.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(setVersion));
                q.exec(QStringLiteral("SELECT version FROM schema_version"));
                out << (q.next() ? q.value(0).toString() : QStringLiteral("?"));
                QStringList tables = db.tables();
                tables.sort();
                out << tables;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        return out;
    };
    const QStringList before = tablesAndVersion(99);
    QCOMPARE(before.first(), QStringLiteral("99"));

    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::NewerSchema));
    QVERIFY2(store.error().contains(QStringLiteral("более новой версией")), qPrintable(store.error()));
    QVERIFY(!store.write(HistoryRecord::of(HistorySamples::calculation("1", day(1)))));
    QCOMPARE(tablesAndVersion(0), before);
}

// Reports as the calculation writes them, beside their point files; one
// without point files and one that is no report are not taken.
void TestHistoryStore::importEachReportOnce()
{
    HISTORY_FRESH_CONFIG(config);
    QTemporaryDir dir;
    QDir root(dir.path());
    QVERIFY(root.mkpath(QStringLiteral("run1")) && root.mkpath(QStringLiteral("run2")) && root.mkpath(QStringLiteral("lone")));

    CalibrationReport report;
    report.when = QDateTime(QDate(2025, 11, 12), QTime(13, 14, 15));
    report.address = QStringLiteral("01");
    report.haveSerial = true;
    report.serial = 123456789;
    report.pmax = 250000;
    report.files.files[FileTmid].fileName = QStringLiteral("dev_Tmid_MNK.txt");
    report.quality.worstPercent = {0.01, 0.03, 0.02};
    report.written.U10 = 1.25f;
    report.written.a = {1, 2, 3};
    const QByteArray text = calibrationReportText(report);
    auto put = [&](const QString &path, const QByteArray &bytes) {
        QFile f(root.filePath(path));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    QVERIFY(put(QStringLiteral("run1/dev_report.txt"), text));
    QVERIFY(put(QStringLiteral("run1/dev_Tmid_MNK.txt"), "1\t2\t3\t4\t5\t6\n"));
    QVERIFY(put(QStringLiteral("run2/bad_report.txt"), "not a report\n"));
    QVERIFY(put(QStringLiteral("run2/bad_MNK.txt"), "1\n"));
    QVERIFY(put(QStringLiteral("lone/x_report.txt"), text + "different"));

    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    HistoryContext who = HistorySamples::context(QDateTime());
    const HistoryImport::Result first = HistoryImport::importFolder(store, dir.path(), who);
    QCOMPARE(first.imported, 1);
    QCOMPARE(first.failures.size(), 1);
    QVERIFY(first.failures.first().contains(QStringLiteral("bad_report.txt")));
    const HistoryImport::Result again = HistoryImport::importFolder(store, dir.path(), who);
    QCOMPARE(again.imported, 0);
    QCOMPARE(again.alreadyThere, 1);

    const QVector<HistoryRecord> calcs = store.deviceCalculations(QStringLiteral("123456789"));
    QCOMPARE(calcs.size(), 1);
    const CalculationEvent &e = calcs.first().calculation;
    QCOMPARE(calcs.first().context().when, report.when.toUTC());
    QCOMPARE(calcs.first().context().operatorName, who.operatorName);
    QCOMPARE(e.pmaxPa, 250000.0);
    QCOMPARE(e.worstPercent, 0.03);
    QCOMPARE(e.zero, 1.25);
    QCOMPARE(e.coefficients.size(), 14);
    QCOMPARE(e.files.size(), 4);
    QCOMPARE(e.files[1].path, QFile::encodeName(root.filePath(QStringLiteral("run1/dev_Tmid_MNK.txt"))));
    QCOMPARE(e.files[1].sha256.size(), 64);
}

void TestHistoryStore::csvKeepsEveryText()
{
    HistoryRow row;
    row.when = QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6), Qt::UTC);
    row.serial = QStringLiteral("12\"3;4\n5");
    row.summary = HistorySamples::hostile(QStringLiteral("s"));
    row.ok = true;
    const QByteArray csv = historyCsv({row});
    const QList<QByteArray> lines = csv.split('\n');
    QVERIFY(lines.first().startsWith("\xEF\xBB\xBF"));   // a spreadsheet reads it as UTF-8
    QVERIFY(csv.contains("\"12\"\"3;4\n5\""));
    QVERIFY(csv.contains(HistorySamples::hostile(QStringLiteral("s")).replace(QLatin1Char('"'), QStringLiteral("\"\"")).toUtf8()));
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
