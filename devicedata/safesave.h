#pragma once
// Saving a whole file without surprises for what is already there.
//
// Where it can, the new contents go to a temporary file beside the target,
// which replaces the target only once everything is written: a full disk or
// a crash leaves the old file as it was. Replacing is not always harmless,
// though, and then the file is written in place instead:
// - the folder does not let us create the temporary file, but the file itself
//   is writable (QSaveFile's direct-write fallback);
// - the file has more than one name (a hard link): a replacement would split
//   it, and the other names would keep the old contents;
// - the file belongs to someone else: a replacement would make it ours and
//   lose its owner's rights on it.
// A target that is not a regular file (a device, a pipe, a socket, a folder)
// is refused: replacing it would destroy it, and writing into it could hang
// on a pipe nobody reads or send the bytes to hardware.

#include <QByteArray>
#include <QString>

namespace SafeSave {

struct Result
{
    bool ok = false;
    bool inPlace = false;   // written into the existing file, not replaced
    QString error;          // why not, for the user, when !ok
};

// Writes data as the whole new contents of path. With text, "\n" becomes the
// platform's line ending.
Result write(const QString &path, const QByteArray &data, bool text = true);

} // namespace SafeSave
