#include "monitor/linemonitor.h"

#include <QDateTime>

LineMonitor::LineMonitor(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("lineMonitor"));
    m_epochStart = QDateTime::currentMSecsSinceEpoch();
    m_clock.start();
}
