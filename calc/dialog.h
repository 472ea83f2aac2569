#pragma once
// "Параметры прибора": one device's zero and span signals, temperature
// compensation coefficients and pressure polynomial, with the reference
// voltages they were computed from. Filled by the least-squares calculation
// or from the device; hands its values on for writing to the device or to a
// parameters file.

#include "calc/lsqcalibration.h"
#include "calc/parametervector.h"

#include <QDialog>
#include <QVector>
#include <array>
#include <functional>

class QLineEdit;

namespace Ui {
class Dialog;
}

class Dialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int RecordSize = 33;

    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    // Lists are l, n, h at the lowest pressure, then l, n, h at the highest;
    // triples are in the order 42, 41, 40.
    void setValues(float Pmax, float Uk1h, float Uk2h, float U10, float U20,
                   const std::array<float, 6> &u1, const std::array<float, 6> &u2,
                   const std::array<float, 6> &u4, const std::array<float, 3> &a,
                   const std::array<float, 3> &b, const std::array<float, 3> &c, float c43,
                   bool polynomial);
    void setValues(const CalibrationCoefficients &v);

    // The fifteen values as the fields hold them (text that is no number is 0).
    ParameterVector::Values parameterVector() const;
    // The same, refusing: every field read (Pmax only withPmax) must hold a
    // number; one that does not turns red, and false comes back after the
    // dialog has said why (refusal, prefixed with what was not done).
    bool checkedParameterVector(ParameterVector::Values *out, bool withPmax, const QString &notDone);

    // Fields (ParameterVector indices) whose values the device did not
    // take turn red; reading them for the next write clears the mark.
    void markRefused(const QVector<int> &indices);

    // The last Uk1h, Uk2h, U10, U20 handed to setValues.
    float lastUk1h() const { return m_Uk1h; }
    float lastUk2h() const { return m_Uk2h; }
    float lastU10() const { return m_U10; }
    float lastU20() const { return m_U20; }

    // The record of the last file read; fileIsParsed points at it.
    const std::array<float, RecordSize> &loadedRecord() const { return m_record; }
    // The same values with the integer items (the serial number) exact as
    // the file gives them; empty when that file lacked keys of the record,
    // which then fills the fields but is not written to the device whole.
    const QVector<double> &loadedValues() const { return m_loadedValues; }

    // What the file buttons do once a name is chosen.
    bool readFromPath(const QString &path);

    Ui::Dialog *form() const { return ui; }

    // The file name the save dialog proposes (none when it gives an empty
    // text); the window names the file after the device's serial number.
    std::function<QString()> suggestedFileName;

signals:
    void download();
    void upload();
    void saveToFile(QString path);
    void fileIsParsed(float *record);
    // Something the operator asked for was not done (a file not taken, a
    // field that holds no number): why, for the main window's status bar.
    void refusal(const QString &text);
    // A file was not taken: any record of an earlier file is not to be
    // written in its place. Comes before the refusal that says why.
    void fileRefused(const QString &text);

public slots:
    void save2File();
    void readFromFile();
    void sendSignalDownload();
    void sendSignalUpload();
    void on_buttonRecalc_clicked();

private:
    void showError(const QString &text);
    // Says why in a box over the dialog and through refusal().
    void refuse(const QString &text);
    // The a, b and c coefficient fields, each triple in the order 42, 41, 40.
    void showTriples(const std::array<float, 3> &a, const std::array<float, 3> &b,
                     const std::array<float, 3> &c);
    // The fields of the fifteen parameter values, in ParameterVector order.
    std::array<QLineEdit *, ParameterVector::Count> parameterFields() const;

    Ui::Dialog *ui;
    float m_Uk1h = 0, m_Uk2h = 0, m_U10 = 0, m_U20 = 0;
    std::array<float, RecordSize> m_record{};
    QVector<double> m_loadedValues;
};
