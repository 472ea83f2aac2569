#pragma once
// The window of the guided calibration run: the run's folder, the plan
// (devices read from the checked poll rows, temperatures, points, the
// stability rule, the verification), and the run itself - what the
// operator is asked, where the run stands, each device's mark, the log -
// with the operator's choices forwarded to the run. It holds no state of
// the run: closing it leaves the run in its folder to be continued.

#include "calc/calibrationreport.h"
#include "calc/calibrationtypes.h"

#include <QDialog>
#include <QVector>
#include <functional>
#include <memory>

class GuidedIdentify;
class GuidedLink;
class GuidedRun;
struct GuidedPlan;
struct GuidedWriteRecord;
class protocolComHart;
class QBoxLayout;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;
class QTextEdit;

class GuidedDialog : public QDialog
{
    Q_OBJECT
public:
    struct Setup
    {
        QVector<int> addresses;                 // the checked poll rows
        SensorModel strainDefault = SensorModel::TwoGauge;
        int preamble = 5;
        bool longFrame = false;
        int periodMs = 300, timeoutMs = 500, repeats = 2;
        QString folder;                         // the last run's folder
        QString operatorName;                   // who runs the batch, as offered
    };

    GuidedDialog(protocolComHart *link, const Setup &setup, QWidget *parent = nullptr);
    ~GuidedDialog() override;

    GuidedRun *run() const { return m_run; }
    QString folder() const;
    // Folder choice; replaced by tests.
    std::function<QString(const QString &start)> chooseFolder;
    // A plan file of an earlier run; replaced by tests.
    std::function<QString(const QString &start)> choosePlanFile;

    // Pages and the widgets tests and the tour reach.
    QStackedWidget *pages = nullptr;
    QLineEdit *folderEdit = nullptr;
    QPushButton *browseButton = nullptr, *newButton = nullptr, *resumeButton = nullptr;
    QLabel *folderNote = nullptr;
    QTableWidget *planDevices = nullptr;
    QDoubleSpinBox *tempEdits[3] = {nullptr, nullptr, nullptr};   // Tmin, Tmid, Tmax
    QComboBox *orderBox = nullptr;                                  // the order they are taken in
    QComboBox *chamberBoxes[3] = {nullptr, nullptr, nullptr};     // by SensorModel
    QPushButton *loadPlanButton = nullptr;
    QLineEdit *pointsEdit = nullptr, *pmaxEdit = nullptr, *verifyEdit = nullptr;
    QComboBox *pointsUnit = nullptr, *verifyTemperature = nullptr;
    QSpinBox *stableCount = nullptr, *averaged = nullptr;
    QLineEdit *strainEdit = nullptr, *capacitiveEdit = nullptr, *classEdit = nullptr;
    QLineEdit *plausibleEdit = nullptr;     // the bench check's share of the span, %
    QPushButton *startButton = nullptr;
    QLabel *planNote = nullptr;
    QLabel *requestLabel = nullptr, *progressLabel = nullptr;
    QLineEdit *referenceEdit = nullptr;
    QPushButton *confirmButton = nullptr, *rejectButton = nullptr, *pauseButton = nullptr, *redoButton = nullptr,
                *skipButton = nullptr, *abortButton = nullptr;
    QPushButton *recordHeldButton = nullptr;    // a held point written as it is
    QTableWidget *deviceTable = nullptr;
    QTextEdit *logView = nullptr;
    // Who runs the batch (plan page); writing the devices not written again
    // and putting back what the selected device held (run page).
    QLineEdit *operatorEdit = nullptr;
    QPushButton *writeAgainButton = nullptr, *restoreButton = nullptr;

signals:
    void folderUsed(const QString &folder);
    // Every line of the run's log; failures also belong in the main window.
    void runMessage(const QString &text, bool failure);
    // A device of the run was written; the run has ended (done or aborted).
    void calculationWritten(const CalibrationReport &report, const QString &reportPath);
    void runEnded();
    // Every write of the run to a device; a calculation refused.
    void writeRecorded(const GuidedWriteRecord &record);
    void calculationRefused(int device, const QString &why);

private:
    QWidget *buildFolderPage();
    QWidget *buildPlanPage();
    QWidget *buildRunPage();
    void refreshFolder();
    void onNew();
    void onIdentified();
    void fillPlan(const GuidedPlan &plan);
    bool readPlan(GuidedPlan *plan, QString *why) const;
    void onStart();
    void onLoadPlan();
    void onResume();
    void attachRun();
    void onConfirm();
    void onSkip();
    void showRun();
    void log(const QString &text, bool failure);
    void onFinished();
    // The write controls (guideddialog_write.cpp).
    void buildWriteControls();
    void attachWrites();
    void showWriteControls();
    void onRestore();
    // The bench's part (guideddialog_bench.cpp): a fresh folder for a new
    // run, the last run's settings, the bench check's field and choice.
    QString proposedFolder() const;
    void addPlausibleField(QFormLayout *form);
    void addHoldButton(QBoxLayout *row);

    protocolComHart *m_link;
    Setup m_setup;
    GuidedLink *m_guided = nullptr;
    GuidedIdentify *m_identify = nullptr;
    GuidedRun *m_run = nullptr;
    std::unique_ptr<GuidedPlan> m_plan;     // as identified, before the operator's edits
    bool m_abortArmed = false;              // "Прервать" pressed once
};
