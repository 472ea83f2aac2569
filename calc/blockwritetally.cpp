#include "calc/blockwritetally.h"

#include "calc/parametervector.h"

QVector<BlockWriteTally::Block> BlockWriteTally::dialogBlocks()
{
    using namespace ParameterVector;
    const auto block = [](int from, int count) {
        Block b;
        for (int i = from; i < from + count; ++i)
            b.fields << i;
        QStringList names;
        for (int i : qAsConst(b.fields))
            names << keys().at(i);
        b.name = names.join(QStringLiteral(", "));
        return b;
    };
    return {block(Uk1h, 4), block(A42, 3), block(B42, 3), block(C42, 3), block(C43, 1)};
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
