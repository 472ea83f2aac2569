// The serial link over a real pseudo-terminal to the virtual transmitter
// line: time-outs and repeats, the queue in its modes, repeat mode, the RTS
// sequence without flow control, the port diagnostics, requests on a closed
// port, and the line vanishing under the link.

#include "link/hartframe.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/capture.h"
#include "common/linkrig.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using namespace linkrig;

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void timeoutNeverBelowTwicePeriod();
    void repeats_data();
    void repeats();
    void repeatCountZeroStillEnds();
    void lateAnswerAfterFinalTimeoutIgnored();
    void answerInPiecesAfterNoise();
    void badChecksumStillAnswers();
    void longAnswerAccessors();
    void sendWhileBusyRefused();

    void queueOfSixteenSilentEndsByItself();
    void loopModeCyclesUntilStopped();
    void earlyAnswerReportedAtOnceNextWaitsPeriod();
    void allRequestsIsSend_data();
    void allRequestsIsSend();
    void emptyQueue();
    void repeatModeKeepsSendingUntilStopped();

    void rtsSequenceWithoutFlowControl();
    void portDiagnostics();
    void unsentRequestEndsFromEventLoop();
    void lineVanishes_data();
    void lineVanishes();

private:
    void openLink(int flowControl = 1);

    sim::VirtualLine *m_line = nullptr;
    RecordingLink *m_link = nullptr;
};

void TestLink::init()
{
    m_line = new sim::VirtualLine;
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    m_link = new RecordingLink;
}

void TestLink::cleanup()
{
    delete m_link;
    m_link = nullptr;
    delete m_line;
    m_line = nullptr;
}

void TestLink::openLink(int flowControl)
{
    m_link->serialConfig().flowControl = flowControl;
    QVERIFY(m_link->openPort(m_line->portName()));
    QVERIFY(m_link->isPortOpen());
}

void TestLink::timeoutNeverBelowTwicePeriod()
{
    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    QCOMPARE(link.period(), 1000);
    QCOMPARE(link.timeout(), 3000);
    QCOMPARE(link.repeats(), 3);
    QCOMPARE(link.operation(), 1);
    link.setPeriod(500);
    link.setTimeout(800);
    QCOMPARE(link.timeout(), 1000);
    link.setPeriod(2000);
    QCOMPARE(link.timeout(), 4000);
    link.setTimeout(5000);
    QCOMPARE(link.timeout(), 5000);
    link.setPeriod(100);
    QCOMPARE(link.timeout(), 5000);    // a shorter period leaves it alone
    link.setPeriod(INT_MAX);
    QCOMPARE(link.timeout(), INT_MAX);
}

void TestLink::repeats_data()
{
    QTest::addColumn<int>("repeats");
    QTest::addColumn<int>("silentFor");
    QTest::addColumn<int>("transmissions");
    QTest::addColumn<int>("code");

    QTest::newRow("1, silent") << 1 << 1000 << 1 << 0;
    QTest::newRow("3, silent") << 3 << 1000 << 3 << 0;
    QTest::newRow("3, answers the second") << 3 << 1 << 2 << 7;
    QTest::newRow("1, answers") << 1 << 0 << 1 << 7;
    QTest::newRow("2, answers the second") << 2 << 1 << 2 << 7;
}

void TestLink::repeats()
{
    QFETCH(int, repeats);
    QFETCH(int, silentFor);
    QFETCH(int, transmissions);
    QFETCH(int, code);

    openLink();
    sim::VirtualDevice *dev = m_line->addDevice(3);
    dev->silentFor = silentFor;
    m_link->setPeriod(40);
    m_link->setTimeout(80);
    m_link->setRepeats(repeats);
    m_link->setOperation(7);

    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(command3(3));
    QVERIFY(m_link->isBusy());
    QVERIFY(answers.wait(5000));
    QCOMPARE(answers.count(), 1);
    QCOMPARE(answers.at(0).at(0).toInt(), code);
    QVERIFY(!m_link->isBusy());
    QCOMPARE(m_link->count(QStringLiteral("send:9")), transmissions);
    QCOMPARE(dev->requestsSeen, transmissions);
    QCOMPARE(m_link->repeatsLeft(), repeats);
    if (code != 0) {
        QCOMPARE(m_link->answerDataLength(), 24);   // current + 4 x (unit + float)
        QVERIFY(m_link->answerChecksumOk());
        QCOMPARE(m_link->answerAddress(), uint8_t(3));
    } else {
        QCOMPARE(m_link->answerDataLength(), 0);
    }
    // Nothing follows the outcome.
    QVERIFY(!answers.wait(250));
    QCOMPARE(dev->requestsSeen, transmissions);
}

void TestLink::repeatCountZeroStillEnds()
{
    openLink();
    m_link->setPeriod(20);
    m_link->setTimeout(40);
    m_link->setRepeats(0);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(command3(9));
    QVERIFY(answers.wait(3000));
    QCOMPARE(answers.at(0).at(0).toInt(), 0);
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 1);
    QVERIFY(!m_link->isBusy());
}

void TestLink::lateAnswerAfterFinalTimeoutIgnored()
{
    openLink();
    m_line->addDevice(4)->answerDelayMs = 200;
    m_link->setPeriod(30);
    m_link->setTimeout(60);
    m_link->setRepeats(1);
    m_link->setOperation(5);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    QSignalSpy sent(m_line, &sim::VirtualLine::answerSent);
    m_link->sendFrame(command3(4));
    QVERIFY(answers.wait(3000));
    QCOMPARE(answers.at(0).at(0).toInt(), 0);
    // The answer comes in after the outcome was reported: it is no answer.
    QVERIFY(sent.wait(3000));
    QVERIFY(!answers.wait(200));
    QCOMPARE(answers.count(), 1);
}

void TestLink::answerInPiecesAfterNoise()
{
    openLink();
    sim::VirtualDevice *dev = m_line->addDevice(2);
    dev->setF32(0x00CC, 12.5f);
    dev->noiseBeforeNext = QByteArray::fromHex("0013ff37");
    dev->splitNextAnswer = {1, 3, 2, 5};
    m_link->setOperation(23);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    {
        StderrCapture err;
        m_link->sendFrame(readRegisters(2, 0x00CC, 4));
        QVERIFY(answers.wait(3000));
        QVERIFY(err.text().contains("Преамбула меньше 3 байт\n"));
    }
    QCOMPARE(answers.at(0).at(0).toInt(), 23);
    QCOMPARE(m_link->answerData().toHex(), QByteArray("41480000"));
    QVERIFY(m_link->answerChecksumOk());
    QVERIFY(m_link->receivedBytes().startsWith(QByteArray(5, '\xff') + '\x02'));
    QCOMPARE(m_link->requestData().toHex(), QByteArray("00cc04"));
    QCOMPARE(m_link->requestAddress().toHex(), QByteArray("02"));
}

void TestLink::badChecksumStillAnswers()
{
    openLink();
    m_line->addDevice(1)->corruptNextChecksum = true;
    m_link->setRepeats(3);
    m_link->setOperation(11);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    // A device operation: the device may have acted, so it is not asked again.
    m_link->sendFrame(bareCommand(1, 37));
    QVERIFY(answers.wait(3000));
    QCOMPARE(answers.at(0).at(0).toInt(), 11);
    QVERIFY(!m_link->answerChecksumOk());
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 1);
    QCOMPARE(m_link->repeatsLeft(), 3);
}

void TestLink::longAnswerAccessors()
{
    openLink();
    m_line->addDevice(5)->setU16(0x0010, 0xBEEF);
    m_link->setOperation(40);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(readRegisters(5, 0x0010, 2, true));
    QVERIFY(answers.wait(3000));
    QCOMPARE(answers.at(0).at(0).toInt(), 40);
    QVERIFY(m_link->answerIsLong());
    QCOMPARE(m_link->answerAddress(), uint8_t(5));
    QCOMPARE(m_link->answerData().toHex(), QByteArray("beef"));
    QCOMPARE(m_link->requestAddress().toHex(), QByteArray("0f0205fdef"));
}

void TestLink::sendWhileBusyRefused()
{
    openLink();
    m_line->addDevice(1);
    m_line->addDevice(2);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    StderrCapture err;
    m_link->sendFrame(command3(1));
    m_link->sendFrame(command3(2));
    QVERIFY(answers.wait(3000));
    QCOMPARE(err.text(), QByteArray("protocolComHart::sendFrame:link busy, frame not sent\n"));
    QVERIFY(!answers.wait(200));
    QCOMPARE(answers.count(), 1);
    QCOMPARE(m_line->requests().size(), 1);
    QCOMPARE(addressOf(m_line->requests().at(0)), 1);
    QCOMPARE(m_link->answerAddress(), uint8_t(1));
}

void TestLink::queueOfSixteenSilentEndsByItself()
{
    openLink();
    m_link->setPeriod(15);
    m_link->setTimeout(30);
    m_link->setRepeats(1);
    m_link->setOperation(2);
    for (int a = 0; a < 16; ++a)
        m_link->enqueue(command3(uint8_t(a)));
    m_link->startQueue(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:0")), 16, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isQueueRunning(), 2000);
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 16);
    QCOMPARE(m_link->queueSize(), 0);
    QCOMPARE(m_line->requests().size(), 16);
    for (int a = 0; a < 16; ++a)
        QCOMPARE(addressOf(m_line->requests().at(a)), a);
    QVERIFY(!m_link->isBusy());
    QCOMPARE(m_link->count(QStringLiteral("allSent")), 0);
}

void TestLink::loopModeCyclesUntilStopped()
{
    openLink();
    m_line->addDevice(0);
    m_line->addDevice(1);
    m_link->setPeriod(20);
    m_link->setTimeout(40);
    m_link->enqueue(command3(0));
    m_link->enqueue(command3(1));
    m_link->startQueue(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_line->requests().size() >= 7, 5000);
    m_link->stopSending();
    QVERIFY(!m_link->isQueueRunning());
    // A transmission under way still ends with its outcome.
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isBusy(), 2000);
    const int sent = m_line->requests().size();
    QVERIFY(!QSignalSpy(m_line, &sim::VirtualLine::requestReceived).wait(150));
    QCOMPARE(m_line->requests().size(), sent);
    for (int i = 0; i < sent; ++i)
        QCOMPARE(addressOf(m_line->requests().at(i)), i % 2);
    QCOMPARE(m_link->queueSize(), 2);   // the queue stays after a stop
}

void TestLink::earlyAnswerReportedAtOnceNextWaitsPeriod()
{
    openLink();
    m_line->addDevice(1);
    m_line->addDevice(2);
    const int period = 300;
    m_link->setPeriod(period);
    m_link->setTimeout(2000);
    m_link->enqueue(command3(1));
    m_link->enqueue(command3(2));
    m_link->startQueue(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:1")), 2, 5000);

    const qint64 start1 = m_link->timeOf(QStringLiteral("write"), 0);
    const qint64 answer1 = m_link->timeOf(QStringLiteral("answer:1"), 0);
    const qint64 start2 = m_link->timeOf(QStringLiteral("write"), 1);
    // The answer is reported as it comes, long before the period is over...
    QVERIFY2(answer1 - start1 < period / 2, qPrintable(QString::number(answer1 - start1)));
    // ...and the next request still keeps the period from the first (the
    // stamps are whole milliseconds taken just after each timer start).
    QVERIFY2(start2 - start1 >= period - 1, qPrintable(QString::number(start2 - start1)));
}

void TestLink::allRequestsIsSend_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("lastSilent");
    QTest::addColumn<int>("expected");
    QTest::newRow("29, answered") << 29 << false << 1;
    QTest::newRow("28, answered") << 28 << false << 0;
    QTest::newRow("29, last timed out") << 29 << true << 0;
}

void TestLink::allRequestsIsSend()
{
    QFETCH(int, operation);
    QFETCH(bool, lastSilent);
    QFETCH(int, expected);

    openLink();
    m_line->addDevice(1);
    sim::VirtualDevice *last = m_line->addDevice(2);
    last->silentFor = lastSilent ? 1000 : 0;
    // The last answer comes after the period: the queue runs out while its
    // last request is still in flight, and that request's outcome decides.
    last->answerDelayMs = 80;
    m_link->setPeriod(30);
    m_link->setTimeout(250);
    m_link->setRepeats(1);
    m_link->setOperation(operation);
    m_link->enqueue(readRegisters(1, 0x10, 2));
    m_link->enqueue(readRegisters(2, 0x10, 2));
    m_link->startQueue(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_link->countPrefix(QStringLiteral("answer:")), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isQueueRunning(), 2000);
    QVERIFY2(m_link->count(QStringLiteral("allSent")) == expected, qPrintable(m_link->events.join(' ')));
    if (expected)
        QVERIFY(m_link->events.indexOf(QStringLiteral("allSent"))
                == m_link->events.lastIndexOf(QStringLiteral("answer:29")) + 1);

    // A later single request, now under code 29, is no batch end.
    m_link->setOperation(29);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(readRegisters(1, 0x10, 2));
    QVERIFY(answers.wait(3000));
    QCOMPARE(m_link->count(QStringLiteral("allSent")), expected);
}

void TestLink::emptyQueue()
{
    StderrCapture err;
    m_link->startQueue(false);
    QCOMPARE(err.text(), QByteArray("Requests quene is empty\n"));
    QVERIFY(!m_link->isQueueRunning());
}

void TestLink::repeatModeKeepsSendingUntilStopped()
{
    openLink();
    sim::VirtualDevice *dev = m_line->addDevice(6);
    m_link->setPeriod(40);
    m_link->setTimeout(80);
    m_link->setRepeats(1);
    m_link->setOperation(1);
    m_link->sendRepeated(command3(6));
    QTRY_VERIFY_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:1")) >= 3, 5000);
    // A device that stops answering does not end the loop: the time-outs are
    // reported and the sending goes on.
    dev->silentFor = 2;
    QTRY_VERIFY_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:0")) == 2
                                 && m_link->count(QStringLiteral("answer:1")) >= 5,
                             5000);
    QVERIFY(m_link->isRepeating());
    m_link->stopSending();
    QVERIFY(!m_link->isRepeating());
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isBusy(), 2000);
    const int sent = m_line->requests().size();
    QVERIFY(!QSignalSpy(m_line, &sim::VirtualLine::requestReceived).wait(200));
    QCOMPARE(m_line->requests().size(), sent);
    // Never two requests in flight: every request has its outcome.
    QCOMPARE(m_link->countPrefix(QStringLiteral("answer:")), m_link->countPrefix(QStringLiteral("send:")));
}

void TestLink::rtsSequenceWithoutFlowControl()
{
    m_link->serialConfig().rtsDelay = 10;
    StderrCapture err;
    openLink(0);
    m_line->addDevice(1);
    m_link->setPeriod(50);
    m_link->setTimeout(1000);
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    QSignalSpy onLine(m_line, &sim::VirtualLine::requestReceived);
    const QByteArray frame = command3(1, 7);
    QCOMPARE(frame.size(), 12);
    m_link->sendFrame(frame);
    QVERIFY(onLine.wait(2000));
    // The device answers at once, while RTS is still held: the link is busy
    // and reports nothing until the transmission is over.
    QVERIFY(m_link->isBusy());
    QCOMPARE(answers.count(), 0);
    // A time-out that does not belong to an awaited answer changes nothing.
    m_link->timeoutFunc();
    QVERIFY(answers.wait(2000));

    const QStringList expected = {"rtsOn", "write", "written", "rtsOff", "await", "send:12", "answer:1"};
    QCOMPARE(m_link->events, expected);
    const qint64 rtsOn = m_link->timeOf(QStringLiteral("rtsOn"));
    const qint64 write = m_link->timeOf(QStringLiteral("write"));
    const qint64 written = m_link->timeOf(QStringLiteral("written"));
    const qint64 rtsOff = m_link->timeOf(QStringLiteral("rtsOff"));
    QVERIFY2(write - rtsOn >= 5, qPrintable(QString::number(write - rtsOn)));
    QVERIFY2(rtsOff - written >= 120, qPrintable(QString::number(rtsOff - written)));

    // A second transmission: the pseudo-terminal's missing RTS line is
    // reported once per port, and the frames go out all the same.
    m_link->sendFrame(frame);
    QVERIFY(answers.wait(2000));
    QCOMPARE(m_line->requests().size(), 2);
    const QByteArray said = err.text();
    QCOMPARE(said.count("couldn't set RTS"), 1);
    QVERIFY2(said.startsWith("protocolComHart::couldn't set RTS on " + m_line->portName().toUtf8()),
             said.constData());

    // With rtsDelay 0 there is no hold at all.
    m_link->events.clear();
    m_link->serialConfig().rtsDelay = 0;
    m_link->sendFrame(frame);
    QVERIFY(answers.wait(2000));
    QCOMPARE(m_link->events, expected);
}

void TestLink::portDiagnostics()
{
    {
        StderrCapture err;
        QVERIFY(!m_link->openPort(QStringLiteral("/no/such/port")));
        const QByteArray said = err.text();
        QVERIFY2(said.startsWith("protocolComHart::couldn't set rw permission\n"), said.constData());
        QVERIFY(said.endsWith("No such file or directory\n"));
        QVERIFY(!m_link->isPortOpen());
    }
    openLink();
    QCOMPARE(m_link->portName(), m_line->portName());
    QVERIFY(m_link->openPort(m_line->portName()));    // same port: nothing to do
    {
        StderrCapture err;
        m_link->serialConfig().baudRate = -5;
        QVERIFY(!m_link->configurePort());
        QCOMPARE(err.text(), QByteArray("protocolComHart::couldn't set baudrate\n"));
        QCOMPARE(m_link->portErrorString(), QStringLiteral("Invalid baud rate value"));
        // A value no port can take: the record is at fault, not the port.
        QCOMPARE(m_link->refusedSetting(), QStringLiteral("скорость"));
        QVERIFY(!m_link->serialConfig().isUsable());
    }
    m_link->serialConfig().baudRate = 1200;
    QVERIFY(m_link->serialConfig().isUsable());
    QVERIFY(m_link->configurePort());
    QVERIFY(m_link->refusedSetting().isEmpty());
    // Applying the same record again, and changing one value, both work on
    // the pseudo-terminal as on a real port.
    QVERIFY(m_link->configurePort());
    m_link->serialConfig().parity = 2;
    QVERIFY(m_link->configurePort());
    m_link->serialConfig().parity = 3;
    m_link->serialConfig().baudRate = 9600;
    QVERIFY(m_link->configurePort());
    m_link->closePort();
    QVERIFY(!m_link->isPortOpen());

}

void TestLink::unsentRequestEndsFromEventLoop()
{
    // A request on a closed port is never reported as sent, and it ends with
    // its time-out outcome at once instead of after every repeat's time-out;
    // the outcome comes from the event loop, never from inside sendFrame.
    m_link->setPeriod(500);
    m_link->setTimeout(5000);
    m_link->setRepeats(3);
    m_link->setOperation(9);
    QElapsedTimer clock;
    clock.start();
    m_link->sendFrame(command3(1));
    QVERIFY(m_link->isBusy());
    QCOMPARE(m_link->countPrefix(QStringLiteral("answer:")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:0")), 1, 2000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 0);
    QVERIFY(!m_link->isBusy());
    QCOMPARE(m_link->repeatsLeft(), 3);

    // A queue on a closed port runs through its requests the same way, one
    // period apart, and ends by itself.
    m_link->events.clear();
    m_link->setPeriod(20);
    for (int a = 1; a <= 3; ++a)
        m_link->enqueue(command3(uint8_t(a)));
    m_link->startQueue(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:0")), 3, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isQueueRunning(), 2000);
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 0);

    // Closing the port under a request in flight ends it the same way.
    openLink();
    m_line->addDevice(4)->answerDelayMs = 2000;
    m_link->events.clear();
    QSignalSpy onLine(m_line, &sim::VirtualLine::requestReceived);
    m_link->sendFrame(command3(4));
    QVERIFY(onLine.wait(2000));
    QTRY_COMPARE_WITH_TIMEOUT(m_link->countPrefix(QStringLiteral("send:")), 1, 2000);
    clock.restart();
    m_link->closePort();
    QTRY_COMPARE_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:0")), 1, 2000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 1);
    QCOMPARE(m_link->count(QStringLiteral("lineLost")), 0);   // closed on purpose: no loss
}

void TestLink::lineVanishes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("flowControl");
    QTest::addColumn<int>("answerDelayMs");
    // The line goes while a request waits for its answer, and between two
    // requests; in a cyclic queue, in repeat mode and for a single request.
    QTest::newRow("queue, awaiting") << "queue" << 1 << 400;
    QTest::newRow("queue, between requests") << "queue" << 1 << 0;
    QTest::newRow("queue, RTS driven") << "queue" << 0 << 400;
    QTest::newRow("repeat mode") << "repeat" << 1 << 400;
    QTest::newRow("single request") << "single" << 1 << 400;
}

void TestLink::lineVanishes()
{
    QFETCH(QString, mode);
    QFETCH(int, flowControl);
    QFETCH(int, answerDelayMs);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line"));
    QVERIFY(m_line->createLink(path));
    for (uint8_t a : {1, 2})
        m_line->addDevice(a)->answerDelayMs = answerDelayMs;
    m_link->serialConfig().flowControl = flowControl;
    m_link->serialConfig().rtsDelay = 1;
    QVERIFY(m_link->openPort(path));
    m_link->setPeriod(50);
    m_link->setTimeout(1500);
    m_link->setRepeats(3);
    m_link->setOperation(3);

    // The line goes once the device has heard the second request (with a
    // delayed answer: while the link waits for it), or right after the
    // second answer.
    int heard = 0;
    if (answerDelayMs > 0) {
        connect(m_line, &sim::VirtualLine::requestReceived, this, [&] {
            if (++heard == 2)
                m_line->vanish();
        });
    } else {
        connect(m_line, &sim::VirtualLine::answerSent, this, [&] {
            if (++heard == 2)
                m_line->vanish();
        });
    }
    QSignalSpy lost(m_link, &protocolComHart::lineLost);
    if (mode == QLatin1String("queue")) {
        m_link->enqueue(command3(1));
        m_link->enqueue(command3(2));
        m_link->startQueue(true);
    } else if (mode == QLatin1String("repeat")) {
        m_link->sendRepeated(command3(1));
    } else {
        m_line->device(1)->silentFor = 1;   // the second transmission is heard
        m_link->setTimeout(150);
        m_link->sendFrame(command3(1));
    }
    QVERIFY(lost.wait(5000));
    const int answersAtLoss = m_link->countPrefix(QStringLiteral("answer:"));
    QVERIFY(!m_link->isPortOpen());
    QVERIFY(!m_link->isBusy());
    QVERIFY(!m_link->isQueueRunning());
    QVERIFY(!m_link->isRepeating());
    QCOMPARE(m_link->queueSize(), 0);
    QVERIFY2(lost.at(0).at(0).toString().contains(path), qPrintable(lost.at(0).at(0).toString()));
    // Nothing follows: no outcome for the request in flight, no second loss.
    QTest::qWait(400);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(m_link->countPrefix(QStringLiteral("answer:")), answersAtLoss);
    QCOMPARE(m_link->count(QStringLiteral("answer:0")), 0);

    // Plugged back in at the same path, the port opens at once and works.
    QVERIFY(m_line->reappear());
    QVERIFY(m_link->openPort(path));
    m_link->events.clear();
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_line->device(1)->answerDelayMs = 0;
    m_link->sendFrame(command3(1));
    QVERIFY(answers.wait(3000));
    QCOMPARE(answers.at(0).at(0).toInt(), 3);
    QCOMPARE(m_link->answerAddress(), uint8_t(1));
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
