#pragma once
// A guided calibration run: the plan, the cursor saved after every step,
// and the steps themselves, each starting with a request (to the operator
// or to the devices) and ending with an outcome. No widget here: the
// window shows what the run says and forwards the operator's choices; the
// tests drive the same object.
//
// Capture of a point: after the operator confirms the pressure, every
// device still in the run is polled in turn (one cycle = one command-3
// answer from each); answers to requests sent before the confirmation are
// not counted. A device is ready once it has max(N, averaged) answers and
// the last N are stable by the rule; when every device is ready, the last
// `averaged` answers are averaged and the point line is appended to each
// device's point file exactly as "Добавить данные" writes it. A device that
// gives no usable answer for `silentCycles` cycles in a row leaves the run
// (said in red) so it never holds up the others.
//
// Before a point's lines are written, the bench check puts each device's
// new signals through its own points so far (guidedplausibility.h): a point
// that misses the pressure asked by more than the plan's share of the span
// is held, named, until the operator sets the bench again, types the
// reference's reading or has it written as it is (kept in the report). A
// verification step whose readings tell of a loaded P- chamber is held the
// same way instead of failing devices that are right.

#include "calc/calibrationreport.h"
#include "guided/guidedlink.h"
#include "guided/guidedplan.h"
#include "guided/guidedstate.h"
#include "guided/guidedwrite.h"
#include "monitor/stability.h"
#include "monitor/trendstore.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPair>
#include <QVector>
#include <cmath>
#include <memory>

struct GuidedCalcResult;

struct GuidedLiveDevice
{
    int answers = 0;                // usable answers of the step under way
    int misses = 0;                 // cycles in a row without one
    StabilityState state = StabilityState::NoData;   // the worst of the quantities judged
    QString mark;                   // as beside the poll rows
    float values[TrendQuantityCount] = {0, 0, 0, 0, 0};
};

class GuidedRun : public QObject
{
    Q_OBJECT
public:
    explicit GuidedRun(GuidedLink *link, QObject *parent = nullptr);
    ~GuidedRun() override;

    // A new run in runDir (created if missing): writes the plan and the
    // state and makes the devices' directories. False with the reason.
    bool create(const QString &runDir, const GuidedPlan &plan, QString *why,
                const QString &operatorName = QString());
    // The run kept in runDir, where it stood. A step that was under way
    // when the program stopped is taken up from its request again; lines
    // of a point that were on their way to the files are finished.
    bool open(const QString &runDir, QString *why);
    // A run in runDir that has not ended; *where says where it stands. A
    // run whose files are damaged is none: *damage then says which file
    // and why (empty when there is no run at all or it is whole).
    static bool resumable(const QString &runDir, QString *where = nullptr, QString *damage = nullptr);

    const GuidedPlan &plan() const { return m_plan; }
    const GuidedCursor &cursor() const { return m_cursor; }
    GuidedPhase phase() const { return m_cursor.phase; }
    QString runDir() const { return m_runDir; }
    QString deviceDir(int device) const;
    QString pointFile(int device, int temperature) const;

    // What the operator is asked now (empty while the run works alone).
    QString request() const;
    // Where the run stands, in one line.
    QString progressText() const;
    int stableCount() const;
    int activeCount() const;
    bool isPaused() const { return m_paused; }
    bool isWaitingForOperator() const;
    const QVector<GuidedLiveDevice> &live() const { return m_live; }
    // Poll cycles the last point or verification step took from the
    // operator's confirmation to its end.
    int lastStepCycles() const { return m_lastStepCycles; }

    // The operator's choices.
    void start();                                   // begin, or go on after open()
    void confirm(double referenceKPa = std::nan(""));   // the temperature or pressure is set
    void answerFit(bool yes);                       // a result beyond the gate
    // A point held by the bench check: confirm() after setting the bench
    // again takes it anew, confirm(reading) takes the reference's reading
    // and judges again, recordHeld() writes it as it is (said in the report).
    bool isHeld() const { return !m_held.isEmpty(); }
    void recordHeld();
    void pause();
    void resume();
    void redoLastPoint();
    void skipDevice(int device, const QString &reason = QString());
    void abort(const QString &reason = QString());

    // After a write with failures (GuidedPhase::WriteReview): the devices
    // not written are calculated and written again.
    void writeAgain();
    // Puts back what the device held before the run's first write to it,
    // from its folder; false (and why) when that cannot be done now.
    bool restorePrior(int device, QString *why);
    bool canRestore(int device) const;
    QString priorFile(int device) const;
    // A write or restore is under way.
    bool isWriting() const { return m_job.running(); }

    QString reportBase() const;                     // runDir/<base>_batch_report
    // What to do when the port has gone: the run is paused and saved.
    static QString portAdvice();
    QString lastError() const { return m_error; }

signals:
    void changed();
    // Lines for the run's log: success green, failure red.
    void message(const QString &text, bool failure);
    void finished();
    // A device's coefficients were written: the calculation behind them.
    void calculationWritten(const CalibrationReport &report, const QString &reportPath);
    // Every write to a device and every return of what it held, whatever
    // came of it (refused for the wrong device, cut, complete).
    void writeRecorded(const GuidedWriteRecord &record);
    // A device's calculation refused: nothing was written to it.
    void calculationRefused(int device, const QString &why);

private:
    enum class Pending { None, Poll, Params, Write, Pressure, Identity };

    void setPhase(GuidedPhase p);
    bool save();
    void fail(const QString &text);
    // The port has gone: the run is paused, saying how to go on (true).
    bool pauseIfPortGone();
    // Sends `read` to the first device of `order` (then its reply is a
    // `kind`); a busy link is tried again shortly through `again` with no
    // reply, a closed port pauses the run.
    void readNext(QVector<int> *order, const RequestItem &read, Pending kind,
                  void (GuidedRun::*again)(const GuidedReply &));
    void say(const QString &text);

    // Capture and verification (guidedrun_capture.cpp).
    void beginStep();
    void pollNext();
    void schedule(int ms = 0);
    void onReply(const GuidedReply &reply);
    void onPollReply(const GuidedReply &reply);
    // refusal: the response code a device answered with instead (-1: none came)
    void noteMiss(int device, const QString &why, int refusal = -1);
    bool deviceReady(int device, bool needAverage) const;
    void checkStepDone();
    void finishPoint();
    bool applyPending();
    void advanceAfterPoint();
    void finishVerifyPolling();
    void onPressureReply(const GuidedReply &reply);
    void finishVerifyStep();
    void leaveOut(int device, const QString &reason);
    // The bench check (guidedrun_hold.cpp).
    QVector<GuidedPendingLine> pointLines() const;
    bool holdPoint(const QVector<GuidedPendingLine> &lines);
    bool holdVerification(const QVector<GuidedVerifyRow> &rows);
    void hold(const QVector<QPair<int, QString>> &held);
    void confirmHeld(double referenceKPa);
    void judgeHeldAgain();
    QString heldRequest() const;

    // Calculation and writing (guidedrun_calc.cpp).
    void calcNext();
    void onParamsReply(const GuidedReply &reply);
    void acceptCalc();
    void onWriteReply(const GuidedReply &reply);     // a reply to the write's requests
    void writeDone();
    void refuseCalc(const QString &why);
    void calcDone(GuidedDeviceResult::Calc state, const QString &note);
    void finishRun();

    // Writes and their identity checks (guidedrun_write.cpp).
    bool needsCalc(int device) const;
    void endCalculation();
    void goToVerification();
    void sendJob();
    void noteJobProgress();
    void jobDone();
    void restoreDone(const GuidedWriteRecord &r);
    bool keepPrior(const GuidedWriteRecord &r, QString *why);
    void checkIdentity();
    void onIdentityReply(const GuidedReply &reply);

    GuidedLink *m_link;
    GuidedPlan m_plan;
    GuidedCursor m_cursor;
    QString m_runDir;
    QString m_error;
    bool m_paused = false;

    // The step under way (not saved: a restart takes the step up again).
    Pending m_pending = Pending::None;
    bool m_polling = false;
    int m_pollDevice = -1;          // device of the request out
    int m_cycleStart = -1;          // device the current cycle began with
    int m_cycles = 0;
    int m_lastStepCycles = 0;
    std::unique_ptr<TrendStore> m_store;
    QElapsedTimer m_clock;
    QVector<GuidedLiveDevice> m_live;
    QVector<int> m_pressureOrder;   // verification reads still to make
    QVector<double> m_pressureRead; // by device, NaN for none
    std::unique_ptr<GuidedCalcResult> m_calc;
    GuidedWrite m_job;
    // After open(): the devices at the saved addresses are checked against
    // the plan before the run goes on.
    bool m_identityDue = false;
    QVector<int> m_identityOrder;
    QStringList m_identityProblems;
    // The point or verification step held by the bench check: by device,
    // what it says (not saved: a restart takes the step again).
    QVector<QPair<int, QString>> m_held;
    bool m_recordHeld = false;      // the operator had it written as it is
};
