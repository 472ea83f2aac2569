#include "polling/runningmean.h"

void RunningMean::reset()
{
    m_channels.fill(ChannelMean{});
}

void RunningMean::foldInto(ChannelMean &m, const float values[4])
{
    m.count += 1;
    const int32_t n = m.count;
    // In single precision as the record keeps it; with n = 1 this gives the
    // value itself exactly, so the first answer is the mean.
    for (int k = 0; k < 4; ++k)
        m.mean[k] = (float(n - 1) * m.mean[k] + values[k]) / float(n);
}

int RunningMean::fold(int address, const Command3Answer &answer, const PollChannels &channels)
{
    const float values[4] = {answer.variable(1), answer.variable(2),
                             answer.variable(3), answer.variable(4)};
    int updated = 0;
    for (int i = 0; i < PollChannelCount; ++i) {
        if (channels[i].checked && channels[i].address == address) {
            foldInto(m_channels[i], values);
            ++updated;
        }
    }
    return updated;
}

QString RunningMean::displayText(const ChannelMean &m, bool capacitor)
{
    const QString unit = capacitor ? QStringLiteral(" кГц") : QStringLiteral(" мВ");
    return QString::number(double(m.mean[0]), 'f', 4) + unit + QLatin1Char(' ')
         + QString::number(double(m.mean[1]), 'f', 4) + unit;
}
