// Turns one half of the host's double buffers (one buffer per channel) into
// the one interleaved period ALSA is given. Prepared on the host's thread
// when the buffers are created; Interleave runs on the writer thread and
// only copies.
#pragma once

#include "drivers/kit/DriverBuffers.h"
#include "drivers/kit/DriverChannels.h"

#include <cstddef>
#include <cstdint>

class PeriodInterleaver {
public:
    PeriodInterleaver() = default;
    ~PeriodInterleaver() { Release(); }
    PeriodInterleaver(const PeriodInterleaver&) = delete;
    PeriodInterleaver& operator=(const PeriodInterleaver&) = delete;

    // A period of channels x frames samples of sampleBytes each, zeroed; the
    // output channels that have buffers are copied into it, the others stay
    // silent. False when the memory cannot be had.
    bool Prepare(const DriverBuffers& buffers, int32_t channels, int32_t frames,
                 uint32_t sampleBytes);
    void Release();

    // Writer thread: half 0 or 1 of every buffer, sample by sample, into
    // the period.
    void Interleave(int32_t half);

    const uint8_t* Period() const { return pPeriod; }
    size_t PeriodBytes() const { return nPeriodBytes; }

private:
    template <uint32_t Bytes> void Copy(int32_t half);

    const uint8_t* sources[2][DriverChannels::kMaxChannels] = {};
    uint8_t* pPeriod = nullptr;
    size_t nPeriodBytes = 0;
    int32_t nChannels = 0;
    int32_t nFrames = 0;
    uint32_t nSampleBytes = 0;
};
