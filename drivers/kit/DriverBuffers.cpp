#include "drivers/kit/DriverBuffers.h"

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
}
