#include "guided/guidedcalc.h"

#include "calc/calibrationreport.h"
#include "calc/lsqcalibration.h"
#include "device/registermap.h"
#include "device/valuecodec.h"

#include <QDateTime>

namespace {

QString lastFailure(const CalcMessages &messages)
{
    for (int i = messages.size() - 1; i >= 0; --i)
        if (messages[i].kind == CalcMessage::Failure)
            return messages[i].text.trimmed();
    return QStringLiteral("расчет не выполнен");
}

} // namespace

namespace GuidedCalc {

QByteArray parameterRequest()
{
    return ValueCodec::readData(RegisterMap::MaxUpperLimit, LsqCalibration::ParameterReadBytes);
}

GuidedCalcResult calculate(const QString &dir, const GuidedDevice &device, const QByteArray &parameterAnswer)
{
    GuidedCalcResult r;
    const SensorModel sensor = device.sensor;
    LsqCalibration lsq;
    const CalibrationFileSearch found = lsq.findFiles(dir);
    lsq.setSerial(device.haveSerial, device.serial);
    if (!found.found) {
        r.refusal = found.boxText;
        return r;
    }
    // The fit is judged with the formula of the cell the device states, as
    // the calibration tab judges it.
    const DeviceSensorType stated = device.statedSensor();
    lsq.setDeviceSensor(stated);
    const CalcMessages read = lsq.openStaticFiles(false);
    if (!lsq.filesUsable()) {
        r.refusal = lastFailure(read);
        return r;
    }
    CalibrationOutcome out = lsq.onParameterAnswer(parameterAnswer, sensor == SensorModel::Capacitive,
                                                         sensor == SensorModel::SingleGauge);
    for (const CalcMessage &m : out.messages)
        if (m.kind == CalcMessage::Warning)
            r.warnings << m.text.trimmed();
    if (!out.ok) {
        r.refusal = lastFailure(out.messages);
        return r;
    }
    r.ok = true;
    r.written = out.written;
    r.worstPercent = out.quality.worstPercent;
    r.worst = out.quality.worst();
    r.needsConfirmation = out.needsConfirmation;
    r.question = out.confirmationText;
    r.declined = QStringLiteral("невязка %1 % от Pmax: результат не принят оператором").arg(r.worst, 0, 'f', 3);
    // The cell the device states against the plan's: the operator decides,
    // as at the calibration tab, and the report keeps the decision.
    const QString mismatch = sensorMismatchQuestion(stated, sensor);
    if (!mismatch.isEmpty()) {
        const QString said = sensorModelText(stated.model), chosen = sensorModelText(sensor);
        out.notes.prepend(QStringLiteral("Прибор сообщает тип датчика «%1», выбрана модель «%2»: расчет по выбранной "
                                         "модели по решению оператора").arg(said, chosen));
        r.question = out.needsConfirmation ? mismatch + QStringLiteral("\n\n") + out.confirmationText : mismatch;
        r.needsConfirmation = true;
        r.declined = QStringLiteral("прибор сообщает тип датчика «%1», выбрана модель «%2»: расчет отменен оператором; "
                                    "рассчитайте прибор на вкладке калибровки по его файлам точек с моделью его "
                                    "датчика").arg(said, chosen);
    }
    r.reportPath = lsq.reportFileName();
    r.report = lsq.report(out, device.addressText(), QDateTime::currentDateTime());
    r.reportText = calibrationReportText(r.report);
    return r;
}

bool writeReport(const GuidedCalcResult &result, QString *error)
{
    return writeCalibrationReport(result.reportPath, result.reportText, error);
}

} // namespace GuidedCalc
