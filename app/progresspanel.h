#pragma once
// A run's progress where the engineer looks: a caption, a bar with the step
// count and a cancel button while the run lasts, then its verdict in green or
// red. One in the status bar, and one in each modal dialog a run may be
// started from (the status bar cannot be reached under a modal dialog).

#include <QList>
#include <QWidget>

class OperationProgress;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class ProgressPanel : public QWidget
{
    Q_OBJECT
public:
    // lingerMs: how long the verdict stays after the run (< 0: until the
    // next run starts).
    ProgressPanel(OperationProgress *progress, int lingerMs, QWidget *parent = nullptr);

    // Compact (the status bar): no caption, the title in the bar, and gone
    // as soon as the run is over.
    void setCompact(bool compact);
    // Shows only the runs of these kinds (OperationProgress::kind); all when empty.
    void setKinds(const QList<int> &kinds) { m_kinds = kinds; refresh(); }

    QLabel *caption() const { return m_caption; }
    QProgressBar *bar() const { return m_bar; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    void refresh();

    OperationProgress *m_progress;
    int m_lingerMs;
    QList<int> m_kinds;
    bool m_compact = false;
    QLabel *m_caption;
    QProgressBar *m_bar;
    QPushButton *m_cancel;
    QTimer *m_hideTimer;
};
