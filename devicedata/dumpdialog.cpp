#include "devicedata/dumpdialog.h"
#include "ui_dumpdialog.h"

#include "app/textfiledialog.h"
#include "app/textfilenames.h"
#include "devicedata/numbertext.h"
#include "devicedata/recordcheck.h"

#include <QFileInfo>
#include <QVBoxLayout>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QSet>

namespace {
const char kFileFilter[] = "Текстовый файл (*.txt);;Все файлы (*)";
constexpr int RowHeight = 25;
}

DumpDialog::DumpDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DumpDialog)
{
    ui->setupUi(this);

    for (int i = 0; i < DeviceItems::DeviceItemCount; ++i) {
        const Row row = makeRow(QString::fromLatin1(DeviceItems::deviceItem(i).key),
                                DeviceItems::deviceDescription(i));
        ui->gridLayout_coefs->addWidget(row.key, i, 0);
        ui->gridLayout_coefs->addWidget(row.value, i, 1);
        ui->gridLayout_coefs->addWidget(row.description, i, 2);
        ui->gridLayout_coefs->setRowMinimumHeight(i, RowHeight);
        m_deviceRows.append(row);
    }
    for (int i = 0; i < DeviceItems::ProgramItemCount; ++i) {
        const DeviceItems::ProgramItem &item = DeviceItems::programItem(i);
        const Row row = makeRow(QString::fromLatin1(item.key), DeviceItems::programDescription(i));
        ui->gridLayout_settings->addWidget(row.key, item.row, 0);
        ui->gridLayout_settings->addWidget(row.value, item.row, 1);
        ui->gridLayout_settings->addWidget(row.description, item.row, 2);
        ui->gridLayout_settings->setRowMinimumHeight(item.row, RowHeight);
        m_programRows.insert(QString::fromLatin1(item.key), row);
    }

    // Under the rows: what the last load, save or refusal did, in words that
    // stay after its message box is closed.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("labelDumpStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->hide();
    ui->verticalLayout->insertWidget(1, m_status);

    connect(ui->pbLoadFromFile, &QPushButton::clicked, this, &DumpDialog::onLoadFromFile);
    connect(ui->pbSaveToFile, &QPushButton::clicked, this, &DumpDialog::onSaveToFile);
    connect(ui->pbDownloadFromDevice, &QPushButton::clicked, this, &DumpDialog::onButtonRecvCoefs);
    connect(ui->pbUploadToDevice, &QPushButton::clicked, this, &DumpDialog::onButtonSendCoefs);
    connect(ui->pbApplyProgramSettings, &QPushButton::clicked, this,
            &DumpDialog::onApplyProgramSettings);

    confirmIncompleteSave = [this](const QString &text) {
        return QMessageBox::question(this, QStringLiteral("Подтверждение"), text,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    };
}

DumpDialog::~DumpDialog()
{
    delete ui;
}

DumpDialog::Row DumpDialog::makeRow(const QString &key, const QString &description)
{
    Row row;
    row.key = new QLabel(key, ui->scrollAreaWidgetContents);
    row.key->setFixedWidth(95);
    row.value = new QLineEdit(ui->scrollAreaWidgetContents);
    // Values come from a file, the device or the settings, never the keyboard.
    row.value->setReadOnly(true);
    row.value->setFixedSize(150, RowHeight);
    row.description = new QLabel(description, ui->scrollAreaWidgetContents);
    // Long descriptions wrap rather than run past the dialog's edge.
    row.description->setWordWrap(true);
    return row;
}

void DumpDialog::setDeviceText(int position, const QString &text)
{
    Q_ASSERT(position >= 0 && position < m_deviceRows.size());
    m_deviceRows[position].value->setText(text);
}

void DumpDialog::setDevicePalette(int position, const QPalette &palette)
{
    Q_ASSERT(position >= 0 && position < m_deviceRows.size());
    m_deviceRows[position].value->setPalette(palette);
}

QString DumpDialog::deviceText(int position) const
{
    Q_ASSERT(position >= 0 && position < m_deviceRows.size());
    return m_deviceRows[position].value->text();
}

float DumpDialog::deviceFloat(int position) const
{
    return NumberText::toFloat(deviceText(position), nullptr);
}

uint32_t DumpDialog::deviceUInt32(int position) const
{
    return NumberText::toUInt32(deviceText(position), nullptr);
}

uint16_t DumpDialog::deviceUInt16(int position) const
{
    return NumberText::toUInt16(deviceText(position), nullptr);
}

bool DumpDialog::setProgramText(const QString &key, const QString &text)
{
    const auto it = m_programRows.constFind(key);
    if (it == m_programRows.constEnd())
        return false;
    it->value->setText(text);
    return true;
}

bool DumpDialog::setProgramPalette(const QString &key, const QPalette &palette)
{
    const auto it = m_programRows.constFind(key);
    if (it == m_programRows.constEnd())
        return false;
    it->value->setPalette(palette);
    return true;
}

QString DumpDialog::programText(const QString &key) const
{
    const auto it = m_programRows.constFind(key);
    return it == m_programRows.constEnd() ? QString() : it->value->text();
}

void DumpDialog::clearAll()
{
    m_incomplete.clear();
    m_fromRead = false;
    m_status->clear();
    m_status->hide();
    for (const Row &row : qAsConst(m_deviceRows))
        row.value->clear();
    for (const Row &row : qAsConst(m_programRows))
        row.value->clear();
    resetColours();
}

void DumpDialog::resetColours()
{
    // A default-constructed palette is the application's.
    for (const Row &row : qAsConst(m_deviceRows))
        row.value->setPalette(QPalette());
    for (const Row &row : qAsConst(m_programRows))
        row.value->setPalette(QPalette());
}

DeviceRecord DumpDialog::record() const
{
    DeviceRecord r;
    for (int i = 0; i < m_deviceRows.size(); ++i)
        r.setDeviceText(i, m_deviceRows[i].value->text());
    for (auto it = m_programRows.constBegin(); it != m_programRows.constEnd(); ++it)
        r.setProgramText(it.key(), it->value->text());
    return r;
}

void DumpDialog::setRecord(const DeviceRecord &record)
{
    for (int i = 0; i < m_deviceRows.size(); ++i)
        m_deviceRows[i].value->setText(record.deviceText(i));
    for (auto it = m_programRows.constBegin(); it != m_programRows.constEnd(); ++it)
        it->value->setText(record.programText(it.key()));
}

QLineEdit *DumpDialog::deviceField(int position) const
{
    return position >= 0 && position < m_deviceRows.size() ? m_deviceRows[position].value
                                                            : nullptr;
}

QLineEdit *DumpDialog::programField(const QString &key) const
{
    const auto it = m_programRows.constFind(key);
    return it == m_programRows.constEnd() ? nullptr : it->value;
}

void DumpDialog::beginDeviceRead()
{
    clearAll();
    m_fromRead = true;
}

QStringList DumpDialog::missingReadBlocks() const
{
    return m_fromRead ? RecordCheck::missingReadBlocks(record()) : QStringList();
}

bool DumpDialog::loadFromPath(const QString &path)
{
    const DeviceDataFile::LoadResult r = DeviceDataFile::load(path, record());
    setRecord(r.record);
    if (r.opened) {
        // The rows are the file's now: whatever a read said of them is over.
        m_incomplete.clear();
        m_fromRead = false;
        emit recordLoaded();
        const int device = QSet<int>(r.devicePositionsLoaded.begin(), r.devicePositionsLoaded.end()).size();
        const int program = QSet<int>(r.programRowsLoaded.begin(), r.programRowsLoaded.end()).size();
        QString text = QStringLiteral("Загружено из %1: данных устройства %2 из %3, данных программы %4 из %5")
                           .arg(QFileInfo(path).fileName())
                           .arg(device).arg(DeviceItems::DeviceItemCount)
                           .arg(program).arg(DeviceItems::ProgramItemCount);
        if (!r.messages.isEmpty())
            text += QStringLiteral("; строк с ошибками: %1").arg(r.messages.size());
        setStatus(text, !r.messages.isEmpty());
    } else {
        setStatus(path.isEmpty() ? QStringLiteral("Файл не выбран: ничего не загружено")
                                 : QStringLiteral("Файл %1 не загружен: он не открывается").arg(path),
                  true);
    }
    for (const UserMessage &m : r.messages)
        showMessage(m);
    return r.opened;
}

bool DumpDialog::saveToPath(const QString &path)
{
    // A half-read record saved without a word would later pass for the
    // device's own: the question names what the file will lack.
    const QStringList missing = missingReadBlocks();
    const DeviceRecord shown = record();
    const int filled = RecordCheck::filledDeviceItems(shown);
    if (!m_incomplete.isEmpty() || !missing.isEmpty()) {
        QString question = m_incomplete.isEmpty() ? QStringLiteral("Данные из прибора считаны не полностью")
                                                  : m_incomplete;
        if (!missing.isEmpty())
            question += QStringLiteral(".\nНе считаны блоки: ") + missing.join(QStringLiteral("; "));
        question += QStringLiteral(".\nВ файл попадут только считанные данные устройства (%1 из %2).")
                        .arg(filled).arg(DeviceItems::DeviceItemCount);
        question += QStringLiteral("\nСохранить в файл неполные данные?");
        if (!confirmIncompleteSave(question)) {
            setStatus(QStringLiteral("Не сохранено: данные неполные, сохранение отменено"), true);
            return false;
        }
    }
    const DeviceDataFile::SaveResult r = DeviceDataFile::save(path, shown);
    if (r.ok) {
        QString text = QStringLiteral("Сохранено в %1: данных устройства %2 из %3")
                           .arg(QFileInfo(path).fileName()).arg(filled).arg(DeviceItems::DeviceItemCount);
        if (!missing.isEmpty())
            text += QStringLiteral(" (без блоков ") + missing.join(QStringLiteral("; ")) + QLatin1Char(')');
        setStatus(text, !missing.isEmpty());
    } else {
        setStatus(r.message.text, true);
    }
    showMessage(r.message);
    return r.ok;
}

void DumpDialog::onLoadFromFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Load File"), QStringLiteral("./"),
                                                      tr(kFileFilter));
    resetColours();
    // A cancelled choice goes on to the reader too, which reports that the
    // (empty) name cannot be opened.
    loadFromPath(path);
}

void DumpDialog::onSaveToFile()
{
    // Named after the device's serial number once the record holds one.
    const int serialRow = DeviceItems::devicePosition(QStringLiteral("serial"));
    const QString name = TextFileNames::defaultName(
        QStringLiteral("device"), serialRow >= 0 ? deviceText(serialRow) : QString(), QString());
    const QString path = TextFileDialog::getSaveFileName(this, tr("Выберите файл для сохранения"),
                                                         QStringLiteral("./"), name, tr(kFileFilter));
    if (!path.isEmpty())
        saveToPath(path);
}

void DumpDialog::onButtonRecvCoefs()
{
    emit onRecvCoefs();
}

void DumpDialog::onButtonSendCoefs()
{
    resetColours();
    // The refusal names the item and marks its row, so that it is found
    // among 39.
    const RecordCheck::ItemProblem problem = RecordCheck::firstUnwritable(record());
    if (problem.position >= 0) {
        QPalette red;
        red.setColor(QPalette::Base, Qt::red);
        red.setColor(QPalette::Text, Qt::black);
        setDevicePalette(problem.position, red);
        m_deviceRows[problem.position].value->setFocus();
        ui->scrollArea->ensureWidgetVisible(m_deviceRows[problem.position].value);
        const QString text = RecordCheck::refusalText(problem);
        setStatus(text, true);
        showMessage({UserMessage::Critical, QStringLiteral("Ошибка"), text});
        return;
    }
    emit onSendCoefs();
}

void DumpDialog::onApplyProgramSettings()
{
    emit onApplySettings();
}

void DumpDialog::showMessage(const UserMessage &message)
{
    m_pendingMessages.append(message);
    showNextMessage();
}

void DumpDialog::showNextMessage()
{
    if (m_box || m_pendingMessages.isEmpty())
        return;
    const UserMessage m = m_pendingMessages.takeFirst();
    auto *box = new QMessageBox(m.kind == UserMessage::Critical ? QMessageBox::Critical
                                                                : QMessageBox::Information,
                                m.title, m.text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this] {
        m_box = nullptr;
        showNextMessage();
    });
    m_box = box;
    box->open();
}

void DumpDialog::setIncomplete(const QString &text)
{
    m_incomplete = text;
}

void DumpDialog::setStatus(const QString &text, bool failure)
{
    m_status->setText(text);
    m_status->setToolTip(text);
    QPalette p = m_status->palette();
    p.setColor(QPalette::WindowText, failure ? QColor(Qt::red) : QColor(7, 158, 0));
    m_status->setPalette(p);
    m_status->setVisible(!text.isEmpty());
    emit statusReported(text, failure);
}

void DumpDialog::showFailure(const QString &text)
{
    // Stays under the rows (and reaches the message log) after the box is
    // closed, until a load or a new read replaces it.
    setStatus(text, true);
    showMessage({UserMessage::Critical, QStringLiteral("Ошибка"), text});
}
