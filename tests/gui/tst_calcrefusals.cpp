// The calculation's reads against a transmitter that refuses one of them,
// and the sensor cell each kind of virtual transmitter states: over the
// virtual line, as the operator sees it in the window.

// The generated forms are named here so that they are generated for this test.
#include "ui_dialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"
#include "common/pointfilesrig.h"
#include "common/pointrun.h"

#include "device/registermap.h"

#include <QCheckBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using Kind = sim::SensorModel::Kind;
Q_DECLARE_METATYPE(Kind)

class TestCalcRefusals : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void refusedRead_data();
    void refusedRead();
    void statedCell_data();
    void statedCell();

private:
    void runCalculation();
    std::unique_ptr<CalcRig> m_rig;
    QTemporaryDir m_dir;
    QStringList m_questions;
};

void TestCalcRefusals::init()
{
    m_rig.reset(new CalcRig);
    QVERIFY(m_rig->start());
    m_rig->device->setF32(RegisterMap::MaxUpperLimit, 100000);
    m_questions.clear();
    MainWindow *w = m_rig->w.get();
    w->calcDialogs.chooseCalibrationDir = [this] { return m_dir.path(); };
    w->calcDialogs.critical = [this](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
    };
    w->calcDialogs.question = [this](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
        // The files are taken; a cell the boxes disagree with is declined.
        return !text.startsWith(QStringLiteral("Прибор сообщает тип датчика"));
    };
}

void TestCalcRefusals::cleanup()
{
    m_rig.reset();
    QDir dir(m_dir.path());
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

void TestCalcRefusals::runCalculation()
{
    m_rig->w->ui->buttonFindCoefMNK->click();
}

// Each of the three reads refused once: the lock goes, the refusal is said
// naming the read, and the button starts a calculation that runs through.
void TestCalcRefusals::refusedRead_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("goesOn");
    const QColor red(Qt::red), orange(230, 115, 0);
    QTest::newRow("Pmax") << int(RegisterMap::MaxUpperLimit) << 32
                          << QStringLiteral("Расчет невозможен: значение Pmax не прочитано (прибор отказал: код 32 (")
                          << red << false;
    QTest::newRow("serial") << int(RegisterMap::SerialNumber) << 2
                            << QStringLiteral("Заводской номер не прочитан (прибор отказал: код 2 (") << orange << true;
    QTest::newRow("sensor") << int(RegisterMap::MeasureUnit) << 64
                            << QStringLiteral("Тип датчика не прочитан (прибор отказал: код 64 (") << orange << true;
}

void TestCalcRefusals::refusedRead()
{
    QFETCH(int, reg);
    QFETCH(int, code);
    QFETCH(QString, said);
    QFETCH(QColor, colour);
    QFETCH(bool, goesOn);
    QVERIFY(writeTwoGaugePointFiles(m_dir.path(), QStringLiteral("dev")));
    sim::VirtualDevice *d = m_rig->device;
    d->respondToRegisters = {reg};
    d->responseCode = uint8_t(code);
    d->respond.next = 1;

    runCalculation();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->pane()->toPlainText().contains(said), 10000);
    QCOMPARE(colourOfText(m_rig->pane(), said), colour);
    QTRY_VERIFY(!m_rig->w->isBusy());
    QVERIFY(m_rig->w->ui->buttonFindCoefMNK->isEnabled());
    QTRY_COMPARE(m_rig->dialog()->isVisible(), goesOn);
    // The refused read was asked once; the device answered it with nothing.
    QCOMPARE(d->respond.next, 0);

    // The lock released, the button calculates again, through to the dialog.
    m_rig->dialog()->close();
    m_rig->pane()->clear();
    runCalculation();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->dialog()->isVisible(), 10000);
    QVERIFY(!m_rig->pane()->toPlainText().contains(QStringLiteral("отказал")));
}

// Every kind of virtual transmitter states its cell in the high byte of
// 0x00F8, as a unit from the factory does: boxes that disagree are asked
// about, naming the cell; boxes that agree are not, and the report says
// the cell the device stated. A unit that states nothing is never asked.
void TestCalcRefusals::statedCell_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("states");
    QTest::addColumn<bool>("capacitive");   // the boxes
    QTest::addColumn<bool>("oneGauge");
    QTest::addColumn<QString>("cell");      // the cell asked about, empty when not asked
    QTest::addColumn<QString>("reported");  // the report's line, when the calculation runs
    QTest::newRow("two-gauge, boxes agree") << Kind::TwoGauge << true << false << false << QString()
                                            << QStringLiteral("два тензодатчика");
    QTest::newRow("single-gauge, boxes agree") << Kind::SingleGauge << true << false << true << QString()
                                               << QStringLiteral("один тензодатчик");
    QTest::newRow("capacitive-near, boxes agree") << Kind::CapacitiveNear << true << true << false << QString()
                                                  << QStringLiteral("емкостной датчик");
    QTest::newRow("two-gauge, capacitive ticked") << Kind::TwoGauge << true << true << false
                                                  << QStringLiteral("два тензодатчика") << QString();
    QTest::newRow("single-gauge, nothing ticked") << Kind::SingleGauge << true << false << false
                                                  << QStringLiteral("один тензодатчик") << QString();
    QTest::newRow("capacitive-far, 1-тензо ticked") << Kind::CapacitiveFar << true << false << true
                                                    << QStringLiteral("емкостной датчик") << QString();
    QTest::newRow("single-gauge stating nothing, capacitive ticked")
        << Kind::SingleGauge << false << true << false << QString() << QStringLiteral("не сообщает");
}

void TestCalcRefusals::statedCell()
{
    QFETCH(Kind, kind);
    QFETCH(bool, states);
    QFETCH(bool, capacitive);
    QFETCH(bool, oneGauge);
    QFETCH(QString, cell);
    QFETCH(QString, reported);
    sim::VirtualDevice *d = m_rig->device;
    d->setSensor(sim::SensorModel::make(kind, 3));
    const uint16_t word = d->u16(RegisterMap::SensorCode);
    QCOMPARE(word & 0xFF, 1);   // the range code is the unit's own
    if (!states)
        d->setU8(RegisterMap::SensorCode, 0);   // as the device tab writes the type
    // Points as the bench gives them: both chambers for two gauges, the
    // plus chamber for the difference.
    const QVector<pointrun::BenchPoint> points = kind == Kind::TwoGauge
        ? pointrun::differentialRun(100, true)
        : QVector<pointrun::BenchPoint>{{0, 0}, {25, 0}, {50, 0}, {75, 0}, {100, 0}};
    QVERIFY(pointrun::writeRun(m_dir.path(), QStringLiteral("dev"), *d, points, points));
    m_rig->w->ui->checkBoxCapacitor->setChecked(capacitive);
    m_rig->w->ui->cbTenzo1->setChecked(oneGauge);

    runCalculation();
    QTRY_VERIFY_WITH_TIMEOUT(!m_rig->w->isBusy(), 10000);
    QStringList asked;
    for (const QString &q : qAsConst(m_questions))
        if (q.contains(QStringLiteral("Прибор сообщает тип датчика")))
            asked << q;
    if (cell.isEmpty()) {
        QVERIFY2(asked.isEmpty(), qPrintable(asked.join(QLatin1Char('\n'))));
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->dialog()->isVisible(), 10000);
        const QString report = QString::fromUtf8(readAll(m_dir.filePath(QStringLiteral("dev_report.txt"))));
        QVERIFY2(report.contains(QStringLiteral("Тип датчика (сообщает прибор):\t%1\n").arg(reported)),
                 qPrintable(report));
        return;
    }
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().startsWith(QStringLiteral("Подтверждение|Прибор сообщает тип датчика «%1»").arg(cell)),
             qPrintable(asked.first()));
    // Declined: nothing calculated, and the window says why.
    QVERIFY(m_rig->w->ui->statusBar->currentMessage().startsWith(
        QStringLiteral("Расчет отменен: прибор сообщает тип датчика «%1»").arg(cell)));
    QVERIFY(!m_rig->dialog()->isVisible());
}

QTEST_MAIN(TestCalcRefusals)
#include "tst_calcrefusals.moc"
