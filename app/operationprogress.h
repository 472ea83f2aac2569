#pragma once
// The count of a run of requests that the engineer may follow and stop: the
// device scan, the bulk read and write of the device data, the parameter
// download and upload and the parameters file save chain. Each outcome the
// link reports for the run is one step; the run ends when every step is in,
// when the link has gone idle before that (a closed scan box, a lost line),
// or after a cancel once the request in flight has its outcome. A run that
// did not get every step right is partial, and its result text says so.

#include <QObject>
#include <QString>

class OperationProgress : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Running, Cancelling, Finished };
    enum class Outcome { None, Complete, Partial, Cancelled, Interrupted };

    // What a run is called and counts: the title ("Чтение данных
    // устройства"), the unit of a step in the genitive plural ("блоков") and
    // the word for the steps that went right ("успешно", "опрошено").
    struct Run
    {
        int kind = 0;   // the caller's tag (the operation code that started it)
        QString title;
        QString unit;
        QString doneWord = QStringLiteral("успешно");
    };

    explicit OperationProgress(QObject *parent = nullptr);

    void start(const Run &run, int total);
    // One outcome: ok when its answer came and was good.
    void step(bool ok);
    // The engineer asked to stop: the run is Cancelling until finish().
    void requestCancel();
    // The run is over; reason names an interruption from outside (a lost
    // line). Does nothing when no run is active.
    void finish(const QString &reason = QString());

    State state() const { return m_state; }
    Outcome outcome() const { return m_outcome; }
    bool isActive() const { return m_state == State::Running || m_state == State::Cancelling; }
    int kind() const { return m_run.kind; }
    int total() const { return m_total; }
    int done() const { return m_done; }
    int failed() const { return m_failed; }
    int succeeded() const { return m_done - m_failed; }
    bool allStepsIn() const { return m_done >= m_total; }

    // "Чтение данных устройства: 3 из 12 блоков" while running.
    QString progressText() const;
    // The verdict after finish(): complete, or partial with the reason.
    QString resultText() const;
    bool isPartial() const
    {
        return m_outcome == Outcome::Partial || m_outcome == Outcome::Cancelled
               || m_outcome == Outcome::Interrupted;
    }

signals:
    void changed();
    void cancelRequested();
    void finished();

private:
    Run m_run;
    State m_state = State::Idle;
    Outcome m_outcome = Outcome::None;
    int m_total = 0;
    int m_done = 0;
    int m_failed = 0;
    QString m_reason;
};
