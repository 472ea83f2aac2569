#pragma once
// Where the calibration history lives: the embedded SQLite file of this PC
// (the default, nothing to set up) or a PostgreSQL database a lab shares.
//
// The settings store keeps the engine, the server's address, the database,
// the user and the operator's name, never a password: a password is typed
// once per session and kept in memory only, or left to the client library's
// password file (PGPASSFILE, ~/.pgpass).

#include <QString>

class QSettings;

struct HistoryConfig
{
    enum Engine { Sqlite, Postgres };
    Engine engine = Sqlite;
    QString sqlitePath;     // empty: defaultSqlitePath()
    QString host;           // name, address, or a socket folder ("/run/postgresql")
    int port = 5432;
    QString database = QStringLiteral("tesmar");
    QString user;
    QString password;       // in memory only
    int connectTimeoutSeconds = 5;

    // The operator named in every event; a field of the settings.
    QString operatorName;

    bool operator==(const HistoryConfig &o) const;
    bool operator!=(const HistoryConfig &o) const { return !(*this == o); }

    // Without password (see above).
    static HistoryConfig load(QSettings &settings);
    void save(QSettings &settings) const;

    // The data folder's "history.sqlite": the profile's data folder under a
    // profile, else the user's data folder of Tesmar.
    static QString defaultSqlitePath();
    // The events that could not be written yet, beside it.
    static QString defaultQueuePath();

    // "SQLite: /path" or "PostgreSQL: user@host:port/db", for the window.
    QString description() const;
    // Why the settings cannot name a database; empty when they can.
    QString problem() const;

    // The engine's Qt SQL driver is a plugin in a Debian package of its own
    // (libqt5sql5-sqlite, libqt5sql5-psql): when it is not installed, what
    // to install, for the window; empty when it is there.
    QString missingDriver() const;
    // The engine's Qt SQL driver: "QSQLITE" or "QPSQL".
    QString driver() const;
    // Whether Qt SQL has the named driver: QSqlDatabase::isDriverAvailable,
    // or a test's stand-in for a PC without the package.
    static bool (*driverAvailable)(const QString &driver);
};
