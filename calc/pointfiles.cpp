#include "calc/pointfiles.h"

#include "calc/calibrationpointset.h"

#include <QByteArray>
#include <QFile>
#include <QTextCodec>

#include <cmath>
#include <iostream>
#include <limits>
#include <locale>
#include <sstream>

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

void say(CalcMessages *messages, CalcMessage::Kind kind, const QString &text)
{
    if (messages)
        messages->append(CalcMessage{kind, text});
}

// Pressures are grouped by whole kPa; a value beyond int (a corrupt line)
// is clamped instead of invoking undefined behaviour.
int truncateToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

struct PointRecord
{
    float v1, v2, v4;
    int pPlus, pMinus;
};

// Leading number of a field, C notation whatever the process locale; a
// field without one reads as 0.
float leadingFloat(const QByteArray &field)
{
    std::istringstream in(field.toStdString());
    in.imbue(std::locale::classic());
    float v = 0.0f;
    if (!(in >> v))
        return 0.0f;
    return v;
}

} // namespace

PointFileMeans readPointFile(const QString &fileName, bool vakum, CalcMessages *messages)
{
    PointFileMeans result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        say(messages, CalcMessage::Failure,
            QStringLiteral("Файл калибровки не открыт или не существует\n"));
        return result;
    }
    say(messages, CalcMessage::Success, QStringLiteral("Файл калибровки: Открыт\n"));

    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    const QByteArray raw = file.readAll();
    file.close();
    const QString text = codec ? codec->toUnicode(raw) : QString::fromLatin1(raw);

    std::vector<PointRecord> records;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    for (const QString &line : lines) {
        // A blank line of a CR LF file still carries its CR.
        if (line.trimmed().isEmpty())
            continue;
        double v[6] = {0, 0, 0, 0, 0, 0};
        const QStringList fields = line.split(QLatin1Char('\t'), Qt::KeepEmptyParts);
        int parsed = 0;
        for (int i = 0; i < fields.size() && i < 48; ++i) {
            if (fields[i].isEmpty())
                continue;
            if (parsed < 6)
                v[parsed] = fields[i].toDouble();   // not a number reads as 0
            ++parsed;
        }
        records.push_back(PointRecord{static_cast<float>(v[0]), static_cast<float>(v[1]),
                                      static_cast<float>(v[3]), truncateToInt(v[4]),
                                      truncateToInt(v[5])});
    }

    std::cerr << "DEBUG: dataMNK data:\n";
    for (const PointRecord &r : records)
        std::cerr << r.v1 << '\t' << r.v2 << '\t' << r.v4 << '\t' << r.pPlus << '\t' << r.pMinus << '\n';

    if (records.empty())
        return result;

    auto pressureOf = [vakum](const PointRecord &r) { return vakum ? r.pMinus : r.pPlus; };
    int lowest = pressureOf(records.front());
    int highest = lowest;
    for (const PointRecord &r : records) {
        lowest = std::min(lowest, pressureOf(r));
        highest = std::max(highest, pressureOf(r));
    }

    double lowSum[3] = {0, 0, 0}, highSum[3] = {0, 0, 0};
    int lowCount = 0, highCount = 0;
    for (const PointRecord &r : records) {
        const int p = pressureOf(r);
        if (p == lowest) {
            lowSum[0] += r.v1; lowSum[1] += r.v2; lowSum[2] += r.v4;
            ++lowCount;
        } else if (p == highest) {
            highSum[0] += r.v1; highSum[1] += r.v2; highSum[2] += r.v4;
            ++highCount;
        }
    }
    // With a constant pressure there are no highest-pressure points and the
    // means come out 0/0; the calculation checks for that before use.
    for (int i = 0; i < 3; ++i) {
        result.low[i] = static_cast<float>(lowSum[i] / lowCount);
        result.high[i] = static_cast<float>(highSum[i] / highCount);
    }
    return result;
}

ReferenceVoltages openStaticFiles(const QString &dir, const QString &midName,
                                  const QString &minName, const QString &maxName,
                                  bool vakum, CalcMessages *messages)
{
    const QString sep = QStringLiteral("/");
    const PointFileMeans tmin = readPointFile(dir + sep + minName, vakum, messages);
    const PointFileMeans tmid = readPointFile(dir + sep + midName, vakum, messages);
    const PointFileMeans tmax = readPointFile(dir + sep + maxName, vakum, messages);

    ReferenceVoltages u;
    u.U1nl = tmin.low[0] * 1000; u.U2nl = tmin.low[1] * 1000; u.U4nl = tmin.low[2] * 1000;
    u.U1hl = tmin.high[0] * 1000; u.U2hl = tmin.high[1] * 1000; u.U4hl = tmin.high[2] * 1000;
    u.U1nn = tmid.low[0] * 1000; u.U2nn = tmid.low[1] * 1000; u.U4nn = tmid.low[2] * 1000;
    u.U1hn = tmid.high[0] * 1000; u.U2hn = tmid.high[1] * 1000; u.U4hn = tmid.high[2] * 1000;
    u.U1nh = tmax.low[0] * 1000; u.U2nh = tmax.low[1] * 1000; u.U4nh = tmax.low[2] * 1000;
    u.U1hh = tmax.high[0] * 1000; u.U2hh = tmax.high[1] * 1000; u.U4hh = tmax.high[2] * 1000;

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
    return u;
}

bool loadMidPointSet(CalibrationPointSet &set, const QString &dir, const QString &midName,
                     CalcMessages *messages)
{
    set.reset();
    QFile file(dir + QStringLiteral("/") + midName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        say(messages, CalcMessage::Failure, QStringLiteral("НЕ ОТКРЫТ МНК"));
        return false;
    }
    QByteArray text = file.readAll();
    file.close();
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);

    // Fields are cut at TAB; the sixth field of a record runs to the line
    // break. A line with a different field count shifts what follows, as it
    // always has: the file format has no record marker besides position.
    float values[6] = {0, 0, 0, 0, 0, 0};
    int fieldIndex = 0;
    QByteArray field;
    auto finishField = [&]() {
        values[fieldIndex] = leadingFloat(field) * 1000;
        field.clear();
        if (++fieldIndex == 6) {
            set.addPoint(values[0], values[1], values[2], values[3], values[4], values[5]);
            fieldIndex = 0;
        }
    };
    for (const char ch : qAsConst(text)) {
        if (fieldIndex < 5 && ch == '\t')
            finishField();
        else if (fieldIndex == 5 && ch == '\n')
            finishField();
        else
            field.append(ch);
    }
    // A last line without its line break still counts.
    if (fieldIndex == 5 && !field.trimmed().isEmpty())
        finishField();
    return true;
}
