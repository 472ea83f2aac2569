#pragma once
// Least-squares calibration of one device from its three point files:
// finding the files, the three sensor models, and the state the main window
// keeps between the confirmation and the device's answer.

#include "calc/calcmessage.h"
#include "calc/calibrationpointset.h"
#include "calc/pointfiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>

enum class SensorModel {
    Capacitive,   // "Емкостной"
    SingleGauge,  // "1-тензо"
    TwoGauge      // neither box
};

// The capacitive box wins over the single-gauge box.
SensorModel chooseSensorModel(bool capacitor, bool tenzo1);

// Everything the parameters dialog's setValues takes, in its order.
struct CalibrationCoefficients
{
    float Pmax = 0, Uk1h = 0, Uk2h = 0, U10 = 0, U20 = 0;
    std::array<float, 6> var1 = {}, var2 = {}, var4 = {};   // l, n, h lowest; l, n, h highest
    std::array<float, 3> a = {}, b = {}, c = {};            // 42, 41, 40
    float c43 = 0;
    bool polynomial = false;
};

// ok false means the coefficients must be neither shown nor written;
// messages then end with the red reason.
struct CalibrationOutcome
{
    bool ok = false;
    CalibrationCoefficients values;
    CalcMessages messages;
};

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

// The calculation state the main window keeps from the directory choice to
// the device's answer.
class LsqCalibration
{
public:
    // Remembers dir and, when found, the three names.
    CalibrationFileSearch findFiles(const QString &dir);
    QString confirmationText() const;

    // Reads the reference voltages of the files found.
    CalcMessages openStaticFiles(bool vakum);

    // The device's maximum pressure arrived: load the Tmid points and run
    // the model the two boxes choose.
    CalibrationOutcome onParameterAnswer(const QByteArray &answerData, bool capacitor, bool tenzo1);

    QString calibrationDir() const { return m_dir; }
    QString midFileName() const { return m_files.midFileName; }
    QString minFileName() const { return m_files.minFileName; }
    QString maxFileName() const { return m_files.maxFileName; }
    const ReferenceVoltages &referenceVoltages() const { return m_reference; }
    const CalibrationPointSet &pointSet() const { return m_points; }
    float pmax() const { return m_pmax; }

private:
    QString m_dir;
    CalibrationFileSearch m_files;
    ReferenceVoltages m_reference;
    CalibrationPointSet m_points;
    float m_pmax = 0;
};
