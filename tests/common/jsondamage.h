#pragma once
// One-field damages of a JSON document, for the tests of readers that take
// back files the program wrote: every value in the document, one at a time,
// dropped, given another type, set to -1, to a huge number, to what a NaN
// is written as, to a wrong string, or (an array) given one element more.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <optional>

namespace jsondamage {

// Where a value sits: object keys (QString) and array indices (int).
using Path = QVector<QVariant>;

inline void collect(const QJsonValue &v, Path &path, QVector<Path> &out)
{
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            path.append(it.key());
            out.append(path);
            collect(it.value(), path, out);
            path.removeLast();
        }
    } else if (v.isArray()) {
        const QJsonArray a = v.toArray();
        for (int i = 0; i < a.size(); ++i) {
            path.append(i);
            out.append(path);
            collect(a.at(i), path, out);
            path.removeLast();
        }
    }
}

// Every value below the root, parents before their children.
inline QVector<Path> nodes(const QJsonValue &root)
{
    QVector<Path> out;
    Path path;
    collect(root, path, out);
    return out;
}

inline QJsonValue at(const QJsonValue &root, const Path &p)
{
    QJsonValue v = root;
    for (const QVariant &step : p)
        v = step.type() == QVariant::String ? v.toObject().value(step.toString()) : v.toArray().at(step.toInt());
    return v;
}

// The root with the value at p[depth..] replaced by v (Undefined: removed).
inline QJsonValue with(const QJsonValue &root, const Path &p, const QJsonValue &v, int depth = 0)
{
    const QVariant &step = p[depth];
    const bool last = depth == p.size() - 1;
    if (step.type() == QVariant::String) {
        QJsonObject o = root.toObject();
        const QString key = step.toString();
        const QJsonValue inner = last ? v : with(o.value(key), p, v, depth + 1);
        if (inner.isUndefined())
            o.remove(key);
        else
            o[key] = inner;
        return o;
    }
    QJsonArray a = root.toArray();
    const int i = step.toInt();
    const QJsonValue inner = last ? v : with(a.at(i), p, v, depth + 1);
    if (inner.isUndefined())
        a.removeAt(i);
    else
        a[i] = inner;
    return a;
}

inline QString text(const Path &p)
{
    QString s;
    for (const QVariant &step : p)
        s += step.type() == QVariant::String ? QLatin1Char('.') + step.toString()
                                             : QStringLiteral("[%1]").arg(step.toInt());
    return s;
}

inline QStringList kinds()
{
    return {QStringLiteral("dropped"), QStringLiteral("wrong type"), QStringLiteral("-1"), QStringLiteral("huge"),
            QStringLiteral("NaN"), QStringLiteral("wrong string"), QStringLiteral("extra element")};
}

// What a damage of this kind puts in place of old; Undefined drops it,
// nothing: the kind does not apply to this value.
inline std::optional<QJsonValue> damage(const QString &kind, const QJsonValue &old)
{
    if (kind == QLatin1String("dropped"))
        return QJsonValue(QJsonValue::Undefined);
    if (kind == QLatin1String("wrong type")) {
        switch (old.type()) {
        case QJsonValue::String: return QJsonValue(7);
        case QJsonValue::Double: return QJsonValue(QStringLiteral("7"));
        case QJsonValue::Bool: return QJsonValue(1);
        case QJsonValue::Array: return QJsonValue(QJsonObject());
        case QJsonValue::Object: return QJsonValue(QJsonArray());
        default: return QJsonValue(true);
        }
    }
    if (kind == QLatin1String("-1"))
        return QJsonValue(-1);
    if (kind == QLatin1String("huge"))
        return QJsonValue(1e300);
    if (kind == QLatin1String("NaN"))   // what a NaN or infinity is written as
        return QJsonValue(QJsonValue::Null);
    if (kind == QLatin1String("wrong string"))
        return QJsonValue(QStringLiteral("../не то"));
    if (kind == QLatin1String("extra element") && old.isArray()) {
        QJsonArray a = old.toArray();
        a.append(a.isEmpty() ? QJsonValue(0) : a.last());
        return QJsonValue(a);
    }
    return std::nullopt;
}

} // namespace jsondamage
