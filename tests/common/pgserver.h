#pragma once
// A PostgreSQL server of a test's own: Debian's initdb and pg_ctl in a
// temporary folder, listening on a Unix socket in that folder only (no TCP
// port to collide with), trusting local connections. PostgreSQL refuses to
// run as root, so under root (as CI runs the tests) the server runs as
// "nobody" through runuser.
//
// start() says why it could not start; binariesMissing() tells apart a PC
// without the server package (a test may skip) from a server that failed
// (a test must fail).

#include "history/historyconfig.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

#include <pwd.h>
#include <unistd.h>

class PgServer
{
public:
    ~PgServer() { stop(); }

    bool binariesMissing() const { return m_bin.isEmpty(); }

    bool start(QString *why)
    {
        const QStringList versions =
            QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (int i = versions.size() - 1; i >= 0 && m_bin.isEmpty(); --i) {
            const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(versions[i]);
            if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
                m_bin = bin;
        }
        if (m_bin.isEmpty())
            return fail(why, QStringLiteral("PostgreSQL server binaries (/usr/lib/postgresql/*/bin/initdb, "
                                            "pg_ctl) are not installed: apt-get install postgresql"));
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
            return fail(why, QStringLiteral("Qt's QPSQL driver is not installed (libqt5sql5-psql)"));

        m_dir.reset(new QTemporaryDir(QStringLiteral("/tmp/tesmar-pg.XXXXXX")));
        if (!m_dir->isValid())
            return fail(why, QStringLiteral("no temporary folder for the server"));
        if (geteuid() == 0) {
            const passwd *nobody = getpwnam("nobody");
            if (!nobody || chown(QFile::encodeName(m_dir->path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return fail(why, QStringLiteral("cannot hand the server's folder to user nobody"));
            m_runAs = QStringLiteral("nobody");
        }
        m_port = 20000 + int(getpid() % 20000);
        QString out;
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), user(), QStringLiteral("-A"),
                  QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-locale")},
                 &out))
            return fail(why, QStringLiteral("initdb failed: ") + out);
        return resume(why);
    }

    // Starts the server again after stop() (the server going away and
    // coming back under a running program).
    bool resume(QString *why)
    {
        QString out;
        const QString options = QStringLiteral("-k %1 -p %2 -c listen_addresses= -c fsync=off").arg(socketDir()).arg(m_port);
        if (!run(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), dataDir(), QStringLiteral("-l"), m_dir->filePath(QStringLiteral("server.log")),
                  QStringLiteral("-w"), QStringLiteral("-o"), options, QStringLiteral("start")},
                 &out))
            return fail(why, QStringLiteral("pg_ctl start failed: ") + out);
        m_running = true;
        return true;
    }

    void stop()
    {
        if (!m_running)
            return;
        m_running = false;
        QString out;
        run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dataDir(), QStringLiteral("-m"), QStringLiteral("immediate"),
                                       QStringLiteral("stop")},
            &out);
    }

    QString user() const { return QStringLiteral("tesmar"); }
    QString socketDir() const { return m_dir ? m_dir->path() : QString(); }
    int port() const { return m_port; }

    HistoryConfig config(const QString &database) const
    {
        HistoryConfig c;
        c.engine = HistoryConfig::Postgres;
        c.host = socketDir();
        c.port = m_port;
        c.database = database;
        c.user = user();
        return c;
    }

    // A new empty database.
    bool createDatabase(const QString &name, QString *why)
    {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg-admin"));
            db.setHostName(socketDir());
            db.setPort(m_port);
            db.setUserName(user());
            db.setDatabaseName(QStringLiteral("postgres"));
            if (db.open()) {
                QSqlQuery q(db);
                // A name made by the test, never typed by anyone.
                ok = q.exec(QStringLiteral("CREATE DATABASE ") + name);
                if (!ok && why)
                    *why = q.lastError().text();
            } else if (why) {
                *why = db.lastError().text();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pg-admin"));
        return ok;
    }

private:
    static bool fail(QString *why, const QString &text)
    {
        if (why)
            *why = text;
        return false;
    }
    QString dataDir() const { return m_dir->filePath(QStringLiteral("data")); }

    bool run(const QString &tool, const QStringList &args, QString *out)
    {
        QProcess p;
        p.setWorkingDirectory(m_dir->path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString program = m_bin + QLatin1Char('/') + tool;
        if (m_runAs.isEmpty())
            p.start(program, args);
        else
            p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), m_runAs, QStringLiteral("--"), program} + args);
        const bool done = p.waitForFinished(120000);
        *out = QString::fromLocal8Bit(p.readAll());
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QString m_bin;
    QString m_runAs;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_port = 0;
    bool m_running = false;
};
