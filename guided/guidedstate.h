#pragma once
// Where a guided run stands and what it has found so far, saved in the
// run's folder after every step: the cursor (phase, temperature, point,
// device) and, per device, everything the batch report and the calibration
// history need. A point's lines are written ahead into the cursor before
// they go to the point files, so a run killed between the two finishes the
// point on restart without writing any line twice.

#include "calc/calibrationtypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <cstdint>

// One verification reading of one device.
struct GuidedVerifyRow
{
    double percent = 0;             // of the device's span, nominal
    bool falling = false;
    double referenceKPa = 0;        // what the bench held
    bool answered = false;
    double readKPa = 0;             // the device's pressure register
    double currentMa = 0;           // its loop current
    double expectedMa = 0;
    double pressureError = 0;       // % of span
    double currentError = 0;        // % of span (16 mA)
};

// Everything one device leaves in the batch: the record the calibration
// history keeps.
struct GuidedDeviceResult
{
    // Restored: what the device held before the run's write was put back.
    enum class Calc { NotRun, Written, Refused, WriteFailed, Restored };

    QString batchId;
    int address = 0;
    bool haveSerial = false;
    uint32_t serial = 0;
    QString model;
    SensorModel sensor = SensorModel::TwoGauge;
    float pnPa = 0, pvPa = 0, pmaxPa = 0;

    QString leftOut;                            // why it left the run, empty while in
    std::array<int, 3> points = {0, 0, 0};      // point lines written, by Tmin, Tmid, Tmax

    Calc calc = Calc::NotRun;
    QString calcNote;                           // refusal or write failure, in words
    CalibrationCoefficients written;
    std::array<double, 3> fitWorstPercent = {0, 0, 0};   // % of Pmax, by Tmin, Tmid, Tmax

    double classPercent = 0;
    QVector<GuidedVerifyRow> verify;
    bool verified = false;                      // the verification ran to its end
    double worstPressureError = 0, worstCurrentError = 0, hysteresis = 0;
    bool passed = false;
    QString verdict;                            // why it failed, or "годен"
    // Points the bench check held and the operator had recorded as they
    // were: what they said, for the report.
    QStringList benchNotes;

    // The last write to the device (or the return of what it held): blocks
    // that went in, from the first, of how many; saved after every block.
    int blocksWritten = 0, blocksTotal = 0;
    // What it held before the run's first write is kept in its folder.
    bool priorKept = false;

    bool active() const { return leftOut.isEmpty(); }
    void setWritten(const CalibrationCoefficients &k);
    // Errors, hysteresis and the verdict from the rows against the class.
    void judge();

    QJsonObject toJson() const;
    // False with the reason when a field is missing, of another type or out
    // of range; index is the device's place in the state, for the reason.
    static bool fromJson(const QJsonObject &o, int index, GuidedDeviceResult *d, QString *why);
    // Blocks of one write (the parameters dialog's five).
    static constexpr int MaxBlocks = 5;
};

enum class GuidedPhase {
    Ready,              // planned, not started
    SetTemperature,     // the operator is asked for a chamber temperature
    SetPressure,        // ... for a pressure
    Capturing,          // polling until stable, then the point is written
    Calculating,        // device by device: read, calculate, write
    ConfirmFit,         // a result beyond the gate waits for the operator's word
    SetVerifyTemperature,
    SetVerifyPressure,
    Verifying,
    Done,
    Aborted,
    WriteReview         // written with failures: write again, put back what they held, or go on without them
};

struct GuidedPendingLine
{
    int device = 0;
    QString file;
    qint64 sizeBefore = 0;
    QByteArray line;
};

struct GuidedCursor
{
    static constexpr int FormatVersion = 1;

    QString batchId;
    QDateTime started;
    GuidedPhase phase = GuidedPhase::Ready;
    int temperature = 0;        // index into the plan's temperatures
    int point = 0;              // pressure point of that temperature
    int calcDevice = 0;
    int verifyStep = 0;
    double referenceKPa = 0;    // the operator's reading for the point under way
    QVector<GuidedPendingLine> pending;
    // The lines of the last point written, so it can be taken back once.
    QVector<GuidedPendingLine> lastWritten;
    int lastTemperature = -1, lastPoint = -1;
    QVector<GuidedDeviceResult> devices;
    QString abortReason;
    // The calculation goes again over the devices not written (the
    // operator's "Записать снова"), leaving the written ones alone.
    bool retryWrites = false;
    QString operatorName;       // who runs the batch, asked at its start

    static QString phaseKey(GuidedPhase p);
    QJsonObject toJson() const;
    static bool fromJson(const QJsonObject &o, GuidedCursor *cursor, QString *why);
};

namespace GuidedFiles {
QString planFile(const QString &runDir);      // guided_plan.json
QString stateFile(const QString &runDir);     // guided_state.json
bool saveJson(const QString &path, const QJsonObject &o, QString *error);
bool loadJson(const QString &path, QJsonObject *o, QString *error);
} // namespace GuidedFiles
