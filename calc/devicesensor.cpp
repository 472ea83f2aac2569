#include "calc/devicesensor.h"

DeviceSensorType decodeDeviceSensorType(const QByteArray &block)
{
    DeviceSensorType t;
    if (block.size() < kSensorTypeReadBytes)
        return t;
    t.read = true;
    t.deviceType = uint8_t(block.at(3));
    t.cellCode = uint8_t(block.at(kSensorCellByte));
    t.rangeCode = uint8_t(block.at(5));
    t.stated = t.cellCode != 0;
    switch (t.cellCode) {
    case 1: t.model = SensorModel::TwoGauge; t.known = true; break;
    case 2: t.model = SensorModel::SingleGauge; t.known = true; break;
    case 3: t.model = SensorModel::Capacitive; t.known = true; break;
    default: break;
    }
    return t;
}

QString sensorModelText(SensorModel model)
{
    switch (model) {
    case SensorModel::Capacitive: return QStringLiteral("емкостной датчик");
    case SensorModel::SingleGauge: return QStringLiteral("один тензодатчик");
    case SensorModel::TwoGauge: break;
    }
    return QStringLiteral("два тензодатчика");
}

QString deviceSensorText(const DeviceSensorType &type)
{
    if (!type.read)
        return QStringLiteral("не прочитан");
    if (!type.stated)
        return QStringLiteral("не сообщает");
    if (!type.known)
        return QStringLiteral("неизвестный (код %1)").arg(type.cellCode);
    return sensorModelText(type.model);
}

QString sensorMismatchQuestion(const DeviceSensorType &type, SensorModel chosen)
{
    if (!type.known || type.model == chosen)
        return QString();
    return QStringLiteral("Прибор сообщает тип датчика «%1», выбрана модель «%2».\n\n"
                          "Прибор вычисляет давление по формуле своего типа датчика: коэффициенты другой "
                          "модели дадут ошибку, и таблица качества калибровки ее покажет. Отметьте флажки "
                          "«Емкостной» и «1-тензо» по типу датчика прибора.\n\n"
                          "Все равно рассчитать по выбранной модели?")
        .arg(sensorModelText(type.model), sensorModelText(chosen));
}
