// A guided run's plan and state come back after crashes and copies between
// PCs. Taken from a real run over the virtual line at several moments, each
// is damaged one value at a time (dropped, another type, -1, huge, NaN,
// a wrong string, one element more) or cut short; each damaged folder is
// either refused with the file and the reason and left as it was, or opened
// and taken up (started, confirmed, the last point taken back, a device
// skipped, aborted with its report) without the program failing.

#include "common/files.h"
#include "common/guidedrig.h"
#include "common/jsondamage.h"

#include "guided/guidedvalidate.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace guidedrig;

namespace {

// Every file below dir by its path relative to dir.
QMap<QString, QByteArray> tree(const QString &dir)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(QDir(dir).relativeFilePath(path), readAll(path));
    }
    return out;
}

bool restore(const QString &dir, const QMap<QString, QByteArray> &files)
{
    if (!QDir(dir).removeRecursively())
        return false;
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString path = QDir(dir).filePath(it.key());
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

QJsonObject object(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }
QByteArray bytes(const QJsonValue &v) { return QJsonDocument(v.toObject()).toJson(); }

const char PlanName[] = "guided_plan.json";
const char StateName[] = "guided_state.json";

} // namespace

class TestGuidedDamage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void snapshotsOpen();
    void oneFieldDamages_data();
    void oneFieldDamages();
    void cutShort();
    void cleanupTestCase();

private:
    // One damaged file in the run folder: refused (true) or opened and
    // taken up (false); a failed check ends the test.
    bool tryDamage(const QString &snapshot, const QString &file, const QByteArray &damaged, const QString &what);

    // Thousands of folders are opened and saved: in memory where there is
    // a place for it, so that the saves' syncs do not wait for a busy disk.
    QTemporaryDir m_dir{QDir(QStringLiteral("/dev/shm")).exists() && QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                            ? QStringLiteral("/dev/shm/tst_guideddamage-XXXXXX")
                            : QDir::temp().filePath(QStringLiteral("tst_guideddamage-XXXXXX"))};
    QString m_runDir;
    QMap<QString, QMap<QString, QByteArray>> m_snapshots;   // a run folder by the moment it was taken
    std::unique_ptr<protocolComHart> m_link;
    std::unique_ptr<GuidedLink> m_guided;
    int m_refused = 0, m_opened = 0;
};

// A real run of two devices through three temperatures, calculation and
// verification, its folder taken at the moments a restart can meet.
void TestGuidedDamage::initTestCase()
{
    m_runDir = m_dir.filePath(QStringLiteral("run"));
    Bench bench;
    QVERIFY(bench.open());
    GuidedPlan plan = bench.addMixedPair();
    plan.points = {0, 33, 67, 100};   // the capacitive cell's cubic needs four
    plan.verifyPercent = {0, 50, 100};
    plan.stableCount = plan.averaged = 3;
    GuidedRun run(bench.guided.get());
    QString why;
    QVERIFY2(run.create(m_runDir, plan, &why), qPrintable(why));
    m_snapshots.insert(QStringLiteral("ready"), tree(m_runDir));
    connect(&run, &GuidedRun::changed, this, [&] {
        const GuidedCursor &c = run.cursor();
        const GuidedPhase p = c.phase;
        QString name;
        if ((p == GuidedPhase::SetTemperature || p == GuidedPhase::SetPressure || p == GuidedPhase::Capturing)
            && c.temperature == 1 && (c.point == 1 || p == GuidedPhase::SetTemperature))
            name = GuidedCursor::phaseKey(p);
        else if (p == GuidedPhase::Calculating && c.calcDevice == 1)
            name = GuidedCursor::phaseKey(p);
        else if ((p == GuidedPhase::SetVerifyPressure || p == GuidedPhase::Verifying) && c.verifyStep == 2)
            name = GuidedCursor::phaseKey(p);
        else if (p == GuidedPhase::Done)
            name = GuidedCursor::phaseKey(p);
        if (!name.isEmpty() && !m_snapshots.contains(name))
            m_snapshots.insert(name, tree(m_runDir));
    });
    Operator op(&bench, &run);
    run.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.phase() == GuidedPhase::Done || run.phase() == GuidedPhase::Aborted, 120000);
    QCOMPARE(run.phase(), GuidedPhase::Done);
    QCOMPARE(m_snapshots.size(), 8);

    // Killed after a point's lines went to the files, before the state said so.
    QMap<QString, QByteArray> pending = m_snapshots.value(QStringLiteral("set-pressure"));
    QJsonObject s = object(pending.value(QLatin1String(StateName)));
    s[QStringLiteral("phase")] = QStringLiteral("capturing");
    s[QStringLiteral("point")] = s.value(QStringLiteral("lastPoint"));
    s[QStringLiteral("pending")] = s.value(QStringLiteral("lastWritten"));
    s[QStringLiteral("lastWritten")] = QJsonArray();
    QJsonArray devices = s.value(QStringLiteral("devices")).toArray();
    for (int i = 0; i < devices.size(); ++i) {
        QJsonObject d = devices[i].toObject();
        QJsonArray points = d.value(QStringLiteral("points")).toArray();
        points[1] = points[1].toInt() - 1;   // the second temperature of the plan: Tmid
        d[QStringLiteral("points")] = points;
        devices[i] = d;
    }
    s[QStringLiteral("devices")] = devices;
    pending[QLatin1String(StateName)] = bytes(s);
    m_snapshots.insert(QStringLiteral("pending"), pending);
    // Stopped while the operator was asked about a fit beyond the gate.
    QMap<QString, QByteArray> fit = m_snapshots.value(QStringLiteral("calculating"));
    s = object(fit.value(QLatin1String(StateName)));
    s[QStringLiteral("phase")] = QStringLiteral("confirm-fit");
    fit[QLatin1String(StateName)] = bytes(s);
    m_snapshots.insert(QStringLiteral("confirm-fit"), fit);

    m_link.reset(new protocolComHart(nullptr, QStringLiteral("no-such-file")));
    m_guided.reset(new GuidedLink(m_link.get()));
}

// The folders as the run left them open and take up where they stood.
void TestGuidedDamage::snapshotsOpen()
{
    for (auto it = m_snapshots.begin(); it != m_snapshots.end(); ++it) {
        QVERIFY(restore(m_runDir, it.value()));
        GuidedRun run(m_guided.get());
        QString why;
        QVERIFY2(run.open(m_runDir, &why), qPrintable(it.key() + QStringLiteral(": ") + why));
        QCOMPARE(GuidedRun::resumable(m_runDir), it.key() != QLatin1String("done"));
    }
    // A copy of the folder elsewhere still finishes its point in its own files.
    const QString copy = m_dir.filePath(QStringLiteral("copied"));
    QVERIFY(restore(copy, m_snapshots.value(QStringLiteral("pending"))));
    GuidedRun run(m_guided.get());
    QString why;
    QVERIFY2(run.open(copy, &why), qPrintable(why));
    QCOMPARE(run.cursor().point, 1);
    QCOMPARE(run.cursor().lastWritten.size(), 2);
    for (const GuidedPendingLine &p : run.cursor().lastWritten)
        QVERIFY2(p.file.startsWith(copy), qPrintable(p.file));
}

void TestGuidedDamage::oneFieldDamages_data()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : jsondamage::kinds())
        QTest::newRow(qPrintable(kind)) << kind;
}

// The plan is the same file all run long: it is damaged in two of the
// moments, the state in every one.
void TestGuidedDamage::oneFieldDamages()
{
    QFETCH(QString, kind);
    int cases = 0, refused = 0;
    for (auto it = m_snapshots.begin(); it != m_snapshots.end(); ++it) {
        QVERIFY(restore(m_runDir, it.value()));
        for (const char *file : {PlanName, StateName}) {
            if (file == PlanName && it.key() != QLatin1String("set-pressure") && it.key() != QLatin1String("calculating"))
                continue;
            const QJsonValue root = object(it.value().value(QLatin1String(file)));
            for (const jsondamage::Path &path : jsondamage::nodes(root)) {
                const std::optional<QJsonValue> v = jsondamage::damage(kind, jsondamage::at(root, path));
                if (!v)
                    continue;
                const QString what = QStringLiteral("%1 %2%3").arg(it.key(), QLatin1String(file), jsondamage::text(path));
                ++cases;
                refused += tryDamage(it.key(), QLatin1String(file), bytes(jsondamage::with(root, path, *v)), what);
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
    qInfo("%s: %d damages, %d refused, %d opened", qPrintable(kind), cases, refused, cases - refused);
}

// A file cut anywhere (a full disk, a copy broken off) is refused.
void TestGuidedDamage::cutShort()
{
    for (auto it = m_snapshots.begin(); it != m_snapshots.end(); ++it) {
        QVERIFY(restore(m_runDir, it.value()));
        for (const char *file : {PlanName, StateName}) {
            const QByteArray whole = it.value().value(QLatin1String(file));
            for (int k = 1; k < 16; ++k) {
                const QString what = QStringLiteral("%1 %2 cut at %3/16").arg(it.key(), QLatin1String(file)).arg(k);
                QVERIFY2(tryDamage(it.key(), QLatin1String(file), whole.left(whole.size() * k / 16), what),
                         qPrintable(what));
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
}

void TestGuidedDamage::cleanupTestCase()
{
    qInfo("all damages: %d refused, %d opened", m_refused, m_opened);
}

bool TestGuidedDamage::tryDamage(const QString &snapshot, const QString &file, const QByteArray &damaged,
                                 const QString &what)
{
    const QMap<QString, QByteArray> &folder = m_snapshots[snapshot];
    const QString path = QDir(m_runDir).filePath(file);
    writeFile(path, damaged);
    QString why;
    std::unique_ptr<GuidedRun> run(new GuidedRun(m_guided.get()));
    if (!run->open(m_runDir, &why)) {
        ++m_refused;
        run.reset();
        // Said with the file, and nothing in the folder touched.
        [&] {
            QVERIFY2(why.contains(QDir::toNativeSeparators(path)), qPrintable(what + QStringLiteral(": ") + why));
            QString damage;
            QVERIFY2(!GuidedRun::resumable(m_runDir, nullptr, &damage), qPrintable(what));
            QCOMPARE(damage, why);
            QMap<QString, QByteArray> expected = folder;
            expected[file] = damaged;
            QVERIFY2(tree(m_runDir) == expected, qPrintable(what));
        }();
        writeFile(path, folder.value(file));
        return true;
    }
    ++m_opened;
    // Taken up: every choice of the operator's on whatever the files said.
    [&] {
        QVERIFY2(!run->progressText().isEmpty(), qPrintable(what));
        run->request();
        run->start();
        run->request();
        run->confirm();
        QCoreApplication::processEvents();
        run->redoLastPoint();
        run->answerFit(true);
        run->skipDevice(0);
        run->resume();
        QCoreApplication::processEvents();
        run->abort(QStringLiteral("проверка"));
        QVERIFY2(QFile::exists(run->reportBase() + QStringLiteral(".txt")) || run->phase() == GuidedPhase::Done,
                 qPrintable(what));
        run.reset();
        QVERIFY(restore(m_runDir, folder));
    }();
    return false;
}

QTEST_GUILESS_MAIN(TestGuidedDamage)
#include "tst_guideddamage.moc"
