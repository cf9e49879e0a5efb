#include "gen/SineGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

// What a render of a whole signal produced, buffer by buffer.
template <class Sample> struct Rendering {
    std::vector<Sample> samples;   // the work buffers, concatenated
    std::vector<Sample> copies;    // the copy targets, concatenated
    uint32_t buffers = 0;          // calls made, the last one included
    uint32_t flagClearedAfter = 0; // the call after which the flag was seen clear
};

template <class Sample>
Rendering<Sample> RenderWholeTone(SineGenerator& gen, uint32_t maxBuffers = 100000)
{
    Rendering<Sample> r;
    std::vector<Sample> work(gen.dwFrames, Sample(0x5a5a));
    std::vector<Sample> target(gen.dwFrames, Sample(0x2525));
    while (gen.bTonePlaying.load() && r.buffers < maxBuffers) {
        gen.RenderTone(work.data(), target.data());
        ++r.buffers;
        r.samples.insert(r.samples.end(), work.begin(), work.end());
        r.copies.insert(r.copies.end(), target.begin(), target.end());
    }
    r.flagClearedAfter = r.buffers;
    return r;
}

template <class Sample>
Rendering<Sample> RenderWholeSweep(SineGenerator& gen, uint32_t maxBuffers = 100000)
{
    Rendering<Sample> r;
    std::vector<Sample> work(gen.dwFrames);
    std::vector<Sample> target(gen.dwFrames);
    while (gen.bSweepPlaying.load() && r.buffers < maxBuffers) {
        gen.RenderSweep(work.data(), target.data());
        ++r.buffers;
        r.samples.insert(r.samples.end(), work.begin(), work.end());
        r.copies.insert(r.copies.end(), target.begin(), target.end());
    }
    return r;
}

template <class Sample> int64_t Sum(const std::vector<Sample>& v, size_t count)
{
    int64_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += v[i];
    return sum;
}

// Frequency measured from the rising zero crossings of a stretch of samples.
template <class Sample>
double MeasuredFrequency(const std::vector<Sample>& v, size_t begin, size_t end, double rate)
{
    long first = -1;
    long last = -1;
    int crossings = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        if (v[i - 1] <= 0 && v[i] > 0) {
            if (first < 0) first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rate / static_cast<double>(last - first);
}

uint32_t ToneLength(const SineGenerator& gen)
{
    return gen.dwRampLength + gen.dwFadeOutBuffer * gen.dwFrames + gen.dwFadeOutOffset;
}

TEST(SineGenerator, FormatCodesSetFullScaleAndAmplitude)
{
    SineGenerator g16(512, 0), g24(512, 1), g32(512, 2), g5(512, 5);
    EXPECT_EQ(g16.dwFullScale, 32767u);
    EXPECT_TRUE(g16.b16Bit);
    EXPECT_EQ(g24.dwFullScale, 8388607u);
    EXPECT_FALSE(g24.b16Bit);
    EXPECT_EQ(g32.dwFullScale, 2147483647u);
    EXPECT_EQ(g5.dwFullScale, 2147483647u);
    EXPECT_FALSE(g5.b16Bit);

    EXPECT_EQ(g16.AttenuationToAmplitude(0), 32765.0);
    EXPECT_EQ(g24.AttenuationToAmplitude(0), 8388605.0);
    EXPECT_EQ(g32.AttenuationToAmplitude(0), 2147483645.0);
    EXPECT_EQ(g5.AttenuationToAmplitude(0), 2147483645.0);
    // 1 dB below full scale, worked out by hand: 32767 * 10^(-1/20).
    EXPECT_NEAR(g16.AttenuationToAmplitude(1), 32767.0 * std::pow(10.0, -0.05), 1e-6);
    EXPECT_NEAR(g16.AttenuationToAmplitude(1), 29204.0, 0.5);
    EXPECT_NEAR(g32.AttenuationToAmplitude(20), 214748364.7, 1e-3);
    EXPECT_NEAR(g24.AttenuationToAmplitude(60), 8388.607, 1e-6);

    EXPECT_FALSE(g16.bTonePlaying.load());
    EXPECT_FALSE(g16.bSweepPlaying.load());
    EXPECT_EQ(g16.pSweepWindow, nullptr);
    EXPECT_EQ(g16.lCorrection, 0);
    g16.Release();
    g16.Release();
    EXPECT_EQ(g16.pSweepWindow, nullptr);
}

// 1000 Hz, 0.5 s at 48000 Hz, 0 dB, 512-frame buffers: Nc 500, 48 samples a
// cycle, 10 cycles a ramp, L 479, E 23520 before the zero-crossing test, B 44.
TEST(SineGenerator, ThousandHertzPlanHasTheWorkedFigures)
{
    for (uint32_t code : {0u, 2u}) {
        SineGenerator gen(512, code);
        gen.StartTone(48000.0, 1000.0, 0.5, 0);
        ASSERT_TRUE(gen.bTonePlaying.load()) << code;
        EXPECT_EQ(gen.dwRampLength, 479u);
        EXPECT_EQ(gen.dEnvelopeStep, gen.dwFullScale / 480.0);
        if (code == 0) {
            // The 16-bit last steady sample is 0: the steady part grows by one.
            EXPECT_EQ(ToneLength(gen), 24000u);
            EXPECT_EQ(gen.dwFadeOutBuffer, 45u);
            EXPECT_EQ(gen.dwFadeOutOffset, 481u);
        } else {
            EXPECT_EQ(ToneLength(gen), 23999u);
            EXPECT_EQ(gen.dwFadeOutBuffer, 45u);
            EXPECT_EQ(gen.dwFadeOutOffset, 480u);
        }
        EXPECT_EQ(gen.dwToneBuffers, 47u);

        // The dry run through the writers, one sample at a time, is the
        // reference the buffer-by-buffer playback must reproduce.
        gen.lCorrection = 0;
        gen.bDcFraction = false;
        const uint32_t total = ToneLength(gen);
        const uint32_t fadeOutStart = total - gen.dwRampLength;
        SineGenerator ref(512, code);
        ref.StartTone(48000.0, 1000.0, 0.5, 0);
        ref.ResetRun();
        auto check = [&](auto sampleType) {
            using Sample = decltype(sampleType);
            std::vector<Sample> expected(total);
            ref.WriteFadeIn(expected.data(), ref.dwRampLength);
            ref.WriteSteady(expected.data() + ref.dwRampLength, fadeOutStart - ref.dwRampLength);
            ref.dEnvelope = ref.dwFullScale;
            ref.WriteFadeOut(expected.data() + fadeOutStart, ref.dwRampLength);
            Rendering<Sample> r = RenderWholeTone<Sample>(gen);
            EXPECT_EQ(r.buffers, 47u);
            for (uint32_t i = 0; i < total; ++i)
                ASSERT_EQ(r.samples[i], expected[i]) << i;
            for (size_t i = total; i < r.samples.size(); ++i)
                ASSERT_EQ(r.samples[i], 0) << i;
            EXPECT_EQ(r.samples, r.copies);
            // Independent of the writers: first sample and the tone's pitch.
            const double first =
                std::sin(2.0 * M_PI / 48.0) * ref.AttenuationToAmplitude(0) / 480.0;
            EXPECT_EQ(r.samples[0], static_cast<Sample>(std::trunc(first)));
            EXPECT_NEAR(MeasuredFrequency(r.samples, 0, total, 48000.0), 1000.0, 1e-9);
            // The steady peak is the 0 dB amplitude, two units below full scale.
            Sample peak = 0;
            for (Sample s : r.samples)
                peak = std::max<Sample>(peak, s);
            EXPECT_EQ(static_cast<double>(peak), ref.AttenuationToAmplitude(0));
        };
        if (code == 0)
            check(int16_t{});
        else
            check(int32_t{});
    }
}

struct ToneCase {
    double rate, frequency, seconds;
    uint32_t attenuation, frames, code;
};

// Renders a balanced tone and checks what every balanced tone must give:
// a zero sum, a silent tail, the flag clear in the call that wrote the last
// sample, the copy equal to the work buffer, no sample past full scale.
template <class Sample> void CheckBalancedTone(SineGenerator& gen, const ToneCase& c)
{
    const uint32_t total = ToneLength(gen);
    Rendering<Sample> r = RenderWholeTone<Sample>(gen);
    const uint32_t lastBuffer = (total - 1) / c.frames;
    ASSERT_EQ(r.buffers, lastBuffer + 1);
    EXPECT_EQ(Sum(r.samples, r.samples.size()), 0)
        << c.rate << " " << c.frequency << " " << c.seconds << " " << c.attenuation << " code "
        << c.code << (gen.bDcFraction ? " fraction" : " unit");
    for (size_t i = total; i < r.samples.size(); ++i)
        ASSERT_EQ(r.samples[i], 0);
    EXPECT_EQ(r.samples, r.copies);
    const int64_t limit = gen.dwFullScale;
    for (Sample s : r.samples) {
        ASSERT_LE(s, limit);
        ASSERT_GE(s, -limit);
    }
    EXPECT_EQ(gen.lCorrection, 0);
}

TEST(SineGenerator, BalancedTonesSumToZeroInBothCorrectionModes)
{
    std::mt19937 random(20261207);
    const double rates[] = {44100.0, 48000.0, 88200.0, 96000.0};
    const uint32_t frameSizes[] = {64, 256, 512, 1024};
    int unitTones = 0;
    int fractionTones = 0;
    int exactTones = 0;
    for (int i = 0; i < 240; ++i) {
        ToneCase c;
        c.rate = rates[random() % 4];
        c.frequency = std::uniform_real_distribution<double>(20.0, 20000.0)(random);
        if (i % 3 == 0) c.frequency = std::floor(c.frequency);
        c.seconds = std::uniform_real_distribution<double>(0.02, i % 40 == 0 ? 10.0 : 1.0)(random);
        c.attenuation = random() % 61;
        c.frames = frameSizes[random() % 4];
        c.code = random() % 3;
        SineGenerator gen(c.frames, c.code);
        gen.StartTone(c.rate, c.frequency, c.seconds, c.attenuation);
        if (!gen.bTonePlaying.load()) continue;
        if (gen.bDcFraction)
            ++fractionTones;
        else if (gen.lCorrection != 0)
            ++unitTones;
        else
            ++exactTones;
        if (c.code == 0)
            CheckBalancedTone<int16_t>(gen, c);
        else
            CheckBalancedTone<int32_t>(gen, c);
    }
    EXPECT_GT(unitTones, 10);
    EXPECT_GT(fractionTones, 10);
    (void)exactTones;
}

// At 0 dB a steady sample sits two units below full scale; a fractional
// correction of several units must stop at full scale rather than wrap the
// sample to the other sign (a full-scale click).
TEST(SineGenerator, FractionalCorrectionNeverWrapsAFullScaleSample)
{
    const ToneCase cases[] = {
        {96000.0, 22050.0, 0.05, 0, 512, 2},
        {96000.0, 22050.0, 0.05, 0, 512, 1},
        {44100.0, 17360.6, 0.02, 0, 512, 1},
        {44100.0, 17360.6, 0.02, 0, 512, 2},
    };
    for (const ToneCase& c : cases) {
        SineGenerator gen(c.frames, c.code);
        gen.StartTone(c.rate, c.frequency, c.seconds, c.attenuation);
        ASSERT_TRUE(gen.bTonePlaying.load());
        ASSERT_TRUE(gen.bDcFraction);
        // 32-bit at 22050 Hz: about 50 units a sample, on samples near full scale.
        const bool reachesTheLimit = c.code == 2 && c.frequency == 22050.0;
        std::vector<int32_t> work(c.frames);
        int64_t sum = 0;
        int64_t peak = 0;
        while (gen.bTonePlaying.load()) {
            gen.RenderTone(work.data(), nullptr);
            for (int32_t s : work) {
                sum += s;
                peak = std::max<int64_t>(peak, std::llabs(s));
            }
        }
        EXPECT_EQ(sum, 0) << c.frequency << " code " << c.code;
        EXPECT_LE(peak, static_cast<int64_t>(gen.dwFullScale));
        if (reachesTheLimit) {
            EXPECT_EQ(peak, static_cast<int64_t>(gen.dwFullScale));
        }
    }
}

TEST(SineGenerator, ACorrectedSampleStopsAtFullScaleAndKeepsTheRest)
{
    for (uint32_t code : {0u, 1u, 2u}) {
        SineGenerator gen(64, code);
        gen.dAmplitude = gen.AttenuationToAmplitude(0);
        gen.dPhaseIncrement = M_PI / 2.0; // the first sample is the peak
        gen.dDcStep = 30.5;
        const int64_t fullScale = gen.dwFullScale;
        if (code == 0) {
            int16_t sample = 0;
            gen.WriteSteadyCorrected(&sample, 1);
            EXPECT_EQ(sample, fullScale);
        } else {
            int32_t sample = 0;
            gen.WriteSteadyCorrected(&sample, 1);
            EXPECT_EQ(sample, fullScale);
        }
        // Two of the 30 units fitted; 28.5 wait for the next samples.
        EXPECT_EQ(gen.dDcAccumulator, 28.5) << code;
        gen.dDcStep = -30.5;
        gen.dDcAccumulator = 0.0;
        gen.dPhase = M_PI; // the next sample is the negative peak
        int32_t low = 0;
        if (code == 0) {
            int16_t sample = 0;
            gen.WriteSteadyCorrected(&sample, 1);
            low = sample;
        } else {
            gen.WriteSteadyCorrected(&low, 1);
        }
        EXPECT_EQ(low, -fullScale);
        EXPECT_EQ(gen.dDcAccumulator, -28.5);
    }
}

TEST(SineGenerator, PlansThatCannotBeMadeAreRefusedSilently)
{
    SineGenerator gen(512, 2);
    gen.StartTone(48000.0, 100.0, 0.0149, 0); // 1.49 cycles round to 1
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(32000.0, 20000.0, 1.0, 0); // above half the rate
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(48000.0, 1000.0, 0.005, 0); // 5 cycles fit in one buffer
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(48000.0, 0.0, 1.0, 0);
    EXPECT_FALSE(gen.bTonePlaying.load());

    // 1.5 cycles round up to 2; at 1000 frames a cycle that is two buffers.
    SineGenerator slow(512, 0);
    slow.StartTone(48000.0, 48.0, 1.5 / 48.0, 0);
    ASSERT_TRUE(slow.bTonePlaying.load());
    EXPECT_EQ(ToneLength(slow), 2000u);
    // A request while a tone plays changes nothing.
    const uint32_t ramp = slow.dwRampLength;
    slow.StartTone(48000.0, 1000.0, 1.0, 10);
    slow.StartSweep(48000.0, 100.0, 1000.0, 1.0, 0);
    EXPECT_EQ(slow.dwRampLength, ramp);
    EXPECT_FALSE(slow.bSweepPlaying.load());
    EXPECT_EQ(slow.pSweepWindow, nullptr);
}

TEST(SineGenerator, OnlyTonesUpToTenSecondsAreBalanced)
{
    // 32-bit samples at 0 dB: truncation leaves a sum that is never zero.
    SineGenerator ten(512, 2);
    ten.StartTone(44100.0, 997.0, 10.0, 0);
    ASSERT_TRUE(ten.bTonePlaying.load());
    EXPECT_TRUE(ten.bDcFraction || ten.lCorrection != 0);
    SineGenerator longer(512, 2);
    longer.StartTone(44100.0, 997.0, 10.01, 0);
    ASSERT_TRUE(longer.bTonePlaying.load());
    EXPECT_FALSE(longer.bDcFraction);
    EXPECT_EQ(longer.lCorrection, 0);
}

TEST(SineGenerator, SweepLengthRoundsToWholeBuffersPlusAClosingOne)
{
    SineGenerator refused(100, 2);
    refused.StartSweep(1000.0, 10.0, 100.0, 0.149, 0); // 1.49 buffers
    EXPECT_FALSE(refused.bSweepPlaying.load());
    EXPECT_EQ(refused.pSweepWindow, nullptr);

    SineGenerator gen(100, 2);
    gen.StartSweep(1000.0, 10.0, 100.0, 0.15, 0); // 1.5 buffers
    ASSERT_TRUE(gen.bSweepPlaying.load());
    EXPECT_EQ(gen.dwSweepBuffers, 3u);
    ASSERT_NE(gen.pSweepWindow, nullptr);
    const double a0 = gen.AttenuationToAmplitude(0);
    EXPECT_NEAR(gen.pSweepWindow[0], a0 / gen.dwFullScale * 99.0 / 100.0, 1e-12);
    EXPECT_EQ(gen.pSweepWindow[99], 0.0);
    Rendering<int32_t> r = RenderWholeSweep<int32_t>(gen);
    EXPECT_EQ(r.buffers, 3u);
    EXPECT_EQ(r.samples.front(), 0);
    EXPECT_EQ(r.samples.back(), 0);
    EXPECT_EQ(r.samples, r.copies);
    EXPECT_FALSE(gen.bSweepPlaying.load());
    EXPECT_EQ(gen.pSweepWindow, nullptr);
}

TEST(SineGenerator, SweepFrequencyMovesLinearlyAndTheWindowCloses)
{
    // 1 kHz to 3 kHz over 2 s at 48000 Hz: halfway through it runs at 2 kHz.
    SineGenerator gen(480, 0);
    gen.StartSweep(48000.0, 1000.0, 3000.0, 2.0, 6);
    ASSERT_TRUE(gen.bSweepPlaying.load());
    EXPECT_EQ(gen.dwSweepBuffers, 201u);
    Rendering<int16_t> r = RenderWholeSweep<int16_t>(gen);
    ASSERT_EQ(r.buffers, 201u);
    const double f0 = MeasuredFrequency(r.samples, 0, 4800, 48000.0);
    const double fMid = MeasuredFrequency(r.samples, 48000 - 2400, 48000 + 2400, 48000.0);
    EXPECT_NEAR(f0, 1000.0 + 2000.0 * (2400.0 / 96480.0), 15.0);
    EXPECT_NEAR(fMid, 1000.0 + 2000.0 * (48000.0 / 96480.0), 15.0);
    // -6 dB: the peak of the sweeping part.
    int16_t peak = 0;
    for (size_t i = 0; i < 96000; ++i)
        peak = std::max(peak, r.samples[i]);
    EXPECT_NEAR(peak, 32767.0 * std::pow(10.0, -6.0 / 20.0), 2.0);
    // The closing buffer's envelope falls: its second half is quieter than its first.
    int16_t firstHalf = 0, secondHalf = 0;
    for (size_t i = 96000; i < 96240; ++i)
        firstHalf = std::max(firstHalf, r.samples[i]);
    for (size_t i = 96240; i < 96480; ++i)
        secondHalf = std::max(secondHalf, r.samples[i]);
    EXPECT_LT(secondHalf, firstHalf * 0.6);
    EXPECT_EQ(r.samples.back(), 0);

    // A steady sweep (equal frequencies) has no increment step.
    SineGenerator steady(480, 2);
    steady.StartSweep(48000.0, 440.0, 440.0, 1.0, 0);
    EXPECT_EQ(steady.dIncrementStep, 0.0);
}

TEST(SineGenerator, SecondSweepRequestRestartsTheFirstWithItsOwnValues)
{
    SineGenerator gen(256, 2);
    gen.StartSweep(48000.0, 100.0, 5000.0, 0.1, 3);
    ASSERT_TRUE(gen.bSweepPlaying.load());
    const uint32_t buffers = gen.dwSweepBuffers;
    std::vector<int32_t> work(256), target(256);
    std::vector<int32_t> firstBuffer(256);
    gen.RenderSweep(work.data(), target.data());
    firstBuffer = work;
    gen.RenderSweep(work.data(), target.data());
    gen.StartSweep(44100.0, 9000.0, 20.0, 3.0, 40); // only asks for a restart
    gen.StartTone(48000.0, 1000.0, 1.0, 0);         // refused during a sweep
    EXPECT_FALSE(gen.bTonePlaying.load());
    EXPECT_TRUE(gen.bSweepRestart);
    gen.RenderSweep(work.data(), target.data());
    EXPECT_EQ(work, firstBuffer);
    EXPECT_EQ(gen.dwSweepBuffersLeft, buffers - 1);
    Rendering<int32_t> rest = RenderWholeSweep<int32_t>(gen);
    EXPECT_EQ(rest.buffers, buffers - 1);
    EXPECT_EQ(gen.pSweepWindow, nullptr);
    // Idle again: a new sweep arms with its own values.
    gen.StartSweep(48000.0, 200.0, 300.0, 0.1, 0);
    EXPECT_TRUE(gen.bSweepPlaying.load());
    EXPECT_NE(gen.pSweepWindow, nullptr);
    gen.Release();
    EXPECT_EQ(gen.pSweepWindow, nullptr);
}

TEST(SineGenerator, NullTargetAndDryWritersAdvanceTheState)
{
    SineGenerator gen(512, 2);
    gen.StartTone(48000.0, 1000.0, 0.5, 0);
    ASSERT_TRUE(gen.bTonePlaying.load());
    std::vector<int32_t> work(512);
    gen.RenderTone(work.data(), nullptr);
    EXPECT_EQ(gen.dwBufferIndex, 1u);
    EXPECT_NE(work[100], 0);

    SineGenerator a(512, 0), b(512, 0);
    a.StartTone(48000.0, 440.0, 1.0, 3);
    b.StartTone(48000.0, 440.0, 1.0, 3);
    std::vector<int16_t> stored(300);
    a.WriteFadeIn(static_cast<int16_t*>(nullptr), 300);
    b.WriteFadeIn(stored.data(), 300);
    EXPECT_EQ(a.dPhase, b.dPhase);
    EXPECT_EQ(a.dEnvelope, b.dEnvelope);
    EXPECT_EQ(a.dwFadeInDone, 300u);
    EXPECT_EQ(a.lSampleSum, b.lSampleSum);
    EXPECT_EQ(a.lSampleSum, Sum(stored, stored.size()));
}

} // namespace
