// The calibration history with a production line's years in it: 100,000
// calculations of 20,000 devices. Prints how long a search by serial takes
// (target: under 50 ms), how long a device's calibrations take to load, and
// how long the history window takes from being opened to showing its rows
// (target: under 1 s). On SQLite always; on PostgreSQL too when the server
// package is installed (a server of its own in a temporary folder).
//
//   bench_history [calculations]

#include "../tests/common/pgserver.h"
#include "history/historyrecorder.h"
#include "history/historystore.h"
#include "history/historywindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QEventLoop>
#include <QTimer>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

HistoryRecord calculation(int i, int devices)
{
    CalculationEvent e;
    e.context.when = QDateTime(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC).addSecs(qint64(i) * 1800);
    e.context.profile = QStringLiteral("стенд-%1").arg(i % 4);
    e.context.port = QStringLiteral("/dev/ttyUSB%1").arg(i % 4);
    e.context.operatorName = QStringLiteral("Оператор %1").arg(i % 7);
    e.device.serial = QString::number(100000000 + (i % devices));
    e.device.model = QStringLiteral("ДД-%1").arg(10 * (1 + i % 5));
    e.sensorType = e.fitModel = QStringLiteral("два тензодатчика");
    e.pmaxPa = 250000;
    for (const char *name : {"Uk1h", "Uk2h", "U10", "U20", "a42", "a41", "a40", "b42", "b41", "b40", "c42", "c41",
                             "c40", "c43"})
        e.coefficients.append({QString::fromLatin1(name), 1.0 + i * 1e-6});
    e.fitPercent = {0.01, 0.02, 0.03};
    e.worstPercent = 0.03;
    e.worstPoint = QStringLiteral("Tmax, строка 5");
    e.zero = 2100 + (i % 100) * 0.01;
    for (const char *role : {"Tmin", "Tmid", "Tmax", "Отчет"})
        e.files.append({QString::fromUtf8(role), QStringLiteral("/data/run%1/dev_%2_MNK.txt").arg(i).arg(role).toUtf8(),
                        QStringLiteral("%1").arg(i, 64, 16, QLatin1Char('0'))});
    e.withinTarget = i % 50 != 0;
    HistoryRecord r = HistoryRecord::of(e);
    r.uid = QStringLiteral("bench-%1").arg(i);
    return r;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

void run(const char *engine, const HistoryConfig &config, int count)
{
    const int devices = qMax(1, count / 5);
    HistoryStore store(QStringLiteral("bench"));
    if (store.open(config) != HistoryStore::Status::Open) {
        std::printf("%s: %s\n", engine, qPrintable(store.error()));
        return;
    }
    QElapsedTimer t;
    t.start();
    constexpr int Batch = 5000;
    for (int from = 0; from < count; from += Batch) {
        QVector<HistoryRecord> batch;
        for (int i = from; i < qMin(count, from + Batch); ++i)
            batch.append(calculation(i, devices));
        if (!store.writeAll(batch)) {
            std::printf("%s: filling failed: %s\n", engine, qPrintable(store.error()));
            return;
        }
    }
    std::printf("%s: %d calculations of %d devices written in %.1f s (in batches of %d)\n", engine, count, devices,
                t.elapsed() / 1000.0, Batch);

    // One event as the window records it: a transaction of its own.
    QVector<double> single;
    for (int i = 0; i < 20; ++i) {
        t.restart();
        store.write(calculation(count + i, devices));
        single << ms(t.nsecsElapsed());
    }
    std::sort(single.begin(), single.end());
    std::printf("%s: one event recorded: median %.2f ms, worst %.2f ms\n", engine, single[single.size() / 2],
                single.last());

    QVector<double> searches, loads;
    QRandomGenerator random(7);
    int found = 0;
    for (int i = 0; i < 200; ++i) {
        HistoryFilter f;
        f.serial = QString::number(100000000 + int(random.bounded(devices)));
        t.restart();
        found += store.search(f).size();
        searches << ms(t.nsecsElapsed());
        if (i < 50) {
            t.restart();
            store.deviceCalculations(f.serial);
            loads << ms(t.nsecsElapsed());
        }
    }
    std::sort(searches.begin(), searches.end());
    std::sort(loads.begin(), loads.end());
    std::printf("%s: search by serial (200 serials, %d events found): median %.2f ms, worst %.2f ms "
                "(target < 50 ms)\n",
                engine, found, searches[searches.size() / 2], searches.last());
    std::printf("%s: a device's calibrations with coefficients and files: median %.2f ms, worst %.2f ms\n", engine,
                loads[loads.size() / 2], loads.last());
    store.close();

    // The window: opened, the newest events shown.
    HistoryRecorder recorder(QDir::temp().filePath(QStringLiteral("bench-history-queue.jsonl")));
    recorder.setConfig(config);
    for (int round = 0; round < 2; ++round) {
        HistoryWindow window(&recorder);
        QEventLoop loop;
        bool shown = false;
        QObject::connect(&window, &HistoryWindow::shown, &loop, [&] {
            shown = true;
            loop.quit();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        t.restart();
        window.show();
        loop.exec();
        if (!shown) {
            std::printf("%s: the window showed nothing: %s\n", engine, qPrintable(window.statusText()));
            return;
        }
        std::printf("%s: history window %s: %d rows shown in %.0f ms (target < 1000 ms)\n", engine,
                    round == 0 ? "opened (database opened too)" : "opened again", window.eventsModel()->rowCount(),
                    ms(t.nsecsElapsed()));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? qMax(100, QString::fromLocal8Bit(argv[1]).toInt()) : 100000;
    QTemporaryDir dir;
    HistoryConfig sqlite;
    sqlite.sqlitePath = dir.filePath(QStringLiteral("history.sqlite"));
    run("SQLite", sqlite, count);

    PgServer server;
    QString why;
    if (!server.start(&why) || !server.createDatabase(QStringLiteral("bench"), &why)) {
        std::printf("PostgreSQL: not measured (%s)\n", qPrintable(why));
        return 0;
    }
    run("PostgreSQL", server.config(QStringLiteral("bench")), count);
    return 0;
}
