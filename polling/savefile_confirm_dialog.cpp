#include "polling/savefile_confirm_dialog.h"

#include "polling/savedirs.h"
#include "ui_savefile_confirm_dialog.h"

#include <cstdio>

namespace {

void trace(const char *line)
{
    std::fputs(line, stderr);
    std::fflush(stderr);
}

} // namespace

savefile_confirm_dialog::savefile_confirm_dialog(const QString &message, bool someDirExists,
                                                 QWidget *parent)
    : QDialog(parent), ui(new Ui::savefile_confirm_dialog)
{
    ui->setupUi(this);
    ui->pteMessage->setPlainText(message);
    // A plain "Ок" would silently mix a new run into old files, so it is
    // only offered when every directory is new; overwrite and append only
    // make sense when one is not.
    ui->pbAccept->setEnabled(!someDirExists);
    ui->pbOverwrite->setEnabled(someDirExists);
    ui->pbAppend->setEnabled(someDirExists);

    connect(ui->pbAccept, &QPushButton::clicked, this, &savefile_confirm_dialog::onAccept);
    connect(ui->pbOverwrite, &QPushButton::clicked, this, &savefile_confirm_dialog::onOverwrite);
    connect(ui->pbAppend, &QPushButton::clicked, this, &savefile_confirm_dialog::onAppend);
    connect(ui->pbCancel, &QPushButton::clicked, this, &savefile_confirm_dialog::onCancel);
}

savefile_confirm_dialog::~savefile_confirm_dialog()
{
    delete ui;
}

void savefile_confirm_dialog::onAccept()
{
    trace("savefile_confirm_dialog::onAccept()\n");
    done(SaveDirs::Accept);
}

void savefile_confirm_dialog::onOverwrite()
{
    trace("savefile_confirm_dialog::onOverwrite()\n");
    done(SaveDirs::Overwrite);
}

void savefile_confirm_dialog::onAppend()
{
    trace("savefile_confirm_dialog::onAppend()\n");
    done(SaveDirs::Append);
}

void savefile_confirm_dialog::onCancel()
{
    trace("savefile_confirm_dialog::onCancel()\n");
    done(SaveDirs::Cancel);
}
