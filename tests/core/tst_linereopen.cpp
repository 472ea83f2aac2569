// A virtual line outlives the programs that use it: after one closed the
// port, or was killed holding it with odd parity set, the next opens the
// same line and sets it up as the first did.
//
// The program that is killed is this test binary run again with
// TESMAR_HOLD_PORT set: it opens the port as Tesmar does and waits.

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/linkrig.h"

#include <QProcess>
#include <QtTest>
#include <cstdio>

using namespace linkrig;

class TestLineReopen : public QObject
{
    Q_OBJECT
private slots:
    void reopenAfterTheLastUser_data();
    void reopenAfterTheLastUser();
};

void TestLineReopen::reopenAfterTheLastUser_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("closed") << false;
    QTest::newRow("killed holding it") << true;
}

void TestLineReopen::reopenAfterTheLastUser()
{
    QFETCH(bool, killed);
    sim::VirtualLine line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    line.addDevice(1)->current = 1.0f;
    const QString port = line.portName();

    for (int round = 0; round < 2; ++round) {
        QSignalSpy released(&line, &sim::VirtualLine::clientClosed);
        if (killed) {
            QProcess holder;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TESMAR_HOLD_PORT"), port);
            holder.setProcessEnvironment(env);
            holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            holder.start(QCoreApplication::applicationFilePath(), QStringList());
            QVERIFY(holder.waitForStarted(10000));
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT((said += holder.readAllStandardOutput()).contains("held")
                                         || holder.state() == QProcess::NotRunning,
                                     20000);
            QVERIFY2(holder.state() == QProcess::Running,
                     qPrintable(QStringLiteral("exit %1: %2").arg(holder.exitCode()).arg(QString::fromLocal8Bit(said + holder.readAllStandardError()))));
            released.clear();
            holder.kill();      // SIGKILL: nothing of it restores the line's settings
            QVERIFY(holder.waitForFinished(10000));
        } else {
            protocolComHart first(nullptr, QStringLiteral("no-such-file"));
            QVERIFY(first.openPort(port));
            first.closePort();
        }
        // The line has seen its user go.
        QTRY_VERIFY_WITH_TIMEOUT(!released.isEmpty(), 10000);

        // The next user opens the same line, odd parity and all, and talks.
        RecordingLink next;
        QVERIFY2(next.openPort(port), qPrintable(next.portErrorString()));
        QCOMPARE(next.serialConfig().parity, 3);
        next.setTimeout(1000);
        next.setRepeats(1);
        next.setOperation(3);
        QVERIFY(next.sendFrame(command3(1)));
        QTRY_COMPARE_WITH_TIMEOUT(next.count(QStringLiteral("answer:3")), 1, 5000);
    }
}

int main(int argc, char **argv)
{
    const QByteArray hold = qgetenv("TESMAR_HOLD_PORT");
    if (!hold.isEmpty()) {
        // The user to be killed: opens the port as Tesmar does, and waits.
        QCoreApplication app(argc, argv);
        protocolComHart link(nullptr, QStringLiteral("no-such-file"));
        if (!link.openPort(QString::fromLocal8Bit(hold)))
            return 3;
        std::puts("held");
        std::fflush(stdout);
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    TestLineReopen test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linereopen.moc"
