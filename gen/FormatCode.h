// The sample format a generator writes for, and the levels that follow from
// it: full scale and the peak level of an attenuation in whole decibels.
// One table for the tone and both noises, so their levels cannot drift apart.
#pragma once

#include <cstdint>

// The number every generator is built with. A code outside these three
// behaves as Int32.
enum class FormatCode : uint32_t {
    Int16 = 0,     // 16-bit samples
    Int24In32 = 1, // 24-bit values carried in 32-bit words
    Int32 = 2,     // 32-bit samples: 32-bit integer and float cards
};

// 32767, 8388607 or 2147483647.
uint32_t FullScale(FormatCode code);

// Full scale times 10^(-dB/20): exactly full scale at 0 dB. Every other
// level is computed from a fixed figure of 20 * log10(full scale), so it is
// the same bit pattern on every build.
double LevelForAttenuation(FormatCode code, uint32_t attenuationDb);
