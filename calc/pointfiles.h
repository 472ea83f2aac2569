#pragma once
// Reading the least-squares point files written during a calibration run:
// one file per temperature, each line the averaged V1, V2, V3, V4, P+, P-
// of one calibration point (signals in mV or kHz, pressures in kPa).

#include "calc/calcmessage.h"

#include <QString>
#include <array>

class CalibrationPointSet;

// Means of variables 1, 2 and 4 at the lowest and at the highest reference
// pressure of one file.
struct PointFileMeans
{
    std::array<float, 3> low = {0, 0, 0};
    std::array<float, 3> high = {0, 0, 0};
};

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

    // Six values of one variable (1, 2 or 4) in the order the parameters
    // dialog lists them: l, n, h at the lowest pressure, then at the highest.
    std::array<float, 6> variable(int v) const;
};

// Means at the lowest and highest value of the pressure column (P- when the
// vacuum gauge box is checked, else P+). Pressures are truncated to whole
// kPa before grouping. A file that cannot be opened gives zeros and a red
// line; a file whose pressure never changes has no highest-pressure points,
// so those means are NaN.
PointFileMeans readPointFile(const QString &fileName, bool vakum, CalcMessages *messages);

// Reads the Tmin, Tmid and Tmax files of dir and lists the eighteen values.
ReferenceVoltages openStaticFiles(const QString &dir, const QString &midName,
                                  const QString &minName, const QString &maxName,
                                  bool vakum, CalcMessages *messages);

// Resets the set and adds every point of the Tmid file (values times 1000).
// Returns false, with a red line, when the file cannot be opened.
bool loadMidPointSet(CalibrationPointSet &set, const QString &dir, const QString &midName,
                     CalcMessages *messages);
