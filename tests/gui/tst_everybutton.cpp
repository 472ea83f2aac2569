// Every push button and action of every form and dialog does something: one
// that can be pressed but is connected to nothing sends nothing and says
// nothing.

#include "app/mainwindow.h"

#include "calc/dialog.h"
#include "devicedata/dumpdialog.h"
#include "polling/savefile_confirm_dialog.h"

#include "common/sandbox.h"

#include <QAction>
#include <QMetaMethod>
#include <QPushButton>
#include <QtTest>
#include <functional>

namespace {

// isSignalConnected() is protected; a member pointer taken through a class
// that makes it public calls the real QObject member.
struct SignalPeek : QObject
{
    using QObject::isSignalConnected;
};

bool connected(const QObject *o, std::initializer_list<const char *> signatures)
{
    const QMetaObject *mo = o->metaObject();
    for (const char *signature : signatures) {
        const int at = mo->indexOfSignal(signature);
        if (at >= 0 && (o->*(&SignalPeek::isSignalConnected))(mo->method(at)))
            return true;
    }
    return false;
}

// The push buttons and actions under `root` that could be pressed and do
// nothing. A button disabled by itself for good (not by its tab or a lock)
// is no trap.
QStringList deadControls(QWidget *root)
{
    QStringList dead;
    for (QPushButton *b : root->findChildren<QPushButton *>()) {
        if (!b->testAttribute(Qt::WA_ForceDisabled) && !b->menu()
            && !connected(b, {"clicked(bool)", "pressed()", "released()", "toggled(bool)"}))
            dead << b->objectName() + QStringLiteral(" \"") + b->text() + QLatin1Char('"');
    }
    QList<QAction *> actions = root->findChildren<QAction *>();
    for (QWidget *w : root->findChildren<QWidget *>())
        actions += w->actions();
    for (QAction *a : qAsConst(actions)) {
        if (a->isEnabled() && !a->menu() && !a->isSeparator() && !connected(a, {"triggered(bool)", "toggled(bool)"}))
            dead << a->objectName() + QStringLiteral(" \"") + a->text() + QLatin1Char('"');
    }
    dead.removeDuplicates();
    return dead;
}

using Form = std::function<QWidget *(MainWindow &)>;

} // namespace

Q_DECLARE_METATYPE(Form)

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
    QTest::addColumn<Form>("form");
    QTest::newRow("main window") << Form([](MainWindow &w) -> QWidget * { return &w; });
    QTest::newRow("device data") << Form([](MainWindow &w) -> QWidget * { return w.deviceDataDialog(); });
    QTest::newRow("parameters") << Form([](MainWindow &w) -> QWidget * { return w.parametersDialog(); });
    QTest::newRow("save dirs") << Form([](MainWindow &w) -> QWidget * {
        return new savefile_confirm_dialog(QStringLiteral("x"), false, &w);
    });
}

void TestEveryButton::noDeadControl()
{
    QFETCH(Form, form);
    MainWindow w;
    QWidget *root = form(w);
    root->show();
    QVERIFY(QTest::qWaitForWindowExposed(root));
    QVERIFY(!root->findChildren<QPushButton *>().isEmpty());
    const QStringList dead = deadControls(root);
    QVERIFY2(dead.isEmpty(), qPrintable(QStringLiteral("connected to nothing: ") + dead.join(", ")));
}

QTEST_MAIN(TestEveryButton)
#include "tst_everybutton.moc"
