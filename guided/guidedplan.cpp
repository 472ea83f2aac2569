#include "guided/guidedplan.h"

#include "calc/lsqcalibration.h"
#include "device/sensorrangetable.h"
#include "devicedata/jsonfields.h"
#include "guided/guidedvalidate.h"

#include <QJsonArray>
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>

namespace {

QJsonArray numbers(const QVector<double> &v)
{
    QJsonArray a;
    for (double x : v)
        a.append(x);
    return a;
}

QJsonArray triple(const GuidedThresholds &t) { return {t[0], t[1], t[2]}; }

const char *const sensorKeys[] = {"capacitive", "single-gauge", "two-gauge"};
const char *const chamberKeys[] = {"plus", "both", "minus"};
const char *const slotKeys[] = {"none", "mid", "min", "max"};

} // namespace

QString GuidedDevice::addressText() const
{
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0'));
}

QString GuidedDevice::modelText() const
{
    const QString name = SensorRangeTable::modelName(deviceType);
    return name.isEmpty() ? QStringLiteral("тип %1").arg(deviceType) : name;
}

double GuidedDevice::toKPa(double value) const
{
    const double factor = SensorRangeTable::unitFactorFor(unitCode);
    return factor > 0 ? value / factor : value;
}

QString GuidedDevice::serialText() const
{
    return haveSerial ? QString::number(serial) : QStringLiteral("—");
}

DeviceSensorType GuidedDevice::statedSensor() const
{
    // The block as identification read it from 0x00F4: unit, type, code.
    QByteArray block;
    for (int word : {unitCode, deviceType, sensorCode})
        block.append(char(word >> 8 & 0xff)).append(char(word & 0xff));
    return decodeDeviceSensorType(block);
}

QString GuidedDevice::rangeProblem() const
{
    if (pmaxPa > 0 && pvPa > pnPa)
        return QString();
    return QStringLiteral("диапазон прибора не задан (Pmax %1 Па, %2…%3 Па)")
        .arg(double(pmaxPa)).arg(double(pnPa)).arg(double(pvPa));
}

GuidedPlan GuidedPlan::defaults(const QVector<GuidedDevice> &devices)
{
    GuidedPlan p;
    p.devices = devices;
    p.temperatures = {{CalibrationTemperature::Low, -40},
                      {CalibrationTemperature::Middle, 23},
                      {CalibrationTemperature::High, 80}};
    p.points = {0, 25, 50, 75, 100};
    double top = 0;
    for (const GuidedDevice &d : devices)
        top = std::max(top, double(d.pmaxPa) / 1000.0);
    if (top > 0)
        p.pmaxKPa = top;
    return p;
}

GuidedPlan GuidedPlan::withSettingsOf(const GuidedPlan &earlier) const
{
    GuidedPlan p = earlier;
    p.baseName = baseName;
    p.devices = devices;
    p.pmaxKPa = pmaxKPa;   // the batch in hand is what its points are a share of
    for (GuidedDevice &d : p.devices)
        for (const GuidedDevice &old : earlier.devices)
            if (old.address == d.address)
                d.sensor = old.sensor;
    return p;
}

QString GuidedPlan::check() const
{
    if (devices.isEmpty())
        return QStringLiteral("В плане нет устройств: отметьте строки опроса с приборами");
    for (int i = 0; i < devices.size(); ++i)
        for (int j = 0; j < i; ++j)
            if (devices[i].address == devices[j].address)
                return QStringLiteral("Адрес %1 указан дважды").arg(devices[i].addressText());
    if (temperatures.size() != 3)
        return QStringLiteral("Нужны три температуры: Tmin, Tmid и Tmax");
    for (CalibrationTemperature t : {CalibrationTemperature::Low, CalibrationTemperature::Middle,
                                     CalibrationTemperature::High})
        if (std::none_of(temperatures.begin(), temperatures.end(),
                         [t](const GuidedTemperature &x) { return x.slot == t; }))
            return QStringLiteral("Температура %1 не задана").arg(temperatureName(t));
    for (const GuidedTemperature &t : temperatures)
        if (!std::isfinite(t.celsius) || t.celsius < -100 || t.celsius > 200)
            return QStringLiteral("Температура %1 °C вне камеры (−100…200 °C)").arg(t.celsius);
    if (points.size() < 2)
        return QStringLiteral("Нужны хотя бы две точки давления");
    for (int k = 0; k < points.size(); ++k)
        if (!std::isfinite(points[k]) || (k > 0 && points[k] <= points[k - 1]))
            return QStringLiteral("Точки давления должны расти: точка %1").arg(k + 1);
    if (!(pmaxKPa > 0) || !std::isfinite(pmaxKPa))
        return QStringLiteral("Pmax партии должен быть больше нуля");
    if (stableCount < 2 || stableCount > 1000)
        return QStringLiteral("Число ответов для стабильности: от 2 до 1000");
    if (averaged < 1 || averaged > 1000)
        return QStringLiteral("Число усредняемых ответов: от 1 до 1000");
    for (const GuidedThresholds *t : {&strainThresholds, &capacitiveThresholds})
        for (double x : *t)
            if (!(x >= 0) || !std::isfinite(x))
                return QStringLiteral("Порог стабильности должен быть числом не меньше нуля");
    if (!(classPercent > 0) || !std::isfinite(classPercent))
        return QStringLiteral("Класс точности должен быть больше нуля");
    if (verifyPercent.isEmpty())
        return QStringLiteral("Нужна хотя бы одна точка поверки");
    if (verifyTemperature < 0 || verifyTemperature >= temperatures.size())
        return QStringLiteral("Не выбрана температура поверки");
    if (!(plausiblePercent > 0 && plausiblePercent <= 50))
        return QStringLiteral("Допуск проверки давления: от 0 до 50 % диапазона");
    return calculationProblem();
}

QString GuidedPlan::calculationProblem() const
{
    QVector<SensorModel> seen;
    for (const GuidedDevice &d : devices) {
        const double pmax = double(d.pmaxPa) / 1000.0;
        const double top = pointKPa(points.size() - 1);
        if (pmax > 0 && top > kMaximumTopFraction * pmax * (1 + 1e-9))
            return QStringLiteral("Наибольшая точка %1 больше Pmax устройства %2 (%3): расчет для него будет "
                                  "отклонен; задайте точки в пределах его Pmax или уберите его из партии")
                .arg(kPaText(top), d.addressText(), kPaText(pmax));
        if (seen.contains(d.sensor))
            continue;
        seen.append(d.sensor);
        // The Tmid file's pressures as this plan will record them.
        QVector<double> plus, minus;
        for (int k = 0; k < points.size(); ++k) {
            const std::array<double, 2> p = chambersFor(d.sensor, pointKPa(k));
            plus << p[0];
            minus << p[1];
        }
        const QString problem = recordedPressureProblem(d.sensor, plus, minus);
        if (!problem.isEmpty())
            return QStringLiteral("Расчет для %1 (устройство %2) будет отклонен после всех точек: %3; измените "
                                  "подачу давления для %1")
                .arg(sensorText(d.sensor), d.addressText(), problem);
        // A difference cell under one pressure on both chambers sees none:
        // its signal would not follow P+ and the calculation refuses it.
        if (d.sensor != SensorModel::TwoGauge && chambers[size_t(d.sensor)] == GuidedChambers::Both)
            return QStringLiteral("%1 (устройство %2) измеряет разность P+ и P-: при одном давлении в обеих "
                                  "камерах его сигнал не меняется и расчет будет отклонен; подавайте давление "
                                  "для %1 только в P+")
                .arg(sensorText(d.sensor), d.addressText());
    }
    return QString();
}

double GuidedPlan::pointKPa(int k) const
{
    if (k < 0 || k >= points.size())
        return 0;
    return pointsInPercent ? points[k] / 100.0 * pmaxKPa : points[k];
}

std::array<double, 2> GuidedPlan::chambersFor(SensorModel s, double kPa) const
{
    switch (chambers[size_t(s)]) {
    case GuidedChambers::Both:
        return {kPa, kPa};
    case GuidedChambers::Minus:
        return {0, kPa};
    case GuidedChambers::Plus:
        break;
    }
    return {kPa, 0};
}

QVector<double> GuidedPlan::verifySequence() const
{
    QVector<double> seq = verifyPercent;
    if (verifyFalling)
        for (int i = verifyPercent.size() - 2; i >= 0; --i)
            seq.append(verifyPercent[i]);
    return seq;
}

double GuidedPlan::verifySpanKPa() const
{
    double span = 0;
    for (const GuidedDevice &d : devices)
        span = std::max(span, double(d.pvPa - d.pnPa) / 1000.0);
    return span > 0 ? span : pmaxKPa;
}

double GuidedPlan::verifyKPa(int step) const
{
    const QVector<double> seq = verifySequence();
    if (step < 0 || step >= seq.size())
        return 0;
    double low = devices.isEmpty() ? 0 : double(devices.first().pnPa) / 1000.0;
    for (const GuidedDevice &d : devices)
        low = std::min(low, double(d.pnPa) / 1000.0);
    return low + seq[step] / 100.0 * verifySpanKPa();
}

const GuidedThresholds &GuidedPlan::thresholdsFor(SensorModel s) const
{
    return s == SensorModel::Capacitive ? capacitiveThresholds : strainThresholds;
}

double GuidedPlan::stabilityCycles() const { return std::max(stableCount, averaged); }

QString GuidedPlan::kPaText(double kPa)
{
    if (kPa == 0)
        return QStringLiteral("0");
    return QString::number(kPa, 'g', 6) + QStringLiteral(" кПа");
}

QString GuidedPlan::temperaturePrompt(double celsius)
{
    QString t = QString::number(std::fabs(celsius), 'g', 4);
    if (celsius < 0)
        t.prepend(QChar(0x2212));
    return QStringLiteral("Установите температуру %1 °C в камере").arg(t);
}

QString GuidedPlan::pressurePrompt(double kPa) const
{
    // One clause per way the batch's sensor types take the pressure.
    QVector<GuidedChambers> modes;
    QVector<QStringList> whom;
    for (const GuidedDevice &d : devices) {
        const GuidedChambers c = chambers[size_t(d.sensor)];
        int i = modes.indexOf(c);
        if (i < 0) {
            modes.append(c);
            whom.append(QStringList());
            i = modes.size() - 1;
        }
        const QString s = sensorText(d.sensor);
        if (!whom[i].contains(s))
            whom[i].append(s);
    }
    if (modes.isEmpty())
        modes.append(GuidedChambers::Plus);
    QStringList clauses;
    for (int i = 0; i < modes.size(); ++i) {
        const double plus = modes[i] == GuidedChambers::Minus ? 0 : kPa;
        const double minus = modes[i] == GuidedChambers::Plus ? 0 : kPa;
        QString c = QStringLiteral("P+ = %1, P- = %2").arg(kPaText(plus), kPaText(minus));
        if (modes.size() > 1)
            c += QStringLiteral(" (%1)").arg(whom[i].join(QStringLiteral(", ")));
        clauses << c;
    }
    return QStringLiteral("Подайте ") + clauses.join(QStringLiteral("; "));
}

bool GuidedPlan::loadsMinusChamber() const
{
    for (const GuidedDevice &d : devices)
        if (chambers[size_t(d.sensor)] != GuidedChambers::Plus)
            return true;
    return false;
}

namespace {
const QString &ventMinus()
{
    static const QString text = QStringLiteral(
        "Поверка: давление подается только в камеру P+. Камера P- при калибровке была под давлением — "
        "сбросьте ее в атмосферу и держите открытой до конца поверки");
    return text;
}
} // namespace

QString GuidedPlan::verifyTemperaturePrompt() const
{
    const QString t = temperaturePrompt(temperatures.value(verifyTemperature).celsius);
    return loadsMinusChamber() ? t + QStringLiteral(". ") + ventMinus() : t;
}

QString GuidedPlan::verifyPressurePrompt(int step) const
{
    const QString p = QStringLiteral("Подайте P+ = %1, P- = 0").arg(kPaText(verifyKPa(step)));
    if (!loadsMinusChamber())
        return p;
    // Every step: a chamber left loaded spoils each reading, not the first.
    return p + QStringLiteral(" (камера P- открыта в атмосферу)") + (step == 0 ? QStringLiteral(". ") + ventMinus() : QString());
}

QString GuidedPlan::sensorText(SensorModel s)
{
    switch (s) {
    case SensorModel::Capacitive: return QStringLiteral("емкостной");
    case SensorModel::SingleGauge: return QStringLiteral("1-тензо");
    case SensorModel::TwoGauge: break;
    }
    return QStringLiteral("2-тензо");
}

QString GuidedPlan::temperatureName(CalibrationTemperature t)
{
    switch (t) {
    case CalibrationTemperature::Low: return QStringLiteral("Tmin");
    case CalibrationTemperature::Middle: return QStringLiteral("Tmid");
    case CalibrationTemperature::High: return QStringLiteral("Tmax");
    case CalibrationTemperature::None: break;
    }
    return QStringLiteral("T");
}

QJsonObject GuidedPlan::toJson() const
{
    QJsonObject o;
    o[QStringLiteral("format")] = FormatVersion;
    o[QStringLiteral("baseName")] = baseName;
    QJsonArray devs;
    for (const GuidedDevice &d : devices) {
        QJsonObject j;
        j[QStringLiteral("address")] = d.address;
        if (d.haveSerial)
            j[QStringLiteral("serial")] = double(d.serial);
        j[QStringLiteral("deviceType")] = d.deviceType;
        j[QStringLiteral("sensorCode")] = d.sensorCode;
        j[QStringLiteral("sensor")] = QLatin1String(sensorKeys[int(d.sensor)]);
        j[QStringLiteral("pmaxPa")] = double(d.pmaxPa);
        j[QStringLiteral("pnPa")] = double(d.pnPa);
        j[QStringLiteral("pvPa")] = double(d.pvPa);
        j[QStringLiteral("unitCode")] = d.unitCode;
        devs.append(j);
    }
    o[QStringLiteral("devices")] = devs;
    QJsonArray temps;
    for (const GuidedTemperature &t : temperatures)
        temps.append(QJsonObject{{QStringLiteral("slot"), QLatin1String(slotKeys[int(t.slot)])},
                                 {QStringLiteral("celsius"), t.celsius}});
    o[QStringLiteral("temperatures")] = temps;
    o[QStringLiteral("points")] = numbers(points);
    o[QStringLiteral("pointsInPercent")] = pointsInPercent;
    o[QStringLiteral("pmaxKPa")] = pmaxKPa;
    QJsonObject ch;
    for (int s = 0; s < 3; ++s)
        ch[QLatin1String(sensorKeys[s])] = QLatin1String(chamberKeys[int(chambers[size_t(s)])]);
    o[QStringLiteral("chambers")] = ch;
    o[QStringLiteral("stableCount")] = stableCount;
    o[QStringLiteral("strainThresholds")] = triple(strainThresholds);
    o[QStringLiteral("capacitiveThresholds")] = triple(capacitiveThresholds);
    o[QStringLiteral("averaged")] = averaged;
    o[QStringLiteral("silentCycles")] = silentCycles;
    o[QStringLiteral("classPercent")] = classPercent;
    o[QStringLiteral("verifyPercent")] = numbers(verifyPercent);
    o[QStringLiteral("verifyFalling")] = verifyFalling;
    o[QStringLiteral("verifyTemperature")] = verifyTemperature;
    o[QStringLiteral("plausiblePercent")] = plausiblePercent;
    return o;
}

bool GuidedPlan::fromJson(const QJsonObject &o, GuidedPlan *plan, QString *why)
{
    auto fail = [why](const QString &w) {
        if (why)
            *why = w;
        return false;
    };
    JsonFields f(o);
    if (f.integer("format", 0, 1000000) != FormatVersion)
        return fail(f.ok() ? QStringLiteral("план записан другой версией программы") : f.error());
    GuidedPlan p;
    p.baseName = f.string("baseName");
    if (f.ok() && !GuidedValidate::fileNameOk(p.baseName))
        f.failField(QStringLiteral("baseName"), QStringLiteral("= «%1»: не годится для имени файла").arg(p.baseName.left(40)));
    const QJsonArray devices = f.array("devices", 0, 16);
    p.devices.clear();
    for (int i = 0; i < devices.size() && f.ok(); ++i) {
        JsonFields j(devices.at(i), QStringLiteral("устройство %1").arg(i + 1));
        GuidedDevice d;
        d.address = j.integer("address", 0, 15);
        d.haveSerial = j.has("serial");
        d.serial = d.haveSerial ? j.unsigned32("serial") : 0;
        d.deviceType = j.integer("deviceType", 0, 0xffff);
        d.sensorCode = j.integer("sensorCode", 0, 0xffff);
        d.sensor = SensorModel(j.key("sensor", sensorKeys));
        d.pmaxPa = float(j.number("pmaxPa", 0, FLT_MAX));
        d.pnPa = float(j.number("pnPa", -FLT_MAX, FLT_MAX));
        d.pvPa = float(j.number("pvPa", -FLT_MAX, FLT_MAX));
        // Plans kept before the unit was read are in kPa.
        d.unitCode = j.integerOr("unitCode", 0, 0xffff, 1);
        if (j.ok())
            j.fail(d.rangeProblem());
        if (j.ok() && !GuidedValidate::pressureUnit(d.unitCode))
            j.fail(QStringLiteral("единица %1 не единица давления").arg(d.unitCode));
        f.fail(j.error());
        p.devices.append(d);
    }
    const QJsonArray temps = f.array("temperatures", 0, 16);
    p.temperatures.clear();
    for (int i = 0; i < temps.size() && f.ok(); ++i) {
        JsonFields j(temps.at(i), QStringLiteral("температура %1").arg(i + 1));
        GuidedTemperature t;
        t.slot = CalibrationTemperature(j.key("slot", slotKeys));
        t.celsius = j.number("celsius");
        f.fail(j.error());
        p.temperatures.append(t);
    }
    p.points = f.numbers("points", 0, 1000);
    p.pointsInPercent = f.boolean("pointsInPercent");
    p.pmaxKPa = f.number("pmaxKPa");
    const QJsonObject ch = f.object("chambers");
    if (f.ok()) {
        JsonFields j(ch, QStringLiteral("chambers"));
        for (int s = 0; s < 3; ++s)
            p.chambers[size_t(s)] = GuidedChambers(j.key(sensorKeys[s], chamberKeys));
        f.fail(j.error());
    }
    p.stableCount = f.integer("stableCount", INT_MIN, INT_MAX);
    const QVector<double> strain = f.numbers("strainThresholds", 3, 3);
    const QVector<double> capacitive = f.numbers("capacitiveThresholds", 3, 3);
    p.averaged = f.integer("averaged", INT_MIN, INT_MAX);
    p.silentCycles = f.integer("silentCycles", 1, 1000);
    p.classPercent = f.number("classPercent");
    p.verifyPercent = f.numbers("verifyPercent", 0, 1000);
    p.verifyFalling = f.boolean("verifyFalling");
    p.verifyTemperature = f.integer("verifyTemperature", INT_MIN, INT_MAX);
    // Plans written before the check of the bench have none: the default.
    if (f.has("plausiblePercent"))
        p.plausiblePercent = f.number("plausiblePercent", 0, 100);
    // Ranges the plan page also asks for are left to check(), which says
    // them as the page does.
    if (!f.ok())
        return fail(f.error());
    for (int i = 0; i < 3; ++i) {
        p.strainThresholds[size_t(i)] = strain[i];
        p.capacitiveThresholds[size_t(i)] = capacitive[i];
    }
    const QString problem = p.check();
    if (!problem.isEmpty())
        return fail(problem);
    *plan = p;
    return true;
}
