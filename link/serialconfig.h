#pragma once
// The serial line parameters and the exact image of "./COM.conf.dat":
// 28 bytes, little-endian, no header, no checksum.

#include <QByteArray>
#include <QString>
#include <cstdint>

struct SerialConfig
{
    int32_t reserved = 3;       // carried along unchanged
    int32_t baudRate = 1200;
    int32_t dataBits = 8;       // QSerialPort::DataBits
    int32_t parity = 3;         // QSerialPort::Parity (3 = odd)
    int32_t stopBits = 1;       // QSerialPort::StopBits
    int32_t flowControl = 1;    // QSerialPort::FlowControl (1 = RTS/CTS)
    uint16_t rtsDelay = 10;     // ms of RTS hold per byte sent, without flow control
    uint8_t padding[2] = {0, 0};

    static constexpr int FileSize = 28;
    static QString defaultPath() { return QStringLiteral("./COM.conf.dat"); }

    // Loads the 28-byte file; on a missing or short file sets the defaults
    // (padding keeps what it held) and returns false. Nothing is validated.
    bool load(const QString &path = defaultPath());
    // Writes the 28 bytes (truncating). Returns false when the file could not
    // be opened or written.
    bool save(const QString &path = defaultPath()) const;

    QByteArray toBytes() const;
    // Takes the first 28 bytes; false (out untouched) when there are fewer.
    static bool fromBytes(const QByteArray &bytes, SerialConfig &out);
    void setDefaults();
    // True when every value is one a serial port can be asked to take.
    bool isUsable() const;
};
