// The guided run's writes over the virtual line, from a run whose points
// are all taken: the device at the address checked by its serial number
// before anything is written to it (and before a restarted run goes on);
// a write cut at its third block said block by block, never verified as
// written and never closed in green, then written again or undone from
// what the device held; and each write as the history records it.

#include "common/guidedwriterig.h"
#include "common/historyrig.h"
#include "common/sandbox.h"

#include "device/registermap.h"
#include "history/historyguided.h"

#include <QUuid>
#include <QtTest>

using namespace guidedrig;

namespace {

const QString GreenEnd = QStringLiteral("Расчет и запись закончены: переходим к поверке");

} // namespace

class TestGuidedWrite : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup() { m_sandbox.leave(); }
    void wrongDevice_data();
    void wrongDevice();
    void cutWrite_data();
    void cutWrite();
    void historyRecords_data();
    void historyRecords();
    void damagedFiles_data();
    void damagedFiles();

private:
    Sandbox m_sandbox;
};

void TestGuidedWrite::wrongDevice_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<bool>("restarted");    // taken up at a pressure point rather than at the calculation
    QTest::addColumn<QString>("refusal");   // empty: written
    QTest::newRow("the planned device") << "" << false << "";
    QTest::newRow("another device at the address") << "swapped" << false
                                                   << "по адресу 01 отвечает прибор зав. № 3920009, а в плане зав. № 3920001";
    QTest::newRow("planned without a serial number") << "no serial" << false
                                                     << "зав. № прибора не был прочитан при составлении плана";
    QTest::newRow("restarted, the planned devices") << "" << true << "";
    QTest::newRow("restarted, another device at the address")
        << "swapped" << true << "по адресу 01 отвечает прибор зав. № 3920009, а в плане зав. № 3920001";
}

// A device is written only when the serial number it gives in the same
// exchange is the plan's; the other is refused with both numbers and its
// memory left as it was. A restarted run checks before it goes on.
void TestGuidedWrite::wrongDevice()
{
    QFETCH(QString, trouble);
    QFETCH(bool, restarted);
    QFETCH(QString, refusal);
    WriteRig rig;
    QVERIFY(rig.setUp(restarted ? GuidedPhase::SetPressure : GuidedPhase::Calculating, trouble != "no serial"));
    if (trouble == "swapped")
        rig.device(1)->setU32(sim::VirtualDevice::RegSerial, 3920009);
    rig.run->start();

    if (restarted) {
        if (refusal.isEmpty()) {
            QTRY_VERIFY(rig.run->isWaitingForOperator());
            QVERIFY(rig.green.contains(QStringLiteral("Зав. № приборов на линии совпадают с планом")));
            return;
        }
        QTRY_VERIFY(rig.run->isPaused());
        QVERIFY2(rig.red.join('\n').contains(QStringLiteral("Прогон не продолжен: ") + refusal), qPrintable(rig.red.join('\n')));
        rig.run->confirm();
        QCOMPARE(rig.run->phase(), GuidedPhase::SetPressure);   // no point is taken from it
        // Without it the run goes on.
        rig.run->skipDevice(0);
        rig.run->resume();
        QTRY_VERIFY(rig.run->isWaitingForOperator());
        QVERIFY(rig.run->cursor().devices[1].active());
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(rig.calculated(), 30000);
    const GuidedDeviceResult &d = rig.run->cursor().devices[0];
    QCOMPARE(rig.writes.size(), 2);
    const GuidedWriteRecord &w = rig.writes[0];
    const WriteEvent e = historyGuidedWrite(rig.run->plan(), w);
    QCOMPARE(e.address, 1);
    QCOMPARE(e.device.serial, QStringLiteral("%1").arg(trouble == "swapped" ? 3920009 : 3920001));
    QCOMPARE(e.blockCount, 5);
    // The other device is written whatever this one does.
    QVERIFY(sameCoefficients(rig.device(2)->compensation(), rig.writes[1].values));
    QCOMPARE(historyGuidedWrite(rig.run->plan(), rig.writes[1]).address, 2);

    if (refusal.isEmpty()) {
        QCOMPARE(d.calc, GuidedDeviceResult::Calc::Written);
        QVERIFY(sameCoefficients(rig.device(1)->compensation(), d.written));
        QVERIFY(e.complete());
        QVERIFY(rig.green.contains(GreenEnd));
        QCOMPARE(rig.run->phase(), GuidedPhase::SetVerifyTemperature);
        // On the wire after the calculation's Pmax read: the serial number,
        // what the device holds as the calibration tab reads it, the five writes.
        QStringList seen;
        for (const QByteArray &c : rig.device(1)->commandsSeen)
            seen << QString::fromLatin1(c.toHex());
        const QStringList expected{"33001e04", "33003a04", "33004e0c", "3301000c", "33010c0c", "33015404", "33001e18"};
        const int from = seen.lastIndexOf(QStringLiteral("33001e04"));
        QCOMPARE(seen.mid(from, expected.size()), expected);
        QCOMPARE(seen.size(), from + expected.size() + 5);
        for (const QString &c : seen.mid(from + expected.size()))
            QVERIFY2(c.startsWith(QStringLiteral("5b")), qPrintable(c));
        return;
    }
    QVERIFY2(d.calcNote.contains(refusal) && d.calcNote.contains(QStringLiteral("в прибор ничего не записано")),
             qPrintable(d.calcNote));
    QCOMPARE(d.calc, GuidedDeviceResult::Calc::Refused);
    QVERIFY(sameCoefficients(rig.device(1)->compensation(), rig.factory[0]));
    for (const QByteArray &c : rig.device(1)->commandsSeen)
        QVERIFY(uint8_t(c.at(0)) != RegisterMap::CmdWriteRegisters);
    QVERIFY(!QFileInfo::exists(rig.run->priorFile(0)));
    QCOMPARE(e.refusedBlocks, GuidedWrite::blockNames());
    QCOMPARE(e.writtenCount, 0);
    QVERIFY(e.outcome.contains(refusal));
    // The step ends in red and waits for the operator.
    QCOMPARE(rig.run->phase(), GuidedPhase::WriteReview);
    QVERIFY(!rig.green.contains(GreenEnd));
    QVERIFY2(rig.red.last().startsWith(QStringLiteral("Расчет и запись закончены с ошибками: не записаны 01")),
             qPrintable(rig.red.last()));
}

void TestGuidedWrite::cutWrite_data()
{
    QTest::addColumn<QString>("choice");
    QTest::newRow("written again") << "again";
    QTest::newRow("what it held put back") << "restore";
    QTest::newRow("put back after a restart") << "restart";
    QTest::newRow("verification without it") << "go on";
}

// The line to a device goes dead after its second block: the run says
// which blocks are in it, keeps that in its state, does not end the step
// in green, and offers writing it again, putting back what it held, or
// verifying the others without it.
void TestGuidedWrite::cutWrite()
{
    QFETCH(QString, choice);
    WriteRig rig;
    QVERIFY(rig.setUp(GuidedPhase::Calculating));
    rig.device(1)->writesBeforeCut = 2;
    rig.run->start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.calculated(), 30000);

    const QStringList names = GuidedWrite::blockNames();
    QCOMPARE(rig.run->phase(), GuidedPhase::WriteReview);
    QVERIFY(!rig.green.contains(GreenEnd));
    const QString said = QStringLiteral("Устройство 01 (зав. № 3920001) записано не полностью: блок 3 из 5 («b42, b41, "
                                        "b40») не записан: нет ответа; в приборе блоки: «%1», «%2»; не записаны: «%3», "
                                        "«%4», «%5»").arg(names[0], names[1], names[2], names[3], names[4]);
    QVERIFY2(rig.red.join('\n').contains(said), qPrintable(rig.red.join('\n')));
    const QJsonObject saved = rig.savedDevice(0);
    QCOMPARE(saved.value(QStringLiteral("blocksWritten")).toInt(), 2);
    QCOMPARE(saved.value(QStringLiteral("blocksTotal")).toInt(), 5);
    QCOMPARE(saved.value(QStringLiteral("calc")).toString(), QStringLiteral("write-failed"));
    // In the device: the first two blocks new, the rest as they were.
    const GuidedWriteRecord cut = rig.writes.first();
    sim::Compensation k = rig.device(1)->compensation();
    QVERIFY(k.uk1h == cut.values.Uk1h && k.a == cut.values.a);
    QVERIFY(k.b == rig.factory[0].b && k.c == rig.factory[0].c && k.c43 == rig.factory[0].c43);
    QCOMPARE(cut.written, 2);
    QCOMPARE(cut.refused, names.mid(2));
    // What it held, from before the cut, in its folder.
    CalibrationCoefficients prior;
    QString why;
    QVERIFY2(GuidedPrior::read(rig.run->priorFile(0), &prior, &why), qPrintable(why));
    QVERIFY(sameCoefficients(rig.factory[0], prior));

    rig.device(1)->writesBeforeCut = -1;   // the cable back in
    if (choice == "again") {
        rig.run->writeAgain();
        QTRY_VERIFY_WITH_TIMEOUT(rig.calculated() && rig.run->phase() == GuidedPhase::SetVerifyTemperature, 30000);
        QVERIFY(sameCoefficients(rig.device(1)->compensation(), rig.run->cursor().devices[0].written));
        QVERIFY(rig.green.contains(GreenEnd));
        QCOMPARE(rig.savedDevice(0).value(QStringLiteral("blocksWritten")).toInt(), 5);
        // Device 02, written the first time, is not written twice.
        QCOMPARE(rig.writes.size(), 3);
        QCOMPARE(rig.writes.last().address, 1);
        // What it held stays what it held before the first write.
        QVERIFY(GuidedPrior::read(rig.run->priorFile(0), &prior, &why));
        QVERIFY(sameCoefficients(rig.factory[0], prior));
        return;
    }
    if (choice == "restart") {
        QVERIFY(rig.open());
        rig.run->start();
        QCOMPARE(rig.run->phase(), GuidedPhase::WriteReview);
        QCOMPARE(rig.run->cursor().devices[0].blocksWritten, 2);
    }
    if (choice == "restore" || choice == "restart") {
        QVERIFY2(rig.run->restorePrior(0, &why), qPrintable(why));
        QTRY_VERIFY(!rig.run->isWriting());
        QVERIFY(sameCoefficients(rig.device(1)->compensation(), rig.factory[0]));
        QCOMPARE(rig.run->cursor().devices[0].calc, GuidedDeviceResult::Calc::Restored);
        QVERIFY(rig.writes.last().restore && rig.writes.last().complete() && rig.writes.last().serialRead);
    }
    // On to verification: the device not written is left out, with why.
    rig.run->confirm();
    QCOMPARE(rig.run->phase(), GuidedPhase::SetVerifyTemperature);
    const GuidedDeviceResult &d = rig.run->cursor().devices[0];
    QVERIFY(!d.active());
    QVERIFY2(d.leftOut.startsWith(choice == "go on" ? QStringLiteral("коэффициенты не записаны: блок 3 из 5")
                                                    : QStringLiteral("возвращены прежние коэффициенты")),
             qPrintable(d.leftOut));
    QVERIFY(rig.run->cursor().devices[1].active());
    const VerificationEvent v = historyVerification(rig.run->plan(), d, rig.run->reportBase());
    QVERIFY2(HistoryRecord::of(v).summary().startsWith(QStringLiteral("Поверка не проведена: исключен из прогона")),
             qPrintable(HistoryRecord::of(v).summary()));
}

void TestGuidedWrite::historyRecords_data()
{
    HistoryEngines::addColumn();
    HistoryEngines::addRows("guided run");
}

// What a run with a cut write (put back afterwards) and a refused
// calculation leaves in the history, stored and read back on both engines:
// the writes with the serial number read in the same exchange and the
// blocks in and not in, what the device held, the refusal, and the two
// devices left out as not verified rather than failing a verification.
void TestGuidedWrite::historyRecords()
{
    HISTORY_FRESH_CONFIG(config);
    WriteRig rig;
    QVERIFY(rig.prepare(GuidedPhase::Calculating));
    QVERIFY(QFile::remove(rig.runDir + QStringLiteral("/lot_02/lot_Tmax_MNK.txt")));
    QVERIFY(rig.open());
    QVector<HistoryRecord> records;
    connect(rig.run.get(), &GuidedRun::calculationRefused, this, [&](int device, const QString &why) {
        records << HistoryRecord::of(historyGuidedRefusal(rig.run->plan(), rig.run->cursor().devices[device],
                                                          {rig.run->pointFile(device, 0)}, why));
    });
    rig.device(1)->writesBeforeCut = 2;
    rig.run->start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.calculated(), 30000);
    rig.device(1)->writesBeforeCut = -1;
    QString why;
    QVERIFY(rig.run->restorePrior(0, &why));
    QTRY_VERIFY(!rig.run->isWriting());
    rig.run->confirm();
    QCOMPARE(rig.run->phase(), GuidedPhase::Done);   // nothing left to verify

    for (const GuidedWriteRecord &w : qAsConst(rig.writes))
        records << HistoryRecord::of(historyGuidedWrite(rig.run->plan(), w));
    for (int i = 0; i < 2; ++i)
        records << HistoryRecord::of(historyVerification(rig.run->plan(), rig.run->cursor().devices[i],
                                                         rig.run->reportBase(), rig.run->priorFile(i)));
    QStringList summaries;
    for (const HistoryRecord &r : qAsConst(records))
        summaries << r.summary();
    const QStringList expected{
        QStringLiteral("2-тензо, Pmax 100 кПа: расчет отказан: "),
        QStringLiteral("Коэффициенты расчета, адрес 01: записано 2 из 5 блоков; не записаны: b42, b41, b40, c42, c41, c40, c43"),
        QStringLiteral("Прежние коэффициенты (возврат), адрес 01: записано 5 из 5 блоков"),
        QStringLiteral("Поверка не проведена: исключен из прогона: возвращены прежние коэффициенты"),
        QStringLiteral("Поверка не проведена: исключен из прогона: коэффициенты не записаны: ")};
    QCOMPARE(summaries.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(summaries[i].startsWith(expected[i]), qPrintable(summaries[i]));

    HistoryStore store(QStringLiteral("guided-write"));
    QCOMPARE(store.open(config), HistoryStore::Status::Open);
    for (HistoryRecord &r : records) {
        r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (!r.context().when.isValid())   // as the window records it
            r.context().when = QDateTime::currentDateTimeUtc();
        QVERIFY2(store.write(r), qPrintable(store.error()));
        HistoryRecord back;
        QVERIFY(store.load(r.uid, &back));
        QCOMPARE(back.summary(), r.summary());
        QCOMPARE(back.device().serial, r.device().serial);
        QCOMPARE(back.write.refusedBlocks, r.write.refusedBlocks);
        QCOMPARE(back.write.values, r.write.values);
        QCOMPARE(back.files(), r.files());
    }
    QCOMPARE(records[0].device().serial, QStringLiteral("3920002"));
    QCOMPARE(records[1].device().serial, QStringLiteral("3920001"));   // read before the write
    QCOMPARE(records[1].write.address, 1);
    // What the device held: the file beside its verification (device 02
    // was never written: none), the values beside the cut write.
    QCOMPARE(records[3].verification.files.last().role, QStringLiteral("Прежние коэффициенты"));
    QCOMPARE(records[3].verification.files.last().sha256, historyFileChecksum(rig.run->priorFile(0)));
    QVERIFY(records[4].verification.files.isEmpty() || records[4].verification.files.last().role != QStringLiteral("Прежние коэффициенты"));
    QVERIFY(records[1].write.values.contains(
        HistoryValue{QStringLiteral("до записи: c43"), double(rig.factory[0].c43)}));
}

void TestGuidedWrite::damagedFiles_data()
{
    QTest::addColumn<QString>("key");        // in the first device's state; "prior": its prior file
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("blocks written not a number") << "blocksWritten" << QJsonValue("2") << "блоки записи";
    QTest::newRow("more blocks written than there are") << "blocksWritten" << QJsonValue(4) << "блоки записи: 4 из 3";
    QTest::newRow("blocks beyond the write") << "blocksTotal" << QJsonValue(9) << "блоки записи";
    QTest::newRow("a fraction of a block") << "blocksTotal" << QJsonValue(2.5) << "блоки записи";
    QTest::newRow("prior kept not a flag") << "priorKept" << QJsonValue(1) << "priorKept";
    QTest::newRow("retry not a flag") << "retryWrites" << QJsonValue("да") << "retryWrites";
    QTest::newRow("operator not a text") << "operator" << QJsonValue(7) << "operator";
    QTest::newRow("prior file without c43") << "prior" << QJsonValue("c43") << "нет c43";
    QTest::newRow("prior file with a word for a number") << "prior" << QJsonValue("a41") << "строка";
}

// The write's progress in the state and the file of what a device held
// are read back after crashes and copies: a damaged one is refused with
// the file and the reason, and nothing is written from it.
void TestGuidedWrite::damagedFiles()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QString, reason);
    WriteRig rig;
    QVERIFY(rig.prepare(GuidedPhase::WriteReview));
    QJsonObject state;
    QString why;
    QVERIFY(GuidedFiles::loadJson(GuidedFiles::stateFile(rig.runDir), &state, &why));
    QJsonArray devices = state.value(QStringLiteral("devices")).toArray();
    QJsonObject first = devices.at(0).toObject();
    first[QStringLiteral("blocksTotal")] = 3;
    first[QStringLiteral("priorKept")] = true;
    if (key == "retryWrites" || key == "operator")
        state[key] = value;
    else if (key != "prior")
        first[key] = value;
    devices[0] = first;
    state[QStringLiteral("devices")] = devices;
    QVERIFY(GuidedFiles::saveJson(GuidedFiles::stateFile(rig.runDir), state, &why));
    if (key != "prior") {
        QVERIFY(!rig.open());
        GuidedRun run(rig.bench.guided.get());
        QVERIFY(!run.open(rig.runDir, &why));
        QVERIFY2(why.contains(reason), qPrintable(why));
        return;
    }
    QVERIFY(rig.open());
    QFile f(rig.run->priorFile(0));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(GuidedPrior::text(CalibrationCoefficients(), 1, true, 3920001)
                .replace(value.toString().toLatin1() + ":0\n", value.toString() == "a41" ? "a41:x\n" : ""));
    f.close();
    const sim::Compensation before = rig.device(1)->compensation();
    QVERIFY(!rig.run->restorePrior(0, &why));
    QVERIFY2(why.contains(reason) && why.contains(rig.run->priorFile(0)), qPrintable(why));
    QVERIFY(!rig.run->isWriting());
    QVERIFY(sameCoefficients(rig.device(1)->compensation(), before));
}

QTEST_MAIN(TestGuidedWrite)
#include "tst_guidedwrite.moc"
