#pragma once
// A file written whole or not at all: the bytes go to a temporary file that
// replaces the target only once complete, or straight to the target where
// the folder does not allow a temporary file beside it.

#include <QByteArray>
#include <QString>

namespace WholeFile {
// False, with the reason, when the file could not be written.
bool save(const QString &path, const QByteArray &bytes, QString *error);
}
