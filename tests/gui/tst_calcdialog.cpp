// The parameters dialog against the virtual line: the parameter upload into
// it, saving its values completed by the device's own, reading a record back
// and opening it from the menu.

// The generated forms are named here so that they are generated for this test.
#include "ui_dialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"

#include "calc/parametervector.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "devicedata/parametersfile.h"

#include <QDir>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString shown(float v)
{
    return QString::number(v, 'g', 6);
}
} // namespace

class TestCalcDialog : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_rig.reset(new CalcRig);
        QVERIFY(m_rig->start());
        m_rig->device->setF32(RegisterMap::MaxUpperLimit, 100000);
    }
    void cleanup()
    {
        m_rig.reset();
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
    }

    void uploadFillsDialog();
    void saveAppendsDeviceValues();
    void saveWithoutLineKeepsOwnLines();
    void recordWithNonNumbersNotLoaded();
    void menuShowsDialog();

private:
    std::unique_ptr<CalcRig> m_rig;
    QTemporaryDir m_dir;
};

// ------------------------------------------------------------ upload

void TestCalcDialog::uploadFillsDialog()
{
    sim::VirtualDevice *d = m_rig->device;
    const float a[3] = {1.5e-9f, -2.25e-3f, 12.5f}, b[3] = {-3e-12f, 4e-6f, 0.875f},
                c[3] = {5e-12f, 6e-6f, 0.75f};
    for (int i = 0; i < 3; ++i) {
        d->setF32(uint16_t(RegisterMap::A42 + 4 * i), a[i]);
        d->setF32(uint16_t(RegisterMap::B42 + 4 * i), b[i]);
        d->setF32(uint16_t(RegisterMap::C42 + 4 * i), c[i]);
    }
    d->setF32(RegisterMap::C43, -7.5e-15f);
    d->setF32(RegisterMap::MaxUpperLimit, 250000);
    d->setF32(RegisterMap::UpperLimit, 99);   // the differential pressure, not shown
    d->setF32(RegisterMap::Uk1h, 42000);
    d->setF32(RegisterMap::Uk2h, 21000);
    d->setF32(RegisterMap::U10, 2000);
    d->setF32(RegisterMap::U20, 1000);

    // An upload forgets a record loaded from a file.
    float record[Dialog::RecordSize] = {};
    m_rig->w->onReadFromFile(record);
    QVERIFY(m_rig->w->deviceOps.recordLoaded());

    m_rig->w->showParametersWindow();
    m_rig->form()->buttonUploadFromDevice->click();
    QVERIFY(!m_rig->w->deviceOps.recordLoaded());
    QVERIFY(!m_rig->dialog()->isVisible());
    QTRY_VERIFY(m_rig->dialog()->isVisible());

    Ui::Dialog *f = m_rig->form();
    QCOMPARE(f->lineEditCoefPstat->text(), QStringLiteral("250000"));
    QCOMPARE(f->lineEditCoefUk1h->text(), QStringLiteral("42000"));
    QCOMPARE(f->lineEditCoefUk2h->text(), QStringLiteral("21000"));
    QCOMPARE(f->lineEditCoefU10->text(), QStringLiteral("2000"));
    QCOMPARE(f->lineEditCoefU20->text(), QStringLiteral("1000"));
    QCOMPARE(f->lineEditCoefK1->text(), shown(250000.0f / 40000.0f));
    QCOMPARE(f->lineEditCoefA41->text(), QStringLiteral("-0.00225"));
    QCOMPARE(f->lineEditCoefB40->text(), QStringLiteral("0.875"));
    QCOMPARE(f->lineEditCoefC42->text(), QStringLiteral("5e-12"));
    QCOMPARE(f->lineEditCoefC43->text(), QStringLiteral("-7.5e-15"));
    QCOMPARE(f->lineEditCoefU4hh->text(), QStringLiteral("0"));

    for (const char *m : {"Получены A\n", "Получены B\n", "Получены C\n", "Получены коэффициенты\n"}) {
        const QString text = QString::fromUtf8(m);
        QCOMPARE(m_rig->pane()->toPlainText().count(text), 1);
        QCOMPARE(colourOfText(m_rig->pane(), text), QColor(7, 158, 0));
    }
}

// ------------------------------------------------------------ save

void TestCalcDialog::saveAppendsDeviceValues()
{
    sim::VirtualDevice *d = m_rig->device;
    d->setU8(RegisterMap::CurrentZeroBalance, 140);
    d->setU8(RegisterMap::CurrentLoopMode, 0xFE);
    d->setF32(RegisterMap::CurrentCorrection, 1.25f);
    for (int k = 0; k < RegisterMap::KdspCount; ++k)
        d->setF32(RegisterMap::kdsp(k), 0.5f + 0.125f * k);
    d->setF32(RegisterMap::PressureZeroBalance, 12.5f);
    d->setU32(RegisterMap::SerialNumber, 3920777u);
    d->setU16(RegisterMap::DeviceType, 3);
    d->setU16(uint16_t(RegisterMap::DeviceType + 2), 7);

    // Every field empty: fifteen zeros, then what the device holds.
    const QString path = m_dir.filePath(QStringLiteral("params.txt"));
    emit m_rig->dialog()->saveToFile(path);
    QTRY_VERIFY_WITH_TIMEOUT(readAll(path).contains("model_code:"), 10000);
    QTRY_VERIFY(!m_rig->w->deviceOps.saveChainActive());

    QByteArray expected;
    for (const QString &key : ParameterVector::keys())
        expected += key.toLatin1() + ":0\n";
    expected += "bal_IDAC:140\nItenzo:-2\nKsi:1.25\n";
    for (int k = 0; k < RegisterMap::KdspCount; ++k)
        expected += QByteArray("Kdsp") + QByteArray::number(k) + ':' + QByteArray::number(0.5 + 0.125 * k) + '\n';
    expected += "bal_dP:12.500000\nserial:3920777\n";
    expected += QStringLiteral("model_name:ЛТ3920ДД\n").toUtf8();
    expected += "model_code:7\n";
    QCOMPARE(readAll(path), expected);

    // The parameters dialog reads the file back whole.
    QVERIFY(m_rig->dialog()->readFromPath(path));
    QVERIFY(m_rig->w->deviceOps.recordLoaded());
    QCOMPARE(m_rig->form()->lineEditCoefPstat->text(), QStringLiteral("0"));
}

void TestCalcDialog::saveWithoutLineKeepsOwnLines()
{
    m_rig->w->ui->buttonClosePort->click();
    Ui::Dialog *f = m_rig->form();
    f->lineEditCoefUk1h->setText(QStringLiteral("41234.5"));
    f->lineEditCoefA42->setText(QStringLiteral("nan"));      // never written as such
    f->lineEditCoefB41->setText(QStringLiteral("abc"));
    f->lineEditCoefPstat->setText(QStringLiteral("1e+06"));

    const QString path = m_dir.filePath(QStringLiteral("alone.txt"));
    emit m_rig->dialog()->saveToFile(path);
    // Nothing will come from the device: the file is complete and closed.
    QVERIFY(!m_rig->w->deviceOps.saveChainActive());
    const QList<QByteArray> lines = readAll(path).split('\n');
    QCOMPARE(lines.size(), 16);
    QCOMPARE(lines.at(0), QByteArray("Uk1h:41234.5"));
    QCOMPARE(lines.at(4), QByteArray("a42:0"));
    QCOMPARE(lines.at(8), QByteArray("b41:0"));
    QCOMPARE(lines.at(14), QByteArray("Pmax:1e+06"));
    QVERIFY(m_rig->pane()->toPlainText().endsWith(QStringLiteral("Порт не открыт!!\n")));

    // A path that cannot be opened writes nothing and leaves the next save working.
    emit m_rig->dialog()->saveToFile(m_dir.filePath(QStringLiteral("no/such/dir/p.txt")));
    emit m_rig->dialog()->saveToFile(path);
    QCOMPARE(readAll(path).split('\n').size(), 16);
}

void TestCalcDialog::recordWithNonNumbersNotLoaded()
{
    const QString good = m_dir.filePath(QStringLiteral("good.txt"));
    const QString bad = m_dir.filePath(QStringLiteral("bad.txt"));
    QFile g(good), b(bad);
    QVERIFY(g.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
    // A whole record, every one of its keys.
    QByteArray whole;
    for (int i = 0; i < ParametersFile::RecordSize; ++i)
        whole += QByteArray(ParametersFile::recordKey(i)) + ":1\n";
    g.write(whole);
    b.write(whole + "a42:nan\n");
    g.close();
    b.close();

    QVERIFY(m_rig->dialog()->readFromPath(good));
    QVERIFY(m_rig->w->deviceOps.recordLoaded());
    // A damaged file replaces the record it would have replaced: nothing
    // of either is written by the next download, and the window says why.
    m_rig->dialog()->readFromPath(bad);
    QVERIFY(!m_rig->w->deviceOps.recordLoaded());
    QVERIFY(m_rig->w->statusBar()->currentMessage().contains(QStringLiteral("«a42» (nan) не число")));

    // A file without every key fills the fields it names but is no record
    // to write whole: its missing values would go out as zeros.
    QVERIFY(m_rig->dialog()->readFromPath(good));
    QFile part(m_dir.filePath(QStringLiteral("part.txt")));
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write("Pmax:160000\na42:1e-09\n");
    part.close();
    QVERIFY(m_rig->dialog()->readFromPath(part.fileName()));
    QVERIFY(!m_rig->w->deviceOps.recordLoaded());
    QCOMPARE(m_rig->form()->lineEditCoefA42->text(), QStringLiteral("1e-09"));
    QVERIFY(m_rig->w->statusBar()->currentMessage().contains(QStringLiteral("В файле нет ключей: bal_IDAC")));
}

void TestCalcDialog::menuShowsDialog()
{
    QVERIFY(!m_rig->dialog()->isVisible());
    m_rig->w->ui->parWind->trigger();
    QVERIFY(m_rig->dialog()->isVisible());
    QCOMPARE(m_rig->dialog()->windowTitle(), QStringLiteral("Параметры прибора"));
    // A new calculation closes it first (here one whose folder choice is
    // cancelled).
    m_rig->w->calcDialogs.chooseCalibrationDir = [] { return QString(); };
    m_rig->w->ui->buttonFindCoefMNK->click();
    QVERIFY(!m_rig->dialog()->isVisible());
}

QTEST_MAIN(TestCalcDialog)
#include "tst_calcdialog.moc"
