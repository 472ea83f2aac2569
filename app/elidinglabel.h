#pragma once
// A one-line label that may be narrower than its text: it draws the text cut
// with "…" instead of widening the window. The status bar holds several; had
// they their natural widths, a 1024 pixel screen could not show the window.
// A cut text shows whole in the tool tip, above the label's own tip.

#include <QLabel>

class ElidingLabel : public QLabel
{
public:
    explicit ElidingLabel(QWidget *parent = nullptr, Qt::TextElideMode mode = Qt::ElideRight);
    QSize minimumSizeHint() const override;
    // True when the label is too narrow for its text.
    bool isElided() const;
    // What the tool tip shows: the whole text when it is cut, then the
    // label's own tip.
    QString fullToolTip() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::TextElideMode m_mode;
};
