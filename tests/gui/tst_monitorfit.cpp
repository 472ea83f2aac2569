// The monitor's panels on the two small screens the window is used on, with
// the window at the size it opens with there (not maximised) and fresh
// settings, locked and unlocked, each panel shown alone and then all three
// together: every control of the panel whole (wrapped, never past its
// edges, never scrolled to), nothing scrolled across, the poll table with
// eight rows in view, the panels' tabs named whole, the window within the
// screen. The window is laid out for each screen size, with the font the
// desktop gives.
//
// TESMAR_FIT_SHOTS=<folder> also saves a picture of every state checked.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/screenfit.h"
#include "monitor/linemonitor.h"

#include "common/sandbox.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QtTest>
#include <qcustomplot.h>
#include <memory>

namespace {

// A control of the panel (or its plot) that is not whole in what the
// panel's scroll area shows: past its right edge, or only reached by
// scrolling down.
QWidget *controlCut(QDockWidget *dock)
{
    auto *scroll = qobject_cast<QScrollArea *>(dock->widget());
    const QRect shown = scroll->viewport()->rect();
    const QList<QWidget *> controls = scroll->widget()->findChildren<QWidget *>();
    for (QWidget *c : controls) {
        const bool control = qobject_cast<QAbstractButton *>(c) || qobject_cast<QComboBox *>(c)
                             || qobject_cast<QAbstractSpinBox *>(c) || qobject_cast<QLineEdit *>(c)
                             || qobject_cast<QCustomPlot *>(c);
        if (control && c->isVisible()
            && !shown.contains(QRect(c->mapTo(scroll->viewport(), QPoint(0, 0)), c->size())))
            return c;
    }
    return nullptr;
}

// Rows of the poll table the tabs' scroll area shows.
int pollRowsInView(MainWindow *w)
{
    QTableView *table = w->ui->tableView;
    QWidget *shown = w->lineMonitor()->centralScroll->viewport();
    if (!table->isVisible())
        return 0;
    const QRect rows(table->viewport()->mapTo(shown, QPoint(0, 0)), table->viewport()->size());
    return rows.intersected(shown->rect()).height() / (table->fontMetrics().height() + 6);
}

// A panel's tab whose name is cut short.
QString tabCut(QMainWindow *w)
{
    for (QTabBar *bar : w->findChildren<QTabBar *>(QString(), Qt::FindDirectChildrenOnly)) {
        // (A bar of one tab is a stale one the window keeps hidden away.)
        for (int i = 0; bar->isVisible() && bar->count() > 1 && i < bar->count(); ++i) {
            if (bar->tabRect(i).width() < bar->fontMetrics().horizontalAdvance(bar->tabText(i)) + 8)
                return bar->tabText(i);
        }
    }
    return QString();
}

// Taken before the checks, so that a state that fails is seen too; the
// layout is given a moment to settle first (pictures only).
void saveShot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("TESMAR_FIT_SHOTS");
    if (dir.isEmpty())
        return;
    QTest::qWait(300);
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

class TestMonitorFit : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void panelsFitTheScreen_data();
    void panelsFitTheScreen();

private:
    Sandbox m_sandbox;
};

void TestMonitorFit::panelsFitTheScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::newRow("1366x768") << QSize(1366, 768);
    QTest::newRow("1024x700") << QSize(1024, 700);
}

void TestMonitorFit::panelsFitTheScreen()
{
    QFETCH(QSize, screen);
    const QRect available(QPoint(0, 0), screen);
    ScreenFit::setAvailableAreaOverride(available);
    auto w = std::make_unique<MainWindow>();         // locked, as it starts
    w->ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    w->show();                                      // at the size it opens with
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QVERIFY(available.contains(w->frameGeometry()));
    LineMonitor *m = w->lineMonitor();
    QScrollArea *tabs = m->centralScroll;
    const QList<QDockWidget *> docks = m->docks();
    const QList<QList<QDockWidget *>> shown = {{m->trendDock}, {m->statsDock}, {m->logDock}, docks};
    const QString size = QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height());
    saveShot(w.get(), size + QStringLiteral("-opened"));

    for (const QString &password : {QString(), QStringLiteral("7391")}) {
        const QString lock = password.isEmpty() ? QStringLiteral("locked") : QStringLiteral("unlocked");
        w->ui->lineEditPassword->setText(password);
        for (const QList<QDockWidget *> &panels : shown) {
            for (QDockWidget *d : docks) {
                if (d->toggleViewAction()->isChecked() != panels.contains(d))
                    d->toggleViewAction()->trigger();
            }
            QTRY_VERIFY(m->docksSized);
            for (QDockWidget *d : panels) {
                d->raise();
                QTRY_VERIFY(d->isVisible());
                const QString what = lock + QLatin1Char(' ') + d->objectName();
                saveShot(w.get(), QStringLiteral("%1-%2-%3-of-%4").arg(size, lock, d->objectName())
                                      .arg(panels.size()));
                QVERIFY2(!d->isFloating(), qPrintable(what));
                QCOMPARE(w->dockWidgetArea(d), w->dockWidgetArea(panels.first()));
                QTRY_VERIFY2(!controlCut(d), qPrintable(what + QStringLiteral(": ")
                                                       + (controlCut(d) ? controlCut(d)->objectName()
                                                                        : QString())));
                QTRY_VERIFY2(pollRowsInView(w.get()) >= 8, qPrintable(what));
                QTRY_COMPARE(tabs->horizontalScrollBar()->maximum(), 0);
                QVERIFY2(available.contains(w->frameGeometry()), qPrintable(what));
            }
            // The panels' tabs name them whole, and in their tips.
            QTRY_VERIFY2(tabCut(w.get()).isEmpty(), qPrintable(tabCut(w.get())));
        }
        QStringList tips;
        for (QTabBar *bar : w->findChildren<QTabBar *>(QString(), Qt::FindDirectChildrenOnly)) {
            for (int i = 0; bar->isVisible() && bar->count() > 1 && i < bar->count(); ++i)
                tips << bar->tabToolTip(i);
        }
        QCOMPARE(tips, QStringList({QStringLiteral("Тренд"), QStringLiteral("Статистика линии"),
                                    QStringLiteral("Журнал обмена")}));
        // No panel open: the tabs are whole, not scrolled, where the screen
        // is tall enough for them (not the unlocked tabs on a 700 pixel one,
        // which scroll up and down rather than push the window past it).
        for (QDockWidget *d : docks)
            d->toggleViewAction()->trigger();
        if (password.isEmpty() || screen.height() > 700)
            QTRY_COMPARE(tabs->verticalScrollBar()->maximum(), 0);
        QTRY_COMPARE(tabs->horizontalScrollBar()->maximum(), 0);
        QTRY_VERIFY2(available.contains(w->frameGeometry()),
                     qPrintable(QStringLiteral("%1x%2").arg(w->frameGeometry().width())
                                    .arg(w->frameGeometry().height())));
    }
    ScreenFit::setAvailableAreaOverride(QRect());
}

// The desktop's font: the offscreen platform's own is larger.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    TestMonitorFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_monitorfit.moc"
