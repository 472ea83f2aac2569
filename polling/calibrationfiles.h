#pragma once
// The files of a calibration run: per device a measurement record file (one
// line per good answer) and a least-squares point file (one averaged line per
// calibration point), and the optional measurement log shared by all
// devices. The calibration temperature being recorded goes into every name.
//
// Every line is written whole in one go and handed to the system before the
// call returns (see LineAppender), so the next answer always finds the
// previous one on disk.

#include "polling/command3answer.h"
#include "polling/measurementrow.h"
#include "polling/pollchannelstate.h"
#include "polling/runningmean.h"
#include "polling/savedirs.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

enum class CalibrationTemperature { None, Middle, Low, High };

class CalibrationFiles
{
public:
    // The three mutually exclusive temperature boxes (Middle wins if the
    // caller ever passes more than one).
    static CalibrationTemperature temperature(bool middle, bool low, bool high);

    // "_Tmid.txt", "_Tmin.txt", "_Tmax.txt", "_T.txt" with no temperature.
    static QString recordSuffix(CalibrationTemperature t);
    // "_Tmid_MNK.txt", "_Tmin_MNK.txt", "_Tmax_MNK.txt"; empty with no
    // temperature (then no point file is written).
    static QString pointSuffix(CalibrationTemperature t);

    // Full names inside the address's directory; empty when the address has
    // no directory, the selection is not ready, or (points) no temperature.
    static QString recordFileName(const SaveDirs &dirs, int address, CalibrationTemperature t);
    static QString pointFileName(const SaveDirs &dirs, int address, CalibrationTemperature t);

    // date TAB I TAB V1 TAB V2 TAB V3 TAB V4 TAB P+ TAB P- and the line end.
    static QByteArray recordLine(const QDateTime &when, const Command3Answer &answer,
                                 double pressurePlus, double pressureMinus);
    // The measurement log holds every device's answers in one file: the
    // record line with the answering device's address (two hexadecimal
    // digits, as the table's "Адрес") as a ninth field, so that the lines of
    // several devices can be told apart.
    static QByteArray logLine(const QDateTime &when, const Command3Answer &answer,
                              double pressurePlus, double pressureMinus, int address);
    // mean1 TAB mean2 TAB mean3 TAB mean4 TAB P+ TAB P- and the line end.
    static QByteArray pointLine(const ChannelMean &mean, double pressurePlus,
                                double pressureMinus);

    // The measurement log: "checkBoxSave" and the chosen file name.
    struct LogTarget
    {
        bool enabled = false;
        QString fileName;
        bool active() const { return enabled && !fileName.isEmpty(); }
    };

    struct AnswerOutcome
    {
        MeasurementRow::FileStatus status = MeasurementRow::FileStatus::None;
        QString recordFile;         // empty when no record file is in use
        bool recordWritten = false;
        bool logWritten = false;
        // Why a good answer did not reach a file (empty when it did, or when
        // the file is not in use).
        QString recordError;
        QString logError;
    };

    // Records one command-3 answer from `address`. Only a good answer (good
    // checksum and complete data) is written; the status says what the
    // "Файл" column shows. The log's folder is made when it is missing (the
    // file dialog offers a "data" folder that may not exist yet).
    static AnswerOutcome recordAnswer(const SaveDirs &dirs, CalibrationTemperature t,
                                      const LogTarget &log, int address, bool checksumOk,
                                      const Command3Answer &answer, double pressurePlus,
                                      double pressureMinus,
                                      const QDateTime &when = QDateTime::currentDateTime());

    struct PointOutcome
    {
        int address = 0;
        QString fileName;
        bool written = false;
    };

    // Appends one point line per listed address (ascending) from the means
    // of the first checked channel polling it. Nothing without a ready
    // selection or without a temperature.
    static QVector<PointOutcome> addPoints(const SaveDirs &dirs, CalibrationTemperature t,
                                           const RunningMean &means, const PollChannels &channels,
                                           double pressurePlus, double pressureMinus);

    // One status line per device: "Файл калибровки МНК записан <name>" or
    // "Файл калибровки МНК не записан", joined by line breaks, so that a
    // failure of one device is not hidden by the success of the next.
    static QString pointStatusText(const QVector<PointOutcome> &outcomes);
};
