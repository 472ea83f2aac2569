#include "devicedata/devicerecord.h"

#include "devicedata/numbertext.h"

QString DeviceRecord::deviceText(int position) const
{
    Q_ASSERT(position >= 0 && position < DeviceItems::DeviceItemCount);
    return m_device[size_t(position)];
}

void DeviceRecord::setDeviceText(int position, const QString &text)
{
    Q_ASSERT(position >= 0 && position < DeviceItems::DeviceItemCount);
    m_device[size_t(position)] = text;
}

QString DeviceRecord::programText(const QString &key) const
{
    const int row = DeviceItems::programRow(key);
    return row < 0 ? QString() : m_program[size_t(row)];
}

bool DeviceRecord::setProgramText(const QString &key, const QString &text)
{
    const int row = DeviceItems::programRow(key);
    if (row < 0)
        return false;
    m_program[size_t(row)] = text;
    return true;
}

QString DeviceRecord::programTextAt(int row) const
{
    Q_ASSERT(row >= 0 && row < DeviceItems::ProgramItemCount);
    return m_program[size_t(row)];
}

void DeviceRecord::setProgramTextAt(int row, const QString &text)
{
    Q_ASSERT(row >= 0 && row < DeviceItems::ProgramItemCount);
    m_program[size_t(row)] = text;
}

float DeviceRecord::toFloat(int position) const
{
    return NumberText::toFloat(deviceText(position), nullptr);
}

uint32_t DeviceRecord::toUInt32(int position) const
{
    return NumberText::toUInt32(deviceText(position), nullptr);
}

uint16_t DeviceRecord::toUInt16(int position) const
{
    return NumberText::toUInt16(deviceText(position), nullptr);
}

int DeviceRecord::firstEmptyDeviceItem() const
{
    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i) {
        if (m_device[size_t(i)].isEmpty())
            return i;
    }
    return -1;
}

void DeviceRecord::clear()
{
    for (QString &s : m_device)
        s.clear();
    for (QString &s : m_program)
        s.clear();
}

bool DeviceRecord::operator==(const DeviceRecord &other) const
{
    return m_device == other.m_device && m_program == other.m_program;
}
