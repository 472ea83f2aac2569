#pragma once
// The transmitter's parameter memory as the tool sees it: a byte-addressed
// space with 16-bit addresses, read with command 51 and written with command
// 91. Every multi-byte value is big-endian; floats are IEEE-754 singles.
//
// Addresses and widths are named here once so that the operation table, the
// coefficient groups and the tests all agree on them.

#include <cstdint>

namespace RegisterMap {

// HART commands the device operations use.
constexpr int CmdSetUpperRange = 36;
constexpr int CmdSetLowerRange = 37;   // also the zero adjustment
constexpr int CmdDeviceReset = 42;
constexpr int CmdSetPvZero = 43;
constexpr int CmdReadRegisters = 51;
constexpr int CmdWriteRegisters = 91;

constexpr int FloatWidth = 4;

// Single-byte registers
constexpr uint16_t Mode = 0x0001;                 // u8: 1..2 HART, 3..11 RS-485
constexpr uint16_t PollAddress = 0x0003;          // u8
constexpr uint16_t MovingAverageU12 = 0x000B;     // s8
constexpr uint16_t MovingAverageU34 = 0x000D;     // s8
constexpr uint16_t CurrentZeroBalance = 0x0015;   // u8 ("bal_IDAC")
constexpr uint16_t CurrentLoopMode = 0x0017;      // s8 ("Itenzo")
constexpr int CurrentBlockWidth = 3;              // 0x0015..0x0017 read as one block
constexpr uint16_t FixedCurrentMode = 0x0019;     // u8: 1 on, 0 off
constexpr uint16_t EepromPassword = 0x00FB;       // u8

// 16-bit registers
constexpr uint16_t FixedCurrentCode = 0x001A;     // u16 over the loop span
constexpr uint16_t RangeNumber = 0x00F2;          // u16, 0 = widest range
constexpr uint16_t MeasureUnit = 0x00F4;          // u16
constexpr uint16_t DeviceType = 0x00F6;           // u16, followed by the sensor code
constexpr uint16_t SensorCode = 0x00F8;           // u16
constexpr int DeviceSettingsBlockWidth = 6;       // unit, type, sensor code in one read

// 32-bit registers
constexpr uint16_t MaxUpperLimit = 0x001E;        // float Pmax, Pa
constexpr uint16_t UpperLimit = 0x0022;           // float Pv, Pa
constexpr uint16_t Uk1h = 0x0026;                 // float; Uk2h, U10, U20 follow
constexpr uint16_t Uk2h = 0x002A;
constexpr uint16_t U10 = 0x002E;
constexpr uint16_t U20 = 0x0032;
constexpr uint16_t LowerLimit = 0x0036;           // float Pn, Pa
constexpr uint16_t SerialNumber = 0x003A;         // u32
constexpr uint16_t A42 = 0x004E;
constexpr uint16_t A41 = 0x0052;
constexpr uint16_t A40 = 0x0056;
constexpr uint16_t PressureZeroBalance = 0x005A;  // "bal_dP"
constexpr uint16_t CurrentValue = 0x00C8;         // float
constexpr uint16_t PressureValue = 0x00CC;        // float
constexpr uint16_t B42 = 0x0100;
constexpr uint16_t B41 = 0x0104;
constexpr uint16_t B40 = 0x0108;
constexpr uint16_t C42 = 0x010C;
constexpr uint16_t C41 = 0x0110;
constexpr uint16_t C40 = 0x0114;
constexpr uint16_t T42 = 0x0118;
constexpr uint16_t T41 = 0x011C;
constexpr uint16_t T40 = 0x0120;
constexpr uint16_t CurrentCorrection = 0x0124;    // float "Ksi"
constexpr uint16_t Kdsp0 = 0x0128;                // Kdsp0..Kdsp10, 4 bytes apart
constexpr int KdspCount = 11;
constexpr uint16_t kdsp(int k) { return uint16_t(Kdsp0 + 4 * k); }
constexpr uint16_t Kdsp5 = kdsp(5);               // 0x013C, second half of the range block
constexpr uint16_t Kdsp6 = kdsp(6);               // 0x0140
constexpr uint16_t C43 = 0x0154;
constexpr uint16_t PulseAmplitude = 0x0188;       // float, %
constexpr uint16_t Ak0 = 0x0190;                  // ak0..ak3, then Kmin, Kmax
constexpr uint16_t Ak1 = 0x0194;
constexpr uint16_t Ak2 = 0x0198;
constexpr uint16_t Ak3 = 0x019C;
constexpr uint16_t Kmin = 0x01A0;
constexpr uint16_t Kmax = 0x01A4;

constexpr uint8_t highByte(uint16_t reg) { return uint8_t(reg >> 8); }
constexpr uint8_t lowByte(uint16_t reg) { return uint8_t(reg & 0xFF); }

} // namespace RegisterMap
