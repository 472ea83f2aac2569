#include "guided/guidedtour.h"

#include "app/mainwindow.h"
#include "app/screenshottour.h"
#include "ui_mainwindow.h"

#include "guided/guideddialog.h"
#include "guided/guidedrun.h"
#include "link/protocolcomhart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <array>
#include <cmath>
#include <memory>

namespace {

// The bench the line's transmitters sit on, set through the line's control
// input (TESMAR_BENCH: "P+ kPa", "P- kPa", "T C" a line) as the run asks,
// so that every point, temperature and verification step is really there
// and the batch passes as it would on a real bench. Without it the bench
// stays where it is and the calculation has nothing to fit.
class BenchControl
{
public:
    BenchControl()
        : m_file(qEnvironmentVariable("TESMAR_BENCH"))
    {
        // The line reads it already, so opening a pipe for writing does not wait.
        if (!m_file.fileName().isEmpty())
            m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    // Sets what the run's current request asks for; reference: the
    // reading the operator typed (NaN: the nominal point).
    void follow(const GuidedRun *run, double reference = std::nan(""))
    {
        const GuidedPlan &plan = run->plan();
        const GuidedCursor &c = run->cursor();
        switch (c.phase) {
        case GuidedPhase::SetTemperature:
            send(QStringLiteral("T %1").arg(plan.temperatures[c.temperature].celsius));
            break;
        case GuidedPhase::SetVerifyTemperature:
            send(QStringLiteral("T %1").arg(plan.temperatures[plan.verifyTemperature].celsius));
            break;
        case GuidedPhase::SetPressure: {
            // The tour's line has one kind of sensor, so one bench serves all.
            const double kPa = std::isnan(reference) ? plan.pointKPa(c.point) : reference;
            const std::array<double, 2> p = plan.devices.isEmpty()
                                                ? std::array<double, 2>{kPa, 0}
                                                : plan.chambersFor(plan.devices.first().sensor, kPa);
            send(QStringLiteral("P+ %1\nP- %2").arg(p[0]).arg(p[1]));
            break;
        }
        case GuidedPhase::SetVerifyPressure:
            send(QStringLiteral("P+ %1\nP- 0").arg(plan.verifyKPa(c.verifyStep)));
            break;
        default:
            break;
        }
    }

private:
    void send(const QString &commands)
    {
        if (m_file.isOpen())
            m_file.write((commands + QLatin1Char('\n')).toUtf8());
    }
    QFile m_file;
};

// Confirms every request the tour does not stop at, after setting the bench.
struct Stand
{
    bool active = false;
    std::function<bool(GuidedRun *)> holdAt;
    BenchControl bench;
};

// The bench first, the confirmation a moment later: the line takes its
// control input on its own event loop, and the first poll of the point
// must find the new pressure there.
constexpr int BenchSettleMs = 150;

void confirmWithBench(GuidedDialog *d, const std::shared_ptr<Stand> &stand, double reference = std::nan(""))
{
    GuidedRun *run = d->run();
    if (!run)
        return;
    stand->bench.follow(run, reference);
    const GuidedCursor before = run->cursor();
    QTimer::singleShot(BenchSettleMs, d, [d, before] {
        GuidedRun *r = d->run();
        if (r && r->isWaitingForOperator() && r->phase() == before.phase && r->cursor().point == before.point
            && r->cursor().verifyStep == before.verifyStep && r->cursor().temperature == before.temperature)
            d->confirmButton->click();
    });
}

void confirmLater(GuidedDialog *d, const std::shared_ptr<Stand> &stand)
{
    QTimer::singleShot(50, d, [d, stand] {
        GuidedRun *run = d->run();
        if (!stand->active || !run || !run->isWaitingForOperator() || run->isPaused())
            return;
        if (stand->holdAt && stand->holdAt(run))
            return;
        if (run->phase() == GuidedPhase::ConfirmFit)
            d->confirmButton->click();
        else
            confirmWithBench(d, stand);
    });
}

} // namespace

QVector<GuidedTourStep> guidedTourSteps(MainWindow *w)
{
    if (qEnvironmentVariableIsEmpty("TESMAR_PORT"))
        return {};
    auto stand = std::make_shared<Stand>();
    auto dialog = [w] { return w->guidedDialog(); };
    auto phase = [dialog](GuidedPhase p) {
        return [dialog, p] { return dialog() && dialog()->run() && dialog()->run()->phase() == p; };
    };
    return {
        {QStringLiteral("guided_1_folder"), [w] {
             w->ui->lineEditPassword->setText(QStringLiteral("7391"));
             if (!w->hartLink()->isPortOpen()) {
                 w->ui->comboBoxNamePort->setEditText(w->preferredPort());
                 w->ui->buttonConnectPort->click();
             }
             ScreenshotTour::checkTourDevices(w);
             w->showGuidedRun();
             if (GuidedDialog *d = w->guidedDialog())
                 d->folderEdit->setText(QDir::current().filePath(QStringLiteral("guided-tour")));
         }, [dialog] { return dialog() != nullptr; }},
        {QStringLiteral("guided_2_plan"), [dialog] {
             if (dialog())
                 dialog()->newButton->click();
         }, [dialog] { return dialog() && dialog()->pages->currentIndex() == 1; }},
        {QStringLiteral("guided_3_temperature"), [dialog, stand] {
             GuidedDialog *d = dialog();
             if (!d)
                 return;
             d->pointsEdit->setText(QStringLiteral("0; 50; 100"));
             d->verifyEdit->setText(QStringLiteral("0; 100"));
             d->stableCount->setValue(3);
             d->averaged->setValue(3);
             d->startButton->click();
             if (GuidedRun *run = d->run())
                 QObject::connect(run, &GuidedRun::changed, d, [d, stand] { confirmLater(d, stand); });
         }, phase(GuidedPhase::SetTemperature)},
        {QStringLiteral("guided_4_pressure"), [dialog, stand] {
             if (dialog())
                 confirmWithBench(dialog(), stand);
         }, phase(GuidedPhase::SetPressure)},
        {QStringLiteral("guided_5_capturing"), [dialog, stand] {
             if (dialog()) {
                 dialog()->referenceEdit->setText(QStringLiteral("0,002"));
                 confirmWithBench(dialog(), stand, 0.002);
             }
         }, [dialog] {
             return dialog() && dialog()->run() && dialog()->run()->phase() == GuidedPhase::Capturing
                    && dialog()->run()->live().value(0).answers >= 2;
         }},
        {QStringLiteral("guided_6_verification"), [dialog, stand] {
             stand->active = true;
             stand->holdAt = [](GuidedRun *r) {
                 return r->phase() == GuidedPhase::SetVerifyPressure && r->cursor().verifyStep == 1;
             };
             if (dialog() && dialog()->run())
                 emit dialog()->run()->changed();
         }, [dialog] {
             return dialog() && dialog()->run() && dialog()->run()->phase() == GuidedPhase::SetVerifyPressure
                    && dialog()->run()->cursor().verifyStep == 1;
         }},
        {QStringLiteral("guided_7_done"), [dialog, stand] {
             stand->holdAt = nullptr;
             if (dialog() && dialog()->run())
                 emit dialog()->run()->changed();
         }, phase(GuidedPhase::Done)},
        {QString(), [dialog, stand] {
             stand->active = false;
             if (dialog())
                 dialog()->close();
         }, nullptr},
    };
}
