// The developer console: composing requests from its fields, sending once
// and in a loop over the virtual line, the byte log with its colours and the
// decoded view, writes proven in the virtual device's memory, and the
// restored state at start.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>
#include <memory>

namespace {
QSettings store()
{
    return QSettings(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
}

QLineEdit *byteField(MainWindow &w, int i, int j)
{
    return w.findChild<QLineEdit *>(QStringLiteral("lineFloat_%1_Byte_%2").arg(i).arg(j));
}

QLineEdit *floatField(MainWindow &w, int i)
{
    return w.findChild<QLineEdit *>(QStringLiteral("lineFloat_%1").arg(i));
}

// The console is usable once the interface is unlocked and its tab shown.
void unlock(MainWindow &w)
{
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabDeveloper);
}

// A register preset, chosen afresh even when it is the current one.
void choosePreset(MainWindow &w, int index)
{
    w.ui->comboBoxRegisters->setCurrentIndex(index == 0 ? 1 : 0);
    w.ui->comboBoxRegisters->setCurrentIndex(index);
}

// The character format at the first occurrence of text in the console.
QTextCharFormat formatOf(QTextEdit *pane, const QString &text)
{
    QTextCursor c = pane->document()->find(text);
    if (c.isNull())
        return QTextCharFormat();
    QTextCursor at(pane->document());
    at.setPosition(c.selectionStart() + 1);
    return at.charFormat();
}
}

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void command0ForgetsNothingOfTheLongFrame();
    void presetAll();
    void typedFloatGivesBytes_data();
    void typedFloatGivesBytes();
    void dataCountCoversFields();
    void floatsFollowTheirBytes();
    void restoredState();

    void registerReadDecoded();
    void badChecksumStillDecoded();
    void silentDeviceThreeRequests();
    void writeLandsInMemory();
    void countChangedAfterCreateIsRebuilt();
    void oversizeRequestRefused();
    void loopUntilStopped();
    void portClosedNothingSent();

private:
    // A window on the virtual line, unlocked, the developer tab current and
    // short link timings.
    void connectWindow();

    Sandbox m_sandbox;
    std::unique_ptr<sim::VirtualLine> m_line;
    std::unique_ptr<MainWindow> m_w;
};

void TestConsole::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestConsole::cleanup()
{
    m_w.reset();
    m_line.reset();
    m_sandbox.leave();
}

void TestConsole::connectWindow()
{
    m_line.reset(new sim::VirtualLine);
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    m_line->setBaud(0);
    m_line->addDevice(1);
    m_w.reset(new MainWindow);
    MainWindow &w = *m_w;
    w.ui->comboBoxNamePort->setEditText(m_line->portName());
    w.ui->buttonConnectPort->click();
    QVERIFY(w.hartLink()->isPortOpen());
    unlock(w);
    QCOMPARE(w.ui->tabWidget->currentWidget(), w.ui->tabForDeveloper);
    w.pollPeriod = 20;
    w.pollTimeout = 60;
    w.pollRepeats = 1;
    w.ui->comboBoxMainAddr->setCurrentIndex(1);
}

// ------------------------------------------------------------ composing

void TestConsole::command0ForgetsNothingOfTheLongFrame()
{
    MainWindow w;
    unlock(w);
    w.ui->comboBoxMainAddr->setCurrentIndex(2);
    w.ui->comboBoxFunc->setCurrentIndex(1);     // 3
    QVERIFY(w.ui->checkLongFrame->isEnabled());
    w.ui->checkLongFrame->setChecked(true);
    QCOMPARE(w.ui->lineEditRequest->text(), QStringLiteral("ff ff ff 82 0f 02 02 fd ef 03 00 9c"));

    w.ui->comboBoxFunc->setCurrentIndex(0);     // 0
    QVERIFY(!w.ui->checkLongFrame->isChecked());
    QVERIFY(!w.ui->checkLongFrame->isEnabled());
    QCOMPARE(w.ui->lineEditRequest->text(), QStringLiteral("ff ff ff 02 02 00 00 00"));

    w.ui->comboBoxFunc->setCurrentIndex(1);     // back to 3
    QVERIFY(w.ui->checkLongFrame->isChecked());
    QVERIFY(w.ui->checkLongFrame->isEnabled());
    QVERIFY(w.ui->lineEditRequest->text().startsWith(QStringLiteral("ff ff ff 82 0f 02 02 fd ef 03")));

    // Only command 51 offers the decoded view, and turns it on.
    QVERIFY(!w.ui->checkAltView->isEnabled());
    w.ui->comboBoxFunc->setCurrentIndex(2);     // 51
    QVERIFY(w.ui->checkAltView->isEnabled());
    QVERIFY(w.ui->checkAltView->isChecked());
    w.ui->comboBoxFunc->setCurrentIndex(3);     // 91
    QVERIFY(!w.ui->checkAltView->isEnabled());
    QVERIFY(!w.ui->checkAltView->isChecked());
}

void TestConsole::presetAll()
{
    MainWindow w;
    unlock(w);
    w.ui->comboBoxRegisters->setCurrentIndex(1);    // dP 0x22
    QCOMPARE(w.ui->lineAddr91->text(), QStringLiteral("22"));
    w.ui->comboBoxRegisters->setCurrentText(QStringLiteral("Все"));
    QCOMPARE(w.ui->spinBoxSymData91->value(), 24);
    QCOMPARE(w.ui->lineAddr91_2->text(), QStringLiteral("00"));
    QCOMPARE(w.ui->lineAddr91->text(), QStringLiteral("1e"));
    for (int i = 1; i <= 6; ++i) {
        QVERIFY(floatField(w, i)->isEnabled());
        for (int j = 1; j <= 4; ++j)
            QVERIFY(byteField(w, i, j)->isEnabled());
    }
    w.ui->comboBoxFunc->setCurrentIndex(2);     // 51
    QVERIFY2(w.ui->lineEditRequest->text().endsWith(QStringLiteral("33 03 00 1e 18 34")),
             qPrintable(w.ui->lineEditRequest->text()));
    QCOMPARE(int(w.command51Data[2]), 24);

    w.ui->comboBoxRegisters->setCurrentText(QString::fromUtf8("Коэффициенты B и \xD0\xA1"));
    QCOMPARE(w.ui->lineAddr91_2->text(), QStringLiteral("01"));
    QCOMPARE(w.ui->lineAddr91->text(), QStringLiteral("00"));
    QVERIFY(w.ui->lineEditRequest->text().endsWith(QStringLiteral("33 03 01 00 18 2b")));
}

void TestConsole::typedFloatGivesBytes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("bytes");
    QTest::newRow("1.5") << "1.5" << QStringList{"3f", "c0", "00", "00"};
    // A text that is no number leaves the bytes as they were (the field
    // turns red; a send refuses it).
    QTest::newRow("not a number") << "x" << QStringList{"00", "00", "00", "ff"};
    QTest::newRow("decimal comma") << "1,5" << QStringList{"3f", "c0", "00", "00"};
}

void TestConsole::typedFloatGivesBytes()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, bytes);
    MainWindow w;
    unlock(w);
    choosePreset(w, 0);
    QLineEdit *f = floatField(w, 1);
    QVERIFY(f->isEnabled());
    byteField(w, 1, 4)->setText(QStringLiteral("ff"));
    f->clear();
    QTest::keyClicks(f, typed);
    for (int j = 1; j <= 4; ++j)
        QCOMPARE(byteField(w, 1, j)->text(), bytes.at(j - 1));
    // Only that float's bytes change.
    QCOMPARE(byteField(w, 2, 1)->text(), QStringLiteral("00"));
}

void TestConsole::dataCountCoversFields()
{
    MainWindow w;
    unlock(w);
    w.ui->spinBoxSymData91->setValue(5);
    QVERIFY(floatField(w, 1)->isEnabled());
    for (int j = 1; j <= 4; ++j)
        QVERIFY(byteField(w, 1, j)->isEnabled());
    QVERIFY(byteField(w, 2, 1)->isEnabled());
    QVERIFY(!byteField(w, 2, 2)->isEnabled());
    QVERIFY(!floatField(w, 2)->isEnabled());
    for (int i = 3; i <= 6; ++i)
        QVERIFY(!floatField(w, i)->isEnabled() && !byteField(w, i, 1)->isEnabled());

    w.ui->spinBoxSymData91->setValue(1);
    QVERIFY(byteField(w, 1, 1)->isEnabled());
    QVERIFY(!byteField(w, 1, 2)->isEnabled());
    QVERIFY(!floatField(w, 1)->isEnabled());
}

void TestConsole::floatsFollowTheirBytes()
{
    MainWindow w;
    unlock(w);
    const char *pi[] = {"40", "49", "0f", "db"};
    for (int j = 1; j <= 4; ++j)
        byteField(w, 6, j)->setText(QString::fromLatin1(pi[j - 1]));
    w.ui->spinBoxSymData91->setValue(7);
    // Covered or not, every float shows its four bytes.
    QCOMPARE(floatField(w, 6)->text(), QStringLiteral("3.14159"));
    QCOMPARE(floatField(w, 1)->text(), QStringLiteral("0"));
    QVERIFY(!floatField(w, 6)->isEnabled());
}

void TestConsole::restoredState()
{
    // The preset is applied first, then the stored count and low address
    // byte override it; the command's handler then sets up the boxes.
    QSettings s = store();
    s.setValue(QStringLiteral("/Parameters/CurrentRegisters"), 7);     // "Все"
    s.setValue(QStringLiteral("/Parameters/CurrentData91"), 8);
    s.setValue(QStringLiteral("/Parameters/CurrentAddr91"), QStringLiteral("22"));
    s.setValue(QStringLiteral("/Parameters/CurrentFunc"), 2);          // 51
    s.setValue(QStringLiteral("/Parameters/CurrentAddr"), 3);
    s.sync();
    MainWindow w;
    QCOMPARE(w.ui->comboBoxRegisters->currentIndex(), 7);
    QCOMPARE(w.ui->spinBoxSymData91->value(), 8);
    QCOMPARE(w.ui->lineAddr91->text(), QStringLiteral("22"));
    QVERIFY(w.ui->checkAltView->isChecked());
    QVERIFY(floatField(w, 2)->isEnabledTo(w.ui->tabForDeveloper));
    QVERIFY(!floatField(w, 3)->isEnabledTo(w.ui->tabForDeveloper));
    QCOMPARE(w.ui->lineEditRequest->text(), QStringLiteral("ff ff ff 02 03 33 03 00 22 08 1b"));
    QCOMPARE(w.write91Data, QByteArray::fromHex("0022") + QByteArray(8, '\0'));
}

// ------------------------------------------------------- over the line

void TestConsole::registerReadDecoded()
{
    connectWindow();
    MainWindow &w = *m_w;
    m_line->device(1)->setF32(0x1e, 1.5f);
    m_line->device(1)->setF32(0x22, -2.0f);
    w.ui->comboBoxFunc->setCurrentIndex(2);     // 51
    w.ui->spinBoxSymData91->setValue(8);
    w.ui->lineAddr91->setText(QStringLiteral("1e"));

    // The send button is off from the logging of the request to the answer.
    bool enabledWhileOut = true;
    connect(w.hartLink(), &protocolComHart::requestSend, this,
            [&] { enabledWhileOut = w.ui->buttonSend->isEnabled(); });
    QSignalSpy answers(w.hartLink(), &protocolComHart::answerGet);
    w.ui->buttonSend->click();
    QVERIFY(answers.wait(3000));
    QVERIFY(!enabledWhileOut);
    QCOMPARE(answers.at(0).at(0).toInt(), 1);
    QVERIFY(w.ui->buttonSend->isEnabled());

    QTextEdit *c = w.ui->textEditConsole;
    const QString log = c->toPlainText();
    QVERIFY2(log.startsWith(QStringLiteral("\nff ff ff 02 01 33 03 00 1e 08 ")), qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("Address::")), 8);
    QCOMPARE(log.count(QStringLiteral("Float ")), 2);
    QVERIFY(log.contains(QStringLiteral("CRC Ok\nAddress::30\tData::3f\n")));
    QVERIFY(log.contains(QStringLiteral("Address::33\tData::00\nFloat 30 to 33:\t1.5\nAddress::34")));
    QVERIFY(log.endsWith(QStringLiteral("Address::37\tData::00\nFloat 34 to 37:\t-2\n"
                                        "статус 1: 0 (успешно); статус 2: 0x00")));

    // Request white on black text, answer inverted, verdict on green, the
    // float lines inverted.
    const QTextCharFormat request = formatOf(c, QStringLiteral("ff ff ff 02 01 33"));
    QCOMPARE(request.background().color(), QColor(Qt::white));
    QCOMPARE(request.foreground().color(), QColor(Qt::black));
    const QTextCharFormat answer = formatOf(c, QStringLiteral("ff ff ff ff ff 02 01 33"));
    QCOMPARE(answer.background().color(), QColor(Qt::black));
    QCOMPARE(answer.foreground().color(), QColor(Qt::white));
    const QTextCharFormat verdict = formatOf(c, QStringLiteral("CRC Ok"));
    QCOMPARE(verdict.background().color(), QColor(Qt::green));
    QCOMPARE(verdict.foreground().color(), QColor(Qt::black));
    QCOMPARE(formatOf(c, QStringLiteral("Float 30")).background().color(), QColor(Qt::black));
    QCOMPARE(formatOf(c, QStringLiteral("Address::31")).background().color(), QColor(Qt::white));
}

void TestConsole::badChecksumStillDecoded()
{
    connectWindow();
    MainWindow &w = *m_w;
    choosePreset(w, 0);                         // 4 bytes at 0x1e
    w.ui->comboBoxFunc->setCurrentIndex(2);     // 51
    m_line->device(1)->corruptNextChecksum = true;
    QSignalSpy answers(w.hartLink(), &protocolComHart::answerGet);
    w.ui->buttonSend->click();
    QVERIFY(answers.wait(3000));
    const QString log = w.ui->textEditConsole->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("bad CRC\nAddress::30")), qPrintable(log));
    QVERIFY(!log.contains(QStringLiteral("CRC Ok")));
    QCOMPARE(log.count(QStringLiteral("Float ")), 1);
    QCOMPARE(formatOf(w.ui->textEditConsole, QStringLiteral("bad CRC")).background().color(), QColor(Qt::red));
}

void TestConsole::silentDeviceThreeRequests()
{
    connectWindow();
    MainWindow &w = *m_w;
    w.pollRepeats = 3;
    w.ui->comboBoxMainAddr->setCurrentIndex(2);     // nobody there
    w.ui->comboBoxFunc->setCurrentIndex(1);         // 3
    QSignalSpy answers(w.hartLink(), &protocolComHart::answerGet);
    w.ui->buttonSend->click();
    QVERIFY(answers.wait(5000));
    QCOMPARE(answers.at(0).at(0).toInt(), 0);
    const QString line = QStringLiteral("ff ff ff 02 02 03 00 03 ");
    QCOMPARE(w.ui->textEditConsole->toPlainText(), QString(QStringLiteral("\n") + line).repeated(3));
    QVERIFY(w.ui->textEditStatus->toPlainText().endsWith(QStringLiteral("Таймаут операции\n")));
    QCOMPARE(m_line->requests().size(), 3);
    QVERIFY(w.ui->buttonSend->isEnabled());
}

void TestConsole::writeLandsInMemory()
{
    connectWindow();
    MainWindow &w = *m_w;
    choosePreset(w, 2);                             // U1nh 0x26, 4 bytes
    w.ui->comboBoxFunc->setCurrentIndex(3);         // 91
    floatField(w, 1)->clear();
    QTest::keyClicks(floatField(w, 1), QStringLiteral("1.5"));
    w.ui->buttonCreate91Request->click();
    QCOMPARE(w.write91Data, QByteArray::fromHex("00263fc00000"));
    QVERIFY(w.ui->lineEditRequest->text().contains(QStringLiteral("5b 06 00 26 3f c0 00 00")));

    QSignalSpy answers(w.hartLink(), &protocolComHart::answerGet);
    w.ui->buttonSend->click();
    QVERIFY(answers.wait(3000));
    QCOMPARE(m_line->device(1)->f32(0x26), 1.5f);
    QVERIFY(w.ui->textEditConsole->toPlainText().contains(QStringLiteral("CRC Ok")));
}

void TestConsole::countChangedAfterCreateIsRebuilt()
{
    // The data was built for four bytes; the count is then raised to eight
    // and the second float typed: what goes out is what the fields show.
    connectWindow();
    MainWindow &w = *m_w;
    choosePreset(w, 0);                             // Pstat 0x1E
    w.ui->comboBoxFunc->setCurrentIndex(3);         // 91
    floatField(w, 1)->clear();
    QTest::keyClicks(floatField(w, 1), QStringLiteral("1.5"));
    w.ui->buttonCreate91Request->click();
    w.ui->spinBoxSymData91->setValue(8);
    floatField(w, 2)->clear();
    QTest::keyClicks(floatField(w, 2), QStringLiteral("2.5"));

    QSignalSpy answers(w.hartLink(), &protocolComHart::answerGet);
    w.ui->buttonSend->click();
    QVERIFY(answers.wait(3000));
    QCOMPARE(m_line->device(1)->f32(0x1e), 1.5f);
    QCOMPARE(m_line->device(1)->f32(0x22), 2.5f);
    QCOMPARE(w.write91Data.size(), 10);
    const QByteArray sent = m_line->requests().last();
    QCOMPARE(sent.right(12).left(11), QByteArray::fromHex("0a 001e 3fc00000 40200000"));
}

void TestConsole::oversizeRequestRefused()
{
    connectWindow();
    MainWindow &w = *m_w;
    w.ui->comboBoxFunc->setCurrentIndex(1);     // 3, to allow the long frame
    w.ui->checkLongFrame->setChecked(true);
    w.ui->comboBoxFunc->setCurrentIndex(3);     // 91
    w.ui->spinBoxSymPreamble->setValue(20);
    w.ui->spinBoxSymData91->setValue(24);
    w.ui->lineAddr91->setText(QStringLiteral("1e"));
    w.ui->buttonCreate91Request->click();
    QCOMPARE(w.requestLength, 0);
    QCOMPARE(w.ui->lineEditRequest->text(), QString());

    w.ui->buttonSend->click();
    QVERIFY(!w.hartLink()->isBusy());
    const QString text = QStringLiteral("Запрос не отправлен: длина кадра 55 байт больше 50\n");
    QCOMPARE(w.ui->textEditConsole->toPlainText(), text);
    QCOMPARE(formatOf(w.ui->textEditConsole, text.left(10)).foreground().color(), QColor(Qt::red));
    w.ui->buttonStartLoop->click();
    QVERIFY(!w.hartLink()->isRepeating());
    QVERIFY(!w.loopRunning);

    // A short frame with 20 preamble bytes is still one byte too long; with
    // 19 it fills the buffer exactly.
    w.ui->comboBoxFunc->setCurrentIndex(1);
    w.ui->checkLongFrame->setChecked(false);
    w.ui->comboBoxFunc->setCurrentIndex(3);
    QCOMPARE(w.requestLength, 0);
    w.ui->spinBoxSymPreamble->setValue(19);
    QCOMPARE(w.requestLength, 50);
    QCOMPARE(w.ui->lineEditRequest->text().count(QLatin1Char(' ')), 49);
}

void TestConsole::loopUntilStopped()
{
    connectWindow();
    MainWindow &w = *m_w;
    w.ui->comboBoxFunc->setCurrentIndex(1);     // 3
    w.ui->buttonStartLoop->click();
    QVERIFY(w.loopRunning);
    QTRY_VERIFY_WITH_TIMEOUT(m_line->device(1)->requestsSeen >= 3, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(w.ui->textEditConsole->toPlainText().count(QStringLiteral("CRC Ok")) >= 3, 5000);

    w.ui->buttonStopLoop->click();
    QVERIFY(!w.loopRunning);
    QVERIFY(!w.hartLink()->isRepeating());
    QTRY_VERIFY(!w.hartLink()->isBusy());
    // Every transmission was the same console request.
    for (const QByteArray &r : m_line->requests())
        QCOMPARE(r, QByteArray::fromHex("ffffff 02 01 03 00 00"));
}

void TestConsole::portClosedNothingSent()
{
    MainWindow w;
    unlock(w);
    w.ui->buttonSend->click();
    w.ui->buttonStartLoop->click();
    QCOMPARE(w.ui->textEditStatus->toPlainText(), QStringLiteral("Порт не открыт!!\nПорт не открыт!!\n"));
    QVERIFY(!w.loopRunning);
    QVERIFY(w.ui->textEditConsole->toPlainText().isEmpty());
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
