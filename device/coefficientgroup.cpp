#include "device/coefficientgroup.h"

#include "device/registermap.h"
#include "device/valuecodec.h"
#include "devicedata/numbertext.h"

using namespace RegisterMap;

namespace {

CoefficientGroup::Entry floatEntry(const QString &name, const QString &field, uint16_t reg,
                                   const QString &caption)
{
    return {name, field + QLatin1String("_recvEdit"), field + QLatin1String("_setEdit"), reg, false, caption};
}

} // namespace

CoefficientGroup::CoefficientGroup(int readCode, int writeCode, const char *conversionError, QVector<Entry> entries,
                                   QVector<QPair<uint16_t, int>> reads)
    : m_readCode(readCode), m_writeCode(writeCode), m_conversionError(QString::fromLatin1(conversionError)),
      m_entries(std::move(entries)), m_reads(std::move(reads))
{
}

const CoefficientGroup &CoefficientGroup::kdsp()
{
    static const CoefficientGroup group = [] {
        QVector<Entry> e;
        e << Entry{QStringLiteral("bal_IDAC"), QStringLiteral("idaczero_recvEdit"), QStringLiteral("idaczero_setEdit"),
                   CurrentZeroBalance, true, QStringLiteral("Баланс нуля токового выхода")};
        e << floatEntry(QStringLiteral("Ksi"), QStringLiteral("idaccoef"), CurrentCorrection,
                        QStringLiteral("Коэффициент коррекции токового выхода"));
        for (int k = 0; k < KdspCount; ++k)
            e << floatEntry(QStringLiteral("Kdsp%1").arg(k), QStringLiteral("kdsp%1").arg(k), RegisterMap::kdsp(k),
                            QStringLiteral("Поправочный коэффициент для диапазона №%1").arg(k));
        return CoefficientGroup(36, 37, "onKdspSet:Conversion error\n", e,
                                {{CurrentZeroBalance, CurrentBlockWidth},
                                 {CurrentCorrection, 6 * FloatWidth},
                                 {Kdsp5, 6 * FloatWidth}});
    }();
    return group;
}

const CoefficientGroup &CoefficientGroup::coef()
{
    static const CoefficientGroup group = [] {
        const QPair<const char *, uint16_t> regs[] = {
            {"a42", A42}, {"a41", A41}, {"a40", A40}, {"b42", B42}, {"b41", B41}, {"b40", B40}, {"c43", C43},
            {"c42", C42}, {"c41", C41}, {"c40", C40}, {"t42", T42}, {"t41", T41}, {"t40", T40},
        };
        QVector<Entry> e;
        for (const auto &r : regs)
            e << floatEntry(QLatin1String(r.first), QLatin1String("coef_") + QLatin1String(r.first), r.second,
                            QStringLiteral("Коэффициент ") + QLatin1String(r.first));
        return CoefficientGroup(38, 39, "onCoefSet:Conversion error\n", e,
                                {{A42, 3 * FloatWidth},
                                 {B42, 3 * FloatWidth},
                                 {C42, 3 * FloatWidth},
                                 {C43, FloatWidth},
                                 {T42, 3 * FloatWidth}});
    }();
    return group;
}

const CoefficientGroup &CoefficientGroup::ak()
{
    static const CoefficientGroup group = [] {
        QVector<Entry> e;
        e << floatEntry(QStringLiteral("ak0"), QStringLiteral("ak0"), Ak0, QStringLiteral("ak0"))
          << floatEntry(QStringLiteral("ak1"), QStringLiteral("ak1"), Ak1, QStringLiteral("ak1"))
          << floatEntry(QStringLiteral("ak2"), QStringLiteral("ak2"), Ak2, QStringLiteral("ak2"))
          << floatEntry(QStringLiteral("ak3"), QStringLiteral("ak3"), Ak3, QStringLiteral("ak3"))
          << floatEntry(QStringLiteral("Kmin"), QStringLiteral("valueKmin"), Kmin, QStringLiteral("Fmin"))
          << floatEntry(QStringLiteral("Kmax"), QStringLiteral("valueKmax"), Kmax, QStringLiteral("Fmax"));
        return CoefficientGroup(45, 46, "onCoefSet:Conversion error\n", e, {{Ak0, 6 * FloatWidth}});
    }();
    return group;
}

const CoefficientGroup *CoefficientGroup::forOperation(int code)
{
    for (const CoefficientGroup *g : {&kdsp(), &coef(), &ak()})
        if (g->readCode() == code || g->writeCode() == code)
            return g;
    return nullptr;
}

int CoefficientGroup::indexOfRegister(int reg) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries.at(i).reg == reg)
            return i;
    return -1;
}

QVector<RequestItem> CoefficientGroup::readRequests() const
{
    QVector<RequestItem> items;
    for (const auto &r : m_reads)
        items.append(RequestItem::read(r.first, r.second));
    return items;
}

QVector<InputSpec> CoefficientGroup::setInputs() const
{
    QVector<InputSpec> specs;
    for (const Entry &e : m_entries)
        specs.append({e.setField, InputSource::Text});
    return specs;
}

WidgetActions CoefficientGroup::clearActions(Column column) const
{
    WidgetActions actions;
    for (const Entry &e : m_entries) {
        const QString &field = column == Receive ? e.receiveField : e.setField;
        actions.append({WidgetAction::SetText, field, QString()});
        actions.append({WidgetAction::SetPalette, field, int(FieldPalette::Neutral)});
    }
    return actions;
}

WidgetActions CoefficientGroup::fillFloats(int start, const QByteArray &data) const
{
    WidgetActions actions;
    if (start < 0)
        return actions;
    const int count = data.size() / FloatWidth;
    for (int k = 0; k < count && start + k < m_entries.size(); ++k) {
        float v = 0;
        ValueCodec::readFloat(data, k * FloatWidth, &v);
        const QString &field = m_entries.at(start + k).receiveField;
        actions.append({WidgetAction::SetText, field, ValueCodec::formatG(v)});
        actions.append({WidgetAction::SetPalette, field, int(FieldPalette::Confirmed)});
    }
    return actions;
}

void CoefficientGroup::buildWrites(const QVariantMap &setTexts, QVector<RequestItem> *items,
                                   WidgetActions *before, QVector<InputRefusal> *refusals) const
{
    for (const Entry &e : m_entries)
        before->append({WidgetAction::SetPalette, e.setField, int(FieldPalette::Neutral)});
    QVector<RequestItem> writes;
    bool refused = false;
    for (const Entry &e : m_entries) {
        const QString text = setTexts.value(e.setField).toString();
        // An empty field is one the operator does not want written.
        if (text.isEmpty())
            continue;
        const NumberText::InputValue v = NumberText::readInput(
            text, e.isByte ? NumberText::InputRule::integer(0, 255) : NumberText::InputRule::real());
        if (!v.ok) {
            before->append({WidgetAction::ErrorLine, QString(), m_conversionError});
            before->append({WidgetAction::SetPalette, e.setField, int(FieldPalette::Failed)});
            refusals->append({e.setField, NumberText::inputRefusal(e.caption, v)});
            refused = true;
            continue;
        }
        const QByteArray payload = e.isByte ? ValueCodec::u8(int(v.value)) : ValueCodec::float32(float(v.value));
        writes.append(RequestItem::write(e.reg, payload));
    }
    if (!refused)
        *items += writes;
}

WidgetActions CoefficientGroup::decodeWrite(const OperationAnswer &answer) const
{
    const int index = indexOfRegister(ValueCodec::requestRegister(answer.requestData));
    if (index < 0)
        return {};
    const FieldPalette p = answer.checksumOk ? FieldPalette::Confirmed : FieldPalette::Failed;
    return {{WidgetAction::SetPalette, m_entries.at(index).setField, int(p)}};
}
