// The link where noise runs into the answers: a noise burst in front of an
// answer, however much it looks like a frame start, costs no answer that
// arrived whole after it; and a cyclic poll on a line that loses, damages,
// delays and garbles answers takes every answer that came in time.

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/bigendian.h"
#include "common/linkrig.h"

#include <QtTest>

using namespace linkrig;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestLinkNoise : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noiseBeforeAnswer_data();
    void noiseBeforeAnswer();
    void cyclicPollOnMisbehavingLine();

private:
    sim::VirtualLine *m_line = nullptr;
    RecordingLink *m_link = nullptr;
};

void TestLinkNoise::init()
{
    m_line = new sim::VirtualLine;
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    for (uint8_t a : {1, 2, 5})
        m_line->addDevice(a)->current = float(a);
    m_link = new RecordingLink;
    QVERIFY(m_link->openPort(m_line->portName()));
}

void TestLinkNoise::cleanup()
{
    delete m_link;
    m_link = nullptr;
    delete m_line;
    m_line = nullptr;
}

void TestLinkNoise::noiseBeforeAnswer_data()
{
    QTest::addColumn<QByteArray>("noise");
    QTest::addColumn<bool>("apart");     // noise and answer in reads of their own

    const struct
    {
        const char *name;
        const char *bytes;
    } noises[] = {
        {"ff ff 02", "ffff02"},
        {"ff ff 02 with a header", "ffff02 0103 20 0000"},
        {"a frame start whose count runs past the answer", "ffffff 02 07 03 40"},
        {"a frame start ending in the answer's preamble", "ffffff 02 07 03 00 00"},
        {"a frame start with a negative count", "ffffff 02 07 03 f0"},
        {"a long-frame start", "ffffff 82 0f 02"},
        {"the head of an answer of the same device", "ffffffffff 02 01 03 1a 0000 4140"},
        {"two starts, one in the other", "ffffff 02 07 03 40 ffffff 82 0f 02 7f"},
    };
    for (const auto &n : noises) {
        QTest::addRow("%s, same read", n.name) << hex(n.bytes) << false;
        QTest::addRow("%s, reads apart", n.name) << hex(n.bytes) << true;
    }
}

void TestLinkNoise::noiseBeforeAnswer()
{
    QFETCH(QByteArray, noise);
    QFETCH(bool, apart);
    sim::VirtualDevice *dev = m_line->device(1);
    dev->noiseBeforeNext = noise;
    if (apart)
        dev->splitNextAnswer = {int(noise.size())};
    m_link->setPeriod(40);
    m_link->setTimeout(500);
    m_link->setRepeats(1);
    m_link->setOperation(3);
    QVERIFY(m_link->sendFrame(command3(1)));
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isBusy(), 5000);
    // One transmission, answered: the noise cost nothing.
    QCOMPARE(m_link->events.filter(QStringLiteral("answer:")), QStringList{QStringLiteral("answer:3")});
    QCOMPARE(m_line->requests().size(), 1);
    QCOMPARE(int(m_link->answerAddress()), 1);
    QVERIFY(m_link->answerChecksumOk());
    QCOMPARE(beFloat(m_link->answerData(), 0), 1.0f);
}

void TestLinkNoise::cyclicPollOnMisbehavingLine()
{
    // Addresses 1, 2, 5 and an absent 7, polled in a loop. Of the answers
    // the line gives, every 7th is lost, every 11th damaged, every 5th has
    // noise holding a delimiter in front and every 23rd comes 250 ms late,
    // after its request's time-out.
    sim::VirtualLine::LineFaults faults;
    faults.dropEvery = 7;
    faults.corruptEvery = 11;
    faults.noiseEvery = 5;
    faults.noise = hex("ffff02 05 ffffff 02 07 03 30");
    faults.lateEvery = 23;
    faults.lateMs = 250;
    m_line->setLineFaults(faults);
    // Paced, so noise and answers come in as many reads as on a real line.
    m_line->setBaud(9600);
    constexpr int TimeoutMs = 150;
    constexpr int AnswersGiven = 310;

    // Each transmission: when the line took it, when the link's wait for its
    // answer began, and to whom. Each request: its transmissions and whether
    // it ended answered.
    struct Transmission
    {
        qint64 receivedMs = -1;
        qint64 sentMs = -1;
        int address = -1;
    };
    struct Answer
    {
        qint64 atMs;
        int address;
        bool intact;
    };
    struct Request
    {
        QList<int> transmissions;
        bool answered = false;
    };
    QElapsedTimer clock;
    clock.start();
    QList<Transmission> tx;
    QList<Answer> answers;
    QList<Request> requests{Request()};
    const auto transmission = [&tx](int k) -> Transmission & {
        while (tx.size() <= k)
            tx.append(Transmission());
        return tx[k];
    };
    int received = 0, sent = 0;
    connect(m_line, &sim::VirtualLine::requestReceived, this, [&](const QByteArray &frame) {
        Transmission &t = transmission(received++);
        t.receivedMs = clock.elapsed();
        t.address = addressOf(frame);
    });
    connect(m_link, &protocolComHart::requestSend, this, [&](const char *, int) {
        transmission(sent).sentMs = clock.elapsed();
        requests.last().transmissions.append(sent++);
    });
    connect(m_line, &sim::VirtualLine::answerSent, this, [&](const QByteArray &frame) {
        HartAnswer a;
        const bool parsed = a.parse(frame);
        answers.append({clock.elapsed(), parsed ? int(a.shortAddress()) : -1, parsed && a.checksumOk()});
    });
    int misassigned = 0;
    connect(m_link, &protocolComHart::answerGet, this, [&](int code) {
        requests.last().answered = code != 0;
        if (code != 0 && beFloat(m_link->answerData(), 0) != float(m_link->answerAddress()))
            ++misassigned;
        requests.append(Request());
    });

    m_link->setPeriod(40);
    m_link->setTimeout(TimeoutMs);
    m_link->setRepeats(3);
    m_link->setOperation(3);
    for (uint8_t a : {1, 2, 5, 7})
        m_link->enqueue(command3(a));
    m_link->startQueue(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_line->answersGiven() >= AnswersGiven, 300000);
    m_link->stopSending();
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->isBusy() && !m_line->isTransmitting(), 5000);
    requests.removeLast();   // the one opened by the last outcome

    // An answer came in time for a transmission when it came whole and
    // intact from the device asked, after the line took the request and
    // before the link's wait ran out.
    const auto inTime = [&](int k) {
        const Transmission &t = tx.at(k);
        for (const Answer &a : qAsConst(answers)) {
            if (a.intact && a.address == t.address && a.atMs >= t.receivedMs && a.atMs < t.sentMs + TimeoutMs)
                return true;
        }
        return false;
    };
    int cameInTime = 0, accepted = 0;
    QStringList lost;
    for (const Request &r : qAsConst(requests)) {
        bool came = false;
        for (int k : r.transmissions)
            came = came || inTime(k);
        cameInTime += came ? 1 : 0;
        accepted += r.answered ? 1 : 0;
        if (came && !r.answered)
            lost.append(QStringLiteral("request to %1 (transmissions %2)")
                            .arg(tx.at(r.transmissions.first()).address)
                            .arg(r.transmissions.size()));
    }
    qInfo("%d requests, %d answers came in time, %d accepted", int(requests.size()), cameInTime, accepted);
    QVERIFY2(lost.isEmpty(), qPrintable(lost.join(QStringLiteral("; "))));
    QCOMPARE(misassigned, 0);
    QVERIFY(cameInTime > 200);
}

QTEST_GUILESS_MAIN(TestLinkNoise)
#include "tst_linknoise.moc"
