#include "devicedata/numbertext.h"

#include <cfloat>
#include <charconv>
#include <cmath>
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

QString formatG(double value)
{
    // QString::number matches printf's %g for every finite value and for the
    // infinities; a NaN comes out as "nan" whatever its sign bit.
    return QString::number(value, 'g', 6);
}

QString formatF(double value)
{
    return QString::number(value, 'f', 6);
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
