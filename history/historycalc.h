#pragma once
// The calculation's record as the history keeps it: from the report the
// calculation writes beside its point files.

#include "history/historyevent.h"

struct CalibrationReport;

// The coefficients as written, the fit per temperature and its worst point,
// the point files and the report with their checksums.
CalculationEvent historyCalculation(const CalibrationReport &report, const QString &reportPath);
