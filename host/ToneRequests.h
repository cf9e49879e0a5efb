// The sine and sweep play requests: the value checks, in their order, then
// the driver's start when needed and the arming of the SineGenerator with
// the card's current rate. User-interface thread; nothing waits for the
// signal to play. Each refusal is one line in the debug log.
#pragma once

#include "host/PlayOutcome.h"

#include <cstdint>

class AsioBuffers;

PlayOutcome PlaySineWav(double frequency, double seconds, uint32_t attenuation);
PlayOutcome PlaySweepWav(double freqStart, double freqEnd, double seconds, uint32_t attenuation);

PlayOutcome GenerateSineWav(AsioBuffers* buffers, double frequency, double seconds,
                            uint32_t attenuation);
PlayOutcome GenerateSweepWav(AsioBuffers* buffers, double freqStart, double freqEnd, double seconds,
                             uint32_t attenuation);
