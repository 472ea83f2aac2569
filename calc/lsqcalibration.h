#pragma once
// Least-squares calibration of one device from its three point files:
// finding the files, the three sensor models, and the state the main window
// keeps between the confirmation and the device's answer.

#include "calc/calcmessage.h"
#include "calc/calibrationtypes.h"
#include "calc/calibrationpointset.h"
#include "calc/calibrationreport.h"
#include "calc/devicesensor.h"
#include "calc/fitquality.h"
#include "calc/pointfiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <array>

// The capacitive box wins over the single-gauge box.
SensorModel chooseSensorModel(bool capacitor, bool tenzo1);

// ok false means the coefficients must be neither shown nor written;
// messages then end with the red reason. An accepted result carries how
// well it fits its points; beyond kFitConfirmPercent it goes on only when
// the operator says so (confirmationText is the question).
struct CalibrationOutcome
{
    bool ok = false;
    CalibrationCoefficients values;
    CalcMessages messages;
    CalibrationCoefficients written;   // values as the dialog hands them on
    FitQuality quality;
    SensorModel evaluatedAs = SensorModel::TwoGauge;   // the formula the device runs
    bool needsConfirmation = false;
    QString confirmationText;
    // What the operator accepted besides the coefficients (a top point
    // below kMinimumTopFraction of Pmax); carried into the report.
    QStringList notes;
    double expectedErrorAtPmax = 0;    // % of Pmax, for a low top point; else 0
};

// The quadratic temperature compensation needs three distinct
// temperatures. Two temperature signals closer together than this fraction
// of the three's spread count as one temperature (two files recorded at
// one temperature, or identical files): a quadratic through them turns the
// noise of the temperature signal into a curvature that sends the
// correction anywhere between and beyond the calibration temperatures.
constexpr double kMinimumTemperatureGap = 0.02;
// The same against the noise of the temperature signal (its scatter within
// a file, at least the last of the five digits a point file keeps): the
// spread must exceed it this many times, and every gap a tenth of that.
constexpr double kMinimumTemperatureSpread = 100;
// And whatever the spacing, a temperature system whose column-scaled
// condition number exceeds this is refused as beyond double precision.
constexpr double kTemperatureConditionLimit = 1e10;

// Each gauge's signal (the difference signal for the polynomial models)
// must follow its reference pressure at least this closely (correlation
// coefficient over the Tmid points); a signal that does not is on the
// wrong chamber or not connected, and its slope is noise.
constexpr double kMinimumCorrelation = 0.99;

// The highest recorded pressure may differ from the device's Pmax by this
// fraction of Pmax before the operator is told that the recorded pressure
// is used. A top point below kMinimumTopFraction of Pmax leaves part of
// the range to extrapolation (a cubic fitted up to 80 % of Pmax is 0.05 %
// off at Pmax): the operator is told the error to expect at Pmax and
// decides. One beyond kMaximumTopFraction is not this device's range
// (pressures recorded in another unit) and is refused.
constexpr double kTopPointTolerance = 0.005;
constexpr double kMinimumTopFraction = 0.9;
constexpr double kMaximumTopFraction = 1.25;

// Every file's signals against the pressures they were recorded at; empty
// when they follow, else the red reason.
QString checkSignalsFollowPressure(SensorModel model, const PointFileSet &files);
// The cubic of the polynomial models needs this many points of distinct
// signal at Tmid.
constexpr int kPolynomialMinimumPoints = 4;

// The pressures recorded at Tmid as a model needs them: P+ changing, at
// kPolynomialMinimumPoints pressures for the polynomial models, and for the
// two-gauge model P- changing as well (each gauge is fitted to its own
// chamber). Empty when the model can be calculated from them, else the
// reason, as the calculation says it after "Расчет невозможен: ". A guided
// run's plan is held against the same rule before its first point.
QString recordedPressureProblem(SensorModel model, const QVector<double> &pPlus, const QVector<double> &pMinus);
bool coefficientsFinite(const CalibrationCoefficients &v);
// "Расчет невозможен: <what> не решается с нужной точностью ...".
QString unsolvedSystemMessage(const QString &what, double backwardError);
const QString &notANumberMessage();

// The error to expect at Pmax when the points stop below it, % of Pmax:
// how far the model's curve through the Tmid points and one of the next
// degree part at the signal where the model reaches Pmax. Infinite when
// the curve does not reach Pmax.
double extrapolationErrorPercent(SensorModel model, const PointFile &tmid, float pmax);

// Refuses three temperature signals the compensation cannot be solved for;
// empty when they are usable, else the red reason naming the files.
QString checkTemperatureSystem(const PointFileSet &files);

// Bisection for Q(x) = pmax on [0, 100000] with Q(x) = c40 + c41 x + c42 x^2
// + c43 x^3; returns the midpoint of the final bracket plus 1.
float bisectPressureRoot(float c40, float c41, float c42, float c43, float pmax);

// The models. The point set must hold the Tmid points; the polynomial
// models consume its lists.
CalibrationOutcome calculatePolynomialModel(bool capacitive, float pmax,
                                            const ReferenceVoltages &u, CalibrationPointSet &set);
CalibrationOutcome calculateTwoGaugeModel(float pmax, const ReferenceVoltages &u,
                                          CalibrationPointSet &set);
CalibrationOutcome calculateCoefficients(SensorModel model, float pmax,
                                         const ReferenceVoltages &u, CalibrationPointSet &set);

// The two-gauge temperature compensation again, from values edited by hand
// in the parameters dialog (K1 and K2 taken as given).
struct RecalcInputs
{
    float Pmax = 0, U10 = 0, U20 = 0, K1 = 0, K2 = 0;
    float U1l = 0, U2l = 0, U4l = 0, U4n = 0, U1h = 0, U2h = 0, U4h = 0, U1hl = 0, U1hh = 0;
};
struct RecalcResult
{
    bool ok = false;
    std::array<float, 3> a = {}, b = {};
    QString error;   // why, when not ok
};
RecalcResult recalculateTwoGauge(const RecalcInputs &in);

// Result of looking for the Tmid, Tmin and Tmax point files among the names
// of a directory.
struct CalibrationFileSearch
{
    bool found = false;
    QString midFileName, minFileName, maxFileName, baseName;
    QString standardOutput;   // progress lines for the developer
    QString standardError;
    QString boxTitle, boxText;  // the critical box to show when not found
};

// Readable files of dir, in type and locale-aware order, whose name contains
// "MNK".
QStringList listCalibrationCandidates(const QString &dir);
CalibrationFileSearch findCalibrationFiles(const QStringList &candidates);
// The question put to the operator before the files are used.
QString calibrationConfirmationText(const QString &dir, const CalibrationFileSearch &files);

// Decodes the big-endian float of the device's maximum-pressure answer.
bool decodePmax(const QByteArray &answerData, float *pmax);
// The serial number from the answer to its own read of register 0x003A.
bool decodeSerial(const QByteArray &answerData, uint32_t *serial);

// The calculation state the main window keeps from the directory choice to
// the device's answer.
class LsqCalibration
{
public:
    // Remembers dir and, when found, the three names.
    CalibrationFileSearch findFiles(const QString &dir);
    QString confirmationText() const;

    // Reads the files found and checks that they can give a result (every
    // line six numbers, a pressure range in each file, three distinct
    // temperatures). What it cannot take ends the messages in red.
    CalcMessages openStaticFiles(bool vakum);
    bool filesUsable() const { return m_filesUsable; }

    // The reads before a calculation, in order: Pmax alone (the four bytes
    // every firmware of the family answers), then the serial number for the
    // report, then the sensor-type block.
    static constexpr int ParameterReadBytes = 4;
    static constexpr int SerialReadBytes = 4;

    // Pmax arrived: decoded and checked. False, with the red reason, when
    // it cannot be calculated with.
    bool takePmax(const QByteArray &answerData, CalcMessages *messages);
    // The serial number (have false: not read; the report says so).
    void setSerial(bool have, uint32_t serial);
    bool haveSerial() const { return m_haveSerial; }
    uint32_t serial() const { return m_serial; }
    // The device's own sensor type (read false: not read).
    void setDeviceSensor(const DeviceSensorType &type)
    {
        m_deviceSensor = type;
        m_sensorAsked = true;
    }
    const DeviceSensorType &deviceSensor() const { return m_deviceSensor; }

    // Loads the Tmid points and runs the model the two boxes choose; the
    // fit is judged with the formula the device runs for its own sensor
    // (the boxes' model when the device did not say).
    CalibrationOutcome calculate(bool capacitor, bool tenzo1);
    // takePmax and calculate in one, the serial and sensor type as set.
    CalibrationOutcome onParameterAnswer(const QByteArray &answerData, bool capacitor, bool tenzo1);

    // The finished calculation of an accepted result: device, date, files
    // and fit.
    CalibrationReport report(const CalibrationOutcome &outcome, const QString &address,
                             const QDateTime &when) const;
    QString reportFileName() const;

    QString calibrationDir() const { return m_dir; }
    QString midFileName() const { return m_files.midFileName; }
    QString minFileName() const { return m_files.minFileName; }
    QString maxFileName() const { return m_files.maxFileName; }
    const ReferenceVoltages &referenceVoltages() const { return m_set.u; }
    const PointFileSet &pointFiles() const { return m_set; }
    const CalibrationPointSet &pointSet() const { return m_points; }
    float pmax() const { return m_pmax; }

private:
    QString m_dir;
    CalibrationFileSearch m_files;
    PointFileSet m_set;
    bool m_filesUsable = false;
    bool m_vakum = false;
    CalibrationPointSet m_points;
    float m_pmax = 0;
    SensorModel m_model = SensorModel::TwoGauge;
    bool m_haveSerial = false;
    uint32_t m_serial = 0;
    DeviceSensorType m_deviceSensor;
    bool m_sensorAsked = false;   // a read was tried (a calculation without one says nothing)
};
