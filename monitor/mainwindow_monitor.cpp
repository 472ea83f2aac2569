// The line monitor of the main window: the live trend of the polled values
// with the stability marks beside the poll rows and on "Записывать
// давление", the line statistics the link counts, and the traffic log of
// every frame. The stores, the stability rule, the exports and the log file
// are core classes; these slots move widget state in and out of them.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"
#include "app/messagelog.h"
#include "monitor/linemonitor.h"
#include "monitor/monitordocks.h"
#include "monitor/linestatsview.h"
#include "app/elidinglabel.h"
#include "monitor/trafficlogview.h"
#include "monitor/trendcsv.h"
#include "monitor/trendview.h"
#include "devicedata/safesave.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QGridLayout>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <qcustomplot.h>

#include <limits>

#include "settings/benchprofile.h"
#include "app/screenfit.h"

namespace {

// The monitor's timer: new answers reach the plot and the stability marks
// at most this often; the statistics and the traffic log, whose every row
// redrawn costs more than it tells at a glance, every other tick.
constexpr int RefreshMs = 500;
constexpr int TableTicks = 2;

// Fifteen colours a poll row keeps on the plot.
const QColor &seriesColour(int channel)
{
    static const QColor colours[] = {
        QColor(31, 119, 180), QColor(214, 39, 40),  QColor(44, 160, 44),  QColor(255, 127, 14),
        QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(90, 90, 90),
        QColor(188, 189, 34), QColor(23, 190, 207), QColor(0, 0, 140),    QColor(150, 0, 60),
        QColor(0, 110, 70),   QColor(200, 150, 0),  QColor(100, 0, 160),
    };
    return colours[channel % int(sizeof colours / sizeof colours[0])];
}

// The unit of a heading such as "U1, мВ".
QString unitOf(const QString &heading)
{
    const int comma = heading.lastIndexOf(QStringLiteral(", "));
    return comma < 0 ? QString() : heading.mid(comma + 2);
}

QIcon stableIcon(bool stable)
{
    // The same size either way, so the button does not change width.
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    if (stable) {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgb(Stability::colour(StabilityState::Stable)));
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4, 8.5), QPointF(7, 11.5), QPointF(12, 5)}));
    }
    return QIcon(pm);
}

} // namespace

// The monitor's slots. What they need of the window is public; they are
// kept here rather than among the window's own members.
class MonitorSlots
{
public:
    explicit MonitorSlots(MainWindow *window) : w(window), m(window->lineMonitor()) {}
    void saveMonitorSettings() const;
    void refreshMonitor(bool force) const;
    void monitorPollRowsChanged() const;
    void updateMonitorQuantity() const;
    void applyStableCount(int n) const;
    void applyStableThreshold() const;
    void updateStabilityMarks() const;
    void exportTrendCsv() const;
    void exportTrendPng() const;
    void onLinkTraffic(const LinkTrafficEvent &event) const;
    void resetLineStatistics() const;
    void saveTrafficLog() const;
    void setTrafficStream(bool on) const;
    void chooseTrafficFile() const;
    void applyTrafficRotate(int kb) const;

private:
    MainWindow *const w;
    LineMonitor *const m;
};

void MainWindow::keepDockOnScreen(QDockWidget *dock)
{
    MonitorDocks::place(this, m_monitor);
    ScreenFit::fit(this);
    const QRect area = ScreenFit::availableArea(this);
    if (area.isEmpty() || !isVisible())
        return;
    if (frameGeometry().width() <= area.width() && frameGeometry().height() <= area.height())
        return;
    // Floated at a size where the panel is readable (its docked size may
    // have been squeezed to nothing), in the screen's lower right corner
    // where it hides the least of the window's controls.
    dock->setFloating(true);
    const QSize size(qMax(area.width() / 2, 420), qMax(area.height() / 2, 300));
    dock->resize(size.boundedTo(area.size()));
    dock->move(area.right() - dock->frameGeometry().width(), area.bottom() - dock->frameGeometry().height());
    ScreenFit::fit(dock);
    // The window gives the panel's room back once it has laid itself out.
    QTimer::singleShot(0, this, [this] { ScreenFit::fit(this); });
}

void MainWindow::setupMonitor()
{
    // First, so that it and every connection made with it as context are
    // gone before the docks when the window is destroyed.
    m_monitor = new LineMonitor(this);
    LineMonitor *const m = m_monitor;
    const MonitorSlots s(this);
    {
        QSettings s = BenchProfile::settings();
        m->settings = MonitorSettings::load(s);
    }
    m->dialogs.saveFile = [this](const QString &title, const QString &suggested,
                                 const QString &filter) {
        return QFileDialog::getSaveFileName(this, title, suggested, filter);
    };

    // The tabs scroll rather than let a panel push the window past the
    // screen; the three panels open docked together, one tab each.
    m->centralScroll = MonitorDocks::wrapTabs(this);
    m->pollTable = ui->tableView;
    m->pollTableMinimum = ui->tableView->minimumHeight();
    m->trend = new TrendView(m->trendStore, this);
    m->trendDock = MonitorDocks::make(this, QStringLiteral("dockTrend"), QStringLiteral("Тренд"), m->trend);
    m->stats = new LineStatsView(this);
    m->statsDock = MonitorDocks::make(this, QStringLiteral("dockLineStatistics"),
                                      QStringLiteral("Статистика линии"), m->stats);
    m->log = new TrafficLogView(m->trafficLog, this);
    m->logDock = MonitorDocks::make(this, QStringLiteral("dockTrafficLog"),
                                    QStringLiteral("Журнал обмена"), m->log);
    MonitorDocks::addPanels(this, m);

    // A stability mark beside every poll row.
    for (int i = 0; i < pollChannels.size(); ++i) {
        auto *mark = new ElidingLabel(ui->scrollAreaWidgetContents_2);
        mark->setObjectName(QStringLiteral("labelStable_%1").arg(i));
        // Fixed both ways: a new text repaints the mark alone instead of
        // laying the window out again on every answer.
        mark->setFixedSize(mark->fontMetrics().horizontalAdvance(QStringLiteral("нет ответа__")),
                           mark->fontMetrics().height());
        ui->devsGridLayout->addWidget(mark, i, 2);
        m->marks.append(mark);
    }
    m->verdicts.resize(pollChannels.size());
    fitChannelArea();
    ui->buttonSetPressue->setIcon(stableIcon(false));

    // Opened from any tab and whatever the lock: a tool bar of its own, and
    // the menu when it is shown.
    m->menu = ui->menuBar->addMenu(QStringLiteral("Монитор"));
    m->menu->setObjectName(QStringLiteral("menuMonitor"));
    m->toolBar = addToolBar(QStringLiteral("Монитор"));
    m->toolBar->setObjectName(QStringLiteral("monitorToolBar"));
    m->cornerBar = new QToolBar(ui->menuBar);
    m->cornerBar->setObjectName(QStringLiteral("monitorCornerBar"));
    m->cornerBar->setIconSize(QSize(1, 1));
    ui->menuBar->setCornerWidget(m->cornerBar, Qt::TopRightCorner);
    // A row of the window's height less when unlocked, where the poll
    // table needs it most.
    MonitorDocks::showWhileHidden(ui->menuBar, m->toolBar);
    const QList<QDockWidget *> docks = m->docks();
    {
        QSettings s = BenchProfile::settings();
        for (QDockWidget *dock : docks) {
            dock->setVisible(s.value(QStringLiteral("/Monitor/Shown_") + dock->objectName(), false)
                                 .toBool());
        }
    }
    for (QDockWidget *dock : docks) {
        QAction *show = dock->toggleViewAction();
        m->menu->addAction(show);
        m->toolBar->addAction(show);
        m->cornerBar->addAction(show);
        // Follows the engineer's showing and closing (the dock's own close
        // button included), not the window's hiding at exit, which unchecks
        // the actions too.
        connect(show, &QAction::toggled, m, [this, s, dock](bool on) {
            // Shown from the tool bar, a panel comes to the front of the
            // panels' tabs. The tabs make room before the panel shows (and a
            // panel behind another's tab reports no change of visibility when
            // closed): the table's rows follow from here too.
            if (on)
                dock->raise();
            MonitorDocks::keepPollRows(this, m_monitor, dock, on);
            if (isVisible())
                s.saveMonitorSettings();
        });
        // Shown again: brought up to date at once rather than at the next tick.
        // Moved or floated by the engineer: the poll table's rows follow.
        connect(dock, &QDockWidget::dockLocationChanged, m,
                [this] { MonitorDocks::keepPollRows(this, m_monitor); });
        connect(dock, &QDockWidget::topLevelChanged, m,
                [this] { MonitorDocks::keepPollRows(this, m_monitor); });
        connect(dock, &QDockWidget::visibilityChanged, m, [this, s, dock](bool visible) {
            MonitorDocks::keepPollRows(this, m_monitor);
            if (visible)
                s.refreshMonitor(true);
            // A docked panel must not push the window past a small screen:
            // when the window cannot shrink enough, the panel floats.
            if (visible && !dock->isFloating())
                QTimer::singleShot(0, dock, [this, dock] { keepDockOnScreen(dock); });
        });
    }

    TrendView *const t = m->trend;
    t->quantityBox->setCurrentIndex(int(m->settings.quantity));
    t->windowBox->setCurrentIndex(m->settings.windowIndex);
    t->setWindowMinutes(m->settings.windowMinutes());
    t->stableCountBox->setValue(m->settings.stableCount);
    connect(t->quantityBox, QOverload<int>::of(&QComboBox::currentIndexChanged), m,
            [s] { s.updateMonitorQuantity(); });
    connect(ui->checkBoxCapacitor, &QCheckBox::toggled, m, [s] { s.updateMonitorQuantity(); });
    connect(t->windowBox, QOverload<int>::of(&QComboBox::currentIndexChanged), m,
            [m, s](int index) {
                m->settings.windowIndex = index;
                m->trend->setWindowMinutes(m->settings.windowMinutes());
                m->trend->autoscaleButton->setChecked(true);
                s.saveMonitorSettings();
                s.refreshMonitor(true);
            });
    connect(t->stableCountBox, QOverload<int>::of(&QSpinBox::valueChanged), m,
            [s](int n) { s.applyStableCount(n); });
    connect(t->thresholdEdit, &QLineEdit::editingFinished, m, [s] { s.applyStableThreshold(); });
    connect(t->csvButton, &QPushButton::clicked, m, [s] { s.exportTrendCsv(); });
    connect(t->pngButton, &QPushButton::clicked, m, [s] { s.exportTrendPng(); });

    // The plot and the marks follow the rows' checks and addresses.
    for (const PollChannel &ch : qAsConst(pollChannels)) {
        connect(ch.enable, &QCheckBox::toggled, m, [s] { s.monitorPollRowsChanged(); });
        connect(ch.address, QOverload<int>::of(&QComboBox::currentIndexChanged), m,
                [s] { s.monitorPollRowsChanged(); });
    }

    // Statistics and traffic log. The log keeps every event from the start,
    // so it has the history when it is opened after a fault.
    connect(link, &protocolComHart::traffic, m,
            [s](const LinkTrafficEvent &e) { s.onLinkTraffic(e); }, Qt::DirectConnection);
    connect(m->stats->resetButton, &QPushButton::clicked, m, [s] { s.resetLineStatistics(); });
    connect(m->log->saveButton, &QPushButton::clicked, m, [s] { s.saveTrafficLog(); });
    connect(m->log->clearButton, &QPushButton::clicked, m, [m] {
        m->trafficLog->clear();
        m->log->refresh(true);
    });
    connect(m->log->streamBox, &QCheckBox::toggled, m, [s](bool on) { s.setTrafficStream(on); });
    connect(m->log->fileButton, &QPushButton::clicked, m, [s] { s.chooseTrafficFile(); });
    m->log->rotateBox->setValue(m->settings.rotateKb);
    m->log->fileLabel->setText(m->settings.trafficFile);
    connect(m->log->rotateBox, QOverload<int>::of(&QSpinBox::valueChanged), m,
            [s](int kb) { s.applyTrafficRotate(kb); });

    // Marks are earned again by answers taken after the poll stops, the
    // line is lost, or the port is closed or connected again: nothing
    // measured before may turn the record button green.
    auto restartMarks = [m, s] {
        m->judgeSince = m->now();
        s.updateStabilityMarks();
    };
    connect(link, &protocolComHart::lineLost, m, restartMarks);
    for (QPushButton *b : {ui->buttonStopRequstFunc3, ui->buttonClosePort, ui->buttonConnectPort})
        connect(b, &QPushButton::clicked, m, restartMarks);

    m->refreshTimer = new QTimer(m);
    connect(m->refreshTimer, &QTimer::timeout, m, [s] { s.refreshMonitor(false); });
    m->refreshTimer->start(RefreshMs);

    s.updateMonitorQuantity();
    s.monitorPollRowsChanged();
}

void MainWindow::feedMonitor(const MeasurementCapture::Answer &answer)
{
    if (!m_monitor)
        return;
    // Only what a device really measured goes on the plot; bad answers are
    // the line statistics' business.
    const Command3Answer values = Command3Answer::decode(answer.data);
    if (!answer.checksumOk || !values.complete())
        return;
    m_monitor->trendStore->add(answer.address, m_monitor->now(), values);
    m_monitor->trend->markDataChanged();
    MonitorSlots(this).updateStabilityMarks();
}

void MonitorSlots::saveMonitorSettings() const
{
    QSettings s = BenchProfile::settings();
    m->settings.save(s);
    for (QDockWidget *dock : m->docks()) {
        s.setValue(QStringLiteral("/Monitor/Shown_") + dock->objectName(),
                   dock->toggleViewAction()->isChecked());
    }
}


void MonitorSlots::refreshMonitor(bool force) const
{
    // Marks lapse when a device stops answering, with or without new data.
    updateStabilityMarks();
    if (m->trendDock->isVisible())
        m->trend->refresh(m->now(), force);
    m->tableTick = force ? 0 : (m->tableTick + 1) % TableTicks;
    if (m->tableTick != 0)
        return;
    if (m->statsDock->isVisible())
        m->stats->showStatistics(w->link->statistics());
    if (m->logDock->isVisible())
        m->log->refresh(force);
}

void MonitorSlots::monitorPollRowsChanged() const
{
    QVector<TrendView::Series> series;
    for (int i = 0; i < w->pollChannels.size(); ++i) {
        const PollChannel &ch = w->pollChannels[i];
        if (!ch.enable->isChecked())
            continue;
        const int address = parsePollAddressText(ch.address->currentText());
        series.append({QStringLiteral("%1: %2").arg(i + 1).arg(pollAddressText(address)), address,
                       seriesColour(i)});
    }
    m->trend->setSeries(series);
    refreshMonitor(true);
}

void MonitorSlots::updateMonitorQuantity() const
{
    TrendView *const t = m->trend;
    const bool capacitor = w->ui->checkBoxCapacitor->isChecked();
    const QStringList headings = MeasurementRow::headers(capacitor);
    for (int k = 0; k < TrendQuantityCount; ++k)
        t->quantityBox->setItemText(k, headings.value(MeasurementRow::CurrentColumn + k));
    const auto q = TrendQuantity(qBound(0, t->quantityBox->currentIndex(), TrendQuantityCount - 1));
    const QString heading = headings.value(MeasurementRow::CurrentColumn + int(q));
    t->setQuantity(q, heading);
    t->thresholdUnit->setText(unitOf(heading));
    t->thresholdEdit->setText(QString::number(m->settings.thresholdFor(q, capacitor), 'g', 6));
    if (m->settings.quantity != q) {
        m->settings.quantity = q;
        saveMonitorSettings();
    }
    refreshMonitor(true);
}

void MonitorSlots::applyStableCount(int n) const
{
    m->settings.stableCount = n;
    saveMonitorSettings();
    updateStabilityMarks();
}

void MonitorSlots::applyStableThreshold() const
{
    TrendView *const t = m->trend;
    const bool capacitor = w->ui->checkBoxCapacitor->isChecked();
    const TrendQuantity q = t->quantity();
    double value = 0;
    QString why;
    if (!StabilityRule::parseThreshold(t->thresholdEdit->text(), &value, &why)) {
        w->reportFailure(QStringLiteral("Порог стабильности не изменён: %1. Введите число не меньше "
                                     "нуля, например 0.05.").arg(why),
                      nullptr, -1, LogSource::monitor());
        t->thresholdEdit->setText(QString::number(m->settings.thresholdFor(q, capacitor), 'g', 6));
        return;
    }
    if (value == m->settings.thresholdFor(q, capacitor))
        return;
    m->settings.setThreshold(q, capacitor, value);
    saveMonitorSettings();
    w->showStatusMessage(QStringLiteral("Порог стабильности %1: %2 %3")
                          .arg(t->quantityLabel(), QString::number(value, 'g', 6),
                               t->thresholdUnit->text()),
                      MainWindow::successColour(), -1, LogSource::monitor());
    updateStabilityMarks();
}

void MonitorSlots::updateStabilityMarks() const
{
    const bool capacitor = w->ui->checkBoxCapacitor->isChecked();
    const TrendQuantity q = m->trend->quantity();
    const StabilityRule rule = m->settings.rule(q, capacitor);
    int checked = 0;
    for (const PollChannel &ch : qAsConst(w->pollChannels))
        checked += ch.enable->isChecked() ? 1 : 0;
    const qint64 staleMs =
        StabilityRule::staleAfterMs(checked, w->pollPeriod, w->pollTimeout, w->pollRepeats);
    // A silence that would lapse a mark also breaks the trend's lines.
    m->trend->setGapMs(staleMs);
    const TrendStore &store = *m->trendStore;
    const qint32 now = store.toStoreMs(m->now());
    const qint32 since = m->judgeSince > 0 ? store.toStoreMs(m->judgeSince)
                                           : std::numeric_limits<qint32>::min();

    QVector<StabilityVerdict> shown;
    for (int i = 0; i < w->pollChannels.size() && i < m->marks.size(); ++i) {
        QLabel *const mark = m->marks[i];
        StabilityVerdict v;
        if (w->pollChannels[i].enable->isChecked()) {
            const int address = parsePollAddressText(w->pollChannels[i].address->currentText());
            v = Stability::judge(store.series(address), q, rule, now, staleMs, since);
            shown.append(v);
        }
        const QString text = Stability::markText(v);
        if (text != mark->text())
            mark->setText(text);
        if (v.state != m->verdicts[i].state) {
            QPalette p = mark->palette();
            p.setColor(QPalette::WindowText, QColor::fromRgb(Stability::colour(v.state)));
            mark->setPalette(p);
        }
        // Written again only when it says something new.
        const QString tip =
            v.state == StabilityState::NoData ? QString() : Stability::describe(v, m->trend->quantityLabel(), rule);
        if (tip != mark->toolTip())
            mark->setToolTip(tip);
        m->verdicts[i] = v;
    }
    const bool all = Stability::allStable(shown);
    m->trend->setMarks(shown, rule, all);

    if (all != m->allStable || w->ui->buttonSetPressue->property("stable").isNull()) {
        m->allStable = all;
        // Advice only: the button stays as usable as it was.
        w->ui->buttonSetPressue->setIcon(stableIcon(all));
        w->ui->buttonSetPressue->setProperty("stable", all);
        w->ui->buttonSetPressue->setToolTip(
            all ? QStringLiteral("Стабильно: показания всех отмеченных устройств в пределах порога")
                : QString());
    }
}

void MonitorSlots::exportTrendCsv() const
{
    const QString path = m->dialogs.saveFile(QStringLiteral("Save File"), QStringLiteral("trend.csv"),
                                             QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    qint64 from = 0, to = 0;
    m->trend->shownRange(&from, &to);
    const QByteArray text = TrendCsv::text(*m->trendStore, m->trend->shownSeries(),
                                           m->trend->quantity(), m->trend->quantityLabel(), from,
                                           to, 0);
    const SafeSave::Result saved = SafeSave::write(path, text, false);
    if (!saved.ok) {
        w->reportFailure(QStringLiteral("Тренд не сохранён в %1: %2. Выберите другую папку или имя "
                                     "файла.").arg(path, saved.error),
                      nullptr, -1, LogSource::monitor());
        return;
    }
    w->reportSuccess(QStringLiteral("Тренд сохранён в %1").arg(path), nullptr, -1,
                     LogSource::monitor());
}

void MonitorSlots::exportTrendPng() const
{
    const QString path = m->dialogs.saveFile(QStringLiteral("Save File"), QStringLiteral("trend.png"),
                                             QStringLiteral("PNG (*.png)"));
    if (path.isEmpty())
        return;
    const QPixmap picture = m->trend->plot()->toPixmap();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    const bool drawn = !picture.isNull() && QImageWriter(&buffer, "png").write(picture.toImage());
    const SafeSave::Result saved = drawn ? SafeSave::write(path, png, false) : SafeSave::Result();
    if (!saved.ok) {
        const QString why = drawn ? saved.error : QStringLiteral("график пуст");
        w->reportFailure(QStringLiteral("Рисунок тренда не сохранён в %1: %2. Выберите другую папку "
                                     "или имя файла.").arg(path, why),
                      nullptr, -1, LogSource::monitor());
        return;
    }
    w->reportSuccess(QStringLiteral("Рисунок тренда сохранён в %1").arg(path), nullptr, -1,
                  LogSource::monitor());
}

// ------------------------------------------------ statistics and traffic log

void MonitorSlots::onLinkTraffic(const LinkTrafficEvent &event) const
{
    m->trafficLog->append(event);
    if (!m->trafficFile.isOpen())
        return;
    QString error;
    if (!m->trafficFile.writeLine(TrafficLog::line(event), &error)) {
        const QString path = m->trafficFile.path();
        m->log->streamBox->setChecked(false);
        w->reportFailure(QStringLiteral("Журнал обмена больше не пишется в %1: %2. Проверьте место на "
                                     "диске и права на папку, затем включите запись снова.")
                          .arg(path, error), nullptr, -1, LogSource::monitor());
    }
}

void MonitorSlots::resetLineStatistics() const
{
    w->link->resetStatistics();
    m->stats->showStatistics(w->link->statistics());
    w->showStatusMessage(QStringLiteral("Статистика линии сброшена"), MainWindow::successColour(), -1,
                      LogSource::monitor());
}

void MonitorSlots::saveTrafficLog() const
{
    const QString path = m->dialogs.saveFile(QStringLiteral("Save File"), QStringLiteral("traffic.txt"),
                                             QStringLiteral("Текстовый файл (*.txt)"));
    if (path.isEmpty())
        return;
    const QVector<LinkTrafficEvent> &events = m->log->shownEvents();
    QByteArray text = TrafficLog::heading() + '\n';
    for (const LinkTrafficEvent &e : events)
        text += TrafficLog::line(e) + '\n';
    const SafeSave::Result saved = SafeSave::write(path, text, false);
    if (!saved.ok) {
        w->reportFailure(QStringLiteral("Журнал обмена не сохранён в %1: %2. Выберите другую папку или "
                                     "имя файла.").arg(path, saved.error),
                      nullptr, -1, LogSource::monitor());
        return;
    }
    w->reportSuccess(QStringLiteral("Журнал обмена сохранён в %1 (%2 строк)").arg(path).arg(events.size()),
                  nullptr, -1, LogSource::monitor());
}

void MonitorSlots::setTrafficStream(bool on) const
{
    if (!on) {
        m->trafficFile.close();
        return;
    }
    if (m->settings.trafficFile.isEmpty())
        chooseTrafficFile();
    if (m->settings.trafficFile.isEmpty()) {
        // No file chosen: nothing is streamed, and the box says so.
        const QSignalBlocker block(m->log->streamBox);
        m->log->streamBox->setChecked(false);
        return;
    }
    QString error;
    if (!m->trafficFile.open(m->settings.trafficFile, qint64(m->settings.rotateKb) * 1024, &error)) {
        const QSignalBlocker block(m->log->streamBox);
        m->log->streamBox->setChecked(false);
        w->reportFailure(QStringLiteral("Журнал обмена не пишется в %1: %2. Выберите другой файл "
                                     "кнопкой \"Файл…\".").arg(m->settings.trafficFile, error),
                      nullptr, -1, LogSource::monitor());
        return;
    }
    w->showStatusMessage(QStringLiteral("Журнал обмена пишется в %1").arg(m->settings.trafficFile),
                      MainWindow::successColour(), -1, LogSource::monitor());
}

void MonitorSlots::chooseTrafficFile() const
{
    const QString suggested = m->settings.trafficFile.isEmpty() ? QStringLiteral("traffic.log")
                                                                : m->settings.trafficFile;
    const QString path = m->dialogs.saveFile(QStringLiteral("Save File"), suggested,
                                             QStringLiteral("Журнал (*.log *.txt)"));
    if (path.isEmpty())
        return;
    m->settings.trafficFile = path;
    m->log->fileLabel->setText(path);
    saveMonitorSettings();
    // A stream in progress moves to the new file.
    if (m->trafficFile.isOpen())
        setTrafficStream(true);
}

void MonitorSlots::applyTrafficRotate(int kb) const
{
    m->settings.rotateKb = kb;
    m->trafficFile.setMaxBytes(qint64(kb) * 1024);
    saveMonitorSettings();
}
