#pragma once
// Number <-> text conversions shared by the device data record, its files and
// the bulk transfer.
//
// Everything here is independent of the process locale on purpose: the GUI
// application sets the C library locale from the environment, and with a
// Russian locale printf/strtod would write and expect a decimal comma, so a
// file saved on one machine would not load on another.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace NumberText {

// Whole-field conversions: leading and trailing white space (line terminator
// included) is ignored, everything else must belong to the number. Decimal
// only. On failure *ok is false and the result is 0.
int32_t toInt32(const QString &text, bool *ok);
uint32_t toUInt32(const QString &text, bool *ok);
uint16_t toUInt16(const QString &text, bool *ok);
// Decimal point, optional exponent; "inf", "infinity" and "nan" (any case,
// optional sign) are accepted so that what formatG() shows for an erased
// device cell can be loaded back. Finite values outside the single-precision
// range fail.
float toFloat(const QString &text, bool *ok);

// "%g" with 6 significant digits, as printf writes it in the C locale
// ("1e+06", "0.0001", "inf", "nan").
QString formatG(double value);
// "%f": fixed, six decimals.
QString formatF(double value);

// Leading-number parsers with the semantics of the standard library's
// std::stoi / std::stoul / std::stod: white space is skipped, then the
// longest prefix that forms a number is taken and the rest ignored.
enum class PrefixStatus { Ok, InvalidArgument, OutOfRange };
// int; a value outside int is out of range.
PrefixStatus prefixToInt(const QByteArray &text, int *value);
// unsigned long (64 bits here); a leading '-' negates modulo 2^64 as strtoul does.
PrefixStatus prefixToULong(const QByteArray &text, uint64_t *value);
// double; overflow and underflow are out of range, as ERANGE is for strtod.
PrefixStatus prefixToDouble(const QByteArray &text, double *value);

} // namespace NumberText
