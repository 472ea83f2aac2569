#pragma once
// One received answer frame split into its fields. This device family answers
// with the delimiter of the request and its byte count covers only the data
// after the two status bytes, so a short answer is preamble + 7 + byte count
// bytes and a long one preamble + 11 + byte count.

#include <QByteArray>
#include <cstdint>

class HartAnswer
{
public:
    HartAnswer() = default;
    // A zero-filled frame of the given size, to be filled through raw().
    explicit HartAnswer(int frameSize);

    // Copies the bytes in and parses them.
    bool parse(const QByteArray &frame);
    // Parses what raw() holds. Returns false when the bytes do not hold a
    // whole frame: no delimiter, or a byte count that reaches past the last
    // byte. Nothing is ever read beyond the bytes held.
    bool parse();

    QByteArray &raw() { return m_raw; }
    const QByteArray &raw() const { return m_raw; }

    bool isValid() const { return m_valid; }
    // XOR of delimiter through last data byte against the checksum byte.
    // False for a frame that did not parse.
    bool checksumOk() const;
    // The checksum of a frame's bytes from its delimiter up to (not
    // including) the checksum byte: their XOR.
    static uint8_t checksumOf(const char *bytes, int size);

    int totalLength() const { return m_totalLength; }
    int preambleCount() const { return m_preambleCount; }
    bool isLongFrame() const { return m_longFrame; }
    // The fields below are cut from raw() on demand, so parsing itself
    // allocates nothing.
    QByteArray address() const { return m_raw.mid(m_addressOffset, m_addressLength); }
    // Bits 6 and 7 of a short address (and of a long address's first byte)
    // are the master and burst bits a device may echo; they never name it.
    static constexpr uint8_t AddressMask = 0x3F;
    // The short address: byte 2 of a long address, byte 0 of a short one
    // without its master and burst bits.
    uint8_t shortAddress() const;
    // The first byte of a long address without those bits; -1 for a short
    // frame.
    int longAddressHead() const;
    int command() const { return m_command; }
    int byteCount() const { return m_byteCount; }
    uint8_t status1() const { return m_status1; }
    uint8_t status2() const { return m_status2; }
    QByteArray data() const { return m_raw.mid(m_dataOffset, m_dataLength); }
    uint8_t checksum() const { return m_checksum; }

private:
    void clearFields();

    QByteArray m_raw;
    int m_addressOffset = 0;
    int m_addressLength = 0;
    int m_dataOffset = 0;
    int m_dataLength = 0;
    int m_totalLength = 0;
    int m_preambleCount = 0;
    int m_command = 0;
    int m_byteCount = 0;
    uint8_t m_status1 = 0;
    uint8_t m_status2 = 0;
    uint8_t m_checksum = 0;
    bool m_longFrame = false;
    bool m_valid = false;
};
