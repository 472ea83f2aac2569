#pragma once
// The parameters dialog's values as the rest of the program sees them:
// fifteen floats in a fixed order, which is also the order of the keys in a
// saved parameters file.

#include "devicedata/numbertext.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cmath>

namespace ParameterVector {

enum Index {
    Uk1h, Uk2h, U10, U20,
    A42, A41, A40,
    B42, B41, B40,
    C42, C41, C40,
    C43,
    Pmax,
    Count
};

using Values = std::array<float, Count>;

// "Uk1h", "Uk2h", ... "Pmax", in index order.
inline const QStringList &keys()
{
    static const QStringList k = {
        QStringLiteral("Uk1h"), QStringLiteral("Uk2h"), QStringLiteral("U10"), QStringLiteral("U20"),
        QStringLiteral("a42"), QStringLiteral("a41"), QStringLiteral("a40"),
        QStringLiteral("b42"), QStringLiteral("b41"), QStringLiteral("b40"),
        QStringLiteral("c42"), QStringLiteral("c41"), QStringLiteral("c40"),
        QStringLiteral("c43"), QStringLiteral("Pmax")};
    return k;
}

// Field text as the dialog reads it, by the rule for typed numbers ("." or
// "," before the decimals); text that is not a number counts as 0. So does
// "nan" or "inf": such a value must never reach the device or a file. Where
// a value is sent or saved, the dialog refuses such a field instead.
inline float fromText(const QString &text)
{
    const NumberText::InputValue v = NumberText::readInput(text, NumberText::InputRule::real());
    return v.ok ? float(v.value) : 0.0f;
}

} // namespace ParameterVector
