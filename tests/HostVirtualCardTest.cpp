// The whole host on the virtual card, through the registry and dlopen: the
// take files hold exactly what a generator planned the same way renders, in
// the card's format, on the selected pair and nowhere else.
#include "gen/NoiseRequests.h"
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/ToneRequests.h"
#include "gen/WhiteNoiseGenerator.h"
#include "render/BufferSwitch.h"
#include "tests/HostFixture.h"
#include "tests/fixtures/WavReader.h"

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
    ASIOSampleType type;
    uint32_t code;  // the generators' format code
    uint32_t bytes; // per sample in the card's buffers
};
const Variant kVariants[] = {
    {"Virtual Card 16-bit", ASIOSTInt16LSB, 0, 2},
    {"Virtual Card 24-bit", ASIOSTInt24LSB, 1, 3},
    {"Virtual Card 32-bit", ASIOSTInt32LSB, 2, 4},
    {"Virtual Card float", ASIOSTFloat32LSB, 2, 4},
};

// One buffer of a pair in the card's bytes.
struct PairBuffer {
    std::vector<uint8_t> left;
    std::vector<uint8_t> right;
    bool Silent() const
    {
        for (uint8_t b : left)
            if (b != 0) return false;
        for (uint8_t b : right)
            if (b != 0) return false;
        return true;
    }
};

// What the render path makes of one generator buffer in the card's format:
// 16-bit as is, 24-bit packed from the work buffer into both channels,
// 32-bit as is, float converted.
template <class Render>
std::vector<PairBuffer> RenderExpected(const Variant& v, Render render,
                                       const std::atomic<bool>& playing)
{
    std::vector<PairBuffer> buffers;
    while (playing.load() && buffers.size() < 100000) {
        PairBuffer out{std::vector<uint8_t>(kFrames * v.bytes),
                       std::vector<uint8_t>(kFrames * v.bytes)};
        if (v.code == 0) {
            std::vector<int16_t> a(kFrames), b(kFrames);
            render(a.data(), b.data());
            std::memcpy(out.left.data(), a.data(), out.left.size());
            std::memcpy(out.right.data(), b.data(), out.right.size());
        } else {
            std::vector<int32_t> a(kFrames), b(kFrames);
            render(a.data(), b.data());
            if (v.type == ASIOSTInt24LSB) {
                PackInt24LSB(a.data(), out.left.data(), kFrames);
                out.right = out.left;
            } else {
                if (v.type == ASIOSTFloat32LSB) {
                    Int32ToFloat32(a.data(), kFrames);
                    Int32ToFloat32(b.data(), kFrames);
                }
                std::memcpy(out.left.data(), a.data(), out.left.size());
                std::memcpy(out.right.data(), b.data(), out.right.size());
            }
        }
        buffers.push_back(std::move(out));
    }
    // The card records whole buffers from the first to the last that sounds.
    while (!buffers.empty() && buffers.back().Silent())
        buffers.pop_back();
    size_t first = 0;
    while (first < buffers.size() && buffers[first].Silent())
        ++first;
    buffers.erase(buffers.begin(), buffers.begin() + static_cast<long>(first));
    return buffers;
}

class HostOnVirtualCard : public HostTest, public ::testing::WithParamInterface<int> {
protected:
    const Variant& V() const { return kVariants[GetParam()]; }

    // The card's four registrations, and a record file of the test's own.
    void InstallVirtualCard(const std::string& stem)
    {
        for (const auto& entry : fs::directory_iterator(TONEWRIGHT_PRODUCT_REGISTRY))
            if (entry.path().filename().string().rfind("tonewright_virtualcard", 0) == 0)
                fs::copy_file(entry.path(), dir / "registry.d" / entry.path().filename(),
                              fs::copy_options::overwrite_existing);
        std::ofstream(dir / "registry.d" / "zz-record.reg")
            << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\"
            << V().name << "]\n\"RecordFile\"=\"" << (dir / (stem + ".wav")).string() << "\"\n";
        RegistryReload();
    }

    // Start-up on this variant, one request, then the signal's end, one more
    // buffer and the shutdown, which completes the take.
    WavData PlayOnce(const std::string& stem, int32_t pair,
                     const std::function<PlayOutcome()>& request,
                     const std::function<bool()>& playing)
    {
        InstallVirtualCard(stem);
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

    // The take holds the expected buffers on the pair and zeros elsewhere.
    void ExpectTake(const WavData& wav, int32_t pair, const std::vector<PairBuffer>& expected)
    {
        ASSERT_TRUE(wav.valid);
        ASSERT_EQ(wav.channels, kChannels);
        ASSERT_EQ(wav.sampleRate, 48000u);
        ASSERT_EQ(wav.bitsPerSample, 8 * V().bytes);
        ASSERT_EQ(wav.Frames(), expected.size() * kFrames);
        for (size_t frame = 0; frame < wav.Frames(); ++frame) {
            const PairBuffer& buffer = expected[frame / kFrames];
            const size_t at = (frame % kFrames) * V().bytes;
            for (int channel = 0; channel < kChannels; ++channel) {
                const uint8_t* sample = wav.Sample(frame, channel);
                const uint8_t* want = nullptr;
                if (channel == 2 * pair) want = buffer.left.data() + at;
                if (channel == 2 * pair + 1) want = buffer.right.data() + at;
                for (uint32_t k = 0; k < V().bytes; ++k)
                    ASSERT_EQ(sample[k], want ? want[k] : 0)
                        << "frame " << frame << " channel " << channel;
            }
        }
    }

    // Samples of one channel as fractions of full scale.
    std::vector<double> Levels(const WavData& wav, int channel)
    {
        std::vector<double> out;
        for (size_t frame = 0; frame < wav.Frames(); ++frame) {
            const uint8_t* p = wav.Sample(frame, channel);
            if (V().type == ASIOSTInt16LSB) {
                int16_t s;
                std::memcpy(&s, p, 2);
                out.push_back(s / 32768.0);
            } else if (V().type == ASIOSTInt24LSB) {
                const int32_t s =
                    static_cast<int32_t>((p[0] << 8) | (p[1] << 16) | (p[2] << 24)) >> 8;
                out.push_back(s / 8388608.0);
            } else if (V().type == ASIOSTInt32LSB) {
                int32_t s;
                std::memcpy(&s, p, 4);
                out.push_back(s / 2147483648.0);
            } else {
                float s;
                std::memcpy(&s, p, 4);
                out.push_back(s);
            }
        }
        return out;
    }
};

TEST_P(HostOnVirtualCard, SineOnPairZeroIsThePlannedToneWithNoDc)
{
    SineGenerator reference(kFrames, V().code);
    reference.StartTone(kRate, 1000.0, 0.5, 12);
    std::vector<PairBuffer> expected;
    expected = RenderExpected(
        V(), [&](auto* a, auto* b) { reference.RenderTone(a, b); }, reference.bTonePlaying);
    ASSERT_GE(expected.size() * kFrames, 24000u);

    const WavData take = PlayOnce(
        "sine", 0, [] { return PlaySineWav(1000.0, 0.5, 12); },
        [] { return pSineGenerator->bTonePlaying.load(); });
    ExpectTake(take, 0, expected);
    EXPECT_TRUE(LogHas(Log(), "OK - Very encouraging - we played some buffers of silence.\n"));

    // Independent of the generator: no DC, and the peak at -12 dB.
    const std::vector<double> left = Levels(take, 0);
    double sum = 0.0;
    double peak = 0.0;
    for (double x : left) {
        sum += x;
        peak = std::max(peak, std::fabs(x));
    }
    if (V().type != ASIOSTFloat32LSB) {
        EXPECT_EQ(sum, 0.0); // exact: integer samples sum to zero
    }
    EXPECT_NEAR(peak, std::pow(10.0, -12.0 / 20.0), 0.002);
}

TEST_P(HostOnVirtualCard, SweepAndPairOneAreWhereTheyWereAsked)
{
    {
        SineGenerator reference(kFrames, V().code);
        reference.StartSweep(kRate, 100.0, 5000.0, 0.5, 6);
        std::vector<PairBuffer> expected;
        expected = RenderExpected(
            V(), [&](auto* a, auto* b) { reference.RenderSweep(a, b); }, reference.bSweepPlaying);
        const WavData take = PlayOnce(
            "sweep", 0, [] { return PlaySweepWav(100.0, 5000.0, 0.5, 6); },
            [] { return pSineGenerator->bSweepPlaying.load(); });
        ExpectTake(take, 0, expected);
    }
    DbgLogOpen();
    {
        SineGenerator reference(kFrames, V().code);
        reference.StartTone(kRate, 440.0, 0.25, 20);
        std::vector<PairBuffer> expected;
        expected = RenderExpected(
            V(), [&](auto* a, auto* b) { reference.RenderTone(a, b); }, reference.bTonePlaying);
        const WavData take = PlayOnce(
            "pair1", 1, [] { return PlaySineWav(440.0, 0.25, 20); },
            [] { return pSineGenerator->bTonePlaying.load(); });
        ExpectTake(take, 1, expected);
        EXPECT_TRUE(LogHas(Log(), "Using: Out 3 / Out 4\n"));
    }
}

TEST_P(HostOnVirtualCard, NoiseHasItsLengthAndStaysWithinItsLevel)
{
    for (bool pink : {true, false}) {
        DbgLogOpen();
        const std::string stem = pink ? "pink" : "white";
        const WavData take = PlayOnce(
            stem, 0, [&] { return pink ? PlayPinkNoise(0.5, 12) : PlayWhiteNoise(0.5, 12); },
            [&] {
                return pink ? pPinkNoiseGenerator->bPlaying.load()
                            : pWhiteNoiseGenerator->bPlaying.load();
            });
        ASSERT_TRUE(take.valid) << stem;
        const std::vector<double> left = Levels(take, 0);
        const std::vector<double> right = Levels(take, 1);
        ASSERT_EQ(left, right) << stem;
        // 24000 frames of noise, started at a buffer's start, whole buffers kept.
        size_t last = 0;
        for (size_t i = 0; i < left.size(); ++i)
            if (left[i] != 0.0) last = i;
        EXPECT_NE(left[0], 0.0) << stem;
        EXPECT_GE(last + 1, 24000u - 8) << stem;
        EXPECT_LE(last + 1, 24000u) << stem;
        EXPECT_EQ(take.Frames(), (24000 + kFrames - 1) / kFrames * kFrames) << stem;
        // Every sample within the -12 dB peak level (Gaussian values are
        // bounded to +-1 before scaling); white noise's RMS lies 16.5 dB
        // below that peak.
        const double peakLevel = std::pow(10.0, -12.0 / 20.0);
        double power = 0.0;
        for (double x : left) {
            ASSERT_LE(std::fabs(x), peakLevel + 1e-6) << stem;
            power += x * x;
        }
        const double rmsDb = 10.0 * std::log10(power / 24000.0);
        if (pink) {
            EXPECT_LT(rmsDb, -12.0) << stem;
            EXPECT_GT(rmsDb, -45.0) << stem;
        } else {
            EXPECT_NEAR(rmsDb, -12.0 - 16.5, 1.0) << stem;
        }
        for (int channel = 2; channel < kChannels; ++channel)
            for (double x : Levels(take, channel))
                ASSERT_EQ(x, 0.0) << stem << " channel " << channel;
    }
}

std::string VariantName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const names[] = {"Int16", "Int24", "Int32", "Float32"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, HostOnVirtualCard, ::testing::Range(0, 4), VariantName);

} // namespace
