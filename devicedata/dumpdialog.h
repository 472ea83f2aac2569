#pragma once
// "Считывание коэффициентов прибора": the device data record on screen, one
// read-only row per item, with the buttons that load it from and save it to
// a file, fetch it from and send it to the device, and apply its program
// items. The dialog never talks to the link: the device and settings actions
// are signals the main window carries out.

#include "devicedata/devicedatafile.h"
#include "devicedata/devicerecord.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QVector>
#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QMessageBox;
class QPalette;

namespace Ui {
class DumpDialog;
}

class DumpDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DumpDialog(QWidget *parent = nullptr);
    ~DumpDialog() override;

    // Device rows by position 0..38 (anything else is a programming error).
    void setDeviceText(int position, const QString &text);
    void setDevicePalette(int position, const QPalette &palette);
    QString deviceText(int position) const;
    // Conversions of the row's text; a text that does not convert gives 0.
    float deviceFloat(int position) const;
    uint32_t deviceUInt32(int position) const;
    uint16_t deviceUInt16(int position) const;

    // Program rows by key; false (and nothing changed) for a key that is not
    // a program item, whose text reads as empty.
    bool setProgramText(const QString &key, const QString &text);
    bool setProgramPalette(const QString &key, const QPalette &palette);
    QString programText(const QString &key) const;

    // Every text emptied and every colour back to the application default;
    // the status line too.
    void clearAll();
    // A read from the device begins: all cleared, and from now on rows the
    // read leaves empty count as blocks missing when the record is saved.
    void beginDeviceRead();
    // Every colour back to the application default, texts kept.
    void resetColours();

    // All rows as one record, and back.
    DeviceRecord record() const;
    void setRecord(const DeviceRecord &record);

    // The file actions once a name has been chosen; the buttons ask for it.
    // A record marked incomplete is saved only when the operator agrees.
    bool loadFromPath(const QString &path);
    bool saveToPath(const QString &path);

    // The rows come from a read that did not get every block: text says how
    // far it got (empty: the record is whole). Opening the dialog, a new
    // read and a file loaded clear it.
    void setIncomplete(const QString &text);
    QString incompleteText() const { return m_incomplete; }
    // The read blocks still missing after a device read ("5 (serial)");
    // empty when the rows came from elsewhere or the read was whole.
    QStringList missingReadBlocks() const;
    // The line under the rows that says what the last action did.
    QLabel *statusLabel() const { return m_status; }
    // A critical box over the dialog that does not hold up the event loop;
    // the status line says the same.
    void showFailure(const QString &text);
    // Asked before an incomplete record is saved: true to save it anyway.
    // The real question box by default; tests answer it themselves.
    std::function<bool(const QString &text)> confirmIncompleteSave;

    Ui::DumpDialog *form() const { return ui; }
    QLineEdit *deviceField(int position) const;
    QLineEdit *programField(const QString &key) const;

signals:
    void onRecvCoefs();
    void onSendCoefs();
    void onApplySettings();
    // Every line the status line shows, for the message log.
    void statusReported(const QString &text, bool failure);
    // A file replaced the rows: what a previous read said no longer holds.
    void recordLoaded();

public slots:
    void onLoadFromFile();
    void onSaveToFile();
    void onButtonRecvCoefs();
    void onButtonSendCoefs();
    void onApplyProgramSettings();

private:
    struct Row
    {
        QLabel *key = nullptr;
        QLineEdit *value = nullptr;
        QLabel *description = nullptr;
    };

    Row makeRow(const QString &key, const QString &description);
    // Message boxes are shown one after the other without blocking: the next
    // opens when the previous one is closed.
    void showMessage(const UserMessage &message);
    void showNextMessage();
    void setStatus(const QString &text, bool failure);

    Ui::DumpDialog *ui = nullptr;
    QVector<Row> m_deviceRows;
    QHash<QString, Row> m_programRows;
    QList<UserMessage> m_pendingMessages;
    QPointer<QMessageBox> m_box;
    QString m_incomplete;
    bool m_fromRead = false;
    QLabel *m_status = nullptr;
};
