#include "gen/WhiteNoiseGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

static_assert(std::atomic<bool>::is_always_lock_free, "the render thread must never wait on it");
static_assert(offsetof(WhiteNoiseGenerator, bPlaying) == 0,
              "the flag is the first byte of the object");

WhiteNoiseGenerator::WhiteNoiseGenerator(FormatCode formatCode)
    : bPlaying(false), pRandom(new (std::nothrow) GaussianRandom), dAmplitude(0.0), nRemaining(0),
      nFormatCode(formatCode)
{
    if (pRandom != nullptr) pRandom->Seed(0);
}

WhiteNoiseGenerator::~WhiteNoiseGenerator()
{
    Release();
}

WhiteNoiseGenerator* WhiteNoiseGenerator::Create(FormatCode formatCode)
{
    WhiteNoiseGenerator* generator = new (std::nothrow) WhiteNoiseGenerator(formatCode);
    if (generator != nullptr && generator->pRandom == nullptr) {
        delete generator;
        generator = nullptr;
    }
    return generator;
}

void WhiteNoiseGenerator::Release()
{
    delete pRandom;
    pRandom = nullptr;
}

void WhiteNoiseGenerator::Arm(uint32_t sampleRate, double seconds, uint32_t attenuationDb)
{
    if (bPlaying.load(std::memory_order_acquire) || pRandom == nullptr) return;
    // One unit of headroom: the rounded peak stays inside full scale.
    dAmplitude = LevelForAttenuation(nFormatCode, attenuationDb) - 1.0;
    nRemaining = RequestFrames(sampleRate, seconds);
    pRandom->Seed(0);
    bPlaying.store(true, std::memory_order_release);
}

namespace {

// Values drawn per call of the random source: a stack block of 2 KiB.
constexpr uint32_t kBlock = 256;

// Rounds half away from zero.
inline double Quantise(double v, double amplitude)
{
    const double x = v * amplitude;
    return v < 0.0 ? std::ceil(x - 0.5) : std::floor(x + 0.5);
}

// Quantise, held at +-limit, for a positive amplitude: x then has v's sign,
// so x + 0.5 or x - 0.5 has it too, and cutting toward zero is the floor or
// the ceiling. Held first and cut after gives the same whole number, since
// the limit is whole. No branch on the sign, which is a coin toss.
template <class Sample>
inline void StoreRounded(Sample* sample, double v, double amplitude, double limit)
{
    const double x = v * amplitude + (v < 0.0 ? -0.5 : 0.5);
    *sample = static_cast<Sample>(static_cast<int32_t>(std::clamp(x, -limit, limit)));
}

} // namespace

// Driver callback thread, inside the buffer switch: no allocation, no lock,
// no log line, no system call.
template <class Sample>
void WhiteNoiseGenerator::Fill(Sample* buffer, uint32_t frames, uint32_t count)
{
    const double limit = SampleLimit(nFormatCode, sizeof(Sample) == 2);
    const double amplitude = dAmplitude;
    std::fill(buffer + count, buffer + frames, Sample(0));
    double values[kBlock];
    for (uint32_t j = 0; j < count; j += kBlock) {
        // An odd last block draws a whole pair and leaves its second value.
        const uint32_t n = std::min(kBlock, count - j);
        pRandom->NextGaussianPairs(values, (n + 1) / 2);
        if (amplitude > 0.0) {
            for (uint32_t i = 0; i < n; ++i)
                StoreRounded(&buffer[j + i], values[i], amplitude, limit);
        } else {
            for (uint32_t i = 0; i < n; ++i)
                StoreSaturated(&buffer[j + i], Quantise(values[i], amplitude), limit);
        }
    }
}

// Driver callback thread, inside the buffer switch: no allocation, no lock,
// no log line, no system call.
void WhiteNoiseGenerator::FillBuffer(void* buffer, uint32_t frames, uint16_t sampleWidthBytes)
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
    // Cleared only after the last use of the state: once the flag is down,
    // Arm on the other thread may rewrite the amplitude and reseed.
    if (last) bPlaying.store(false, std::memory_order_release);
}
