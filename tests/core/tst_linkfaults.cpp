// The link on a misbehaving line: answers that come late, twice, from
// another device or for another command, and stray frames, must never be
// taken for the waiting request's answer; the link counts them per device.
// And the line has one owner: repeat mode gives way to a queue or a single
// request, and a command is sent as many times as it was asked for.

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/bigendian.h"
#include "common/linkrig.h"

#include <QtTest>

using namespace linkrig;

namespace {

constexpr uint16_t TagRegister = 0x0010;

// What a device's answer carries, so an answer shows whose it is: command 3
// leads with the loop current (set to the address), command 51 reads a
// register holding 100 + the address.
bool answerFits(protocolComHart &link)
{
    const QByteArray address = link.requestAddress();
    if (address.isEmpty())
        return false;
    const int a = uint8_t(address.at(address.size() == 5 ? 2 : 0));
    const QByteArray d = link.answerData();
    if (link.answerAddress() != a)
        return false;
    if (link.requestCommand() == 3)
        return d.size() == 24 && beFloat(d, 0) == float(a);
    if (link.requestCommand() == 51)
        return d.size() == 4 && beFloat(d, 0) == float(100 + a);
    return false;
}

} // namespace

class TestLinkFaults : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void oneAnswerOneRequest_data();
    void oneAnswerOneRequest();
    void duplicateOnSlowLine_data();
    void duplicateOnSlowLine();
    void repeatModeGivesWay_data();
    void repeatModeGivesWay();

private:
    sim::VirtualLine *m_line = nullptr;
    RecordingLink *m_link = nullptr;
};

void TestLinkFaults::init()
{
    m_line = new sim::VirtualLine;
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    for (uint8_t a : {1, 2, 3}) {
        sim::VirtualDevice *dev = m_line->addDevice(a);
        dev->current = float(a);
        dev->setF32(TagRegister, float(100 + a));
    }
    m_link = new RecordingLink;
    QVERIFY(m_link->openPort(m_line->portName()));
}

void TestLinkFaults::cleanup()
{
    delete m_link;
    m_link = nullptr;
    delete m_line;
    m_line = nullptr;
}

void TestLinkFaults::oneAnswerOneRequest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<int>("timeouts");       // -1: not fixed
    QTest::addColumn<int>("discards");       // -1: some
    QTest::addColumn<int>("reason");         // LinkStatistics::DiscardReason, -1: any
    QTest::addColumn<int>("checksumErrors");
    QTest::addColumn<int>("slowestMs");      // device 1's longest response at least

    // Time-out 300 ms. Device 1 is asked first, then 2, 3, 1, 2, 3, ...
    QTest::newRow("late after the time-out") << "late" << 1 << 1 << 1 << -1 << 0 << 0;
    QTest::newRow("late, the retry's answer follows") << "lateRetry" << 2 << 0 << 1 << -1 << 0 << 100;
    QTest::newRow("duplicated") << "duplicate" << 1 << 0 << 1 << -1 << 0 << 0;
    QTest::newRow("from another address") << "otherAddress" << 2 << 0 << 1
                                          << int(LinkStatistics::OtherAddress) << 0 << 0;
    QTest::newRow("for another command") << "otherCommand" << 2 << 0 << 1
                                         << int(LinkStatistics::OtherCommand) << 0 << 0;
    QTest::newRow("bad checksum, another address") << "badOtherAddress" << 2 << 0 << 1
                                                   << int(LinkStatistics::OtherAddress) << 1 << 0;
    QTest::newRow("stray between requests") << "stray" << 1 << 0 << 1 << -1 << 0 << 0;
    // One transmission only: the right answer, in the same read behind a
    // foreign frame, must still be found.
    QTest::newRow("foreign frame, answer in the same read") << "foreignFirst" << 1 << 0 << 1
                                                             << int(LinkStatistics::OtherAddress) << 0 << 0;
    QTest::newRow("every kind, every n-th answer") << "all" << 3 << -1 << -1 << -1 << 0 << 0;
}

void TestLinkFaults::oneAnswerOneRequest()
{
    QFETCH(QString, fault);
    QFETCH(int, repeats);
    QFETCH(int, timeouts);
    QFETCH(int, discards);
    QFETCH(int, reason);
    QFETCH(int, checksumErrors);
    QFETCH(int, slowestMs);

    sim::VirtualDevice *dev = m_line->device(1);
    if (fault == QLatin1String("late")) {
        dev->late.next = 1;
        dev->lateByMs = 450;
    } else if (fault == QLatin1String("lateRetry")) {
        // The first answer comes at 450 ms, after the retry left at 300 ms
        // and before the retry's own answer at 500 ms.
        dev->answerDelayMs = 200;
        dev->late.next = 1;
        dev->lateByMs = 250;
    } else if (fault == QLatin1String("duplicate")) {
        dev->duplicate.next = 1;
    } else if (fault == QLatin1String("otherAddress")) {
        dev->otherAddress.next = 1;
        dev->strayAddress = 2;
    } else if (fault == QLatin1String("otherCommand")) {
        dev->otherCommand.next = 1;
    } else if (fault == QLatin1String("badOtherAddress")) {
        dev->otherAddress.next = 1;
        dev->strayAddress = 2;
        dev->corruptNextChecksum = true;
    }
    const QByteArray body = QByteArray::fromHex("020703000000");
    char sum = 0;
    for (char c : body)
        sum ^= c;
    const QByteArray stray = QByteArray(5, '\xff') + body + sum;   // from address 7
    if (fault == QLatin1String("foreignFirst")) {
        dev->noiseBeforeNext = stray;
    } else if (fault == QLatin1String("stray")) {
        connect(m_link, &protocolComHart::answerGet, this, [this, stray] {
            if (m_link->count(QStringLiteral("answer:3")) == 1)
                m_line->sendRaw(stray);
        });
    } else if (fault == QLatin1String("all")) {
        for (uint8_t a : {1, 2, 3}) {
            sim::VirtualDevice *d = m_line->device(a);
            d->late.every = 5;
            d->lateByMs = 450;
            d->duplicate.every = 4;
            d->otherAddress.every = 7;
            d->otherCommand.every = 6;
        }
    }

    int misassigned = 0;
    QMap<int, int> sentTo, creditedTo, timedOutFor;
    connect(m_link, &protocolComHart::requestSend, this, [&](const char *frame, int size) {
        ++sentTo[addressOf(QByteArray(frame, size))];
    });
    connect(m_link, &protocolComHart::answerGet, this, [&](int code) {
        const int a = uint8_t(m_link->requestAddress().at(0));
        if (code == 0) {
            ++timedOutFor[a];
            return;
        }
        ++creditedTo[a];
        misassigned += answerFits(*m_link) ? 0 : 1;
    });
    int tx = 0, rxTaken = 0, rxDiscarded = 0, rxTimeouts = 0;
    connect(m_link, &protocolComHart::traffic, this, [&](const LinkTrafficEvent &e) {
        if (e.direction == LinkTrafficEvent::Tx)
            ++tx;
        else if (e.verdict == LinkTrafficEvent::Discarded)
            ++rxDiscarded;
        else if (e.verdict == LinkTrafficEvent::Timeout)
            ++rxTimeouts;
        else
            ++rxTaken;
        QCOMPARE(e.bytes.isEmpty(), e.verdict == LinkTrafficEvent::Timeout);
    });

    const int requests = fault == QLatin1String("all") ? 24 : 12;
    m_link->setPeriod(40);
    m_link->setTimeout(300);
    m_link->setRepeats(repeats);
    m_link->setOperation(3);
    for (int i = 0; i < requests; ++i) {
        const auto a = uint8_t(1 + i % 3);
        m_link->enqueue((i / 3) % 2 ? readRegisters(a, TagRegister, 4) : command3(a));
    }
    m_link->startQueue(false);
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isQueueRunning() && !m_link->isBusy(), 30000);
    // Whatever is still on its way comes in and is judged.
    QTRY_VERIFY_WITH_TIMEOUT(!m_line->isTransmitting(), 5000);
    QVERIFY(!QSignalSpy(m_line, &sim::VirtualLine::answerSent).wait(150));

    QCOMPARE(misassigned, 0);
    QCOMPARE(m_link->countPrefix(QStringLiteral("answer:")), requests);
    const LinkStatistics &stats = m_link->statistics();
    const LinkAddressStatistics total = stats.total();
    if (timeouts >= 0)
        QCOMPARE(total.timeouts, timeouts);
    if (discards >= 0)
        QCOMPARE(total.answersDiscarded, discards);
    else
        QVERIFY(total.answersDiscarded > 0);
    if (reason >= 0)
        QCOMPARE(stats.discarded(LinkStatistics::DiscardReason(reason)), total.answersDiscarded);
    QCOMPARE(total.checksumErrors, checksumErrors);
    int byReason = 0;
    for (int r = 0; r < LinkStatistics::DiscardReasonCount; ++r)
        byReason += stats.discarded(LinkStatistics::DiscardReason(r));
    QCOMPARE(byReason, total.answersDiscarded);

    // The counts per device are what the signals said.
    for (int a : {1, 2, 3}) {
        const LinkAddressStatistics &s = stats.address(a);
        QCOMPARE(s.requestsSent, sentTo.value(a));
        QCOMPARE(s.answersCredited, creditedTo.value(a));
        QCOMPARE(s.timeouts, timedOutFor.value(a));
        QVERIFY(s.responseMaxMs() >= s.responseMeanMs());
    }
    QVERIFY2(stats.address(1).responseMaxMs() >= slowestMs,
             qPrintable(QString::number(stats.address(1).responseMaxMs())));
    QCOMPARE(tx, total.requestsSent);
    QCOMPARE(rxTaken, total.answersCredited);
    QCOMPARE(rxTimeouts, total.timeouts);
    QCOMPARE(rxDiscarded, total.answersDiscarded);

    m_link->resetStatistics();
    QCOMPARE(m_link->statistics().total().requestsSent, 0);
    QCOMPARE(m_link->statistics().discarded(LinkStatistics::NobodyWaiting), 0);
}

void TestLinkFaults::duplicateOnSlowLine_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("polling one device") << 3;
    QTest::newRow("reading one device's registers") << 51;
}

void TestLinkFaults::duplicateOnSlowLine()
{
    // At 1200 baud a copy sent right behind an answer trickles in for a
    // while: a next request to the same device sent at once would take it
    // for its answer (same device, same command, begun after the request).
    // Each answer here carries the number of the request it answers, so a
    // copy taken for the next request's answer shows.
    QFETCH(int, command);
    m_line->setBaud(1200);
    sim::VirtualDevice *dev = m_line->device(1);
    dev->duplicate.next = 1;
    connect(m_line, &sim::VirtualLine::requestReceived, this, [dev] {
        dev->current = float(dev->requestsSeen + 1);
        dev->setF32(TagRegister, float(dev->requestsSeen + 1));
    });
    int misassigned = 0;
    connect(m_link, &protocolComHart::answerGet, this, [&](int code) {
        if (code != 0 && beFloat(m_link->answerData(), 0) != float(m_line->requests().size()))
            ++misassigned;
    });
    m_link->setPeriod(40);
    m_link->setTimeout(1500);
    m_link->setRepeats(1);
    m_link->setOperation(3);
    for (int i = 0; i < 4; ++i)
        m_link->enqueue(command == 3 ? command3(1) : readRegisters(1, TagRegister, 4));
    m_link->startQueue(false);
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isQueueRunning() && !m_link->isBusy(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_line->isTransmitting(), 5000);
    QCOMPARE(misassigned, 0);
    QCOMPARE(m_link->count(QStringLiteral("answer:3")), 4);
    const LinkStatistics &stats = m_link->statistics();
    QCOMPARE(stats.total().answersDiscarded, 1);
    QCOMPARE(stats.discarded(LinkStatistics::Duplicate), 1);
    QCOMPARE(stats.address(1).timeouts, 0);
}

void TestLinkFaults::repeatModeGivesWay_data()
{
    QTest::addColumn<bool>("viaQueue");
    QTest::addColumn<bool>("whileWaiting");
    QTest::newRow("single request between loop requests") << false << false;
    QTest::newRow("queue between loop requests") << true << false;
    QTest::newRow("single request while the loop waits") << false << true;
    QTest::newRow("queue while the loop waits") << true << true;
}

void TestLinkFaults::repeatModeGivesWay()
{
    QFETCH(bool, viaQueue);
    QFETCH(bool, whileWaiting);

    sim::VirtualDevice *dev = m_line->device(1);
    dev->answerDelayMs = whileWaiting ? 150 : 0;
    m_link->setPeriod(60);
    m_link->setTimeout(600);
    m_link->setRepeats(1);
    m_link->setOperation(1);
    m_link->sendRepeated(command3(1));
    QTRY_VERIFY_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:1")) >= 2, 5000);
    // Waiting means the loop's request is on the line and its answer due;
    // a request still waiting for a quiet line has not gone out yet.
    QTRY_VERIFY_WITH_TIMEOUT(whileWaiting ? m_link->isBusy() && m_link->events.constLast().startsWith("send:")
                                     && m_line->requests().size() == m_link->countPrefix(QStringLiteral("send:"))
                                          : !m_link->isBusy(),
                             5000);
    const int loopRequests = m_line->requests().size();
    const int loopAnswers = m_link->count(QStringLiteral("answer:1"));

    // Another operation takes the line: the zero-point command, once.
    m_link->setOperation(16);
    const QByteArray zero = bareCommand(1, 37);
    if (viaQueue) {
        m_link->enqueue(zero);
        m_link->startQueue(false);
    } else if (!m_link->sendFrame(zero)) {
        // Refused while the loop's request waits: queued, as the device
        // operations do, it goes out once that request has its outcome.
        QVERIFY(whileWaiting);
        m_link->enqueue(zero);
        m_link->startQueue(false);
    }
    QCOMPARE(m_link->count(QStringLiteral("repeatEnded")), 1);
    QVERIFY(!m_link->isRepeating());
    QTRY_COMPARE_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:16")), 1, 5000);
    // Several periods later: the loop has not come back, and the command
    // went out once.
    QVERIFY(!QSignalSpy(m_line, &sim::VirtualLine::requestReceived).wait(400));
    QCOMPARE(m_line->requests().size(), loopRequests + 1);
    QCOMPARE(addressOf(m_line->requests().constLast()), 1);
    QCOMPARE(m_line->requests().constLast(), zero);
    int zeros = 0;
    for (const QByteArray &c : qAsConst(dev->commandsSeen))
        zeros += uint8_t(c.at(0)) == 37 ? 1 : 0;
    QCOMPARE(zeros, 1);
    // The loop's request in flight kept its own code.
    QCOMPARE(m_link->count(QStringLiteral("answer:1")), loopAnswers + (whileWaiting ? 1 : 0));
    QCOMPARE(m_link->requestCommand(), 37);
    QCOMPARE(m_link->count(QStringLiteral("answer:0")), 0);
    QCOMPARE(m_link->count(QStringLiteral("repeatEnded")), 1);

    // Repeat mode in turn ends a running queue; stopSending says nothing.
    m_link->setOperation(3);
    m_link->enqueue(command3(2));
    m_link->startQueue(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_link->count(QStringLiteral("answer:3")) >= 1, 5000);
    m_link->setOperation(1);
    m_link->sendRepeated(command3(3));
    QVERIFY(!m_link->isQueueRunning());
    QTRY_VERIFY_WITH_TIMEOUT(addressOf(m_line->requests().constLast()) == 3, 5000);
    m_link->stopSending();
    QCOMPARE(m_link->count(QStringLiteral("repeatEnded")), 1);
}

QTEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
