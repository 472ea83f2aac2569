#pragma once
// Running means of the four dynamic variables, one record per polling
// channel. Fixed size: folding answers in never allocates, so cyclic polling
// can run for days without the structure growing.

#include "polling/command3answer.h"
#include "polling/pollchannelstate.h"

#include <QString>
#include <array>
#include <cstdint>

struct ChannelMean
{
    float mean[4] = {0, 0, 0, 0};   // means of variables 1..4
    int32_t count = 0;              // answers folded in
};

class RunningMean
{
public:
    // All fifteen records back to zero.
    void reset();

    // Folds variables 1..4 of one good answer from `address` into every
    // checked channel that polls that address (two channels on the same
    // address both take it). The loop current is never averaged. Returns
    // the number of channels updated.
    int fold(int address, const Command3Answer &answer, const PollChannels &channels);
    // One record, for tests and for callers that already know the channel.
    static void foldInto(ChannelMean &m, const float values[4]);

    const ChannelMean &channel(int index) const { return m_channels.at(index); }

    // Mean 1 and mean 2 in fixed notation with four decimals, each followed
    // by the unit: "12.3456 кГц 7.8900 кГц" for frequency sensors,
    // "… мВ … мВ" otherwise.
    static QString displayText(const ChannelMean &m, bool capacitor);

private:
    std::array<ChannelMean, PollChannelCount> m_channels{};
};
