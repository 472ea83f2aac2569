#include "calc/coefficientupload.h"

#include "device/registermap.h"
#include "device/valuecodec.h"

#include <cmath>

namespace {

struct UploadRead
{
    uint16_t reg;
    int bytes;
};

const UploadRead Reads[] = {{RegisterMap::A42, 12}, {RegisterMap::B42, 12}, {RegisterMap::C42, 12},
                            {RegisterMap::C43, 4}, {RegisterMap::MaxUpperLimit, 24}};

} // namespace

QVector<RequestItem> CoefficientUpload::reads()
{
    QVector<RequestItem> out;
    for (const UploadRead &r : Reads)
        out << RequestItem::read(r.reg, r.bytes);
    return out;
}

bool CoefficientUpload::take(uint16_t reg, const QByteArray &data, CalibrationCoefficients *k, bool *finite)
{
    int count = 0;
    for (const UploadRead &r : Reads)
        if (r.reg == reg)
            count = r.bytes / RegisterMap::FloatWidth;
    if (count == 0 || data.size() < count * RegisterMap::FloatWidth)
        return false;
    float v[6] = {0, 0, 0, 0, 0, 0};
    bool allFinite = true;
    for (int i = 0; i < count; ++i) {
        ValueCodec::readFloat(data, i * RegisterMap::FloatWidth, &v[i]);
        allFinite = allFinite && std::isfinite(v[i]);
    }
    switch (reg) {
    case RegisterMap::A42: k->a = {v[0], v[1], v[2]}; break;
    case RegisterMap::B42: k->b = {v[0], v[1], v[2]}; break;
    case RegisterMap::C42: k->c = {v[0], v[1], v[2]}; break;
    case RegisterMap::C43: k->c43 = v[0]; break;
    default:
        k->Pmax = v[0];
        k->Uk1h = v[2];
        k->Uk2h = v[3];
        k->U10 = v[4];
        k->U20 = v[5];
        break;
    }
    if (finite)
        *finite = allFinite;
    return true;
}
