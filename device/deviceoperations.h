#pragma once
// Builds the requests of every single device operation and decodes their
// answers into widget actions, using the operation catalogue. Holds the
// little state the operations keep between presses: the range table's
// selection, the pressure query's toggle, the save chain of the parameters
// file and the record last loaded from a parameters file.
//
// Slot side, in short:
//   request = ops.buildOperation(code, collect(DeviceOperations::inputSpecs(code, trigger)));
//   ... link setup, sendFrame / enqueue + startQueue ...
//   result = ops.decodeAnswer({code, link->requestData(), link->answerData(),
//                              link->answerChecksumOk()},
//                             collect(DeviceOperations::answerInputSpecs(code)));
//   apply(result.actions); if (result.followUp) start(result.followUp);

#include "device/operations.h"
#include "device/sensorrangetable.h"

#include <QPointer>
#include <QVariantMap>
#include <QVector>

class QIODevice;

// Order of the values of a record loaded from a parameters file.
namespace LoadedRecord {
enum Index {
    BalIdac, Itenzo, Pmax, Uk1h, Uk2h, U10, U20, A42, A41, A40, BalDp, ModelName, ModelCode,
    B42, B41, B40, C42, C41, C40, Ksi, Kdsp0, Kdsp10 = Kdsp0 + 10, C43, Serial,
    Size
};
}

class DeviceOperations
{
public:
    DeviceOperations();

    SensorRangeTable &ranges() { return m_ranges; }
    const SensorRangeTable &ranges() const { return m_ranges; }

    // Widgets a slot reads before building; trigger is the object name of
    // the button pressed where one slot serves several.
    static QVector<InputSpec> inputSpecs(int code, const QString &trigger = QString());
    // Widgets the decoder reads when the answer arrives.
    static QVector<InputSpec> answerInputSpecs(int code);

    // The requests of an operation, from the widget values keyed by object
    // name. Not valid for codes outside the catalogue or built elsewhere.
    OperationRequest buildOperation(int code, const QVariantMap &inputs = QVariantMap());
    // What an answer (or a write's confirmation) does to the widgets. Codes
    // outside the catalogue give no action: only the common end step runs.
    AnswerResult decodeAnswer(const OperationAnswer &answer, const QVariantMap &widgets = QVariantMap());

    // Cyclic pressure query: the first press arms it, the next starts it.
    bool pressureQueryArmed() const { return m_pressureQueryArmed; }

    // Parameters file save chain: the dialog has written its own lines to the
    // open file, then starts the range-settings read (operation 36). The
    // chain appends to the file and closes it after the model answer.
    void beginSaveChain(QIODevice *file);
    bool saveChainActive() const { return m_saveChainActive; }
    // Closes the file and leaves the chain; nothing in the chain calls it.
    void abortSaveChain();

    // Record from a parameters file, written by operation 28. Refused (false)
    // unless it has exactly LoadedRecord::Size values.
    bool setLoadedRecord(const QVector<double> &values);
    bool setLoadedRecord(const QVector<float> &values);
    void clearLoadedRecord();
    bool recordLoaded() const { return !m_record.isEmpty(); }

private:
    // The payload of a generic write; false, with the field in r's
    // refusals, when its typed text is not the number the field takes.
    bool payloadFor(const OperationDescriptor &d, const QVariantMap &inputs, OperationRequest *r,
                    QByteArray *payload) const;
    void buildRecordWrite(OperationRequest *r) const;

    void decodeGeneric(const OperationDescriptor &d, const OperationAnswer &a, AnswerResult *r) const;
    void decodeDeviceSettings(const OperationAnswer &a, AnswerResult *r) const;
    void decodeKdspRead(const OperationAnswer &a, AnswerResult *r);
    void decodeBalanceDp(const OperationAnswer &a, AnswerResult *r);
    void decodeSerial(const OperationDescriptor &d, const OperationAnswer &a, AnswerResult *r);
    void decodeRecordWrite(const OperationAnswer &a, AnswerResult *r) const;

    void appendToChainFile(const QString &text);
    void endSaveChain();

    SensorRangeTable m_ranges;
    bool m_pressureQueryArmed = false;
    bool m_saveChainActive = false;
    QPointer<QIODevice> m_parametersFile;
    QVector<double> m_record;       // empty when no record is loaded
};
