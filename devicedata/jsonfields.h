#pragma once
// Strict reading of a JSON object kept in a file the program wrote itself
// (a guided run's plan and state, the history's queue): files like these
// come back after a crash, a full disk or a copy between PCs, and one field
// missing, of another type or out of range must stop the reading with the
// field named, never turn into a zero that the program then trusts.
//
// Every reader records the first problem and returns a harmless value;
// the caller reads all it needs and asks ok() once at the end, so nothing
// read from a damaged object is used.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <limits>

class JsonFields
{
public:
    // where: what the object is ("устройство 2"), said before the field.
    explicit JsonFields(const QJsonObject &o, const QString &where = QString());
    // An element of an array that must be an object: failed at once when
    // it is not.
    JsonFields(const QJsonValue &v, const QString &where);

    bool ok() const { return m_error.isEmpty(); }
    // The first problem met, e.g. "поле «point»: -1 вне 0…4".
    QString error() const { return m_error; }
    // Records a problem found by the caller (the first one stays; an empty
    // one is none, so an inner reader's error() can be handed on as it is).
    void fail(const QString &why);
    // A problem of a named field.
    void failField(const QString &key, const QString &why);
    bool has(const char *key) const { return m_o.contains(QLatin1String(key)); }

    // A whole number in [min, max].
    int integer(const char *key, int min, int max);
    // The same, or `absent` when the field is not there at all.
    int integerOr(const char *key, int min, int max, int absent);
    // A whole number in [0, 2^32 - 1] (a serial number).
    uint32_t unsigned32(const char *key);
    // A finite number in [min, max].
    double number(const char *key, double min = -std::numeric_limits<double>::max(),
                  double max = std::numeric_limits<double>::max());
    // A finite number, or infinity when the field is null (a value JSON
    // cannot hold was written as null).
    double numberOrInfinity(const char *key);
    bool boolean(const char *key);
    QString string(const char *key);
    QJsonObject object(const char *key);
    // An array of between minSize and maxSize elements.
    QJsonArray array(const char *key, int minSize, int maxSize);
    // An array of finite numbers in [min, max].
    QVector<double> numbers(const char *key, int minSize, int maxSize,
                            double min = -std::numeric_limits<double>::max(),
                            double max = std::numeric_limits<double>::max());
    // One of keys[]; its index, or 0 after a failure.
    template <size_t N>
    int key(const char *field, const char *const (&keys)[N])
    {
        return keyIndex(field, keys, int(N));
    }

private:
    int keyIndex(const char *field, const char *const *keys, int n);
    QJsonValue value(const char *key, bool *present);
    // The field when it is there and passes `is`; else a null value, and
    // notIt said of it.
    QJsonValue typed(const char *key, bool (QJsonValue::*is)() const, const QString &notIt);

    QJsonObject m_o;
    QString m_where;
    QString m_error;
};
