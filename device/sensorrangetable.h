#pragma once
// Nominal measuring ranges of the transmitter family and the measuring units
// they are shown in. A sensor is identified by its key, device type code x 10
// + sensor code; each key has an ordered list of upper limits in kPa whose
// first entry is 0. The table remembers the selected list and unit so the
// range sliders can be labelled and the chosen limits sent in Pa.

#include <QString>
#include <QVector>
#include <utility>

class SensorRangeTable
{
public:
    static constexpr int UnitCount = 19;
    static constexpr int MaxRangeNumber = 10;

    SensorRangeTable();

    // Selects the list of a sensor key; a key without a list keeps the
    // previous selection. Returns whether the key has a list.
    bool selectSensorRange(int key);
    bool selectSensor(int deviceType, int sensorCode) { return selectSensorRange(sensorKey(deviceType, sensorCode)); }
    // Unit index below 0 selects 1, above 18 is stored as 18 (both factor 1).
    void selectUnit(int index);

    int size() const { return m_selected.size(); }            // n
    bool hasSelection() const { return !m_selected.isEmpty(); }
    int selectedKey() const { return m_selectedKey; }
    int unitIndex() const { return m_unitIndex; }
    double unitFactor() const { return unitFactorFor(m_unitIndex); }
    const QVector<double> &selectedList() const { return m_selected; }

    // List entry at i (clamped into the list) in the selected unit / in Pa.
    // With nothing selected both are 0 rather than reading outside the list.
    float displayValue(int i) const;
    float deviceValue(int i) const;
    // Text of a range slider's label: displayValue as printf "%g".
    QString labelText(int i) const;
    // Highest slider position of the selected list (n - 1).
    int maxIndex() const { return size() - 1; }
    // First index whose entry equals pa / 1000 within 1e-5; -1 when none.
    int indexOfValue(double pa) const;
    // Range number sent with an upper limit: n - 1 - slider value, kept
    // within 0..10.
    int rangeNumber(int upperSliderValue) const;

    // Key and list lookups.
    static int sensorKey(int deviceType, int sensorCode) { return deviceType * 10 + sensorCode; }
    static QVector<double> listForKey(int key);     // empty when the key has none
    static QVector<int> knownKeys();

    // Allowed sensor codes of a device type (limits of the sensor-code box);
    // an unknown type gives the widest, 1..8.
    static std::pair<int, int> sensorCodeLimits(int deviceType);
    // Unit text, factor (kPa into the unit) and the quantity it measures.
    static QString unitText(int index);
    static double unitFactorFor(int index);
    static QString quantityText(int index);
    // Base model name of a device type code 1..5, empty for any other.
    static QString modelName(int deviceType);

    // The two range sliders never meet: each is pushed back one step from
    // the other. Returns the value the moved slider should take.
    static int upperSliderValue(int requested, int lowerValue);
    static int lowerSliderValue(int requested, int upperValue);

private:
    QVector<double> m_selected;
    int m_selectedKey = 0;
    int m_unitIndex = 1;
};
