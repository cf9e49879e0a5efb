// The analysis on signals with known answers, written here or by sox: a
// tone with a known harmonic and noise floor, a known gain and delay, a
// dropout, a sweep through a known gain, and sox's own pink and white noise.
#include "measure/Alignment.h"
#include "measure/SampleChecks.h"
#include "measure/SpectralAnalysis.h"
#include "measure/ToneAnalysis.h"
#include "measure/Verification.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/SignalMeasure.h"

#include <gtest/gtest.h>

#include <numbers>
#include <random>

namespace {

constexpr double kRate = 48000.0;

std::vector<double> Tone(double frequency, double amplitude, size_t n, double third = 0.0)
{
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double phase = 2.0 * std::numbers::pi * frequency * i / kRate;
        x[i] = amplitude * (std::sin(phase) + third * std::sin(3.0 * phase));
    }
    return x;
}

TEST(Measure, ToneFrequencyLevelHarmonicAndNoiseFloorAreThoseWrittenIn)
{
    // 997.3 Hz for 1 s at -6 dBFS with a DC offset of 0.003, its third
    // harmonic at -60 dB; then without the harmonic, with white noise at -80
    // dBFS RMS: THD+N is -80 - (-9.03) = -70.97 dB.
    std::vector<double> x = Tone(997.3, 0.5, 48000, 0.001);
    for (double& v : x)
        v += 0.003;
    const ToneAnalysis tone = AnalyseTone(x.data(), x.size(), kRate);
    EXPECT_NEAR(tone.frequency, 997.3, 0.01);
    EXPECT_NEAR(tone.thdDb, -60.0, 0.5);
    ASSERT_GE(tone.harmonicsDb.size(), 2u);
    EXPECT_NEAR(tone.harmonicsDb[1], -60.0, 0.5);
    EXPECT_LT(tone.harmonicsDb[0], -90.0);
    std::vector<double> noisy = Tone(997.3, 0.5, 48000);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1e-4);
    for (double& v : noisy)
        v += noise(random);
    EXPECT_NEAR(AnalyseTone(noisy.data(), noisy.size(), kRate).thdNoiseDb, -80.0 + 9.0309, 1.0);
    EXPECT_NEAR(AnalyseTone(noisy.data(), noisy.size(), kRate).frequency, 997.3, 0.01);
    const Levels levels = LevelsOf(x.data(), x.size());
    EXPECT_NEAR(levels.rmsDb, 10.0 * std::log10(0.125 + 0.0000005 + 0.003 * 0.003), 0.01);
    EXPECT_NEAR(levels.peakDb, 20.0 * std::log10(0.503), 0.01);
    EXPECT_NEAR(levels.dc, 0.003, 2e-4);
    EXPECT_EQ(ClippedSamples(x.data(), x.size(), 0.51), 0u);
    EXPECT_GT(ClippedSamples(x.data(), x.size(), 0.45), 1000u);
}

TEST(Measure, AKnownDelayIsFoundToTheFrameAndADropoutIsCaught)
{
    // A tone with 10 ms ramps and a noise burst, delayed and scaled.
    std::vector<double> tone = Tone(1000.0, 0.8, 24000);
    for (size_t i = 0; i < 480; ++i) {
        tone[i] *= i / 480.0;
        tone[23999 - i] *= i / 480.0;
    }
    std::mt19937 random(11);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    std::vector<double> burst(9000);
    for (double& v : burst)
        v = uniform(random);
    for (const auto& plan : {tone, burst}) {
        for (size_t delay : {0u, 1u, 257u, 4801u}) {
            std::vector<double> capture(delay + plan.size() + 2000, 0.0);
            for (size_t i = 0; i < plan.size(); ++i)
                capture[delay + i] = 0.7 * plan[i] + 1e-3 * uniform(random);
            EXPECT_EQ(FindLag(plan, capture, 9600), delay);
        }
    }
    // Zeros or a repeated block inside the signal are dropouts; the plan's
    // own silence and repetitions are not.
    std::vector<double> capture = burst;
    EXPECT_EQ(Dropouts(burst.data(), capture.data(), burst.size(), 64), 0u);
    std::fill(capture.begin() + 1000, capture.begin() + 1100, 0.0);
    std::copy(capture.begin() + 4000, capture.begin() + 4064, capture.begin() + 4064);
    EXPECT_EQ(Dropouts(burst.data(), capture.data(), burst.size(), 64), 2u);
    EXPECT_EQ(Dropouts(capture.data(), capture.data(), burst.size(), 64), 0u);
}

TEST(Measure, ASweepThroughAKnownGainIsFlatAndSoxsNoisesHaveTheirSlopes)
{
    // A linear sweep from 100 Hz to 10 kHz over 2 s, captured 1.5 dB down.
    std::vector<double> plan(96000), capture(96000);
    double phase = 0.0;
    for (size_t i = 0; i < plan.size(); ++i) {
        plan[i] = 0.5 * std::sin(phase);
        capture[i] = plan[i] * std::pow(10.0, -1.5 / 20.0);
        phase += 2.0 * std::numbers::pi * (100.0 + 9900.0 * i / 96000.0) / kRate;
    }
    const SweepAnalysis sweep = AnalyseSweep(plan.data(), capture.data(), 96000, kRate, 100, 10000);
    EXPECT_GT(sweep.response.size(), 15u);
    EXPECT_NEAR(sweep.medianGainDb, -1.5, 0.01);
    EXPECT_LT(sweep.largestDeviationDb, 0.05);
    ASSERT_EQ(sweep.thd.size(), 3u);
    EXPECT_LT(sweep.thd[1].gainDb, -80.0);
    EXPECT_NEAR(Correlation(plan.data(), capture.data(), plan.size()), 1.0, 1e-12);

    ScratchFolder folder("tw-measure");
    for (const auto& [name, slope] :
         {std::pair{"pinknoise", -3.01}, std::pair{"whitenoise", 0.0}}) {
        const std::string path = (folder.Path() / (std::string(name) + ".wav")).string();
        RunCommand("sox -R -r 48000 -n -b 32 '" + path + "' synth 10 " + name + " 2>&1");
        const SoxAudio audio = SoxRead(path);
        ASSERT_EQ(audio.Frames(), 480000u) << name;
        EXPECT_NEAR(OctaveSlopeDb(audio.channels[0].data(), audio.Frames(), 48000.0), slope, 0.5)
            << name;
    }
}

// A wrong input pair or a cable not plugged in gives silence: a failure that
// says so, not a page of figures of nothing.
TEST(Measure, ASilentCaptureFailsAsNothingCameBack)
{
    VerifyInput input;
    input.plan.left = input.plan.right = Tone(1000.0, 0.25, 4800);
    input.capture.left = input.capture.right = std::vector<double>(9600, 0.0);
    const VerifyReport report = Verify(input, VerifyLimits{});
    EXPECT_FALSE(report.passed);
    EXPECT_EQ(report.checks.back().name, "signal came back");
    input.capture.left = input.capture.right = input.plan.left;
    EXPECT_TRUE(Verify(input, VerifyLimits{}).passed);
}

} // namespace
