#include "history/historyqueue.h"

#include "devicedata/safesave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <limits>

namespace {

// JSON has no infinity: a number with no value is null, as in the database.
QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

double numberFrom(const QJsonValue &v)
{
    return v.isDouble() ? v.toDouble() : std::numeric_limits<double>::infinity();
}

QJsonArray valuesJson(const QVector<HistoryValue> &values)
{
    QJsonArray a;
    for (const HistoryValue &v : values)
        a.append(QJsonObject{{QStringLiteral("n"), v.name}, {QStringLiteral("v"), number(v.value)}});
    return a;
}

QVector<HistoryValue> valuesFrom(const QJsonValue &j)
{
    QVector<HistoryValue> out;
    for (const QJsonValue &v : j.toArray())
        out.append({v[QStringLiteral("n")].toString(), numberFrom(v[QStringLiteral("v")])});
    return out;
}

QJsonArray filesJson(const QVector<HistoryFile> &files)
{
    QJsonArray a;
    for (const HistoryFile &f : files) {
        QJsonObject o{{QStringLiteral("role"), f.role},
                      {QStringLiteral("path"), QString::fromLatin1(f.path.toBase64())},
                      {QStringLiteral("sha256"), f.sha256}};
        // The content read when the event was made goes with it: the file
        // may be overwritten before the database takes the event.
        if (f.kept)
            o[QStringLiteral("content")] = QString::fromLatin1(f.content.toBase64());
        a.append(o);
    }
    return a;
}

QVector<HistoryFile> filesFrom(const QJsonValue &j)
{
    QVector<HistoryFile> out;
    for (const QJsonValue &v : j.toArray()) {
        HistoryFile f{v[QStringLiteral("role")].toString(),
                      QByteArray::fromBase64(v[QStringLiteral("path")].toString().toLatin1()),
                      v[QStringLiteral("sha256")].toString()};
        const QJsonValue content = v[QStringLiteral("content")];
        f.kept = content.isString();
        f.content = QByteArray::fromBase64(content.toString().toLatin1());
        out.append(f);
    }
    return out;
}

QJsonArray stringsJson(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList stringsFrom(const QJsonValue &j)
{
    QStringList out;
    for (const QJsonValue &v : j.toArray())
        out << v.toString();
    return out;
}

} // namespace

QJsonObject HistoryJson::toJson(const HistoryRecord &r)
{
    const HistoryContext &c = r.context();
    QJsonObject o{{QStringLiteral("uid"), r.uid},
                  {QStringLiteral("kind"), historyKindKey(r.kind)},
                  {QStringLiteral("source"), r.sourceKey},
                  {QStringLiteral("when"), c.when.toUTC().toString(Qt::ISODateWithMs)},
                  {QStringLiteral("profile"), c.profile},
                  {QStringLiteral("port"), c.port},
                  {QStringLiteral("operator"), c.operatorName},
                  {QStringLiteral("batch"), c.batch},
                  {QStringLiteral("serial"), r.device().serial},
                  {QStringLiteral("model"), r.device().model}};
    switch (r.kind) {
    case HistoryRecord::Calculation: {
        const CalculationEvent &k = r.calculation;
        o[QStringLiteral("sensorType")] = k.sensorType;
        o[QStringLiteral("pmax")] = number(k.pmaxPa);
        o[QStringLiteral("fitModel")] = k.fitModel;
        o[QStringLiteral("coefficients")] = valuesJson(k.coefficients);
        o[QStringLiteral("fit")] = QJsonArray{number(k.fitPercent[0]), number(k.fitPercent[1]), number(k.fitPercent[2])};
        o[QStringLiteral("worst")] = number(k.worstPercent);
        o[QStringLiteral("worstPoint")] = k.worstPoint;
        o[QStringLiteral("zero")] = number(k.zero);
        o[QStringLiteral("files")] = filesJson(k.files);
        o[QStringLiteral("withinTarget")] = k.withinTarget;
        break;
    }
    case HistoryRecord::Write: {
        const WriteEvent &w = r.write;
        o[QStringLiteral("what")] = w.what;
        o[QStringLiteral("address")] = w.address;
        o[QStringLiteral("blocks")] = stringsJson(w.blocks);
        o[QStringLiteral("refused")] = stringsJson(w.refusedBlocks);
        o[QStringLiteral("blockCount")] = w.blockCount;
        o[QStringLiteral("writtenCount")] = w.writtenCount;
        o[QStringLiteral("values")] = valuesJson(w.values);
        o[QStringLiteral("outcome")] = w.outcome;
        break;
    }
    case HistoryRecord::Verification: {
        const VerificationEvent &v = r.verification;
        o[QStringLiteral("table")] = v.table;
        o[QStringLiteral("class")] = v.accuracyClass;
        o[QStringLiteral("passed")] = v.passed;
        o[QStringLiteral("details")] = v.details;
        o[QStringLiteral("files")] = filesJson(v.files);
        break;
    }
    }
    return o;
}

bool HistoryJson::fromJson(const QJsonObject &o, HistoryRecord *out)
{
    HistoryRecord r;
    r.uid = o[QStringLiteral("uid")].toString();
    if (r.uid.isEmpty() || !historyKindFromKey(o[QStringLiteral("kind")].toString(), &r.kind))
        return false;
    r.sourceKey = o[QStringLiteral("source")].toString();
    HistoryContext &c = r.context();
    c.when = QDateTime::fromString(o[QStringLiteral("when")].toString(), Qt::ISODateWithMs).toUTC();
    if (!c.when.isValid())
        return false;
    c.profile = o[QStringLiteral("profile")].toString();
    c.port = o[QStringLiteral("port")].toString();
    c.operatorName = o[QStringLiteral("operator")].toString();
    c.batch = o[QStringLiteral("batch")].toString();
    r.device().serial = o[QStringLiteral("serial")].toString();
    r.device().model = o[QStringLiteral("model")].toString();
    switch (r.kind) {
    case HistoryRecord::Calculation: {
        CalculationEvent &k = r.calculation;
        k.sensorType = o[QStringLiteral("sensorType")].toString();
        k.pmaxPa = numberFrom(o[QStringLiteral("pmax")]);
        k.fitModel = o[QStringLiteral("fitModel")].toString();
        k.coefficients = valuesFrom(o[QStringLiteral("coefficients")]);
        const QJsonArray fit = o[QStringLiteral("fit")].toArray();
        for (int i = 0; i < 3; ++i)
            k.fitPercent[size_t(i)] = numberFrom(fit.at(i));
        k.worstPercent = numberFrom(o[QStringLiteral("worst")]);
        k.worstPoint = o[QStringLiteral("worstPoint")].toString();
        k.zero = numberFrom(o[QStringLiteral("zero")]);
        k.files = filesFrom(o[QStringLiteral("files")]);
        k.withinTarget = o[QStringLiteral("withinTarget")].toBool();
        break;
    }
    case HistoryRecord::Write: {
        WriteEvent &w = r.write;
        w.what = o[QStringLiteral("what")].toString();
        w.address = o[QStringLiteral("address")].toInt(-1);
        w.blocks = stringsFrom(o[QStringLiteral("blocks")]);
        w.refusedBlocks = stringsFrom(o[QStringLiteral("refused")]);
        w.blockCount = o[QStringLiteral("blockCount")].toInt();
        w.writtenCount = o[QStringLiteral("writtenCount")].toInt();
        w.values = valuesFrom(o[QStringLiteral("values")]);
        w.outcome = o[QStringLiteral("outcome")].toString();
        break;
    }
    case HistoryRecord::Verification: {
        VerificationEvent &v = r.verification;
        v.table = o[QStringLiteral("table")].toString();
        v.accuracyClass = o[QStringLiteral("class")].toString();
        v.passed = o[QStringLiteral("passed")].toBool();
        v.details = o[QStringLiteral("details")].toString();
        v.files = filesFrom(o[QStringLiteral("files")]);
        break;
    }
    }
    *out = r;
    return true;
}

bool HistoryQueue::append(const HistoryRecord &record, QString *error)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile f(m_path);
    const QByteArray line = QJsonDocument(HistoryJson::toJson(record)).toJson(QJsonDocument::Compact) + '\n';
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || f.write(line) != line.size() || !f.flush()) {
        if (error)
            *error = QStringLiteral("очередь истории %1 не записана: %2")
                         .arg(QDir::toNativeSeparators(m_path), f.errorString());
        return false;
    }
    return true;
}

QVector<HistoryRecord> HistoryQueue::readAll(int *unreadable) const
{
    QVector<HistoryRecord> out;
    int bad = 0;
    QFile f(m_path);
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.trimmed().isEmpty())
                continue;
            HistoryRecord r;
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (doc.isObject() && HistoryJson::fromJson(doc.object(), &r))
                out.append(r);
            else
                ++bad;
        }
    }
    if (unreadable)
        *unreadable = bad;
    return out;
}

int HistoryQueue::count() const
{
    return readAll().size();
}

bool HistoryQueue::replace(const QVector<HistoryRecord> &left, QString *error)
{
    // Lines no one can read are not thrown away with the rest.
    QFile f(m_path);
    if (f.open(QIODevice::ReadOnly)) {
        QByteArray bad;
        for (const QByteArray &line : f.readAll().split('\n')) {
            HistoryRecord r;
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (!line.trimmed().isEmpty() && !(doc.isObject() && HistoryJson::fromJson(doc.object(), &r)))
                bad += line + '\n';
        }
        f.close();
        if (!bad.isEmpty()) {
            QFile aside(m_path + QStringLiteral(".bad"));
            if (aside.open(QIODevice::WriteOnly | QIODevice::Append))
                aside.write(bad);
        }
    }
    if (left.isEmpty()) {
        if (QFile::exists(m_path) && !QFile::remove(m_path)) {
            if (error)
                *error = QStringLiteral("очередь истории %1 не очищена").arg(QDir::toNativeSeparators(m_path));
            return false;
        }
        return true;
    }
    QByteArray text;
    for (const HistoryRecord &r : left)
        text += QJsonDocument(HistoryJson::toJson(r)).toJson(QJsonDocument::Compact) + '\n';
    const SafeSave::Result saved = SafeSave::write(m_path, text, false);
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}

bool HistoryQueue::setAside(const HistoryRecord &record, const QString &reason, QString *error)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile f(setAsidePath());
    const QJsonObject o{{QStringLiteral("reason"), reason},
                        {QStringLiteral("at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                        {QStringLiteral("record"), HistoryJson::toJson(record)}};
    const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || f.write(line) != line.size() || !f.flush()) {
        if (error)
            *error = QStringLiteral("файл отложенных событий истории %1 не записан: %2")
                         .arg(QDir::toNativeSeparators(setAsidePath()), f.errorString());
        return false;
    }
    return true;
}
