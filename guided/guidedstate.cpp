#include "guided/guidedstate.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <cmath>

namespace {

const char *const calcKeys[] = {"not-run", "written", "refused", "write-failed", "restored"};
const char *const sensorKeys[] = {"capacitive", "single-gauge", "two-gauge"};
const char *const phaseKeys[] = {"ready", "set-temperature", "set-pressure", "capturing", "calculating",
                                 "confirm-fit", "set-verify-temperature", "set-verify-pressure", "verifying",
                                 "done", "aborted", "write-review"};

template <size_t N>
int indexOf(const char *const (&keys)[N], const QString &s, int fallback)
{
    for (size_t i = 0; i < N; ++i)
        if (s == QLatin1String(keys[i]))
            return int(i);
    return fallback;
}

QJsonArray floats(const float *v, int n)
{
    QJsonArray a;
    for (int i = 0; i < n; ++i)
        a.append(double(v[i]));
    return a;
}

void floats(const QJsonValue &v, float *out, int n)
{
    const QJsonArray a = v.toArray();
    for (int i = 0; i < n && i < a.size(); ++i)
        out[i] = float(a.at(i).toDouble());
}

QJsonObject coefficients(const CalibrationCoefficients &k)
{
    QJsonObject o;
    const float head[5] = {k.Pmax, k.Uk1h, k.Uk2h, k.U10, k.U20};
    o[QStringLiteral("head")] = floats(head, 5);
    o[QStringLiteral("var1")] = floats(k.var1.data(), 6);
    o[QStringLiteral("var2")] = floats(k.var2.data(), 6);
    o[QStringLiteral("var4")] = floats(k.var4.data(), 6);
    o[QStringLiteral("a")] = floats(k.a.data(), 3);
    o[QStringLiteral("b")] = floats(k.b.data(), 3);
    o[QStringLiteral("c")] = floats(k.c.data(), 3);
    o[QStringLiteral("c43")] = double(k.c43);
    o[QStringLiteral("polynomial")] = k.polynomial;
    return o;
}

CalibrationCoefficients coefficients(const QJsonObject &o)
{
    CalibrationCoefficients k;
    float head[5] = {0, 0, 0, 0, 0};
    floats(o.value(QStringLiteral("head")), head, 5);
    k.Pmax = head[0];
    k.Uk1h = head[1];
    k.Uk2h = head[2];
    k.U10 = head[3];
    k.U20 = head[4];
    floats(o.value(QStringLiteral("var1")), k.var1.data(), 6);
    floats(o.value(QStringLiteral("var2")), k.var2.data(), 6);
    floats(o.value(QStringLiteral("var4")), k.var4.data(), 6);
    floats(o.value(QStringLiteral("a")), k.a.data(), 3);
    floats(o.value(QStringLiteral("b")), k.b.data(), 3);
    floats(o.value(QStringLiteral("c")), k.c.data(), 3);
    k.c43 = float(o.value(QStringLiteral("c43")).toDouble());
    k.polynomial = o.value(QStringLiteral("polynomial")).toBool();
    return k;
}

QJsonArray lines(const QVector<GuidedPendingLine> &v)
{
    QJsonArray a;
    for (const GuidedPendingLine &p : v)
        a.append(QJsonObject{{QStringLiteral("device"), p.device},
                             {QStringLiteral("file"), p.file},
                             {QStringLiteral("sizeBefore"), double(p.sizeBefore)},
                             {QStringLiteral("line"), QString::fromLatin1(p.line.toBase64())}});
    return a;
}

QVector<GuidedPendingLine> lines(const QJsonValue &v)
{
    QVector<GuidedPendingLine> out;
    for (const QJsonValue &x : v.toArray()) {
        const QJsonObject p = x.toObject();
        out.append({p.value(QStringLiteral("device")).toInt(), p.value(QStringLiteral("file")).toString(),
                    qint64(p.value(QStringLiteral("sizeBefore")).toDouble()),
                    QByteArray::fromBase64(p.value(QStringLiteral("line")).toString().toLatin1())});
    }
    return out;
}

} // namespace

void GuidedDeviceResult::setWritten(const CalibrationCoefficients &k) { written = k; }

void GuidedDeviceResult::judge()
{
    worstPressureError = worstCurrentError = hysteresis = 0;
    QStringList why;
    if (!active())
        why << leftOut;
    for (const GuidedVerifyRow &r : verify) {
        if (!r.answered) {
            why << QStringLiteral("нет ответа в точке %1 %").arg(r.percent);
            continue;
        }
        worstPressureError = std::max(worstPressureError, std::fabs(r.pressureError));
        worstCurrentError = std::max(worstCurrentError, std::fabs(r.currentError));
        if (!r.falling)
            continue;
        for (const GuidedVerifyRow &up : verify)
            if (!up.falling && up.answered && up.percent == r.percent)
                hysteresis = std::max({hysteresis, std::fabs(r.pressureError - up.pressureError),
                                       std::fabs(r.currentError - up.currentError)});
    }
    if (active() && calc == Calc::Refused)
        why << QStringLiteral("коэффициенты не записаны: %1").arg(calcNote);
    if (active() && calc == Calc::WriteFailed)
        why << calcNote;
    if (calc == Calc::Restored)
        why << QStringLiteral("возвращены прежние коэффициенты: %1").arg(calcNote);
    if (!verified && active())
        why << QStringLiteral("поверка не проведена");
    auto beyond = [this](double v) { return !(v <= classPercent); };
    if (verified && beyond(worstPressureError))
        why << QStringLiteral("погрешность давления %1 % больше класса %2 %")
                   .arg(worstPressureError, 0, 'f', 3).arg(classPercent);
    if (verified && beyond(worstCurrentError))
        why << QStringLiteral("погрешность тока %1 % больше класса %2 %")
                   .arg(worstCurrentError, 0, 'f', 3).arg(classPercent);
    if (verified && beyond(hysteresis))
        why << QStringLiteral("вариация %1 % больше класса %2 %").arg(hysteresis, 0, 'f', 3).arg(classPercent);
    passed = why.isEmpty();
    verdict = passed ? QStringLiteral("годен") : why.join(QStringLiteral("; "));
}

QJsonObject GuidedDeviceResult::toJson() const
{
    QJsonObject o;
    o[QStringLiteral("batchId")] = batchId;
    o[QStringLiteral("address")] = address;
    if (haveSerial)
        o[QStringLiteral("serial")] = double(serial);
    o[QStringLiteral("model")] = model;
    o[QStringLiteral("sensor")] = QLatin1String(sensorKeys[int(sensor)]);
    o[QStringLiteral("range")] = QJsonArray{double(pnPa), double(pvPa), double(pmaxPa)};
    o[QStringLiteral("leftOut")] = leftOut;
    o[QStringLiteral("points")] = QJsonArray{points[0], points[1], points[2]};
    o[QStringLiteral("calc")] = QLatin1String(calcKeys[int(calc)]);
    o[QStringLiteral("calcNote")] = calcNote;
    o[QStringLiteral("written")] = coefficients(written);
    o[QStringLiteral("fit")] = QJsonArray{fitWorstPercent[0], fitWorstPercent[1], fitWorstPercent[2]};
    o[QStringLiteral("class")] = classPercent;
    QJsonArray rows;
    for (const GuidedVerifyRow &r : verify)
        rows.append(QJsonArray{r.percent, r.falling, r.referenceKPa, r.answered, r.readKPa, r.currentMa,
                               r.expectedMa, r.pressureError, r.currentError});
    o[QStringLiteral("verify")] = rows;
    o[QStringLiteral("verified")] = verified;
    o[QStringLiteral("blocksWritten")] = blocksWritten;
    o[QStringLiteral("blocksTotal")] = blocksTotal;
    o[QStringLiteral("priorKept")] = priorKept;
    if (!benchNotes.isEmpty())
        o[QStringLiteral("benchNotes")] = QJsonArray::fromStringList(benchNotes);
    return o;
}

GuidedDeviceResult GuidedDeviceResult::fromJson(const QJsonObject &o)
{
    GuidedDeviceResult d;
    d.batchId = o.value(QStringLiteral("batchId")).toString();
    d.address = o.value(QStringLiteral("address")).toInt();
    d.haveSerial = o.contains(QStringLiteral("serial"));
    d.serial = uint32_t(o.value(QStringLiteral("serial")).toDouble());
    d.model = o.value(QStringLiteral("model")).toString();
    d.sensor = SensorModel(indexOf(sensorKeys, o.value(QStringLiteral("sensor")).toString(), 2));
    const QJsonArray range = o.value(QStringLiteral("range")).toArray();
    d.pnPa = float(range.at(0).toDouble());
    d.pvPa = float(range.at(1).toDouble());
    d.pmaxPa = float(range.at(2).toDouble());
    d.leftOut = o.value(QStringLiteral("leftOut")).toString();
    const QJsonArray pts = o.value(QStringLiteral("points")).toArray();
    for (int i = 0; i < 3; ++i)
        d.points[size_t(i)] = pts.at(i).toInt();
    d.calc = Calc(indexOf(calcKeys, o.value(QStringLiteral("calc")).toString(), 0));
    d.calcNote = o.value(QStringLiteral("calcNote")).toString();
    d.written = coefficients(o.value(QStringLiteral("written")).toObject());
    const QJsonArray fit = o.value(QStringLiteral("fit")).toArray();
    for (int i = 0; i < 3; ++i)
        d.fitWorstPercent[size_t(i)] = fit.at(i).toDouble();
    d.classPercent = o.value(QStringLiteral("class")).toDouble();
    for (const QJsonValue &v : o.value(QStringLiteral("verify")).toArray()) {
        const QJsonArray a = v.toArray();
        GuidedVerifyRow r;
        r.percent = a.at(0).toDouble();
        r.falling = a.at(1).toBool();
        r.referenceKPa = a.at(2).toDouble();
        r.answered = a.at(3).toBool();
        r.readKPa = a.at(4).toDouble();
        r.currentMa = a.at(5).toDouble();
        r.expectedMa = a.at(6).toDouble();
        r.pressureError = a.at(7).toDouble();
        r.currentError = a.at(8).toDouble();
        d.verify.append(r);
    }
    d.verified = o.value(QStringLiteral("verified")).toBool();
    d.blocksWritten = o.value(QStringLiteral("blocksWritten")).toInt();
    d.blocksTotal = o.value(QStringLiteral("blocksTotal")).toInt();
    d.priorKept = o.value(QStringLiteral("priorKept")).toBool();
    for (const QJsonValue &v : o.value(QStringLiteral("benchNotes")).toArray())
        if (v.isString())
            d.benchNotes << v.toString();
    d.judge();
    return d;
}

// A state from before the write's progress was kept has none of these
// fields; one that is there must be what the run writes.
QString GuidedDeviceResult::writeProgressProblem(const QJsonObject &o)
{
    const QJsonValue written = o.value(QStringLiteral("blocksWritten"));
    const QJsonValue total = o.value(QStringLiteral("blocksTotal"));
    const QJsonValue prior = o.value(QStringLiteral("priorKept"));
    const auto count = [](const QJsonValue &v) {
        return v.isUndefined() ? 0 : v.isDouble() && v.toDouble() == std::floor(v.toDouble()) ? v.toDouble() : -1.0;
    };
    const double w = count(written), t = count(total);
    if (w < 0 || t < 0 || t > MaxBlocks || w > t)
        return QStringLiteral("блоки записи: %1 из %2").arg(written.toVariant().toString(), total.toVariant().toString());
    if (!(prior.isUndefined() || prior.isBool()))
        return QStringLiteral("поле priorKept не логическое");
    return QString();
}

QString GuidedCursor::phaseKey(GuidedPhase p) { return QLatin1String(phaseKeys[int(p)]); }

QJsonObject GuidedCursor::toJson() const
{
    QJsonObject o;
    o[QStringLiteral("format")] = FormatVersion;
    o[QStringLiteral("batchId")] = batchId;
    o[QStringLiteral("started")] = started.toString(Qt::ISODate);
    o[QStringLiteral("phase")] = phaseKey(phase);
    o[QStringLiteral("temperature")] = temperature;
    o[QStringLiteral("point")] = point;
    o[QStringLiteral("calcDevice")] = calcDevice;
    o[QStringLiteral("verifyStep")] = verifyStep;
    o[QStringLiteral("referenceKPa")] = referenceKPa;
    o[QStringLiteral("abortReason")] = abortReason;
    o[QStringLiteral("pending")] = lines(pending);
    o[QStringLiteral("lastWritten")] = lines(lastWritten);
    o[QStringLiteral("lastTemperature")] = lastTemperature;
    o[QStringLiteral("lastPoint")] = lastPoint;
    QJsonArray devs;
    for (const GuidedDeviceResult &d : devices)
        devs.append(d.toJson());
    o[QStringLiteral("devices")] = devs;
    o[QStringLiteral("retryWrites")] = retryWrites;
    o[QStringLiteral("operator")] = operatorName;
    return o;
}

bool GuidedCursor::fromJson(const QJsonObject &o, GuidedCursor *cursor, QString *why)
{
    if (o.value(QStringLiteral("format")).toInt() != FormatVersion) {
        if (why)
            *why = QStringLiteral("состояние записано другой версией программы");
        return false;
    }
    GuidedCursor c;
    c.batchId = o.value(QStringLiteral("batchId")).toString();
    c.started = QDateTime::fromString(o.value(QStringLiteral("started")).toString(), Qt::ISODate);
    const int phase = indexOf(phaseKeys, o.value(QStringLiteral("phase")).toString(), -1);
    if (phase < 0) {
        if (why)
            *why = QStringLiteral("неизвестный шаг прогона");
        return false;
    }
    c.phase = GuidedPhase(phase);
    c.temperature = o.value(QStringLiteral("temperature")).toInt();
    c.point = o.value(QStringLiteral("point")).toInt();
    c.calcDevice = o.value(QStringLiteral("calcDevice")).toInt();
    c.verifyStep = o.value(QStringLiteral("verifyStep")).toInt();
    c.referenceKPa = o.value(QStringLiteral("referenceKPa")).toDouble();
    c.abortReason = o.value(QStringLiteral("abortReason")).toString();
    c.pending = lines(o.value(QStringLiteral("pending")));
    c.lastWritten = lines(o.value(QStringLiteral("lastWritten")));
    c.lastTemperature = o.value(QStringLiteral("lastTemperature")).toInt(-1);
    c.lastPoint = o.value(QStringLiteral("lastPoint")).toInt(-1);
    for (const QJsonValue &v : o.value(QStringLiteral("devices")).toArray()) {
        const QString problem = GuidedDeviceResult::writeProgressProblem(v.toObject());
        if (!problem.isEmpty()) {
            if (why)
                *why = QStringLiteral("устройство %1: %2").arg(c.devices.size() + 1).arg(problem);
            return false;
        }
        c.devices.append(GuidedDeviceResult::fromJson(v.toObject()));
    }
    const QJsonValue retry = o.value(QStringLiteral("retryWrites"));
    const QJsonValue who = o.value(QStringLiteral("operator"));
    if (!(retry.isUndefined() || retry.isBool()) || !(who.isUndefined() || who.isString())) {
        if (why)
            *why = QStringLiteral("поле retryWrites или operator не того типа");
        return false;
    }
    c.retryWrites = retry.toBool();
    c.operatorName = who.toString();
    *cursor = c;
    return true;
}

namespace GuidedFiles {

QString planFile(const QString &runDir) { return QDir(runDir).filePath(QStringLiteral("guided_plan.json")); }
QString stateFile(const QString &runDir) { return QDir(runDir).filePath(QStringLiteral("guided_state.json")); }

bool saveJson(const QString &path, const QJsonObject &o, QString *error)
{
    QSaveFile f(path);
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(o).toJson()) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("не удалось записать %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool loadJson(const QString &path, QJsonObject *o, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("не удалось открыть %1").arg(path);
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = QStringLiteral("файл %1 поврежден: %2").arg(path, pe.errorString());
        return false;
    }
    *o = doc.object();
    return true;
}

} // namespace GuidedFiles
