#include "app/pollrowfill.h"

#include <QStringList>

namespace PollRowFill {

namespace {
QVector<int> unique(const QVector<int> &found)
{
    QVector<int> out;
    for (int a : found) {
        if (a >= 0 && !out.contains(a))
            out.append(a);
    }
    return out;
}
}

QVector<Row> plan(const QVector<int> &found, int rowCount)
{
    const QVector<int> addresses = unique(found);
    QVector<Row> rows(qMax(0, rowCount));
    for (int i = 0; i < rows.size() && i < addresses.size(); ++i)
        rows[i] = Row{true, addresses.at(i)};
    return rows;
}

QString addressList(const QVector<int> &found)
{
    QStringList texts;
    for (int a : unique(found))
        texts << QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0'));
    return texts.join(QStringLiteral(", "));
}

QString summary(const QVector<int> &found, int rowCount)
{
    const QVector<int> addresses = unique(found);
    const int used = qMin(addresses.size(), qMax(0, rowCount));
    QString text = QStringLiteral("Строки опроса заполнены найденными адресами: %1")
                       .arg(addressList(addresses.mid(0, used)));
    if (addresses.size() > used)
        text += QStringLiteral("; не поместились: %1").arg(addressList(addresses.mid(used)));
    return text;
}

} // namespace PollRowFill
