#include "guided/guidedwrite.h"

#include "calc/blockwritetally.h"
#include "calc/coefficientupload.h"

#include "device/registermap.h"
#include "device/valuecodec.h"
#include "devicedata/writeidentity.h"

#include <QFile>
#include <cmath>

namespace {

QString serialText(bool read, uint32_t serial)
{
    return read ? QString::number(serial) : QStringLiteral("не прочитан");
}

} // namespace

QString GuidedWrite::identityProblem(const GuidedDevice &device, const GuidedReply &reply, uint32_t *serial,
                                     bool *serialRead)
{
    *serialRead = reply.ok() && ValueCodec::readU32(reply.data, 0, serial);
    if (!*serialRead)
        return QStringLiteral("зав. № не прочитан (%1): нельзя убедиться, что по адресу %2 тот же прибор")
            .arg(reply.ok() ? QStringLiteral("ответ без данных") : reply.why, device.addressText());
    if (!device.haveSerial)
        return QStringLiteral("зав. № прибора не был прочитан при составлении плана: нельзя убедиться, что по "
                              "адресу %1 тот же прибор (отвечает зав. № %2)").arg(device.addressText()).arg(*serial);
    if (*serial != device.serial)
        return QStringLiteral("по адресу %1 отвечает прибор зав. № %2, а в плане зав. № %3")
            .arg(device.addressText()).arg(*serial).arg(device.serial);
    return QString();
}

QStringList GuidedWrite::blockNames()
{
    QStringList names;
    for (const BlockWriteTally::Block &b : BlockWriteTally::coefficientBlocks(CalibrationCoefficients()))
        names << b.name;
    return names;
}

void GuidedWrite::begin(int deviceIndex, const GuidedDevice &device, const CalibrationCoefficients &values,
                        bool readPrior, bool restore)
{
    m_device = device;
    m_blocks.clear();
    m_record = GuidedWriteRecord();
    for (const BlockWriteTally::Block &b : BlockWriteTally::coefficientBlocks(values)) {
        m_blocks << b.request;
        m_record.blocks << b.name;
    }
    m_index = 0;
    m_priorJustRead = false;
    m_record.device = deviceIndex;
    m_record.address = device.address;
    m_record.restore = restore;
    m_record.values = values;
    m_record.priorRead = false;
    m_step = Step::Serial;
    // Until a block is in, none is.
    m_record.refused = m_record.blocks;
    m_priorWanted = readPrior;
}

RequestItem GuidedWrite::next() const
{
    switch (m_step) {
    case Step::Serial: return WriteIdentity::serialRead();
    case Step::Prior: return CoefficientUpload::reads().value(m_index);
    case Step::Blocks: return {RegisterMap::CmdWriteRegisters, m_blocks.value(m_index)};
    case Step::Done: break;
    }
    return {};
}

void GuidedWrite::take(const GuidedReply &reply)
{
    m_priorJustRead = false;
    switch (m_step) {
    case Step::Serial: {
        const QString problem = identityProblem(m_device, reply, &m_record.serial, &m_record.serialRead);
        if (!problem.isEmpty()) {
            finish(problem + QStringLiteral(": запись не выполнена, в прибор ничего не записано"));
            return;
        }
        m_step = m_priorWanted ? Step::Prior : Step::Blocks;
        m_record.blocksStarted = !m_priorWanted;
        m_index = 0;
        return;
    }
    case Step::Prior: {
        const QVector<RequestItem> reads = CoefficientUpload::reads();
        bool finite = false;
        if (!reply.ok()
            || !CoefficientUpload::take(ValueCodec::requestRegister(reads.value(m_index).data), reply.data,
                                        &m_record.prior, &finite)
            || !finite) {
            finish(QStringLiteral("прежние коэффициенты не прочитаны (%1): запись не выполнена, в прибор ничего "
                                  "не записано").arg(reply.ok() ? QStringLiteral("неполный ответ") : reply.why));
            return;
        }
        if (++m_index >= reads.size()) {
            m_record.priorRead = true;
            m_priorJustRead = true;
            m_step = Step::Blocks;
            m_record.blocksStarted = true;
            m_index = 0;
        }
        return;
    }
    case Step::Blocks:
        if (!reply.ok()) {
            finish(QStringLiteral("блок %1 из %2 («%3») не записан: %4")
                       .arg(m_index + 1).arg(m_blocks.size()).arg(m_record.blocks[m_index], reply.why));
            return;
        }
        m_record.refused.removeOne(m_record.blocks[m_index]);
        m_record.written = ++m_index;
        if (m_index >= m_blocks.size())
            finish(QString());
        return;
    case Step::Done:
        return;
    }
}

void GuidedWrite::stop(const QString &why)
{
    if (running())
        finish(why);
}

void GuidedWrite::finish(const QString &why)
{
    m_step = Step::Done;
    if (why.isEmpty()) {
        m_record.outcome = m_record.restore ? QStringLiteral("прежние коэффициенты возвращены, записаны все %1 блоков")
                                                  .arg(m_record.blocks.size())
                                            : QStringLiteral("записаны все %1 блоков").arg(m_record.blocks.size());
        return;
    }
    QString s = why;
    if (m_record.written > 0)
        s += QStringLiteral("; в приборе блоки: «%1»; не записаны: «%2»")
                 .arg(m_record.blocks.mid(0, m_record.written).join(QStringLiteral("», «")),
                      m_record.refused.join(QStringLiteral("», «")));
    m_record.outcome = s;
}

namespace GuidedPrior {

QString fileName(const QString &baseName) { return baseName + QStringLiteral("_prior_coefficients.txt"); }

QByteArray text(const CalibrationCoefficients &k, int address, bool serialRead, uint32_t serial)
{
    QByteArray out = QStringLiteral("# Коэффициенты прибора до записи пошаговой калибровкой; адрес %1, зав. № %2\n")
                         .arg(address, 2, 16, QLatin1Char('0')).arg(serialText(serialRead, serial)).toUtf8();
    for (const auto &v : k.named())
        out += QByteArray(v.first) + ':' + QByteArray::number(double(v.second), 'g', 9) + '\n';
    out += "Pmax:" + QByteArray::number(double(k.Pmax), 'g', 9) + '\n';
    return out;
}

bool read(const QString &path, CalibrationCoefficients *k, QString *why)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("файл %1 не открыт: %2").arg(path, f.errorString());
        return false;
    }
    if (!parse(f.readAll(), k, why)) {
        *why = QStringLiteral("файл %1 поврежден: %2").arg(path, *why);
        return false;
    }
    return true;
}

bool parse(const QByteArray &text, CalibrationCoefficients *k, QString *why)
{
    const CalibrationCoefficients names;
    QVector<float> found(int(names.named().size()), NAN);
    int line = 0;
    for (const QByteArray &raw : text.split('\n')) {
        ++line;
        const QByteArray l = raw.trimmed();
        if (l.isEmpty() || l.startsWith('#') || l.startsWith("Pmax:"))
            continue;
        const int colon = l.indexOf(':');
        bool ok = false;
        const float v = colon > 0 ? l.mid(colon + 1).toFloat(&ok) : 0;
        int index = -1;
        for (size_t i = 0; i < names.named().size(); ++i)
            if (colon > 0 && l.left(colon) == names.named()[i].first)
                index = int(i);
        if (index < 0 || !ok || !std::isfinite(v) || !std::isnan(found[index])) {
            *why = QStringLiteral("строка %1").arg(line);
            return false;
        }
        found[index] = v;
    }
    for (int i = 0; i < found.size(); ++i)
        if (std::isnan(found[i])) {
            *why = QStringLiteral("нет %1").arg(QLatin1String(names.named()[size_t(i)].first));
            return false;
        }
    k->Uk1h = found[0];
    k->Uk2h = found[1];
    k->U10 = found[2];
    k->U20 = found[3];
    k->a = {found[4], found[5], found[6]};
    k->b = {found[7], found[8], found[9]};
    k->c = {found[10], found[11], found[12]};
    k->c43 = found[13];
    return true;
}

} // namespace GuidedPrior
