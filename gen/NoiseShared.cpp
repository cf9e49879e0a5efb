#include "gen/NoiseShared.h"

#include <atomic>
#include <cmath>
#include <ctime>

namespace {

std::atomic<bool> g_bSeedFixed{false};
std::atomic<uint32_t> g_nFixedSeed{0};

} // namespace

uint32_t NoiseSeed()
{
    if (g_bSeedFixed.load(std::memory_order_relaxed))
        return g_nFixedSeed.load(std::memory_order_relaxed);
    return static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
}

void FixNoiseSeed(uint32_t seed)
{
    g_nFixedSeed.store(seed, std::memory_order_relaxed);
    g_bSeedFixed.store(true, std::memory_order_relaxed);
}

uint32_t RequestFrames(uint32_t sampleRate, double seconds)
{
    const double frames = std::floor(static_cast<double>(sampleRate) * seconds);
    if (!(frames >= 0.0 && frames < 9223372036854775808.0)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(frames));
}
