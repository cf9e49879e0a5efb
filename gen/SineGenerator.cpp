#include "gen/SineGenerator.h"

#include "log/DebugLog.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kLongestBalancedTone = 10.0;
constexpr double kShortestRamp = 0.01;

// The magnitude floored and the sign put back: truncation toward zero.
inline int32_t TruncateTowardZero(double y)
{
    const double magnitude = std::floor(std::fabs(y));
    return static_cast<int32_t>(y < 0.0 ? -magnitude : magnitude);
}

inline uint32_t DivideRoundingUp(uint32_t value, uint32_t divisor)
{
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

} // namespace

SineGenerator::SineGenerator(uint32_t frames, FormatCode formatCode)
    : bTonePlaying(false), bSweepPlaying(false), nFormat(formatCode), lSampleSum(0), lCorrection(0),
      dwFullScale(FullScale(formatCode)), dwRampLength(0), dwFadeOutOffset(0), dwFadeOutBuffer(0),
      dwBufferIndex(0), dwFadeOutDone(0), dwFadeInDone(0), dwToneBuffers(0), dwSweepBuffers(0),
      dwSweepBuffersLeft(0), dwFrames(frames), pSweepWindow(nullptr), dDcStep(0.0),
      dDcAccumulator(0.0), dPhaseIncrement(0.0), dIncrementStep(0.0), dAmplitude(0.0), dPhase(0.0),
      dSampleRate(0.0), dSweepAmplitude0(0.0), dSweepPhase0(0.0), dSweepIncrement0(0.0),
      dEnvelope(0.0), dEnvelopeStep(0.0), dSweepIncrementStep0(0.0), bPastFadeIn(false),
      bFadeOutStarted(false), bDcFraction(false), bSweepRestart(false),
      b16Bit(formatCode == FormatCode::Int16), m_pWindowStorage(nullptr)
{
    // The figures of a plan depend on round-to-nearest double arithmetic.
    std::fesetenv(FE_DFL_ENV);
}

SineGenerator::~SineGenerator()
{
    Release();
}

void SineGenerator::Release()
{
    pSweepWindow = nullptr;
    delete[] m_pWindowStorage;
    m_pWindowStorage = nullptr;
}

double SineGenerator::AttenuationToAmplitude(uint32_t attenuation) const
{
    // Two units below full scale, so a DC correction never passes it.
    if (attenuation == 0) return static_cast<double>(dwFullScale) - 2.0;
    return LevelForAttenuation(nFormat, attenuation);
}

void SineGenerator::ResetRun()
{
    dEnvelope = 0.0;
    dPhase = 0.0;
    lSampleSum = 0;
    dwFadeOutDone = 0;
    dwFadeInDone = 0;
    dwBufferIndex = 0;
    dDcAccumulator = 0.0;
    bPastFadeIn = false;
    bFadeOutStarted = false;
}

// ---- Sample writers ------------------------------------------------------

template <class Sample, SineGenerator::Stage stage>
void SineGenerator::Write(Sample* buffer, uint32_t count)
{
    const double fullScale = static_cast<double>(dwFullScale);
    for (uint32_t i = 0; i < count; ++i) {
        dPhase += dPhaseIncrement;
        double y;
        if constexpr (stage == Stage::Steady) {
            y = std::sin(dPhase) * dAmplitude;
        } else {
            if constexpr (stage == Stage::FadeIn)
                dEnvelope += dEnvelopeStep;
            else
                dEnvelope -= dEnvelopeStep;
            y = std::sin(dPhase) * dAmplitude * (dEnvelope / fullScale);
        }
        const Sample value = static_cast<Sample>(TruncateTowardZero(y));
        if (buffer != nullptr) buffer[i] = value;
        // Partial sums of long 32-bit tones pass the 32-bit range; the sum
        // wraps and comes back, exact whenever the tone's total fits.
        lSampleSum = static_cast<int32_t>(static_cast<uint32_t>(lSampleSum) +
                                          static_cast<uint32_t>(static_cast<int32_t>(value)));
    }
    if constexpr (stage == Stage::FadeIn) dwFadeInDone += count;
    if constexpr (stage == Stage::FadeOut) dwFadeOutDone += count;
}

// Adds whole units to a stored sample, but never past full scale: a sample
// that wrapped would be a full-scale click. What did not fit stays in the
// accumulator for the samples that follow, so the tone still sums to zero.
template <class Sample> void SineGenerator::AddCorrection(Sample& sample, int64_t units)
{
    const int64_t limit = dwFullScale;
    const int64_t wanted = static_cast<int64_t>(sample) + units;
    const int64_t stored = std::clamp(wanted, -limit, limit);
    dDcAccumulator -= static_cast<double>(stored - sample);
    sample = static_cast<Sample>(stored);
}

template <class Sample, SineGenerator::Stage stage>
void SineGenerator::WriteCorrected(Sample* buffer, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t sumBefore = lSampleSum;
        Write<Sample, stage>(buffer + i, 1);
        lSampleSum = sumBefore;
        dDcAccumulator += dDcStep;
        const double units = std::trunc(dDcAccumulator);
        if (units != 0.0) AddCorrection(buffer[i], static_cast<int64_t>(units));
    }
}

template <class Sample> void SineGenerator::WriteSteady(Sample* buffer, uint32_t count)
{
    Write<Sample, Stage::Steady>(buffer, count);
}
template <class Sample> void SineGenerator::WriteFadeIn(Sample* buffer, uint32_t count)
{
    Write<Sample, Stage::FadeIn>(buffer, count);
}
template <class Sample> void SineGenerator::WriteFadeOut(Sample* buffer, uint32_t count)
{
    Write<Sample, Stage::FadeOut>(buffer, count);
}
template <class Sample> void SineGenerator::WriteSteadyCorrected(Sample* buffer, uint32_t count)
{
    WriteCorrected<Sample, Stage::Steady>(buffer, count);
}
template <class Sample> void SineGenerator::WriteFadeInCorrected(Sample* buffer, uint32_t count)
{
    WriteCorrected<Sample, Stage::FadeIn>(buffer, count);
}
template <class Sample> void SineGenerator::WriteFadeOutCorrected(Sample* buffer, uint32_t count)
{
    WriteCorrected<Sample, Stage::FadeOut>(buffer, count);
}

// ---- Block operations ----------------------------------------------------

template <class Sample> void SineGenerator::NudgeSample(Sample& sample)
{
    if (lCorrection >= 0) {
        --lCorrection;
        sample = static_cast<Sample>(sample + 1);
    } else {
        ++lCorrection;
        sample = static_cast<Sample>(sample - 1);
    }
}

template <class Sample> bool SineGenerator::FadeInBlock(Sample* buffer, uint32_t count)
{
    if (bDcFraction)
        WriteFadeInCorrected(buffer, count);
    else
        WriteFadeIn(buffer, count);
    return dwFadeInDone != dwRampLength;
}

template <class Sample> void SineGenerator::SteadyBlock(Sample* buffer, uint32_t count)
{
    if (bDcFraction) {
        WriteSteadyCorrected(buffer, count);
        return;
    }
    WriteSteady(buffer, count);
    if (count == dwFrames && std::abs(lCorrection) > 1) NudgeSample(buffer[count - 1]);
}

template <class Sample> bool SineGenerator::FadeOutBlock(Sample* buffer, uint32_t count)
{
    const bool first = dwFadeOutDone == 0;
    if (first) dEnvelope = static_cast<double>(dwFullScale);
    if (bDcFraction) {
        WriteFadeOutCorrected(buffer, count);
    } else {
        WriteFadeOut(buffer, count);
        if (first && count > 0 && std::abs(lCorrection) > 1) NudgeSample(buffer[0]);
    }
    return dwFadeOutDone != dwRampLength;
}

// ---- Tone playback -------------------------------------------------------

template <class Sample>
void SineGenerator::RenderTone(Sample* work, std::type_identity_t<Sample>* target)
{
    const uint32_t frames = dwFrames;
    const uint32_t ramp = dwRampLength;
    Sample* run = nullptr;
    uint32_t n = 0;

    auto finish = [&] {
        if (target != nullptr) std::memcpy(target, work, frames * sizeof(Sample));
        ++dwBufferIndex;
    };

    if (!bPastFadeIn) {
        uint32_t used = 0;
        const uint32_t remaining = ramp - dwFadeInDone;
        if (remaining != 0) {
            n = std::min(frames, remaining);
            if (FadeInBlock(work, n)) return finish();
            if (std::abs(lCorrection) > 1) NudgeSample(work[n - 1]);
            if (n == frames) return finish();
            used = n;
        }
        bPastFadeIn = true;
        if (dwBufferIndex != dwFadeOutBuffer) {
            SteadyBlock(work + used, frames - used);
            return finish();
        }
        SteadyBlock(work + used, dwFadeOutOffset - used);
        if (std::abs(lCorrection) > 1) NudgeSample(work[dwFadeOutOffset - 1]);
        bFadeOutStarted = true;
        run = work + dwFadeOutOffset;
        n = std::min(ramp, frames - dwFadeOutOffset);
    } else if (dwBufferIndex < dwFadeOutBuffer) {
        SteadyBlock(work, frames);
        return finish();
    } else if (!bFadeOutStarted) {
        bFadeOutStarted = true;
        if (dwFadeOutOffset != 0) {
            SteadyBlock(work, dwFadeOutOffset);
            run = work + dwFadeOutOffset;
            n = std::min(ramp, frames - dwFadeOutOffset);
        } else {
            run = work;
            n = std::min(frames, ramp);
        }
    } else {
        run = work;
        n = std::min(frames, ramp - dwFadeOutDone);
    }

    if (FadeOutBlock(run, n)) return finish();

    // The tone ends in this buffer.
    Sample& last = run[n - 1];
    if (bDcFraction) {
        // A leftover of 0.9 or more in magnitude becomes one unit.
        const int64_t units = static_cast<int64_t>(std::floor(std::fabs(dDcAccumulator) + 0.1));
        AddCorrection(last, dDcAccumulator < 0.0 ? -units : units);
    } else if (lCorrection != 0) {
        NudgeSample(last);
    }
    Sample* const end = work + frames;
    std::fill(run + n, end, Sample(0));
    if (target != nullptr) std::memcpy(target, work, frames * sizeof(Sample));
    ++dwBufferIndex;
    // Last: once the flag is clear the next plan may overwrite every field.
    bTonePlaying.store(false, std::memory_order_release);
}

// ---- Tone plan -----------------------------------------------------------

// Places the first fade-out sample at E and checks the tone still spans two
// buffers.
bool SineGenerator::PlaceFadeOut(uint32_t fadeOutStart)
{
    dwFadeOutBuffer = fadeOutStart / dwFrames;
    dwFadeOutOffset = fadeOutStart % dwFrames;
    const uint64_t total = static_cast<uint64_t>(dwRampLength) + fadeOutStart;
    if (total > std::numeric_limits<uint32_t>::max()) return false;
    dwToneBuffers = DivideRoundingUp(static_cast<uint32_t>(total), dwFrames);
    return dwToneBuffers >= 2;
}

// The buffers that the steady part fills completely: where unit corrections
// can fall besides the ramps' edges.
uint32_t SineGenerator::WholeSteadyBuffers() const
{
    const uint32_t fadeOutStart = dwFadeOutBuffer * dwFrames + dwFadeOutOffset;
    const uint32_t q = fadeOutStart / dwFrames;
    const uint32_t p = dwRampLength / dwFrames;
    if (q < p) return 0;
    uint32_t whole = q - p;
    if (q != p && dwRampLength % dwFrames != 0) --whole;
    return whole;
}

// The whole tone computed without output, in the width playback will use.
// With risingCrossing set on entry the last two steady samples are kept, and
// it tells on return whether they cross zero rising.
template <class Sample> int32_t SineGenerator::DryRun(uint32_t steadyEnd, bool& risingCrossing)
{
    Sample* const none = nullptr;
    ResetRun();
    WriteFadeIn(none, dwRampLength);
    if (risingCrossing) {
        Sample lastTwo[2] = {0, 0};
        WriteSteady(none, steadyEnd - dwRampLength - 2);
        WriteSteady(lastTwo, 2);
        risingCrossing = lastTwo[0] <= 0 && lastTwo[1] > 0;
    } else {
        WriteSteady(none, steadyEnd - dwRampLength);
    }
    dEnvelope = static_cast<double>(dwFullScale);
    WriteFadeOut(none, dwRampLength);
    return lSampleSum;
}

void SineGenerator::StartTone(double sampleRate, double frequency, double seconds,
                              uint32_t attenuation)
{
    if (bSweepPlaying.load(std::memory_order_acquire) ||
        bTonePlaying.load(std::memory_order_acquire))
        return;

    DbgLogDouble("Requested frequency", frequency, 6);
    DbgLogDouble("Requested seconds", seconds, 6);

    dSampleRate = sampleRate;
    // Rates, frequencies and lengths that no plan can hold are refused like
    // any other plan that cannot be made.
    if (!(sampleRate > 0.0) || !(frequency > 0.0) || !(seconds > 0.0) ||
        !std::isfinite(sampleRate) || !std::isfinite(frequency) || !std::isfinite(seconds) ||
        dwFrames == 0)
        return;
    const double period = 1.0 / frequency;
    const double samplesPerCycle = sampleRate / frequency;
    // Above half the rate the ramps would round to nothing or to a wrapped
    // length, and the tone would alias anyway.
    if (samplesPerCycle < 2.0) return;

    const double cycles = std::floor(frequency * seconds + 0.5);
    if (cycles < 2.0 || cycles * samplesPerCycle > 4.0e9) return;
    const uint32_t nc = static_cast<uint32_t>(cycles);

    const double x = nc * samplesPerCycle;
    const uint32_t whole = static_cast<uint32_t>(std::floor(x));
    const bool fractional = x != std::floor(x);
    dwToneBuffers = DivideRoundingUp(whole, dwFrames);
    if (dwToneBuffers < 2) return;

    const uint32_t half = nc / 2;
    uint32_t rampCycles = half;
    if (half * period > kShortestRamp) {
        const double least = std::ceil(kShortestRamp * frequency);
        rampCycles = std::min<uint32_t>(half, static_cast<uint32_t>(least));
    }
    dwRampLength = static_cast<uint32_t>(std::floor(rampCycles * samplesPerCycle)) - 1;

    uint32_t fadeOutStart = static_cast<uint32_t>(std::floor((nc - rampCycles) * samplesPerCycle));
    if (fractional) ++fadeOutStart;
    if (fadeOutStart < dwRampLength + 2) ++fadeOutStart;
    if (!PlaceFadeOut(fadeOutStart)) return;

    dEnvelopeStep = static_cast<double>(dwFullScale) / (dwRampLength + 1);
    dAmplitude = AttenuationToAmplitude(attenuation);
    bDcFraction = false;
    dPhaseIncrement = kTwoPi / (sampleRate / frequency);
    ResetRun();

    if (seconds > kLongestBalancedTone) {
        lCorrection = 0;
        bTonePlaying.store(true, std::memory_order_release);
        return;
    }

    auto dryRun = [&](bool& risingCrossing) {
        return b16Bit ? DryRun<int16_t>(fadeOutStart, risingCrossing)
                      : DryRun<int32_t>(fadeOutStart, risingCrossing);
    };
    bool testCrossing = !fractional;
    int32_t sum = dryRun(testCrossing);
    if (!fractional && !testCrossing) {
        ++fadeOutStart;
        if (!PlaceFadeOut(fadeOutStart)) return;
        bool noTest = false;
        sum = dryRun(noTest);
    }

    const int64_t magnitude = std::llabs(static_cast<int64_t>(sum));
    const int64_t unitPlaces = static_cast<int64_t>(WholeSteadyBuffers()) + 3;
    lCorrection = 0;
    if (magnitude != 0 && magnitude <= unitPlaces) {
        lCorrection = -sum;
    } else if (magnitude > unitPlaces) {
        const uint32_t total = dwRampLength + fadeOutStart;
        dDcStep = -(static_cast<double>(sum) / total);
        bDcFraction = true;
    }
    ResetRun();
    bTonePlaying.store(true, std::memory_order_release);
}

// ---- Sweep ---------------------------------------------------------------

void SineGenerator::BuildSweepWindow(double* window, uint32_t count)
{
    if (window == nullptr || count == 0) return;
    const double start = AttenuationToAmplitude(0);
    const double step = start / count;
    const double fullScale = static_cast<double>(dwFullScale);
    double v = start;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        v -= step;
        window[i] = v / fullScale;
    }
    window[count - 1] = 0.0;
}

void SineGenerator::StartSweep(double sampleRate, double startFrequency, double endFrequency,
                               double seconds, uint32_t attenuation)
{
    if (bTonePlaying.load(std::memory_order_acquire)) return;
    if (bSweepPlaying.load(std::memory_order_acquire)) {
        bSweepRestart = true;
        return;
    }
    dSampleRate = sampleRate;
    if (dwFrames == 0) return;
    const double buffers = std::floor(sampleRate * seconds / dwFrames + 0.5);
    if (!(buffers >= 2.0) || buffers * dwFrames > 4.0e9) return;
    const uint32_t n = static_cast<uint32_t>(buffers);
    dwSweepBuffers = n + 1;
    dwSweepBuffersLeft = n + 1;
    const double total = static_cast<double>(n + 1) * dwFrames;

    const double startIncrement = kTwoPi / (sampleRate / startFrequency);
    const double endIncrement = kTwoPi / (sampleRate / endFrequency);
    dIncrementStep = (startIncrement - endIncrement) / total;
    dAmplitude = AttenuationToAmplitude(attenuation);
    dSweepAmplitude0 = dAmplitude;
    dPhaseIncrement = startIncrement;
    dSweepIncrement0 = startIncrement;
    dSweepIncrementStep0 = dIncrementStep;
    dPhase = 0.0;
    dSweepPhase0 = 0.0;

    if (m_pWindowStorage == nullptr) m_pWindowStorage = new (std::nothrow) double[dwFrames];
    if (m_pWindowStorage == nullptr) return;
    pSweepWindow = m_pWindowStorage;
    BuildSweepWindow(pSweepWindow, dwFrames);
    bSweepRestart = false;
    bSweepPlaying.store(true, std::memory_order_release);
}

template <class Sample>
void SineGenerator::RenderSweep(Sample* work, std::type_identity_t<Sample>* target)
{
    const uint32_t frames = dwFrames;
    if (bSweepRestart) {
        dwSweepBuffersLeft = dwSweepBuffers;
        dAmplitude = dSweepAmplitude0;
        dPhase = dSweepPhase0;
        dPhaseIncrement = dSweepIncrement0;
        dIncrementStep = dSweepIncrementStep0;
        bSweepRestart = false;
    }
    if (dwSweepBuffersLeft == 1) {
        // The closing buffer: the frequency holds while the window closes.
        for (uint32_t i = 0; i + 1 < frames; ++i) {
            work[i] = static_cast<Sample>(
                TruncateTowardZero(std::sin(dPhase) * dAmplitude * pSweepWindow[i]));
            dPhase += dPhaseIncrement;
        }
        work[frames - 1] = 0;
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            work[i] = static_cast<Sample>(TruncateTowardZero(std::sin(dPhase) * dAmplitude));
            dPhase += dPhaseIncrement;
            dPhaseIncrement -= dIncrementStep;
        }
    }
    if (dPhase >= kTwoPi) dPhase = std::fmod(dPhase, kTwoPi);
    std::memcpy(target, work, frames * sizeof(Sample));
    if (--dwSweepBuffersLeft == 0) {
        bSweepRestart = false;
        pSweepWindow = nullptr;
        bSweepPlaying.store(false, std::memory_order_release);
    }
}

// The two widths the render path plays.
#define TONEWRIGHT_SINE_WIDTH(Sample)                                                              \
    template void SineGenerator::RenderTone<Sample>(Sample*, Sample*);                             \
    template void SineGenerator::RenderSweep<Sample>(Sample*, Sample*);                            \
    template void SineGenerator::WriteSteady<Sample>(Sample*, uint32_t);                           \
    template void SineGenerator::WriteFadeIn<Sample>(Sample*, uint32_t);                           \
    template void SineGenerator::WriteFadeOut<Sample>(Sample*, uint32_t);                          \
    template void SineGenerator::WriteSteadyCorrected<Sample>(Sample*, uint32_t);                  \
    template void SineGenerator::WriteFadeInCorrected<Sample>(Sample*, uint32_t);                  \
    template void SineGenerator::WriteFadeOutCorrected<Sample>(Sample*, uint32_t);
TONEWRIGHT_SINE_WIDTH(int16_t)
TONEWRIGHT_SINE_WIDTH(int32_t)
