// Gaussian white noise of a requested length and level: armed by the white
// noise request on the user-interface thread, rendered one driver buffer at a
// time by the buffer-switch callback. bPlaying publishes a request: Arm writes
// every other field first and stores the flag last (release); the callback
// loads it (acquire) before it reads anything else.
#pragma once

#include "gen/GaussianRandom.h"
#include "gen/NoiseShared.h"

#include <atomic>
#include <cstdint>

class WhiteNoiseGenerator {
public:
    explicit WhiteNoiseGenerator(FormatCode formatCode);
    ~WhiteNoiseGenerator();
    WhiteNoiseGenerator(const WhiteNoiseGenerator&) = delete;
    WhiteNoiseGenerator& operator=(const WhiteNoiseGenerator&) = delete;

    // The host's way to make one: null when the generator or its random
    // source cannot be allocated, so a half-built generator is never kept.
    static WhiteNoiseGenerator* Create(FormatCode formatCode);

    // Frees the random source. The host calls it after the driver has stopped
    // and before deleting the object; Arm is refused afterwards.
    void Release();

    // User-interface thread. A request while one plays changes nothing.
    void Arm(uint32_t sampleRate, double seconds, uint32_t attenuationDb);

    // Driver callback thread: frames samples of width 2 (16-bit) or 3 and
    // more (32-bit); any other width ends the request without writing.
    void FillBuffer(void* buffer, uint32_t frames, uint16_t sampleWidthBytes);

    std::atomic<bool> bPlaying;
    GaussianRandom* pRandom;
    double dAmplitude;
    uint32_t nRemaining;
    FormatCode nFormatCode;

private:
    template <class Sample> void Fill(Sample* buffer, uint32_t frames, uint32_t count);
};
