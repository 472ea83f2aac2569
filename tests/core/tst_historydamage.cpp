// The history's queue file and the reports an import takes in come back
// from crashes and copies: a queue line damaged one value at a time, or cut
// short anywhere, is refused with the file, the line and the reason while
// the lines around it are still read; a report cut short, with a line gone
// or one value damaged is refused with the file and the reason, or read
// whole with values the history can hold.

#include "common/historyrig.h"
#include "common/jsondamage.h"

#include "calc/calibrationreport.h"
#include "history/historyimport.h"
#include "history/historyqueue.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

QByteArray line(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

bool put(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A report as the calculation writes it, of a two-gauge device.
QByteArray reportText()
{
    CalibrationReport r;
    r.when = QDateTime(QDate(2025, 11, 12), QTime(13, 14, 15));
    r.address = QStringLiteral("01");
    r.haveSerial = true;
    r.serial = 3920001;
    r.pmax = 250000;
    const char *names[3] = {"dev_Tmin.txt", "dev_Tmid.txt", "dev_Tmax.txt"};
    for (int t = 0; t < 3; ++t)
        r.files.files[size_t(t)].fileName = QLatin1String(names[t]);
    r.quality.worstPercent = {0.01, 0.03, 0.02};
    r.written.Uk1h = 1.5f;
    r.written.U10 = 1.25f;
    r.written.a = {1, 2, 3};
    r.written.c = {-1e-7f, 2e-5f, 0.5f};
    r.notes << QStringLiteral("оператор принял точку");
    return calibrationReportText(r);
}

} // namespace

class TestHistoryDamage : public QObject
{
    Q_OBJECT

private slots:
    void queueLineDamages_data();
    void queueLineDamages();
    void queueLineCutShort();
    void reportDamages_data();
    void reportDamages();

private:
    QTemporaryDir m_dir;
};

void TestHistoryDamage::queueLineDamages_data()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : jsondamage::kinds())
        QTest::newRow(qPrintable(kind)) << kind;
}

// One queued event of each kind damaged one value at a time, between two
// whole ones: the whole ones are read; the damaged one is refused with the
// file, its line and the reason, or read as an event that writes back the
// same.
void TestHistoryDamage::queueLineDamages()
{
    QFETCH(QString, kind);
    const QString path = m_dir.filePath(QStringLiteral("queue.jsonl"));
    const QVector<HistoryRecord> samples = HistorySamples::hostileRecords();
    int cases = 0, refused = 0;
    for (const HistoryRecord &sample : samples) {
        const QJsonObject whole = HistoryJson::toJson(sample);
        for (const jsondamage::Path &p : jsondamage::nodes(whole)) {
            const std::optional<QJsonValue> v = jsondamage::damage(kind, jsondamage::at(whole, p));
            if (!v)
                continue;
            const QString what = jsondamage::text(p);
            const QByteArray damaged = line(jsondamage::with(whole, p, *v).toObject());
            QVERIFY(put(path, line(whole) + '\n' + damaged + '\n' + line(whole) + '\n'));
            int bad = 0;
            QStringList reasons;
            const QVector<HistoryRecord> read = HistoryQueue(path).readAll(&bad, &reasons);
            ++cases;
            QCOMPARE(read.size() + bad, 3);
            QCOMPARE(HistoryJson::toJson(read.first()), whole);
            QCOMPARE(HistoryJson::toJson(read.last()), whole);
            if (bad) {
                ++refused;
                QCOMPARE(reasons.size(), 1);
                QVERIFY2(reasons.first().startsWith(QStringLiteral("очередь истории %1, строка 2: поле «")
                                                        .arg(QDir::toNativeSeparators(path))),
                         qPrintable(what + QStringLiteral(": ") + reasons.first()));
                continue;
            }
            // Taken: it writes back as it reads.
            HistoryRecord again;
            QVERIFY2(HistoryJson::fromJson(HistoryJson::toJson(read[1]), &again), qPrintable(what));
            QCOMPARE(HistoryJson::toJson(again), HistoryJson::toJson(read[1]));
        }
    }
    qInfo("%s: %d damages, %d refused, %d read", qPrintable(kind), cases, refused, cases - refused);
}

// A line cut at any byte (the program stopped while appending) is refused;
// the line before it is read.
void TestHistoryDamage::queueLineCutShort()
{
    const QString path = m_dir.filePath(QStringLiteral("cut.jsonl"));
    for (const HistoryRecord &sample : HistorySamples::hostileRecords()) {
        const QByteArray whole = line(HistoryJson::toJson(sample));
        for (int n = 1; n < whole.size(); n += 1 + n / 50) {
            QVERIFY(put(path, whole + '\n' + whole.left(n)));
            int bad = 0;
            QStringList reasons;
            QCOMPARE(HistoryQueue(path).readAll(&bad, &reasons).size(), 1);
            QCOMPARE(bad, 1);
            QVERIFY2(reasons.value(0).contains(QStringLiteral(", строка 2: ")), qPrintable(reasons.value(0)));
        }
    }
}

void TestHistoryDamage::reportDamages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("with");     // what a damaged field becomes
    QTest::newRow("cut short") << "cut" << QString();
    QTest::newRow("line dropped") << "drop" << QString();
    QTest::newRow("field emptied") << "field" << QString();
    QTest::newRow("field -1") << "field" << "-1";
    QTest::newRow("field NaN") << "field" << "nan";
    QTest::newRow("field infinite") << "field" << "inf";
    QTest::newRow("field huge") << "field" << "1e999";
    QTest::newRow("field wrong text") << "field" << "../не то";
}

// A report beside its point files, damaged one line or one field at a
// time: refused with the file and the reason, or read with a date, a
// positive Pmax, the fourteen coefficients as numbers and residuals that
// are numbers or "не число".
void TestHistoryDamage::reportDamages()
{
    QFETCH(QString, kind);
    QFETCH(QString, with);
    const QString path = m_dir.filePath(QStringLiteral("r/dev_report.txt"));
    const QByteArray whole = reportText();
    const QList<QByteArray> lines = whole.split('\n');
    QVector<QByteArray> damaged;
    if (kind == QLatin1String("cut"))   // after every line but the last, and in the middle of every line
        for (int n = whole.indexOf('\n'); n >= 0 && n < whole.size() - 1; n = whole.indexOf('\n', n + 1))
            damaged << whole.left(n + 1) << whole.left(n + 1 + (whole.indexOf('\n', n + 1) - n) / 2);
    for (int i = 1; i < lines.size() && kind != QLatin1String("cut"); ++i) {
        if (kind == QLatin1String("drop")) {
            QList<QByteArray> l = lines;
            l.removeAt(i);
            damaged << l.join('\n');
            continue;
        }
        const QList<QByteArray> fields = lines[i].split('\t');
        for (int k = 0; k < fields.size() && !lines[i].isEmpty(); ++k) {
            QList<QByteArray> f = fields, l = lines;
            f[k] = with.toUtf8();
            l[i] = f.join('\t');
            damaged << l.join('\n');
        }
    }
    QVERIFY(put(path, whole));
    const HistoryImport::Parsed good = HistoryImport::parseReport(path, HistoryContext());
    QVERIFY2(good.ok, qPrintable(good.error));
    int refused = 0;
    for (const QByteArray &text : qAsConst(damaged)) {
        QVERIFY(put(path, text));
        const HistoryImport::Parsed p = HistoryImport::parseReport(path, HistoryContext());
        if (!p.ok) {
            ++refused;
            QVERIFY2(p.error.startsWith(QDir::toNativeSeparators(path) + QStringLiteral(": ")), qPrintable(p.error));
            continue;
        }
        const CalculationEvent &e = p.event;
        QVERIFY(e.context.when.isValid());
        QVERIFY(std::isfinite(e.pmaxPa) && e.pmaxPa > 0);
        QCOMPARE(e.coefficients.size(), 14);
        for (const HistoryValue &c : e.coefficients)
            QVERIFY2(std::isfinite(c.value), qPrintable(c.name));
        for (double r : e.fitPercent)
            QVERIFY(r >= 0);
    }
    if (kind == QLatin1String("cut"))   // every cut loses at least the verdict line
        QCOMPARE(refused, damaged.size());
    qInfo("%s: %d damages, %d refused, %d read", QTest::currentDataTag(), int(damaged.size()), refused,
          int(damaged.size()) - refused);
}

QTEST_GUILESS_MAIN(TestHistoryDamage)
#include "tst_historydamage.moc"
