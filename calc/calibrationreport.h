#pragma once
// A finished calculation as one record, and the file it leaves beside its
// point files: which device (serial, model, the sensor it says it has),
// when, at which temperatures and pressures, what the point files hold (the
// readings as found), the coefficients as written, what the transmitter
// reads at every point with them, the worst point per temperature, and
// what the operator accepted on the way. One plain-text file per device,
// TAB-separated tables, UTF-8.

#include "calc/calibrationtypes.h"
#include "calc/devicesensor.h"
#include "calc/fitquality.h"
#include "calc/pointfiles.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

struct CalibrationReport
{
    QDateTime when;
    QString address;              // "01"
    bool haveSerial = false;
    uint32_t serial = 0;
    QString deviceModel;          // "ЛТ3920ДД"; empty when not read
    DeviceSensorType deviceSensor;     // as the device reported it
    SensorModel model = SensorModel::TwoGauge;         // the model calculated with
    SensorModel evaluatedAs = SensorModel::TwoGauge;   // the formula the fit was judged with
    float pmax = 0;               // Pa, the device's own
    QString dir;
    std::array<QString, 3> pointFilePaths;   // by CalibrationFileIndex
    PointFileSet files;
    CalibrationCoefficients written;   // as the dialog hands them to the device
    FitQuality quality;                // per temperature, with its worst point
    QStringList notes;                 // what the operator accepted
};

// dir/base_report.txt; a name the search for point files never takes.
QString calibrationReportFileName(const QString &dir, const QString &baseName);

QByteArray calibrationReportText(const CalibrationReport &report);

// Replaces the file whole or leaves the old one; false with the reason.
bool writeCalibrationReport(const QString &path, const QByteArray &text, QString *error);
