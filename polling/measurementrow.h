#pragma once
// The texts of one row of the measurement table and the rules of the table
// around it (headings, status cells, when the table is emptied). Colours are
// plain 0xRRGGBB values so that the core needs no GUI module; the slot turns
// them into brushes.

#include "polling/command3answer.h"

#include <QString>
#include <QStringList>
#include <cstdint>

class MeasurementRow
{
public:
    enum Column {
        AddressColumn = 0,
        CurrentColumn = 1,      // variables 1..4 follow in columns 2..5
        PressurePlusColumn = 6,
        PressureMinusColumn = 7,
        CrcColumn = 8,
        FileColumn = 9,
        ColumnCount = 10
    };

    // What became of the answer's files, shown in the "Файл" column.
    enum class FileStatus {
        None,          // nothing to show (the log alone failed to open)
        Written,       // "Записан"
        OpenError,     // "Ошибка открытия"
        NotChosen,     // "Файл не выбран"
        WriteError,    // "Ошибка записи": the record file would not open or take the line
        LogError       // "Журнал не записан": the measurement log failed
    };

    struct Cell
    {
        QString text;
        uint32_t background = 0;    // 0xRRGGBB
        bool hasBackground = false;
    };

    static constexpr uint32_t CrcGood = 0x00FF00;       // green
    static constexpr uint32_t CrcBad = 0xFF0000;        // red
    static constexpr uint32_t FileGood = 0x008080;      // RGB(0,128,128)
    static constexpr uint32_t FileBad = 0xFF8000;       // RGB(255,128,0)
    static constexpr uint32_t FileFailed = 0xFF0000;    // a file that failed: red

    // The table holds at most this many rows before "Очищать экран" empties it.
    static constexpr int MaxRowIndex = 50;

    // The ten headings; the four variable headings follow the "Емкостной"
    // check box.
    static QStringList headers(bool capacitor);

    static Cell crcCell(bool checksumOk);
    static Cell fileCell(FileStatus status);

    // Column texts 0..7 of an answer: address, current, variables 1..4 (four
    // decimals), P+ and P- (six significant digits).
    static QStringList valueTexts(const QString &addressText, const Command3Answer &answer,
                                  double pressurePlus, double pressureMinus);
    static QString valueText(float value);
    static QString pressureText(double kPa);

    // Moves on to the next row after one has been filled. Returns true when
    // the table must be emptied now (row is then back at 0).
    static bool advance(int &row, bool clearWhenFull);
};
