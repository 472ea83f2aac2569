// The window on a line that behaves as real ones do: converter noise in the
// RTS lead before every request, refusals and warnings in the response code,
// answers after the time-out, echoed master bits. Each is proven by what the
// device executed and what the window shows.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "devicebench.h"
#include "devicedata/bulkblocks.h"
#include "devicedata/deviceitems.h"
#include "devicedata/dumpdialog.h"
#include "polling/measurementrow.h"
#include "ui_dumpdialog.h"

#include "common/realline.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QtTest>

using bench::DeviceBench;
using Moment = sim::VirtualLine::StrayMoment;

namespace {

int greenDeviceRows(const DumpDialog &d)
{
    int n = 0;
    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i)
        n += d.deviceField(i)->palette().color(QPalette::Base) == QColor(Qt::green) ? 1 : 0;
    return n;
}

int commandsSeen(const sim::VirtualDevice *d, uint8_t command)
{
    int n = 0;
    for (const QByteArray &c : d->commandsSeen)
        n += uint8_t(c.at(0)) == command ? 1 : 0;
    return n;
}

// Starts the operation a row names on the bench's device at address 0.
void run(DeviceBench &b, const QString &what)
{
    MainWindow &w = b.w();
    if (what == QLatin1String("device operation")) {
        b.ui()->buttonZero->click();
    } else if (what == QLatin1String("register write")) {
        b.ui()->lineEditSetMaxValue->setText(QStringLiteral("123,5"));
        b.ui()->buttonSetMaxValue->click();
    } else if (what == QLatin1String("poll")) {
        w.pollChannels[0].enable->setChecked(true);
        w.pollChannels[0].address->setCurrentIndex(0);
        b.ui()->buttonFunction3Send->click();
    } else {
        DumpDialog *d = w.deviceDataDialog();
        if (!d->isVisible())
            w.onDeviceMemoryDump();     // opening it clears it
        (what == QLatin1String("bulk write") ? d->form()->pbUploadToDevice : d->form()->pbDownloadFromDevice)->click();
    }
}

bool idle(DeviceBench &b)
{
    return QTest::qWaitFor([&b] { return !b.w().hartLink()->isBusy() && !b.w().hartLink()->isQueueRunning(); },
                           10000);
}

QString pollFileCell(MainWindow &w)
{
    return w.measurementModel->item(0, MeasurementRow::FileColumn)->text();
}

} // namespace

class TestRealLineGui : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void noiseInRtsLeadOneExecution_data();
    void noiseInRtsLeadOneExecution();
    void responseCodesSaid_data();
    void responseCodesSaid();
    void scanSaysLateAndEchoedAnswers_data();
    void scanSaysLateAndEchoedAnswers();
    void lateAnswerToAnOperationSaid();

private:
    Sandbox m_sandbox;
};

void TestRealLineGui::noiseInRtsLeadOneExecution_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("stray");
    QTest::addColumn<uint8_t>("command");
    QTest::addColumn<int>("requests");
    QTest::newRow("device operation") << "device operation" << "one 0xFF" << uint8_t(37) << 1;
    QTest::newRow("register write") << "register write" << "0xFF run" << uint8_t(91) << 1;
    QTest::newRow("poll") << "poll" << "noise" << uint8_t(3) << 1;
    QTest::newRow("bulk read") << "bulk read" << "one 0xFF" << uint8_t(51) << BulkBlocks::BlockCount;
}

void TestRealLineGui::noiseInRtsLeadOneExecution()
{
    QFETCH(QString, what);
    QFETCH(QString, stray);
    QFETCH(uint8_t, command);
    QFETCH(int, requests);
    DeviceBench b;
    QCOMPARE(b.start(), QString());
    b.w().pollRepeats = 3;      // a request taken as unanswered would go out again
    realline::driveRtsByHand(b.w().hartLink(), &b.line);
    b.line.setStrayBytes(realline::strayBytes(qPrintable(stray)), Moment::RtsRaised);

    run(b, what);
    QVERIFY(idle(b));
    QCOMPARE(commandsSeen(b.device, command), requests);
    QCOMPARE(b.device->requestsSeen, requests);
    QVERIFY(!b.paneText(QStringLiteral("textEditStatus")).contains(QStringLiteral("Таймаут")));
    if (what == QLatin1String("device operation"))
        QVERIFY(b.paneText(QStringLiteral("textEditStatusCalibration")).endsWith(QStringLiteral("Баланс нуля выполнен\n")));
    else if (what == QLatin1String("register write"))
        QCOMPARE(b.device->f32(0x001E), 123.5f);
    else if (what == QLatin1String("poll"))
        QCOMPARE(b.w().measurementModel->item(0, MeasurementRow::CrcColumn)->text(), QStringLiteral("OK"));
    else
        QCOMPARE(greenDeviceRows(*b.w().deviceDataDialog()), DeviceItems::DeviceItemCount);
}

void TestRealLineGui::responseCodesSaid_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("every");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("executed");     // requests the device carried out
    QTest::newRow("write refused") << "register write" << 7 << 1 << 0
                                   << "Прибор отказал: код 7 (запрет записи)" << 0;
    QTest::newRow("write with a warning") << "register write" << 8 << 1 << 0
                                          << "Прибор предупреждает: код 8 (выполнено с предупреждением)" << 1;
    QTest::newRow("operation refused") << "device operation" << 16 << 1 << 0
                                       << "Прибор отказал: код 16 (доступ ограничен)" << 0;
    QTest::newRow("bulk write, 2 of 12 refused") << "bulk write" << 7 << 0 << 6
        << "Запись не завершена: записано 10 из 12 блоков, 2 отклонены прибором: код 7 (запрет записи)"
        << 1 + 10;   // the serial read that opens the write, and the blocks taken
    QTest::newRow("bulk read, 1 refused") << "bulk read" << 32 << 1 << 0
        << "Чтение не завершено: получено 11 из 12 блоков, 1 отклонены прибором: код 32 (прибор занят)" << 11;
    QTest::newRow("poll refused") << "poll" << 64 << 1 << 0 << "Отказ: код 64" << 0;
}

void TestRealLineGui::responseCodesSaid()
{
    QFETCH(QString, what);
    QFETCH(int, code);
    QFETCH(int, next);
    QFETCH(int, every);
    QFETCH(QString, said);
    QFETCH(int, executed);
    DeviceBench b;
    QCOMPARE(b.start(), QString());
    DumpDialog *dialog = b.w().deviceDataDialog();
    if (what == QLatin1String("bulk write")) {
        // A whole record to write back: every item with a text.
        for (int i = 0; i < DeviceItems::DeviceItemCount; ++i) {
            const DeviceItems::DeviceItem &item = DeviceItems::deviceItem(i);
            if (item.storage == DeviceItems::Storage::ModelNumber || item.storage == DeviceItems::Storage::UnitCode)
                b.device->setU8(uint16_t(item.address + item.offset), 3);
        }
        run(b, QStringLiteral("bulk read"));
        QTRY_COMPARE_WITH_TIMEOUT(greenDeviceRows(*dialog), DeviceItems::DeviceItemCount, 10000);
        QVERIFY(idle(b));
    }
    const float pmaxBefore = b.device->f32(0x001E);
    const int seenBefore = b.device->commandsSeen.size();
    b.device->responseCode = uint8_t(code);
    // Every 6th answer: after the 12 of the read and the serial read before
    // the write, blocks 5 and 11 of the write.
    b.device->respond = {next, every};

    run(b, what);
    QVERIFY(idle(b));
    QCOMPARE(b.device->commandsSeen.size() - seenBefore, executed);
    const QString status = b.ui()->statusBar->currentMessage();
    if (what == QLatin1String("poll")) {
        QCOMPARE(pollFileCell(b.w()), said);     // shown in its row, not recorded
        QVERIFY(status.contains(QStringLiteral("код 64 (команда не поддерживается)")));
    } else if (what.startsWith(QLatin1String("bulk"))) {
        // The dialog says it; the status bar then gives the run's count.
        QStringList boxes;
        for (const QMessageBox *box : dialog->findChildren<QMessageBox *>())
            boxes << box->text();
        QVERIFY2(boxes.contains(said), qPrintable(boxes.join(QLatin1Char('|'))));
        QVERIFY2(status.contains(QStringLiteral("результат неполный")), qPrintable(status));
    } else {
        QVERIFY2(status.contains(said), qPrintable(status));
    }
    const QString pane = b.paneText(QStringLiteral("textEditStatusCalibration"));
    if (what == QLatin1String("register write")) {
        QCOMPARE(b.device->f32(0x001E) == 123.5f, executed == 1);
        QCOMPARE(pane.contains(QStringLiteral("Установлен максимальный верхний предел")), executed == 1);
        if (executed == 0)
            QCOMPARE(b.device->f32(0x001E), pmaxBefore);
    } else if (what == QLatin1String("device operation")) {
        QVERIFY(!pane.contains(QStringLiteral("Баланс нуля выполнен")));
        QVERIFY(pane.contains(said));
    } else if (what == QLatin1String("bulk read")) {
        // The refused block (the first) fills nothing; the others are green.
        QCOMPARE(greenDeviceRows(*dialog),
                 DeviceItems::DeviceItemCount - BulkBlocks::readBlockPositions(BulkBlocks::readBlock(0).address).size());
    }
}

void TestRealLineGui::scanSaysLateAndEchoedAnswers_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("echoedBits");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("said");     // a pattern in the scan box
    QTest::newRow("answers after the time-out") << 450 << 0 << QString()
        << "ответ от 01 пришёл через 0,[4-9] с, после тайм-аута 0,3 с\n.*"
           "Поиск: устройства ответили после тайм-аута: 01, 02; увеличьте тайм-аут поиска";
    QTest::newRow("master bit echoed") << 0 << 0x80 << "01 02" << "Устройство по адресу 02... найдено";
    QTest::newRow("burst bit echoed") << 0 << 0x40 << "01 02" << "Устройство по адресу 01... найдено";
}

void TestRealLineGui::scanSaysLateAndEchoedAnswers()
{
    QFETCH(int, delayMs);
    QFETCH(int, echoedBits);
    QFETCH(QString, found);
    QFETCH(QString, said);
    DeviceBench b;
    QCOMPARE(b.start(), QString());
    b.line.removeDevice(0);
    for (uint8_t a : {uint8_t(1), uint8_t(2)}) {
        sim::VirtualDevice *d = b.line.addDevice(a);
        d->answerDelayMs = delayMs;
        d->echoAddressBits.every = echoedBits ? 1 : 0;
        d->echoedBits = uint8_t(echoedBits);
    }
    b.ui()->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    b.w().scanPeriod = 20;
    b.w().scanTimeout = 300;
    b.w().scanRepeats = 1;
    b.ui()->buttonFindDevice->click();
    const QRegularExpression pattern(said, QRegularExpression::DotMatchesEverythingOption);
    QTRY_VERIFY_WITH_TIMEOUT(pattern.match(b.w().msgBoxScanAddr->text()).hasMatch(), 15000);
    QVERIFY(idle(b));
    QStringList shown;
    for (int i = 0; i < b.ui()->comboBoxMainAddr->count(); ++i)
        shown << b.ui()->comboBoxMainAddr->itemText(i);
    QCOMPARE(shown.join(QLatin1Char(' ')), found);
    b.w().msgBoxScanAddr->close();
}

void TestRealLineGui::lateAnswerToAnOperationSaid()
{
    DeviceBench b;
    QCOMPARE(b.start(), QString());
    b.w().pollTimeout = 200;
    b.device->answerDelayMs = 350;
    b.ui()->lineEditSetMaxValue->setText(QStringLiteral("77"));
    b.ui()->buttonSetMaxValue->click();
    // The device did act: the time-out alone would say it had not.
    QTRY_COMPARE_WITH_TIMEOUT(b.device->f32(0x001E), 77.0f, 2000);
    const QRegularExpression said(QStringLiteral("^ответ от 00 пришёл через 0,[3-9] с, после тайм-аута 0,2 с; "
                                                 "увеличьте тайм-аут$"));
    QTRY_VERIFY_WITH_TIMEOUT(said.match(b.ui()->statusBar->currentMessage()).hasMatch(), 3000);
    QVERIFY(b.paneText(QStringLiteral("textEditStatus")).contains(QStringLiteral("Таймаут операции\n")));
}

QTEST_MAIN(TestRealLineGui)
#include "tst_realline_gui.moc"
