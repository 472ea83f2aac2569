#include "guided/guidedtour.h"

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "guided/guideddialog.h"
#include "guided/guidedrun.h"
#include "link/protocolcomhart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <memory>

namespace {

// Confirms every request the tour does not stop at.
struct Stand
{
    bool active = false;
    std::function<bool(GuidedRun *)> holdAt;
};

void confirmLater(GuidedDialog *d, const std::shared_ptr<Stand> &stand)
{
    QTimer::singleShot(50, d, [d, stand] {
        GuidedRun *run = d->run();
        if (!stand->active || !run || !run->isWaitingForOperator() || run->isPaused())
            return;
        if (stand->holdAt && stand->holdAt(run))
            return;
        d->confirmButton->click();
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
             const int addresses[] = {1, 2, 5};
             for (int i = 0; i < 3; ++i) {
                 w->pollChannels[i].enable->setChecked(true);
                 QComboBox *box = w->pollChannels[i].address;
                 box->setCurrentIndex(box->findText(QStringLiteral("%1").arg(addresses[i], 2, 10, QLatin1Char('0'))));
             }
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
             d->pointsEdit->setText(QStringLiteral("0; 100"));
             d->verifyEdit->setText(QStringLiteral("0; 100"));
             d->stableCount->setValue(3);
             d->averaged->setValue(3);
             d->startButton->click();
             if (GuidedRun *run = d->run())
                 QObject::connect(run, &GuidedRun::changed, d, [d, stand] { confirmLater(d, stand); });
         }, phase(GuidedPhase::SetTemperature)},
        {QStringLiteral("guided_4_pressure"), [dialog] {
             if (dialog())
                 dialog()->confirmButton->click();
         }, phase(GuidedPhase::SetPressure)},
        {QStringLiteral("guided_5_capturing"), [dialog] {
             if (dialog()) {
                 dialog()->referenceEdit->setText(QStringLiteral("0,002"));
                 dialog()->confirmButton->click();
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
