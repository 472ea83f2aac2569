// Messages the engineer must see whatever tab is shown and whatever the lock
// state: the status bar always, and the pane of the tab in view (or the one
// the caller names). The developer tab's log is hidden while the tabs are
// locked, so it can never be the only place a failure is told. Every message
// also goes to the one message log, under the source it comes from.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "app/statusbarparts_p.h"

#include <QStatusBar>

namespace {
constexpr int StatusMessageMs = 10000;

// Files the pane lines written in its scope under a source of their own.
class SourceScope
{
public:
    SourceScope(QString &slot, const QString &source)
        : m_slot(slot)
        , m_previous(slot)
    {
        if (!source.isEmpty())
            m_slot = source;
    }
    ~SourceScope() { m_slot = m_previous; }

private:
    QString &m_slot;
    QString m_previous;
};
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

void MainWindow::logMessage(const QString &source, const QString &text, const QColor &colour)
{
    if (MessageLog *log = messageLog())
        log->append(source.isEmpty() ? LogSource::statusBar() : source, text, colour.rgba());
}

void MainWindow::showStatusText(const QString &text, const QColor &colour, int timeoutMs)
{
    // Every pane write passes here: restyle only when the colour changes.
    const QString style = QStringLiteral("QStatusBar { color: %1; }").arg(colour.name());
    if (ui->statusBar->styleSheet() != style)
        ui->statusBar->setStyleSheet(style);
    ui->statusBar->showMessage(text.trimmed(), timeoutMs < 0 ? StatusMessageMs : timeoutMs);
}

void MainWindow::showStatusMessage(const QString &text, const QColor &colour, int timeoutMs,
                                   const QString &source)
{
    // What only the status bar shows would be gone in a few seconds: the log
    // keeps it.
    logMessage(source, text, colour);
    showStatusText(text, colour, timeoutMs);
}

void MainWindow::report(const QString &text, const QColor &colour, QTextEdit *pane, int timeoutMs,
                        const QString &source)
{
    QString line = text;
    if (!line.endsWith(QLatin1Char('\n')))
        line += QLatin1Char('\n');
    QTextEdit *const shown = currentPane();
    {
        const SourceScope scope(m_logSource, source);
        if (pane)
            appendStatus(pane, line, colour);
        if (shown && shown != pane)
            appendStatus(shown, line, colour);
    }
    // Written to no pane, it reaches the log from here.
    if (!pane && !shown)
        logMessage(source, text, colour);
    showStatusText(text, colour, timeoutMs);
}

void MainWindow::reportFailure(const QString &text, QTextEdit *pane, int timeoutMs,
                               const QString &source)
{
    report(text, Qt::red, pane, timeoutMs, source);
}

void MainWindow::reportSuccess(const QString &text, QTextEdit *pane, int timeoutMs,
                               const QString &source)
{
    report(text, successColour(), pane, timeoutMs, source);
}
