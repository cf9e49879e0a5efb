#include "gen/NoiseShared.h"

#include <cmath>
#include <ctime>

uint32_t ClockSeedSeconds()
{
    return static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
}

uint32_t RequestFrames(uint32_t sampleRate, double seconds)
{
    const double frames = std::floor(static_cast<double>(sampleRate) * seconds);
    if (!(frames >= 0.0 && frames < 9223372036854775808.0)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(frames));
}
