#include "history/historysettingsdialog.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

HistorySettingsDialog::HistorySettingsDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("historySettingsDialog"));
    setWindowTitle(QStringLiteral("Настройки истории"));
    m_operator = new QLineEdit(this);
    m_operator->setObjectName(QStringLiteral("leOperatorName"));
    m_batch = new QLineEdit(this);
    m_engine = new QComboBox(this);
    m_engine->addItem(QStringLiteral("Встроенная база этого ПК (SQLite)"), int(HistoryConfig::Sqlite));
    m_engine->addItem(QStringLiteral("Общая база лаборатории (PostgreSQL)"), int(HistoryConfig::Postgres));
    m_file = new QLabel(this);
    m_file->setWordWrap(true);
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_host = new QLineEdit(this);
    m_port = new QSpinBox(this);
    m_port->setRange(1, 65535);
    m_database = new QLineEdit(this);
    m_user = new QLineEdit(this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(QStringLiteral("хранится до закрытия Tesmar, не сохраняется"));
    m_problem = new QLabel(this);
    m_problem->setStyleSheet(QStringLiteral("color: red"));
    m_problem->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Оператор"), m_operator);
    form->addRow(QStringLiteral("Партия"), m_batch);
    form->addRow(QStringLiteral("База истории"), m_engine);
    form->addRow(QStringLiteral("Файл"), m_file);
    form->addRow(QStringLiteral("Сервер"), m_host);
    form->addRow(QStringLiteral("Порт"), m_port);
    form->addRow(QStringLiteral("База данных"), m_database);
    form->addRow(QStringLiteral("Пользователь"), m_user);
    form->addRow(QStringLiteral("Пароль"), m_password);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &HistorySettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_engine, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &HistorySettingsDialog::engineChanged);
}

void HistorySettingsDialog::setConfig(const HistoryConfig &c, const QString &batch)
{
    m_base = c;
    m_operator->setText(c.operatorName);
    m_batch->setText(batch);
    m_engine->setCurrentIndex(m_engine->findData(int(c.engine)));
    m_file->setText(QDir::toNativeSeparators(c.sqlitePath.isEmpty() ? HistoryConfig::defaultSqlitePath() : c.sqlitePath));
    m_host->setText(c.host);
    m_port->setValue(c.port);
    m_database->setText(c.database);
    m_user->setText(c.user);
    m_password->setText(c.password);
    m_problem->clear();
    engineChanged();
}

HistoryConfig HistorySettingsDialog::config() const
{
    HistoryConfig c = m_base;
    c.operatorName = m_operator->text().trimmed();
    c.engine = HistoryConfig::Engine(m_engine->currentData().toInt());
    c.host = m_host->text().trimmed();
    c.port = m_port->value();
    c.database = m_database->text().trimmed();
    c.user = m_user->text().trimmed();
    c.password = m_password->text();
    return c;
}

QString HistorySettingsDialog::batch() const
{
    return m_batch->text().trimmed();
}

void HistorySettingsDialog::engineChanged()
{
    const bool shared = m_engine->currentData().toInt() == HistoryConfig::Postgres;
    for (QWidget *w : {static_cast<QWidget *>(m_host), static_cast<QWidget *>(m_port), static_cast<QWidget *>(m_database),
                       static_cast<QWidget *>(m_user), static_cast<QWidget *>(m_password)})
        w->setEnabled(shared);
    m_file->setEnabled(!shared);
    // A missing driver is said as soon as its engine is chosen; the settings
    // are still taken, to work once the package is installed.
    HistoryConfig chosen;
    chosen.engine = HistoryConfig::Engine(m_engine->currentData().toInt());
    m_problem->setText(chosen.missingDriver());
}

void HistorySettingsDialog::accept()
{
    // Settings that cannot name a database are not taken; nor a name that
    // every event would carry with characters no one can see or type.
    QString problem = config().problem();
    const QString name = m_operator->text() + m_batch->text();
    if (problem.isEmpty() && std::any_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        problem = QStringLiteral("имя оператора или партии содержит управляющие символы");
    if (!problem.isEmpty()) {
        m_problem->setText(QStringLiteral("Не принято: %1").arg(problem));
        return;
    }
    QDialog::accept();
}
