#include "calc/blockwritetally.h"

#include "device/registermap.h"
#include "device/valuecodec.h"

QVector<BlockWriteTally::Block> BlockWriteTally::dialogBlocks(const ParameterVector::Values &values)
{
    using namespace ParameterVector;
    // Each block is the dialog's fields from its first register on.
    const auto block = [&values](uint16_t reg, int from, int count) {
        Block b;
        QByteArray payload;
        QStringList names;
        for (int i = from; i < from + count; ++i) {
            b.fields << i;
            payload += ValueCodec::float32(values[size_t(i)]);
            names << keys().at(i);
        }
        b.name = names.join(QStringLiteral(", "));
        b.request = ValueCodec::writeData(reg, payload);
        return b;
    };
    // Pmax is the device's own and is not written.
    return {block(RegisterMap::Uk1h, Uk1h, 4), block(RegisterMap::A42, A42, 3), block(RegisterMap::B42, B42, 3),
            block(RegisterMap::C42, C42, 3), block(RegisterMap::C43, C43, 1)};
}

QVector<BlockWriteTally::Block> BlockWriteTally::coefficientBlocks(const CalibrationCoefficients &k)
{
    ParameterVector::Values values{};
    const auto named = k.named();
    for (size_t i = 0; i < named.size(); ++i)
        values[i] = named[i].second;
    values[ParameterVector::Pmax] = k.Pmax;
    return dialogBlocks(values);
}

void BlockWriteTally::begin(const QVector<Block> &blocks)
{
    m_blocks = blocks;
    m_failed.clear();
}

const BlockWriteTally::Block *BlockWriteTally::find(const QByteArray &request) const
{
    for (const Block &b : m_blocks)
        if (!request.isEmpty() && b.request == request)
            return &b;
    return nullptr;
}

QString BlockWriteTally::fail(const Block &block, const QString &why)
{
    if (!m_failed.contains(block.name))
        m_failed << block.name;
    return QStringLiteral("Блок «%1» не записан: %2").arg(block.name, why);
}

QStringList BlockWriteTally::names() const
{
    QStringList out;
    for (const Block &b : m_blocks)
        out << b.name;
    return out;
}
