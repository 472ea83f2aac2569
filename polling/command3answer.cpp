#include "polling/command3answer.h"

#include "device/valuecodec.h"

Command3Answer Command3Answer::decode(const QByteArray &data)
{
    Command3Answer a;
    // A field the data does not reach keeps its zero: the readers leave it
    // alone.
    for (int k = 0; k < ValueCount; ++k) {
        // The current carries no unit byte; each variable's unit byte sits
        // right in front of its float.
        const int at = 5 * k;
        ValueCodec::readFloat(data, at, &a.m_values[k]);
        if (k > 0)
            ValueCodec::readU8(data, at - 1, &a.m_units[k]);
    }
    a.m_complete = data.size() >= DataSize;
    return a;
}
