#pragma once
// A calibration run on a virtual transmitter, done the way the engineer
// does it: the bench set to each point (P+, P- and the temperature),
// command-3 answers averaged as the polling tab does and written as point
// lines, one file per temperature; and afterwards the coefficients written
// into the device as the parameters dialog does and its pressure read back.

#include "calc/calibrationtypes.h"
#include "calc/parametervector.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "polling/calibrationfiles.h"
#include "polling/command3answer.h"
#include "polling/runningmean.h"
#include "sim/virtualdevice.h"

#include <QDir>
#include <QFile>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pointrun {

struct BenchPoint
{
    double pPlus = 0, pMinus = 0;   // kPa
};

const double kTemperatures[3] = {-40.0, 23.0, 80.0};   // Tmin, Tmid, Tmax

// The natural two-gauge run: 0/0, 25/0, 50/0, 100/0, 0/50, 50/50 in % of
// the range (without 25/0 when quarter is false).
inline QVector<BenchPoint> differentialRun(double rangeKPa, bool quarter)
{
    QVector<BenchPoint> points{{0, 0}};
    if (quarter)
        points.append({0.25 * rangeKPa, 0});
    points += {{0.5 * rangeKPa, 0}, {rangeKPa, 0}, {0, 0.5 * rangeKPa}, {0.5 * rangeKPa, 0.5 * rangeKPa}};
    return points;
}

inline QByteArray transact(sim::VirtualDevice &dev, uint8_t command, const QByteArray &data = {})
{
    sim::Request r;
    r.address = QByteArray(1, char(dev.address()));
    r.command = command;
    r.data = data;
    const QByteArray frame = dev.answer(r);
    return frame.mid(6, uint8_t(frame.at(3)));
}

inline QByteArray recordFile(sim::VirtualDevice &dev, const QVector<BenchPoint> &points, double temperatureC,
                             int answers = 10)
{
    QByteArray file;
    for (const BenchPoint &p : points) {
        dev.setBench(p.pPlus, p.pMinus, temperatureC);
        ChannelMean mean;
        for (int n = 0; n < answers; ++n) {
            const Command3Answer a = Command3Answer::decode(transact(dev, 3));
            const float values[4] = {a.variable(1), a.variable(2), a.variable(3), a.variable(4)};
            RunningMean::foldInto(mean, values);
        }
        file += CalibrationFiles::pointLine(mean, p.pPlus, p.pMinus);
    }
    return file;
}

// dir/base_Tmin_MNK.txt etc.; the Tmin and Tmax files take tminTmax.
inline bool writeRun(const QString &dir, const QString &base, sim::VirtualDevice &dev,
                     const QVector<BenchPoint> &tmid, const QVector<BenchPoint> &tminTmax)
{
    const CalibrationTemperature temps[3] = {CalibrationTemperature::Low, CalibrationTemperature::Middle,
                                             CalibrationTemperature::High};
    for (int t = 0; t < 3; ++t) {
        const QByteArray text = recordFile(dev, t == 1 ? tmid : tminTmax, kTemperatures[t]);
        QFile f(QDir(dir).filePath(base + CalibrationFiles::pointSuffix(temps[t])));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return false;
    }
    return true;
}

// The dialog's five writes with its six-digit fields.
inline void download(sim::VirtualDevice &dev, const CalibrationCoefficients &v)
{
    ParameterVector::Values pv = {v.Uk1h, v.polynomial ? v.Uk1h : v.Uk2h, v.U10, v.polynomial ? v.U10 : v.U20,
                                  v.a[0], v.a[1], v.a[2], v.b[0], v.b[1], v.b[2], v.c[0], v.c[1], v.c[2],
                                  v.c43, v.Pmax};
    for (float &x : pv)
        x = ParameterVector::fromText(QString::number(double(x), 'g', 6));
    using P = ParameterVector::Index;
    const auto write = [&](uint16_t reg, std::initializer_list<P> idx) {
        QByteArray payload;
        for (P i : idx)
            payload += ValueCodec::float32(pv[size_t(i)]);
        transact(dev, RegisterMap::CmdWriteRegisters, ValueCodec::writeData(reg, payload));
    };
    write(RegisterMap::Uk1h, {P::Uk1h, P::Uk2h, P::U10, P::U20});
    write(RegisterMap::A42, {P::A42, P::A41, P::A40});
    write(RegisterMap::B42, {P::B42, P::B41, P::B40});
    write(RegisterMap::C42, {P::C42, P::C41, P::C40});
    write(RegisterMap::C43, {P::C43});
}

// Worst |read - applied| in % of Pmax over 0..Pmax on the plus chamber
// (the minus chamber open) at one temperature.
inline double worstReadBack(sim::VirtualDevice &dev, double temperatureC, int steps = 11)
{
    const double rangeKPa = dev.sensor()->ratedPmaxPa() / 1000.0;
    double worst = 0;
    for (int i = 0; i < steps; ++i) {
        const double p = rangeKPa * i / (steps - 1);
        dev.setBench(p, 0.0, temperatureC);
        float read = std::numeric_limits<float>::quiet_NaN();
        ValueCodec::readFloat(transact(dev, RegisterMap::CmdReadRegisters,
                                       ValueCodec::readData(RegisterMap::PressureValue, 4)),
                              0, &read);
        worst = std::max(worst, std::isfinite(read) ? std::fabs(read - p) / rangeKPa * 100.0 : 1e9);
    }
    return worst;
}

} // namespace pointrun
