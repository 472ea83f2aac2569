// The serial settings file: exactly 28 little-endian bytes or the defaults.

#include "link/protocolcomhart.h"
#include "link/serialconfig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

void verifyDefaults(const SerialConfig &c)
{
    QCOMPARE(c.reserved, 3);
    QCOMPARE(c.baudRate, 1200);
    QCOMPARE(c.dataBits, 8);
    QCOMPARE(c.parity, 3);
    QCOMPARE(c.stopBits, 1);
    QCOMPARE(c.flowControl, 1);
    QCOMPARE(int(c.rtsDelay), 10);
}
}

class TestSerialConfig : public QObject
{
    Q_OBJECT
private slots:
    void defaultsWhenUnusable_data();
    void defaultsWhenUnusable();
    void roundTripByteForByte();
    void layoutLittleEndian();
    void noValidation();
    void linkLoadsItAtConstruction();
    void saveFailsOnUnwritablePath();
};

void TestSerialConfig::defaultsWhenUnusable_data()
{
    QTest::addColumn<int>("size");     // -1: no file
    QTest::newRow("missing") << -1;
    QTest::newRow("empty") << 0;
    QTest::newRow("27 bytes") << 27;
}

void TestSerialConfig::defaultsWhenUnusable()
{
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("COM.conf.dat"));
    if (size >= 0)
        writeFile(path, QByteArray(size, '\x7f'));

    SerialConfig c;
    c.baudRate = 9600;
    c.padding[0] = 0x11;
    c.padding[1] = 0x22;
    QVERIFY(!c.load(path));
    verifyDefaults(c);
    // The padding has no default and keeps what it held.
    QCOMPARE(int(c.padding[0]), 0x11);
    QCOMPARE(int(c.padding[1]), 0x22);
}

void TestSerialConfig::roundTripByteForByte()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("COM.conf.dat"));
    // Every byte distinct, reserved word and padding included.
    QByteArray image(28, '\0');
    for (int i = 0; i < 28; ++i)
        image[i] = char(0xA0 + i);
    writeFile(path, image);

    SerialConfig c;
    QVERIFY(c.load(path));
    QCOMPARE(c.reserved, int32_t(0xA3A2A1A0));
    QCOMPARE(int(c.rtsDelay), 0xB9B8);
    QCOMPARE(int(c.padding[0]), 0xBA);
    QCOMPARE(int(c.padding[1]), 0xBB);

    const QString copy = dir.filePath(QStringLiteral("copy.dat"));
    QVERIFY(c.save(copy));
    QFile f(copy);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().toHex(' '), image.toHex(' '));

    // A longer file gives its first 28 bytes; saving writes exactly 28.
    writeFile(path, image + "extra");
    SerialConfig d;
    QVERIFY(d.load(path));
    QVERIFY(d.save(path));
    QCOMPARE(QFileInfo(path).size(), qint64(28));
}

void TestSerialConfig::layoutLittleEndian()
{
    SerialConfig c;
    c.setDefaults();
    const QByteArray b = c.toBytes();
    QCOMPARE(b.size(), 28);
    QCOMPARE(b.mid(0, 4).toHex(), QByteArray("03000000"));
    QCOMPARE(b.mid(4, 4).toHex(), QByteArray("b0040000"));
    QCOMPARE(b.mid(8, 4).toHex(), QByteArray("08000000"));
    QCOMPARE(b.mid(12, 4).toHex(), QByteArray("03000000"));
    QCOMPARE(b.mid(16, 4).toHex(), QByteArray("01000000"));
    QCOMPARE(b.mid(20, 4).toHex(), QByteArray("01000000"));
    QCOMPARE(b.mid(24, 2).toHex(), QByteArray("0a00"));
}

void TestSerialConfig::noValidation()
{
    SerialConfig c;
    c.baudRate = 115200;
    c.dataBits = 42;
    c.parity = -7;
    SerialConfig back;
    QVERIFY(SerialConfig::fromBytes(c.toBytes(), back));
    QCOMPARE(back.baudRate, 115200);
    QCOMPARE(back.dataBits, 42);
    QCOMPARE(back.parity, -7);
}

void TestSerialConfig::linkLoadsItAtConstruction()
{
    // The tests run in a fresh working directory: no file there means defaults.
    {
        protocolComHart link;
        verifyDefaults(link.serialConfig());
    }
    SerialConfig c;
    c.setDefaults();
    c.baudRate = 19200;
    c.flowControl = 0;
    c.rtsDelay = 3;
    QVERIFY(c.save());
    QCOMPARE(QFileInfo(QStringLiteral("./COM.conf.dat")).size(), qint64(28));
    protocolComHart link;
    QCOMPARE(link.serialConfig().baudRate, 19200);
    QCOMPARE(link.serialConfig().flowControl, 0);
    QCOMPARE(int(link.serialConfig().rtsDelay), 3);
}

void TestSerialConfig::saveFailsOnUnwritablePath()
{
    SerialConfig c;
    QVERIFY(!c.save(QStringLiteral("/no-such-dir/COM.conf.dat")));
}

QTEST_GUILESS_MAIN(TestSerialConfig)
#include "tst_serialconfig.moc"
