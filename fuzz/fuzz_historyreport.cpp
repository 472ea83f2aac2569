// Arbitrary bytes as a calculation report to import: either refused with
// the file and the reason, or read as a calculation the history can hold
// (a date, a positive Pmax, the fourteen coefficients as numbers, residuals
// that are numbers or "не число").

#include "history/historyimport.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dev_report.txt"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    const HistoryImport::Parsed p = HistoryImport::parseReport(path, HistoryContext());
    if (!p.ok) {
        if (!p.error.startsWith(path + QStringLiteral(": ")))
            std::abort();
        return 0;
    }
    const CalculationEvent &e = p.event;
    if (!e.context.when.isValid() || !std::isfinite(e.pmaxPa) || !(e.pmaxPa > 0) || e.coefficients.size() != 14)
        std::abort();
    for (const HistoryValue &c : e.coefficients)
        if (!std::isfinite(c.value))
            std::abort();
    for (double r : e.fitPercent)
        if (!(r >= 0))
            std::abort();
    if (!(e.worstPercent >= 0))
        std::abort();
    return 0;
}
