// Nothing recorded is lost: events the database cannot take wait in the
// local queue file, survive a restart, and are written once each when the
// database can be reached; a database from a newer Tesmar keeps them queued.

#include "common/historyrig.h"

#include "history/historyqueue.h"
#include "history/historyrecorder.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestHistoryQueue : public QObject
{
    Q_OBJECT
private slots:
    void unreachableThenDrained_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("unreachable"); }
    void unreachableThenDrained();
    void newerSchemaKeepsQueue_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("newer"); }
    void newerSchemaKeepsQueue();
    void serverGoneAndBack_data()
    {
        HistoryEngines::addColumn();
        QTest::newRow("postgresql") << int(HistoryConfig::Postgres);
    }
    void serverGoneAndBack();
    void unreadableQueueLinesKeptAside();
    void refusedEventSetAside_data();
    void refusedEventSetAside();
    void schemaMovedOnWhileRunning_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("moved on"); }
    void schemaMovedOnWhileRunning();
    void pendingText_data();
    void pendingText();
};

namespace {
// Settings like `good` that reach no database.
HistoryConfig unreachable(const HistoryConfig &good, const QTemporaryDir &dir)
{
    HistoryConfig bad = good;
    if (good.engine == HistoryConfig::Sqlite) {
        // A folder that cannot be made: a file stands in its place.
        QFile blocker(dir.filePath(QStringLiteral("blocker")));
        blocker.open(QIODevice::WriteOnly);
        bad.sqlitePath = dir.filePath(QStringLiteral("blocker/history.sqlite"));
    } else {
        bad.port = good.port + 1;   // no server there
    }
    return bad;
}

QString eventCount(const HistoryConfig &config)
{
    return historyRawExec(config, {QStringLiteral("SELECT count(*) FROM events")});
}
}

void TestHistoryQueue::unreachableThenDrained()
{
    HISTORY_FRESH_CONFIG(good);
    QTemporaryDir dir;
    const QString queuePath = dir.filePath(QStringLiteral("queue.jsonl"));
    const HistoryConfig bad = unreachable(good, dir);

    QVector<HistoryRecord> sent = HistorySamples::hostileRecords();
    {
        HistoryRecorder recorder(queuePath);
        recorder.setConfig(bad);
        for (const HistoryRecord &r : qAsConst(sent))
            recorder.record(r);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 3, 20000);
        QCOMPARE(HistoryRecorder::pendingText(recorder.pending()), QStringLiteral("История: 3 записи ждут базы"));
        QVERIFY2(recorder.problem().contains(QStringLiteral("недоступна")), qPrintable(recorder.problem()));
    }
    QCOMPARE(HistoryQueue(queuePath).count(), 3);

    // The next session finds the queue and writes it once the database is there.
    HistoryRecorder recorder(queuePath);
    recorder.setConfig(good);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 0, 20000);
    QTRY_VERIFY(!QFile::exists(queuePath));
    QCOMPARE(recorder.problem(), QString());
    recorder.record(sent.first());   // the same event again: still one
    QVector<HistoryRow> rows;
    bool answered = false;
    connect(&recorder, &HistoryRecorder::searched, this, [&](int, const QVector<HistoryRow> &r, const QString &) {
        rows = r;
        answered = true;
    });
    HistoryFilter f;
    f.serial = sent.first().device().serial;
    recorder.search(f);
    QTRY_VERIFY_WITH_TIMEOUT(answered, 20000);
    QCOMPARE(rows.size(), 3);
    QStringList uids;
    for (const HistoryRow &row : qAsConst(rows))
        uids << row.uid;
    for (const HistoryRecord &r : qAsConst(sent))
        QVERIFY(uids.contains(r.uid));
}

void TestHistoryQueue::newerSchemaKeepsQueue()
{
    HISTORY_FRESH_CONFIG(config);
    {
        HistoryStore store(QStringLiteral("make"));
        QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("make")));
        QVERIFY(q.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(HistoryStore::SchemaVersion + 1)));
    }
    QTemporaryDir dir;
    HistoryRecorder recorder(dir.filePath(QStringLiteral("q.jsonl")));
    recorder.setConfig(config);
    recorder.record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("5"), QDateTime::currentDateTimeUtc())));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 1, 20000);
    QVERIFY2(recorder.problem().contains(QStringLiteral("более новой версией")), qPrintable(recorder.problem()));
}

// The lab's server stops under a running session and comes back: the event
// written meanwhile waits and then goes in, nothing twice.
void TestHistoryQueue::serverGoneAndBack()
{
    HISTORY_FRESH_CONFIG(config);
    QTemporaryDir dir;
    HistoryRecorder recorder(dir.filePath(QStringLiteral("q.jsonl")));
    recorder.setConfig(config);
    QSignalSpy state(&recorder, &HistoryRecorder::stateChanged);
    recorder.record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("1"), QDateTime::currentDateTimeUtc())));
    QVERIFY(state.wait(20000));
    QCOMPARE(recorder.pending(), 0);

    PgServer &server = HistoryEngines::instance().server();
    server.stop();
    recorder.record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("2"), QDateTime::currentDateTimeUtc())));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 1, 20000);
    QVERIFY(!recorder.problem().isEmpty());
    QString why;
    QVERIFY2(server.resume(&why), qPrintable(why));
    recorder.retryNow();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 0, 20000);
    HistoryStore store(QStringLiteral("check"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    QCOMPARE(store.search(HistoryFilter()).size(), 2);
}

// A line cut short by a crash does not stop the others from being written,
// and is kept aside rather than thrown away.
void TestHistoryQueue::unreadableQueueLinesKeptAside()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("q.jsonl"));
    HistoryQueue queue(path);
    HistoryRecord r = HistorySamples::hostileRecords().first();
    QVERIFY(queue.append(r, nullptr));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("{\"uid\":\"cut");
    }
    int bad = 0;
    QCOMPARE(queue.readAll(&bad).size(), 1);
    QCOMPARE(bad, 1);
    QVERIFY(queue.replace({}, nullptr));
    QVERIFY(!QFile::exists(path));
    QFile aside(path + QStringLiteral(".bad"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), QByteArray("{\"uid\":\"cut\n"));
}

void TestHistoryQueue::refusedEventSetAside_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<bool>("nul");        // else refused by the database's rule
    QTest::addColumn<bool>("queued");     // waited for the database first
    for (int engine : {int(HistoryConfig::Sqlite), int(HistoryConfig::Postgres)}) {
        const QString e = HistoryEngines::name(engine);
        for (bool nul : {true, false}) {
            for (bool queued : {false, true})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3").arg(e, nul ? QStringLiteral("NUL in operator") : QStringLiteral("refused"),
                                                                       queued ? QStringLiteral("queued") : QStringLiteral("direct"))))
                    << engine << nul << queued;
        }
    }
}

// One event the database cannot take never holds up the others: a NUL in a
// text is stored escaped; an event the database refuses (the same on a
// second try) is set aside with its reason in a file beside the queue, said
// once, and the events after it are written.
void TestHistoryQueue::refusedEventSetAside()
{
    HISTORY_FRESH_CONFIG(config);
    QFETCH(bool, nul);
    QFETCH(bool, queued);
    {
        HistoryStore make(QStringLiteral("make"));
        QCOMPARE(int(make.open(config)), int(HistoryStore::Status::Open));
    }
    QVERIFY(historyRefuseSerial(config));
    QTemporaryDir dir;
    const QString queuePath = dir.filePath(QStringLiteral("q.jsonl"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVector<HistoryRecord> events;
    for (const QString &serial : {QStringLiteral("refuse-me"), QStringLiteral("1"), QStringLiteral("2")})
        events << HistoryRecord::of(HistorySamples::calculation(serial, now));
    if (nul) {
        events[0].device().serial = QStringLiteral("0");
        events[0].context().operatorName = QStringLiteral("Пет") + QChar(0) + QStringLiteral("ров");
    }

    HistoryRecorder recorder(queuePath);
    QSignalSpy aside(&recorder, &HistoryRecorder::setAside);
    recorder.setConfig(queued ? unreachable(config, dir) : config);
    for (const HistoryRecord &r : qAsConst(events))
        recorder.record(r);
    if (queued) {
        QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 3, 20000);
        recorder.setConfig(config);
    }
    QTRY_COMPARE_WITH_TIMEOUT(eventCount(config), nul ? QStringLiteral("3") : QStringLiteral("2"), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 0, 20000);
    QTRY_VERIFY(!QFile::exists(queuePath));
    QTRY_COMPARE(aside.count(), nul ? 0 : 1);   // told from the writer's thread
    QCOMPARE(QFile::exists(queuePath + QStringLiteral(".refused")), !nul);
    if (nul) {
        // Kept as the symbol for NUL, the same on both engines.
        QCOMPARE(historyRawExec(config, {QStringLiteral("SELECT operator_name FROM events WHERE serial = '0'")}),
                 QStringLiteral("Пет\u2400ров"));
        return;
    }
    QCOMPARE(aside.first().at(2).toString(), queuePath + QStringLiteral(".refused"));
    QVERIFY2(aside.first().at(1).toString().contains(QStringLiteral("refuse")), qPrintable(aside.first().at(1).toString()));
    QFile f(queuePath + QStringLiteral(".refused"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    const QJsonObject o = QJsonDocument::fromJson(lines[0]).object();
    QVERIFY(o[QStringLiteral("reason")].toString().contains(QStringLiteral("refuse")));
    HistoryRecord back;
    QVERIFY(HistoryJson::fromJson(o[QStringLiteral("record")].toObject(), &back));
    QCOMPARE(back.device().serial, QStringLiteral("refuse-me"));
}

// Another PC's newer Tesmar brings the schema forward under a running
// session: the next event is not written into that database but waits,
// with the reason; it goes in when the database is one this version knows.
void TestHistoryQueue::schemaMovedOnWhileRunning()
{
    HISTORY_FRESH_CONFIG(config);
    {
        HistoryStore make(QStringLiteral("make"));
        QCOMPARE(int(make.open(config)), int(HistoryStore::Status::Open));
    }
    QTemporaryDir dir;
    HistoryRecorder recorder(dir.filePath(QStringLiteral("q.jsonl")));
    recorder.setConfig(config);
    recorder.record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("1"), QDateTime::currentDateTimeUtc())));
    QTRY_COMPARE_WITH_TIMEOUT(eventCount(config), QStringLiteral("1"), 20000);

    const QString bump = QStringLiteral("UPDATE schema_version SET version = %1");
    historyRawExec(config, {bump.arg(HistoryStore::SchemaVersion + 1)});
    recorder.record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("2"), QDateTime::currentDateTimeUtc())));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 1, 20000);
    QVERIFY2(recorder.problem().contains(QStringLiteral("более новой версией")), qPrintable(recorder.problem()));
    QCOMPARE(eventCount(config), QStringLiteral("1"));

    historyRawExec(config, {bump.arg(HistoryStore::SchemaVersion)});
    recorder.retryNow();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.pending(), 0, 20000);
    QCOMPARE(eventCount(config), QStringLiteral("2"));
}

void TestHistoryQueue::pendingText_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << QString();
    QTest::newRow("1") << 1 << QStringLiteral("История: 1 запись ждет базы");
    QTest::newRow("3") << 3 << QStringLiteral("История: 3 записи ждут базы");
    QTest::newRow("5") << 5 << QStringLiteral("История: 5 записей ждут базы");
    QTest::newRow("11") << 11 << QStringLiteral("История: 11 записей ждут базы");
    QTest::newRow("14") << 14 << QStringLiteral("История: 14 записей ждут базы");
    QTest::newRow("21") << 21 << QStringLiteral("История: 21 запись ждет базы");
    QTest::newRow("102") << 102 << QStringLiteral("История: 102 записи ждут базы");
}

void TestHistoryQueue::pendingText()
{
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(HistoryRecorder::pendingText(count), text);
}

QTEST_GUILESS_MAIN(TestHistoryQueue)
#include "tst_historyqueue.moc"
