// The guided run's window, the part about writes: who runs the batch (asked
// on the plan page, the system's user name offered), and after a write with
// failures the two ways out besides going on to verification: writing the
// devices not written again, and putting back what the selected device held
// before the run wrote to it.

#include "guided/guideddialog.h"

#include "guided/guidedpdf.h"
#include "guided/guidedreport.h"
#include "guided/guidedrun.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>

void GuidedDialog::buildWriteControls()
{
    operatorEdit = new QLineEdit(m_setup.operatorName);
    operatorEdit->setObjectName(QStringLiteral("guidedOperator"));
    operatorEdit->setToolTip(QStringLiteral("Кто проводит калибровку: записывается в историю вместе с партией"));
    operatorEdit->setMaximumWidth(250);
    auto *who = new QHBoxLayout;
    who->addWidget(new QLabel(QStringLiteral("Оператор:")));
    who->addWidget(operatorEdit);
    who->addStretch();
    // Above the plan's note and buttons.
    auto *plan = qobject_cast<QVBoxLayout *>(pages->widget(1)->layout());
    plan->insertLayout(plan->indexOf(planNote), who);

    writeAgainButton = new QPushButton(QStringLiteral("Записать снова"));
    writeAgainButton->setObjectName(QStringLiteral("guidedWriteAgain"));
    writeAgainButton->setToolTip(QStringLiteral("Рассчитать и записать снова устройства, запись в которые не удалась"));
    restoreButton = new QPushButton(QStringLiteral("Вернуть прежние коэффициенты"));
    restoreButton->setObjectName(QStringLiteral("guidedRestore"));
    restoreButton->setToolTip(QStringLiteral("Записать в выбранное устройство коэффициенты, которые были в нем до "
                                             "записи прогоном (из его папки)"));
    auto *row = new QHBoxLayout;
    row->addWidget(writeAgainButton);
    row->addWidget(restoreButton);
    row->addStretch();
    qobject_cast<QVBoxLayout *>(pages->widget(2)->layout())->addLayout(row);
    connect(writeAgainButton, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->writeAgain();
    });
    connect(restoreButton, &QPushButton::clicked, this, &GuidedDialog::onRestore);
    connect(deviceTable, &QTableWidget::currentCellChanged, this, &GuidedDialog::showWriteControls);
    writeAgainButton->setEnabled(false);
    restoreButton->setEnabled(false);
}

void GuidedDialog::attachWrites()
{
    connect(m_run, &GuidedRun::writeRecorded, this, &GuidedDialog::writeRecorded);
    connect(m_run, &GuidedRun::calculationRefused, this, &GuidedDialog::calculationRefused);
    // What a device held put back after the batch's end: its PDF, like the
    // text the run writes again, must not call the device good.
    connect(m_run, &GuidedRun::writeRecorded, this, [this](const GuidedWriteRecord &r) {
        const GuidedPhase p = m_run->phase();
        if (!r.restore || (p != GuidedPhase::Done && p != GuidedPhase::Aborted))
            return;
        const QString pdf = m_run->reportBase() + QStringLiteral(".pdf");
        QTimer::singleShot(0, this, [this, pdf] {
            QString error;
            if (GuidedPdf::write(pdf, GuidedReport::html(m_run->plan(), m_run->cursor()), &error))
                log(QStringLiteral("Отчет партии в PDF обновлен: %1").arg(pdf), false);
            else
                log(QStringLiteral("Отчет партии в PDF не обновлен: %1").arg(error), true);
        });
    });
}

void GuidedDialog::showWriteControls()
{
    for (int r = 0; m_run && r < deviceTable->rowCount() && r < m_run->cursor().devices.size(); ++r) {
        const GuidedDeviceResult &d = m_run->cursor().devices[r];
        if (d.active() && d.calc == GuidedDeviceResult::Calc::Restored && deviceTable->item(r, 5)
            && m_run->phase() != GuidedPhase::Done && m_run->phase() != GuidedPhase::Aborted)
            deviceTable->item(r, 5)->setText(QStringLiteral("возвращены прежние коэффициенты"));
    }
    const bool review = m_run && m_run->phase() == GuidedPhase::WriteReview && !m_run->isPaused() && !m_run->isWriting();
    writeAgainButton->setEnabled(review);
    restoreButton->setEnabled(m_run && m_run->canRestore(deviceTable->currentRow()));
}

void GuidedDialog::onRestore()
{
    if (!m_run)
        return;
    const int row = deviceTable->currentRow();
    if (row < 0) {
        log(QStringLiteral("Выберите в таблице устройство, в которое нужно вернуть прежние коэффициенты"), true);
        return;
    }
    QString why;
    if (!m_run->restorePrior(row, &why))
        log(QStringLiteral("Прежние коэффициенты не возвращены: %1").arg(why), true);
}
