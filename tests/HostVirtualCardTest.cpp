// Every signal in every sample format, checked once, through the whole host
// on the virtual card (registry, dlopen, its paced thread, its takes read
// back by sox): tone and sweep sample for sample as a generator planned the
// same way renders them, noise by its length and level; on the selected
// pair and nowhere else.
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/NoiseRequests.h"
#include "host/ToneRequests.h"
#include "tests/HostFixture.h"
#include "tests/fixtures/SignalMeasure.h"

#include <algorithm>
#include <array>
#include <thread>
#include <tuple>

namespace {

constexpr uint32_t kFrames = 256; // the card's default buffer and rate
constexpr double kRate = 48000.0;

const struct Variant {
    const char* name;
    const char* label; // in the test's name
    FormatCode code;
    double fullScale; // of the generator's integers; float cards take 32-bit ones
    bool isFloat;
} kVariants[] = {
    {"Virtual Card 16-bit", "Int16", FormatCode::Int16, 32768.0, false},
    {"Virtual Card 24-bit", "Int24", FormatCode::Int24In32, 8388608.0, false},
    {"Virtual Card 32-bit", "Int32", FormatCode::Int32, 2147483648.0, false},
    {"Virtual Card float", "Float32", FormatCode::Int32, 2147483648.0, true},
};

enum Signal { kTone, kSweep, kPink, kWhite };
const char* const kSignalNames[] = {"Tone", "Sweep", "PinkNoise", "WhiteNoise"};

// Both channels of a tone or sweep as the card must play it: the buffers of
// a generator planned as the host plans, each sample as sox reads the card's
// (a fraction of full scale, or the nearest float), the 24-bit right channel
// a copy of the left; whole buffers from the first to the last that sounds.
template <class Sample> std::array<std::vector<double>, 2> Expected(const Variant& v, Signal signal)
{
    SineGenerator g(kFrames, v.code);
    signal == kTone ? g.StartTone(kRate, 1000.0, 0.5, 12)
                    : g.StartSweep(kRate, 100.0, 5000.0, 0.5, 6);
    const auto level = [&](int32_t x) {
        return v.isFloat ? static_cast<float>(x * 0x1p-31) : x / v.fullScale;
    };
    std::array<std::vector<double>, 2> out;
    std::vector<Sample> left(kFrames), right(kFrames);
    size_t first = SIZE_MAX, end = 0;
    for (size_t b = 0; (signal == kTone ? g.bTonePlaying : g.bSweepPlaying) && b < 1000; ++b) {
        signal == kTone ? g.RenderTone(left.data(), right.data())
                        : g.RenderSweep(left.data(), right.data());
        const Sample* r = v.code == FormatCode::Int24In32 ? left.data() : right.data();
        for (uint32_t i = 0; i < kFrames; ++i) {
            out[0].push_back(level(left[i]));
            out[1].push_back(level(r[i]));
            if (left[i] != 0 || r[i] != 0) first = std::min(first, b), end = b + 1;
        }
    }
    for (auto& channel : out)
        channel.assign(channel.begin() + first * kFrames, channel.begin() + end * kFrames);
    return out;
}

class HostOnVirtualCard : public HostTest,
                          public ::testing::WithParamInterface<std::tuple<int, Signal>> {};

TEST_P(HostOnVirtualCard, EverySignalIsPlayedExactlyOnTheSelectedPairAndNowhereElse)
{
    const auto [variant, signal] = GetParam();
    const Variant& v = kVariants[variant];
    const int32_t pair = (signal + 1) % 4;
    // The card's four registrations, with a record file of the test's own.
    for (const auto& entry : std::filesystem::directory_iterator(TONEWRIGHT_PRODUCT_REGISTRY))
        if (entry.path().filename().string().rfind("tonewright_virtualcard", 0) == 0)
            std::filesystem::copy_file(entry.path(), dir / entry.path().filename());
    std::ofstream(dir / "zz-record.reg")
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" << v.name << "]\n\"RecordFile\"=\""
        << (dir / "take.wav").string() << "\"\n";
    RegistryReload();
    ASSERT_TRUE(StartHost(true, variant));
    EXPECT_TRUE(LogHas(Log(), "OK - Very encouraging - we played some buffers of silence.\n"));
    ASIOSelectOutputPair(pair);
    const PlayOutcome outcome = signal == kTone    ? PlaySineWav(1000.0, 0.5, 12)
                                : signal == kSweep ? PlaySweepWav(100.0, 5000.0, 0.5, 6)
                                : signal == kPink  ? PlayPinkNoise(0.5, 12)
                                                   : PlayWhiteNoise(0.5, 12);
    ASSERT_EQ(outcome.status, PlayStatus::Armed);
    // Until the signal has ended and one more buffer has gone out.
    uint32_t end = UINT32_MAX;
    for (int i = 0; i < 10000 && dwCountBuffers < end; ++i) {
        if (!pSineGenerator->bTonePlaying && !pSineGenerator->bSweepPlaying &&
            !pPinkNoiseGenerator->bPlaying && !pWhiteNoiseGenerator->bPlaying)
            end = std::min(end, dwCountBuffers + 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASIOHostShutdown(true);

    const SoxAudio take = SoxRead((dir / "take-001.wav").string());
    ASSERT_EQ(take.channels.size(), 8u) << take.warnings;
    EXPECT_EQ(take.rate, kRate);
    const std::vector<double>& left = take.channels[2 * pair];
    if (signal == kTone || signal == kSweep) {
        const auto expected = v.code == FormatCode::Int16 ? Expected<int16_t>(v, signal)
                                                          : Expected<int32_t>(v, signal);
        ASSERT_EQ(take.Frames(), expected[0].size());
        for (int side = 0; side < 2; ++side) {
            const auto& got = take.channels[2 * pair + side];
            const auto wrong = std::mismatch(got.begin(), got.end(), expected[side].begin());
            EXPECT_EQ(wrong.first, got.end())
                << "side " << side << ", frame " << wrong.first - got.begin() << ": "
                << *wrong.first << " for " << *wrong.second;
        }
        // Independent of any generator: the tone's pitch and level.
        if (signal == kTone) {
            EXPECT_NEAR(Frequency(left, kRate), 1000.0, 0.5);
            EXPECT_NEAR(Peak(left), std::pow(10.0, -12.0 / 20.0), 0.002);
        }
    } else {
        // 24000 frames of noise from a buffer's start, whole buffers kept, at
        // most the -12 dB peak level; white noise's RMS 16.5 dB below it.
        EXPECT_EQ(take.Frames(), 94 * kFrames);
        EXPECT_EQ(left, take.channels[2 * pair + 1]);
        const auto last = std::find_if(left.rbegin(), left.rend(), [](double x) { return x != 0; });
        EXPECT_NE(left[0], 0.0);
        EXPECT_GE(left.rend() - last, 24000 - 8);
        EXPECT_LE(left.rend() - last, 24000);
        EXPECT_LE(Peak(left), std::pow(10.0, -12.0 / 20.0) + 1e-6);
        const double rmsDb = 20.0 * std::log10(Rms(left, 0, 24000));
        EXPECT_NEAR(rmsDb, signal == kWhite ? -12.0 - 16.5 : -28.5, signal == kWhite ? 1.0 : 16.0);
    }
    for (int channel = 0; channel < 8; ++channel) {
        if (channel / 2 != pair) {
            EXPECT_EQ(Peak(take.channels[channel]), 0.0) << "channel " << channel;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, HostOnVirtualCard,
                         ::testing::Combine(::testing::Range(0, 4),
                                            ::testing::Values(kTone, kSweep, kPink, kWhite)),
                         [](const auto& info) {
                             return std::string(kVariants[std::get<0>(info.param)].label) +
                                    kSignalNames[std::get<1>(info.param)];
                         });

} // namespace
