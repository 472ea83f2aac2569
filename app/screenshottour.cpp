#include "app/screenshottour.h"

#include "app/mainwindow.h"
#include "app/operationprogress.h"
#include "ui_mainwindow.h"

#include "calc/dialog.h"
#include "history/historywindow.h"
#include "devicedata/dumpdialog.h"
#include "link/protocolcomhart.h"
#include "monitor/monitortour.h"
#include "guided/guidedtour.h"
#include "polling/savefile_confirm_dialog.h"
#include "ui_dumpdialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <memory>

namespace {
// Long enough for a resize and a relayout to settle under a virtual X server.
constexpr int SettleMs = 300;
constexpr int PollMs = 50;
constexpr int StepLimitMs = 30000;

QSize screenSize()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().size() : QSize(1366, 768);
}
}

ScreenshotTour::ScreenshotTour(MainWindow *window, const QString &directory, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_directory(directory)
{
    const QSize size = screenSize();
    m_prefix = QStringLiteral("%1x%2_").arg(size.width()).arg(size.height());

    add(QStringLiteral("00_locked"), [] {});
    addTabs();
    addDialogs();
    if (!qEnvironmentVariableIsEmpty("TESMAR_PORT"))
        addLineSteps();
    // The monitor's panels while three devices are polled: each step lets
    // the line run for its settling time before the grab.
    for (const MonitorTourStep &step : monitorTourSteps(window)) {
        auto since = std::make_shared<QElapsedTimer>();
        const auto setup = step.setup;
        const int settleMs = step.settleMs;
        add(QStringLiteral("50_") + step.name, [since, setup] {
                if (setup)
                    setup();
                since->start();
            }, [since, settleMs] { return since->elapsed() >= settleMs; });
    }
    // The guided run's window, step by step.
    for (const GuidedTourStep &step : guidedTourSteps(window))
        add(step.name.isEmpty() ? QString() : QStringLiteral("60_") + step.name, step.setup, step.ready);
}

void ScreenshotTour::add(const QString &name, std::function<void()> setup, std::function<bool()> ready)
{
    m_steps.append({name, std::move(setup), std::move(ready)});
}

void ScreenshotTour::addTabs()
{
    MainWindow *w = m_window;
    Ui::MainWindow *ui = w->ui;
    add(QString(), [ui] { ui->lineEditPassword->setText(QStringLiteral("7391")); });
    for (int tab = 0; tab < ui->tabWidget->count(); ++tab) {
        const QString name = QStringLiteral("1%1_tab%1_%2").arg(tab).arg(ui->tabWidget->widget(tab)->objectName());
        add(name, [ui, tab] { ui->tabWidget->setCurrentIndex(tab); });
    }
    // A long port path shows its end; the message log under the tabs.
    add(QStringLiteral("20_port_path_and_log"), [w, ui] {
        ui->comboBoxNamePort->setEditText(QStringLiteral("/tmp/tesmar-line.Xy12Ab/ttyTESMAR"));
        ui->tabWidget->setCurrentWidget(ui->tabCalibration);
        w->reportFailure(QStringLiteral("Пример сообщения об ошибке"));
        w->reportSuccess(QStringLiteral("Пример подтверждения"), ui->textEditStatusCalibration);
        w->messageLogDock()->show();
    });
    add(QString(), [w] { w->messageLogDock()->hide(); });
}

void ScreenshotTour::addDialogs()
{
    MainWindow *w = m_window;
    Ui::MainWindow *ui = w->ui;
    add(QStringLiteral("29_window_history"), [w] { w->showHistoryWindow(); });
    add(QString(), [w] { w->historyWindow()->hide(); });
    add(QStringLiteral("30_dialog_parameters"), [ui] { ui->parWind->trigger(); });
    add(QString(), [w] { w->parametersDialog()->hide(); });
    add(QStringLiteral("31_dialog_device_data"), [ui] {
        ui->tabWidget->setCurrentWidget(ui->tabForDevice);
        ui->pbMemDump->click();
    });
    add(QString(), [w] { w->deviceDataDialog()->hide(); });
    add(QStringLiteral("32_dialog_save_dirs"), [this, w] {
        QString message = QStringLiteral("Базовая директория: /home/engineer/data\nВыбранное базовое имя: run1\n"
                                         "Будут созданы следующие директории:\n");
        for (int a : {1, 2, 5})
            message += QStringLiteral("\t/home/engineer/data/run1_%1 уже существует\n").arg(a, 2, 10, QLatin1Char('0'));
        message += QStringLiteral("\nВНИМАНИЕ: ФАЙЛЫ В СУЩЕСТВУЮЩИХ ДИРЕКТОРИЯХ БУДУТ ПЕРЕЗАПИСАНЫ\n");
        auto *d = new savefile_confirm_dialog(message, true, w);
        d->setAttribute(Qt::WA_DeleteOnClose);
        d->show();
        m_transient.append(d);
    });
    add(QStringLiteral("33_dialog_file_save"), [this, w] {
        auto *d = new QFileDialog(w, QStringLiteral("Save File"), QDir::currentPath(),
                                  QStringLiteral("Текстовый файл (*.txt);;Все файлы (*)"));
        d->setAcceptMode(QFileDialog::AcceptSave);
        d->setOption(QFileDialog::DontUseNativeDialog);
        d->setAttribute(Qt::WA_DeleteOnClose);
        d->show();
        m_transient.append(d);
    });
    add(QStringLiteral("34_dialog_question"), [this, w] {
        auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("Подтверждение"),
                                    QStringLiteral("Пример вопроса со стандартными кнопками"),
                                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, w);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
        m_transient.append(box);
    });
}

void ScreenshotTour::addLineSteps()
{
    MainWindow *w = m_window;
    Ui::MainWindow *ui = w->ui;
    protocolComHart *link = w->hartLink();
    OperationProgress *progress = w->operationProgress();
    auto idle = [link, progress] {
        return !progress->isActive() && !link->isBusy() && !link->isQueueRunning();
    };

    add(QStringLiteral("40_connected"), [w, ui] {
        ui->tabWidget->setCurrentWidget(ui->tabFunction3);
        ui->comboBoxNamePort->setCurrentIndex(0);
        ui->buttonConnectPort->click();
        w->scanPeriod = 100;
        w->scanTimeout = 300;
        w->scanRepeats = 1;
        w->pollPeriod = 300;
    }, [link] { return link->isPortOpen(); });
    add(QStringLiteral("41_scan_running"), [ui] { ui->buttonFindDevice->click(); },
        [progress] { return progress->isActive() && progress->done() >= 6; });
    add(QStringLiteral("42_scan_done"), [] {}, idle);
    add(QStringLiteral("43_poll_rows_filled"), [w] {
        if (QAbstractButton *fill = w->msgBoxScanAddr->findChild<QAbstractButton *>(QStringLiteral("pbFillPollRows")))
            fill->click();
        else
            w->msgBoxScanAddr->button(QMessageBox::Ok)->click();
    });
    add(QStringLiteral("44_poll_counts"), [ui] { ui->buttonFunction3Loop->click(); },
        [w] { return w->ui->statusBar->findChild<QWidget *>(QStringLiteral("labelPollCounts"))->isVisible(); });
    add(QString(), [ui] { ui->buttonStopRequstFunc3->click(); }, idle);
    add(QStringLiteral("45_bulk_read_running"), [w, ui] {
        ui->tabWidget->setCurrentWidget(ui->tabForDevice);
        ui->pbMemDump->click();
        w->deviceDataDialog()->form()->pbDownloadFromDevice->click();
    }, [progress] { return progress->isActive() && progress->done() >= 3; });
    add(QStringLiteral("46_bulk_read_done"), [] {}, idle);
    add(QStringLiteral("47_bulk_read_cancelled"), [w] {
        w->deviceDataDialog()->form()->pbDownloadFromDevice->click();
    }, [w, progress, idle] {
        // Cancelled from the dialog's own panel once a few blocks are in.
        if (progress->state() == OperationProgress::State::Running && progress->done() >= 4) {
            if (auto *cancel = w->deviceDataDialog()->findChild<QPushButton *>(QStringLiteral("pbCancelOperation")))
                cancel->click();
        }
        return progress->state() == OperationProgress::State::Finished && idle();
    });
    add(QString(), [w] { w->deviceDataDialog()->hide(); });
}

void ScreenshotTour::start()
{
    QDir().mkpath(m_directory);
    m_window->resize(screenSize());
    QTimer::singleShot(SettleMs, this, &ScreenshotTour::runStep);
}

void ScreenshotTour::runStep()
{
    if (m_index >= m_steps.size()) {
        emit finished();
        return;
    }
    // Windows a previous step opened for its shot go first.
    for (const QPointer<QWidget> &t : qAsConst(m_transient)) {
        if (t)
            t->close();
    }
    m_transient.clear();
    const Step &step = m_steps[m_index];
    if (step.setup)
        step.setup();
    m_waitedMs = 0;
    QTimer::singleShot(PollMs, this, &ScreenshotTour::poll);
}

void ScreenshotTour::poll()
{
    const Step &step = m_steps[m_index];
    if (step.ready && !step.ready() && m_waitedMs < StepLimitMs) {
        m_waitedMs += PollMs;
        QTimer::singleShot(PollMs, this, &ScreenshotTour::poll);
        return;
    }
    if (step.ready && m_waitedMs >= StepLimitMs)
        std::fprintf(stderr, "screenshot: step %s did not get ready\n", qPrintable(step.name));
    QTimer::singleShot(SettleMs, this, &ScreenshotTour::shoot);
}

void ScreenshotTour::shoot()
{
    const Step &step = m_steps[m_index++];
    if (!step.name.isEmpty()) {
        // The whole screen: a dialog taller than the screen shows cut off.
        QScreen *screen = QGuiApplication::primaryScreen();
        const QPixmap shot = screen ? screen->grabWindow(0) : m_window->grab();
        const QString path = QDir(m_directory).filePath(m_prefix + step.name + QStringLiteral(".png"));
        if (!shot.save(path))
            std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
        else
            std::fprintf(stdout, "%s\n", qPrintable(path));
    }
    runStep();
}

void ScreenshotTour::checkTourDevices(MainWindow *w)
{
    const int addresses[] = {1, 2, 5};
    for (int i = 0; i < 3; ++i) {
        w->pollChannels[i].enable->setChecked(true);
        QComboBox *box = w->pollChannels[i].address;
        box->setCurrentIndex(box->findText(QStringLiteral("%1").arg(addresses[i], 2, 10, QLatin1Char('0'))));
    }
}
