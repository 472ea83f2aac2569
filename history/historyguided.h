#pragma once
// What a guided calibration run leaves in the history: a verification per
// device that got as far as its verification (or was left out on the way),
// under the run's batch.

#include "history/historyevent.h"

struct GuidedPlan;
struct GuidedDeviceResult;

// The device's verification as the history keeps it; files are the batch
// report (text and PDF) when they exist.
VerificationEvent historyVerification(const GuidedPlan &plan, const GuidedDeviceResult &device,
                                      const QString &reportBase);
