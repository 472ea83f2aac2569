#pragma once
// Lets a QDoubleSpinBox take "." and "," alike before the decimals.
//
// The spin box's validator knows only its locale's separator and reads the
// other as a group separator: "1,5" typed under the C locale becomes 15, and
// "1.5" under a Russian one becomes 15 as well, silently. The filter turns
// either key into the separator the box expects before the box sees it.

#include <QObject>

class QWidget;

class DecimalSeparatorFilter : public QObject
{
    Q_OBJECT

public:
    explicit DecimalSeparatorFilter(QObject *parent = nullptr);

    // Installs one filter on every QDoubleSpinBox under root.
    static void installOn(QWidget *root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
