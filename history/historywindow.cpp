#include "history/historywindow.h"

#include "devicedata/safesave.h"
#include "history/historycsv.h"
#include "history/historydetails.h"
#include "history/historydrift.h"
#include "history/historyrecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QTableView *makeTable(QStandardItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    // Column widths from the first rows: thousands of rows are not measured.
    view->horizontalHeader()->setResizeContentsPrecision(50);
    return view;
}

// A copy the history keeps, written into dir under the file's own name (its
// sum when the path names no file); empty, with why, when it is not.
QString writeKept(const QString &dir, const HistoryFile &f, QString *why)
{
    const QString name = QFileInfo(QFile::decodeName(f.path)).fileName();
    const QString path = QDir(dir).filePath(name.isEmpty() ? f.sha256 : name);
    const SafeSave::Result saved = SafeSave::write(path, f.content, false);
    *why = saved.error;
    return saved.ok ? path : QString();
}
}

HistoryWindow::HistoryWindow(HistoryRecorder *recorder, QWidget *parent)
    : QWidget(parent, Qt::Window), m_recorder(recorder)
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("История калибровок"));
    resize(960, 640);

    m_serial = new QLineEdit(this);
    m_serial->setObjectName(QStringLiteral("leHistorySerial"));
    m_serial->setPlaceholderText(QStringLiteral("все приборы"));
    m_period = new QCheckBox(QStringLiteral("Период с"), this);
    m_from = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    m_to = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit *d : {m_from, m_to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setEnabled(false);
    }
    m_model = new QComboBox(this);
    m_model->setEditable(true);
    m_model->addItem(QString());
    m_result = new QComboBox(this);
    m_result->addItem(QStringLiteral("Все"), int(HistoryFilter::AnyResult));
    m_result->addItem(QStringLiteral("Успешно"), int(HistoryFilter::OkOnly));
    m_result->addItem(QStringLiteral("Неуспешно"), int(HistoryFilter::NotOkOnly));
    m_find = new QPushButton(QStringLiteral("Найти"), this);
    m_find->setDefault(true);

    auto *filters = new QGridLayout;
    filters->addWidget(new QLabel(QStringLiteral("Заводской номер"), this), 0, 0);
    filters->addWidget(m_serial, 0, 1);
    filters->addWidget(m_period, 0, 2);
    filters->addWidget(m_from, 0, 3);
    filters->addWidget(new QLabel(QStringLiteral("по"), this), 0, 4);
    filters->addWidget(m_to, 0, 5);
    filters->addWidget(new QLabel(QStringLiteral("Модель"), this), 1, 0);
    filters->addWidget(m_model, 1, 1);
    filters->addWidget(new QLabel(QStringLiteral("Результат"), this), 1, 2);
    filters->addWidget(m_result, 1, 3);
    filters->addWidget(m_find, 1, 5);
    filters->setColumnStretch(1, 1);

    m_eventsModel = new QStandardItemModel(this);
    m_eventsModel->setHorizontalHeaderLabels(historyColumns());
    m_events = makeTable(m_eventsModel, this);
    m_events->setObjectName(QStringLiteral("tvHistoryEvents"));
    m_deviceModel = new QStandardItemModel(this);
    m_device = makeTable(m_deviceModel, this);
    m_device->setObjectName(QStringLiteral("tvHistoryDevice"));
    m_deviceTitle = new QLabel(QStringLiteral("Выберите событие прибора, чтобы увидеть его калибровки во времени"), this);

    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("teHistoryDetails"));
    m_details->setReadOnly(true);
    m_details->setPlaceholderText(QStringLiteral("Выберите событие, чтобы увидеть его подробности"));

    auto *lower = new QWidget(this);
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_deviceTitle);
    auto *lowerSplit = new QSplitter(Qt::Horizontal, lower);
    lowerSplit->addWidget(m_device);
    lowerSplit->addWidget(m_details);
    lowerLayout->addWidget(lowerSplit);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_events);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    m_openFiles = new QPushButton(QStringLiteral("Открыть папку файлов"), this);
    m_openReport = new QPushButton(QStringLiteral("Открыть отчет"), this);
    m_saveKept = new QPushButton(QStringLiteral("Сохранить файлы из истории…"), this);
    m_saveKept->setObjectName(QStringLiteral("pbHistorySaveKept"));
    m_saveKept->setToolTip(QStringLiteral("Копии файлов события, которые хранит история, в выбранную папку"));
    m_export = new QPushButton(QStringLiteral("Экспорт в CSV…"), this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_openFiles);
    buttons->addWidget(m_openReport);
    buttons->addWidget(m_saveKept);
    buttons->addStretch();
    buttons->addWidget(m_export);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_status);

    chooseCsvFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт истории"),
                                            QStringLiteral("история.csv"), QStringLiteral("CSV (*.csv)"));
    };
    chooseSaveDir = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Папка для файлов из истории"));
    };
    openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };

    connect(m_period, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_period, &QCheckBox::toggled, m_to, &QWidget::setEnabled);
    connect(m_find, &QPushButton::clicked, this, &HistoryWindow::search);
    connect(m_serial, &QLineEdit::returnPressed, this, &HistoryWindow::search);
    connect(m_events->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryWindow::selectionChanged);
    connect(m_openFiles, &QPushButton::clicked, this, [this] { requestSelected(Action::OpenFolder); });
    connect(m_openReport, &QPushButton::clicked, this, [this] { requestSelected(Action::OpenReport); });
    connect(m_saveKept, &QPushButton::clicked, this, [this] { requestSelected(Action::SaveKept); });
    connect(m_events, &QTableView::doubleClicked, this, [this] { requestSelected(Action::OpenReport); });
    connect(m_export, &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connect(recorder, &HistoryRecorder::searched, this, &HistoryWindow::onSearched);
    connect(recorder, &HistoryRecorder::deviceLoaded, this, &HistoryWindow::onDeviceLoaded);
    connect(recorder, &HistoryRecorder::eventLoaded, this, &HistoryWindow::onEventLoaded);
    selectionChanged();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The newest events at once when the window is first opened.
    if (!m_searchedOnce)
        search();
}

HistoryFilter HistoryWindow::filter() const
{
    HistoryFilter f;
    f.serial = m_serial->text().trimmed();
    if (m_period->isChecked()) {
        f.from = m_from->date();
        f.to = m_to->date();
    }
    f.model = m_model->currentText().trimmed();
    f.result = HistoryFilter::Result(m_result->currentData().toInt());
    return f;
}

void HistoryWindow::search()
{
    m_searchedOnce = true;
    const HistoryFilter f = filter();
    if (f.from.isValid() && f.to.isValid() && f.from > f.to) {
        say(QStringLiteral("Начало периода позже его конца: исправьте даты"), true);
        return;
    }
    say(QStringLiteral("Поиск…"), false);
    m_searchRequest = m_recorder->search(f);
}

void HistoryWindow::onSearched(int request, const QVector<HistoryRow> &rows, const QString &error)
{
    if (request != m_searchRequest)
        return;
    if (!error.isEmpty()) {
        say(QStringLiteral("Поиск в истории не выполнен: %1").arg(error), true);
        return;
    }
    m_rows = rows;
    m_eventsModel->removeRows(0, m_eventsModel->rowCount());
    m_eventsModel->setRowCount(rows.size());
    QStringList models;
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList cells = historyCells(rows[i]);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QStandardItem(cells[c]);
            if (c == 4 && !rows[i].ok)
                item->setForeground(Qt::red);
            m_eventsModel->setItem(i, c, item);
        }
        if (!rows[i].model.isEmpty() && !models.contains(rows[i].model))
            models << rows[i].model;
    }
    for (const QString &m : qAsConst(models)) {
        if (m_model->findText(m) < 0)
            m_model->addItem(m);
    }
    const HistoryFilter f = filter();
    say(rows.size() >= f.limit ? QStringLiteral("Показаны %1 последних событий; уточните поиск, чтобы увидеть остальные")
                                     .arg(rows.size())
                               : QStringLiteral("Найдено событий: %1").arg(rows.size()),
        false);
    m_events->resizeColumnsToContents();
    selectionChanged();
    emit shown();
}

HistoryRow HistoryWindow::selectedRow() const
{
    const QModelIndexList rows = m_events->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= m_rows.size())
        return HistoryRow();
    return m_rows[rows.first().row()];
}

void HistoryWindow::selectionChanged()
{
    const HistoryRow row = selectedRow();
    m_openFiles->setEnabled(!row.uid.isEmpty());
    m_openReport->setEnabled(!row.uid.isEmpty());
    m_saveKept->setEnabled(!row.uid.isEmpty());
    m_export->setEnabled(!m_rows.isEmpty());
    m_details->clear();
    m_detailsRequest = row.uid.isEmpty() ? 0 : m_recorder->loadEvent(row.uid);
    if (row.serial.isEmpty()) {
        // The calibrations shown before belong to another device: not this one's.
        m_deviceRequest = 0;
        m_deviceModel->clear();
        m_deviceTitle->setText(row.uid.isEmpty()
                                   ? QStringLiteral("Выберите событие прибора, чтобы увидеть его калибровки во времени")
                                   : QStringLiteral("Заводской номер прибора этого события не прочитан: его калибровки "
                                                    "не найти"));
        return;
    }
    m_deviceTitle->setText(QStringLiteral("Калибровки прибора %1: дрейф коэффициентов и нуля").arg(row.serial));
    m_deviceRequest = m_recorder->loadDevice(row.serial);
}

void HistoryWindow::onDeviceLoaded(int request, const QVector<HistoryRecord> &records, const QString &error)
{
    if (request != m_deviceRequest)
        return;
    if (!error.isEmpty()) {
        say(QStringLiteral("Калибровки прибора не прочитаны: %1").arg(error), true);
        return;
    }
    const HistoryDriftTable t = historyDrift(records);
    m_deviceModel->clear();
    m_deviceModel->setHorizontalHeaderLabels(t.header);
    for (const QStringList &r : t.rows) {
        QList<QStandardItem *> items;
        for (const QString &cell : r)
            items << new QStandardItem(cell);
        m_deviceModel->appendRow(items);
    }
    m_device->resizeColumnsToContents();
    if (records.isEmpty())
        m_deviceTitle->setText(m_deviceTitle->text() + QStringLiteral(" — расчетов в истории нет"));
    emit shown();
}

void HistoryWindow::requestSelected(Action action)
{
    const HistoryRow row = selectedRow();
    if (row.uid.isEmpty()) {
        say(QStringLiteral("Выберите событие в таблице"), true);
        return;
    }
    m_action = action;
    m_eventRequest = m_recorder->loadEvent(row.uid, true);
}

void HistoryWindow::onEventLoaded(int request, const HistoryRecord &record, const QString &error)
{
    if (request == m_detailsRequest) {
        m_details->setPlainText(error.isEmpty() ? historyDetails(record)
                                                : QStringLiteral("Событие не прочитано: %1").arg(error));
        return;
    }
    if (request != m_eventRequest)
        return;
    if (!error.isEmpty()) {
        say(QStringLiteral("Событие не прочитано: %1").arg(error), true);
        return;
    }
    if (m_action == Action::SaveKept)
        saveKept(record);
    else
        openFiles(record);
}

// The disk's file when it is still what the event names; else the copy the
// history keeps, written to a folder of this window's own.
void HistoryWindow::openFiles(const HistoryRecord &record)
{
    const bool report = m_action == Action::OpenReport;
    const QVector<HistoryFile> &files = record.files();
    int chosen = -1;
    for (int i = 0; i < files.size() && chosen < 0; ++i) {
        if (!report || files[i].role == QStringLiteral("Отчет") || files[i].role == QStringLiteral("Протокол")
            || files[i].role == QStringLiteral("Отчет партии"))
            chosen = i;
    }
    if (chosen < 0) {
        say(report ? QStringLiteral("У этого события нет отчета") : QStringLiteral("У этого события нет файлов"), true);
        return;
    }
    // Files gone or changed since the event are said, not hidden.
    QStringList changed, gone;
    for (const HistoryFile &f : files) {
        const QString p = QFile::decodeName(f.path);
        if (!QFileInfo::exists(p))
            gone << QFileInfo(p).fileName();
        else if (!f.sha256.isEmpty() && historyFileChecksum(p) != f.sha256)
            changed << QFileInfo(p).fileName();
    }
    const HistoryFile &f = files[chosen];
    const QString path = QFile::decodeName(f.path);
    const bool diskIsTheFile = QFileInfo::exists(path) && (f.sha256.isEmpty() || historyFileChecksum(path) == f.sha256);
    QString target = report ? path : QFileInfo(path).absolutePath();
    QString note;
    if (!QFileInfo::exists(target) || (report && !diskIsTheFile && f.kept)) {
        if (!f.kept) {
            say(QStringLiteral("Файл %1 не найден: его переместили или удалили, а копии в истории нет")
                    .arg(QDir::toNativeSeparators(target)),
                true);
            return;
        }
        QString why;
        QString copy;
        for (const HistoryFile &k : files) {
            if (k.kept) {
                const QString c = keptCopy(k, &why);
                if (c.isEmpty()) {
                    say(why, true);
                    return;
                }
                if (&k == &f)
                    copy = c;
            }
        }
        target = report ? copy : QFileInfo(copy).absolutePath();
        note = QStringLiteral("Файл на диске %1; открыта копия из истории: %2")
                   .arg(diskIsTheFile ? QStringLiteral("на месте") : QFileInfo::exists(path) ? QStringLiteral("изменен")
                                                                                             : QStringLiteral("не найден"),
                        QDir::toNativeSeparators(target));
    }
    if (!openUrl(QUrl::fromLocalFile(target))) {
        say(QStringLiteral("Не удалось открыть %1").arg(QDir::toNativeSeparators(target)), true);
        return;
    }
    if (!note.isEmpty())
        say(note, true);
    else if (!changed.isEmpty() || !gone.isEmpty())
        say(QStringLiteral("Открыто; файлы изменены после события: %1")
                .arg((changed + gone).join(QStringLiteral(", "))),
            true);
    else
        say(QStringLiteral("Открыто: %1").arg(QDir::toNativeSeparators(target)), false);
}

QString HistoryWindow::keptCopy(const HistoryFile &file, QString *error)
{
    if (!m_keptDir)
        m_keptDir.reset(new QTemporaryDir(QDir::temp().filePath(QStringLiteral("tesmar-history-XXXXXX"))));
    QString why = QStringLiteral("нет временной папки");
    const QString path = m_keptDir->isValid() ? writeKept(m_keptDir->path(), file, &why) : QString();
    if (path.isEmpty())
        *error = QStringLiteral("Копия файла из истории не записана: %1").arg(why);
    return path;
}

void HistoryWindow::saveKept(const HistoryRecord &record)
{
    QStringList kept, notKept;
    for (const HistoryFile &f : record.files())
        (f.kept ? kept : notKept) << QFileInfo(QFile::decodeName(f.path)).fileName();
    if (kept.isEmpty()) {
        say(record.files().isEmpty() ? QStringLiteral("У этого события нет файлов")
                                     : QStringLiteral("История не хранит копий файлов этого события"),
            true);
        return;
    }
    const QString dir = chooseSaveDir();
    if (dir.isEmpty())
        return;
    for (const HistoryFile &f : record.files()) {
        QString why;
        if (f.kept && writeKept(dir, f, &why).isEmpty()) {
            say(QStringLiteral("Файл из истории не сохранен: %1").arg(why), true);
            return;
        }
    }
    const QString text = QStringLiteral("Сохранено файлов из истории: %1 в %2").arg(kept.size()).arg(QDir::toNativeSeparators(dir));
    if (notKept.isEmpty())
        say(text, false);
    else
        say(text + QStringLiteral("; копий в истории нет: ") + notKept.join(QStringLiteral(", ")), true);
}

void HistoryWindow::exportCsv()
{
    if (m_rows.isEmpty()) {
        say(QStringLiteral("Нечего выгружать: таблица пуста"), true);
        return;
    }
    const QString path = chooseCsvFile();
    if (path.isEmpty())
        return;
    const SafeSave::Result saved = SafeSave::write(path, historyCsv(m_rows), false);
    if (!saved.ok) {
        say(QStringLiteral("CSV не записан: %1").arg(saved.error), true);
        return;
    }
    say(QStringLiteral("Выгружено событий: %1 в %2").arg(m_rows.size()).arg(QDir::toNativeSeparators(path)), false);
}

void HistoryWindow::say(const QString &text, bool bad)
{
    m_status->setText(text);
    m_status->setStyleSheet(bad ? QStringLiteral("color: red") : QString());
    if (bad)
        emit failure(text);
}

QString HistoryWindow::statusText() const
{
    return m_status->text();
}
