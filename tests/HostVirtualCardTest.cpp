// The whole host on the virtual card, through the registry and dlopen: the
// take files hold exactly what a generator planned the same way renders, in
// the card's format, on the selected pair and nowhere else.
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/NoiseRequests.h"
#include "host/ToneRequests.h"
#include "render/BufferSwitch.h"
#include "tests/HostFixture.h"
#include "tests/fixtures/WavReader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#ifndef TONEWRIGHT_PRODUCT_REGISTRY
#error "the test target must define TONEWRIGHT_PRODUCT_REGISTRY"
#endif

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFrames = 256; // the card's default buffer
constexpr double kRate = 48000.0; // and rate
constexpr int kChannels = 8;      // and channels

struct Variant {
    const char* name;
    const char* label; // in the test's name
    ASIOSampleType type;
    uint32_t code;  // the generators' format code
    uint32_t bytes; // per sample in the card's buffers
};
const Variant kVariants[] = {
    {"Virtual Card 16-bit", "Int16", ASIOSTInt16LSB, 0, 2},
    {"Virtual Card 24-bit", "Int24", ASIOSTInt24LSB, 1, 3},
    {"Virtual Card 32-bit", "Int32", ASIOSTInt32LSB, 2, 4},
    {"Virtual Card float", "Float32", ASIOSTFloat32LSB, 2, 4},
};

// What the render path makes of the generator's buffers in the card's
// format, each buffer the pair's left then right channel: 16-bit and 32-bit
// as is, 24-bit packed from the work buffer into both channels, float
// converted. Cut as the card records: whole buffers from the first to the
// last that sounds.
template <class Render>
std::vector<std::vector<uint8_t>> RenderExpected(const Variant& v, Render render,
                                                 const std::atomic<bool>& playing)
{
    const size_t half = kFrames * v.bytes;
    std::vector<std::vector<uint8_t>> buffers;
    while (playing.load() && buffers.size() < 100000) {
        std::vector<uint8_t> out(2 * half);
        if (v.code == 0) {
            std::vector<int16_t> a(kFrames), b(kFrames);
            render(a.data(), b.data());
            std::memcpy(out.data(), a.data(), half);
            std::memcpy(out.data() + half, b.data(), half);
        } else {
            std::vector<int32_t> a(kFrames), b(kFrames);
            render(a.data(), b.data());
            if (v.type == ASIOSTFloat32LSB) {
                Int32ToFloat32(a.data(), kFrames);
                Int32ToFloat32(b.data(), kFrames);
            }
            if (v.type == ASIOSTInt24LSB) {
                PackInt24LSB(a.data(), out.data(), kFrames);
                PackInt24LSB(a.data(), out.data() + half, kFrames);
            } else {
                std::memcpy(out.data(), a.data(), half);
                std::memcpy(out.data() + half, b.data(), half);
            }
        }
        buffers.push_back(std::move(out));
    }
    auto silent = [](const std::vector<uint8_t>& buffer) {
        return std::all_of(buffer.begin(), buffer.end(), [](uint8_t x) { return x == 0; });
    };
    while (!buffers.empty() && silent(buffers.back()))
        buffers.pop_back();
    buffers.erase(buffers.begin(), std::find_if_not(buffers.begin(), buffers.end(), silent));
    return buffers;
}

class HostOnVirtualCard : public HostTest, public ::testing::WithParamInterface<int> {
protected:
    const Variant& V() const { return kVariants[GetParam()]; }

    // Start-up on this variant with the card's four registrations and a
    // record file of the test's own, one request, then the signal's end, one
    // more buffer and the shutdown, which completes the take.
    WavData PlayOnce(const std::string& stem, int32_t pair,
                     const std::function<PlayOutcome()>& request,
                     const std::function<bool()>& playing)
    {
        DbgLogOpen();
        for (const auto& entry : fs::directory_iterator(TONEWRIGHT_PRODUCT_REGISTRY))
            if (entry.path().filename().string().rfind("tonewright_virtualcard", 0) == 0)
                fs::copy_file(entry.path(), dir / "registry.d" / entry.path().filename(),
                              fs::copy_options::overwrite_existing);
        std::ofstream(dir / "registry.d" / "zz-record.reg")
            << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\"
            << V().name << "]\n\"RecordFile\"=\"" << (dir / (stem + ".wav")).string() << "\"\n";
        RegistryReload();
        EXPECT_TRUE(StartHost(GetParam()));
        if (pASIOBuffers == nullptr) return {};
        if (pair != 0) ASIOSelectOutputPair(pair);
        const PlayOutcome outcome = request();
        EXPECT_EQ(outcome.status, PlayStatus::Armed) << (outcome.reason ? outcome.reason : "");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (playing() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const uint32_t after = dwCountBuffers.load();
        while (dwCountBuffers.load() < after + 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASIOHostShutdown(true);
        return ReadWavFile((dir / (stem + "-001.wav")).string());
    }
};

TEST_P(HostOnVirtualCard, TonesAndASweepAreThePlannedRenderingOnTheirPairAndNowhereElse)
{
    struct Tone {
        const char* stem;
        int32_t pair;
        bool sweep;
        double from, to, seconds;
        uint32_t attenuation;
        const char* logged;
    };
    const Tone tones[] = {
        {"sine", 0, false, 1000.0, 0.0, 0.5, 12,
         "OK - Very encouraging - we played some buffers of silence.\n"},
        {"sweep", 0, true, 100.0, 5000.0, 0.5, 6, ""},
        {"pair1", 1, false, 440.0, 0.0, 0.25, 20, "Using: Out 3 / Out 4\n"},
    };
    for (const Tone& t : tones) {
        SCOPED_TRACE(t.stem);
        SineGenerator reference(kFrames, FormatCode{V().code});
        if (t.sweep)
            reference.StartSweep(kRate, t.from, t.to, t.seconds, t.attenuation);
        else
            reference.StartTone(kRate, t.from, t.seconds, t.attenuation);
        const std::vector<std::vector<uint8_t>> expected = RenderExpected(
            V(),
            [&](auto* a, auto* b) {
                t.sweep ? reference.RenderSweep(a, b) : reference.RenderTone(a, b);
            },
            t.sweep ? reference.bSweepPlaying : reference.bTonePlaying);
        ASSERT_FALSE(expected.empty());
        const WavData take = PlayOnce(
            t.stem, t.pair,
            [&] {
                return t.sweep ? PlaySweepWav(t.from, t.to, t.seconds, t.attenuation)
                               : PlaySineWav(t.from, t.seconds, t.attenuation);
            },
            [&] {
                return (t.sweep ? pSineGenerator->bSweepPlaying : pSineGenerator->bTonePlaying)
                    .load();
            });
        if (*t.logged != '\0') {
            EXPECT_TRUE(LogHas(Log(), t.logged));
        }

        // The take holds the expected buffers on the pair and zeros elsewhere.
        ASSERT_TRUE(take.valid);
        ASSERT_EQ(take.channels, kChannels);
        ASSERT_EQ(take.sampleRate, 48000u);
        ASSERT_EQ(take.bitsPerSample, 8 * V().bytes);
        ASSERT_EQ(take.Frames(), expected.size() * kFrames);
        for (size_t frame = 0; frame < take.Frames(); ++frame) {
            const uint8_t* buffer = expected[frame / kFrames].data();
            const size_t at = (frame % kFrames) * V().bytes;
            for (int channel = 0; channel < kChannels; ++channel) {
                const uint8_t* sample = take.Sample(frame, channel);
                const int side = channel - 2 * t.pair; // 0 left, 1 right of the pair
                const uint8_t* want =
                    side == 0 || side == 1 ? buffer + side * kFrames * V().bytes + at : nullptr;
                for (uint32_t k = 0; k < V().bytes; ++k)
                    ASSERT_EQ(sample[k], want ? want[k] : 0)
                        << "frame " << frame << " channel " << channel;
            }
        }
        if (t.sweep) continue;

        // Independent of the generator: no DC, and the peak at the attenuation.
        double sum = 0.0;
        double peak = 0.0;
        for (double x : Levels(take, 2 * t.pair)) {
            sum += x;
            peak = std::max(peak, std::fabs(x));
        }
        if (V().type != ASIOSTFloat32LSB) {
            EXPECT_EQ(sum, 0.0); // exact: integer samples sum to zero
        }
        EXPECT_NEAR(peak, std::pow(10.0, -(t.attenuation / 20.0)), 0.002);
    }
}

TEST_P(HostOnVirtualCard, NoiseHasItsLengthAndStaysWithinItsLevel)
{
    for (bool pink : {true, false}) {
        const std::string stem = pink ? "pink" : "white";
        SCOPED_TRACE(stem);
        const WavData take = PlayOnce(
            stem, 0, [&] { return pink ? PlayPinkNoise(0.5, 12) : PlayWhiteNoise(0.5, 12); },
            [&] {
                return pink ? pPinkNoiseGenerator->bPlaying.load()
                            : pWhiteNoiseGenerator->bPlaying.load();
            });
        ASSERT_TRUE(take.valid);
        ASSERT_EQ(take.bitsPerSample, 8 * V().bytes);
        const std::vector<double> left = Levels(take, 0);
        ASSERT_EQ(left, Levels(take, 1));
        // 24000 frames of noise, started at a buffer's start, whole buffers kept.
        size_t last = 0;
        for (size_t i = 0; i < left.size(); ++i)
            if (left[i] != 0.0) last = i;
        EXPECT_NE(left[0], 0.0);
        EXPECT_GE(last + 1, 24000u - 8);
        EXPECT_LE(last + 1, 24000u);
        EXPECT_EQ(take.Frames(), (24000 + kFrames - 1) / kFrames * kFrames);
        // Every sample within the -12 dB peak level (Gaussian values are
        // bounded to +-1 before scaling); white noise's RMS lies 16.5 dB
        // below that peak.
        const double peakLevel = std::pow(10.0, -12.0 / 20.0);
        double power = 0.0;
        for (double x : left) {
            ASSERT_LE(std::fabs(x), peakLevel + 1e-6);
            power += x * x;
        }
        const double rmsDb = 10.0 * std::log10(power / 24000.0);
        if (pink) {
            EXPECT_LT(rmsDb, -12.0);
            EXPECT_GT(rmsDb, -45.0);
        } else {
            EXPECT_NEAR(rmsDb, -12.0 - 16.5, 1.0);
        }
        for (int channel = 2; channel < kChannels; ++channel)
            for (double x : Levels(take, channel))
                ASSERT_EQ(x, 0.0) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, HostOnVirtualCard, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kVariants[info.param].label);
                         });

} // namespace
