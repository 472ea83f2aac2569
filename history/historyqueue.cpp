#include "history/historyqueue.h"

#include "devicedata/jsonfields.h"
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

// A number as number() wrote it: null for one with no finite value.
double numberFrom(JsonFields &f, const QJsonValue &v, const QString &what)
{
    if (v.isNull())
        return std::numeric_limits<double>::infinity();
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        f.fail(QStringLiteral("%1: не число").arg(what));
    return v.toDouble();
}

QJsonArray valuesJson(const QVector<HistoryValue> &values)
{
    QJsonArray a;
    for (const HistoryValue &v : values)
        a.append(QJsonObject{{QStringLiteral("n"), v.name}, {QStringLiteral("v"), number(v.value)}});
    return a;
}

QVector<HistoryValue> valuesFrom(JsonFields &f, const char *key)
{
    QVector<HistoryValue> out;
    const QJsonArray a = f.array(key, 0, 1000);
    for (int i = 0; i < a.size() && f.ok(); ++i) {
        JsonFields v(a.at(i), QStringLiteral("поле «%1», элемент %2").arg(QLatin1String(key)).arg(i + 1));
        const QString name = v.string("n");
        const double value = v.numberOrInfinity("v");
        f.fail(v.error());
        out.append({name, value});
    }
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

// Bytes kept as base64 text: anything else is no such bytes.
QByteArray base64From(JsonFields &j, const char *key, const QString &notIt)
{
    const QByteArray text = j.string(key).toLatin1();
    const QByteArray bytes = QByteArray::fromBase64(text, QByteArray::AbortOnBase64DecodingErrors);
    if (j.ok() && bytes.toBase64() != text)
        j.failField(QLatin1String(key), notIt);
    return bytes;
}

QVector<HistoryFile> filesFrom(JsonFields &f, const char *key)
{
    QVector<HistoryFile> out;
    const QJsonArray a = f.array(key, 0, 1000);
    for (int i = 0; i < a.size() && f.ok(); ++i) {
        JsonFields j(a.at(i), QStringLiteral("поле «%1», элемент %2").arg(QLatin1String(key)).arg(i + 1));
        HistoryFile file;
        file.role = j.string("role");
        file.path = base64From(j, "path", QStringLiteral("не путь в base64"));
        file.sha256 = j.string("sha256");
        file.kept = j.has("content");
        if (file.kept)
            file.content = base64From(j, "content", QStringLiteral("не содержимое в base64"));
        f.fail(j.error());
        out.append(file);
    }
    return out;
}

QJsonArray stringsJson(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList stringsFrom(JsonFields &f, const char *key)
{
    QStringList out;
    const QJsonArray a = f.array(key, 0, 1000);
    for (int i = 0; i < a.size(); ++i) {
        if (!a.at(i).isString())
            f.fail(QStringLiteral("поле «%1», элемент %2: не строка").arg(QLatin1String(key)).arg(i + 1));
        out << a.at(i).toString();
    }
    return out;
}

// One line of the queue as a record; false with why when it is none.
bool recordFrom(const QByteArray &line, HistoryRecord *r, QString *why)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &pe);
    if (pe.error != QJsonParseError::NoError)
        *why = pe.errorString();
    else if (!doc.isObject())
        *why = QStringLiteral("не объект");
    else
        return HistoryJson::fromJson(doc.object(), r, why);
    return false;
}

// Appends a line to the queue or a file beside it; failText takes the
// file (%1) and the reason (%2).
bool appendLine(const QString &path, const QByteArray &line, const QString &failText, QString *error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append) && f.write(line) == line.size() && f.flush())
        return true;
    if (error)
        *error = failText.arg(QDir::toNativeSeparators(path), f.errorString());
    return false;
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

bool HistoryJson::fromJson(const QJsonObject &o, HistoryRecord *out, QString *why)
{
    JsonFields f(o);
    HistoryRecord r;
    r.uid = f.string("uid");
    if (f.ok() && r.uid.trimmed().isEmpty())
        f.failField(QStringLiteral("uid"), QStringLiteral("пусто"));
    if (f.ok() && !historyKindFromKey(f.string("kind"), &r.kind))
        f.failField(QStringLiteral("kind"), QStringLiteral("= «%1»: неизвестный вид события").arg(f.string("kind").left(40)));
    r.sourceKey = f.string("source");
    HistoryContext &c = r.context();
    c.when = QDateTime::fromString(f.string("when"), Qt::ISODateWithMs).toUTC();
    if (f.ok() && !c.when.isValid())
        f.failField(QStringLiteral("when"), QStringLiteral("не дата и время"));
    c.profile = f.string("profile");
    c.port = f.string("port");
    c.operatorName = f.string("operator");
    c.batch = f.string("batch");
    r.device().serial = f.string("serial");
    r.device().model = f.string("model");
    if (!f.ok()) {
        // The kind decides which part holds the event: nothing more to read.
    } else if (r.kind == HistoryRecord::Calculation) {
        CalculationEvent &k = r.calculation;
        k.sensorType = f.string("sensorType");
        k.pmaxPa = f.numberOrInfinity("pmax");
        k.fitModel = f.string("fitModel");
        k.coefficients = valuesFrom(f, "coefficients");
        const QJsonArray fit = f.array("fit", 3, 3);
        for (int i = 0; i < fit.size(); ++i)
            k.fitPercent[size_t(i)] = numberFrom(f, fit.at(i), QStringLiteral("поле «fit», элемент %1").arg(i + 1));
        k.worstPercent = f.numberOrInfinity("worst");
        k.worstPoint = f.string("worstPoint");
        k.zero = f.numberOrInfinity("zero");
        k.files = filesFrom(f, "files");
        k.withinTarget = f.boolean("withinTarget");
    } else if (r.kind == HistoryRecord::Write) {
        WriteEvent &w = r.write;
        w.what = f.string("what");
        w.address = f.integerOr("address", -1, 255, -1);
        w.blocks = stringsFrom(f, "blocks");
        w.refusedBlocks = stringsFrom(f, "refused");
        w.blockCount = f.integer("blockCount", 0, 100000);
        w.writtenCount = f.integer("writtenCount", 0, 100000);
        w.values = valuesFrom(f, "values");
        w.outcome = f.string("outcome");
    } else {
        VerificationEvent &v = r.verification;
        v.table = f.string("table");
        v.accuracyClass = f.string("class");
        v.passed = f.boolean("passed");
        v.details = f.string("details");
        v.files = filesFrom(f, "files");
    }
    if (!f.ok()) {
        if (why)
            *why = f.error();
        return false;
    }
    *out = r;
    return true;
}

bool HistoryQueue::append(const HistoryRecord &record, QString *error)
{
    return appendLine(m_path, QJsonDocument(HistoryJson::toJson(record)).toJson(QJsonDocument::Compact) + '\n',
                      QStringLiteral("очередь истории %1 не записана: %2"), error);
}

QVector<HistoryRecord> HistoryQueue::readAll(int *unreadable, QStringList *reasons) const
{
    QVector<HistoryRecord> out;
    int bad = 0;
    QFile f(m_path);
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (int n = 0; n < lines.size(); ++n) {
            const QByteArray &line = lines[n];
            if (line.trimmed().isEmpty())
                continue;
            HistoryRecord r;
            QString why;
            if (recordFrom(line, &r, &why)) {
                out.append(r);
                continue;
            }
            ++bad;
            if (reasons)
                *reasons << QStringLiteral("очередь истории %1, строка %2: %3")
                                .arg(QDir::toNativeSeparators(m_path)).arg(n + 1).arg(why);
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
            QString why;
            if (!line.trimmed().isEmpty() && !recordFrom(line, &r, &why))
                bad += line + '\n';
        }
        f.close();
        if (!bad.isEmpty())
            appendLine(m_path + QStringLiteral(".bad"), bad, QString(), nullptr);
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
    const QJsonObject o{{QStringLiteral("reason"), reason},
                        {QStringLiteral("at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                        {QStringLiteral("record"), HistoryJson::toJson(record)}};
    return appendLine(setAsidePath(), QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n',
                      QStringLiteral("файл отложенных событий истории %1 не записан: %2"), error);
}
