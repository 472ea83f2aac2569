#include "devicedata/parametersfile.h"

#include "devicedata/deviceitems.h"
#include "devicedata/linereader.h"
#include "devicedata/numbertext.h"

#include <QIODevice>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

const char *const kParameterKeys[ParametersFile::ParameterCount] = {
    "Uk1h", "Uk2h", "U10", "U20", "a42", "a41", "a40", "b42",
    "b41", "b40", "c42", "c41", "c40", "c43", "Pmax",
};

const char *const kRecordKeys[ParametersFile::RecordSize] = {
    "bal_IDAC", "Itenzo", "Pmax", "Uk1h", "Uk2h", "U10", "U20", "a42", "a41",
    "a40", "bal_dP", "model_name", "model_code", "b42", "b41", "b40", "c42", "c41",
    "c40", "Ksi", "Kdsp0", "Kdsp1", "Kdsp2", "Kdsp3", "Kdsp4", "Kdsp5", "Kdsp6",
    "Kdsp7", "Kdsp8", "Kdsp9", "Kdsp10", "c43", "serial",
};

enum class Conversion { Int, ULong, Double, Model };

Conversion conversionOf(int index)
{
    const QByteArray key = kRecordKeys[index];
    if (key == "bal_IDAC" || key == "Itenzo" || key == "model_code")
        return Conversion::Int;
    if (key == "serial")
        return Conversion::ULong;
    if (key == "model_name")
        return Conversion::Model;
    return Conversion::Double;
}

const char *conversionName(Conversion c)
{
    switch (c) {
    case Conversion::Int: return "stoi";
    case Conversion::ULong: return "stoul";
    default: return "stod";
    }
}

// The table holds singles. A double beyond their range becomes the infinity
// of its sign, as the hardware conversion would give, instead of relying on
// a conversion the language leaves undefined.
float toSingle(double d)
{
    if (std::isfinite(d) && std::fabs(d) > double(FLT_MAX))
        return d > 0 ? std::numeric_limits<float>::infinity()
                     : -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

} // namespace

const char *ParametersFile::parameterKey(int index)
{
    Q_ASSERT(index >= 0 && index < ParameterCount);
    return kParameterKeys[index];
}

const char *ParametersFile::recordKey(int index)
{
    Q_ASSERT(index >= 0 && index < RecordSize);
    return kRecordKeys[index];
}

int ParametersFile::recordIndex(const QByteArray &key)
{
    for (int i = 0; i < RecordSize; ++i) {
        if (key == kRecordKeys[i])
            return i;
    }
    return -1;
}

bool ParametersFile::open(const QString &path, DiagnosticStreams &diagnostics)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        diagnostics.err("Couldn't open save file\n");
        return false;
    }
    return true;
}

void ParametersFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

QByteArray ParametersFile::parameterLines(const std::array<float, ParameterCount> &values)
{
    QByteArray out;
    for (int i = 0; i < ParameterCount; ++i) {
        out += kParameterKeys[i];
        out += ':';
        out += NumberText::formatG(double(values[size_t(i)])).toLatin1();
        out += '\n';
    }
    return out;
}

bool ParametersFile::writeParameters(const std::array<float, ParameterCount> &values)
{
    return appendRaw(parameterLines(values));
}

bool ParametersFile::appendRaw(const QByteArray &line)
{
    if (!m_file.isOpen())
        return false;
    return m_file.write(line) == line.size() && m_file.flush();
}

bool ParametersFile::appendG(const char *key, double value)
{
    return appendRaw(QByteArray(key) + ':' + NumberText::formatG(value).toLatin1() + '\n');
}

bool ParametersFile::appendInt(const char *key, int value)
{
    return appendRaw(QByteArray(key) + ':' + QByteArray::number(value) + '\n');
}

bool ParametersFile::appendF(const char *key, double value)
{
    return appendRaw(QByteArray(key) + ':' + NumberText::formatF(value).toLatin1() + '\n');
}

bool ParametersFile::appendUInt(const char *key, uint32_t value)
{
    return appendRaw(QByteArray(key) + ':' + QByteArray::number(value) + '\n');
}

bool ParametersFile::appendText(const char *key, const QString &text)
{
    return appendRaw(QByteArray(key) + ':' + text.toUtf8() + '\n');
}

bool ParametersFile::LoadResult::complete() const
{
    for (bool f : found)
        if (!f)
            return false;
    return true;
}

QStringList ParametersFile::LoadResult::missingKeys() const
{
    QStringList keys;
    for (int i = 0; i < RecordSize; ++i)
        if (!found[size_t(i)])
            keys << QLatin1String(kRecordKeys[i]);
    return keys;
}

ParametersFile::LoadResult ParametersFile::load(const QString &path,
                                                DiagnosticStreams &diagnostics)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        diagnostics.err("Error opening file\n");
        LoadResult r;
        r.problem = QStringLiteral("не удалось открыть файл: ") + file.errorString();
        return r;
    }
    return load(file, diagnostics);
}

ParametersFile::LoadResult ParametersFile::load(QIODevice &device, DiagnosticStreams &diagnostics)
{
    LoadResult r;
    std::array<float, RecordSize> values{};
    std::array<double, RecordSize> exact{};
    std::array<bool, RecordSize> found{};
    LineReader lines(device);
    QByteArray line;
    // Line by line until the end, where a final terminator (or an empty file)
    // still yields one empty line of its own.
    bool more = true;
    bool terminated = true;
    while (more) {
        if (lines.next(&line)) {
            terminated = line.endsWith('\n');
            if (terminated)
                line.chop(1);
        } else {
            if (!terminated)
                break;
            line.clear();
            more = false;
        }

        const int colon = line.indexOf(':');
        if (colon < 0) {
            diagnostics.err("No ':' found\n");
            continue;
        }
        const QByteArray key = line.left(colon);
        const QByteArray value = line.mid(colon + 1);
        diagnostics.out(key + " == " + value + '\n');

        const int index = recordIndex(key);
        if (index < 0)
            continue;
        const Conversion conv = conversionOf(index);
        NumberText::PrefixStatus status = NumberText::PrefixStatus::Ok;
        double number = 0;
        // What no register can hold is refused, not made into something it
        // can: an erased cell's "nan" or a serial number that does not fit
        // would otherwise reach the device.
        QString refusal;
        switch (conv) {
        case Conversion::Int: {
            int v = 0;
            status = NumberText::prefixToInt(value, &v);
            number = v;
            break;
        }
        case Conversion::ULong: {
            uint64_t v = 0;
            status = NumberText::prefixToULong(value, &v);
            number = double(v);
            // strtoul takes "-1" for 2^64 - 1: no serial number either way.
            if (status == NumberText::PrefixStatus::Ok
                && (v > 0xffffffffull || value.trimmed().startsWith('-')))
                refusal = QStringLiteral("вне диапазона 0…4294967295");
            break;
        }
        case Conversion::Double: {
            double v = 0;
            status = NumberText::prefixToDouble(value, &v);
            if (status == NumberText::PrefixStatus::Ok) {
                diagnostics.err(key + " .= " + NumberText::formatG(v).toLatin1() + '\n');
                number = v;
                if (!std::isfinite(v))
                    refusal = QStringLiteral("не число");
                else if (std::fabs(v) > double(FLT_MAX))
                    refusal = QStringLiteral("вне диапазона чисел прибора");
            }
            break;
        }
        case Conversion::Model:
            number = DeviceItems::modelNumber(QString::fromUtf8(value));
            // Compare bytes, not decoded text: invalid UTF-8 must not match.
            if (number != 0 && DeviceItems::modelName(int(number)).toUtf8() != value)
                number = 0;
            break;
        }
        if (status != NumberText::PrefixStatus::Ok) {
            const bool invalid = status == NumberText::PrefixStatus::InvalidArgument;
            diagnostics.err(QByteArray("Configuration file is corrupted: ") + conversionName(conv)
                            + (invalid ? " invalid argument\n" : " out of range\n"));
            r.status = LoadStatus::Corrupted;
            r.problem = QStringLiteral("значение «%1» %2").arg(QString::fromUtf8(key),
                    invalid ? QStringLiteral("не число") : QStringLiteral("вне допустимого диапазона"));
            return r;
        }
        if (!refusal.isEmpty()) {
            diagnostics.err("Configuration file holds a value no register can hold: " + key + '\n');
            r.status = LoadStatus::Refused;
            r.problem = QStringLiteral("значение «%1» (%2) %3")
                                .arg(QString::fromUtf8(key), QString::fromUtf8(value.trimmed().left(40)), refusal);
            return r;
        }
        values[size_t(index)] = conv == Conversion::Double ? toSingle(number) : float(number);
        exact[size_t(index)] = number;
        found[size_t(index)] = true;
    }
    r.status = LoadStatus::Ok;
    r.values = values;
    r.exact = exact;
    r.found = found;
    return r;
}
