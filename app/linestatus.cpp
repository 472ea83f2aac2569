#include "app/linestatus.h"

namespace LineStatus {

QString parityName(int parity)
{
    // The codes are QSerialPort::Parity; the names those of the settings tab.
    switch (parity) {
    case 0: return QStringLiteral("Нет");
    case 2: return QStringLiteral("Четный");
    case 3: return QStringLiteral("Нечетный");
    case 4: return QStringLiteral("Пробел");
    case 5: return QStringLiteral("Метка");
    default: return QStringLiteral("?");
    }
}

QString frameFormat(const SerialConfig &config)
{
    QChar parity;
    switch (config.parity) {
    case 0: parity = QLatin1Char('N'); break;
    case 2: parity = QLatin1Char('E'); break;
    case 3: parity = QLatin1Char('O'); break;
    case 4: parity = QLatin1Char('S'); break;
    case 5: parity = QLatin1Char('M'); break;
    default: parity = QLatin1Char('?'); break;
    }
    const QString stop = config.stopBits == 3 ? QStringLiteral("1.5") : QString::number(config.stopBits);
    return QString::number(config.dataBits) + parity + stop;
}

namespace {
QString portLabel(const QString &portName)
{
    return portName.isEmpty() ? QStringLiteral("Порт") : QStringLiteral("Порт ") + portName;
}
}

QString portStateText(PortState state, const QString &portName, const SerialConfig &config,
                      const QString &detail)
{
    switch (state) {
    case PortState::NotConnected:
        return portLabel(portName) + QStringLiteral(": не подключен");
    case PortState::Connected:
        return portLabel(portName) + QStringLiteral(": подключен, %1 бит/с, %2")
                                         .arg(config.baudRate)
                                         .arg(frameFormat(config));
    case PortState::LineLost:
        return portLabel(portName) + QStringLiteral(": связь потеряна")
               + (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + QLatin1Char(')'));
    }
    return QString();
}

QString portStateToolTip(PortState state, const QString &portName, const SerialConfig &config,
                         const QString &detail)
{
    const QString name = portName.isEmpty() ? QStringLiteral("не выбран") : portName;
    switch (state) {
    case PortState::NotConnected:
        return QStringLiteral("Порт: %1\nНе подключен: выберите порт и нажмите «Связать»").arg(name);
    case PortState::Connected:
        return QStringLiteral("Порт: %1\nСкорость: %2 бит/с\nБит данных: %3\nПаритет: %4\nСтоп-битов: %5")
            .arg(name)
            .arg(config.baudRate)
            .arg(config.dataBits)
            .arg(parityName(config.parity))
            .arg(config.stopBits == 3 ? QStringLiteral("1.5") : QString::number(config.stopBits));
    case PortState::LineLost:
        return QStringLiteral("Порт: %1\nСвязь потеряна%2\nПроверьте подключение и нажмите «Связать»")
            .arg(name, detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    }
    return QString();
}

QString operationName(int code, bool cyclic)
{
    switch (code) {
    case 1: return cyclic ? QStringLiteral("Цикл запроса консоли") : QStringLiteral("Запрос консоли");
    case 2: return QStringLiteral("Поиск устройств");
    case 3: return cyclic ? QStringLiteral("Циклический опрос") : QStringLiteral("Опрос");
    case 27: return QStringLiteral("Чтение Pmax для расчета");
    case 28: return QStringLiteral("Загрузка параметров в прибор");
    case 29: return QStringLiteral("Выгрузка параметров из прибора");
    case 50: return QStringLiteral("Опрос давления");
    case 51: return QStringLiteral("Чтение данных устройства");
    case 52: return QStringLiteral("Запись данных устройства");
    default: return QString();
    }
}

QString pollCountsText(int answers, int badChecksums, int timeouts)
{
    QString text = QStringLiteral("Опрос: ответов %1").arg(answers);
    if (badChecksums > 0)
        text += QStringLiteral(" (ошибок CRC %1)").arg(badChecksums);
    return text + QStringLiteral(", таймаутов %1").arg(timeouts);
}

} // namespace LineStatus
