#pragma once
// The calibration history as the window uses it: events handed over in one
// call and written by a thread of their own, so that a slow or absent
// database server never holds up the window; searches answered the same way.
//
// An event the database cannot take now (no server, no network, a database
// from a newer Tesmar) goes to the local queue file and is written when the
// database can be reached again: at the next event, when the settings
// change, and every RetryMs while anything waits. An event the database
// answers and refuses, the same on a second try, is set aside in a file
// beside the queue with its reason (said once), and the rest go on.

#include "history/historyconfig.h"
#include "history/historyevent.h"
#include "history/historyimport.h"
#include "history/historystore.h"

#include <QObject>
#include <QThread>

class HistoryWorker;

class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    static constexpr int RetryMs = 15000;

    explicit HistoryRecorder(const QString &queuePath, QObject *parent = nullptr);
    ~HistoryRecorder() override;

    void setConfig(const HistoryConfig &config);
    const HistoryConfig &config() const { return m_config; }

    // Gives the record a uid (when it has none) and hands it to the writer
    // thread; the uid.
    QString record(HistoryRecord record);
    void retryNow();

    // Requests to the writer thread; each answers by its signal with the
    // number returned here.
    int search(const HistoryFilter &filter);
    int loadDevice(const QString &serial);
    // The event; with the content of the files the history keeps, when asked.
    int loadEvent(const QString &uid, bool withContents = false);
    int importFolder(const QString &dir, const HistoryContext &context);

    int pending() const { return m_pending; }
    QString problem() const { return m_problem; }
    // "История: 3 записи ждут базы"; empty for none.
    static QString pendingText(int count);

signals:
    // A record handed over by record(), as it is queued: what the window
    // said happened, before any database has it.
    void recorded(const HistoryRecord &record);
    // After every attempt: events waiting in the queue, and why when the
    // database could not be used (empty when it could).
    void stateChanged(int pending, const QString &problem);
    void searched(int request, const QVector<HistoryRow> &rows, const QString &error);
    void deviceLoaded(int request, const QVector<HistoryRecord> &records, const QString &error);
    void eventLoaded(int request, const HistoryRecord &record, const QString &error);
    void imported(int request, const HistoryImport::Result &result);
    // An event the database refused on two tries was set aside in `file`
    // (beside the queue) so that the others go on; said once.
    void setAside(const QString &what, const QString &reason, const QString &file);

private:
    void noteState(int pending, const QString &problem);
    QThread m_thread;
    HistoryWorker *m_worker = nullptr;
    HistoryConfig m_config;
    int m_pending = 0;
    QString m_problem;
    int m_lastRequest = 0;
};
