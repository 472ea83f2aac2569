// The trend and the stability marks of the main window against virtual
// transmitters: the plot follows the poll rows, the marks follow the rule
// and the engineer's settings, bad input is refused visibly, the exports
// write what is shown.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "monitor/linemonitor.h"
#include "monitor/trafficlogview.h"
#include "monitor/trendview.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"
#include "pollingrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>
#include <memory>
#include <qcustomplot.h>

namespace {

struct Rig : PollingRig
{
    QString savePath;

    bool start(std::initializer_list<int> devices)
    {
        if (!open(devices))
            return false;
        monitor()->dialogs.saveFile = [this](const QString &, const QString &, const QString &) {
            return savePath;
        };
        return true;
    }

    LineMonitor *monitor() const { return w->lineMonitor(); }
    TrendView *trend() const { return monitor()->trend; }
    QCustomPlot *plot() const { return trend()->plot(); }
    QLabel *mark(int channel) const { return monitor()->marks.at(channel); }

    void showTrend()
    {
        w->show();
        monitor()->trendDock->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }

    void redraw() { trend()->refresh(monitor()->now(), true); }

    QVector<double> values(int graph) const
    {
        QVector<double> out;
        for (auto it = plot()->graph(graph)->data()->constBegin();
             it != plot()->graph(graph)->data()->constEnd(); ++it)
            out.append(it->value);
        return out;
    }

    void setThreshold(const QString &text)
    {
        trend()->thresholdEdit->setText(text);
        emit trend()->thresholdEdit->editingFinished();
    }
};

QSettings store()
{
    return QSettings(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
}

bool allEqual(const QVector<double> &v, double x)
{
    return !v.isEmpty() && std::all_of(v.begin(), v.end(), [x](double y) { return qFuzzyCompare(y, x); });
}

} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void trendFollowsPollRows();
    void stabilityMarksFollowTheRule();
    void silentDeviceLosesItsMark();
    void marksEarnedAgainAfter_data();
    void marksEarnedAgainAfter();
    void trendFollowsThePresentAndBreaksAtGaps();
    void trafficLogFollowsUnlessScrolledUp();
    void settingsRemembered();
    void refusedThreshold_data();
    void refusedThreshold();
    void exports_data();
    void exports();
    void openedFromAnyTabWhateverTheLock();
    void panelsRemembered();

private:
    Sandbox m_sandbox;
};

void TestMonitor::trendFollowsPollRows()
{
    Rig r;
    QVERIFY(r.start({1, 2, 5}));
    r.showTrend();
    r.channel(0, 1);
    r.channel(1, 2);
    r.channel(2, 5);
    r.channel(3, 9, false);
    QVERIFY(r.passes(3));
    r.trend()->quantityBox->setCurrentIndex(int(TrendQuantity::Var1));
    r.redraw();

    QCOMPARE(r.plot()->graphCount(), 3);
    QVERIFY(r.plot()->graph(0)->name().startsWith(QStringLiteral("1: 01")));
    QVERIFY(r.plot()->graph(2)->name().startsWith(QStringLiteral("3: 05")));
    QVERIFY(allEqual(r.values(0), 101));
    QVERIFY(allEqual(r.values(1), 102));
    QVERIFY(allEqual(r.values(2), 105));
    QCOMPARE(r.monitor()->trendStore->series(5)->answers(), qint64(3));

    // Unchecked and readdressed rows: the lines follow at once.
    r.channel(1, 2, false);
    r.w->pollChannels[0].address->setCurrentIndex(5);
    r.redraw();
    QCOMPARE(r.plot()->graphCount(), 2);
    QVERIFY(r.plot()->graph(0)->name().startsWith(QStringLiteral("1: 05")));
    QVERIFY(allEqual(r.values(0), 105));

    // Another quantity: the same answers' loop current, in its own unit.
    r.trend()->quantityBox->setCurrentIndex(int(TrendQuantity::Current));
    r.redraw();
    QVERIFY(allEqual(r.values(0), 9));
    QCOMPARE(r.trend()->thresholdUnit->text(), QStringLiteral("мА"));
    QCOMPARE(r.plot()->yAxis->label(), QStringLiteral("Ток, мА"));

    // Bad answers are not plotted.
    r.line.device(5)->corruptNextChecksum = true;
    QVERIFY(r.passes(1));
    // Rows 1 and 3 both poll device 5 now: one of its two answers was bad.
    QCOMPARE(r.monitor()->trendStore->series(5)->answers(), qint64(3 + 1));
}

void TestMonitor::stabilityMarksFollowTheRule()
{
    Rig r;
    QVERIFY(r.start({1, 2}));
    r.channel(0, 1);
    r.channel(1, 2);
    r.trend()->quantityBox->setCurrentIndex(int(TrendQuantity::Var1));
    r.trend()->stableCountBox->setValue(3);
    r.setThreshold(QStringLiteral("0,5"));
    const bool buttonEnabled = r.w->ui->buttonSetPressue->isEnabled();

    QVERIFY(r.passes(2));
    QCOMPARE(r.mark(0)->text(), QStringLiteral("2/…"));
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), false);

    QVERIFY(r.passes(1));
    QVERIFY(r.mark(0)->text().startsWith(QStringLiteral("✓")));
    QVERIFY(r.mark(1)->text().startsWith(QStringLiteral("✓")));
    QVERIFY(r.mark(2)->text().isEmpty());       // unchecked row: no mark
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), true);
    QVERIFY(r.trend()->summaryLabel->text().startsWith(QStringLiteral("Стабильно")));

    // A step of 0.75 on device 2 stays in its last three answers for two more passes.
    r.line.device(2)->variables[0] += 0.75f;
    for (int pass = 0; pass < 2; ++pass) {
        QVERIFY(r.passes(1));
        QVERIFY2(r.mark(1)->text().startsWith(QStringLiteral("± 0.75")), qPrintable(r.mark(1)->text()));
        QVERIFY(r.mark(0)->text().startsWith(QStringLiteral("✓")));
        QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), false);
    }
    QVERIFY(r.passes(1));
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), true);

    // A larger threshold takes effect at once, without new answers.
    r.line.device(1)->variables[0] += 2.0f;
    QVERIFY(r.passes(1));
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), false);
    r.setThreshold(QStringLiteral("2.5"));
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), true);

    // Advice only: the button is as usable as before.
    QCOMPARE(r.w->ui->buttonSetPressue->isEnabled(), buttonEnabled);
}

void TestMonitor::silentDeviceLosesItsMark()
{
    Rig r;
    QVERIFY(r.start({1, 2}));
    r.channel(0, 1);
    r.channel(1, 2);
    r.trend()->stableCountBox->setValue(2);
    r.setThreshold(QStringLiteral("0.1"));
    QVERIFY(r.passes(2));
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), true);

    r.line.device(2)->silentFor = 1000000;
    r.w->ui->buttonFunction3Loop->click();
    QTRY_COMPARE_WITH_TIMEOUT(r.mark(1)->text(), QStringLiteral("нет ответа"), 10000);
    QCOMPARE(r.w->ui->buttonSetPressue->property("stable").toBool(), false);
    QVERIFY(r.mark(0)->text().startsWith(QStringLiteral("✓")));
    r.w->ui->buttonStopRequstFunc3->click();
}

void TestMonitor::marksEarnedAgainAfter_data()
{
    QTest::addColumn<QString>("event");
    QTest::newRow("poll stopped") << "stop";
    QTest::newRow("line lost and connected again") << "lost";
    QTest::newRow("port closed and connected again") << "closed";
}

void TestMonitor::marksEarnedAgainAfter()
{
    QFETCH(QString, event);
    Rig r;
    QVERIFY(r.start({1, 2}));
    QVERIFY(r.line.createLink(m_sandbox.filePath(QStringLiteral("ttyHART"))));
    r.w->ui->buttonClosePort->click();
    r.w->ui->comboBoxNamePort->setEditText(r.line.linkPath());
    r.w->ui->buttonConnectPort->click();
    QVERIFY(r.w->hartLink()->isPortOpen());
    r.channel(0, 1);
    r.channel(1, 2);
    r.trend()->stableCountBox->setValue(2);
    r.setThreshold(QStringLiteral("1"));
    auto stable = [&r] { return r.w->ui->buttonSetPressue->property("stable").toBool(); };

    r.w->ui->buttonFunction3Loop->click();
    QTRY_VERIFY_WITH_TIMEOUT(stable(), 5000);
    if (event == QLatin1String("stop")) {
        r.w->ui->buttonStopRequstFunc3->click();
    } else if (event == QLatin1String("lost")) {
        QSignalSpy lost(r.w->hartLink(), &protocolComHart::lineLost);
        r.line.vanish();
        QVERIFY(lost.wait(5000));
    } else {
        r.w->ui->buttonClosePort->click();
    }
    // Nothing measured before counts: every mark and the button's cleared.
    QVERIFY(!stable());
    QVERIFY(r.mark(0)->text().isEmpty());
    QVERIFY(r.mark(1)->text().isEmpty());
    if (event == QLatin1String("lost"))
        QVERIFY(r.line.reappear());
    if (!r.w->hartLink()->isPortOpen()) {
        r.w->ui->buttonConnectPort->click();
        QVERIFY(r.w->hartLink()->isPortOpen());
    }
    QTRY_VERIFY(!r.w->hartLink()->isBusy());
    QVERIFY(r.passes(1));
    QCOMPARE(r.mark(0)->text(), QStringLiteral("1/…"));
    QVERIFY(!stable());
    QVERIFY(r.passes(1));
    QVERIFY(r.mark(0)->text().startsWith(QStringLiteral("✓")));
    QVERIFY(stable());
}

void TestMonitor::trendFollowsThePresentAndBreaksAtGaps()
{
    Rig r;
    QVERIFY(r.start({1}));
    r.showTrend();
    r.channel(0, 1);
    QVERIFY(r.passes(3));
    // A click into the plot leaves it on the present.
    QTest::mouseClick(r.plot(), Qt::LeftButton, {}, r.plot()->rect().center());
    QVERIFY(r.trend()->isFollowing());
    r.redraw();
    QVERIFY(qAbs(r.plot()->xAxis->range().upper * 1000 - r.monitor()->now()) < 1000);

    // A silence longer than the marks allow breaks the line.
    const auto breaks = [&r] {
        const QVector<double> v = r.values(0);
        return int(std::count_if(v.begin(), v.end(), [](double y) { return std::isnan(y); }));
    };
    QCOMPARE(breaks(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(r.mark(0)->text(), QStringLiteral("нет ответа"), 10000);
    QVERIFY(r.passes(1));
    r.redraw();
    QCOMPARE(breaks(), 1);
}

void TestMonitor::trafficLogFollowsUnlessScrolledUp()
{
    Rig r;
    QVERIFY(r.start({1}));
    r.w->show();
    r.monitor()->logDock->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.w.get()));
    r.channel(0, 1);
    TrafficLogView *log = r.monitor()->log;
    QScrollBar *bar = log->table->verticalScrollBar();
    auto atBottom = [bar] { return bar->maximum() > 0 && bar->value() == bar->maximum(); };
    QVERIFY(r.passes(30));
    QTRY_VERIFY(atBottom());

    // Scrolled up to read: new frames leave the view where it is.
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QVERIFY(!log->isFollowing());
    QVERIFY(r.passes(5));
    log->refresh();
    QCOMPARE(bar->value(), 0);

    // Back at the bottom: it follows again.
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    QVERIFY(log->isFollowing());
    const int before = bar->maximum();
    QVERIFY(r.passes(5));
    log->refresh();
    QVERIFY(bar->maximum() > before);
    QVERIFY(atBottom());
}

void TestMonitor::settingsRemembered()
{
    {
        Rig r;
        QVERIFY(r.start({}));
        r.trend()->quantityBox->setCurrentIndex(int(TrendQuantity::Var3));
        r.trend()->windowBox->setCurrentIndex(8);
        r.trend()->stableCountBox->setValue(17);
        r.setThreshold(QStringLiteral("0,125"));
        r.w->ui->checkBoxCapacitor->setChecked(true);   // its own thresholds
        QCOMPARE(r.trend()->thresholdEdit->text(), QStringLiteral("0.1"));
        r.setThreshold(QStringLiteral("3"));
        r.w->ui->checkBoxCapacitor->setChecked(false);
        QCOMPARE(r.trend()->thresholdEdit->text(), QStringLiteral("0.125"));
    }
    QSettings s = store();
    QCOMPARE(s.value(QStringLiteral("/Monitor/StableCount")).toInt(), 17);
    QCOMPARE(s.value(QStringLiteral("/Monitor/Threshold_3")).toDouble(), 0.125);
    QCOMPARE(s.value(QStringLiteral("/Monitor/ThresholdCapacitor_3")).toDouble(), 3.0);

    MainWindow w;
    TrendView *t = w.lineMonitor()->trend;
    QCOMPARE(t->quantity(), TrendQuantity::Var3);
    QCOMPARE(t->windowBox->currentIndex(), 8);
    QCOMPARE(t->stableCountBox->value(), 17);
    QCOMPARE(t->thresholdEdit->text(), QStringLiteral("0.125"));
}

void TestMonitor::refusedThreshold_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "abc";
    QTest::newRow("negative") << "-0.5";
    QTest::newRow("two separators") << "0.5,1";
    QTest::newRow("empty") << "";
}

void TestMonitor::refusedThreshold()
{
    QFETCH(QString, text);
    Rig r;
    QVERIFY(r.start({}));
    r.setThreshold(QStringLiteral("0.25"));
    r.setThreshold(text);
    QVERIFY2(r.w->statusBar()->currentMessage().contains(QStringLiteral("Порог стабильности не изменён")),
             qPrintable(r.w->statusBar()->currentMessage()));
    QCOMPARE(r.trend()->thresholdEdit->text(), QStringLiteral("0.25"));
    QCOMPARE(store().value(QStringLiteral("/Monitor/Threshold_1")).toDouble(), 0.25);
}

void TestMonitor::exports_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("goodPath");
    QTest::newRow("csv") << "csv" << true;
    QTest::newRow("png") << "png" << true;
    QTest::newRow("csv into no folder") << "csv" << false;
    QTest::newRow("png into no folder") << "png" << false;
}

void TestMonitor::exports()
{
    QFETCH(QString, kind);
    QFETCH(bool, goodPath);
    Rig r;
    QVERIFY(r.start({3, 4}));
    r.showTrend();
    r.channel(0, 3);
    r.channel(1, 4);
    QVERIFY(r.passes(4));
    r.redraw();
    r.savePath = m_sandbox.filePath(goodPath ? QStringLiteral("out.") + kind
                                             : QStringLiteral("missing/out.") + kind);
    (kind == QLatin1String("csv") ? r.trend()->csvButton : r.trend()->pngButton)->click();

    const QString message = r.w->statusBar()->currentMessage();
    if (!goodPath) {
        QVERIFY2(message.contains(QStringLiteral("не сохранён")), qPrintable(message));
        QVERIFY(!QFile::exists(r.savePath));
        return;
    }
    QVERIFY2(message.contains(QStringLiteral("сохранён")), qPrintable(message));
    if (kind == QLatin1String("png")) {
        QImage image(r.savePath);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), r.plot()->size());
        return;
    }
    QFile f(r.savePath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 1 + 8);      // heading, four answers of two devices
    int device3 = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        QCOMPARE(fields.size(), 5);
        if (fields[3] == "03") {
            QCOMPARE(fields[4], QByteArray("103"));
            ++device3;
        }
    }
    QCOMPARE(device3, 4);
}

void TestMonitor::openedFromAnyTabWhateverTheLock()
{
    Rig r;
    QVERIFY(r.start({}));
    r.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.w.get()));
    r.w->ui->lineEditPassword->setText(QString());      // locked: no menu bar
    QVERIFY(r.w->isInterfaceLocked());
    QToolBar *bar = r.monitor()->toolBar;
    QVERIFY(bar->isVisible());
    QAction *trend = r.monitor()->trendDock->toggleViewAction();
    QVERIFY(bar->actions().contains(trend));
    for (int tab = 0; tab < r.w->ui->tabWidget->count(); ++tab) {
        r.w->ui->tabWidget->setCurrentIndex(tab);
        trend->trigger();
        QTRY_VERIFY(r.monitor()->trendDock->isVisible());
        trend->trigger();
        QTRY_VERIFY(!r.monitor()->trendDock->isVisible());
    }
    // The poll rows' marks stay in view when locked.
    r.w->ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    r.channel(0, 1);
    QVERIFY(r.mark(0)->isVisible());
}

void TestMonitor::panelsRemembered()
{
    {
        Rig r;
        QVERIFY(r.start({}));
        r.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(r.w.get()));
        r.monitor()->trendDock->toggleViewAction()->trigger();
        r.monitor()->logDock->toggleViewAction()->trigger();
        QTRY_VERIFY(r.monitor()->logDock->isVisible());
        r.monitor()->logDock->close();      // its own close button
        QTRY_VERIFY(!r.monitor()->logDock->isVisible());
        r.w->close();                       // the window going away hides nothing for good
    }
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.lineMonitor()->trendDock->toggleViewAction()->isChecked());
    QVERIFY(!w.lineMonitor()->logDock->toggleViewAction()->isChecked());
    QVERIFY(!w.lineMonitor()->statsDock->toggleViewAction()->isChecked());
}

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
