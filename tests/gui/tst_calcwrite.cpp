// Writes to a transmitter over the virtual line and what the history keeps
// of them: every write opens with the serial read at the address it writes,
// and is recorded with that address and number; a write whose serial read
// fails sends nothing; a coefficient block the device does not take is
// named and its fields turn red.

// The generated forms are named here so that they are generated for this test.
#include "ui_dialog.h"
#include "ui_dumpdialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"
#include "common/sandbox.h"

#include "app/operationprogress.h"
#include "device/registermap.h"
#include "devicedata/dumpdialog.h"
#include "history/historyrecorder.h"

#include <QAbstractButton>
#include <QStatusBar>
#include <QtTest>

using namespace RegisterMap;

namespace {

// The dialog's fields in the order of its five blocks.
QList<QLineEdit *> blockFields(Ui::Dialog *f, int block)
{
    const QList<QList<QLineEdit *>> blocks = {
        {f->lineEditCoefUk1h, f->lineEditCoefUk2h, f->lineEditCoefU10, f->lineEditCoefU20},
        {f->lineEditCoefA42, f->lineEditCoefA41, f->lineEditCoefA40},
        {f->lineEditCoefB42, f->lineEditCoefB41, f->lineEditCoefB40},
        {f->lineEditCoefC42, f->lineEditCoefC41, f->lineEditCoefC40},
        {f->lineEditCoefC43}};
    return blocks.at(block);
}

const uint16_t kBlockRegisters[5] = {Uk1h, A42, B42, C42, C43};

CalibrationCoefficients someCoefficients()
{
    CalibrationCoefficients v;
    v.Uk1h = 41000;
    v.Uk2h = 21000;
    v.U10 = 2100;
    v.U20 = 1100;
    v.a = {1.5e-9f, -2.5e-3f, 12.25f};
    v.b = {-3e-12f, 4e-6f, 0.875f};
    v.c = {5e-12f, 6e-6f, 0.75f};
    v.c43 = 2e-15f;
    return v;
}

int writesSeen(const sim::VirtualDevice *d)
{
    return int(std::count_if(d->commandsSeen.begin(), d->commandsSeen.end(),
                             [](const QByteArray &c) { return uint8_t(c.at(0)) == CmdWriteRegisters; }));
}

} // namespace

class TestCalcWrite : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void recordsTheDeviceWritten_data();
    void recordsTheDeviceWritten();
    void serialReadFails_data();
    void serialReadFails();
    void refusedBlock_data();
    void refusedBlock();

private:
    // Starts the write the row names on the selected address; the device
    // data dialog is read first, as a write needs its rows.
    void startWrite(const QString &what, const std::function<void()> &beforePress = {});

    Sandbox m_box;
    std::unique_ptr<CalcRig> m_rig;
    sim::VirtualDevice *m_second = nullptr;
    HistoryConfig m_history;
    QVector<HistoryRecord> m_events;    // as the window recorded them
};

void TestCalcWrite::init()
{
    QVERIFY(m_box.enter());
    m_rig.reset(new CalcRig);
    QVERIFY(m_rig->start());
    m_second = m_rig->line.addDevice(2);
    m_history.sqlitePath = m_box.filePath(QStringLiteral("h.sqlite"));
    m_rig->w->history()->setConfig(m_history);
    m_events.clear();
    connect(m_rig->w->history(), &HistoryRecorder::recorded, this,
            [this](const HistoryRecord &r) { m_events << r; });
}

void TestCalcWrite::cleanup()
{
    m_rig.reset();
    m_box.leave();
}

void TestCalcWrite::startWrite(const QString &what, const std::function<void()> &beforePress)
{
    MainWindow *w = m_rig->w.get();
    QAbstractButton *press = m_rig->form()->buttonDownLoad2Device;
    if (what == QStringLiteral("Данные устройства")) {
        w->onDeviceMemoryDump();
        OperationProgress *progress = w->operationProgress();
        w->deviceDataDialog()->form()->pbDownloadFromDevice->click();
        QTRY_VERIFY_WITH_TIMEOUT(progress->state() == OperationProgress::State::Finished && progress->kind() == 51,
                                 15000);
        press = w->deviceDataDialog()->form()->pbUploadToDevice;
    } else if (what == QStringLiteral("Файл параметров")) {
        const QString path = m_box.filePath(QStringLiteral("record.txt"));
        QVERIFY(writeWholeRecordFile(path));
        QVERIFY(m_rig->dialog()->readFromPath(path));
        QVERIFY(w->deviceOps.recordLoaded());
        w->showParametersWindow();
    } else {
        m_rig->dialog()->setValues(someCoefficients());
        w->showParametersWindow();
    }
    if (beforePress)
        beforePress();
    press->click();
}

// The serial field read at 01, the address switched to 02, then the write:
// the event names 02 and the number read from 02 just before, whatever
// the field says (a parameters file even writes another number).
void TestCalcWrite::recordsTheDeviceWritten_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("blocks");
    QTest::newRow("coefficients") << QStringLiteral("Коэффициенты расчета") << 5;
    QTest::newRow("parameters file") << QStringLiteral("Файл параметров") << 9;
    QTest::newRow("device data") << QStringLiteral("Данные устройства") << 12;
}

void TestCalcWrite::recordsTheDeviceWritten()
{
    QFETCH(QString, what);
    QFETCH(int, blocks);
    MainWindow *w = m_rig->w.get();
    w->ui->pbGetSerial->click();
    QTRY_COMPARE(w->ui->leGetSerial->text(), QStringLiteral("3920101"));
    w->ui->comboBoxMainAddr->setCurrentIndex(2);
    m_rig->line.clearRequests();

    startWrite(what);
    QTRY_VERIFY_WITH_TIMEOUT(m_events.size() == 1, 40000);
    const HistoryRecord r = m_events.first();
    QCOMPARE(r.write.what, what);
    QCOMPARE(r.write.address, 2);
    QCOMPARE(r.device().serial, QStringLiteral("3920102"));
    QCOMPARE(r.write.writtenCount, blocks);
    QVERIFY(r.ok());
    QCOMPARE(writesSeen(m_rig->device), 0);
    QCOMPARE(writesSeen(m_second), blocks);
    // On the wire, just before the first write to 02: the serial read at
    // 02 with the window's preamble (three bytes here), short frame,
    // command 51, 0x003A, 4 bytes.
    const QList<QByteArray> wire = m_rig->line.requests();
    int firstWrite = 0;
    while (firstWrite < wire.size() && !wire.at(firstWrite).contains(QByteArray::fromHex("02025b")))
        ++firstWrite;
    QVERIFY(firstWrite > 0 && firstWrite < wire.size());
    QCOMPARE(wire.at(firstWrite - 1).toHex(' '), QByteArray("ff ff ff 02 02 33 03 00 3a 04 0e"));
    QVERIFY(m_rig->pane()->toPlainText().contains(QStringLiteral("по адресу 02, заводской № 3920102"))
            || w->ui->textEditStatusSettingsDevice->toPlainText().contains(
                QStringLiteral("по адресу 02, заводской № 3920102")));
}

// The serial read refused, unanswered or damaged: nothing is written, the
// refusal says why and what to do, the lock goes, and no write is recorded.
void TestCalcWrite::serialReadFails_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("why");
    for (const QString &what : {QStringLiteral("Коэффициенты расчета"), QStringLiteral("Данные устройства")}) {
        const QByteArray name = what.toUtf8();
        QTest::newRow(name + ", refused") << what << "refused" << QStringLiteral("прибор отказал: код 32 (");
        QTest::newRow(name + ", silent") << what << "silent" << QStringLiteral("прибор не ответил");
        QTest::newRow(name + ", damaged") << what << "damaged" << QStringLiteral("ответ прибора искажен");
    }
}

void TestCalcWrite::serialReadFails()
{
    QFETCH(QString, what);
    QFETCH(QString, fault);
    QFETCH(QString, why);
    sim::VirtualDevice *d = m_rig->device;
    const QByteArray before = d->memory();
    // Armed just before the press: the device data dialog reads its rows
    // first, and the serial read is the next request.
    startWrite(what, [d, fault] {
        if (fault == QLatin1String("refused")) {
            d->respondToRegisters = {SerialNumber};
            d->responseCode = 32;
            d->respond.next = 1;
        } else if (fault == QLatin1String("silent")) {
            d->silentFor = 1;
        } else {
            d->corruptNextChecksum = true;
        }
    });
    const QString said = QStringLiteral("Запись «%1» в прибор не выполнена: заводской номер прибора по адресу 01 не "
                                        "прочитан (%2").arg(what, why);
    QTRY_VERIFY2_WITH_TIMEOUT(m_rig->w->statusBar()->currentMessage().startsWith(said),
                              qPrintable(m_rig->w->statusBar()->currentMessage()), 10000);
    QVERIFY(m_rig->w->statusBar()->currentMessage().contains(QStringLiteral("проверьте связь и адрес и повторите")));
    QTRY_VERIFY(!m_rig->w->isBusy());
    QVERIFY(!m_rig->w->hartLink()->isQueueRunning() && !m_rig->w->hartLink()->isBusy());
    QCOMPARE(writesSeen(d), 0);
    QCOMPARE(d->memory(), before);
    QVERIFY(m_events.isEmpty());
}

// One of the five coefficient blocks refused: its fields red, the rest
// not; the block named in the pane and in the event; the others written.
void TestCalcWrite::refusedBlock_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("name");
    const char *names[5] = {"Uk1h, Uk2h, U10, U20", "a42, a41, a40", "b42, b41, b40", "c42, c41, c40", "c43"};
    for (int b = 0; b < 5; ++b)
        QTest::newRow(names[b]) << b << QString::fromLatin1(names[b]);
}

void TestCalcWrite::refusedBlock()
{
    QFETCH(int, block);
    QFETCH(QString, name);
    sim::VirtualDevice *d = m_rig->device;
    const float untouched = d->f32(kBlockRegisters[block]);
    d->respondToRegisters = {kBlockRegisters[block]};
    d->responseCode = 7;
    d->respond.next = 1;

    startWrite(QStringLiteral("Коэффициенты расчета"));
    QTRY_VERIFY_WITH_TIMEOUT(m_events.size() == 1, 20000);
    const QString said = QStringLiteral("Блок «%1» не записан: прибор отказал: код 7 (").arg(name);
    QVERIFY2(m_rig->pane()->toPlainText().contains(said), qPrintable(m_rig->pane()->toPlainText()));
    QCOMPARE(colourOfText(m_rig->pane(), said), QColor(Qt::red));
    QVERIFY(m_rig->dialog()->isVisible());
    const CalibrationCoefficients v = someCoefficients();
    const float sent[5] = {v.Uk1h, v.a[0], v.b[0], v.c[0], v.c43};
    for (int b = 0; b < 5; ++b) {
        for (QLineEdit *f : blockFields(m_rig->form(), b))
            QCOMPARE(f->palette().color(QPalette::Base) == QColor(Qt::red), b == block);
        QCOMPARE(d->f32(kBlockRegisters[b]), b == block ? untouched : sent[b]);
    }
    QCOMPARE(writesSeen(d), 4);

    const HistoryRecord r = m_events.first();
    QCOMPARE(r.write.blocks.size(), 5);
    QCOMPARE(r.write.refusedBlocks, QStringList{name});
    QCOMPARE(r.write.writtenCount, 4);
    QVERIFY(!r.ok());
}

QTEST_MAIN(TestCalcWrite)
#include "tst_calcwrite.moc"
