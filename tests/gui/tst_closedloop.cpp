// A whole calibration driven through the window as an engineer does it, on
// the virtual bench: save directories, then at three temperatures five
// pressures from 0 to Pmax, each set on the bench, taken as the reference,
// averaged over a cyclic poll and added as a point; then the coefficients
// computed from the point files, confirmed, written to the transmitter from
// the parameters dialog, and the pressure read back over the whole grid.
//
// The transmitter is the simulated one with sensor physics: its readings
// drift with temperature, bow with pressure and carry noise, and it computes
// its pressure register from whatever coefficients it holds. So the
// read-back errors are the calibration's own, end to end.

#include "app/mainwindow.h"
#include "ui_dialog.h"
#include "ui_mainwindow.h"

#include "calc/dialog.h"
#include "calc/parametervector.h"
#include "device/registermap.h"
#include "link/protocolcomhart.h"
#include "sim/compensation.h"
#include "sim/sensormodel.h"
#include "sim/virtualline.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

using Kind = sim::SensorModel::Kind;

constexpr int Address = 1;
constexpr double PointFractions[] = {0, 0.25, 0.5, 0.75, 1};   // of Pmax
constexpr int AnswersPerPoint = 10;

struct Temperature
{
    const char *name;
    double celsius;
};
constexpr Temperature CalTemperatures[] = {{"Tmin", -40.0}, {"Tmid", 23.0}, {"Tmax", 80.0}};
constexpr Temperature BetweenTemperatures[] = {{"", -10.0}, {"", 50.0}};

// What the calibration must reach, in % of Pmax.
constexpr double TargetAtCal = 0.05;
constexpr double TargetBetween = 0.1;

struct Reading
{
    double temperature, applied, read, errorPercent;
};

double worst(const QVector<Reading> &readings)
{
    double w = 0;
    for (const Reading &r : readings)
        w = std::max(w, r.errorPercent);
    return w;
}

QList<QByteArray> lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> out = f.readAll().split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

} // namespace

Q_DECLARE_METATYPE(sim::SensorModel::Kind)

class TestClosedLoop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stopReturnsToIdle_data();
    void stopReturnsToIdle();
    void calibrateAndReadBack_data();
    void calibrateAndReadBack();

private:
    bool waitIdle(int ms = 5000);
    // rangeKPa: the sensor's Pmax; below 10 kPa the references are set in Pa.
    void connectAndUnlock(Kind kind, double rangeKPa = 100);
    void chooseSaveDirectory();
    void capturePoint(double pKPa, double pMinusKPa);
    void calculate(bool *shown);
    void download();
    // The pressure the transmitter reports at a bench pressure on the plus
    // chamber only; NaN when no answer came.
    double readBack(double pKPa, double temperature);
    QVector<Reading> readGrid(const Temperature *temps, int count);

    std::unique_ptr<sim::VirtualLine> m_line;
    std::unique_ptr<MainWindow> m_w;
    sim::VirtualDevice *m_device = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    double m_rangeKPa = 100;
    double m_unitKPa = 1;           // kPa per step of the reference spin boxes
    QVector<double> m_pressuresKPa; // the calibration points, as the spin boxes can set them
    QStringList m_criticals;
    QStringList m_questions;
};

void TestClosedLoop::init()
{
    m_line.reset(new sim::VirtualLine);
    QVERIFY(m_line->open());
    // Instant line: the test is paced by the link's period alone.
    m_line->setBaud(0);
    m_device = m_line->addDevice(Address);
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_criticals.clear();
    m_questions.clear();
}

void TestClosedLoop::cleanup()
{
    m_w.reset();
    m_line.reset();
    m_dir.reset();
}

bool TestClosedLoop::waitIdle(int ms)
{
    protocolComHart *link = m_w->hartLink();
    return QTest::qWaitFor([&] { return !link->isBusy() && !link->isQueueRunning() && !m_w->isBusy(); }, ms);
}

void TestClosedLoop::connectAndUnlock(Kind kind, double rangeKPa)
{
    sim::SensorModel sensor = sim::SensorModel::make(kind, 1);
    QVERIFY(sensor.setRatedPmaxPa(float(rangeKPa * 1000)));
    m_device->setSensor(sensor);
    m_rangeKPa = rangeKPa;
    m_unitKPa = rangeKPa < 10 ? 0.001 : 1;
    m_pressuresKPa.clear();
    for (double f : PointFractions)
        m_pressuresKPa << std::round(rangeKPa * f / m_unitKPa) * m_unitKPa;

    m_w.reset(new MainWindow);
    Ui::MainWindow *ui = m_w->ui;
    ui->comboBoxNamePort->setEditText(m_line->portName());
    ui->buttonConnectPort->click();
    QVERIFY(m_w->hartLink()->isPortOpen());
    ui->lineEditPassword->setText(QStringLiteral("7391"));
    QVERIFY(!m_w->interfaceLocked);

    // The spin boxes stop at 300 ms; a real line needs that, the instant
    // virtual one does not.
    m_w->pollPeriod = 20;
    m_w->pollTimeout = 500;
    m_w->pollRepeats = 2;

    m_w->pollingDialogs.critical = [this](const QString &t) { m_criticals << t; };
    m_w->calcDialogs.critical = [this](const QString &title, const QString &t) {
        m_criticals << title + QLatin1Char('|') + t;
    };

    // The device on the calibration tab, and its sensor type there.
    ui->tabWidget->setCurrentWidget(ui->tabCalibration);
    ui->comboBoxMainAddr->setCurrentIndex(Address);
    QCOMPARE(ui->comboBoxMainAddr->currentText(), QStringLiteral("01"));
    const bool capacitive = kind == Kind::CapacitiveNear || kind == Kind::CapacitiveFar;
    ui->checkBoxCapacitor->setChecked(capacitive);
    ui->cbTenzo1->setChecked(kind == Kind::SingleGauge);

    // The polling tab: one channel on the device, pressures in kPa, a table
    // that clears itself.
    ui->tabWidget->setCurrentWidget(ui->tabFunction3);
    m_w->pollChannels[0].enable->setChecked(true);
    m_w->pollChannels[0].address->setCurrentIndex(Address);
    ui->cbMU4var->setCurrentIndex(m_unitKPa < 1 ? 0 : 1);
    QCOMPARE(ui->cbMU4var->currentText(), m_unitKPa < 1 ? QStringLiteral("Па") : QStringLiteral("кПа"));
    ui->checkBoxClear->setChecked(true);
    // Both chambers of a two-gauge sensor get the same pressure.
    ui->checkBoxSamePressue->setChecked(kind == Kind::TwoGauge);
    ui->spinBoxPressueNeg->setValue(0);
}

void TestClosedLoop::chooseSaveDirectory()
{
    const QString base = m_dir->path();
    m_w->pollingDialogs.chooseSaveDir = [base](QString *baseDir, QString *file) {
        *baseDir = base;
        *file = base + QStringLiteral("/dev");
        return true;
    };
    int confirms = 0;
    m_w->pollingDialogs.confirmSaveDirs = [&confirms](const QString &, bool someDirExists) {
        ++confirms;
        return someDirExists ? 2 : 1;   // "Перезаписать" or "Ок"
    };
    m_w->ui->pbChooseSaveDir->click();
    QCOMPARE(confirms, 1);
    QCOMPARE(m_w->ui->lbSaveFilesReady->text(), QStringLiteral("✔"));
    QVERIFY(QDir(base + QStringLiteral("/dev_01")).exists());
}

// One calibration point at the bench as it stands: reference pressures,
// averaging over a cyclic poll that stops after AnswersPerPoint answers, and
// the point added to the point file.
void TestClosedLoop::capturePoint(double pKPa, double pMinusKPa)
{
    Ui::MainWindow *ui = m_w->ui;
    ui->spinBoxPressuePos->setValue(qRound(pKPa / m_unitKPa));
    QCOMPARE(ui->spinBoxPressueNeg->value(), qRound(pMinusKPa / m_unitKPa));

    QVERIFY(ui->buttonSetPressue->isEnabled());
    ui->buttonSetPressue->click();
    QVERIFY(qFuzzyCompare(1 + m_w->pressurePlus, 1 + pKPa));
    QVERIFY(qFuzzyCompare(1 + m_w->pressureMinus, 1 + pMinusKPa));
    QVERIFY(ui->buttonMO->isEnabled());
    QVERIFY(!ui->buttonAddDataCoef->isEnabled());
    ui->buttonMO->click();
    QVERIFY(ui->buttonAddDataCoef->isEnabled());

    // The operator stops the poll once enough answers are in. Stopping from
    // the answer itself, before the link sends on, keeps the count exact, so
    // the noise the sensor draws is the same on every run.
    const auto count = [this] { return m_w->capture.means().channel(0).count; };
    const QMetaObject::Connection stopper =
        connect(m_w->hartLink(), &protocolComHart::answerGet, this, [&](int code) {
            if (code == 3 && count() >= AnswersPerPoint && m_w->hartLink()->isQueueRunning())
                ui->buttonStopRequstFunc3->click();
        });
    ui->buttonFunction3Loop->click();
    const bool done = QTest::qWaitFor([&] { return count() >= AnswersPerPoint; }, 15000);
    disconnect(stopper);
    QVERIFY2(done, qPrintable(QStringLiteral("%1 answers averaged").arg(count())));
    QVERIFY(waitIdle());
    QCOMPARE(count(), AnswersPerPoint);

    ui->buttonAddDataCoef->click();
    QVERIFY2(ui->textEditStatus->toPlainText().contains(QStringLiteral("Файл калибровки МНК записан ")),
             qPrintable(ui->textEditStatus->toPlainText()));
    QVERIFY(ui->buttonSetPressue->isEnabled());
    QVERIFY(!ui->buttonAddDataCoef->isEnabled());
}

// The least-squares calculation on the device's save directory, confirmed.
void TestClosedLoop::calculate(bool *shown)
{
    *shown = false;
    Ui::MainWindow *ui = m_w->ui;
    ui->tabWidget->setCurrentWidget(ui->tabCalibration);
    const QString deviceDir = m_dir->path() + QStringLiteral("/dev_01");
    m_w->calcDialogs.chooseCalibrationDir = [deviceDir] { return deviceDir; };
    m_w->calcDialogs.question = [this](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
        return true;
    };
    QVERIFY(ui->buttonFindCoefMNK->isEnabled());
    ui->buttonFindCoefMNK->click();
    QVERIFY2(m_criticals.isEmpty(), qPrintable(m_criticals.join(QLatin1Char('\n'))));
    QCOMPARE(m_questions.size(), 1);
    QVERIFY(m_questions.first().contains(QStringLiteral("При минимальной температуре: dev_Tmin_MNK.txt")));

    Dialog *dialog = m_w->parametersDialog();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 10000);
    QVERIFY(waitIdle());
    QVERIFY(ui->textEditStatusCalibration->toPlainText().contains(
        QStringLiteral("Параметр для расчета МНК получен")));
    // Pmax comes from the device.
    QCOMPARE(dialog->form()->lineEditCoefPstat->text(), QString::number(m_rangeKPa * 1000, 'g', 6));
    // The fit at the recorded points, and its record beside them.
    const QString pane = ui->textEditStatusCalibration->toPlainText();
    QVERIFY2(pane.contains(QStringLiteral("Качество калибровки прибора зав. №")), qPrintable(pane));
    QVERIFY(QFile::exists(deviceDir + QStringLiteral("/dev_report.txt")));
    *shown = true;
}

// "Загрузить в прибор": five register writes; the device's memory then holds
// exactly what the dialog's fields say.
void TestClosedLoop::download()
{
    Dialog *dialog = m_w->parametersDialog();
    const ParameterVector::Values v = dialog->parameterVector();
    m_device->commandsSeen.clear();
    dialog->form()->buttonDownLoad2Device->click();
    QVERIFY(!dialog->isVisible());

    const auto writes = [this] {
        int n = 0;
        for (const QByteArray &c : qAsConst(m_device->commandsSeen))
            n += uint8_t(c.at(0)) == RegisterMap::CmdWriteRegisters;
        return n;
    };
    // Five writes one and a half seconds apart.
    QTRY_COMPARE_WITH_TIMEOUT(writes(), 5, 15000);
    QVERIFY(waitIdle());

    using namespace ParameterVector;
    const sim::Compensation k = m_device->compensation();
    QCOMPARE(k.uk1h, v[Uk1h]);
    QCOMPARE(k.uk2h, v[Uk2h]);
    QCOMPARE(k.u10, v[U10]);
    QCOMPARE(k.u20, v[U20]);
    QCOMPARE(k.a, (std::array<float, 3>{v[A42], v[A41], v[A40]}));
    QCOMPARE(k.b, (std::array<float, 3>{v[B42], v[B41], v[B40]}));
    QCOMPARE(k.c, (std::array<float, 3>{v[C42], v[C41], v[C40]}));
    QCOMPARE(k.c43, v[C43]);
    QCOMPARE(k.pmax, float(m_rangeKPa * 1000));
}

double TestClosedLoop::readBack(double pKPa, double temperature)
{
    Ui::MainWindow *ui = m_w->ui;
    m_line->setBench(pKPa, 0.0, temperature);
    ui->lineEditGetPressue->clear();
    if (!waitIdle() || !ui->buttonGetPressue->isEnabled())
        return NAN;
    ui->buttonGetPressue->click();
    if (!QTest::qWaitFor([&] { return !ui->lineEditGetPressue->text().isEmpty() && !m_w->isBusy(); }, 5000))
        return NAN;
    bool ok = false;
    const double v = ui->lineEditGetPressue->text().toDouble(&ok);
    return ok ? v : NAN;
}

QVector<Reading> TestClosedLoop::readGrid(const Temperature *temps, int count)
{
    QVector<Reading> out;
    for (int t = 0; t < count; ++t) {
        for (double f : PointFractions) {
            const double p = m_rangeKPa * f;
            const double read = readBack(p, temps[t].celsius);
            const double err = std::isfinite(read) ? std::fabs(read - p) / m_rangeKPa * 100.0 : INFINITY;
            out.append({temps[t].celsius, p, read, err});
        }
    }
    return out;
}

// ------------------------------------------------------------------ tests

// The engineer goes from the polling to the calculation: once the poll is
// stopped, the calibration tab's operations must be usable again.
void TestClosedLoop::stopReturnsToIdle_data()
{
    QTest::addColumn<bool>("cyclic");
    QTest::newRow("one pass") << false;
    QTest::newRow("cyclic") << true;
}

void TestClosedLoop::stopReturnsToIdle()
{
    QFETCH(bool, cyclic);
    connectAndUnlock(Kind::TwoGauge);
    if (QTest::currentTestFailed())
        return;
    Ui::MainWindow *ui = m_w->ui;
    QVERIFY(ui->buttonFindCoefMNK->isEnabled());

    const int before = m_device->requestsSeen;
    (cyclic ? ui->buttonFunction3Loop : ui->buttonFunction3Send)->click();
    QTRY_VERIFY(m_device->requestsSeen >= before + (cyclic ? 3 : 1));
    // Cyclic polling keeps the calibration tab out of reach; a single pass
    // gives it back as soon as it has ended.
    if (cyclic)
        QVERIFY(!ui->tabWidget->isTabEnabled(ui->tabWidget->indexOf(ui->tabCalibration)));
    ui->buttonStopRequstFunc3->click();
    QVERIFY(waitIdle());

    for (int i = 0; i < ui->tabWidget->count(); ++i)
        QVERIFY2(ui->tabWidget->isTabEnabled(i), qPrintable(ui->tabWidget->widget(i)->objectName()));
    for (QPushButton *b : {ui->buttonFindCoefMNK, ui->buttonGetPressue, ui->buttonGetMaxValue, ui->buttonSpan,
                           ui->buttonZero})
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    // And they work.
    ui->tabWidget->setCurrentWidget(ui->tabCalibration);
    QVERIFY(std::isfinite(readBack(50, 23)));
}

void TestClosedLoop::calibrateAndReadBack_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<double>("rangeKPa");
    QTest::newRow("two-gauge") << Kind::TwoGauge << 100.0;
    QTest::newRow("single-gauge") << Kind::SingleGauge << 100.0;
    QTest::newRow("capacitive-near") << Kind::CapacitiveNear << 100.0;
    QTest::newRow("capacitive-far") << Kind::CapacitiveFar << 100.0;
    // The lowest range of the family, references in Pa: 0 and 62 Pa are
    // two points, not one "zero".
    QTest::newRow("two-gauge, 0.25 kPa") << Kind::TwoGauge << 0.25;
}

void TestClosedLoop::calibrateAndReadBack()
{
    QFETCH(Kind, kind);
    QFETCH(double, rangeKPa);
    const bool twoGauge = kind == Kind::TwoGauge;
    connectAndUnlock(kind, rangeKPa);
    if (QTest::currentTestFailed())
        return;
    Ui::MainWindow *ui = m_w->ui;

    // Uncalibrated, the unit reads right only near 23 degrees.
    ui->checkBoxSamePressue->setChecked(false);
    const QVector<Reading> before = readGrid(CalTemperatures, 3);
    ui->checkBoxSamePressue->setChecked(twoGauge);
    ui->tabWidget->setCurrentWidget(ui->tabFunction3);

    chooseSaveDirectory();
    if (QTest::currentTestFailed())
        return;

    QCheckBox *const boxes[] = {ui->checkBoxCakibrationLow, ui->checkBoxCakibrationMiddle,
                                ui->checkBoxCakibrationHigh};
    for (int t = 0; t < 3; ++t) {
        boxes[t]->setChecked(true);
        for (int other = 0; other < 3; ++other)
            QCOMPARE(boxes[other]->isChecked(), other == t);
        for (double p : qAsConst(m_pressuresKPa)) {
            // Both chambers together for the two-gauge sensor: one run gives
            // both gauges' lines.
            const double pMinus = twoGauge ? p : 0.0;
            m_line->setBench(p, pMinus, CalTemperatures[t].celsius);
            capturePoint(p, pMinus);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // What the polling left on disk: five points per temperature, and every
    // answer in the record file.
    const QString deviceDir = m_dir->path() + QStringLiteral("/dev_01/");
    for (const Temperature &t : CalTemperatures) {
        const QList<QByteArray> points = lines(deviceDir + QStringLiteral("dev_%1_MNK.txt").arg(t.name));
        QCOMPARE(points.size(), 5);
        for (int i = 0; i < points.size(); ++i) {
            const QList<QByteArray> fields = points.at(i).split('\t');
            QCOMPARE(fields.size(), 6);
            QCOMPARE(fields.at(4).toDouble(), m_pressuresKPa[i]);
            QCOMPARE(fields.at(5).toDouble(), twoGauge ? m_pressuresKPa[i] : 0.0);
        }
        QCOMPARE(lines(deviceDir + QStringLiteral("dev_%1.txt").arg(t.name)).size(), 5 * AnswersPerPoint);
    }

    bool shown = false;
    calculate(&shown);
    if (!shown)
        return;
    download();
    if (QTest::currentTestFailed())
        return;

    // Read-back with the plus chamber only: the difference is the pressure.
    ui->checkBoxSamePressue->setChecked(false);
    ui->tabWidget->setCurrentWidget(ui->tabCalibration);
    const QVector<Reading> after = readGrid(CalTemperatures, 3);
    const QVector<Reading> between = readGrid(BetweenTemperatures, 2);

    qInfo("%s: read-back after calibration, error in %% of Pmax (before calibration in brackets)",
          QTest::currentDataTag());
    qInfo("%8s %8s %10s %8s %9s", "T, degC", "P, kPa", "read, kPa", "error", "(before)");
    for (int i = 0; i < after.size(); ++i) {
        const Reading &r = after.at(i);
        qInfo("%8.1f %8.4g %10.6g %8.4f %9.4f", r.temperature, r.applied, r.read, r.errorPercent,
              before.at(i).errorPercent);
    }
    for (const Reading &r : between)
        qInfo("%8.1f %8.4g %10.6g %8.4f", r.temperature, r.applied, r.read, r.errorPercent);
    qInfo("%s: worst %.4f %% at the calibration temperatures (target %.2f), %.4f %% between (target %.2f), "
          "%.4f %% before calibration",
          QTest::currentDataTag(), worst(after), TargetAtCal, worst(between), TargetBetween, worst(before));

    // The run did something: uncalibrated, the unit is far off at the ends
    // of the temperature range.
    QVERIFY2(worst(before) > 10 * TargetAtCal, qPrintable(QString::number(worst(before))));
    QVERIFY2(worst(after) <= TargetAtCal, qPrintable(QString::number(worst(after))));
    QVERIFY2(worst(between) <= TargetBetween, qPrintable(QString::number(worst(between))));
}

QTEST_MAIN(TestClosedLoop)
#include "tst_closedloop.moc"
