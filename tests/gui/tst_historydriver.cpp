// A PC without the chosen engine's Qt SQL driver (the Debian package was not
// installed): the history settings name the package as soon as the engine is
// chosen, and the connect path says it in the status bar while the events
// wait for the database.

#include "common/historyrig.h"
#include "common/sandbox.h"

#include "app/mainwindow.h"
#include "history/historyrecorder.h"
#include "history/historysettingsdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QStatusBar>
#include <QtTest>

namespace {
QString absentDriver;
bool availableExceptAbsent(const QString &driver)
{
    return driver != absentDriver && QSqlDatabase::isDriverAvailable(driver);
}
}

class TestHistoryDriver : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(m_box.enter());
        m_realCheck = HistoryConfig::driverAvailable;
        HistoryConfig::driverAvailable = availableExceptAbsent;
    }
    void cleanup()
    {
        HistoryConfig::driverAvailable = m_realCheck;
        m_box.leave();
    }
    void missingDriverNamesItsPackage_data();
    void missingDriverNamesItsPackage();

private:
    Sandbox m_box;
    bool (*m_realCheck)(const QString &) = nullptr;
};

void TestHistoryDriver::missingDriverNamesItsPackage_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("absent");
    QTest::addColumn<QString>("package");   // empty: nothing to install
    QTest::newRow("lab database without QPSQL") << int(HistoryConfig::Postgres) << "QPSQL" << "libqt5sql5-psql";
    QTest::newRow("this PC's file without QSQLITE") << int(HistoryConfig::Sqlite) << "QSQLITE" << "libqt5sql5-sqlite";
    QTest::newRow("this PC's file, lab driver missing") << int(HistoryConfig::Sqlite) << "QPSQL" << QString();
}

void TestHistoryDriver::missingDriverNamesItsPackage()
{
    QFETCH(int, engine);
    QFETCH(QString, absent);
    QFETCH(QString, package);
    absentDriver = absent;

    MainWindow w;
    QString note;
    w.historyDialogs.editSettings = [&](HistorySettingsDialog *d) {
        d->engineBox()->setCurrentIndex(d->engineBox()->findData(engine));
        for (QLabel *l : d->findChildren<QLabel *>()) {
            if (l->text().startsWith(QStringLiteral("Нет драйвера")))
                note = l->text();
        }
        d->hostEdit()->setText(QStringLiteral("db.lab"));
        d->accept();
        return d->result() == QDialog::Accepted;
    };
    w.editHistorySettings();
    // Taken all the same: they work once the package is installed.
    QCOMPARE(int(w.history()->config().engine), engine);
    if (package.isEmpty()) {
        QCOMPARE(note, QString());
        return;
    }
    QVERIFY2(note.contains(QStringLiteral("установите пакет %1").arg(package)), qPrintable(note));

    w.history()->record(HistoryRecord::of(HistorySamples::calculation(QStringLiteral("7"), QDateTime::currentDateTimeUtc())));
    QTRY_VERIFY_WITH_TIMEOUT(w.statusBar()->currentMessage().contains(QStringLiteral("установите пакет %1").arg(package)),
                             10000);
    QVERIFY(w.statusBar()->currentMessage().startsWith(QStringLiteral("История: 1 запись ждет базы")));
}

QTEST_MAIN(TestHistoryDriver)
#include "tst_historydriver.moc"
