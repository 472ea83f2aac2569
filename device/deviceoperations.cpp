#include "device/deviceoperations.h"

#include "device/coefficientgroup.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "devicedata/numbertext.h"

#include <QIODevice>

#include <cfloat>
#include <cmath>

using namespace RegisterMap;

namespace {

// One slot serves two buttons: the device tab's moving-average button sends
// its own spin box instead of the calibration tab's.
struct AlternateInput
{
    int code;
    const char *trigger;
    const char *input;
};
const AlternateInput alternateInputs[] = {
    {8, "buttonMovingAverage_3", "spinBoxMovingAverage_3"},
};

const char *alternateInputFor(int code, const QString &trigger)
{
    for (const AlternateInput &a : alternateInputs)
        if (a.code == code && trigger == QLatin1String(a.trigger))
            return a.input;
    return nullptr;
}

void addMessage(AnswerResult *r, StatusPane pane, const QString &text, bool colour = true)
{
    if (text.isEmpty())
        return;
    switch (pane) {
    case StatusPane::None:
        break;
    case StatusPane::Calibration:
        r->actions.append({WidgetAction::AppendStatus, StatusPanes::Calibration, text, colour});
        break;
    case StatusPane::Device:
        r->actions.append({WidgetAction::AppendStatus, StatusPanes::Device, text, colour});
        break;
    case StatusPane::CalibrationAndDevice:
        // Only the first pane is recoloured; the second keeps its colour.
        r->actions.append({WidgetAction::AppendStatus, StatusPanes::Calibration, text, colour});
        r->actions.append({WidgetAction::AppendStatus, StatusPanes::Device, text, false});
        break;
    }
}

void addMessage(AnswerResult *r, const OperationDescriptor &d)
{
    addMessage(r, d.pane, d.messageText());
}

void addError(AnswerResult *r, const char *text)
{
    r->actions.append({WidgetAction::ErrorLine, QString(), QString::fromLatin1(text)});
}

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

DeviceOperations::DeviceOperations() = default;

QVector<InputSpec> DeviceOperations::inputSpecs(int code, const QString &trigger)
{
    const OperationDescriptor *d = Operations::find(code);
    if (!d)
        return {};
    if (const CoefficientGroup *g = CoefficientGroup::forOperation(code))
        return g->writeCode() == code ? g->setInputs() : QVector<InputSpec>();
    QVector<InputSpec> specs;
    if (const char *alt = alternateInputFor(code, trigger))
        specs.append({QString::fromLatin1(alt), d->inputSource});
    else if (d->input)
        specs.append({QString::fromLatin1(d->input), d->inputSource});
    if (d->input2)
        specs.append({QString::fromLatin1(d->input2), d->input2Source});
    return specs;
}

QVector<InputSpec> DeviceOperations::answerInputSpecs(int code)
{
    const OperationDescriptor *d = Operations::find(code);
    if (d && d->handler == OperationHandler::FixedCurrentMode)
        return {{QString::fromLatin1(d->input), InputSource::CheckState}};
    return {};
}

bool DeviceOperations::payloadFor(const OperationDescriptor &d, const QVariantMap &inputs, OperationRequest *r,
                                  QByteArray *payload) const
{
    QVariant v = inputs.value(QString::fromLatin1(d.input));
    for (const AlternateInput &a : alternateInputs)
        if (a.code == d.code && inputs.contains(QLatin1String(a.input)))
            v = inputs.value(QLatin1String(a.input));
    const QVariant v2 = d.input2 ? inputs.value(QString::fromLatin1(d.input2)) : QVariant();

    // A typed text is the number it says from end to end, or nothing is
    // sent: "0,75" must not go out as 0, nor "300" as its low byte.
    double typed = 0;
    auto read = [&](const NumberText::InputRule &rule) {
        const QString widget = QString::fromLatin1(d.input);
        const NumberText::InputValue n = NumberText::readInput(v.toString(), rule);
        if (!n.ok) {
            r->refusals.append({widget, NumberText::inputRefusal(QString::fromUtf8(d.caption), n)});
            r->before.append({WidgetAction::SetPalette, widget, int(FieldPalette::Failed)});
            return false;
        }
        r->before.append({WidgetAction::SetPalette, widget, int(FieldPalette::Neutral)});
        typed = n.value;
        return true;
    };

    switch (d.payload) {
    case Payload::U8:
        *payload = ValueCodec::u8(v.toInt());
        return true;
    case Payload::U8FromHexText:
        if (!read(NumberText::InputRule::hex(0xff)))
            return false;
        *payload = ValueCodec::u8(int(typed));
        return true;
    case Payload::U8FromDecimalText:
        if (!read(NumberText::InputRule::integer(0, 255)))
            return false;
        *payload = ValueCodec::u8(int(typed));
        return true;
    case Payload::U8FromCheck:
        *payload = ValueCodec::u8(v.toInt() != 0 ? 1 : 0);
        return true;
    case Payload::U16FixedCurrent:
        // Beyond the loop the code saturates at its ends, as the loop does.
        if (!read(NumberText::InputRule::real()))
            return false;
        *payload = ValueCodec::u16(ValueCodec::fixedCurrentCode(typed, v2.toInt() != 0));
        return true;
    case Payload::ZeroAndU8:
        *payload = ValueCodec::u8(0) + ValueCodec::u8(v.toInt());
        return true;
    case Payload::TypeAndSensor:
        *payload = ValueCodec::u8(0) + ValueCodec::u8(v.toInt()) + ValueCodec::u8(0) + ValueCodec::u8(v2.toInt());
        return true;
    case Payload::U32FromDecimalText:
        if (!read(NumberText::InputRule::integer(0, 4294967295.0)))
            return false;
        *payload = ValueCodec::u32(uint32_t(typed));
        return true;
    case Payload::FloatFromText:
        if (!read(NumberText::InputRule::real()))
            return false;
        *payload = ValueCodec::float32(float(typed));
        return true;
    case Payload::FloatFromNumber:
        *payload = ValueCodec::float32(float(v.toDouble()));
        return true;
    case Payload::None:
    case Payload::Special:
        break;
    }
    return true;
}

OperationRequest DeviceOperations::buildOperation(int code, const QVariantMap &inputs)
{
    OperationRequest r;
    r.code = code;
    const OperationDescriptor *d = Operations::find(code);
    if (!d || d->handler == OperationHandler::External)
        return r;
    r.kind = d->kind;
    r.fixedPeriodMs = d->fixedPeriodMs;
    r.valid = true;

    switch (d->handler) {
    case OperationHandler::Generic:
    case OperationHandler::FixedCurrentMode:
        if (d->command == CmdReadRegisters)
            r.items.append(RequestItem::read(d->reg, d->width));
        else if (d->command == CmdWriteRegisters) {
            QByteArray payload;
            if (payloadFor(*d, inputs, &r, &payload))
                r.items.append(RequestItem::write(d->reg, payload));
        }
        else
            r.items.append({d->command, QByteArray()});
        break;
    case OperationHandler::UpperRange: {
        const int slider = inputs.value(QString::fromLatin1(d->input)).toInt();
        r.items.append(RequestItem::write(UpperLimit, ValueCodec::float32(m_ranges.deviceValue(slider))));
        r.items.append(RequestItem::write(RangeNumber, ValueCodec::u16(uint16_t(m_ranges.rangeNumber(slider)))));
        break;
    }
    case OperationHandler::LowerRange: {
        const int slider = inputs.value(QString::fromLatin1(d->input)).toInt();
        r.items.append(RequestItem::write(LowerLimit, ValueCodec::float32(m_ranges.deviceValue(slider))));
        break;
    }
    case OperationHandler::DeviceSettings:
        // The unit/type block first, so the range list of the device is
        // selected before the limit answers are matched against it.
        r.items << RequestItem::read(MeasureUnit, DeviceSettingsBlockWidth)
                << RequestItem::read(UpperLimit, FloatWidth) << RequestItem::read(LowerLimit, FloatWidth)
                << RequestItem::read(CurrentZeroBalance, 1) << RequestItem::read(MovingAverageU12, 1)
                << RequestItem::read(PulseAmplitude, FloatWidth);
        break;
    case OperationHandler::KdspRead:
    case OperationHandler::CoefRead:
    case OperationHandler::AkRead: {
        const CoefficientGroup *g = CoefficientGroup::forOperation(code);
        r.before = g->clearActions(CoefficientGroup::Receive);
        r.items = g->readRequests();
        break;
    }
    case OperationHandler::KdspWrite:
    case OperationHandler::CoefWrite:
    case OperationHandler::AkWrite:
        CoefficientGroup::forOperation(code)->buildWrites(inputs, &r.items, &r.before, &r.refusals);
        break;
    case OperationHandler::BalanceDp:
        r.items.append(RequestItem::read(PressureZeroBalance, FloatWidth));
        break;
    case OperationHandler::Serial:
        r.items.append(RequestItem::read(SerialNumber, FloatWidth));
        if (m_saveChainActive)
            r.items.append(RequestItem::read(DeviceType, 4));
        break;
    case OperationHandler::PressureQuery:
        if (m_pressureQueryArmed) {
            r.items.append(RequestItem::read(PressureValue, FloatWidth));
            r.before.append({WidgetAction::SetText, QStringLiteral("pbQueryPressure"), u("Остановить опрос")});
            m_pressureQueryArmed = false;
        } else {
            r.stopOnly = true;
            r.before.append({WidgetAction::SetText, QStringLiteral("pbQueryPressure"), u("Начать опрос")});
            m_pressureQueryArmed = true;
        }
        break;
    case OperationHandler::RecordWrite:
        if (!recordLoaded()) {
            // Without a loaded record the parameters dialog writes its own fields.
            r.valid = false;
            break;
        }
        buildRecordWrite(&r);
        break;
    case OperationHandler::External:
        break;
    }
    return r;
}

void DeviceOperations::buildRecordWrite(OperationRequest *r) const
{
    using namespace LoadedRecord;
    const QVector<double> &v = m_record;
    auto floats = [&v](int from, int count) {
        QByteArray b;
        for (int i = from; i < from + count; ++i)
            b += ValueCodec::float32(float(v.at(i)));
        return b;
    };
    auto byte = [&v](int i) { return ValueCodec::u8(ValueCodec::lowByteOf(v.at(i))); };

    r->items << RequestItem::write(CurrentZeroBalance, byte(BalIdac) + ValueCodec::u8(0) + byte(Itenzo))
             << RequestItem::write(MaxUpperLimit, floats(Pmax, 1))
             << RequestItem::write(RegisterMap::Uk1h, floats(LoadedRecord::Uk1h, 4))
             << RequestItem::write(RegisterMap::A42, floats(LoadedRecord::A42, 4))
             << RequestItem::write(DeviceType,
                                   ValueCodec::u8(0) + byte(ModelName) + ValueCodec::u8(0) + byte(ModelCode))
             << RequestItem::write(RegisterMap::B42, floats(LoadedRecord::B42, 6))
             << RequestItem::write(CurrentCorrection, floats(LoadedRecord::Ksi, 7))
             << RequestItem::write(Kdsp6, floats(LoadedRecord::Kdsp0 + 6, 6))
             << RequestItem::write(SerialNumber, ValueCodec::u32(ValueCodec::u32Of(v.at(LoadedRecord::Serial))));
    for (int i = LoadedRecord::B42; i <= LoadedRecord::C40; ++i)
        r->before.append({WidgetAction::ErrorLine, QString(), ValueCodec::formatG(float(v.at(i))) + QLatin1Char('\n')});
}

AnswerResult DeviceOperations::decodeAnswer(const OperationAnswer &a, const QVariantMap &widgets)
{
    AnswerResult r;
    const OperationDescriptor *d = Operations::find(a.code);
    if (!d)
        return r;
    switch (d->handler) {
    case OperationHandler::External:
        break;
    case OperationHandler::Generic:
    case OperationHandler::PressureQuery:
    case OperationHandler::UpperRange:
    case OperationHandler::LowerRange:
        decodeGeneric(*d, a, &r);
        break;
    case OperationHandler::FixedCurrentMode: {
        addMessage(&r, *d);
        const bool on = widgets.value(QString::fromLatin1(d->input)).toInt() != 0;
        r.actions.append({WidgetAction::SetEnabled, QStringLiteral("buttonSetFixedCurrent"), on});
        r.actions.append({WidgetAction::SetEnabled, QStringLiteral("lineEditSetFixedCurrent"), on});
        break;
    }
    case OperationHandler::DeviceSettings:
        decodeDeviceSettings(a, &r);
        break;
    case OperationHandler::KdspRead:
        decodeKdspRead(a, &r);
        break;
    case OperationHandler::CoefRead:
        if (a.checksumOk && a.data.size() >= FloatWidth) {
            const CoefficientGroup &g = CoefficientGroup::coef();
            const int start = g.indexOfRegister(ValueCodec::requestRegister(a.requestData));
            r.actions = g.fillFloats(start < 0 ? 0 : start, a.data);
        }
        break;
    case OperationHandler::AkRead:
        if (a.checksumOk && ValueCodec::requestRegister(a.requestData) == Ak0 && a.data.size() >= FloatWidth)
            r.actions = CoefficientGroup::ak().fillFloats(0, a.data);
        break;
    case OperationHandler::KdspWrite:
    case OperationHandler::CoefWrite:
    case OperationHandler::AkWrite:
        r.actions = CoefficientGroup::forOperation(a.code)->decodeWrite(a);
        break;
    case OperationHandler::BalanceDp:
        decodeBalanceDp(a, &r);
        break;
    case OperationHandler::Serial:
        decodeSerial(*d, a, &r);
        break;
    case OperationHandler::RecordWrite:
        decodeRecordWrite(a, &r);
        break;
    }
    return r;
}

void DeviceOperations::decodeGeneric(const OperationDescriptor &d, const OperationAnswer &a, AnswerResult *r) const
{
    if (d.command != CmdReadRegisters) {
        addMessage(r, d);
        return;
    }
    if (d.checksumGated && !a.checksumOk)
        return;
    if (d.messageFirst)
        addMessage(r, d);

    const bool lengthOk = d.exactLength ? a.data.size() == d.width : a.data.size() >= d.width;
    const bool registerOk = !d.checkRegister || ValueCodec::requestRegister(a.requestData) == d.reg;
    if (!lengthOk || !registerOk) {
        if (d.errorText && (!lengthOk || d.errorOnRegister))
            addError(r, d.errorText);
        return;
    }

    const QString out = QString::fromLatin1(d.output);
    const uint8_t b0 = uint8_t(a.data.at(0));
    float f = 0;
    switch (d.shown) {
    case Shown::ModeText: {
        const QString text = Operations::modeText(b0);
        if (text.isEmpty())
            return;   // an unknown mode leaves the field as it was
        r->actions.append({WidgetAction::SetText, out, text});
        break;
    }
    case Shown::SignedDecimal:
        r->actions.append({WidgetAction::SetText, out, QString::number(int8_t(b0))});
        break;
    case Shown::UnsignedDecimal:
        r->actions.append({WidgetAction::SetText, out, QString::number(b0)});
        break;
    case Shown::HexPrefixed:
        r->actions.append({WidgetAction::SetText, out, QStringLiteral("0x") + QString::number(b0, 16)});
        break;
    case Shown::FloatText:
        ValueCodec::readFloat(a.data, 0, &f);
        r->actions.append({WidgetAction::SetText, out, ValueCodec::formatG(f)});
        break;
    case Shown::FloatNumber:
        ValueCodec::readFloat(a.data, 0, &f);
        r->actions.append({WidgetAction::SetValue, out, double(f)});
        break;
    case Shown::None:
        break;
    }
    if (!d.messageFirst)
        addMessage(r, d);
}

void DeviceOperations::decodeDeviceSettings(const OperationAnswer &a, AnswerResult *r) const
{
    const QString averagesText = u("Количество точек скользящего среднего получено\n");
    const QString balanceText = u("Баланс нуля токового выхода получен\n");
    float f = 0;
    switch (ValueCodec::requestRegister(a.requestData)) {
    case MeasureUnit: {
        if (a.data.size() < DeviceSettingsBlockWidth)
            return;
        r->actions.append({WidgetAction::SetCurrentIndex, QStringLiteral("comboBoxMesure"), int(uint8_t(a.data.at(1)))});
        const QString model = SensorRangeTable::modelName(uint8_t(a.data.at(3)));
        if (!model.isEmpty())
            r->actions.append({WidgetAction::SelectItemText, QStringLiteral("comboBoxCurrentDevice"), model});
        r->actions.append({WidgetAction::SetValue, QStringLiteral("spinBoxSensorCode"), int(int8_t(a.data.at(5)))});
        addMessage(r, StatusPane::Device, u("Тип устройства, код сенсора и ед. измерения получены\n"));
        break;
    }
    case UpperLimit:
        addMessage(r, StatusPane::Device, u("Верхний предел измерений получен\n"));
        if (ValueCodec::readFloat(a.data, 0, &f))
            r->actions.append({WidgetAction::SetValueAndNotify, QStringLiteral("sliderChooseRange"),
                               m_ranges.indexOfValue(double(f))});
        break;
    case LowerLimit:
        addMessage(r, StatusPane::Device, u("Нижний предел измерений получен\n"));
        if (ValueCodec::readFloat(a.data, 0, &f))
            r->actions.append({WidgetAction::SetValueAndNotify, QStringLiteral("sliderChooseRangeMin"),
                               m_ranges.indexOfValue(double(f))});
        break;
    case MovingAverageU12:
        addMessage(r, StatusPane::Device, averagesText);
        if (!a.data.isEmpty())
            r->actions.append({WidgetAction::SetValue, QStringLiteral("spinBoxMovingAverage_3"), int(int8_t(a.data.at(0)))});
        break;
    case CurrentZeroBalance:
        // Its own message: the moving average's would be shown twice.
        addMessage(r, StatusPane::Device, balanceText);
        if (!a.data.isEmpty())
            r->actions.append({WidgetAction::SetValue, QStringLiteral("spinBoxSensorCode_2"), int(int8_t(a.data.at(0)))});
        break;
    case PulseAmplitude:
        addMessage(r, StatusPane::Device, u("Учитываемое значение амплитуды импульса получено\n"));
        if (ValueCodec::readFloat(a.data, 0, &f))
            r->actions.append({WidgetAction::SetValue, QStringLiteral("sbFilterAmp"), double(f)});
        break;
    default:
        break;
    }
}

void DeviceOperations::decodeKdspRead(const OperationAnswer &a, AnswerResult *r)
{
    if (!a.checksumOk)
        return;
    const int reg = ValueCodec::requestRegister(a.requestData);
    const bool floatBlock = reg == CurrentCorrection || reg == Kdsp5;
    const int n = a.data.size();
    // A float block needs its six floats, the current block its three bytes.
    if (floatBlock ? n != 6 * FloatWidth : (n != 6 * FloatWidth && n != CurrentBlockWidth)) {
        addError(r, "KDSP request error, dat\n");
        return;
    }
    const CoefficientGroup &g = CoefficientGroup::kdsp();
    if (!m_saveChainActive) {
        if (floatBlock) {
            r->actions = g.fillFloats(g.indexOfRegister(reg), a.data);
        } else {
            const QString &field = g.entries().at(0).receiveField;
            r->actions.append({WidgetAction::SetText, field, QString::number(uint8_t(a.data.at(0)))});
            r->actions.append({WidgetAction::SetPalette, field, int(FieldPalette::Confirmed)});
        }
        return;
    }

    if (!floatBlock) {
        appendToChainFile(QStringLiteral("bal_IDAC:%1\n").arg(uint8_t(a.data.at(0))));
        appendToChainFile(QStringLiteral("Itenzo:%1\n").arg(int(int8_t(a.data.at(2)))));
        return;
    }
    const int start = g.indexOfRegister(reg);
    for (int k = 0; k < 6; ++k) {
        float f = 0;
        ValueCodec::readFloat(a.data, k * FloatWidth, &f);
        appendToChainFile(g.entries().at(start + k).name + QLatin1Char(':') + ValueCodec::formatG(f) +
                          QLatin1Char('\n'));
    }
    if (reg == Kdsp5)
        r->followUp = 40;
}

void DeviceOperations::decodeBalanceDp(const OperationAnswer &a, AnswerResult *r)
{
    float f = 0;
    if (!a.checksumOk || a.data.size() != FloatWidth || !m_saveChainActive)
        return;
    ValueCodec::readFloat(a.data, 0, &f);
    appendToChainFile(QStringLiteral("bal_dP:") + ValueCodec::formatF(f) + QLatin1Char('\n'));
    r->followUp = 42;
}

void DeviceOperations::decodeSerial(const OperationDescriptor &d, const OperationAnswer &a, AnswerResult *r)
{
    uint32_t value = 0;
    if (!a.checksumOk || a.data.size() != 4 || !ValueCodec::readU32(a.data, 0, &value))
        return;
    const int reg = ValueCodec::requestRegister(a.requestData);
    if (reg == SerialNumber) {
        if (m_saveChainActive) {
            appendToChainFile(QStringLiteral("serial:%1\n").arg(value));
        } else {
            addMessage(r, d);
            r->actions.append({WidgetAction::SetText, QString::fromLatin1(d.output), QString::number(value)});
        }
    } else if (reg == DeviceType && m_saveChainActive) {
        appendToChainFile(QStringLiteral("model_name:") + SensorRangeTable::modelName(uint8_t(a.data.at(1))) +
                          QLatin1Char('\n'));
        appendToChainFile(QStringLiteral("model_code:%1\n").arg(int(int8_t(a.data.at(3)))));
        endSaveChain();
    }
}

void DeviceOperations::decodeRecordWrite(const OperationAnswer &a, AnswerResult *r) const
{
    const int reg = ValueCodec::requestRegister(a.requestData);
    QString text;
    if (recordLoaded()) {
        switch (reg) {
        case CurrentZeroBalance: text = u("Записаны баланс токового выхода и режим работы по току\n"); break;
        case MaxUpperLimit: text = u("Записано Pmax\n"); break;
        case RegisterMap::Uk1h: text = u("Записаны Uk1h, Uk2h, U10, U20\n"); break;
        case SerialNumber: text = u("Записан серийный номер\n"); break;
        case RegisterMap::A42: text = u("Записаны a42..40, balance_dP\n"); break;
        case DeviceType: text = u("Записаны имя и код модели\n"); break;
        case RegisterMap::B42: text = u("Записаны b42..40, c42..40\n"); break;
        case CurrentCorrection: text = u("Записаны коэффициент коррекции токового выхода, kdsp0..5\n"); break;
        case Kdsp6: text = u("Записаны kdsp6..10\n"); break;
        default: break;
        }
        if (text.isEmpty())   // the colour is set even when no line follows
            r->actions.append({WidgetAction::AppendStatus, StatusPanes::Calibration, QString(), true});
        else
            addMessage(r, StatusPane::Calibration, text, true);
        return;
    }
    // The dialog's own writes are told apart by the low address byte only.
    if (reg < 0)
        return;
    switch (lowByte(uint16_t(reg))) {
    case lowByte(RegisterMap::Uk1h): text = u("Записаны коэффициенты калибровки\n"); break;
    case lowByte(RegisterMap::A42): text = u("Записаны коэффициенты А\n"); break;   // Cyrillic А
    case lowByte(RegisterMap::B42): text = u("Записаны коэффициенты B\n"); break;
    case lowByte(RegisterMap::C42): text = u("Записаны коэффициенты C\n"); break;
    case lowByte(RegisterMap::C43): text = u("Записан коэффициент C43\n"); break;
    default: break;
    }
    addMessage(r, StatusPane::Calibration, text, false);
}

void DeviceOperations::beginSaveChain(QIODevice *file)
{
    m_parametersFile = file;
    m_saveChainActive = true;
}

void DeviceOperations::abortSaveChain()
{
    endSaveChain();
}

void DeviceOperations::appendToChainFile(const QString &text)
{
    if (m_parametersFile && m_parametersFile->isOpen())
        m_parametersFile->write(text.toUtf8());
}

void DeviceOperations::endSaveChain()
{
    if (m_parametersFile && m_parametersFile->isOpen())
        m_parametersFile->close();
    m_parametersFile.clear();
    m_saveChainActive = false;
}

bool DeviceOperations::setLoadedRecord(const QVector<double> &values)
{
    if (values.size() != LoadedRecord::Size)
        return false;
    // Only what the registers hold exactly: finite singles, and the serial
    // number as the unsigned 32-bit integer it is.
    for (int i = 0; i < values.size(); ++i) {
        const double v = values.at(i);
        if (!std::isfinite(v))
            return false;
        if (i == LoadedRecord::Serial ? (v < 0 || v > 4294967295.0 || v != std::trunc(v))
                                      : std::fabs(v) > double(FLT_MAX))
            return false;
    }
    m_record = values;
    return true;
}

bool DeviceOperations::setLoadedRecord(const QVector<float> &values)
{
    QVector<double> d;
    d.reserve(values.size());
    for (float f : values)
        d.append(double(f));
    return setLoadedRecord(d);
}

void DeviceOperations::clearLoadedRecord()
{
    m_record.clear();
}
