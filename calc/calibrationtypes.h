#pragma once
// The sensor models of the least-squares calibration and the coefficients
// it hands to the parameters dialog, shared by the calculation, the check
// of its fit and the calibration report.

#include <array>
#include <utility>

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

    // The fourteen coefficients the device keeps, by name, in the order
    // reports and the history list them.
    std::array<std::pair<const char *, float>, 14> named() const
    {
        return {{{"Uk1h", Uk1h}, {"Uk2h", Uk2h}, {"U10", U10}, {"U20", U20},
                 {"a42", a[0]}, {"a41", a[1]}, {"a40", a[2]},
                 {"b42", b[0]}, {"b41", b[1]}, {"b40", b[2]},
                 {"c42", c[0]}, {"c41", c[1]}, {"c40", c[2]}, {"c43", c43}}};
    }
};
