#pragma once
// The main window: one class whose slots are spread over the folders of the
// subsystems they serve (app/, console/, device/, polling/, calc/,
// devicedata/, settings/). This header is organised the same way; each
// subsystem keeps its members and slots in its own section.

#include <QByteArray>
#include <QMainWindow>
#include <QPalette>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>

#include "device/deviceoperations.h"   // DeviceOperations member (device/)
#include <functional>
#include <memory>

#include "polling/measurementcapture.h"
#include "calc/lsqcalibration.h"      // calculation state (calc/)
#include "calc/blockwritetally.h"     // blocks of a coefficient write (calc/)
#include "devicedata/writeidentity.h" // the device a write goes to (devicedata/)
#include "app/linestatus.h"           // status bar states (app/)

class Dialog;
class DumpDialog;
class HistoryRecorder;
class HistorySettingsDialog;
class HistoryWindow;
struct HistoryContext;
struct VerificationEvent;
class MessageLog;
class OperationProgress;
class QDockWidget;
class StatusBarParts;
class LineMonitor;
struct LinkTrafficEvent;
class QFile;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QStandardItemModel;
class QTextEdit;
class protocolComHart;

namespace Ui {
class MainWindow;
}

// One polling channel: enable box and address list, laid out in devsGridLayout.
struct PollChannel
{
    QCheckBox *enable = nullptr;
    QComboBox *address = nullptr;
};

// One averaged-values row, laid out in devsAvgGridLayout.
struct MeanDisplayRow
{
    QLabel *label = nullptr;
    QLineEdit *field = nullptr;
};

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int ChannelCount = 15;
    static constexpr int RequestBufferSize = 50;

    // Tab indexes of tabWidget.
    enum Tab {
        TabDeveloper = 0,
        TabFunction3 = 1,
        TabCalibration = 2,
        TabKdsp = 3,
        TabMiscCoefs = 4,
        TabDevice = 5,
        TabSettings = 6
    };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Read access for tests and tools (the screenshot tour).
    Ui::MainWindow *form() const { return ui; }
    protocolComHart *hartLink() const { return link; }
    bool isBusy() const { return busy; }
    bool isInterfaceLocked() const { return interfaceLocked; }
    int appliedPollPeriod() const { return pollPeriod; }
    int appliedPollTimeout() const { return pollTimeout; }
    int appliedPollRepeats() const { return pollRepeats; }
    int appliedScanPeriod() const { return scanPeriod; }
    int appliedScanTimeout() const { return scanTimeout; }
    int appliedScanRepeats() const { return scanRepeats; }
    const QVector<PollChannel> &channels() const { return pollChannels; }
    const QVector<MeanDisplayRow> &meanRows() const { return meanDisplay; }

    // The port offered first in the port list: TESMAR_PORT when set, else the
    // port last connected (settings store).
    QString preferredPort() const { return m_preferredPort; }

public slots:
    // ---- Shell: port, locks, timing, dispatcher (app/) ----
    void updateCOM();
    void connectCOM();
    void closeCOM();
    bool checkPortOpen();
    void setBusy(bool on);
    void applyMessegeSettings();
    void blockInterface();
    void unblockInterface();
    void on_lineEditPassword_textChanged(const QString &text);
    void answerIsGet(int status);

    // ---- Developer console (console/mainwindow_console.cpp) ----
    void changeFunction();
    void on_checkLongFrame_stateChanged(int state);
    void on_comboBoxMainAddr_currentIndexChanged(int index);
    void on_spinBoxSymPreamble_valueChanged(int value);
    void on_lineAddr91_textChanged(const QString &text);
    void on_lineAddr91_2_textChanged(const QString &text);
    void on_comboBoxRegisters_currentIndexChanged(int index);
    void on_spinBoxSymData91_valueChanged(int count);
    void changeData();
    void creat91Request();
    void sendRequest();
    void startLoop();
    void stopLoop();
    void clearConsole();
    void requestIsSend(const char *req, int sSym);

    // ---- Device scan (app/mainwindow_scan.cpp) ----
    void sendFindRequest();
    void onMsgBoxScanAddrExit(int result);
    void resetAddress();

    // ---- One owner of the line (app/mainwindow_line.cpp) ----
    // The link lost its port: everything that was running stops, the lock
    // is released and the header offers "Связать" again.
    void onLineLost(const QString &reason);
    // The link ended the console's repeat itself (another request took the
    // line): the window leaves the loop as "Стоп" would.
    void onRepeatEnded();

private:
    // ---- Developer console (console/mainwindow_console.cpp) ----
    void refreshCommand51Data();
    void rebuildWrite91Data();
    void buildConsoleRequest();
    void showRequest();
    // The common start of a single send and a loop: builds and shows the
    // request and readies the link; false when nothing is to be sent.
    bool prepareConsoleSend();
    // Appends at the end of textEditConsole in the given colours.
    void consoleWrite(const QString &text, const QColor &fg, const QColor &bg);
    // The address, byte and float fields the chosen command sends hold what
    // they must; false, with the fields in red and the refusal reported,
    // when one does not.
    bool consoleFieldsValid();
    // Why the last console build produced no frame (empty when it did).
    QString m_consoleRefusal;
    // The data count write91Data was created for by creat91Request.
    int m_write91Count = -1;

    // ---- Device scan (app/mainwindow_scan.cpp) ----
    void appendScanText(const QString &text);
    void addFoundAddress(int address);

    // ---- One owner of the line (app/mainwindow_line.cpp) ----
    // Before an operation under `code` takes the line: a console loop or a
    // cyclic poll ends as "Стоп" would end it, and a running pressure query
    // (unless the operation is the query itself) is stopped with its button
    // reset. The line has one owner at a time.
    void takeLine(int code);
    // The window state a loop leaves when it ends: tabs back, the loop flag
    // off, a single poll pass forgotten. The busy lock is the caller's.
    void leaveLoopState();
    // A single poll pass has had an outcome for each of its requests.
    void endPollPass();
    // Everything that sends or waits for an answer stops and the lock is
    // released: the port is gone or closed. reason ends the partial-transfer
    // and scan messages ("связь с портом потеряна").
    void haltLineActivity(const QString &reason);
    // The refusal of requests that could not be framed (most often too many
    // preambles for the request buffer); error is the frame's own reason.
    void reportUnbuiltFrames(int preamble, bool longFrame, const QVector<RequestItem> &items,
                             const QString &error);
    // Outcomes still due of a single poll pass ("Отправить запрос"); 0 when
    // none runs.
    int m_pollPassLeft = 0;
    // The cyclic pressure query is sending.
    bool m_pressureQueryRunning = false;
    // A loop was ended while its request still waited for the answer: the
    // next outcome the link reports is that request's, not the new
    // operation's, whatever code it comes under.
    bool m_staleOutcome = false;

public slots:

    // ---- Serial-port settings (settings/mainwindow_settings.cpp) ----
    void onApplyComConf();

    // ---- Polling and calibration capture (polling/mainwindow_polling.cpp) ----
    void sendFunc3Request();
    void setPressue();
    void onUpdateMU4var();
    void startFindAvg();
    void clearMO();
    void addDataCoef();
    void clearTable();
    void onPbChooseSaveDir();
    void onSaveFilesNotChoosen();
    void on_spinBoxPressuePos_valueChanged(int value);
    void on_spinBoxPressueNeg_valueChanged(int value);
    void on_spinBoxTimerInterval_valueChanged(int value);
    void on_checkBoxCakibrationMiddle_stateChanged(int state);
    void on_checkBoxCakibrationLow_stateChanged(int state);
    void on_checkBoxCakibrationHigh_stateChanged(int state);
    void on_buttonSave_clicked();

public:
    // ---- Shell helpers (app/) ----
    // Builds one request into requestBytes / requestLength (0 when the frame
    // could not be built). Command 51 carries command51Data; command 91 the
    // first n + 1 bytes of write91Data (register address high and low, then
    // the bytes to write). error, when given, receives the frame's reason
    // for a refusal.
    void buildRequest(int preamble, bool longFrame, uint8_t address, int command, int n = 0,
                      QString *error = nullptr);
    // The request last built, empty when it could not be built.
    QByteArray builtRequest() const
    {
        return QByteArray(reinterpret_cast<const char *>(requestBytes), requestLength);
    }
    // Frames of a batch of requests for the main address (empty, with the
    // reason on the diagnostic stream, when they could not be built).
    QVector<QByteArray> batchFrames(const QVector<RequestItem> &items);
    // Queues a batch under one operation code, sent once or, cyclic, until
    // stopped; an empty batch sends nothing and releases the busy lock.
    void runBatch(int code, int periodMs, const QVector<QByteArray> &frames, bool cyclic = false);
    // The start of a request exchange: port check, busy lock (released by the
    // dispatcher after an answer) and the queue cleared; false when the port
    // is closed.
    bool startExchange();
    // Readies the link for a run under one operation code: the period given,
    // the applied time-out and repeat count.
    void prepareLink(int code, int periodMs);
    // Appends text at the end of a status pane in the pane's current colour
    // and scrolls to it.
    void appendStatus(QTextEdit *pane, const QString &text);
    // The same in the given colour, which stays in force at the pane's end
    // for whatever is appended after it.
    void appendStatus(QTextEdit *pane, const QString &text, const QColor &colour);
    // Both, for the pane alone: a line the message log gets in other words.
    static void appendPaneOnly(QTextEdit *pane, const QString &text, const QColor &colour = QColor());
    // The colour of confirmations in the status panes.
    static QColor successColour() { return QColor(7, 158, 0); }

    // Messages that must reach the engineer whatever tab is shown and
    // whatever the lock state (app/mainwindow_messages.cpp): in the status
    // bar, in the pane of the current tab, and in `pane` when one is named.
    // timeoutMs < 0 keeps the status bar text for a few seconds, 0 until the
    // next message.
    // Every such message goes to the message log too: under `source` when
    // one is given (the subsystem it comes from, MessageLog's source names),
    // else under the pane it was written to, else "Строка состояния".
    void reportFailure(const QString &text, QTextEdit *pane = nullptr, int timeoutMs = -1,
                       const QString &source = QString());
    void reportSuccess(const QString &text, QTextEdit *pane = nullptr, int timeoutMs = -1,
                       const QString &source = QString());
    void report(const QString &text, const QColor &colour, QTextEdit *pane = nullptr,
                int timeoutMs = -1, const QString &source = QString());
    void showStatusMessage(const QString &text, const QColor &colour, int timeoutMs = -1,
                           const QString &source = QString());
    // The status pane of the tab in view; nullptr for tabs without one.
    QTextEdit *currentPane() const;

protected:

    // Construction steps that belong to one subsystem each. The shell calls
    // them at the point of construction where their wiring has to happen;
    // each subsystem defines its own in its folder.
    void initCalibrationFiles();    // polling: directory and file objects, buffers
    void setupConsole();            // console: connections, first request build and show
    void setupScan();               // scan: buttons and the scan box's finished signal
    void setupDeviceOperations();   // device: connections, unit, coefficient field groups
    void setupPolling();            // polling: connections of the polling tab
    void setupCalc();               // calc: parameters dialog and its menu action
    void setupDeviceData();         // devicedata: device data dialog
    void setupProgramSettings();    // settings: program-wide apply and reset

    // Answer handlers the dispatcher calls per operation code.
    void showConsoleAnswer();                 // codes 1, 2, 3 while the developer tab is current
    void handleScanAnswer();                  // code 2
    void handleScanTimeout();                 // code 0 while a scan runs
    void handlePollingAnswer();               // code 3
    void handleDeviceDataAnswer(int code);    // codes 51, 52
    void handleDeviceAnswer(int code);        // every other device operation code

    // ---- What the device says in its answer, and answers that came too late
    // (link/responsecode.h; app/mainwindow_scan.cpp, device/mainwindow_device.cpp) ----
    // Status byte 1 of the answer being handled; 0 for a damaged answer,
    // whose bytes cannot be trusted.
    uint8_t answerResponseCode() const;
    // Says a warning (orange) or a refusal (red) in the pane and the status
    // bar; true when the device did what was asked (success or warning).
    bool reportResponseCode(uint8_t status1, QTextEdit *pane);
    void onLateAnswer(int address, int command, int operation, int afterMs, int timeoutMs);
    // A scan that found nothing says which addresses answered after its
    // time-out (once per new address, when its probes are over).
    void sayScanLate();
    void flushScanLate();
    QVector<int> m_scanLate;                  // addresses whose scan answer came late
    QStringList m_scanLatePending;            // late lines waiting for the box's line to end
    int m_scanLateSaid = 0;

private:
    // ---- Shell: construction and persisted state (app/) ----
    void fillFixedLists();
    void createChannelRows();
    void fitChannelArea();
    void setupPalettes();
    void setupScanBox();
    void connectShellSignals();
    void loadPreferredPort();
    void readSettings();
    void writeSettings();
    void fillAddressList(QComboBox *box);

    // ---- Serial-port settings (settings/mainwindow_settings.cpp) ----
    void fillSerialSettings();

public:
    // ---- Members shared by the subsystems ----
    Ui::MainWindow *ui = nullptr;
    protocolComHart *link = nullptr;

    uint8_t requestBytes[RequestBufferSize] = {};
    int requestLength = 0;
    uint8_t command51Data[3] = {};
    QByteArray write91Data;
    bool longFrameChoice = false;

    QStandardItemModel *measurementModel = nullptr;
    QMessageBox *msgBoxScanAddr = nullptr;

    QPalette paletteNormal;
    QPalette paletteSuccess;
    QPalette paletteFailure;
    QString password;

    QVector<PollChannel> pollChannels;
    QVector<MeanDisplayRow> meanDisplay;

    int pollPeriod = 0;
    int pollTimeout = 0;
    int pollRepeats = 0;
    int scanPeriod = 0;
    int scanTimeout = 0;
    int scanRepeats = 0;

    bool busy = false;
    bool interfaceLocked = false;
    bool loopRunning = false;
    bool scanRunning = false;

    // ---- Polling and calibration capture ----
    // Mirrors of capture.pressure() (kPa) for the other subsystems.
    double pressurePlus = 0.0;
    double pressureMinus = 0.0;
    // Means, reference pressures, calibration cycle, save directories and
    // the table's row counter; the polling slots only move widget state in
    // and out of it.
    MeasurementCapture capture;
    QString logFileName;    // measurement log, chosen with buttonSave

    // The modal questions of the polling tab. Set to the real dialogs at
    // construction; tests and tools answer them by replacing a function.
    struct PollingDialogs
    {
        // File dialog for the save directories: false when not accepted,
        // else the dialog's directory and its last selected file.
        std::function<bool(QString *baseDir, QString *selectedFile)> chooseSaveDir;
        // savefile_confirm_dialog: its result code (0 when closed).
        std::function<int(const QString &message, bool someDirExists)> confirmSaveDirs;
        // Save-file dialog of the measurement log: the path, empty if cancelled.
        std::function<QString()> chooseLogFile;
        // Critical message box titled "Ошибка".
        std::function<void(const QString &text)> critical;
    };
    PollingDialogs pollingDialogs;

    // The polling tab's widget state as the capture core takes it.
    MeasurementCapture::Inputs pollingInputs() const;

    // ---- Device operations and coefficient tabs (device/) ----
public slots:
    // Calibration tab
    void spanRequest();
    void zeroRequest();
    void zeroFirstVarRequest();
    void setMode();
    void setMovingAverage_1();
    void setMovingAverage_2();
    void setAddress();
    void setMaxValue();
    void getMode();
    void getMovingAverage_1();
    void getMovingAverage_2();
    void getAddress();
    void getMaxValue();
    void getCurrent();
    void getPressue();
    void on_checkBoxFixedCurrent_stateChanged(int state);
    void setValueFixedCurrent();
    void onSetEEPROMPaswd();
    void onGetEEPROMPaswd();
    void onCurrentRegSet();
    void onCurrentRegRecv();
    void onRebootDeviceReq();
    // Device tab and the pressure query of the indirect-calculation tab
    void setTypeDevice();
    void getTypeDevice();
    void setRange();
    void setRangeMin();
    void setMesureUnit();
    void on_buttonSetBalanceZero_clicked();
    void onSetFilterAmp();
    void onPressureQuery();
    void on_comboBoxCurrentDevice_currentIndexChanged(int index);
    void on_spinBoxSensorCode_valueChanged(int value);
    void on_sliderChooseRange_valueChanged(int value);
    void on_sliderChooseRangeMin_valueChanged(int value);
    void on_comboBoxMesure_currentIndexChanged(int index);
    void onUpdateMU(int index);
    // Coefficient groups
    void onKdspRequest();
    void onKdspSet();
    void onKdspClear_req();
    void onKdspClear_set();
    void onCoefRequest();
    void onCoefSet();
    void onCoefClear_req();
    void onCoefClear_set();
    void onAkRequest();
    void onAkSet();
    void onAkClear_req();
    void onAkClear_set();

public:
    // Serial number and zero balance reads (also steps of the parameters
    // file save chain). Plain members rather than slots: their on_ names
    // would otherwise be taken for widget handlers when the form connects by
    // name. Connected explicitly.
    void on_serial_set();
    void on_serial_recv();
    void on_balance_dP_recv();

    // Operations, the range table, the pressure query toggle, the save chain
    // and the loaded record.
    DeviceOperations deviceOps;

private:
    // Widget values by object name, as the operation's inputs name them.
    QVariantMap collect(const QVector<InputSpec> &specs) const;
    // Runs one operation: port check, busy lock, clearQueue, link timing and
    // operation code, then sendFrame (single) or enqueue + startQueue.
    void runOperation(int code, const QString &trigger = QString());
    // Carries out what the core decided for the widgets.
    void applyWidgetActions(const WidgetActions &actions);
    // Both range labels from their sliders' values.
    void updateRangeLabels();
    // The range table at the sensor, code and unit the device tab shows.
    void selectShownRanges();
    // The sliders over the whole list of the selected sensor: upper at the
    // widest range, lower at zero.
    void resetRangeSliders();
    // Request data of an operation started while the link still waited for
    // an earlier request's answer: that answer arrives under the new
    // operation code and must not be taken for one of these.
    QVector<QByteArray> m_awaitedRequests;
    int m_awaitedCode = 0;

    // ---- Coefficient calculation (calc/mainwindow_calc.cpp) ----
public slots:
    void calcCoefMNK();
    void showParametersWindow();
    void download2Device();
    void uploadFromDevice();
    void onSaveToFile(QString path);
    void onReadFromFile(float *record);

public:
    // Answers of the parameter read (27) and of the parameter upload (29).
    void handleCalcAnswer(int code);
    // A read of the calculation timed out: true when the calculation went
    // on without it (serial number, sensor type) and has said so.
    bool handleCalcTimeout();
    // The calculation still waits for one of its reads.
    bool calcChainPending() const;
    // The last finished calculation, as its report was built.
    CalibrationReport lastCalibration;
    Dialog *parametersDialog() const { return dialogParam; }

    // The modal questions of the calculation. Set to the real dialogs at
    // construction; tests answer them by replacing a function.
    struct CalcDialogs
    {
        // Existing-directory dialog: the directory, empty if cancelled.
        std::function<QString()> chooseCalibrationDir;
        // Critical message box.
        std::function<void(const QString &title, const QString &text)> critical;
        // Yes/No question box: true for Yes.
        std::function<bool(const QString &title, const QString &text)> question;
    };
    CalcDialogs calcDialogs;

private:
    void appendCalcMessages(const CalcMessages &messages);
    void appendCalcSuccess(const QString &text);

    // The reads before a calculation: Pmax, the serial number, the sensor
    // type, one after another.
    enum CalcStage { CalcIdle, CalcReadPmax, CalcReadSerial, CalcReadSensor };
    CalcStage calcStage = CalcIdle;
    // The read each stage sends; sendCalcRead enters the stage and sends it
    // (false when nothing could be framed).
    static RequestItem calcStageRead(CalcStage stage);
    bool sendCalcRead(CalcStage stage);
    QByteArray calcStageRequest() const;
    void calcNextRead();
    // The read in flight was refused or not answered (why, in words): said,
    // and the chain goes on without it or, for Pmax, ends.
    void calcReadNotTaken(const QString &why);
    void finishCalculation();

    // Every write to a device opens with the serial read at the address it
    // writes (devicedata/mainwindow_writeidentity.cpp): the caller holds
    // the lock and has built the write's frames for that address (none: the
    // lock goes and nothing is read); the write runs once the number is in,
    // else it is refused.
    void writeAfterSerialRead(const QVector<QByteArray> &writeFrames, PendingWrite write);
    void handleWriteSerialOutcome(bool answered);    // its answer or time-out
    // A block of the dialog's write refused, damaged or unanswered: said
    // and marked (true), else left to the device answer handler.
    bool noteCoefficientBlock(bool answered);
    void sendAlone(int code, const QByteArray &frame);  // one request, queued behind one in flight
    PendingWrite m_pendingWrite;
    WriteTarget m_writeTarget;          // where the last write went, as read
    BlockWriteTally m_coefWrite;        // the dialog's blocks in the last write

    Dialog *dialogParam = nullptr;
    LsqCalibration lsqCalibration;
    QFile *parametersFile = nullptr;    // parameters file of the save chain
    // Upload: the values received so far and which of the five blocks.
    CalibrationCoefficients uploadedValues;
    int uploadedBlocks = 0;

    // ---- Device data (devicedata/mainwindow_devicedata.cpp) ----
public slots:
    void onDeviceMemoryDump();
    void onRecvCoefsFromDevice();
    void onSendCoefsToDevice();

public:
    DumpDialog *deviceDataDialog() const { return dumpDialog.get(); }

private:
    // startExchange, and a box over the dialog when the port is closed.
    bool startDeviceDataTransfer();
    // The bulk transfer under way: its code (0 when none), its blocks and
    // how many of them have had an outcome and how many came back intact.
    struct DeviceDataTransfer
    {
        int code = 0;
        int blocks = 0;
        int outcomes = 0;
        int intact = 0;
        int refused = 0;                      // blocks the device refused
        QStringList refusals;                 // their codes in words, each once
        QStringList failedBlocks;             // written blocks that did not take, by name
    };
    DeviceDataTransfer m_transfer;
    DeviceDataTransfer m_lastTransfer;        // the one that ended last, for the history
    void beginDeviceDataTransfer(int code, int blocks);
    // One block's outcome (intact or not, a time-out is not); the end of the
    // batch says in the dialog when not every block came through.
    void noteDeviceDataOutcome(bool intact);
    // A time-out of the transfer's request (called by the dispatcher).
    void noteDeviceDataTimeout();
    // The line went away under the transfer: the dialog says how far it got.
    void abortDeviceDataTransfer(const QString &reason);
    // Frames of the bulk requests for the main address (empty on failure).
    QVector<QByteArray> deviceDataFrames(int command, const QVector<QByteArray> &requests);
    // A box over the given window that does not hold up the event loop.
    void showDeviceDataMessage(QWidget *parent, bool critical, const QString &title,
                               const QString &text);
    // The dialog has no parent window: it is owned here and deleted with the
    // main window (the deleter lives where DumpDialog is complete).
    std::unique_ptr<DumpDialog, void (*)(DumpDialog *)> dumpDialog{nullptr, nullptr};

    // ---- Line monitor (monitor/mainwindow_monitor.cpp) ----
public:
    LineMonitor *lineMonitor() const { return m_monitor; }

protected:
    // Floats a docked panel that would push the window past its screen.
    void keepDockOnScreen(QDockWidget *dock);
    void setupMonitor();        // monitor: docks, marks beside the poll rows, tool bar
    // Every command-3 answer the polling handles, good or not.
    void feedMonitor(const MeasurementCapture::Answer &answer);

private:
    LineMonitor *m_monitor = nullptr;

    // ---- Guided calibration run (guided/mainwindow_guided.cpp) ----
public slots:
    void showGuidedRun();

public:
    class GuidedDialog *guidedDialog() const { return m_guidedDialog; }

private:
    void setupGuided();
    class QAction *m_guidedAction = nullptr;
    class GuidedDialog *m_guidedDialog = nullptr;   // while open (deleted on close)

    // ---- Program settings (settings/mainwindow_programsettings.cpp) ----
public slots:
    void onApplyProgramSettings();
    void onResetProgramSettings();

private:
    QString m_preferredPort;    // offered first by updateCOM
    QString m_lastPort;         // last port connected, stored at exit

    // ---- Status bar, message log and progress (app/mainwindow_statusbar.cpp,
    //      app/mainwindow_messagelog.cpp, app/mainwindow_progress.cpp) ----
public:
    // The port part of the status bar. Connecting and closing set it from
    // the link; whoever handles a lost line sets LineLost with the reason,
    // which stays until the port is connected or closed again.
    void setPortState(LineStatus::PortState state, const QString &detail = QString());
    LineStatus::PortState portState() const;
    // Every line of every status pane, with its time (bounded).
    MessageLog *messageLog() const;
    QDockWidget *messageLogDock() const;
    // The scan, the bulk read and write, the parameter download and upload
    // and the parameters file save chain, step by step; cancel through it.
    OperationProgress *operationProgress() const;
    // Checks the polling rows and sets them to the addresses of the last
    // scan, in the order found; the rows beyond them are unchecked.
    void fillPollRowsFromScan();
    QVector<int> lastScanAddresses() const;
    // The serial number of the device in hand as far as the window has read
    // it (calibration tab, device data dialog); empty when unknown.
    QString knownSerialNumber() const;

private:
    void setupStatusBar();          // last step of construction
    void setupMessageLog();
    void setupProgressPanels();
    void fitWindowToScreen();
    void refreshPortState();        // from the link after connect and close
    void refreshOperationLabel();
    void refreshPollCounts();
    // Every pane write: the message log, and the status bar for a while.
    void echoPaneMessage(QTextEdit *pane, const QString &text);
    // The status bar alone, for text the message log has already.
    void showStatusText(const QString &text, const QColor &colour, int timeoutMs);
    void logMessage(const QString &source, const QString &text, const QColor &colour);
    // While set, pane lines go to the message log under this source
    // instead of the pane's name.
    QString m_logSource;
    // "Опрос остановлен …": a poll that ended before its time.
    void reportPollStopped(const QString &why);
    // Every outcome the link reports, after its handler has run (which may
    // have sent the next request already): the operation code it came
    // under, whether an answer came, whether it was intact, and whether the
    // device did what was asked (not so when its response code refused).
    void noteLinkOutcome(int code, bool answered, bool intact, bool done);
    // A run of frameCount requests under code has started.
    void trackOperation(int code, int frameCount);
    void cancelOperation();
    void checkProgressEnd();
    // keepChain: a new save chain has just begun; the run it supersedes
    // must not close its file.
    void endProgress(const QString &reason = QString(), bool keepChain = false);
    void onProgressWatch();
    void showLineLostState(const QString &reason);
    void saveMessageLog();
    // The scan box's part: step count, the abort and the fill offer.
    void updateScanBox();
    // One probe of the scan in the log: found, or no device at the address
    // (the scan's normal outcome, not an error).
    void logScanOutcome(bool found);

    StatusBarParts *m_statusParts = nullptr;    // owned as a child object

    // ---- Calibration history (history/mainwindow_history.cpp) ----
public:
    HistoryRecorder *history() const { return m_history; }
    // Made on first use; open to everyone whatever the lock (it only reads).
    HistoryWindow *historyWindow();
    void showHistoryWindow();
    // Who, where and when for an event recorded now.
    HistoryContext historyContext() const;
    // The hooks of the subsystems: a calculation accepted (its report
    // written or not), a write to the device ended (calculation's
    // coefficients or a loaded record under 28, the device data under 52).
    // batch: the guided run's own; empty for the batch of the settings.
    void recordCalculationHistory(const CalibrationReport &report, const QString &reportPath,
                                  const QString &batch = QString());
    void recordWriteHistory(int kind, const OperationProgress &progress);
    // A verification of the guided run: its context is filled in here.
    void recordVerificationHistory(VerificationEvent event);
    // The history's questions; tests answer them by replacing a function.
    struct HistoryDialogs
    {
        std::function<QString()> chooseImportDir;               // empty if cancelled
        std::function<bool(HistorySettingsDialog *)> editSettings;   // accepted
    };
    HistoryDialogs historyDialogs;
    void importHistory();
    void editHistorySettings();

protected:
    void setupHistory();    // history: recorder, status bar part, menu

private:
    void showHistoryState(int pending, const QString &problem);
    HistoryRecorder *m_history = nullptr;
    HistoryWindow *m_historyWindow = nullptr;
    HistorySettingsDialog *m_historySettings = nullptr;
    QLabel *m_historyLabel = nullptr;
    QString m_historyBatch;
    QString m_historyProblemSaid;
    int m_historyImport = 0;
};
