#include "guided/guidedvalidate.h"

#include "device/sensorrangetable.h"
#include "polling/savedirs.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The file's folder and name: what stays of a path when the run's folder
// is copied elsewhere.
QString tail(const QString &path)
{
    const QFileInfo f(QDir::fromNativeSeparators(path));
    return f.dir().dirName() + QLatin1Char('/') + f.fileName();
}

QString inRange(const char *name, int value, int low, int high)
{
    if (value >= low && value <= high)
        return QString();
    if (high < low)
        return QStringLiteral("поле «%1» = %2, а в плане нет ни одного").arg(QLatin1String(name)).arg(value);
    return QStringLiteral("поле «%1» = %2: вне %3…%4 по плану").arg(QLatin1String(name)).arg(value).arg(low).arg(high);
}

// Lines of one point: each names a device of the plan once, and that
// device's point file at the temperature; a path of the same file in a
// copied folder becomes this folder's.
QString checkLines(QVector<GuidedPendingLine> *lines, const char *name, int temperature, const GuidedPlan &plan,
                   const QString &runDir)
{
    QVector<bool> seen(plan.devices.size(), false);
    for (int i = 0; i < lines->size(); ++i) {
        GuidedPendingLine &p = (*lines)[i];
        const QString where = QStringLiteral("поле «%1», строка %2").arg(QLatin1String(name)).arg(i + 1);
        if (p.device < 0 || p.device >= plan.devices.size())
            return QStringLiteral("%1: устройство %2, а в плане их %3").arg(where).arg(p.device + 1).arg(plan.devices.size());
        if (seen[p.device])
            return QStringLiteral("%1: устройство %2 второй раз").arg(where).arg(p.device + 1);
        seen[p.device] = true;
        const QString expected = GuidedValidate::pointFile(runDir, plan, p.device, temperature);
        if (p.file != expected && tail(p.file) != tail(expected))
            return QStringLiteral("%1: файл «%2» не файл точек устройства %3 (%4)")
                .arg(where, p.file.left(200)).arg(p.device + 1).arg(tail(expected));
        p.file = expected;
    }
    return QString();
}

} // namespace

QString GuidedValidate::deviceDir(const QString &runDir, const GuidedPlan &plan, int device)
{
    if (device < 0 || device >= plan.devices.size())
        return QString();
    return SaveDirs::dirPath(QDir(runDir).absolutePath(), plan.baseName, plan.devices[device].address);
}

QString GuidedValidate::pointFile(const QString &runDir, const GuidedPlan &plan, int device, int temperature)
{
    if (temperature < 0 || temperature >= plan.temperatures.size())
        return QString();
    return deviceDir(runDir, plan, device) + QLatin1Char('/') + plan.baseName
           + CalibrationFiles::pointSuffix(plan.temperatures[temperature].slot);
}

bool GuidedValidate::fileNameOk(const QString &name)
{
    if (name.isEmpty() || name.size() > 100 || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

bool GuidedValidate::pressureUnit(int unitCode)
{
    return unitCode >= 0 && unitCode < SensorRangeTable::UnitCount
           && SensorRangeTable::quantityText(unitCode) == QStringLiteral("Давление")
           && SensorRangeTable::unitFactorFor(unitCode) > 0;
}

QString GuidedValidate::fitsPlan(GuidedCursor *c, const GuidedPlan &plan, const QString &runDir)
{
    const int devices = plan.devices.size();
    const int temps = plan.temperatures.size();
    const int points = plan.pointCount();
    const int steps = plan.verifySequence().size();
    if (c->devices.size() != devices)
        return QStringLiteral("в состоянии %1 устройств, в плане %2").arg(c->devices.size()).arg(devices);
    for (int i = 0; i < devices; ++i) {
        const GuidedDeviceResult &d = c->devices[i];
        const GuidedDevice &p = plan.devices[i];
        if (d.address != p.address || d.haveSerial != p.haveSerial || d.serial != p.serial)
            return QStringLiteral("устройство %1 в состоянии (адрес %2, зав. № %3) не то, что в плане (адрес %4, зав. № %5)")
                .arg(i + 1).arg(d.address).arg(d.haveSerial ? QString::number(d.serial) : QStringLiteral("—"))
                .arg(p.address).arg(p.serialText());
        for (int t = 0; t < 3; ++t)
            if (d.points[size_t(t)] > points)
                return QStringLiteral("устройство %1: %2 строк точек при %3 точках плана")
                    .arg(i + 1).arg(d.points[size_t(t)]).arg(points);
        if (d.verify.size() > steps)
            return QStringLiteral("устройство %1: %2 строк поверки при %3 шагах плана").arg(i + 1).arg(d.verify.size()).arg(steps);
    }
    const bool fitWaits = c->phase == GuidedPhase::ConfirmFit;
    const bool verifyWaits = c->phase == GuidedPhase::SetVerifyPressure || c->phase == GuidedPhase::Verifying;
    // The device after the last one, and the step after the last one, stand
    // in a state saved as the calculation or the verification ended.
    QString problem = inRange("temperature", c->temperature, 0, temps - 1);
    if (problem.isEmpty())
        problem = inRange("point", c->point, 0, points - 1);
    if (problem.isEmpty())
        problem = inRange("calcDevice", c->calcDevice, 0, fitWaits ? devices - 1 : devices);
    if (problem.isEmpty())
        problem = inRange("verifyStep", c->verifyStep, 0, verifyWaits ? steps - 1 : steps);
    if (problem.isEmpty())
        problem = inRange("lastTemperature", c->lastTemperature, c->lastWritten.isEmpty() ? -1 : 0, temps - 1);
    if (problem.isEmpty())
        problem = inRange("lastPoint", c->lastPoint, c->lastWritten.isEmpty() ? -1 : 0, points - 1);
    if (!problem.isEmpty())
        return problem;
    if (!c->pending.isEmpty() && c->phase != GuidedPhase::Capturing)
        return QStringLiteral("строки точки ждут записи на шаге «%1», а не при съеме точки")
            .arg(GuidedCursor::phaseKey(c->phase));
    problem = checkLines(&c->pending, "pending", c->temperature, plan, runDir);
    if (problem.isEmpty())
        problem = checkLines(&c->lastWritten, "lastWritten", c->lastTemperature, plan, runDir);
    return problem;
}

bool GuidedValidate::readRun(const QString &runDir, GuidedPlan *plan, GuidedCursor *cursor, QString *why)
{
    const auto damaged = [why](const QString &path, const QString &reason) {
        if (why)
            *why = QStringLiteral("файл %1 поврежден: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    };
    const QString planPath = GuidedFiles::planFile(runDir);
    const QString statePath = GuidedFiles::stateFile(runDir);
    QJsonObject o;
    QString problem;
    GuidedPlan p;
    if (!GuidedFiles::loadJson(planPath, &o, why))
        return false;
    if (!GuidedPlan::fromJson(o, &p, &problem))
        return damaged(planPath, problem);
    if (!GuidedFiles::loadJson(statePath, &o, why))
        return false;
    GuidedCursor c;
    if (!GuidedCursor::fromJson(o, &c, &problem))
        return damaged(statePath, problem);
    // Which of the two is damaged cannot be told: both are named.
    problem = fitsPlan(&c, p, runDir);
    if (!problem.isEmpty()) {
        if (why)
            *why = QStringLiteral("файлы %1 и %2 не совпадают: %3")
                       .arg(QDir::toNativeSeparators(statePath), QDir::toNativeSeparators(planPath), problem);
        return false;
    }
    *plan = p;
    *cursor = c;
    return true;
}
