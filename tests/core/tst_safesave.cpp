// Saving the device data file over what is already at its path: a new or
// plain file is replaced atomically, a file with other names or another
// owner, or in a folder we cannot create files in, is written in place, and
// what is no regular file is refused with the reason and left as it was.

#include "common/files.h"
#include "devicedata/devicedatafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

class Recorder : public DiagnosticStreams
{
public:
    QByteArray errText;
    void out(const QByteArray &) override {}
    void err(const QByteArray &t) override { errText += t; }
};

QString u8(const char *s) { return QString::fromUtf8(s); }

DeviceRecord fullRecord()
{
    DeviceRecord r;
    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i)
        r.setDeviceText(i, QString::number(i + 0.5));
    return r;
}

} // namespace

class TestSafeSave : public QObject
{
    Q_OBJECT

private slots:
    void saveKeepsWhatIsThere_data();
    void saveKeepsWhatIsThere();
};

void TestSafeSave::saveKeepsWhatIsThere_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("replaced");   // a new file took the old one's place
    QTest::newRow("new file") << "new" << true << true;
    QTest::newRow("plain file, replaced atomically") << "plain" << true << true;
    QTest::newRow("second name of a hard link") << "hardlink" << true << false;
    QTest::newRow("file of another owner") << "foreign" << true << false;
    QTest::newRow("writable file in a read-only folder") << "lockedfolder" << true << false;
    QTest::newRow("symbolic link to a file") << "symlink" << true << true;
    QTest::newRow("named pipe") << "fifo" << false << false;
    QTest::newRow("folder") << "folder" << false << false;
}

void TestSafeSave::saveKeepsWhatIsThere()
{
#ifndef Q_OS_LINUX
    QSKIP("links, owners and pipes are checked where the system has them");
#else
    QFETCH(QString, target);
    QFETCH(bool, saved);
    QFETCH(bool, replaced);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.txt");
    const QByteArray old = "Pmax:1:old\n";
    const QByteArray native = QFile::encodeName(path);
    QString other;   // the other name the target is reached by, if any
    if (target == "plain" || target == "hardlink" || target == "foreign" || target == "lockedfolder")
        writeFile(path, old);
    if (target == "hardlink") {
        other = dir.filePath("other-name.txt");
        QCOMPARE(::link(native.constData(), QFile::encodeName(other).constData()), 0);
    } else if (target == "foreign") {
        if (::geteuid() != 0)
            QSKIP("only the superuser can give a file to another owner");
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
    } else if (target == "lockedfolder") {
        // The superuser may create files in any folder: the save then runs
        // as an ordinary user who owns the folder and the file.
        if (::geteuid() == 0) {
            QCOMPARE(::chown(QFile::encodeName(dir.path()).constData(), 65534, 65534), 0);
            QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        }
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else if (target == "symlink") {
        other = dir.filePath("real.txt");
        writeFile(other, old);
        QVERIFY(QFile::link(other, path));
    } else if (target == "fifo") {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (target == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("data.txt"));
    }
    struct stat before{};
    const bool existed = ::stat(native.constData(), &before) == 0;

    Recorder rec;
    DeviceDataFile::SaveResult s;
    if (target == "lockedfolder" && ::geteuid() == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0
                    && DeviceDataFile::save(path, fullRecord(), DiagnosticStreams::discard()).ok;
            ::_exit(ok ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    } else {
        s = DeviceDataFile::save(path, fullRecord(), rec);
    }
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(s.ok, saved);
    struct stat after{};
    QCOMPARE(::stat(native.constData(), &after), 0);
    if (!saved) {
        // Refused with the reason, and what was there is still there.
        QCOMPARE(s.message.kind, UserMessage::Critical);
        QVERIFY2(s.message.text.contains(u8("не обычный файл")), qPrintable(s.message.text));
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        return;
    }
    const QByteArray written = DeviceDataFile::serialize(fullRecord());
    QCOMPARE(readAll(path), written);
    if (existed)
        QCOMPARE(after.st_ino != before.st_ino, replaced);
    if (target == "hardlink") {
        QCOMPARE(readAll(other), written);
        QCOMPARE(int(after.st_nlink), 2);
    } else if (target == "foreign") {
        QCOMPARE(int(after.st_uid), 65534);
    } else if (target == "symlink") {
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(readAll(other), written);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), other.isEmpty() ? 1 : 2);
#endif
}

QTEST_GUILESS_MAIN(TestSafeSave)
#include "tst_safesave.moc"
