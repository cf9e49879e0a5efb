// Pink noise of a requested length and level (Voss-McCartney rows over a
// congruential source, all single precision): armed by the pink noise request
// on the user-interface thread, rendered one driver buffer at a time by the
// buffer-switch callback. bPlaying publishes a request as for white noise:
// stored last by Arm (release), loaded first by the callback (acquire).
#pragma once

#include "gen/NoiseShared.h"

#include <atomic>
#include <cstdint>

class PinkFilter {
public:
    PinkFilter();

    // Uniform in [-0.5, 0.5), built from the top 23 bits of the next seed.
    float RandomValue();
    // The next pink value, within [-0.5625, +0.5625].
    float Next();

    // Row count: row n changes every 2^(n+1) samples.
    static constexpr uint32_t kRows = 16;

    uint32_t seed;
    uint32_t counter;
    float sum;
    float rows[kRows];
};

class PinkNoiseGenerator {
public:
    explicit PinkNoiseGenerator(FormatCode formatCode);
    ~PinkNoiseGenerator();
    PinkNoiseGenerator(const PinkNoiseGenerator&) = delete;
    PinkNoiseGenerator& operator=(const PinkNoiseGenerator&) = delete;

    // The host's way to make one: null when the generator or its filter
    // cannot be allocated, so a half-built generator is never kept.
    static PinkNoiseGenerator* Create(FormatCode formatCode);

    // Frees the filter. The host calls it after the driver has stopped and
    // before deleting the object; Arm is refused afterwards.
    void Release();

    // User-interface thread. A request while one plays changes nothing; the
    // filter's rows, sum and counter carry on, only its seed restarts.
    void Arm(uint32_t sampleRate, double seconds, uint32_t attenuationDb);

    // Driver callback thread: frames samples of width 2 (16-bit) or 3 and
    // more (32-bit); any other width ends the request without writing.
    void FillBuffer(void* buffer, uint32_t frames, uint16_t sampleWidthBytes);

    // Scales the largest magnitude of Next (0.5625, just above 0.56245) to
    // about full scale.
    static constexpr double kPeakGain = 1.777935816517;

    std::atomic<bool> bPlaying;
    PinkFilter* pFilter;
    double dAmplitude;
    uint32_t nRemaining;
    FormatCode nFormatCode;

private:
    template <class Sample> void Fill(Sample* buffer, uint32_t frames, uint32_t count);
};
