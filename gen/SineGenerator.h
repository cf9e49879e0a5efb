// The tone and sweep generator: plans a whole-cycle, DC-balanced sine burst
// or a linear sweep on the user-interface thread and renders it buffer by
// buffer on the driver's callback thread. The playing flags publish a plan:
// every field is written before the flag is stored (release) and read only
// after the flag has been loaded (acquire).
#pragma once

#include <atomic>
#include <cstdint>

class SineGenerator {
public:
    SineGenerator(uint32_t frames, uint32_t formatCode);
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

    // Driver callback thread: one buffer of dwFrames samples each. No lock,
    // no allocation, no system call. The target may be null for a tone only.
    void RenderTone(int32_t* work, int32_t* target);
    void RenderTone(int16_t* work, int16_t* target);
    void RenderSweep(int32_t* work, int32_t* target);
    void RenderSweep(int16_t* work, int16_t* target);

    double AttenuationToAmplitude(uint32_t attenuation) const;
    void ResetRun();

    // Sample writers: with a null buffer they only advance the state and the
    // sum (the planning's dry run). The corrected forms spread the fractional
    // DC correction and never take a null buffer.
    void WriteSteady(int32_t* buffer, uint32_t count);
    void WriteSteady(int16_t* buffer, uint32_t count);
    void WriteFadeIn(int32_t* buffer, uint32_t count);
    void WriteFadeIn(int16_t* buffer, uint32_t count);
    void WriteFadeOut(int32_t* buffer, uint32_t count);
    void WriteFadeOut(int16_t* buffer, uint32_t count);
    void WriteSteadyCorrected(int32_t* buffer, uint32_t count);
    void WriteSteadyCorrected(int16_t* buffer, uint32_t count);
    void WriteFadeInCorrected(int32_t* buffer, uint32_t count);
    void WriteFadeInCorrected(int16_t* buffer, uint32_t count);
    void WriteFadeOutCorrected(int32_t* buffer, uint32_t count);
    void WriteFadeOutCorrected(int16_t* buffer, uint32_t count);

    // Block operations choose plain or corrected writer and place the unit
    // corrections; the ramp blocks return true while their stage is unfinished.
    bool FadeInBlock(int32_t* buffer, uint32_t count);
    bool FadeInBlock(int16_t* buffer, uint32_t count);
    void SteadyBlock(int32_t* buffer, uint32_t count);
    void SteadyBlock(int16_t* buffer, uint32_t count);
    bool FadeOutBlock(int32_t* buffer, uint32_t count);
    bool FadeOutBlock(int16_t* buffer, uint32_t count);
    void NudgeSample(int32_t& sample);
    void NudgeSample(int16_t& sample);

    void BuildSweepWindow(double* window, uint32_t count);

    std::atomic<bool> bTonePlaying;
    std::atomic<bool> bSweepPlaying;
    uint32_t nFormat;
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
    template <class Sample> bool FadeInBlockOf(Sample* buffer, uint32_t count);
    template <class Sample> void SteadyBlockOf(Sample* buffer, uint32_t count);
    template <class Sample> bool FadeOutBlockOf(Sample* buffer, uint32_t count);
    template <class Sample> void NudgeSampleOf(Sample& sample);
    template <class Sample> void RenderToneOf(Sample* work, Sample* target);
    template <class Sample> void RenderSweepOf(Sample* work, Sample* target);
    template <class Sample> int32_t DryRun(uint32_t steadyEnd, bool& risingCrossing);
    bool PlaceFadeOut(uint32_t fadeOutStart);
    uint32_t WholeSteadyBuffers() const;

    // The window's storage lives as long as the object, so that the sweep's
    // last buffer only lets go of it instead of freeing memory on the
    // callback thread. pSweepWindow points at it while a sweep is armed.
    double* m_pWindowStorage;
};
