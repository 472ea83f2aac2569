#include "app/screenshottour.h"

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "monitor/monitortour.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {
// Long enough for a resize and a relayout to settle under a virtual X server.
constexpr int SettleMs = 300;
}

ScreenshotTour::ScreenshotTour(MainWindow *window, const QString &directory, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_directory(directory)
{
    const QSize initial(1183, 720);
    QSize full(1920, 1080);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        full = screen->availableGeometry().size();
    m_shots.append({initial, -1, QStringLiteral("1183x720_locked")});
    for (const QSize &size : {initial, full}) {
        const QString prefix = size == initial ? QStringLiteral("1183x720") : QStringLiteral("full");
        for (int tab = 0; tab < window->ui->tabWidget->count(); ++tab) {
            m_shots.append({size, tab, QStringLiteral("%1_tab%2_%3").arg(prefix).arg(tab)
                                           .arg(window->ui->tabWidget->widget(tab)->objectName())});
        }
    }
    for (const MonitorTourStep &step : monitorTourSteps(window))
        m_shots.append({full, -2, step.name, step.setup, step.settleMs});
}

void ScreenshotTour::start()
{
    QDir().mkpath(m_directory);
    m_window->resize(m_shots.first().size);
    QTimer::singleShot(SettleMs, this, &ScreenshotTour::next);
}

void ScreenshotTour::next()
{
    if (m_index > 0) {
        // Grab what the previous step set up.
        const Shot &done = m_shots[m_index - 1];
        const QString path = QDir(m_directory).filePath(done.name + QStringLiteral(".png"));
        if (!m_window->grab().save(path))
            std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
        else
            std::fprintf(stdout, "%s\n", qPrintable(path));
    }
    if (m_index == m_shots.size()) {
        emit finished();
        return;
    }
    const Shot &shot = m_shots[m_index++];
    if (shot.tab >= 0) {
        if (m_window->isInterfaceLocked())
            m_window->ui->lineEditPassword->setText(QStringLiteral("7391"));
        m_window->ui->tabWidget->setCurrentIndex(shot.tab);
    }
    if (shot.setup)
        shot.setup();
    m_window->resize(shot.size);
    QTimer::singleShot(shot.settleMs > 0 ? shot.settleMs : SettleMs, this, &ScreenshotTour::next);
}
