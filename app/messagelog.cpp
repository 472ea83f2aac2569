#include "app/messagelog.h"

#include "devicedata/safesave.h"

namespace {
// Two appends of one message to two panes happen in the same slot.
constexpr qint64 SameMessageMs = 250;
// How far back a cycled line is looked for: a poll cycle's rows and more.
constexpr int CycleLookBack = 16;
}

MessageLog::MessageLog(int capacity, QObject *parent)
    : QAbstractListModel(parent)
    , m_capacity(qMax(1, capacity))
{
}

void MessageLog::append(const QString &source, const QString &text, quint32 colour, const QDateTime &time)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (!m_entries.isEmpty()) {
            Entry &last = m_entries.last();
            const qint64 gap = last.time.msecsTo(time);
            if (last.text == line && last.colour == colour && gap >= 0) {
                const bool named = last.source.split(QStringLiteral(", ")).contains(source);
                const QModelIndex at = index(m_entries.size() - 1);
                if (gap <= SameMessageMs) {
                    if (!named) {
                        last.source += QStringLiteral(", ") + source;
                        emit dataChanged(at, at);
                    }
                    continue;
                }
                if (named) {
                    ++last.repeats;
                    last.time = time;
                    emit dataChanged(at, at);
                    continue;
                }
            }
        }
        if (m_entries.size() >= m_capacity) {
            // Drop a tenth at once rather than one row per line.
            const int drop = qMax(1, m_capacity / 10);
            beginRemoveRows(QModelIndex(), 0, drop - 1);
            m_entries.remove(0, drop);
            endRemoveRows();
        }
        beginInsertRows(QModelIndex(), m_entries.size(), m_entries.size());
        m_entries.append({time, source, line, colour, 1, time});
        endInsertRows();
    }
}

void MessageLog::appendCycled(const QString &source, const QString &line, quint32 colour,
                              const QDateTime &time)
{
    const int last = m_entries.size() - 1;
    for (int row = last; row >= 0 && last - row < CycleLookBack; --row) {
        const Entry &e = m_entries.at(row);
        if (e.source != source)
            break;
        if (e.text != line || e.colour != colour)
            continue;
        if (row != last) {
            beginMoveRows(QModelIndex(), row, row, QModelIndex(), m_entries.size());
            m_entries.append(m_entries.takeAt(row));
            endMoveRows();
        }
        Entry &moved = m_entries.last();
        ++moved.repeats;
        moved.time = time;
        const QModelIndex at = index(last);
        emit dataChanged(at, at);
        return;
    }
    append(source, line, colour, time);
}

void MessageLog::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

namespace {
QString repeatsText(const MessageLog::Entry &e)
{
    if (e.repeats < 2)
        return QString();
    return QStringLiteral(" (повторов: %1, первый в %2)")
        .arg(e.repeats)
        .arg(e.firstTime.toString(QStringLiteral("hh:mm:ss")));
}
}

QString MessageLog::entryLine(const Entry &e)
{
    return e.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral(" [") + e.source
           + QStringLiteral("] ") + e.text + repeatsText(e);
}

QString MessageLog::toText() const
{
    QString out;
    for (const Entry &e : m_entries)
        out += entryLine(e) + QLatin1Char('\n');
    return out;
}

bool MessageLog::save(const QString &path, QString *error) const
{
    const SafeSave::Result saved = SafeSave::write(path, toText().toUtf8());
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}

int MessageLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

QVariant MessageLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_entries.size())
        return QVariant();
    const Entry &e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.time.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("  [") + e.source
               + QStringLiteral("]  ") + e.text + repeatsText(e);
    case Qt::ToolTipRole:
        return entryLine(e);
    case ColourRole:
        return uint(e.colour);
    case TimeRole:
        return e.time;
    case SourceRole:
        return e.source;
    case TextRole:
        return e.text;
    default:
        return QVariant();
    }
}
