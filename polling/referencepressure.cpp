#include "polling/referencepressure.h"

QStringList ReferencePressure::unitNames()
{
    return {QStringLiteral("Па"), QStringLiteral("кПа"), QStringLiteral("MПа")};
}

double ReferencePressure::unitFactor(int index)
{
    switch (index) {
    case 0: return 0.001;
    case 1: return 1.0;
    case 2: return 1000.0;
    default: return 0.0;
    }
}

void ReferencePressure::set(int plusValue, int minusValue, int unitIndex)
{
    const double f = unitFactor(unitIndex);
    m_plus = plusValue * f;
    m_minus = minusValue * f;
}
