#include "devicedata/deviceitems.h"

#include "devicedata/numbertext.h"

#include <QHash>

namespace DeviceItems {

namespace {

using VK = ValueKind;
using ST = Storage;

const DeviceItem kDeviceItems[DeviceItemCount] = {
    {0, "model_name", VK::ModelName, 245, 2, ST::ModelNumber},
    {1, "model_code", VK::SignedInt, 245, 4, ST::SignedByte},
    {2, "serial", VK::UnsignedInt, 58, 0, ST::UInt32},
    {3, "mu", VK::UnitName, 245, 0, ST::UnitCode},
    {4, "Pmax", VK::Float, 30, 0, ST::Float},
    {5, "Uk1h", VK::Float, 38, 0, ST::Float},
    {6, "Uk2h", VK::Float, 38, 4, ST::Float},
    {7, "U10", VK::Float, 38, 8, ST::Float},
    {8, "U20", VK::Float, 38, 12, ST::Float},
    {9, "a42", VK::Float, 78, 0, ST::Float},
    {10, "a41", VK::Float, 78, 4, ST::Float},
    {11, "a40", VK::Float, 78, 8, ST::Float},
    {12, "b42", VK::Float, 256, 0, ST::Float},
    {13, "b41", VK::Float, 256, 4, ST::Float},
    {14, "b40", VK::Float, 256, 8, ST::Float},
    {15, "c42", VK::Float, 256, 12, ST::Float},
    {16, "c41", VK::Float, 256, 16, ST::Float},
    {17, "c40", VK::Float, 256, 20, ST::Float},
    {18, "c43", VK::Float, 340, 0, ST::Float},
    {19, "t42", VK::Float, 280, 0, ST::Float},
    {20, "t41", VK::Float, 280, 4, ST::Float},
    {21, "t40", VK::Float, 280, 8, ST::Float},
    {22, "Filter_Size", VK::SignedInt, 11, 0, ST::SignedByte},
    {23, "bal_IDAC", VK::SignedInt, 21, 0, ST::UnsignedByte},
    {24, "bal_dP", VK::SignedInt, 78, 12, ST::UInt32},
    {25, "Itenzo", VK::SignedInt, 21, 2, ST::UnsignedByte},
    {26, "Ksi", VK::Float, 280, 12, ST::Float},
    {27, "dPemax", VK::Float, 392, 0, ST::Float},
    {28, "Kdsp0", VK::Float, 296, 0, ST::Float},
    {29, "Kdsp1", VK::Float, 300, 0, ST::Float},
    {30, "Kdsp2", VK::Float, 304, 0, ST::Float},
    {31, "Kdsp3", VK::Float, 308, 0, ST::Float},
    {32, "Kdsp4", VK::Float, 312, 0, ST::Float},
    {33, "Kdsp5", VK::Float, 316, 0, ST::Float},
    {34, "Kdsp6", VK::Float, 320, 0, ST::Float},
    {35, "Kdsp7", VK::Float, 324, 0, ST::Float},
    {36, "Kdsp8", VK::Float, 328, 0, ST::Float},
    {37, "Kdsp9", VK::Float, 332, 0, ST::Float},
    {38, "Kdsp10", VK::Float, 336, 0, ST::Float},
};

using PK = ProgramKind;

const ProgramItem kProgramItems[ProgramItemCount] = {
    {0, "T_query", "Период опроса, мс", PK::UnsignedInt},
    {1, "timeout", "Таймаут опроса, мс", PK::UnsignedInt},
    {2, "rep_cnt", "Количество повторных запросов", PK::UnsignedInt},
    {3, "T_query_scan", "Период опроса в режиме поиска, мс", PK::UnsignedInt},
    {4, "timeout_scan", "Таймаут опроса в режиме поиска, мс", PK::UnsignedInt},
    {5, "rep_cnt_scan", "Количество повторных запросов в режиме поиска", PK::UnsignedInt},
    {6, "serial_speed", "Скорость передачи данных серийного порта, б/с", PK::BaudRate},
    {7, "serial_nBits", "Количество бит данных серийного порта", PK::DataBits},
    {8, "serial_parity", "Бит паритета серийного порта", PK::Parity},
    {9, "serial_sb", "Количество стоп бит серийного порта", PK::StopBits},
    {10, "serial_fc", "Аппаратное квитирование серийного порта", PK::FlowControl},
    {11, "serial_rts_delay", "Задержка RTS серийного порта", PK::UnsignedInt},
};

// Descriptions shared by a group of items are kept once.
const char kInitialValue[] = "Начальное значение U";
const char kInitialValueTail[] = " при НУ";
const char kStaticValue[] = "Значение U";
const char kStaticValueTail[] =
        " при НУ при максимальном статическом\nдавлении Pстат в обеих камерах прибора";
const char kAdditive[] =
        "Параметр для компенсации аддитивной\nсоставляющей температурной погрешности";
const char kMultiplicative[] =
        "Параметр для компенсации мультипликативной\nсоставляющей температурной погрешности";
// U+2013 EN DASH between the two quantities.
const char kFrequencyPressure[] = "Переводной коэффициент (частота\u2013давление)";
const char kVoltageTemperature[] = "Переводной коэффициент (напряжение\u2013температура)";
const char kRangeCorrection[] = "Поправочный коэффициент для диапазона №";

QString u8(const char *s) { return QString::fromUtf8(s); }

QStringList fromUtf8List(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *s : items)
        out << u8(s);
    return out;
}

} // namespace

const DeviceItem &deviceItem(int position)
{
    Q_ASSERT(position >= 0 && position < DeviceItemCount);
    return kDeviceItems[position];
}

QString deviceDescription(int position)
{
    switch (position) {
    case 0: return u8("Обозначение датчика");
    case 1: return u8("Код модели");
    case 2: return u8("Серийный номер");
    case 3: return u8("Единицы измерения");
    case 4: return u8("Максимальный верхний предел диапазона измерений, Па");
    case 5: case 6:
        return u8(kInitialValue) + QString::number(position - 4) + u8(kInitialValueTail);
    case 7: case 8:
        return u8(kStaticValue) + QString::number(position - 6) + u8(kStaticValueTail);
    case 9: case 10: case 11: return u8(kAdditive);
    case 12: case 13: case 14: return u8(kMultiplicative);
    case 15: case 16: case 17: case 18: return u8(kFrequencyPressure);
    case 19: case 20: case 21: return u8(kVoltageTemperature);
    case 22: return u8("Количество точек скользящего среднего");
    case 23: return u8("Баланс нуля токового выхода");
    case 24: return u8("Баланс нуля по давлению");
    case 25: return u8("Режим работы по току");
    case 26: return u8("Коэффициент коррекции токового выхода");
    case 27: return u8("Учитываемая амплитуда импульса");
    default:
        Q_ASSERT(position >= 28 && position < DeviceItemCount);
        return u8(kRangeCorrection) + QString::number(position - 28);
    }
}

int devicePosition(const QString &key)
{
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        // Walk backwards so that the first item of a key wins if one ever repeats.
        for (int i = DeviceItemCount - 1; i >= 0; --i)
            h.insert(QString::fromLatin1(kDeviceItems[i].key), i);
        return h;
    }();
    return index.value(key, -1);
}

const ProgramItem &programItem(int row)
{
    Q_ASSERT(row >= 0 && row < ProgramItemCount);
    return kProgramItems[row];
}

QString programDescription(int row)
{
    return u8(programItem(row).description);
}

int programRow(const QString &key)
{
    for (const ProgramItem &p : kProgramItems) {
        if (key == QLatin1String(p.key))
            return p.row;
    }
    return -1;
}

const QStringList &modelNames()
{
    static const QStringList names = fromUtf8List(
            {"ЛТ3920ДИ", "ЛТ3920ДА", "ЛТ3920ДД", "ЛТ3920ДВ", "ЛТ3920ДВИ"});
    return names;
}

int modelNumber(const QString &text)
{
    return modelNames().indexOf(text) + 1;
}

QString modelName(int number)
{
    return number >= 1 && number <= ModelCount ? modelNames().at(number - 1) : QString();
}

const QStringList &unitNames()
{
    static const QStringList names = fromUtf8List(
            {"Па", "кПа", "МПа", "кгс/см2", "бар", "мм рт. ст.", "мм вод. ст.", "атм", "мА",
             "град.", "мл/мин", "л/ч", "м3/ч", "мм", "см", "м", "г/л", "г/см3", "кг/м3"});
    return names;
}

int unitCode(const QString &text)
{
    return unitNames().indexOf(text);
}

QString unitName(int code)
{
    return code >= 0 && code < UnitCount ? unitNames().at(code) : QString();
}

const QStringList &parityTexts()
{
    static const QStringList t = fromUtf8List({"Нет", "Четный", "Нечетный", "Метка", "Пробел"});
    return t;
}

const QStringList &stopBitsTexts()
{
    static const QStringList t = {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
    return t;
}

const QStringList &flowControlTexts()
{
    static const QStringList t = fromUtf8List({"да", "нет"});
    return t;
}

const QList<uint32_t> &baudRates()
{
    static const QList<uint32_t> rates = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
    return rates;
}

bool isValidDeviceText(int position, const QString &text)
{
    bool ok = false;
    switch (deviceItem(position).kind) {
    case ValueKind::ModelName: return modelNames().contains(text);
    case ValueKind::UnitName: return unitNames().contains(text);
    case ValueKind::SignedInt: NumberText::toInt32(text, &ok); return ok;
    case ValueKind::UnsignedInt: NumberText::toUInt32(text, &ok); return ok;
    case ValueKind::Float: NumberText::toFloat(text, &ok); return ok;
    }
    return false;
}

bool isValidProgramText(int row, const QString &text)
{
    bool ok = false;
    switch (programItem(row).kind) {
    case ProgramKind::UnsignedInt:
        NumberText::toUInt32(text, &ok);
        return ok;
    case ProgramKind::BaudRate: {
        const uint32_t v = NumberText::toUInt32(text, &ok);
        return ok && baudRates().contains(v);
    }
    case ProgramKind::DataBits: {
        const uint32_t v = NumberText::toUInt32(text, &ok);
        return ok && v >= 5 && v <= 8;
    }
    case ProgramKind::Parity: return parityTexts().contains(text);
    case ProgramKind::StopBits: return stopBitsTexts().contains(text);
    case ProgramKind::FlowControl: return flowControlTexts().contains(text);
    }
    return false;
}

int programInteger(const QString &text)
{
    return NumberText::toInt32(text, nullptr);
}

double programSeconds(const QString &millisecondsText)
{
    return programInteger(millisecondsText) / 1000.0;
}

} // namespace DeviceItems
