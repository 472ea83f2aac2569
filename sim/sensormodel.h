#pragma once
// What the sensor of a virtual transmitter puts out for a given bench: the
// pressures on both chambers and the temperature. Four kinds of sensor,
// each with a zero and a span that drift with temperature, a small
// nonlinearity and a little noise drawn from a fixed seed, so that a
// calibration run over the virtual line meets the same problems as one on a
// real bench, reproducibly.
//
// The physics is kept within what the device's compensation can take out: a
// zero and a gain that are smooth (nearly quadratic) in the temperature
// signal, and a pressure characteristic that a cubic of the signal follows
// (or, for the two-gauge sensor, whose compensation is linear in pressure, a
// bow of only a few hundredths of a percent). What is left after a
// calibration is then noise, the bow of the two-gauge sensor, and the part
// of the temperature drift that is not quadratic.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace sim {

// The bench around one transmitter: reference pressures in kPa on the plus
// and minus chamber and the chamber temperature in degrees Celsius.
struct BenchState
{
    double pPlusKPa = 0.0;
    double pMinusKPa = 0.0;
    double temperatureC = 23.0;
};

class SensorModel
{
public:
    enum class Kind {
        // Two strain-gauge bridges, one per chamber (the default).
        // Variables: U1 and U2 the bridge outputs in mV, U3 the supply in
        // mV, U4 the temperature signal in mV.
        TwoGauge,
        // One bridge on the pressure difference and a reference arm.
        // Variables as for TwoGauge; U2 does not follow pressure.
        SingleGauge,
        // Capacitive cell with a measuring and a reference oscillator.
        // Variables: f1 and f2 in kHz, the device's own pressure in kPa
        // (filled in by the device), the temperature in degrees Celsius.
        // The difference f1 - f2 runs about 5 to 13 kHz over the range.
        CapacitiveNear,
        // The same with the difference about 40 to 48 kHz.
        CapacitiveFar,
    };

    // Drift of one quantity with temperature: v(T) = v0 + t1*dT + t2*dT^2,
    // dT = T - 23 degrees.
    struct Drift
    {
        double v0 = 0, t1 = 0, t2 = 0;
        double at(double dT) const { return v0 + (t1 + t2 * dT) * dT; }
    };

    // One pressure channel: out = zero(T) + span(T) * g(p), p the pressure
    // as a fraction of the rated range, g(p) = (p + n2*p^2 + n3*p^3) /
    // (1 + n2 + n3), so g(0) = 0 and g(1) = 1. span(T) = span0 * (1 + s1*dT
    // + s2*dT^2). Units: mV for gauges, Hz for the capacitive difference.
    struct Channel
    {
        Drift zero;
        double span0 = 0, s1 = 0, s2 = 0;
        double n2 = 0, n3 = 0;
        double at(double p, double dT) const;
    };

    static constexpr double ReferenceTemperatureC = 23.0;
    // The range a sensor is made for unless it is given another.
    static constexpr float RatedPmaxPa = 100000.0f;

    static SensorModel twoGauge(uint32_t seed = 1);
    static SensorModel singleGauge(uint32_t seed = 1);
    static SensorModel capacitiveNear(uint32_t seed = 1);
    static SensorModel capacitiveFar(uint32_t seed = 1);
    static SensorModel make(Kind kind, uint32_t seed = 1);

    // "two-gauge", "single-gauge", "capacitive-near", "capacitive-far".
    static QString name(Kind kind);
    static bool kindFromName(const QString &name, Kind *kind);
    static QStringList names();

    Kind kind() const { return m_kind; }
    bool isCapacitive() const;
    uint32_t seed() const { return m_seed; }
    // The range the sensor is made for, Pa; what register 0x001E holds.
    // The family spans 0.25 kPa to tens of MPa with the same cell signals:
    // a low-range sensor puts out its full span at its own Pmax, so the
    // signals depend on the pressure as a fraction of the range only.
    float ratedPmaxPa() const { return m_ratedPmaxPa; }
    // Refuses a range that is not a positive finite number.
    bool setRatedPmaxPa(float pa);

    // Where the capacitive difference f1 - f2 sits at zero pressure and 23
    // degrees, Hz (5000 near, 40000 far); a cell built with its oscillators
    // further apart moves the whole characteristic up. False for the strain
    // kinds, which have no such difference.
    bool setDifferenceZeroHz(double hz);
    // The reference oscillator f2 at 23 degrees, Hz. With the difference it
    // sets f1, whose point-file text has five significant digits: 1 Hz
    // below 100 kHz, 10 Hz above.
    bool setReferenceHz(double hz);

    // 1 is the nominal noise; 0 makes the readings exact.
    void setNoiseScale(double scale) { m_noiseScale = scale; }
    double noiseScale() const { return m_noiseScale; }
    // Starts the noise sequence again from the seed.
    void reseed(uint32_t seed);

    // The four variables of command 3 in the units the device reports them
    // (see Kind). For the capacitive kinds variable 3 is left 0: it is the
    // device's compensated pressure, not a sensor output.
    using Variables = std::array<double, 4>;
    Variables ideal(const BenchState &bench) const;
    // The same with noise; every call draws fresh noise.
    Variables read(const BenchState &bench);
    // Unit codes that go with the variables in a command-3 answer.
    std::array<uint8_t, 4> unitCodes() const;

    // The channels themselves, for the factory settings and for tests.
    const Channel &channel1() const { return m_ch1; }
    const Channel &channel2() const { return m_ch2; }
    const Drift &temperatureSignal() const { return m_u4; }

private:
    explicit SensorModel(Kind kind, uint32_t seed);
    double gaussian();

    Kind m_kind;
    uint32_t m_seed;
    uint64_t m_state = 0;
    double m_noiseScale = 1.0;
    float m_ratedPmaxPa = RatedPmaxPa;
    bool m_haveSpare = false;
    double m_spare = 0.0;

    // Two-gauge: ch1 on P+, ch2 on P-. Single-gauge: ch1 on P+ - P-, ch2
    // the reference arm (span 0). Capacitive: ch1 the difference f1 - f2 on
    // P+ - P- in Hz, ch2 the reference oscillator f2 in Hz (span 0).
    Channel m_ch1, m_ch2;
    Drift m_u3;              // supply, mV (strain kinds)
    Drift m_u4;              // temperature signal, mV (strain kinds)
    // Noise standard deviations in the reported units.
    double m_noise12 = 0, m_noise3 = 0, m_noise4 = 0;
};

} // namespace sim
