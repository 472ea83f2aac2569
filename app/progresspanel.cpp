#include "app/progresspanel.h"

#include "app/elidinglabel.h"
#include "app/operationprogress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

ProgressPanel::ProgressPanel(OperationProgress *progress, int lingerMs, QWidget *parent)
    : QWidget(parent)
    , m_progress(progress)
    , m_lingerMs(lingerMs)
    , m_caption(new ElidingLabel(this))
    , m_bar(new QProgressBar(this))
    , m_cancel(new QPushButton(QStringLiteral("Отмена"), this))
    , m_hideTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("progressPanel"));
    m_caption->setObjectName(QStringLiteral("labelProgress"));
    m_caption->setWordWrap(true);
    m_bar->setObjectName(QStringLiteral("progressBarOperation"));
    m_bar->setFormat(QStringLiteral("%v из %m"));
    m_bar->setMinimumWidth(120);
    m_bar->setMaximumWidth(220);
    m_cancel->setObjectName(QStringLiteral("pbCancelOperation"));
    m_cancel->setToolTip(QStringLiteral("Остановить после запроса, который уже отправлен"));
    m_cancel->setAutoDefault(false);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_caption, 1);
    row->addWidget(m_bar);
    row->addWidget(m_cancel);

    m_hideTimer->setSingleShot(true);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    connect(m_cancel, &QPushButton::clicked, m_progress, &OperationProgress::requestCancel);
    connect(m_progress, &OperationProgress::changed, this, &ProgressPanel::refresh);
    refresh();
}

void ProgressPanel::setCompact(bool compact)
{
    m_compact = compact;
    m_caption->setWordWrap(!compact);
    m_caption->setMaximumWidth(compact ? 260 : QWIDGETSIZE_MAX);
    refresh();
}

void ProgressPanel::refresh()
{
    if (!m_kinds.isEmpty() && !m_kinds.contains(m_progress->kind())) {
        hide();
        return;
    }
    QPalette captionPalette = palette();
    switch (m_progress->state()) {
    case OperationProgress::State::Idle:
        hide();
        return;
    case OperationProgress::State::Running:
    case OperationProgress::State::Cancelling:
        m_hideTimer->stop();
        m_caption->setText(m_progress->progressText());
        m_bar->setToolTip(m_progress->progressText());
        m_bar->setRange(0, qMax(1, m_progress->total()));
        m_bar->setValue(qMin(m_progress->done(), m_progress->total()));
        m_bar->show();
        m_cancel->show();
        m_cancel->setEnabled(m_progress->state() == OperationProgress::State::Running);
        break;
    case OperationProgress::State::Finished:
        if (m_compact) {
            hide();
            return;
        }
        m_caption->setText(m_progress->resultText());
        captionPalette.setColor(QPalette::WindowText,
                                m_progress->isPartial() ? QColor(Qt::red) : QColor(7, 158, 0));
        m_bar->hide();
        m_cancel->hide();
        if (m_lingerMs >= 0)
            m_hideTimer->start(m_lingerMs);
        break;
    }
    m_caption->setPalette(captionPalette);
    m_caption->setToolTip(m_caption->text());
    show();
}
