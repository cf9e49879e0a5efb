#include "host/ToneRequests.h"

#include "gen/SineGenerator.h"
#include "host/HostState.h"
#include "host/PlayRequestSteps.h"
#include "log/DebugLog.h"

namespace {

// The top of the audible band at the lowest rate the dialog offers: one
// bound for every rate, so a request means the same on every card.
constexpr double kHighestFrequency = 22050.0;
constexpr double kLowestFrequency = 10.0;

} // namespace

// The comparisons are written so that a value that is not a number fails
// them too: NaN compares false with every bound and would pass "x > max".
PlayOutcome PlaySineWav(double frequency, double seconds, uint32_t attenuation)
{
    if (attenuation > kMostAttenuation)
        return Refuse("Failed: PlaySineWav - antenuation dBs greater than 60!", kAttenuationWords);
    if (!(seconds >= kShortestSeconds))
        return Refuse("Failed: PlaySineWav - seconds less than 0.01!", kSecondsWords);
    if (seconds > kLongestSeconds)
        return Refuse("Failed: PlaySineWav - seconds greater than 60!", kSecondsWords);
    if (frequency > kHighestFrequency)
        return Refuse("Failed: PlaySineWav - Frequency greater than half the sample rate!",
                      kFrequencyWords);
    if (!(frequency >= kLowestFrequency))
        return Refuse("Failed: PlaySineWav - Frequency less than 10 hz!", kFrequencyWords);
    if (pASIOBuffers == nullptr) return {PlayStatus::HostFailure, "No driver setup"};
    return GenerateSineWav(pASIOBuffers, frequency, seconds, attenuation);
}

PlayOutcome PlaySweepWav(double freqStart, double freqEnd, double seconds, uint32_t attenuation)
{
    if (attenuation > kMostAttenuation)
        return Refuse("Failed: PlaySweepWav - antenuation dBs greater than 60!", kAttenuationWords);
    if (!(seconds >= kShortestSeconds))
        return Refuse("Failed: PlaySweepWav - seconds less than 0.01!", kSecondsWords);
    if (seconds > kLongestSeconds)
        return Refuse("Failed: PlaySweepWav - seconds greater than 60!", kSecondsWords);
    if (freqStart > kHighestFrequency)
        return Refuse("Failed: PlaySweepWav - freqStart greater 22050 hz!", kSweepStartWords);
    if (!(freqStart >= kLowestFrequency))
        return Refuse("Failed: PlaySweepWav - Frequency less than 10 hz!", kSweepStartWords);
    if (freqEnd > kHighestFrequency)
        return Refuse("Failed: PlaySweepWav - Frequency greater than 22050 hz!", kSweepEndWords);
    if (!(freqEnd >= kLowestFrequency))
        return Refuse("Failed: PlaySweepWav - Frequency less than 10 hz!", kSweepEndWords);
    if (pASIOBuffers == nullptr) return {PlayStatus::HostFailure, "No driver setup"};
    return GenerateSweepWav(pASIOBuffers, freqStart, freqEnd, seconds, attenuation);
}

PlayOutcome GenerateSineWav(AsioBuffers* buffers, double frequency, double seconds,
                            uint32_t attenuation)
{
    PlayOutcome failure{};
    if (!ReadyToArm(buffers, pSineGenerator, failure)) return failure;

    DbgLogInt("GenerateSineWav - dwCountBuffers",
              static_cast<int32_t>(dwCountBuffers.load(std::memory_order_relaxed)));

    // StartTone tells nothing: it armed the tone when the flag went from
    // clear to set. Only the callback clears it, so a set flag before means
    // a signal was playing and the request was dropped.
    SineGenerator& generator = *pSineGenerator;
    if (generator.bTonePlaying.load(std::memory_order_acquire) ||
        generator.bSweepPlaying.load(std::memory_order_acquire)) {
        generator.StartTone(asioDriverInfo.sampleRate, frequency, seconds, attenuation);
        return {PlayStatus::Refused, "A tone or sweep is already playing"};
    }
    generator.StartTone(asioDriverInfo.sampleRate, frequency, seconds, attenuation);
    if (!generator.bTonePlaying.load(std::memory_order_acquire))
        return {PlayStatus::Refused, "The tone cannot be planned at this sample rate"};
    return {PlayStatus::Armed, nullptr};
}

PlayOutcome GenerateSweepWav(AsioBuffers* buffers, double freqStart, double freqEnd, double seconds,
                             uint32_t attenuation)
{
    PlayOutcome failure{};
    if (!ReadyToArm(buffers, pSineGenerator, failure)) return failure;

    DbgLogInt("GenerateSweepWav - dwCountBuffers",
              static_cast<int32_t>(dwCountBuffers.load(std::memory_order_relaxed)));

    // A sweep during a sweep restarts it, so only a playing tone or a plan
    // that cannot be made leaves the sweep flag clear.
    SineGenerator& generator = *pSineGenerator;
    const bool tonePlaying = generator.bTonePlaying.load(std::memory_order_acquire);
    generator.StartSweep(asioDriverInfo.sampleRate, freqStart, freqEnd, seconds, attenuation);
    if (tonePlaying) return {PlayStatus::Refused, "A tone is already playing"};
    if (!generator.bSweepPlaying.load(std::memory_order_acquire))
        return {PlayStatus::Refused, "The sweep cannot be planned at this sample rate"};
    return {PlayStatus::Armed, nullptr};
}
