#pragma once
// Reading the least-squares point files written during a calibration run:
// one file per temperature, each line the averaged V1, V2, V3, V4, P+, P-
// of one calibration point (signals in mV or kHz, pressures in kPa).
//
// A line is taken only when it is whole: six TAB-separated numbers, nothing
// else. A header, a half-written line, a field such as "12abc" or "nan",
// or bytes that are no text stop the calculation with the file and line
// named: read as numbers they would join the points silently and bend the
// fit. Blank lines and CR LF line ends are fine, and a decimal comma (as a
// spreadsheet in a Russian locale writes it) reads as a decimal point.

#include "calc/calcmessage.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <array>

class CalibrationPointSet;

// The three temperatures in the order the reference voltages name them:
// l (Tmin), n (Tmid), h (Tmax).
enum CalibrationFileIndex { FileTmin = 0, FileTmid = 1, FileTmax = 2 };

// One line of a point file, as written.
struct PointRecord
{
    double v1 = 0, v2 = 0, v3 = 0, v4 = 0, pPlus = 0, pMinus = 0;
    int line = 0;   // 1-based line number in the file
};

struct PointFile
{
    QString fileName;   // without the directory
    QVector<PointRecord> records;
};

// A point file field: a decimal number from end to end ("1.5", "-2,5e+01",
// " 3 "); "12abc", "nan", "inf", "1,234.5" and an empty field are not.
bool parsePointNumber(const QByteArray &field, double *value);

struct PointFileRead
{
    bool opened = false;
    bool ok = false;
    PointFile file;
    QString error;   // why not, naming the file and the line
};
PointFileRead readPointRecords(const QString &path);

// Points within this fraction of the file's pressure span of the lowest
// (highest) pressure form the lowest (highest) group. Grouping by a share
// of the span works alike for a 0.25 kPa and a 40 MPa sensor, and keeps the
// repeats of one nominal pressure (99.9 and 100.2 kPa) together.
constexpr double kPressureGroupTolerance = 0.01;

// Means of variables 1, 2 and 4 at the lowest and at the highest reference
// pressure of one file, and the pressures they were recorded at (the mean
// of the grouping column over each group, kPa).
struct PointFileMeans
{
    std::array<float, 3> low = {0, 0, 0};
    std::array<float, 3> high = {0, 0, 0};
    double lowPressureKPa = 0, highPressureKPa = 0;
    int lowCount = 0, highCount = 0;
};

// Groups by P- when the vacuum gauge box is checked, else by P+; a group
// takes the rows whose other chamber is at its lowest pressure when it has
// any (differential points stay out of the means). A file
// whose pressure never changes has no highest-pressure group (count 0,
// means NaN).
PointFileMeans groupPointRecords(const QVector<PointRecord> &records, bool vakum);

// Reads and groups one file. A file that cannot be opened or holds a line
// that is not six numbers gives zeros and a red line.
PointFileMeans readPointFile(const QString &fileName, bool vakum, CalcMessages *messages);

// The eighteen reference voltages, file means times 1000. Names: variable
// (1, 2, 4), pressure (n lowest, h highest), temperature (l Tmin, n Tmid,
// h Tmax).
struct ReferenceVoltages
{
    float U1nl = 0, U1nn = 0, U1nh = 0;
    float U2nl = 0, U2nn = 0, U2nh = 0;
    float U4nl = 0, U4nn = 0, U4nh = 0;
    float U1hl = 0, U1hn = 0, U1hh = 0;
    float U2hl = 0, U2hn = 0, U2hh = 0;
    float U4hl = 0, U4hn = 0, U4hh = 0;

    // The pressures of the lowest and of the highest group, Pa, by
    // CalibrationFileIndex.
    std::array<double, 3> lowPressurePa = {0, 0, 0};
    std::array<double, 3> highPressurePa = {0, 0, 0};

    // Six values of one variable (1, 2 or 4) in the order the parameters
    // dialog lists them: l, n, h at the lowest pressure, then at the highest.
    std::array<float, 6> variable(int v) const;
};

// Everything the calculation takes from the three files.
struct PointFileSet
{
    bool ok = false;                      // all three read, every one spans a pressure range
    std::array<PointFile, 3> files;       // by CalibrationFileIndex
    std::array<PointFileMeans, 3> means;
    ReferenceVoltages u;
};

// Reads the Tmin, Tmid and Tmax files of dir. Each file says whether it
// opened; a file that is not usable ends the reading with the red reason;
// when all are usable the eighteen values are listed.
PointFileSet readPointFileSet(const QString &dir, const QString &midName, const QString &minName,
                              const QString &maxName, bool vakum, CalcMessages *messages);

// The reference voltages of readPointFileSet (zeros for files not read).
ReferenceVoltages openStaticFiles(const QString &dir, const QString &midName,
                                  const QString &minName, const QString &maxName,
                                  bool vakum, CalcMessages *messages);

// Resets the set and adds every point of a file (values times 1000).
void loadPointSet(CalibrationPointSet &set, const PointFile &file);
// The same for the Tmid file of dir. Returns false, with a red line, when
// the file cannot be opened or a line is not six numbers.
bool loadMidPointSet(CalibrationPointSet &set, const QString &dir, const QString &midName,
                     CalcMessages *messages);
