#include "calc/pointfiles.h"

#include "calc/calibrationpointset.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

std::array<float, 6> ReferenceVoltages::variable(int v) const
{
    switch (v) {
    case 1: return {U1nl, U1nn, U1nh, U1hl, U1hn, U1hh};
    case 2: return {U2nl, U2nn, U2nh, U2hl, U2hn, U2hh};
    case 4: return {U4nl, U4nn, U4nh, U4hl, U4hn, U4hh};
    default: return {0, 0, 0, 0, 0, 0};
    }
}

namespace {

constexpr int FieldsPerLine = 6;

void say(CalcMessages *messages, CalcMessage::Kind kind, const QString &text)
{
    if (messages)
        messages->append(CalcMessage{kind, text});
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A field as the operator can read it in a message: printable ASCII as it
// is, anything else as \xNN, long fields cut.
QString shownField(const QByteArray &field)
{
    QString out;
    int i = 0;
    for (; i < field.size() && out.size() < 32; ++i) {
        const uchar c = uchar(field.at(i));
        if (c >= 0x20 && c < 0x7F)
            out += QLatin1Char(char(c));
        else if (c == '\t')
            out += QLatin1Char(' ');
        else
            out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    if (i < field.size())
        out += QStringLiteral("…");
    return out;
}

QString lineError(const QString &file, int line, const QString &what)
{
    return QStringLiteral("Расчет невозможен: файл %1, строка %2: %3. В строке файла калибровки должны "
                          "быть шесть чисел через табуляцию; исправьте или удалите эту строку\n")
        .arg(file).arg(line).arg(what);
}

} // namespace

bool parsePointNumber(const QByteArray &raw, double *value)
{
    QByteArray field = raw.trimmed();
    if (field.contains(',')) {
        // A comma is a decimal comma here: fields are cut at TAB, so it
        // cannot be a separator, and one next to a point is a thousands
        // mark no writer of these files uses.
        if (field.contains('.'))
            return false;
        field.replace(',', '.');
    }
    int i = 0;
    const int n = field.size();
    if (i < n && (field[i] == '+' || field[i] == '-'))
        ++i;
    int digits = 0;
    while (i < n && isDigit(field[i]))
        ++i, ++digits;
    if (i < n && field[i] == '.') {
        ++i;
        while (i < n && isDigit(field[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (field[i] == 'e' || field[i] == 'E')) {
        ++i;
        if (i < n && (field[i] == '+' || field[i] == '-'))
            ++i;
        int expDigits = 0;
        while (i < n && isDigit(field[i]))
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    bool ok = false;
    const double v = field.toDouble(&ok);   // C notation whatever the locale
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

PointFileRead readPointRecords(const QString &path)
{
    PointFileRead out;
    out.file.fileName = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("Файл калибровки не открыт или не существует\n");
        return out;
    }
    out.opened = true;
    const QByteArray raw = file.readAll();
    file.close();

    const QList<QByteArray> lines = raw.split('\n');
    for (int l = 0; l < lines.size(); ++l) {
        // CR of a CR LF file, and a trailing TAB or blank some editors leave.
        QByteArray line = lines.at(l);
        while (!line.isEmpty() && (line.endsWith('\r') || line.endsWith('\t') || line.endsWith(' ')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != FieldsPerLine) {
            out.error = lineError(out.file.fileName, l + 1,
                                  QStringLiteral("полей %1 вместо шести («%2»)")
                                      .arg(fields.size()).arg(shownField(line)));
            return out;
        }
        double v[FieldsPerLine];
        for (int f = 0; f < FieldsPerLine; ++f) {
            if (!parsePointNumber(fields.at(f), &v[f])) {
                out.error = lineError(out.file.fileName, l + 1,
                                      QStringLiteral("поле %1 «%2» не является числом")
                                          .arg(f + 1).arg(shownField(fields.at(f))));
                return out;
            }
        }
        PointRecord r;
        r.v1 = v[0]; r.v2 = v[1]; r.v3 = v[2]; r.v4 = v[3]; r.pPlus = v[4]; r.pMinus = v[5];
        r.line = l + 1;
        out.file.records.append(r);
    }
    out.ok = true;
    return out;
}

PointFileMeans groupPointRecords(const QVector<PointRecord> &records, bool vakum)
{
    PointFileMeans result;
    if (records.isEmpty())
        return result;
    auto pressureOf = [vakum](const PointRecord &r) { return vakum ? r.pMinus : r.pPlus; };
    auto otherOf = [vakum](const PointRecord &r) { return vakum ? r.pPlus : r.pMinus; };
    double lowest = pressureOf(records.front());
    double highest = lowest;
    double otherLowest = otherOf(records.front()), otherHighest = otherLowest;
    for (const PointRecord &r : records) {
        lowest = std::min(lowest, pressureOf(r));
        highest = std::max(highest, pressureOf(r));
        otherLowest = std::min(otherLowest, otherOf(r));
        otherHighest = std::max(otherHighest, otherOf(r));
    }
    const double tolerance = (highest - lowest) * kPressureGroupTolerance;
    // A differential point (0 kPa on this chamber, 50 on the other) shares
    // the lowest pressure of the grouping column, but its other gauge reads
    // 50 kPa: averaged in, it moves the zero of that gauge by a quarter of
    // the range. The groups take the rows whose other chamber is at its
    // own lowest pressure; the regressions still see every row. A group
    // none of whose rows has the other chamber at its lowest (the top of a
    // run with both chambers under one pressure) keeps its rows: the gauge
    // of the grouping chamber reads its own pressure whatever the other
    // chamber holds.
    const double otherTolerance = (otherHighest - otherLowest) * kPressureGroupTolerance;
    auto otherAtLowest = [&](const PointRecord &r) { return otherOf(r) - otherLowest <= otherTolerance; };
    bool lowHasBase = false, highHasBase = false;
    for (const PointRecord &r : records) {
        if (!otherAtLowest(r))
            continue;
        lowHasBase = lowHasBase || pressureOf(r) - lowest <= tolerance;
        highHasBase = highHasBase || highest - pressureOf(r) <= tolerance;
    }

    // The signals as the device reported them, 32-bit, as they have always
    // been averaged.
    double lowSum[3] = {0, 0, 0}, highSum[3] = {0, 0, 0};
    double lowP = 0, highP = 0;
    for (const PointRecord &r : records) {
        const double p = pressureOf(r);
        const double s[3] = {double(float(r.v1)), double(float(r.v2)), double(float(r.v4))};
        const bool low = p - lowest <= tolerance;
        if (!otherAtLowest(r) && (low ? lowHasBase : highHasBase))
            continue;
        if (low) {
            for (int i = 0; i < 3; ++i)
                lowSum[i] += s[i];
            lowP += p;
            ++result.lowCount;
        } else if (highest - p <= tolerance) {
            for (int i = 0; i < 3; ++i)
                highSum[i] += s[i];
            highP += p;
            ++result.highCount;
        }
    }
    // With a constant pressure there are no highest-pressure points and the
    // means come out 0/0; the calculation refuses such a file.
    for (int i = 0; i < 3; ++i) {
        result.low[i] = static_cast<float>(lowSum[i] / result.lowCount);
        result.high[i] = static_cast<float>(highSum[i] / result.highCount);
    }
    result.lowPressureKPa = lowP / result.lowCount;
    result.highPressureKPa = result.highCount ? highP / result.highCount
                                              : std::numeric_limits<double>::quiet_NaN();
    return result;
}

namespace {

// The records a calculation reads, dumped for a developer who asks for them
// with QT_LOGGING_RULES="tesmar.calc.points.debug=true"; off by default.
Q_LOGGING_CATEGORY(lcCalcPoints, "tesmar.calc.points", QtWarningMsg)

void printRecords(const PointFile &file)
{
    if (!lcCalcPoints().isDebugEnabled())
        return;
    std::cerr << "DEBUG: dataMNK data:\n";
    for (const PointRecord &r : file.records)
        std::cerr << float(r.v1) << '\t' << float(r.v2) << '\t' << float(r.v4) << '\t' << r.pPlus << '\t'
                  << r.pMinus << '\n';
}

// One file read and announced; false, with the red reason, when unusable.
bool readAnnounced(const QString &path, PointFile *file, CalcMessages *messages)
{
    const PointFileRead read = readPointRecords(path);
    *file = read.file;
    if (!read.opened) {
        say(messages, CalcMessage::Failure, read.error);
        return false;
    }
    say(messages, CalcMessage::Success, QStringLiteral("Файл калибровки: Открыт\n"));
    if (!read.ok) {
        say(messages, CalcMessage::Failure, read.error);
        return false;
    }
    printRecords(*file);
    return true;
}

} // namespace

PointFileMeans readPointFile(const QString &fileName, bool vakum, CalcMessages *messages)
{
    PointFile file;
    if (!readAnnounced(fileName, &file, messages))
        return PointFileMeans();
    return groupPointRecords(file.records, vakum);
}

PointFileSet readPointFileSet(const QString &dir, const QString &midName, const QString &minName,
                              const QString &maxName, bool vakum, CalcMessages *messages)
{
    PointFileSet set;
    const QString sep = QStringLiteral("/");
    const QString names[3] = {minName, midName, maxName};
    for (int t : {FileTmin, FileTmid, FileTmax}) {
        if (!readAnnounced(dir + sep + names[t], &set.files[size_t(t)], messages))
            return set;
        const PointFile &file = set.files[size_t(t)];
        if (file.records.isEmpty()) {
            say(messages, CalcMessage::Failure,
                QStringLiteral("Расчет невозможен: в файле %1 нет ни одной точки\n").arg(file.fileName));
            return set;
        }
        PointFileMeans &m = set.means[size_t(t)];
        m = groupPointRecords(file.records, vakum);
        if (m.highCount == 0) {
            say(messages, CalcMessage::Failure,
                QStringLiteral("Расчет невозможен: в файле %1 все точки записаны при одном давлении %2 %3 кПа; "
                               "нужны точки от нуля до Pmax\n")
                    .arg(file.fileName, vakum ? QStringLiteral("P-") : QStringLiteral("P+"))
                    .arg(m.lowPressureKPa, 0, 'g', 6));
            return set;
        }
    }

    const PointFileMeans &tmin = set.means[FileTmin];
    const PointFileMeans &tmid = set.means[FileTmid];
    const PointFileMeans &tmax = set.means[FileTmax];
    ReferenceVoltages &u = set.u;
    u.U1nl = tmin.low[0] * 1000; u.U2nl = tmin.low[1] * 1000; u.U4nl = tmin.low[2] * 1000;
    u.U1hl = tmin.high[0] * 1000; u.U2hl = tmin.high[1] * 1000; u.U4hl = tmin.high[2] * 1000;
    u.U1nn = tmid.low[0] * 1000; u.U2nn = tmid.low[1] * 1000; u.U4nn = tmid.low[2] * 1000;
    u.U1hn = tmid.high[0] * 1000; u.U2hn = tmid.high[1] * 1000; u.U4hn = tmid.high[2] * 1000;
    u.U1nh = tmax.low[0] * 1000; u.U2nh = tmax.low[1] * 1000; u.U4nh = tmax.low[2] * 1000;
    u.U1hh = tmax.high[0] * 1000; u.U2hh = tmax.high[1] * 1000; u.U4hh = tmax.high[2] * 1000;
    for (int t = 0; t < 3; ++t) {
        u.lowPressurePa[size_t(t)] = set.means[size_t(t)].lowPressureKPa * 1000.0;
        u.highPressurePa[size_t(t)] = set.means[size_t(t)].highPressureKPa * 1000.0;
    }

    const std::pair<const char *, float> listed[] = {
        {"U1nn", u.U1nn}, {"U2nn", u.U2nn}, {"U4nn", u.U4nn},
        {"U1nl", u.U1nl}, {"U2nl", u.U2nl}, {"U4nl", u.U4nl},
        {"U1nh", u.U1nh}, {"U2nh", u.U2nh}, {"U4nh", u.U4nh},
        {"U1hn", u.U1hn}, {"U2hn", u.U2hn}, {"U4hn", u.U4hn},
        {"U1hl", u.U1hl}, {"U2hl", u.U2hl}, {"U4hl", u.U4hl},
        {"U1hh", u.U1hh}, {"U2hh", u.U2hh}, {"U4hh", u.U4hh},
    };
    for (const auto &item : listed)
        say(messages, CalcMessage::Plain,
            QLatin1String(item.first) + QStringLiteral(" = ")
                + QString::number(item.second, 'g', 6) + QLatin1Char('\n'));
    set.ok = true;
    return set;
}

ReferenceVoltages openStaticFiles(const QString &dir, const QString &midName,
                                  const QString &minName, const QString &maxName,
                                  bool vakum, CalcMessages *messages)
{
    return readPointFileSet(dir, midName, minName, maxName, vakum, messages).u;
}

void loadPointSet(CalibrationPointSet &set, const PointFile &file)
{
    set.reset();
    for (const PointRecord &r : file.records)
        set.addPoint(float(r.v1) * 1000, float(r.v2) * 1000, float(r.v3) * 1000, float(r.v4) * 1000,
                     float(r.pPlus) * 1000, float(r.pMinus) * 1000);
}

bool loadMidPointSet(CalibrationPointSet &set, const QString &dir, const QString &midName,
                     CalcMessages *messages)
{
    set.reset();
    const PointFileRead read = readPointRecords(dir + QStringLiteral("/") + midName);
    if (!read.ok) {
        say(messages, CalcMessage::Failure, read.opened ? read.error : QStringLiteral("НЕ ОТКРЫТ МНК"));
        return false;
    }
    loadPointSet(set, read.file);
    return true;
}
