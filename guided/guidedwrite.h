#pragma once
// One device's write in a guided run, as a sequence of requests that the
// run sends one at a time: the device's serial number read and compared
// with the plan's (the device at the address may not be the one planned,
// after a restart or a swapped cable), then the coefficients it holds read
// as the calibration tab reads them (once per run, so that a cut write can
// be undone), then the five writes of the parameters dialog. Putting back
// what the device held is the same sequence without the read of what it
// holds. No line here: the run sends what next() says and hands back
// each reply to take().

#include "calc/calibrationtypes.h"
#include "device/operations.h"
#include "guided/guidedlink.h"
#include "guided/guidedplan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>

// What one write (or restore) did, for the log and the history.
struct GuidedWriteRecord
{
    int device = -1;                // index in the plan
    int address = -1;
    bool restore = false;           // the coefficients the device held, written back
    bool serialRead = false;        // the serial number read in this exchange
    uint32_t serial = 0;
    QStringList blocks;             // every block of the write, by name
    QStringList refused;            // those not in the device (refused, unanswered, not sent)
    bool blocksStarted = false;     // the identity (and what it held) passed: blocks were sent
    int written = 0;                // blocks that went in, from the first
    CalibrationCoefficients values; // what was (to be) written
    bool priorRead = false;         // the coefficients the device held, read in this exchange
    CalibrationCoefficients prior;
    QString outcome;                // in words
    bool complete() const { return written == blocks.size() && refused.isEmpty(); }
};

class GuidedWrite
{
public:
    // Empty when the reply names the device planned; else why not, with
    // both numbers when the device answered with another.
    static QString identityProblem(const GuidedDevice &device, const GuidedReply &reply, uint32_t *serial,
                                   bool *serialRead);
    // The five blocks' names, in the order they are written.
    static QStringList blockNames();

    // A write of `values` to the device (readPrior: read what it holds
    // first), or, with restore, the coefficients it held written back.
    void begin(int deviceIndex, const GuidedDevice &device, const CalibrationCoefficients &values, bool readPrior,
               bool restore);
    bool running() const { return m_step != Step::Done; }
    // The serial read is the one every write of the tabs opens with
    // (WriteIdentity::serialRead).
    RequestItem next() const;
    // Takes the reply to the request next() gave; the write has ended when
    // running() turns false (record() says how).
    void take(const GuidedReply &reply);
    const GuidedWriteRecord &record() const { return m_record; }
    // Between the read of what the device holds and the first write: the
    // run keeps it before anything is written (false: the write stops).
    bool priorJustRead() const { return m_priorJustRead; }
    void stop(const QString &why);

private:
    enum class Step { Serial, Prior, Blocks, Done };
    void finish(const QString &why);

    Step m_step = Step::Done;
    GuidedDevice m_device;
    QVector<QByteArray> m_blocks;
    int m_index = 0;
    bool m_priorWanted = false;
    bool m_priorJustRead = false;
    GuidedWriteRecord m_record;
};

// The file in a device's folder that keeps what it held before the run
// wrote to it: "key:value" lines in the parameters file's names, each float
// given in full so that it goes back bit for bit.
namespace GuidedPrior {
QString fileName(const QString &baseName);
QByteArray text(const CalibrationCoefficients &k, int address, bool serialRead, uint32_t serial);
// Refuses a file with a coefficient missing, twice or not a finite number
// (why names the file and the line or the coefficient); parse: its text.
bool read(const QString &path, CalibrationCoefficients *k, QString *why);
bool parse(const QByteArray &text, CalibrationCoefficients *k, QString *why);
} // namespace GuidedPrior
