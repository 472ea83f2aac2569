#include "devicedata/writeidentity.h"

#include "device/registermap.h"
#include "device/valuecodec.h"
#include "link/responsecode.h"

namespace WriteIdentity {

namespace {
QString addressText(int address)
{
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0'));   // as the address box shows it
}
}

RequestItem serialRead()
{
    return RequestItem::read(RegisterMap::SerialNumber, 4);
}

Result decode(bool answered, bool intact, uint8_t status1, const QByteArray &data)
{
    Result r;
    uint32_t serial = 0;
    if (!answered)
        r.why = QStringLiteral("прибор не ответил");
    else if (!intact)
        r.why = QStringLiteral("ответ прибора искажен");
    else if (!ResponseCode::executed(status1))
        r.why = QStringLiteral("прибор отказал: код ") + ResponseCode::status1Text(status1);
    else if (!ValueCodec::readU32(data, 0, &serial))
        r.why = QStringLiteral("в ответе прибора нет номера");
    else
        r.ok = true, r.serial = QString::number(serial);
    return r;
}

QString refusalText(const QString &what, int address, const QString &why)
{
    return QStringLiteral("Запись «%1» в прибор не выполнена: заводской номер прибора по адресу %2 не прочитан "
                          "(%3). Запись начинается только после чтения номера того прибора, в который пишется; "
                          "проверьте связь и адрес и повторите")
        .arg(what, addressText(address), why);
}

QString targetText(const QString &what, const WriteTarget &target)
{
    return QStringLiteral("«%1»: запись в прибор по адресу %2, заводской № %3\n")
        .arg(what, addressText(target.address), target.serial);
}

} // namespace WriteIdentity
