#pragma once
// The one serial link: frames go out one at a time on a send timer, each
// answer is awaited under a time-out with a bounded number of transmissions,
// and every outcome is reported with the operation code the request went
// out under.
//
// Nothing here blocks the event loop. A transmission is a short sequence of
// states driven by single-shot timers: a wait for a quiet line (while a
// frame is still coming in, or briefly after the same device's answer), RTS
// raised and a 5 ms lead (without flow control only), the write until the
// port has taken every byte (at most 30 s), RTS held for rtsDelay ms per
// byte and dropped (without flow control only), then the answer time-out. The link is busy from the first of these
// steps until the answer or the final time-out has been reported.
//
// One answer, one request: a frame is credited to the waiting request only
// when it names the request's device (short address, or the device byte of
// a long address, master and burst bits aside; a write of a new short address
// may be answered from either) and the request's command, and did not begin
// before the request was written. A frame begins with its delimiter: stray
// 0xFF and noise that came before it (a converter switching direction during
// the RTS lead) do not date the answer behind them. Every other complete frame (late, duplicated, stray,
// from another device, for another command, or arriving while nobody waits)
// is discarded and counted; the request goes on waiting for its own answer
// under its time-out and repeats. The counts per device are in statistics().
//
// A damaged answer (bad checksum) to a read (commands 0, 3 and 51) is not
// taken while transmissions remain: the read is sent again, which is
// harmless. To a device operation or a write it ends the request as it is,
// since the device may have acted on it. An intact answer whose response
// code says the device saw a communication error (bit 7) is asked again
// for any request: the device did not take it.
//
// An answer that names a request which has already timed out is late: it is
// discarded as any other, and lateAnswer says whose and how late it was.

#include "link/hartframe.h"
#include "link/linkstatistics.h"
#include "link/serialconfig.h"

#include <QByteArray>
#include <QElapsedTimer>
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
    // After a failed configurePort: the setting the port refused, in words
    // ("контроль чётности"); empty when none was.
    QString refusedSetting() const { return m_refusedSetting; }
    void closePort();
    bool isPortOpen() const;
    QString portName() const;
    QString portErrorString() const;
    QSerialPort::SerialPortError portError() const;
    // After a failed openPort: the port is there and usable by this user, but
    // another program (another Tesmar among them) holds it.
    bool portHeldElsewhere() const;

    // Serial settings record (loaded at construction)
    SerialConfig &serialConfig();
    const SerialConfig &serialConfig() const;

    // Timing and tagging: set in this order before starting
    void setPeriod(int ms);
    void setTimeout(int ms);
    void setRepeats(int n);
    // The code a request's outcome is reported with is the one in force when
    // the request was first transmitted: a request still in flight when the
    // code changes keeps its own, so its answer never reaches the next
    // operation as that operation's.
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
    // Ends repeat mode first (repeatEnded): the line has one owner.
    void startQueue(bool loop);
    // Ends queue and repeat mode without a signal: the caller knows.
    void stopSending();
    // Transmits now, ending repeat mode first (repeatEnded). A frame handed
    // over while another transmission is under way is refused (false, and a
    // diagnostic, see link/linklog.h): two frames never share the
    // line and every outcome belongs to one request. With the port closed
    // nothing is written and nothing reported as sent: the request ends with
    // its time-out outcome, answerGet(0), from the event loop.
    bool sendFrame(const QByteArray &frame);
    // Repeat mode: transmits the frame once every period until stopSending,
    // a queue start or an outside sendFrame; ends a running queue first. The
    // repeated frame is kept apart from the frame in flight, so a single
    // request sent meanwhile goes out once, never in the loop's place.
    void sendRepeated(const QByteArray &frame);
    // True from the start of a transmission until its answer or final time-out.
    bool isBusy() const;
    bool isQueueRunning() const { return m_queueRunning; }
    bool isRepeating() const { return m_repeating; }
    QByteArray currentFrame() const { return m_currentFrame; }
    QByteArray repeatedFrame() const { return m_repeatFrame; }
    // The operation code of the request whose outcome answerGet reports now
    // (also for the time-out outcome, which answerGet reports as 0).
    int answerOperation() const { return m_requestOperation; }

    // What the link has counted since construction or resetStatistics().
    const LinkStatistics &statistics() const { return m_stats; }
    void resetStatistics();

    // Last answer (valid after answerGet with a non-zero code)
    QByteArray answerData() const;
    int answerDataLength() const;
    bool answerChecksumOk() const;
    bool answerIsLong() const;
    uint8_t answerAddress() const;   // short address (byte 2 of a long address)
    // The credited answer frame as received, normalised (exactly its counted
    // preamble bytes, the delimiter and what followed to the checksum).
    QByteArray receivedBytes() const;
    const HartAnswer &answer() const { return m_answer; }

    // Fields of the request last transmitted (from analysisRequest)
    QByteArray requestAddress() const;
    QByteArray requestData() const;
    int requestCommand() const { return m_reqCommand; }

    // Reads a request back into its fields before it is sent. Its two errors
    // are diagnostics (link/linklog.h) and leave the fields as they were.
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
    // Emitted once per loss, from the event loop.
    void lineLost(const QString &reason);
    // Repeat mode ended other than by stopSending: a queue start or an
    // outside sendFrame took the line over, or the line was lost.
    void repeatEnded();
    // Every frame written, every complete frame received (credited or
    // discarded) and every request that ended without an answer. Built only
    // while something is connected.
    void traffic(const LinkTrafficEvent &event);
    // An answer came for a request that had already ended in its time-out
    // (operation: the code it went out under), afterMs after its last
    // transmission; it was discarded.
    void lateAnswer(int address, int command, int operation, int afterMs, int timeoutMs);
    // RTS raised or dropped by hand (no flow control), also where the port
    // has no RTS line to drive: a converter on the line switches with it.
    void rtsChanged(bool on);

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
    enum class Phase { Idle, LineQuiet, RtsLead, Writing, RtsHold, AwaitingAnswer, Unsent };
    // The operation that wants to hear when its batch has been answered in full.
    static constexpr int NotifyAllSentOperation = 29;

    bool startRequest(const QByteArray &frame);
    void transmit(const QByteArray &frame);
    void endRepeatMode();
    void endQueueRun();
    void setRts(bool on);
    void startWrite();
    void onBytesWritten();
    void onWriteDone();
    void onPhaseTimer();
    void transmissionComplete();
    void deliverAnswer();
    bool askAgain() const;
    bool repeatUnheard();
    void noteIfLate(int address, int command);
    void hunt(const char *data, int size);
    void frameCompleted(bool *credited);
    bool mayBeBusy() const;
    bool lineBusy(qint64 heardUntilNs) const;
    void startLine();
    void finishQueue();
    void resetReceive();
    void emitTraffic(LinkTrafficEvent::Direction direction, LinkTrafficEvent::Verdict verdict,
                     int address, int command, int byteCount, const QByteArray &bytes);
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
    QString m_refusedSetting;
    QSet<QString> m_rtsWarnedPorts;

    QList<QByteArray> m_queue;
    int m_queueIndex = 0;
    bool m_loopMode = false;
    bool m_queueRunning = false;
    bool m_repeating = false;
    QByteArray m_currentFrame;
    QByteArray m_repeatFrame;

    int m_period = 1000;
    int m_timeout = 3000;
    int m_repeatCount = 3;
    int m_repeatsLeft = 3;
    int m_operation = 1;
    int m_requestOperation = 1;      // code of the request in flight

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
    qint64 m_answerNs = 0;           // when the credited frame completed
    QByteArray m_lastCredited;       // the last frame credited, and what it named
    int m_lastCreditedAddress = -1;
    int m_lastCreditedCommand = -1;
    qint64 m_quietWaitStartNs = 0;
    qint64 m_quietCheckNs = 0;       // when the line was last looked at for quiet
    qint64 m_lastRxNs = -1;          // when bytes last came in
    int m_writeMark = 0;             // frames begun up to the last write start
    bool m_written = false;          // this transmission has begun its write
    int m_transmissions = 0;         // of the request in flight
    qint64 m_writeDoneNs = 0;

    QByteArray m_reqAddress;
    QByteArray m_reqData;
    int m_reqCommand = 0;
    int m_matchAddress = -1;         // device byte an answer must name; -1 any
    int m_altMatchAddress = -1;      // another it may name (a new short address written)
    int m_matchLongHead = -1;        // first long-address byte, bits 6-7 aside; -1 short
    int m_matchCommand = -1;         // command an answer must name; -1 any

    // Requests that ended in their time-out, newest last, so that an answer
    // still coming for one of them can be said to be late.
    struct TimedOut
    {
        int address;
        int command;
        int operation;
        qint64 writeDoneNs;
        int timeoutMs;
    };
    static constexpr int MaxTimedOutKept = 16;
    QList<TimedOut> m_timedOut;

    LinkStatistics m_stats;
    QElapsedTimer m_clock;
};
