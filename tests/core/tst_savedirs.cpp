// Choosing, listing, creating, overwriting and appending the per-device save
// directories, and that overwriting never reaches beyond what was listed.

#include "polling/calibrationfiles.h"
#include "polling/savedirs.h"

#include <QtTest>
#include <QTemporaryDir>

namespace {

PollChannels checked(std::initializer_list<int> addresses)
{
    PollChannels c{};
    int i = 0;
    for (int a : addresses)
        c[i++] = PollChannelState{true, a};
    return c;
}

void writeFile(const QString &name, const QByteArray &content)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class TestSaveDirs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void baseName_data();
    void baseName();
    void listsAndCreatesOnAccept();
    void warnsWhenOneExists();
    void overwriteRemovesOldFiles();
    void appendKeepsOldFiles();
    void overwriteNeverFollowsLinks();
    void cancelAndCloseEndTheSelection_data();
    void cancelAndCloseEndTheSelection();
    void noCheckedChannel();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString base() const { return m_tmp->path(); }
};

void TestSaveDirs::init()
{
    m_tmp.reset(new QTemporaryDir);
    QVERIFY(m_tmp->isValid());
}

void TestSaveDirs::baseName_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("name");
    QTest::newRow("typed name") << "/data/run1" << "run1";
    QTest::newRow("empty") << "" << "device";
    QTest::newRow("directory with slash") << "/data/" << "device";
}

void TestSaveDirs::baseName()
{
    QFETCH(QString, selected);
    QFETCH(QString, name);
    QCOMPARE(SaveDirs::baseNameFor(selected), name);
}

void TestSaveDirs::listsAndCreatesOnAccept()
{
    SaveDirs d;
    PollChannels ch = checked({1, 2});
    ch[5] = PollChannelState{false, 7};
    QVERIFY(d.plan(base(), "run1", ch));
    bool exists = true;
    const QString msg = d.message(&exists);
    QVERIFY(!exists);
    QCOMPARE(msg, QStringLiteral("Базовая директория: ") + base() + "\n"
                  + QStringLiteral("Выбранное базовое имя: run1\n")
                  + QStringLiteral("Будут созданы следующие директории:\n")
                  + "\t" + base() + "/run1_01\n"
                  + "\t" + base() + "/run1_02\n");
    QVERIFY(!d.ready());
    QCOMPARE(d.openMode(), QIODevice::NotOpen);

    const SaveDirs::Outcome out = d.confirm(SaveDirs::Accept);
    QVERIFY(out.ready && d.ready());
    QCOMPARE(d.openMode(), QIODevice::Append | QIODevice::Text);
    QVERIFY(QFileInfo(base() + "/run1_01").isDir());
    QVERIFY(QFileInfo(base() + "/run1_02").isDir());
    QVERIFY(!QFileInfo::exists(base() + "/run1_07"));
    QCOMPARE(d.dirFor(2), base() + "/run1_02");
    QVERIFY(d.dirFor(7).isEmpty());

    d.end();
    QVERIFY(!d.ready());
    QVERIFY(d.dirs().isEmpty() && d.baseName().isEmpty());
    QCOMPARE(d.openMode(), QIODevice::NotOpen);
}

void TestSaveDirs::warnsWhenOneExists()
{
    QVERIFY(QDir().mkpath(base() + "/dev_0a"));
    SaveDirs d;
    QVERIFY(d.plan(base(), "dev", checked({10, 3})));
    bool exists = false;
    const QString msg = d.message(&exists);
    QVERIFY(exists);
    QVERIFY(msg.contains("\t" + base() + "/dev_03\n\t" + base() + "/dev_0a"
                         + QStringLiteral(" уже существует\n")));
    QVERIFY(msg.endsWith(
        QStringLiteral("\nВНИМАНИЕ: ФАЙЛЫ В СУЩЕСТВУЮЩИХ ДИРЕКТОРИЯХ БУДУТ ПЕРЕЗАПИСАНЫ\n")));
}

void TestSaveDirs::overwriteRemovesOldFiles()
{
    const QString dir = base() + "/dev_01";
    QVERIFY(QDir().mkpath(dir + "/sub"));
    writeFile(dir + "/dev_Tmid.txt", "old\n");
    writeFile(dir + "/sub/.hidden", "old\n");
    QVERIFY(QDir().mkpath(base() + "/dev_03"));          // not listed
    writeFile(base() + "/dev_03/dev_Tmid.txt", "keep\n");

    SaveDirs d;
    QVERIFY(d.plan(base(), "dev", checked({1, 2})));
    const SaveDirs::Outcome out = d.confirm(SaveDirs::Overwrite);
    QVERIFY(out.ready);
    QVERIFY(out.failed.isEmpty());
    QCOMPARE(out.removed, QStringList{dir});
    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(QFileInfo(base() + "/dev_02").isDir());
    QVERIFY(QFileInfo::exists(base() + "/dev_03/dev_Tmid.txt"));
}

void TestSaveDirs::appendKeepsOldFiles()
{
    const QString dir = base() + "/dev_01";
    QVERIFY(QDir().mkpath(dir));
    writeFile(dir + "/dev_Tmid.txt", "old\n");
    SaveDirs d;
    QVERIFY(d.plan(base(), "dev", checked({1, 2})));
    const SaveDirs::Outcome out = d.confirm(SaveDirs::Append);
    QVERIFY(out.removed.isEmpty());
    QCOMPARE(out.created, QStringList{base() + "/dev_02"});

    // Later lines go below the old ones.
    const Command3Answer a = Command3Answer::decode(QByteArray(24, 0));
    const auto r = CalibrationFiles::recordAnswer(d, CalibrationTemperature::Middle, {}, 1, true,
                                                  a, 0, 0);
    QVERIFY(r.recordWritten);
    QFile f(dir + "/dev_Tmid.txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("old"));
}

void TestSaveDirs::overwriteNeverFollowsLinks()
{
    QTemporaryDir outside;
    writeFile(outside.path() + "/precious.txt", "precious\n");
    QVERIFY(QDir().mkpath(outside.path() + "/inner"));
    writeFile(outside.path() + "/inner/more.txt", "more\n");

    // A listed directory holding a link out, and a listed name that is
    // itself a link out.
    const QString dir1 = base() + "/dev_01";
    QVERIFY(QDir().mkpath(dir1));
    QVERIFY(QFile::link(outside.path(), dir1 + "/escape"));
    QVERIFY(QFile::link(outside.path() + "/precious.txt", dir1 + "/file-link"));
    const QString dir2 = base() + "/dev_02";
    QVERIFY(QFile::link(outside.path(), dir2));

    SaveDirs d;
    QVERIFY(d.plan(base(), "dev", checked({1, 2})));
    bool exists = false;
    d.message(&exists);
    QVERIFY(exists);
    const SaveDirs::Outcome out = d.confirm(SaveDirs::Overwrite);
    QVERIFY2(out.failed.isEmpty(), qPrintable(out.failed.join(',')));

    QVERIFY(QFileInfo::exists(outside.path() + "/precious.txt"));
    QVERIFY(QFileInfo::exists(outside.path() + "/inner/more.txt"));
    QVERIFY(QFileInfo(dir1).isDir());
    QCOMPARE(QDir(dir1).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList());
    QVERIFY(!QFileInfo(dir2).isSymLink());
    QVERIFY(QFileInfo(dir2).isDir());
}

void TestSaveDirs::cancelAndCloseEndTheSelection_data()
{
    QTest::addColumn<int>("result");
    QTest::newRow("cancel") << int(SaveDirs::Cancel);
    QTest::newRow("closed without a button") << 0;
}

void TestSaveDirs::cancelAndCloseEndTheSelection()
{
    QFETCH(int, result);
    const QString dir = base() + "/dev_01";
    QVERIFY(QDir().mkpath(dir));
    writeFile(dir + "/dev_Tmid.txt", "old\n");
    SaveDirs d;
    QVERIFY(d.plan(base(), "dev", checked({1, 4})));
    const SaveDirs::Outcome out = d.confirm(result);
    QVERIFY(!out.ready && !d.ready());
    QVERIFY(d.dirs().isEmpty());
    QVERIFY(QFileInfo::exists(dir + "/dev_Tmid.txt"));
    QVERIFY(!QFileInfo::exists(base() + "/dev_04"));
    QVERIFY(CalibrationFiles::recordFileName(d, 1, CalibrationTemperature::Middle).isEmpty());
}

void TestSaveDirs::noCheckedChannel()
{
    SaveDirs d;
    QVERIFY(d.plan(base(), "dev", checked({1})));
    d.confirm(SaveDirs::Accept);
    QVERIFY(!d.plan(base(), "x", PollChannels{}));
    QVERIFY(d.dirs().isEmpty());
    QVERIFY(d.ready());     // readiness is left as it was
}

QTEST_GUILESS_MAIN(TestSaveDirs)
#include "tst_savedirs.moc"
