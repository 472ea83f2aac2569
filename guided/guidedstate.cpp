#include "guided/guidedstate.h"

#include "devicedata/jsonfields.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

namespace {

const char *const calcKeys[] = {"not-run", "written", "refused", "write-failed", "restored"};
const char *const sensorKeys[] = {"capacitive", "single-gauge", "two-gauge"};
const char *const phaseKeys[] = {"ready", "set-temperature", "set-pressure", "capturing", "calculating",
                                 "confirm-fit", "set-verify-temperature", "set-verify-pressure", "verifying",
                                 "done", "aborted", "write-review"};

QJsonArray floats(const float *v, int n)
{
    QJsonArray a;
    for (int i = 0; i < n; ++i)
        a.append(double(v[i]));
    return a;
}

void floats(JsonFields &f, const char *key, float *out, int n)
{
    const QVector<double> v = f.numbers(key, n, n, -FLT_MAX, FLT_MAX);
    for (int i = 0; i < v.size(); ++i)
        out[i] = float(v[i]);
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

CalibrationCoefficients coefficients(JsonFields &outer, const char *key)
{
    JsonFields f(outer.object(key), QLatin1String(key));
    CalibrationCoefficients k;
    if (!outer.ok())
        return k;
    float head[5] = {0, 0, 0, 0, 0};
    floats(f, "head", head, 5);
    k.Pmax = head[0];
    k.Uk1h = head[1];
    k.Uk2h = head[2];
    k.U10 = head[3];
    k.U20 = head[4];
    floats(f, "var1", k.var1.data(), 6);
    floats(f, "var2", k.var2.data(), 6);
    floats(f, "var4", k.var4.data(), 6);
    floats(f, "a", k.a.data(), 3);
    floats(f, "b", k.b.data(), 3);
    floats(f, "c", k.c.data(), 3);
    k.c43 = float(f.number("c43", -FLT_MAX, FLT_MAX));
    k.polynomial = f.boolean("polynomial");
    outer.fail(f.error());
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

// The lines of a point on their way to the point files; which files they
// may go to is checked against the plan (GuidedValidate).
QVector<GuidedPendingLine> lines(JsonFields &outer, const char *key)
{
    QVector<GuidedPendingLine> out;
    const QJsonArray a = outer.array(key, 0, 16);
    for (int i = 0; i < a.size() && outer.ok(); ++i) {
        JsonFields f(a.at(i), QStringLiteral("%1, строка %2").arg(QLatin1String(key)).arg(i + 1));
        GuidedPendingLine p;
        p.device = f.integer("device", 0, 15);
        p.file = f.string("file");
        p.sizeBefore = qint64(f.number("sizeBefore", 0, 1e15));
        if (f.ok() && p.sizeBefore != f.number("sizeBefore"))
            f.failField(QStringLiteral("sizeBefore"), QStringLiteral("не целое число"));
        const QString line = f.string("line");
        p.line = QByteArray::fromBase64(line.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (f.ok() && (p.line.isEmpty() || p.line.toBase64() != line.toLatin1()))
            f.failField(QStringLiteral("line"), QStringLiteral("не строка точки в base64"));
        else if (f.ok() && (!p.line.endsWith('\n') || p.line.count('\n') != 1))
            f.failField(QStringLiteral("line"), QStringLiteral("не одна строка точки"));
        outer.fail(f.error());
        out.append(p);
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

bool GuidedDeviceResult::fromJson(const QJsonObject &o, int index, GuidedDeviceResult *out, QString *why)
{
    JsonFields f(o, QStringLiteral("устройство %1").arg(index + 1));
    GuidedDeviceResult d;
    d.batchId = f.string("batchId");
    d.address = f.integer("address", 0, 15);
    d.haveSerial = f.has("serial");
    d.serial = d.haveSerial ? f.unsigned32("serial") : 0;
    d.model = f.string("model");
    d.sensor = SensorModel(f.key("sensor", sensorKeys));
    const QVector<double> range = f.numbers("range", 3, 3, -FLT_MAX, FLT_MAX);
    if (f.ok()) {
        d.pnPa = float(range[0]);
        d.pvPa = float(range[1]);
        d.pmaxPa = float(range[2]);
    }
    d.leftOut = f.string("leftOut");
    const QJsonArray pts = f.array("points", 3, 3);
    for (int i = 0; i < pts.size(); ++i) {
        const double n = pts.at(i).toDouble(-1);
        if (!pts.at(i).isDouble() || n < 0 || n > 1000000 || n != std::floor(n))
            f.fail(QStringLiteral("поле «points», элемент %1: не число строк").arg(i + 1));
        else
            d.points[size_t(i)] = int(n);
    }
    d.calc = Calc(f.key("calc", calcKeys));
    d.calcNote = f.string("calcNote");
    d.written = coefficients(f, "written");
    // A residual that was not a number was kept as null.
    const QJsonArray fit = f.array("fit", 3, 3);
    for (int i = 0; i < fit.size(); ++i) {
        const QJsonValue v = fit.at(i);
        if (v.isNull())
            d.fitWorstPercent[size_t(i)] = std::numeric_limits<double>::infinity();
        else if (v.isDouble() && std::isfinite(v.toDouble()))
            d.fitWorstPercent[size_t(i)] = v.toDouble();
        else
            f.fail(QStringLiteral("поле «fit», элемент %1: не число").arg(i + 1));
    }
    d.classPercent = f.number("class");
    if (f.ok() && !(d.classPercent > 0))
        f.failField(QStringLiteral("class"), QStringLiteral("= %1: класс должен быть больше нуля").arg(d.classPercent));
    const QJsonArray rows = f.array("verify", 0, 10000);
    for (int n = 0; n < rows.size() && f.ok(); ++n) {
        const QJsonArray a = rows.at(n).toArray();
        double x[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
        bool good = rows.at(n).isArray() && a.size() == 9;
        for (int i = 0; good && i < 9; ++i) {
            if (i == 1 || i == 3)
                good = a.at(i).isBool();
            else if (a.at(i).isDouble() && std::isfinite(a.at(i).toDouble()))
                x[i] = a.at(i).toDouble();
            else
                good = a.at(i).isNull();   // a reading that was not a number
            if (good && a.at(i).isNull())
                x[i] = std::nan("");
        }
        if (!good) {
            f.fail(QStringLiteral("поле «verify», строка %1: не строка поверки").arg(n + 1));
            break;
        }
        GuidedVerifyRow r;
        r.percent = x[0];
        r.falling = a.at(1).toBool();
        r.referenceKPa = x[2];
        r.answered = a.at(3).toBool();
        r.readKPa = x[4];
        r.currentMa = x[5];
        r.expectedMa = x[6];
        r.pressureError = x[7];
        r.currentError = x[8];
        d.verify.append(r);
    }
    d.verified = f.boolean("verified");
    // A state from before the write's progress or the bench notes were kept
    // has none of these fields.
    JsonFields blocks(o, QStringLiteral("блоки записи"));
    d.blocksWritten = blocks.integerOr("blocksWritten", 0, MaxBlocks, 0);
    d.blocksTotal = blocks.integerOr("blocksTotal", 0, MaxBlocks, 0);
    if (blocks.ok() && d.blocksWritten > d.blocksTotal)
        blocks.fail(QStringLiteral("%1 из %2").arg(d.blocksWritten).arg(d.blocksTotal));
    f.fail(blocks.error());
    d.priorKept = f.has("priorKept") && f.boolean("priorKept");
    if (f.has("benchNotes")) {
        const QJsonArray notes = f.array("benchNotes", 0, 10000);
        for (int i = 0; i < notes.size() && f.ok(); ++i) {
            if (notes.at(i).isString())
                d.benchNotes << notes.at(i).toString();
            else
                f.fail(QStringLiteral("поле «benchNotes», элемент %1: не текст").arg(i + 1));
        }
    }
    if (!f.ok()) {
        if (why)
            *why = f.error();
        return false;
    }
    d.judge();
    *out = d;
    return true;
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
    auto fail = [why](const QString &w) {
        if (why)
            *why = w;
        return false;
    };
    JsonFields f(o);
    if (f.integer("format", 0, 1000000) != FormatVersion)
        return fail(f.ok() ? QStringLiteral("состояние записано другой версией программы") : f.error());
    GuidedCursor c;
    c.phase = GuidedPhase(f.key("phase", phaseKeys));
    if (!f.ok())
        return fail(f.has("phase") && o.value(QStringLiteral("phase")).isString()
                        ? QStringLiteral("неизвестный шаг прогона «%1»").arg(o.value(QStringLiteral("phase")).toString().left(40))
                        : f.error());
    c.batchId = f.string("batchId");
    c.started = QDateTime::fromString(f.string("started"), Qt::ISODate);
    if (f.ok() && !c.started.isValid())
        f.failField(QStringLiteral("started"), QStringLiteral("не дата и время"));
    // Indices are checked against the plan once both are read (GuidedValidate).
    c.temperature = f.integer("temperature", INT_MIN, INT_MAX);
    c.point = f.integer("point", INT_MIN, INT_MAX);
    c.calcDevice = f.integer("calcDevice", INT_MIN, INT_MAX);
    c.verifyStep = f.integer("verifyStep", INT_MIN, INT_MAX);
    c.referenceKPa = f.number("referenceKPa");
    c.abortReason = f.string("abortReason");
    c.pending = lines(f, "pending");
    c.lastWritten = lines(f, "lastWritten");
    c.lastTemperature = f.integer("lastTemperature", INT_MIN, INT_MAX);
    c.lastPoint = f.integer("lastPoint", INT_MIN, INT_MAX);
    const QJsonArray devices = f.array("devices", 0, 16);
    for (int i = 0; i < devices.size() && f.ok(); ++i) {
        GuidedDeviceResult d;
        QString problem;
        if (!devices.at(i).isObject())
            f.fail(QStringLiteral("устройство %1: не объект").arg(i + 1));
        else if (!GuidedDeviceResult::fromJson(devices.at(i).toObject(), i, &d, &problem))
            f.fail(problem);
        c.devices.append(d);
    }
    c.retryWrites = f.has("retryWrites") ? f.boolean("retryWrites") : false;
    c.operatorName = f.has("operator") ? f.string("operator") : QString();
    if (!f.ok())
        return fail(f.error());
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
