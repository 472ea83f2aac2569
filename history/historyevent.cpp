#include "history/historyevent.h"

#include <QCryptographicHash>
#include <QFile>
#include <cmath>

HistoryRecord HistoryRecord::of(const CalculationEvent &e)
{
    HistoryRecord r;
    r.kind = Calculation;
    r.calculation = e;
    return r;
}

HistoryRecord HistoryRecord::of(const WriteEvent &e)
{
    HistoryRecord r;
    r.kind = Write;
    r.write = e;
    return r;
}

HistoryRecord HistoryRecord::of(const VerificationEvent &e)
{
    HistoryRecord r;
    r.kind = Verification;
    r.verification = e;
    return r;
}

const HistoryContext &HistoryRecord::context() const
{
    return const_cast<HistoryRecord *>(this)->context();
}

HistoryContext &HistoryRecord::context()
{
    switch (kind) {
    case Write: return write.context;
    case Verification: return verification.context;
    case Calculation: break;
    }
    return calculation.context;
}

const HistoryDevice &HistoryRecord::device() const
{
    return const_cast<HistoryRecord *>(this)->device();
}

HistoryDevice &HistoryRecord::device()
{
    switch (kind) {
    case Write: return write.device;
    case Verification: return verification.device;
    case Calculation: break;
    }
    return calculation.device;
}

bool HistoryRecord::ok() const
{
    switch (kind) {
    case Write: return write.complete();
    case Verification: return verification.passed;
    case Calculation: break;
    }
    return calculation.withinTarget;
}

const QVector<HistoryFile> &HistoryRecord::files() const
{
    return const_cast<HistoryRecord *>(this)->files();
}

QVector<HistoryFile> &HistoryRecord::files()
{
    // A write names no files: an empty list of its own, never shared.
    switch (kind) {
    case Write: return writeFiles;
    case Verification: return verification.files;
    case Calculation: break;
    }
    return calculation.files;
}

namespace {
QString percentText(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 3) : QStringLiteral("не число");
}
}

QString HistoryRecord::summary() const
{
    switch (kind) {
    case Write: {
        QString s = write.what;
        if (write.address >= 0)
            s += QStringLiteral(", адрес %1").arg(historyAddressText(write.address));
        if (write.blockCount > 0)
            s += QStringLiteral(": записано %1 из %2 блоков").arg(write.writtenCount).arg(write.blockCount);
        if (!write.refusedBlocks.isEmpty())
            s += QStringLiteral("; не записаны: ") + write.refusedBlocks.join(QStringLiteral(", "));
        // Whose device it was is known only from a read in the same exchange.
        if (write.device.serial.isEmpty())
            s += QStringLiteral("; заводской номер не прочитан при записи");
        return s;
    }
    case Verification:
        // No table: the device was not verified (left out of a run).
        if (verification.table.isEmpty())
            return QStringLiteral("Поверка не проведена: %1").arg(verification.details.section(QLatin1Char('\n'), 0, 0));
        return QStringLiteral("Поверка по таблице %1, класс %2: %3")
            .arg(verification.table, verification.accuracyClass,
                 verification.passed ? QStringLiteral("годен") : QStringLiteral("не годен"));
    case Calculation:
        break;
    }
    if (calculation.coefficients.isEmpty() && !calculation.withinTarget)
        return QStringLiteral("%1, Pmax %2 кПа: %3")
            .arg(calculation.fitModel, QString::number(calculation.pmaxPa / 1000.0, 'g', 7), calculation.worstPoint);
    return QStringLiteral("%1, Pmax %2 кПа, наибольшая невязка %3 %")
        .arg(calculation.fitModel, QString::number(calculation.pmaxPa / 1000.0, 'g', 7),
             percentText(calculation.worstPercent));
}

QString historyKindKey(HistoryRecord::Kind kind)
{
    switch (kind) {
    case HistoryRecord::Write: return QStringLiteral("write");
    case HistoryRecord::Verification: return QStringLiteral("verification");
    case HistoryRecord::Calculation: break;
    }
    return QStringLiteral("calculation");
}

bool historyKindFromKey(const QString &key, HistoryRecord::Kind *kind)
{
    for (HistoryRecord::Kind k : {HistoryRecord::Calculation, HistoryRecord::Write, HistoryRecord::Verification}) {
        if (historyKindKey(k) == key) {
            *kind = k;
            return true;
        }
    }
    return false;
}

QString historyKindText(HistoryRecord::Kind kind)
{
    switch (kind) {
    case HistoryRecord::Write: return QStringLiteral("Запись в прибор");
    case HistoryRecord::Verification: return QStringLiteral("Поверка");
    case HistoryRecord::Calculation: break;
    }
    return QStringLiteral("Расчет");
}

QString historySha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString historyFileChecksum(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

HistoryFile historyFile(const QString &role, const QString &path)
{
    HistoryFile f{role, QFile::encodeName(path), QString()};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return f;
    if (file.size() > HistoryFile::MaxKeptBytes) {
        file.close();
        f.sha256 = historyFileChecksum(path);
        return f;
    }
    // One read for both: the sum is of the bytes kept.
    f.content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        f.content.clear();
        return f;
    }
    f.sha256 = historySha256(f.content);
    f.kept = true;
    return f;
}

QString historyAddressText(int address)
{
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0'));
}
