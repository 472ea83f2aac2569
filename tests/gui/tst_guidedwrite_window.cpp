// A write cut in the guided run's window: the run continued from its folder
// at the calculation, the device whose line goes dead after two blocks
// shown in red with the blocks in it, the step not closed in green, what it
// held put back with "Вернуть прежние коэффициенты", and the run going on
// to verification without it.

#include "common/guidedwriterig.h"

#include "guided/guideddialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace guidedrig;

namespace {
// A click where the operator's would land: through the window system, at
// the widget's place in the dialog's window.
void clickAt(QWidget *window, QWidget *target, QPoint at = QPoint(-1, -1))
{
    if (at.x() < 0)
        at = target->rect().center();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, target->mapTo(window, at));
}
} // namespace

class TestGuidedWriteWindow : public QObject
{
    Q_OBJECT

private slots:
    void cutWriteUndone();
};

void TestGuidedWriteWindow::cutWriteUndone()
{
    QTemporaryDir dir;
    WriteRig rig;
    rig.runDir = dir.filePath(QStringLiteral("run"));
    QVERIFY(rig.prepare(GuidedPhase::Calculating));
    rig.device(1)->writesBeforeCut = 2;

    GuidedDialog::Setup setup;
    setup.periodMs = 20;
    setup.timeoutMs = 300;
    setup.folder = rig.runDir;
    setup.operatorName = QStringLiteral("Петров П.П.");
    GuidedDialog d(rig.bench.link.get(), setup);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.operatorEdit->text(), QStringLiteral("Петров П.П."));
    QSignalSpy writes(&d, &GuidedDialog::writeRecorded);
    QVERIFY(d.resumeButton->isEnabled());
    d.resumeButton->click();
    QVERIFY(d.run());
    connect(d.run(), &GuidedRun::changed, &d, [&d] {
        if (d.run()->phase() == GuidedPhase::ConfirmFit)
            QTimer::singleShot(0, &d, [&d] { d.confirmButton->click(); });
    });
    QTRY_VERIFY_WITH_TIMEOUT(d.run()->phase() == GuidedPhase::WriteReview && !d.run()->isWriting(), 30000);

    QCOMPARE(writes.size(), 2);
    const QString log = d.logView->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("Устройство 01 (зав. № 3920001) записано не полностью")), qPrintable(log));
    QVERIFY(!log.contains(QStringLiteral("Расчет и запись закончены: переходим к поверке")));
    QCOMPARE(d.requestLabel->text(), d.run()->request());
    QVERIFY2(d.deviceTable->item(0, 5)->text().contains(QStringLiteral("в приборе блоки: «Uk1h, Uk2h, U10, U20», «a42, a41, a40»")),
             qPrintable(d.deviceTable->item(0, 5)->text()));
    QCOMPARE(d.deviceTable->item(0, 5)->foreground().color(), QColor(Qt::red));
    QVERIFY(d.writeAgainButton->isEnabled());

    rig.device(1)->writesBeforeCut = -1;
    clickAt(&d, d.deviceTable->viewport(), d.deviceTable->visualItemRect(d.deviceTable->item(0, 0)).center());
    QCOMPARE(d.deviceTable->currentRow(), 0);
    QVERIFY(d.restoreButton->isEnabled());
    clickAt(&d, d.restoreButton);
    QVERIFY(!d.restoreButton->isEnabled());   // not twice at once
    QTRY_VERIFY(!d.run()->isWriting());
    QVERIFY(sameCoefficients(rig.device(1)->compensation(), rig.factory[0]));
    QCOMPARE(writes.size(), 3);
    QCOMPARE(d.deviceTable->item(0, 5)->text(), QStringLiteral("возвращены прежние коэффициенты"));
    QVERIFY2(d.logView->toPlainText().contains(QStringLiteral("Устройство 01 (зав. № 3920001): прежние коэффициенты "
                                                              "возвращены, записаны все 5 блоков")),
             qPrintable(d.logView->toPlainText()));

    clickAt(&d, d.confirmButton);
    QCOMPARE(d.run()->phase(), GuidedPhase::SetVerifyTemperature);
    QCOMPARE(d.deviceTable->item(0, 5)->text(), QStringLiteral("исключено: возвращены прежние коэффициенты"));
    QVERIFY(!d.writeAgainButton->isEnabled());
}

QTEST_MAIN(TestGuidedWriteWindow)
#include "tst_guidedwrite_window.moc"
