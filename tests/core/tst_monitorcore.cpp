// The monitor's core: the bounded stores, the trend store's long-session
// history and plot points, the stability rule and its settings, the CSV.

#include "monitor/linestatisticsrows.h"
#include "monitor/monitorsettings.h"
#include "monitor/ringbuffer.h"
#include "monitor/rotatinglogfile.h"
#include "monitor/stability.h"
#include "monitor/trafficlog.h"
#include "monitor/trendcsv.h"
#include "monitor/trendstore.h"
#include "devicedata/safesave.h"

#include <QSettings>
#include <QtTest>
#include <sys/stat.h>
#include <cmath>
#include <limits>

namespace {

void addValue(TrendStore &store, int address, qint64 ms, float v)
{
    const float values[TrendQuantityCount] = {4.0f, v, 2 * v, 0, 0};
    store.add(address, ms, values);
}

QVector<float> lastValues(const RingBuffer<int> &r)
{
    QVector<float> out;
    for (std::size_t i = 0; i < r.size(); ++i)
        out.append(float(r.at(i)));
    return out;
}

} // namespace

class TestMonitorCore : public QObject
{
    Q_OBJECT
private slots:
    void ringKeepsTheNewest_data();
    void ringKeepsTheNewest();
    void storeStaysBoundedOverAShift();
    void windowsSeeEveryRecentAnswer();
    void plotPointsKeepExtremesAndStayBounded();
    void plotLinesBreakAtGaps_data();
    void plotLinesBreakAtGaps();
    void stability_data();
    void stability();
    void staleAndAllStable();
    void thresholdText_data();
    void thresholdText();
    void settingsRoundTripAndRefuseJunk();
    void csvHoldsTheShownAnswers();
    void rotatingFileKeepsBoundsAndOrder_data();
    void rotatingFileKeepsBoundsAndOrder();
    void rotatingFileFailuresAreReported();
    void trafficLogIsBounded();
    void trafficLines_data();
    void trafficLines();
    void statisticsRows();
};

void TestMonitorCore::ringKeepsTheNewest_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("pushed");
    QTest::addColumn<int>("shrinkTo");      // -1: no change

    QTest::newRow("below capacity") << 10 << 7 << -1;
    QTest::newRow("exactly full") << 10 << 10 << -1;
    QTest::newRow("wrapped many times") << 10 << 1234 << -1;
    QTest::newRow("capacity one") << 1 << 5 << -1;
    QTest::newRow("capacity zero keeps nothing") << 0 << 5 << -1;
    QTest::newRow("shrunk after wrap") << 16 << 40 << 5;
    QTest::newRow("grown after wrap") << 4 << 9 << 12;
}

void TestMonitorCore::ringKeepsTheNewest()
{
    QFETCH(int, capacity);
    QFETCH(int, pushed);
    QFETCH(int, shrinkTo);
    RingBuffer<int> r{std::size_t(capacity)};
    for (int i = 0; i < pushed; ++i)
        r.push(i);
    int cap = capacity;
    if (shrinkTo >= 0) {
        r.setCapacity(std::size_t(shrinkTo));
        cap = shrinkTo;
    }
    const int kept = qMin(cap, qMin(capacity, pushed));
    QCOMPARE(int(r.size()), kept);
    QVector<float> want;
    for (int i = pushed - kept; i < pushed; ++i)
        want.append(float(i));
    QCOMPARE(lastValues(r), want);
    // Storage never passes the capacity.
    QVERIFY(r.bytesReserved() <= std::size_t(qMax(cap, capacity)) * sizeof(int));
    // After growing, pushing goes on in order.
    r.push(-1);
    if (cap > 0)
        QCOMPARE(r.back(), -1);
}

void TestMonitorCore::storeStaysBoundedOverAShift()
{
    // Eight hours of one device answering every 300 ms, and a second device
    // answering a tenth as often.
    TrendStore store(512, 256);
    const qint64 t0 = 1700000000000;
    qint64 t = t0;
    const int answers = 8 * 3600 * 1000 / 300;
    for (int i = 0; i < answers; ++i, t += 300) {
        addValue(store, 3, t, float(i % 100));
        if (i % 10 == 0)
            addValue(store, 7, t, 1.0f);
    }
    const TrendSeries *s = store.series(3);
    QCOMPARE(s->answers(), qint64(answers));
    QCOMPARE(int(s->recent().size()), 512);
    QVERIFY(s->historySize() <= 256);
    QVERIFY(s->historySize() >= 128);
    QVERIFY(s->historyStride() >= answers / 256);
    // Bounded: the ring and the history, nothing that grows with the shift.
    QVERIFY(store.bytesReserved() <= 16 * (512 + 256) * sizeof(TrendSample));

    // The whole session is still covered: the oldest point is near the start.
    QVERIFY(store.firstMs({3}) - t0 < qint64(s->historyStride()) * 300);
    QVector<double> x, y;
    store.plotPoints(3, TrendQuantity::Var1, t0, t, 400, &x, &y);
    QVERIFY(!x.isEmpty());
    QVERIFY(x.first() * 1000 - t0 < 8 * 3600 * 1000 / 100);
    QVERIFY(t - x.last() * 1000 <= 8 * 3600 * 1000 / 400 + 300);   // within the last bucket
    // Bucket means of 0..99 saw-tooth stay within its range.
    for (double v : y)
        QVERIFY(v >= 0 && v <= 99);
    // x is in time order: the plot takes it as sorted.
    QVERIFY(std::is_sorted(x.begin(), x.end()));

    store.clear();
    QVERIFY(!store.hasOrigin());
    QCOMPARE(store.series(3)->answers(), qint64(0));
    QCOMPARE(store.bytesReserved(), std::size_t(0));
}

void TestMonitorCore::windowsSeeEveryRecentAnswer()
{
    TrendStore store(100, 64);
    const qint64 t0 = 5000;
    for (int i = 0; i < 1000; ++i)
        addValue(store, 1, t0 + i * 10, float(i));
    // The last 100 answers at full resolution.
    int n = 0;
    float last = -1;
    bool ordered = true;
    store.series(1)->forEach(store.toStoreMs(t0 + 900 * 10), store.toStoreMs(t0 + 999 * 10),
                             [&](const TrendSample &s) {
                                 ordered = ordered && s.value(TrendQuantity::Var1) > last;
                                 last = s.value(TrendQuantity::Var1);
                                 ++n;
                             });
    QCOMPARE(n, 100);
    QVERIFY(ordered);
    QCOMPARE(last, 999.0f);
    // Outside 0..15 nothing is stored or returned.
    addValue(store, 16, t0, 1);
    addValue(store, -1, t0, 1);
    QVERIFY(!store.series(16));
    QVector<double> x, y;
    store.plotPoints(42, TrendQuantity::Var1, 0, t0 + 10000, 10, &x, &y);
    QVERIFY(x.isEmpty());
}

void TestMonitorCore::plotPointsKeepExtremesAndStayBounded()
{
    // Every answer still at full resolution.
    TrendStore store(4096, 4096);
    const qint64 t0 = 0;
    for (int i = 0; i < 4000; ++i) {
        float v = float(i % 7);
        if (i == 1234)
            v = 500;        // a spike must survive
        if (i == 2345)
            v = -500;
        addValue(store, 2, t0 + i, v);
    }
    QVector<double> x, y;
    const int buckets = 50;
    store.plotPoints(2, TrendQuantity::Var1, t0, t0 + 3999, buckets, &x, &y);
    QVERIFY(x.size() <= 2 * buckets);
    QCOMPARE(*std::max_element(y.begin(), y.end()), 500.0);
    QCOMPARE(*std::min_element(y.begin(), y.end()), -500.0);
    QVERIFY(std::is_sorted(x.begin(), x.end()));
    // The second quantity is the same answers' other variable.
    store.plotPoints(2, TrendQuantity::Var2, t0, t0 + 3999, buckets, &x, &y);
    QCOMPARE(*std::max_element(y.begin(), y.end()), 1000.0);
}

void TestMonitorCore::plotLinesBreakAtGaps_data()
{
    QTest::addColumn<QVector<int>>("times");     // ms of the answers
    QTest::addColumn<int>("recent");             // the store's full-resolution ring
    QTest::addColumn<qint64>("gapMs");
    QTest::addColumn<int>("breaks");

    const QVector<int> steady = {0, 300, 600, 900, 1200};
    const QVector<int> stopped = {0, 300, 600, 5600, 5900, 6200};
    QTest::newRow("steady answers") << steady << 64 << qint64(2000) << 0;
    QTest::newRow("a stop longer than the gap") << stopped << 64 << qint64(2000) << 1;
    QTest::newRow("a stop shorter than the gap") << stopped << 64 << qint64(6000) << 0;
    QTest::newRow("no gap asked") << stopped << 64 << qint64(0) << 0;
    QTest::newRow("two stops") << QVector<int>{0, 300, 4000, 4300, 9000} << 64 << qint64(2000) << 2;
    // Older answers kept as bucket means lie further apart than answers:
    // that alone breaks nothing.
    QVector<int> long_;
    for (int i = 0; i < 200; ++i)
        long_.append(i * 300);
    QTest::newRow("history buckets") << long_ << 16 << qint64(700) << 0;
}

void TestMonitorCore::plotLinesBreakAtGaps()
{
    QFETCH(QVector<int>, times);
    QFETCH(int, recent);
    QFETCH(qint64, gapMs);
    QFETCH(int, breaks);
    TrendStore store(std::size_t(recent), 64);
    for (int t : times)
        addValue(store, 3, 10000 + t, 1.0f);
    QVector<double> x, y;
    store.plotPoints(3, TrendQuantity::Var1, 10000, 10000 + times.last(), 1000, &x, &y, gapMs);
    QCOMPARE(int(std::count_if(y.begin(), y.end(), [](double v) { return std::isnan(v); })), breaks);
    QVERIFY(std::is_sorted(x.begin(), x.end()));
    QVERIFY(!std::isnan(y.first()) && !std::isnan(y.last()));
}

void TestMonitorCore::stability_data()
{
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<int>("state");
    QTest::addColumn<double>("spread");

    const int collecting = int(StabilityState::Collecting);
    const int stable = int(StabilityState::Stable);
    const int unstable = int(StabilityState::Unstable);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();

    QTest::newRow("fewer than N") << QVector<float>{1, 1} << 3 << 1.0 << collecting << 0.0;
    QTest::newRow("flat, zero threshold") << QVector<float>{2, 2, 2} << 3 << 0.0 << stable << 0.0;
    QTest::newRow("spread equal to threshold")
        << QVector<float>{10, 10.5f, 10.25f} << 3 << 0.5 << stable << 0.5;
    QTest::newRow("spread above threshold")
        << QVector<float>{10, 10.75f, 10.25f} << 3 << 0.5 << unstable << 0.75;
    QTest::newRow("only the last N count")
        << QVector<float>{0, 100, 5, 5.1f, 5.05f} << 3 << 0.2 << stable << double(5.1f - 5.0f);
    QTest::newRow("old outlier still inside N")
        << QVector<float>{100, 5, 5.1f} << 3 << 0.2 << unstable << double(100.0f - 5.0f);
    QTest::newRow("negative values") << QVector<float>{-3, -3.5f, -3.25f} << 3 << 0.5 << stable << 0.5;
    QTest::newRow("a NaN is never stable") << QVector<float>{1, nan, 1} << 3 << 1e9 << unstable << -1.0;
    QTest::newRow("an infinity is never stable") << QVector<float>{inf, inf, inf} << 3 << 1e9 << unstable << -1.0;
    QTest::newRow("invalid threshold is never stable")
        << QVector<float>{1, 1, 1} << 3 << -1.0 << unstable << 0.0;
}

void TestMonitorCore::stability()
{
    QFETCH(QVector<float>, values);
    QFETCH(int, count);
    QFETCH(double, threshold);
    QFETCH(int, state);
    QFETCH(double, spread);

    TrendStore store;
    qint64 t = 1000;
    for (float v : values)
        addValue(store, 4, t += 100, v);
    StabilityRule rule;
    rule.count = count;
    rule.threshold = threshold;
    const StabilityVerdict v = Stability::judge(store.series(4), TrendQuantity::Var1, rule,
                                                store.toStoreMs(t), 5000);
    QCOMPARE(int(v.state), state);
    QCOMPARE(v.answers, qMin(count, values.size()));
    if (spread < 0)
        QVERIFY(std::isnan(v.spread));
    else
        QCOMPARE(v.spread, spread);
    // The mark beside the row says which: a tick only when stable.
    QCOMPARE(Stability::markText(v).startsWith(QStringLiteral("✓")), v.isStable());
}

void TestMonitorCore::staleAndAllStable()
{
    TrendStore store;
    for (int i = 0; i < 5; ++i) {
        addValue(store, 1, 1000 + i * 300, 7);
        addValue(store, 2, 1000 + i * 300, 7);
    }
    StabilityRule rule;
    rule.count = 5;
    rule.threshold = 0.1;
    const qint64 stale = StabilityRule::staleAfterMs(2, 300, 1000, 2);
    QCOMPARE(stale, qint64(3 * 600 + 2000));
    QCOMPARE(StabilityRule::staleAfterMs(1, 0, 0, 0), qint64(2000));     // never below 2 s
    const qint32 last = store.toStoreMs(1000 + 4 * 300);

    auto judge = [&](int address, qint32 now) {
        return Stability::judge(store.series(address), TrendQuantity::Var1, rule, now, stale);
    };
    QVERIFY(judge(1, last + qint32(stale)).isStable());
    QCOMPARE(judge(1, last + qint32(stale) + 1).state, StabilityState::Stale);
    QCOMPARE(judge(9, last).state, StabilityState::NoData);

    QVERIFY(Stability::allStable({judge(1, last), judge(2, last)}));
    QVERIFY(!Stability::allStable({judge(1, last), judge(9, last)}));
    QVERIFY(!Stability::allStable({}));     // nothing checked is not "stable"

    // Only answers taken since a stop or a reconnect are judged.
    auto since = [&](qint32 from) {
        return Stability::judge(store.series(1), TrendQuantity::Var1, rule, last, stale, from);
    };
    QCOMPARE(since(last + 1).state, StabilityState::NoData);
    const StabilityVerdict two = since(store.toStoreMs(1000 + 3 * 300));
    QCOMPARE(two.state, StabilityState::Collecting);
    QCOMPARE(two.answers, 2);
    QVERIFY(since(store.toStoreMs(1000)).isStable());
}

void TestMonitorCore::thresholdText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("point") << "0.05" << true << 0.05;
    QTest::newRow("comma") << "0,05" << true << 0.05;
    QTest::newRow("blanks around") << "  1.5 " << true << 1.5;
    QTest::newRow("exponent") << "2e-3" << true << 0.002;
    QTest::newRow("zero") << "0" << true << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("trailing junk") << "0.5x" << false << 0.0;
    QTest::newRow("two separators") << "1.2,3" << false << 0.0;
    QTest::newRow("negative") << "-0.1" << false << 0.0;
    QTest::newRow("infinity") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
}

void TestMonitorCore::thresholdText()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    double v = -42;
    QString why;
    QCOMPARE(StabilityRule::parseThreshold(text, &v, &why), ok);
    if (ok) {
        QCOMPARE(v, value);
    } else {
        QCOMPARE(v, -42.0);     // untouched
        QVERIFY(!why.isEmpty());
    }
}

void TestMonitorCore::settingsRoundTripAndRefuseJunk()
{
    QTemporaryDir dir;
    QSettings s(dir.filePath(QStringLiteral("m.ini")), QSettings::IniFormat);
    MonitorSettings m;
    m.quantity = TrendQuantity::Var3;
    m.windowIndex = 8;
    m.stableCount = 25;
    m.setThreshold(TrendQuantity::Var3, false, 0.25);
    m.setThreshold(TrendQuantity::Var3, true, 4.5);
    m.trafficFile = QStringLiteral("/tmp/x.log");
    m.rotateKb = 64;
    m.save(s);
    const MonitorSettings back = MonitorSettings::load(s);
    QCOMPARE(back.quantity, TrendQuantity::Var3);
    QCOMPARE(back.windowMinutes(), 0);
    QCOMPARE(back.rule(TrendQuantity::Var3, false).count, 25);
    QCOMPARE(back.rule(TrendQuantity::Var3, false).threshold, 0.25);
    QCOMPARE(back.rule(TrendQuantity::Var3, true).threshold, 4.5);
    QCOMPARE(back.trafficFile, QStringLiteral("/tmp/x.log"));
    QCOMPARE(back.rotateKb, 64);

    // A hand-edited store: every value out of range falls back to its default.
    const MonitorSettings defaults;
    s.setValue(QStringLiteral("/Monitor/Quantity"), 9);
    s.setValue(QStringLiteral("/Monitor/Window"), QStringLiteral("x"));
    s.setValue(QStringLiteral("/Monitor/StableCount"), 1);
    s.setValue(QStringLiteral("/Monitor/Threshold_3"), -1);
    s.setValue(QStringLiteral("/Monitor/ThresholdCapacitor_3"), QStringLiteral("nan"));
    s.setValue(QStringLiteral("/Monitor/TrafficRotateKb"), 1);
    const MonitorSettings junk = MonitorSettings::load(s);
    QCOMPARE(junk.quantity, defaults.quantity);
    QCOMPARE(junk.windowIndex, defaults.windowIndex);
    QCOMPARE(junk.stableCount, defaults.stableCount);
    QCOMPARE(junk.threshold[3], defaults.threshold[3]);
    QCOMPARE(junk.thresholdCapacitor[3], defaults.thresholdCapacitor[3]);
    QCOMPARE(junk.rotateKb, defaults.rotateKb);
}

void TestMonitorCore::csvHoldsTheShownAnswers()
{
    TrendStore store;
    const qint64 t0 = QDateTime(QDate(2024, 3, 5), QTime(10, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < 10; ++i) {
        addValue(store, 1, t0 + i * 1000, 1.5f + i);
        addValue(store, 2, t0 + i * 1000 + 500, -0.25f);
    }
    const QByteArray csv = TrendCsv::text(store, {{QStringLiteral("1: 01"), 1}, {QStringLiteral("a, \"b\""), 2}},
                                          TrendQuantity::Var1, QStringLiteral("U1, мВ"), t0 + 2000,
                                          t0 + 4500, 0);
    const QList<QByteArray> lines = csv.trimmed().split('\n');
    QCOMPARE(lines.size(), 1 + 3 + 3);
    QCOMPARE(QString::fromUtf8(lines[0]), QStringLiteral("Время,Секунды,Серия,Адрес,\"U1, мВ\""));
    QCOMPARE(lines[1], QByteArray("2024-03-05 10:00:02.000,0.000,1: 01,01,3.5"));
    QCOMPARE(lines[2], QByteArray("2024-03-05 10:00:02.500,0.500,\"a, \"\"b\"\"\",02,-0.25"));
    QCOMPARE(lines[6], QByteArray("2024-03-05 10:00:04.500,2.500,\"a, \"\"b\"\"\",02,-0.25"));

    // Saved whole, or refused with a reason.
    QTemporaryDir dir;
    QVERIFY(SafeSave::write(dir.filePath(QStringLiteral("t.csv")), csv, false).ok);
    QFile f(dir.filePath(QStringLiteral("t.csv")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), csv);
    QVERIFY(!SafeSave::write(dir.filePath(QStringLiteral("no/such/dir/t.csv")), csv, false).error.isEmpty());
}

void TestMonitorCore::rotatingFileKeepsBoundsAndOrder_data()
{
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("existing");   // in the file before it is opened

    QTest::newRow("no rotation") << 4096 << 50 << QByteArray();
    QTest::newRow("one rotation") << 1024 << 60 << QByteArray();
    QTest::newRow("oldest files dropped") << 1024 << 400 << QByteArray();
    QTest::newRow("appends to an existing file") << 4096 << 10 << QByteArray("earlier\n");
    QTest::newRow("existing file already full") << 1024 << 5 << QByteArray(2000, 'x') + '\n';
}

void TestMonitorCore::rotatingFileKeepsBoundsAndOrder()
{
    QFETCH(int, maxBytes);
    QFETCH(int, lines);
    QFETCH(QByteArray, existing);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    if (!existing.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(existing);
    }
    RotatingLogFile log;
    QString error;
    QVERIFY2(log.open(path, maxBytes, &error), qPrintable(error));
    for (int i = 0; i < lines; ++i) {
        const QByteArray line = QByteArray("line ") + QByteArray::number(i).rightJustified(4, '0')
                              + QByteArray(15, '.');
        QVERIFY2(log.writeLine(line, &error), qPrintable(error));
        // Flushed line by line: the file holds the line before the next write.
        QFile current(path);
        QVERIFY(current.open(QIODevice::ReadOnly));
        QVERIFY(current.readAll().endsWith(line + '\n'));
    }

    // Oldest first: rotated files from the last kept back to .1, then the
    // current one. None is over the limit, unless it is the file as found.
    QByteArray all;
    int files = 0;
    for (int k = RotatingLogFile::KeptFiles; k >= 0; --k) {
        const QString name = k ? RotatingLogFile::rotatedName(path, k) : path;
        QFile f(name);
        if (!f.exists())
            continue;
        ++files;
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        if (content != existing)
            QVERIFY2(content.size() <= maxBytes, qPrintable(name));
        all += content;
    }
    QVERIFY(!QFile::exists(RotatingLogFile::rotatedName(path, RotatingLogFile::KeptFiles + 1)));
    QVERIFY(files <= RotatingLogFile::KeptFiles + 1);
    QList<QByteArray> got = all.split('\n');
    got.removeLast();
    if (!existing.isEmpty() && all.startsWith(existing)) {
        QCOMPARE(got.first(), existing.trimmed());
        got.removeFirst();
    }
    // What is kept is the newest lines, in order, none lost between files.
    QVERIFY(!got.isEmpty());
    QVERIFY(got.last().startsWith(QByteArray("line ") + QByteArray::number(lines - 1).rightJustified(4, '0')));
    const int first = got.first().mid(5, 4).toInt();
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i].mid(5, 4).toInt(), first + i);
    if (log.rotations() <= RotatingLogFile::KeptFiles)
        QCOMPARE(first, 0);
}

void TestMonitorCore::rotatingFileFailuresAreReported()
{
    QTemporaryDir dir;
    RotatingLogFile log;
    QString error;
    // A folder, a missing folder, a pipe nobody reads (opening it would
    // wait for a reader), a device.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &bad : {dir.path(), dir.filePath(QStringLiteral("no/such/dir/t.log")), fifo,
                               QStringLiteral("/dev/null")}) {
        error.clear();
        QVERIFY2(!log.open(bad, 4096, &error), qPrintable(bad));
        QVERIFY(!error.isEmpty());
        QVERIFY(!log.isOpen());
    }
    QVERIFY(!log.writeLine("x", &error));

    // The rotation cannot move the file away: the stream closes with a reason.
    const QString path = dir.filePath(QStringLiteral("t.log"));
    QVERIFY(QDir(dir.path()).mkpath(RotatingLogFile::rotatedName(path, 1) + QStringLiteral("/keep")));
    QVERIFY(QDir(dir.path()).mkpath(RotatingLogFile::rotatedName(path, 2) + QStringLiteral("/keep")));
    QVERIFY(QDir(dir.path()).mkpath(RotatingLogFile::rotatedName(path, 3) + QStringLiteral("/keep")));
    QVERIFY(log.open(path, 1024, &error));
    bool failed = false;
    for (int i = 0; i < 200 && !failed; ++i)
        failed = !log.writeLine(QByteArray(40, 'a'), &error);
    QVERIFY(failed);
    QVERIFY(!error.isEmpty());
    QVERIFY(!log.isOpen());
}

void TestMonitorCore::trafficLogIsBounded()
{
    TrafficLog log;
    QCOMPARE(log.capacity(), TrafficLog::DefaultCapacity);
    const int n = int(TrafficLog::DefaultCapacity) * 5 / 2;
    for (int i = 0; i < n; ++i) {
        LinkTrafficEvent e;
        e.msecsSinceEpoch = i;
        e.address = i % 4;
        e.bytes = QByteArray(20, char(i));
        log.append(e);
    }
    QCOMPARE(log.size(), TrafficLog::DefaultCapacity);
    QCOMPARE(log.total(), qint64(n));
    // The newest kept, oldest first.
    const QVector<LinkTrafficEvent> all = log.events(-1);
    QCOMPARE(all.size(), int(TrafficLog::DefaultCapacity));
    QCOMPARE(all.first().msecsSinceEpoch, qint64(n - int(TrafficLog::DefaultCapacity)));
    QCOMPARE(all.last().msecsSinceEpoch, qint64(n - 1));
    const QVector<LinkTrafficEvent> two = log.events(2);
    QCOMPARE(two.size(), int(TrafficLog::DefaultCapacity) / 4);
    for (const LinkTrafficEvent &e : two)
        QCOMPARE(e.address, 2);
    log.clear();
    QCOMPARE(log.size(), std::size_t(0));
    QCOMPARE(log.total(), qint64(n));       // what was seen stays counted
}

void TestMonitorCore::trafficLines_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fields");    // after the time

    QTest::newRow("request") << int(LinkTrafficEvent::Tx) << int(LinkTrafficEvent::Good) << 5 << 3 << 0
                             << QByteArray::fromHex("ffff0285038e") << "TX\t05\t3\t0\tок\t\tff ff 02 85 03 8e";
    QTest::newRow("bad answer") << int(LinkTrafficEvent::Rx) << int(LinkTrafficEvent::ChecksumError) << 10
                                << 51 << 4 << QByteArray::fromHex("0686") << "RX\t0a\t51\t4\tошибка КС\t\t06 86";
    QTest::newRow("time-out") << int(LinkTrafficEvent::Rx) << int(LinkTrafficEvent::Timeout) << 1 << 3 << -1
                              << QByteArray() << "RX\t01\t3\t\tтаймаут\t\t";
    QTest::newRow("unknown stray") << int(LinkTrafficEvent::Rx) << int(LinkTrafficEvent::Discarded) << -1
                                   << -1 << -1 << QByteArray::fromHex("00") << "RX\t\t\t\tотброшен\t\t00";
    // A refusal credited as the answer: both status bytes said in words.
    QTest::newRow("refused answer") << int(LinkTrafficEvent::Rx) << int(LinkTrafficEvent::Good) << 1 << 91 << 0
                                    << QByteArray::fromHex("ffffff02015b000740") + QByteArray(1, char(0x02 ^ 0x01 ^ 0x5b ^ 0x07 ^ 0x40))
                                    << QStringLiteral("RX\t01\t91\t0\tок\tстатус 1: 7 (запрет записи); статус 2: 0x40 "
                                                      "(конфигурация изменена)\tff ff ff 02 01 5b 00 07 40 1f");
}

void TestMonitorCore::trafficLines()
{
    QFETCH(int, direction);
    QFETCH(int, verdict);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, byteCount);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fields);
    LinkTrafficEvent e;
    e.msecsSinceEpoch = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678)).toMSecsSinceEpoch();
    e.direction = LinkTrafficEvent::Direction(direction);
    e.verdict = LinkTrafficEvent::Verdict(verdict);
    e.address = address;
    e.command = command;
    e.byteCount = byteCount;
    e.bytes = bytes;
    QCOMPARE(QString::fromUtf8(TrafficLog::line(e)), QStringLiteral("2024-01-02 03:04:05.678\t") + fields);
    QCOMPARE(TrafficLog::heading().count('\t'), TrafficLog::line(e).count('\t'));
}

void TestMonitorCore::statisticsRows()
{
    LinkStatistics stats;
    QCOMPARE(LineStatisticsRows::rows(stats).size(), 1);      // totals only
    stats.slot(1).requestsSent = 4;
    stats.countResponse(1, 12000, true);
    stats.countResponse(1, 30000, false);
    stats.slot(1).timeouts = 2;
    stats.slot(7).requestsSent = 3;
    stats.slot(7).timeouts = 3;
    stats.countDiscard(9, LinkStatistics::OtherAddress, true);
    stats.countDiscard(0x23, LinkStatistics::NobodyWaiting, false);
    stats.countStatus(1, 8, 0);
    stats.countStatus(1, 7, 0x40);
    stats.slot(7).lateAnswers = 1;
    const QVector<QStringList> rows = LineStatisticsRows::rows(stats);
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[0], (QStringList{"01", "4", "2", "2", "1", "0", "21.0", "30.0", "1 / 1", "0",
                                   "статус 1: 7 (запрет записи); статус 2: 0x40 (конфигурация изменена)"}));
    QCOMPARE(rows[1], (QStringList{"07", "3", "0", "3", "0", "0", "—", "—", "0 / 0", "1", "—"}));
    QCOMPARE(rows[2], (QStringList{"09", "0", "0", "0", "0", "1", "—", "—", "0 / 0", "0", "—"}));
    QCOMPARE(rows[3], (QStringList{"прочие", "0", "0", "0", "1", "1", "—", "—", "0 / 0", "0", "—"}));
    QCOMPARE(rows[4], (QStringList{"Всего", "7", "2", "5", "2", "2", "21.0", "30.0", "1 / 1", "1", "—"}));
    QCOMPARE(LineStatisticsRows::headers().size(), int(LineStatisticsRows::ColumnCount));
    QVERIFY(LineStatisticsRows::discardSummary(stats).contains(QStringLiteral("от другого адреса 1")));
}

QTEST_GUILESS_MAIN(TestMonitorCore)
#include "tst_monitorcore.moc"
