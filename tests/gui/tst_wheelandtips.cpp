// Small things that cost real mistakes: the wheel changes only the field the
// engineer has put the focus on (over any other it scrolls the page), a cut
// text shows whole in its tool tip, the save mark is drawn whatever fonts
// are installed.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/elidinglabel.h"
#include "app/markglyphs.h"
#include "app/wheelguard.h"

#include "common/platforminput.h"
#include "common/sandbox.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>
#include <qcustomplot.h>

namespace {

// The wheel turned over the middle of `w` as the desktop delivers it: Qt
// gives the focus to whatever takes it by the wheel before anything else.
// The point must really be over `w` in its window.
bool turnWheel(QWidget *w)
{
    QWidget *top = w->window();
    QWidget *under = top->childAt(w->mapTo(top, w->rect().center()));
    if (under != w && !w->isAncestorOf(under))
        return false;
    PlatformInput::wheel(w);
    return true;
}

// Brings `w` into view: its tab current, every scroll area around it
// scrolled to it.
void bringIntoView(QTabWidget *tabs, QWidget *w)
{
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(w))
            tabs->setCurrentIndex(i);
    }
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        if (auto *area = qobject_cast<QScrollArea *>(p))
            area->ensureWidgetVisible(w, 0, 0);
    }
}

// What the wheel would change in a widget of each kind.
double valueOf(QWidget *w)
{
    if (auto *box = qobject_cast<QSpinBox *>(w))
        return box->value();
    if (auto *box = qobject_cast<QDoubleSpinBox *>(w))
        return box->value();
    if (auto *box = qobject_cast<QComboBox *>(w))
        return box->currentIndex();
    if (auto *slider = qobject_cast<QSlider *>(w))
        return slider->value();
    return static_cast<QCustomPlot *>(w)->xAxis->range().size();
}

} // namespace

class TestWheelAndTips : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { WheelGuard::install(); }
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void wheelNeedsFocus_data();
    void wheelNeedsFocus();
    void theWindowGuardsAndShowsWhole();
    void cutTextsInToolTips_data();
    void cutTextsInToolTips();
    void saveMarkDrawn_data();
    void saveMarkDrawn();

private:
    Sandbox m_sandbox;
};

void TestWheelAndTips::wheelNeedsFocus_data()
{
    QTest::addColumn<int>("kind");
    int kind = 0;
    for (const char *name : {"spin box", "double spin box", "drop-down list", "slider", "plot"})
        QTest::newRow(name) << kind++;
}

void TestWheelAndTips::wheelNeedsFocus()
{
    QFETCH(int, kind);
    QWidget *widget = nullptr;
    switch (kind) {
    case 0: { auto *b = new QSpinBox; b->setValue(50); widget = b; break; }
    case 1: { auto *b = new QDoubleSpinBox; b->setValue(5); widget = b; break; }
    case 2: { auto *b = new QComboBox; b->addItems({QStringLiteral("a"), QStringLiteral("b")}); widget = b; break; }
    case 3: { auto *s = new QSlider(Qt::Horizontal); s->setValue(50); widget = s; break; }
    default: {
        auto *plot = new QCustomPlot;
        plot->setInteractions(QCP::iRangeZoom);
        plot->setProperty("wheelNeedsFocus", true);
        plot->setFocusPolicy(Qt::ClickFocus);
        plot->setMinimumHeight(150);
        widget = plot;
    }
    }
    // At the top of a page taller than its scroll area.
    QScrollArea page;
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->addWidget(widget);
    layout->addSpacing(2000);
    page.setWidget(content);
    page.setWidgetResizable(true);
    page.resize(300, 300);
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    page.setFocus();
    QScrollBar *bar = page.verticalScrollBar();
    const double before = valueOf(widget);

    // Without the focus: the page scrolls, the value stays, and the focus
    // stays where it was.
    QVERIFY(turnWheel(widget));
    QCOMPARE(valueOf(widget), before);
    QVERIFY(!widget->hasFocus());
    QVERIFY(bar->value() > 0);

    // With it: the value changes and the page stays.
    bar->setValue(0);
    widget->setFocus();
    QTRY_VERIFY(widget->hasFocus());
    QVERIFY(turnWheel(widget));
    QVERIFY(valueOf(widget) != before);
    QCOMPARE(bar->value(), 0);
}

void TestWheelAndTips::theWindowGuardsAndShowsWhole()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // The focus in the poll pane; the wheel turned over the devices'
    // addresses and a moving-average count keeps their values and leaves
    // the focus where it was, locked and unlocked.
    for (const QString &password : {QString(), QStringLiteral("7391")}) {
        w.ui->lineEditPassword->setText(password);
        QSpinBox *count = w.ui->spinBoxMovingAverage_3;
        count->setValue(1);
        int turned = 0;
        for (QWidget *box : {static_cast<QWidget *>(w.channels()[0].address),
                             static_cast<QWidget *>(w.channels()[2].address),
                             static_cast<QWidget *>(count)}) {
            bringIntoView(w.ui->tabWidget, box);
            if (!box->isVisible())
                continue;     // on a tab the lock hides
            w.ui->tableView->setFocus();
            QTRY_VERIFY(w.ui->tableView->hasFocus());
            const double before = valueOf(box);
            QVERIFY2(turnWheel(box), qPrintable(box->objectName()));
            QCOMPARE(valueOf(box), before);
            QVERIFY2(!box->hasFocus(), qPrintable(box->objectName()));
            ++turned;
        }
        QVERIFY(turned >= 2);
    }
    // A status message too long for the bar is whole in its tool tip.
    const QString message = QStringLiteral("Порт не открыт!! Выберите порт и нажмите \"Связать\"");
    w.showStatusMessage(message, Qt::red);
    QCOMPARE(w.statusBar()->toolTip(), message);
}

void TestWheelAndTips::cutTextsInToolTips_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("ownTip");
    QTest::addColumn<QString>("shown");
    const QString text = QStringLiteral("Порт /dev/serial/by-id/usb-converter: потеряна связь");
    QTest::newRow("whole, no tip") << 1000 << QString() << QString();
    QTest::newRow("whole, own tip") << 1000 << QStringLiteral("подсказка") << QStringLiteral("подсказка");
    QTest::newRow("cut, no tip") << 80 << QString() << text;
    QTest::newRow("cut, own tip") << 80 << QStringLiteral("подсказка") << text + QStringLiteral("\nподсказка");
}

void TestWheelAndTips::cutTextsInToolTips()
{
    QFETCH(int, width);
    QFETCH(QString, ownTip);
    QFETCH(QString, shown);
    QWidget window;
    auto *label = new ElidingLabel(&window);
    label->setText(QStringLiteral("Порт /dev/serial/by-id/usb-converter: потеряна связь"));
    label->setToolTip(ownTip);
    label->setGeometry(0, 0, width, 20);
    window.resize(1000, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(label->fullToolTip(), shown);
    if (shown.isEmpty())
        return;
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &help);
    QTRY_COMPARE(QToolTip::text(), shown);
    QToolTip::hideText();
}

void TestWheelAndTips::saveMarkDrawn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("ready") << QStringLiteral("✔") << QColor(Qt::green);
    QTest::newRow("not ready") << QStringLiteral("❌") << QColor(Qt::red);
}

void TestWheelAndTips::saveMarkDrawn()
{
    // Strokes of the mark's colour, whatever glyphs the fonts hold.
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QLabel label(text);
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, colour);
    label.setPalette(p);
    MarkGlyphs::drawAsStrokes(&label);
    label.resize(label.minimumSize());
    const QImage image = label.grab().toImage();
    int strokes = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            strokes += QColor(image.pixel(x, y)) == colour ? 1 : 0;
    }
    QVERIFY2(strokes >= image.height(), qPrintable(QString::number(strokes)));
}

QTEST_MAIN(TestWheelAndTips)
#include "tst_wheelandtips.moc"
