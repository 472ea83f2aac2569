// The line statistics and the traffic log of the main window against
// virtual transmitters that misbehave on purpose: the table shows exactly
// what the line did, the log shows every frame and time-out, pauses,
// filters, saves, and streams to a file rotated at the size set.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "console/consoleformat.h"
#include "link/protocolcomhart.h"
#include "monitor/linemonitor.h"
#include "monitor/linestatisticsrows.h"
#include "monitor/linestatsview.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficlogview.h"
#include "sim/virtualline.h"

#include "common/files.h"
#include "common/sandbox.h"
#include "pollingrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {

struct Rig : PollingRig
{
    QString savePath;
    int framesSent = 0;         // by the line, answers and strays
    int framesReceived = 0;     // judged by the link, whatever the verdict

    bool start(std::initializer_list<int> devices, int repeats = 2)
    {
        if (!open(devices, repeats))
            return false;
        QObject::connect(&line, &sim::VirtualLine::answerSent, [this] { ++framesSent; });
        QObject::connect(w->hartLink(), &protocolComHart::traffic, [this](const LinkTrafficEvent &e) {
            framesReceived += e.direction == LinkTrafficEvent::Rx && !e.bytes.isEmpty();
        });
        m()->dialogs.saveFile = [this](const QString &, const QString &, const QString &) {
            return savePath;
        };
        int i = 0;
        for (int a : devices)
            channel(i++, a);
        w->show();
        return QTest::qWaitForWindowExposed(w.get());
    }

    LineMonitor *m() const { return w->lineMonitor(); }
    LineStatsView *stats() const { return m()->stats; }
    TrafficLogView *log() const { return m()->log; }

    bool passes(int n)
    {
        // Frames still on their way after the pass (a duplicate, a stray)
        // are in and judged.
        return PollingRig::passes(n) && QTest::qWaitFor([this] {
            return !line.isTransmitting() && framesReceived == framesSent;
        }, 3000);
    }

    // The statistics row of an address as the table shows it.
    QStringList statsRow(const QString &name)
    {
        m()->statsDock->show();
        // The table catches up with the link on the monitor's timer.
        const int sent = w->hartLink()->statistics().total().requestsSent;
        const bool caughtUp = QTest::qWaitFor([&] {
            const int r = stats()->rowOf(QStringLiteral("Всего"));
            return r >= 0 && stats()->cellText(r, LineStatisticsRows::RequestsColumn).toInt() == sent;
        }, 3000);
        if (!caughtUp)
            return {QStringLiteral("table not refreshed")};
        const int row = stats()->rowOf(name);
        QStringList out;
        for (int c = 0; row >= 0 && c < LineStatisticsRows::ColumnCount; ++c)
            out << stats()->cellText(row, c);
        return out;
    }

    // Log rows as "direction address verdict".
    QStringList logRows()
    {
        m()->logDock->show();
        log()->refresh(true);
        QStringList out;
        const QAbstractItemModel *model = log()->table->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            out << QStringLiteral("%1 %2 %3").arg(
                model->index(r, TrafficLogModel::DirectionColumn).data().toString(),
                model->index(r, TrafficLogModel::AddressColumn).data().toString(),
                model->index(r, TrafficLogModel::VerdictColumn).data().toString());
        }
        return out;
    }
};

// Requests the line received for an address.
int requestsTo(const sim::VirtualLine &line, int address)
{
    int n = 0;
    for (const QByteArray &f : line.requests())
        n += ConsoleFormat::requestShortAddress(f) == address ? 1 : 0;
    return n;
}

} // namespace

class TestLineLog : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void statisticsEqualTheLine_data();
    void statisticsEqualTheLine();
    void resetStartsAgain();
    void logShowsEveryFrame();
    void pauseFilterAndSave();
    void streamRotatesAndFailsVisibly();
    void viewFollowsTheRing_data();
    void viewFollowsTheRing();

private:
    Sandbox m_sandbox;
};

void TestLineLog::statisticsEqualTheLine_data()
{
    // Device 3 misbehaves as the row says during three passes (repeat count
    // 2); the columns are its row of the table: requests, answers, time-outs,
    // checksum errors, discarded.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QVector<int>>("counts");
    QTest::addColumn<int>("strayRow");     // discards counted under address 5

    QTest::newRow("well behaved") << "none" << QVector<int>{3, 3, 0, 0, 0} << 0;
    QTest::newRow("silent once, the repeat answered") << "silent1" << QVector<int>{4, 3, 0, 0, 0} << 0;
    QTest::newRow("silent twice: a time-out") << "silent2" << QVector<int>{4, 2, 1, 0, 0} << 0;
    // A damaged answer to a poll is asked for again; it was still an answer.
    QTest::newRow("bad checksum") << "checksum" << QVector<int>{4, 4, 0, 1, 0} << 0;
    QTest::newRow("answered twice") << "duplicate" << QVector<int>{3, 3, 0, 0, 1} << 0;
    QTest::newRow("answer names another device") << "address" << QVector<int>{4, 3, 0, 0, 0} << 1;
}

void TestLineLog::statisticsEqualTheLine()
{
    QFETCH(QString, fault);
    QFETCH(QVector<int>, counts);
    QFETCH(int, strayRow);
    Rig r;
    QVERIFY(r.start({3, 4}));
    sim::VirtualDevice *d = r.line.device(3);
    if (fault == QLatin1String("silent1"))
        d->silentFor = 1;
    else if (fault == QLatin1String("silent2"))
        d->silentFor = 2;
    else if (fault == QLatin1String("checksum"))
        d->corruptNextChecksum = true;
    else if (fault == QLatin1String("duplicate"))
        d->duplicate.next = 1;
    else if (fault == QLatin1String("address")) {
        d->otherAddress.next = 1;
        d->strayAddress = 5;
    }
    QVERIFY(r.passes(3));

    const QStringList row = r.statsRow(QStringLiteral("03"));
    QCOMPARE(row.size(), int(LineStatisticsRows::ColumnCount));
    QVector<int> shown;
    for (int c = LineStatisticsRows::RequestsColumn; c <= LineStatisticsRows::DiscardedColumn; ++c)
        shown << row[c].toInt();
    QCOMPARE(shown, counts);
    // The line's own count of what reached it.
    QCOMPARE(shown[0], requestsTo(r.line, 3));
    // Response times shown only with answers.
    QVERIFY(row[LineStatisticsRows::MeanColumn].toDouble() >= 0);
    QVERIFY(row[LineStatisticsRows::MaxColumn].toDouble() >= row[LineStatisticsRows::MeanColumn].toDouble());

    // The well-behaved neighbour is untouched; a stray is counted under the
    // address it named, which sent nothing.
    QCOMPARE(r.statsRow(QStringLiteral("04")).mid(1, 5),
             (QStringList{"3", "3", "0", "0", "0"}));
    const QStringList stray = r.statsRow(QStringLiteral("05"));
    QCOMPARE(stray.isEmpty(), strayRow == 0);
    if (strayRow)
        QCOMPARE(stray.mid(1, 5), (QStringList{"0", "0", "0", "0", "1"}));
    const QStringList total = r.statsRow(QStringLiteral("Всего"));
    QCOMPARE(total[LineStatisticsRows::RequestsColumn].toInt(), counts[0] + 3);
}

void TestLineLog::resetStartsAgain()
{
    Rig r;
    QVERIFY(r.start({1}));
    QVERIFY(r.passes(2));
    QCOMPARE(r.statsRow(QStringLiteral("01")).value(1), QStringLiteral("2"));
    r.stats()->resetButton->click();
    QVERIFY(r.statsRow(QStringLiteral("01")).isEmpty());
    QCOMPARE(r.statsRow(QStringLiteral("Всего")).mid(1, 5), (QStringList{"0", "0", "0", "0", "0"}));
    QCOMPARE(r.statsRow(QStringLiteral("Всего")).value(LineStatisticsRows::MeanColumn), QStringLiteral("—"));
    QVERIFY(r.passes(1));
    QTRY_COMPARE(r.statsRow(QStringLiteral("01")).value(1), QStringLiteral("1"));
}

void TestLineLog::logShowsEveryFrame()
{
    Rig r;
    QVERIFY(r.start({1, 2}, 1));
    r.line.device(2)->silentFor = 1;
    r.line.device(1)->corruptNextChecksum = true;
    QVERIFY(r.passes(1));
    QCOMPARE(r.logRows(), (QStringList{"TX 01 ок", "RX 01 ошибка КС", "TX 02 ок", "RX 02 таймаут"}));

    const QAbstractItemModel *model = r.log()->table->model();
    // The request frame as written: command 3, no data.
    QCOMPARE(model->index(0, TrafficLogModel::CommandColumn).data().toString(), QStringLiteral("3"));
    QCOMPARE(model->index(0, TrafficLogModel::ByteCountColumn).data().toString(), QStringLiteral("0"));
    QVERIFY(model->index(0, TrafficLogModel::BytesColumn).data().toString().endsWith(
        QString::fromLatin1(r.line.requests().first().right(4).toHex(' '))));
    // The answer carries its 24 data bytes and its own frame.
    QCOMPARE(model->index(1, TrafficLogModel::ByteCountColumn).data().toString(), QStringLiteral("24"));
    // A time-out has no frame.
    QVERIFY(model->index(3, TrafficLogModel::BytesColumn).data().toString().isEmpty());
    // Time stamps to the millisecond.
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                .match(model->index(0, TrafficLogModel::TimeColumn).data().toString()).hasMatch());
}

void TestLineLog::pauseFilterAndSave()
{
    Rig r;
    QVERIFY(r.start({1, 2}));
    QVERIFY(r.passes(1));
    QCOMPARE(r.logRows().size(), 4);

    r.log()->pauseButton->setChecked(true);
    QVERIFY(r.passes(2));
    QCOMPARE(r.logRows().size(), 4);        // paused: the view stays
    r.log()->addressBox->setCurrentIndex(r.log()->addressBox->findData(2));
    QCOMPARE(r.logRows(), (QStringList{"TX 02 ок", "RX 02 ок"}));   // filtered, still paused
    r.log()->pauseButton->setChecked(false);
    QCOMPARE(r.logRows().size(), 6);        // the two later passes of device 2 too

    r.savePath = m_sandbox.filePath(QStringLiteral("traffic.txt"));
    r.log()->saveButton->click();
    const QList<QByteArray> lines = fileLines(r.savePath);
    QCOMPARE(lines.size(), 1 + 6);
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        QCOMPARE(f.size(), 8);
        QCOMPARE(f[2], QByteArray("02"));
    }
    QVERIFY(r.w->statusBar()->currentMessage().contains(QStringLiteral("сохранён")));

    r.savePath = m_sandbox.filePath(QStringLiteral("no/such/dir/t.txt"));
    r.log()->saveButton->click();
    QVERIFY(r.w->statusBar()->currentMessage().contains(QStringLiteral("не сохранён")));
}

void TestLineLog::streamRotatesAndFailsVisibly()
{
    Rig r;
    QVERIFY(r.start({1, 2}));
    const QString path = m_sandbox.filePath(QStringLiteral("stream.log"));
    r.log()->rotateBox->setValue(16);
    r.savePath = path;
    r.log()->streamBox->setChecked(true);           // asks for the file: none chosen yet
    QVERIFY(r.m()->trafficFile.isOpen());
    QCOMPARE(r.log()->fileLabel->text(), path);

    // Line by line: after every pass the file ends with the last event.
    for (int i = 0; i < 3; ++i) {
        QVERIFY(r.passes(1));
        const TrafficLog &log = *r.m()->trafficLog;
        QCOMPARE(fileLines(path).last(), TrafficLog::line(log.at(log.size() - 1)));
    }
    // Enough passes for two rotations at 16 KB.
    while (r.m()->trafficFile.rotations() < 2)
        QVERIFY(r.passes(10));
    QVERIFY(QFile::exists(RotatingLogFile::rotatedName(path, 2)));
    qint64 lines = 0;
    for (const QString &name : {path, RotatingLogFile::rotatedName(path, 1), RotatingLogFile::rotatedName(path, 2)}) {
        QVERIFY(QFileInfo(name).size() <= 16 * 1024);
        lines += fileLines(name).size();
    }
    QCOMPARE(lines, r.m()->trafficLog->total());    // nothing lost across the files

    // Remembered for the next start.
    QSettings s(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
    QCOMPARE(s.value(QStringLiteral("/Monitor/TrafficFile")).toString(), path);
    QCOMPARE(s.value(QStringLiteral("/Monitor/TrafficRotateKb")).toInt(), 16);

    // Another file that cannot be written: refused, said so, the box unchecked.
    r.savePath = m_sandbox.filePath(QStringLiteral("missing/stream.log"));
    r.log()->fileButton->click();
    QVERIFY(!r.log()->streamBox->isChecked());
    QVERIFY(!r.m()->trafficFile.isOpen());
    QVERIFY2(r.w->statusBar()->currentMessage().contains(QStringLiteral("не пишется")),
             qPrintable(r.w->statusBar()->currentMessage()));
}

void TestLineLog::viewFollowsTheRing_data()
{
    // Events arrive in bursts between refreshes; the ring keeps 8. The view
    // shows rows as they come and drops the ones the ring forgot.
    QTest::addColumn<int>("filter");
    QTest::addColumn<QVector<int>>("bursts");
    QTest::newRow("all, small bursts") << -1 << QVector<int>{1, 2, 3, 1, 5, 1, 1};
    QTest::newRow("all, a burst past the ring") << -1 << QVector<int>{3, 20, 0, 2};
    QTest::newRow("one address") << 2 << QVector<int>{4, 7, 1, 9, 3};
    QTest::newRow("an address that never comes") << 9 << QVector<int>{5, 12};
}

void TestLineLog::viewFollowsTheRing()
{
    QFETCH(int, filter);
    QFETCH(QVector<int>, bursts);
    auto log = std::make_shared<TrafficLog>(8);
    TrafficLogView view(log);
    view.addressBox->setCurrentIndex(view.addressBox->findData(filter));
    int n = 0;
    for (int burst : bursts) {
        for (int i = 0; i < burst; ++i, ++n) {
            LinkTrafficEvent e;
            e.msecsSinceEpoch = n;
            e.address = n % 3 + 1;
            log->append(e);
        }
        view.refresh();
        QVector<qint64> shown, kept;
        for (const LinkTrafficEvent &e : view.shownEvents())
            shown << e.msecsSinceEpoch;
        for (const LinkTrafficEvent &e : log->events(filter))
            kept << e.msecsSinceEpoch;
        QCOMPARE(shown, kept);
        QCOMPARE(view.model->rowCount(), kept.size());
    }
}

QTEST_MAIN(TestLineLog)
#include "tst_linelog.moc"
