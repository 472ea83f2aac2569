#include "link/responsecode.h"

#include <QStringList>

namespace ResponseCode {

namespace {

// The codes of the common table that report a command carried out with a
// remark rather than refused.
bool isWarning(int code)
{
    return code == 8 || code == 14 || (code >= 24 && code <= 27) || code == 30 || code == 31
        || (code >= 96 && code <= 111);
}

const char *codeMeaning(int code)
{
    switch (code) {
    case 0: return "успешно";
    case 1: return "не определено";
    case 2: return "недопустимый выбор";
    case 3: return "значение слишком велико";
    case 4: return "значение слишком мало";
    case 5: return "слишком мало байт данных";
    case 6: return "ошибка команды прибора";
    case 7: return "запрет записи";
    case 8: return "выполнено с предупреждением";
    case 9: return "нижний предел слишком велик";
    case 10: return "нижний предел слишком мал";
    case 11: return "верхний предел слишком велик";
    case 12: return "верхний предел слишком мал";
    case 13: return "пределы вне допустимых значений";
    case 14: return "диапазон слишком мал";
    case 16: return "доступ ограничен";
    case 18: return "недопустимый код единиц";
    case 32: return "прибор занят";
    case 33: return "отложенный ответ начат";
    case 34: return "отложенный ответ выполняется";
    case 35: return "отложенный ответ прерван";
    case 36: return "конфликт отложенного ответа";
    case 60: return "слишком много данных";
    case 64: return "команда не поддерживается";
    default: break;
    }
    return isWarning(code) ? "предупреждение прибора" : "ошибка команды";
}

// Bits of a communication error, high to low.
const char *const CommErrorBits[7] = {
    "ошибка чётности", "переполнение", "ошибка кадра", "ошибка контрольной суммы",
    "бит 3", "переполнение буфера", "бит 0",
};

const char *const DeviceStatusBits[8] = {
    "неисправность прибора", "конфигурация изменена", "холодный старт",
    "есть дополнительный статус", "ток зафиксирован", "ток в насыщении",
    "вторичная переменная вне пределов", "первичная переменная вне пределов",
};

QString hexByte(uint8_t b)
{
    return QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0'));
}

} // namespace

Kind kind(uint8_t status1)
{
    if (status1 & 0x80)
        return Kind::CommunicationError;
    if (status1 == 0)
        return Kind::Success;
    return isWarning(status1) ? Kind::Warning : Kind::Refusal;
}

QString meaning(uint8_t status1)
{
    if (!(status1 & 0x80))
        return QString::fromUtf8(codeMeaning(status1));
    QStringList bits;
    for (int i = 0; i < 7; ++i)
        if (status1 & (0x40 >> i))
            bits.append(QString::fromUtf8(CommErrorBits[i]));
    return QStringLiteral("ошибка связи")
        + (bits.isEmpty() ? QString() : QStringLiteral(": ") + bits.join(QStringLiteral(", ")));
}

QString operationText(uint8_t status1)
{
    switch (kind(status1)) {
    case Kind::Success:
        return QString();
    case Kind::Warning:
        return QStringLiteral("Прибор предупреждает: код %1 (%2)").arg(status1).arg(meaning(status1));
    case Kind::Refusal:
        return QStringLiteral("Прибор отказал: код %1 (%2)").arg(status1).arg(meaning(status1));
    case Kind::CommunicationError:
        return QStringLiteral("Прибор отказал: код %1 (%2), запрос не выполнен; проверьте линию и повторите")
            .arg(hexByte(status1), meaning(status1));
    }
    return QString();
}

QString status1Text(uint8_t status1)
{
    const QString number = (status1 & 0x80) ? hexByte(status1) : QString::number(status1);
    return QStringLiteral("%1 (%2)").arg(number, meaning(status1));
}

QString status2Text(uint8_t status2)
{
    if (status2 == 0)
        return hexByte(0);
    QStringList bits;
    for (int i = 0; i < 8; ++i)
        if (status2 & (0x80 >> i))
            bits.append(QString::fromUtf8(DeviceStatusBits[i]));
    return QStringLiteral("%1 (%2)").arg(hexByte(status2), bits.join(QStringLiteral(", ")));
}

QString statusText(uint8_t status1, uint8_t status2)
{
    return QStringLiteral("статус 1: %1; статус 2: %2").arg(status1Text(status1), status2Text(status2));
}

} // namespace ResponseCode
