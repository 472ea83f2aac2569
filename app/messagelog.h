#pragma once
// The one message log: every line written to any status pane, with the time
// it was written, the pane it went to and its colour. Bounded: the oldest
// lines go once the capacity is reached, so a week of polling time-outs
// cannot grow it without end. A list model, so a view can show it as it grows.

#include <QAbstractListModel>
#include <QDateTime>
#include <QString>
#include <QVector>

// Where a line comes from: a tab's own pane, or, when that is not where it
// starts, the line and the port, the polling tab, the device scan, the
// device data dialog, the monitor, or the status bar alone.
namespace LogSource {
inline QString developer() { return QStringLiteral("Для разработчика"); }
inline QString calibration() { return QStringLiteral("Калибровка"); }
inline QString deviceSettings() { return QStringLiteral("Настройка устройства"); }
inline QString statusBar() { return QStringLiteral("Строка состояния"); }
inline QString port() { return QStringLiteral("Порт"); }
inline QString polling() { return QStringLiteral("Опрос"); }
inline QString scan() { return QStringLiteral("Поиск"); }
inline QString deviceData() { return QStringLiteral("Данные устройства"); }
inline QString monitor() { return QStringLiteral("Монитор"); }
}

class MessageLog : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { ColourRole = Qt::UserRole + 1, TimeRole, SourceRole, TextRole };

    struct Entry
    {
        QDateTime time;
        QString source;     // the pane ("Калибровка", ...)
        QString text;       // one line, without its break
        quint32 colour = 0xff000000;   // ARGB, as QColor::rgba() gives it
        // The same line from the same source again and again (a silent
        // device's time-outs) is one entry: how often, and since when;
        // `time` is the last one.
        int repeats = 1;
        QDateTime firstTime;
    };

    explicit MessageLog(int capacity = 5000, QObject *parent = nullptr);

    // Appends every non-empty line of text. A line equal to the last one,
    // in the same colour and within a moment of it, is the same message
    // shown in a second pane: its pane is added to that entry instead.
    // Later, from a source the entry already names, it is a repeat: counted
    // on that entry, so that a repeated failure cannot push every other
    // line out of the log.
    void append(const QString &source, const QString &text, quint32 colour,
                const QDateTime &time = QDateTime::currentDateTime());
    // A line a source says again every cycle among its other lines (a poll
    // time-out per silent device): counted on its entry while only that
    // source's lines came after it, and that entry moved to the end, so
    // that two silent devices are two entries, not one line per time-out.
    void appendCycled(const QString &source, const QString &line, quint32 colour,
                      const QDateTime &time = QDateTime::currentDateTime());
    void clear();

    int capacity() const { return m_capacity; }
    int size() const { return m_entries.size(); }
    const Entry &entry(int row) const { return m_entries.at(row); }

    // "2024-05-01 12:00:00.125 [Калибровка] Значение давления получено",
    // with " (повторов: 3, первый в 11:59:58)" after a repeated line.
    static QString entryLine(const Entry &e);
    // The whole log as text, one entry per line.
    QString toText() const;
    // Writes toText() to path (UTF-8); false with the reason in error.
    bool save(const QString &path, QString *error) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QVector<Entry> m_entries;
    int m_capacity;
};
