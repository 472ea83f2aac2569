#pragma once
// What a guided calibration run does, decided before it starts and kept in
// the run's folder, so that a line calibrates the same way every time and a
// restarted program picks up the same run: the devices, the three chamber
// temperatures in their order, the pressure points, when a reading counts
// as settled, how many answers make a point, and the verification that
// follows the calculation.

#include "calc/calibrationtypes.h"
#include "calc/devicesensor.h"
#include "polling/calibrationfiles.h"

#include <QJsonObject>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>

// Which chambers a sensor type gets the point's pressure on. A two-gauge
// sensor is calibrated with both chambers under the same pressure (each
// gauge's line against its own chamber); the others see the difference and
// get it on the plus chamber.
enum class GuidedChambers { Plus, Both, Minus };

struct GuidedDevice
{
    int address = 0;
    bool haveSerial = false;
    uint32_t serial = 0;
    int deviceType = 0;             // 1..5, the model
    int sensorCode = 0;
    SensorModel sensor = SensorModel::TwoGauge;
    float pmaxPa = 0;               // the sensor's maximum pressure
    float pnPa = 0, pvPa = 0;       // the set range the loop current spans
    int unitCode = 1;               // the unit its pressure register reads in (1: kPa)

    // kPa from a pressure register value in the device's unit.
    double toKPa(double value) const;

    QString addressText() const;    // "0a"
    QString modelText() const;      // "ЛТ3920ДИ", or the type code when unknown
    QString serialText() const;     // the number, or "—"
    // The cell the device states in its sensor code (read with the plan).
    DeviceSensorType statedSensor() const;
    // Empty when Pmax and the set range are there to calculate and verify
    // with, else why not (as identification says it).
    QString rangeProblem() const;
};

struct GuidedTemperature
{
    CalibrationTemperature slot = CalibrationTemperature::Middle;   // which point file
    double celsius = 23;
};

// Thresholds of the stability mark for variables 1, 2 and 4 (the ones the
// calculation uses), in the unit the device reports them.
using GuidedThresholds = std::array<double, 3>;

struct GuidedPlan
{
    static constexpr int FormatVersion = 1;

    QString baseName = QStringLiteral("device");
    QVector<GuidedDevice> devices;
    QVector<GuidedTemperature> temperatures;    // in the order the run takes them

    QVector<double> points;                     // pressure points, rising
    bool pointsInPercent = true;                // of pmaxKPa; else kPa
    double pmaxKPa = 100;                       // what 100 % of the points is
    std::array<GuidedChambers, 3> chambers = {GuidedChambers::Plus, GuidedChambers::Plus,
                                              GuidedChambers::Both};   // by SensorModel

    int stableCount = 10;                       // N answers of the stability mark
    GuidedThresholds strainThresholds = {0.005, 0.005, 0.02};     // mV
    GuidedThresholds capacitiveThresholds = {0.005, 0.005, 0.05}; // kHz, kHz, °C
    int averaged = 10;                          // answers averaged into a point
    int silentCycles = 3;                       // cycles without an answer: left out

    double classPercent = 0.1;                  // verification class, % of span
    QVector<double> verifyPercent = {0, 25, 50, 75, 100};
    bool verifyFalling = true;                  // and back down
    int verifyTemperature = 1;                  // index into temperatures
    // A point whose readings miss what the bench should hold by more than
    // this share of the span, % (judged against the device's points so
    // far), is held for the operator before it is written.
    double plausiblePercent = 5;

    // A plan with the defaults for these devices: the three temperatures
    // -40, 23 and 80 °C (the lowest first, so the chamber only warms), five
    // points from 0 to 100 % of the largest Pmax, both chambers for the
    // two-gauge sensors.
    static GuidedPlan defaults(const QVector<GuidedDevice> &devices);

    // These devices and base name with every other setting of an earlier
    // plan; a device at an address of the earlier plan keeps the sensor
    // type chosen for it there.
    GuidedPlan withSettingsOf(const GuidedPlan &earlier) const;

    // Empty when the plan can run, else what to change; a plan whose
    // points the calculation would refuse for a device is refused here,
    // before its first point.
    QString check() const;
    QString calculationProblem() const;

    int pointCount() const { return points.size(); }
    // Point k in kPa (before the operator's reference reading replaces it).
    double pointKPa(int k) const;
    // P+ and P- a sensor type gets at a pressure.
    std::array<double, 2> chambersFor(SensorModel s, double kPa) const;
    // The verification sequence in % of span: rising, then falling without
    // repeating the top.
    QVector<double> verifySequence() const;
    // The bench pressure at a verification step, kPa: the share of the
    // largest set range, on the plus chamber.
    double verifyKPa(int step) const;
    double verifySpanKPa() const;

    const GuidedThresholds &thresholdsFor(SensorModel s) const;
    double stabilityCycles() const;     // max(N, averaged)

    // What the operator is asked.
    static QString temperaturePrompt(double celsius);
    QString pressurePrompt(double kPa) const;
    // Verification puts the pressure on the plus chamber alone: its first
    // requests say so plainly when the calibration loaded P- as well.
    QString verifyTemperaturePrompt() const;
    QString verifyPressurePrompt(int step) const;
    bool loadsMinusChamber() const;
    static QString kPaText(double kPa);
    static QString sensorText(SensorModel s);
    static QString temperatureName(CalibrationTemperature t);

    QJsonObject toJson() const;
    static bool fromJson(const QJsonObject &o, GuidedPlan *plan, QString *why);
};
