#pragma once
// The one serial link: frames go out one at a time on a send timer, each
// answer is awaited under a time-out with a bounded number of transmissions,
// and every outcome is reported with the operation code in force.
//
// Nothing here blocks the event loop. A transmission is a short sequence of
// states driven by single-shot timers: RTS raised and a 5 ms lead (without
// flow control only), the write until the port has taken every byte (at most
// 30 s), RTS held for rtsDelay ms per byte and dropped (without flow control
// only), then the answer time-out. The link is busy from the first of these
// steps until the answer or the final time-out has been reported.

#include "link/hartframe.h"
#include "link/serialconfig.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QSet>
#include <QString>

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
    int repeatsLeft() const;

    // Queue and transmission
    void clearQueue();
    void enqueue(const QByteArray &frame);
    int queueSize() const;
    void startQueue(bool loop);
    void stopSending();
    // Transmits now. A frame handed over while another transmission is under
    // way is refused (diagnostic on the standard error stream): two frames
    // never share the line and every outcome belongs to one request. With
    // the port closed nothing is written and nothing reported as sent: the
    // request ends with its time-out outcome, answerGet(0), from the event
    // loop.
    void sendFrame(const QByteArray &frame);
    void sendRepeated(const QByteArray &frame);
    // True from the start of a transmission until its answer or final time-out.
    bool isBusy() const;
    bool isQueueRunning() const { return m_queueRunning; }
    bool isRepeating() const { return m_repeating; }
    QByteArray currentFrame() const { return m_currentFrame; }

    // Last answer (valid after answerGet with a non-zero code)
    QByteArray answerData() const;
    int answerDataLength() const;
    bool answerChecksumOk() const;
    bool answerIsLong() const;
    uint8_t answerAddress() const;   // short address (byte 2 of a long address)
    QByteArray receivedBytes() const;
    const HartAnswer &answer() const { return m_answer; }

    // Fields of the request last transmitted (from analysisRequest)
    QByteArray requestAddress() const;
    QByteArray requestData() const;
    int requestCommand() const { return m_reqCommand; }

    // Reads a request back into its fields before it is sent. Its two errors
    // go to the standard error stream and leave the fields as they were.
    void analysisRequest(const QByteArray &frame);

    // The steps of one transmission, in the order they happen.
    enum class LineEvent { RtsOn, WriteStarted, WriteDone, RtsOff, AnswerAwaited };
    Q_ENUM(LineEvent)

signals:
    void requestSend(const char *frame, int length);
    void answerGet(int code);
    void allRequestsIsSend();
    // The port went away under the link (device removed, line hung up, a
    // write refused): the link has closed the port and dropped every request
    // and loop; no answerGet follows for the request that was in flight.
    void lineLost(const QString &reason);

public slots:
    void readData();
    void timeoutFunc();
    void timerSendLoop();
    void sendNext();

protected:
    // Called at every step of a transmission. A pseudo-terminal cannot carry
    // RTS, so this is where the RTS handling can be watched.
    virtual void lineEvent(LineEvent event);

private:
    enum class Phase { Idle, RtsLead, Writing, RtsHold, AwaitingAnswer, Unsent };

    void setRts(bool on);
    void startWrite();
    void onBytesWritten();
    void onWriteDone();
    void onPhaseTimer();
    void transmissionComplete();
    void deliverAnswer();
    void finishQueue();
    void resetReceive();
    void endUnsent();
    void reportTimeout();
    void onPortError(QSerialPort::SerialPortError error);
    void loseLine(const QString &reason);
    void dropEverything();

    QSerialPort *m_port = nullptr;
    QTimer *m_timeoutTimer = nullptr;
    QTimer *m_sendTimer = nullptr;
    QTimer *m_phaseTimer = nullptr;
    SerialConfig m_config;
    QString m_portName;
    QSet<QString> m_rtsWarnedPorts;

    QList<QByteArray> m_queue;
    int m_queueIndex = 0;
    bool m_loopMode = false;
    bool m_queueRunning = false;
    bool m_repeating = false;
    QByteArray m_currentFrame;

    int m_period = 1000;
    int m_timeout = 3000;
    int m_repeatCount = 3;
    int m_repeatsLeft = 3;
    int m_operation = 1;

    Phase m_phase = Phase::Idle;
    bool m_busy = false;
    bool m_answerPending = false;    // completed before the transmission had
    bool m_allSent = false;
    bool m_lastOutcomeAnswered = false;
    int m_answerEmitDepth = 0;
    bool m_losingLine = false;       // lost, the port not yet closed
    bool m_closingPort = false;

    HartReceiver m_receiver;
    HartAnswer m_answer;
    bool m_answerValid = false;

    QByteArray m_reqAddress;
    QByteArray m_reqData;
    int m_reqCommand = 0;
};
