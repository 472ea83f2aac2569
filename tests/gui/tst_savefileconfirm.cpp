// The save-directory confirmation: which answers are offered and what each
// one returns.

#include "polling/savedirs.h"
#include "polling/savefile_confirm_dialog.h"
#include "ui_savefile_confirm_dialog.h"

#include <QtTest>
#include <QPushButton>

class TestSaveFileConfirm : public QObject
{
    Q_OBJECT
private slots:
    void offeredAnswers_data();
    void offeredAnswers();
    void results_data();
    void results();
    void closingGivesNoAnswer();
};

void TestSaveFileConfirm::offeredAnswers_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("all new") << false;
    QTest::newRow("one exists") << true;
}

void TestSaveFileConfirm::offeredAnswers()
{
    QFETCH(bool, exists);
    savefile_confirm_dialog d(QStringLiteral("Базовая директория: /x\n"), exists);
    QCOMPARE(d.form()->pteMessage->toPlainText(), QStringLiteral("Базовая директория: /x\n"));
    QVERIFY(d.form()->pteMessage->isReadOnly());
    QCOMPARE(d.form()->pbAccept->isEnabled(), !exists);
    QCOMPARE(d.form()->pbOverwrite->isEnabled(), exists);
    QCOMPARE(d.form()->pbAppend->isEnabled(), exists);
    QVERIFY(d.form()->pbCancel->isEnabled());
    QCOMPARE(d.windowTitle(), QStringLiteral("Каталоги для файлов калибровки"));
}

void TestSaveFileConfirm::results_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("result");
    QTest::newRow("accept") << "pbAccept" << false << int(SaveDirs::Accept);
    QTest::newRow("overwrite") << "pbOverwrite" << true << int(SaveDirs::Overwrite);
    QTest::newRow("append") << "pbAppend" << true << int(SaveDirs::Append);
    QTest::newRow("cancel") << "pbCancel" << true << int(SaveDirs::Cancel);
}

void TestSaveFileConfirm::results()
{
    QFETCH(QString, button);
    QFETCH(bool, exists);
    QFETCH(int, result);
    savefile_confirm_dialog d(QString(), exists);
    QSignalSpy finished(&d, &QDialog::finished);
    d.open();
    auto *b = d.findChild<QPushButton *>(button);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), result);
    QVERIFY(!d.isVisible());
}

void TestSaveFileConfirm::closingGivesNoAnswer()
{
    savefile_confirm_dialog d(QString(), true);
    QSignalSpy finished(&d, &QDialog::finished);
    d.open();
    QTest::keyClick(&d, Qt::Key_Escape);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), 0);
}

QTEST_MAIN(TestSaveFileConfirm)
#include "tst_savefileconfirm.moc"
