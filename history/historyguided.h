#pragma once
// What a guided calibration run leaves in the history: a verification per
// device that got as far as its verification (or was left out on the way),
// under the run's batch.

#include "history/historyevent.h"

struct GuidedPlan;
struct GuidedDeviceResult;
struct GuidedWriteRecord;

// The device's verification as the history keeps it; files are the batch
// report (text and PDF) and the file of what the device held before the
// run wrote to it, when they exist.
VerificationEvent historyVerification(const GuidedPlan &plan, const GuidedDeviceResult &device,
                                      const QString &reportBase, const QString &priorFile = QString());

// A write of the run to a device (or the return of what it held), with the
// address written to and the serial number read from the device in the
// same exchange (empty when it could not be read); what it held before,
// when it was read then, among the values as "до записи: <name>".
WriteEvent historyGuidedWrite(const GuidedPlan &plan, const GuidedWriteRecord &record);

// A calculation of the run that was refused: no coefficients, the reason
// where a calculation names its worst point.
CalculationEvent historyGuidedRefusal(const GuidedPlan &plan, const GuidedDeviceResult &device,
                                      const QStringList &pointFiles, const QString &why);

// The batch an event of the run is recorded under: the operator's batch
// name with the run's id beside it, or the run's id alone.
QString historyGuidedBatch(const QString &operatorBatch, const QString &runId);
