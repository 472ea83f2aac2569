#pragma once
// The live trend: one line per checked poll row for the chosen quantity
// over a sliding window (or the whole session), with the stability mark of
// every line in the legend and a summary over the plot. It draws what the
// trend store holds; the main window decides what that is, and when.
//
// A frame costs the same whatever the window holds: the store hands over at
// most two points per pixel column.

#include "app/elidinglabel.h"
#include "monitor/stability.h"
#include "monitor/trendcsv.h"
#include "monitor/trendstore.h"

#include <QColor>
#include <QVector>
#include <QWidget>
#include <memory>


class QComboBox;
class QCustomPlot;
class QCPItemText;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TrendView : public QWidget
{
    Q_OBJECT
public:
    struct Series
    {
        QString name;
        int address = 0;
        QColor colour;
    };

    explicit TrendView(std::shared_ptr<const TrendStore> store, QWidget *parent = nullptr);

    // Controls; the main window connects them.
    QComboBox *quantityBox = nullptr;
    QComboBox *windowBox = nullptr;
    QPushButton *pauseButton = nullptr;
    QPushButton *autoscaleButton = nullptr;
    QPushButton *csvButton = nullptr;
    QPushButton *pngButton = nullptr;
    QSpinBox *stableCountBox = nullptr;
    QLineEdit *thresholdEdit = nullptr;
    QLabel *thresholdUnit = nullptr;
    ElidingLabel *summaryLabel = nullptr;
    QCustomPlot *plot() const { return m_plot; }

    void setQuantity(TrendQuantity q, const QString &label);
    TrendQuantity quantity() const { return m_quantity; }
    QString quantityLabel() const { return m_quantityLabel; }
    // 0: the whole session.
    void setWindowMinutes(int minutes);
    void setSeries(const QVector<Series> &series);
    // Answers further apart than this are not joined by a line (0: always).
    void setGapMs(qint64 gapMs);
    const QVector<Series> &series() const { return m_series; }
    // One verdict per series, in the order of setSeries.
    void setMarks(const QVector<StabilityVerdict> &verdicts, const StabilityRule &rule,
                  bool allStable);

    // New answers are in the store.
    void markDataChanged() { m_dataChanged = true; }
    // Draws a frame when something changed since the last one, or when the
    // window slides on. nowMs on the store's clock. Returns true if it drew.
    bool refresh(qint64 nowMs, bool force = false);
    bool isPaused() const;
    bool isFollowing() const;

    // What is shown, for the export.
    void shownRange(qint64 *fromMs, qint64 *toMs) const;
    QVector<TrendCsvSeries> shownSeries() const;
    // Points the last frame drew, and how long it took (for the bench).
    int lastFramePoints() const { return m_lastPoints; }
    double lastFrameMs() const { return m_lastFrameMs; }
    int frames() const { return m_frames; }
    double maxFrameMs() const { return m_maxFrameMs; }
    double totalFrameMs() const { return m_totalFrameMs; }

signals:
    // The engineer dragged or zoomed the plot: it stops following the window.
    void followingStopped();

private:
    void onUserInteraction();
    void onRangeChanged();
    void rebuildGraphs();
    void drawFrame(qint64 fromMs, qint64 toMs, bool rescaleY);

    std::shared_ptr<const TrendStore> m_store;
    QCustomPlot *m_plot = nullptr;
    QCPItemText *m_summaryItem = nullptr;
    QVector<Series> m_series;
    QVector<QString> m_legendMarks;
    TrendQuantity m_quantity = TrendQuantity::Var1;
    QString m_quantityLabel;
    int m_windowMinutes = 5;
    int m_timeLabelWidth = 50;
    qint64 m_gapMs = 0;
    bool m_dataChanged = true;
    bool m_settingRange = false;
    bool m_rangeChanged = false;
    bool m_marksChanged = false;
    qint64 m_lastFrom = 0;
    qint64 m_lastDrawMs = 0;
    qint64 m_pausedAt = -1;
    qint64 m_lastNow = 0;
    int m_lastPoints = 0;
    double m_lastFrameMs = 0;
    int m_frames = 0;
    double m_maxFrameMs = 0;
    double m_totalFrameMs = 0;
};
