// Record files, the measurement log and the least-squares point files as they
// land on disk during a calibration run.

#include "polling/calibrationfiles.h"
#include "polling/lineappender.h"
#include "polling/measurementcapture.h"

#include "common/bigendian.h"

#include <QtTest>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

Command3Answer answer(float i, float v1, float v2, float v3, float v4)
{
    return Command3Answer::decode(be(i) + char(0x24) + be(v1) + char(0x24) + be(v2)
                                  + char(0x24) + be(v3) + char(0x24) + be(v4));
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

PollChannels oneChannel(int index, int address)
{
    PollChannels c{};
    c[index] = PollChannelState{true, address};
    return c;
}

const QDateTime When(QDate(2026, 3, 4), QTime(5, 6, 7));

} // namespace

class TestCalibrationFiles : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void recordLandsInDeviceDirectory();
    void suffixes_data();
    void suffixes();
    void pointLineHasSixFields();
    void noTemperatureMeansNoPointFile();
    void badAnswersLeaveFilesUnchanged_data();
    void badAnswersLeaveFilesUnchanged();
    void fileStatus_data();
    void fileStatus();
    void pointFailureIsNotHiddenByNextDevice();
    void tornTailIsCutFromOwnFiles();
    void tornTail_data();
    void tornTail();
    void tornTailIsKeptInUserLog();
    void failedWriteLeavesNoFragment();
    void captureRunsOneCalibrationPoint();

private:
    SaveDirs readyDirs(const PollChannels &channels, const QString &base = "dev");
    std::unique_ptr<QTemporaryDir> m_tmp;
};

void TestCalibrationFiles::init()
{
    m_tmp.reset(new QTemporaryDir);
    QVERIFY(m_tmp->isValid());
}

SaveDirs TestCalibrationFiles::readyDirs(const PollChannels &channels, const QString &base)
{
    SaveDirs d;
    d.plan(m_tmp->path(), base, channels);
    d.confirm(SaveDirs::Accept);
    return d;
}

void TestCalibrationFiles::recordLandsInDeviceDirectory()
{
    const SaveDirs dirs = readyDirs(oneChannel(4, 2));
    const auto t = CalibrationFiles::temperature(false, true, false);
    const Command3Answer a = answer(4.01234f, 1.5f, -2.25f, 1e6f, 0);
    const auto out = CalibrationFiles::recordAnswer(dirs, t, {}, 2, true, a, 101.325, -0.5, When);
    const QString expected = m_tmp->path() + "/dev_02/dev_Tmin.txt";
    QCOMPARE(out.recordFile, expected);
    QVERIFY(out.recordWritten);
    QCOMPARE(out.status, MeasurementRow::FileStatus::Written);
    QCOMPARE(readAll(expected),
             QByteArray("04.03.2026 05:06:07\t4.0123e+00\t1.5000e+00\t-2.2500e+00\t1.0000e+06\t"
                        "0.0000e+00\t101.325\t-0.5\n"));

    // Each answer adds one complete line, there at once.
    CalibrationFiles::recordAnswer(dirs, t, {}, 2, true, a, 1, 2, When);
    const QList<QByteArray> lines = readAll(expected).split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i < 2; ++i)
        QCOMPARE(lines[i].split('\t').size(), 8);
}

void TestCalibrationFiles::suffixes_data()
{
    QTest::addColumn<bool>("mid");
    QTest::addColumn<bool>("low");
    QTest::addColumn<bool>("high");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("point");
    QTest::newRow("Tmid") << true << false << false << "_Tmid.txt" << "_Tmid_MNK.txt";
    QTest::newRow("Tmin") << false << true << false << "_Tmin.txt" << "_Tmin_MNK.txt";
    QTest::newRow("Tmax") << false << false << true << "_Tmax.txt" << "_Tmax_MNK.txt";
    QTest::newRow("none") << false << false << false << "_T.txt" << "";
}

void TestCalibrationFiles::suffixes()
{
    QFETCH(bool, mid);
    QFETCH(bool, low);
    QFETCH(bool, high);
    QFETCH(QString, record);
    QFETCH(QString, point);
    const auto t = CalibrationFiles::temperature(mid, low, high);
    QCOMPARE(CalibrationFiles::recordSuffix(t), record);
    QCOMPARE(CalibrationFiles::pointSuffix(t), point);
}

void TestCalibrationFiles::pointLineHasSixFields()
{
    PollChannels ch = oneChannel(1, 10);
    ch[3] = PollChannelState{true, 10};     // second channel on the same address
    const SaveDirs dirs = readyDirs(ch, "run");
    RunningMean means;
    means.fold(10, answer(4, 1.25f, 2.5f, 3.75f, -5), ch);
    const auto t = CalibrationTemperature::High;
    const auto outcomes = CalibrationFiles::addPoints(dirs, t, means, ch, 250.0, 0.001);
    QCOMPARE(outcomes.size(), 1);
    const QString name = m_tmp->path() + "/run_0a/run_Tmax_MNK.txt";
    QCOMPARE(outcomes[0].fileName, name);
    QVERIFY(outcomes[0].written);
    const QByteArray line = readAll(name);
    QCOMPARE(line, QByteArray("1.2500e+00\t2.5000e+00\t3.7500e+00\t-5.0000e+00\t2.5000e+02\t"
                              "1.0000e-03\n"));
    QCOMPARE(line.trimmed().split('\t').size(), 6);
    QCOMPARE(CalibrationFiles::pointStatusText(outcomes),
             QStringLiteral("Файл калибровки МНК записан ") + name);
}

void TestCalibrationFiles::noTemperatureMeansNoPointFile()
{
    const PollChannels ch = oneChannel(0, 1);
    const SaveDirs dirs = readyDirs(ch);
    const auto t = CalibrationFiles::temperature(false, false, false);
    const auto out = CalibrationFiles::recordAnswer(dirs, t, {}, 1, true,
                                                    answer(4, 1, 2, 3, 4), 0, 0, When);
    QCOMPARE(QFileInfo(out.recordFile).fileName(), QStringLiteral("dev_T.txt"));
    QVERIFY(out.recordWritten);
    RunningMean means;
    QVERIFY(CalibrationFiles::addPoints(dirs, t, means, ch, 0, 0).isEmpty());
    QCOMPARE(QDir(m_tmp->path() + "/dev_01").entryList(QDir::Files),
             QStringList{"dev_T.txt"});
}

void TestCalibrationFiles::badAnswersLeaveFilesUnchanged_data()
{
    QTest::addColumn<bool>("checksumOk");
    QTest::addColumn<int>("dataSize");
    QTest::newRow("bad checksum") << false << 24;
    QTest::newRow("error answer without data") << true << 0;
    QTest::newRow("truncated data") << true << 20;
}

void TestCalibrationFiles::badAnswersLeaveFilesUnchanged()
{
    QFETCH(bool, checksumOk);
    QFETCH(int, dataSize);
    const SaveDirs dirs = readyDirs(oneChannel(0, 3));
    const QString log = m_tmp->path() + "/log.txt";
    const CalibrationFiles::LogTarget logTarget{true, log};
    const auto t = CalibrationTemperature::Middle;
    const Command3Answer good = answer(4, 1, 2, 3, 4);
    CalibrationFiles::recordAnswer(dirs, t, logTarget, 3, true, good, 0, 0, When);
    const QString record = CalibrationFiles::recordFileName(dirs, 3, t);
    const QByteArray recordBefore = readAll(record);
    const QByteArray logBefore = readAll(log);
    QVERIFY(!recordBefore.isEmpty() && !logBefore.isEmpty());

    QByteArray data = be(4) + char(0) + be(1) + char(0) + be(2) + char(0) + be(3) + char(0) + be(4);
    data.truncate(dataSize);
    const auto out = CalibrationFiles::recordAnswer(dirs, t, logTarget, 3, checksumOk,
                                                    Command3Answer::decode(data), 0, 0, When);
    QCOMPARE(out.status, MeasurementRow::FileStatus::OpenError);
    QVERIFY(!out.recordWritten && !out.logWritten);
    QCOMPARE(readAll(record), recordBefore);
    QCOMPARE(readAll(log), logBefore);
}

void TestCalibrationFiles::fileStatus_data()
{
    using FS = MeasurementRow::FileStatus;
    QTest::addColumn<bool>("ready");
    QTest::addColumn<int>("address");        // 5 has a directory
    QTest::addColumn<bool>("saveBox");
    QTest::addColumn<QString>("logName");    // "ok" = a writable log
    QTest::addColumn<bool>("breakRecord");   // a directory where the record file should be
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("logWritten");

    QTest::newRow("nothing chosen") << false << 5 << false << "" << false << int(FS::NotChosen) << false;
    QTest::newRow("address without directory") << true << 6 << false << "" << false << int(FS::NotChosen) << false;
    QTest::newRow("save box with empty log name is ignored") << false << 5 << true << "" << false << int(FS::NotChosen) << false;
    QTest::newRow("log alone") << false << 5 << true << "ok" << false << int(FS::Written) << true;
    QTest::newRow("log box off") << false << 5 << false << "ok" << false << int(FS::NotChosen) << false;
    QTest::newRow("log in a missing folder: the folder is made") << false << 5 << true << "data/x.txt" << false << int(FS::Written) << true;
    QTest::newRow("log that cannot open is said") << false << 5 << true << "isdir" << false << int(FS::LogError) << false;
    QTest::newRow("record written, failed log is said") << true << 5 << true << "isdir" << false << int(FS::LogError) << false;
    QTest::newRow("record and log") << true << 5 << true << "ok" << false << int(FS::Written) << true;
    QTest::newRow("record fails, log does not hide it") << true << 5 << true << "ok" << true << int(FS::WriteError) << true;
}

void TestCalibrationFiles::fileStatus()
{
    QFETCH(bool, ready);
    QFETCH(int, address);
    QFETCH(bool, saveBox);
    QFETCH(QString, logName);
    QFETCH(bool, breakRecord);
    QFETCH(int, status);
    QFETCH(bool, logWritten);

    SaveDirs dirs;
    if (ready)
        dirs = readyDirs(oneChannel(0, 5));
    const auto t = CalibrationTemperature::Middle;
    if (breakRecord)
        QVERIFY(QDir().mkpath(CalibrationFiles::recordFileName(dirs, 5, t)));
    const QString log = logName == "ok" ? m_tmp->path() + "/log.txt"
                      : logName.isEmpty() ? QString() : m_tmp->path() + "/" + logName;
    if (logName == "isdir")
        QVERIFY(QDir().mkpath(log));
    const auto out = CalibrationFiles::recordAnswer(dirs, t, {saveBox, log}, address, true,
                                                    answer(4, 1, 2, 3, 4), 0, 0, When);
    QCOMPARE(int(out.status), status);
    QCOMPARE(out.logWritten, logWritten);
    // A failure carries its reason; a success none.
    QCOMPARE(out.logError.isEmpty(), logWritten || !saveBox || log.isEmpty());
    QCOMPARE(out.recordError.isEmpty(), !breakRecord);
    // The log line is the record line and the answering address.
    if (logWritten)
        QCOMPARE(readAll(log).trimmed().split('\t').mid(8), QList<QByteArray>{"05"});
    // Nothing stray appears when nothing is in use.
    if (!saveBox && !ready)
        QCOMPARE(QDir(m_tmp->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestCalibrationFiles::pointFailureIsNotHiddenByNextDevice()
{
    PollChannels ch = oneChannel(0, 1);
    ch[1] = PollChannelState{true, 2};
    const SaveDirs dirs = readyDirs(ch);
    const auto t = CalibrationTemperature::Middle;
    QVERIFY(QDir().mkpath(CalibrationFiles::pointFileName(dirs, 1, t)));  // blocks device 1
    RunningMean means;
    const auto outcomes = CalibrationFiles::addPoints(dirs, t, means, ch, 0, 0);
    QCOMPARE(outcomes.size(), 2);
    QVERIFY(!outcomes[0].written);
    QVERIFY(outcomes[1].written);
    const QStringList lines = CalibrationFiles::pointStatusText(outcomes).split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("Файл калибровки МНК не записан"));
    QVERIFY(lines[1].startsWith(QStringLiteral("Файл калибровки МНК записан ")));

    SaveDirs notReady;
    QVERIFY(CalibrationFiles::addPoints(notReady, t, means, ch, 0, 0).isEmpty());
}

void TestCalibrationFiles::tornTailIsCutFromOwnFiles()
{
    const QString name = m_tmp->path() + "/p.txt";
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("1\t2\t3\t4\t5\t6\n1.0e+0\t2.");
    f.close();
    QVERIFY(LineAppender::append(name, "7\t8\t9\t10\t11\t12\n"));
    QCOMPARE(readAll(name), QByteArray("1\t2\t3\t4\t5\t6\n7\t8\t9\t10\t11\t12\n"));

    // A file that is nothing but a fragment.
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(5000, 'x'));
    f.close();
    QVERIFY(LineAppender::append(name, "a\tb\n"));
    QCOMPARE(readAll(name), QByteArray("a\tb\n"));
}

void TestCalibrationFiles::tornTail_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");   // once the six-field point line is appended

    const QByteArray line = "1\t2\t3\t4\t5\t6\n";
    const QByteArray next = "7\t8\t9\t10\t11\t12\n";
    QTest::newRow("ends with its break") << line << line + next;
    QTest::newRow("last line whole, no break") << line + "1\t2\t3\t4\t5\t6.5" << line + "1\t2\t3\t4\t5\t6.5\n" + next;
    QTest::newRow("only line whole, no break") << QByteArray("1\t2\t3\t4\t5\t6") << QByteArray("1\t2\t3\t4\t5\t6\n") + next;
    QTest::newRow("whole line torn before its LF") << line + "1\t2\t3\t4\t5\t6\r"
                                                    << line + "1\t2\t3\t4\t5\t6\r\n" + next;
    QTest::newRow("fragment of five fields") << line + "1\t2\t3\t4\t5" << line + next;
    QTest::newRow("fragment torn in a value") << line + "1.0e+0\t2." << line + next;
    QTest::newRow("fragment of one field") << line + "1.2345e" << line + next;
    QTest::newRow("lone CR") << line + "\r" << line + next;
    QTest::newRow("a record line, whole")
        << QByteArray("04.03.2026 05:06:07\t1\t2\t3\t4\t5\t6\t7")
        << QByteArray("04.03.2026 05:06:07\t1\t2\t3\t4\t5\t6\t7\n") + "x\t1\t2\t3\t4\t5\t6\t7\n";
    QTest::newRow("a record line, torn")
        << QByteArray("04.03.2026 05:06:07\t1\t2\t3") << QByteArray("x\t1\t2\t3\t4\t5\t6\t7\n");
}

void TestCalibrationFiles::tornTail()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QString name = m_tmp->path() + "/tail.txt";
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(before);
    f.close();
    // The appended line has as many fields as the lines the file holds.
    const QByteArray line = after.mid(after.lastIndexOf('\n', after.size() - 2) + 1);
    QVERIFY(LineAppender::append(name, line));
    QCOMPARE(readAll(name), after);
}

void TestCalibrationFiles::tornTailIsKeptInUserLog()
{
    const QString name = m_tmp->path() + "/notes.txt";
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("my own notes");
    f.close();
    QVERIFY(LineAppender::append(name, "line\n", LineAppender::TornTail::Separate));
    QCOMPARE(readAll(name), QByteArray("my own notes\nline\n"));
}

void TestCalibrationFiles::failedWriteLeavesNoFragment()
{
    QVERIFY(!LineAppender::append(m_tmp->path() + "/missing/dir/f.txt", "x\n"));
#ifdef Q_OS_LINUX
    // A file size limit makes the system accept only part of the line, as a
    // full disk would.
    const QString name = m_tmp->path() + "/r.txt";
    QVERIFY(LineAppender::append(name, "first\tline\n"));
    const QByteArray before = readAll(name);
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = old;
    lim.rlim_cur = rlim_t(before.size() + 5);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &lim), 0);
    QString error;
    const bool ok = LineAppender::append(name, QByteArray(40, 'y') + "\n",
                                         LineAppender::TornTail::Cut, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(name), before);
    // The next line goes on cleanly.
    QVERIFY(LineAppender::append(name, "next\n"));
    QCOMPARE(readAll(name), before + "next\n");
#endif
}

void TestCalibrationFiles::captureRunsOneCalibrationPoint()
{
    MeasurementCapture cap;
    MeasurementCapture::Inputs in;
    in.channels = oneChannel(2, 2);
    in.temperature = CalibrationTemperature::Low;
    QVERIFY(!cap.setPressue(1000, 0, 0));       // no save files chosen yet

    cap.saveDirs().plan(m_tmp->path(), "dev", in.channels);
    cap.saveDirs().confirm(SaveDirs::Accept);
    QVERIFY(cap.setPressue(1000, -2, 0));       // Pa
    QCOMPARE(cap.pressure().plus(), 1.0);
    cap.startFindAvg();

    const QByteArray data = be(4) + char(0) + be(10) + char(0) + be(20) + char(0) + be(30)
                          + char(0) + be(40);
    MeasurementCapture::Answer a{2, true, data, When};
    const auto v = cap.handleAnswer(a, in);
    QCOMPARE(v.row, 0);
    QCOMPARE(v.texts.first(), QStringLiteral("02"));
    QCOMPARE(v.texts.at(6), QStringLiteral("1"));
    QCOMPARE(v.file.text, QStringLiteral("Записан"));
    QCOMPARE(v.means[2], QStringLiteral("10.0000 мВ 20.0000 мВ"));
    QVERIFY(v.means[0].isNull());
    a.checksumOk = false;                        // shown, neither written nor averaged
    QCOMPARE(cap.handleAnswer(a, in).crc.text, QStringLiteral("BAD"));
    QCOMPARE(cap.means().channel(2).count, 1);
    QCOMPARE(cap.tableRow(), 2);

    const auto r = cap.addDataCoef(in);
    QCOMPARE(r.outcomes.size(), 1);
    QVERIFY(r.status.startsWith(QStringLiteral("Файл калибровки МНК записан ")));
    QCOMPARE(readAll(m_tmp->path() + "/dev_02/dev_Tmin_MNK.txt"),
             QByteArray("1.0000e+01\t2.0000e+01\t3.0000e+01\t4.0000e+01\t1.0000e+00\t-2.0000e-03\n"));
    QCOMPARE(readAll(m_tmp->path() + "/dev_02/dev_Tmin.txt").count('\n'), 1);
    QCOMPARE(cap.means().channel(2).count, 0);
    QVERIFY(!cap.averagingOn() && !cap.buttons().mo && cap.buttons().setPressue);
    QCOMPARE(r.means[2], QStringLiteral("0.0000 мВ 0.0000 мВ"));
    QCOMPARE(r.means[0], QStringLiteral(""));
}

QTEST_GUILESS_MAIN(TestCalibrationFiles)
#include "tst_calibrationfiles.moc"
