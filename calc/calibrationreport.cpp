#include "calc/calibrationreport.h"

#include "devicedata/safesave.h"

namespace {

const char *const TemperatureNames[3] = {"Tmin", "Tmid", "Tmax"};

QByteArray num(double v)
{
    return QByteArray::number(v, 'e', 4);
}

QByteArray kPa(double pa)
{
    return QByteArray::number(pa / 1000.0, 'g', 7);
}

QByteArray row(std::initializer_list<QByteArray> fields)
{
    QByteArray line;
    for (const QByteArray &f : fields) {
        if (!line.isEmpty())
            line += '\t';
        line += f;
    }
    return line + '\n';
}

QByteArray utf8(const QString &s)
{
    return s.toUtf8();
}

} // namespace

QString calibrationReportFileName(const QString &dir, const QString &baseName)
{
    return dir + QLatin1Char('/') + baseName + QStringLiteral("_report.txt");
}

QByteArray calibrationReportText(const CalibrationReport &r)
{
    QByteArray out;
    out += utf8(QStringLiteral("Отчет о калибровке\n"));
    out += row({utf8(QStringLiteral("Дата и время:")), utf8(r.when.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))});
    out += row({utf8(QStringLiteral("Адрес прибора:")), utf8(r.address)});
    out += row({utf8(QStringLiteral("Заводской номер:")),
                r.haveSerial ? QByteArray::number(r.serial) : utf8(QStringLiteral("не прочитан"))});
    out += row({utf8(QStringLiteral("Модель прибора:")),
                utf8(r.deviceModel.isEmpty() ? QStringLiteral("не прочитана") : r.deviceModel)});
    out += row({utf8(QStringLiteral("Тип датчика (сообщает прибор):")), utf8(deviceSensorText(r.deviceSensor))});
    out += row({utf8(QStringLiteral("Модель расчета:")), utf8(sensorModelText(r.model))});
    out += row({utf8(QStringLiteral("Невязки вычислены по формуле:")), utf8(sensorModelText(r.evaluatedAs))});
    out += row({utf8(QStringLiteral("Pmax, кПа:")), kPa(r.pmax)});
    out += row({utf8(QStringLiteral("Директория:")), utf8(r.dir)});
    out += row({utf8(QStringLiteral("Цель, % от Pmax:")), QByteArray::number(kFitTargetPercent)});

    out += '\n';
    out += row({utf8(QStringLiteral("Температура")), utf8(QStringLiteral("Файл")),
                utf8(QStringLiteral("V4 (сигнал температуры), среднее")),
                utf8(QStringLiteral("Наименьшее давление, кПа")), utf8(QStringLiteral("Наибольшее давление, кПа")),
                utf8(QStringLiteral("Наибольшая невязка, % от Pmax")), utf8(QStringLiteral("Худшая точка"))});
    for (int t : {FileTmin, FileTmid, FileTmax}) {
        const PointFile &f = r.files.files[size_t(t)];
        double v4 = 0;
        for (const PointRecord &p : f.records)
            v4 += p.v4;
        if (!f.records.isEmpty())
            v4 /= f.records.size();
        const PointFileMeans &m = r.files.means[size_t(t)];
        out += row({TemperatureNames[t], utf8(f.fileName), num(v4),
                    QByteArray::number(m.lowPressureKPa, 'g', 7), QByteArray::number(m.highPressureKPa, 'g', 7),
                    utf8(residualText(r.quality.worstPercent[size_t(t)])),
                    utf8(worstPointText(r.quality.worstPoints[size_t(t)]))});
    }
    if (!r.notes.isEmpty()) {
        out += '\n';
        out += utf8(QStringLiteral("Принято оператором:\n"));
        for (const QString &note : r.notes)
            out += utf8(note) + '\n';
    }

    out += '\n';
    out += utf8(QStringLiteral("Точки калибровки: показания из файлов калибровки (до калибровки) и давление, "
                               "которое прибор покажет с новыми коэффициентами\n"));
    out += row({utf8(QStringLiteral("Температура")), utf8(QStringLiteral("Строка")), "V1", "V2", "V3", "V4",
                utf8(QStringLiteral("P+, кПа")), utf8(QStringLiteral("P-, кПа")),
                utf8(QStringLiteral("Должен показать, кПа")), utf8(QStringLiteral("Покажет, кПа")),
                utf8(QStringLiteral("Невязка, % от Pmax"))});
    for (const PointResidual &p : r.quality.points) {
        const PointRecord &rec = p.record;
        out += row({TemperatureNames[p.file], QByteArray::number(rec.line), num(rec.v1), num(rec.v2),
                    num(rec.v3), num(rec.v4), QByteArray::number(rec.pPlus, 'g', 7),
                    QByteArray::number(rec.pMinus, 'g', 7), kPa(p.expectedPa), kPa(p.readingPa),
                    utf8(residualText(p.residualPercent))});
    }

    out += '\n';
    out += utf8(QStringLiteral("Коэффициенты, как они записываются в прибор:\n"));
    const CalibrationCoefficients &k = r.written;
    for (const auto &v : k.named())
        out += row({v.first, QByteArray::number(double(v.second), 'g', 9)});

    out += '\n';
    const double worst = r.quality.worst();
    const QString verdict = worst <= kFitTargetPercent ? QStringLiteral("в пределах цели")
                            : worst <= kFitConfirmPercent ? QStringLiteral("выше цели")
                                                          : QStringLiteral("выше %1 %, запись в прибор только "
                                                                           "с подтверждения оператора")
                                                                .arg(kFitConfirmPercent);
    out += row({utf8(QStringLiteral("Итог:")),
                utf8(QStringLiteral("наибольшая невязка %1 % от Pmax, %2").arg(residualText(worst), verdict))});
    return out;
}

bool writeCalibrationReport(const QString &path, const QByteArray &text, QString *error)
{
    const SafeSave::Result saved = SafeSave::write(path, text, false);
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}
