#include "device/sensorrangetable.h"

#include "device/valuecodec.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace {

struct RangeRow
{
    std::initializer_list<int> keys;
    std::initializer_list<double> kPa;
};

const QHash<int, QVector<double>> &rangeLists()
{
    static const QHash<int, QVector<double>> lists = [] {
        const RangeRow rows[] = {
            {{11, 31}, {0, 0.25, 0.4, 0.6, 0.63, 1, 1.6, 2.5, 4, 6, 6.3}},
            {{12, 22, 32}, {0, 1, 1.6, 2.5, 4, 6, 6.3, 10, 16, 25}},
            {{13}, {0, 6, 10, 16, 25, 40, 60, 63, 100}},
            {{14, 24}, {0, 25, 40, 60, 63, 100, 160, 250, 400, 600}},
            {{15}, {0, 60, 63, 100, 160, 250, 400, 630, 1600, 2500}},
            {{16, 26}, {0, 250, 400, 600, 630, 1600, 2500, 4000, 6000}},
            {{17}, {0, 600, 630, 1600, 2500, 4000, 6000, 6300, 10000, 16000}},
            {{18}, {0, 1600, 2500, 4000, 6000, 6300, 10000, 16000, 25000, 40000}},
            {{23}, {0, 6, 10, 16, 25, 40, 60, 63, 100, 160}},
            {{25}, {0, 60, 63, 100, 160, 250, 400, 600, 630, 1600}},
            {{33}, {0, 1, 1.6, 2.5, 4, 6, 6.3, 10, 16, 25, 40}},
            {{34, 43}, {0, 6, 6.3, 10, 16, 25, 40, 60, 63, 100}},
            {{35}, {0, 25, 40, 60, 63, 100, 160, 250, 400, 600, 630}},
            {{36}, {0, 60, 63, 100, 160, 250, 400, 600, 630, 1600, 2500}},
            {{37}, {0, 250, 400, 600, 630, 1600, 2500, 4000, 6000, 6300}},
            {{51}, {0, 0.125, 0.2, 0.315, 0.5, 0.8, 1.25, 2, 3.15}},
            {{52}, {0, 0.5, 0.8, 1.25, 2, 3.15, 5, 8, 12.5}},
            {{53}, {0, 3, 5, 8, 12.5, 20, 31.5, 50}},
        };
        QHash<int, QVector<double>> h;
        for (const RangeRow &row : rows)
            for (int key : row.keys)
                h.insert(key, QVector<double>(row.kPa));
        return h;
    }();
    return lists;
}

struct UnitRow
{
    const char *text;
    double factor;
    const char *quantity;
};

// Latin "c" in "кгc/см2" and Latin "C" in "°C"; Cyrillic "С" in "(4°С)".
const UnitRow units[SensorRangeTable::UnitCount] = {
    {"Па", 1000, "Давление"},
    {"кПа", 1, "Давление"},
    {"МПа", 0.001, "Давление"},
    {"кгc/см2", 0.010197162, "Давление"},
    {"бар", 0.01, "Давление"},
    {"мм рт.ст.", 7.50062, "Давление"},
    {"мм вод.ст. (4°С)", 101.9716, "Давление"},
    {"физич. атм.", 0.009869233, "Давление"},
    {"мА", 1, "Ток"},
    {"°C", 1, "Температура"},
    {"мл/мин", 1, "Расход"},
    {"л/ч", 1, "Расход"},
    {"м3/ч", 1, "Расход"},
    {"мм", 1, "Уровень"},
    {"см", 1, "Уровень"},
    {"м", 1, "Уровень"},
    {"г/л", 1, "Плотность"},
    {"г/см3", 1, "Плотность"},
    {"кг/м3", 1, "Плотность"},
};

const char *const modelNames[] = {"ЛТ3920ДИ", "ЛТ3920ДА", "ЛТ3920ДД", "ЛТ3920ДВ", "ЛТ3920ДВИ"};

} // namespace

SensorRangeTable::SensorRangeTable() = default;

bool SensorRangeTable::selectSensorRange(int key)
{
    const auto it = rangeLists().constFind(key);
    if (it == rangeLists().constEnd())
        return false;
    m_selected = it.value();
    m_selectedKey = key;
    return true;
}

void SensorRangeTable::selectUnit(int index)
{
    m_unitIndex = index < 0 ? 1 : qMin(index, UnitCount - 1);
}

float SensorRangeTable::displayValue(int i) const
{
    if (m_selected.isEmpty())
        return 0.0f;
    return float(m_selected.at(qBound(0, i, m_selected.size() - 1)) * unitFactor());
}

float SensorRangeTable::deviceValue(int i) const
{
    if (m_selected.isEmpty())
        return 0.0f;
    return float(m_selected.at(qBound(0, i, m_selected.size() - 1)) * 1000.0);
}

QString SensorRangeTable::labelText(int i) const
{
    return ValueCodec::formatG(double(displayValue(i)));
}

int SensorRangeTable::indexOfValue(double pa) const
{
    const double kPa = pa / 1000.0;
    for (int i = 0; i < m_selected.size(); ++i)
        if (std::fabs(m_selected.at(i) - kPa) < 0.00001)
            return i;
    return -1;
}

int SensorRangeTable::rangeNumber(int upperSliderValue) const
{
    return qBound(0, size() - 1 - upperSliderValue, MaxRangeNumber);
}

QVector<double> SensorRangeTable::listForKey(int key)
{
    return rangeLists().value(key);
}

QVector<int> SensorRangeTable::knownKeys()
{
    QVector<int> keys = rangeLists().keys().toVector();
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::pair<int, int> SensorRangeTable::sensorCodeLimits(int deviceType)
{
    switch (deviceType) {
    case 1: return {1, 8};
    case 2: return {2, 6};
    case 3: return {1, 7};
    case 4: return {3, 3};
    case 5: return {1, 3};
    default: return {1, 8};
    }
}

QString SensorRangeTable::unitText(int index)
{
    if (index < 0 || index >= UnitCount)
        return QString();
    return QString::fromUtf8(units[index].text);
}

double SensorRangeTable::unitFactorFor(int index)
{
    if (index < 0 || index >= UnitCount)
        return 1.0;
    return units[index].factor;
}

QString SensorRangeTable::quantityText(int index)
{
    // Everything past the density units still reads as density.
    if (index >= UnitCount)
        return QString::fromUtf8(units[UnitCount - 1].quantity);
    if (index < 0)
        index = 0;
    return QString::fromUtf8(units[index].quantity);
}

QString SensorRangeTable::modelName(int deviceType)
{
    if (deviceType < 1 || deviceType > 5)
        return QString();
    return QString::fromUtf8(modelNames[deviceType - 1]);
}

int SensorRangeTable::upperSliderValue(int requested, int lowerValue)
{
    return lowerValue >= requested ? lowerValue + 1 : requested;
}

int SensorRangeTable::lowerSliderValue(int requested, int upperValue)
{
    return requested >= upperValue ? upperValue - 1 : requested;
}
