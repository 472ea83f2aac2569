#pragma once
// Status lines produced by the calculation for the calibration status pane.
// The core only says what to write and in which colour; the window appends.

#include <QString>
#include <QVector>

struct CalcMessage
{
    enum Kind {
        Plain,     // in whatever colour the pane currently writes
        Success,   // RGB(7, 158, 0)
        Warning,   // orange: worth a look, not a refusal
        Failure    // red
    };
    Kind kind = Plain;
    QString text;

    bool operator==(const CalcMessage &o) const { return kind == o.kind && text == o.text; }
};

using CalcMessages = QVector<CalcMessage>;
