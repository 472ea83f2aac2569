#pragma once
// How each block of a coefficient write fared. The parameters dialog writes
// its values in five blocks; the device may take some and refuse others (a
// write-protected range, a busy device), and an answer may come back
// damaged or not at all. A block not proven written is named where it is
// said (the pane, the history's refused blocks) and its fields in the
// dialog turn red, so that the values the device does not hold are seen.

#include "calc/calibrationtypes.h"
#include "calc/parametervector.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class BlockWriteTally
{
public:
    struct Block
    {
        QString name;           // "b42, b41, b40"
        QByteArray request;     // register address and payload, as sent
        QVector<int> fields;    // the dialog's fields it holds (ParameterVector indices)
    };

    // The parameters dialog's own five blocks of these values, in the order
    // they are sent.
    static QVector<Block> dialogBlocks(const ParameterVector::Values &values);
    // The same five blocks from a calculation's coefficients as the dialog
    // would hand them on (the guided run writes without the dialog).
    static QVector<Block> coefficientBlocks(const CalibrationCoefficients &k);

    void begin(const QVector<Block> &blocks);
    void clear() { begin({}); }
    // The block a request belongs to; nullptr when it is none of this write's.
    const Block *find(const QByteArray &request) const;
    // The block was not proven written: remembered, and the sentence that
    // names it ("Блок «c43» не записан: прибор отказал: код 7 (...)").
    QString fail(const Block &block, const QString &why);

    QStringList names() const;
    const QStringList &failed() const { return m_failed; }

private:
    QVector<Block> m_blocks;
    QStringList m_failed;
};
