#pragma once
// A group of coefficient registers shown as two columns of fields: what the
// device reported (receive) and what the user typed to write (set). The
// index of an entry is its position in the group; a read that starts at an
// entry's register fills the fields from that index on.

#include "device/operations.h"

#include <QString>
#include <QVariantMap>
#include <QVector>
#include <cstdint>

class CoefficientGroup
{
public:
    struct Entry
    {
        QString name;           // key used in files and captions (a42, Kdsp0, ...)
        QString receiveField;
        QString setField;
        uint16_t reg;
        bool isByte;            // one unsigned byte rather than a float
        QString caption;        // the field's caption, named when its text is refused
    };
    enum Column { Receive, Set };

    // Current output and range corrections: zero balance, Ksi, Kdsp0..Kdsp10.
    static const CoefficientGroup &kdsp();
    // Temperature and conversion coefficients a, b, c, t.
    static const CoefficientGroup &coef();
    // Polynomial coefficients ak0..ak3 with the limits Fmin, Fmax.
    static const CoefficientGroup &ak();
    // The group whose read or write has this operation code, or nullptr.
    static const CoefficientGroup *forOperation(int code);

    int readCode() const { return m_readCode; }
    int writeCode() const { return m_writeCode; }
    const QVector<Entry> &entries() const { return m_entries; }
    int size() const { return m_entries.size(); }
    int indexOfRegister(int reg) const;       // -1 when not in the group

    // Requests of the group's read, in order.
    QVector<RequestItem> readRequests() const;
    // Fields of one column, as the slots collect them before a write.
    QVector<InputSpec> setInputs() const;

    // Empty every field of the column and give it the neutral palette.
    WidgetActions clearActions(Column column) const;
    // Floats of a read answer into receive fields from index start on,
    // confirmed palette; floats past the last field are dropped.
    WidgetActions fillFloats(int start, const QByteArray &data) const;
    // One write per non-empty set field, after every set field is given the
    // neutral palette. A field whose text is not the number it takes (a
    // float, or 0..255 for the zero balance) turns red, is named in
    // refusals with a line on the error stream, and then no write at all is
    // made: the column goes to the device as typed or not at all.
    void buildWrites(const QVariantMap &setTexts, QVector<RequestItem> *items, WidgetActions *before,
                     QVector<InputRefusal> *refusals) const;
    // A write answer colours the set field of its register: confirmed when
    // the checksum matched, failed when not.
    WidgetActions decodeWrite(const OperationAnswer &answer) const;

private:
    CoefficientGroup(int readCode, int writeCode, const char *conversionError, QVector<Entry> entries,
                     QVector<QPair<uint16_t, int>> reads);

    int m_readCode;
    int m_writeCode;
    QString m_conversionError;
    QVector<Entry> m_entries;
    QVector<QPair<uint16_t, int>> m_reads;
};
