#include "device/operations.h"

#include "device/registermap.h"
#include "device/valuecodec.h"
#include "link/hartframe.h"

namespace StatusPanes {
const char *const Calibration = "textEditStatusCalibration";
const char *const Device = "textEditStatusSettingsDevice";
}

namespace {

using namespace RegisterMap;

OperationDescriptor base(int code, const char *slot, int command)
{
    OperationDescriptor d{};
    d.code = code;
    d.slot = slot;
    d.command = command;
    d.payload = Payload::None;
    d.inputSource = InputSource::Value;
    d.input2Source = InputSource::Value;
    d.kind = RequestKind::Single;
    d.pane = StatusPane::None;
    d.shown = Shown::None;
    d.handler = OperationHandler::Generic;
    return d;
}

// A HART command without data whose answer only confirms.
OperationDescriptor command(int code, const char *slot, int cmd, const char *message, StatusPane pane)
{
    OperationDescriptor d = base(code, slot, cmd);
    d.message = message;
    d.pane = pane;
    return d;
}

// A register write whose answer only confirms.
OperationDescriptor write(int code, const char *slot, uint16_t reg, int width, Payload payload,
                          const char *input, InputSource source, const char *message, StatusPane pane)
{
    OperationDescriptor d = command(code, slot, CmdWriteRegisters, message, pane);
    d.reg = reg;
    d.width = width;
    d.payload = payload;
    d.input = input;
    d.inputSource = source;
    return d;
}

// A register read shown in one widget.
OperationDescriptor read(int code, const char *slot, uint16_t reg, int width, Shown shown,
                         const char *output, const char *message, StatusPane pane)
{
    OperationDescriptor d = command(code, slot, CmdReadRegisters, message, pane);
    d.reg = reg;
    d.width = width;
    d.shown = shown;
    d.output = output;
    return d;
}

// Unchecked value reads: message first, at least width bytes, any register.
OperationDescriptor looseRead(OperationDescriptor d)
{
    d.messageFirst = true;
    return d;
}

// Checksum-gated reads of exactly width bytes of their own register.
OperationDescriptor strictRead(OperationDescriptor d, const char *errorText = nullptr, bool errorOnRegister = false)
{
    d.checksumGated = true;
    d.exactLength = true;
    d.checkRegister = true;
    d.errorText = errorText;
    d.errorOnRegister = errorOnRegister;
    return d;
}

// A write whose value the operator types; the caption names the field when
// the text is refused.
OperationDescriptor typed(OperationDescriptor d, const char *caption)
{
    d.caption = caption;
    return d;
}

OperationDescriptor special(int code, const char *slot, int cmd, OperationHandler handler, RequestKind kind,
                            const char *message = nullptr, StatusPane pane = StatusPane::None,
                            int fixedPeriodMs = 0)
{
    OperationDescriptor d = command(code, slot, cmd, message, pane);
    d.handler = handler;
    d.kind = kind;
    d.payload = cmd == CmdWriteRegisters ? Payload::Special : Payload::None;
    d.fixedPeriodMs = fixedPeriodMs;
    return d;
}

OperationDescriptor external(int code, const char *slot, int cmd)
{
    OperationDescriptor d = base(code, slot, cmd);
    d.handler = OperationHandler::External;
    return d;
}

QVector<OperationDescriptor> buildTable()
{
    using P = StatusPane;
    using S = InputSource;
    using H = OperationHandler;
    using K = RequestKind;
    QVector<OperationDescriptor> t;

    t << external(1, "sendRequest", 0)
      << external(2, "sendFindRequest", 0)
      << external(3, "sendFunc3Request", 3);

    t << command(4, "spanRequest", CmdSetUpperRange, "Верхнее значение диапазона установлено\n", P::CalibrationAndDevice)
      << command(5, "zeroRequest", CmdSetLowerRange, "Баланс нуля выполнен\n", P::CalibrationAndDevice)
      << command(6, "zeroFirstVarRequest", CmdSetPvZero, "Установлен нуль первичной переменной\n", P::Calibration);

    t << write(7, "setMode", Mode, 1, Payload::U8, "comboBoxSetMode", S::ItemData,
               "Режим работы установлен\n", P::Calibration)
      << write(8, "setMovingAverage_1", MovingAverageU12, 1, Payload::U8, "spinBoxMovingAverage_1", S::Value,
               "Изменено количество точек скользящего среднего U1, U2\n", P::CalibrationAndDevice)
      << write(9, "setMovingAverage_2", MovingAverageU34, 1, Payload::U8, "spinBoxMovingAverage_2", S::Value,
               "Изменено количество точек скользящего среднего U3, U4\n", P::Calibration)
      << typed(write(10, "setAddress", PollAddress, 1, Payload::U8FromHexText, "comboBoxSetAddress", S::Text,
                     "Адрес устройства изменен\n", P::Calibration),
               "Адрес устройства")
      << typed(write(11, "setMaxValue", MaxUpperLimit, 4, Payload::FloatFromText, "lineEditSetMaxValue", S::Text,
                     "Установлен максимальный верхний предел\n", P::Calibration),
               "Максимальный верхний предел диапазона измерений, Па(Pmax)");

    t << looseRead(read(16, "getMode", Mode, 1, Shown::ModeText, "lineEditGetMode",
                        "Режим работы устройства получен\n", P::Calibration))
      << strictRead(read(17, "getMovingAverage_1", MovingAverageU12, 1, Shown::SignedDecimal,
                         "lineEditGetMovingAverage_1",
                         "Получено количество точек скользящего среднего U1, U2\n", P::Calibration),
                    "filter1Size request error, dat\n", true)
      << strictRead(read(18, "getMovingAverage_2", MovingAverageU34, 1, Shown::SignedDecimal,
                         "lineEditGetMovingAverage_2",
                         "Получено количество точек скользящего среднего U3, U4\n", P::Calibration),
                    "filter2Size request error, dat\n", false);
    OperationDescriptor address = strictRead(read(19, "getAddress", PollAddress, 1, Shown::HexPrefixed,
                                                  "lineEditGetAddress", "Адрес получен\n", P::Calibration));
    address.exactLength = false;  // only the register is checked; byte 0 is what counts
    t << address;
    t << looseRead(read(20, "getMaxValue", MaxUpperLimit, 4, Shown::FloatText, "lineEditMaxValueGet",
                        "Получен максимальный верхний предел\n", P::Calibration))
      << looseRead(read(22, "getCurrent", CurrentValue, 4, Shown::FloatText, "lineEditGetCurrent",
                        "Значение тока получено\n", P::Calibration))
      << looseRead(read(23, "getPressue", PressureValue, 4, Shown::FloatText, "lineEditGetPressue",
                        "Значение давления получено\n", P::Calibration));

    OperationDescriptor fixedMode = write(24, "on_checkBoxFixedCurrent_stateChanged", FixedCurrentMode, 1,
                                          Payload::U8FromCheck, "checkBoxFixedCurrent", S::CheckState,
                                          "Установлен режим фиксированного тока\n", P::Calibration);
    fixedMode.handler = H::FixedCurrentMode;
    t << fixedMode;
    OperationDescriptor fixedCode = write(25, "setValueFixedCurrent", FixedCurrentCode, 2, Payload::U16FixedCurrent,
                                          "lineEditSetFixedCurrent", S::Text, "Ток установлен\n", P::Calibration);
    fixedCode.input2 = "radioButton_38_21";
    fixedCode.caption = "Фиксированное значение тока, мА";
    fixedCode.input2Source = S::CheckState;
    t << fixedCode;

    t << external(26, "calcCoef", CmdReadRegisters)
      << external(27, "calcCoefMNK", CmdReadRegisters)
      << special(28, "download2Device", CmdWriteRegisters, H::RecordWrite, K::Queued, nullptr, P::Calibration, 1500)
      << external(29, "uploadFromDevice", CmdReadRegisters);

    OperationDescriptor upper = special(30, "setRange", CmdWriteRegisters, H::UpperRange, K::Queued,
                                        "Установлен верхний предел\n", P::Device, 1500);
    upper.input = "sliderChooseRange";
    t << upper;
    OperationDescriptor type = write(31, "setTypeDevice", DeviceType, 4, Payload::TypeAndSensor,
                                     "comboBoxCurrentDevice", S::ItemData,
                                     "Установлен тип датчика и код сенсора\n", P::Device);
    type.input2 = "spinBoxSensorCode";
    t << type;
    t << special(32, "getTypeDevice", CmdReadRegisters, H::DeviceSettings, K::Queued, nullptr, P::Device);
    t << write(33, "on_buttonSetBalanceZero_clicked", CurrentZeroBalance, 1, Payload::U8, "spinBoxSensorCode_2",
               S::Value, "Установлено смещение нуля\n", P::Device);
    OperationDescriptor lower = special(34, "setRangeMin", CmdWriteRegisters, H::LowerRange, K::Single,
                                        "Установлен нижний предел\n", P::Device);
    lower.reg = LowerLimit;
    lower.width = 4;
    lower.input = "sliderChooseRangeMin";
    t << lower;
    t << write(35, "setMesureUnit", MeasureUnit, 2, Payload::ZeroAndU8, "comboBoxMesure", S::ItemData,
               "Единицы измерения установлены\n", P::Device);

    t << special(36, "onKdspRequest", CmdReadRegisters, H::KdspRead, K::Queued)
      << special(37, "onKdspSet", CmdWriteRegisters, H::KdspWrite, K::Queued, nullptr, P::None, 1500)
      << special(38, "onCoefRequest", CmdReadRegisters, H::CoefRead, K::Queued)
      << special(39, "onCoefSet", CmdWriteRegisters, H::CoefWrite, K::Queued, nullptr, P::None, 1500);
    OperationDescriptor balance = special(40, "on_balance_dP_recv", CmdReadRegisters, H::BalanceDp, K::Single);
    balance.reg = PressureZeroBalance;
    balance.width = 4;
    balance.checksumGated = true;
    t << balance;
    OperationDescriptor serial = special(42, "on_serial_recv", CmdReadRegisters, H::Serial, K::Queued,
                                         "Серийный номер получен\n", P::Calibration);
    serial.reg = SerialNumber;
    serial.width = 4;
    serial.checksumGated = true;
    serial.output = "leGetSerial";
    t << serial;
    t << typed(write(43, "on_serial_set", SerialNumber, 4, Payload::U32FromDecimalText, "leSetSerial", S::Text,
                     "Серийный номер установлен\n", P::Calibration),
               "Серийный номер")
      << command(44, "onRebootDeviceReq", CmdDeviceReset, "Запрос на перезагрузку устройства отправлен\n", P::Device)
      << special(45, "onAkRequest", CmdReadRegisters, H::AkRead, K::Single)
      << special(46, "onAkSet", CmdWriteRegisters, H::AkWrite, K::Queued)
      << typed(write(47, "onSetEEPROMPaswd", EepromPassword, 1, Payload::U8FromDecimalText, "leSetEEPROMPaswd",
                     S::Text, "Пароль на запись в EEPROM установлен\n", P::Calibration),
               "Пароль на запись в EEPROM")
      << strictRead(read(48, "onGetEEPROMPaswd", EepromPassword, 1, Shown::UnsignedDecimal, "leGetEEPROMPaswd",
                         "Пароль на запись в EEPROM получен\n", P::Calibration))
      << write(49, "onSetFilterAmp", PulseAmplitude, 4, Payload::FloatFromNumber, "sbFilterAmp", S::Value,
               "Учитываемое значение амплитуды импульса установлено\n", P::Device);
    OperationDescriptor pressure = strictRead(read(50, "onPressureQuery", PressureValue, 4, Shown::FloatNumber,
                                                   "sbPressure", nullptr, P::None));
    pressure.kind = K::Cyclic;
    pressure.handler = H::PressureQuery;
    t << pressure;

    t << external(51, "onRecvCoefsFromDevice", CmdReadRegisters)
      << external(52, "onSendCoefsToDevice", CmdWriteRegisters);

    t << strictRead(read(135, "onCurrentRegRecv", CurrentLoopMode, 1, Shown::SignedDecimal,
                         "current_reg_recv_lineEdit", "Режим работы по току получен\n", P::Device),
                    "COEF request error, dat\n", true)
      << write(136, "onCurrentRegSet", CurrentLoopMode, 1, Payload::U8, "current_reg_spinBox", S::Value,
               "Режим работы по току установлен\n", P::Device);
    return t;
}

} // namespace

const QVector<OperationDescriptor> &Operations::all()
{
    static const QVector<OperationDescriptor> table = buildTable();
    return table;
}

const OperationDescriptor *Operations::find(int code)
{
    for (const OperationDescriptor &d : all())
        if (d.code == code)
            return &d;
    return nullptr;
}

QString Operations::modeText(int mode)
{
    if (mode == 1 || mode == 2)
        return QStringLiteral("HART (%1)").arg(mode);
    if (mode >= 3 && mode <= 11)
        return QStringLiteral("RS-485 (%1)").arg(mode - 2);
    return QString();
}

RequestItem RequestItem::read(uint16_t reg, int count)
{
    return {CmdReadRegisters, ValueCodec::readData(reg, count)};
}

RequestItem RequestItem::write(uint16_t reg, const QByteArray &payload)
{
    return {CmdWriteRegisters, ValueCodec::writeData(reg, payload)};
}

QByteArray OperationRequest::addressBytes(uint8_t address, bool longFrame)
{
    if (!longFrame)
        return QByteArray(1, char(address));
    QByteArray a = QByteArray::fromHex("0f0200fdef");
    a[2] = char(address);
    return a;
}

bool OperationRequest::frames(int preamble, bool longFrame, const QByteArray &address, QVector<QByteArray> *out,
                              QString *error) const
{
    out->clear();
    for (const RequestItem &item : items) {
        HartRequestFrame frame;
        frame.setPreambleCount(preamble);
        frame.setLongFrame(longFrame);
        frame.setAddressBytes(address);
        const auto *d = reinterpret_cast<const uint8_t *>(item.data.constData());
        bool ok = false;
        switch (item.command) {
        case CmdSetUpperRange: ok = frame.buildCommand36(); break;
        case CmdSetLowerRange: ok = frame.buildCommand37(); break;
        case CmdDeviceReset: ok = frame.buildCommand42(); break;
        case CmdSetPvZero: ok = frame.buildCommand43(); break;
        case CmdReadRegisters: ok = item.data.size() == 3 && frame.buildCommand51(d); break;
        case CmdWriteRegisters: ok = frame.buildCommand91(d, item.data.size()); break;
        default: break;
        }
        if (!ok) {
            if (error)
                *error = frame.errorString().isEmpty()
                             ? QStringLiteral("command %1 cannot be framed").arg(item.command)
                             : frame.errorString();
            out->clear();
            return false;
        }
        out->append(frame.toByteArray());
    }
    return true;
}

QString OperationRequest::refusalText() const
{
    QStringList parts;
    for (const InputRefusal &r : refusals)
        parts << r.text;
    return QStringLiteral("Запрос не отправлен: ") + parts.join(QStringLiteral("; "))
           + QStringLiteral(". Исправьте значение и повторите");
}

QStringList AnswerResult::messages(const QString &pane) const
{
    QStringList list;
    for (const WidgetAction &a : actions)
        if (a.kind == WidgetAction::AppendStatus && (pane.isEmpty() || a.target == pane))
            list << a.value.toString();
    return list;
}

QStringList AnswerResult::errorLines() const
{
    QStringList list;
    for (const WidgetAction &a : actions)
        if (a.kind == WidgetAction::ErrorLine)
            list << a.value.toString();
    return list;
}

QVariant AnswerResult::valueOf(const QString &target, WidgetAction::Kind kind) const
{
    QVariant last;
    for (const WidgetAction &a : actions)
        if (a.kind == kind && a.target == target)
            last = a.value;
    return last;
}

bool AnswerResult::touches(const QString &target) const
{
    for (const WidgetAction &a : actions)
        if (a.target == target)
            return true;
    return false;
}
