// Frame codec: request building, answer framing across arbitrary reads,
// answer parsing, and the request read-back of the link.

#include "link/hartframe.h"
#include "link/protocolcomhart.h"

#include "common/capture.h"

#include <QtTest>
#include <cstring>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

const QByteArray ShortAnswer = hex("ffffffffff 02 01 03 04 0000 41200000 65");
// Long answer to command 51 at address 5: preamble 3, two data bytes.
QByteArray longAnswer()
{
    QByteArray f = hex("ffffff 82 0f02 05 fdef 33 02 0000 abcd");
    uint8_t sum = 0;
    for (int i = 3; i < f.size(); ++i)
        sum ^= uint8_t(f.at(i));
    return f + char(sum);
}

// The good frames a receiver finds in a stream handed over in pieces of
// `chunk` bytes, taking each completed frame and hunting on, as the link does.
QList<QByteArray> goodFrames(const QByteArray &stream, int chunk, int *completed)
{
    HartReceiver r;
    r.setDiagnosticsEnabled(false);
    QList<QByteArray> good;
    *completed = 0;
    for (int pos = 0; pos < stream.size(); pos += chunk) {
        const QByteArray piece = stream.mid(pos, chunk);
        for (int i = 0; i < piece.size();) {
            bool complete = false;
            i += r.feedUntilComplete(piece.constData() + i, piece.size() - i, &complete);
            if (!complete)
                continue;
            ++*completed;
            const HartAnswer a = r.answer();
            if (a.checksumOk())
                good.append(a.raw());
            r.huntOn();
        }
    }
    return good;
}

} // namespace

class TestHartFrame : public QObject
{
    Q_OBJECT
private slots:
    void requestExamples_data();
    void requestExamples();
    void bufferLimit_data();
    void bufferLimit();
    void addressNeedsLongFlagFirst();

    void answerExample();
    void answerTruncatedNeverReadsPast();

    void everySplitPoint_data();
    void everySplitPoint();
    void framing_data();
    void framing();
    void resynchronisesInsideAFrame_data();
    void resynchronisesInsideAFrame();
    void bytesAfterFrameNeverCompleteAgain();
    void negativeByteCountLeftToTimeOut_data();
    void negativeByteCountLeftToTimeOut();
    void diagnosticsTexts();

    void analysisRequestFields();
    void analysisRequestErrors_data();
    void analysisRequestErrors();
};

void TestHartFrame::requestExamples_data()
{
    QTest::addColumn<int>("preamble");
    QTest::addColumn<bool>("longFrame");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("short cmd 0") << 3 << false << 0 << 0 << QByteArray() << hex("ffffff 02 00 00 00 02");
    QTest::newRow("long cmd 3") << 5 << true << 5 << 3 << QByteArray() << hex("ffffffffff 82 0f02 05 fdef 03 00 9b");
    QTest::newRow("short cmd 51") << 4 << false << 1 << 51 << hex("001e04") << hex("ffffffff 02 01 33 03 001e04 29");
    // Command 0 stays short even when a long frame was asked for; its one
    // address byte is the first of the five.
    QTest::newRow("cmd 0 forced short") << 4 << true << 7 << 0 << QByteArray() << hex("ffffffff 02 0f 00 00 0d");
    QTest::newRow("long cmd 91") << 2 << true << 1 << 91 << hex("00ccdead")
                                 << hex("ffff 82 0f02 01 fdef 5b 04 00ccdead 7c");
    QTest::newRow("cmd 36") << 3 << false << 2 << 36 << QByteArray() << hex("ffffff 02 02 24 00 24");
    QTest::newRow("cmd 37") << 3 << false << 2 << 37 << QByteArray() << hex("ffffff 02 02 25 00 25");
    QTest::newRow("cmd 42") << 3 << false << 2 << 42 << QByteArray() << hex("ffffff 02 02 2a 00 2a");
    QTest::newRow("cmd 43") << 3 << false << 2 << 43 << QByteArray() << hex("ffffff 02 02 2b 00 2b");
}

void TestHartFrame::requestExamples()
{
    QFETCH(int, preamble);
    QFETCH(bool, longFrame);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);

    const uint8_t addr[5] = {uint8_t(longFrame ? 0x0F : address), 0x02, uint8_t(address), 0xFD, 0xEF};
    HartRequestFrame f;
    f.setPreambleCount(preamble);
    f.setLongFrame(longFrame);
    f.setAddressBytes(addr);
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData());
    bool ok = false;
    switch (command) {
    case 0: ok = f.buildCommand0(); break;
    case 3: ok = f.buildCommand3(); break;
    case 36: ok = f.buildCommand36(); break;
    case 37: ok = f.buildCommand37(); break;
    case 42: ok = f.buildCommand42(); break;
    case 43: ok = f.buildCommand43(); break;
    case 51: ok = f.buildCommand51(d); break;
    case 91: ok = f.buildCommand91(d, data.size()); break;
    }
    QVERIFY(ok);
    QCOMPARE(f.toByteArray().toHex(' '), expected.toHex(' '));
    QCOMPARE(f.frameSize(), expected.size());

    // Building again on the same object starts over.
    QVERIFY(command == 0 ? f.buildCommand0() : f.buildCommand3());
    QCOMPARE(f.frameSize(), f.frameSizeFor(preamble, command != 0 && longFrame, 0));
}

void TestHartFrame::bufferLimit_data()
{
    QTest::addColumn<int>("preamble");
    QTest::addColumn<int>("dataLength");
    QTest::addColumn<bool>("fits");

    // Long frame, command 91: preamble + 9 + n bytes.
    QTest::newRow("20 + 21 data = 50") << 20 << 21 << true;
    QTest::newRow("20 + 22 data = 51") << 20 << 22 << false;
    QTest::newRow("largest user request, 55") << 20 << 26 << false;
    QTest::newRow("4 + 37 data = 50") << 4 << 37 << true;
    QTest::newRow("3 + 39 data = 51") << 3 << 39 << false;
    QTest::newRow("255 data bytes") << 3 << 255 << false;
    QTest::newRow("negative length") << 3 << -1 << false;
}

void TestHartFrame::bufferLimit()
{
    QFETCH(int, preamble);
    QFETCH(int, dataLength);
    QFETCH(bool, fits);

    QByteArray data(qMax(dataLength, 0), '\x5a');
    const uint8_t addr[5] = {0x0F, 0x02, 0x03, 0xFD, 0xEF};
    HartRequestFrame f;
    f.setPreambleCount(preamble);
    f.setLongFrame(true);
    f.setAddressBytes(addr);
    StderrCapture err;
    const bool ok = f.buildCommand91(reinterpret_cast<const uint8_t *>(data.constData()), dataLength);
    const QByteArray said = err.text();
    QCOMPARE(ok, fits);
    if (fits) {
        QCOMPARE(f.frameSize(), preamble + 9 + dataLength);
        QVERIFY(f.errorString().isEmpty());
        QVERIFY(said.isEmpty());
        QCOMPARE(uint8_t(f.frameBytes()[preamble + 6]), uint8_t(0x5B));
        QCOMPARE(int(f.frameBytes()[preamble + 7]), dataLength);
    } else {
        QCOMPARE(f.frameSize(), 0);
        QVERIFY(f.toByteArray().isEmpty());
        QVERIFY(!f.errorString().isEmpty());
        QVERIFY2(said.startsWith("HartRequestFrame:"), said.constData());
    }
}

void TestHartFrame::addressNeedsLongFlagFirst()
{
    const uint8_t addr[5] = {0x0F, 0x02, 0x09, 0xFD, 0xEF};
    HartRequestFrame f;
    f.setPreambleCount(3);
    f.setAddressBytes(addr);    // still short: only a[0] is taken
    f.setLongFrame(true);
    QVERIFY(f.buildCommand3());
    QCOMPARE(f.toByteArray().mid(3, 6), hex("82 0f 00 00 00 00"));
}

void TestHartFrame::answerExample()
{
    HartAnswer a;
    QVERIFY(a.parse(ShortAnswer));
    QCOMPARE(a.totalLength(), 16);
    QCOMPARE(a.preambleCount(), 5);
    QVERIFY(!a.isLongFrame());
    QCOMPARE(a.address(), hex("01"));
    QCOMPARE(a.command(), 3);
    QCOMPARE(a.byteCount(), 4);
    QCOMPARE(a.status1(), uint8_t(0));
    QCOMPARE(a.data(), hex("41200000"));
    QCOMPARE(a.checksum(), uint8_t(0x65));
    QVERIFY(a.checksumOk());

    QByteArray bad = ShortAnswer;
    bad[15] = char(0x66);
    QVERIFY(a.parse(bad));
    QVERIFY(!a.checksumOk());

    QVERIFY(a.parse(longAnswer()));
    QVERIFY(a.isLongFrame());
    QCOMPARE(a.shortAddress(), uint8_t(5));
    QCOMPARE(a.data(), hex("abcd"));
    QVERIFY(a.checksumOk());
}

void TestHartFrame::answerTruncatedNeverReadsPast()
{
    // Every prefix of a good frame is refused without reading past it (the
    // sanitizer build would catch an overrun).
    const QByteArray frames[] = {ShortAnswer, longAnswer(), hex("ffffff 02 01 03 ff 0000")};
    for (const QByteArray &full : frames) {
        for (int n = 0; n < full.size(); ++n) {
            HartAnswer a(n);
            std::memcpy(a.raw().data(), full.constData(), size_t(n));
            QVERIFY2(!a.parse(), qPrintable(QString::number(n)));
            QVERIFY(!a.checksumOk());
            QVERIFY(a.data().isEmpty());
        }
    }
}

void TestHartFrame::everySplitPoint_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("short") << ShortAnswer;
    QTest::newRow("long") << longAnswer();
    QTest::newRow("short, byte count 0") << hex("ffffff 02 03 00 00 0040 41");
}

void TestHartFrame::everySplitPoint()
{
    QFETCH(QByteArray, frame);
    // Each frame in one, two and three pieces, at every pair of cut points.
    for (int i = 0; i <= frame.size(); ++i) {
        for (int j = i; j <= frame.size(); ++j) {
            HartReceiver r;
            bool done = r.feed(frame.left(i));
            done |= r.feed(frame.mid(i, j - i));
            QCOMPARE(r.isComplete(), j == frame.size() && done);
            done |= r.feed(frame.mid(j));
            QVERIFY(done);
            QCOMPARE(r.buffer(), frame);
            QCOMPARE(r.answer().raw(), frame);
            QVERIFY(r.answer().checksumOk());
        }
    }
}

void TestHartFrame::framing_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("tooLong");
    QTest::addColumn<int>("tooShort");
    QTest::addColumn<int>("badDelimiter");

    const QByteArray ff20(20, '\xff');
    const QByteArray body = hex("02 01 03 00 0000 00");
    QTest::newRow("20 preamble accepted") << ff20 + body << true << ff20 + body << 0 << 0 << 0;
    // A run past 20 is reported once and its last 20 bytes stay a preamble:
    // noise of 0xFF running into an answer's own preamble does not lose it.
    QTest::newRow("24 in a run keep 20") << ff20 + hex("ff") + hex("ffffff") + body << true
                                         << ff20 + body << 1 << 0 << 0;
    QTest::newRow("23 in a run keep 20") << ff20 + hex("ff") + hex("ffff") + body << true << ff20 + body << 1 << 0 << 0;
    QTest::newRow("two long runs, two reports") << ff20 + hex("ff 00") + ff20 + hex("ff") + body << true
                                                << ff20 + body << 2 << 0 << 1;
    QTest::newRow("2 preamble refused") << hex("ffff") + body << false << QByteArray() << 0 << 7 << 0;
    QTest::newRow("wrong delimiter") << hex("ffffff 06") + hex("01 03 00 0000 00") << false << QByteArray() << 0 << 6 << 1;
    QTest::newRow("short count 0") << hex("ffffff 02 05 00 00 0000 07") << true << hex("ffffff 02 05 00 00 0000 07") << 0 << 0 << 0;
    QTest::newRow("long count 0") << hex("ffff ff 82 0f02 05 fdef 00 00 0000 98") << true
                                  << hex("ffffff 82 0f02 05 fdef 00 00 0000 98") << 0 << 0 << 0;
    // Each noise byte that is not 0xFF counts as a too-short preamble; the
    // 0xFF among the noise is simply counted and then forgotten.
    QTest::newRow("noise then frame") << hex("00 13 ff 37") + ShortAnswer << true << ShortAnswer << 0 << 3 << 0;
    // 30 x 0xFF: reported once as too long, the last 20 a valid preamble,
    // so the 0x55 is a wrong delimiter.
    QTest::newRow("noise of 0xff and a long preamble")
        << QByteArray(30, '\xff') + hex("55") + ShortAnswer << true << ShortAnswer << 1 << 0 << 1;
}

void TestHartFrame::framing()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, complete);
    QFETCH(QByteArray, frame);
    QFETCH(int, tooLong);
    QFETCH(int, tooShort);
    QFETCH(int, badDelimiter);

    HartReceiver r;
    r.setDiagnosticsEnabled(false);
    QCOMPARE(r.feed(stream), complete);
    QCOMPARE(r.isComplete(), complete);
    if (complete) {
        QCOMPARE(r.buffer().toHex(' '), frame.toHex(' '));
        QVERIFY(r.answer().isValid());
    } else {
        QVERIFY(!r.answer().isValid());
    }
    QCOMPARE(r.errorCount(HartReceiver::PreambleTooLong), tooLong);
    QCOMPARE(r.errorCount(HartReceiver::PreambleTooShort), tooShort);
    QCOMPARE(r.errorCount(HartReceiver::WrongDelimiter), badDelimiter);
}

void TestHartFrame::resynchronisesInsideAFrame_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("frames");   // the good frames found, in order
    QTest::addColumn<int>("completed");              // frames completed, damaged ones too

    QByteArray damaged = ShortAnswer;
    damaged[damaged.size() - 1] = char(damaged.at(damaged.size() - 1) ^ 0x01);
    QByteArray holdsStart = hex("ffffffffff 02 01 03 04 0000 ffffff02");
    uint8_t sum = 0;
    for (int i = 5; i < holdsStart.size(); ++i)
        sum ^= uint8_t(holdsStart.at(i));
    holdsStart += char(sum);
    const QList<QByteArray> answer{ShortAnswer};

    QTest::newRow("noise start whose count runs past the answer") << hex("ffffff 02 07 03 40") + ShortAnswer
                                                                  << answer << 1;
    // The noise completes, damaged, on the answer's first preamble bytes,
    // which still count for the answer.
    QTest::newRow("noise start ending in the answer's preamble") << hex("ffffff 02 07 03 00 00") + ShortAnswer
                                                                 << answer << 2;
    QTest::newRow("noise start with a negative count") << hex("ffffff 02 07 03 f0") + ShortAnswer << answer << 1;
    QTest::newRow("torn head of an answer") << ShortAnswer.left(9) + ShortAnswer << answer << 1;
    QTest::newRow("two noise starts, one in the other")
        << hex("ffffff 02 07 03 40 ffffff 82 0f 02 7f") + ShortAnswer << answer << 1;
    QTest::newRow("a damaged answer alone is still a frame") << damaged << QList<QByteArray>() << 1;
    QTest::newRow("a good frame whose data looks like a start") << holdsStart + ShortAnswer
                                                                << QList<QByteArray>{holdsStart, ShortAnswer} << 2;
    QTest::newRow("two answers back to back") << ShortAnswer + longAnswer()
                                              << QList<QByteArray>{ShortAnswer, longAnswer()} << 2;
}

void TestHartFrame::resynchronisesInsideAFrame()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(int, completed);
    // However the bytes come in: one by one, in odd pieces, all at once.
    for (int chunk : {1, 7, int(stream.size())}) {
        int n = 0;
        QCOMPARE(goodFrames(stream, chunk, &n), frames);
        QCOMPARE(n, completed);
    }
}

void TestHartFrame::bytesAfterFrameNeverCompleteAgain()
{
    HartReceiver r;
    QVERIFY(r.feed(ShortAnswer + ShortAnswer.left(3)));
    QVERIFY(!r.feed(ShortAnswer.mid(3) + ShortAnswer + ShortAnswer));
    QCOMPARE(r.answer().raw(), ShortAnswer);
    // The trailing bytes are kept, but only up to the cap.
    for (int i = 0; i < 100; ++i)
        QVERIFY(!r.feed(ShortAnswer));
    QCOMPARE(r.buffer().size(), int(HartReceiver::MaxBuffer));
    QVERIFY(r.buffer().startsWith(ShortAnswer + ShortAnswer));

    r.reset();
    QVERIFY(!r.isComplete());
    QVERIFY(r.feed(ShortAnswer));
}

void TestHartFrame::negativeByteCountLeftToTimeOut_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("0x80") << 0x80;
    QTest::newRow("0xfd") << 0xFD;
    QTest::newRow("0xfe") << 0xFE;
    QTest::newRow("0xff") << 0xFF;
}

void TestHartFrame::negativeByteCountLeftToTimeOut()
{
    QFETCH(int, count);
    QByteArray stream = hex("ffffff 02 01 03");
    stream.append(char(count));
    stream.append(QByteArray(600, '\x00'));
    HartReceiver r;
    QVERIFY(!r.feed(stream));
    QVERIFY(!r.isComplete());
    QVERIFY(!r.answer().isValid());
    QVERIFY(r.buffer().size() <= HartReceiver::MaxBuffer);

    // The same bytes handed straight to the parser are refused as well.
    HartAnswer a;
    QVERIFY(!a.parse(hex("ffffff 02 01 03") + char(count) + hex("0000")));
}

void TestHartFrame::diagnosticsTexts()
{
    StderrCapture err;
    HartReceiver r;
    r.feed(QByteArray(21, '\xff'));       // too long
    r.feed(hex("06"));                     // wrong delimiter after the 20 kept
    r.feed(hex("ffff 02"));                // too short
    const QByteArray said = err.text();
    QCOMPARE(said, QByteArray("Преамбула больше 20 байт\n"
                              "Некорректный разделитель\n"
                              "Преамбула меньше 3 байт\n"));
}

void TestHartFrame::analysisRequestFields()
{
    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    link.analysisRequest(hex("ffffffff 82 0f02 07 fdef 5b 04 00ccdead 00"));
    QCOMPARE(link.requestAddress(), hex("0f02 07 fdef"));
    QCOMPARE(link.requestCommand(), 0x5B);
    QCOMPARE(link.requestData(), hex("00ccdead"));

    // A frame cut short yields what it has and nothing past its end.
    link.analysisRequest(hex("ffff 02 03 33 03 00"));
    QCOMPARE(link.requestAddress(), hex("03"));
    QCOMPARE(link.requestData(), hex("00"));
}

void TestHartFrame::analysisRequestErrors_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("delimiter") << hex("ffff 06 01 03 00 00")
                               << QByteArray("protocolComHart::analysisRequest:Wrong frame identifier\n");
    QTest::newRow("only preamble") << hex("ffffff")
                                   << QByteArray("protocolComHart::analysisRequest:Wrong frame identifier\n");
    QTest::newRow("count 0x80") << hex("ffff 02 01 5b 80 00") << QByteArray("analyze_request:Wrong data length-128\n");
    QTest::newRow("count 0xff") << hex("ffff 02 01 5b ff 00") << QByteArray("analyze_request:Wrong data length-1\n");
}

void TestHartFrame::analysisRequestErrors()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, message);
    protocolComHart link(nullptr, QStringLiteral("no-such-file"));
    link.analysisRequest(hex("ffff 02 09 33 03 0102 03 00"));
    StderrCapture err;
    link.analysisRequest(frame);
    QCOMPARE(err.text(), message);
    // The data read before stays.
    QCOMPARE(link.requestData(), hex("010203"));
}

QTEST_GUILESS_MAIN(TestHartFrame)
#include "tst_hartframe.moc"
