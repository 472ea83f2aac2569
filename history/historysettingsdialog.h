#pragma once
// The history's settings: the operator's name and the batch named in every
// event, and the database: this PC's own file, or a lab's PostgreSQL server.
// The password field fills the session's memory only; it is never written to
// the settings store.

#include "history/historyconfig.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class HistorySettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit HistorySettingsDialog(QWidget *parent = nullptr);

    void setConfig(const HistoryConfig &config, const QString &batch);
    HistoryConfig config() const;
    QString batch() const;

    QComboBox *engineBox() const { return m_engine; }
    QLineEdit *operatorEdit() const { return m_operator; }
    QLineEdit *hostEdit() const { return m_host; }
    QLineEdit *databaseEdit() const { return m_database; }
    QLineEdit *userEdit() const { return m_user; }
    QLineEdit *passwordEdit() const { return m_password; }
    QSpinBox *portBox() const { return m_port; }

    void accept() override;

private:
    void engineChanged();
    QComboBox *m_engine;
    QLineEdit *m_operator, *m_batch, *m_host, *m_database, *m_user, *m_password;
    QSpinBox *m_port;
    QLabel *m_file, *m_problem;
    HistoryConfig m_base;
};
