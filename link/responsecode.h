#pragma once
// What the two status bytes of an answer say, in one table every part of the
// program reads: the link, the operations, the console, the traffic log and
// the line statistics.
//
// Status byte 1 is the response code. With bit 7 set it is a communication
// error the device saw in the request (the bits below name which), and the
// request was not executed. Otherwise 0 is success, the common table's
// warning codes mean the command was carried out with a remark, and every
// other code is a refusal: the device did not do what was asked. Status byte
// 2 is the device's state; it never fails an operation, it is shown.

#include <QString>
#include <cstdint>

namespace ResponseCode {

enum class Kind { Success, Warning, Refusal, CommunicationError };

Kind kind(uint8_t status1);
// Success and warning: the device did what was asked.
inline bool executed(uint8_t status1)
{
    const Kind k = kind(status1);
    return k == Kind::Success || k == Kind::Warning;
}

// The meaning of a response code in words ("запрет записи"); for a
// communication error the bits it names ("ошибка чётности, переполнение").
QString meaning(uint8_t status1);
// The operator's sentence for an answer that did not succeed cleanly, empty
// for success: "Прибор отказал: код 7 (запрет записи)", "Прибор предупреждает:
// код 8 (...)", "Прибор сообщил об ошибке связи: ..." with what to do.
QString operationText(uint8_t status1);
// Short forms for the console, the traffic log and the statistics:
// "0 (успешно)", "7 (запрет записи)", "0x88 (ошибка связи: контрольная сумма)".
QString status1Text(uint8_t status1);
// "0x00" alone, or "0x40 (конфигурация изменена)" with every bit set named.
QString status2Text(uint8_t status2);
// "статус 1: ...; статус 2: ..." in one line.
QString statusText(uint8_t status1, uint8_t status2);

} // namespace ResponseCode
