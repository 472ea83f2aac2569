#include "app/textfilenames.h"

#include <QFileInfo>

namespace TextFileNames {

bool filterIsText(const QString &selectedFilter)
{
    return selectedFilter.contains(QLatin1String("*.txt"), Qt::CaseInsensitive);
}

QString withTextSuffix(const QString &path, const QString &selectedFilter)
{
    if (path.isEmpty() || !filterIsText(selectedFilter))
        return path;
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty())
        return path;    // a directory: nothing to name
    if (name.endsWith(QLatin1Char('.')))
        return path + QStringLiteral("txt");
    // A leading dot alone ("..txt" aside) marks a hidden name, not a suffix.
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        return path;
    return path + QStringLiteral(".txt");
}

QString usableSerial(const QString &serialText)
{
    const QString s = serialText.trimmed();
    if (s.isEmpty())
        return QString();
    bool nonZero = false;
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QString();
        nonZero = nonZero || c != QLatin1Char('0');
    }
    return nonZero ? s : QString();
}

QString defaultName(const QString &prefix, const QString &serialText, const QString &fallback)
{
    const QString serial = usableSerial(serialText);
    if (serial.isEmpty())
        return fallback;
    return prefix + QLatin1Char('_') + serial + QStringLiteral(".txt");
}

} // namespace TextFileNames
