#pragma once
// The one serial link: frames go out one at a time on a send timer, each
// answer is awaited under a time-out with a bounded number of transmissions,
// and every outcome is reported with the operation code in force.
//
// CONTRACT (public API other subsystems code against; the implementation may
// add private members and helpers but must keep these signatures).

#include "link/hartframe.h"
#include "link/serialconfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

class protocolComHart : public QObject
{
    Q_OBJECT
public:
    explicit protocolComHart(QObject *parent = nullptr,
                             const QString &configPath = SerialConfig::defaultPath());
    ~protocolComHart() override;

    // Port
    bool openPort(const QString &name);
    bool configurePort();
    void closePort();
    bool isPortOpen() const;
    QString portName() const;
    QString portErrorString() const;

    // Serial settings record (loaded at construction)
    SerialConfig &serialConfig();
    const SerialConfig &serialConfig() const;

    // Timing and tagging: set in this order before starting
    void setPeriod(int ms);
    void setTimeout(int ms);
    void setRepeats(int n);
    void setOperation(int code);
    int period() const;
    int timeout() const;
    int repeats() const;
    int operation() const;

    // Queue and transmission
    void clearQueue();
    void enqueue(const QByteArray &frame);
    int queueSize() const;
    void startQueue(bool loop);
    void stopSending();
    void sendFrame(const QByteArray &frame);
    void sendRepeated(const QByteArray &frame);
    // True from the start of a transmission until its answer or final time-out.
    bool isBusy() const;

    // Last answer (valid after answerGet with a non-zero code)
    QByteArray answerData() const;
    int answerDataLength() const;
    bool answerChecksumOk() const;
    bool answerIsLong() const;
    uint8_t answerAddress() const;   // short address (byte 2 of a long address)
    QByteArray receivedBytes() const;

    // Fields of the request last transmitted (from analysisRequest)
    QByteArray requestAddress() const;
    QByteArray requestData() const;

signals:
    void requestSend(const char *frame, int length);
    void answerGet(int code);
    void allRequestsIsSend();

public slots:
    void readData();
    void timeoutFunc();
    void timerSendLoop();
    void sendNext();
};
