#include "drivers/kit/DriverBuffers.h"

#include <cstring>
#include <new>

namespace {

// Every half starts on a boundary that suits any sample type and SIMD loads.
constexpr uint64_t kAlignment = 16;

uint64_t HalfBytes(const DriverChannel& channel, int32_t bufferSize)
{
    uint64_t bytes = SampleBytes(channel.type) * static_cast<uint64_t>(bufferSize);
    return (bytes + kAlignment - 1) / kAlignment * kAlignment;
}

} // namespace

ASIOError DriverBuffers::Create(ASIOBufferInfo* infos, int32_t numChannels, int32_t bufferSize,
                                DriverChannels& channels)
{
    if (infos == nullptr || numChannels <= 0 || bufferSize <= 0) return ASE_InvalidParameter;
    uint64_t total = 0;
    for (int32_t i = 0; i < numChannels; ++i) {
        const bool isInput = infos[i].isInput != ASIOFalse;
        const DriverChannel* channel = channels.Find(isInput, infos[i].channelNum);
        if (channel == nullptr) return ASE_InvalidParameter;
        for (int32_t j = 0; j < i; ++j)
            if ((infos[j].isInput != ASIOFalse) == isInput &&
                infos[j].channelNum == infos[i].channelNum)
                return ASE_InvalidParameter;
        total += 2 * HalfBytes(*channel, bufferSize);
        if (total > kMaxBytes) return ASE_NoMemory;
    }

    uint8_t* memory = new (std::nothrow) uint8_t[total]();
    ASIOBufferInfo* records = new (std::nothrow) ASIOBufferInfo[numChannels];
    if (memory == nullptr || records == nullptr) {
        delete[] memory;
        delete[] records;
        return ASE_NoMemory;
    }
    Dispose(channels);

    uint64_t offset = 0;
    for (int32_t i = 0; i < numChannels; ++i) {
        DriverChannel* channel = channels.Find(infos[i].isInput != ASIOFalse, infos[i].channelNum);
        const uint64_t half = HalfBytes(*channel, bufferSize);
        infos[i].buffers[0] = memory + offset;
        infos[i].buffers[1] = memory + offset + half;
        offset += 2 * half;
        channel->isActive = true;
        records[i] = infos[i];
        const bool isInput = infos[i].isInput != ASIOFalse;
        const int32_t number = infos[i].channelNum;
        uint8_t*(&halves)[2] = (isInput ? inputHalves : outputHalves)[number];
        halves[0] = static_cast<uint8_t*>(infos[i].buffers[0]);
        halves[1] = static_cast<uint8_t*>(infos[i].buffers[1]);
        if (!isInput) continue;
        inputHalfBytes[number] = SampleBytes(channel->type) * static_cast<uint32_t>(bufferSize);
        if (number >= nInputSpan) nInputSpan = number + 1;
    }
    pMemory = memory;
    pRecords = records;
    nRecords = numChannels;
    nBufferSize = bufferSize;
    return ASE_OK;
}

void DriverBuffers::Dispose(DriverChannels& channels)
{
    Free();
    channels.DeactivateAll();
}

void DriverBuffers::Free()
{
    delete[] pMemory;
    pMemory = nullptr;
    delete[] pRecords;
    pRecords = nullptr;
    nRecords = 0;
    nBufferSize = 0;
    std::memset(inputHalves, 0, sizeof inputHalves);
    std::memset(outputHalves, 0, sizeof outputHalves);
    std::memset(inputHalfBytes, 0, sizeof inputHalfBytes);
    nInputSpan = 0;
}

void DriverBuffers::SilenceInputs(int32_t half) const
{
    for (int32_t channel = 0; channel < nInputSpan; ++channel)
        if (uint8_t* target = inputHalves[channel][half])
            std::memset(target, 0, inputHalfBytes[channel]);
}

void DriverBuffers::DeinterleaveInputs(int32_t half, const uint8_t* period, int32_t channels,
                                       uint32_t sampleBytes) const
{
    const size_t frameBytes = static_cast<size_t>(channels) * sampleBytes;
    for (int32_t channel = 0; channel < nInputSpan && channel < channels; ++channel) {
        uint8_t* target = inputHalves[channel][half];
        if (target == nullptr) continue;
        const uint8_t* source = period + static_cast<size_t>(channel) * sampleBytes;
        for (int32_t frame = 0; frame < nBufferSize; ++frame) {
            std::memcpy(target, source, sampleBytes);
            target += sampleBytes;
            source += frameBytes;
        }
    }
}
