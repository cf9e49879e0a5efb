// The pink and white noise play requests: duration and attenuation checks,
// the driver's start when needed, then Arm with the card's rate in whole
// hertz. User-interface thread. Each refusal is one line in the debug log.
#pragma once

#include "host/PlayOutcome.h"

#include <cstdint>

PlayOutcome PlayPinkNoise(double seconds, uint32_t attenuationDb);
PlayOutcome PlayWhiteNoise(double seconds, uint32_t attenuationDb);
