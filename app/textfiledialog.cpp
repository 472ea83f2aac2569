#include "app/textfiledialog.h"

#include "app/textfilenames.h"

#include <QDir>
#include <QFileDialog>

namespace TextFileDialog {

QString getSaveFileName(QWidget *parent, const QString &caption, const QString &directory,
                        const QString &suggestedName, const QString &filter)
{
    QFileDialog dialog(parent, caption, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    auto followFilter = [&dialog](const QString &selected) {
        dialog.setDefaultSuffix(TextFileNames::filterIsText(selected) ? QStringLiteral("txt") : QString());
    };
    followFilter(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    if (!suggestedName.isEmpty())
        dialog.selectFile(QDir(directory).filePath(suggestedName));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return QString();
    return TextFileNames::withTextSuffix(files.first(), dialog.selectedNameFilter());
}

} // namespace TextFileDialog
