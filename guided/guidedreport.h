#pragma once
// The batch report of a guided run: the plan, per device its identity,
// range, the coefficients written, the fit per temperature and the
// verification table with its verdict, and the summary of the batch. One
// plain-text file (UTF-8) and the same content as HTML for the PDF the
// window prints.

#include "guided/guidedplan.h"
#include "guided/guidedstate.h"

#include <QByteArray>
#include <QString>

namespace GuidedReport {

QByteArray text(const GuidedPlan &plan, const GuidedCursor &cursor, const QString &runDir = QString());
QString html(const GuidedPlan &plan, const GuidedCursor &cursor);
// "Годны m из n"; and that followed by who failed and why.
QString count(const GuidedCursor &cursor);
QString summary(const GuidedCursor &cursor);
bool writeText(const QString &path, const GuidedPlan &plan, const GuidedCursor &cursor, QString *error);

} // namespace GuidedReport
