#pragma once
// What a guided run's files must agree on before a run is taken up from
// them. The plan and the state are each read strictly (their fromJson);
// here the state is checked against the plan: every index it holds names a
// device, temperature, point or verification step the plan has, every line
// of a point on its way names that device's point file in this run's folder.
// A folder copied from another PC holds the other PC's paths: a line that
// names the same point file there is taken as this folder's.

#include "guided/guidedplan.h"
#include "guided/guidedstate.h"

#include <QString>

namespace GuidedValidate {

// The run's folders and files (guided_plan.json, <base>_0a/<base>_Tmid.txt).
QString deviceDir(const QString &runDir, const GuidedPlan &plan, int device);
QString pointFile(const QString &runDir, const GuidedPlan &plan, int device, int temperature);

// A base name that makes file names inside the run's folder only.
bool fileNameOk(const QString &name);
// A unit code the pressure register can be read in.
bool pressureUnit(int unitCode);

// Empty when the cursor fits the plan; else what does not. Paths of lines
// from a copy of the folder are set to this folder's.
QString fitsPlan(GuidedCursor *cursor, const GuidedPlan &plan, const QString &runDir);

// The plan and the state of the run in runDir, read, checked and agreeing;
// false with the file and the reason ("файл …/guided_state.json поврежден:
// поле «point» …"; both files when they do not agree), and nothing given
// back.
bool readRun(const QString &runDir, GuidedPlan *plan, GuidedCursor *cursor, QString *why);

} // namespace GuidedValidate
