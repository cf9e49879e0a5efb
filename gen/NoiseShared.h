// What the white and the pink noise generator share: the attenuation-to-level
// rule (gen/FormatCode.h), the seed of each request, the request length and the sample store.
// Reached through gen/WhiteNoiseGenerator.h and gen/PinkNoiseGenerator.h.
#pragma once

#include "gen/FormatCode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// The seed of every request: the low 32 bits of the calendar time in whole
// seconds, or the seed fixed for the process.
uint32_t NoiseSeed();
// Every later request takes seed in place of the clock, so that the same
// request makes the same samples again. User-interface thread.
void FixNoiseSeed(uint32_t seed);

// Frames in a request: floor(sampleRate * seconds) cut to 32 bits. A product
// that is negative, not a number or past the 64-bit range gives 0 frames
// instead of a wrapped length of hours.
uint32_t RequestFrames(uint32_t sampleRate, double seconds);

// Stores an integral value as a sample, held at +-limit. The loudest pink
// values at 0 dB land a few units past full scale; kept whole they would wrap
// to the opposite sign, a full-scale click.
template <class Sample> inline void StoreSaturated(Sample* sample, double integral, double limit)
{
    *sample = static_cast<Sample>(static_cast<int32_t>(std::clamp(integral, -limit, limit)));
}

// The largest magnitude a noise sample may take in a buffer of this width:
// the format's full scale, or less when the buffer is narrower.
inline double SampleLimit(FormatCode code, bool sixteenBit)
{
    const double fullScale = FullScale(code);
    return sixteenBit ? std::min(fullScale, 32767.0) : fullScale;
}
