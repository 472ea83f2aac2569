#pragma once
// The record a calibration leaves beside its point files: which device,
// when, at which temperatures and pressures, what the point files hold (the
// readings as found), what the transmitter reads there with the new
// coefficients, and how far that is off. One plain-text file per device,
// TAB-separated tables, UTF-8.

#include "calc/calibrationtypes.h"
#include "calc/fitquality.h"
#include "calc/pointfiles.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

struct CalibrationReport
{
    QDateTime when;
    QString address;              // "01"
    bool haveSerial = false;
    uint32_t serial = 0;
    SensorModel model = SensorModel::TwoGauge;
    float pmax = 0;               // Pa, the device's own
    QString dir;
    PointFileSet files;
    CalibrationCoefficients written;   // as the dialog hands them to the device
    FitQuality quality;
};

// dir/base_report.txt; a name the search for point files never takes.
QString calibrationReportFileName(const QString &dir, const QString &baseName);

QByteArray calibrationReportText(const CalibrationReport &report);

// Replaces the file whole or leaves the old one; false with the reason.
bool writeCalibrationReport(const QString &path, const QByteArray &text, QString *error);
