#pragma once
// Asks the operator what to do with the listed save directories: create them
// (only when none exists yet), overwrite or append to existing ones, or
// cancel. The result codes are those of SaveDirs::ConfirmResult; closing the
// window without a button gives 0.

#include <QDialog>

namespace Ui {
class savefile_confirm_dialog;
}

class savefile_confirm_dialog : public QDialog
{
    Q_OBJECT
public:
    savefile_confirm_dialog(const QString &message, bool someDirExists,
                            QWidget *parent = nullptr);
    ~savefile_confirm_dialog() override;

    Ui::savefile_confirm_dialog *form() const { return ui; }

public slots:
    void onAccept();
    void onOverwrite();
    void onAppend();
    void onCancel();

private:
    Ui::savefile_confirm_dialog *ui;
};
