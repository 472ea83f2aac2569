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
#include <cfloat>
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

// "%g" with 6 significant digits, exactly as printf writes it in the C
// locale ("1e+06", "0.0001", "1234.62" for 1234.625, "inf", "-nan"),
// whatever the process locale; precision gives more significant digits.
QString formatG(double value, int precision = 6);
// "%f": fixed, six decimals, as printf writes it in the C locale.
QString formatF(double value);

// Numbers typed by the operator into a field. Unlike the file readers below
// there is no leading-number reading: the whole text, blanks around it
// aside, must be the number, or the field is refused and nothing is sent.
// "." and "," both separate the decimals, whatever the locale, because the
// engineer types what the keyboard layout of the moment gives.
struct InputRule
{
    enum Kind {
        Real,      // decimal with an optional exponent; finite only
        Integer,   // decimal digits with an optional sign
        Hex        // hexadecimal digits, an optional "0x" in front
    };
    Kind kind = Real;
    double min = -double(FLT_MAX);   // inclusive limits
    double max = double(FLT_MAX);

    // By default what a single-precision register can hold.
    static InputRule real(double lo = -double(FLT_MAX), double hi = double(FLT_MAX))
    {
        return {Real, lo, hi};
    }
    static InputRule integer(double lo, double hi) { return {Integer, lo, hi}; }
    static InputRule hex(double hi) { return {Hex, 0, hi}; }
};

struct InputValue
{
    bool ok = false;
    double value = 0;   // exact for every integer a 32-bit register holds
    QString problem;    // why the text was refused, in the operator's words
};

InputValue readInput(const QString &text, const InputRule &rule);
// "«<caption>»: <problem>", the part of a refusal that names the field.
QString inputRefusal(const QString &caption, const InputValue &value);

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
