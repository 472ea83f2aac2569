// The calibration history from the main window: a calculation and the write
// of its coefficients to the virtual transmitter land in the database; the
// window, open while the interface is locked, finds them, shows a device's
// drift, opens a report and exports what it shows; an unreachable database
// is said in the status bar until the settings name one that works.

#include "ui_dialog.h"
#include "ui_mainwindow.h"
#include "calctestrig.h"
#include "common/historyrig.h"
#include "common/pointfilesrig.h"
#include "common/sandbox.h"

#include "app/operationprogress.h"
#include "devicedata/dumpdialog.h"
#include "ui_dumpdialog.h"
#include "history/historyrecorder.h"
#include "history/historysettingsdialog.h"
#include "history/historywindow.h"
#include "device/registermap.h"
#include "settings/benchprofile.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QLabel>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

class TestHistory : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_box.enter()); }
    void cleanup() { m_box.leave(); }
    void lockedWindowSearchesAndExports();
    void calculationAndWriteRecorded();
    void deviceDataWriteRecorded();
    void unreachableSaidUntilSettingsFixIt();
    void detailsAndKeptFiles();
    void refusedEventSaidOnce();

private:
    Sandbox m_box;
};

namespace {
QVector<HistoryRow> storedRows(const HistoryConfig &config)
{
    HistoryStore store(QStringLiteral("rows"));
    if (store.open(config) != HistoryStore::Status::Open)
        return {};
    HistoryFilter all;
    return store.search(all);
}
}

void TestHistory::lockedWindowSearchesAndExports()
{
    HistoryConfig config;
    config.sqlitePath = m_box.filePath(QStringLiteral("h.sqlite"));
    const QString report = m_box.filePath(QStringLiteral("dev_report.txt"));
    {
        QFile f(report);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("report");
        f.close();
        HistoryStore store(QStringLiteral("seed"));
        QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
        const QDateTime t0 = QDateTime::currentDateTimeUtc().addDays(-3);
        QVector<HistoryRecord> seed;
        for (int i = 0; i < 3; ++i) {
            CalculationEvent e = HistorySamples::calculation(i < 2 ? QStringLiteral("111") : QStringLiteral("222"),
                                                             t0.addDays(i), 1.5 + i * 0.25);
            e.files = {historyFile(QStringLiteral("Отчет"), report)};
            e.withinTarget = i != 1;
            seed << HistoryRecord::of(e);
            seed.last().uid = QStringLiteral("e%1").arg(i);
        }
        QVERIFY(store.writeAll(seed));
    }

    MainWindow w;
    w.history()->setConfig(config);
    QVERIFY(w.isInterfaceLocked());
    QVERIFY(w.ui->menuBar->isHidden());
    auto *open = w.findChild<QToolButton *>(QStringLiteral("pbShowHistory"));
    QVERIFY(open && open->isVisibleTo(&w) && open->isEnabled());
    open->click();
    HistoryWindow *h = w.historyWindow();
    QVERIFY(h->isVisible());
    QTRY_COMPARE(h->eventsModel()->rowCount(), 3);

    struct Case
    {
        QString serial;
        int result;
        int rows;
    };
    const Case cases[] = {{QStringLiteral("111"), HistoryFilter::AnyResult, 2},
                          {QStringLiteral("111"), HistoryFilter::NotOkOnly, 1},
                          {QString(), HistoryFilter::OkOnly, 2},
                          {QStringLiteral("11"), HistoryFilter::AnyResult, 0}};
    for (const Case &c : cases) {
        h->serialEdit()->setText(c.serial);
        h->resultBox()->setCurrentIndex(h->resultBox()->findData(c.result));
        QSignalSpy shown(h, &HistoryWindow::shown);
        h->search();
        QVERIFY(shown.wait());
        QCOMPARE(h->eventsModel()->rowCount(), c.rows);
    }

    // A device's calibrations oldest first, with the zero's drift.
    h->serialEdit()->setText(QStringLiteral("111"));
    h->resultBox()->setCurrentIndex(0);
    h->search();
    QTRY_COMPARE(h->eventsModel()->rowCount(), 2);
    h->eventsView()->selectRow(0);
    QTRY_COMPARE(h->deviceModel()->rowCount(), 2);
    QCOMPARE(h->deviceModel()->item(1, 4)->text(), QStringLiteral("+0.25"));

    QUrl opened;
    h->openUrl = [&opened](const QUrl &url) {
        opened = url;
        return true;
    };
    QSignalSpy failures(h, &HistoryWindow::failure);
    for (QPushButton *b : h->findChildren<QPushButton *>()) {
        if (b->text() == QStringLiteral("Открыть отчет"))
            b->click();
    }
    QTRY_COMPARE(opened, QUrl::fromLocalFile(report));
    QCOMPARE(failures.count(), 0);

    const QString csv = m_box.filePath(QStringLiteral("out.csv"));
    h->chooseCsvFile = [csv] { return csv; };
    for (QPushButton *b : h->findChildren<QPushButton *>()) {
        if (b->text().startsWith(QStringLiteral("Экспорт")))
            b->click();
    }
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 4);   // header, two rows, the end
    QVERIFY(lines[1].contains(";111;"));
}

void TestHistory::calculationAndWriteRecorded()
{
    CalcRig rig;
    QVERIFY(rig.start());
    rig.device->setF32(RegisterMap::MaxUpperLimit, 100000);
    MainWindow *w = rig.w.get();
    HistoryConfig config;
    config.sqlitePath = m_box.filePath(QStringLiteral("h.sqlite"));
    w->history()->setConfig(config);

    // The operator's name is a setting; a password typed there never is.
    w->historyDialogs.editSettings = [](HistorySettingsDialog *d) {
        d->operatorEdit()->setText(QStringLiteral("Петров"));
        d->passwordEdit()->setText(QStringLiteral("secret"));
        return true;
    };
    w->editHistorySettings();
    {
        QSettings s = BenchProfile::settings();
        QCOMPARE(s.value(QStringLiteral("history/operator")).toString(), QStringLiteral("Петров"));
        for (const QString &key : s.allKeys())
            QVERIFY2(s.value(key).toString() != QStringLiteral("secret"), qPrintable(key));
    }
    QCOMPARE(w->history()->config().sqlitePath, config.sqlitePath);

    QTemporaryDir dir;
    QVERIFY(writeTwoGaugePointFiles(dir.path(), QStringLiteral("dev")));
    w->calcDialogs.chooseCalibrationDir = [&dir] { return dir.path(); };
    w->calcDialogs.question = [](const QString &, const QString &) { return true; };
    w->ui->buttonFindCoefMNK->click();
    QTRY_VERIFY(rig.dialog()->isVisible());
    QTRY_COMPARE(storedRows(config).size(), 1);

    rig.form()->buttonDownLoad2Device->click();
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(config).size(), 2, 20000);

    HistoryStore store(QStringLiteral("check"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    const QVector<HistoryRow> rows = store.search(HistoryFilter());
    HistoryRecord calc, write;
    QVERIFY(store.load(rows[1].uid, &calc));
    QVERIFY(store.load(rows[0].uid, &write));
    QCOMPARE(int(calc.kind), int(HistoryRecord::Calculation));
    QCOMPARE(calc.context().operatorName, QStringLiteral("Петров"));
    QCOMPARE(calc.context().port, rig.line.portName());
    QCOMPARE(calc.calculation.pmaxPa, 100000.0);
    QCOMPARE(calc.calculation.coefficients.size(), 14);
    QCOMPARE(float(calc.calculation.coefficients[4].value), rig.device->f32(RegisterMap::A42));
    QCOMPARE(calc.calculation.files.size(), 4);
    for (const HistoryFile &f : calc.calculation.files)
        QCOMPARE(f.sha256, historyFileChecksum(QFile::decodeName(f.path)));
    QVERIFY(!calc.calculation.worstPoint.isEmpty());

    QCOMPARE(int(write.kind), int(HistoryRecord::Write));
    QCOMPARE(write.write.what, QStringLiteral("Коэффициенты расчета"));
    QCOMPARE(write.write.blockCount, 5);
    QCOMPARE(write.write.writtenCount, 5);
    QVERIFY(write.ok());

    // The guided run's verdict, with the window's context.
    VerificationEvent v;
    v.device = {calc.device().serial, QStringLiteral("ДД-100")};
    v.table = QStringLiteral("5 точек");
    v.accuracyClass = QStringLiteral("0,25");
    v.passed = false;
    w->recordVerificationHistory(v);
    QTRY_COMPARE(storedRows(config).size(), 3);
    HistoryRecord got;
    QVERIFY(store.load(storedRows(config).first().uid, &got));
    QCOMPARE(got.verification.accuracyClass, v.accuracyClass);
    QCOMPARE(got.context().operatorName, QStringLiteral("Петров"));
    QVERIFY(!got.ok());
}

// The device data dialog's write: one event with its block count; the read
// before it is no event.
void TestHistory::deviceDataWriteRecorded()
{
    CalcRig rig;
    QVERIFY(rig.start());
    MainWindow *w = rig.w.get();
    HistoryConfig config;
    config.sqlitePath = m_box.filePath(QStringLiteral("h.sqlite"));
    w->history()->setConfig(config);
    w->onDeviceMemoryDump();
    OperationProgress *progress = w->operationProgress();
    w->deviceDataDialog()->form()->pbDownloadFromDevice->click();
    QTRY_VERIFY_WITH_TIMEOUT(progress->state() == OperationProgress::State::Finished && progress->kind() == 51, 15000);
    QVERIFY(!progress->isPartial());
    w->deviceDataDialog()->form()->pbUploadToDevice->click();
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(config).size(), 1, 20000);

    HistoryStore store(QStringLiteral("check"));
    QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
    HistoryRecord r;
    QVERIFY(store.load(storedRows(config).first().uid, &r));
    QCOMPARE(r.write.what, QStringLiteral("Данные устройства"));
    QVERIFY(r.write.blockCount > 0);
    QCOMPARE(r.write.writtenCount, r.write.blockCount);
    QCOMPARE(r.write.outcome, progress->resultText());
    QVERIFY(r.ok());
    QCOMPARE(r.write.blocks.size(), r.write.blockCount);

    // Two blocks refused by the device: the event names them and is not whole.
    rig.device->respond.next = 2;
    rig.device->respondTo = {RegisterMap::CmdWriteRegisters};
    rig.device->responseCode = 7;
    w->deviceDataDialog()->form()->pbUploadToDevice->click();
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(config).size(), 2, 20000);
    QVERIFY(store.load(storedRows(config).first().uid, &r));
    QCOMPARE(r.write.refusedBlocks.size(), 2);
    QVERIFY2(r.write.blocks.contains(r.write.refusedBlocks.first()), qPrintable(r.write.refusedBlocks.first()));
    QVERIFY(!r.ok());
}

void TestHistory::unreachableSaidUntilSettingsFixIt()
{
    MainWindow w;
    HistoryConfig bad;
    QFile blocker(m_box.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    bad.sqlitePath = m_box.filePath(QStringLiteral("blocker/h.sqlite"));
    w.history()->setConfig(bad);
    for (int i = 0; i < 3; ++i)
        w.history()->record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("9"), QDateTime::currentDateTimeUtc())));
    auto *label = w.findChild<QLabel *>(QStringLiteral("labelHistoryQueue"));
    QVERIFY(label);
    QTRY_COMPARE(label->text(), QStringLiteral("История: 3 записи ждут базы"));
    QVERIFY(label->isVisibleTo(&w));
    // Why, said once with the first event that waits.
    const QString said = w.statusBar()->currentMessage();
    QVERIFY2(said.startsWith(QStringLiteral("История: 1 запись ждет базы: База истории недоступна")), qPrintable(said));

    // Settings that name no server, or a name no one can see whole, are
    // refused in the dialog.
    const struct
    {
        int engine;
        QString operatorName, said;
    } refused[] = {{1, QStringLiteral("Петров"), QStringLiteral("не указан сервер базы истории")},
                   {0, QStringLiteral("Пет\tров"), QStringLiteral("имя оператора или партии содержит управляющие символы")}};
    for (const auto &c : refused) {
        QString refusal;
        w.historyDialogs.editSettings = [&refusal, &c](HistorySettingsDialog *d) {
            d->engineBox()->setCurrentIndex(c.engine);
            d->hostEdit()->clear();
            d->operatorEdit()->setText(c.operatorName);
            d->accept();
            for (QLabel *l : d->findChildren<QLabel *>()) {
                if (l->text().startsWith(QStringLiteral("Не принято")))
                    refusal = l->text();
            }
            return d->result() == QDialog::Accepted;
        };
        w.editHistorySettings();
        QCOMPARE(refusal, QStringLiteral("Не принято: ") + c.said);
        QCOMPARE(int(w.history()->config().engine), int(HistoryConfig::Sqlite));
        QCOMPARE(w.history()->config().operatorName, QString());
    }

    // The built-in database of the data folder takes them.
    HistoryConfig good = bad;
    good.sqlitePath.clear();
    w.history()->setConfig(good);
    QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 10000);
    QCOMPARE(storedRows(good).size(), 3);
}

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(not readable)");
}
}

// The window tells a write's address and that no serial was read for it,
// and opens or saves a report from the copy the history keeps when the
// folder's file was overwritten since.
void TestHistory::detailsAndKeptFiles()
{
    HistoryConfig config;
    config.sqlitePath = m_box.filePath(QStringLiteral("h.sqlite"));
    const QString report = m_box.filePath(QStringLiteral("dev_report.txt"));
    const QByteArray original("Отчет о калибровке: первый прогон\n");
    {
        QFile f(report);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(original) == original.size());
    }
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addSecs(-60);
    CalculationEvent calc = HistorySamples::calculation(QStringLiteral("3920101"), t0);
    calc.files = {historyFile(QStringLiteral("Отчет"), report)};
    WriteEvent write;
    write.context = HistorySamples::context(t0.addSecs(10));
    write.address = 2;
    write.what = QStringLiteral("Коэффициенты расчета");
    write.blockCount = write.writtenCount = 5;
    QVector<HistoryRecord> seed{HistoryRecord::of(calc), HistoryRecord::of(write)};
    seed[0].uid = QStringLiteral("c");
    seed[1].uid = QStringLiteral("w");
    {
        HistoryStore store(QStringLiteral("seed"));
        QCOMPARE(int(store.open(config)), int(HistoryStore::Status::Open));
        QVERIFY(store.writeAll(seed));
    }
    QFile over(report);
    QVERIFY(over.open(QIODevice::WriteOnly) && over.write("второй прогон записал сюда свое") > 0);
    over.close();

    MainWindow w;
    w.history()->setConfig(config);
    w.showHistoryWindow();
    HistoryWindow *h = w.historyWindow();
    QTRY_COMPARE(h->eventsModel()->rowCount(), 2);
    QCOMPARE(h->eventsModel()->item(0, 2)->text(), QStringLiteral("не прочитан"));
    h->eventsView()->selectRow(1);
    QTRY_COMPARE(h->deviceModel()->rowCount(), 1);
    h->eventsView()->selectRow(0);
    QCOMPARE(h->deviceModel()->rowCount(), 0);   // not credited to the device shown before
    QTRY_VERIFY2(h->detailsView()->toPlainText().contains(QStringLiteral("Адрес: 02")),
                 qPrintable(h->detailsView()->toPlainText()));
    QVERIFY(h->detailsView()->toPlainText().contains(QStringLiteral("не был прочитан при записи")));
    h->eventsView()->selectRow(1);
    QTRY_VERIFY2(h->detailsView()->toPlainText().contains(QStringLiteral("копия хранится в истории")),
                 qPrintable(h->detailsView()->toPlainText()));

    QUrl opened;
    h->openUrl = [&opened](const QUrl &url) {
        opened = url;
        return true;
    };
    for (QPushButton *b : h->findChildren<QPushButton *>()) {
        if (b->text() == QStringLiteral("Открыть отчет"))
            b->click();
    }
    QTRY_VERIFY(opened.isValid());
    QCOMPARE(fileBytes(opened.toLocalFile()), original);
    QVERIFY2(h->statusText().contains(QStringLiteral("изменен; открыта копия из истории")), qPrintable(h->statusText()));

    const QString saveDir = m_box.filePath(QStringLiteral("saved"));
    QVERIFY(QDir().mkpath(saveDir));
    h->chooseSaveDir = [saveDir] { return saveDir; };
    h->findChild<QPushButton *>(QStringLiteral("pbHistorySaveKept"))->click();
    QTRY_VERIFY2(h->statusText().startsWith(QStringLiteral("Сохранено файлов из истории: 1")), qPrintable(h->statusText()));
    QCOMPARE(fileBytes(QDir(saveDir).filePath(QStringLiteral("dev_report.txt"))), original);
}

// An event the database refuses is said once in the status bar, with where
// it was put; the event after it is written and nothing waits.
void TestHistory::refusedEventSaidOnce()
{
    HistoryConfig config;
    config.sqlitePath = m_box.filePath(QStringLiteral("h.sqlite"));
    {
        HistoryStore make(QStringLiteral("make"));
        QCOMPARE(int(make.open(config)), int(HistoryStore::Status::Open));
    }
    QVERIFY(historyRefuseSerial(config));
    MainWindow w;
    w.history()->setConfig(config);
    QStringList said;
    connect(w.statusBar(), &QStatusBar::messageChanged, this, [&said](const QString &m) {
        if (m.startsWith(QStringLiteral("История: база отказалась")))
            said << m;
    });
    w.history()->record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("refuse-me"), QDateTime::currentDateTimeUtc())));
    w.history()->record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("5"), QDateTime::currentDateTimeUtc())));
    QTRY_COMPARE(storedRows(config).size(), 1);
    QTRY_COMPARE(said.size(), 1);
    QVERIFY2(said.first().contains(QStringLiteral("history-queue.jsonl.refused")), qPrintable(said.first()));
    w.history()->record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("6"), QDateTime::currentDateTimeUtc())));
    QTRY_COMPARE(storedRows(config).size(), 2);
    QCOMPARE(said.size(), 1);
    QVERIFY(w.findChild<QLabel *>(QStringLiteral("labelHistoryQueue"))->isHidden());
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
