// The logic behind the status bar and the window's helpers, without widgets:
// the port texts for every link state, the ".txt" suffix rule and the default
// names, the fill of the polling rows after a scan, the step count and
// verdict of a long run, and the bounded message log.

#include "app/linestatus.h"
#include "app/messagelog.h"
#include "app/operationprogress.h"
#include "app/pollrowfill.h"
#include "app/textfilenames.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using LineStatus::PortState;

namespace {
SerialConfig config(int baud, int dataBits, int parity, int stopBits)
{
    SerialConfig c;
    c.baudRate = baud;
    c.dataBits = dataBits;
    c.parity = parity;
    c.stopBits = stopBits;
    return c;
}
}

class TestWindowStatus : public QObject
{
    Q_OBJECT
private slots:
    void portStateText_data();
    void portStateText();
    void textSuffix_data();
    void textSuffix();
    void defaultNames_data();
    void defaultNames();
    void pollRowFill_data();
    void pollRowFill();
    void progressCounts_data();
    void progressCounts();
    void messageLog();
};

void TestWindowStatus::portStateText_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("expected");

    const int no = int(PortState::NotConnected), yes = int(PortState::Connected), lost = int(PortState::LineLost);
    QTest::newRow("not connected, port chosen") << no << "/dev/ttyUSB0" << 1200 << 3 << 1 << ""
                                                << "Порт /dev/ttyUSB0: не подключен";
    QTest::newRow("not connected, no port") << no << "" << 1200 << 3 << 1 << "" << "Порт: не подключен";
    QTest::newRow("connected odd") << yes << "COM3" << 1200 << 3 << 1 << ""
                                   << "Порт COM3: подключен, 1200 бит/с, 8O1";
    QTest::newRow("connected none, 2 stop") << yes << "COM3" << 9600 << 0 << 2 << ""
                                            << "Порт COM3: подключен, 9600 бит/с, 8N2";
    QTest::newRow("connected even, 1.5 stop") << yes << "COM3" << 19200 << 2 << 3 << ""
                                              << "Порт COM3: подключен, 19200 бит/с, 8E1.5";
    QTest::newRow("connected mark") << yes << "COM3" << 4800 << 5 << 1 << ""
                                    << "Порт COM3: подключен, 4800 бит/с, 8M1";
    QTest::newRow("lost with reason") << lost << "/dev/ttyUSB0" << 1200 << 3 << 1 << "устройство отключено"
                                      << "Порт /dev/ttyUSB0: связь потеряна (устройство отключено)";
    QTest::newRow("lost without reason") << lost << "/dev/ttyUSB0" << 1200 << 3 << 1 << ""
                                         << "Порт /dev/ttyUSB0: связь потеряна";
    // A detail means nothing while the line is up.
    QTest::newRow("connected ignores detail") << yes << "COM1" << 2400 << 0 << 1 << "x"
                                              << "Порт COM1: подключен, 2400 бит/с, 8N1";
}

void TestWindowStatus::portStateText()
{
    QFETCH(int, state);
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(QString, detail);
    QFETCH(QString, expected);
    const SerialConfig c = config(baud, 8, parity, stopBits);
    QCOMPARE(LineStatus::portStateText(PortState(state), port, c, detail), expected);
    // The tool tip spells out what the line is and, when it is down, what to do.
    const QString tip = LineStatus::portStateToolTip(PortState(state), port, c, detail);
    QVERIFY(tip.contains(port.isEmpty() ? QStringLiteral("не выбран") : port));
    if (PortState(state) == PortState::Connected)
        QVERIFY(tip.contains(LineStatus::parityName(parity)));
    else
        QVERIFY(tip.contains(QStringLiteral("«Связать»")));
}

void TestWindowStatus::textSuffix_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");
    const QString txt = QStringLiteral("Текстовый файл (*.txt)");
    const QString all = QStringLiteral("Все файлы (*)");
    QTest::newRow("no suffix") << "/data/run1" << txt << "/data/run1.txt";
    QTest::newRow("has txt") << "/data/run1.txt" << txt << "/data/run1.txt";
    QTest::newRow("other suffix kept") << "/data/run1.dat" << txt << "/data/run1.dat";
    QTest::newRow("dot in directory only") << "/data/v1.2/run" << txt << "/data/v1.2/run.txt";
    QTest::newRow("trailing dot") << "/data/run." << txt << "/data/run.txt";
    QTest::newRow("hidden name") << "/data/.run" << txt << "/data/.run.txt";
    QTest::newRow("all files filter") << "/data/run1" << all << "/data/run1";
    QTest::newRow("cancelled") << "" << txt << "";
    QTest::newRow("directory") << "/data/" << txt << "/data/";
    QTest::newRow("combined filter text") << "run" << "Текстовый файл (*.txt);;Все файлы (*)" << "run.txt";
}

void TestWindowStatus::textSuffix()
{
    QFETCH(QString, path);
    QFETCH(QString, filter);
    QFETCH(QString, expected);
    QCOMPARE(TextFileNames::withTextSuffix(path, filter), expected);
    // Applying the rule twice changes nothing more.
    QCOMPARE(TextFileNames::withTextSuffix(expected, filter), expected);
}

void TestWindowStatus::defaultNames_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("expected");
    QTest::newRow("known") << "3920101" << "device_3920101.txt";
    QTest::newRow("spaces around") << " 42 " << "device_42.txt";
    QTest::newRow("unknown") << "" << "untitled";
    QTest::newRow("zero is unset") << "0" << "untitled";
    QTest::newRow("not a number") << "12a" << "untitled";
    QTest::newRow("negative") << "-5" << "untitled";
    QTest::newRow("path characters") << "1/2" << "untitled";
}

void TestWindowStatus::defaultNames()
{
    QFETCH(QString, serial);
    QFETCH(QString, expected);
    QCOMPARE(TextFileNames::defaultName(QStringLiteral("device"), serial, QStringLiteral("untitled")), expected);
}

void TestWindowStatus::pollRowFill_data()
{
    QTest::addColumn<QVector<int>>("found");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("expected");     // "checked:address" per row, "-" for an unchecked row
    QTest::addColumn<QString>("summary");

    QTest::newRow("three found") << QVector<int>{1, 2, 5} << 5 << "1:1 1:2 1:5 - -"
                                 << "Строки опроса заполнены найденными адресами: 01, 02, 05";
    QTest::newRow("none found") << QVector<int>{} << 3 << "- - -"
                                << "Строки опроса заполнены найденными адресами: ";
    QTest::newRow("duplicate answers once") << QVector<int>{3, 3, 10} << 3 << "1:3 1:10 -"
                                            << "Строки опроса заполнены найденными адресами: 03, 0a";
    QTest::newRow("more than rows") << QVector<int>{0, 1, 2, 3} << 2 << "1:0 1:1"
                                    << "Строки опроса заполнены найденными адресами: 00, 01; не поместились: 02, 03";
}

void TestWindowStatus::pollRowFill()
{
    QFETCH(QVector<int>, found);
    QFETCH(int, rows);
    QFETCH(QString, expected);
    QFETCH(QString, summary);
    QStringList got;
    for (const PollRowFill::Row &r : PollRowFill::plan(found, rows))
        got << (r.checked ? QStringLiteral("1:%1").arg(r.address) : QStringLiteral("-"));
    QCOMPARE(got.join(QLatin1Char(' ')), expected);
    QCOMPARE(PollRowFill::summary(found, rows), summary);
}

void TestWindowStatus::progressCounts_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("steps");     // '+' a good outcome, '-' a bad one, 'c' a cancel, 'x' ended from outside
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("result");

    using O = OperationProgress::Outcome;
    QTest::newRow("complete") << 3 << "+++" << int(O::Complete)
                              << "Чтение: готово, получено 3 из 3 блоков";
    QTest::newRow("one bad") << 3 << "+-+" << int(O::Partial)
                             << "Чтение: получено 2 из 3 блоков — результат неполный (без ответа или с ошибкой: 1)";
    QTest::newRow("stopped short") << 4 << "++" << int(O::Partial)
                                   << "Чтение: получено 2 из 4 блоков — результат неполный (обмен прекращен)";
    QTest::newRow("cancelled, in flight counted") << 5 << "+c+" << int(O::Cancelled)
                                                  << "Чтение: получено 2 из 5 блоков — результат неполный (остановлено оператором)";
    QTest::newRow("line lost") << 5 << "+x" << int(O::Interrupted)
                               << "Чтение: получено 1 из 5 блоков — результат неполный (связь потеряна)";
    // Outcomes after the end are not counted.
    QTest::newRow("late outcome ignored") << 2 << "++++" << int(O::Complete)
                                          << "Чтение: готово, получено 2 из 2 блоков";
}

void TestWindowStatus::progressCounts()
{
    QFETCH(int, total);
    QFETCH(QString, steps);
    QFETCH(int, outcome);
    QFETCH(QString, result);

    OperationProgress p;
    QSignalSpy finished(&p, &OperationProgress::finished);
    QSignalSpy cancel(&p, &OperationProgress::cancelRequested);
    p.start({51, QStringLiteral("Чтение"), QStringLiteral("блоков"), QStringLiteral("получено")}, total);
    QVERIFY(p.isActive());
    QCOMPARE(p.progressText(), QStringLiteral("Чтение: 0 из %1 блоков").arg(total));
    QString reason;
    for (const QChar c : steps) {
        if (c == QLatin1Char('c')) {
            p.requestCancel();
            QCOMPARE(cancel.count(), 1);
            QVERIFY(p.progressText().contains(QStringLiteral("остановка")));
            continue;
        }
        if (c == QLatin1Char('x')) {
            reason = QStringLiteral("связь потеряна");
            break;
        }
        p.step(c == QLatin1Char('+'));
        // The caller ends the run once every step is in.
        if (p.allStepsIn())
            p.finish();
    }
    p.finish(reason);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(int(p.outcome()), outcome);
    QCOMPARE(p.resultText(), result);
    QCOMPARE(p.isPartial(), outcome != int(OperationProgress::Outcome::Complete));
    QVERIFY(!p.isActive());
}

void TestWindowStatus::messageLog()
{
    MessageLog log(10);
    const QDateTime t0 = QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0));
    const quint32 red = 0xffff0000, green = 0xff079e00;

    // Lines split, empty ones dropped.
    log.append(QStringLiteral("Калибровка"), QStringLiteral("Первая\n\nВторая\n"), green, t0);
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.entry(1).text, QStringLiteral("Вторая"));

    // One message in two panes at once is one entry naming both; again
    // later in both panes it is counted on that entry, from another source
    // or after another line it is a new one.
    for (int again = 0; again < 3; ++again) {
        log.append(QStringLiteral("Калибровка"), QStringLiteral("Порт не открыт!!\n"), red, t0.addMSecs(10 + 2000 * again));
        log.append(QStringLiteral("Для разработчика"), QStringLiteral("Порт не открыт!!\n"), red, t0.addMSecs(20 + 2000 * again));
    }
    QCOMPARE(log.size(), 3);
    QCOMPARE(log.entry(2).source, QStringLiteral("Калибровка, Для разработчика"));
    QCOMPARE(log.entry(2).repeats, 3);
    QVERIFY(MessageLog::entryLine(log.entry(2)).endsWith(QStringLiteral("Порт не открыт!! (повторов: 3, первый в 12:00:00)")));
    log.append(QStringLiteral("Порт"), QStringLiteral("Порт не открыт!!\n"), red, t0.addMSecs(9000));
    QCOMPARE(log.size(), 4);
    QCOMPARE(log.data(log.index(3), MessageLog::ColourRole).toUInt(), red);

    QCOMPARE(MessageLog::entryLine(log.entry(0)),
             QStringLiteral("2024-05-01 12:00:00.000 [Калибровка] Первая"));

    // A line said every cycle among the source's others is counted on its
    // entry, moved last; a line from another source ends the cycle.
    for (const int s : {20, 21, 22, 23})
        log.appendCycled(QStringLiteral("Опрос"), QString::number(s % 2), red, t0.addSecs(s));
    QCOMPARE(log.entry(log.size() - 1).text, QStringLiteral("1"));
    QCOMPARE(log.entry(log.size() - 2).repeats, 2);
    log.append(QStringLiteral("Порт"), QStringLiteral("Связь с портом потеряна"), red, t0.addSecs(24));
    log.appendCycled(QStringLiteral("Опрос"), QStringLiteral("0"), red, t0.addSecs(25));
    QCOMPARE(log.entry(log.size() - 1).repeats, 1);

    // Bounded: the oldest go once the capacity is reached.
    for (int i = 0; i < 25; ++i)
        log.append(QStringLiteral("Калибровка"), QStringLiteral("Строка %1").arg(i), green, t0.addSecs(10 + i));
    QVERIFY(log.size() <= log.capacity());
    QCOMPARE(log.entry(log.size() - 1).text, QStringLiteral("Строка 24"));
    QCOMPARE(log.rowCount(), log.size());

    // Saved as text, one entry a line.
    QTemporaryDir dir;
    QString error;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QVERIFY(log.save(path, &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QCOMPARE(text, log.toText());
    QCOMPARE(text.count(QLatin1Char('\n')), log.size());
    QVERIFY(!log.save(dir.filePath(QStringLiteral("missing/log.txt")), &error));
    QVERIFY(!error.isEmpty());

    log.clear();
    QCOMPARE(log.size(), 0);
}

QTEST_GUILESS_MAIN(TestWindowStatus)
#include "tst_windowstatus.moc"
