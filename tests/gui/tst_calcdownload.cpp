// Writing the parameters dialog to the transmitter: its own five blocks, or
// the nine blocks of a record loaded from a parameters file, each confirmed
// in the calibration pane. Separate from the other calculation tests because
// these writes are paced at a fixed 1.5 s.

// The generated forms are named here so that they are generated for this test.
#include "ui_dialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"

#include "device/registermap.h"

#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace RegisterMap;

class TestCalcDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fieldsWriteFiveBlocks();
    void loadedRecordWrittenOnEveryPress();
    void closedPortSendsNothing();

private:
    std::unique_ptr<CalcRig> m_rig;
    QTemporaryDir m_dir;
};

void TestCalcDownload::init()
{
    m_rig.reset(new CalcRig);
    QVERIFY(m_rig->start());
}

void TestCalcDownload::cleanup()
{
    m_rig.reset();
}

void TestCalcDownload::fieldsWriteFiveBlocks()
{
    sim::VirtualDevice *d = m_rig->device;
    const float pmaxBefore = d->f32(MaxUpperLimit);
    CalibrationCoefficients v;
    v.Pmax = 123456;
    v.Uk1h = 41000;
    v.Uk2h = 21000;
    v.U10 = 2100;
    v.U20 = 1100;
    v.a = {1.5e-9f, -2.5e-3f, 12.25f};
    v.b = {-3e-12f, 4e-6f, 0.875f};
    v.c = {5e-12f, 6e-6f, 0.75f};
    v.c43 = 0;
    m_rig->dialog()->setValues(v);
    // Text that is no number, "nan" included, is refused: nothing goes to
    // the device, the field turns red and the dialog stays open.
    m_rig->form()->lineEditCoefC43->setText(QStringLiteral("nan"));
    m_rig->w->showParametersWindow();
    d->setF32(C43, 99);
    m_rig->form()->buttonDownLoad2Device->click();
    QVERIFY(m_rig->dialog()->isVisible());
    QCOMPARE(m_rig->form()->lineEditCoefC43->palette().color(QPalette::Base), QColor(Qt::red));
    QVERIFY(m_rig->w->statusBar()->currentMessage().startsWith(
        QStringLiteral("Запись в прибор не выполнена: «c43»: «nan» — не число")));
    QVERIFY(!m_rig->w->isBusy());
    QTest::qWait(100);
    QVERIFY(d->commandsSeen.isEmpty());
    if (auto *box = m_rig->dialog()->findChild<QMessageBox *>())
        box->close();

    // A decimal comma is a number like any other.
    m_rig->form()->lineEditCoefC43->setText(QStringLiteral("0,0"));
    m_rig->form()->buttonDownLoad2Device->click();
    QVERIFY(!m_rig->dialog()->isVisible());
    const QString last = QStringLiteral("Записан коэффициент C43\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->pane()->toPlainText().contains(last), 15000);

    QCOMPARE(d->f32(Uk1h), 41000.0f);
    QCOMPARE(d->f32(RegisterMap::Uk2h), 21000.0f);
    QCOMPARE(d->f32(RegisterMap::U10), 2100.0f);
    QCOMPARE(d->f32(RegisterMap::U20), 1100.0f);
    QCOMPARE(d->f32(A42), 1.5e-9f);
    QCOMPARE(d->f32(A41), -2.5e-3f);
    QCOMPARE(d->f32(A40), 12.25f);
    QCOMPARE(d->f32(B42), -3e-12f);
    QCOMPARE(d->f32(B40), 0.875f);
    QCOMPARE(d->f32(C42), 5e-12f);
    QCOMPARE(d->f32(C40), 0.75f);
    QCOMPARE(d->f32(C43), 0.0f);
    // Pmax is the device's own; the value after A40 (bal_dP) is not touched.
    QCOMPARE(d->f32(MaxUpperLimit), pmaxBefore);
    // The serial number read first, from the address written.
    QCOMPARE(d->commandsSeen.size(), 1 + 5);
    QCOMPARE(d->commandsSeen.first().toHex(), QByteArray("33003a04"));
    QCOMPARE(d->commandsSeen.at(2).size(), 1 + 2 + 12);

    const QString text = m_rig->pane()->toPlainText();
    // The "А" of the second line is Cyrillic, the B and C of the others Latin.
    QVERIFY(text.endsWith(QString::fromUtf8("\nЗаписаны коэффициенты калибровки\nЗаписаны коэффициенты \xD0\x90\n"
                                            "Записаны коэффициенты B\nЗаписаны коэффициенты C\n") + last));
    QTRY_VERIFY(!m_rig->w->isBusy());
}

void TestCalcDownload::loadedRecordWrittenOnEveryPress()
{
    const QString path = m_dir.filePath(QStringLiteral("record.txt"));
    QVERIFY(writeWholeRecordFile(path));
    m_rig->w->showParametersWindow();
    QVERIFY(m_rig->dialog()->readFromPath(path));
    QVERIFY(m_rig->w->deviceOps.recordLoaded());

    const char *const messages[] = {
        "Записаны баланс токового выхода и режим работы по току\n", "Записано Pmax\n",
        "Записаны Uk1h, Uk2h, U10, U20\n", "Записаны a42..40, balance_dP\n", "Записаны имя и код модели\n",
        "Записаны b42..40, c42..40\n", "Записаны коэффициент коррекции токового выхода, kdsp0..5\n",
        "Записаны kdsp6..10\n", "Записан серийный номер\n"};

    sim::VirtualDevice *d = m_rig->device;
    for (int press = 1; press <= 2; ++press) {
        d->setF32(MaxUpperLimit, 0);
        d->setU32(SerialNumber, 0);
        d->setF32(kdsp(10), 0);
        m_rig->form()->buttonDownLoad2Device->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->pane()->toPlainText().count(QString::fromUtf8(messages[8])) == press,
                                 20000);
        QTRY_VERIFY(!m_rig->w->isBusy());
        // The dialog stays open for the whole write.
        QVERIFY(m_rig->dialog()->isVisible());

        QCOMPARE(d->u8(CurrentZeroBalance), uint8_t(131));
        QCOMPARE(d->u8(uint16_t(CurrentZeroBalance + 1)), uint8_t(0));
        QCOMPARE(d->u8(CurrentLoopMode), uint8_t(1));
        QCOMPARE(d->f32(MaxUpperLimit), 160000.0f);
        QCOMPARE(d->f32(Uk1h), 40000.0f);
        QCOMPARE(d->f32(RegisterMap::U20), 1000.0f);
        QCOMPARE(d->f32(A40), -100.0f);
        QCOMPARE(d->f32(PressureZeroBalance), 3.5f);
        QCOMPARE(d->u32(DeviceType), 0x00040006u);
        QCOMPARE(d->f32(B40), 0.9f);
        QCOMPARE(d->f32(C40), 0.8f);
        QCOMPARE(d->f32(CurrentCorrection), 1.01f);
        QCOMPARE(d->f32(kdsp(5)), 2.25f);
        QCOMPARE(d->f32(kdsp(10)), 3.5f);
        QCOMPARE(d->f32(C43), 3e-15f);
        QCOMPARE(d->u32(SerialNumber), 123456789u);
        QCOMPARE(d->commandsSeen.size(), (1 + 9) * press);   // the serial read, then the nine blocks

        const QString text = m_rig->pane()->toPlainText();
        for (const char *m : messages)
            QCOMPARE(text.count(QString::fromUtf8(m)), press);
        QCOMPARE(colourOfText(m_rig->pane(), QString::fromUtf8(messages[0])), QColor(7, 158, 0));
    }
}

void TestCalcDownload::closedPortSendsNothing()
{
    m_rig->w->ui->buttonClosePort->click();
    m_rig->form()->buttonDownLoad2Device->click();
    m_rig->form()->buttonUploadFromDevice->click();
    QVERIFY(!m_rig->w->isBusy());
    QCOMPARE(m_rig->w->ui->textEditStatusCalibration->toPlainText().count(QStringLiteral("Порт не открыт!!\n")), 2);
    QTest::qWait(50);
    QVERIFY(m_rig->device->commandsSeen.isEmpty());
}

QTEST_MAIN(TestCalcDownload)
#include "tst_calcdownload.moc"
