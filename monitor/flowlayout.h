#pragma once
// A layout that puts its items side by side and starts a new row where the
// width runs out: a panel's controls stay whole in a narrow dock instead of
// running off its right edge. Height follows width (heightForWidth), so a
// scroll area or a dock gives it the rows it needs.

#include <QLayout>
#include <QList>
#include <QWidget>

class FlowLayout : public QLayout
{
public:
    explicit FlowLayout(QWidget *parent = nullptr, int spacing = 6);
    ~FlowLayout() override;

    // Several widgets that must stay on one row together (a label and its
    // field): one item of the flow.
    QWidget *addGroup(const QList<QWidget *> &widgets);

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect &rect) override;

private:
    int arrange(const QRect &rect, bool apply) const;

    QList<QLayoutItem *> m_items;
    int m_spacing;
};

// A widget whose height follows its width: it holds a layout with wrapping
// contents (a flow of controls, a word-wrapped label) and asks for the
// height they need at the width it has. It reports no height-for-width of
// its own, so a scroll area around a panel sizes the panel by its minimum
// (these rows and the least a table or plot needs), not by every widget's
// preferred height.
class WidthBoundBox : public QWidget
{
public:
    explicit WidthBoundBox(QWidget *parent = nullptr);
    bool hasHeightForWidth() const override { return false; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
};

// A row of controls that wraps.
class FlowBox : public WidthBoundBox
{
public:
    explicit FlowBox(QWidget *parent = nullptr);
    FlowLayout *flow() const { return m_flow; }

private:
    FlowLayout *m_flow;
};
