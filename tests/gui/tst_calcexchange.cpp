// The calculation tab's exchanges with a transmitter over the virtual line.
// Reads: one the device refuses is said and frees the window; the cell each
// kind of virtual transmitter states is asked about. Writes: each opens with
// the serial read at the address it writes and is recorded with that address
// and number; one whose serial read fails sends nothing; a coefficient block
// the device does not take is named and its fields turn red.

// The generated forms are named here so that they are generated for this test.
#include "ui_dialog.h"
#include "ui_dumpdialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"
#include "common/pointfilesrig.h"
#include "common/pointrun.h"
#include "common/sandbox.h"

#include "app/operationprogress.h"
#include "device/registermap.h"
#include "devicedata/dumpdialog.h"
#include "history/historyrecorder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QStatusBar>
#include <QtTest>

using namespace RegisterMap;
using Kind = sim::SensorModel::Kind;
Q_DECLARE_METATYPE(Kind)

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
    v.Uk1h = 41000, v.Uk2h = 21000, v.U10 = 2100, v.U20 = 1100, v.c43 = 2e-15f;
    v.a = {1.5e-9f, -2.5e-3f, 12.25f}, v.b = {-3e-12f, 4e-6f, 0.875f}, v.c = {5e-12f, 6e-6f, 0.75f};
    return v;
}

int writesSeen(const sim::VirtualDevice *d)
{
    return int(std::count_if(d->commandsSeen.begin(), d->commandsSeen.end(),
                             [](const QByteArray &c) { return uint8_t(c.at(0)) == CmdWriteRegisters; }));
}

} // namespace

class TestCalcExchange : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void refusedRead_data();
    void refusedRead();
    void statedCell_data();
    void statedCell();
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
    QStringList m_questions;            // as the calculation asked them
};

void TestCalcExchange::init()
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
    m_rig->device->setF32(MaxUpperLimit, 100000);
    m_questions.clear();
    MainWindow::CalcDialogs &asks = m_rig->w->calcDialogs;
    asks.chooseCalibrationDir = [this] { return m_box.path(); };
    // The files are taken; a cell the boxes disagree with is declined.
    asks.question = [this](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
        return !text.startsWith(QStringLiteral("Прибор сообщает тип датчика"));
    };
}

void TestCalcExchange::cleanup()
{
    m_rig.reset();
    m_box.leave();
}

void TestCalcExchange::startWrite(const QString &what, const std::function<void()> &beforePress)
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

// Each of the three reads refused once: the lock goes, the refusal is said
// naming the read, and the button starts a calculation that runs through.
void TestCalcExchange::refusedRead_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("goesOn");   // else red, and no result
    QTest::newRow("Pmax") << int(MaxUpperLimit) << 32
                          << QStringLiteral("Расчет невозможен: значение Pmax не прочитано (прибор отказал: код 32 (")
                          << false;
    QTest::newRow("serial") << int(SerialNumber) << 2
                            << QStringLiteral("Заводской номер не прочитан (прибор отказал: код 2 (") << true;
    QTest::newRow("sensor") << int(MeasureUnit) << 64
                            << QStringLiteral("Тип датчика не прочитан (прибор отказал: код 64 (") << true;
}

void TestCalcExchange::refusedRead()
{
    QFETCH(int, reg);
    QFETCH(int, code);
    QFETCH(QString, said);
    QFETCH(bool, goesOn);
    QVERIFY(writeTwoGaugePointFiles(m_box.path(), QStringLiteral("dev")));
    sim::VirtualDevice *d = m_rig->device;
    d->respondToRegisters = {reg};
    d->responseCode = uint8_t(code);
    d->respond.next = 1;

    m_rig->w->ui->buttonFindCoefMNK->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->pane()->toPlainText().contains(said), 10000);
    QCOMPARE(colourOfText(m_rig->pane(), said), goesOn ? QColor(230, 115, 0) : QColor(Qt::red));
    QTRY_VERIFY(!m_rig->w->isBusy());
    QVERIFY(m_rig->w->ui->buttonFindCoefMNK->isEnabled());
    QTRY_COMPARE(m_rig->dialog()->isVisible(), goesOn);

    // The lock released, the button calculates again, through to the dialog.
    m_rig->dialog()->close();
    m_rig->pane()->clear();
    m_rig->w->ui->buttonFindCoefMNK->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->dialog()->isVisible(), 10000);
    QVERIFY(!m_rig->pane()->toPlainText().contains(QStringLiteral("отказал")));
}

// Every kind of virtual transmitter states its cell in the high byte of
// 0x00F8, as a unit from the factory does: boxes that disagree are asked
// about, naming the cell; boxes that agree are not, and the report names
// the cell. A unit that states nothing is never asked.
void TestCalcExchange::statedCell_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("states");
    QTest::addColumn<bool>("capacitive");   // the boxes
    QTest::addColumn<bool>("oneGauge");
    QTest::addColumn<QString>("cell");      // the report's, or the one asked about
    QTest::addColumn<bool>("asked");
    QTest::newRow("two-gauge, boxes agree") << Kind::TwoGauge << true << false << false
                                            << QStringLiteral("два тензодатчика") << false;
    QTest::newRow("capacitive-near, boxes agree") << Kind::CapacitiveNear << true << true << false
                                                  << QStringLiteral("емкостной датчик") << false;
    QTest::newRow("two-gauge, capacitive ticked") << Kind::TwoGauge << true << true << false
                                                  << QStringLiteral("два тензодатчика") << true;
    QTest::newRow("single-gauge, nothing ticked") << Kind::SingleGauge << true << false << false
                                                  << QStringLiteral("один тензодатчик") << true;
    QTest::newRow("capacitive-far, 1-тензо ticked") << Kind::CapacitiveFar << true << false << true
                                                    << QStringLiteral("емкостной датчик") << true;
    QTest::newRow("single-gauge stating nothing, capacitive ticked")
        << Kind::SingleGauge << false << true << false << QStringLiteral("не сообщает") << false;
}

void TestCalcExchange::statedCell()
{
    QFETCH(Kind, kind);
    QFETCH(bool, states);
    QFETCH(bool, capacitive);
    QFETCH(bool, oneGauge);
    QFETCH(QString, cell);
    QFETCH(bool, asked);
    sim::VirtualDevice *d = m_rig->device;
    d->setSensor(sim::SensorModel::make(kind, 3));
    QCOMPARE(d->u16(SensorCode) & 0xFF, 1);   // the range code is the unit's own
    if (!states)
        d->setU8(SensorCode, 0);              // as the device tab writes the type
    // Both chambers for two gauges, the plus chamber for the difference.
    const QVector<pointrun::BenchPoint> points = kind == Kind::TwoGauge
        ? pointrun::differentialRun(100, true)
        : QVector<pointrun::BenchPoint>{{0, 0}, {25, 0}, {50, 0}, {75, 0}, {100, 0}};
    QVERIFY(pointrun::writeRun(m_box.path(), QStringLiteral("dev"), *d, points, points));
    m_rig->w->ui->checkBoxCapacitor->setChecked(capacitive);
    m_rig->w->ui->cbTenzo1->setChecked(oneGauge);

    m_rig->w->ui->buttonFindCoefMNK->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_rig->w->isBusy(), 10000);
    const QStringList questions = m_questions.filter(QStringLiteral("Прибор сообщает тип датчика"));
    if (!asked) {
        QVERIFY2(questions.isEmpty(), qPrintable(questions.join(QLatin1Char('\n'))));
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->dialog()->isVisible(), 10000);
        const QString report = QString::fromUtf8(readAll(m_box.filePath(QStringLiteral("dev_report.txt"))));
        QVERIFY2(report.contains(QStringLiteral("Тип датчика (сообщает прибор):\t%1\n").arg(cell)), qPrintable(report));
        return;
    }
    QCOMPARE(questions.size(), 1);
    QVERIFY2(questions.first().startsWith(QStringLiteral("Подтверждение|Прибор сообщает тип датчика «%1»").arg(cell)),
             qPrintable(questions.first()));
    // Declined: nothing calculated, and the window says why.
    QVERIFY(m_rig->w->ui->statusBar->currentMessage().startsWith(
        QStringLiteral("Расчет отменен: прибор сообщает тип датчика «%1»").arg(cell)));
    QVERIFY(!m_rig->dialog()->isVisible());
}

// The serial field read at 01, the address switched to 02, then the write:
// the event names 02 and the number read from 02 just before, whatever
// the field says (a parameters file even writes another number).
void TestCalcExchange::recordsTheDeviceWritten_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("blocks");
    QTest::newRow("coefficients") << QStringLiteral("Коэффициенты расчета") << 5;
    QTest::newRow("parameters file") << QStringLiteral("Файл параметров") << 9;
    QTest::newRow("device data") << QStringLiteral("Данные устройства") << 12;
}

void TestCalcExchange::recordsTheDeviceWritten()
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
void TestCalcExchange::serialReadFails_data()
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

void TestCalcExchange::serialReadFails()
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
void TestCalcExchange::refusedBlock_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("name");
    const char *names[5] = {"Uk1h, Uk2h, U10, U20", "a42, a41, a40", "b42, b41, b40", "c42, c41, c40", "c43"};
    for (int b = 0; b < 5; ++b)
        QTest::newRow(names[b]) << b << QString::fromLatin1(names[b]);
}

void TestCalcExchange::refusedBlock()
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

QTEST_MAIN(TestCalcExchange)
#include "tst_calcexchange.moc"
