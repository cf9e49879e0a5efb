// The tone and sweep generator against hand-worked figures: the plan of the
// worked 1000 Hz example, balanced tones summing to zero, corrections that
// stop at full scale, refused plans, and the sweep's length, law and restart.
#include "gen/SineGenerator.h"
#include "tests/fixtures/SignalMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// Every buffer of a tone or sweep as the render path asks for it, from work
// buffers that start filled, so that an unwritten tail shows; the copy
// target must equal the work buffer each time.
template <class Sample> std::vector<double> RenderWhole(SineGenerator& gen, bool sweep = false)
{
    std::vector<double> out;
    std::vector<Sample> work(gen.dwFrames, Sample(0x5a5a)), target(gen.dwFrames);
    const std::atomic<bool>& playing = sweep ? gen.bSweepPlaying : gen.bTonePlaying;
    while (playing.load() && out.size() < 100000000) {
        if (sweep)
            gen.RenderSweep(work.data(), target.data());
        else
            gen.RenderTone(work.data(), target.data());
        EXPECT_EQ(work, target);
        out.insert(out.end(), work.begin(), work.end());
    }
    return out;
}

std::vector<double> RenderWhole(SineGenerator& gen, bool sweep = false)
{
    return gen.b16Bit ? RenderWhole<int16_t>(gen, sweep) : RenderWhole<int32_t>(gen, sweep);
}

double Sum(const std::vector<double>& v)
{
    double sum = 0.0;
    for (double s : v)
        sum += s;
    return sum;
}

uint32_t ToneLength(const SineGenerator& gen)
{
    return gen.dwRampLength + gen.dwFadeOutBuffer * gen.dwFrames + gen.dwFadeOutOffset;
}

TEST(SineGenerator, FormatCodesSetFullScaleAndTheLevelOfEachAttenuation)
{
    const struct {
        uint32_t code, fullScale;
    } formats[] = {{0, 32767}, {1, 8388607}, {2, 2147483647}, {5, 2147483647}};
    for (const auto& f : formats) {
        SineGenerator g(512, FormatCode{f.code});
        EXPECT_EQ(g.dwFullScale, f.fullScale) << f.code;
        EXPECT_EQ(g.b16Bit, f.code == 0) << f.code;
        // Two units below full scale at 0 dB, the decibel rule below it.
        EXPECT_EQ(g.AttenuationToAmplitude(0), f.fullScale - 2.0) << f.code;
        EXPECT_NEAR(g.AttenuationToAmplitude(20) / (f.fullScale / 10.0), 1.0, 1e-12) << f.code;
        EXPECT_FALSE(g.bTonePlaying.load() || g.bSweepPlaying.load() || g.lCorrection != 0);
    }
    // The two figures of the 16-bit format worked out by hand.
    SineGenerator g16(512, FormatCode::Int16);
    EXPECT_NEAR(g16.AttenuationToAmplitude(1), 29203.62, 0.01);
    EXPECT_NEAR(g16.AttenuationToAmplitude(60), 32.767, 1e-9);
    // The noises' levels: exactly full scale at 0 dB, the same rule below.
    EXPECT_EQ(LevelForAttenuation(FormatCode::Int24In32, 0), 8388607.0);
    EXPECT_EQ(LevelForAttenuation(FormatCode{7}, 33), LevelForAttenuation(FormatCode::Int32, 33));
    EXPECT_EQ(LevelForAttenuation(FormatCode::Int16, 6), g16.AttenuationToAmplitude(6));
    EXPECT_LT(LevelForAttenuation(FormatCode::Int16, 4000000000u), 1e-100);
}

// 1000 Hz, 0.5 s at 48000 Hz, 0 dB, 512-frame buffers: Nc 500, 48 samples a
// cycle, 10 cycles a ramp, L 479, E 23520 before the zero-crossing test, B 44.
TEST(SineGenerator, ThousandHertzPlanHasTheWorkedFiguresAndPlaysThem)
{
    for (uint32_t code : {0u, 2u}) {
        SCOPED_TRACE(code);
        SineGenerator gen(512, FormatCode{code});
        gen.StartTone(48000.0, 1000.0, 0.5, 0);
        ASSERT_TRUE(gen.bTonePlaying.load());
        EXPECT_EQ(gen.dwRampLength, 479u);
        EXPECT_EQ(gen.dEnvelopeStep, gen.dwFullScale / 480.0);
        // The 16-bit last steady sample is 0: the steady part grows by one.
        const uint32_t total = ToneLength(gen);
        EXPECT_EQ(total, code == 0 ? 24000u : 23999u);
        EXPECT_EQ(gen.dwFadeOutBuffer, 45u);
        EXPECT_EQ(gen.dwFadeOutOffset, code == 0 ? 481u : 480u);
        EXPECT_EQ(gen.dwToneBuffers, 47u);

        // Without the balancing corrections, so that the peak is the amplitude.
        gen.lCorrection = 0;
        gen.bDcFraction = false;
        const std::vector<double> played = RenderWhole(gen);
        ASSERT_EQ(played.size(), 47u * 512u);
        EXPECT_EQ(Peak(played, total), 0.0);
        // The first sample, the pitch, the peak.
        const double first = std::sin(2.0 * M_PI / 48.0) * (gen.dwFullScale - 2.0) / 480.0;
        EXPECT_EQ(played[0], std::trunc(first));
        EXPECT_NEAR(Frequency(played, 48000.0, 0, total), 1000.0, 1e-9);
        EXPECT_EQ(Peak(played), gen.dwFullScale - 2.0);
    }
}

// What every balanced tone must give: a zero sum, silence after its last
// sample, the flag clear in the call that wrote it, no sample past full
// scale. Returns the largest magnitude.
double CheckBalancedTone(SineGenerator& gen)
{
    const uint32_t total = ToneLength(gen);
    const std::vector<double> played = RenderWhole(gen);
    EXPECT_EQ(played.size(), ((total - 1) / gen.dwFrames + 1) * gen.dwFrames);
    EXPECT_EQ(Sum(played), 0.0) << (gen.bDcFraction ? "fraction" : "unit");
    EXPECT_EQ(Peak(played, total), 0.0);
    EXPECT_LE(Peak(played), gen.dwFullScale);
    return Peak(played);
}

TEST(SineGenerator, BalancedTonesSumToZeroAndCorrectionsStopAtFullScale)
{
    std::mt19937 random(20261207);
    const double rates[] = {44100.0, 48000.0, 88200.0, 96000.0};
    const uint32_t frameSizes[] = {64, 256, 512, 1024};
    int unitTones = 0, fractionTones = 0;
    for (int i = 0; i < 240; ++i) {
        const double rate = rates[random() % 4];
        double frequency = std::uniform_real_distribution<double>(20.0, 20000.0)(random);
        if (i % 3 == 0) frequency = std::floor(frequency);
        const double seconds =
            std::uniform_real_distribution<double>(0.02, i % 40 == 0 ? 10.0 : 1.0)(random);
        const uint32_t attenuation = random() % 61;
        const uint32_t frames = frameSizes[random() % 4];
        const auto code = static_cast<FormatCode>(random() % 3);
        SineGenerator gen(frames, code);
        gen.StartTone(rate, frequency, seconds, attenuation);
        if (!gen.bTonePlaying.load()) continue;
        SCOPED_TRACE(::testing::Message() << rate << " " << frequency << " " << seconds << " "
                                          << attenuation << " code " << int(gen.nFormat));
        fractionTones += gen.bDcFraction;
        unitTones += !gen.bDcFraction && gen.lCorrection != 0;
        CheckBalancedTone(gen);
    }
    EXPECT_GT(unitTones, 10);
    EXPECT_GT(fractionTones, 10);

    // At 0 dB and 22050 Hz a fractional correction of about 50 units a
    // sample meets samples two units below full scale: it must stop there,
    // not wrap the sample to the other sign (a full-scale click).
    SineGenerator loud(512, FormatCode::Int32);
    loud.StartTone(96000.0, 22050.0, 0.05, 0);
    ASSERT_TRUE(loud.bDcFraction);
    EXPECT_EQ(CheckBalancedTone(loud), 2147483647.0);
    SineGenerator loud24(512, FormatCode::Int24In32);
    loud24.StartTone(44100.0, 17360.6, 0.02, 0);
    ASSERT_TRUE(loud24.bDcFraction);
    CheckBalancedTone(loud24);

    // What did not fit waits in the accumulator for the next samples.
    SineGenerator gen(64, FormatCode::Int16);
    gen.dAmplitude = gen.AttenuationToAmplitude(0);
    gen.dPhaseIncrement = M_PI / 2.0; // the first sample is the positive peak
    gen.dDcStep = 30.5;
    int16_t sample = 0;
    gen.WriteSteadyCorrected(&sample, 1);
    EXPECT_EQ(sample, 32767);
    EXPECT_EQ(gen.dDcAccumulator, 28.5);
}

TEST(SineGenerator, PlansThatCannotBeMadeAreRefusedAndLongTonesAreNotBalanced)
{
    SineGenerator gen(512, FormatCode::Int32);
    gen.StartTone(48000.0, 100.0, 0.0149, 0); // 1.49 cycles round to 1
    gen.StartTone(32000.0, 20000.0, 1.0, 0);  // above half the rate
    gen.StartTone(48000.0, 1000.0, 0.005, 0); // 5 cycles fit in one buffer
    gen.StartTone(48000.0, 0.0, 1.0, 0);
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.StartTone(44100.0, 22050.0, 0.1, 0); // exactly half the rate still plays
    EXPECT_TRUE(gen.bTonePlaying.load());

    // 1.5 cycles round up to 2; at 1000 frames a cycle that is two buffers.
    SineGenerator slow(512, FormatCode::Int16);
    slow.StartTone(48000.0, 48.0, 1.5 / 48.0, 0);
    ASSERT_TRUE(slow.bTonePlaying.load());
    EXPECT_EQ(ToneLength(slow), 2000u);
    // A request while a tone plays changes nothing.
    slow.StartTone(48000.0, 1000.0, 1.0, 10);
    slow.StartSweep(48000.0, 100.0, 1000.0, 1.0, 0);
    EXPECT_EQ(ToneLength(slow), 2000u);
    EXPECT_FALSE(slow.bSweepPlaying.load());

    // Ten seconds are balanced, 10.01 are not: 32-bit samples at 0 dB leave
    // a truncation sum that is never zero.
    SineGenerator ten(512, FormatCode::Int32), longer(512, FormatCode::Int32);
    ten.StartTone(44100.0, 997.0, 10.0, 0);
    longer.StartTone(44100.0, 997.0, 10.01, 0);
    ASSERT_TRUE(ten.bTonePlaying.load() && longer.bTonePlaying.load());
    EXPECT_TRUE(ten.bDcFraction || ten.lCorrection != 0);
    EXPECT_FALSE(longer.bDcFraction || longer.lCorrection != 0);
}

TEST(SineGenerator, SweepRoundsToWholeBuffersAndClosesWithItsWindow)
{
    SineGenerator gen(100, FormatCode::Int32);
    gen.StartSweep(1000.0, 10.0, 100.0, 0.149, 0); // 1.49 buffers
    EXPECT_FALSE(gen.bSweepPlaying.load());
    gen.StartSweep(1000.0, 10.0, 100.0, 0.15, 0); // 1.5: two and a closing one
    ASSERT_TRUE(gen.bSweepPlaying.load());
    EXPECT_EQ(gen.dwSweepBuffers, 3u);
    EXPECT_NEAR(gen.pSweepWindow[0], 2147483645.0 / 2147483647.0 * 0.99, 1e-12);
    EXPECT_EQ(gen.pSweepWindow[99], 0.0);
    const std::vector<double> r = RenderWhole(gen, true);
    EXPECT_EQ(r.size(), 300u);
    EXPECT_EQ(r.front(), 0.0);
    EXPECT_EQ(r.back(), 0.0);
    EXPECT_EQ(gen.pSweepWindow, nullptr);
    gen.StartSweep(48000.0, 440.0, 440.0, 1.0, 0);
    EXPECT_EQ(gen.dIncrementStep, 0.0);

    // 1 kHz to 3 kHz over 2 s at 48000 Hz, -6 dB: the frequency moves
    // linearly (measured in 0.1 s around two instants), the closing buffer
    // fades out.
    SineGenerator linear(480, FormatCode::Int16);
    linear.StartSweep(48000.0, 1000.0, 3000.0, 2.0, 6);
    const std::vector<double> s = RenderWhole(linear, true);
    ASSERT_EQ(s.size(), 201u * 480u);
    EXPECT_NEAR(Frequency(s, 48000.0, 0, 4800), 1000.0 + 2000.0 * 2400.0 / 96480.0, 15.0);
    EXPECT_NEAR(Frequency(s, 48000.0, 45600, 50400), 1000.0 + 2000.0 * 48000.0 / 96480.0, 15.0);
    EXPECT_NEAR(Peak(s, 0, 96000), 32767.0 * std::pow(10.0, -0.3), 2.0);
    EXPECT_LT(Peak(s, 96240), Peak(s, 96000, 96240) * 0.6);
}

TEST(SineGenerator, SecondSweepRequestRestartsTheFirstWithItsOwnValues)
{
    SineGenerator gen(256, FormatCode::Int32);
    gen.StartSweep(48000.0, 100.0, 5000.0, 0.1, 3);
    const uint32_t buffers = gen.dwSweepBuffers;
    std::vector<int32_t> work(256), target(256);
    gen.RenderSweep(work.data(), target.data());
    const std::vector<int32_t> firstBuffer = work;
    gen.RenderSweep(work.data(), target.data());
    gen.StartSweep(44100.0, 9000.0, 20.0, 3.0, 40); // only asks for a restart
    gen.StartTone(48000.0, 1000.0, 1.0, 0);         // refused during a sweep
    EXPECT_FALSE(gen.bTonePlaying.load());
    gen.RenderSweep(work.data(), target.data());
    EXPECT_EQ(work, firstBuffer);
    EXPECT_EQ(RenderWhole(gen, true).size(), (buffers - 1) * 256u);
    gen.StartSweep(48000.0, 200.0, 300.0, 0.1, 0);
    EXPECT_TRUE(gen.bSweepPlaying.load());
    gen.Release();
    EXPECT_EQ(gen.pSweepWindow, nullptr);
}

} // namespace
