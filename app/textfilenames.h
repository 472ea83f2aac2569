#pragma once
// Names of the text files the engineer saves: the ".txt" a "*.txt" dialog
// adds when no suffix was typed (so the file shows in the load dialogs,
// which filter on it), and default names that carry the device's serial
// number when one is known.

#include <QString>

namespace TextFileNames {

// True when the dialog filter offers "*.txt" files.
bool filterIsText(const QString &selectedFilter);
// path with ".txt" appended when the selected filter is a "*.txt" one and
// the file name has no suffix; unchanged otherwise (an empty path stays
// empty: a cancelled dialog).
QString withTextSuffix(const QString &path, const QString &selectedFilter);
// A serial number as a file name takes it: decimal digits, not all zero;
// empty when the text is no such number.
QString usableSerial(const QString &serialText);
// "<prefix>_<serial>.txt" when the serial is usable, else fallback.
QString defaultName(const QString &prefix, const QString &serialText, const QString &fallback);

} // namespace TextFileNames
