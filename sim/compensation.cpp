#include "sim/compensation.h"

#include <cmath>
#include <limits>

namespace sim {

CompensationForm compensationFor(SensorModel::Kind kind)
{
    switch (kind) {
    case SensorModel::Kind::TwoGauge: return CompensationForm::TwoGauge;
    case SensorModel::Kind::SingleGauge: return CompensationForm::SingleGauge;
    case SensorModel::Kind::CapacitiveNear:
    case SensorModel::Kind::CapacitiveFar: break;
    }
    return CompensationForm::Capacitive;
}

uint16_t sensorCodeWord(SensorModel::Kind kind, uint8_t rangeCode)
{
    uint16_t cell = 1;
    switch (compensationFor(kind)) {
    case CompensationForm::TwoGauge: cell = 1; break;
    case CompensationForm::SingleGauge: cell = 2; break;
    case CompensationForm::Capacitive: cell = 3; break;
    }
    return uint16_t(cell << 8 | rangeCode);
}

std::array<double, 3> temperatureRow(CompensationForm form, double u)
{
    if (form == CompensationForm::Capacitive)
        return {u * u / 1000000.0, u / 1000.0, 1.0};
    return {u * u, u, 1.0};
}

double differenceSignal(CompensationForm form, const Compensation &k, double u1, double u2)
{
    if (form == CompensationForm::TwoGauge) {
        const double span1 = double(k.uk1h) - k.u10;
        const double span2 = double(k.uk2h) - k.u20;
        if (span1 == 0.0 || span2 == 0.0)
            return std::numeric_limits<double>::quiet_NaN();
        const double k1 = k.pmax / span1;
        const double k2 = k.pmax / span2;
        return k1 * (u1 - k.u10) - k2 * (u2 - k.u20);
    }
    const double x = u1 - u2;
    // Horner's scheme: the terms of a cubic over a signal far from zero are
    // large and of both signs.
    return ((double(k.c43) * x + k.c[0]) * x + k.c[1]) * x + k.c[2];
}

double compensatedPressurePa(CompensationForm form, const Compensation &k, double u1, double u2,
                             double u4)
{
    const auto s = temperatureRow(form, u4);
    const double as = k.a[0] * s[0] + k.a[1] * s[1] + k.a[2] * s[2];
    const double bs = k.b[0] * s[0] + k.b[1] * s[1] + k.b[2] * s[2];
    const double p = (differenceSignal(form, k, u1, u2) + as) * bs;
    return std::isfinite(p) ? p : std::numeric_limits<double>::quiet_NaN();
}

Compensation nominalCompensation(const SensorModel &sensor)
{
    Compensation k;
    k.pmax = sensor.ratedPmaxPa();
    const auto &ch1 = sensor.channel1();
    const auto &ch2 = sensor.channel2();
    if (sensor.kind() == SensorModel::Kind::TwoGauge) {
        k.u10 = float(ch1.zero.v0 * 1000.0);
        k.uk1h = float((ch1.zero.v0 + ch1.span0) * 1000.0);
        k.u20 = float(ch2.zero.v0 * 1000.0);
        k.uk2h = float((ch2.zero.v0 + ch2.span0) * 1000.0);
        k.c = k.b;
        return k;
    }
    // Polynomial forms: a straight line from the nominal zero of the
    // difference to the nominal full scale. The capacitive difference is
    // in Hz already; the gauge channels are in mV.
    const double scale = sensor.isCapacitive() ? 1.0 : 1000.0;
    const double zero = sensor.isCapacitive() ? ch1.zero.v0 : (ch1.zero.v0 - ch2.zero.v0) * scale;
    const double span = ch1.span0 * scale;
    const double slope = k.pmax / span;
    k.c = {0.0f, float(slope), float(-slope * zero)};
    k.c43 = 0;
    k.uk1h = float(zero + span + 1.0);
    k.uk2h = 1;
    k.u10 = 1;
    k.u20 = 0;
    return k;
}

} // namespace sim
