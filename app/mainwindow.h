#pragma once
// The main window: one class whose slots are spread over the folders of the
// subsystems they serve (app/, console/, device/, polling/, calc/,
// devicedata/, settings/). This header is organised the same way; each
// subsystem keeps its members and slots in its own section.

#include <QByteArray>
#include <QMainWindow>
#include <QPalette>
#include <QString>
#include <QVector>
#include <cstdint>

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

    // ---- Serial-port settings (settings/mainwindow_settings.cpp) ----
    void onApplyComConf();

    // ---- Save directories (polling/) ----
    void onSaveFilesNotChoosen();

public:
    // ---- Shell helpers (app/) ----
    // Builds one request into requestBytes / requestLength (0 when the frame
    // could not be built). Command 51 carries command51Data; command 91 the
    // first n + 1 bytes of write91Data (register address high and low, then
    // the bytes to write).
    void buildRequest(int preamble, bool longFrame, uint8_t address, int command, int n = 0);
    // Appends text at the end of a status pane in the pane's current colour
    // and scrolls to it.
    void appendStatus(QTextEdit *pane, const QString &text);

protected:

    // Construction steps that belong to one subsystem each. The shell calls
    // them at the point of construction where their wiring has to happen; a
    // subsystem fills in its hook in its own folder (app/mainwindow_hooks.cpp
    // holds the ones not yet taken over).
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
    uint8_t currentAddress[5] = {};
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
    double pressurePlus = 0.0;
    double pressureMinus = 0.0;

private:
    QString m_preferredPort;    // offered first by updateCOM
    QString m_lastPort;         // last port connected, stored at exit
};
