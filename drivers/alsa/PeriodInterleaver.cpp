#include "drivers/alsa/PeriodInterleaver.h"

#include <cstring>
#include <new>

bool PeriodInterleaver::Prepare(const DriverBuffers& buffers, int32_t channels, int32_t frames,
                                uint32_t sampleBytes)
{
    Release();
    if (channels < 1 || channels > DriverChannels::kMaxChannels || frames < 1 ||
        (sampleBytes != 2 && sampleBytes != 3 && sampleBytes != 4))
        return false;
    const size_t bytes = static_cast<size_t>(channels) * static_cast<size_t>(frames) * sampleBytes;
    pPeriod = new (std::nothrow) uint8_t[bytes];
    if (pPeriod == nullptr) return false;
    std::memset(pPeriod, 0, bytes);
    nPeriodBytes = bytes;
    nChannels = channels;
    nFrames = frames;
    nSampleBytes = sampleBytes;
    for (int32_t i = 0; i < buffers.Count(); ++i) {
        const ASIOBufferInfo& record = buffers.Record(i);
        if (record.isInput != ASIOFalse || record.channelNum < 0 || record.channelNum >= channels)
            continue;
        sources[0][record.channelNum] = static_cast<const uint8_t*>(record.buffers[0]);
        sources[1][record.channelNum] = static_cast<const uint8_t*>(record.buffers[1]);
    }
    return true;
}

void PeriodInterleaver::Release()
{
    delete[] pPeriod;
    pPeriod = nullptr;
    nPeriodBytes = 0;
    nChannels = 0;
    nFrames = 0;
    nSampleBytes = 0;
    std::memset(sources, 0, sizeof sources);
}

void PeriodInterleaver::Interleave(int32_t half)
{
    switch (nSampleBytes) {
    case 2:
        Copy<2>(half);
        break;
    case 3:
        Copy<3>(half);
        break;
    case 4:
        Copy<4>(half);
        break;
    default:
        break;
    }
}

// The sample size fixed at compile time turns each copy into one move.
template <uint32_t Bytes> void PeriodInterleaver::Copy(int32_t half)
{
    const size_t frameBytes = static_cast<size_t>(nChannels) * Bytes;
    for (int32_t channel = 0; channel < nChannels; ++channel) {
        const uint8_t* source = sources[half][channel];
        if (source == nullptr) continue;
        uint8_t* target = pPeriod + static_cast<size_t>(channel) * Bytes;
        for (int32_t frame = 0; frame < nFrames; ++frame) {
            std::memcpy(target, source, Bytes);
            source += Bytes;
            target += frameBytes;
        }
    }
}
