#include "guided/guidedfolder.h"

#include "guided/guidedstate.h"

#include <QDir>
#include <QFileInfo>

namespace GuidedFolder {

QString fresh(const QString &last, const QString &fallbackBase, const QDateTime &now)
{
    QString base = fallbackBase;
    if (!last.isEmpty())
        base = QFileInfo::exists(GuidedFiles::planFile(last)) ? QFileInfo(QDir::cleanPath(last)).path() : last;
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd_HH-mm"));
    QString name = stamp;
    for (int n = 2; QFileInfo::exists(QDir(base).filePath(name)); ++n)
        name = QStringLiteral("%1_%2").arg(stamp).arg(n);
    return QDir(base).filePath(name);
}

bool plan(const QString &folder, GuidedPlan *plan)
{
    QJsonObject o;
    return !folder.isEmpty() && GuidedFiles::loadJson(GuidedFiles::planFile(folder), &o, nullptr)
           && GuidedPlan::fromJson(o, plan, nullptr);
}

} // namespace GuidedFolder
