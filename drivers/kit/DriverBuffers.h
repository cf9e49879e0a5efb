// The double buffers createBuffers hands the host: two zeroed halves per
// requested channel, inputs and outputs alike, each bufferSize samples of the
// channel's type, all in one allocation, and where each channel's halves lie.
// Created and freed on the host's thread while the driver's transport is
// stopped; the transport reads the records and fills the input halves.
#pragma once

#include "drivers/kit/DriverChannels.h"

#include <cstdint>

class DriverBuffers {
public:
    DriverBuffers() = default;
    ~DriverBuffers() { Free(); }
    DriverBuffers(const DriverBuffers&) = delete;
    DriverBuffers& operator=(const DriverBuffers&) = delete;

    // Checks every record (existing channel, each at most once) before
    // anything changes, then fills both buffer pointers of each record and
    // marks its channel active. ASE_InvalidParameter for a bad request,
    // ASE_NoMemory when the memory cannot be had; on failure the records and
    // the channels are left as they were.
    ASIOError Create(ASIOBufferInfo* infos, int32_t numChannels, int32_t bufferSize,
                     DriverChannels& channels);
    // Frees the memory and marks every channel inactive.
    void Dispose(DriverChannels& channels);

    bool Created() const { return pMemory != nullptr; }
    int32_t Count() const { return nRecords; }
    int32_t BufferSize() const { return nBufferSize; }
    // The driver's copy of record i, as handed to the host.
    const ASIOBufferInfo& Record(int32_t i) const { return pRecords[i]; }

    // Half 0 or 1 of a channel's buffer; null for a channel the host asked
    // no buffer for.
    uint8_t* Half(bool isInput, int32_t channel, int32_t half) const
    {
        if (channel < 0 || channel >= DriverChannels::kMaxChannels) return nullptr;
        return (isInput ? inputHalves : outputHalves)[channel][half];
    }
    // One past the highest input channel with a buffer; 0 when none has one.
    int32_t InputSpan() const { return nInputSpan; }

    // Driver thread, before the switch that hands the host half `half`:
    // what the device captured goes into the input halves. Zeroes every
    // input half, or spreads one period of interleaved frames (`channels`
    // samples of sampleBytes each) over the inputs, channel c from sample c.
    void SilenceInputs(int32_t half) const;
    void DeinterleaveInputs(int32_t half, const uint8_t* period, int32_t channels,
                            uint32_t sampleBytes) const;

    // Bytes of memory one Create may take, so that no size arithmetic wraps.
    static constexpr uint64_t kMaxBytes = uint64_t{1} << 30;

private:
    void Free();

    uint8_t* pMemory = nullptr;
    ASIOBufferInfo* pRecords = nullptr;
    int32_t nRecords = 0;
    int32_t nBufferSize = 0;
    uint8_t* inputHalves[DriverChannels::kMaxChannels][2] = {};
    uint8_t* outputHalves[DriverChannels::kMaxChannels][2] = {};
    uint32_t inputHalfBytes[DriverChannels::kMaxChannels] = {};
    int32_t nInputSpan = 0;
};
