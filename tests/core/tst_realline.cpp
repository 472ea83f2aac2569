// The link against what real lines and devices do that the plain virtual
// line does not: converter noise before an answer, echoed master and burst
// bits, refusals in the response code and damaged answers to reads.

#include "link/responsecode.h"
#include "sim/virtualline.h"

#include "common/linkrig.h"
#include "common/realline.h"

#include <QSignalSpy>
#include <QtTest>

using namespace linkrig;
using Moment = sim::VirtualLine::StrayMoment;

namespace {
QByteArray writeRegisters(uint8_t address, uint16_t reg, const QByteArray &payload)
{
    const uint8_t a[5] = {address, 0, 0, 0, 0};
    const QByteArray d = QByteArray(1, char(reg >> 8)) + char(reg & 0xFF) + payload;
    HartRequestFrame f;
    f.setPreambleCount(4);
    f.setAddressBytes(a);
    f.buildCommand91(reinterpret_cast<const uint8_t *>(d.constData()), d.size());
    return f.toByteArray();
}

// A request of each kind the rows name, to the device at 1.
QByteArray request(const QString &kind)
{
    if (kind == QLatin1String("read 51"))
        return readRegisters(1, 0x001E, 4);
    if (kind == QLatin1String("write 91"))
        return writeRegisters(1, 0x001E, QByteArray::fromHex("41200000"));
    if (kind == QLatin1String("operation 37"))
        return bareCommand(1, 37);
    return command3(1);
}
}

class TestRealLine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void strayBytesNeverDelayTheAnswer_data();
    void strayBytesNeverDelayTheAnswer();
    void addressBits_data();
    void addressBits();
    void responseCodes_data();
    void responseCodes();
    void responseCodeTexts_data();
    void responseCodeTexts();
    void damagedAnswers_data();
    void damagedAnswers();

private:
    sim::VirtualLine *m_line = nullptr;
    RecordingLink *m_link = nullptr;
    sim::VirtualDevice *m_dev = nullptr;
};

void TestRealLine::init()
{
    m_line = new sim::VirtualLine;
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    m_dev = m_line->addDevice(1);
    m_link = new RecordingLink;
    QVERIFY(m_link->openPort(m_line->portName()));
    realline::driveRtsByHand(m_link, m_line);
    m_link->setPeriod(20);
    m_link->setTimeout(300);
    m_link->setRepeats(3);
    m_link->setOperation(11);
}

void TestRealLine::cleanup()
{
    delete m_link;
    delete m_line;
}

void TestRealLine::strayBytesNeverDelayTheAnswer_data()
{
    QTest::addColumn<int>("moment");
    QTest::addColumn<QString>("stray");
    QTest::addColumn<QString>("kind");
    const struct { Moment moment; const char *name; } moments[] = {
        {Moment::RtsRaised, "RTS lead"}, {Moment::RequestStart, "request start"},
        {Moment::RequestComplete, "before answer"}};
    const char *const strays[] = {"one 0xFF", "0xFF run", "noise", "ff ff 55"};
    const char *const kinds[] = {"read 3", "read 51", "write 91", "operation 37"};
    int i = 0;
    for (const auto &m : moments) {
        for (const char *s : strays) {
            const char *kind = kinds[i++ % 4];
            QTest::addRow("%s, %s, %s", m.name, s, kind) << int(m.moment) << QString::fromLatin1(s)
                                                          << QString::fromLatin1(kind);
        }
    }
}

void TestRealLine::strayBytesNeverDelayTheAnswer()
{
    QFETCH(int, moment);
    QFETCH(QString, stray);
    QFETCH(QString, kind);
    m_line->setStrayBytes(realline::strayBytes(qPrintable(stray)), Moment(moment));
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(request(kind));
    QVERIFY(answers.wait(2000));
    QTest::qWait(50);   // a repeat would go out well within this
    // One transmission, one execution, one outcome: the answer itself.
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.at(0).at(0).toInt(), 11);
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 1);
    QCOMPARE(m_dev->commandsSeen.size(), 1);
    QVERIFY(m_link->answerChecksumOk());
    QCOMPARE(m_link->statistics().discarded(LinkStatistics::BeforeRequest), 0);
}

void TestRealLine::addressBits_data()
{
    QTest::addColumn<bool>("longFrame");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("newAddress");
    QTest::newRow("master bit, short") << false << 0x80 << false;
    QTest::newRow("burst bit, short") << false << 0x40 << false;
    QTest::newRow("both bits, long") << true << 0xC0 << false;
    QTest::newRow("new address answers its write") << false << 0 << true;
    QTest::newRow("new address, master bit") << false << 0x80 << true;
}

void TestRealLine::addressBits()
{
    QFETCH(bool, longFrame);
    QFETCH(int, bits);
    QFETCH(bool, newAddress);
    m_dev->echoAddressBits.next = 1;
    m_dev->echoedBits = uint8_t(bits);
    m_dev->answersFromNewAddress = newAddress;
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(newAddress ? writeRegisters(1, 0x0003, QByteArray(1, '\x07'))
                                 : command3(1, 4, longFrame));
    QVERIFY(answers.wait(2000));
    QCOMPARE(answers.at(0).at(0).toInt(), 11);
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), 1);
    // The device is known by its own address, without the bits.
    QCOMPARE(int(m_link->answerAddress()), newAddress ? 7 : 1);
    QCOMPARE(m_link->statistics().total().answersDiscarded, 0);
}

void TestRealLine::responseCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("every");
    QTest::addColumn<QVector<int>>("commands");
    QTest::addColumn<QVector<int>>("codesSeen");     // of four writes
    QTest::addColumn<int>("executed");
    QTest::addColumn<int>("refusedAnswers");    // as the line statistics count them
    QTest::newRow("next 2 refused") << 7 << 2 << 0 << QVector<int>{} << QVector<int>{7, 7, 0, 0} << 2 << 2;
    QTest::newRow("every 2nd warned") << 8 << 0 << 2 << QVector<int>{} << QVector<int>{0, 8, 0, 8} << 4 << 0;
    QTest::newRow("reads only") << 16 << 4 << 0 << QVector<int>{51} << QVector<int>{0, 0, 0, 0} << 4 << 0;
    // The device did not take the request: it goes out again and is done.
    QTest::newRow("communication error, asked again") << 0x88 << 1 << 0 << QVector<int>{91}
                                                      << QVector<int>{0, 0, 0, 0} << 4 << 1;
    QTest::newRow("communication error to the last one") << 0x88 << 3 << 0 << QVector<int>{91}
                                                         << QVector<int>{0x88, 0, 0, 0} << 3 << 3;
}

void TestRealLine::responseCodes()
{
    QFETCH(int, code);
    QFETCH(int, next);
    QFETCH(int, every);
    QFETCH(QVector<int>, commands);
    QFETCH(QVector<int>, codesSeen);
    QFETCH(int, executed);
    QFETCH(int, refusedAnswers);
    m_dev->responseCode = uint8_t(code);
    m_dev->respond = {next, every};
    m_dev->respondTo = commands;
    QVector<int> seen;
    int written = 0;
    for (int i = 0; i < 4; ++i) {
        QSignalSpy answers(m_link, &protocolComHart::answerGet);
        m_link->sendFrame(writeRegisters(1, 0x0040, QByteArray(1, char(i + 1))));
        QVERIFY(answers.wait(2000));
        seen.append(m_link->answer().status1());
        written += m_dev->u8(0x0040) == i + 1 ? 1 : 0;
    }
    QCOMPARE(seen, codesSeen);
    QCOMPARE(written, executed);
    QCOMPARE(m_dev->commandsSeen.size(), executed);
    QCOMPARE(m_link->statistics().address(1).refusals, refusedAnswers);
}

void TestRealLine::responseCodeTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    using K = ResponseCode::Kind;
    QTest::newRow("7") << 7 << int(K::Refusal) << QStringLiteral("Прибор отказал: код 7 (запрет записи)");
    QTest::newRow("8") << 8 << int(K::Warning) << QStringLiteral("Прибор предупреждает: код 8 (выполнено с предупреждением)");
    QTest::newRow("0xC8") << 0xC8 << int(K::CommunicationError)
                          << QStringLiteral("Прибор отказал: код 0xc8 (ошибка связи: ошибка чётности, ошибка "
                                            "контрольной суммы), запрос не выполнен; проверьте линию и повторите");
}

void TestRealLine::responseCodeTexts()
{
    QFETCH(int, code);
    QFETCH(int, kind);
    QFETCH(QString, text);
    QCOMPARE(int(ResponseCode::kind(uint8_t(code))), kind);
    QCOMPARE(ResponseCode::operationText(uint8_t(code)), text);
}

void TestRealLine::damagedAnswers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<int>("sends");
    QTest::addColumn<bool>("intact");
    QTest::newRow("read 3 asked again") << "read 3" << 3 << 2 << true;
    QTest::newRow("read 51 asked again") << "read 51" << 2 << 2 << true;
    QTest::newRow("read 3, last transmission") << "read 3" << 1 << 1 << false;
    QTest::newRow("write 91 ends") << "write 91" << 3 << 1 << false;
    QTest::newRow("operation 37 ends") << "operation 37" << 3 << 1 << false;
}

void TestRealLine::damagedAnswers()
{
    QFETCH(QString, kind);
    QFETCH(int, repeats);
    QFETCH(int, sends);
    QFETCH(bool, intact);
    m_link->setRepeats(repeats);
    m_dev->corruptNextChecksum = true;
    QSignalSpy answers(m_link, &protocolComHart::answerGet);
    m_link->sendFrame(request(kind));
    QVERIFY(answers.wait(2000));
    QTest::qWait(50);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.at(0).at(0).toInt(), 11);
    QCOMPARE(m_link->countPrefix(QStringLiteral("send:")), sends);
    QCOMPARE(m_link->answerChecksumOk(), intact);
}

QTEST_GUILESS_MAIN(TestRealLine)
#include "tst_realline.moc"
