#include "gen/PinkNoiseGenerator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <new>

static_assert(std::atomic<bool>::is_always_lock_free, "the render thread must never wait on it");
static_assert(offsetof(PinkNoiseGenerator, bPlaying) == 0,
              "the flag is the first byte of the object");

PinkFilter::PinkFilter() : seed(NoiseSeed()), counter(1), sum(0.0f), rows{} {}

float PinkFilter::RandomValue()
{
    seed = seed * 196314165u + 907633515u;
    // Exponent field 128 and the seed's top 23 bits as mantissa: a float in
    // [2, 4) without a conversion or a division.
    const float f = std::bit_cast<float>((seed >> 9) | 0x40000000u);
    return (f - 3.0f) * 0.5f;
}

float PinkFilter::Next()
{
    // A counter of 0 and counts with 16 or more trailing zeros fall back to
    // the low rows.
    const uint32_t n = static_cast<uint32_t>(std::countr_zero(counter)) % kRows;
    const float prev = rows[n];
    for (;;) {
        const float r = RandomValue();
        const float delta = r - prev;
        rows[n] = r;
        sum = sum + delta;
        if (sum >= -4.0f && sum <= 4.0f) break;
        // Redrawn rather than clipped, so that the sum stays the rows' sum.
        sum = sum - delta;
    }
    ++counter;
    const float w = RandomValue();
    return (sum + w) * 0.125f;
}

PinkNoiseGenerator::PinkNoiseGenerator(FormatCode formatCode)
    : bPlaying(false), pFilter(new (std::nothrow) PinkFilter), dAmplitude(0.0), nRemaining(0),
      nFormatCode(formatCode)
{
}

PinkNoiseGenerator::~PinkNoiseGenerator()
{
    Release();
}

PinkNoiseGenerator* PinkNoiseGenerator::Create(FormatCode formatCode)
{
    PinkNoiseGenerator* generator = new (std::nothrow) PinkNoiseGenerator(formatCode);
    if (generator != nullptr && generator->pFilter == nullptr) {
        delete generator;
        generator = nullptr;
    }
    return generator;
}

void PinkNoiseGenerator::Release()
{
    delete pFilter;
    pFilter = nullptr;
}

void PinkNoiseGenerator::Arm(uint32_t sampleRate, double seconds, uint32_t attenuationDb)
{
    if (bPlaying.load(std::memory_order_acquire) || pFilter == nullptr) return;
    dAmplitude = LevelForAttenuation(nFormatCode, attenuationDb) * kPeakGain;
    nRemaining = RequestFrames(sampleRate, seconds);
    pFilter->seed = NoiseSeed();
    bPlaying.store(true, std::memory_order_release);
}

// Driver callback thread, inside the buffer switch: no allocation, no lock,
// no log line, no system call.
template <class Sample>
void PinkNoiseGenerator::Fill(Sample* buffer, uint32_t frames, uint32_t count)
{
    const double limit = SampleLimit(nFormatCode, sizeof(Sample) == 2);
    std::fill(buffer + count, buffer + frames, Sample(0));
    for (uint32_t j = 0; j < count; ++j) {
        const double x = static_cast<double>(pFilter->Next()) * dAmplitude;
        StoreSaturated(&buffer[j], std::trunc(x), limit);
    }
}

// Driver callback thread, inside the buffer switch: no allocation, no lock,
// no log line, no system call.
void PinkNoiseGenerator::FillBuffer(void* buffer, uint32_t frames, uint16_t sampleWidthBytes)
{
    uint32_t count = frames;
    bool last = false;
    if (nRemaining <= frames) {
        count = nRemaining;
        nRemaining = 0;
        last = true;
    } else {
        nRemaining -= frames;
    }
    if (sampleWidthBytes >= 3)
        Fill(static_cast<int32_t*>(buffer), frames, count);
    else if (sampleWidthBytes == 2)
        Fill(static_cast<int16_t*>(buffer), frames, count);
    else
        last = true;
    // Cleared only after the last use of the filter: once the flag is down,
    // Arm on the other thread may rewrite the amplitude and the seed.
    if (last) bPlaying.store(false, std::memory_order_release);
}
