#include "history/historycsv.h"

#include "history/historydetails.h"

namespace {
QByteArray field(const QString &text)
{
    QByteArray f = text.toUtf8();
    if (f.contains('"') || f.contains(';') || f.contains('\n') || f.contains('\r') || f.contains(',')) {
        f.replace('"', "\"\"");
        f = '"' + f + '"';
    }
    return f;
}

QByteArray line(const QStringList &cells)
{
    QByteArray out;
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += ';';
        out += field(cells[i]);
    }
    return out + "\r\n";
}
}

QByteArray csvText(const QStringList &header, const QVector<QStringList> &rows)
{
    QByteArray out("\xEF\xBB\xBF");
    out += line(header);
    for (const QStringList &r : rows)
        out += line(r);
    return out;
}

QStringList historyColumns()
{
    return {QStringLiteral("Дата"), QStringLiteral("Событие"), QStringLiteral("Заводской номер"),
            QStringLiteral("Модель"), QStringLiteral("Результат"), QStringLiteral("Сводка"),
            QStringLiteral("Оператор"), QStringLiteral("Порт"), QStringLiteral("Профиль"),
            QStringLiteral("Партия")};
}

QStringList historyCells(const HistoryRow &r)
{
    return {r.when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), historyKindText(r.kind),
            historySerialText(r.serial), r.model, r.ok ? QStringLiteral("успешно") : QStringLiteral("неуспешно"), r.summary,
            r.operatorName, r.port, r.profile, r.batch};
}

QByteArray historyCsv(const QVector<HistoryRow> &rows)
{
    QVector<QStringList> cells;
    for (const HistoryRow &r : rows)
        cells.append(historyCells(r));
    return csvText(historyColumns(), cells);
}
