// Choosing the save directories from the polling tab: the file dialog, the
// listed directories and the confirmation, freezing the channels while a
// selection stands, the readiness mark, and what overwrite and append do to
// the files the polling writes.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "ui_savefile_confirm_dialog.h"

#include "link/protocolcomhart.h"
#include "polling/savefile_confirm_dialog.h"
#include "sim/virtualline.h"

#include "common/sandbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStandardItemModel>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

struct Answers
{
    int fileDialogs = 0;
    QString message;
    bool exists = false;
    int confirms = 0;
    QStringList criticals;
};

// A window, unlocked, whose modal questions are answered from the test.
void prepare(MainWindow &w, Answers &a, const QString &baseDir, const QString &file,
             int confirmResult)
{
    w.ui->lineEditPassword->setText(QStringLiteral("7391"));
    w.pollingDialogs.chooseSaveDir = [&a, baseDir, file](QString *b, QString *f) {
        ++a.fileDialogs;
        *b = baseDir;
        *f = file;
        return true;
    };
    w.pollingDialogs.confirmSaveDirs = [&a, confirmResult](const QString &m, bool e) {
        ++a.confirms;
        a.message = m;
        a.exists = e;
        return confirmResult;
    };
    w.pollingDialogs.critical = [&a](const QString &t) { a.criticals << t; };
}

bool frozen(const MainWindow &w)
{
    for (const PollChannel &ch : w.channels()) {
        if (ch.enable->isEnabled() || ch.address->isEnabled())
            return false;
    }
    return true;
}

bool unfrozen(const MainWindow &w)
{
    for (const PollChannel &ch : w.channels()) {
        if (!ch.enable->isEnabled() || !ch.address->isEnabled())
            return false;
    }
    return true;
}

QColor markColour(const MainWindow &w)
{
    return w.ui->lbSaveFilesReady->palette().color(QPalette::Inactive, QPalette::WindowText);
}

// Runs `f` on the modal dialog once it is up.
void onModal(std::function<void(QWidget *)> f)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (QWidget *m = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            f(m);
            // A check that failed inside `f` must not leave the test hanging.
            if (QApplication::activeModalWidget() == m)
                QMetaObject::invokeMethod(m, "reject");
        }
    });
    timer->start();
}

void writeFile(const QString &name, const QByteArray &content)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSaveDirsGui : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void listsAndCreatesOnAccept();
    void emptyNameGivesDevice();
    void existingDirectoryOffersOverwriteAndAppend();
    void overwriteAndAppendOnTheLine_data();
    void overwriteAndAppendOnTheLine();
    void cancelOrCloseUnfreezes_data();
    void cancelOrCloseUnfreezes();
    void endCalibrationUnfreezes();
    void lockEndsTheSelection();
    void noCheckedChannel();
    void fileDialogNotAccepted();
    void realFileDialog();

private:
    Sandbox m_sandbox;
    QString base() const { return m_sandbox.path(); }
};

void TestSaveDirsGui::init()
{
    QVERIFY(m_sandbox.enter());
}

void TestSaveDirsGui::cleanup()
{
    m_sandbox.leave();
}

void TestSaveDirsGui::listsAndCreatesOnAccept()
{
    MainWindow w;
    Answers a;
    prepare(w, a, base(), base() + QStringLiteral("/run1"), 1);
    w.pollChannels[4].enable->setChecked(true);
    w.pollChannels[4].address->setCurrentIndex(2);
    w.pollChannels[1].enable->setChecked(true);
    w.pollChannels[1].address->setCurrentIndex(1);
    QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("❌"));
    QCOMPARE(markColour(w), QColor(Qt::red));

    w.ui->pbChooseSaveDir->click();
    QCOMPARE(a.confirms, 1);
    QVERIFY(!a.exists);
    const QString d1 = base() + QStringLiteral("/run1_01");
    const QString d2 = base() + QStringLiteral("/run1_02");
    QCOMPARE(a.message, QStringLiteral("Базовая директория: ") + base() + "\n"
                        + QStringLiteral("Выбранное базовое имя: run1\n")
                        + QStringLiteral("Будут созданы следующие директории:\n")
                        + "\t" + d1 + "\n\t" + d2 + "\n");
    QVERIFY(QFileInfo(d1).isDir());
    QVERIFY(QFileInfo(d2).isDir());
    QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("✔"));
    QCOMPARE(markColour(w), QColor(Qt::green));
    QVERIFY(frozen(w));
    QVERIFY(w.capture.saveDirs().ready());
    QCOMPARE(w.capture.saveDirs().openMode(), QIODevice::Append | QIODevice::Text);
}

void TestSaveDirsGui::emptyNameGivesDevice()
{
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QString(), 1);
    w.pollChannels[0].enable->setChecked(true);
    w.pollChannels[0].address->setCurrentIndex(10);
    w.ui->pbChooseSaveDir->click();
    QVERIFY(a.message.contains(QStringLiteral("Выбранное базовое имя: device\n")));
    QVERIFY(QFileInfo(base() + QStringLiteral("/device_0a")).isDir());
}

void TestSaveDirsGui::existingDirectoryOffersOverwriteAndAppend()
{
    // The real confirmation dialog, answered by its buttons.
    QVERIFY(QDir().mkpath(base() + QStringLiteral("/run_03")));
    MainWindow w;
    Answers a;
    const MainWindow::PollingDialogs real = w.pollingDialogs;
    prepare(w, a, base(), QStringLiteral("run"), 0);
    w.pollingDialogs.confirmSaveDirs = real.confirmSaveDirs;
    w.pollingDialogs.chooseSaveDir = [this](QString *b, QString *f) {
        *b = base();
        *f = QStringLiteral("run");
        return true;
    };
    w.pollChannels[0].enable->setChecked(true);
    w.pollChannels[0].address->setCurrentIndex(3);
    w.pollChannels[1].enable->setChecked(true);
    w.pollChannels[1].address->setCurrentIndex(4);

    QString shown;
    QVector<bool> offered;
    onModal([&](QWidget *m) {
        auto *dlg = qobject_cast<savefile_confirm_dialog *>(m);
        QVERIFY(dlg);
        shown = dlg->form()->pteMessage->toPlainText();
        offered = {dlg->form()->pbAccept->isEnabled(), dlg->form()->pbOverwrite->isEnabled(),
                   dlg->form()->pbAppend->isEnabled(), dlg->form()->pbCancel->isEnabled()};
        dlg->form()->pbAppend->click();
    });
    w.ui->pbChooseSaveDir->click();
    QCOMPARE(offered, (QVector<bool>{false, true, true, true}));
    QVERIFY(shown.contains("\t" + base() + QStringLiteral("/run_03 уже существует\n")));
    QVERIFY(shown.contains("\t" + base() + QStringLiteral("/run_04\n")));
    QVERIFY(shown.endsWith(
        QStringLiteral("\nВНИМАНИЕ: ФАЙЛЫ В СУЩЕСТВУЮЩИХ ДИРЕКТОРИЯХ БУДУТ ПЕРЕЗАПИСАНЫ\n")));
    QVERIFY(QFileInfo(base() + QStringLiteral("/run_04")).isDir());
    QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("✔"));
}

void TestSaveDirsGui::overwriteAndAppendOnTheLine_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("oldKept");
    QTest::newRow("Перезаписать существующие") << 2 << false;
    QTest::newRow("Дописать в существующие") << 3 << true;
}

void TestSaveDirsGui::overwriteAndAppendOnTheLine()
{
    QFETCH(int, result);
    QFETCH(bool, oldKept);
    const QString dir = base() + QStringLiteral("/cal_01");
    QVERIFY(QDir().mkpath(dir));
    const QByteArray old = "01.01.2024 10:00:00\t1\t2\t3\t4\t5\t0\t0\n";
    writeFile(dir + QStringLiteral("/cal_Tmid.txt"), old);
    writeFile(dir + QStringLiteral("/cal_Tmid_MNK.txt"), "1\t2\t3\t4\t5\t6\n");
    writeFile(base() + QStringLiteral("/cal_01.txt"), "a neighbour, not listed\n");

    sim::VirtualLine line;
    QVERIFY(line.open());
    line.setBaud(0);
    line.addDevice(1);
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QStringLiteral("cal"), result);
    w.ui->comboBoxNamePort->setEditText(line.portName());
    w.ui->buttonConnectPort->click();
    w.pollPeriod = 20;
    w.pollTimeout = 150;
    w.pollRepeats = 1;
    w.pollChannels[0].enable->setChecked(true);
    w.pollChannels[0].address->setCurrentIndex(1);
    w.ui->pbChooseSaveDir->click();
    QVERIFY(a.exists);

    QCOMPARE(QFile::exists(dir + QStringLiteral("/cal_Tmid_MNK.txt")), oldKept);
    w.ui->buttonFunction3Send->click();
    QTRY_COMPARE(w.measurementModel->rowCount(), 1);
    const QByteArray now = readAll(dir + QStringLiteral("/cal_Tmid.txt"));
    QCOMPARE(now.startsWith(old), oldKept);
    QCOMPARE(now.count('\n'), oldKept ? 2 : 1);
    QCOMPARE(readAll(base() + QStringLiteral("/cal_01.txt")), QByteArray("a neighbour, not listed\n"));
}

void TestSaveDirsGui::cancelOrCloseUnfreezes_data()
{
    QTest::addColumn<int>("result");
    QTest::newRow("Отмена") << 4;
    QTest::newRow("closed") << 0;
}

void TestSaveDirsGui::cancelOrCloseUnfreezes()
{
    QFETCH(int, result);
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QStringLiteral("x"), result);
    w.pollChannels[2].enable->setChecked(true);
    w.ui->pbChooseSaveDir->click();
    QCOMPARE(a.confirms, 1);
    QVERIFY(unfrozen(w));
    QVERIFY(!QFileInfo::exists(base() + QStringLiteral("/x_00")));
    QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("❌"));
    QVERIFY(!w.capture.saveDirs().ready());
    w.ui->buttonSetPressue->click();
    QCOMPARE(a.criticals, QStringList{QStringLiteral("Не выбраны файлы для сохранения")});
}

void TestSaveDirsGui::endCalibrationUnfreezes()
{
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QStringLiteral("end"), 1);
    w.pollChannels[0].enable->setChecked(true);
    w.ui->pbChooseSaveDir->click();
    QVERIFY(frozen(w));
    w.ui->buttonSetPressue->click();
    QVERIFY(a.criticals.isEmpty());

    w.ui->pbEndCalibration->click();
    QVERIFY(unfrozen(w));
    QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("❌"));
    QCOMPARE(markColour(w), QColor(Qt::red));
    QVERIFY(w.capture.saveDirs().dirs().isEmpty());
    QCOMPARE(w.capture.saveDirs().openMode(), QIODevice::NotOpen);
    w.ui->buttonSetPressue->click();
    QCOMPARE(a.criticals, QStringList{QStringLiteral("Не выбраны файлы для сохранения")});
}

void TestSaveDirsGui::lockEndsTheSelection()
{
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QStringLiteral("lk"), 1);
    w.pollChannels[0].enable->setChecked(true);
    w.ui->pbChooseSaveDir->click();
    QVERIFY(w.capture.saveDirs().ready());
    w.ui->lineEditPassword->setText(QStringLiteral("0"));
    QVERIFY(!w.capture.saveDirs().ready());
    QVERIFY(unfrozen(w));
}

void TestSaveDirsGui::noCheckedChannel()
{
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QStringLiteral("none"), 1);
    w.ui->pbChooseSaveDir->click();
    QCOMPARE(a.criticals, QStringList{QStringLiteral("Хотя бы одно устройство должно быть активно")});
    QCOMPARE(a.confirms, 0);
    QVERIFY(unfrozen(w));
    QCOMPARE(QDir(base()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
}

void TestSaveDirsGui::fileDialogNotAccepted()
{
    MainWindow w;
    Answers a;
    prepare(w, a, base(), QStringLiteral("n"), 1);
    w.pollChannels[0].enable->setChecked(true);
    w.pollingDialogs.chooseSaveDir = [](QString *, QString *) { return false; };
    w.ui->pbChooseSaveDir->click();
    QCOMPARE(a.confirms, 0);
    QVERIFY(unfrozen(w));
    QCOMPARE(w.ui->lbSaveFilesReady->text(), QStringLiteral("❌"));
}

void TestSaveDirsGui::realFileDialog()
{
    MainWindow w;
    Answers a;
    const MainWindow::PollingDialogs real = w.pollingDialogs;
    prepare(w, a, base(), QString(), 1);
    w.pollingDialogs.chooseSaveDir = real.chooseSaveDir;
    w.pollChannels[0].enable->setChecked(true);
    w.pollChannels[0].address->setCurrentIndex(15);

    bool nonNative = false;
    onModal([&](QWidget *m) {
        auto *dlg = qobject_cast<QFileDialog *>(m);
        QVERIFY(dlg);
        nonNative = dlg->testOption(QFileDialog::DontUseNativeDialog)
                    && dlg->testOption(QFileDialog::DontResolveSymlinks)
                    && dlg->fileMode() == QFileDialog::AnyFile;
        dlg->setDirectory(base());
        // As typed into the name field.
        auto *name = dlg->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(QStringLiteral("typed"));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    w.ui->pbChooseSaveDir->click();
    QVERIFY(nonNative);
    QCOMPARE(a.confirms, 1);
    QVERIFY(QFileInfo(base() + QStringLiteral("/typed_0f")).isDir());
}

QTEST_MAIN(TestSaveDirsGui)
#include "tst_savedirs_gui.moc"
