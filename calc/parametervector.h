#pragma once
// The parameters dialog's values as the rest of the program sees them:
// fifteen floats in a fixed order, which is also the order of the keys in a
// saved parameters file.

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

// Field text as the dialog reads it: text that is not a number counts as 0.
// So does "nan" or "inf", which the string conversion would accept: such a
// value must never reach the device or a file.
inline float fromText(const QString &text)
{
    bool ok = false;
    const float v = text.toFloat(&ok);
    return ok && std::isfinite(v) ? v : 0.0f;
}

} // namespace ParameterVector
