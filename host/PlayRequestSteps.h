// The steps every play request shares: its limits, a refusal with its log
// line, and the readiness check before a generator is armed (a driver setup,
// the generator, and the driver's start when the setup could not start it).
// User-interface thread.
#pragma once

#include "host/PlayOutcome.h"

#include <cstdint>

class AsioBuffers;

constexpr double kShortestSeconds = 0.01;
constexpr double kLongestSeconds = 60.0;
constexpr uint32_t kMostAttenuation = 60;

// The limits in plain words, for the user of a front end; the log keeps its
// own lines.
constexpr const char* kAttenuationWords = "attenuation must be 0 to 60 dB";
constexpr const char* kSecondsWords = "duration must be 0.01 to 60 seconds";
constexpr const char* kFrequencyWords = "frequency must be 10 to 22050 Hz";
constexpr const char* kSweepStartWords = "the sweep's start must be 10 to 22050 Hz";
constexpr const char* kSweepEndWords = "the sweep's end must be 10 to 22050 Hz";

// Logs the line and returns it as the refusal's reason, with words for the user.
PlayOutcome Refuse(const char* line, const char* words);

// False, with the outcome to report, when the request cannot reach its
// generator: no driver setup, no generator, or a driver that will not start
// ("Can't start!" in the log). Starting here retries a start that failed
// during the driver setup, so the first request that succeeds brings the
// output up.
bool ReadyToArm(AsioBuffers* buffers, const void* generator, PlayOutcome& failure);
