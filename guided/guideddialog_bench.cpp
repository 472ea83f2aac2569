// The run window's part that keeps a batch apart from the last one and
// the bench honest: the folder a new run is proposed, the plan offered
// from the last run's settings, the bench check's tolerance on the plan
// page and the choice to write a held point as it is.

#include "guided/guideddialog.h"

#include "guided/guidedfolder.h"
#include "guided/guidedidentify.h"
#include "guided/guidedrun.h"
#include "guided/guidedstate.h"

#include <QDir>
#include <QFormLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

QString GuidedDialog::proposedFolder() const
{
    // A run left unfinished is offered to be continued where it is, and a
    // damaged one is shown where it is so the damage is said; any other
    // start gets a folder of its own.
    QString damage;
    if (GuidedRun::resumable(m_setup.folder, nullptr, &damage) || !damage.isEmpty())
        return m_setup.folder;
    return GuidedFolder::fresh(m_setup.folder, QDir::current().filePath(QStringLiteral("calibration")),
                               QDateTime::currentDateTime());
}

void GuidedDialog::addPlausibleField(QFormLayout *form)
{
    plausibleEdit = new QLineEdit;
    plausibleEdit->setObjectName(QStringLiteral("guidedPlausible"));
    plausibleEdit->setToolTip(QStringLiteral("Точка, показания которой расходятся с заданным давлением больше этой "
                                             "доли диапазона, не записывается без решения оператора"));
    form->addRow(QStringLiteral("Допуск давления, % диапазона:"), plausibleEdit);
}

void GuidedDialog::addHoldButton(QBoxLayout *row)
{
    recordHeldButton = new QPushButton(QStringLiteral("Записать как есть"));
    recordHeldButton->setObjectName(QStringLiteral("guidedRecordHeld"));
    recordHeldButton->setToolTip(QStringLiteral("Записать задержанную точку с заданным давлением; в отчете будет "
                                                "отметка"));
    recordHeldButton->hide();
    row->addWidget(recordHeldButton);
    connect(recordHeldButton, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->recordHeld();
    });
}

void GuidedDialog::onIdentified()
{
    refreshFolder();
    const QVector<GuidedDevice> &found = m_identify->devices();
    if (found.isEmpty()) {
        folderNote->setText(QStringLiteral("<span style='color:red'>Ни одно устройство не прочитано: %1</span>")
                                .arg(m_identify->failures().join(QStringLiteral("; ")).toHtmlEscaped()));
        return;
    }
    GuidedPlan plan = GuidedPlan::defaults(found);
    plan.baseName = QDir(folder()).dirName().isEmpty() ? QStringLiteral("device") : QDir(folder()).dirName();
    // The last run's temperatures, points and rules, for a line that
    // calibrates the same way every time.
    GuidedPlan last;
    QStringList notes;
    if (GuidedFolder::plan(m_setup.folder, &last) && QDir(m_setup.folder) != QDir(folder())) {
        plan = plan.withSettingsOf(last);
        plan.baseName = last.baseName;
        notes << QStringLiteral("Настройки взяты из прошлого прогона (%1)").arg(m_setup.folder.toHtmlEscaped());
    }
    fillPlan(plan);
    if (!m_identify->failures().isEmpty())
        notes << QStringLiteral("<span style='color:red'>Не прочитаны и не войдут в прогон: %1</span>")
                     .arg(m_identify->failures().join(QStringLiteral("; ")).toHtmlEscaped());
    planNote->setText(notes.join(QStringLiteral("<br>")));
    pages->setCurrentIndex(1);
}

void GuidedDialog::onLoadPlan()
{
    const QString path = choosePlanFile(folder());
    if (path.isEmpty() || !m_plan)
        return;
    QJsonObject o;
    QString why;
    GuidedPlan loaded;
    if (!GuidedFiles::loadJson(path, &o, &why) || !GuidedPlan::fromJson(o, &loaded, &why)) {
        planNote->setText(QStringLiteral("<span style='color:red'>План не взят: %1</span>").arg(why.toHtmlEscaped()));
        return;
    }
    // The devices are the ones in hand.
    fillPlan(m_plan->withSettingsOf(loaded));
    planNote->setText(QStringLiteral("План взят из %1").arg(path.toHtmlEscaped()));
}
