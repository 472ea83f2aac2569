// The calibration history's database on both engines through the same
// tests: what is written comes back unchanged whatever its text, searches
// find what they should, an old schema is brought forward, a newer one is
// left alone, and earlier reports are imported once.

#include "common/historyrig.h"

#include "calc/calibrationreport.h"
#include "history/historycalc.h"
#include "history/historycsv.h"
#include "history/historyimport.h"
#include "history/historyqueue.h"
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
    QCOMPARE(w.address, x.address);
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

bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A calculation's report beside its point file in `dir`, as the calculation
// tab leaves them; the report's path.
QString writeReport(const QString &dir, const CalibrationReport &report)
{
    const QString path = QDir(dir).filePath(QStringLiteral("dev_report.txt"));
    if (!putFile(path, calibrationReportText(report)) || !putFile(QDir(dir).filePath(QStringLiteral("dev_Tmid_MNK.txt")), "1\t2\n"))
        return QString();
    return path;
}

CalibrationReport sampleReport(const QString &dir)
{
    CalibrationReport report;
    report.when = QDateTime(QDate(2025, 11, 12), QTime(13, 14, 15));
    report.dir = dir;
    report.address = QStringLiteral("01");
    report.haveSerial = true;
    report.serial = 123456789;
    report.pmax = 250000;
    report.files.files[FileTmid].fileName = QStringLiteral("dev_Tmid_MNK.txt");
    report.quality.worstPercent = {0.01, 0.03, 0.02};
    report.written.U10 = 1.25f;
    report.written.a = {1.0f / 3, 2, 3};
    return report;
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
    void writeAddressAndKeptFiles_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("kept"); }
    void writeAddressAndKeptFiles();
    void writeFailureClasses_data();
    void writeFailureClasses();
    void importMatchesLiveEvents_data();
    void importMatchesLiveEvents();
    void secondBenchImportSaidPlainly_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("two benches"); }
    void secondBenchImportSaidPlainly();
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
        HistoryRecord queued;
        QVERIFY(HistoryJson::fromJson(HistoryJson::toJson(want), &queued));
        compareRecords(queued, want);
        QVERIFY2(store.loadContents(&got), qPrintable(store.error()));
        for (int i = 0; i < want.files().size(); ++i) {
            QCOMPARE(queued.files()[i].kept, want.files()[i].kept);
            QCOMPARE(queued.files()[i].content, want.files()[i].content);
            QCOMPARE(got.files()[i].content, want.files()[i].content);
        }
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
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(HistoryEngines::name(engine),
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
    {
        QSqlDatabase db = historyRawDatabase(config, QStringLiteral("raw"));
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
        QVERIFY(q.exec(QStringLiteral("INSERT INTO events (uid, kind, at_utc, serial, ok, summary)"
                                      " VALUES ('oldw', 'write', '2025-05-06T07:09:00.000Z', '777', 1, 'w')")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO writes (event_uid, what, block_count, written_count)"
                                      " VALUES ('oldw', 'Данные устройства', 3, 3)")));
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
    HistoryRecord oldWrite;
    QVERIFY(store.load(QStringLiteral("oldw"), &oldWrite));
    QCOMPARE(oldWrite.write.address, -1);   // written before writes named it
    QCOMPARE(oldWrite.write.writtenCount, 3);
    // And the new schema's parts work on it.
    HistoryRecord r = HistoryRecord::of(HistorySamples::calculation(QStringLiteral("777"), day(5)));
    r.uid = QStringLiteral("new");
    r.sourceKey = QStringLiteral("report:x");
    QVERIFY2(store.write(r), qPrintable(store.error()));
    QVERIFY(store.isImported(r.sourceKey));
    QCOMPARE(store.search(f).size(), 3);
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
    auto tablesAndVersion = [&](int setVersion) {
        QStringList out;
        {
            QSqlDatabase db = historyRawDatabase(config, QStringLiteral("raw"));
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

    const CalibrationReport report = sampleReport(dir.path());
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

// A write names the address it went to and says when no serial was read;
// the files an event names are kept in the history whatever happens to the
// folder, each content once.
void TestHistoryStore::writeAddressAndKeptFiles()
{
    HISTORY_FRESH_CONFIG(config);
    QTemporaryDir dir;
    const QString report = QDir(dir.path()).filePath(QStringLiteral("dev_report.txt"));
    const QByteArray original("Отчет о калибровке\n\0binary\xff", 30);
    QVERIFY(putFile(report, original));

    WriteEvent w;
    w.context = HistorySamples::context(day(2));
    w.address = 0x0f;
    w.what = QStringLiteral("Коэффициенты расчета");
    w.blockCount = w.writtenCount = 5;
    CalculationEvent k = HistorySamples::calculation(QStringLiteral("77"), day(1));
    k.files = {historyFile(QStringLiteral("Отчет"), report)};
    QVERIFY(k.files[0].kept);
    CalculationEvent again = k;   // another event naming the same content
    again.context.when = day(3);
    QVector<HistoryRecord> records{HistoryRecord::of(w), HistoryRecord::of(k), HistoryRecord::of(again)};
    for (int i = 0; i < records.size(); ++i)
        records[i].uid = QStringLiteral("k%1").arg(i);

    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    for (const HistoryRecord &r : records)
        QVERIFY2(store.write(r), qPrintable(store.error()));
    QVERIFY(putFile(report, "overwritten by the next run"));

    HistoryRecord got;
    QVERIFY(store.load(QStringLiteral("k0"), &got));
    QCOMPARE(got.write.address, 0x0f);
    const QVector<HistoryRow> rows = store.search(HistoryFilter());
    QCOMPARE(rows.last().uid, QStringLiteral("k1"));
    QCOMPARE(rows[1].summary, QStringLiteral("Коэффициенты расчета, адрес 0f: записано 5 из 5 блоков; "
                                             "заводской номер не прочитан при записи"));
    QVERIFY(store.load(QStringLiteral("k1"), &got));
    QVERIFY(got.files()[0].kept);
    QVERIFY(got.files()[0].content.isEmpty());   // asked for separately
    QVERIFY2(store.loadContents(&got), qPrintable(store.error()));
    QCOMPARE(got.files()[0].content, original);
    QCOMPARE(historyRawExec(config, {QStringLiteral("SELECT count(*) FROM blobs")}), QStringLiteral("1"));
}

void TestHistoryStore::writeFailureClasses_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    for (int engine : {int(HistoryConfig::Sqlite), int(HistoryConfig::Postgres)}) {
        const QString e = HistoryEngines::name(engine);
        QTest::newRow(qPrintable(e + QStringLiteral(" refused by the database")))
            << engine << QStringLiteral("rule") << true << int(HistoryStore::Status::Open) << QStringLiteral("не записано");
        QTest::newRow(qPrintable(e + QStringLiteral(" schema brought forward by another PC")))
            << engine << QStringLiteral("newer") << false << int(HistoryStore::Status::NewerSchema)
            << QStringLiteral("более новой версией Tesmar: схема %1").arg(HistoryStore::SchemaVersion + 1);
        // Every event would fail alike: they wait, none is set aside.
        QTest::newRow(qPrintable(e + QStringLiteral(" a table gone")))
            << engine << QStringLiteral("damaged") << false << int(HistoryStore::Status::Unreachable)
            << QStringLiteral("Значения события не записаны");
    }
}

// A write that fails says which kind of failure it was: the event's own
// (the database answered and refused it: the connection stays, the next
// event goes in) or the database's (a newer schema since it was opened:
// nothing is written into it, the connection is dropped; a table gone: the
// same for every event, so none is taken for the event's own fault).
void TestHistoryStore::writeFailureClasses()
{
    HISTORY_FRESH_CONFIG(config);
    QFETCH(QString, fault);
    QFETCH(bool, refused);
    QFETCH(int, status);
    QFETCH(QString, said);
    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    HistoryRecord r = HistoryRecord::of(HistorySamples::calculation(QStringLiteral("refuse-me"), day(1)));
    r.uid = QStringLiteral("a");
    if (fault == QLatin1String("rule"))
        QVERIFY(historyRefuseSerial(config));
    else if (fault == QLatin1String("damaged"))
        historyRawExec(config, {QStringLiteral("DROP TABLE event_values")});
    else
        historyRawExec(config, {QStringLiteral("UPDATE schema_version SET version = %1").arg(HistoryStore::SchemaVersion + 1)});

    QVERIFY(!store.write(r));
    QCOMPARE(store.refused(), refused);
    QCOMPARE(int(store.status()), status);
    QVERIFY2(store.error().contains(said), qPrintable(store.error()));
    QCOMPARE(historyRawExec(config, {QStringLiteral("SELECT count(*) FROM events")}), QStringLiteral("0"));
    HistoryRecord next = HistoryRecord::of(HistorySamples::calculation(QStringLiteral("1"), day(2)));
    next.uid = QStringLiteral("b");
    QCOMPARE(store.write(next), refused);
}

void TestHistoryStore::importMatchesLiveEvents_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("change");     // what differs between the live event and the report
    QTest::addColumn<bool>("matched");
    struct Row
    {
        const char *change;
        bool matched;
    };
    const Row rows[] = {{"nothing", true},           {"report rewritten", true},
                        {"no serial read", true},   {"coefficient", false},
                        {"two days apart", false},  {"other device", false}};
    for (int engine : {int(HistoryConfig::Sqlite), int(HistoryConfig::Postgres)}) {
        for (const Row &r : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(HistoryEngines::name(engine),
                                                                   QLatin1String(r.change))))
                << engine << QString::fromLatin1(r.change) << r.matched;
    }
}

// A report this program wrote and recorded when the calculation was made
// is that calibration, not another: by its checksum, or (the report copied
// and touched since) by the device, the coefficients and the time.
void TestHistoryStore::importMatchesLiveEvents()
{
    HISTORY_FRESH_CONFIG(config);
    QFETCH(QString, change);
    QFETCH(bool, matched);
    QTemporaryDir dir;
    CalibrationReport report = sampleReport(dir.path());
    report.haveSerial = change != QLatin1String("no serial read");
    const QString path = writeReport(dir.path(), report);
    QVERIFY(!path.isEmpty());
    HistoryRecord live = HistoryRecord::of(historyCalculation(report, path));
    live.uid = QStringLiteral("live");
    if (change == QLatin1String("coefficient"))
        live.calculation.coefficients[1].value += 0.5;
    else if (change == QLatin1String("two days apart"))
        live.context().when = live.context().when.addDays(-2);
    else if (change == QLatin1String("other device"))
        live.device().serial = QStringLiteral("123456780");
    if (change != QLatin1String("nothing"))
        live.calculation.files.clear();   // only the device, coefficients and time tell
    if (change == QLatin1String("report rewritten") || change == QLatin1String("no serial read")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("\n");
    }

    HistoryStore store(QStringLiteral("t"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    QVERIFY2(store.write(live), qPrintable(store.error()));
    const HistoryContext who = HistorySamples::context(QDateTime());
    HistoryImport::Result r = HistoryImport::importFolder(store, dir.path(), who);
    QVERIFY2(r.error.isEmpty() && r.failures.isEmpty(), qPrintable(r.text()));
    QCOMPARE(r.recordedLive, int(matched));
    QCOMPARE(r.imported, int(!matched));
    QCOMPARE(r.alreadyThere, int(matched));
    if (matched)
        QVERIFY2(r.text().contains(QStringLiteral("записаны при расчете: 1")), qPrintable(r.text()));
    HistoryFilter all;
    QCOMPARE(store.search(all).size(), matched ? 1 : 2);
    // Known at once the next time, and still once.
    r = HistoryImport::importFolder(store, dir.path(), who);
    QCOMPARE(r.imported, 0);
    QCOMPARE(r.alreadyThere, 1);
    QCOMPARE(store.search(all).size(), matched ? 1 : 2);
}

// Two benches import one folder: the one that comes second between its
// look and its write is told plainly that the report is already there.
void TestHistoryStore::secondBenchImportSaidPlainly()
{
    HISTORY_FRESH_CONFIG(config);
    QTemporaryDir dir;
    QVERIFY(!writeReport(dir.path(), sampleReport(dir.path())).isEmpty());
    HistoryStore bench1(QStringLiteral("bench1")), bench2(QStringLiteral("bench2"));
    QCOMPARE(int(bench1.open(config)), int(HistoryStore::Status::Open));
    QCOMPARE(int(bench2.open(config)), int(HistoryStore::Status::Open));
    const HistoryContext who = HistorySamples::context(QDateTime());
    HistoryImport::Result other;
    const HistoryImport::Result r = HistoryImport::importFolder(bench1, dir.path(), who, [&](const QString &) {
        other = HistoryImport::importFolder(bench2, dir.path(), who);
    });
    QCOMPARE(other.imported, 1);
    QCOMPARE(r.imported, 0);
    QCOMPARE(r.alreadyThere, 1);
    QCOMPARE(r.byOtherBench, 1);
    QVERIFY2(r.failures.isEmpty() && r.error.isEmpty(), qPrintable(r.text()));
    QVERIFY2(r.text().contains(QStringLiteral("уже импортировано другим рабочим местом: 1")), qPrintable(r.text()));
    QCOMPARE(bench1.search(HistoryFilter()).size(), 1);
    QVERIFY(bench1.isOpen());
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
