#include "link/hartanswer.h"

HartAnswer::HartAnswer(int frameSize)
    : m_raw(qMax(frameSize, 0), '\0')
{
}

bool HartAnswer::parse(const QByteArray &frame)
{
    m_raw = frame;
    return parse();
}

void HartAnswer::clearFields()
{
    m_addressOffset = m_addressLength = 0;
    m_dataOffset = m_dataLength = 0;
    m_totalLength = 0;
    m_preambleCount = 0;
    m_command = 0;
    m_byteCount = 0;
    m_status1 = m_status2 = m_checksum = 0;
    m_longFrame = false;
    m_valid = false;
}

bool HartAnswer::parse()
{
    clearFields();
    const auto *b = reinterpret_cast<const uint8_t *>(m_raw.constData());
    const int size = m_raw.size();

    int i = 0;
    while (i < size && b[i] == 0xFF)
        ++i;
    m_preambleCount = i;
    if (i >= size || (b[i] != 0x02 && b[i] != 0x82))
        return false;
    m_longFrame = b[i] == 0x82;

    const int addressLength = m_longFrame ? 5 : 1;
    const int p = i + 1 + addressLength;
    // Address, command, byte count and both status bytes must be there
    // before the byte count can be trusted.
    if (p + 4 > size)
        return false;
    m_addressOffset = i + 1;
    m_addressLength = addressLength;
    m_command = b[p];
    m_byteCount = b[p + 1];
    m_status1 = b[p + 2];
    m_status2 = b[p + 3];

    const int total = p + 5 + m_byteCount;
    if (total > size)
        return false;
    m_dataOffset = p + 4;
    m_dataLength = m_byteCount;
    m_checksum = b[p + 4 + m_byteCount];
    m_totalLength = total;
    m_valid = true;
    return true;
}

bool HartAnswer::checksumOk() const
{
    if (!m_valid)
        return false;
    const int last = m_totalLength - 1;
    return checksumOf(m_raw.constData() + m_preambleCount, last - m_preambleCount) == uint8_t(m_raw.at(last));
}

uint8_t HartAnswer::checksumOf(const char *bytes, int size)
{
    uint8_t sum = 0;
    for (int i = 0; i < size; ++i)
        sum ^= uint8_t(bytes[i]);
    return sum;
}

uint8_t HartAnswer::shortAddress() const
{
    if (m_addressLength == 0)
        return 0;
    if (m_longFrame)
        return uint8_t(m_raw.at(m_addressOffset + 2));
    return uint8_t(m_raw.at(m_addressOffset)) & AddressMask;
}

int HartAnswer::longAddressHead() const
{
    if (!m_longFrame || m_addressLength == 0)
        return -1;
    return uint8_t(m_raw.at(m_addressOffset)) & AddressMask;
}
