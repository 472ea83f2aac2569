// The device data record between transmitters, the dialog and files: the
// bulk read and write over the virtual line, row colours by outcome, the
// program rows of a read, and the refusals before anything is sent.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "ui_dumpdialog.h"

#include "devicedata/bulkblocks.h"
#include "devicedata/dumpdialog.h"
#include "devicedata/numbertext.h"
#include "devicedata/recordcheck.h"
#include "app/messagelog.h"
#include "app/progresspanel.h"
#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QtTest>
#include <memory>

using namespace DeviceItems;

namespace {

QString u8(const char *s) { return QString::fromUtf8(s); }

QColor base(const QLineEdit *field) { return field->palette().color(QPalette::Base); }

QList<QMessageBox *> openBoxes(const QWidget *parent)
{
    QList<QMessageBox *> out;
    for (QMessageBox *b : parent->findChildren<QMessageBox *>()) {
        if (b->isVisible())
            out << b;
    }
    return out;
}

int countDeviceRows(const DumpDialog &d, const QColor &colour)
{
    int n = 0;
    for (int i = 0; i < DeviceItemCount; ++i)
        n += base(d.deviceField(i)) == colour ? 1 : 0;
    return n;
}

// Every byte a bulk write puts into the device.
QVector<QPair<int, int>> writtenRanges()
{
    QVector<QPair<int, int>> out;
    for (int i = 0; i < BulkBlocks::BlockCount; ++i)
        out.append({BulkBlocks::writeBlock(i).address, BulkBlocks::writeBlock(i).length});
    return out;
}

// A transmitter whose every item holds a value of its own, with floats that
// need more than six digits, as real coefficients do. The bytes of the
// written blocks that belong to no item are 0, as a write leaves them.
void makeDistinctive(sim::VirtualDevice *dev)
{
    for (const auto &r : writtenRanges()) {
        for (int a = r.first; a < r.first + r.second; ++a)
            dev->setU8(uint16_t(a), 0);
    }
    for (int i = 0; i < DeviceItemCount; ++i) {
        const DeviceItem &item = deviceItem(i);
        const auto at = uint16_t(item.address + item.offset);
        switch (item.storage) {
        case Storage::Float:
            dev->setF32(at, float((i % 2 ? -1 : 1) * (i + 1) * 1.2345678e-3 * (i % 5 + 1)));
            break;
        case Storage::UInt32: dev->setU32(at, 0x12345678u + uint32_t(i)); break;
        case Storage::SignedByte: dev->setU8(at, uint8_t(10 + i)); break;
        case Storage::UnsignedByte: dev->setU8(at, uint8_t(200 + i)); break;
        case Storage::ModelNumber: dev->setU8(at, 3); break;
        case Storage::UnitCode: dev->setU8(at, 7); break;
        }
    }
}

// A main window on a line with transmitters at 1 and 2, connected, with
// quick link timing.
struct Rig
{
    sim::VirtualLine line;
    std::unique_ptr<MainWindow> w;
    DumpDialog *d = nullptr;

    bool start()
    {
        if (!line.open())
            return false;
        line.setBaud(0);
        line.addDevice(1);
        line.addDevice(2);
        w.reset(new MainWindow);
        w->ui->comboBoxNamePort->setEditText(line.portName());
        w->ui->buttonConnectPort->click();
        w->pollPeriod = 20;
        w->pollTimeout = 300;
        w->pollRepeats = 1;
        d = w->deviceDataDialog();
        selectAddress(1);
        return w->hartLink()->isPortOpen();
    }
    void selectAddress(int a)
    {
        w->ui->comboBoxMainAddr->setCurrentIndex(w->ui->comboBoxMainAddr->findData(a));
    }
    sim::VirtualDevice *dev(int a) const { return line.device(uint8_t(a)); }
};

} // namespace

class TestDeviceData : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void roundTripClonesTransmitter();
    void readShowsDeviceAndProgramRows();
    void softwareFlowControlRowFails();
    void openingClearsAndEmptyWriteIsRefused();
    void portClosedRefusesBoth_data();
    void portClosedRefusesBoth();
    void damagedOrSilentBlocks_data();
    void damagedOrSilentBlocks();
    void cancelledReadAsksAndLoadStartsClean();

private:
    Sandbox m_sandbox;
};

void TestDeviceData::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestDeviceData::cleanup()
{
    m_sandbox.leave();
}

void TestDeviceData::roundTripClonesTransmitter()
{
    Rig rig;
    QVERIFY(rig.start());
    makeDistinctive(rig.dev(1));
    // The clone starts out different in every byte it is to receive.
    for (const auto &r : writtenRanges()) {
        for (int a = r.first; a < r.first + r.second; ++a)
            rig.dev(2)->setU8(uint16_t(a), 0xA5);
    }

    rig.w->ui->pbMemDump->click();
    QVERIFY(rig.d->isVisible());
    rig.d->form()->pbDownloadFromDevice->click();
    QTRY_COMPARE_WITH_TIMEOUT(countDeviceRows(*rig.d, Qt::green), DeviceItemCount, 10000);
    // Six digits would not give this coefficient back.
    const QString a42 = rig.d->deviceText(devicePosition("a42"));
    QCOMPARE(NumberText::toFloat(a42, nullptr), rig.dev(1)->f32(78));
    QVERIFY2(a42 != NumberText::formatG(double(rig.dev(1)->f32(78))), qPrintable(a42));

    const QString path = m_sandbox.filePath(QStringLiteral("record.txt"));
    QVERIFY(rig.d->saveToPath(path));
    rig.d->clearAll();
    QCOMPARE(rig.d->record(), DeviceRecord());
    QVERIFY(rig.d->loadFromPath(path));
    QCOMPARE(countDeviceRows(*rig.d, Qt::green), 0);   // loaded values are not coloured

    rig.selectAddress(2);
    rig.dev(1)->requestsSeen = 0;
    rig.d->form()->pbUploadToDevice->click();
    QTRY_COMPARE_WITH_TIMEOUT(countDeviceRows(*rig.d, Qt::green), DeviceItemCount, 10000);
    QCOMPARE(rig.dev(1)->requestsSeen, 0);

    for (const auto &r : writtenRanges()) {
        QCOMPARE(rig.dev(2)->memory().mid(r.first, r.second).toHex(),
                 rig.dev(1)->memory().mid(r.first, r.second).toHex());
    }

    // A typed password that is no byte writes nothing at all: it would go
    // out as the device's password 0.
    rig.dev(2)->setU8(251, 7);
    rig.dev(2)->requestsSeen = 0;
    rig.line.clearRequests();
    rig.d->form()->lePassword->setText(QStringLiteral("256"));
    rig.d->form()->pbUploadToDevice->click();
    QCOMPARE(rig.d->form()->lePassword->palette().color(QPalette::Base), QColor(Qt::red));
    QVERIFY(rig.w->statusBar()->currentMessage().contains(QStringLiteral("«Пароль на запись»: «256»")));
    QTest::qWait(100);
    QVERIFY(rig.line.requests().isEmpty());
    QCOMPARE(rig.dev(2)->requestsSeen, 0);
    QCOMPARE(rig.dev(2)->u8(251), uint8_t(7));
    for (QMessageBox *box : rig.d->findChildren<QMessageBox *>())
        box->close();

    // A password typed in the dialog is written where the identity block
    // ends, instead of clearing the device's EEPROM write password.
    rig.d->form()->lePassword->setText(QStringLiteral("42"));
    rig.d->form()->pbUploadToDevice->click();
    QTRY_COMPARE_WITH_TIMEOUT(rig.dev(2)->u8(251), uint8_t(42), 10000);
}

void TestDeviceData::readShowsDeviceAndProgramRows()
{
    Rig rig;
    QVERIFY(rig.start());
    sim::VirtualDevice *dev = rig.dev(1);
    dev->setF32(sim::VirtualDevice::RegPmax, 1.6e6f);
    dev->setU32(sim::VirtualDevice::RegSerial, 4000000001u);
    dev->setU8(0xF5, 18);       // unit code
    dev->setU8(0xF7, 5);        // model number
    dev->setU8(0xF9, 0xF9);     // model code -7
    dev->setU8(0x0B, 0xFE);     // moving average -2
    dev->setF32(0x0124, 0.25f); // Ksi, read twice (blocks 3 and 10)
    rig.w->ui->sbRTS_Delay->setValue(40);
    rig.w->ui->comboBoxParity->setCurrentText(u8("Метка"));
    rig.w->ui->comboBoxStopBits->setCurrentText(QStringLiteral("1.5"));
    rig.w->onApplyComConf();

    rig.w->onDeviceMemoryDump();
    rig.d->form()->pbDownloadFromDevice->click();
    QVERIFY(rig.w->isBusy());
    QTRY_COMPARE_WITH_TIMEOUT(countDeviceRows(*rig.d, Qt::green), DeviceItemCount, 10000);
    QVERIFY(!rig.w->isBusy());

    QCOMPARE(rig.d->deviceText(devicePosition("Pmax")), QStringLiteral("1.6e+06"));
    QCOMPARE(rig.d->deviceText(devicePosition("serial")), QStringLiteral("4000000001"));
    QCOMPARE(rig.d->deviceText(devicePosition("mu")), u8("кг/м3"));
    QCOMPARE(rig.d->deviceText(devicePosition("model_name")), u8("ЛТ3920ДВИ"));
    QCOMPARE(rig.d->deviceText(devicePosition("model_code")), QStringLiteral("-7"));
    QCOMPARE(rig.d->deviceText(devicePosition("Filter_Size")), QStringLiteral("-2"));
    QCOMPARE(rig.d->deviceText(devicePosition("Ksi")), QStringLiteral("0.25"));

    const QPair<const char *, QString> program[] = {
        {"T_query", "20"}, {"timeout", "300"}, {"rep_cnt", "1"},
        {"T_query_scan", QString::number(rig.w->appliedScanPeriod())},
        {"timeout_scan", QString::number(rig.w->appliedScanTimeout())},
        {"rep_cnt_scan", QString::number(rig.w->appliedScanRepeats())},
        {"serial_speed", "1200"}, {"serial_nBits", "8"}, {"serial_parity", u8("Метка")},
        {"serial_sb", "1.5"}, {"serial_fc", u8("да")}, {"serial_rts_delay", "40"},
    };
    for (const auto &p : program) {
        QCOMPARE(rig.d->programText(p.first), p.second);
        QCOMPARE(base(rig.d->programField(p.first)), QColor(Qt::green));
    }
}

void TestDeviceData::softwareFlowControlRowFails()
{
    Rig rig;
    QVERIFY(rig.start());
    // Only a settings file written elsewhere can hold software flow control.
    rig.w->hartLink()->serialConfig().flowControl = 2;
    rig.w->onDeviceMemoryDump();
    rig.d->form()->pbDownloadFromDevice->click();
    QVERIFY(rig.d->programText("serial_fc").isEmpty());
    QCOMPARE(base(rig.d->programField("serial_fc")), QColor(Qt::red));
    QCOMPARE(base(rig.d->programField("serial_sb")), QColor(Qt::green));
    QTRY_COMPARE_WITH_TIMEOUT(countDeviceRows(*rig.d, Qt::green), DeviceItemCount, 10000);
}

void TestDeviceData::openingClearsAndEmptyWriteIsRefused()
{
    Rig rig;
    QVERIFY(rig.start());
    const QColor normal = base(rig.d->deviceField(0));
    rig.d->setDeviceText(4, QStringLiteral("1"));
    rig.d->setDevicePalette(4, rig.w->paletteFailure);
    rig.d->setProgramText("timeout", QStringLiteral("500"));

    rig.w->ui->pbMemDump->click();
    QVERIFY(rig.d->isVisible());
    QVERIFY(rig.d->isModal());
    QCOMPARE(rig.d->record(), DeviceRecord());
    QCOMPARE(base(rig.d->deviceField(4)), normal);

    rig.d->form()->pbUploadToDevice->click();
    QTRY_COMPARE(openBoxes(rig.d).size(), 1);
    QMessageBox *box = openBoxes(rig.d).first();
    QCOMPARE(box->windowTitle(), u8("Ошибка"));
    QVERIFY(box->text().startsWith(u8("Все коэффициенты должны быть заполнены: не заполнено «model_name»")));
    box->accept();
    QVERIFY(!rig.w->isBusy());
    QCOMPARE(rig.w->hartLink()->queueSize(), 0);
    QVERIFY(!rig.w->hartLink()->isBusy());
    QVERIFY(rig.line.requests().isEmpty());
}

void TestDeviceData::portClosedRefusesBoth_data()
{
    QTest::addColumn<bool>("write");
    QTest::newRow("read") << false;
    QTest::newRow("write") << true;
}

void TestDeviceData::portClosedRefusesBoth()
{
    QFETCH(bool, write);
    MainWindow w;
    DumpDialog *d = w.deviceDataDialog();
    w.onDeviceMemoryDump();
    for (int i = 0; i < DeviceItemCount; ++i)
        d->setDeviceText(i, i == 0 ? u8("ЛТ3920ДИ") : i == 3 ? u8("Па") : QStringLiteral("1"));

    (write ? d->form()->pbUploadToDevice : d->form()->pbDownloadFromDevice)->click();
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QCOMPARE(openBoxes(d).first()->windowTitle(), u8("Ошибка"));
    QCOMPARE(openBoxes(d).first()->text(), u8("Порт не открыт"));
    QCOMPARE(openBoxes(d).first()->icon(), QMessageBox::Critical);
    QVERIFY(w.ui->textEditStatus->toPlainText().endsWith(u8("Порт не открыт!!\n")));
    // Nothing cleared, nothing locked.
    QCOMPARE(d->deviceText(4), QStringLiteral("1"));
    QVERIFY(!w.isBusy());
}

void TestDeviceData::damagedOrSilentBlocks_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QColor>("firstBlockColour");
    QTest::newRow("read, damaged") << false << false << QColor();
    QTest::newRow("read, silent") << false << true << QColor();
    QTest::newRow("write, damaged") << true << false << QColor(Qt::red);
    QTest::newRow("write, silent") << true << true << QColor();
}

void TestDeviceData::damagedOrSilentBlocks()
{
    QFETCH(bool, write);
    QFETCH(bool, silent);
    QFETCH(QColor, firstBlockColour);

    Rig rig;
    QVERIFY(rig.start());
    makeDistinctive(rig.dev(1));
    rig.w->onDeviceMemoryDump();
    if (write) {
        rig.d->form()->pbDownloadFromDevice->click();
        QTRY_COMPARE_WITH_TIMEOUT(countDeviceRows(*rig.d, Qt::green), DeviceItemCount, 10000);
    }
    const QColor normal = QPalette().color(QPalette::Base);

    // The first block of either batch (address 78) goes wrong; the other
    // eleven still go through. A write opens with the serial read, which
    // is answered well.
    sim::VirtualDevice *dev = rig.dev(1);
    const auto spoilNext = [dev, silent] {
        if (silent)
            dev->silentFor = 1;
        else
            dev->corruptNextChecksum = true;
    };
    if (write)
        connect(rig.w->hartLink(), &protocolComHart::answerGet, rig.w.get(), [spoilNext](int code) {
            if (code == WriteIdentity::Operation)
                spoilNext();
        });
    else
        spoilNext();
    const QVector<int> first = BulkBlocks::writeBlockPositions(78);
    QCOMPARE(first, BulkBlocks::readBlockPositions(78));
    const int others = DeviceItemCount - first.size();

    (write ? rig.d->form()->pbUploadToDevice : rig.d->form()->pbDownloadFromDevice)->click();
    QTRY_COMPARE_WITH_TIMEOUT(countDeviceRows(*rig.d, Qt::green), others, 10000);
    // The last block is in when its rows are: nothing more will come.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.w->hartLink()->isQueueRunning() && !rig.w->hartLink()->isBusy(),
                             5000);
    QCOMPARE(countDeviceRows(*rig.d, Qt::green), others);
    for (int p : first) {
        if (write) {
            QCOMPARE(base(rig.d->deviceField(p)),
                     firstBlockColour.isValid() ? firstBlockColour : normal);
            QVERIFY(!rig.d->deviceText(p).isEmpty());
        } else {
            QVERIFY2(rig.d->deviceText(p).isEmpty(), qPrintable(rig.d->deviceText(p)));
        }
    }
    if (silent)
        QVERIFY(rig.w->ui->textEditStatus->toPlainText().contains(u8("Таймаут операции\n")));
}

void TestDeviceData::cancelledReadAsksAndLoadStartsClean()
{
    Rig rig;
    QVERIFY(rig.start());
    DumpDialog *d = rig.d;
    rig.dev(1)->answerDelayMs = 40;
    QStringList asked;
    bool agree = false;
    d->confirmIncompleteSave = [&](const QString &text) {
        asked << text;
        return agree;
    };
    rig.w->onDeviceMemoryDump();
    d->form()->pbDownloadFromDevice->click();
    QTRY_VERIFY(rig.dev(1)->requestsSeen >= 4);
    auto *panel = d->findChild<ProgressPanel *>();
    QVERIFY(panel);
    panel->cancelButton()->click();
    QTRY_VERIFY(!rig.w->hartLink()->isBusy() && !rig.w->hartLink()->isQueueRunning());
    QTRY_VERIFY(panel->caption()->text().contains(u8("результат неполный")));

    // Declined: nothing written, and the dialog says so.
    const QString path = QDir::current().filePath(QStringLiteral("partial.txt"));
    QVERIFY(!d->saveToPath(path));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().contains(u8("Не считаны блоки: ")) && asked.first().contains(u8("12 (c43)")),
             qPrintable(asked.first()));
    QVERIFY(d->statusLabel()->text().startsWith(u8("Не сохранено")));

    // Agreed: the file holds the items read and nothing else.
    agree = true;
    const int filled = RecordCheck::filledDeviceItems(d->record());
    QVERIFY(filled > 0 && filled < DeviceItemCount);
    QVERIFY(d->saveToPath(path));
    QCOMPARE(DeviceDataFile::load(path, DeviceRecord()).record, d->record());
    const int answered = rig.dev(1)->requestsSeen;

    // Loading clears the read's verdict and says what came from the file.
    d->clearAll();
    QVERIFY(d->loadFromPath(path));
    QVERIFY(!panel->isVisible());
    const QString loaded = u8("Загружено из partial.txt: данных устройства %1 из 39, данных программы 12 из 12").arg(filled);
    QCOMPARE(d->statusLabel()->text(), loaded);
    QVERIFY(rig.w->messageLog()->toText().contains(u8("[Данные устройства] ") + loaded));
    // What was loaded is not a read: saved again without a question.
    QVERIFY(d->saveToPath(QDir::current().filePath(QStringLiteral("again.txt"))));
    QCOMPARE(asked.size(), 2);
    QCOMPARE(rig.dev(1)->requestsSeen, answered);
}

QTEST_MAIN(TestDeviceData)
#include "tst_devicedata.moc"
