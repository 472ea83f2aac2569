#include "sim/sensormodel.h"

#include <cmath>

namespace sim {

namespace {

// Unit codes of a command-3 answer.
constexpr uint8_t UnitMillivolt = 36;
constexpr uint8_t UnitFrequency = 38;   // the family reports kHz under it
constexpr uint8_t UnitKiloPascal = 12;
constexpr uint8_t UnitCelsius = 32;

// Capacitive cell shared by both variants; only where the difference sits
// differs. 1.5 Hz/K zero drift is about 1 % of the span over the range, the
// span drifts -0.02 %/K, and the characteristic bows by about 1.5 %.
SensorModel::Channel capacitiveDifference(double zeroHz)
{
    SensorModel::Channel c;
    c.zero = {zeroHz, 1.5, 0.004};
    c.span0 = 8000.0;
    c.s1 = -2.0e-4;
    c.s2 = 1.0e-6;
    c.n2 = 0.06;
    c.n3 = -0.02;
    return c;
}

} // namespace

double SensorModel::Channel::at(double p, double dT) const
{
    const double g = (p + n2 * p * p + n3 * p * p * p) / (1.0 + n2 + n3);
    const double span = span0 * (1.0 + (s1 + s2 * dT) * dT);
    return zero.at(dT) + span * g;
}

SensorModel::SensorModel(Kind kind, uint32_t seed)
    : m_kind(kind), m_seed(seed)
{
    reseed(seed);
    switch (kind) {
    case Kind::TwoGauge:
        // Two silicon bridges of 25 and 24 mV full scale: a zero that moves
        // 0.04 % of the span per kelvin (about 5 % over -40..80 degrees), a
        // span that falls 0.1 %/K, and a bow of 0.03 % (the compensation is
        // linear in pressure and has no term for more).
        m_ch1.zero = {1.2, 0.010, 2.0e-5};
        m_ch1.span0 = 25.0;
        m_ch1.s1 = -1.0e-3;
        m_ch1.s2 = 1.5e-6;
        m_ch1.n2 = 0.0012;
        m_ch2.zero = {0.8, -0.007, 1.2e-5};
        m_ch2.span0 = 24.0;
        m_ch2.s1 = -0.95e-3;
        m_ch2.s2 = 1.4e-6;
        m_ch2.n2 = 0.0010;
        m_noise12 = 0.0004;   // 0.4 uV
        break;
    case Kind::SingleGauge:
        // One bridge on the difference with a 0.1 % bow that the cubic takes
        // out; the reference arm drifts a little and ignores pressure.
        m_ch1.zero = {0.9, 0.012, 2.5e-5};
        m_ch1.span0 = 22.0;
        m_ch1.s1 = -1.1e-3;
        m_ch1.s2 = 1.5e-6;
        m_ch1.n2 = 0.004;
        m_ch1.n3 = -0.001;
        m_ch2.zero = {0.5, 0.002, 0.0};
        m_noise12 = 0.0004;
        break;
    case Kind::CapacitiveNear:
        m_ch1 = capacitiveDifference(5000.0);
        m_ch2.zero = {32000.0, -3.0, 0.001};
        m_noise12 = 0.3;      // Hz
        break;
    case Kind::CapacitiveFar:
        m_ch1 = capacitiveDifference(40000.0);
        m_ch2.zero = {21000.0, -3.0, 0.001};
        m_noise12 = 0.3;
        break;
    }
    if (isCapacitive()) {
        m_noise4 = 0.003;     // degrees
    } else {
        m_u3 = {2500.0, -0.05, 0.0};
        // A diode-like temperature signal, slightly curved.
        m_u4 = {480.0, 1.6, 2.0e-4};
        m_noise3 = 0.005;
        m_noise4 = 0.001;
    }
}

SensorModel SensorModel::twoGauge(uint32_t seed) { return SensorModel(Kind::TwoGauge, seed); }
SensorModel SensorModel::singleGauge(uint32_t seed) { return SensorModel(Kind::SingleGauge, seed); }
SensorModel SensorModel::capacitiveNear(uint32_t seed) { return SensorModel(Kind::CapacitiveNear, seed); }
SensorModel SensorModel::capacitiveFar(uint32_t seed) { return SensorModel(Kind::CapacitiveFar, seed); }
SensorModel SensorModel::make(Kind kind, uint32_t seed) { return SensorModel(kind, seed); }

QString SensorModel::name(Kind kind)
{
    switch (kind) {
    case Kind::TwoGauge: return QStringLiteral("two-gauge");
    case Kind::SingleGauge: return QStringLiteral("single-gauge");
    case Kind::CapacitiveNear: return QStringLiteral("capacitive-near");
    case Kind::CapacitiveFar: return QStringLiteral("capacitive-far");
    }
    return QString();
}

QStringList SensorModel::names()
{
    return {name(Kind::TwoGauge), name(Kind::SingleGauge), name(Kind::CapacitiveNear),
            name(Kind::CapacitiveFar)};
}

bool SensorModel::kindFromName(const QString &text, Kind *kind)
{
    for (Kind k : {Kind::TwoGauge, Kind::SingleGauge, Kind::CapacitiveNear, Kind::CapacitiveFar}) {
        if (text.trimmed().compare(name(k), Qt::CaseInsensitive) == 0) {
            *kind = k;
            return true;
        }
    }
    return false;
}

bool SensorModel::isCapacitive() const
{
    return m_kind == Kind::CapacitiveNear || m_kind == Kind::CapacitiveFar;
}

bool SensorModel::setRatedPmaxPa(float pa)
{
    if (!std::isfinite(pa) || pa <= 0.0f)
        return false;
    m_ratedPmaxPa = pa;
    return true;
}

bool SensorModel::setDifferenceZeroHz(double hz)
{
    if (!isCapacitive() || !std::isfinite(hz))
        return false;
    m_ch1.zero.v0 = hz;
    return true;
}

bool SensorModel::setReferenceHz(double hz)
{
    if (!isCapacitive() || !std::isfinite(hz) || hz <= 0)
        return false;
    m_ch2.zero.v0 = hz;
    return true;
}

void SensorModel::reseed(uint32_t seed)
{
    m_seed = seed;
    m_state = 0x9E3779B97F4A7C15ULL ^ (uint64_t(seed) * 0xBF58476D1CE4E5B9ULL);
    m_haveSpare = false;
}

// A generator of our own (splitmix64 and Box-Muller) rather than the
// standard distributions, whose sequences differ between library versions:
// a seed must give the same bench everywhere.
double SensorModel::gaussian()
{
    if (m_haveSpare) {
        m_haveSpare = false;
        return m_spare;
    }
    const auto next = [this] {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return (double(z >> 11) + 0.5) / 9007199254740992.0;   // (0, 1)
    };
    const double u1 = next();
    const double u2 = next();
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double phi = 6.283185307179586 * u2;
    m_spare = r * std::sin(phi);
    m_haveSpare = true;
    return r * std::cos(phi);
}

SensorModel::Variables SensorModel::ideal(const BenchState &bench) const
{
    const double dT = bench.temperatureC - ReferenceTemperatureC;
    const double range = double(m_ratedPmaxPa) / 1000.0;   // kPa
    const double pPlus = bench.pPlusKPa / range;
    const double pMinus = bench.pMinusKPa / range;
    Variables v = {0, 0, 0, 0};
    switch (m_kind) {
    case Kind::TwoGauge:
        v[0] = m_ch1.at(pPlus, dT);
        v[1] = m_ch2.at(pMinus, dT);
        break;
    case Kind::SingleGauge:
        v[0] = m_ch1.at(pPlus - pMinus, dT);
        v[1] = m_ch2.at(0.0, dT);
        break;
    case Kind::CapacitiveNear:
    case Kind::CapacitiveFar: {
        const double f2 = m_ch2.at(0.0, dT);
        v[0] = (f2 + m_ch1.at(pPlus - pMinus, dT)) / 1000.0;
        v[1] = f2 / 1000.0;
        v[3] = bench.temperatureC;
        return v;
    }
    }
    v[2] = m_u3.at(dT);
    v[3] = m_u4.at(dT);
    return v;
}

SensorModel::Variables SensorModel::read(const BenchState &bench)
{
    Variables v = ideal(bench);
    // Noise in the reported unit: frequencies are drawn in Hz.
    const double unit12 = isCapacitive() ? 0.001 : 1.0;
    v[0] += m_noiseScale * m_noise12 * unit12 * gaussian();
    v[1] += m_noiseScale * m_noise12 * unit12 * gaussian();
    if (!isCapacitive())
        v[2] += m_noiseScale * m_noise3 * gaussian();
    v[3] += m_noiseScale * m_noise4 * gaussian();
    return v;
}

std::array<uint8_t, 4> SensorModel::unitCodes() const
{
    if (isCapacitive())
        return {UnitFrequency, UnitFrequency, UnitKiloPascal, UnitCelsius};
    return {UnitMillivolt, UnitMillivolt, UnitMillivolt, UnitMillivolt};
}

} // namespace sim
