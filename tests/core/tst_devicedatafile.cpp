// Device data files: the dialog's writer and reader, the parameters dialog's
// writer and reader, and what each makes of damaged files.

#include "common/files.h"
#include "devicedata/devicedatafile.h"
#include "devicedata/linereader.h"
#include "devicedata/parametersfile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace DeviceItems;

namespace {

class Recorder : public DiagnosticStreams
{
public:
    QByteArray outText;
    QByteArray errText;
    void out(const QByteArray &t) override { outText += t; }
    void err(const QByteArray &t) override { errText += t; }
};

QString u8(const char *s) { return QString::fromUtf8(s); }

DeviceDataFile::LoadResult load1(const QByteArray &data, const DeviceRecord &current,
                                 Recorder &rec)
{
    QBuffer b;
    b.setData(data);
    b.open(QIODevice::ReadOnly);
    return DeviceDataFile::load(b, current, rec);
}

ParametersFile::LoadResult load2(const QByteArray &data, Recorder &rec)
{
    QBuffer b;
    b.setData(data);
    b.open(QIODevice::ReadOnly);
    return ParametersFile::load(b, rec);
}

DeviceRecord fullRecord()
{
    DeviceRecord r;
    for (int i = 0; i < DeviceItemCount; ++i)
        r.setDeviceText(i, QString::number(i + 0.5));
    r.setDeviceText(0, u8("ЛТ3920ДВ"));
    r.setDeviceText(1, "-3");
    r.setDeviceText(2, "4000000000");
    r.setDeviceText(3, u8("кгс/см2"));
    r.setDeviceText(22, "8");
    r.setDeviceText(23, "200");
    r.setDeviceText(24, "123456");
    r.setDeviceText(25, "1");
    const char *program[] = {"500", "3000", "3", "400", "2000", "1", "9600",
                             "8", "Нечетный", "1.5", "да", "10"};
    for (int i = 0; i < ProgramItemCount; ++i)
        r.setProgramTextAt(i, u8(program[i]));
    return r;
}

} // namespace

class TestDeviceDataFile : public QObject
{
    Q_OBJECT

private slots:
    void partialSaveWritesOnlyFilledItems();
    void fullRecordRoundTrip();
    void twoLineDescriptionLoadsWithOneDiagnostic();
    void listValuesMustMatchExactly();
    void badNumberSkippedByDialogAbandonsParameters();
    void invalidProgramValueReportedAndLoadContinues();
    void dialogReaderDiagnostics();
    void twoFieldValueKeepsNoTerminator();
    void saveFailureReportedAndPreviousFileKept();
    void saveReportsAbsolutePath();
    void openFailures();
    void malformedFiles_data();
    void malformedFiles();
    void hugeLineIsLinear();
    void lineSplitting();
    void parametersReaderKinds();
    void parametersReaderHoldsWhatRegistersHold_data();
    void parametersReaderHoldsWhatRegistersHold();
    void parametersReaderFinalEmptyLine();
    void parametersReaderReadsDialogFile();
    void parametersWriterLines();
    void dialogReaderReadsParametersFile();
};

void TestDeviceDataFile::partialSaveWritesOnlyFilledItems()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("part.txt");
    DeviceRecord r;
    r.setDeviceText(devicePosition("Pmax"), "250000");
    r.setDeviceText(devicePosition("Kdsp10"), "1.02");
    r.setProgramText("serial_sb", "2");
    Recorder rec;
    const DeviceDataFile::SaveResult s = DeviceDataFile::save(path, r, rec);
    QVERIFY(s.ok);
    QCOMPARE(s.message.kind, UserMessage::Information);
    QCOMPARE(s.message.title, u8("Сохранение"));
    QCOMPARE(readAll(path),
             QByteArray("Pmax:250000:Максимальный верхний предел диапазона измерений, Па\n"
                        "Kdsp10:1.02:Поправочный коэффициент для диапазона №10\n"
                        "serial_sb:2:Количество стоп бит серийного порта\n"));
    QVERIFY(rec.errText.isEmpty());

    // Loading it over other values changes only the items in the file.
    DeviceRecord shown;
    shown.setDeviceText(devicePosition("Pmax"), "1");
    shown.setDeviceText(devicePosition("a42"), "7.5");
    shown.setProgramText("timeout", "3000");
    const DeviceDataFile::LoadResult l = DeviceDataFile::load(path, shown, rec);
    QVERIFY(l.opened);
    QCOMPARE(l.record.deviceText(devicePosition("Pmax")), QStringLiteral("250000"));
    QCOMPARE(l.record.deviceText(devicePosition("Kdsp10")), QStringLiteral("1.02"));
    QCOMPARE(l.record.deviceText(devicePosition("a42")), QStringLiteral("7.5"));
    QCOMPARE(l.record.programText("timeout"), QStringLiteral("3000"));
    QCOMPARE(l.record.programText("serial_sb"), QStringLiteral("2"));
    QCOMPARE(l.devicePositionsLoaded, QVector<int>({4, 38}));
    QCOMPARE(l.programRowsLoaded, QVector<int>({9}));
}

void TestDeviceDataFile::fullRecordRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("full.txt");
    const DeviceRecord r = fullRecord();
    Recorder rec;
    QVERIFY(DeviceDataFile::save(path, r, rec).ok);
    const DeviceDataFile::LoadResult l = DeviceDataFile::load(path, DeviceRecord(), rec);
    QCOMPARE(l.record, r);
    QVERIFY(l.messages.isEmpty());
    // Eight descriptions span two lines (U10, U20, the a4 and b4 groups).
    QCOMPARE(rec.errText.count("No ':' found\n"), 8);
}

void TestDeviceDataFile::twoLineDescriptionLoadsWithOneDiagnostic()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("u10.txt");
    DeviceRecord r;
    r.setDeviceText(devicePosition("U10"), "0.125");
    Recorder rec;
    QVERIFY(DeviceDataFile::save(path, r, rec).ok);
    const QList<QByteArray> lines = readAll(path).split('\n');
    QCOMPARE(lines.size(), 3); // two physical lines and the empty rest after the last LF
    QCOMPARE(lines[0], QByteArray("U10:0.125:Значение U1 при НУ при максимальном статическом"));
    QVERIFY(lines[1].startsWith("давлении Pстат"));

    const DeviceDataFile::LoadResult l = DeviceDataFile::load(path, DeviceRecord(), rec);
    QCOMPARE(rec.errText, QByteArray("U10 .= 0.125\nNo ':' found\n"));
    QCOMPARE(l.record.deviceText(devicePosition("U10")), QStringLiteral("0.125"));
}

void TestDeviceDataFile::listValuesMustMatchExactly()
{
    Recorder rec;
    DeviceDataFile::LoadResult l =
            load1("model_name:ЛТ3920ДД:x\nmu:мм рт. ст.:y\n", DeviceRecord(), rec);
    QCOMPARE(l.record.deviceText(0), u8("ЛТ3920ДД"));
    QCOMPARE(l.record.deviceText(3), u8("мм рт. ст."));

    rec = Recorder();
    DeviceRecord before;
    before.setDeviceText(0, u8("ЛТ3920ДИ"));
    l = load1("model_name:лт3920дд:x\nmu:Па\n", before, rec);
    QCOMPARE(l.record, before); // lower case and a two-field list value are skipped...
    QVERIFY(l.messages.isEmpty()); // ...silently
    QVERIFY(rec.errText.isEmpty());
}

void TestDeviceDataFile::badNumberSkippedByDialogAbandonsParameters()
{
    const QByteArray file = "Uk1h:1.5\nPmax:много:Максимальный\nU10:2\n";
    Recorder rec;
    DeviceRecord before;
    before.setDeviceText(devicePosition("Pmax"), "100");
    const DeviceDataFile::LoadResult l = load1(file, before, rec);
    QCOMPARE(l.record.deviceText(devicePosition("Pmax")), QStringLiteral("100"));
    QCOMPARE(l.record.deviceText(devicePosition("U10")), QStringLiteral("2"));
    QVERIFY(l.messages.isEmpty());
    QCOMPARE(rec.errText, QByteArray("Uk1h .= 1.5\nU10 .= 2\n"));

    Recorder rec2;
    const ParametersFile::LoadResult p = load2(file, rec2);
    QCOMPARE(p.status, ParametersFile::LoadStatus::Corrupted);
    QVERIFY(rec2.errText.endsWith("Configuration file is corrupted: stod invalid argument\n"));
    QCOMPARE(rec2.errText.count("Configuration file is corrupted"), 1);
    QVERIFY(!rec2.errText.contains("U10")); // nothing after the bad line
    for (int i = 0; i < ParametersFile::RecordSize; ++i) {
        QCOMPARE(p.values[size_t(i)], 0.0f); // nothing handed over
        QVERIFY(!p.found[size_t(i)]);
    }
}

void TestDeviceDataFile::invalidProgramValueReportedAndLoadContinues()
{
    Recorder rec;
    const DeviceDataFile::LoadResult l = load1(
            "serial_nBits:9:Количество бит данных серийного порта\n"
            "serial_parity:нечетный:x\n"
            "T_query:750:Период опроса, мс\n",
            DeviceRecord(), rec);
    QCOMPARE(l.messages.size(), 2);
    QCOMPARE(l.messages[0].kind, UserMessage::Critical);
    QCOMPARE(l.messages[0].title, u8("Ошибка"));
    QCOMPARE(l.messages[0].text, u8("Ошибка при чтении конфигурационного файла: serial_nBits 9"));
    QCOMPARE(l.messages[1].text,
             u8("Ошибка при чтении конфигурационного файла: serial_parity нечетный"));
    QVERIFY(l.record.programText("serial_nBits").isEmpty());
    QCOMPARE(l.record.programText("T_query"), QStringLiteral("750"));
}

void TestDeviceDataFile::dialogReaderDiagnostics()
{
    Recorder rec;
    load1("Pmax:1e6:d\nserial:42\nunknown:x:y\n", DeviceRecord(), rec);
    // The two-field value runs to the end of the line, terminator included.
    QCOMPARE(rec.outText, QByteArray("Pmax == 1e6\nserial == 42\n\nunknown == x\n"));
    QCOMPARE(rec.errText, QByteArray("Pmax .= 1e+06\n"));
}

void TestDeviceDataFile::twoFieldValueKeepsNoTerminator()
{
    Recorder rec;
    const DeviceDataFile::LoadResult l =
            load1("Pmax:2.5\r\nserial_nBits:7\ntimeout:100", DeviceRecord(), rec);
    QCOMPARE(l.record.deviceText(devicePosition("Pmax")), QStringLiteral("2.5"));
    QCOMPARE(l.record.programText("serial_nBits"), QStringLiteral("7"));
    QCOMPARE(l.record.programText("timeout"), QStringLiteral("100"));
    // So a later save keeps one item per line.
    QVERIFY(DeviceDataFile::serialize(l.record).startsWith(
            "Pmax:2.5:Максимальный верхний предел диапазона измерений, Па\n"));
}

void TestDeviceDataFile::saveFailureReportedAndPreviousFileKept()
{
    QTemporaryDir dir;
    Recorder rec;
    // A directory that does not exist cannot take the file.
    const QString missing = dir.filePath("no/such/dir/f.txt");
    DeviceDataFile::SaveResult s = DeviceDataFile::save(missing, fullRecord(), rec);
    QVERIFY(!s.ok);
    QVERIFY(!s.errorString.isEmpty());
    QCOMPARE(s.message.kind, UserMessage::Critical);
    QCOMPARE(s.message.title, u8("Ошибка"));
    QCOMPARE(s.message.text, u8("Ошибка при сохранении конфигурационного файла: ") + s.errorString);
    QCOMPARE(rec.errText, "Couldn't open save file: " + s.errorString.toUtf8() + '\n');

#ifdef Q_OS_LINUX
    // A disk that fills up half-way through: a file size limit makes the
    // write fail the same way, after the file has been created.
    const QString path = dir.filePath("keep.txt");
    const QByteArray previous = "Pmax:1:old\n";
    writeFile(path, previous);
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    rec = Recorder();
    s = DeviceDataFile::save(path, fullRecord(), rec);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!s.ok);
    QCOMPARE(s.message.kind, UserMessage::Critical);
    QVERIFY(rec.errText.startsWith("Couldn't open save file: "));
    QCOMPARE(readAll(path), previous);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"keep.txt"}));
#endif
}

void TestDeviceDataFile::saveReportsAbsolutePath()
{
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    Recorder rec;
    const DeviceDataFile::SaveResult s = DeviceDataFile::save("rel.txt", fullRecord(), rec);
    QVERIFY(s.ok);
    const QString abs = QDir(dir.path()).absoluteFilePath("rel.txt");
    QCOMPARE(s.absolutePath, abs);
    QCOMPARE(s.message.text, u8("Конфигурационный файл успешно сохранён по пути: ") + abs);
}

void TestDeviceDataFile::openFailures()
{
    Recorder rec;
    DeviceRecord before;
    before.setDeviceText(4, "3");
    const DeviceDataFile::LoadResult l = DeviceDataFile::load(QString(), before, rec);
    QVERIFY(!l.opened);
    QCOMPARE(l.record, before);
    QVERIFY(l.messages.isEmpty());
    QCOMPARE(rec.errText, QByteArray("Error opening file\n"));

    Recorder rec2;
    QCOMPARE(ParametersFile::load("/nonexistent/x.txt", rec2).status,
             ParametersFile::LoadStatus::OpenFailed);
    QCOMPARE(rec2.errText, QByteArray("Error opening file\n"));

    Recorder rec3;
    ParametersFile w;
    QVERIFY(!w.open("/nonexistent/dir/x.txt", rec3));
    QCOMPARE(rec3.errText, QByteArray("Couldn't open save file\n"));
    QVERIFY(!w.appendG("Ksi", 1));
}

void TestDeviceDataFile::malformedFiles_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("noColon1");      // "No ':' found" lines from the dialog's reader
    QTest::addColumn<int>("noColon2");      // ... from the parameters reader (which stops early)
    QTest::addColumn<QByteArray>("corrupt2"); // the parameters reader's verdict, empty if none
    QTest::addColumn<QString>("pmax1");     // Pmax after the dialog's reader

    QTest::newRow("empty") << QByteArray() << 0 << 1 << QByteArray() << QString();
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919 + 13) % 256));
    garbage.replace(':', ';').replace('\n', '.');
    QTest::newRow("binary garbage") << garbage << 1 << 1 << QByteArray() << QString();
    QTest::newRow("no colons") << QByteArray("a\nb\nc\n") << 3 << 4 << QByteArray() << QString();
    QTest::newRow("CR LF") << QByteArray("Pmax:5\r\nKsi:1:d\r\n") << 0 << 1 << QByteArray()
                           << "5";
    QTest::newRow("NUL in value") << QByteArray("Pmax:5\0x\n", 9) << 0 << 1 << QByteArray()
                                  << QString();
    QTest::newRow("NUL in key") << QByteArray("Pm\0ax:5\n", 8) << 0 << 1 << QByteArray()
                                << QString();
    QTest::newRow("float overflow") << QByteArray("Pmax:1e400\n") << 0 << 0
                                    << QByteArray("stod out of range\n") << QString();
    QTest::newRow("int overflow") << QByteArray("bal_IDAC:99999999999\n") << 0 << 0
                                  << QByteArray("stoi out of range\n") << QString();
    QTest::newRow("ulong overflow") << QByteArray("serial:99999999999999999999999\n") << 0 << 0
                                    << QByteArray("stoul out of range\n") << QString();
    QTest::newRow("stoi no digits") << QByteArray("model_code:-x\n") << 0 << 0
                                    << QByteArray("stoi invalid argument\n") << QString();
    QTest::newRow("only colons") << QByteArray(":::::\n") << 0 << 1 << QByteArray() << QString();
    QTest::newRow("no final LF") << QByteArray("Pmax:7") << 0 << 0 << QByteArray() << "7";
    QTest::newRow("lone CR") << QByteArray("\r") << 1 << 1 << QByteArray() << QString();
}

void TestDeviceDataFile::malformedFiles()
{
    QFETCH(QByteArray, data);
    QFETCH(int, noColon1);
    QFETCH(int, noColon2);
    QFETCH(QByteArray, corrupt2);
    QFETCH(QString, pmax1);

    Recorder rec;
    const DeviceDataFile::LoadResult l = load1(data, DeviceRecord(), rec);
    QVERIFY(l.opened);
    QCOMPARE(rec.errText.count("No ':' found\n"), noColon1);
    QCOMPARE(l.record.deviceText(devicePosition("Pmax")), pmax1);

    Recorder rec2;
    const ParametersFile::LoadResult p = load2(data, rec2);
    QCOMPARE(rec2.errText.count("No ':' found\n"), noColon2);
    if (corrupt2.isEmpty()) {
        QCOMPARE(p.status, ParametersFile::LoadStatus::Ok);
    } else {
        QCOMPARE(p.status, ParametersFile::LoadStatus::Corrupted);
        QVERIFY(rec2.errText.endsWith("Configuration file is corrupted: " + corrupt2));
    }
}

void TestDeviceDataFile::hugeLineIsLinear()
{
    // Ten megabytes on one line, a colon near the end and a digit run that
    // overflows every conversion.
    QByteArray big(10 * 1024 * 1024, '7');
    big.prepend("Pmax:");
    big.append("\nKsi:2\n");
    Recorder rec;
    const DeviceDataFile::LoadResult l = load1(big, DeviceRecord(), rec);
    QVERIFY(l.record.deviceText(devicePosition("Pmax")).isEmpty()); // beyond single precision
    QCOMPARE(l.record.deviceText(devicePosition("Ksi")), QStringLiteral("2"));

    Recorder rec2;
    const ParametersFile::LoadResult p = load2(big, rec2);
    QCOMPARE(p.status, ParametersFile::LoadStatus::Corrupted);
    QVERIFY(rec2.errText.endsWith("Configuration file is corrupted: stod out of range\n"));

    // Without any line break at all.
    QByteArray flat(3 * 1024 * 1024, 'x');
    Recorder rec3;
    QCOMPARE(load1(flat, DeviceRecord(), rec3).record, DeviceRecord());
    QCOMPARE(rec3.errText, QByteArray("No ':' found\n"));
}

void TestDeviceDataFile::lineSplitting()
{
    // A CR LF split across the reader's 64 KiB chunks still reads as one LF.
    QByteArray data(64 * 1024 - 1, 'a');
    data += "\r\nb\r\n\nc";
    QBuffer b(&data);
    b.open(QIODevice::ReadOnly);
    LineReader lines(b);
    QByteArray line;
    QVERIFY(lines.next(&line));
    QCOMPARE(line.size(), 64 * 1024);
    QVERIFY(line.endsWith("a\n"));
    QVERIFY(lines.next(&line));
    QCOMPARE(line, QByteArray("b\n"));
    QVERIFY(lines.next(&line));
    QCOMPARE(line, QByteArray("\n"));
    QVERIFY(lines.next(&line));
    QCOMPARE(line, QByteArray("c"));
    QVERIFY(!lines.next(&line));

    // Past the length limit a line comes out in pieces.
    QByteArray longLine(100, 'x');
    longLine += "\ny";
    QBuffer b2(&longLine);
    b2.open(QIODevice::ReadOnly);
    LineReader limited(b2, 40);
    QList<QByteArray> got;
    while (limited.next(&line))
        got << line;
    QCOMPARE(got, QList<QByteArray>({QByteArray(40, 'x'), QByteArray(40, 'x'),
                                     QByteArray(20, 'x') + '\n', "y"}));
}

void TestDeviceDataFile::parametersReaderKinds()
{
    Recorder rec;
    const ParametersFile::LoadResult p = load2(
            "bal_IDAC: 12 \nItenzo:-1\nmodel_code:300\nserial:4294967295\nmodel_name:ЛТ3920ДВИ\n"
            "Pmax:1.5e6:description\nKdsp10:2:x\nc43:-3e38\nmu:Па\nzzz:no\n",
            rec);
    QCOMPARE(p.status, ParametersFile::LoadStatus::Ok);
    auto value = [&](const char *key) { return p.values[size_t(ParametersFile::recordIndex(key))]; };
    QCOMPARE(value("bal_IDAC"), 12.0f);
    QCOMPARE(value("Itenzo"), -1.0f);
    QCOMPARE(value("model_code"), 300.0f);
    QCOMPARE(value("serial"), 4294967295.0f);
    QCOMPARE(p.exact[size_t(ParametersFile::recordIndex("serial"))], 4294967295.0);
    QCOMPARE(value("model_name"), 5.0f);
    QCOMPARE(value("Pmax"), 1.5e6f);
    QCOMPARE(value("Kdsp10"), 2.0f);
    QCOMPARE(value("c43"), -3e38f);
    QVERIFY(p.found[size_t(ParametersFile::recordIndex("Pmax"))]);
    QVERIFY(!p.found[size_t(ParametersFile::recordIndex("Ksi"))]);
    QCOMPARE(rec.errText, QByteArray("Pmax .= 1.5e+06\nKdsp10 .= 2\nc43 .= -3e+38\nNo ':' found\n"));
    QVERIFY(rec.outText.startsWith("bal_IDAC ==  12 \nItenzo == -1\n"));
    QVERIFY(rec.outText.contains("mu == Па\nzzz == no\n"));

    QCOMPARE(QByteArray(ParametersFile::recordKey(0)), QByteArray("bal_IDAC"));
    QCOMPARE(QByteArray(ParametersFile::recordKey(32)), QByteArray("serial"));
    QCOMPARE(ParametersFile::recordIndex("Kdsp0"), 20);
    QCOMPARE(ParametersFile::recordIndex("c43"), 31);
}

void TestDeviceDataFile::parametersReaderHoldsWhatRegistersHold_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status");
    QTest::addColumn<double>("exact");     // of the line's key, when taken
    QTest::addColumn<QString>("problem");  // part of the reason, when not
    const int ok = int(ParametersFile::LoadStatus::Ok);
    const int refused = int(ParametersFile::LoadStatus::Refused);
    const int corrupted = int(ParametersFile::LoadStatus::Corrupted);
    QTest::newRow("serial above 2^24") << QByteArray("serial:123456789") << ok << 123456789.0 << QString();
    QTest::newRow("serial 2^24 + 1") << QByteArray("serial:16777217") << ok << 16777217.0 << QString();
    QTest::newRow("largest serial") << QByteArray("serial:4294967295:x") << ok << 4294967295.0 << QString();
    QTest::newRow("serial beyond 32 bits") << QByteArray("serial:4294967296") << refused << 0.0
                                           << u8("«serial» (4294967296) вне диапазона 0…4294967295");
    QTest::newRow("negative serial") << QByteArray("serial:-1") << refused << 0.0 << u8("«serial» (-1) вне диапазона 0…4294967295");
    QTest::newRow("large integer item") << QByteArray("bal_IDAC:16777217") << ok << 16777217.0 << QString();
    QTest::newRow("nan") << QByteArray("a42:nan") << refused << 0.0 << u8("«a42» (nan) не число");
    QTest::newRow("erased cell as shown") << QByteArray("Ksi:-nan:x") << refused << 0.0 << u8("не число");
    QTest::newRow("infinity") << QByteArray("Pmax:inf") << refused << 0.0 << u8("не число");
    QTest::newRow("beyond a single") << QByteArray("c43:1e300") << refused << 0.0
                                     << u8("вне диапазона чисел прибора");
    QTest::newRow("no number") << QByteArray("Uk1h:abc") << corrupted << 0.0 << u8("«Uk1h» не число");
}

void TestDeviceDataFile::parametersReaderHoldsWhatRegistersHold()
{
    QFETCH(QByteArray, line);
    QFETCH(int, status);
    QFETCH(double, exact);
    QFETCH(QString, problem);
    Recorder rec;
    const ParametersFile::LoadResult p = load2("Pmax:160000\n" + line + "\nU10:2\n", rec);
    QCOMPARE(int(p.status), status);
    if (status == int(ParametersFile::LoadStatus::Ok)) {
        const int at = ParametersFile::recordIndex(line.left(line.indexOf(':')));
        QCOMPARE(p.exact[size_t(at)], exact);
        QVERIFY(p.found[size_t(at)]);
        QVERIFY(p.problem.isEmpty());
        QVERIFY(!p.complete());
        QCOMPARE(p.missingKeys().size(), ParametersFile::RecordSize - 3);
        return;
    }
    // Not taken: nothing handed over, and the reason names the key.
    QVERIFY2(p.problem.contains(problem), qPrintable(p.problem));
    for (int i = 0; i < ParametersFile::RecordSize; ++i) {
        QVERIFY(!p.found[size_t(i)]);
        QCOMPARE(p.values[size_t(i)], 0.0f);
        QCOMPARE(p.exact[size_t(i)], 0.0);
    }
}

void TestDeviceDataFile::parametersReaderFinalEmptyLine()
{
    Recorder a, b;
    load2("Pmax:1\n", a);
    load2("Pmax:1", b);
    QCOMPARE(a.errText, QByteArray("Pmax .= 1\nNo ':' found\n"));
    QCOMPARE(b.errText, QByteArray("Pmax .= 1\n"));
}

void TestDeviceDataFile::parametersReaderReadsDialogFile()
{
    const QByteArray file = DeviceDataFile::serialize(fullRecord());
    Recorder rec;
    const ParametersFile::LoadResult p = load2(file, rec);
    QCOMPARE(p.status, ParametersFile::LoadStatus::Ok);
    auto value = [&](const char *key) { return p.values[size_t(ParametersFile::recordIndex(key))]; };
    QCOMPARE(value("model_name"), 0.0f); // the description follows the model text
    QCOMPARE(value("model_code"), -3.0f);
    QCOMPARE(value("serial"), 4000000000.0f);
    QCOMPARE(value("Pmax"), 4.5f);
    QCOMPARE(value("Kdsp10"), 38.5f);
    QCOMPARE(value("bal_dP"), 123456.0f);
}

void TestDeviceDataFile::parametersWriterLines()
{
    std::array<float, ParametersFile::ParameterCount> v{};
    v[0] = 1.5f;
    v[2] = 1e7f;
    v[14] = -0.000125f;
    const QByteArray lines = ParametersFile::parameterLines(v);
    QVERIFY(lines.startsWith("Uk1h:1.5\nUk2h:0\nU10:1e+07\nU20:0\na42:0\n"));
    QVERIFY(lines.endsWith("c40:0\nc43:0\nPmax:-0.000125\n"));
    QCOMPARE(lines.count('\n'), 15);

    QTemporaryDir dir;
    const QString path = dir.filePath("p.txt");
    writeFile(path, "old contents that must go away\n");
    ParametersFile w;
    Recorder rec;
    QVERIFY(w.open(path, rec));
    QVERIFY(w.writeParameters(v));
    QVERIFY(w.appendG("Ksi", 0.25));
    QVERIFY(w.appendInt("bal_IDAC", -7));
    QVERIFY(w.appendF("bal_dP", 1.5));
    QVERIFY(w.appendUInt("serial", 4000000000u));
    QVERIFY(w.appendText("model_name", u8("ЛТ3920ДА")));
    // Visible on disk before the file is closed.
    QCOMPARE(readAll(path), lines + "Ksi:0.25\nbal_IDAC:-7\nbal_dP:1.500000\n"
                                    "serial:4000000000\nmodel_name:ЛТ3920ДА\n");
    w.close();
    QVERIFY(!w.isOpen());
}

void TestDeviceDataFile::dialogReaderReadsParametersFile()
{
    QByteArray file = "Uk1h:1.5\nPmax:250000\nKsi:0.25\nbal_IDAC:-7\nbal_dP:1.500000\n"
                      "serial:4000000000\nmodel_name:ЛТ3920ДА\n";
    Recorder rec;
    const DeviceDataFile::LoadResult l = load1(file, DeviceRecord(), rec);
    QCOMPARE(l.record.deviceText(devicePosition("Uk1h")), QStringLiteral("1.5"));
    QCOMPARE(l.record.deviceText(devicePosition("Pmax")), QStringLiteral("250000"));
    QCOMPARE(l.record.deviceText(devicePosition("bal_IDAC")), QStringLiteral("-7"));
    QCOMPARE(l.record.deviceText(devicePosition("serial")), QStringLiteral("4000000000"));
    QVERIFY(l.record.deviceText(devicePosition("bal_dP")).isEmpty()); // not an integer
    QVERIFY(l.record.deviceText(devicePosition("model_name")).isEmpty()); // terminator in value
}

QTEST_APPLESS_MAIN(TestDeviceDataFile)
#include "tst_devicedatafile.moc"
