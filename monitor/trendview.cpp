#include "monitor/trendview.h"

#include "app/elidinglabel.h"
#include "monitor/flowlayout.h"
#include "monitor/monitorsettings.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <cmath>

namespace {
// Frames follow one another at least this far apart; a long window further,
// as new answers move its lines by less than a pixel.
constexpr qint64 MinFrameGapMs = 1000;
constexpr int MinBuckets = 200;

QString windowText(int minutes)
{
    if (minutes == 0)
        return QStringLiteral("Весь сеанс");
    if (minutes < 60)
        return QStringLiteral("%1 мин").arg(minutes);
    return QStringLiteral("%1 ч").arg(minutes / 60);
}
}

TrendView::TrendView(std::shared_ptr<const TrendStore> store, QWidget *parent)
    : QWidget(parent)
    , m_store(std::move(store))
{
    setObjectName(QStringLiteral("trendView"));
    quantityBox = new QComboBox(this);
    quantityBox->setObjectName(QStringLiteral("comboBoxTrendQuantity"));
    for (int k = 0; k < TrendQuantityCount; ++k)
        quantityBox->addItem(QString(), k);
    windowBox = new QComboBox(this);
    windowBox->setObjectName(QStringLiteral("comboBoxTrendWindow"));
    for (int minutes : MonitorSettings::WindowMinutes)
        windowBox->addItem(windowText(minutes), minutes);
    pauseButton = new QPushButton(QStringLiteral("Пауза"), this);
    pauseButton->setObjectName(QStringLiteral("buttonTrendPause"));
    pauseButton->setCheckable(true);
    autoscaleButton = new QPushButton(QStringLiteral("Автомасштаб"), this);
    autoscaleButton->setObjectName(QStringLiteral("buttonTrendAutoscale"));
    autoscaleButton->setCheckable(true);
    autoscaleButton->setChecked(true);
    autoscaleButton->setToolTip(QStringLiteral("Окно следует за временем, шкала значений — за данными. "
                                               "Колесо мыши и перетаскивание масштабируют вручную."));
    csvButton = new QPushButton(QStringLiteral("CSV…"), this);
    csvButton->setObjectName(QStringLiteral("buttonTrendCsv"));
    csvButton->setToolTip(QStringLiteral("Сохранить показанные данные в файл CSV"));
    pngButton = new QPushButton(QStringLiteral("PNG…"), this);
    pngButton->setObjectName(QStringLiteral("buttonTrendPng"));
    pngButton->setToolTip(QStringLiteral("Сохранить график как рисунок PNG"));

    stableCountBox = new QSpinBox(this);
    stableCountBox->setObjectName(QStringLiteral("spinBoxStableCount"));
    stableCountBox->setRange(StabilityRule::MinCount, StabilityRule::MaxCount);
    thresholdEdit = new QLineEdit(this);
    thresholdEdit->setObjectName(QStringLiteral("lineEditStableThreshold"));
    thresholdEdit->setMaximumWidth(90);
    thresholdEdit->setToolTip(QStringLiteral("Наибольший разброс (максимум минус минимум) "
                                             "за последние ответы, при котором показание "
                                             "считается стабильным. Enter — применить."));
    thresholdUnit = new QLabel(this);
    summaryLabel = new ElidingLabel(this);
    summaryLabel->setObjectName(QStringLiteral("labelStableSummary"));
    // A text that changes size would lay the whole window out again on
    // every answer: the label keeps the size of its longest text.
    QFont bold = summaryLabel->font();
    bold.setBold(true);
    summaryLabel->setFixedSize(QFontMetrics(bold).horizontalAdvance(QStringLiteral("Стабильно 15 из 15_")),
                               QFontMetrics(bold).height());

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("trendPlot"));
    // Small enough for a dock beside the tabs of a 1366 pixel screen, and
    // below the tabs of a 700 pixel one with the panels' tabs under it.
    m_plot->setMinimumSize(200, 120);
    // Thin unsmoothed lines: a frame of fifteen lines stays a few
    // milliseconds; text keeps its own smoothing.
    m_plot->setNotAntialiasedElements(QCP::aePlottables | QCP::aeGrid | QCP::aeAxes
                                      | QCP::aeSubGrid | QCP::aeZeroLine);
    m_plot->setPlottingHint(QCP::phFastPolylines, true);
    // Nothing is drawn on the overlay: without a buffer of its own a frame
    // fills and blends one full-size buffer instead of two.
    if (QCPLayer *overlay = m_plot->layer(QStringLiteral("overlay")))
        overlay->setMode(QCPLayer::lmLogical);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->setAutoAddPlottableToLegend(true);
    m_plot->legend->setVisible(true);
    QFont legendFont = font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 0.85);
    m_plot->legend->setFont(legendFont);
    m_plot->legend->setBrush(QColor(255, 255, 255, 210));
    m_plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignLeft | Qt::AlignTop);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    m_plot->xAxis->setTicker(ticker);
    m_timeLabelWidth = QFontMetrics(m_plot->xAxis->tickLabelFont()).horizontalAdvance(QStringLiteral("00:00:00"));
    m_summaryItem = new QCPItemText(m_plot);
    m_summaryItem->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_summaryItem->position->setCoords(0.99, 0.02);
    m_summaryItem->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
    QFont summaryFont = font();
    summaryFont.setBold(true);
    m_summaryItem->setFont(summaryFont);

    // Zoomed by the wheel only once clicked into: a wheel turned to scroll
    // the panel must not take the axis off the present.
    m_plot->setFocusPolicy(Qt::ClickFocus);
    m_plot->setProperty("wheelNeedsFocus", true);
    connect(m_plot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged),
            this, &TrendView::onRangeChanged);
    connect(m_plot, &QCustomPlot::mouseRelease, this, [this] { refresh(m_lastNow); });
    connect(m_plot, &QCustomPlot::mouseWheel, this, [this] {
        QTimer::singleShot(0, this, [this] { refresh(m_lastNow); });
    });
    connect(pauseButton, &QPushButton::toggled, this, [this](bool on) {
        m_pausedAt = on ? m_lastNow : -1;
        refresh(m_lastNow, true);
    });
    connect(autoscaleButton, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            refresh(m_lastNow, true);
    });

    // The controls wrap onto more rows in a narrow dock; a label stays on
    // the row of the field it names.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *controlsBox = new FlowBox(this);
    FlowLayout *controls = controlsBox->flow();
    layout->addWidget(controlsBox);
    layout->addWidget(m_plot, 1);
    controls->addGroup({new QLabel(QStringLiteral("Величина"), this), quantityBox});
    controls->addGroup({new QLabel(QStringLiteral("Окно"), this), windowBox});
    controls->addGroup({pauseButton, autoscaleButton});
    controls->addGroup({csvButton, pngButton});
    controls->addGroup({new QLabel(QStringLiteral("Стабильно, если за последние"), this), stableCountBox,
                        new QLabel(QStringLiteral("ответов"), this)});
    controls->addGroup({new QLabel(QStringLiteral("разброс не больше"), this), thresholdEdit, thresholdUnit});
    controls->addWidget(summaryLabel);
}

void TrendView::setQuantity(TrendQuantity q, const QString &label)
{
    m_quantity = q;
    m_quantityLabel = label;
    m_plot->yAxis->setLabel(label);
    m_dataChanged = true;
}

void TrendView::setWindowMinutes(int minutes)
{
    m_windowMinutes = minutes;
    auto ticker = m_plot->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    if (ticker) {
        ticker->setDateTimeFormat(minutes == 0 || minutes > 60 ? QStringLiteral("hh:mm")
                                                               : QStringLiteral("hh:mm:ss"));
    }
    m_dataChanged = true;
}

void TrendView::setGapMs(qint64 gapMs)
{
    if (gapMs == m_gapMs)
        return;
    m_gapMs = gapMs;
    m_dataChanged = true;
}

void TrendView::setSeries(const QVector<Series> &series)
{
    m_series = series;
    m_legendMarks = QVector<QString>(series.size());
    rebuildGraphs();
    m_dataChanged = true;
}

void TrendView::rebuildGraphs()
{
    m_plot->clearGraphs();
    for (const Series &s : qAsConst(m_series)) {
        QCPGraph *g = m_plot->addGraph();
        g->setName(s.name);
        g->setPen(QPen(s.colour, 1));
        g->setAdaptiveSampling(true);
    }
}

void TrendView::setMarks(const QVector<StabilityVerdict> &verdicts, const StabilityRule &rule,
                         bool allStable)
{
    bool changed = false;
    for (int i = 0; i < verdicts.size() && i < m_series.size() && i < m_plot->graphCount(); ++i) {
        const QString mark = Stability::markText(verdicts[i]);
        if (mark == m_legendMarks[i])
            continue;
        m_legendMarks[i] = mark;
        m_plot->graph(i)->setName(mark.isEmpty() ? m_series[i].name
                                                 : m_series[i].name + QStringLiteral("  ") + mark);
        changed = true;
    }
    QString summary;
    QColor colour = QColor::fromRgb(Stability::colour(StabilityState::Unstable));
    if (allStable) {
        summary = QStringLiteral("Стабильно");
        colour = QColor::fromRgb(Stability::colour(StabilityState::Stable));
    } else if (!verdicts.isEmpty()) {
        int stable = 0;
        for (const StabilityVerdict &v : verdicts)
            stable += v.isStable() ? 1 : 0;
        summary = QStringLiteral("Стабильно %1 из %2").arg(stable).arg(verdicts.size());
    }
    if (summary != m_summaryItem->text()) {
        m_summaryItem->setText(summary);
        m_summaryItem->setColor(colour);
        summaryLabel->setText(summary);
        summaryLabel->setStyleSheet(QStringLiteral("QLabel { color: %1; font-weight: bold; }")
                                        .arg(colour.name()));
        changed = true;
    }
    const QString tip = QStringLiteral("Порог %1 за %2 ответов")
                            .arg(QString::number(rule.threshold, 'g', 6))
                            .arg(rule.count);
    if (tip != summaryLabel->toolTip())
        summaryLabel->setToolTip(tip);
    if (changed)
        m_marksChanged = true;
}

bool TrendView::isPaused() const { return pauseButton->isChecked(); }
bool TrendView::isFollowing() const { return autoscaleButton->isChecked(); }

void TrendView::onUserInteraction()
{
    if (!isFollowing())
        return;
    autoscaleButton->setChecked(false);
    emit followingStopped();
}

void TrendView::onRangeChanged()
{
    // Only a drag or a zoom that really moved the time axis stops the
    // following: a click into the plot leaves it on the present.
    if (m_settingRange)
        return;
    m_rangeChanged = true;
    onUserInteraction();
}

void TrendView::shownRange(qint64 *fromMs, qint64 *toMs) const
{
    *fromMs = qint64(std::floor(m_plot->xAxis->range().lower * 1000.0));
    *toMs = qint64(std::ceil(m_plot->xAxis->range().upper * 1000.0));
}

QVector<TrendCsvSeries> TrendView::shownSeries() const
{
    QVector<TrendCsvSeries> out;
    for (const Series &s : m_series)
        out.append({s.name, s.address});
    return out;
}

bool TrendView::refresh(qint64 nowMs, bool force)
{
    m_lastNow = nowMs;
    const bool paused = isPaused();
    if (isFollowing()) {
        const qint64 now = paused && m_pausedAt >= 0 ? m_pausedAt : nowMs;
        const qint64 windowMs = m_windowMinutes > 0 ? qint64(m_windowMinutes) * 60000
                                                     : qMax<qint64>(0, now - m_lastFrom);
        const qint64 gap = qMax(MinFrameGapMs, windowMs / qMax(1, m_plot->axisRect()->width()));
        const bool due = !paused && now - m_lastDrawMs >= gap;
        const bool wanted = m_rangeChanged || m_marksChanged || due;
        if (!force && !wanted)
            return false;
        if (!force && !m_rangeChanged && now - m_lastDrawMs < MinFrameGapMs)
            return false;
        qint64 from = now - qint64(m_windowMinutes) * 60000;
        if (m_windowMinutes == 0) {
            QVector<int> addresses;
            for (const Series &s : qAsConst(m_series))
                addresses.append(s.address);
            const qint64 first = m_store->firstMs(addresses);
            from = first >= 0 && first < now ? first : now - 60000;
        }
        drawFrame(from, now, true);
        m_lastDrawMs = now;
        m_lastFrom = from;
    } else {
        if (!force && !m_rangeChanged && !m_marksChanged && (paused || !m_dataChanged))
            return false;
        qint64 from = 0, to = 0;
        shownRange(&from, &to);
        drawFrame(from, to, false);
    }
    return true;
}

void TrendView::drawFrame(qint64 fromMs, qint64 toMs, bool rescaleY)
{
    QElapsedTimer clock;
    clock.start();
    const int buckets = qMax(MinBuckets, m_plot->axisRect()->width());
    QVector<double> x, y;
    int points = 0;
    for (int i = 0; i < m_series.size() && i < m_plot->graphCount(); ++i) {
        m_store->plotPoints(m_series[i].address, m_quantity, fromMs, toMs, buckets, &x, &y, m_gapMs);
        points += x.size();
        m_plot->graph(i)->setData(x, y, true);
    }
    m_settingRange = true;
    // No more times along the axis than their labels fit side by side
    // with room between (the ticker rounds to a step of its own).
    m_plot->xAxis->ticker()->setTickCount(qMax(2, m_plot->axisRect()->width() / (2 * m_timeLabelWidth)));
    m_plot->xAxis->setRange(fromMs / 1000.0, toMs / 1000.0);
    if (rescaleY) {
        bool found = false;
        QCPRange r;
        for (int i = 0; i < m_plot->graphCount(); ++i) {
            bool ok = false;
            const QCPRange g = m_plot->graph(i)->getValueRange(ok);
            if (!ok)
                continue;
            r = found ? QCPRange(qMin(r.lower, g.lower), qMax(r.upper, g.upper)) : g;
            found = true;
        }
        if (found) {
            // A flat line still gets a visible band around it.
            const double pad = r.size() > 0 ? r.size() * 0.08
                                            : qMax(1e-6, std::abs(r.center()) * 1e-4);
            m_plot->yAxis->setRange(r.lower - pad, r.upper + pad);
        }
    }
    m_settingRange = false;
    m_rangeChanged = false;
    m_dataChanged = false;
    m_marksChanged = false;
    m_plot->replot();
    m_lastPoints = points;
    m_lastFrameMs = clock.nsecsElapsed() / 1e6;
    ++m_frames;
    m_totalFrameMs += m_lastFrameMs;
    m_maxFrameMs = qMax(m_maxFrameMs, m_lastFrameMs);
}
