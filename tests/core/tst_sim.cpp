// The virtual transmitter line seen from a client: a plain QSerialPort on
// the slave side of the pseudo-terminal, with frames built and parsed here
// by hand so the line is checked independently of the product's codec.

#include "sim/virtualline.h"

#include "common/bigendian.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>


namespace {

QByteArray request(const QByteArray &address, uint8_t command, const QByteArray &data = {},
                   int preamble = 4)
{
    QByteArray body;
    body.append(char(address.size() == 5 ? 0x82 : 0x02));
    body.append(address);
    body.append(char(command));
    body.append(char(data.size()));
    body.append(data);
    char sum = 0;
    for (char c : qAsConst(body))
        sum ^= c;
    return QByteArray(preamble, char(0xFF)) + body + sum;
}

QByteArray shortAddr(uint8_t a) { return QByteArray(1, char(a)); }
QByteArray longAddr(uint8_t a) { return QByteArray("\x0F\x02", 2) + char(a) + QByteArray("\xFD\xEF", 2); }

struct Answer
{
    QByteArray noise;     // bytes before the preamble
    int preamble = 0;
    QByteArray address;
    int command = -1;
    int byteCount = -1;
    int status1 = -1, status2 = -1;
    QByteArray data;
    bool checksumOk = false;
};

// Splits a received stream into answer frames; incomplete tails are left out.
QList<Answer> parseAnswers(const QByteArray &rx)
{
    QList<Answer> out;
    int i = 0;
    while (i < rx.size()) {
        Answer a;
        int start = i;
        while (start < rx.size() && uint8_t(rx.at(start)) != 0xFF)
            ++start;
        a.noise = rx.mid(i, start - i);
        int p = start;
        while (p < rx.size() && uint8_t(rx.at(p)) == 0xFF)
            ++p;
        a.preamble = p - start;
        if (p >= rx.size())
            break;
        const int addrLen = uint8_t(rx.at(p)) == 0x82 ? 5 : 1;
        const int countAt = p + 1 + addrLen + 1;
        if (countAt >= rx.size())
            break;
        a.byteCount = uint8_t(rx.at(countAt));
        const int end = countAt + 3 + a.byteCount; // checksum index
        if (end >= rx.size())
            break;
        a.address = rx.mid(p + 1, addrLen);
        a.command = uint8_t(rx.at(countAt - 1));
        a.status1 = uint8_t(rx.at(countAt + 1));
        a.status2 = uint8_t(rx.at(countAt + 2));
        a.data = rx.mid(countAt + 3, a.byteCount);
        char sum = 0;
        for (int k = p; k < end; ++k)
            sum ^= rx.at(k);
        a.checksumOk = sum == rx.at(end);
        out.append(a);
        i = end + 1;
    }
    return out;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addressing_data();
    void addressing();
    void identityAndMeasurements();
    void writeThenRead_data();
    void writeThenRead();
    void commandsWithoutData();
    void malformedRequestsGetAnError();
    void damagedRequestIsIgnored();
    void resyncsOnGarbage();
    void framerAssemblesAnySplit();
    void silentFor();
    void corruptNextChecksum();
    void splitAnswerArrivesInSeparateReads();
    void noiseBeforePreamble();
    void answerDelay();
    void faultKnobs_data();
    void faultKnobs();
    void lateAnswerDoesNotHoldUpOthers();
    void pacingAt1200Baud();
    void answersQueueOneAfterAnother();
    void reopenedPortStillAnswered();
    void symlink();
    void vanishAndReappear();
    void deviceSet();

private:
    // Sends a frame, then a probe to device 1, and returns every answer that
    // came before and including the probe's: since the line answers in
    // order, what stands before the probe's answer is all the first frame
    // got, so silence is proven without waiting for a time-out.
    QList<Answer> sendAndProbe(const QByteArray &frame);
    QList<Answer> transact(const QByteArray &frame, int answers = 1);

    sim::VirtualLine *m_line = nullptr;
    QSerialPort *m_port = nullptr;
    QByteArray m_rx;
    QList<int> m_readSizes;
};

void TestSim::init()
{
    m_line = new sim::VirtualLine;
    for (uint8_t a : {1, 2, 5})
        QVERIFY(m_line->addDevice(a));
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    m_port = new QSerialPort(m_line->portName());
    QVERIFY2(m_port->open(QIODevice::ReadWrite), qPrintable(m_port->errorString()));
    m_rx.clear();
    m_readSizes.clear();
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray got = m_port->readAll();
        m_readSizes.append(got.size());
        m_rx.append(got);
    });
}

void TestSim::cleanup()
{
    delete m_port;
    m_port = nullptr;
    delete m_line;
    m_line = nullptr;
}

QList<Answer> TestSim::transact(const QByteArray &frame, int answers)
{
    m_rx.clear();
    m_readSizes.clear();
    m_port->write(frame);
    QList<Answer> got;
    (void)QTest::qWaitFor([&] {
        got = parseAnswers(m_rx);
        return got.size() >= answers;
    }, 5000);
    return got;
}

QList<Answer> TestSim::sendAndProbe(const QByteArray &frame)
{
    m_rx.clear();
    m_port->write(frame);
    m_port->write(request(shortAddr(1), 0x99)); // unknown command: still answered
    QList<Answer> got;
    (void)QTest::qWaitFor([&] {
        got = parseAnswers(m_rx);
        return !got.isEmpty() && got.last().command == 0x99;
    }, 5000);
    if (!got.isEmpty() && got.last().command == 0x99)
        got.removeLast();
    else
        got.append(Answer()); // probe lost: makes the caller's count fail
    return got;
}

void TestSim::addressing_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("answered");
    QTest::newRow("short 1") << shortAddr(1) << true;
    QTest::newRow("short 2") << shortAddr(2) << true;
    QTest::newRow("short 5") << shortAddr(5) << true;
    QTest::newRow("short 0 (no device)") << shortAddr(0) << false;
    QTest::newRow("short 3 (no device)") << shortAddr(3) << false;
    QTest::newRow("short 15 (no device)") << shortAddr(15) << false;
    // The master and burst bits do not name the device; the answer echoes them.
    QTest::newRow("short 5 with master bit") << shortAddr(0x85) << true;
    QTest::newRow("short 5 with burst bit") << shortAddr(0x45) << true;
    QTest::newRow("long 5") << longAddr(5) << true;
    QTest::newRow("long 2") << longAddr(2) << true;
    QTest::newRow("long 3 (no device)") << longAddr(3) << false;
    QTest::newRow("long 5, other last byte") << (longAddr(5).left(4) + '\xEE') << false;
    QTest::newRow("long 5, master bit in the first byte") << ('\x8F' + longAddr(5).mid(1)) << true;
    QTest::newRow("long 5, other first byte") << ('\x0E' + longAddr(5).mid(1)) << false;
    QTest::newRow("long 5 in the low bits of byte 1")
        << QByteArray("\x05\x02\x05\xFD\xEF", 5) << false;
}

void TestSim::addressing()
{
    QFETCH(QByteArray, address);
    QFETCH(bool, answered);
    for (uint8_t command : {0, 3}) {
        const QList<Answer> got = sendAndProbe(request(address, command));
        QCOMPARE(got.size(), answered ? 1 : 0);
        if (!answered)
            continue;
        const Answer &a = got.first();
        QCOMPARE(a.address, address);
        QCOMPARE(a.command, int(command));
        QCOMPARE(a.byteCount, a.data.size());
        QCOMPARE(a.status1, 0);
        QCOMPARE(a.status2, 0);
        QVERIFY(a.checksumOk);
        QCOMPARE(a.preamble, 5);
        QVERIFY(a.noise.isEmpty());
    }
}

void TestSim::identityAndMeasurements()
{
    sim::VirtualDevice *dev = m_line->device(5);
    QList<Answer> got = transact(request(shortAddr(5), 0));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data.size(), 12);
    QCOMPARE(uint8_t(got[0].data.at(0)), uint8_t(254));

    dev->setPressure(4.725f); // three quarters of the 0..6.3 kPa range
    QCOMPARE(dev->current, 16.0f);
    dev->variables[0] = 1.5f;
    dev->variables[3] = -273.0f;
    dev->units[1] = 32;
    got = transact(request(longAddr(5), 3));
    QCOMPARE(got.size(), 1);
    const QByteArray d = got[0].data;
    QCOMPARE(d.size(), 24);
    QCOMPARE(got[0].byteCount, 24);
    QCOMPARE(beFloat(d, 0), 16.0f);
    QCOMPARE(beFloat(d, 5), 1.5f);
    QCOMPARE(uint8_t(d.at(9)), uint8_t(32));
    QCOMPARE(beFloat(d, 10), 512.5f);
    QCOMPARE(beFloat(d, 20), -273.0f);

    // The current and pressure registers follow what the device measures.
    got = transact(request(shortAddr(5), 51, QByteArray("\x00\xC8\x08", 3)));
    QCOMPARE(got.size(), 1);
    QCOMPARE(beFloat(got[0].data, 0), 16.0f);
    QCOMPARE(beFloat(got[0].data, 4), 4.725f);
    QCOMPARE(dev->f32(sim::VirtualDevice::RegCurrent), 16.0f);

    // A register set directly, or written with command 91, becomes what the
    // device reports.
    dev->setF32(sim::VirtualDevice::RegPressure, 12.5f);
    got = transact(request(shortAddr(5), 91, QByteArray("\x00\xC8", 2) + be(7.0f)));
    QCOMPARE(got.size(), 1);
    got = transact(request(shortAddr(5), 3));
    QCOMPARE(beFloat(got[0].data, 0), 7.0f);
    QCOMPARE(dev->current, 7.0f);
    got = transact(request(shortAddr(5), 51, QByteArray("\x00\xCC\x04", 3)));
    QCOMPARE(beFloat(got[0].data, 0), 12.5f);
    QCOMPARE(dev->pressure, 12.5f);
}

void TestSim::writeThenRead_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expectedRead"); // what 51 returns afterwards
    QTest::newRow("address byte") << 0x0003 << QByteArray("\x07", 1) << QByteArray("\x07", 1);
    QTest::newRow("Pmax float 1.0") << 0x001E << be(1.0f) << be(1.0f);
    QTest::newRow("serial") << 0x003A << QByteArray("\x01\x02\x03\x04", 4) << QByteArray("\x01\x02\x03\x04", 4);
    const QByteArray block = be(0.5f) + be(-2.0f) + be(3.25f) + QByteArray("\0\0\0\x2A", 4);
    QTest::newRow("16-byte block") << 0x004E << block << block;
    QTest::newRow("past the end") << 0x01FE << QByteArray("\xAA\xBB\xCC\xDD", 4)
                                  << QByteArray("\xAA\xBB\0\0", 4);
    QTest::newRow("far outside") << 0x7F00 << QByteArray("\x11", 1) << QByteArray("\0", 1);
}

void TestSim::writeThenRead()
{
    QFETCH(int, reg);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expectedRead);
    const QByteArray addr = QByteArray(1, char(reg >> 8)) + char(reg);
    sim::VirtualDevice *dev = m_line->device(2);
    const QByteArray before = dev->memory();

    QList<Answer> got = transact(request(shortAddr(2), 91, addr + bytes));
    QCOMPARE(got.size(), 1);
    QVERIFY(got[0].checksumOk);
    QCOMPARE(got[0].data, addr + bytes); // the write is echoed
    QCOMPARE(dev->memory().size(), int(sim::VirtualDevice::MemorySize));
    if (reg < sim::VirtualDevice::MemorySize)
        QCOMPARE(dev->memory().mid(reg, expectedRead.size()), expectedRead.left(sim::VirtualDevice::MemorySize - reg));
    else
        QCOMPARE(dev->memory(), before);
    QCOMPARE(m_line->device(1)->memory(), sim::VirtualDevice(1).memory()); // only device 2 changed

    got = transact(request(longAddr(2), 51, addr + char(bytes.size())));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data, expectedRead);
    QCOMPARE(got[0].byteCount, expectedRead.size());
}

void TestSim::commandsWithoutData()
{
    sim::VirtualDevice *dev = m_line->device(1);
    dev->commandsSeen.clear();
    for (uint8_t command : {36, 37, 42, 43}) {
        const QList<Answer> got = transact(request(shortAddr(1), command));
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].command, int(command));
        QCOMPARE(got[0].byteCount, 0);
        QCOMPARE(got[0].status1, 0);
        QVERIFY(got[0].checksumOk);
    }
    QCOMPARE(dev->commandsSeen, (QList<QByteArray>{"\x24", "\x25", "\x2A", "\x2B"}));
}

void TestSim::malformedRequestsGetAnError()
{
    QList<Answer> got = transact(request(shortAddr(1), 51, QByteArray("\x00\x3A", 2)));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].status1, int(sim::VirtualDevice::ResponseTooFewDataBytes));
    QCOMPARE(got[0].byteCount, 0);
    got = transact(request(shortAddr(1), 91, QByteArray("\x00", 1)));
    QCOMPARE(got[0].status1, int(sim::VirtualDevice::ResponseTooFewDataBytes));
    got = transact(request(shortAddr(1), 200));
    QCOMPARE(got[0].status1, int(sim::VirtualDevice::ResponseCommandNotImplemented));
    QVERIFY(got[0].checksumOk);
}

void TestSim::damagedRequestIsIgnored()
{
    sim::VirtualDevice *dev = m_line->device(2);
    QByteArray bad = request(shortAddr(2), 91, QByteArray("\x00\x03\x09", 3));
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x01);
    m_line->clearRequests();
    const int seen = dev->requestsSeen;
    QCOMPARE(sendAndProbe(bad).size(), 0);
    QCOMPARE(dev->requestsSeen, seen);
    QCOMPARE(dev->u8(sim::VirtualDevice::RegAddress), uint8_t(2)); // not written
    QCOMPARE(m_line->requests().size(), 2);
    QCOMPARE(m_line->requests().first(), bad);
}

void TestSim::resyncsOnGarbage()
{
    // Line noise, a false start whose byte count swallows the real request,
    // then the real request: it must still be found and answered once.
    const QByteArray good = request(shortAddr(5), 0, {}, 3);
    const QByteArray garbage = QByteArray("\x12\xFF\x02\x00", 4) + QByteArray("\xFF\xFF\x02\x05\x00\x40", 6);
    QList<Answer> got = transact(garbage + good);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].address, shortAddr(5));

    // A long preamble is fine.
    got = transact(request(longAddr(1), 3, {}, 25));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data.size(), 24);
}

void TestSim::framerAssemblesAnySplit()
{
    const QByteArray frame = request(longAddr(5), 51, QByteArray("\x00\x1E\x04", 3), 3);
    for (int cut = 1; cut < frame.size(); ++cut) {
        sim::RequestFramer framer;
        QVERIFY(framer.feed(frame.left(cut), 0).isEmpty());
        const auto frames = framer.feed(frame.mid(cut), 1);
        QCOMPARE(frames.size(), 1);
        QVERIFY(frames[0].checksumOk);
        QCOMPARE(frames[0].raw, frame);
        QCOMPARE(frames[0].request.command, uint8_t(51));
        QCOMPARE(frames[0].request.address, longAddr(5));
        QCOMPARE(framer.pendingBytes(), 0);
    }
    // A frame broken off by a silence longer than the gap limit is dropped,
    // so its remains cannot glue onto the next request.
    sim::RequestFramer framer;
    framer.setGapLimitMs(100);
    QVERIFY(framer.feed(frame.left(8), 0).isEmpty());
    QVERIFY(framer.feed(frame.mid(8), 500).isEmpty());
    QCOMPARE(framer.feed(frame, 520).size(), 1);
    // A false start whose byte count swallows the beginning of a real
    // request fails its checksum; the real request behind it is still found.
    const QByteArray real = request(shortAddr(5), 0, {}, 3);
    const auto found = framer.feed(QByteArray("\xFF\xFF\x02\x05\x00\x02", 6) + real, 600);
    QCOMPARE(found.size(), 2);
    QVERIFY(!found[0].checksumOk);
    QVERIFY(found[1].checksumOk);
    QCOMPARE(found[1].raw, real);
    // A single 0xFF is no preamble.
    QVERIFY(framer.feed(frame.mid(2), 530).isEmpty());
}

void TestSim::silentFor()
{
    sim::VirtualDevice *dev = m_line->device(5);
    dev->silentFor = 2;
    dev->commandsSeen.clear();
    const QByteArray write = request(shortAddr(5), 91, QByteArray("\x00\x0B\x10", 3));
    QCOMPARE(sendAndProbe(write).size(), 0);
    QCOMPARE(dev->u8(sim::VirtualDevice::RegMovingAverage1), uint8_t(8)); // unheard: not written
    QCOMPARE(sendAndProbe(write).size(), 0);
    QCOMPARE(sendAndProbe(write).size(), 1);
    QCOMPARE(dev->u8(sim::VirtualDevice::RegMovingAverage1), uint8_t(0x10));
    QCOMPARE(dev->requestsSeen, 3);
    QCOMPARE(dev->commandsSeen.size(), 1);
    QCOMPARE(dev->silentFor, 0);
}

void TestSim::corruptNextChecksum()
{
    m_line->device(1)->corruptNextChecksum = true;
    QList<Answer> got = transact(request(shortAddr(1), 3));
    QCOMPARE(got.size(), 1);
    QVERIFY(!got[0].checksumOk);
    QCOMPARE(got[0].data.size(), 24); // only the checksum is damaged
    got = transact(request(shortAddr(1), 3));
    QVERIFY(got[0].checksumOk);
}

void TestSim::splitAnswerArrivesInSeparateReads()
{
    m_line->setChunkGapMs(30);
    m_line->device(2)->splitNextAnswer = {3, 4};
    QSignalSpy sent(m_line, &sim::VirtualLine::answerSent);
    QList<Answer> got = transact(request(shortAddr(2), 3));
    QCOMPARE(got.size(), 1);
    QVERIFY(got[0].checksumOk);
    QCOMPARE(m_readSizes.mid(0, 2), (QList<int>{3, 4}));
    QCOMPARE(m_readSizes.size(), 3);
    QCOMPARE(m_readSizes.at(2), 5 + 7 + 24 - 7);
    QCOMPARE(sent.size(), 1);

    got = transact(request(shortAddr(2), 3)); // the knob is used up
    QCOMPARE(m_readSizes.size(), 1);
}

void TestSim::noiseBeforePreamble()
{
    m_line->device(1)->noiseBeforeNext = QByteArray("\x00\x13\x82\xFE", 4);
    const QList<Answer> got = transact(request(shortAddr(1), 0));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].noise, QByteArray("\x00\x13\x82\xFE", 4));
    QVERIFY(got[0].checksumOk);
    QVERIFY(m_line->device(1)->noiseBeforeNext.isEmpty());
}

void TestSim::answerDelay()
{
    m_line->device(5)->answerDelayMs = 150;
    m_line->setTurnaroundMs(50);
    QElapsedTimer t;
    t.start();
    QCOMPARE(transact(request(shortAddr(5), 0)).size(), 1);
    QVERIFY2(t.elapsed() >= 200, qPrintable(QString::number(t.elapsed())));
}

void TestSim::faultKnobs_data()
{
    QTest::addColumn<QString>("knob");
    QTest::addColumn<bool>("longFrame");
    QTest::addColumn<int>("frames");        // on the wire for one request
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("minMs");         // before the first answer is complete

    QTest::newRow("late") << "late" << false << 1 << shortAddr(5) << 3 << 250;
    QTest::newRow("duplicate") << "duplicate" << false << 2 << shortAddr(5) << 3 << 0;
    QTest::newRow("other address") << "otherAddress" << false << 1 << shortAddr(6) << 3 << 0;
    QTest::newRow("other address, long") << "otherAddress" << true << 1 << longAddr(6) << 3 << 0;
    QTest::newRow("stray address 9") << "strayAddress" << false << 1 << shortAddr(9) << 3 << 0;
    QTest::newRow("other command") << "otherCommand" << false << 1 << shortAddr(5) << 2 << 0;
    QTest::newRow("other command, long") << "otherCommand" << true << 1 << longAddr(5) << 2 << 0;
    QTest::newRow("stray command 48") << "strayCommand" << false << 1 << shortAddr(5) << 48 << 0;
}

void TestSim::faultKnobs()
{
    QFETCH(QString, knob);
    QFETCH(bool, longFrame);
    QFETCH(int, frames);
    QFETCH(QByteArray, address);
    QFETCH(int, command);
    QFETCH(int, minMs);

    sim::VirtualDevice *dev = m_line->device(5);
    dev->lateByMs = 250;
    if (knob == QLatin1String("late"))
        dev->late.next = 1;
    else if (knob == QLatin1String("duplicate"))
        dev->duplicate.next = 1;
    else if (knob.startsWith(QLatin1String("other")) || knob.startsWith(QLatin1String("stray"))) {
        const bool onAddress = knob.endsWith(QLatin1String("Address"));
        (onAddress ? dev->otherAddress : dev->otherCommand).next = 1;
        if (knob == QLatin1String("strayAddress"))
            dev->strayAddress = 9;
        if (knob == QLatin1String("strayCommand"))
            dev->strayCommand = 48;
    }
    const QByteArray ask = request(longFrame ? longAddr(5) : shortAddr(5), 3);
    QElapsedTimer t;
    t.start();
    QList<Answer> got = transact(ask, frames);
    QVERIFY2(t.elapsed() >= minMs, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(got.size(), frames);
    for (const Answer &a : qAsConst(got)) {
        QCOMPARE(a.address, address);
        QCOMPARE(a.command, command);
        QCOMPARE(a.data.size(), 24);
        QVERIFY(a.checksumOk);      // rewritten frames carry their own checksum
    }
    QVERIFY(!QSignalSpy(m_line, &sim::VirtualLine::answerSent).wait(100));
    QCOMPARE(parseAnswers(m_rx).size(), frames);

    // Used up: the next answer is the device's own, at once.
    t.restart();
    got = transact(ask);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].address, longFrame ? longAddr(5) : shortAddr(5));
    QCOMPARE(got[0].command, 3);
    QVERIFY2(t.elapsed() < 200, qPrintable(QString::number(t.elapsed())));

    // Every n-th answer: with every = 3, answers 3 and 6 of the next six.
    dev->answersGiven = 0;
    dev->duplicate.every = 3;
    int twice = 0;
    for (int i = 1; i <= 6; ++i) {
        got = transact(ask, i % 3 == 0 ? 2 : 1);
        twice += got.size() == 2 ? 1 : 0;
        QCOMPARE(got.size(), i % 3 == 0 ? 2 : 1);
    }
    QCOMPARE(twice, 2);
}

void TestSim::lateAnswerDoesNotHoldUpOthers()
{
    // Device 1 answers late; device 2, asked after it, answers first, and
    // the raw bytes of a stray go out as they are.
    m_line->device(1)->late.next = 1;
    m_line->device(1)->lateByMs = 200;
    m_rx.clear();
    m_port->write(request(shortAddr(1), 0));
    m_port->write(request(shortAddr(2), 0));
    QTRY_COMPARE_WITH_TIMEOUT(parseAnswers(m_rx).size(), 2, 5000);
    QList<Answer> got = parseAnswers(m_rx);
    QCOMPARE(got[0].address, shortAddr(2));
    QCOMPARE(got[1].address, shortAddr(1));
    QVERIFY(got[1].noise.isEmpty());

    m_rx.clear();
    const QByteArray stray = QByteArray(5, '\xff') + QByteArray::fromHex("020703000000");
    m_line->sendRaw(stray + char(0x02 ^ 0x07 ^ 0x03));
    QTRY_COMPARE_WITH_TIMEOUT(parseAnswers(m_rx).size(), 1, 3000);
    got = parseAnswers(m_rx);
    QCOMPARE(got[0].address, shortAddr(7));
    QVERIFY(got[0].checksumOk);
}

void TestSim::pacingAt1200Baud()
{
    m_line->setBaud(1200);
    QElapsedTimer t;
    t.start();
    // 5 preamble + 7 frame bytes + 4 data bytes = 16 bytes of 11 bits.
    const QList<Answer> got = transact(request(shortAddr(1), 51, QByteArray("\x00\x1E\x04", 3)));
    const qint64 ms = t.elapsed();
    QCOMPARE(got.size(), 1);
    QCOMPARE(m_rx.size(), 16);
    QVERIFY2(ms >= 140, qPrintable(QString::number(ms)));
    QVERIFY(m_readSizes.size() > 1); // trickles in, not one block
}

void TestSim::answersQueueOneAfterAnother()
{
    m_line->setBaud(9600);
    m_line->device(2)->answerDelayMs = 0;
    m_rx.clear();
    m_port->write(request(shortAddr(1), 3) + request(shortAddr(2), 3) + request(longAddr(5), 3));
    QTRY_COMPARE_WITH_TIMEOUT(parseAnswers(m_rx).size(), 3, 5000);
    const QList<Answer> got = parseAnswers(m_rx);
    QCOMPARE(got[0].address, shortAddr(1));
    QCOMPARE(got[1].address, shortAddr(2));
    QCOMPARE(got[2].address, longAddr(5));
    for (const Answer &a : got) {
        QVERIFY(a.checksumOk);
        QVERIFY(a.noise.isEmpty()); // never interleaved
    }
}

void TestSim::reopenedPortStillAnswered()
{
    QCOMPARE(transact(request(shortAddr(1), 0)).size(), 1);
    m_port->close();
    QVERIFY(m_port->open(QIODevice::ReadWrite));
    QCOMPARE(transact(request(shortAddr(1), 0)).size(), 1);
}

void TestSim::symlink()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    QVERIFY(m_line->createLink(link));
    QCOMPARE(QFile::symLinkTarget(link), m_line->portName());
    {
        QSerialPort viaLink(link);
        m_port->close();
        QVERIFY(viaLink.open(QIODevice::ReadWrite));
    }
    m_line->close();
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());

    // A stale link is replaced; a regular file is never overwritten.
    QVERIFY(m_line->open());
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link));
    QVERIFY(m_line->createLink(link));
    QCOMPARE(QFile::symLinkTarget(link), m_line->portName());
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile f(plain);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(!m_line->createLink(plain));
    QVERIFY(QFileInfo(plain).isFile());
}

void TestSim::vanishAndReappear()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    QVERIFY(m_line->createLink(link));
    QSerialPort viaLink(link);
    m_port->close();
    QVERIFY(viaLink.open(QIODevice::ReadWrite));
    m_line->device(1)->setU8(0x0010, 0x5A);
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(&viaLink, &QSerialPort::errorOccurred);
    m_line->vanish();
    // The port on the slave side hears of it as of a pulled adapter.
    QVERIFY(!m_line->isOpen());
    QVERIFY(!QFileInfo(link).isSymLink());
    const auto lostError = [&errors] {
        for (const QList<QVariant> &e : qAsConst(errors)) {
            const auto error = e.first().value<QSerialPort::SerialPortError>();
            if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(lostError(), 3000);
    viaLink.close();

    // Back on the same link path, with the devices as they were.
    QVERIFY(m_line->reappear());
    QCOMPARE(QFile::symLinkTarget(link), m_line->portName());
    m_port->setPortName(link);
    QVERIFY(m_port->open(QIODevice::ReadWrite));
    const QList<Answer> got = transact(request(shortAddr(1), 51, QByteArray("\x00\x10\x01", 3)));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data, QByteArray("\x5A"));
}

void TestSim::deviceSet()
{
    QCOMPARE(m_line->addresses(), (QList<uint8_t>{1, 2, 5}));
    QVERIFY(!m_line->addDevice(16));
    QCOMPARE(m_line->addDevice(2), m_line->device(2));
    m_line->removeDevice(2);
    QCOMPARE(sendAndProbe(request(shortAddr(2), 0)).size(), 0);
    QVERIFY(m_line->addDevice(0));
    QCOMPARE(sendAndProbe(request(shortAddr(0), 0)).size(), 1);
    const sim::VirtualDevice fresh(9);
    QCOMPARE(fresh.u8(sim::VirtualDevice::RegAddress), uint8_t(9));
    QCOMPARE(fresh.u16(sim::VirtualDevice::RegDeviceType), uint16_t(1));
    QCOMPARE(fresh.u16(sim::VirtualDevice::RegUnit), uint16_t(1));
    QCOMPARE(fresh.f32(sim::VirtualDevice::RegPmax), 6300.0f);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
