#include "app/operationprogress.h"

OperationProgress::OperationProgress(QObject *parent)
    : QObject(parent)
{
}

void OperationProgress::start(const Run &run, int total)
{
    m_run = run;
    m_total = qMax(0, total);
    m_done = m_failed = 0;
    m_reason.clear();
    m_outcome = Outcome::None;
    m_state = State::Running;
    emit changed();
}

void OperationProgress::step(bool ok)
{
    if (!isActive())
        return;
    ++m_done;
    if (!ok)
        ++m_failed;
    emit changed();
}

void OperationProgress::requestCancel()
{
    if (m_state != State::Running)
        return;
    m_state = State::Cancelling;
    emit changed();
    emit cancelRequested();
}

void OperationProgress::finish(const QString &reason)
{
    if (!isActive())
        return;
    if (m_state == State::Cancelling)
        m_outcome = Outcome::Cancelled;
    else if (!reason.isEmpty())
        m_outcome = Outcome::Interrupted;
    else if (m_done >= m_total && m_failed == 0)
        m_outcome = Outcome::Complete;
    else
        m_outcome = Outcome::Partial;
    m_reason = reason;
    m_state = State::Finished;
    emit changed();
    emit finished();
}

QString OperationProgress::progressText() const
{
    const QString counts = QStringLiteral("%1 из %2 %3").arg(m_done).arg(m_total).arg(m_run.unit);
    if (m_state == State::Cancelling)
        return m_run.title + QStringLiteral(": остановка после текущего запроса (") + counts
               + QLatin1Char(')');
    return m_run.title + QStringLiteral(": ") + counts;
}

QString OperationProgress::resultText() const
{
    const QString counts = QStringLiteral("%1 %2 из %3 %4")
                               .arg(m_run.doneWord)
                               .arg(succeeded())
                               .arg(m_total)
                               .arg(m_run.unit);
    const QString partial = QStringLiteral(" — результат неполный");
    switch (m_outcome) {
    case Outcome::None:
        return QString();
    case Outcome::Complete:
        return m_run.title + QStringLiteral(": готово, ") + counts;
    case Outcome::Cancelled:
        return m_run.title + QStringLiteral(": ") + counts + partial
               + QStringLiteral(" (остановлено оператором)");
    case Outcome::Interrupted:
        return m_run.title + QStringLiteral(": ") + counts + partial + QStringLiteral(" (")
               + m_reason + QLatin1Char(')');
    case Outcome::Partial:
        if (m_done < m_total)
            return m_run.title + QStringLiteral(": ") + counts + partial
                   + QStringLiteral(" (обмен прекращен)");
        return m_run.title + QStringLiteral(": ") + counts + partial
               + QStringLiteral(" (без ответа или с ошибкой: %1)").arg(m_failed);
    }
    return QString();
}
