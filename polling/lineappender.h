#pragma once
// Appends one complete text line to a file and gets it to the operating
// system before returning.
//
// Why one write per line: the record and point files are read back line by
// line, and a reader that meets a torn line (fewer fields) shifts every
// following value into the wrong place. So a line is composed in memory and
// handed to the file in a single unbuffered write; once write() returns it
// is in the kernel's cache and survives a crash of this program. If the
// write comes back short (disk full, quota), the file is cut back to its
// size before the write, so a failed line never stays behind as a fragment
// that the next line would be glued to.
//
// The file is opened and closed for every line: nothing is held open between
// answers, so a directory can be removed or a disk unplugged between two
// answers without a stale handle, and memory use does not depend on how many
// devices or files there are. A poll answer comes at most every few tens of
// milliseconds, against which an open/write/close is negligible.

#include <QByteArray>
#include <QString>

class LineAppender
{
public:
    // What to do when the file does not end with a line break (a line torn
    // by a power loss, or a file edited by hand and saved without a final
    // break).
    enum class TornTail {
        Cut,        // files this program names and writes alone: drop a fragment
                    // (fewer TAB-separated fields than the line appended); a last
                    // line with all its fields only gets its missing break
        Separate    // files the user picked: keep it, start the new line below it
    };

    // The line ending the platform uses for text files; lines passed to
    // append() end with it.
    static QByteArray lineEnd();

    // Appends `line` (which should end with lineEnd()). Creates the file if
    // missing (not its directory). Returns false when the file could not be
    // opened or the line could not be written whole; the file then holds
    // what it held before.
    static bool append(const QString &fileName, const QByteArray &line,
                       TornTail tail = TornTail::Cut, QString *error = nullptr);
};
