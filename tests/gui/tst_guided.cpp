// The guided run through its window: opened from the menu over a connected
// and unlocked main window, the devices read from the checked poll rows,
// the plan refused or taken, the first requests answered with the buttons,
// the window closed mid-run and the run continued from its folder, and the
// batch ending with its report in text and PDF.

#include "common/guidedrig.h"

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "guided/guideddialog.h"
#include "history/historyrecorder.h"
#include "history/historystore.h"
#include "settings/benchprofile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace guidedrig;

class TestGuided : public QObject
{
    Q_OBJECT

private slots:
    void runThroughTheWindow();
    void damagedRunSaid();

private:
    GuidedDialog *openDialog(MainWindow *w)
    {
        QAction *action = w->findChild<QAction *>(QStringLiteral("actionGuidedRun"));
        if (!action || !w->ui->menu->actions().contains(action))
            return nullptr;
        action->trigger();
        return w->guidedDialog();
    }
};

void TestGuided::runThroughTheWindow()
{
    Bench bench;
    QVERIFY(bench.openLine());
    bench.add(1, Kind::TwoGauge, 1);
    bench.add(2, Kind::CapacitiveNear, 2);
    QTemporaryDir dir;
    const QString runDir = dir.filePath(QStringLiteral("lot7"));

    // The operator's batch name, kept in the history beside the run's id.
    BenchProfile::settings().setValue(QStringLiteral("history/batch"), QStringLiteral("партия 7"));
    const auto forget = qScopeGuard([] { BenchProfile::settings().remove(QStringLiteral("history/batch")); });
    MainWindow w;
    w.ui->comboBoxNamePort->setEditText(bench.line->portName());
    w.ui->buttonConnectPort->click();
    QVERIFY(w.hartLink()->isPortOpen());
    // Behind the lock: nothing opens.
    QAction *action = w.findChild<QAction *>(QStringLiteral("actionGuidedRun"));
    QVERIFY(action);
    action->trigger();
    QVERIFY(!w.guidedDialog());
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    w.pollPeriod = 20;
    w.pollTimeout = 300;
    w.pollRepeats = 2;
    for (int i = 0; i < 2; ++i) {
        w.pollChannels[i].enable->setChecked(true);
        w.pollChannels[i].address->setCurrentIndex(i + 1);
    }

    GuidedDialog *d = openDialog(&w);
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->windowModality(), Qt::WindowModal);
    d->folderEdit->setText(runDir);
    QVERIFY(!d->resumeButton->isEnabled());
    d->newButton->click();
    QTRY_COMPARE(d->pages->currentIndex(), 1);
    // What was read from each device.
    QCOMPARE(d->planDevices->rowCount(), 2);
    QCOMPARE(d->planDevices->item(0, 1)->text(), QStringLiteral("3920001"));
    QCOMPARE(d->planDevices->item(0, 2)->text(), QStringLiteral("ЛТ3920ДИ"));
    QCOMPARE(qobject_cast<QComboBox *>(d->planDevices->cellWidget(0, 3))->currentText(), QStringLiteral("2-тензо"));
    QCOMPARE(qobject_cast<QComboBox *>(d->planDevices->cellWidget(1, 3))->currentText(), QStringLiteral("емкостной"));

    // The temperatures, order and rules of an earlier run's plan.
    GuidedPlan earlier = GuidedPlan::defaults({});
    earlier.temperatures = {{CalibrationTemperature::Middle, 23}, {CalibrationTemperature::Low, -40},
                            {CalibrationTemperature::High, 80}};
    earlier.verifyTemperature = 0;
    earlier.points = {0, 50, 100};
    earlier.devices = {bench.planned(1, SensorModel::TwoGauge)};
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("old"))));
    QString why;
    QVERIFY(GuidedFiles::saveJson(GuidedFiles::planFile(dir.filePath(QStringLiteral("old"))), earlier.toJson(), &why));
    d->choosePlanFile = [&](const QString &) { return GuidedFiles::planFile(dir.filePath(QStringLiteral("old"))); };
    d->loadPlanButton->click();
    QCOMPARE(d->orderBox->currentText(), QStringLiteral("Tmid → Tmin → Tmax"));
    QCOMPARE(d->pointsEdit->text(), QStringLiteral("0; 50; 100"));
    QCOMPARE(d->verifyTemperature->currentText(), QStringLiteral("Tmid"));
    QCOMPARE(qobject_cast<QComboBox *>(d->planDevices->cellWidget(1, 3))->currentText(), QStringLiteral("емкостной"));

    // A field that does not take its text starts nothing.
    d->pointsEdit->setText(QStringLiteral("0; 2x; 100"));
    d->startButton->click();
    QVERIFY2(d->planNote->text().contains(QStringLiteral("План не принят: «Точки давления»")),
             qPrintable(d->planNote->text()));
    QVERIFY(!d->run());
    d->pointsEdit->setText(QStringLiteral("0; 25; 50,0; 75; 100"));
    d->operatorEdit->setText(QStringLiteral("Сидоров С.С."));
    d->startButton->click();
    QVERIFY(d->run());
    QCOMPARE(d->pages->currentIndex(), 2);
    QCOMPARE(d->requestLabel->text(), QStringLiteral("Установите температуру 23 °C в камере"));
    QCOMPARE(d->progressLabel->text(), QStringLiteral("Температура 1 из 3, точка 1 из 5, стабильны 0 из 2"));

    // The first two requests through the buttons.
    d->confirmButton->click();
    QVERIFY(d->requestLabel->text().startsWith(QStringLiteral("Подайте P+ = 0, P- = 0")));
    d->referenceEdit->setText(QStringLiteral("abc"));
    d->confirmButton->click();
    QCOMPARE(d->run()->phase(), GuidedPhase::SetPressure);
    QVERIFY(d->logView->toPlainText().contains(QStringLiteral("Показание не принято")));
    QVERIFY(w.messageLog()->toText().contains(QStringLiteral("Пошаговая калибровка: Показание не принято")));

    // The operator at the bench for the rest, until the window is closed
    // at the second temperature.
    bool closed = false;
    auto op = std::make_unique<Operator>(&bench, d->run());
    // Once the bench holds less than the point asks: the window names it
    // and offers the choices; set again, the point is taken.
    bool shorted = false;
    QString heldRequest;
    bool recordOffered = false;
    op->beforeConfirm = [&](GuidedRun *r) {
        if (r->isHeld() && heldRequest.isEmpty()) {
            heldRequest = d->requestLabel->text();
            recordOffered = d->recordHeldButton->isVisible() && d->referenceEdit->isEnabled();
            bench.line->device(1)->setBench(75, 75, 23);
            bench.line->device(2)->setBench(75, 0, 23);
            d->confirmButton->click();
            return false;
        }
        if (!shorted && r->phase() == GuidedPhase::SetPressure && r->cursor().temperature == 0 && r->cursor().point == 3) {
            shorted = true;
            bench.line->device(1)->setBench(60, 60, 23);
            bench.line->device(2)->setBench(60, 0, 23);
            d->referenceEdit->clear();   // "abc" of before
            d->confirmButton->click();
            return false;
        }
        if (r->phase() == GuidedPhase::SetTemperature && r->cursor().temperature == 1) {
            closed = true;
            return false;
        }
        return true;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(closed, qPrintable(d->requestLabel->text()), 60000);
    QVERIFY2(heldRequest.startsWith(QStringLiteral("Прибор 01: показания P+ соответствуют ≈60 кПа, задано 75 кПа — "
                                                   "проверьте давление в камере P+")),
             qPrintable(heldRequest));
    QVERIFY2(heldRequest.contains(QStringLiteral("Прибор 02: показания соответствуют ≈60 кПа, задано 75 кПа")),
             qPrintable(heldRequest));
    QVERIFY(recordOffered);
    QVERIFY(!d->recordHeldButton->isVisible());
    QCOMPARE(d->run()->cursor().devices[0].points, (std::array<int, 3>{0, 5, 0}));
    op.reset();
    d->close();
    QTRY_VERIFY(!w.guidedDialog());
    {
        // The program started again offers the run.
        MainWindow again;
        QTRY_VERIFY(again.ui->textEditStatus->toPlainText().contains(
            QStringLiteral("Незаконченный прогон пошаговой калибровки в папке %1").arg(runDir)));
    }

    d = openDialog(&w);
    QVERIFY(d);
    QCOMPARE(d->folderEdit->text(), runDir);
    QVERIFY(d->resumeButton->isEnabled());
    QVERIFY(!d->newButton->isEnabled());
    QVERIFY(d->folderNote->text().contains(QStringLiteral("незаконченный прогон")));
    d->resumeButton->click();
    QVERIFY(d->run());
    QCOMPARE(d->requestLabel->text(), QStringLiteral("Установите температуру −40 °C в камере"));
    op = std::make_unique<Operator>(&bench, d->run());
    QTRY_VERIFY_WITH_TIMEOUT(d->run()->phase() == GuidedPhase::Done, 120000);

    QCOMPARE(d->requestLabel->text(), QStringLiteral("Годны 2 из 2"));
    QVERIFY(d->logView->toPlainText().contains(QStringLiteral("Отчет партии в PDF: ") + d->run()->reportBase()));
    for (int r = 0; r < 2; ++r)
        QCOMPARE(d->deviceTable->item(r, 5)->text(), QStringLiteral("годен"));
    const QString base = d->run()->reportBase();
    QTRY_VERIFY(QFileInfo(base + QStringLiteral(".pdf")).size() > 1000);
    QVERIFY(QFileInfo(base + QStringLiteral(".txt")).size() > 1000);
    QVERIFY(!d->confirmButton->isEnabled());

    // The history holds each device's calculation, write and verification
    // under the run's batch; the write with the address and serial number.
    const QString batch = QStringLiteral("партия 7 (прогон %1)").arg(d->run()->cursor().batchId);
    const auto batchRows = [&] {
        HistoryStore store(QStringLiteral("check"));
        QVector<HistoryRow> mine;
        if (store.open(w.history()->config()) == HistoryStore::Status::Open)
            for (const HistoryRow &r : store.search(HistoryFilter()))
                if (r.batch == batch)
                    mine << r;
        return mine;
    };
    QTRY_COMPARE_WITH_TIMEOUT(batchRows().size(), 6, 20000);
    int verifications = 0, writes = 0;
    for (const HistoryRow &r : batchRows()) {
        QVERIFY2(r.ok, qPrintable(r.summary));
        QCOMPARE(r.operatorName, QStringLiteral("Сидоров С.С."));
        verifications += r.kind == HistoryRecord::Verification;
        writes += r.kind == HistoryRecord::Write;
    }
    QCOMPARE(verifications, 2);
    QCOMPARE(writes, 2);

    // The next run is proposed a folder of its own beside this one, with
    // this one's settings.
    d->close();
    QTRY_VERIFY(!w.guidedDialog());
    d = openDialog(&w);
    QVERIFY(d);
    QVERIFY(d->folderEdit->text() != runDir);
    QCOMPARE(QFileInfo(d->folderEdit->text()).path(), dir.path());
    QVERIFY(d->newButton->isEnabled());
    d->newButton->click();
    QTRY_COMPARE(d->pages->currentIndex(), 1);
    QVERIFY2(d->planNote->text().contains(QStringLiteral("Настройки взяты из прошлого прогона")),
             qPrintable(d->planNote->text()));
    QCOMPARE(d->pointsEdit->text(), QStringLiteral("0; 25; 50; 75; 100"));
    QCOMPARE(d->orderBox->currentText(), QStringLiteral("Tmid → Tmin → Tmax"));
    QCOMPARE(d->plausibleEdit->text(), QStringLiteral("5"));
}

// The last run's state damaged (a device index before the first): said in
// red with the file and the reason at start and in the window, which
// neither continues it nor lets a new run overwrite it.
void TestGuided::damagedRunSaid()
{
    Bench bench;
    QVERIFY(bench.openLine());
    bench.add(1, Kind::TwoGauge, 1);
    QTemporaryDir dir;
    const QString runDir = dir.filePath(QStringLiteral("lot8"));
    QString why;
    {
        protocolComHart link(nullptr, QStringLiteral("no-such-file"));
        GuidedLink guided(&link);
        GuidedRun run(&guided);
        QVERIFY(run.create(runDir, GuidedPlan::defaults({bench.planned(1, SensorModel::TwoGauge)}), &why));
    }
    QJsonObject state;
    QVERIFY(GuidedFiles::loadJson(GuidedFiles::stateFile(runDir), &state, &why));
    state[QStringLiteral("phase")] = QStringLiteral("calculating");
    state[QStringLiteral("calcDevice")] = -1;
    QVERIFY(GuidedFiles::saveJson(GuidedFiles::stateFile(runDir), state, &why));
    BenchProfile::settings().setValue(QStringLiteral("/Guided/lastRunDir"), runDir);
    const QString said = QStringLiteral("%1 и %2 не совпадают: поле «calcDevice» = -1")
                             .arg(QDir::toNativeSeparators(GuidedFiles::stateFile(runDir)),
                                  QDir::toNativeSeparators(GuidedFiles::planFile(runDir)));

    MainWindow w;
    QTRY_VERIFY(w.ui->textEditStatus->toPlainText().contains(
        QStringLiteral("Прогон пошаговой калибровки не может быть продолжен: файлы ") + said));
    w.ui->comboBoxNamePort->setEditText(bench.line->portName());
    w.ui->buttonConnectPort->click();
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    GuidedDialog *d = openDialog(&w);
    QVERIFY(d);
    QCOMPARE(d->folderEdit->text(), runDir);
    QVERIFY(!d->resumeButton->isEnabled());
    QVERIFY(!d->newButton->isEnabled());
    QVERIFY2(d->folderNote->text().contains(said), qPrintable(d->folderNote->text()));
    QVERIFY(!d->run());
}

QTEST_MAIN(TestGuided)
#include "tst_guided.moc"
