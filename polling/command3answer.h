#pragma once
// The data of a command-3 answer: the loop current as a big-endian IEEE-754
// single at offset 0, then four dynamic variables, each a unit-code byte
// followed by a big-endian single (variable k at offset 5k, its unit byte at
// 5k-1). 24 bytes in all.

#include <QByteArray>
#include <cstdint>

class Command3Answer
{
public:
    static constexpr int DataSize = 24;
    static constexpr int ValueCount = 5;    // current + 4 variables

    // Decodes what the data holds. A value whose four bytes are not all
    // present reads 0, and complete() is then false: such an answer (for
    // example an error answer without data) must neither be recorded nor
    // averaged, whatever its checksum says.
    static Command3Answer decode(const QByteArray &data);

    // k = 0: loop current in mA; k = 1..4: dynamic variables 1..4.
    float value(int k) const { return (k >= 0 && k < ValueCount) ? m_values[k] : 0.0f; }
    float current() const { return m_values[0]; }
    float variable(int n) const { return (n >= 1 && n <= 4) ? m_values[n] : 0.0f; }
    // Unit code byte in front of variable k (k = 1..4; 0 for the current,
    // which has none). Not used by the display, kept for diagnostics.
    uint8_t unitCode(int k) const { return (k >= 0 && k < ValueCount) ? m_units[k] : 0; }
    bool complete() const { return m_complete; }

private:
    float m_values[ValueCount] = {0, 0, 0, 0, 0};
    uint8_t m_units[ValueCount] = {0, 0, 0, 0, 0};
    bool m_complete = false;
};
