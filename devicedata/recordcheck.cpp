#include "devicedata/recordcheck.h"

#include "devicedata/bulkblocks.h"
#include "devicedata/numbertext.h"

namespace RecordCheck {

ItemProblem firstUnwritable(const DeviceRecord &record)
{
    using S = DeviceItems::Storage;
    for (int p = 0; p < DeviceItems::DeviceItemCount; ++p) {
        const QString text = record.deviceText(p);
        ItemProblem problem;
        problem.position = p;
        problem.text = text;
        if (text.isEmpty()) {
            problem.empty = true;
            return problem;
        }
        if (!DeviceItems::isValidDeviceText(p, text)) {
            problem.reason = QStringLiteral("не является допустимым значением");
            return problem;
        }
        const S storage = DeviceItems::deviceItem(p).storage;
        if (storage == S::SignedByte || storage == S::UnsignedByte) {
            bool ok = false;
            const int v = NumberText::toInt32(text, &ok);
            // A signed byte is shown as read (-128..127); a file may still
            // hold its unsigned spelling.
            const int lowest = storage == S::SignedByte ? -128 : 0;
            if (!ok || v < lowest || v > 255) {
                problem.reason = storage == S::SignedByte
                                     ? QStringLiteral("в прибор записывается один байт, −128…255")
                                     : QStringLiteral("в прибор записывается один байт, 0…255");
                return problem;
            }
        }
    }
    return ItemProblem();
}

QString itemName(int position)
{
    const QString description = DeviceItems::deviceDescription(position).section(QLatin1Char('\n'), 0, 0);
    return QStringLiteral("«%1» (%2)").arg(QString::fromLatin1(DeviceItems::deviceItem(position).key),
                                         description.trimmed());
}

QString refusalText(const ItemProblem &problem)
{
    if (problem.position < 0)
        return QString();
    if (problem.empty) {
        return QStringLiteral("Все коэффициенты должны быть заполнены: не заполнено ")
               + itemName(problem.position)
               + QStringLiteral(". Считайте данные из прибора или загрузите их из файла");
    }
    return QStringLiteral("Запись в устройство не выполнена: значение «%1» у %2 не подходит (%3)")
        .arg(problem.text, itemName(problem.position), problem.reason);
}

QStringList missingReadBlocks(const DeviceRecord &record)
{
    QStringList out;
    for (int i = 0; i < BulkBlocks::BlockCount; ++i) {
        QStringList keys;
        bool missing = false;
        for (int p : BulkBlocks::readBlockPositions(BulkBlocks::readBlock(i).address)) {
            keys << QString::fromLatin1(DeviceItems::deviceItem(p).key);
            missing = missing || !record.isDeviceFilled(p);
        }
        if (missing)
            out << QStringLiteral("%1 (%2)").arg(i + 1).arg(keys.join(QStringLiteral(", ")));
    }
    return out;
}

int filledDeviceItems(const DeviceRecord &record)
{
    int n = 0;
    for (int p = 0; p < DeviceItems::DeviceItemCount; ++p)
        n += record.isDeviceFilled(p) ? 1 : 0;
    return n;
}

} // namespace RecordCheck
