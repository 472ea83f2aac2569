#include "polling/lineappender.h"

#include <QFile>

namespace {

constexpr QIODevice::OpenMode AppendMode =
    QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered;

// Size of the file up to and including its last line break (0 if none).
qint64 endOfLastCompleteLine(QFile &f, qint64 size)
{
    constexpr qint64 Chunk = 4096;
    qint64 end = size;
    while (end > 0) {
        const qint64 start = qMax<qint64>(0, end - Chunk);
        if (!f.seek(start))
            return -1;
        const QByteArray block = f.read(end - start);
        if (block.size() != end - start)
            return -1;
        const int nl = block.lastIndexOf('\n');
        if (nl >= 0)
            return start + nl + 1;
        end = start;
    }
    return 0;
}

// The bytes from `from` to the end; the last line of a file is short, but a
// file that is one long fragment is read no further than a line could be.
QByteArray tailOf(QFile &f, qint64 from, qint64 size)
{
    constexpr qint64 Longest = 64 * 1024;
    if (size - from > Longest || !f.seek(from))
        return QByteArray();
    return f.read(size - from);
}

// TAB-separated fields of a line without its ending; a tail that is nothing
// but an ending (a lone CR) has none.
int fieldCount(QByteArray text, bool fragment)
{
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    if (text.isEmpty())
        return fragment ? 0 : 1;
    return text.count('\t') + 1;
}

} // namespace

QByteArray LineAppender::lineEnd()
{
#ifdef Q_OS_WIN
    return QByteArrayLiteral("\r\n");
#else
    return QByteArrayLiteral("\n");
#endif
}

bool LineAppender::append(const QString &fileName, const QByteArray &line, TornTail tail,
                          QString *error)
{
    // Not opened in Qt's text mode: on platforms with CR LF endings that mode
    // splits a write at every line break, and the line would no longer go
    // out in one piece. The line carries the platform ending itself.
    QFile f(fileName);
    if (!f.open(AppendMode)) {
        if (error)
            *error = f.errorString();
        return false;
    }

    // A device such as a pipe has no tail to look at or cut back.
    const bool seekable = !f.isSequential();
    qint64 size = seekable ? f.size() : 0;
    QByteArray out;
    if (size > 0) {
        char last = 0;
        if (!f.seek(size - 1) || f.read(&last, 1) != 1) {
            if (error)
                *error = f.errorString();
            return false;
        }
        if (last != '\n') {
            const qint64 keep = tail == TornTail::Cut ? endOfLastCompleteLine(f, size) : size;
            bool whole = tail == TornTail::Separate;
            if (!whole && keep >= 0) {
                // A last line with all its fields lacks only its break (an
                // editor saved it so): it is data and stays. Only a line
                // with fewer fields than the one appended is a fragment.
                whole = fieldCount(tailOf(f, keep, size), true) >= fieldCount(line, false);
            }
            if (keep < 0) {
                if (error)
                    *error = f.errorString();
                return false;
            }
            if (whole) {
                out = last == '\r' ? QByteArrayLiteral("\n") : lineEnd();
            } else {
                if (!f.resize(keep)) {
                    if (error)
                        *error = f.errorString();
                    return false;
                }
                size = keep;
            }
        }
    }
    out += line;

    // Append mode writes at the end whatever the read position is.
    const qint64 written = f.write(out);
    if (written != out.size()) {
        if (error)
            *error = f.errorString();
        // Take back whatever part of the line did reach the file.
        if (seekable && f.size() != size)
            f.resize(size);
        return false;
    }
    return f.flush();
}
