// Numbers typed into the window's fields, against a virtual transmitter: a
// text that is not the number its field takes turns the field red, is named
// in the status bar (and the tab's pane), and sends nothing, as the device's
// memory and the line's request list show; the same field with "." or ","
// then goes out as typed.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "devicebench.h"

#include <QLocale>
#include <QStatusBar>
#include <QtTest>

using namespace bench;

class TestNumberInput : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_sandbox.enter()); }
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        m_sandbox.leave();
    }

    void typedTextRefusedThenSent_data();
    void typedTextRefusedThenSent();
    void decimalSpinBoxTakesBothSeparators_data();
    void decimalSpinBoxTakesBothSeparators();

private:
    Sandbox m_sandbox;
};

namespace {

// "name=text" sets the text; "name~text" types it, as a person would.
bool assign(DeviceBench &b, const QString &assignment)
{
    const int typed = assignment.indexOf(QLatin1Char('~'));
    if (typed < 0)
        return b.setInput(assignment);
    auto *field = b.widget<QLineEdit>(assignment.left(typed));
    if (!field)
        return false;
    field->clear();
    QTest::keyClicks(field, assignment.mid(typed + 1));
    return true;
}

bool clickAll(DeviceBench &b, const QStringList &buttons)
{
    for (const QString &name : buttons) {
        auto *button = b.widget<QAbstractButton>(name);
        if (!button)
            return false;
        button->setEnabled(true);   // the fixed-current button waits for its mode
        button->click();
    }
    return true;
}

} // namespace

void TestNumberInput::typedTextRefusedThenSent_data()
{
    QTest::addColumn<QStringList>("bad");        // the inputs refused
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("field");          // the field that turns red
    QTest::addColumn<QString>("named");          // what the message says of it
    QTest::addColumn<QString>("pane");           // the tab's pane it reaches, if any
    QTest::addColumn<QStringList>("fix");        // the corrected inputs
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("expected");

    const QString cal = QStringLiteral("textEditStatusCalibration");
    const QString pmax = QStringLiteral("«Максимальный верхний предел диапазона измерений, Па(Pmax)»: ");
    QTest::newRow("Pmax letters") << QStringList{"lineEditSetMaxValue=abc"} << QStringList{"buttonSetMaxValue"}
                        << "lineEditSetMaxValue" << pmax + "«abc» — не число" << cal
                        << QStringList{"lineEditSetMaxValue=0,75"} << 0x001E << "f32" << 0.75;
    QTest::newRow("Pmax digits, then letters") << QStringList{"lineEditSetMaxValue=12abc"} << QStringList{"buttonSetMaxValue"}
                                     << "lineEditSetMaxValue" << pmax + "«12abc» — не число" << cal
                                     << QStringList{"lineEditSetMaxValue=1,1"} << 0x001E << "f32" << double(1.1f);
    QTest::newRow("Pmax empty") << QStringList{"lineEditSetMaxValue="} << QStringList{"buttonSetMaxValue"}
                      << "lineEditSetMaxValue" << pmax + "поле пустое" << cal
                      << QStringList{"lineEditSetMaxValue=1.5e6"} << 0x001E << "f32" << 1.5e6;
    QTest::newRow("fixed current") << QStringList{"lineEditSetFixedCurrent=1.5xyz"} << QStringList{"buttonSetFixedCurrent"}
                         << "lineEditSetFixedCurrent" << "«Фиксированное значение тока, мА»: «1.5xyz» — не число"
                         << cal << QStringList{"lineEditSetFixedCurrent=12,0"} << 0x001A << "u16" << 32767.0;
    QTest::newRow("serial with a fraction") << QStringList{"leSetSerial=1,5"} << QStringList{"pbSetSerial"} << "leSetSerial"
                                  << "«Серийный номер»: «1,5» — не целое число" << cal
                                  << QStringList{"leSetSerial=123456789"} << 0x003A << "u32" << 123456789.0;
    QTest::newRow("serial beyond 32 bits") << QStringList{"leSetSerial=4294967296"} << QStringList{"pbSetSerial"}
                                 << "leSetSerial" << "вне допустимых значений 0…4294967295" << cal
                                 << QStringList{"leSetSerial=4294967295"} << 0x003A << "u32" << 4294967295.0;
    QTest::newRow("password beyond a byte") << QStringList{"leSetEEPROMPaswd=300"} << QStringList{"pbSetEEPROMPaswd"}
                                  << "leSetEEPROMPaswd" << "«Пароль на запись в EEPROM»: «300» — вне допустимых"
                                  << cal << QStringList{"leSetEEPROMPaswd=255"} << 0x00FB << "u8" << 255.0;
    QTest::newRow("range correction") << QStringList{"kdsp3_setEdit=abc", "kdsp4_setEdit=1,5"}
                            << QStringList{"kdsp_setButton"} << "kdsp3_setEdit"
                            << "«Поправочный коэффициент для диапазона №3»: «abc» — не число" << QString()
                            << QStringList{"kdsp3_setEdit=-2,25"} << 0x0134 << "f32" << -2.25;
    QTest::newRow("current zero balance") << QStringList{"idaczero_setEdit=300"} << QStringList{"kdsp_setButton"}
                                << "idaczero_setEdit" << "«Баланс нуля токового выхода»: «300»" << QString()
                                << QStringList{"idaczero_setEdit=200"} << 0x0015 << "u8" << 200.0;
    QTest::newRow("coefficient") << QStringList{"coef_a42_setEdit=1.5xyz"} << QStringList{"coef_setButton"}
                       << "coef_a42_setEdit" << "«Коэффициент a42»: «1.5xyz» — не число" << QString()
                       << QStringList{"coef_a42_setEdit=1,5"} << 0x004E << "f32" << 1.5;
    QTest::newRow("polynomial limit") << QStringList{"valueKmax_setEdit=1e2 kg"} << QStringList{"ak_setButton"}
                            << "valueKmax_setEdit" << "«Fmax»: «1e2 kg» — не число" << QString()
                            << QStringList{"valueKmax_setEdit=1e2"} << 0x01A4 << "f32" << 100.0;

    // The console writes register 0x1E from its first float's bytes.
    const QStringList console{"comboBoxFunc=91.Запись нескольких регистров", "spinBoxSymData91=4",
                              "lineAddr91_2=00", "lineAddr91=1e"};
    const QStringList send{"buttonCreate91Request", "buttonSend"};
    QTest::newRow("console float") << console + QStringList{"lineFloat_1~abc"} << send << "lineFloat_1"
                         << "«Значение 1»: «abc» — не число" << "textEditStatus"
                         << QStringList{"lineFloat_1~2,5"} << 0x001E << "f32" << 2.5;
    QTest::newRow("console byte") << console + QStringList{"lineFloat_1~2.5", "lineFloat_1_Byte_2="} << send
                        << "lineFloat_1_Byte_2" << "«Значение 1, байт 2»: поле пустое" << "textEditStatus"
                        << QStringList{"lineFloat_1~2.5"} << 0x001E << "f32" << 2.5;
    QTest::newRow("console register") << console + QStringList{"lineAddr91=zz", "lineFloat_1~2,5"} << send << "lineAddr91"
                            << "«Адрес, младший байт»: «zz» — не шестнадцатеричное число" << "textEditStatus"
                            << QStringList{"lineAddr91=1e"} << 0x001E << "f32" << 2.5;
}

void TestNumberInput::typedTextRefusedThenSent()
{
    QFETCH(QStringList, bad);
    QFETCH(QStringList, buttons);
    QFETCH(QString, field);
    QFETCH(QString, named);
    QFETCH(QString, pane);
    QFETCH(QStringList, fix);
    QFETCH(int, reg);
    QFETCH(QString, kind);
    QFETCH(double, expected);

    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (int i = 0; i < 4; ++i)
        b.device->setU8(uint16_t(reg + i), 0x5A);
    const double before = b.memory(uint16_t(reg), kind);
    for (const QString &in : bad)
        QVERIFY2(assign(b, in), qPrintable(in));
    b.line.clearRequests();

    QVERIFY(clickAll(b, buttons));
    QWidget *w = b.widget(field);
    QVERIFY(w);
    QCOMPARE(baseColour(w), QColor(Qt::red));
    const QString bar = b.w().statusBar()->currentMessage();
    QVERIFY2(bar.startsWith(QStringLiteral("Запрос не отправлен: ")) && bar.contains(named), qPrintable(bar));
    if (!pane.isEmpty())
        QVERIFY2(b.paneText(pane).contains(named), qPrintable(b.paneText(pane)));
    QVERIFY(!b.w().isBusy());
    // Nothing on the line, nothing in the device.
    QTest::qWait(150);
    QVERIFY(b.line.requests().isEmpty());
    QVERIFY(b.device->commandsSeen.isEmpty());
    QCOMPARE(b.memory(uint16_t(reg), kind), before);

    for (const QString &in : fix)
        QVERIFY2(assign(b, in), qPrintable(in));
    QVERIFY(clickAll(b, buttons));
    QTRY_COMPARE_WITH_TIMEOUT(b.memory(uint16_t(reg), kind), expected, 10000);
    QVERIFY(baseColour(w) != QColor(Qt::red));
}

void TestNumberInput::decimalSpinBoxTakesBothSeparators_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::newRow("C locale, comma") << QLocale::c() << "12,5";
    QTest::newRow("C locale, point") << QLocale::c() << "12.5";
    QTest::newRow("Russian locale, point") << QLocale(QLocale::Russian) << "12.5";
    QTest::newRow("Russian locale, comma") << QLocale(QLocale::Russian) << "12,5";
}

void TestNumberInput::decimalSpinBoxTakesBothSeparators()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    QLocale::setDefault(locale);
    DeviceBench b;
    const QString failure = b.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    auto *box = b.widget<QDoubleSpinBox>(QStringLiteral("sbFilterAmp"));
    QVERIFY(box);
    // Left to the spin box alone, the other separator would be taken for a
    // group separator: 125.0.
    box->clear();
    QTest::keyClicks(box, typed);
    QCOMPARE(box->value(), 12.5);
    b.ui()->pbSetFilterAmp->click();
    QTRY_COMPARE(b.device->f32(0x0188), 12.5f);
}

QTEST_MAIN(TestNumberInput)
#include "tst_numberinput.moc"
