#include "calc/dialog.h"
#include "calc/lsqcalibration.h"
#include "ui_dialog.h"

#include "app/operationprogress.h"
#include "app/progresspanel.h"

#include "common/capture.h"

#include <QtTest>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

// A two-gauge result as the calculation hands it over.
CalibrationCoefficients twoGaugeValues()
{
    CalibrationCoefficients v;
    v.Pmax = 100000;
    v.Uk1h = 4000;
    v.Uk2h = 2000;
    v.U10 = 2000;
    v.U20 = 1000;
    v.var1 = {1750, 2000, 2190, 3750, 4000, 4190};
    v.var2 = {870, 1000, 1090, 1870, 2000, 2090};
    v.var4 = {205000, 300000, 370000, 205000, 300000, 370000};
    v.a = {1e-9f, 2e-3f, -100};
    v.b = {-2e-12f, 1e-6f, 0.9f};
    v.c = v.b;
    v.c43 = 0;
    v.polynomial = false;
    return v;
}

} // namespace

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void twoGaugeValuesShown();
    void polynomialShowsOneGain();
    void parameterVectorOrder();
    void recalcUsesEditedK();
    void recalcRefusesNonNumbers();
    void buttonsEmitSignals();
    void readFromPathFillsFields();
    void readFromCorruptedFileKeepsFields();
    void newValuesStartClean();
};

void TestDialog::window()
{
    Dialog d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Параметры прибора"));
    QCOMPARE(d.size(), QSize(467, 734));
    QVERIFY(d.isModal());
    QVERIFY(!d.isSizeGripEnabled());
    QCOMPARE(d.form()->buttonRecalc->text(), QStringLiteral("Пересчет"));
    QCOMPARE(d.form()->buttonSave2File->text(), QStringLiteral("Сохранить текущее в файл"));
}

void TestDialog::twoGaugeValuesShown()
{
    Dialog d;
    d.setValues(twoGaugeValues());
    Ui::Dialog *f = d.form();
    QCOMPARE(f->lineEditCoefPstat->text(), QStringLiteral("100000"));
    QCOMPARE(f->lineEditCoefUk2h->text(), QStringLiteral("2000"));
    QCOMPARE(f->lineEditCoefU20->text(), QStringLiteral("1000"));
    QCOMPARE(f->lineEditCoefK1->text(), QStringLiteral("50"));
    QCOMPARE(f->lineEditCoefK2->text(), QStringLiteral("100"));
    QCOMPARE(f->lineEditCoefU1l->text(), QStringLiteral("1750"));
    QCOMPARE(f->lineEditCoefU1hh->text(), QStringLiteral("4190"));
    QCOMPARE(f->lineEditCoefU2hn->text(), QStringLiteral("2000"));
    QCOMPARE(f->lineEditCoefU4h->text(), QStringLiteral("370000"));
    QCOMPARE(f->lineEditCoefA40->text(), QStringLiteral("-100"));
    QCOMPARE(f->lineEditCoefB42->text(), QStringLiteral("-2e-12"));
    QCOMPARE(d.lastUk2h(), 2000.0f);
}

void TestDialog::polynomialShowsOneGain()
{
    // A capacitive calculation straight from the core.
    QTemporaryDir dir;
    const char *suffix[3] = {"_Tmin_MNK.txt", "_Tmid_MNK.txt", "_Tmax_MNK.txt"};
    for (int t = 0; t < 3; ++t) {
        QFile file(dir.filePath(QStringLiteral("cap") + suffix[t]));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        for (int p = 0; p <= 100; p += 25) {
            const double x = 1.5 + 0.03 * p - 0.00004 * p * p + 0.002 * t;
            QByteArrayList fields;
            for (double v : {2.0 + x, 2.0, 0.0, 300.0 + 50 * t, double(p), double(p)})
                fields << QByteArray::number(v, 'e', 4);
            file.write(fields.join('\t') + '\n');
        }
    }
    CoutCapture quiet;
    LsqCalibration calc;
    QVERIFY(calc.findFiles(dir.path()).found);
    calc.openStaticFiles(false);
    const CalibrationOutcome out = calc.onParameterAnswer(QByteArray::fromHex("47c35000"), true, false);
    QVERIFY(out.ok);

    Dialog d;
    d.setValues(out.values);
    Ui::Dialog *f = d.form();
    QCOMPARE(f->lineEditCoefUk2h->text(), f->lineEditCoefUk1h->text());
    QCOMPARE(f->lineEditCoefU20->text(), f->lineEditCoefU10->text());
    QCOMPARE(f->lineEditCoefK1->text(), f->lineEditCoefK2->text());
    bool ok = false;
    QVERIFY(f->lineEditCoefK1->text().toFloat(&ok) > 0 && ok);
    // What was handed in is remembered, not what is shown.
    QCOMPARE(d.lastUk2h(), 1.0f);
    QCOMPARE(d.lastU20(), 0.0f);
}

void TestDialog::parameterVectorOrder()
{
    Dialog d;
    d.setValues(twoGaugeValues());
    d.form()->lineEditCoefC43->setText(QStringLiteral("not a number"));
    const ParameterVector::Values v = d.parameterVector();
    const ParameterVector::Values expected = {4000, 2000, 2000, 1000, 1e-9f, 2e-3f, -100,
                                              -2e-12f, 1e-6f, 0.9f, -2e-12f, 1e-6f, 0.9f, 0, 100000};
    QCOMPARE(v, expected);

    // Saving with every field empty writes zeros.
    Dialog empty;
    QCOMPARE(empty.parameterVector(), ParameterVector::Values{});
}

void TestDialog::recalcUsesEditedK()
{
    Dialog d;
    d.setValues(twoGaugeValues());
    Ui::Dialog *f = d.form();
    f->lineEditCoefK1->setText(QStringLiteral("48.5"));
    f->lineEditCoefK2->setText(QStringLiteral("97"));

    CoutCapture quiet;
    QTest::mouseClick(f->buttonRecalc, Qt::LeftButton);

    RecalcInputs in;
    in.Pmax = 100000; in.U10 = 2000; in.U20 = 1000; in.K1 = 48.5f; in.K2 = 97;
    in.U1l = 1750; in.U2l = 870; in.U4l = 205000; in.U4n = 300000;
    in.U1h = 2190; in.U2h = 1090; in.U4h = 370000; in.U1hl = 3750; in.U1hh = 4190;
    const RecalcResult r = recalculateTwoGauge(in);
    QVERIFY(r.ok);
    QCOMPARE(f->lineEditCoefA42->text(), QString::number(r.a[0], 'g', 6));
    QCOMPARE(f->lineEditCoefA40->text(), QString::number(r.a[2], 'g', 6));
    QCOMPARE(f->lineEditCoefB41->text(), QString::number(r.b[1], 'g', 6));
    QCOMPARE(f->lineEditCoefC42->text(), f->lineEditCoefB42->text());
    QCOMPARE(f->lineEditCoefC41->text(), f->lineEditCoefB41->text());
    QCOMPARE(f->lineEditCoefC40->text(), f->lineEditCoefB40->text());

    // With the K computed from the zero and span the offsets differ.
    in.K1 = 50; in.K2 = 100;
    QVERIFY(recalculateTwoGauge(in).a != r.a);
}

void TestDialog::recalcRefusesNonNumbers()
{
    Dialog d;
    d.show();
    d.form()->lineEditCoefA42->setText(QStringLiteral("1"));
    CoutCapture quiet;
    QTest::mouseClick(d.form()->buttonRecalc, Qt::LeftButton);
    QCOMPARE(d.form()->lineEditCoefA42->text(), QStringLiteral("1"));
    QCOMPARE(d.form()->lineEditCoefB40->text(), QString());
    QMessageBox *box = d.findChild<QMessageBox *>();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка"));
    // Empty fields are no numbers: the first one named is Pmax, now red.
    QVERIFY2(box->text().startsWith(QStringLiteral("Пересчет не выполнен: «Pmax (Па)»: поле пустое")),
             qPrintable(box->text()));
    QCOMPARE(d.form()->lineEditCoefPstat->palette().color(QPalette::Base), QColor(Qt::red));
    box->close();
}

void TestDialog::buttonsEmitSignals()
{
    Dialog d;
    QSignalSpy down(&d, &Dialog::download);
    QSignalSpy up(&d, &Dialog::upload);
    QTest::mouseClick(d.form()->buttonDownLoad2Device, Qt::LeftButton);
    QTest::mouseClick(d.form()->buttonUploadFromDevice, Qt::LeftButton);
    QTest::mouseClick(d.form()->buttonUploadFromDevice, Qt::LeftButton);
    QCOMPARE(down.count(), 1);
    QCOMPARE(up.count(), 2);
}

void TestDialog::readFromPathFillsFields()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("params.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write("Uk1h:4000\nU10:2000\na41:0.002\nPmax:250000\nserial:1234\n");
    file.close();

    Dialog d;
    d.setValues(twoGaugeValues());
    d.form()->lineEditCoefB40->setText(QStringLiteral("7"));
    QVector<float *> parsed;
    connect(&d, &Dialog::fileIsParsed, this, [&](float *r) { parsed << r; });
    QVERIFY(d.readFromPath(path));
    QCOMPARE(parsed.size(), 1);
    float *record = parsed.first();
    QCOMPARE(record, d.loadedRecord().data());
    QCOMPARE(record[2], 250000.0f);   // Pmax
    QCOMPARE(record[32], 1234.0f);    // serial
    QCOMPARE(d.form()->lineEditCoefPstat->text(), QStringLiteral("250000"));
    QCOMPARE(d.form()->lineEditCoefA41->text(), QStringLiteral("0.002"));
    // Keys the file does not name leave their fields alone.
    QCOMPARE(d.form()->lineEditCoefB40->text(), QStringLiteral("7"));
}

void TestDialog::readFromCorruptedFileKeepsFields()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write("Uk1h:123\nPmax:abc\n");
    file.close();

    Dialog d;
    d.setValues(twoGaugeValues());
    int parsed = 0;
    connect(&d, &Dialog::fileIsParsed, this, [&] { ++parsed; });
    QSignalSpy refused(&d, &Dialog::fileRefused);
    QVERIFY(!d.readFromPath(path));
    QVERIFY(!d.readFromPath(dir.filePath("missing.txt")));
    // A value no register holds: nothing of the file is taken either.
    QFile nan(dir.filePath("nan.txt"));
    QVERIFY(nan.open(QIODevice::WriteOnly));
    nan.write("Uk1h:123\nU10:7\nc43:-nan\n");
    nan.close();
    QVERIFY(!d.readFromPath(nan.fileName()));
    QCOMPARE(parsed, 0);
    QCOMPARE(refused.count(), 3);
    QVERIFY(refused.last().first().toString().contains(QStringLiteral("«c43» (-nan) не число")));
    QCOMPARE(d.form()->lineEditCoefUk1h->text(), QStringLiteral("4000"));
    QCOMPARE(d.form()->lineEditCoefU10->text(), QString::number(twoGaugeValues().U10, 'g', 6));
    QVERIFY(d.loadedValues().isEmpty());
}

QTEST_MAIN(TestDialog)
void TestDialog::newValuesStartClean()
{
    Dialog d;
    OperationProgress progress;
    auto *panel = new ProgressPanel(&progress, -1, &d);
    d.show();
    progress.start({28, QStringLiteral("Запись параметров"), QStringLiteral("блоков")}, 1);
    progress.step(true);
    progress.finish();
    QVERIFY(panel->isVisible());
    QPalette red;
    red.setColor(QPalette::Base, Qt::red);
    d.form()->lineEditCoefK1->setPalette(red);

    // An earlier write's verdict and refusal marks do not speak for new values.
    d.setValues(twoGaugeValues());
    QVERIFY(!panel->isVisible());
    QCOMPARE(d.form()->lineEditCoefK1->palette().color(QPalette::Base), QPalette().color(QPalette::Base));
}

#include "tst_dialog.moc"
