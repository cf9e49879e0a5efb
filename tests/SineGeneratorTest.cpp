#include "gen/SineGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// What a render of a whole tone or sweep produced: the work buffers and the
// copy targets concatenated, and the calls made, the last one included.
template <class Sample> struct Rendering {
    std::vector<Sample> samples;
    std::vector<Sample> copies;
    uint32_t buffers = 0;
};

template <class Sample> Rendering<Sample> RenderWhole(SineGenerator& gen, bool sweep = false)
{
    Rendering<Sample> r;
    std::vector<Sample> work(gen.dwFrames, Sample(0x5a5a));
    std::vector<Sample> target(gen.dwFrames, Sample(0x2525));
    const std::atomic<bool>& playing = sweep ? gen.bSweepPlaying : gen.bTonePlaying;
    while (playing.load() && r.buffers < 100000) {
        if (sweep)
            gen.RenderSweep(work.data(), target.data());
        else
            gen.RenderTone(work.data(), target.data());
        ++r.buffers;
        r.samples.insert(r.samples.end(), work.begin(), work.end());
        r.copies.insert(r.copies.end(), target.begin(), target.end());
    }
    return r;
}

template <class Sample> int64_t Sum(const std::vector<Sample>& v)
{
    int64_t sum = 0;
    for (Sample s : v)
        sum += s;
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
    const struct {
        uint32_t code, fullScale;
        bool sixteenBit;
        double amplitude; // at 0 dB: two units below full scale
    } formats[] = {{0, 32767, true, 32765.0},
                   {1, 8388607, false, 8388605.0},
                   {2, 2147483647, false, 2147483645.0},
                   {5, 2147483647, false, 2147483645.0}};
    for (const auto& f : formats) {
        SineGenerator g(512, FormatCode{f.code});
        EXPECT_EQ(g.dwFullScale, f.fullScale) << f.code;
        EXPECT_EQ(g.b16Bit, f.sixteenBit) << f.code;
        EXPECT_EQ(g.AttenuationToAmplitude(0), f.amplitude) << f.code;
    }
    // Below 0 dB, worked out by hand: 32767 * 10^(-1/20) and so on.
    SineGenerator g16(512, FormatCode{0}), g24(512, FormatCode{1}), g32(512, FormatCode{2});
    EXPECT_NEAR(g16.AttenuationToAmplitude(1), 32767.0 * std::pow(10.0, -0.05), 1e-6);
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
        SCOPED_TRACE(code);
        SineGenerator gen(512, FormatCode{code});
        gen.StartTone(48000.0, 1000.0, 0.5, 0);
        ASSERT_TRUE(gen.bTonePlaying.load());
        EXPECT_EQ(gen.dwRampLength, 479u);
        EXPECT_EQ(gen.dEnvelopeStep, gen.dwFullScale / 480.0);
        // The 16-bit last steady sample is 0: the steady part grows by one.
        EXPECT_EQ(ToneLength(gen), code == 0 ? 24000u : 23999u);
        EXPECT_EQ(gen.dwFadeOutBuffer, 45u);
        EXPECT_EQ(gen.dwFadeOutOffset, code == 0 ? 481u : 480u);
        EXPECT_EQ(gen.dwToneBuffers, 47u);

        // The dry run through the writers, one sample at a time, is the
        // reference the buffer-by-buffer playback must reproduce.
        gen.lCorrection = 0;
        gen.bDcFraction = false;
        const uint32_t total = ToneLength(gen);
        const uint32_t fadeOutStart = total - gen.dwRampLength;
        SineGenerator ref(512, FormatCode{code});
        ref.StartTone(48000.0, 1000.0, 0.5, 0);
        ref.ResetRun();
        auto check = [&](auto sampleType) {
            using Sample = decltype(sampleType);
            std::vector<Sample> expected(total);
            ref.WriteFadeIn(expected.data(), ref.dwRampLength);
            ref.WriteSteady(expected.data() + ref.dwRampLength, fadeOutStart - ref.dwRampLength);
            ref.dEnvelope = ref.dwFullScale;
            ref.WriteFadeOut(expected.data() + fadeOutStart, ref.dwRampLength);
            Rendering<Sample> r = RenderWhole<Sample>(gen);
            EXPECT_EQ(r.buffers, 47u);
            for (uint32_t i = 0; i < r.samples.size(); ++i)
                ASSERT_EQ(r.samples[i], i < total ? expected[i] : 0) << i;
            EXPECT_EQ(r.samples, r.copies);
            // Independent of the writers: first sample and the tone's pitch.
            const double first =
                std::sin(2.0 * M_PI / 48.0) * ref.AttenuationToAmplitude(0) / 480.0;
            EXPECT_EQ(r.samples[0], static_cast<Sample>(std::trunc(first)));
            EXPECT_NEAR(MeasuredFrequency(r.samples, 0, total, 48000.0), 1000.0, 1e-9);
            // The steady peak is the 0 dB amplitude, two units below full scale.
            EXPECT_EQ(*std::max_element(r.samples.begin(), r.samples.end()),
                      static_cast<Sample>(ref.AttenuationToAmplitude(0)));
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
// Returns the largest magnitude written.
template <class Sample> int64_t CheckBalancedTone(SineGenerator& gen, const ToneCase& c)
{
    const uint32_t total = ToneLength(gen);
    Rendering<Sample> r = RenderWhole<Sample>(gen);
    EXPECT_EQ(r.buffers, (total - 1) / c.frames + 1);
    EXPECT_EQ(Sum(r.samples), 0) << c.rate << " " << c.frequency << " " << c.seconds << " "
                                 << c.attenuation << " code " << c.code
                                 << (gen.bDcFraction ? " fraction" : " unit");
    for (size_t i = total; i < r.samples.size(); ++i)
        EXPECT_EQ(r.samples[i], 0) << i;
    EXPECT_EQ(r.samples, r.copies);
    int64_t peak = 0;
    for (Sample s : r.samples)
        peak = std::max<int64_t>(peak, std::llabs(s));
    EXPECT_LE(peak, static_cast<int64_t>(gen.dwFullScale));
    EXPECT_EQ(gen.lCorrection, 0);
    return peak;
}

TEST(SineGenerator, BalancedTonesSumToZeroInBothCorrectionModes)
{
    std::mt19937 random(20261207);
    const double rates[] = {44100.0, 48000.0, 88200.0, 96000.0};
    const uint32_t frameSizes[] = {64, 256, 512, 1024};
    int unitTones = 0;
    int fractionTones = 0;
    for (int i = 0; i < 240; ++i) {
        ToneCase c;
        c.rate = rates[random() % 4];
        c.frequency = std::uniform_real_distribution<double>(20.0, 20000.0)(random);
        if (i % 3 == 0) c.frequency = std::floor(c.frequency);
        c.seconds = std::uniform_real_distribution<double>(0.02, i % 40 == 0 ? 10.0 : 1.0)(random);
        c.attenuation = random() % 61;
        c.frames = frameSizes[random() % 4];
        c.code = random() % 3;
        SineGenerator gen(c.frames, FormatCode{c.code});
        gen.StartTone(c.rate, c.frequency, c.seconds, c.attenuation);
        if (!gen.bTonePlaying.load()) continue;
        if (gen.bDcFraction)
            ++fractionTones;
        else if (gen.lCorrection != 0)
            ++unitTones;
        if (c.code == 0)
            CheckBalancedTone<int16_t>(gen, c);
        else
            CheckBalancedTone<int32_t>(gen, c);
    }
    EXPECT_GT(unitTones, 10);
    EXPECT_GT(fractionTones, 10);

    // At 0 dB a steady sample sits two units below full scale; a fractional
    // correction of several units must stop at full scale rather than wrap
    // the sample to the other sign (a full-scale click). 32-bit at 22050 Hz
    // puts about 50 units a sample on samples near full scale.
    const ToneCase loud[] = {
        {96000.0, 22050.0, 0.05, 0, 512, 2},
        {96000.0, 22050.0, 0.05, 0, 512, 1},
        {44100.0, 17360.6, 0.02, 0, 512, 1},
        {44100.0, 17360.6, 0.02, 0, 512, 2},
    };
    for (const ToneCase& c : loud) {
        SineGenerator gen(c.frames, FormatCode{c.code});
        gen.StartTone(c.rate, c.frequency, c.seconds, c.attenuation);
        ASSERT_TRUE(gen.bTonePlaying.load());
        ASSERT_TRUE(gen.bDcFraction);
        const int64_t peak = CheckBalancedTone<int32_t>(gen, c);
        if (c.code == 2 && c.frequency == 22050.0) {
            EXPECT_EQ(peak, int64_t{gen.dwFullScale});
        }
    }
}

TEST(SineGenerator, ACorrectedSampleStopsAtFullScaleAndKeepsTheRest)
{
    for (uint32_t code : {0u, 1u, 2u}) {
        SCOPED_TRACE(code);
        SineGenerator gen(64, FormatCode{code});
        gen.dAmplitude = gen.AttenuationToAmplitude(0);
        gen.dPhaseIncrement = M_PI / 2.0; // the first sample is the peak
        auto corrected = [&](double step) -> int64_t {
            gen.dDcStep = step;
            gen.dDcAccumulator = 0.0;
            int16_t s16 = 0;
            int32_t s32 = 0;
            if (code == 0) return gen.WriteSteadyCorrected(&s16, 1), s16;
            return gen.WriteSteadyCorrected(&s32, 1), s32;
        };
        const int64_t fullScale = gen.dwFullScale;
        EXPECT_EQ(corrected(30.5), fullScale);
        // Two of the 30 units fitted; 28.5 wait for the next samples.
        EXPECT_EQ(gen.dDcAccumulator, 28.5);
        gen.dPhase = M_PI; // the next sample is the negative peak
        EXPECT_EQ(corrected(-30.5), -fullScale);
        EXPECT_EQ(gen.dDcAccumulator, -28.5);
    }
}

TEST(SineGenerator, PlansThatCannotBeMadeAreRefusedSilently)
{
    SineGenerator gen(512, FormatCode{2});
    gen.StartTone(48000.0, 100.0, 0.0149, 0); // 1.49 cycles round to 1
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(32000.0, 20000.0, 1.0, 0); // above half the rate
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(48000.0, 1000.0, 0.005, 0); // 5 cycles fit in one buffer
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(48000.0, 0.0, 1.0, 0);
    EXPECT_FALSE(gen.bTonePlaying.load());

    // 1.5 cycles round up to 2; at 1000 frames a cycle that is two buffers.
    SineGenerator slow(512, FormatCode{0});
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

    // Only tones up to ten seconds are balanced; 32-bit samples at 0 dB
    // leave a truncation sum that is never zero.
    SineGenerator ten(512, FormatCode{2});
    ten.StartTone(44100.0, 997.0, 10.0, 0);
    ASSERT_TRUE(ten.bTonePlaying.load());
    EXPECT_TRUE(ten.bDcFraction || ten.lCorrection != 0);
    SineGenerator longer(512, FormatCode{2});
    longer.StartTone(44100.0, 997.0, 10.01, 0);
    ASSERT_TRUE(longer.bTonePlaying.load());
    EXPECT_FALSE(longer.bDcFraction);
    EXPECT_EQ(longer.lCorrection, 0);
}

TEST(SineGenerator, SweepLengthRoundsToWholeBuffersPlusAClosingOne)
{
    SineGenerator gen(100, FormatCode{2});
    gen.StartSweep(1000.0, 10.0, 100.0, 0.149, 0); // 1.49 buffers
    EXPECT_FALSE(gen.bSweepPlaying.load());
    EXPECT_EQ(gen.pSweepWindow, nullptr);

    gen.StartSweep(1000.0, 10.0, 100.0, 0.15, 0); // 1.5 buffers
    ASSERT_TRUE(gen.bSweepPlaying.load());
    EXPECT_EQ(gen.dwSweepBuffers, 3u);
    ASSERT_NE(gen.pSweepWindow, nullptr);
    const double a0 = gen.AttenuationToAmplitude(0);
    EXPECT_NEAR(gen.pSweepWindow[0], a0 / gen.dwFullScale * 99.0 / 100.0, 1e-12);
    EXPECT_EQ(gen.pSweepWindow[99], 0.0);
    Rendering<int32_t> r = RenderWhole<int32_t>(gen, true);
    EXPECT_EQ(r.buffers, 3u);
    EXPECT_EQ(r.samples.front(), 0);
    EXPECT_EQ(r.samples.back(), 0);
    EXPECT_EQ(r.samples, r.copies);
    EXPECT_EQ(gen.pSweepWindow, nullptr);

    // A steady sweep (equal frequencies) has no increment step.
    gen.StartSweep(48000.0, 440.0, 440.0, 1.0, 0);
    EXPECT_EQ(gen.dIncrementStep, 0.0);
}

TEST(SineGenerator, SweepFrequencyMovesLinearlyAndTheWindowCloses)
{
    // 1 kHz to 3 kHz over 2 s at 48000 Hz: halfway through it runs at 2 kHz.
    SineGenerator gen(480, FormatCode{0});
    gen.StartSweep(48000.0, 1000.0, 3000.0, 2.0, 6);
    ASSERT_TRUE(gen.bSweepPlaying.load());
    Rendering<int16_t> r = RenderWhole<int16_t>(gen, true);
    ASSERT_EQ(r.buffers, 201u);
    const double f0 = MeasuredFrequency(r.samples, 0, 4800, 48000.0);
    const double fMid = MeasuredFrequency(r.samples, 48000 - 2400, 48000 + 2400, 48000.0);
    EXPECT_NEAR(f0, 1000.0 + 2000.0 * (2400.0 / 96480.0), 15.0);
    EXPECT_NEAR(fMid, 1000.0 + 2000.0 * (48000.0 / 96480.0), 15.0);
    // -6 dB: the peak of the sweeping part.
    const auto closing = r.samples.begin() + 96000;
    EXPECT_NEAR(*std::max_element(r.samples.begin(), closing), 32767.0 * std::pow(10.0, -0.3), 2.0);
    // The closing buffer's envelope falls: its second half is quieter than its first.
    EXPECT_LT(*std::max_element(closing + 240, closing + 480),
              *std::max_element(closing, closing + 240) * 0.6);
    EXPECT_EQ(r.samples.back(), 0);
}

TEST(SineGenerator, SecondSweepRequestRestartsTheFirstWithItsOwnValues)
{
    SineGenerator gen(256, FormatCode{2});
    gen.StartSweep(48000.0, 100.0, 5000.0, 0.1, 3);
    ASSERT_TRUE(gen.bSweepPlaying.load());
    const uint32_t buffers = gen.dwSweepBuffers;
    std::vector<int32_t> work(256), target(256);
    gen.RenderSweep(work.data(), target.data());
    const std::vector<int32_t> firstBuffer = work;
    gen.RenderSweep(work.data(), target.data());
    gen.StartSweep(44100.0, 9000.0, 20.0, 3.0, 40); // only asks for a restart
    gen.StartTone(48000.0, 1000.0, 1.0, 0);         // refused during a sweep
    EXPECT_FALSE(gen.bTonePlaying.load());
    EXPECT_TRUE(gen.bSweepRestart);
    gen.RenderSweep(work.data(), target.data());
    EXPECT_EQ(work, firstBuffer);
    EXPECT_EQ(gen.dwSweepBuffersLeft, buffers - 1);
    EXPECT_EQ(RenderWhole<int32_t>(gen, true).buffers, buffers - 1);
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
    SineGenerator gen(512, FormatCode{2});
    gen.StartTone(48000.0, 1000.0, 0.5, 0);
    ASSERT_TRUE(gen.bTonePlaying.load());
    std::vector<int32_t> work(512);
    gen.RenderTone(work.data(), nullptr);
    EXPECT_EQ(gen.dwBufferIndex, 1u);
    EXPECT_NE(work[100], 0);

    SineGenerator a(512, FormatCode{0}), b(512, FormatCode{0});
    a.StartTone(48000.0, 440.0, 1.0, 3);
    b.StartTone(48000.0, 440.0, 1.0, 3);
    std::vector<int16_t> stored(300);
    a.WriteFadeIn(static_cast<int16_t*>(nullptr), 300);
    b.WriteFadeIn(stored.data(), 300);
    EXPECT_EQ(a.dPhase, b.dPhase);
    EXPECT_EQ(a.dEnvelope, b.dEnvelope);
    EXPECT_EQ(a.dwFadeInDone, 300u);
    EXPECT_EQ(a.lSampleSum, b.lSampleSum);
    EXPECT_EQ(a.lSampleSum, Sum(stored));
}

} // namespace
