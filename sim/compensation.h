#pragma once
// The pressure a virtual transmitter computes from its sensor signals and
// its coefficient registers, in the form the coefficient calculation fits:
//
//   P = (D + A.s(U4)) * B.s(U4)                                    [Pa]
//
// with A.s = a42*s0 + a41*s1 + a40*s2 and B.s likewise, and
//   two-gauge:            D = K1*(U1 - U10) - K2*(U2 - U20),
//                         K1 = Pmax / (Uk1h - U10), K2 = Pmax / (Uk2h - U20);
//   single-gauge and
//   capacitive:           D = Q(U1 - U2), Q(x) = c40 + c41 x + c42 x^2 + c43 x^3.
// The temperature row is s(U) = (U^2, U, 1), and for the capacitive sensor,
// whose temperature comes in millidegrees, s(U) = (U^2/1e6, U/1e3, 1).
// Signals are the reported values times 1000: microvolts, hertz and
// millidegrees.
//
// Which of the three forms a device uses is a property of its firmware,
// which is built for its sensor: the sim takes it from the sensor kind (see
// compensationFor), not from the register contents, so a coefficient that
// happens to come out 0 cannot switch the formula.

#include "sim/sensormodel.h"

#include <array>
#include <cstdint>

namespace sim {

enum class CompensationForm { TwoGauge, SingleGauge, Capacitive };

CompensationForm compensationFor(SensorModel::Kind kind);

// The coefficient registers, as 32-bit floats like the device keeps them.
// Triples are in register order: x42, x41, x40.
struct Compensation
{
    float pmax = 0;
    float uk1h = 0, uk2h = 0, u10 = 0, u20 = 0;
    std::array<float, 3> a = {0, 0, 0};
    std::array<float, 3> b = {0, 0, 1};
    std::array<float, 3> c = {0, 0, 0};
    float c43 = 0;
};

// The temperature row for a temperature signal u (microvolts or
// millidegrees).
std::array<double, 3> temperatureRow(CompensationForm form, double u);

// D of the formula above; NaN when the coefficients leave it undefined
// (Uk1h = U10, for example).
double differenceSignal(CompensationForm form, const Compensation &k, double u1, double u2);

// The compensated pressure in Pa; NaN when it is undefined.
double compensatedPressurePa(CompensationForm form, const Compensation &k, double u1, double u2,
                             double u4);

// The sensor-code word (register 0x00F8) a unit with this sensor reports:
// the cell in the high byte (1 two gauges, 2 one gauge, 3 capacitive; 0
// would be a unit that does not say) and the range code in the low byte.
uint16_t sensorCodeWord(SensorModel::Kind kind, uint8_t rangeCode = 1);

// What a factory writes into a new unit before it is calibrated: the type's
// nominal zero and span at 23 degrees, no temperature correction (A = 0,
// B.s = 1). The unit then reads right at 23 degrees except for its bow.
Compensation nominalCompensation(const SensorModel &sensor);

} // namespace sim
