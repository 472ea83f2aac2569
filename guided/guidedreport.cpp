#include "guided/guidedreport.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

QString num(double v, int digits = 6) { return QString::number(v, 'g', digits); }
QString pct(double v) { return QString::number(v, 'f', 3); }

QString calcText(const GuidedDeviceResult &d)
{
    switch (d.calc) {
    case GuidedDeviceResult::Calc::Written:
        return d.calcNote.isEmpty() ? QStringLiteral("коэффициенты записаны")
                                    : QStringLiteral("коэффициенты записаны (%1)").arg(d.calcNote);
    case GuidedDeviceResult::Calc::Refused:
        return QStringLiteral("не записан: %1").arg(d.calcNote);
    case GuidedDeviceResult::Calc::WriteFailed:
        return QStringLiteral("записан не полностью (блоков %1 из %2): %3").arg(d.blocksWritten).arg(d.blocksTotal)
            .arg(d.calcNote);
    case GuidedDeviceResult::Calc::Restored:
        return QStringLiteral("возвращены прежние коэффициенты");
    case GuidedDeviceResult::Calc::NotRun:
        break;
    }
    // A write cut by the port or an abort before its outcome was known.
    if (d.blocksWritten > 0)
        return QStringLiteral("запись прервана: в приборе блоков %1 из %2").arg(d.blocksWritten).arg(d.blocksTotal);
    return QStringLiteral("расчет не выполнялся");
}

QString coefficientsText(const CalibrationCoefficients &k)
{
    return QStringLiteral("Uk1h=%1 Uk2h=%2 U10=%3 U20=%4 a42=%5 a41=%6 a40=%7 b42=%8 b41=%9 b40=%10 "
                          "c42=%11 c41=%12 c40=%13 c43=%14")
        .arg(num(k.Uk1h), num(k.Uk2h), num(k.U10), num(k.U20), num(k.a[0]), num(k.a[1]), num(k.a[2]),
             num(k.b[0]), num(k.b[1]))
        .arg(num(k.b[2]), num(k.c[0]), num(k.c[1]), num(k.c[2]), num(k.c43));
}

QStringList planLines(const GuidedPlan &plan)
{
    QStringList t;
    QStringList temps;
    for (const GuidedTemperature &x : plan.temperatures)
        temps << QStringLiteral("%1 %2 °C").arg(GuidedPlan::temperatureName(x.slot), num(x.celsius));
    t << QStringLiteral("Температуры (по порядку): %1").arg(temps.join(QStringLiteral(", ")));
    QStringList pts;
    for (double p : plan.points)
        pts << num(p);
    t << (plan.pointsInPercent
              ? QStringLiteral("Точки давления: %1 % от %2").arg(pts.join(QStringLiteral(", ")), GuidedPlan::kPaText(plan.pmaxKPa))
              : QStringLiteral("Точки давления: %1 кПа").arg(pts.join(QStringLiteral(", "))));
    QStringList feed;
    for (SensorModel s : {SensorModel::TwoGauge, SensorModel::SingleGauge, SensorModel::Capacitive}) {
        const GuidedChambers c = plan.chambers[size_t(s)];
        feed << QStringLiteral("%1 %2").arg(GuidedPlan::sensorText(s),
                                            c == GuidedChambers::Both ? QStringLiteral("P+ и P-")
                                            : c == GuidedChambers::Minus ? QStringLiteral("P-") : QStringLiteral("P+"));
    }
    t << QStringLiteral("Подача давления: %1").arg(feed.join(QStringLiteral(", ")));
    t << QStringLiteral("Стабильность: %1 ответов; пороги U1, U2, U4: тензо %2, %3, %4 мВ; емкостные %5, %6 кГц, %7 °C")
             .arg(plan.stableCount)
             .arg(num(plan.strainThresholds[0]), num(plan.strainThresholds[1]), num(plan.strainThresholds[2]),
                  num(plan.capacitiveThresholds[0]), num(plan.capacitiveThresholds[1]),
                  num(plan.capacitiveThresholds[2]));
    t << QStringLiteral("Усреднение: %1 ответов на точку").arg(plan.averaged);
    t << QStringLiteral("Проверка давления: точка задерживается при расхождении больше %1 % диапазона")
             .arg(num(plan.plausiblePercent));
    QStringList ver;
    for (double p : plan.verifySequence())
        ver << num(p);
    t << QStringLiteral("Поверка при %1 °C, точки %2 % диапазона, класс %3 %")
             .arg(num(plan.temperatures.value(plan.verifyTemperature).celsius), ver.join(QStringLiteral(", ")),
                  num(plan.classPercent));
    return t;
}

QString deviceHeading(const GuidedDeviceResult &d)
{
    return QStringLiteral("Устройство %1, зав. № %2, модель %3, сенсор %4, диапазон %5…%6 кПа, Pmax %7 кПа")
        .arg(d.address, 2, 16, QLatin1Char('0'))
        .arg(d.haveSerial ? QString::number(d.serial) : QStringLiteral("—"), d.model, GuidedPlan::sensorText(d.sensor),
             num(d.pnPa / 1000.0), num(d.pvPa / 1000.0), num(d.pmaxPa / 1000.0));
}

QStringList verifyHeader()
{
    return {QStringLiteral("%"), QStringLiteral("ход"), QStringLiteral("эталон, кПа"), QStringLiteral("P, кПа"),
            QStringLiteral("погр. P, %"), QStringLiteral("I, мА"), QStringLiteral("I расч., мА"),
            QStringLiteral("погр. I, %")};
}

QStringList verifyCells(const GuidedVerifyRow &r)
{
    const QString dir = r.falling ? QStringLiteral("вниз") : QStringLiteral("вверх");
    if (!r.answered)
        return {num(r.percent), dir, num(r.referenceKPa), QStringLiteral("нет ответа"), QString(), QString(),
                QString(), QString()};
    return {num(r.percent), dir, num(r.referenceKPa), num(r.readKPa), pct(r.pressureError),
            QString::number(r.currentMa, 'f', 4), QString::number(r.expectedMa, 'f', 4), pct(r.currentError)};
}

QString verdictText(const GuidedDeviceResult &d)
{
    return d.passed ? QStringLiteral("ГОДЕН") : QStringLiteral("НЕ ГОДЕН: %1").arg(d.verdict);
}

QString esc(const QString &s) { return s.toHtmlEscaped(); }

} // namespace

namespace GuidedReport {

QString count(const GuidedCursor &cursor)
{
    int passed = 0;
    for (const GuidedDeviceResult &d : cursor.devices)
        passed += d.passed;
    return QStringLiteral("Годны %1 из %2").arg(passed).arg(cursor.devices.size());
}

QString summary(const GuidedCursor &cursor)
{
    int passed = 0;
    QStringList failed;
    for (const GuidedDeviceResult &d : cursor.devices) {
        if (d.passed)
            ++passed;
        else
            failed << QStringLiteral("%1 (зав. № %2): %3")
                          .arg(d.address, 2, 16, QLatin1Char('0'))
                          .arg(d.haveSerial ? QString::number(d.serial) : QStringLiteral("—"), d.verdict);
    }
    QString s = QStringLiteral("Годны %1 из %2").arg(passed).arg(cursor.devices.size());
    if (!failed.isEmpty())
        s += QStringLiteral("; не годны: ") + failed.join(QStringLiteral("; "));
    return s;
}

QByteArray text(const GuidedPlan &plan, const GuidedCursor &cursor, const QString &runDir)
{
    QStringList t;
    t << QStringLiteral("Отчет о калибровке партии %1").arg(cursor.batchId);
    t << QStringLiteral("Начало: %1").arg(cursor.started.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    t << QStringLiteral("Отчет составлен: %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    if (!runDir.isEmpty())
        t << QStringLiteral("Папка прогона: %1").arg(runDir);
    if (cursor.phase == GuidedPhase::Aborted)
        t << QStringLiteral("ПРОГОН ПРЕРВАН: %1").arg(cursor.abortReason);
    t << QString() << QStringLiteral("План");
    for (const QString &l : planLines(plan))
        t << QStringLiteral("  ") + l;
    for (const GuidedDeviceResult &d : cursor.devices) {
        t << QString() << deviceHeading(d);
        if (!d.leftOut.isEmpty())
            t << QStringLiteral("  Исключено из прогона: %1").arg(d.leftOut);
        t << QStringLiteral("  Точек записано: Tmin %1, Tmid %2, Tmax %3").arg(d.points[0]).arg(d.points[1]).arg(d.points[2]);
        t << QStringLiteral("  Расчет: %1").arg(calcText(d));
        if (d.calc == GuidedDeviceResult::Calc::Written) {
            t << QStringLiteral("  Записанные коэффициенты: %1").arg(coefficientsText(d.written));
            t << QStringLiteral("  Невязка, % от Pmax: Tmin %1, Tmid %2, Tmax %3")
                     .arg(pct(d.fitWorstPercent[0]), pct(d.fitWorstPercent[1]), pct(d.fitWorstPercent[2]));
        }
        if (!d.verify.isEmpty()) {
            t << QStringLiteral("  Поверка (класс %1 %):").arg(num(d.classPercent));
            t << QStringLiteral("  ") + verifyHeader().join(QLatin1Char('\t'));
            for (const GuidedVerifyRow &r : d.verify)
                t << QStringLiteral("  ") + verifyCells(r).join(QLatin1Char('\t'));
            t << QStringLiteral("  Наибольшая погрешность: давление %1 %, ток %2 %; вариация %3 %")
                     .arg(pct(d.worstPressureError), pct(d.worstCurrentError), pct(d.hysteresis));
        }
        for (const QString &n : d.benchNotes)
            t << QStringLiteral("  Записано при непроверенном давлении: %1").arg(n);
        t << QStringLiteral("  Итог: %1").arg(verdictText(d));
    }
    t << QString() << QStringLiteral("Итог партии: %1").arg(summary(cursor));
    return (t.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QString html(const GuidedPlan &plan, const GuidedCursor &cursor)
{
    QString h;
    h += QStringLiteral("<html><body style='font-size:9pt'>");
    h += QStringLiteral("<h2>Отчет о калибровке партии %1</h2>").arg(esc(cursor.batchId));
    h += QStringLiteral("<p>Начало: %1</p>").arg(cursor.started.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    if (cursor.phase == GuidedPhase::Aborted)
        h += QStringLiteral("<p style='color:red'>ПРОГОН ПРЕРВАН: %1</p>").arg(esc(cursor.abortReason));
    h += QStringLiteral("<h3>План</h3><ul>");
    for (const QString &l : planLines(plan))
        h += QStringLiteral("<li>%1</li>").arg(esc(l));
    h += QStringLiteral("</ul>");
    for (const GuidedDeviceResult &d : cursor.devices) {
        h += QStringLiteral("<h3>%1</h3>").arg(esc(deviceHeading(d)));
        if (!d.leftOut.isEmpty())
            h += QStringLiteral("<p style='color:red'>Исключено из прогона: %1</p>").arg(esc(d.leftOut));
        h += QStringLiteral("<p>Точек записано: Tmin %1, Tmid %2, Tmax %3<br>Расчет: %4</p>")
                 .arg(d.points[0]).arg(d.points[1]).arg(d.points[2]).arg(esc(calcText(d)));
        if (d.calc == GuidedDeviceResult::Calc::Written)
            h += QStringLiteral("<p>Записанные коэффициенты: %1<br>Невязка, % от Pmax: Tmin %2, Tmid %3, Tmax %4</p>")
                     .arg(esc(coefficientsText(d.written)), pct(d.fitWorstPercent[0]), pct(d.fitWorstPercent[1]),
                          pct(d.fitWorstPercent[2]));
        if (!d.verify.isEmpty()) {
            h += QStringLiteral("<table border='1' cellspacing='0' cellpadding='2'><tr>");
            for (const QString &c : verifyHeader())
                h += QStringLiteral("<th>%1</th>").arg(esc(c));
            h += QStringLiteral("</tr>");
            for (const GuidedVerifyRow &r : d.verify) {
                h += QStringLiteral("<tr>");
                for (const QString &c : verifyCells(r))
                    h += QStringLiteral("<td>%1</td>").arg(esc(c));
                h += QStringLiteral("</tr>");
            }
            h += QStringLiteral("</table><p>Наибольшая погрешность: давление %1 %, ток %2 %; вариация %3 %</p>")
                     .arg(pct(d.worstPressureError), pct(d.worstCurrentError), pct(d.hysteresis));
        }
        for (const QString &n : d.benchNotes)
            h += QStringLiteral("<p style='color:red'>Записано при непроверенном давлении: %1</p>").arg(esc(n));
        h += QStringLiteral("<p><b style='color:%1'>%2</b></p>")
                 .arg(d.passed ? QStringLiteral("#079e00") : QStringLiteral("red"), esc(verdictText(d)));
    }
    h += QStringLiteral("<h3>Итог партии</h3><p>%1</p></body></html>").arg(esc(summary(cursor)));
    return h;
}

bool writeText(const QString &path, const GuidedPlan &plan, const GuidedCursor &cursor, QString *error)
{
    QSaveFile f(path);
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly) || f.write(text(plan, cursor, QFileInfo(path).absolutePath())) < 0
        || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

} // namespace GuidedReport
