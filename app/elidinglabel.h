#pragma once
// A one-line label that may be narrower than its text: it draws the text cut
// with "…" instead of widening the window. The status bar holds several; had
// they their natural widths, a 1024 pixel screen could not show the window.

#include <QLabel>

class ElidingLabel : public QLabel
{
public:
    explicit ElidingLabel(QWidget *parent = nullptr, Qt::TextElideMode mode = Qt::ElideRight);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::TextElideMode m_mode;
};
