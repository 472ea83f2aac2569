#pragma once
// The mouse wheel changes a value only where the engineer has put the focus:
// turned over a spin box, a drop-down list or a slider that has no focus, it
// scrolls what holds them instead (a moving-average count went from 1 to 0
// while a page was being scrolled). A widget that zooms or otherwise acts on
// the wheel can ask for the same with the property "wheelNeedsFocus".
//
// The guard alone is not enough: Qt hands the focus to a widget whose focus
// policy includes the wheel before any filter sees the wheel, so the box
// would be focused by the very turn that should scroll past it. Every
// guarded widget therefore takes the focus by click or Tab only.
//
// One filter for the whole application, installed once.

#include <QObject>

class QWidget;

class WheelGuard : public QObject
{
public:
    // Installs the filter on the application unless it is there already.
    static void install();
    // True when a wheel over this widget is passed on to its parent.
    static bool passesOn(const QWidget *widget);
    // A widget whose value the wheel changes only once it has the focus.
    static bool guards(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
