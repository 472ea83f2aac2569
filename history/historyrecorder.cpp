#include "history/historyrecorder.h"

#include "history/historyqueue.h"

#include <QAtomicInt>
#include <QTimer>
#include <QUuid>

// Lives in the recorder's thread: the one connection of that thread, the
// queue file and the retry timer.
class HistoryWorker : public QObject
{
public:
    HistoryWorker(const QString &queuePath, HistoryRecorder *owner)
        : m_store(connectionName()), m_queue(queuePath), m_owner(owner)
    {
    }

    void start()
    {
        m_retry = new QTimer(this);
        m_retry->setInterval(HistoryRecorder::RetryMs);
        QObject::connect(m_retry, &QTimer::timeout, this, [this] { drain(); });
    }

    // Events left from an earlier session are written as soon as the
    // settings name a database that can take them.
    void setConfig(const HistoryConfig &config)
    {
        m_config = config;
        m_configured = true;
        m_store.close();
        m_tried = false;
        drain();
    }

    void record(const HistoryRecord &r)
    {
        drain();
        if (m_pendingCount == 0 && ensureOpen() && writeOrSetAside(r)) {
            report();
            return;
        }
        QString error;
        if (!m_queue.append(r, &error))
            m_lastProblem = error;   // the window says it; nothing else can keep it
        report();
    }

    void drain()
    {
        int unreadable = 0;
        const QVector<HistoryRecord> waiting = m_queue.readAll(&unreadable);
        if (waiting.isEmpty() && unreadable == 0) {
            m_pendingCount = 0;
            return;
        }
        int done = 0;   // written or set aside
        if (ensureOpen()) {
            while (done < waiting.size() && m_store.isOpen() && writeOrSetAside(waiting[done]))
                ++done;
        }
        if (done > 0 || unreadable > 0) {
            QString error;
            if (!m_queue.replace(waiting.mid(done), &error))
                m_lastProblem = error;
        }
        m_pendingCount = waiting.size() - done;
        report();
    }

    // Written, or refused by the database twice running and set aside: the
    // events after it are not held up by it. False while the database cannot
    // be used at all (the event waits).
    bool writeOrSetAside(const HistoryRecord &r)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_store.write(r))
                return true;
            if (!m_store.refused())
                return false;
        }
        const QString reason = m_store.error();
        QString error;
        if (!m_queue.setAside(r, reason, &error)) {
            m_lastProblem = error;
            return false;
        }
        const QString what = QStringLiteral("%1 %2, прибор %3")
                                 .arg(historyKindText(r.kind),
                                      r.context().when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")),
                                      r.device().serial.isEmpty() ? QStringLiteral("без номера") : r.device().serial);
        const QString file = m_queue.setAsidePath();
        HistoryRecorder *owner = m_owner;
        QMetaObject::invokeMethod(owner, [owner, what, reason, file] { emit owner->setAside(what, reason, file); });
        return true;
    }

    bool ensureOpen()
    {
        if (m_store.isOpen())
            return true;
        if (!m_configured)
            return false;
        m_store.open(m_config);
        m_tried = true;
        m_lastProblem = m_store.isOpen() ? QString() : m_store.error();
        return m_store.isOpen();
    }

    void report()
    {
        if (!m_store.isOpen() && m_tried)
            m_lastProblem = m_store.error();
        else if (m_store.isOpen())
            m_lastProblem.clear();
        m_pendingCount = m_queue.count();
        if (m_pendingCount > 0)
            m_retry->start();
        else
            m_retry->stop();
        const int pending = m_pendingCount;
        const QString problem = m_lastProblem;
        HistoryRecorder *owner = m_owner;
        QMetaObject::invokeMethod(owner, [owner, pending, problem] {
            emit owner->stateChanged(pending, problem);
        });
    }

    HistoryStore &store() { return m_store; }
    QString storeProblem() const { return m_store.error(); }

private:
    static QString connectionName()
    {
        static QAtomicInt counter;
        return QStringLiteral("tesmar-history-%1").arg(counter.fetchAndAddRelaxed(1));
    }

    HistoryStore m_store;
    HistoryQueue m_queue;
    HistoryConfig m_config;
    HistoryRecorder *m_owner;
    QTimer *m_retry = nullptr;
    int m_pendingCount = 0;
    QString m_lastProblem;
    bool m_tried = false;
    bool m_configured = false;
};

HistoryRecorder::HistoryRecorder(const QString &queuePath, QObject *parent) : QObject(parent)
{
    connect(this, &HistoryRecorder::stateChanged, this, &HistoryRecorder::noteState);
    m_worker = new HistoryWorker(queuePath, this);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("history"));
    m_thread.start();
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [w] { w->start(); });
}

HistoryRecorder::~HistoryRecorder()
{
    // Whatever was handed over is written or queued before the thread ends.
    QMetaObject::invokeMethod(m_worker, [] {}, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void HistoryRecorder::setConfig(const HistoryConfig &config)
{
    m_config = config;
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [w, config] { w->setConfig(config); });
}

QString HistoryRecorder::record(HistoryRecord record)
{
    if (record.uid.isEmpty())
        record.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!record.context().when.isValid())
        record.context().when = QDateTime::currentDateTimeUtc();
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [w, record] { w->record(record); });
    emit recorded(record);
    return record.uid;
}

void HistoryRecorder::retryNow()
{
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [w] { w->drain(); });
}

void HistoryRecorder::noteState(int pending, const QString &problem)
{
    m_pending = pending;
    m_problem = problem;
}

int HistoryRecorder::search(const HistoryFilter &filter)
{
    const int request = ++m_lastRequest;
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [this, w, filter, request] {
        bool ok = false;
        const QVector<HistoryRow> rows = w->ensureOpen() ? w->store().search(filter, &ok) : QVector<HistoryRow>();
        const QString error = ok ? QString() : w->storeProblem();
        QMetaObject::invokeMethod(this, [this, request, rows, error] { emit searched(request, rows, error); });
    });
    return request;
}

int HistoryRecorder::loadDevice(const QString &serial)
{
    const int request = ++m_lastRequest;
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [this, w, serial, request] {
        bool ok = false;
        const QVector<HistoryRecord> records =
            w->ensureOpen() ? w->store().deviceCalculations(serial, &ok) : QVector<HistoryRecord>();
        const QString error = ok ? QString() : w->storeProblem();
        QMetaObject::invokeMethod(this, [this, request, records, error] {
            emit deviceLoaded(request, records, error);
        });
    });
    return request;
}

int HistoryRecorder::loadEvent(const QString &uid, bool withContents)
{
    const int request = ++m_lastRequest;
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [this, w, uid, request, withContents] {
        HistoryRecord r;
        const bool ok = w->ensureOpen() && w->store().load(uid, &r) && (!withContents || w->store().loadContents(&r));
        const QString error = ok ? QString() : w->storeProblem();
        QMetaObject::invokeMethod(this, [this, request, r, error] { emit eventLoaded(request, r, error); });
    });
    return request;
}

int HistoryRecorder::importFolder(const QString &dir, const HistoryContext &context)
{
    const int request = ++m_lastRequest;
    HistoryWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [this, w, dir, context, request] {
        // Calculations recorded while the database was away are written
        // first, so that their reports are known as theirs.
        w->drain();
        w->ensureOpen();
        const HistoryImport::Result result = HistoryImport::importFolder(w->store(), dir, context);
        QMetaObject::invokeMethod(this, [this, request, result] { emit imported(request, result); });
        w->report();
    });
    return request;
}

QString HistoryRecorder::pendingText(int n)
{
    if (n <= 0)
        return QString();
    const int mod10 = n % 10, mod100 = n % 100;
    const bool one = mod10 == 1 && mod100 != 11;
    const bool few = mod10 >= 2 && mod10 <= 4 && (mod100 < 12 || mod100 > 14);
    const QString noun = one ? QStringLiteral("запись") : few ? QStringLiteral("записи") : QStringLiteral("записей");
    const QString verb = one ? QStringLiteral("ждет") : QStringLiteral("ждут");
    return QStringLiteral("История: %1 %2 %3 базы").arg(n).arg(noun, verb);
}
