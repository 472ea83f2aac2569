// The device scan over the virtual line: the address lists replaced by the
// devices that answered, the scan box growing line by line, repeats,
// closing the box mid-scan, a damaged answer, the developer tab's view of
// the scan, and the reset of the lists.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QSettings>
#include <QtTest>
#include <memory>

namespace {
QStringList texts(QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QList<int> data(QComboBox *box)
{
    QList<int> out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemData(i).toInt();
    return out;
}

QString line(int address, bool found)
{
    return QStringLiteral("Устройство по адресу %1...").arg(address, 2, 16, QLatin1Char('0'))
           + (found ? QStringLiteral(" найдено\n") : QStringLiteral(" не найдено\n"));
}
}

class TestScan : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void devicesAt1And5();
    void repeatsPrintThePrefixAgain();
    void closingTheBoxStopsAfterTheRequestInFlight();
    void badChecksumStillFound();
    void developerTabShowsBytesInstead();
    void resetRestoresAllAddresses();
    void portClosedLeavesLists();

private:
    void start(QList<int> devices);
    // True once the link has reported the last outcome and stopped.
    bool idle() const;

    Sandbox m_sandbox;
    std::unique_ptr<sim::VirtualLine> m_line;
    std::unique_ptr<MainWindow> m_w;
};

static QtMessageHandler previousHandler = nullptr;

void TestScan::initTestCase()
{
    // The offscreen platform warns about every window operation it lacks
    // whenever the scan box is shown or grows; those lines hide the rest.
    previousHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (!text.startsWith(QLatin1String("This plugin does not support")))
            previousHandler(type, context, text);
    });
}

void TestScan::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestScan::cleanup()
{
    m_w.reset();
    m_line.reset();
    m_sandbox.leave();
}

void TestScan::start(QList<int> devices)
{
    m_line.reset(new sim::VirtualLine);
    QVERIFY2(m_line->open(), qPrintable(m_line->errorString()));
    m_line->setBaud(0);
    for (int a : devices)
        m_line->addDevice(uint8_t(a));
    m_w.reset(new MainWindow);
    MainWindow &w = *m_w;
    w.ui->comboBoxNamePort->setEditText(m_line->portName());
    w.ui->buttonConnectPort->click();
    QVERIFY(w.hartLink()->isPortOpen());
    // Locked, the developer tab is hidden and never the current one, so
    // the progress goes to the box.
    QVERIFY(w.ui->tabWidget->currentWidget() != w.ui->tabForDeveloper);
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    w.scanPeriod = 20;
    w.scanTimeout = 60;
    w.scanRepeats = 1;
}

bool TestScan::idle() const
{
    const protocolComHart *link = m_w->hartLink();
    return !link->isQueueRunning() && !link->isBusy() && link->queueSize() == 0;
}

void TestScan::devicesAt1And5()
{
    start({1, 5});
    MainWindow &w = *m_w;
    w.ui->buttonFindDevice->click();
    QVERIFY(w.scanRunning);
    QVERIFY(w.msgBoxScanAddr->isVisible());
    QVERIFY(w.msgBoxScanAddr->isModal());
    QCOMPARE(w.msgBoxScanAddr->windowTitle(), QStringLiteral("Поиск устройств"));
    QVERIFY(!w.isBusy());     // the scan takes no busy lock
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);

    QString expected = QStringLiteral("Поиск устройств...\n");
    for (int a = 0; a < 16; ++a)
        expected += line(a, a == 1 || a == 5);
    QCOMPARE(w.msgBoxScanAddr->text(), expected);
    QVERIFY(w.msgBoxScanAddr->isVisible());     // stays until closed

    const QStringList found{QStringLiteral("01"), QStringLiteral("05")};
    QCOMPARE(texts(w.ui->comboBoxMainAddr), found);
    QCOMPARE(data(w.ui->comboBoxMainAddr), (QList<int>{1, 5}));
    for (const PollChannel &ch : w.channels()) {
        QCOMPARE(texts(ch.address), found);
        QCOMPARE(data(ch.address), (QList<int>{1, 5}));
    }
    // Sixteen command-0 probes in ascending order, short frames.
    const QList<QByteArray> requests = m_line->requests();
    QCOMPARE(requests.size(), 16);
    for (int a = 0; a < 16; ++a)
        QCOMPARE(requests.at(a).mid(3, 4), QByteArray::fromHex("02") + char(a) + QByteArray::fromHex("0000"));

    w.msgBoxScanAddr->button(QMessageBox::Ok)->click();
    QVERIFY(!w.scanRunning);
    QVERIFY(!w.msgBoxScanAddr->isVisible());
}

void TestScan::repeatsPrintThePrefixAgain()
{
    start({1, 5});
    MainWindow &w = *m_w;
    w.scanRepeats = 2;
    w.ui->buttonFindDevice->click();
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 15000);
    const QString text = w.msgBoxScanAddr->text();
    const QString prefix = QStringLiteral("Устройство по адресу 07...");
    QVERIFY2(text.contains(prefix + prefix + QStringLiteral(" не найдено\n")), qPrintable(text));
    QCOMPARE(text.count(prefix), 2);
    // A device that answers the first time is asked once.
    QVERIFY(text.contains(QStringLiteral("\n") + line(5, true)));
    QCOMPARE(m_line->requests().size(), 2 * 14 + 2);
}

void TestScan::closingTheBoxStopsAfterTheRequestInFlight()
{
    start({1, 5});
    MainWindow &w = *m_w;
    // Closed as soon as the probe of address 2 has gone out.
    connect(w.hartLink(), &protocolComHart::requestSend, this, [&](const char *frame, int size) {
        if (size > 4 && frame[4] == 2)
            w.msgBoxScanAddr->button(QMessageBox::Ok)->click();
    });
    w.ui->buttonFindDevice->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.scanRunning, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 5000);

    QCOMPARE(m_line->requests().size(), 3);
    QCOMPARE(texts(w.ui->comboBoxMainAddr), QStringList{QStringLiteral("01")});
    // The probe in flight timed out after the close: its line has no ending.
    QCOMPARE(w.msgBoxScanAddr->text(), QStringLiteral("Поиск устройств...\n") + line(0, false) + line(1, true)
                                           + QStringLiteral("Устройство по адресу 02..."));
}

void TestScan::badChecksumStillFound()
{
    start({3});
    MainWindow &w = *m_w;
    m_line->device(3)->corruptNextChecksum = true;
    w.ui->buttonFindDevice->click();
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
    QCOMPARE(texts(w.ui->comboBoxMainAddr), QStringList{QStringLiteral("03")});
    QCOMPARE(data(w.channels()[14].address), QList<int>{3});
    QVERIFY(w.msgBoxScanAddr->text().contains(line(3, true)));
}

void TestScan::developerTabShowsBytesInstead()
{
    start({1});
    MainWindow &w = *m_w;
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    w.ui->tabWidget->setCurrentIndex(MainWindow::TabDeveloper);
    w.ui->buttonFindDevice->click();
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);

    QString expected = QStringLiteral("Поиск устройств...\n");
    for (int a = 0; a < 16; ++a)
        expected += a == 1 ? QStringLiteral(" найдено\n") : QStringLiteral(" не найдено\n");
    QCOMPARE(w.msgBoxScanAddr->text(), expected);
    const QString log = w.ui->textEditConsole->toPlainText();
    QCOMPARE(log.count(QStringLiteral("\nff ff ff 02 ")), 16);
    QCOMPARE(log.count(QStringLiteral("CRC Ok")), 1);
}

void TestScan::resetRestoresAllAddresses()
{
    start({4});
    MainWindow &w = *m_w;
    w.ui->buttonFindDevice->click();
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
    QCOMPARE(w.ui->comboBoxMainAddr->count(), 1);

    w.ui->buttonResetAddr->click();
    QVERIFY(!w.scanRunning);
    for (QComboBox *box : {w.ui->comboBoxMainAddr, w.channels()[0].address, w.channels()[14].address}) {
        QCOMPARE(box->count(), 16);
        QCOMPARE(box->itemText(15), QStringLiteral("0f"));
        QCOMPARE(box->itemData(10).toInt(), 10);
    }
}

void TestScan::portClosedLeavesLists()
{
    MainWindow w;
    w.ui->buttonFindDevice->click();
    QVERIFY(!w.scanRunning);
    QVERIFY(!w.msgBoxScanAddr->isVisible());
    QCOMPARE(w.ui->comboBoxMainAddr->count(), 16);
    QCOMPARE(w.channels()[7].address->count(), 16);
    QVERIFY(w.ui->textEditStatus->toPlainText().endsWith(QStringLiteral("Порт не открыт!!\n")));
}

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
