#include "history/historyconfig.h"

#include "settings/benchprofile.h"

#include <QDir>
#include <QSettings>
#include <QSqlDatabase>
#include <QStandardPaths>

bool HistoryConfig::operator==(const HistoryConfig &o) const
{
    return engine == o.engine && sqlitePath == o.sqlitePath && host == o.host && port == o.port
           && database == o.database && user == o.user && password == o.password
           && connectTimeoutSeconds == o.connectTimeoutSeconds && operatorName == o.operatorName;
}

HistoryConfig HistoryConfig::load(QSettings &s)
{
    HistoryConfig c;
    s.beginGroup(QStringLiteral("history"));
    c.engine = s.value(QStringLiteral("engine")).toString() == QLatin1String("postgresql") ? Postgres : Sqlite;
    c.sqlitePath = s.value(QStringLiteral("sqlitePath")).toString();
    c.host = s.value(QStringLiteral("host")).toString();
    c.port = s.value(QStringLiteral("port"), 5432).toInt();
    c.database = s.value(QStringLiteral("database"), QStringLiteral("tesmar")).toString();
    c.user = s.value(QStringLiteral("user")).toString();
    c.operatorName = s.value(QStringLiteral("operator")).toString();
    s.endGroup();
    return c;
}

void HistoryConfig::save(QSettings &s) const
{
    s.beginGroup(QStringLiteral("history"));
    s.setValue(QStringLiteral("engine"), engine == Postgres ? QStringLiteral("postgresql") : QStringLiteral("sqlite"));
    s.setValue(QStringLiteral("sqlitePath"), sqlitePath);
    s.setValue(QStringLiteral("host"), host);
    s.setValue(QStringLiteral("port"), port);
    s.setValue(QStringLiteral("database"), database);
    s.setValue(QStringLiteral("user"), user);
    s.setValue(QStringLiteral("operator"), operatorName);
    s.remove(QStringLiteral("password"));
    s.endGroup();
}

namespace {
QString dataFolder()
{
    if (!BenchProfile::folder().isEmpty())
        return QDir(BenchProfile::folder()).filePath(QStringLiteral("data"));
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base.isEmpty() ? QDir::homePath() : base).filePath(QStringLiteral("Vornik/Tesmar"));
}
}

QString HistoryConfig::defaultSqlitePath()
{
    return QDir(dataFolder()).filePath(QStringLiteral("history.sqlite"));
}

QString HistoryConfig::defaultQueuePath()
{
    return QDir(dataFolder()).filePath(QStringLiteral("history-queue.jsonl"));
}

QString HistoryConfig::description() const
{
    if (engine == Sqlite)
        return QStringLiteral("SQLite: ")
               + QDir::toNativeSeparators(sqlitePath.isEmpty() ? defaultSqlitePath() : sqlitePath);
    return QStringLiteral("PostgreSQL: %1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}

QString HistoryConfig::problem() const
{
    if (engine == Sqlite)
        return QString();
    if (host.trimmed().isEmpty())
        return QStringLiteral("не указан сервер базы истории");
    if (database.trimmed().isEmpty())
        return QStringLiteral("не указано имя базы истории");
    if (port <= 0 || port > 65535)
        return QStringLiteral("порт сервера базы истории должен быть от 1 до 65535");
    return QString();
}

bool (*HistoryConfig::driverAvailable)(const QString &driver) = [](const QString &driver) {
    return QSqlDatabase::isDriverAvailable(driver);
};

QString HistoryConfig::driver() const
{
    return engine == Postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

QString HistoryConfig::missingDriver() const
{
    if (driverAvailable(driver()))
        return QString();
    // Qt finds its SQL plugins once per run, so a driver installed now is
    // seen by the next start.
    const bool shared = engine == Postgres;
    return QStringLiteral("Нет драйвера Qt SQL %1 для базы %2: установите пакет %3 "
                          "(sudo apt install %3) и перезапустите Tesmar")
        .arg(driver(), shared ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"),
             shared ? QStringLiteral("libqt5sql5-psql") : QStringLiteral("libqt5sql5-sqlite"));
}
