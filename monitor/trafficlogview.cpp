#include "monitor/trafficlogview.h"

#include "app/elidinglabel.h"
#include "monitor/flowlayout.h"
#include "monitor/monitorsettings.h"
#include "monitor/trafficlog.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

void TrafficLogModel::setEvents(QVector<LinkTrafficEvent> events, QVector<qint64> seqs)
{
    beginResetModel();
    m_events = std::move(events);
    m_seqs = std::move(seqs);
    endResetModel();
}

void TrafficLogModel::advance(qint64 keepFrom, const QVector<LinkTrafficEvent> &added,
                              const QVector<qint64> &addedSeqs)
{
    int dropped = 0;
    while (dropped < m_seqs.size() && m_seqs.at(dropped) < keepFrom)
        ++dropped;
    if (dropped > 0) {
        beginRemoveRows(QModelIndex(), 0, dropped - 1);
        m_events.remove(0, dropped);
        m_seqs.remove(0, dropped);
        endRemoveRows();
    }
    if (!added.isEmpty()) {
        beginInsertRows(QModelIndex(), m_events.size(), m_events.size() + added.size() - 1);
        m_events += added;
        m_seqs += addedSeqs;
        endInsertRows();
    }
}

int TrafficLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_events.size();
}

int TrafficLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_events.size())
        return QVariant();
    const LinkTrafficEvent &e = m_events.at(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case TimeColumn: return TrafficLog::timeText(e.msecsSinceEpoch).mid(11);
        case DirectionColumn: return TrafficLog::directionText(e.direction);
        case AddressColumn: return TrafficLog::addressText(e.address);
        case CommandColumn: return TrafficLog::numberText(e.command);
        case ByteCountColumn: return TrafficLog::numberText(e.byteCount);
        case VerdictColumn: return TrafficLog::verdictText(e.verdict);
        case StatusColumn: return TrafficLog::statusText(e);
        case BytesColumn: return TrafficLog::bytesText(e.bytes);
        }
    } else if (role == Qt::ForegroundRole) {
        switch (e.verdict) {
        case LinkTrafficEvent::ChecksumError:
        case LinkTrafficEvent::Timeout:
            return QColor(Qt::red);
        case LinkTrafficEvent::Discarded:
            return QColor(0xD0, 0x60, 0x00);
        case LinkTrafficEvent::Good:
            return e.direction == LinkTrafficEvent::Tx ? QColor(0, 0, 160) : QColor(Qt::black);
        }
    } else if (role == Qt::ToolTipRole && index.column() == TimeColumn) {
        return TrafficLog::timeText(e.msecsSinceEpoch);
    }
    return QVariant();
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char *const names[] = {"Время", "Напр.", "Адрес", "Команда", "Байт", "Итог", "Статус", "Кадр"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(names[section]) : QVariant();
}

TrafficLogView::TrafficLogView(std::shared_ptr<const TrafficLog> log, QWidget *parent)
    : QWidget(parent)
    , m_log(std::move(log))
{
    setObjectName(QStringLiteral("trafficLogView"));
    pauseButton = new QPushButton(QStringLiteral("Пауза"), this);
    pauseButton->setObjectName(QStringLiteral("buttonTrafficPause"));
    pauseButton->setCheckable(true);
    addressBox = new QComboBox(this);
    addressBox->setObjectName(QStringLiteral("comboBoxTrafficAddress"));
    addressBox->addItem(QStringLiteral("Все адреса"), -1);
    for (int a = 0; a < 16; ++a)
        addressBox->addItem(TrafficLog::addressText(a), a);
    saveButton = new QPushButton(QStringLiteral("Сохранить…"), this);
    saveButton->setObjectName(QStringLiteral("buttonTrafficSave"));
    saveButton->setToolTip(QStringLiteral("Сохранить показанные строки в текстовый файл"));
    clearButton = new QPushButton(QStringLiteral("Очистить"), this);
    clearButton->setObjectName(QStringLiteral("buttonTrafficClear"));
    streamBox = new QCheckBox(QStringLiteral("Писать в файл"), this);
    streamBox->setObjectName(QStringLiteral("checkBoxTrafficStream"));
    streamBox->setToolTip(QStringLiteral("Каждый кадр сразу дописывается в файл; по достижении "
                                         "размера файл переименовывается в .1 (старые — в .2, .3) "
                                         "и начинается новый"));
    fileButton = new QPushButton(QStringLiteral("Файл…"), this);
    fileButton->setObjectName(QStringLiteral("buttonTrafficFile"));
    // A long path shows its end, and whole in the tool tip.
    fileLabel = new ElidingLabel(this, Qt::ElideLeft);
    fileLabel->setObjectName(QStringLiteral("labelTrafficFile"));
    rotateBox = new QSpinBox(this);
    rotateBox->setObjectName(QStringLiteral("spinBoxTrafficRotate"));
    rotateBox->setRange(MonitorSettings::MinRotateKb, MonitorSettings::MaxRotateKb);
    rotateBox->setSuffix(QStringLiteral(" КБ"));
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("labelTrafficCount"));
    // Its text changes with every refresh; a fixed size keeps that from
    // laying the panel out again each time.
    countLabel->setFixedSize(countLabel->fontMetrics().horizontalAdvance(
                                 QStringLiteral("10000 строк, всего событий 0000000000_")),
                             countLabel->fontMetrics().height());
    countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    model = new TrafficLogModel(this);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("tableTrafficLog"));
    table->setModel(model);
    table->verticalHeader()->hide();
    // Fixed rows: a model reset with thousands of rows costs no measuring.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    table->setFont(mono);
    const QFontMetrics fm(mono);
    const int widths[] = {fm.horizontalAdvance(QStringLiteral("00:00:00.000__")),
                          fm.horizontalAdvance(QStringLiteral("Напр.__")),
                          fm.horizontalAdvance(QStringLiteral("Адрес__")),
                          fm.horizontalAdvance(QStringLiteral("Команда__")),
                          fm.horizontalAdvance(QStringLiteral("Байт__")),
                          fm.horizontalAdvance(QStringLiteral("ошибка КС__"))};
    for (int c = 0; c < 6; ++c)
        table->setColumnWidth(c, widths[c]);

    // The controls wrap onto more rows in a narrow dock.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *controlsBox = new FlowBox(this);
    FlowLayout *controls = controlsBox->flow();
    layout->addWidget(controlsBox);
    layout->addWidget(table, 1);
    controls->addWidget(pauseButton);
    controls->addGroup({new QLabel(QStringLiteral("Адрес"), this), addressBox});
    controls->addGroup({saveButton, clearButton});
    controls->addGroup({streamBox, fileButton, fileLabel});
    controls->addGroup({new QLabel(QStringLiteral("новый файл после"), this), rotateBox});
    controls->addWidget(countLabel);

    // Follows the newest line until the engineer scrolls up to read, and
    // again once they scroll back to the bottom; a layout or a resize of
    // the panel does not decide it.
    QScrollBar *bar = table->verticalScrollBar();
    // The slider's new position is set when the action is reported.
    connect(bar, &QAbstractSlider::actionTriggered, this,
            [this, bar] { m_following = bar->sliderPosition() >= bar->maximum(); });
    connect(bar, &QAbstractSlider::rangeChanged, this, [this, bar] {
        if (m_following)
            bar->setValue(bar->maximum());
    });

    connect(addressBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        if (!isPaused()) {
            refresh(true);
            return;
        }
        QVector<LinkTrafficEvent> shown;
        const int filter = filterAddress();
        for (const LinkTrafficEvent &e : qAsConst(m_frozen)) {
            if (filter < 0 || e.address == filter)
                shown.append(e);
        }
        show(shown, m_frozenTotal);
    });
    connect(pauseButton, &QPushButton::toggled, this, [this](bool on) {
        m_frozen = on ? m_log->events(-1) : QVector<LinkTrafficEvent>();
        m_frozenTotal = m_log->total();
        if (!on)
            refresh(true);
    });
}

bool TrafficLogView::isPaused() const { return pauseButton->isChecked(); }

int TrafficLogView::filterAddress() const
{
    return addressBox->currentData().toInt();
}

void TrafficLogView::refresh(bool force)
{
    const int filter = filterAddress();
    const qint64 total = m_log->total();
    if (isPaused() || (!force && total == m_shownTotal && filter == m_shownFilter))
        return;
    const bool afresh = force || filter != m_shownFilter || m_shownTotal < 0 || total < m_shownTotal;
    changeRows(total, [&] {
        QVector<qint64> seqs;
        if (afresh) {
            QVector<LinkTrafficEvent> events = m_log->events(filter, 0, &seqs);
            model->setEvents(std::move(events), std::move(seqs));
        } else {
            const QVector<LinkTrafficEvent> added = m_log->events(filter, m_shownTotal, &seqs);
            model->advance(m_log->firstKept(), added, seqs);
        }
    });
    m_shownFilter = filter;
}

void TrafficLogView::show(const QVector<LinkTrafficEvent> &events, qint64 total)
{
    changeRows(total, [&] { model->setEvents(events); });
    // Not the log as it stands: the next refresh starts afresh.
    m_shownFilter = -2;
}

void TrafficLogView::changeRows(qint64 total, const std::function<void()> &change)
{
    change();
    m_shownTotal = total;
    countLabel->setText(QStringLiteral("%1 строк, всего событий %2").arg(model->rowCount()).arg(total));
    if (m_following)
        table->scrollToBottom();
}
