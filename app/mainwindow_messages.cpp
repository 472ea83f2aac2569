// Messages the engineer must see whatever tab is shown and whatever the lock
// state: the status bar always, and the pane of the tab in view (or the one
// the caller names). The developer tab's log is hidden while the tabs are
// locked, so it can never be the only place a failure is told.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QStatusBar>

namespace {
constexpr int StatusMessageMs = 10000;
}

QTextEdit *MainWindow::currentPane() const
{
    QWidget *const tab = ui->tabWidget->currentWidget();
    if (tab == ui->tabForDeveloper)
        return ui->textEditStatus;
    if (tab == ui->tabCalibration)
        return ui->textEditStatusCalibration;
    if (tab == ui->tabForDevice)
        return ui->textEditStatusSettingsDevice;
    return nullptr;
}

void MainWindow::showStatusMessage(const QString &text, const QColor &colour, int timeoutMs)
{
    // Every pane write passes here: restyle only when the colour changes.
    const QString style = QStringLiteral("QStatusBar { color: %1; }").arg(colour.name());
    if (ui->statusBar->styleSheet() != style)
        ui->statusBar->setStyleSheet(style);
    ui->statusBar->showMessage(text.trimmed(), timeoutMs < 0 ? StatusMessageMs : timeoutMs);
}

void MainWindow::report(const QString &text, const QColor &colour, QTextEdit *pane, int timeoutMs)
{
    QString line = text;
    if (!line.endsWith(QLatin1Char('\n')))
        line += QLatin1Char('\n');
    QTextEdit *const shown = currentPane();
    if (pane)
        appendStatus(pane, line, colour);
    if (shown && shown != pane)
        appendStatus(shown, line, colour);
    showStatusMessage(text, colour, timeoutMs);
}

void MainWindow::reportFailure(const QString &text, QTextEdit *pane, int timeoutMs)
{
    report(text, Qt::red, pane, timeoutMs);
}

void MainWindow::reportSuccess(const QString &text, QTextEdit *pane, int timeoutMs)
{
    report(text, successColour(), pane, timeoutMs);
}
