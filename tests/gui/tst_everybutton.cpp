// Every push button, tool button and action of every form and dialog does
// something: one that can be pressed but is connected to nothing is a dead
// button that sends nothing and says nothing.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "calc/dialog.h"
#include "devicedata/dumpdialog.h"
#include "polling/savefile_confirm_dialog.h"

#include "common/sandbox.h"

#include <QAction>
#include <QMenu>
#include <QMetaMethod>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

// isSignalConnected() is protected; a member pointer taken through a class
// that makes it public calls the real QObject member.
struct SignalPeek : QObject
{
    using QObject::isSignalConnected;
};

bool connected(const QObject *o, const char *signature)
{
    const QMetaObject *mo = o->metaObject();
    const int at = mo->indexOfSignal(QMetaObject::normalizedSignature(signature));
    if (at < 0)
        return false;
    return (o->*(&SignalPeek::isSignalConnected))(mo->method(at));
}

bool actionDoesSomething(const QAction *a)
{
    return a->menu() || a->isSeparator() || connected(a, "triggered(bool)")
           || connected(a, "toggled(bool)");
}

bool buttonDoesSomething(const QAbstractButton *b)
{
    if (auto *tool = qobject_cast<const QToolButton *>(b)) {
        // A tool button's pressed and released always feed its own menu
        // handling: only its click, toggle, action or menu count.
        if (tool->defaultAction())
            return actionDoesSomething(tool->defaultAction());
        if (tool->menu())
            return true;
        return connected(b, "clicked(bool)") || connected(b, "toggled(bool)")
               || connected(tool, "triggered(QAction*)");
    }
    if (auto *push = qobject_cast<const QPushButton *>(b)) {
        if (push->menu())
            return true;
    }
    return connected(b, "clicked(bool)") || connected(b, "pressed()") || connected(b, "released()")
           || connected(b, "toggled(bool)");
}

// The buttons and actions under `root` that could be pressed and do nothing.
QStringList deadControls(QWidget *root)
{
    QStringList dead;
    auto name = [](const QObject *o, const QString &text) {
        return QStringLiteral("%1 \"%2\"").arg(o->objectName(), text);
    };
    for (QAbstractButton *b : root->findChildren<QAbstractButton *>()) {
        if (!qobject_cast<QPushButton *>(b) && !qobject_cast<QToolButton *>(b))
            continue;
        // The toolkit's own (a menu bar's overflow arrow) open their menus
        // on a press they handle inside.
        if (b->objectName().startsWith(QLatin1String("qt_")))
            continue;
        // Disabled by itself for good (not by its tab or a lock) is no trap.
        if (b->testAttribute(Qt::WA_ForceDisabled))
            continue;
        if (!buttonDoesSomething(b))
            dead << name(b, b->text());
    }
    QList<QAction *> actions = root->findChildren<QAction *>();
    for (QWidget *w : root->findChildren<QWidget *>())
        actions += w->actions();
    for (QAction *a : qAsConst(actions)) {
        if (a->isEnabled() && !actionDoesSomething(a))
            dead << name(a, a->text());
    }
    dead.removeDuplicates();
    return dead;
}

using Factory = std::function<QWidget *(MainWindow &)>;

} // namespace

Q_DECLARE_METATYPE(Factory)

class TestEveryButton : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void noDeadControl_data();
    void noDeadControl();

private:
    Sandbox m_sandbox;
};

void TestEveryButton::noDeadControl_data()
{
    QTest::addColumn<Factory>("form");
    QTest::newRow("main window") << Factory([](MainWindow &w) -> QWidget * { return &w; });
    QTest::newRow("device data") << Factory([](MainWindow &w) -> QWidget * { return w.deviceDataDialog(); });
    QTest::newRow("parameters") << Factory([](MainWindow &w) -> QWidget * { return w.parametersDialog(); });
    for (bool exists : {false, true}) {
        QTest::newRow(exists ? "save dirs, some exist" : "save dirs, new")
            << Factory([exists](MainWindow &w) -> QWidget * {
                   return new savefile_confirm_dialog(QStringLiteral("x"), exists, &w);
               });
    }
}

void TestEveryButton::noDeadControl()
{
    QFETCH(Factory, form);
    MainWindow w;
    QWidget *root = form(w);
    QVERIFY(root);
    root->show();
    QVERIFY(QTest::qWaitForWindowExposed(root));
    const QStringList dead = deadControls(root);
    QVERIFY2(dead.isEmpty(), qPrintable(QStringLiteral("connected to nothing: ") + dead.join(", ")));
    // The walk sees the buttons at all.
    QVERIFY(!root->findChildren<QPushButton *>().isEmpty());
}

QTEST_MAIN(TestEveryButton)
#include "tst_everybutton.moc"
