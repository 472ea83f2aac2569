#include "devicedata/numbertext.h"

#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace NumberText {

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The trimmed field as ASCII bytes; false when anything outside ASCII is left,
// which can never be part of a number.
bool trimmedAscii(const QString &text, QByteArray *out)
{
    const QString t = text.trimmed();
    for (const QChar ch : t) {
        if (ch.unicode() > 0x7f)
            return false;
    }
    *out = t.toLatin1();
    return true;
}

// An optional sign at s[i]; returns the index after it.
int skipSign(const QByteArray &s, int i, bool *negative)
{
    *negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        *negative = s[i] == '-';
        ++i;
    }
    return i;
}

// The run of decimal digits from s[i]; returns the index after it. The
// magnitude saturates, so a ten-megabyte run of digits costs one pass and no
// big-number arithmetic.
int digitRun(const QByteArray &s, int i, uint64_t *magnitude, bool *overflow)
{
    uint64_t v = 0;
    bool over = false;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        const unsigned d = unsigned(s[i] - '0');
        if (!over && v > (std::numeric_limits<uint64_t>::max() - d) / 10)
            over = true;
        if (!over)
            v = v * 10 + d;
    }
    *magnitude = v;
    *overflow = over;
    return i;
}

// Sign and decimal digits of a whole field.
bool wholeDecimal(const QByteArray &s, bool *negative, uint64_t *magnitude, bool *overflow)
{
    const int i = skipSign(s, 0, negative);
    if (i == s.size())
        return false;
    return digitRun(s, i, magnitude, overflow) == s.size();
}

bool wholeUnsigned(const QString &text, uint64_t limit, uint64_t *value)
{
    QByteArray s;
    bool negative, overflow;
    uint64_t m;
    if (!trimmedAscii(text, &s) || !wholeDecimal(s, &negative, &m, &overflow))
        return false;
    // "-0" is the only negative text an unsigned field could mean; refuse it
    // with the rest rather than guess.
    if (negative || overflow || m > limit)
        return false;
    *value = m;
    return true;
}

// Skips leading white space and an optional sign, then collects the digit
// run. Returns the index after the digits; digits == 0 means no number.
int leadingDigits(const QByteArray &s, bool *negative, uint64_t *magnitude, bool *overflow,
                  int *digits)
{
    int i = 0;
    while (i < s.size() && isAsciiSpace(s[i]))
        ++i;
    i = skipSign(s, i, negative);
    const int end = digitRun(s, i, magnitude, overflow);
    *digits = end - i;
    return end;
}

// Parses a double at [begin, end) the way strtod does after white space:
// optional sign, then a decimal number, "inf"/"infinity" or "nan". Returns the
// status and sets *used to the characters consumed.
PrefixStatus parseDouble(const char *begin, const char *end, double *value, const char **stop)
{
    const char *p = begin;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes a '-' of its own; after our sign there must be none.
    if (p == end || *p == '-' || *p == '+')
        return PrefixStatus::InvalidArgument;
    double v = 0;
    const auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument)
        return PrefixStatus::InvalidArgument;
    *stop = r.ptr;
    if (r.ec == std::errc::result_out_of_range)
        return PrefixStatus::OutOfRange;
    *value = negative ? -v : v;
    return PrefixStatus::Ok;
}

// A decimal number from end to end: optional sign, digits with at most one
// '.' or ',' among them (at least one digit), optional exponent. No
// "inf", "nan" or hexadecimal: those are no numbers a person types.
bool wholeReal(const QByteArray &s)
{
    int i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    int digits = 0;
    bool separator = false;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i]))
            ++digits;
        else if ((s[i] == '.' || s[i] == ',') && !separator)
            separator = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        const int start = i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == s.size();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits from end to end, an optional "0x" in front; the
// magnitude saturates as in digitRun.
bool wholeHex(const QByteArray &s, uint64_t *magnitude, bool *overflow)
{
    int i = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        i = 2;
    if (i == s.size())
        return false;
    uint64_t v = 0;
    bool over = false;
    for (; i < s.size(); ++i) {
        const int d = hexDigit(s[i]);
        if (d < 0)
            return false;
        if (v > (std::numeric_limits<uint64_t>::max() >> 4))
            over = true;
        if (!over)
            v = (v << 4) | uint64_t(d);
    }
    *magnitude = v;
    *overflow = over;
    return true;
}

QString limitText(double limit, InputRule::Kind kind)
{
    if (kind == InputRule::Real)
        return formatG(limit);
    if (kind == InputRule::Hex)
        return QString::number(qulonglong(limit), 16);
    return QString::number(qlonglong(limit));
}

// printf's text of value in the C locale. to_chars is specified as printf
// in the C locale and never looks at the process locale; where the library
// lacks it, printf is asked and the locale's decimal point put right.
QString printfText(double value, std::chars_format format, const char *printfFormat, int precision)
{
    char buf[400];   // "%f" of the largest double has 309 digits before the point
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    Q_UNUSED(printfFormat);
    const auto r = std::to_chars(buf, buf + sizeof buf, value, format, precision);
    if (r.ec == std::errc())
        return QString::fromLatin1(buf, int(r.ptr - buf));
#else
    Q_UNUSED(format);
#endif
    const int n = std::snprintf(buf, sizeof buf, printfFormat, precision, value);
    QString text = QString::fromLatin1(buf, qBound(0, n, int(sizeof buf) - 1));
    const char *point = std::localeconv()->decimal_point;
    if (point && *point && std::strcmp(point, ".") != 0)
        text.replace(QString::fromLocal8Bit(point), QStringLiteral("."));
    return text;
}

} // namespace

int32_t toInt32(const QString &text, bool *ok)
{
    QByteArray s;
    bool negative = false, overflow = false;
    uint64_t m = 0;
    const bool good = trimmedAscii(text, &s) && wholeDecimal(s, &negative, &m, &overflow)
            && !overflow && m <= (negative ? 2147483648ull : 2147483647ull);
    if (ok)
        *ok = good;
    if (!good)
        return 0;
    return negative ? int32_t(-int64_t(m)) : int32_t(m);
}

uint32_t toUInt32(const QString &text, bool *ok)
{
    uint64_t v = 0;
    const bool good = wholeUnsigned(text, 0xffffffffull, &v);
    if (ok)
        *ok = good;
    return good ? uint32_t(v) : 0;
}

uint16_t toUInt16(const QString &text, bool *ok)
{
    uint64_t v = 0;
    const bool good = wholeUnsigned(text, 0xffffull, &v);
    if (ok)
        *ok = good;
    return good ? uint16_t(v) : 0;
}

float toFloat(const QString &text, bool *ok)
{
    if (ok)
        *ok = false;
    QByteArray s;
    if (!trimmedAscii(text, &s) || s.isEmpty())
        return 0;
    const char *end = s.constData() + s.size();
    const char *stop = nullptr;
    double d = 0;
    if (parseDouble(s.constData(), end, &d, &stop) != PrefixStatus::Ok || stop != end)
        return 0;
    if (std::isfinite(d) && std::fabs(d) > double(FLT_MAX))
        return 0;
    if (ok)
        *ok = true;
    return static_cast<float>(d);
}

QString formatG(double value, int precision)
{
    // Qt's own conversion rounds a decimal tie away from zero ("1234.63" for
    // 1234.625) where printf takes the correctly rounded, even digit; the
    // files and the fields must carry what printf gives.
    return printfText(value, std::chars_format::general, "%.*g", precision);
}

QString formatF(double value)
{
    return printfText(value, std::chars_format::fixed, "%.*f", 6);
}

InputValue readInput(const QString &text, const InputRule &rule)
{
    InputValue r;
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        r.problem = QStringLiteral("поле пустое, а нужно число");
        return r;
    }
    const QString quoted = QStringLiteral("«") + t + QStringLiteral("»");
    QByteArray s;
    const bool ascii = trimmedAscii(t, &s);
    double v = 0;
    bool inRangeOfType = true;
    switch (rule.kind) {
    case InputRule::Real: {
        if (!ascii || !wholeReal(s)) {
            r.problem = quoted + QStringLiteral(" — не число");
            return r;
        }
        s.replace(',', '.');
        const char *stop = nullptr;
        if (parseDouble(s.constData(), s.constData() + s.size(), &v, &stop) != PrefixStatus::Ok)
            inRangeOfType = false;
        break;
    }
    case InputRule::Integer: {
        bool negative = false, overflow = false;
        uint64_t m = 0;
        if (!ascii || !wholeDecimal(s, &negative, &m, &overflow)) {
            r.problem = quoted + QStringLiteral(" — не целое число");
            return r;
        }
        inRangeOfType = !overflow;
        v = negative ? -double(m) : double(m);
        break;
    }
    case InputRule::Hex: {
        uint64_t m = 0;
        bool overflow = false;
        if (!ascii || !wholeHex(s, &m, &overflow)) {
            r.problem = quoted + QStringLiteral(" — не шестнадцатеричное число");
            return r;
        }
        inRangeOfType = !overflow;
        v = double(m);
        break;
    }
    }
    // A value that a single float can only hold as 0 would be sent as 0.
    if (rule.kind == InputRule::Real && rule.max <= double(FLT_MAX) && v != 0 && float(v) == 0.0f) {
        r.problem = quoted + QStringLiteral(" — слишком мало по модулю, прибор хранит его как 0");
        return r;
    }
    if (!inRangeOfType || !(v >= rule.min && v <= rule.max)) {
        r.problem = quoted + QStringLiteral(" — вне допустимых значений ") + limitText(rule.min, rule.kind)
                + QStringLiteral("…") + limitText(rule.max, rule.kind);
        return r;
    }
    r.ok = true;
    r.value = v;
    return r;
}

QString inputRefusal(const QString &caption, const InputValue &value)
{
    return QStringLiteral("«") + caption + QStringLiteral("»: ") + value.problem;
}

PrefixStatus prefixToInt(const QByteArray &text, int *value)
{
    bool negative, overflow;
    uint64_t m;
    int digits;
    leadingDigits(text, &negative, &m, &overflow, &digits);
    if (digits == 0)
        return PrefixStatus::InvalidArgument;
    if (overflow || m > (negative ? 2147483648ull : 2147483647ull))
        return PrefixStatus::OutOfRange;
    *value = negative ? int(-int64_t(m)) : int(m);
    return PrefixStatus::Ok;
}

PrefixStatus prefixToULong(const QByteArray &text, uint64_t *value)
{
    bool negative, overflow;
    uint64_t m;
    int digits;
    leadingDigits(text, &negative, &m, &overflow, &digits);
    if (digits == 0)
        return PrefixStatus::InvalidArgument;
    if (overflow)
        return PrefixStatus::OutOfRange;
    *value = negative ? uint64_t(0) - m : m;
    return PrefixStatus::Ok;
}

PrefixStatus prefixToDouble(const QByteArray &text, double *value)
{
    const char *p = text.constData();
    const char *end = p + text.size();
    while (p < end && isAsciiSpace(*p))
        ++p;
    const char *stop = nullptr;
    double d = 0;
    const PrefixStatus s = parseDouble(p, end, &d, &stop);
    if (s == PrefixStatus::Ok)
        *value = d;
    return s;
}

} // namespace NumberText
