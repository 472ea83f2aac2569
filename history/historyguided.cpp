#include "history/historyguided.h"

#include "guided/guidedplan.h"
#include "guided/guidedstate.h"
#include "guided/guidedwrite.h"

#include <QFileInfo>
#include <algorithm>

namespace {
QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}
}

VerificationEvent historyVerification(const GuidedPlan &plan, const GuidedDeviceResult &d,
                                      const QString &reportBase, const QString &priorFile)
{
    VerificationEvent e;
    e.context.batch = d.batchId;
    e.device.serial = d.haveSerial ? QString::number(d.serial) : QString();
    e.device.model = d.model;
    e.accuracyClass = QStringLiteral("%1 % диапазона").arg(number(plan.classPercent, 3));
    e.passed = d.passed;
    // One line per reading: where, which way, the bench, the device, its errors.
    QStringList rows{QStringLiteral("%, ход, эталон кПа, прибор кПа, погрешность %, ток мА, погрешность тока %")};
    for (const GuidedVerifyRow &r : d.verify) {
        rows << QStringLiteral("%1; %2; %3; %4; %5; %6; %7")
                    .arg(number(r.percent, 1),
                         r.falling ? QStringLiteral("обратный") : QStringLiteral("прямой"),
                         number(r.referenceKPa, 4),
                         r.answered ? number(r.readKPa, 4) : QStringLiteral("нет ответа"),
                         r.answered ? number(r.pressureError, 4) : QStringLiteral("—"),
                         r.answered ? number(r.currentMa, 4) : QStringLiteral("—"),
                         r.answered ? number(r.currentError, 4) : QStringLiteral("—"));
    }
    e.table = rows.join(QLatin1Char('\n'));
    e.details = d.active() ? d.verdict : QStringLiteral("исключен из прогона: %1").arg(d.leftOut);
    // A device left out is not verified: it is not recorded as failing
    // a verification (readings it gave before it left stay in the details).
    if (!d.active()) {
        if (!d.verify.isEmpty())
            e.details += QStringLiteral("; снятые показания:\n") + e.table;
        e.table.clear();
    }
    if (!d.calcNote.isEmpty())
        e.details += QStringLiteral("; расчет: %1").arg(d.calcNote);
    for (const QString &suffix : {QStringLiteral(".txt"), QStringLiteral(".pdf")}) {
        const QString path = reportBase + suffix;
        if (QFileInfo::exists(path))
            e.files.append(historyFile(QStringLiteral("Отчет партии"), path));
    }
    if (d.priorKept && QFileInfo::exists(priorFile))
        e.files.append(historyFile(QStringLiteral("Прежние коэффициенты"), priorFile));
    return e;
}

WriteEvent historyGuidedWrite(const GuidedPlan &plan, const GuidedWriteRecord &r)
{
    WriteEvent e;
    e.context.when = QDateTime::currentDateTimeUtc();
    e.device.serial = r.serialRead ? QString::number(r.serial) : QString();
    if (r.device >= 0 && r.device < plan.devices.size())
        e.device.model = plan.devices[r.device].modelText();
    e.address = r.address;
    e.what = r.restore ? QStringLiteral("Прежние коэффициенты (возврат)") : QStringLiteral("Коэффициенты расчета");
    e.blocks = r.blocks;
    e.refusedBlocks = r.refused;
    e.blockCount = r.blocks.size();
    e.writtenCount = r.written;
    for (const auto &v : r.values.named())
        e.values.append({QString::fromLatin1(v.first), double(v.second)});
    if (r.priorRead)
        for (const auto &v : r.prior.named())
            e.values.append({QStringLiteral("до записи: %1").arg(QLatin1String(v.first)), double(v.second)});
    e.outcome = r.outcome;
    return e;
}

CalculationEvent historyGuidedRefusal(const GuidedPlan &plan, const GuidedDeviceResult &d,
                                      const QStringList &pointFiles, const QString &why)
{
    CalculationEvent e;
    e.context.when = QDateTime::currentDateTimeUtc();
    e.device.serial = d.haveSerial ? QString::number(d.serial) : QString();
    e.device.model = d.model;
    e.sensorType = e.fitModel = GuidedPlan::sensorText(d.sensor);
    e.pmaxPa = d.pmaxPa;
    e.fitPercent = d.fitWorstPercent;
    e.worstPercent = *std::max_element(d.fitWorstPercent.begin(), d.fitWorstPercent.end());
    e.worstPoint = QStringLiteral("расчет отказан: %1").arg(why);
    e.withinTarget = false;
    const char *const names[3] = {"Tmin", "Tmid", "Tmax"};
    for (int t = 0; t < pointFiles.size() && t < plan.temperatures.size(); ++t) {
        const int slot = plan.temperatures[t].slot == CalibrationTemperature::Low ? 0
                         : plan.temperatures[t].slot == CalibrationTemperature::High ? 2 : 1;
        if (QFileInfo::exists(pointFiles[t]))
            e.files.append(historyFile(QLatin1String(names[slot]), pointFiles[t]));
    }
    return e;
}

QString historyGuidedBatch(const QString &operatorBatch, const QString &runId)
{
    if (operatorBatch.trimmed().isEmpty())
        return runId;
    return QStringLiteral("%1 (прогон %2)").arg(operatorBatch.trimmed(), runId);
}
