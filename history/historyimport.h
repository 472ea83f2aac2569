#pragma once
// Earlier calibrations into the history: the reports a calculation left
// beside its point files (NAME_report.txt beside NAME..._MNK.txt), found in a
// folder and its subfolders. A report is known by its contents' checksum, so
// each goes in once however often the folder is imported, and wherever it
// was copied to. A report of a calculation this program recorded when it
// was made is that event, not another calibration: it is matched and
// skipped.

#include "history/historyevent.h"

#include <QString>
#include <QStringList>
#include <functional>

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

// How far a report's time may be from the event recorded with it: the
// report tells the local time of the PC that wrote it, read here in this
// PC's zone; the coefficients decide.
constexpr int LiveMatchSeconds = 14 * 3600 + 60;

struct Result
{
    int imported = 0;
    int alreadyThere = 0;       // all those skipped, the two below among them
    int recordedLive = 0;       // recorded when the calculation was made
    int byOtherBench = 0;       // imported by another PC during this import
    QStringList failures;       // one line per report not imported
    QString error;              // the database could not be used at all
    // "Импорт в историю: добавлено отчетов 2, уже были в истории 3 (...)".
    QString text() const;
};
// beforeWrite, when given, is called with each report's path just before
// it is written (a test puts another bench's import there).
Result importFolder(HistoryStore &store, const QString &dir, const HistoryContext &context,
                    const std::function<void(const QString &)> &beforeWrite = {});

}
