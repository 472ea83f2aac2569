#pragma once
// What "Считать из прибора" asks a device for, and how each answer fills
// the coefficients: the a-, b- and c-triples, c43, and Pmax with the five
// floats after it (the second, the differential pressure, is not one of the
// dialog's). The calibration tab and the guided run (which keeps what a
// device held before it writes) read the same registers in the same order.

#include "calc/calibrationtypes.h"
#include "device/operations.h"

#include <QByteArray>
#include <QVector>
#include <cstdint>

namespace CoefficientUpload {

QVector<RequestItem> reads();

// Fills k from the answer to the read of reg; false when reg is none of the
// reads or the answer is too short. *finite says whether every value taken
// was a number.
bool take(uint16_t reg, const QByteArray &data, CalibrationCoefficients *k, bool *finite = nullptr);

} // namespace CoefficientUpload
