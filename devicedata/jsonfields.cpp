#include "devicedata/jsonfields.h"

#include <cmath>

namespace {

QString rangeText(double min, double max)
{
    const auto text = [](double v) { return QString::number(v, 'g', 10); };
    if (min <= -std::numeric_limits<double>::max())
        return QStringLiteral("не больше %1").arg(text(max));
    if (max >= std::numeric_limits<double>::max())
        return QStringLiteral("не меньше %1").arg(text(min));
    return QStringLiteral("вне %1…%2").arg(text(min), text(max));
}

} // namespace

JsonFields::JsonFields(const QJsonObject &o, const QString &where)
    : m_o(o)
    , m_where(where)
{
}

JsonFields::JsonFields(const QJsonValue &v, const QString &where)
    : JsonFields(v.toObject(), where)
{
    if (!v.isObject())
        fail(QStringLiteral("не объект"));
}

void JsonFields::fail(const QString &why)
{
    if (m_error.isEmpty() && !why.isEmpty())
        m_error = m_where.isEmpty() ? why : QStringLiteral("%1: %2").arg(m_where, why);
}

void JsonFields::failField(const QString &key, const QString &why)
{
    fail(QStringLiteral("поле «%1» %2").arg(key, why));
}

QJsonValue JsonFields::value(const char *key, bool *present)
{
    const auto it = m_o.constFind(QLatin1String(key));
    *present = it != m_o.constEnd();
    if (!*present) {
        failField(QLatin1String(key), QStringLiteral("отсутствует"));
        return QJsonValue();
    }
    return it.value();
}

int JsonFields::integer(const char *key, int min, int max)
{
    bool present = false;
    const QJsonValue v = value(key, &present);
    if (!present)
        return min;
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !std::isfinite(d) || d != std::floor(d)) {
        failField(QLatin1String(key), QStringLiteral("не целое число"));
        return min;
    }
    if (d < min || d > max) {
        failField(QLatin1String(key), QStringLiteral("= %1: %2").arg(d, 0, 'g', 10).arg(rangeText(min, max)));
        return min;
    }
    return int(d);
}

int JsonFields::integerOr(const char *key, int min, int max, int absent)
{
    return has(key) ? integer(key, min, max) : absent;
}

uint32_t JsonFields::unsigned32(const char *key)
{
    const double d = number(key, 0, 4294967295.0);
    if (d != std::floor(d)) {
        failField(QLatin1String(key), QStringLiteral("не целое число"));
        return 0;
    }
    return uint32_t(d);
}

double JsonFields::number(const char *key, double min, double max)
{
    bool present = false;
    const QJsonValue v = value(key, &present);
    if (!present)
        return 0;
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !std::isfinite(d)) {
        failField(QLatin1String(key), QStringLiteral("не число"));
        return 0;
    }
    if (d < min || d > max) {
        failField(QLatin1String(key), QStringLiteral("= %1: %2").arg(d, 0, 'g', 10).arg(rangeText(min, max)));
        return 0;
    }
    return d;
}

double JsonFields::numberOrInfinity(const char *key)
{
    if (m_o.value(QLatin1String(key)).isNull() && has(key))
        return std::numeric_limits<double>::infinity();
    return number(key);
}

QJsonValue JsonFields::typed(const char *key, bool (QJsonValue::*is)() const, const QString &notIt)
{
    bool present = false;
    const QJsonValue v = value(key, &present);
    if (present && !(v.*is)()) {
        failField(QLatin1String(key), notIt);
        return QJsonValue();
    }
    return v;
}

bool JsonFields::boolean(const char *key)
{
    return typed(key, &QJsonValue::isBool, QStringLiteral("не «да/нет» (true/false)")).toBool();
}

QString JsonFields::string(const char *key)
{
    return typed(key, &QJsonValue::isString, QStringLiteral("не строка")).toString();
}

QJsonObject JsonFields::object(const char *key)
{
    return typed(key, &QJsonValue::isObject, QStringLiteral("не объект")).toObject();
}

QJsonArray JsonFields::array(const char *key, int minSize, int maxSize)
{
    const QJsonValue v = typed(key, &QJsonValue::isArray, QStringLiteral("не список"));
    if (!v.isArray())
        return QJsonArray();
    const QJsonArray a = v.toArray();
    if (a.size() < minSize || a.size() > maxSize) {
        failField(QLatin1String(key), minSize == maxSize
                                          ? QStringLiteral("содержит %1 элементов вместо %2").arg(a.size()).arg(minSize)
                                          : QStringLiteral("содержит %1 элементов: %2")
                                                .arg(a.size()).arg(rangeText(minSize, maxSize)));
        return QJsonArray();
    }
    return a;
}

QVector<double> JsonFields::numbers(const char *key, int minSize, int maxSize, double min, double max)
{
    QVector<double> out;
    const QJsonArray a = array(key, minSize, maxSize);
    for (int i = 0; i < a.size(); ++i) {
        const double d = a.at(i).toDouble(std::nan(""));
        if (!a.at(i).isDouble() || !std::isfinite(d)) {
            fail(QStringLiteral("поле «%1», элемент %2: не число").arg(QLatin1String(key)).arg(i + 1));
            return {};
        }
        if (d < min || d > max) {
            fail(QStringLiteral("поле «%1», элемент %2 = %3: %4")
                     .arg(QLatin1String(key)).arg(i + 1).arg(d, 0, 'g', 10).arg(rangeText(min, max)));
            return {};
        }
        out.append(d);
    }
    return out;
}

int JsonFields::keyIndex(const char *field, const char *const *keys, int n)
{
    const QString s = string(field);
    if (!ok())
        return 0;
    for (int i = 0; i < n; ++i)
        if (s == QLatin1String(keys[i]))
            return i;
    failField(QLatin1String(field), QStringLiteral("= «%1»: неизвестное значение").arg(s.left(40)));
    return 0;
}
