// What the white and the pink noise generator share: the attenuation-to-level
// rule, the clock that reseeds them, the request length and the sample store.
// Reached through gen/WhiteNoiseGenerator.h and gen/PinkNoiseGenerator.h.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// Peak level for an attenuation in whole decibels: exactly the format's full
// scale at 0 dB. Format code 0 is 16-bit, 1 is 24-bit, anything else 32-bit.
double LevelForAttenuation(uint32_t formatCode, uint32_t attenuationDb);

// Full scale of a format code as a double: 32767, 8388607 or 2147483647.
double FullScaleForFormat(uint32_t formatCode);

// Low 32 bits of the calendar time in whole seconds: the seed of every request.
uint32_t ClockSeedSeconds();

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
inline double SampleLimit(uint32_t formatCode, bool sixteenBit)
{
    const double fullScale = FullScaleForFormat(formatCode);
    return sixteenBit ? std::min(fullScale, 32767.0) : fullScale;
}
