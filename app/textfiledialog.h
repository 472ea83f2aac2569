#pragma once
// The save dialog of every "*.txt" file: the name suggested, ".txt" added when
// the engineer typed no suffix with the text filter selected (the dialog does
// it before its own overwrite question), and the same rule applied to what it
// returns.

#include <QString>

class QWidget;

namespace TextFileDialog {

// The path chosen, empty when cancelled. directory is where the dialog
// opens; suggestedName (may be empty) the file name it proposes there.
QString getSaveFileName(QWidget *parent, const QString &caption, const QString &directory,
                        const QString &suggestedName, const QString &filter);

} // namespace TextFileDialog
