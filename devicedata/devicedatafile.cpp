#include "devicedata/devicedatafile.h"

#include "devicedata/linereader.h"
#include "devicedata/numbertext.h"
#include "devicedata/safesave.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString u8(const char *s) { return QString::fromUtf8(s); }

void appendLine(QByteArray &out, const char *key, const QString &value,
                const QString &description)
{
    out += key;
    out += ':';
    out += value.toUtf8();
    out += ':';
    out += description.toUtf8();
    out += '\n';
}

UserMessage saveFailed(const QString &error)
{
    return {UserMessage::Critical, u8("Ошибка"),
            u8("Ошибка при сохранении конфигурационного файла: ") + error};
}

// A two-field line carries its line terminator in the value. The number
// conversions ignore it, but the text kept for the item must not: the dialog
// would show it and the next save would break the item's line in two.
QString withoutTerminator(const QString &value)
{
    QString v = value;
    while (v.endsWith(QLatin1Char('\n')) || v.endsWith(QLatin1Char('\r')))
        v.chop(1);
    return v;
}

// Applies one line to the result. Split at the first two colons only:
// further fields (the description) are ignored, and a line of a million
// colons costs no more than a line of one.
void loadLine(const QByteArray &raw, DeviceDataFile::LoadResult &r, DiagnosticStreams &diag)
{
    // Every byte is kept (a NUL included) so that a damaged value fails its
    // conversion rather than loading a truncated number.
    const QString line = QString::fromUtf8(raw.constData(), raw.size());
    const int c1 = line.indexOf(QLatin1Char(':'));
    if (c1 < 0) {
        diag.err("No ':' found\n");
        return;
    }
    const int c2 = line.indexOf(QLatin1Char(':'), c1 + 1);
    const QString key = line.left(c1);
    const QString value = c2 < 0 ? line.mid(c1 + 1) : line.mid(c1 + 1, c2 - c1 - 1);
    diag.out(key.toUtf8() + " == " + value.toUtf8() + '\n');

    const int pos = DeviceItems::devicePosition(key);
    if (pos >= 0) {
        bool ok = false;
        if (DeviceItems::deviceItem(pos).kind == DeviceItems::ValueKind::Float) {
            const float f = NumberText::toFloat(value, &ok);
            if (ok)
                diag.err(key.toUtf8() + " .= " + NumberText::formatG(double(f)).toUtf8() + '\n');
        } else {
            ok = DeviceItems::isValidDeviceText(pos, value);
        }
        if (ok) {
            r.record.setDeviceText(pos, withoutTerminator(value));
            r.devicePositionsLoaded.append(pos);
        }
    }

    const int row = DeviceItems::programRow(key);
    if (row >= 0) {
        if (DeviceItems::isValidProgramText(row, value)) {
            r.record.setProgramTextAt(row, withoutTerminator(value));
            r.programRowsLoaded.append(row);
        } else {
            r.messages.append({UserMessage::Critical, u8("Ошибка"),
                               u8("Ошибка при чтении конфигурационного файла: ") + key
                                       + QLatin1Char(' ') + withoutTerminator(value)});
        }
    }
}

} // namespace

QByteArray DeviceDataFile::serialize(const DeviceRecord &record)
{
    QByteArray out;
    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i) {
        const QString v = record.deviceText(i);
        if (!v.isEmpty())
            appendLine(out, DeviceItems::deviceItem(i).key, v, DeviceItems::deviceDescription(i));
    }
    // Program items in grid order: readers do not depend on it, but a fixed
    // order keeps saved files comparable.
    for (int i = 0; i < DeviceItems::ProgramItemCount; ++i) {
        const QString v = record.programTextAt(i);
        if (!v.isEmpty())
            appendLine(out, DeviceItems::programItem(i).key, v, DeviceItems::programDescription(i));
    }
    return out;
}

DeviceDataFile::SaveResult DeviceDataFile::save(const QString &path, const DeviceRecord &record,
                                                DiagnosticStreams &diagnostics)
{
    SaveResult r;
    r.absolutePath = QFileInfo(path).absoluteFilePath();
    // Replaced atomically where that changes nothing but the contents;
    // written in place or refused where it would (SafeSave).
    const SafeSave::Result saved = SafeSave::write(path, serialize(record));
    if (!saved.ok) {
        r.errorString = saved.error;
        diagnostics.err("Couldn't open save file: " + r.errorString.toUtf8() + '\n');
        r.message = saveFailed(r.errorString);
        return r;
    }
    r.ok = true;
    r.message = {UserMessage::Information, u8("Сохранение"),
                 u8("Конфигурационный файл успешно сохранён по пути: ") + r.absolutePath};
    return r;
}

DeviceDataFile::LoadResult DeviceDataFile::load(const QString &path, const DeviceRecord &current,
                                                DiagnosticStreams &diagnostics)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        diagnostics.err("Error opening file\n");
        LoadResult r;
        r.record = current;
        return r;
    }
    return load(file, current, diagnostics);
}

DeviceDataFile::LoadResult DeviceDataFile::load(QIODevice &device, const DeviceRecord &current,
                                                DiagnosticStreams &diagnostics)
{
    LoadResult r;
    r.opened = true;
    r.record = current;
    LineReader lines(device);
    QByteArray raw;
    while (lines.next(&raw))
        loadLine(raw, r, diagnostics);
    return r;
}
