// The monitor's panels on the two small screens the window is used on, as
// the window opens with fresh settings, locked and unlocked: they open
// docked together, every control of each panel within its width, the tabs
// never scrolled across, the poll table with eight rows in view, the window
// within the screen. The window is laid out for each screen size, with the
// font the desktop gives.

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
#include <memory>

namespace {

QWidget *controlOutside(QDockWidget *dock)
{
    auto *scroll = qobject_cast<QScrollArea *>(dock->widget());
    const int width = scroll->viewport()->width();
    const QList<QWidget *> controls = scroll->widget()->findChildren<QWidget *>();
    for (QWidget *c : controls) {
        const bool control = qobject_cast<QAbstractButton *>(c) || qobject_cast<QComboBox *>(c)
                             || qobject_cast<QAbstractSpinBox *>(c) || qobject_cast<QLineEdit *>(c);
        if (control && c->isVisible() && c->mapTo(scroll->viewport(), QPoint(c->width(), 0)).x() > width)
            return c;
    }
    return nullptr;
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
    QTest::addColumn<int>("area");
    QTest::newRow("1366x768") << QSize(1366, 768) << int(Qt::RightDockWidgetArea);
    QTest::newRow("1024x700") << QSize(1024, 700) << int(Qt::BottomDockWidgetArea);
}

void TestMonitorFit::panelsFitTheScreen()
{
    QFETCH(QSize, screen);
    QFETCH(int, area);
    const QRect available(QPoint(0, 0), screen);
    ScreenFit::setAvailableAreaOverride(available);
    auto w = std::make_unique<MainWindow>();         // locked, as it starts
    w->ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
    w->setGeometry(available);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    LineMonitor *m = w->lineMonitor();
    QScrollArea *tabs = m->centralScroll;
    const QList<QDockWidget *> docks = {m->trendDock, m->statsDock, m->logDock};

    for (const QString &password : {QString(), QStringLiteral("7391")}) {
        w->ui->lineEditPassword->setText(password);
        // No panel open: the tabs are whole, not scrolled.
        for (QDockWidget *d : docks)
            d->hide();
        QTRY_COMPARE(tabs->verticalScrollBar()->maximum(), 0);
        QCOMPARE(tabs->horizontalScrollBar()->maximum(), 0);
        QVERIFY(available.contains(w->frameGeometry()));

        for (QDockWidget *d : docks)
            d->toggleViewAction()->trigger();
        QTRY_VERIFY(m->docksSized);
        for (QDockWidget *d : docks) {
            QVERIFY(!d->isFloating());
            QCOMPARE(int(w->dockWidgetArea(d)), area);
            QCOMPARE(w->tabifiedDockWidgets(d).size(), 2);
            d->raise();
            QTRY_VERIFY(d->isVisible());
            QTRY_VERIFY2(!controlOutside(d), qPrintable(d->objectName()));
        }
        // The panels' tabs, cut short or not, name them whole in their tips.
        QStringList tips;
        for (QTabBar *bar : w->findChildren<QTabBar *>(QString(), Qt::FindDirectChildrenOnly)) {
            for (int i = 0; i < bar->count(); ++i)
                tips << bar->tabToolTip(i);
        }
        QCOMPARE(tips, QStringList({QStringLiteral("Тренд"), QStringLiteral("Статистика линии"),
                                    QStringLiteral("Журнал обмена")}));
        QTRY_COMPARE(tabs->horizontalScrollBar()->maximum(), 0);
        QTableView *table = w->ui->tableView;
        QTRY_VERIFY(table->viewport()->height() >= 8 * (table->fontMetrics().height() + 6));
        QVERIFY(available.contains(w->frameGeometry()));
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
