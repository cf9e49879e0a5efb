// A driver's channel records, inputs and outputs, as getChannels and
// getChannelInfo report them. A driver describes its channels once, when it
// is created; createBuffers and disposeBuffers switch isActive.
#pragma once

#include "host/AsioInterface.h"

#include <cstdint>

// Bytes of one sample of a buffer of this type; a type the kit does not know
// is taken as a 32-bit word, so odd types still get buffers.
uint32_t SampleBytes(ASIOSampleType type);

struct DriverChannel {
    char name[32];
    ASIOSampleType type;
    int32_t channelGroup;
    bool isActive; // buffers were created for it
};

class DriverChannels {
public:
    static constexpr int32_t kMaxChannels = 128; // per direction

    // Numbers the channels "<prefix> 1" upward, all of one type in group 0.
    // Counts beyond kMaxChannels are cut to it.
    void Describe(bool isInput, int32_t count, ASIOSampleType type, const char* namePrefix);
    // One channel's record; false for a channel beyond the described count.
    bool SetChannel(bool isInput, int32_t channel, const char* name, ASIOSampleType type,
                    int32_t channelGroup);

    int32_t Count(bool isInput) const { return isInput ? nInputs : nOutputs; }
    // Null for a channel that does not exist.
    DriverChannel* Find(bool isInput, int32_t channel);
    const DriverChannel* Find(bool isInput, int32_t channel) const;

    // info->channel and info->isInput in, the rest out.
    ASIOError FillInfo(ASIOChannelInfo* info) const;
    void DeactivateAll();

private:
    DriverChannel inputs[kMaxChannels] = {};
    DriverChannel outputs[kMaxChannels] = {};
    int32_t nInputs = 0;
    int32_t nOutputs = 0;
};
