#pragma once
// The sensor models of the least-squares calibration and the coefficients
// it hands to the parameters dialog, shared by the calculation, the check
// of its fit and the calibration report.

#include <array>

enum class SensorModel {
    Capacitive,   // "Емкостной"
    SingleGauge,  // "1-тензо"
    TwoGauge      // neither box
};

// Everything the parameters dialog's setValues takes, in its order.
struct CalibrationCoefficients
{
    float Pmax = 0, Uk1h = 0, Uk2h = 0, U10 = 0, U20 = 0;
    std::array<float, 6> var1 = {}, var2 = {}, var4 = {};   // l, n, h lowest; l, n, h highest
    std::array<float, 3> a = {}, b = {}, c = {};            // 42, 41, 40
    float c43 = 0;
    bool polynomial = false;
};
