#include "history/historyguided.h"

#include "guided/guidedplan.h"
#include "guided/guidedstate.h"

#include <QFileInfo>

namespace {
QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}
}

VerificationEvent historyVerification(const GuidedPlan &plan, const GuidedDeviceResult &d,
                                      const QString &reportBase)
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
    if (!d.calcNote.isEmpty())
        e.details += QStringLiteral("; расчет: %1").arg(d.calcNote);
    for (const QString &suffix : {QStringLiteral(".txt"), QStringLiteral(".pdf")}) {
        const QString path = reportBase + suffix;
        if (QFileInfo::exists(path))
            e.files.append(historyFile(QStringLiteral("Отчет партии"), path));
    }
    return e;
}
