#pragma once
// Everything the polling tab keeps between answers, and the steps its slots
// run, without a widget: the running means, the reference pressures, the
// calibration cycle, the save directories and the measurement table's row
// counter. A slot copies its widgets' state into the inputs, calls one step
// and writes the returned texts back.
//
// All state is of fixed size; handling an answer allocates only the texts it
// returns, so cyclic polling does not grow the process.

#include "polling/calibrationcycle.h"
#include "polling/calibrationfiles.h"
#include "polling/measurementrow.h"
#include "polling/pollchannelstate.h"
#include "polling/referencepressure.h"
#include "polling/runningmean.h"
#include "polling/savedirs.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>

class MeasurementCapture
{
public:
    // Widget state a step needs.
    struct Inputs
    {
        PollChannels channels{};
        bool capacitor = false;             // "Емкостной"
        bool clearTable = false;            // "Очищать экран"
        CalibrationTemperature temperature = CalibrationTemperature::Middle;
        CalibrationFiles::LogTarget log;    // "checkBoxSave" and the log name
    };

    // One command-3 answer as the link reports it.
    struct Answer
    {
        uint8_t address = 0;                // answerAddress()
        bool checksumOk = false;
        QByteArray data;                    // answerData()
        QDateTime when = QDateTime::currentDateTime();
        // Set when the device refused the request (its response code):
        // the row shows what came and why, nothing is recorded or averaged.
        QString refusal;
    };

    // What the slot shows for one answer.
    struct RowView
    {
        int row = 0;                        // table row to fill
        QStringList headers;                // ten headings
        QStringList texts;                  // columns 0..7
        MeasurementRow::Cell crc;           // column 8
        MeasurementRow::Cell file;          // column 9
        // Mean display text per channel; a null string leaves the field as
        // it is (unchecked channels).
        std::array<QString, PollChannelCount> means;
        bool clearTableNow = false;         // empty the model after this row
        CalibrationFiles::AnswerOutcome files;
        // A file that has just failed, or failed for another reason than
        // before: said once per cause, not on every answer.
        QStringList fileFaults;
        // A file that failed before and took this answer.
        QStringList fileRecoveries;
    };

    RowView handleAnswer(const Answer &answer, const Inputs &in);

    // "Записывать давление": false when no save files are ready (the slot
    // then shows "Не выбраны файлы для сохранения" and nothing changes).
    bool setPressue(int plusValue, int minusValue, int unitIndex);
    // At start-up the pressures are the spin-box values taken as kPa.
    void setInitialPressures(int plusValue, int minusValue) { m_pressure.set(plusValue, minusValue, 1); }
    // The unit list changed: the pressures follow, nothing else changes.
    void unitChanged(int plusValue, int minusValue, int unitIndex);
    // "Усреднять значения".
    void startFindAvg();
    // "Сбросить усреднение": zero means; returns the display text for every
    // checked channel and an empty (not null) text for the others.
    std::array<QString, PollChannelCount> clearMO(const Inputs &in);
    // "Добавить данные": writes the point files, resets the means; returns
    // the status pane text (null when nothing was attempted) and the means
    // display texts through clearMO.
    struct AddDataResult
    {
        QString status;
        std::array<QString, PollChannelCount> means;
        QVector<CalibrationFiles::PointOutcome> outcomes;
    };
    AddDataResult addDataCoef(const Inputs &in);

    // "Очистить".
    void clearTable() { m_tableRow = 0; }

    int tableRow() const { return m_tableRow; }
    bool averagingOn() const { return m_cycle.averagingOn(); }
    const CalibrationCycle::Buttons &buttons() const { return m_cycle.buttons(); }
    const ReferencePressure &pressure() const { return m_pressure; }
    const RunningMean &means() const { return m_means; }
    SaveDirs &saveDirs() { return m_dirs; }
    const SaveDirs &saveDirs() const { return m_dirs; }

    // A poll started, ended by itself, or stopped: whether one runs and
    // whether it was cyclic, so that its stop can be told as such.
    // A new poll tells a file that still fails once more.
    void pollStarted(bool cyclic)
    {
        m_pollRunning = true;
        m_pollCyclic = cyclic;
        m_faultsTold.clear();
    }
    // Returns whether a poll was running.
    bool pollEnded() { const bool was = m_pollRunning; m_pollRunning = false; return was; }
    bool pollRunning() const { return m_pollRunning; }
    bool pollCyclic() const { return m_pollCyclic; }

    // "Измерения не записаны в …" / "Журнал измерений не записан в …".
    static QString recordFaultText(const QString &file, const QString &error);
    static QString logFaultText(const QString &file, const QString &error);

private:
    // Notes one file's outcome; adds the texts to tell to the row view.
    void noteFile(const QString &file, bool written, const QString &error, bool isLog,
                  RowView &v);

    RunningMean m_means;
    ReferencePressure m_pressure;
    CalibrationCycle m_cycle;
    SaveDirs m_dirs;
    int m_tableRow = 0;
    bool m_pollRunning = false;
    bool m_pollCyclic = false;
    // The files that failed and the reason last told, by name; and those
    // told in the poll under way.
    QHash<QString, QString> m_fileFaults;
    QSet<QString> m_faultsTold;
};
