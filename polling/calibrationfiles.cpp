#include "polling/calibrationfiles.h"

#include "polling/lineappender.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool canWrite(QIODevice::OpenMode mode)
{
    return mode & (QIODevice::WriteOnly | QIODevice::Append);
}

} // namespace

CalibrationTemperature CalibrationFiles::temperature(bool middle, bool low, bool high)
{
    if (middle)
        return CalibrationTemperature::Middle;
    if (low)
        return CalibrationTemperature::Low;
    if (high)
        return CalibrationTemperature::High;
    return CalibrationTemperature::None;
}

QString CalibrationFiles::recordSuffix(CalibrationTemperature t)
{
    switch (t) {
    case CalibrationTemperature::Middle: return QStringLiteral("_Tmid.txt");
    case CalibrationTemperature::Low: return QStringLiteral("_Tmin.txt");
    case CalibrationTemperature::High: return QStringLiteral("_Tmax.txt");
    case CalibrationTemperature::None: break;
    }
    return QStringLiteral("_T.txt");
}

QString CalibrationFiles::pointSuffix(CalibrationTemperature t)
{
    switch (t) {
    case CalibrationTemperature::Middle: return QStringLiteral("_Tmid_MNK.txt");
    case CalibrationTemperature::Low: return QStringLiteral("_Tmin_MNK.txt");
    case CalibrationTemperature::High: return QStringLiteral("_Tmax_MNK.txt");
    case CalibrationTemperature::None: break;
    }
    return QString();
}

QString CalibrationFiles::recordFileName(const SaveDirs &dirs, int address,
                                         CalibrationTemperature t)
{
    const QString dir = dirs.dirFor(address);
    if (!dirs.ready() || dir.isEmpty())
        return QString();
    return dir + QLatin1Char('/') + dirs.baseName() + recordSuffix(t);
}

QString CalibrationFiles::pointFileName(const SaveDirs &dirs, int address,
                                        CalibrationTemperature t)
{
    const QString dir = dirs.dirFor(address);
    const QString suffix = pointSuffix(t);
    if (!dirs.ready() || dir.isEmpty() || suffix.isEmpty())
        return QString();
    return dir + QLatin1Char('/') + dirs.baseName() + suffix;
}

QByteArray CalibrationFiles::recordLine(const QDateTime &when, const Command3Answer &answer,
                                        double pressurePlus, double pressureMinus)
{
    QByteArray line = when.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toUtf8();
    line.reserve(128);
    for (int k = 0; k < Command3Answer::ValueCount; ++k) {
        line += '\t';
        line += QByteArray::number(double(answer.value(k)), 'e', 4);
    }
    line += '\t';
    line += QByteArray::number(pressurePlus, 'g', 6);
    line += '\t';
    line += QByteArray::number(pressureMinus, 'g', 6);
    line += LineAppender::lineEnd();
    return line;
}

QByteArray CalibrationFiles::logLine(const QDateTime &when, const Command3Answer &answer,
                                     double pressurePlus, double pressureMinus, int address)
{
    QByteArray line = recordLine(when, answer, pressurePlus, pressureMinus);
    line.chop(LineAppender::lineEnd().size());
    line += '\t';
    line += pollAddressText(address).toLatin1();
    line += LineAppender::lineEnd();
    return line;
}

namespace {

// The log's folder, made when missing; false with the reason.
bool ensureFolderOf(const QString &fileName, QString *error)
{
    const QString folder = QFileInfo(fileName).absolutePath();
    if (QDir(folder).exists() || QDir().mkpath(folder))
        return true;
    *error = QStringLiteral("не удалось создать папку %1").arg(QDir::toNativeSeparators(folder));
    return false;
}

} // namespace

QByteArray CalibrationFiles::pointLine(const ChannelMean &mean, double pressurePlus,
                                       double pressureMinus)
{
    QByteArray line;
    line.reserve(80);
    for (int k = 0; k < 4; ++k) {
        line += QByteArray::number(double(mean.mean[k]), 'e', 4);
        line += '\t';
    }
    line += QByteArray::number(pressurePlus, 'e', 4);
    line += '\t';
    line += QByteArray::number(pressureMinus, 'e', 4);
    line += LineAppender::lineEnd();
    return line;
}

CalibrationFiles::AnswerOutcome CalibrationFiles::recordAnswer(
    const SaveDirs &dirs, CalibrationTemperature t, const LogTarget &log, int address,
    bool checksumOk, const Command3Answer &answer, double pressurePlus, double pressureMinus,
    const QDateTime &when)
{
    using FileStatus = MeasurementRow::FileStatus;
    AnswerOutcome out;
    // An answer too short to hold all five values is as untrustworthy as one
    // with a bad checksum: it is shown, never recorded.
    const bool good = checksumOk && answer.complete();
    const QByteArray line = good ? recordLine(when, answer, pressurePlus, pressureMinus)
                                 : QByteArray();

    out.recordFile = recordFileName(dirs, address, t);
    const bool recordInUse = !out.recordFile.isEmpty();
    if (recordInUse) {
        if (good) {
            if (canWrite(dirs.openMode()))
                out.recordWritten = LineAppender::append(out.recordFile, line,
                                                         LineAppender::TornTail::Cut,
                                                         &out.recordError);
            else
                out.recordError = QStringLiteral("файл не открыт для записи");
        }
        if (good && !out.recordWritten && out.recordError.isEmpty())
            out.recordError = QStringLiteral("ошибка записи");
        // A bad answer is "Ошибка открытия" as before; a good one that did
        // not reach the file is a failure of the file, and says so in red.
        out.status = out.recordWritten ? FileStatus::Written
                     : good            ? FileStatus::WriteError
                                       : FileStatus::OpenError;
    }

    if (log.active()) {
        if (good && ensureFolderOf(log.fileName, &out.logError)) {
            out.logWritten = LineAppender::append(
                log.fileName, logLine(when, answer, pressurePlus, pressureMinus, address),
                LineAppender::TornTail::Separate, &out.logError);
            if (!out.logWritten && out.logError.isEmpty())
                out.logError = QStringLiteral("ошибка записи");
        }
        // The log only speaks for the row when there is no record file, or
        // when it failed: a written log must not cover up a record file
        // that failed, and a written record must not hide a failed log.
        if (!out.logError.isEmpty() && out.status != FileStatus::WriteError)
            out.status = FileStatus::LogError;
        else if (!recordInUse && out.logWritten)
            out.status = FileStatus::Written;
    } else if (!recordInUse) {
        out.status = FileStatus::NotChosen;
    }
    return out;
}

QVector<CalibrationFiles::PointOutcome> CalibrationFiles::addPoints(
    const SaveDirs &dirs, CalibrationTemperature t, const RunningMean &means,
    const PollChannels &channels, double pressurePlus, double pressureMinus)
{
    QVector<PointOutcome> outcomes;
    if (!dirs.ready() || t == CalibrationTemperature::None)
        return outcomes;
    for (auto it = dirs.dirs().cbegin(); it != dirs.dirs().cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        PointOutcome o;
        o.address = it.key();
        o.fileName = pointFileName(dirs, o.address, t);
        const int channel = firstCheckedChannelFor(channels, o.address);
        // Without a channel on this address there is no mean to write; a
        // line of zeros would poison the fit.
        if (channel >= 0) {
            o.written = LineAppender::append(
                o.fileName, pointLine(means.channel(channel), pressurePlus, pressureMinus));
        }
        outcomes.append(o);
    }
    return outcomes;
}

QString CalibrationFiles::pointStatusText(const QVector<PointOutcome> &outcomes)
{
    QStringList lines;
    for (const PointOutcome &o : outcomes) {
        lines << (o.written ? QStringLiteral("Файл калибровки МНК записан ") + o.fileName
                            : QStringLiteral("Файл калибровки МНК не записан"));
    }
    return lines.join(QLatin1Char('\n'));
}
