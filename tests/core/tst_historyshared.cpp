// Several PCs writing to one history database at once: two processes (this
// test program started again as a writer) open the same new database at
// the same moment, build its schema and write their events side by side;
// afterwards every event of each is there once, whole, with its own values.
// On PostgreSQL that is a lab's shared database; on SQLite two Tesmar
// windows without a profile sharing the file of one PC.

#include "common/historyrig.h"

#include "history/historystore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

constexpr int EventsPerWriter = 250;

QByteArray configJson(const HistoryConfig &c)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("engine"), int(c.engine)},
                                     {QStringLiteral("path"), c.sqlitePath},
                                     {QStringLiteral("host"), c.host},
                                     {QStringLiteral("port"), c.port},
                                     {QStringLiteral("database"), c.database},
                                     {QStringLiteral("user"), c.user}})
        .toJson(QJsonDocument::Compact);
}

HistoryConfig configFrom(const QByteArray &json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    HistoryConfig c;
    c.engine = HistoryConfig::Engine(o[QStringLiteral("engine")].toInt());
    c.sqlitePath = o[QStringLiteral("path")].toString();
    c.host = o[QStringLiteral("host")].toString();
    c.port = o[QStringLiteral("port")].toInt();
    c.database = o[QStringLiteral("database")].toString();
    c.user = o[QStringLiteral("user")].toString();
    return c;
}

// The event number i of writer w: everything in it says whose it is.
HistoryRecord writerEvent(const QString &writer, int i)
{
    const QDateTime when = QDateTime(QDate(2026, 6, 1), QTime(0, 0), Qt::UTC).addSecs(i);
    HistoryRecord r = HistoryRecord::of(HistorySamples::calculation(QStringLiteral("%1-%2").arg(writer).arg(i), when,
                                                                    i + (writer == QLatin1String("B") ? 0.5 : 0.25)));
    r.uid = QStringLiteral("%1-%2").arg(writer).arg(i);
    r.context().port = writer;
    r.calculation.coefficients.append({writer, double(i)});
    return r;
}

// The writer process: every event in a transaction of its own, as the
// window writes them.
int runWriter(const QByteArray &json, const QString &writer)
{
    HistoryStore store(QStringLiteral("writer"));
    if (store.open(configFrom(json)) != HistoryStore::Status::Open) {
        std::fprintf(stderr, "writer %s: %s\n", qPrintable(writer), qPrintable(store.error()));
        return 1;
    }
    for (int i = 0; i < EventsPerWriter; ++i) {
        if (!store.write(writerEvent(writer, i))) {
            std::fprintf(stderr, "writer %s, event %d: %s\n", qPrintable(writer), i, qPrintable(store.error()));
            return 1;
        }
    }
    return 0;
}

} // namespace

class TestHistoryShared : public QObject
{
    Q_OBJECT
private slots:
    void twoWritersAtOnce_data() { HistoryEngines::addColumn(); HistoryEngines::addRows("two writers"); }
    void twoWritersAtOnce();
};

void TestHistoryShared::twoWritersAtOnce()
{
    HISTORY_FRESH_CONFIG(config);
    QProcess a, b;
    for (QProcess *p : {&a, &b})
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString self = QCoreApplication::applicationFilePath();
    a.start(self, {QStringLiteral("--history-writer"), QString::fromUtf8(configJson(config)), QStringLiteral("A")});
    b.start(self, {QStringLiteral("--history-writer"), QString::fromUtf8(configJson(config)), QStringLiteral("B")});
    for (QProcess *p : {&a, &b}) {
        QVERIFY(p->waitForFinished(240000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
    }

    HistoryStore store(QStringLiteral("check"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    HistoryFilter all;
    all.limit = 100000;
    QCOMPARE(store.search(all).size(), 2 * EventsPerWriter);
    for (const QString writer : {QStringLiteral("A"), QStringLiteral("B")}) {
        for (int i = 0; i < EventsPerWriter; ++i) {
            const HistoryRecord want = writerEvent(writer, i);
            HistoryRecord got;
            QVERIFY2(store.load(want.uid, &got), qPrintable(store.error()));
            QCOMPARE(got.device().serial, want.device().serial);
            QCOMPARE(got.context().port, writer);
            QCOMPARE(got.context().when, want.context().when);
            QCOMPARE(got.calculation.zero, want.calculation.zero);
            QCOMPARE(got.calculation.coefficients, want.calculation.coefficients);
            QCOMPARE(got.calculation.files, want.calculation.files);
        }
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--history-writer"))
        return runWriter(args[2].toUtf8(), args[3]);
    TestHistoryShared test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historyshared.moc"
