// The least-squares calculation from the main window against the virtual
// line (the parameters dialog's upload and save are in tst_calcdialog).

// The generated forms are named here so that they are generated for this test.
#include "ui_dialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"
#include "common/mojibake.h"
#include "common/pointrun.h"
#include "sim/compensation.h"

#include "calc/lsqcalibration.h"
#include "calc/parametervector.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "devicedata/parametersfile.h"

#include <QAction>
#include <QCheckBox>
#include <QStatusBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

struct Reading
{
    double v1, v2, v4;
};
using Sensor = std::function<Reading(double p, double t)>;

const double kTemps[3] = {-40, 23, 70};
const char *const kSuffix[3] = {"_Tmin_MNK.txt", "_Tmid_MNK.txt", "_Tmax_MNK.txt"};
const float kPmax = 100000;   // Pa, over 0..100 kPa

// A two-gauge sensor whose zero and span drift with temperature (mV, kPa).
Reading twoGauge(double p, double t)
{
    const double dt = t - 23;
    return {2.0 + 0.02 * p + 0.004 * dt + 0.00003 * dt * dt, 1.0 + 0.01 * p + 0.002 * dt, 300 + 1.5 * dt};
}

// A difference signal slightly curved in pressure.
Reading curved(double p, double t)
{
    const double dt = t - 23;
    const double x = 1.5 + 0.03 * p - 0.00004 * p * p + 0.001 * dt;
    return {2.0 + x, 2.0 + 0.0005 * dt, 300 + 1.5 * dt};
}

// Point files as the polling tab writes them: V1 V2 V3 V4 P+ P- per line.
// With constantPMinus the P- column stays 0.
void writePointFiles(const QString &dir, const QString &base, const Sensor &sensor,
                     bool constantPMinus = false, const QList<int> &which = {0, 1, 2})
{
    for (int i : which) {
        QFile f(dir + QLatin1Char('/') + base + QLatin1String(kSuffix[i]));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        for (double p : {0.0, 25.0, 50.0, 75.0, 100.0}) {
            const Reading r = sensor(p, kTemps[i]);
            QByteArrayList fields;
            for (double v : {r.v1, r.v2, 0.0, r.v4, p, constantPMinus ? 0.0 : p})
                fields << QByteArray::number(v, 'e', 6);
            f.write(fields.join('\t') + '\n');
        }
    }
}

QString shown(float v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

class TestCalc : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingFiles_data();
    void missingFiles();
    void cancelledChoice();
    void answeredNo();
    void fullCalculationFillsDialog();
    void refusedResultShowsNothing();
    void lateAnswerIsNotPmax();
    void bothBoxesChooseCapacitive();
    void refusedInTheWindow_data();
    void refusedInTheWindow();
    void largeResidualWaitsForTheOperator_data();
    void largeResidualWaitsForTheOperator();

    void readsOnTheWire_data();
    void readsOnTheWire();
    void sensorTypeDisagrees_data();
    void sensorTypeDisagrees();
    void naturalDifferentialRun();
    void messagesReadable_data();
    void messagesReadable();


private:
    // Runs calcCoefMNK on dir, answering the questions; returns the rig's
    // window busy state right after the slot.
    void runCalculation(const QString &dir, bool confirm = true);

    std::unique_ptr<CalcRig> m_rig;
    QTemporaryDir m_dir;
    QStringList m_criticals;
    QStringList m_questions;
};

void TestCalc::init()
{
    m_rig.reset(new CalcRig);
    QVERIFY(m_rig->start());
    m_rig->device->setF32(RegisterMap::MaxUpperLimit, kPmax);
    m_criticals.clear();
    m_questions.clear();
    m_rig->w->calcDialogs.critical = [this](const QString &title, const QString &text) {
        m_criticals << title + QLatin1Char('|') + text;
    };
}

void TestCalc::cleanup()
{
    m_rig.reset();
    QDir dir(m_dir.path());
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

void TestCalc::runCalculation(const QString &dir, bool confirm)
{
    MainWindow *w = m_rig->w.get();
    w->calcDialogs.chooseCalibrationDir = [dir] { return dir; };
    w->calcDialogs.question = [this, confirm](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
        return confirm;
    };
    w->ui->buttonFindCoefMNK->click();
}

// ------------------------------------------------------------ calculation

void TestCalc::missingFiles_data()
{
    QTest::addColumn<QList<int>>("present");   // 0 Tmin, 1 Tmid, 2 Tmax
    QTest::addColumn<QString>("box");
    QTest::newRow("none") << QList<int>{}
        << QStringLiteral("Не найдено калибровочных файлов (Файлы должны иметь имя, начинающееся с "
                          "одинакового базового имени, температуры,и MNK.\n Например: basename_Tmid_MNK.txt");
    QTest::newRow("no Tmid") << QList<int>{0, 2}
                             << QStringLiteral("Не найден файл калибровки при нормальной температуре");
    QTest::newRow("no Tmin") << QList<int>{1, 2}
                             << QStringLiteral("Не найден файл калибровки при минимальной температуре");
    QTest::newRow("no Tmax") << QList<int>{0, 1}
                             << QStringLiteral("Не найден файл калибровки при максимальной температуре");
}

void TestCalc::missingFiles()
{
    QFETCH(QList<int>, present);
    QFETCH(QString, box);
    writePointFiles(m_dir.path(), QStringLiteral("a"), twoGauge, false, present);

    runCalculation(m_dir.path());
    QCOMPARE(m_criticals, QStringList{QStringLiteral("Ошибка|") + box});
    QVERIFY(m_questions.isEmpty());
    QVERIFY(!m_rig->w->isBusy());
    QVERIFY(m_rig->w->ui->buttonFindCoefMNK->isEnabled());
    QTest::qWait(50);
    QVERIFY(m_rig->device->commandsSeen.isEmpty());
}

void TestCalc::cancelledChoice()
{
    runCalculation(QString());
    QVERIFY(m_criticals.isEmpty());
    QVERIFY(m_questions.isEmpty());
    QVERIFY(!m_rig->w->isBusy());
    QVERIFY(m_rig->w->ui->buttonFindCoefMNK->isEnabled());
}

void TestCalc::answeredNo()
{
    writePointFiles(m_dir.path(), QStringLiteral("x_y"), twoGauge);
    runCalculation(m_dir.path(), false);
    QCOMPARE(m_questions, QStringList{
        QStringLiteral("Подтверждение|Были найдены следующие калибровочные файлы:\nВ директории ") + m_dir.path()
        + QStringLiteral("\nПри нормальной температуре: x_y_Tmid_MNK.txt"
                         "\nПри минимальной температуре: x_y_Tmin_MNK.txt"
                         "\nПри максимальной температуре: x_y_Tmax_MNK.txt"
                         "\n\nИспользовать данные файлы для калибровки?")});
    QVERIFY(!m_rig->w->isBusy());
    QTest::qWait(50);
    QVERIFY(m_rig->device->commandsSeen.isEmpty());
}

void TestCalc::fullCalculationFillsDialog()
{
    writePointFiles(m_dir.path(), QStringLiteral("dev"), twoGauge);
    runCalculation(m_dir.path());
    // The lock holds while the parameter read is out.
    QVERIFY(m_rig->w->isBusy());
    QTRY_VERIFY(m_rig->dialog()->isVisible());
    QVERIFY(!m_rig->w->isBusy());

    // Pmax alone, then the serial number, then the sensor-type block.
    QCOMPARE(m_rig->device->commandsSeen,
             (QList<QByteArray>{QByteArray::fromHex("33001e04"), QByteArray::fromHex("33003a04"),
                                QByteArray::fromHex("3300f406")}));
    const QString got = QStringLiteral("Параметр для расчета МНК получен\n");
    QVERIFY(m_rig->pane()->toPlainText().contains(got));
    QCOMPARE(colourOfText(m_rig->pane(), got), QColor(7, 158, 0));

    // What the core computes from the same files and the same Pmax.
    LsqCalibration core;
    core.findFiles(m_dir.path());
    core.openStaticFiles(false);
    const CalibrationOutcome expected = core.onParameterAnswer(ValueCodec::float32(kPmax), false, false);
    QVERIFY(expected.ok);
    Ui::Dialog *f = m_rig->form();
    QCOMPARE(f->lineEditCoefPstat->text(), QStringLiteral("100000"));
    QCOMPARE(f->lineEditCoefUk1h->text(), shown(expected.values.Uk1h));
    QCOMPARE(f->lineEditCoefUk2h->text(), shown(expected.values.Uk2h));
    QCOMPARE(f->lineEditCoefU10->text(), shown(expected.values.U10));
    QCOMPARE(f->lineEditCoefA42->text(), shown(expected.values.a[0]));
    QCOMPARE(f->lineEditCoefB40->text(), shown(expected.values.b[2]));
    QCOMPARE(f->lineEditCoefU4hh->text(), shown(expected.values.var4[5]));
    // The two gauges keep their own spans.
    QVERIFY(f->lineEditCoefUk1h->text() != f->lineEditCoefUk2h->text());

    // What was judged is what the dialog will write.
    using namespace ParameterVector;
    const Values v = m_rig->dialog()->parameterVector();
    QCOMPARE(v[Uk1h], expected.written.Uk1h);
    QCOMPARE(v[U20], expected.written.U20);
    QCOMPARE(v[A41], expected.written.a[1]);
    QCOMPARE(v[B42], expected.written.b[0]);
    QCOMPARE(v[C40], expected.written.c[2]);

    // The fit's quality, per temperature, in the colour of its verdict.
    const QString pane = m_rig->pane()->toPlainText();
    QVERIFY2(pane.contains(QStringLiteral("Качество калибровки прибора зав. № 3920101")), qPrintable(pane));
    for (const char *t : {"Tmin (dev_Tmin_MNK.txt): ", "Tmid (dev_Tmid_MNK.txt): ", "Tmax (dev_Tmax_MNK.txt): "})
        QCOMPARE(colourOfText(m_rig->pane(), QString::fromUtf8(t)), QColor(7, 158, 0));

    // And its record beside the point files.
    const QString report = QString::fromUtf8(readAll(m_dir.filePath(QStringLiteral("dev_report.txt"))));
    QVERIFY(pane.contains(QStringLiteral("Отчет о калибровке записан: ") + m_dir.filePath("dev_report.txt")));
    for (const QString &line : {QStringLiteral("Заводской номер:\t3920101\n"), QStringLiteral("Адрес прибора:\t01\n"),
                                QStringLiteral("Pmax, кПа:\t100\n"), QStringLiteral("\nTmin\tdev_Tmin_MNK.txt\t"),
                                QStringLiteral("\nTmax\t5\t")})
        QVERIFY2(report.contains(line), qPrintable(line + QStringLiteral(" in:\n") + report));
    QCOMPARE(report.count(QRegularExpression(QStringLiteral("\n(Tmin|Tmid|Tmax)\t\\d+\t"))), 15);
}

// Refused in red in the calibration pane and the status bar, the lock
// released, nothing shown or written; files that cannot give a right
// result do not even reach the device.
void TestCalc::refusedInTheWindow_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("requests");

    QTest::newRow("a garbage line") << "garbage" << "файл dev_Tmid_MNK.txt, строка 6: полей 1 вместо шести" << 0;
    QTest::newRow("identical files") << "identical" << "все три файла" << 0;
    QTest::newRow("Pmax answer corrupted") << "checksum" << "ошибка контрольной суммы" << 1;
    QTest::newRow("Pmax zero") << "pmax 0" << "прибор сообщил Pmax = 0 Па" << 1;
}

void TestCalc::refusedInTheWindow()
{
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    QFETCH(int, requests);
    if (setup == "identical")
        writePointFiles(m_dir.path(), QStringLiteral("dev"), [](double p, double) { return twoGauge(p, 23); });
    else
        writePointFiles(m_dir.path(), QStringLiteral("dev"), twoGauge);
    if (setup == "garbage") {
        QFile f(m_dir.filePath(QStringLiteral("dev_Tmid_MNK.txt")));
        QVERIFY(f.open(QIODevice::Append));
        f.write("garbage\n");
    }
    if (setup == "checksum")
        m_rig->device->corruptNextChecksum = true;
    if (setup == "pmax 0")
        m_rig->device->setF32(RegisterMap::MaxUpperLimit, 0);

    runCalculation(m_dir.path());
    QTRY_VERIFY(!m_rig->w->isBusy());
    QTRY_COMPARE(m_rig->device->commandsSeen.size(), requests);
    QTRY_VERIFY(m_rig->pane()->toPlainText().contains(reason));

    const QString text = m_rig->pane()->toPlainText();
    const QString line = text.mid(text.indexOf(reason)).section(QLatin1Char('\n'), 0, 0);
    QCOMPARE(colourOfText(m_rig->pane(), line), QColor(Qt::red));
    QVERIFY2(m_rig->w->ui->statusBar->currentMessage().contains(reason),
             qPrintable(m_rig->w->ui->statusBar->currentMessage()));
    QVERIFY(m_rig->w->ui->buttonFindCoefMNK->isEnabled());
    QVERIFY(!m_rig->dialog()->isVisible());
    for (QLineEdit *e : m_rig->dialog()->findChildren<QLineEdit *>())
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("dev_report.txt"))));
    QTest::qWait(50);
    QCOMPARE(m_rig->device->commandsSeen.size(), requests);
}

// The zero point of the Tmin file recorded at 5 kPa: the result leaves the
// device 5 % off there. Red, and only on the operator's word.
void TestCalc::largeResidualWaitsForTheOperator_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("declined") << false;
    QTest::newRow("confirmed") << true;
}

void TestCalc::largeResidualWaitsForTheOperator()
{
    QFETCH(bool, confirm);
    writePointFiles(m_dir.path(), QStringLiteral("dev"), twoGauge);
    const QString tmin = m_dir.filePath(QStringLiteral("dev_Tmin_MNK.txt"));
    QList<QByteArray> lines = readAll(tmin).split('\n');
    QList<QByteArray> fields = lines[0].split('\t');
    fields[4] = "5";
    lines[0] = fields.join('\t');
    QFile f(tmin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(lines.join('\n'));
    f.close();

    runCalculation(m_dir.path());
    // The files are confirmed; the residual's question gets the row's answer.
    m_rig->w->calcDialogs.question = [this, confirm](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
        return confirm;
    };
    QTRY_COMPARE(m_questions.size(), 2);
    QVERIFY2(m_questions[1].startsWith(QStringLiteral("Подтверждение|Наибольшая невязка в точках калибровки 5.0")),
             qPrintable(m_questions[1]));
    QTRY_VERIFY(!m_rig->w->isBusy());
    QCOMPARE(colourOfText(m_rig->pane(), QStringLiteral("  Tmin (dev_Tmin_MNK.txt): 5.0")), QColor(Qt::red));
    QCOMPARE(m_rig->dialog()->isVisible(), confirm);
    QCOMPARE(m_rig->form()->lineEditCoefA42->text().isEmpty(), !confirm);
    QCOMPARE(QFile::exists(m_dir.filePath(QStringLiteral("dev_report.txt"))), confirm);
    if (!confirm) {
        QVERIFY(m_rig->pane()->toPlainText().contains(QStringLiteral("Результат расчета отклонен")));
        QVERIFY(m_rig->w->ui->statusBar->currentMessage().startsWith(QStringLiteral("Результат расчета отклонен")));
    }
}

void TestCalc::refusedResultShowsNothing()
{
    // P- never changes: the second gauge's regression has no slope, and
    // every coefficient that depends on it would be no number.
    writePointFiles(m_dir.path(), QStringLiteral("dev"), twoGauge, true);
    runCalculation(m_dir.path());
    QTRY_VERIFY(m_rig->pane()->toPlainText().contains(QStringLiteral("Параметр для расчета МНК получен\n")));
    QTRY_VERIFY(!m_rig->w->isBusy());

    // The pane ends with the red reason, the dialog stays closed and empty.
    QTest::qWait(50);
    const QString text = m_rig->pane()->toPlainText();
    const QString reason = text.section(QLatin1Char('\n'), -2, -2);
    QVERIFY2(!reason.isEmpty() && !reason.contains(QStringLiteral("получен")), qPrintable(text));
    QCOMPARE(colourOfText(m_rig->pane(), reason), QColor(Qt::red));
    QVERIFY(!m_rig->dialog()->isVisible());
    Ui::Dialog *f = m_rig->form();
    for (QLineEdit *e : m_rig->dialog()->findChildren<QLineEdit *>())
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(!f->lineEditCoefK2->text().contains(QStringLiteral("nan"), Qt::CaseInsensitive));
    // Only the reads before the calculation went to the device.
    QCOMPARE(m_rig->device->commandsSeen.size(), 3);
}

void TestCalc::lateAnswerIsNotPmax()
{
    // The pressure read is still out when the calculation starts: its answer
    // comes in under the calculation's code and must not be taken for Pmax.
    writePointFiles(m_dir.path(), QStringLiteral("dev"), twoGauge);
    m_rig->device->answerDelayMs = 150;
    m_rig->w->getPressue();
    QTRY_VERIFY(m_rig->w->hartLink()->isBusy());
    // The button is locked meanwhile; cyclic polling, which leaves it
    // free, would let it through the same way.
    runCalculation(m_dir.path());
    m_rig->w->calcCoefMNK();
    QTRY_VERIFY(m_rig->dialog()->isVisible());
    QCOMPARE(m_rig->form()->lineEditCoefPstat->text(), QStringLiteral("100000"));
    QCOMPARE(m_rig->device->commandsSeen.size(), 4);
}

void TestCalc::bothBoxesChooseCapacitive()
{
    writePointFiles(m_dir.path(), QStringLiteral("dev"), curved);
    m_rig->device->setU16(RegisterMap::SensorCode, sim::sensorCodeWord(sim::SensorModel::Kind::CapacitiveNear));
    m_rig->w->ui->checkBoxCapacitor->setChecked(true);
    m_rig->w->ui->cbTenzo1->setChecked(true);
    runCalculation(m_dir.path());
    QTRY_VERIFY(m_rig->dialog()->isVisible());

    LsqCalibration core;
    core.findFiles(m_dir.path());
    core.openStaticFiles(false);
    const CalibrationOutcome capacitive = core.onParameterAnswer(ValueCodec::float32(kPmax), true, false);
    const CalibrationOutcome singleGauge = core.onParameterAnswer(ValueCodec::float32(kPmax), false, true);
    QVERIFY(capacitive.ok && singleGauge.ok);
    // The two polynomial models differ in the scale of the temperature row.
    QVERIFY(shown(capacitive.values.a[0]) != shown(singleGauge.values.a[0]));

    Ui::Dialog *f = m_rig->form();
    QCOMPARE(f->lineEditCoefA42->text(), shown(capacitive.values.a[0]));
    QCOMPARE(f->lineEditCoefA41->text(), shown(capacitive.values.a[1]));
    QCOMPARE(f->lineEditCoefC43->text(), shown(capacitive.values.c43));
    // One polynomial: the second channel shows the first one's span and zero.
    QCOMPARE(f->lineEditCoefUk2h->text(), f->lineEditCoefUk1h->text());
    QCOMPARE(f->lineEditCoefU20->text(), f->lineEditCoefU10->text());
    QCOMPARE(f->lineEditCoefK1->text(), f->lineEditCoefK2->text());
}

// ------------------------------------------------------------ reads, sensor type, texts

namespace {

// Command, byte count and data of every request on the line, preamble,
// delimiter, address and checksum cut off.
QList<QByteArray> commandsOnTheWire(const sim::VirtualLine &line)
{
    QList<QByteArray> out;
    for (QByteArray r : line.requests()) {
        while (!r.isEmpty() && uint8_t(r.at(0)) == 0xFF)
            r.remove(0, 1);
        out << r.mid(2, r.size() - 3);
    }
    return out;
}

} // namespace

// Pmax as four bytes from 0x1E, then the serial number on its own; a
// serial read nobody answers leaves "не прочитан" in the report, and the
// calculation goes on.
void TestCalc::readsOnTheWire_data()
{
    QTest::addColumn<bool>("serialAnswered");
    QTest::newRow("serial read") << true;
    QTest::newRow("serial not answered") << false;
}

void TestCalc::readsOnTheWire()
{
    QFETCH(bool, serialAnswered);
    writePointFiles(m_dir.path(), QStringLiteral("dev"), twoGauge);
    m_rig->device->setU16(RegisterMap::SensorCode, sim::sensorCodeWord(sim::SensorModel::Kind::TwoGauge));
    m_rig->line.clearRequests();
    if (!serialAnswered) {
        // Silent from the moment Pmax has arrived until the serial read has timed out.
        connect(m_rig->w->hartLink(), &protocolComHart::answerGet, this, [this](int code) {
            m_rig->device->silentFor = code == 27 && m_rig->device->commandsSeen.size() == 1 ? 100 : 0;
        });
    }
    runCalculation(m_dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->dialog()->isVisible(), 10000);
    QVERIFY(!m_rig->w->isBusy());

    const QList<QByteArray> wire = commandsOnTheWire(m_rig->line);
    QVERIFY2(wire.size() >= 3, qPrintable(QString::number(wire.size())));
    QCOMPARE(wire.first(), QByteArray::fromHex("3303001e04"));
    QCOMPARE(wire.at(1), QByteArray::fromHex("3303003a04"));
    QCOMPARE(wire.last(), QByteArray::fromHex("330300f406"));

    const QString report = QString::fromUtf8(readAll(m_dir.filePath(QStringLiteral("dev_report.txt"))));
    const QString pane = m_rig->pane()->toPlainText();
    if (serialAnswered) {
        QVERIFY(report.contains(QStringLiteral("Заводской номер:\t3920101\n")));
        QVERIFY(!pane.contains(QStringLiteral("Заводской номер не прочитан")));
    } else {
        QVERIFY2(report.contains(QStringLiteral("Заводской номер:\tне прочитан\n")), qPrintable(report));
        const QString warning = QStringLiteral("Заводской номер не прочитан (прибор не ответил)");
        QVERIFY(pane.contains(warning));
        QCOMPARE(colourOfText(m_rig->pane(), warning), QColor(230, 115, 0));
    }
    // The sensor type was read either way.
    QVERIFY(report.contains(QStringLiteral("Тип датчика (сообщает прибор):\tдва тензодатчика\n")));
}

// "1-тензо" ticked for a transmitter that says it has two gauges: asked,
// naming both; declined, nothing is calculated; accepted, the report keeps
// the note and the fit is judged with the two-gauge formula.
void TestCalc::sensorTypeDisagrees_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("declined") << false;
    QTest::newRow("accepted") << true;
}

void TestCalc::sensorTypeDisagrees()
{
    QFETCH(bool, accept);
    writePointFiles(m_dir.path(), QStringLiteral("dev"), curved);
    m_rig->device->setU16(RegisterMap::SensorCode, sim::sensorCodeWord(sim::SensorModel::Kind::TwoGauge));
    m_rig->w->ui->cbTenzo1->setChecked(true);
    runCalculation(m_dir.path(), true);
    m_rig->w->calcDialogs.question = [this, accept](const QString &title, const QString &text) {
        m_questions << title + QLatin1Char('|') + text;
        return accept;
    };
    QTRY_VERIFY(m_questions.size() >= 2);
    QVERIFY2(m_questions[1].startsWith(QStringLiteral("Подтверждение|Прибор сообщает тип датчика «два тензодатчика», "
                                                      "выбрана модель «один тензодатчик»")),
             qPrintable(m_questions[1]));
    QTRY_VERIFY(!m_rig->w->isBusy());
    const QString report = QString::fromUtf8(readAll(m_dir.filePath(QStringLiteral("dev_report.txt"))));
    if (!accept) {
        QTest::qWait(50);
        QVERIFY(!m_rig->dialog()->isVisible());
        QVERIFY(report.isEmpty());
        QVERIFY(m_rig->w->ui->statusBar->currentMessage().startsWith(
            QStringLiteral("Расчет отменен: прибор сообщает тип датчика «два тензодатчика», выбрана модель «один тензодатчик»")));
        return;
    }
    QTRY_VERIFY(m_rig->dialog()->isVisible());
    QVERIFY(report.contains(QStringLiteral("Невязки вычислены по формуле:\tдва тензодатчика\n")));
    QVERIFY(report.contains(QStringLiteral("Принято оператором:\nПрибор сообщает тип датчика «два тензодатчика»")));
}

// The natural run of a two-gauge transmitter with differential points,
// calculated and written through the window: green, and the transmitter
// reads within 0.05 % of Pmax at the three temperatures.
void TestCalc::naturalDifferentialRun()
{
    sim::VirtualDevice *d = m_rig->device;
    d->setSensor(sim::SensorModel::twoGauge(2));
    d->setU16(RegisterMap::SensorCode, sim::sensorCodeWord(sim::SensorModel::Kind::TwoGauge));
    QVERIFY(pointrun::writeRun(m_dir.path(), QStringLiteral("dev"), *d, pointrun::differentialRun(100, true),
                               pointrun::differentialRun(100, false)));
    runCalculation(m_dir.path());
    QTRY_VERIFY(m_rig->dialog()->isVisible());
    QCOMPARE(m_questions.size(), 1);   // the files only
    for (const char *t : {"  Tmin (dev_Tmin_MNK.txt): ", "  Tmid (dev_Tmid_MNK.txt): ", "  Tmax (dev_Tmax_MNK.txt): "})
        QCOMPARE(colourOfText(m_rig->pane(), QString::fromUtf8(t)), QColor(7, 158, 0));

    auto writes = [d] {
        return std::count_if(d->commandsSeen.begin(), d->commandsSeen.end(),
                             [](const QByteArray &c) { return uint8_t(c.at(0)) == RegisterMap::CmdWriteRegisters; });
    };
    m_rig->form()->buttonDownLoad2Device->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes(), 5L, 10000);
    for (double temp : pointrun::kTemperatures) {
        const double e = pointrun::worstReadBack(*d, temp);
        QVERIFY2(e <= 0.05, qPrintable(QStringLiteral("%1 degC: %2 %").arg(temp).arg(e)));
    }
}

// Every kind of refusal and warning the calculation says, read from the
// pane and the status bar as the operator sees them: none garbled.
void TestCalc::messagesReadable_data()
{
    QTest::addColumn<QString>("setup");
    for (const char *row : {"garbage", "identical", "checksum", "pmax 0", "constant P-", "low top", "mismatch",
                            "unknown sensor", "serial silent", "zero at 5"})
        QTest::newRow(row) << QString::fromLatin1(row);
}

void TestCalc::messagesReadable()
{
    QFETCH(QString, setup);
    sim::VirtualDevice *d = m_rig->device;
    const QString tmid = m_dir.filePath(QStringLiteral("dev_Tmid_MNK.txt"));
    writePointFiles(m_dir.path(), QStringLiteral("dev"),
                    setup == "identical" ? Sensor([](double p, double) { return twoGauge(p, 23); }) : Sensor(twoGauge),
                    setup == "constant P-");
    if (setup == "garbage") {
        QFile f(tmid);
        QVERIFY(f.open(QIODevice::Append));
        f.write("garbage\n");
    }
    if (setup == "checksum")
        d->corruptNextChecksum = true;
    if (setup == "pmax 0")
        d->setF32(RegisterMap::MaxUpperLimit, 0);
    if (setup == "low top")
        d->setF32(RegisterMap::MaxUpperLimit, 200000);
    if (setup == "mismatch") {
        d->setU16(RegisterMap::SensorCode, sim::sensorCodeWord(sim::SensorModel::Kind::TwoGauge));
        m_rig->w->ui->checkBoxCapacitor->setChecked(true);
    }
    if (setup == "unknown sensor")
        d->setU16(RegisterMap::SensorCode, 0x0901);
    if (setup == "serial silent")
        connect(m_rig->w->hartLink(), &protocolComHart::answerGet, this, [d](int code) {
            d->silentFor = code == 27 && d->commandsSeen.size() == 1 ? 100 : 0;
        });
    if (setup == "zero at 5") {
        QList<QByteArray> lines = readAll(tmid).split('\n');
        QList<QByteArray> fields = lines[0].split('\t');
        fields[4] = "5";
        lines[0] = fields.join('\t');
        QFile f(tmid);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(lines.join('\n'));
    }
    runCalculation(m_dir.path());
    if (setup == "mismatch")
        m_rig->w->calcDialogs.question = [](const QString &, const QString &) { return false; };
    QTRY_VERIFY_WITH_TIMEOUT(!m_rig->w->isBusy(), 10000);
    QTest::qWait(50);

    // Something was said beyond plain progress, in red or orange.
    bool said = false;
    for (QTextBlock b = m_rig->pane()->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QColor c = it.fragment().charFormat().foreground().color();
            said = said || c == QColor(Qt::red) || c == QColor(230, 115, 0);
        }
    QVERIFY2(said, qPrintable(m_rig->pane()->toPlainText()));
    const QStringList shown = QStringList{m_rig->pane()->toPlainText(), m_rig->w->ui->statusBar->currentMessage()}
                              + m_questions;
    for (const QString &text : shown)
        QVERIFY2(!looksGarbled(text), qPrintable(text));
}

QTEST_MAIN(TestCalc)
#include "tst_calc.moc"
