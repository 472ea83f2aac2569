#include "guided/guideddialog.h"

#include "devicedata/numbertext.h"
#include "guided/guidedidentify.h"
#include "guided/guidedlink.h"
#include "guided/guidedpdf.h"
#include "guided/guidedreport.h"
#include "guided/guidedrun.h"
#include "guided/guidedstate.h"

#include <QComboBox>
#include <QJsonObject>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {
const QColor Success(7, 158, 0);

QString numbersText(const QVector<double> &v)
{
    QStringList s;
    for (double x : v)
        s << QString::number(x, 'g', 6);
    return s.join(QStringLiteral("; "));
}

// "0; 25; 50" (a ";" or blanks between numbers: the comma may be the
// decimal separator).
bool readNumbers(const QString &text, const QString &caption, QVector<double> *out, QString *why)
{
    out->clear();
    for (const QString &part : text.split(QRegExp(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts)) {
        const NumberText::InputValue v = NumberText::readInput(part, NumberText::InputRule::real());
        if (!v.ok) {
            *why = NumberText::inputRefusal(caption, v);
            return false;
        }
        out->append(v.value);
    }
    return true;
}

bool readNumber(const QLineEdit *edit, const QString &caption, double lo, double *out, QString *why)
{
    const NumberText::InputValue v = NumberText::readInput(edit->text(), NumberText::InputRule::real(lo));
    if (!v.ok) {
        *why = NumberText::inputRefusal(caption, v);
        return false;
    }
    *out = v.value;
    return true;
}

const CalibrationTemperature Slots[3] = {CalibrationTemperature::Low, CalibrationTemperature::Middle,
                                         CalibrationTemperature::High};

int slotIndex(CalibrationTemperature t)
{
    return t == CalibrationTemperature::Low ? 0 : t == CalibrationTemperature::High ? 2 : 1;
}

// The six orders of the three temperatures, as "012" (Tmin, Tmid, Tmax).
const char *const Orders[6] = {"012", "102", "120", "021", "201", "210"};

QTableWidgetItem *item(const QString &text, const QColor &colour = QColor())
{
    auto *i = new QTableWidgetItem(text);
    i->setFlags(i->flags() & ~Qt::ItemIsEditable);
    i->setToolTip(text);
    if (colour.isValid())
        i->setForeground(colour);
    return i;
}
} // namespace

GuidedDialog::GuidedDialog(protocolComHart *link, const Setup &setup, QWidget *parent)
    : QDialog(parent)
    , m_link(link)
    , m_setup(setup)
{
    setObjectName(QStringLiteral("GuidedDialog"));
    setWindowTitle(QStringLiteral("Пошаговая калибровка"));
    m_guided = new GuidedLink(link, this);
    m_guided->setFrameForm(setup.preamble, setup.longFrame);
    m_guided->setTiming(setup.periodMs, setup.timeoutMs, setup.repeats);
    m_identify = new GuidedIdentify(m_guided, this);
    connect(m_identify, &GuidedIdentify::finished, this, &GuidedDialog::onIdentified);

    chooseFolder = [this](const QString &start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Папка прогона калибровки"), start);
    };
    choosePlanFile = [this](const QString &start) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("План прогона"), start,
                                            QStringLiteral("План прогона (guided_plan.json)"));
    };

    pages = new QStackedWidget(this);
    pages->addWidget(buildFolderPage());
    pages->addWidget(buildPlanPage());
    pages->addWidget(buildRunPage());
    buildWriteControls();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    resize(900, 620);
    refreshFolder();
}

GuidedDialog::~GuidedDialog() = default;

QString GuidedDialog::folder() const { return folderEdit->text().trimmed(); }

QWidget *GuidedDialog::buildFolderPage()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Папка прогона:")));
    folderEdit = new QLineEdit(proposedFolder());
    folderEdit->setObjectName(QStringLiteral("guidedFolder"));
    row->addWidget(folderEdit, 1);
    browseButton = new QPushButton(QStringLiteral("Обзор…"));
    row->addWidget(browseButton);
    v->addLayout(row);
    folderNote = new QLabel;
    folderNote->setWordWrap(true);
    v->addWidget(folderNote);
    auto *buttons = new QHBoxLayout;
    newButton = new QPushButton(QStringLiteral("Новый прогон: прочитать устройства"));
    resumeButton = new QPushButton(QStringLiteral("Продолжить прогон"));
    buttons->addWidget(newButton);
    buttons->addWidget(resumeButton);
    buttons->addStretch();
    v->addLayout(buttons);
    v->addStretch();
    connect(folderEdit, &QLineEdit::textChanged, this, &GuidedDialog::refreshFolder);
    connect(browseButton, &QPushButton::clicked, this, [this] {
        const QString dir = chooseFolder(folder());
        if (!dir.isEmpty())
            folderEdit->setText(dir);
    });
    connect(newButton, &QPushButton::clicked, this, &GuidedDialog::onNew);
    connect(resumeButton, &QPushButton::clicked, this, &GuidedDialog::onResume);
    return page;
}

QWidget *GuidedDialog::buildPlanPage()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    planDevices = new QTableWidget(0, 6);
    planDevices->setHorizontalHeaderLabels({QStringLiteral("Адрес"), QStringLiteral("Зав. №"), QStringLiteral("Модель"),
                                            QStringLiteral("Сенсор"), QStringLiteral("Pmax, кПа"),
                                            QStringLiteral("Диапазон, кПа")});
    planDevices->horizontalHeader()->setStretchLastSection(true);
    planDevices->verticalHeader()->hide();
    v->addWidget(planDevices, 1);

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    auto *formHost = new QWidget;
    auto *rows = new QVBoxLayout(formHost);
    auto *cols = new QHBoxLayout;
    rows->addLayout(cols);
    auto *left = new QFormLayout;
    auto *right = new QFormLayout;
    cols->addLayout(left);
    cols->addLayout(right);
    const char *names[3] = {"Tmin, °C:", "Tmid, °C:", "Tmax, °C:"};
    for (int i = 0; i < 3; ++i) {
        tempEdits[i] = new QDoubleSpinBox;
        tempEdits[i]->setRange(-100, 200);
        tempEdits[i]->setDecimals(1);
        left->addRow(QString::fromUtf8(names[i]), tempEdits[i]);
    }
    orderBox = new QComboBox;
    for (const char *order : Orders) {
        QStringList n;
        for (const char *c = order; *c; ++c)
            n << GuidedPlan::temperatureName(Slots[*c - '0']);
        orderBox->addItem(n.join(QStringLiteral(" → ")), QString::fromLatin1(order));
    }
    left->addRow(QStringLiteral("Порядок температур:"), orderBox);
    pointsEdit = new QLineEdit;
    pointsUnit = new QComboBox;
    pointsUnit->addItems({QStringLiteral("% от Pmax"), QStringLiteral("кПа")});
    auto *pointsRow = new QHBoxLayout;
    pointsRow->addWidget(pointsEdit, 1);
    pointsRow->addWidget(pointsUnit);
    left->addRow(QStringLiteral("Точки давления:"), pointsRow);
    pmaxEdit = new QLineEdit;
    left->addRow(QStringLiteral("Pmax партии, кПа:"), pmaxEdit);
    auto *chambersRow = new QHBoxLayout;
    for (SensorModel sm : {SensorModel::TwoGauge, SensorModel::SingleGauge, SensorModel::Capacitive}) {
        QComboBox *box = new QComboBox;
        box->addItem(QStringLiteral("P+"), int(GuidedChambers::Plus));
        box->addItem(QStringLiteral("P+ и P-"), int(GuidedChambers::Both));
        box->addItem(QStringLiteral("P-"), int(GuidedChambers::Minus));
        box->setToolTip(QStringLiteral("Куда подается давление точки: %1").arg(GuidedPlan::sensorText(sm)));
        chamberBoxes[int(sm)] = box;
        chambersRow->addWidget(new QLabel(GuidedPlan::sensorText(sm) + QLatin1Char(':')));
        chambersRow->addWidget(box);
    }
    chambersRow->addStretch();
    chambersRow->insertWidget(0, new QLabel(QStringLiteral("Подача давления:")));
    rows->addLayout(chambersRow);
    stableCount = new QSpinBox;
    stableCount->setRange(2, 1000);
    right->addRow(QStringLiteral("Стабильно за N ответов:"), stableCount);
    strainEdit = new QLineEdit;
    strainEdit->setToolTip(QStringLiteral("Наибольший разброс U1; U2; U4 за N ответов, мВ"));
    right->addRow(QStringLiteral("Пороги тензо U1; U2; U4, мВ:"), strainEdit);
    capacitiveEdit = new QLineEdit;
    capacitiveEdit->setToolTip(QStringLiteral("Наибольший разброс f1; f2 (кГц) и температуры (°C) за N ответов"));
    right->addRow(QStringLiteral("Пороги емк. f1; f2, кГц; t, °C:"), capacitiveEdit);
    averaged = new QSpinBox;
    averaged->setRange(1, 1000);
    right->addRow(QStringLiteral("Усреднять ответов:"), averaged);
    classEdit = new QLineEdit;
    right->addRow(QStringLiteral("Класс точности, % диапазона:"), classEdit);
    addPlausibleField(right);
    verifyEdit = new QLineEdit;
    verifyEdit->setToolTip(QStringLiteral("Точки поверки в % диапазона, вверх; обратный ход добавляется"));
    right->addRow(QStringLiteral("Точки поверки, %:"), verifyEdit);
    verifyTemperature = new QComboBox;
    verifyTemperature->addItems({QStringLiteral("Tmin"), QStringLiteral("Tmid"), QStringLiteral("Tmax")});
    right->addRow(QStringLiteral("Поверка при:"), verifyTemperature);
    // Two columns of short fields that fit a 1024-pixel screen.
    for (QWidget *field : formHost->findChildren<QWidget *>())
        if (qobject_cast<QLineEdit *>(field) || qobject_cast<QAbstractSpinBox *>(field))
            field->setMaximumWidth(170);
    scroll->setWidget(formHost);
    // The form takes the height it needs (it scrolls only on a screen too
    // small for it); the device list takes the rest.
    v->addWidget(scroll, 0);

    planNote = new QLabel;
    planNote->setWordWrap(true);
    v->addWidget(planNote);
    auto *buttons = new QHBoxLayout;
    auto *back = new QPushButton(QStringLiteral("Назад"));
    loadPlanButton = new QPushButton(QStringLiteral("Взять план из файла…"));
    loadPlanButton->setToolTip(QStringLiteral("Температуры, точки и правила прежнего прогона (guided_plan.json)"));
    startButton = new QPushButton(QStringLiteral("Начать прогон"));
    buttons->addWidget(back);
    buttons->addWidget(loadPlanButton);
    buttons->addStretch();
    buttons->addWidget(startButton);
    v->addLayout(buttons);
    connect(back, &QPushButton::clicked, this, [this] { pages->setCurrentIndex(0); });
    connect(startButton, &QPushButton::clicked, this, &GuidedDialog::onStart);
    connect(loadPlanButton, &QPushButton::clicked, this, &GuidedDialog::onLoadPlan);
    return page;
}

QWidget *GuidedDialog::buildRunPage()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    requestLabel = new QLabel;
    requestLabel->setObjectName(QStringLiteral("guidedRequest"));
    requestLabel->setWordWrap(true);
    v->addWidget(requestLabel);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Показание эталона, кПа:")));
    referenceEdit = new QLineEdit;
    referenceEdit->setPlaceholderText(QStringLiteral("как задано"));
    referenceEdit->setMaximumWidth(140);
    row->addWidget(referenceEdit);
    confirmButton = new QPushButton(QStringLiteral("Готово"));
    confirmButton->setDefault(true);
    rejectButton = new QPushButton(QStringLiteral("Нет"));
    row->addWidget(confirmButton);
    row->addWidget(rejectButton);
    addHoldButton(row);
    row->addStretch();
    v->addLayout(row);
    progressLabel = new QLabel;
    progressLabel->setWordWrap(true);
    v->addWidget(progressLabel);

    deviceTable = new QTableWidget(0, 6);
    deviceTable->setHorizontalHeaderLabels({QStringLiteral("Адрес"), QStringLiteral("Зав. №"), QStringLiteral("Сенсор"),
                                            QStringLiteral("Ответов"), QStringLiteral("Стабильность"),
                                            QStringLiteral("Состояние")});
    deviceTable->horizontalHeader()->setStretchLastSection(true);
    deviceTable->verticalHeader()->hide();
    deviceTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    deviceTable->setSelectionMode(QAbstractItemView::SingleSelection);
    v->addWidget(deviceTable, 2);
    logView = new QTextEdit;
    logView->setReadOnly(true);
    v->addWidget(logView, 1);

    auto *buttons = new QHBoxLayout;
    pauseButton = new QPushButton(QStringLiteral("Пауза"));
    redoButton = new QPushButton(QStringLiteral("Переснять точку"));
    skipButton = new QPushButton(QStringLiteral("Исключить устройство"));
    abortButton = new QPushButton(QStringLiteral("Прервать"));
    for (QPushButton *b : {pauseButton, redoButton, skipButton, abortButton})
        buttons->addWidget(b);
    buttons->addStretch();
    v->addLayout(buttons);

    connect(confirmButton, &QPushButton::clicked, this, &GuidedDialog::onConfirm);
    connect(rejectButton, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->answerFit(false);
    });
    connect(pauseButton, &QPushButton::clicked, this, [this] {
        if (!m_run)
            return;
        if (m_run->isPaused())
            m_run->resume();
        else
            m_run->pause();
    });
    connect(redoButton, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->redoLastPoint();
    });
    connect(skipButton, &QPushButton::clicked, this, &GuidedDialog::onSkip);
    // Hours of a run are not thrown away by one stray click.
    connect(abortButton, &QPushButton::clicked, this, [this] {
        if (!m_run)
            return;
        if (!m_abortArmed) {
            m_abortArmed = true;
            abortButton->setText(QStringLiteral("Прервать? Нажмите еще раз"));
            QTimer::singleShot(4000, this, [this] {
                m_abortArmed = false;
                abortButton->setText(QStringLiteral("Прервать"));
            });
            return;
        }
        m_run->abort();
    });
    return page;
}

void GuidedDialog::refreshFolder()
{
    QString where, damage;
    const bool resumable = GuidedRun::resumable(folder(), &where, &damage);
    resumeButton->setEnabled(resumable);
    newButton->setEnabled(!resumable && damage.isEmpty() && !m_identify->isRunning());
    if (!damage.isEmpty())
        folderNote->setText(QStringLiteral("<span style='color:red'>Прогон в папке не может быть продолжен: %1. "
                                           "Выберите другую папку для нового прогона.</span>")
                                .arg(damage.toHtmlEscaped()));
    else if (resumable)
        folderNote->setText(QStringLiteral("В папке незаконченный прогон (%1). Нажмите «Продолжить прогон», чтобы "
                                           "продолжить со следующей точки.").arg(where));
    else
        folderNote->setText(QStringLiteral("Будут прочитаны отмеченные на вкладке опроса устройства: %1.")
                                .arg(m_setup.addresses.isEmpty() ? QStringLiteral("нет ни одного")
                                                                 : QString::number(m_setup.addresses.size())));
}

void GuidedDialog::onNew()
{
    if (m_setup.addresses.isEmpty()) {
        folderNote->setText(QStringLiteral("<span style='color:red'>Отметьте устройства на вкладке опроса: "
                                           "читать нечего</span>"));
        return;
    }
    if (!m_identify->start(m_setup.addresses, m_setup.strainDefault)) {
        folderNote->setText(QStringLiteral("<span style='color:red'>Порт не открыт: подключите порт и "
                                           "повторите</span>"));
        return;
    }
    newButton->setEnabled(false);
    folderNote->setText(QStringLiteral("Читаются устройства…"));
}

void GuidedDialog::fillPlan(const GuidedPlan &plan)
{
    planDevices->setRowCount(plan.devices.size());
    for (int r = 0; r < plan.devices.size(); ++r) {
        const GuidedDevice &d = plan.devices[r];
        planDevices->setItem(r, 0, item(d.addressText()));
        planDevices->setItem(r, 1, item(d.serialText()));
        planDevices->setItem(r, 2, item(d.modelText()));
        auto *sensor = new QComboBox;
        for (SensorModel s : {SensorModel::TwoGauge, SensorModel::SingleGauge, SensorModel::Capacitive})
            sensor->addItem(GuidedPlan::sensorText(s), int(s));
        sensor->setCurrentIndex(sensor->findData(int(d.sensor)));
        planDevices->setCellWidget(r, 3, sensor);
        planDevices->setItem(r, 4, item(QString::number(d.pmaxPa / 1000.0, 'g', 6)));
        planDevices->setItem(r, 5, item(QStringLiteral("%1…%2").arg(d.pnPa / 1000.0, 0, 'g', 6).arg(d.pvPa / 1000.0, 0, 'g', 6)));
    }
    planDevices->resizeColumnsToContents();
    m_plan.reset(new GuidedPlan(plan));
    QString order;
    for (const GuidedTemperature &t : plan.temperatures) {
        tempEdits[slotIndex(t.slot)]->setValue(t.celsius);
        order += QChar('0' + slotIndex(t.slot));
    }
    orderBox->setCurrentIndex(std::max(0, orderBox->findData(order)));
    for (int sm = 0; sm < 3; ++sm)
        chamberBoxes[sm]->setCurrentIndex(chamberBoxes[sm]->findData(int(plan.chambers[size_t(sm)])));
    pointsEdit->setText(numbersText(plan.points));
    pointsUnit->setCurrentIndex(plan.pointsInPercent ? 0 : 1);
    pmaxEdit->setText(QString::number(plan.pmaxKPa, 'g', 6));
    stableCount->setValue(plan.stableCount);
    averaged->setValue(plan.averaged);
    strainEdit->setText(numbersText({plan.strainThresholds[0], plan.strainThresholds[1], plan.strainThresholds[2]}));
    capacitiveEdit->setText(numbersText({plan.capacitiveThresholds[0], plan.capacitiveThresholds[1],
                                         plan.capacitiveThresholds[2]}));
    classEdit->setText(QString::number(plan.classPercent, 'g', 6));
    plausibleEdit->setText(QString::number(plan.plausiblePercent, 'g', 6));
    verifyEdit->setText(numbersText(plan.verifyPercent));
    verifyTemperature->setCurrentIndex(slotIndex(plan.temperatures.value(plan.verifyTemperature).slot));
}

bool GuidedDialog::readPlan(GuidedPlan *plan, QString *why) const
{
    if (!m_plan) {
        *why = QStringLiteral("устройства не прочитаны");
        return false;
    }
    GuidedPlan p = *m_plan;
    for (int r = 0; r < p.devices.size(); ++r)
        if (auto *box = qobject_cast<QComboBox *>(planDevices->cellWidget(r, 3)))
            p.devices[r].sensor = SensorModel(box->currentData().toInt());
    const QString order = orderBox->currentData().toString();
    p.temperatures.clear();
    for (const QChar c : order) {
        const int slot = c.digitValue();
        p.temperatures.append({Slots[slot], tempEdits[slot]->value()});
        if (slot == verifyTemperature->currentIndex())
            p.verifyTemperature = p.temperatures.size() - 1;
    }
    for (int sm = 0; sm < 3; ++sm)
        p.chambers[size_t(sm)] = GuidedChambers(chamberBoxes[sm]->currentData().toInt());
    if (!readNumbers(pointsEdit->text(), QStringLiteral("Точки давления"), &p.points, why)
        || !readNumbers(verifyEdit->text(), QStringLiteral("Точки поверки"), &p.verifyPercent, why)
        || !readNumber(pmaxEdit, QStringLiteral("Pmax партии"), 0, &p.pmaxKPa, why)
        || !readNumber(classEdit, QStringLiteral("Класс точности"), 0, &p.classPercent, why)
        || !readNumber(plausibleEdit, QStringLiteral("Допуск проверки давления"), 0, &p.plausiblePercent, why))
        return false;
    p.pointsInPercent = pointsUnit->currentIndex() == 0;
    QVector<double> t;
    for (auto pair : {std::make_pair(strainEdit, &p.strainThresholds), std::make_pair(capacitiveEdit, &p.capacitiveThresholds)}) {
        if (!readNumbers(pair.first->text(), QStringLiteral("Пороги стабильности"), &t, why))
            return false;
        if (t.size() != 3) {
            *why = QStringLiteral("«Пороги стабильности»: нужны три числа через «;»");
            return false;
        }
        *pair.second = {t[0], t[1], t[2]};
    }
    p.stableCount = stableCount->value();
    p.averaged = averaged->value();
    const QString problem = p.check();
    if (!problem.isEmpty()) {
        *why = problem;
        return false;
    }
    *plan = p;
    return true;
}

void GuidedDialog::onStart()
{
    GuidedPlan plan;
    QString why;
    if (!readPlan(&plan, &why)) {
        planNote->setText(QStringLiteral("<span style='color:red'>План не принят: %1</span>").arg(why.toHtmlEscaped()));
        return;
    }
    auto *run = new GuidedRun(m_guided, this);
    if (!run->create(folder(), plan, &why, operatorEdit->text().trimmed())) {
        delete run;
        planNote->setText(QStringLiteral("<span style='color:red'>Прогон не начат: %1</span>").arg(why.toHtmlEscaped()));
        return;
    }
    m_run = run;
    attachRun();
    emit folderUsed(folder());
    m_run->start();
}

void GuidedDialog::onResume()
{
    auto *run = new GuidedRun(m_guided, this);
    QString why;
    if (!run->open(folder(), &why)) {
        delete run;
        folderNote->setText(QStringLiteral("<span style='color:red'>Прогон не открыт: %1</span>").arg(why.toHtmlEscaped()));
        return;
    }
    m_run = run;
    attachRun();
    emit folderUsed(folder());
    log(QStringLiteral("Прогон продолжен из папки %1").arg(folder()), false);
    m_run->start();
}

void GuidedDialog::attachRun()
{
    connect(m_run, &GuidedRun::changed, this, &GuidedDialog::showRun);
    connect(m_run, &GuidedRun::message, this, &GuidedDialog::log);
    connect(m_run, &GuidedRun::finished, this, &GuidedDialog::onFinished);
    connect(m_run, &GuidedRun::calculationWritten, this, &GuidedDialog::calculationWritten);
    attachWrites();
    pages->setCurrentIndex(2);
    showRun();
}

void GuidedDialog::onConfirm()
{
    if (!m_run)
        return;
    if (m_run->phase() == GuidedPhase::ConfirmFit) {
        m_run->answerFit(true);
        return;
    }
    double reference = std::nan("");
    if (!referenceEdit->text().trimmed().isEmpty()) {
        const NumberText::InputValue v = NumberText::readInput(referenceEdit->text(), NumberText::InputRule::real());
        if (!v.ok) {
            log(QStringLiteral("Показание не принято, точка не начата: %1")
                    .arg(NumberText::inputRefusal(QStringLiteral("Показание эталона"), v)), true);
            return;
        }
        reference = v.value;
    }
    referenceEdit->clear();
    m_run->confirm(reference);
}

void GuidedDialog::onSkip()
{
    if (!m_run)
        return;
    const int row = deviceTable->currentRow();
    if (row < 0) {
        log(QStringLiteral("Выберите в таблице устройство, которое нужно исключить"), true);
        return;
    }
    m_run->skipDevice(row);
}

void GuidedDialog::showRun()
{
    if (!m_run)
        return;
    const GuidedPhase phase = m_run->phase();
    const QString request = m_run->request();
    const bool waiting = m_run->isWaitingForOperator() && !m_run->isPaused();
    if (m_run->isPaused())
        requestLabel->setText(QStringLiteral("Прогон приостановлен"));
    else if (!m_run->isHeld() && (phase == GuidedPhase::Capturing || phase == GuidedPhase::Verifying))
        requestLabel->setText(QStringLiteral("Ждем стабильных показаний…"));
    else if (phase == GuidedPhase::Calculating)
        requestLabel->setText(QStringLiteral("Расчет и запись коэффициентов…"));
    else if (phase == GuidedPhase::Done || phase == GuidedPhase::Aborted)
        requestLabel->setText(GuidedReport::count(m_run->cursor()));
    else
        requestLabel->setText(request);
    // A request is read from across the bench; a long question is not.
    QFont font = this->font();
    if (requestLabel->text().size() < 120) {
        font.setPointSizeF(font.pointSizeF() * 1.5);
        font.setBold(true);
    }
    requestLabel->setFont(font);
    const bool pressure = phase == GuidedPhase::SetPressure || phase == GuidedPhase::SetVerifyPressure;
    referenceEdit->setEnabled(waiting && (pressure || m_run->isHeld()));
    recordHeldButton->setVisible(waiting && m_run->isHeld());
    confirmButton->setEnabled(waiting);
    confirmButton->setText(phase == GuidedPhase::ConfirmFit ? QStringLiteral("Да, записать") : QStringLiteral("Готово"));
    rejectButton->setVisible(phase == GuidedPhase::ConfirmFit);
    const bool over = phase == GuidedPhase::Done || phase == GuidedPhase::Aborted;
    pauseButton->setEnabled(!over);
    pauseButton->setText(m_run->isPaused() ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    const bool stepUnderWay = phase == GuidedPhase::Capturing || phase == GuidedPhase::Verifying;
    const bool pointToTakeBack = (phase == GuidedPhase::SetPressure || phase == GuidedPhase::SetTemperature)
                                 && !m_run->cursor().lastWritten.isEmpty();
    redoButton->setEnabled(stepUnderWay || pointToTakeBack);
    skipButton->setEnabled(!over);
    abortButton->setEnabled(!over);
    progressLabel->setText(m_run->progressText());

    const GuidedPlan &plan = m_run->plan();
    deviceTable->setRowCount(plan.devices.size());
    for (int r = 0; r < plan.devices.size(); ++r) {
        const GuidedDevice &d = plan.devices[r];
        const GuidedDeviceResult &res = m_run->cursor().devices[r];
        const GuidedLiveDevice &l = m_run->live()[r];
        deviceTable->setItem(r, 0, item(d.addressText()));
        deviceTable->setItem(r, 1, item(d.serialText()));
        deviceTable->setItem(r, 2, item(GuidedPlan::sensorText(d.sensor)));
        deviceTable->setItem(r, 3, item(QString::number(l.answers)));
        deviceTable->setItem(r, 4, item(l.mark, QColor(QRgb(Stability::colour(l.state)))));
        QString state;
        QColor colour;
        if (!res.active()) {
            state = QStringLiteral("исключено: %1").arg(res.leftOut);
            colour = Qt::red;
        } else if (over) {
            state = res.passed ? QStringLiteral("годен") : QStringLiteral("не годен: %1").arg(res.verdict);
            colour = res.passed ? Success : QColor(Qt::red);
        } else if (res.calc == GuidedDeviceResult::Calc::Written) {
            state = QStringLiteral("записан, невязка %1 %").arg(*std::max_element(res.fitWorstPercent.begin(), res.fitWorstPercent.end()), 0, 'f', 3);
        } else if (res.calc != GuidedDeviceResult::Calc::NotRun) {
            state = res.calcNote;
            colour = Qt::red;
        } else {
            state = QStringLiteral("точек: %1 / %2 / %3").arg(res.points[0]).arg(res.points[1]).arg(res.points[2]);
        }
        deviceTable->setItem(r, 5, item(state, colour));
    }
    showWriteControls();
}

void GuidedDialog::log(const QString &text, bool failure)
{
    emit runMessage(text, failure);
    logView->setTextColor(failure ? QColor(Qt::red) : Success);
    logView->append(text);
}

void GuidedDialog::onFinished()
{
    showRun();
    const QString summary = GuidedReport::summary(m_run->cursor());
    log(summary, summary != GuidedReport::count(m_run->cursor()));
    QString error;
    const QString pdf = m_run->reportBase() + QStringLiteral(".pdf");
    if (GuidedPdf::write(pdf, GuidedReport::html(m_run->plan(), m_run->cursor()), &error))
        log(QStringLiteral("Отчет партии в PDF: %1").arg(pdf), false);
    else
        log(QStringLiteral("Отчет партии в PDF не записан: %1").arg(error), true);
    emit runEnded();
}
