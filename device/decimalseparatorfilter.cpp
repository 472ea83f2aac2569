#include "device/decimalseparatorfilter.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>

DecimalSeparatorFilter::DecimalSeparatorFilter(QObject *parent)
    : QObject(parent)
{
}

void DecimalSeparatorFilter::installOn(QWidget *root)
{
    auto *filter = new DecimalSeparatorFilter(root);
    for (QDoubleSpinBox *box : root->findChildren<QDoubleSpinBox *>()) {
        box->installEventFilter(filter);
        // Keys may reach the editor directly as well.
        if (auto *edit = box->findChild<QLineEdit *>())
            edit->installEventFilter(filter);
    }
}

bool DecimalSeparatorFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->text() != QLatin1String(".") && key->text() != QLatin1String(","))
        return false;
    auto *box = qobject_cast<QDoubleSpinBox *>(watched);
    if (!box && watched->parent())
        box = qobject_cast<QDoubleSpinBox *>(watched->parent());
    if (!box)
        return false;
    const QString point(box->locale().decimalPoint());
    if (key->text() == point)
        return false;
    QKeyEvent replaced(key->type(), point == QLatin1String(",") ? Qt::Key_Comma : Qt::Key_Period,
                       key->modifiers(), point, key->isAutoRepeat(), ushort(key->count()));
    QCoreApplication::sendEvent(watched, &replaced);
    return true;
}
