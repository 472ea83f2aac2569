// The status bar: the port and its line, the operation the link is running,
// the polling tally, the progress of a long run, and for a few seconds the
// last message written to any status pane in that pane's colour. Also the
// parts of the window that make it fit a small screen and the menu's
// settings action.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/elidinglabel.h"
#include "app/markglyphs.h"
#include "app/wheelguard.h"
#include "app/messagelog.h"
#include "app/operationprogress.h"
#include "app/progresspanel.h"
#include "app/screenfit.h"
#include "app/statusbarparts_p.h"
#include "devicedata/dumpdialog.h"
#include "link/protocolcomhart.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
// How long a pane's last message stays in the status bar.
constexpr int PaneEchoMs = 6000;
// How much of a long port path the status bar shows (its end).
constexpr int PortNameWidth = 120;

// Keeps the end of the port path in view whenever the field is not being
// edited: a path is told apart by its last part.
class ShowPathEnd : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::FocusOut
            || event->type() == QEvent::Show) {
            auto *edit = qobject_cast<QLineEdit *>(watched);
            if (edit && !edit->hasFocus())
                QTimer::singleShot(0, edit, [edit] { edit->setCursorPosition(edit->text().size()); });
        }
        return false;
    }
};

QString paneName(Ui::MainWindow *ui, QTextEdit *pane)
{
    if (pane == ui->textEditStatus)
        return LogSource::developer();
    if (pane == ui->textEditStatusCalibration)
        return LogSource::calibration();
    if (pane == ui->textEditStatusSettingsDevice)
        return LogSource::deviceSettings();
    return pane->objectName();
}
}

void MainWindow::setupStatusBar()
{
    auto *p = new StatusBarParts(this);
    p->setObjectName(QStringLiteral("statusBarParts"));
    p->progress = new OperationProgress(p);
    p->progress->setObjectName(QStringLiteral("operationProgress"));
    p->watch = new QTimer(p);
    p->watch->setSingleShot(true);
    connect(p->watch, &QTimer::timeout, this, &MainWindow::onProgressWatch);
    m_statusParts = p;

    // Every part may shrink (its text then cut with "…"): their natural
    // widths together would not leave a 1024 pixel window its message.
    QStatusBar *bar = ui->statusBar;
    p->operationLabel = new ElidingLabel(bar);
    p->operationLabel->setObjectName(QStringLiteral("labelOperation"));
    p->operationLabel->setMaximumWidth(220);
    // The verdict of a run goes to the message part of the bar.
    p->statusPanel = new ProgressPanel(p->progress, 0, bar);
    p->statusPanel->setCompact(true);
    p->pollLabel = new ElidingLabel(bar);
    p->pollLabel->setObjectName(QStringLiteral("labelPollCounts"));
    p->pollLabel->setMaximumWidth(280);
    p->portLabel = new ElidingLabel(bar);
    p->portLabel->setObjectName(QStringLiteral("labelPortState"));
    p->portLabel->setMaximumWidth(360);
    p->portLabel->setFrameShape(QFrame::StyledPanel);
    p->logButton = new QToolButton(bar);
    p->logButton->setObjectName(QStringLiteral("pbShowMessageLog"));
    p->logButton->setText(QStringLiteral("Журнал"));
    p->logButton->setToolTip(QStringLiteral("Журнал сообщений всех вкладок"));
    p->logButton->setCheckable(true);
    p->logButton->setAutoRaise(true);
    bar->addPermanentWidget(p->operationLabel);
    bar->addPermanentWidget(p->statusPanel);
    bar->addPermanentWidget(p->pollLabel);
    bar->addPermanentWidget(p->portLabel);
    bar->addPermanentWidget(p->logButton);

    setupMessageLog();
    setupProgressPanels();

    // After the shell's own handlers: the link has opened or closed by then.
    auto later = [this](void (MainWindow::*f)()) { return [this, f] { QTimer::singleShot(0, this, f); }; };
    connect(ui->buttonConnectPort, &QPushButton::clicked, this, later(&MainWindow::refreshPortState));
    connect(ui->buttonClosePort, &QPushButton::clicked, this, later(&MainWindow::refreshPortState));
    auto configChanged = [this] {
        QTimer::singleShot(0, this, [this] { setPortState(m_statusParts->portState, m_statusParts->portDetail); });
    };
    connect(ui->pbApplyComConf, &QPushButton::clicked, this, configChanged);
    connect(ui->pbResetProgramSettings, &QPushButton::clicked, this, configChanged);
    connect(dumpDialog.get(), &DumpDialog::onApplySettings, this, configChanged);
    connect(ui->comboBoxNamePort, &QComboBox::currentTextChanged, this, [this] {
        if (m_statusParts->portState == LineStatus::PortState::NotConnected)
            setPortState(LineStatus::PortState::NotConnected);
    });
    connect(link, &protocolComHart::requestSend, this, [this] { refreshOperationLabel(); });
    for (QPushButton *b : {ui->buttonStopLoop, ui->buttonStopRequstFunc3, ui->buttonStartLoop})
        connect(b, &QPushButton::clicked, this, later(&MainWindow::refreshOperationLabel));
    for (QPushButton *b : {ui->buttonFunction3Send, ui->buttonFunction3Loop}) {
        connect(b, &QPushButton::clicked, this, [this] {
            m_statusParts->pollAnswers = m_statusParts->pollBadChecksums = m_statusParts->pollTimeouts = 0;
            refreshPollCounts();
        });
    }

    // The menu's "Настройки" is the program settings tab.
    connect(ui->actionSettings, &QAction::triggered, this, [this] {
        ui->tabWidget->setCurrentWidget(ui->tabSettings);
    });

    // Small screens: tabs a little narrower (they scroll when they still do
    // not fit), the empty tool bar gives its row back, the port field shows
    // the end of a long path, the window no larger than the screen.
    ui->tabWidget->setUsesScrollButtons(true);
    ui->tabWidget->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding-left: 7px; padding-right: 7px; }"));
    if (ui->mainToolBar->actions().isEmpty())
        ui->mainToolBar->hide();
    if (QLineEdit *edit = ui->comboBoxNamePort->lineEdit())
        edit->installEventFilter(new ShowPathEnd(edit));
    fitWindowToScreen();

    // A message longer than the bar's room is cut: the bar's tool tip holds
    // it whole (the parts beside it show theirs in their own tips).
    connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString &message) { bar->setToolTip(message); });
    // Glyphs and wheels: the save mark drawn whatever fonts are installed,
    // and the wheel changes no value the engineer has not put the focus on.
    MarkGlyphs::drawAsStrokes(ui->lbSaveFilesReady);
    WheelGuard::install();

    refreshPortState();
    refreshOperationLabel();
    refreshPollCounts();
}

void MainWindow::fitWindowToScreen()
{
    // The form's initial size stands until the window is shown; then it is
    // cut to the screen it opens on.
    ScreenFit::fitOnShow(this);
}

// ---------------------------------------------------------------- port

void MainWindow::refreshPortState()
{
    setPortState(link->isPortOpen() ? LineStatus::PortState::Connected
                                    : LineStatus::PortState::NotConnected);
}

LineStatus::PortState MainWindow::portState() const
{
    return m_statusParts ? m_statusParts->portState : LineStatus::PortState::NotConnected;
}

void MainWindow::setPortState(LineStatus::PortState state, const QString &detail)
{
    StatusBarParts *p = m_statusParts;
    if (!p)
        return;
    p->portState = state;
    p->portDetail = state == LineStatus::PortState::LineLost ? detail : QString();
    p->portName = state == LineStatus::PortState::NotConnected || link->portName().isEmpty()
                      ? ui->comboBoxNamePort->currentText().trimmed()
                      : link->portName();
    const QString shownName = p->portLabel->fontMetrics().elidedText(p->portName, Qt::ElideLeft, PortNameWidth);
    const SerialConfig &config = link->serialConfig();
    p->portLabel->setText(LineStatus::portStateText(state, shownName, config, p->portDetail));
    p->portLabel->setToolTip(LineStatus::portStateToolTip(state, p->portName, config, p->portDetail));
    QPalette pal = p->portLabel->palette();
    QColor colour = palette().color(QPalette::WindowText);
    if (state == LineStatus::PortState::Connected)
        colour = successColour();
    else if (state == LineStatus::PortState::LineLost)
        colour = Qt::red;
    pal.setColor(QPalette::WindowText, colour);
    p->portLabel->setPalette(pal);
}

void MainWindow::showLineLostState(const QString &reason)
{
    setPortState(LineStatus::PortState::LineLost, reason);
    if (m_statusParts->progress->isActive())
        endProgress(reason.isEmpty() ? QStringLiteral("связь с портом потеряна") : reason);
    QTimer::singleShot(0, this, &MainWindow::refreshOperationLabel);
}

// ---------------------------------------------------------------- operation and polling

void MainWindow::refreshOperationLabel()
{
    StatusBarParts *p = m_statusParts;
    if (!p)
        return;
    const bool active = link->isBusy() || link->isQueueRunning() || link->isRepeating();
    QString text;
    // A run with a progress bar names itself there.
    if (active && !p->progress->isActive()) {
        const bool cyclic = link->isRepeating() || loopRunning;
        text = LineStatus::operationName(link->operation(), cyclic);
        if (text.isEmpty())
            text = QStringLiteral("Обмен с прибором");
    }
    if (p->operationLabel->text() != text)
        p->operationLabel->setText(text);
    p->operationLabel->setVisible(!text.isEmpty());
}

void MainWindow::refreshPollCounts()
{
    StatusBarParts *p = m_statusParts;
    if (!p)
        return;
    const bool any = p->pollAnswers || p->pollTimeouts;
    p->pollLabel->setVisible(any);
    if (any)
        p->pollLabel->setText(LineStatus::pollCountsText(p->pollAnswers, p->pollBadChecksums, p->pollTimeouts));
}

// ---------------------------------------------------------------- pane echo

void MainWindow::echoPaneMessage(QTextEdit *pane, const QString &text)
{
    StatusBarParts *p = m_statusParts;
    if (!p || !pane)
        return;
    const QTextCharFormat format = pane->currentCharFormat();
    const QColor colour = format.hasProperty(QTextFormat::ForegroundBrush)
                              ? format.foreground().color()
                              : pane->palette().color(QPalette::Text);
    p->log->append(m_logSource.isEmpty() ? paneName(ui, pane) : m_logSource, text, colour.rgba());
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
        showStatusText(lines.last(), colour, PaneEchoMs);
}
