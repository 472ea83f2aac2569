#include "device/sensorrangetable.h"

#include <QtTest>

class TestSensorRange : public QObject
{
    Q_OBJECT
private slots:
    void everyAllowedSensorHasAList_data();
    void everyAllowedSensorHasAList();
    void deviceTypeFourIsKeyFortyThree();
    void displayFollowsUnit();
    void rangeNumber();
    void indexOfValue();
    void unknownKeyKeepsSelection();
    void unitIndexLimits();
    void nothingSelectedReadsZero();
    void slidersNeverMeet();
    void unitTexts();
};

void TestSensorRange::everyAllowedSensorHasAList_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("1") << 1 << 1 << 8;
    QTest::newRow("2") << 2 << 2 << 6;
    QTest::newRow("3") << 3 << 1 << 7;
    QTest::newRow("4") << 4 << 3 << 3;
    QTest::newRow("5") << 5 << 1 << 3;
}

void TestSensorRange::everyAllowedSensorHasAList()
{
    QFETCH(int, type);
    QFETCH(int, low);
    QFETCH(int, high);
    const auto limits = SensorRangeTable::sensorCodeLimits(type);
    QCOMPARE(limits.first, low);
    QCOMPARE(limits.second, high);
    // Every sensor code the spin box allows must find a list, starting at 0
    // and rising, or the range sliders would be left on another device's list.
    for (int code = low; code <= high; ++code) {
        const QVector<double> list = SensorRangeTable::listForKey(SensorRangeTable::sensorKey(type, code));
        QVERIFY2(list.size() >= 8, qPrintable(QStringLiteral("key %1").arg(type * 10 + code)));
        QCOMPARE(list.first(), 0.0);
        for (int i = 1; i < list.size(); ++i)
            QVERIFY(list.at(i) > list.at(i - 1));
    }
}

void TestSensorRange::deviceTypeFourIsKeyFortyThree()
{
    const auto limits = SensorRangeTable::sensorCodeLimits(4);
    SensorRangeTable t;
    QVERIFY(t.selectSensorRange(SensorRangeTable::sensorKey(4, limits.first)));
    QCOMPARE(t.selectedKey(), 43);
    QCOMPARE(t.selectedList(), (QVector<double>{0, 6, 6.3, 10, 16, 25, 40, 60, 63, 100}));
}

void TestSensorRange::displayFollowsUnit()
{
    SensorRangeTable t;
    QVERIFY(t.selectSensorRange(11));
    QCOMPARE(t.size(), 11);
    t.selectUnit(1);   // kPa
    QCOMPARE(t.displayValue(t.size() - 1), 6.3f);
    t.selectUnit(0);   // Pa
    QCOMPARE(t.displayValue(t.size() - 1), 6300.0f);
    QCOMPARE(t.deviceValue(t.size() - 1), 6300.0f);
    t.selectUnit(2);   // MPa
    QCOMPARE(t.displayValue(10), float(6.3 * 0.001));
    // Indexes outside the list read its ends.
    QCOMPARE(t.displayValue(-3), 0.0f);
    QCOMPARE(t.deviceValue(99), 6300.0f);
    t.selectUnit(1);
    QCOMPARE(t.labelText(t.maxIndex()), QStringLiteral("6.3"));
    t.selectUnit(0);
    QCOMPARE(t.labelText(t.maxIndex()), QStringLiteral("6300"));
}

void TestSensorRange::rangeNumber()
{
    SensorRangeTable t;
    t.selectSensorRange(11);             // 11 entries
    QCOMPARE(t.rangeNumber(10), 0);      // slider at its maximum: widest range
    QCOMPARE(t.rangeNumber(0), 10);
    t.selectSensorRange(33);             // 11 entries as well
    QCOMPARE(t.rangeNumber(0), 10);
    t.selectSensorRange(53);             // 8 entries
    QCOMPARE(t.rangeNumber(0), 7);
    QCOMPARE(t.rangeNumber(-4), 10);     // never more than 10
    QCOMPARE(t.rangeNumber(20), 0);      // never negative
}

void TestSensorRange::indexOfValue()
{
    SensorRangeTable t;
    t.selectSensorRange(11);
    QCOMPARE(t.indexOfValue(6300.0), 10);
    QCOMPARE(t.indexOfValue(double(t.deviceValue(4))), 4);   // 630 Pa as a float
    QCOMPARE(t.indexOfValue(0.0), 0);
    QCOMPARE(t.indexOfValue(1234.0), -1);
    SensorRangeTable empty;
    QCOMPARE(empty.indexOfValue(0.0), -1);
}

void TestSensorRange::unknownKeyKeepsSelection()
{
    SensorRangeTable t;
    QVERIFY(t.selectSensorRange(53));
    QVERIFY(!t.selectSensorRange(19));
    QVERIFY(!t.selectSensorRange(0));
    QCOMPARE(t.selectedKey(), 53);
    QCOMPARE(t.size(), 8);
}

void TestSensorRange::unitIndexLimits()
{
    SensorRangeTable t;
    QCOMPARE(t.unitIndex(), 1);
    QCOMPARE(t.unitFactor(), 1.0);
    t.selectUnit(0);
    QCOMPARE(t.unitFactor(), 1000.0);
    t.selectUnit(-1);
    QCOMPARE(t.unitIndex(), 1);
    QCOMPARE(t.unitFactor(), 1.0);
    t.selectUnit(25);
    QCOMPARE(t.unitIndex(), 18);
    QCOMPARE(t.unitFactor(), 1.0);
    t.selectUnit(5);
    QCOMPARE(t.unitFactor(), 7.50062);
}

void TestSensorRange::nothingSelectedReadsZero()
{
    // At start no list is selected; a slider moved then must not read
    // outside the (empty) list.
    SensorRangeTable t;
    QVERIFY(!t.hasSelection());
    QCOMPARE(t.displayValue(0), 0.0f);
    QCOMPARE(t.displayValue(5), 0.0f);
    QCOMPARE(t.deviceValue(-1), 0.0f);
    QCOMPARE(t.rangeNumber(0), 0);
}

void TestSensorRange::slidersNeverMeet()
{
    QCOMPARE(SensorRangeTable::upperSliderValue(3, 3), 4);   // dragged down onto the lower one
    QCOMPARE(SensorRangeTable::upperSliderValue(2, 3), 4);
    QCOMPARE(SensorRangeTable::upperSliderValue(7, 3), 7);
    QCOMPARE(SensorRangeTable::lowerSliderValue(5, 5), 4);   // dragged up onto the upper one
    QCOMPARE(SensorRangeTable::lowerSliderValue(2, 5), 2);
}

void TestSensorRange::unitTexts()
{
    QCOMPARE(SensorRangeTable::unitText(3), QString::fromUtf8("кгc/см2"));
    QCOMPARE(SensorRangeTable::unitText(3).at(2), QChar(0x0063));   // Latin c
    QCOMPARE(SensorRangeTable::unitText(9).at(1), QChar(0x0043));   // Latin C
    QCOMPARE(SensorRangeTable::unitText(6).right(2).at(0), QChar(0x0421));   // Cyrillic С
    QCOMPARE(SensorRangeTable::quantityText(7), QString::fromUtf8("Давление"));
    QCOMPARE(SensorRangeTable::quantityText(8), QString::fromUtf8("Ток"));
    QCOMPARE(SensorRangeTable::quantityText(9), QString::fromUtf8("Температура"));
    QCOMPARE(SensorRangeTable::quantityText(12), QString::fromUtf8("Расход"));
    QCOMPARE(SensorRangeTable::quantityText(15), QString::fromUtf8("Уровень"));
    QCOMPARE(SensorRangeTable::quantityText(30), QString::fromUtf8("Плотность"));
    QCOMPARE(SensorRangeTable::modelName(5), QString::fromUtf8("ЛТ3920ДВИ"));
    QVERIFY(SensorRangeTable::modelName(6).isEmpty());
}

QTEST_APPLESS_MAIN(TestSensorRange)
#include "tst_sensorrange.moc"
