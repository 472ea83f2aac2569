// Arbitrary bytes as the history's queue file: every line is either an
// event or refused with the file, its line and the reason; an event read
// writes back as the same line and reads again as the same event.

#include "history/historyqueue.h"

#include "fuzzjson.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace {

QString queuePath()
{
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("queue.jsonl"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = queuePath();
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    int bad = 0;
    QStringList reasons;
    const QVector<HistoryRecord> read = HistoryQueue(path).readAll(&bad, &reasons);
    if (reasons.size() != bad)
        std::abort();
    for (const QString &r : reasons)
        if (!r.contains(path))
            std::abort();
    int lines = 0;
    for (const QByteArray &l : bytes.split('\n'))
        lines += !l.trimmed().isEmpty();
    if (read.size() + bad != lines)
        std::abort();
    for (const HistoryRecord &r : read) {
        const QJsonObject o = HistoryJson::toJson(r);
        HistoryRecord again;
        QString why;
        if (r.uid.isEmpty() || !r.context().when.isValid()
            || !HistoryJson::fromJson(QJsonDocument::fromJson(QJsonDocument(o).toJson(QJsonDocument::Compact)).object(),
                                      &again, &why)
            || HistoryJson::toJson(again) != o)
            std::abort();
    }
    return 0;
}
