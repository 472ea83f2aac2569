#pragma once
// The history window: the events of every device, searched by serial, date
// range, model and result; the calibrations of the selected device over
// time with the drift of its coefficients and zero; the selected event told
// whole; the files and report of an event, from the disk or, when the disk's
// copy is gone or changed, from the copy the history keeps (and saved from
// it); the rows shown exported as CSV. It only reads, so it is open to
// everyone whatever the lock. Every query runs in the recorder's thread;
// the window shows the answer when it comes.

#include "history/historystore.h"

#include <QWidget>
#include <functional>
#include <memory>

class HistoryRecorder;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTemporaryDir;
class QStandardItemModel;
class QTableView;
class QUrl;

class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryWindow(HistoryRecorder *recorder, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    // The filter the fields say.
    HistoryFilter filter() const;
    // Runs the search of the fields.
    void search();
    const QVector<HistoryRow> &shownRows() const { return m_rows; }
    QString statusText() const;

    // The questions and the desktop, replaceable by tests.
    std::function<QString()> chooseCsvFile;
    std::function<QString()> chooseSaveDir;
    std::function<bool(const QUrl &)> openUrl;

    QLineEdit *serialEdit() const { return m_serial; }
    QCheckBox *periodBox() const { return m_period; }
    QDateEdit *fromEdit() const { return m_from; }
    QDateEdit *toEdit() const { return m_to; }
    QComboBox *modelBox() const { return m_model; }
    QComboBox *resultBox() const { return m_result; }
    QTableView *eventsView() const { return m_events; }
    QTableView *deviceView() const { return m_device; }
    QStandardItemModel *eventsModel() const { return m_eventsModel; }
    QStandardItemModel *deviceModel() const { return m_deviceModel; }
    QPlainTextEdit *detailsView() const { return m_details; }

signals:
    // A search or a device's calibrations have been shown.
    void shown();
    // A message for the main window's status bar (failures).
    void failure(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onSearched(int request, const QVector<HistoryRow> &rows, const QString &error);
    void onDeviceLoaded(int request, const QVector<HistoryRecord> &records, const QString &error);
    void onEventLoaded(int request, const HistoryRecord &record, const QString &error);
    void selectionChanged();
    enum class Action { OpenFolder, OpenReport, SaveKept };
    void requestSelected(Action action);
    void openFiles(const HistoryRecord &record);
    void saveKept(const HistoryRecord &record);
    QString keptCopy(const HistoryFile &file, QString *error);
    void exportCsv();
    void say(const QString &text, bool bad);
    HistoryRow selectedRow() const;

    HistoryRecorder *m_recorder;
    QLineEdit *m_serial;
    QCheckBox *m_period;
    QDateEdit *m_from, *m_to;
    QComboBox *m_model, *m_result;
    QPushButton *m_find, *m_openFiles, *m_openReport, *m_saveKept, *m_export;
    QPlainTextEdit *m_details;
    std::unique_ptr<QTemporaryDir> m_keptDir;
    QTableView *m_events, *m_device;
    QStandardItemModel *m_eventsModel, *m_deviceModel;
    QLabel *m_deviceTitle, *m_status;
    QVector<HistoryRow> m_rows;
    int m_searchRequest = 0, m_deviceRequest = 0, m_eventRequest = 0, m_detailsRequest = 0;
    Action m_action = Action::OpenReport;
    bool m_searchedOnce = false;
};
