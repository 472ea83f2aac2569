// The three coefficient field groups of the range-settings and
// indirect-calculation tabs against a virtual transmitter: reads fill the
// receive column and colour it, writes land in the device's memory with the
// field conversions, write answers colour the set column, and the parameters
// file save chain runs from one read to the next.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "devicebench.h"

#include "device/coefficientgroup.h"

#include <QtTest>

using namespace bench;

class TestCoefGroups : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void kdspRead();
    void coefRead();
    void akRead();
    void kdspWrite();
    void zeroBalanceClampedBelow();
    void coefWriteBadChecksum();
    void akWrite();
    void emptySetColumn();
    void clearButtons_data();
    void clearButtons();
    void saveChain();

private:
    Sandbox m_sandbox;
};

namespace {
QLineEdit *field(DeviceBench &b, const QString &name)
{
    return b.widget<QLineEdit>(name);
}
}

void TestCoefGroups::kdspRead()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    b.device->setU8(0x0015, 200);
    b.device->setF32(0x0124, 1.25f);
    for (int k = 0; k <= 10; ++k)
        b.device->setF32(uint16_t(0x0128 + 4 * k), 0.5f + k);
    // Whatever the column showed before is cleared by the read.
    field(b, "kdsp4_recvEdit")->setText(QStringLiteral("stale"));
    field(b, "kdsp4_recvEdit")->setPalette(b.w().paletteFailure);

    b.ui()->kdsp_getButton->click();
    QCOMPARE(field(b, "kdsp4_recvEdit")->text(), QString());
    QCOMPARE(baseColour(field(b, "kdsp4_recvEdit")), QColor(Qt::white));
    const CoefficientGroup &g = CoefficientGroup::kdsp();
    QTRY_COMPARE(field(b, g.entries().last().receiveField)->text(), QStringLiteral("10.5"));
    QCOMPARE(field(b, "idaczero_recvEdit")->text(), QStringLiteral("200"));
    QCOMPARE(field(b, "idaccoef_recvEdit")->text(), QStringLiteral("1.25"));
    for (int k = 0; k <= 10; ++k)
        QCOMPARE(field(b, QStringLiteral("kdsp%1_recvEdit").arg(k))->text(), QString::number(0.5 + k));
    for (const CoefficientGroup::Entry &e : g.entries())
        QCOMPARE(baseColour(field(b, e.receiveField)), QColor(Qt::green));
    // Three reads: the current block, then the two float blocks.
    QCOMPARE(b.device->commandsSeen.size(), 3);
    QCOMPARE(b.device->commandsSeen.at(1).toHex(), QByteArray("33012418"));
}

void TestCoefGroups::coefRead()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const CoefficientGroup &g = CoefficientGroup::coef();
    for (int i = 0; i < g.size(); ++i)
        b.device->setF32(g.entries().at(i).reg, -1.5f * (i + 1));

    b.ui()->coef_getButton->click();
    QTRY_COMPARE(field(b, "coef_t40_recvEdit")->text(), QString::number(-1.5 * 13));
    for (int i = 0; i < g.size(); ++i) {
        QLineEdit *f = field(b, g.entries().at(i).receiveField);
        QCOMPARE(f->text(), QString::number(-1.5 * (i + 1)));
        QCOMPARE(baseColour(f), QColor(Qt::green));
    }
    // c43 sits between b40 and c42 in the group, away from its register.
    QCOMPARE(field(b, "coef_c43_recvEdit")->text(), QStringLiteral("-10.5"));
}

void TestCoefGroups::akRead()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const float values[] = {0.001f, -2.5f, 3e-9f, 12345.6f, -100.0f, 100.0f};
    for (int i = 0; i < 6; ++i)
        b.device->setF32(uint16_t(0x0190 + 4 * i), values[i]);

    b.ui()->ak_getButton->click();
    QTRY_COMPARE(field(b, "valueKmax_recvEdit")->text(), QStringLiteral("100"));
    const char *names[] = {"ak0", "ak1", "ak2", "ak3", "valueKmin", "valueKmax"};
    const char *shown[] = {"0.001", "-2.5", "3e-09", "12345.6", "-100", "100"};
    for (int i = 0; i < 6; ++i) {
        QLineEdit *f = field(b, QLatin1String(names[i]) + QLatin1String("_recvEdit"));
        QCOMPARE(f->text(), QString::fromLatin1(shown[i]));
        QCOMPARE(baseColour(f), QColor(Qt::green));
    }
    // One read of the whole block.
    QCOMPARE(b.device->commandsSeen.size(), 1);
}

void TestCoefGroups::kdspWrite()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    b.device->setF32(0x0134, 77.0f);   // kdsp3: must stay
    field(b, "idaczero_setEdit")->setText(QStringLiteral("255"));
    field(b, "idaccoef_setEdit")->setText(QStringLiteral("1,5"));
    field(b, "kdsp3_setEdit")->setText(QStringLiteral(""));
    field(b, "kdsp3_setEdit")->setPalette(b.w().paletteSuccess);
    field(b, "kdsp10_setEdit")->setText(QStringLiteral("  -2.25e-3"));

    StderrCapture err;
    b.ui()->kdsp_setButton->click();
    QCOMPARE(baseColour(field(b, "kdsp3_setEdit")), QColor(Qt::white));
    QCOMPARE(b.w().hartLink()->period(), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(b.device->f32(0x0150), -2.25e-3f, 10000);
    QCOMPARE(int(b.device->u8(0x0015)), 255);
    QCOMPARE(b.device->f32(0x0124), 1.5f);
    QCOMPARE(b.device->f32(0x0134), 77.0f);
    QTRY_COMPARE(baseColour(field(b, "kdsp10_setEdit")), QColor(Qt::green));
    QCOMPARE(baseColour(field(b, "idaczero_setEdit")), QColor(Qt::green));
    QCOMPARE(baseColour(field(b, "idaccoef_setEdit")), QColor(Qt::green));
    QCOMPARE(baseColour(field(b, "kdsp3_setEdit")), QColor(Qt::white));
    QVERIFY(!err.text().contains("onKdspSet:Conversion error\n"));
    // One byte for the zero balance, a float for every other register.
    QCOMPARE(b.device->commandsSeen.first().toHex(), QByteArray("5b0015ff"));
    QCOMPARE(b.device->commandsSeen.size(), 3);
}

void TestCoefGroups::zeroBalanceClampedBelow()
{
    // A zero balance outside 0..255 is no longer clamped into it: it is
    // refused, with the field red and the diagnostic, and nothing is sent.
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    b.device->setU8(0x0015, 9);
    field(b, "idaczero_setEdit")->setText(QStringLiteral("-5"));
    field(b, "kdsp0_setEdit")->setText(QStringLiteral("1"));
    StderrCapture err;
    b.ui()->kdsp_setButton->click();
    QCOMPARE(baseColour(field(b, "idaczero_setEdit")), QColor(Qt::red));
    QCOMPARE(baseColour(field(b, "kdsp0_setEdit")), QColor(Qt::white));
    QCOMPARE(err.text().count("onKdspSet:Conversion error\n"), 1);
    QVERIFY(!b.w().isBusy());
    QTest::qWait(100);
    QVERIFY(b.device->commandsSeen.isEmpty());
    QCOMPARE(int(b.device->u8(0x0015)), 9);
}

void TestCoefGroups::coefWriteBadChecksum()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    field(b, "coef_c43_setEdit")->setText(QStringLiteral("3.5"));
    field(b, "coef_t40_setEdit")->setText(QStringLiteral("-1e-7"));
    b.device->corruptNextChecksum = true;

    b.ui()->coef_setButton->click();
    QCOMPARE(b.w().hartLink()->period(), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(b.device->f32(0x0120), -1e-7f, 8000);
    QCOMPARE(b.device->f32(0x0154), 3.5f);
    QTRY_COMPARE(baseColour(field(b, "coef_t40_setEdit")), QColor(Qt::green));
    // The device wrote it, but the answer did not prove it.
    QCOMPARE(baseColour(field(b, "coef_c43_setEdit")), QColor(Qt::red));
}

void TestCoefGroups::akWrite()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const char *names[] = {"ak0", "ak1", "ak2", "ak3", "valueKmin", "valueKmax"};
    const char *texts[] = {"0.5", "-1e3", "", "2,75", "-40", "1e2"};
    const float values[] = {0.5f, -1000.0f, 0.0f, 2.75f, -40.0f, 100.0f};
    b.device->setF32(0x0198, 9.0f);
    for (int i = 0; i < 6; ++i)
        field(b, QLatin1String(names[i]) + QLatin1String("_setEdit"))->setText(QLatin1String(texts[i]));

    b.ui()->ak_setButton->click();
    // The polynomial group keeps the program's own poll period.
    QCOMPARE(b.w().hartLink()->period(), 20);
    QTRY_COMPARE(b.device->f32(0x01A4), 100.0f);
    for (int i = 0; i < 6; ++i)
        if (i != 2)
            QCOMPARE(b.device->f32(uint16_t(0x0190 + 4 * i)), values[i]);
    QCOMPARE(b.device->f32(0x0198), 9.0f);
    QTRY_COMPARE(baseColour(field(b, "valueKmax_setEdit")), QColor(Qt::green));
    QCOMPARE(baseColour(field(b, "ak2_setEdit")), QColor(Qt::white));
}

void TestCoefGroups::emptySetColumn()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    StderrCapture err;
    b.ui()->coef_setButton->click();
    QVERIFY(err.text().contains("Requests quene is empty\n"));
    // Nothing was sent, so nothing would ever release a lock.
    QVERIFY(!b.w().isBusy());
    QVERIFY(b.ui()->coef_setButton->isEnabled());
    QCOMPARE(b.w().hartLink()->queueSize(), 0);
}

void TestCoefGroups::clearButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("receive");
    QTest::newRow("kdsp receive") << "kdsp_clearButton_req" << 36 << true;
    QTest::newRow("kdsp set") << "kdsp_clearButton_set" << 36 << false;
    QTest::newRow("coef receive") << "coef_clearButton_req" << 38 << true;
    QTest::newRow("coef set") << "coef_clearButton_set" << 38 << false;
    QTest::newRow("ak receive") << "ak_clearButton_req" << 45 << true;
    QTest::newRow("ak set") << "ak_clearButton_set" << 45 << false;
}

void TestCoefGroups::clearButtons()
{
    QFETCH(QString, button);
    QFETCH(int, code);
    QFETCH(bool, receive);

    DeviceBench b;
    QVERIFY(b.start(false).isEmpty());
    const CoefficientGroup *g = CoefficientGroup::forOperation(code);
    for (const CoefficientGroup::Entry &e : g->entries())
        for (const QString &name : {e.receiveField, e.setField}) {
            field(b, name)->setText(QStringLiteral("1"));
            field(b, name)->setPalette(b.w().paletteSuccess);
        }

    b.widget<QAbstractButton>(button)->click();
    for (const CoefficientGroup::Entry &e : g->entries()) {
        QLineEdit *cleared = field(b, receive ? e.receiveField : e.setField);
        QLineEdit *kept = field(b, receive ? e.setField : e.receiveField);
        QCOMPARE(cleared->text(), QString());
        QCOMPARE(baseColour(cleared), QColor(Qt::white));
        QCOMPARE(kept->text(), QStringLiteral("1"));
        QCOMPARE(baseColour(kept), QColor(Qt::green));
    }
}

void TestCoefGroups::saveChain()
{
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    sim::VirtualDevice *d = b.device;
    d->setU8(0x0015, 201);
    d->setU8(0x0017, 0xFF);
    d->setF32(0x0124, 0.75f);
    for (int k = 0; k <= 10; ++k)
        d->setF32(uint16_t(0x0128 + 4 * k), float(k));
    d->setF32(0x005A, 2.5f);
    d->setU32(0x003A, 123456);
    d->setU16(0x00F6, 4);
    d->setU16(0x00F8, 3);

    QFile file(m_sandbox.path() + QStringLiteral("/params.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write("Pmax:1\n");
    b.w().deviceOps.beginSaveChain(&file);
    b.w().onKdspRequest();
    QTRY_VERIFY(!b.w().deviceOps.saveChainActive());
    QVERIFY(!file.isOpen());

    QFile back(file.fileName());
    QVERIFY(back.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(back.readAll());
    QString expected = QStringLiteral("Pmax:1\nbal_IDAC:201\nItenzo:-1\nKsi:0.75\n");
    for (int k = 0; k <= 10; ++k)
        expected += QStringLiteral("Kdsp%1:%1\n").arg(k);
    expected += QStringLiteral("bal_dP:2.500000\nserial:123456\nmodel_name:ЛТ3920ДВ\nmodel_code:3\n");
    QCOMPARE(text, expected);
    // The values went to the file, not to the fields.
    QCOMPARE(field(b, "kdsp0_recvEdit")->text(), QString());
    QCOMPARE(b.ui()->leGetSerial->text(), QString());
}

QTEST_MAIN(TestCoefGroups)
#include "tst_coefgroups.moc"
