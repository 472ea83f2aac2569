#pragma once
// The traffic log view: the kept frames and time-outs, newest at the bottom,
// filtered by address, with pause, save, and the stream to a file that is
// rotated at the size set. The view holds a copy of what it shows, so a
// paused view stays as it was while the log moves on.

#include "app/elidinglabel.h"
#include "link/linkstatistics.h"

#include <QAbstractTableModel>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>


class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;
class TrafficLog;

class TrafficLogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { TimeColumn, DirectionColumn, AddressColumn, CommandColumn, ByteCountColumn,
                  VerdictColumn, StatusColumn, BytesColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Shows these events instead of the rows before; `seqs` numbers them as
    // the log does (empty for a copy that will not be advanced).
    void setEvents(QVector<LinkTrafficEvent> events, QVector<qint64> seqs = QVector<qint64>());
    // Drops the rows numbered below `keepFrom` and appends `added`: rows
    // removed and inserted, not a reset, so a long log costs the view only
    // what changed.
    void advance(qint64 keepFrom, const QVector<LinkTrafficEvent> &added, const QVector<qint64> &addedSeqs);
    const QVector<LinkTrafficEvent> &events() const { return m_events; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVector<LinkTrafficEvent> m_events;
    QVector<qint64> m_seqs;
};

class TrafficLogView : public QWidget
{
    Q_OBJECT
public:
    explicit TrafficLogView(std::shared_ptr<const TrafficLog> log, QWidget *parent = nullptr);

    QPushButton *pauseButton = nullptr;
    QComboBox *addressBox = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *clearButton = nullptr;
    QCheckBox *streamBox = nullptr;
    QPushButton *fileButton = nullptr;
    ElidingLabel *fileLabel = nullptr;
    QSpinBox *rotateBox = nullptr;
    QLabel *countLabel = nullptr;
    QTableView *table = nullptr;
    TrafficLogModel *model = nullptr;

    bool isPaused() const;
    // -1: every address.
    int filterAddress() const;
    // Takes the log's events into the view when it is not paused and
    // something changed (or when forced).
    void refresh(bool force = false);
    const QVector<LinkTrafficEvent> &shownEvents() const { return model->events(); }
    // True while the view keeps the newest line in sight.
    bool isFollowing() const { return m_following; }

private:
    void show(const QVector<LinkTrafficEvent> &events, qint64 total);
    // Makes `change` to the rows, then shows the count of `total` events and
    // keeps following the newest line if the view was at the bottom.
    void changeRows(qint64 total, const std::function<void()> &change);

    std::shared_ptr<const TrafficLog> m_log;
    // What the log held when the view was paused: the filter still works on it.
    QVector<LinkTrafficEvent> m_frozen;
    qint64 m_frozenTotal = 0;
    qint64 m_shownTotal = -1;
    int m_shownFilter = -2;
    bool m_following = true;
};
