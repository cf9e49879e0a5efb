#include "host/NoiseRequests.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/HostState.h"
#include "host/PlayRequestSteps.h"
#include "log/DebugLog.h"

namespace {

// The texts of one noise request: both requests run the same steps.
struct NoiseTexts {
    const char* attenuationTooHigh;
    const char* secondsTooShort;
    const char* secondsTooLong;
    const char* countLabel;
    const char* alreadyPlaying;
    const char* armRefused;
};

constexpr NoiseTexts kPinkTexts = {
    "Failed: PlayPinkNoise - antenuation dBs greater than 60!",
    "Failed: PlayPinkNoise - seconds less than 0.01!",
    "Failed: PlayPinkNoise - seconds greater than 60!",
    "PlayPinkNoise - dwCountBuffers",
    "Pink noise is already playing",
    "The pink noise generator has been released",
};

constexpr NoiseTexts kWhiteTexts = {
    "Failed: PlayWhiteNoise - antenuation dBs greater than 60!",
    "Failed: PlayWhiteNoise - seconds less than 0.01!",
    "Failed: PlayWhiteNoise - seconds greater than 60!",
    "PlayWhiteNoise - dwCountBuffers",
    "White noise is already playing",
    "The white noise generator has been released",
};

template <class Generator>
PlayOutcome PlayNoise(Generator* generator, const NoiseTexts& texts, double seconds,
                      uint32_t attenuationDb)
{
    if (attenuationDb > kMostAttenuation)
        return Refuse(texts.attenuationTooHigh, kAttenuationWords);
    // Written so that a duration that is not a number is refused as well.
    if (!(seconds >= kShortestSeconds)) return Refuse(texts.secondsTooShort, kSecondsWords);
    if (seconds > kLongestSeconds) return Refuse(texts.secondsTooLong, kSecondsWords);
    PlayOutcome failure{};
    if (!ReadyToArm(pASIOBuffers, generator, failure)) return failure;

    DbgLogInt(texts.countLabel,
              static_cast<int32_t>(dwCountBuffers.load(std::memory_order_relaxed)));

    // Arm tells nothing; it armed the request when the flag went from clear
    // to set. Only the callback clears the flag, so set before means dropped.
    const bool wasPlaying = generator->bPlaying.load(std::memory_order_acquire);
    generator->Arm(static_cast<uint32_t>(WholeHertz(asioDriverInfo.sampleRate)), seconds,
                   attenuationDb);
    if (wasPlaying) return {PlayStatus::Refused, texts.alreadyPlaying};
    if (!generator->bPlaying.load(std::memory_order_acquire))
        return {PlayStatus::Refused, texts.armRefused};
    return {PlayStatus::Armed, nullptr};
}

} // namespace

PlayOutcome PlayPinkNoise(double seconds, uint32_t attenuationDb)
{
    return PlayNoise(pPinkNoiseGenerator, kPinkTexts, seconds, attenuationDb);
}

PlayOutcome PlayWhiteNoise(double seconds, uint32_t attenuationDb)
{
    return PlayNoise(pWhiteNoiseGenerator, kWhiteTexts, seconds, attenuationDb);
}
