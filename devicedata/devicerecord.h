#pragma once
// The device data record as the tool holds it: one value text per device item
// and per program item. An empty text means the item has no value ("not
// filled"); numbers are produced from the texts only at the edges (file load,
// bulk write, applying program settings).

#include "devicedata/deviceitems.h"

#include <QString>
#include <array>
#include <cstdint>

class DeviceRecord
{
public:
    DeviceRecord() = default;

    QString deviceText(int position) const;
    void setDeviceText(int position, const QString &text);
    bool isDeviceFilled(int position) const { return !deviceText(position).isEmpty(); }

    // By key; a key that is not a program item changes nothing (false) and
    // reads as an empty text.
    QString programText(const QString &key) const;
    bool setProgramText(const QString &key, const QString &text);
    QString programTextAt(int row) const;
    void setProgramTextAt(int row, const QString &text);

    // Number conversions of a device item's text; a text that does not
    // convert gives 0.
    float toFloat(int position) const;
    uint32_t toUInt32(int position) const;
    uint16_t toUInt16(int position) const;

    // Position of the first device item without a value, -1 when all 39 have
    // one. Program items are not looked at: they never go to the device.
    int firstEmptyDeviceItem() const;

    void clear();

    bool operator==(const DeviceRecord &other) const;
    bool operator!=(const DeviceRecord &other) const { return !(*this == other); }

private:
    std::array<QString, DeviceItems::DeviceItemCount> m_device;
    std::array<QString, DeviceItems::ProgramItemCount> m_program;
};
