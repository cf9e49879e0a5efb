#include "drivers/kit/DriverChannels.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

uint32_t SampleBytes(ASIOSampleType type)
{
    switch (type) {
    case ASIOSTInt16MSB:
    case ASIOSTInt16LSB:
        return 2;
    case ASIOSTInt24MSB:
    case ASIOSTInt24LSB:
        return 3;
    case ASIOSTFloat64MSB:
    case ASIOSTFloat64LSB:
        return 8;
    default:
        return 4;
    }
}

void DriverChannels::Describe(bool isInput, int32_t count, ASIOSampleType type,
                              const char* namePrefix)
{
    int32_t& n = isInput ? nInputs : nOutputs;
    n = std::clamp(count, 0, kMaxChannels);
    for (int32_t i = 0; i < n; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s %d", namePrefix, static_cast<int>(i + 1));
        SetChannel(isInput, i, name, type, 0);
    }
}

bool DriverChannels::SetChannel(bool isInput, int32_t channel, const char* name,
                                ASIOSampleType type, int32_t channelGroup)
{
    DriverChannel* record = Find(isInput, channel);
    if (record == nullptr) return false;
    std::snprintf(record->name, sizeof record->name, "%s", name != nullptr ? name : "");
    record->type = type;
    record->channelGroup = channelGroup;
    record->isActive = false;
    return true;
}

DriverChannel* DriverChannels::Find(bool isInput, int32_t channel)
{
    if (channel < 0 || channel >= Count(isInput)) return nullptr;
    return isInput ? &inputs[channel] : &outputs[channel];
}

const DriverChannel* DriverChannels::Find(bool isInput, int32_t channel) const
{
    return const_cast<DriverChannels*>(this)->Find(isInput, channel);
}

ASIOError DriverChannels::FillInfo(ASIOChannelInfo* info) const
{
    if (info == nullptr) return ASE_InvalidParameter;
    const DriverChannel* record = Find(info->isInput != ASIOFalse, info->channel);
    if (record == nullptr) return ASE_InvalidParameter;
    info->isActive = record->isActive ? ASIOTrue : ASIOFalse;
    info->channelGroup = record->channelGroup;
    info->type = record->type;
    std::memcpy(info->name, record->name, sizeof info->name);
    return ASE_OK;
}

void DriverChannels::DeactivateAll()
{
    for (int32_t i = 0; i < kMaxChannels; ++i) {
        inputs[i].isActive = false;
        outputs[i].isActive = false;
    }
}
