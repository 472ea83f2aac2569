#pragma once
// A working directory and a settings store of their own for every test case:
// enter() in init(), leave() in cleanup().

#include <QDir>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>

class Sandbox
{
public:
    bool enter()
    {
        m_oldCwd = QDir::currentPath();
        m_dir.reset(new QTemporaryDir);
        if (!m_dir->isValid() || !QDir::setCurrent(m_dir->path()))
            return false;
        QSettings s(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
        s.clear();
        s.sync();
        qunsetenv("TESMAR_PORT");
        return true;
    }
    void leave()
    {
        QDir::setCurrent(m_oldCwd);
        m_dir.reset();
    }
    QString path() const { return m_dir->path(); }
    QString filePath(const QString &name) const { return m_dir->filePath(name); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCwd;
};
