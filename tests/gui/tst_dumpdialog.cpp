// The device data dialog: its rows, row access, colours, the completeness
// check before a write, the file buttons' work and the signals it emits.

#include "devicedata/dumpdialog.h"
#include "ui_dumpdialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace DeviceItems;

namespace {

QString u8(const char *s) { return QString::fromUtf8(s); }

QPalette coloured(const QColor &base)
{
    QPalette p;
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::Text, Qt::black);
    return p;
}

// The message boxes the dialog has open, in the order they opened.
QList<QMessageBox *> openBoxes(const DumpDialog &d)
{
    QList<QMessageBox *> out;
    for (QMessageBox *b : d.findChildren<QMessageBox *>()) {
        if (b->isVisible())
            out << b;
    }
    return out;
}

void fillDevice(DumpDialog &d)
{
    for (int i = 0; i < DeviceItemCount; ++i)
        d.setDeviceText(i, QString::number(i));
    d.setDeviceText(0, u8("ЛТ3920ДА"));
    d.setDeviceText(3, u8("бар"));
}

} // namespace

class TestDumpDialog : public QObject
{
    Q_OBJECT

private slots:
    void rowsBuiltFromDescriptors();
    void rowAccess();
    void clearAndResetColours();
    void sendRefusesIncompleteRecord();
    void sendRefusalNamesTheField_data();
    void sendRefusalNamesTheField();
    void sendWithCompleteDeviceRowsOnly();
    void buttonsEmitSignals();
    void saveThenLoadPartial();
    void loadShowsErrorsOneAfterAnother();
    void saveFailureShowsCritical();
    void fileWithDeviceRowsOnlyCanBeSent();
};

void TestDumpDialog::rowsBuiltFromDescriptors()
{
    DumpDialog d;
    QCOMPARE(d.windowTitle(), u8("Считывание коэффициентов прибора"));
    QGridLayout *grid = d.form()->gridLayout_coefs;
    QCOMPARE(grid->rowCount(), DeviceItemCount);
    for (int i = 0; i < DeviceItemCount; ++i) {
        auto *key = qobject_cast<QLabel *>(grid->itemAtPosition(i, 0)->widget());
        auto *value = qobject_cast<QLineEdit *>(grid->itemAtPosition(i, 1)->widget());
        auto *desc = qobject_cast<QLabel *>(grid->itemAtPosition(i, 2)->widget());
        QVERIFY(key && value && desc);
        QCOMPARE(key->text(), QString::fromLatin1(deviceItem(i).key));
        QCOMPARE(desc->text(), deviceDescription(i));
        QCOMPARE(value, d.deviceField(i));
        QVERIFY(value->isReadOnly());
        QCOMPARE(value->size(), QSize(150, 25));
        QCOMPARE(key->minimumWidth(), 95);
        QCOMPARE(grid->rowMinimumHeight(i), 25);
    }
    QGridLayout *settings = d.form()->gridLayout_settings;
    for (int i = 0; i < ProgramItemCount; ++i) {
        auto *key = qobject_cast<QLabel *>(settings->itemAtPosition(i, 0)->widget());
        QCOMPARE(key->text(), QString::fromLatin1(programItem(i).key));
        QCOMPARE(settings->itemAtPosition(i, 1)->widget(), d.programField(programItem(i).key));
        QVERIFY(d.programField(programItem(i).key)->isReadOnly());
    }
    QCOMPARE(qobject_cast<QLabel *>(grid->itemAtPosition(38, 2)->widget())->text(),
             u8("Поправочный коэффициент для диапазона №10"));
}

void TestDumpDialog::rowAccess()
{
    DumpDialog d;
    d.setDeviceText(devicePosition("Pmax"), "2.5e3");
    QCOMPARE(d.deviceField(4)->text(), QStringLiteral("2.5e3"));
    QCOMPARE(d.deviceFloat(4), 2500.0f);
    d.setDeviceText(2, "4000000000");
    QCOMPARE(d.deviceUInt32(2), 4000000000u);
    d.setDeviceText(1, "-1");
    QCOMPARE(d.deviceUInt16(1), uint16_t(0)); // conversion failure gives 0
    d.setDeviceText(1, "300");
    QCOMPARE(d.deviceUInt16(1), uint16_t(300));

    QVERIFY(d.setProgramText("serial_fc", u8("да")));
    QCOMPARE(d.programText("serial_fc"), u8("да"));
    QVERIFY(!d.setProgramText("Pmax", "9"));
    QVERIFY(!d.setProgramPalette("nope", coloured(Qt::red)));
    QVERIFY(d.programText("nope").isEmpty());
    QCOMPARE(d.deviceText(4), QStringLiteral("2.5e3")); // untouched by the program key

    DeviceRecord r = d.record();
    QCOMPARE(r.deviceText(2), QStringLiteral("4000000000"));
    QCOMPARE(r.programText("serial_fc"), u8("да"));
    r.setProgramText("timeout", "500");
    d.setRecord(r);
    QCOMPARE(d.programField("timeout")->text(), QStringLiteral("500"));
}

void TestDumpDialog::clearAndResetColours()
{
    DumpDialog d;
    const QColor normal = d.deviceField(0)->palette().color(QPalette::Base);
    d.setDeviceText(5, "1");
    d.setDevicePalette(5, coloured(Qt::green));
    QVERIFY(d.setProgramText("timeout", "3000"));
    QVERIFY(d.setProgramPalette("timeout", coloured(Qt::red)));
    QCOMPARE(d.deviceField(5)->palette().color(QPalette::Base), QColor(Qt::green));

    d.resetColours();
    QCOMPARE(d.deviceField(5)->palette().color(QPalette::Base), normal);
    QCOMPARE(d.programField("timeout")->palette().color(QPalette::Base), normal);
    QCOMPARE(d.deviceText(5), QStringLiteral("1"));

    d.setDevicePalette(5, coloured(Qt::green));
    d.clearAll();
    QCOMPARE(d.record(), DeviceRecord());
    QCOMPARE(d.deviceField(5)->palette().color(QPalette::Base), normal);
}

void TestDumpDialog::sendRefusesIncompleteRecord()
{
    DumpDialog d;
    d.show();
    QSignalSpy send(&d, &DumpDialog::onSendCoefs);
    QTest::mouseClick(d.form()->pbUploadToDevice, Qt::LeftButton);
    QCOMPARE(send.count(), 0);
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QMessageBox *box = openBoxes(d).first();
    QCOMPARE(box->windowTitle(), u8("Ошибка"));
    QVERIFY(box->text().startsWith(u8("Все коэффициенты должны быть заполнены: не заполнено «model_name»")));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    box->accept();

    // One empty row among filled ones is enough to refuse.
    fillDevice(d);
    d.setDeviceText(devicePosition("Kdsp7"), QString());
    QTest::mouseClick(d.form()->pbUploadToDevice, Qt::LeftButton);
    QCOMPARE(send.count(), 0);
    QTRY_COMPARE(openBoxes(d).size(), 1);
    openBoxes(d).first()->accept();
}

void TestDumpDialog::sendRefusalNamesTheField_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("said");
    QTest::newRow("empty coefficient") << "Kdsp7" << "" << u8("Все коэффициенты должны быть заполнены: не заполнено «Kdsp7»");
    QTest::newRow("negative unsigned byte") << "bal_IDAC" << "-3" << u8("значение «-3» у «bal_IDAC»");
    QTest::newRow("signed byte below -128") << "Filter_Size" << "-200" << u8("значение «-200» у «Filter_Size»");
    QTest::newRow("byte beyond 255") << "model_code" << "300" << u8("значение «300» у «model_code»");
    QTest::newRow("not a number") << "a42" << "1,2,3" << u8("значение «1,2,3» у «a42»");
}

void TestDumpDialog::sendRefusalNamesTheField()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, said);
    DumpDialog d;
    d.show();
    fillDevice(d);
    const int at = devicePosition(key);
    d.setDeviceText(at, text);
    QSignalSpy send(&d, &DumpDialog::onSendCoefs);
    QSignalSpy status(&d, &DumpDialog::statusReported);
    QTest::mouseClick(d.form()->pbUploadToDevice, Qt::LeftButton);
    QCOMPARE(send.count(), 0);
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QVERIFY2(openBoxes(d).first()->text().contains(said), qPrintable(openBoxes(d).first()->text()));
    // The row is marked and the refusal stays under the rows.
    QCOMPARE(d.deviceField(at)->palette().color(QPalette::Base), QColor(Qt::red));
    QVERIFY(d.statusLabel()->text().contains(said));
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.first().at(1).toBool(), true);
    openBoxes(d).first()->accept();
}

void TestDumpDialog::sendWithCompleteDeviceRowsOnly()
{
    DumpDialog d;
    const QColor normal = d.deviceField(0)->palette().color(QPalette::Base);
    fillDevice(d);
    // After a failed write some rows are red: pressing again clears them first.
    d.setDevicePalette(7, coloured(Qt::red));
    QSignalSpy send(&d, &DumpDialog::onSendCoefs);
    QTest::mouseClick(d.form()->pbUploadToDevice, Qt::LeftButton);
    QCOMPARE(send.count(), 1); // program rows are not needed
    QCOMPARE(d.deviceField(7)->palette().color(QPalette::Base), normal);
    QVERIFY(openBoxes(d).isEmpty());
}

void TestDumpDialog::buttonsEmitSignals()
{
    DumpDialog d;
    QSignalSpy recv(&d, &DumpDialog::onRecvCoefs);
    QSignalSpy apply(&d, &DumpDialog::onApplySettings);
    QTest::mouseClick(d.form()->pbDownloadFromDevice, Qt::LeftButton);
    QTest::mouseClick(d.form()->pbApplyProgramSettings, Qt::LeftButton);
    QTest::mouseClick(d.form()->pbApplyProgramSettings, Qt::LeftButton);
    QCOMPARE(recv.count(), 1);
    QCOMPARE(apply.count(), 2);
}

void TestDumpDialog::saveThenLoadPartial()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("dump.txt");
    DumpDialog d;
    d.show();
    d.setDeviceText(devicePosition("U10"), "0.5");
    d.setProgramText("serial_speed", "9600");
    QVERIFY(d.saveToPath(path));
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QMessageBox *box = openBoxes(d).first();
    QCOMPARE(box->windowTitle(), u8("Сохранение"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QCOMPARE(box->text(), u8("Конфигурационный файл успешно сохранён по пути: ") + path);
    box->accept();

    DumpDialog other;
    other.setDeviceText(devicePosition("a42"), "7");
    QVERIFY(other.loadFromPath(path));
    QCOMPARE(other.deviceText(devicePosition("U10")), QStringLiteral("0.5"));
    QCOMPARE(other.deviceText(devicePosition("a42")), QStringLiteral("7"));
    QCOMPARE(other.programText("serial_speed"), QStringLiteral("9600"));
    QVERIFY(openBoxes(other).isEmpty());
}

void TestDumpDialog::loadShowsErrorsOneAfterAnother()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.txt");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("serial_nBits:9:x\nserial_sb:3:y\nrep_cnt:4:z\n");
    f.close();

    DumpDialog d;
    d.show();
    QVERIFY(d.loadFromPath(path));
    QCOMPARE(d.programText("rep_cnt"), QStringLiteral("4")); // the load went on
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QCOMPARE(openBoxes(d).first()->text(),
             u8("Ошибка при чтении конфигурационного файла: serial_nBits 9"));
    openBoxes(d).first()->accept();
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QTRY_COMPARE(openBoxes(d).first()->text(),
                 u8("Ошибка при чтении конфигурационного файла: serial_sb 3"));
    openBoxes(d).first()->accept();
    QTRY_VERIFY(openBoxes(d).isEmpty());
}

void TestDumpDialog::saveFailureShowsCritical()
{
    QTemporaryDir dir;
    DumpDialog d;
    d.show();
    d.setDeviceText(4, "1");
    QVERIFY(!d.saveToPath(dir.filePath("missing/dir/x.txt")));
    QTRY_COMPARE(openBoxes(d).size(), 1);
    QMessageBox *box = openBoxes(d).first();
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->text().startsWith(u8("Ошибка при сохранении конфигурационного файла: ")));
    box->accept();
}

void TestDumpDialog::fileWithDeviceRowsOnlyCanBeSent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("device-only.txt");
    DeviceRecord r;
    for (int i = 0; i < DeviceItemCount; ++i)
        r.setDeviceText(i, QString::number(i * 2));
    r.setDeviceText(0, u8("ЛТ3920ДВ"));
    r.setDeviceText(3, u8("атм"));
    QVERIFY(DeviceDataFile::save(path, r, DiagnosticStreams::discard()).ok);

    DumpDialog d;
    d.show();
    QVERIFY(d.loadFromPath(path));
    QSignalSpy send(&d, &DumpDialog::onSendCoefs);
    QTest::mouseClick(d.form()->pbUploadToDevice, Qt::LeftButton);
    QCOMPARE(send.count(), 1);
    QCOMPARE(d.record(), r);
}

QTEST_MAIN(TestDumpDialog)
#include "tst_dumpdialog.moc"
