// Where the message log files what a run says, over the virtual line: a poll
// time-out under the poll with the silent device's address (one entry per
// device, counting), a time-out outside polling under the panes, and each
// run's verdict and the monitor's messages under their own source, never
// under the status bar.

#include "app/messagelog.h"
#include "calc/dialog.h"
#include "monitor/linemonitor.h"
#include "monitor/trendview.h"
#include "ui_dialog.h"
#include "ui_mainwindow.h"

#include "common/sandbox.h"
#include "pollingrig.h"

#include <QTextEdit>

namespace {
enum Run : int { Poll, SingleRead, Scan, DeviceData, Parameters, TrendExport };

// The entries whose text starts with `text`.
QVector<MessageLog::Entry> entries(const MessageLog *log, const QString &text)
{
    QVector<MessageLog::Entry> out;
    for (int i = 0; i < log->size(); ++i) {
        if (log->entry(i).text.startsWith(text))
            out.append(log->entry(i));
    }
    return out;
}
}

class TestMessageSources : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }

    void filedUnderItsSource_data();
    void filedUnderItsSource();

private:
    Sandbox m_sandbox;
};

void TestMessageSources::filedUnderItsSource_data()
{
    QTest::addColumn<int>("run");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("poll time-out") << int(Poll) << "Опрос" << "Таймаут операции: 05 не ответил";
    QTest::newRow("time-out outside polling") << int(SingleRead) << "Для разработчика" << "Таймаут операции";
    QTest::newRow("scan") << int(Scan) << "Поиск" << "Поиск устройств: ";
    QTest::newRow("device data read") << int(DeviceData) << "Данные устройства" << "Чтение данных устройства: ";
    QTest::newRow("parameter upload") << int(Parameters) << "Калибровка" << "Выгрузка параметров из прибора: ";
    QTest::newRow("trend export") << int(TrendExport) << "Монитор" << "Тренд сохранён в ";
}

void TestMessageSources::filedUnderItsSource()
{
    QFETCH(int, run);
    QFETCH(QString, source);
    QFETCH(QString, text);
    PollingRig r;
    QVERIFY(r.open({6}));
    MainWindow &w = *r.w;
    MessageLog *log = w.messageLog();
    w.pollTimeout = 60;
    w.ui->comboBoxMainAddr->setCurrentIndex(6);
    log->clear();

    switch (Run(run)) {
    case Poll:
        // Two silent devices around one that answers.
        r.channel(0, 5);
        r.channel(1, 6);
        r.channel(2, 7);
        w.ui->tabWidget->setCurrentIndex(MainWindow::TabFunction3);
        w.ui->buttonFunction3Loop->click();
        QTRY_VERIFY_WITH_TIMEOUT(entries(log, text).value(0).repeats >= 3, 5000);
        w.ui->buttonStopRequstFunc3->click();
        break;
    case SingleRead:
        w.ui->comboBoxMainAddr->setCurrentIndex(5);
        w.ui->tabWidget->setCurrentWidget(w.ui->tabCalibration);
        w.ui->buttonGetPressue->click();
        break;
    case Scan:
        w.scanPeriod = 20;
        w.scanTimeout = 60;
        w.scanRepeats = 1;
        w.ui->buttonFindDevice->click();
        break;
    case DeviceData:
        w.onDeviceMemoryDump();
        w.onRecvCoefsFromDevice();
        break;
    case Parameters:
        w.parametersDialog()->form()->buttonUploadFromDevice->click();
        break;
    case TrendExport:
        w.lineMonitor()->dialogs.saveFile = [this](const QString &, const QString &, const QString &) {
            return m_sandbox.filePath(QStringLiteral("trend.csv"));
        };
        w.lineMonitor()->trend->csvButton->click();
        break;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!entries(log, text).isEmpty() && !w.isBusy() && !w.hartLink()->isBusy()
                                 && !w.hartLink()->isQueueRunning(), 10000);
    QVERIFY2(entries(log, text).first().source.split(QStringLiteral(", ")).contains(source),
             qPrintable(log->toText()));
    QVERIFY2(!log->toText().contains(QStringLiteral("[Строка состояния]")), qPrintable(log->toText()));

    if (run == Poll) {
        // Each silent device on one counting entry, the answering one on none;
        // the panes say what they said before.
        QCOMPARE(entries(log, text).size(), 1);
        const QVector<MessageLog::Entry> other = entries(log, QStringLiteral("Таймаут операции: 07 не ответил"));
        QVERIFY(other.size() == 1 && other.first().repeats >= 2);
        QVERIFY(entries(log, QStringLiteral("Таймаут операции: 06")).isEmpty());
        QVERIFY(!log->toText().contains(QStringLiteral("] Таймаут операции\n")));
        QVERIFY(w.ui->textEditStatus->toPlainText().contains(QStringLiteral("Таймаут операции\n")));
    }
}

QTEST_MAIN(TestMessageSources)
#include "tst_messagesources.moc"
