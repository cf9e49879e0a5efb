// The tone and sweep generator: plans a whole-cycle, DC-balanced sine burst
// or a linear sweep on the user-interface thread and renders it buffer by
// buffer on the driver's callback thread. The playing flags publish a plan:
// every field is written before the flag is stored (release) and read only
// after the flag has been loaded (acquire).
#pragma once

#include "gen/FormatCode.h"

#include <atomic>
#include <cstdint>
#include <type_traits>

class SineGenerator {
public:
    SineGenerator(uint32_t frames, FormatCode formatCode);
    ~SineGenerator();
    SineGenerator(const SineGenerator&) = delete;
    SineGenerator& operator=(const SineGenerator&) = delete;

    // Frees the sweep window. The host calls it before deleting the object.
    void Release();

    // User-interface thread: arm a signal. Refusals are silent; success shows
    // only as the playing flag set.
    void StartTone(double sampleRate, double frequency, double seconds, uint32_t attenuation);
    void StartSweep(double sampleRate, double startFrequency, double endFrequency, double seconds,
                    uint32_t attenuation);

    // Driver callback thread: one buffer of dwFrames samples each, int16_t
    // for format code Int16 and int32_t for the others. No lock, no
    // allocation, no system call. The target may be null for a tone only.
    template <class Sample> void RenderTone(Sample* work, std::type_identity_t<Sample>* target);
    template <class Sample> void RenderSweep(Sample* work, std::type_identity_t<Sample>* target);

    // Full scale minus 2 at 0 dB, the level of the attenuation otherwise.
    double AttenuationToAmplitude(uint32_t attenuation) const;
    void ResetRun();

    // Sample writers: with a null buffer they only advance the state and the
    // sum (the planning's dry run). The corrected forms spread the fractional
    // DC correction over each sample and never take a null buffer.
    template <class Sample> void WriteSteady(Sample* buffer, uint32_t count);
    template <class Sample> void WriteFadeIn(Sample* buffer, uint32_t count);
    template <class Sample> void WriteFadeOut(Sample* buffer, uint32_t count);
    template <class Sample> void WriteSteadyCorrected(Sample* buffer, uint32_t count);
    template <class Sample> void WriteFadeInCorrected(Sample* buffer, uint32_t count);
    template <class Sample> void WriteFadeOutCorrected(Sample* buffer, uint32_t count);

    std::atomic<bool> bTonePlaying;
    std::atomic<bool> bSweepPlaying;
    FormatCode nFormat;
    int32_t lSampleSum;
    int32_t lCorrection;
    uint32_t dwFullScale;
    uint32_t dwRampLength;
    uint32_t dwFadeOutOffset;
    uint32_t dwFadeOutBuffer;
    uint32_t dwBufferIndex;
    uint32_t dwFadeOutDone;
    uint32_t dwFadeInDone;
    uint32_t dwToneBuffers;
    uint32_t dwSweepBuffers;
    uint32_t dwSweepBuffersLeft;
    uint32_t dwFrames;
    double* pSweepWindow;
    double dDcStep;
    double dDcAccumulator;
    double dPhaseIncrement;
    double dIncrementStep;
    double dAmplitude;
    double dPhase;
    double dSampleRate;
    double dSweepAmplitude0;
    double dSweepPhase0;
    double dSweepIncrement0;
    double dEnvelope;
    double dEnvelopeStep;
    double dSweepIncrementStep0;
    bool bPastFadeIn;
    bool bFadeOutStarted;
    bool bDcFraction;
    std::atomic<bool> bSweepRestart; // set by a request while the sweep plays
    bool b16Bit;

private:
    enum class Stage { Steady, FadeIn, FadeOut };
    template <class Sample, Stage stage> void Write(Sample* buffer, uint32_t count);
    template <class Sample, Stage stage> void WriteCorrected(Sample* buffer, uint32_t count);
    template <class Sample> void AddCorrection(Sample& sample, int64_t units);
    // Plain or corrected writer, with the unit corrections placed; the ramp
    // blocks return true while their stage is unfinished.
    template <class Sample> bool FadeInBlock(Sample* buffer, uint32_t count);
    template <class Sample> void SteadyBlock(Sample* buffer, uint32_t count);
    template <class Sample> bool FadeOutBlock(Sample* buffer, uint32_t count);
    template <class Sample> void NudgeSample(Sample& sample);
    template <class Sample> int32_t DryRun(uint32_t steadyEnd, bool& risingCrossing);
    bool PlaceFadeOut(uint32_t fadeOutStart);
    uint32_t WholeSteadyBuffers() const;
    void BuildSweepWindow(double* window, uint32_t count);

    // The window's storage lives as long as the object, so that the sweep's
    // last buffer only lets go of it instead of freeing memory on the
    // callback thread. pSweepWindow points at it while a sweep is armed.
    double* m_pWindowStorage;
};
