#pragma once
// Where a new guided run goes. A run's record is its folder: a run started
// in the folder of the last one would mix its point files and reports with
// the earlier batch's, so each new run is proposed a folder of its own, a
// dated subfolder of the place the last run was kept, and the last run's
// plan is offered for its settings.

#include "guided/guidedplan.h"

#include <QDateTime>
#include <QString>

namespace GuidedFolder {

// A folder no run has used, named by the time: under the folder the last
// run sat in (last itself when it holds no run), or under fallbackBase
// when there was none.
QString fresh(const QString &last, const QString &fallbackBase, const QDateTime &now);

// The plan of the run in folder, when there is one that reads.
bool plan(const QString &folder, GuidedPlan *plan);

} // namespace GuidedFolder
