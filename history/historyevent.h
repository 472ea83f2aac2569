#pragma once
// What the calibration history keeps: the events of a device's life on the
// bench, each told by the subsystem where it happened in one plain struct.
//
// A calculation, a write to a device and a verification each carry where and
// by whom they happened (HistoryContext) and which device (serial and model).
// A HistoryRecord is one event as stored and queued: the event, the kind that
// says which part holds it, and a unique id given when it is recorded, so that
// a record written twice (a queue replayed after a crash, a report imported
// again) is kept once.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

struct HistoryContext
{
    QDateTime when;         // stored in UTC, to the millisecond
    QString profile;        // the bench profile, empty without one
    QString port;
    QString operatorName;
    QString batch;          // the batch the device belonged to, if any
};

struct HistoryValue
{
    QString name;
    double value = 0;
    bool operator==(const HistoryValue &o) const { return name == o.name && value == o.value; }
};

// A file an event refers to: a point file, a report. The path is kept as the
// file system names it (bytes), which need not be UTF-8. Its content is read
// when the event is made and kept with it (the folder may be overwritten
// before the event reaches the database, and after).
struct HistoryFile
{
    HistoryFile() = default;
    HistoryFile(const QString &r, const QByteArray &p, const QString &sum) : role(r), path(p), sha256(sum) {}
    QString role;           // "Tmin", "Tmid", "Tmax", "Отчет"
    QByteArray path;
    QString sha256;         // hex; empty when the file could not be read
    QByteArray content;     // when kept and asked for
    bool kept = false;      // the content goes with the event / is in the history
    // Larger files are named and summed, not kept: an event waiting in the
    // queue is one JSON line, and Qt reads no JSON document past 128 MB.
    static constexpr qint64 MaxKeptBytes = 16 * 1024 * 1024;
    bool operator==(const HistoryFile &o) const
    {
        return role == o.role && path == o.path && sha256 == o.sha256;
    }
};

struct HistoryDevice
{
    QString serial;         // as read, empty when it was not
    QString model;
};

struct CalculationEvent
{
    HistoryContext context;
    HistoryDevice device;
    QString sensorType;             // the sensor the boxes chose
    double pmaxPa = 0;
    QString fitModel;               // the model the coefficients come from
    QVector<HistoryValue> coefficients;   // as written to the device
    // The worst residual at each temperature (Tmin, Tmid, Tmax) and over all,
    // % of Pmax; infinity when a point gives no number.
    std::array<double, 3> fitPercent = {0, 0, 0};
    double worstPercent = 0;
    QString worstPoint;             // "Tmax, строка 7"; a refused calculation (no coefficients): why
    // The device's zero as this calibration sets it (the zero signal of the
    // first gauge, or the constant term of the polynomial), for its drift.
    double zero = 0;
    QVector<HistoryFile> files;     // point files and report
    bool withinTarget = true;
};

struct WriteEvent
{
    HistoryContext context;
    HistoryDevice device;
    int address = -1;               // the short address written to, -1 when not known
    QString what;                   // "Коэффициенты расчета", "Данные устройства"
    QStringList blocks;             // the blocks sent, by name
    QStringList refusedBlocks;      // those refused, damaged or unanswered
    int blockCount = 0;             // when names are not known: counts
    int writtenCount = 0;
    QVector<HistoryValue> values;   // what was written, when it is numbers
    QString outcome;                // the verdict as the window said it
    bool complete() const { return blockCount > 0 && writtenCount >= blockCount && refusedBlocks.isEmpty(); }
};

struct VerificationEvent
{
    HistoryContext context;
    HistoryDevice device;
    QString table;                  // the verification table used
    QString accuracyClass;
    bool passed = false;
    QString details;
    QVector<HistoryFile> files;     // the protocol, if one was written
};

struct HistoryRecord
{
    enum Kind { Calculation, Write, Verification };
    Kind kind = Calculation;
    QString uid;
    // An imported report's key: the report is imported once.
    QString sourceKey;
    CalculationEvent calculation;
    WriteEvent write;
    VerificationEvent verification;
    QVector<HistoryFile> writeFiles;    // none so far

    static HistoryRecord of(const CalculationEvent &e);
    static HistoryRecord of(const WriteEvent &e);
    static HistoryRecord of(const VerificationEvent &e);

    const HistoryContext &context() const;
    HistoryContext &context();
    const HistoryDevice &device() const;
    HistoryDevice &device();
    bool ok() const;                // within target, complete, passed
    QString summary() const;        // one line for the history table
    const QVector<HistoryFile> &files() const;
    QVector<HistoryFile> &files();
};

// The kinds as stored ("calculation", "write", "verification") and shown.
QString historyKindKey(HistoryRecord::Kind kind);
bool historyKindFromKey(const QString &key, HistoryRecord::Kind *kind);
QString historyKindText(HistoryRecord::Kind kind);

// A short address as the address lists show it ("02", "0f").
QString historyAddressText(int address);

// A file's SHA-256 in hex; empty when it cannot be read.
QString historyFileChecksum(const QString &path);
QString historySha256(const QByteArray &bytes);
// The file as an event names it, its content read to be kept.
HistoryFile historyFile(const QString &role, const QString &path);
