#pragma once
// Earlier calibrations into the history: the reports a calculation left
// beside its point files (NAME_report.txt beside NAME..._MNK.txt), found in a
// folder and its subfolders. A report is known by its contents' checksum, so
// each goes in once however often the folder is imported, and wherever it
// was copied to.

#include "history/historyevent.h"

#include <QString>
#include <QStringList>

class HistoryStore;

namespace HistoryImport {

// Reports under dir that have a point file ("_MNK" in its name) beside them.
QStringList findReports(const QString &dir);

struct Parsed
{
    bool ok = false;
    QString error;              // why not, naming the file
    CalculationEvent event;
    QString sourceKey;          // "report:<sha256 of the file>"
};
// The calculation a report tells of; the context's date is the report's,
// the rest is taken from `context` (who imports, where).
Parsed parseReport(const QString &path, const HistoryContext &context);

struct Result
{
    int imported = 0;
    int alreadyThere = 0;
    QStringList failures;       // one line per report not imported
    QString error;              // the database could not be used at all
};
Result importFolder(HistoryStore &store, const QString &dir, const HistoryContext &context);

}
