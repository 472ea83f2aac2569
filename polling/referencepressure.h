#pragma once
// The two reference pressures that go with every measurement, in kPa,
// converted from the operator's spin-box values in the unit of "cbMU4var".

#include <QStringList>

class ReferencePressure
{
public:
    // Items of the unit list, in order: Pa, kPa, MPa (the last with a Latin
    // capital M, as the list has always shown it).
    static QStringList unitNames();
    // kPa per unit of item `index`: 0.001, 1, 1000; 0 for any other index.
    static double unitFactor(int index);

    // Takes the spin-box values in the unit of item `unitIndex`.
    void set(int plusValue, int minusValue, int unitIndex);

    double plus() const { return m_plus; }     // kPa
    double minus() const { return m_minus; }   // kPa

private:
    double m_plus = 0.0;
    double m_minus = 0.0;
};
