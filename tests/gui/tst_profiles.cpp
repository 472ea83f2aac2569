// Several benches on one PC: Tesmar processes started side by side, each
// with a profile of its own (or none), each on its own port.
//
// A bench is this test program started again as a Tesmar process: it goes
// through the program's own start (command line, profile, window) and is
// then driven by one-line commands on its standard input, answering one line
// each. The benches run at the same time; the virtual transmitter line runs
// here, in the parent.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "link/serialconfig.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

const char BenchVariable[] = "TESMAR_TEST_BENCH";

// ------------------------------------------------------------ the bench side

void reply(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString widgetText(QObject *o)
{
    if (auto *c = qobject_cast<QComboBox *>(o))
        return c->currentText();
    if (auto *s = qobject_cast<QSpinBox *>(o))
        return QString::number(s->value());
    if (auto *d = qobject_cast<QDoubleSpinBox *>(o))
        return QString::number(d->value());
    return QStringLiteral("?");
}

bool setWidget(QObject *o, const QString &value)
{
    if (auto *c = qobject_cast<QComboBox *>(o)) {
        const int i = c->findText(value);
        c->setCurrentIndex(i);
        return i >= 0;
    }
    if (auto *s = qobject_cast<QSpinBox *>(o)) {
        s->setValue(value.toInt());
        return true;
    }
    return false;
}

// Commands: title, cwd, status, open, get NAME, set NAME=VALUE, click NAME,
// ask (a console request to address 0, answered when it has its outcome),
// quit (the window closes and writes its settings).
void command(std::unique_ptr<MainWindow> &window, const QString &line)
{
    const QString verb = line.section(QLatin1Char(' '), 0, 0);
    const QString arg = line.section(QLatin1Char(' '), 1);
    MainWindow &w = *window;
    if (verb == QLatin1String("title")) {
        reply(w.windowTitle());
    } else if (verb == QLatin1String("cwd")) {
        reply(QDir::currentPath());
    } else if (verb == QLatin1String("status")) {
        reply(w.ui->statusBar->currentMessage());
    } else if (verb == QLatin1String("open")) {
        reply(w.hartLink()->isPortOpen() ? QStringLiteral("open") : QStringLiteral("closed"));
    } else if (verb == QLatin1String("get")) {
        reply(widgetText(w.findChild<QObject *>(arg)));
    } else if (verb == QLatin1String("set")) {
        const bool ok = setWidget(w.findChild<QObject *>(arg.section(QLatin1Char('='), 0, 0)),
                                  arg.section(QLatin1Char('='), 1));
        reply(ok ? QStringLiteral("ok") : QStringLiteral("no such widget or value: ") + arg);
    } else if (verb == QLatin1String("click")) {
        auto *b = w.findChild<QAbstractButton *>(arg);
        if (b)
            b->click();
        reply(b ? QStringLiteral("ok") : QStringLiteral("no such button: ") + arg);
    } else if (verb == QLatin1String("ask")) {
        w.ui->lineEditPassword->setText(QStringLiteral("7391"));
        w.ui->tabWidget->setCurrentIndex(MainWindow::TabDeveloper);
        w.ui->comboBoxFunc->setCurrentIndex(0);
        w.ui->comboBoxMainAddr->setCurrentIndex(0);
        auto *once = new QObject(&w);
        QObject::connect(w.hartLink(), &protocolComHart::answerGet, once, [once](int code) {
            reply(QStringLiteral("answer %1").arg(code));
            once->deleteLater();
        });
        w.ui->buttonSend->click();
    } else if (verb == QLatin1String("quit")) {
        window.reset();
        reply(QStringLiteral("bye"));
        QCoreApplication::quit();
    } else {
        reply(QStringLiteral("unknown command: ") + line);
    }
}

int runBench(int argc, char **argv)
{
    QApplication app(argc, argv);
    const StartOptions options = readCommandLine(app);
    if (!options.error.isEmpty()) {
        reply(QStringLiteral("refused ") + options.error);
        return 2;
    }
    QString error;
    std::unique_ptr<MainWindow> window = startTesmar(options, &error);
    if (!window) {
        reply(QStringLiteral("refused ") + error);
        return 1;
    }
    reply(QStringLiteral("ready"));

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(buf, int(n));
        int nl;
        while (window && (nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(nl)).trimmed();
            pending.remove(0, nl + 1);
            command(window, line);
        }
    });
    return app.exec();
}

// ------------------------------------------------------------ the test side

class Bench
{
public:
    ~Bench()
    {
        // A bench ends at the end of its input; one that does not is stopped.
        m_process.closeWriteChannel();
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(30000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Starts a bench in `workDir` and returns its first line ("ready" or
    // "refused <why>").
    QString start(const QStringList &args, const QString &root, const QString &workDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(BenchVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/share"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.remove(QStringLiteral("TESMAR_PORT"));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(workDir);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(), args);
        return readLine();
    }

    QString ask(const QString &command)
    {
        m_process.write(command.toUtf8() + '\n');
        return readLine();
    }

    bool quit()
    {
        if (ask(QStringLiteral("quit")) != QLatin1String("bye"))
            return false;
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(30000))
            return false;
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    // Waits with the event loop running: the virtual line answers from here.
    QString readLine(int ms = 60000)
    {
        QDeadlineTimer deadline(ms);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired())
                return QStringLiteral("<no answer in time>");
            if (m_process.state() == QProcess::NotRunning)
                return QStringLiteral("<bench ended>");
            QSignalSpy more(&m_process, &QProcess::readyReadStandardOutput);
            more.wait(int(qBound<qint64>(1, deadline.remainingTime(), 1000)));
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess m_process;
};

QString profileFolder(const QString &root, const QString &name)
{
    return root + QStringLiteral("/share/Vornik/Tesmar/profiles/") + name;
}

} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void benchesKeepTheirOwnSettingsAndFiles();
    void portHeldByOneBenchIsRefusedToAnother_data();
    void portHeldByOneBenchIsRefusedToAnother();
    void profileIsOpenedOnce();
    void badProfileNamesAreRefused_data();
    void badProfileNamesAreRefused();

private:
    Sandbox m_sandbox;
};

void TestProfiles::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestProfiles::cleanup()
{
    m_sandbox.leave();
}

void TestProfiles::benchesKeepTheirOwnSettingsAndFiles()
{
    const QString root = m_sandbox.path();
    struct Row
    {
        QString profile;    // empty: no profile
        QString baud;
        int period;
    };
    const QVector<Row> rows = {{QStringLiteral("bench-a"), QStringLiteral("2400"), 700},
                               {QStringLiteral("стенд_2"), QStringLiteral("9600"), 900},
                               {QString(), QStringLiteral("4800"), 1100}};
    // Where its files and its settings store must end up.
    const auto folder = [&root](const Row &row) {
        return row.profile.isEmpty() ? root : profileFolder(root, row.profile);
    };
    const auto store = [&](const Row &row) {
        return row.profile.isEmpty() ? root + QStringLiteral("/config/Vornik/Tesmar.conf")
                                     : folder(row) + QStringLiteral("/Tesmar.conf");
    };

    // All three run at once, each changing its settings.
    std::vector<std::unique_ptr<Bench>> benches;
    for (const Row &row : rows) {
        QStringList args{QStringLiteral("--port"), QStringLiteral("/dev/ttyBENCH%1").arg(benches.size())};
        if (!row.profile.isEmpty())
            args << QStringLiteral("--profile") << row.profile;
        benches.emplace_back(new Bench);
        Bench &b = *benches.back();
        QCOMPARE(b.start(args, root, root), QStringLiteral("ready"));
        QCOMPARE(b.ask(QStringLiteral("cwd")), QDir(folder(row)).canonicalPath());
        const QString port = QStringLiteral("порт /dev/ttyBENCH%1").arg(benches.size() - 1);
        QCOMPARE(b.ask(QStringLiteral("title")),
                 row.profile.isEmpty() ? QStringLiteral("Tesmar — ") + port
                                       : QStringLiteral("Tesmar — профиль %1, %2").arg(row.profile, port));
        QCOMPARE(b.ask(QStringLiteral("get comboBoxBaudRate")), QStringLiteral("1200"));
        QCOMPARE(b.ask(QStringLiteral("set comboBoxBaudRate=") + row.baud), QStringLiteral("ok"));
        QCOMPARE(b.ask(QStringLiteral("click pbApplyComConf")), QStringLiteral("ok"));
        QCOMPARE(b.ask(QStringLiteral("set spinBoxTimer=%1").arg(row.period)), QStringLiteral("ok"));
        QCOMPARE(b.ask(QStringLiteral("click buttonApplyMessegeSettings")), QStringLiteral("ok"));
    }
    for (auto &b : benches)
        QVERIFY(b->quit());

    for (const Row &row : rows) {
        SerialConfig config;
        QVERIFY2(config.load(folder(row) + QStringLiteral("/COM.conf.dat")), qPrintable(folder(row)));
        QCOMPARE(QString::number(config.baudRate), row.baud);
        QVERIFY2(QFileInfo::exists(store(row)), qPrintable(store(row)));
        QCOMPARE(QSettings(store(row), QSettings::IniFormat).value(QStringLiteral("/Settings/Timer")).toInt(),
                 row.period);
        if (!row.profile.isEmpty())
            QVERIFY(QFileInfo(folder(row) + QStringLiteral("/data")).isDir());
    }

    // Started again, each bench finds what it left, not another's.
    for (const Row &row : rows) {
        Bench again;
        const QStringList args = row.profile.isEmpty() ? QStringList()
                                                       : QStringList{QStringLiteral("--profile"), row.profile};
        QCOMPARE(again.start(args, root, root), QStringLiteral("ready"));
        QCOMPARE(again.ask(QStringLiteral("get comboBoxBaudRate")), row.baud);
        QCOMPARE(again.ask(QStringLiteral("get spinBoxTimer")), QString::number(row.period));
        QCOMPARE(again.ask(QStringLiteral("title")),
                 row.profile.isEmpty() ? QStringLiteral("Tesmar")
                                       : QStringLiteral("Tesmar — профиль ") + row.profile);
        QVERIFY(again.quit());
    }
}

void TestProfiles::portHeldByOneBenchIsRefusedToAnother_data()
{
    QTest::addColumn<bool>("otherName");
    // The second bench names the port as the first did, or reaches the same
    // device under another name (the device itself behind the link).
    QTest::newRow("same name") << false;
    QTest::newRow("another name of the device") << true;
}

void TestProfiles::portHeldByOneBenchIsRefusedToAnother()
{
    QFETCH(bool, otherName);
    sim::VirtualLine line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    line.setBaud(0);
    line.addDevice(0);
    const QString link = m_sandbox.filePath(QStringLiteral("ttyBENCH"));
    QVERIFY2(line.createLink(link), qPrintable(line.errorString()));

    const QString root = m_sandbox.path();
    Bench first;
    QCOMPARE(first.start({QStringLiteral("--profile"), QStringLiteral("first"), QStringLiteral("--port"), link},
                         root, root),
             QStringLiteral("ready"));
    QCOMPARE(first.ask(QStringLiteral("click buttonConnectPort")), QStringLiteral("ok"));
    QCOMPARE(first.ask(QStringLiteral("open")), QStringLiteral("open"));

    const QString port = otherName ? line.portName() : link;
    Bench second;
    QCOMPARE(second.start({QStringLiteral("--profile"), QStringLiteral("second"), QStringLiteral("--port"), port},
                          root, root),
             QStringLiteral("ready"));
    QCOMPARE(second.ask(QStringLiteral("click buttonConnectPort")), QStringLiteral("ok"));
    QCOMPARE(second.ask(QStringLiteral("open")), QStringLiteral("closed"));
    QCOMPARE(second.ask(QStringLiteral("status")),
             QStringLiteral("Порт %1 занят другой программой: закройте её или выберите другой порт").arg(port));

    // The first bench still has the line to itself.
    QCOMPARE(first.ask(QStringLiteral("open")), QStringLiteral("open"));
    QCOMPARE(first.ask(QStringLiteral("ask")), QStringLiteral("answer 1"));

    // Once the first lets go, the second gets the port.
    QCOMPARE(first.ask(QStringLiteral("click buttonClosePort")), QStringLiteral("ok"));
    QCOMPARE(second.ask(QStringLiteral("click buttonConnectPort")), QStringLiteral("ok"));
    QCOMPARE(second.ask(QStringLiteral("open")), QStringLiteral("open"));
    QCOMPARE(second.ask(QStringLiteral("ask")), QStringLiteral("answer 1"));
    QVERIFY(first.quit());
    QVERIFY(second.quit());
}

void TestProfiles::profileIsOpenedOnce()
{
    const QString root = m_sandbox.path();
    const QStringList args{QStringLiteral("--profile"), QStringLiteral("bench-a")};
    Bench first;
    QCOMPARE(first.start(args, root, root), QStringLiteral("ready"));
    {
        Bench second;
        QCOMPARE(second.start(args, root, root),
                 QStringLiteral("refused Профиль «bench-a» уже открыт в другом окне Tesmar"));
    }
    QVERIFY(first.quit());
    // Free again once its Tesmar has closed.
    Bench third;
    QCOMPARE(third.start(args, root, root), QStringLiteral("ready"));
    QVERIFY(third.quit());
}

void TestProfiles::badProfileNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("why");
    QTest::newRow("empty") << QString() << QStringLiteral("Имя профиля не может быть пустым");
    QTest::newRow("path") << QStringLiteral("../other")
                          << QStringLiteral("это имя папки, а не путь (без «/» и «\\»)");
    QTest::newRow("hidden") << QStringLiteral(".bench") << QStringLiteral("оно должно начинаться с буквы или цифры");
    QTest::newRow("blank") << QStringLiteral("bench 1")
                           << QStringLiteral("допустимы только буквы, цифры и знаки «-», «_», «.»");
    QTest::newRow("long") << QString(65, QLatin1Char('a')) << QStringLiteral("оно длиннее 64 знаков");
}

void TestProfiles::badProfileNamesAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, why);
    Bench bench;
    const QString answer = bench.start({QStringLiteral("--profile=") + name}, m_sandbox.path(), m_sandbox.path());
    QVERIFY2(answer.startsWith(QStringLiteral("refused ")) && answer.endsWith(why), qPrintable(answer));
    // Nothing was created for it, and nowhere else.
    QVERIFY(!QFileInfo::exists(m_sandbox.filePath(QStringLiteral("share"))));
    QVERIFY(!QFileInfo::exists(m_sandbox.filePath(QStringLiteral("COM.conf.dat"))));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(BenchVariable))
        return runBench(argc, argv);
    QApplication app(argc, argv);
    TestProfiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_profiles.moc"
