#pragma once
// The device data file as the device-parameters dialog writes and reads it:
// two-field "key:value" lines.
//
// Writing happens in steps: the fifteen calculated values first, then the
// values the device-parameters flow reads from the device, appended one by
// one while the file stays open. Reading takes a file of either kind (this
// one or the device data dialog's) into a table of 33 numbers.

#include "devicedata/diagnosticstreams.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

class QIODevice;

class ParametersFile
{
public:
    // The calculated values, in the order they are written.
    static constexpr int ParameterCount = 15;
    static const char *parameterKey(int index);

    // The table the reader fills, in its order.
    static constexpr int RecordSize = 33;
    static const char *recordKey(int index);
    static int recordIndex(const QByteArray &key); // -1 for an unknown key

    ParametersFile() = default;

    // Opens (truncating) for writing; an open file is closed first. On
    // failure "Couldn't open save file\n" goes to the diagnostics.
    bool open(const QString &path, DiagnosticStreams &diagnostics = DiagnosticStreams::standard());
    bool isOpen() const { return m_file.isOpen(); }
    void close();

    // The fifteen "%s:%g" lines.
    bool writeParameters(const std::array<float, ParameterCount> &values);
    static QByteArray parameterLines(const std::array<float, ParameterCount> &values);

    // Appended lines, each flushed at once: the flow that appends them may
    // stall on a device that stops answering, and what was read until then
    // should be on disk.
    bool appendG(const char *key, double value);       // "%g"
    bool appendInt(const char *key, int value);        // "%d"
    bool appendF(const char *key, double value);       // "%f"
    bool appendUInt(const char *key, uint32_t value);  // "%u"
    bool appendText(const char *key, const QString &text);

    enum class LoadStatus {
        Ok,
        OpenFailed,
        Corrupted,   // a value does not parse
        Refused      // a value no register can hold: not finite, beyond a
                     // single float, a serial number beyond 32 bits
    };
    struct LoadResult
    {
        LoadStatus status = LoadStatus::OpenFailed;
        // Zero and not found for every key the file does not name; all zero
        // unless status is Ok (a file that is not taken hands nothing over).
        std::array<float, RecordSize> values{};
        // The same values before they are made singles: the integer items
        // (the serial number above all) exactly as the file gives them.
        std::array<double, RecordSize> exact{};
        std::array<bool, RecordSize> found{};
        // Why the file was not taken, in the operator's words; empty when Ok.
        QString problem;

        bool complete() const;          // every one of the 33 keys was found
        QStringList missingKeys() const;
    };

    static LoadResult load(const QString &path,
                           DiagnosticStreams &diagnostics = DiagnosticStreams::standard());
    static LoadResult load(QIODevice &device,
                           DiagnosticStreams &diagnostics = DiagnosticStreams::standard());

private:
    bool appendRaw(const QByteArray &line);

    QFile m_file;
};
