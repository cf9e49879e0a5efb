#include "render/BufferSwitch.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/BufferSwitchEntries.h"
#include "host/HostState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Stands in for a driver: only outputReady is ever called by the render path.
class CountingDriver : public IASIO {
public:
    int outputReadyCalls = 0;
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    ASIOBool init(void*) override { return ASIOTrue; }
    void getDriverName(char*) override {}
    int32_t getDriverVersion() override { return 0; }
    void getErrorMessage(char*) override {}
    ASIOError start() override { return ASE_OK; }
    ASIOError stop() override { return ASE_OK; }
    ASIOError getChannels(int32_t*, int32_t*) override { return ASE_OK; }
    ASIOError getLatencies(int32_t*, int32_t*) override { return ASE_OK; }
    ASIOError getBufferSize(int32_t*, int32_t*, int32_t*, int32_t*) override { return ASE_OK; }
    ASIOError canSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError getSampleRate(ASIOSampleRate*) override { return ASE_OK; }
    ASIOError setSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError getClockSources(ASIOClockSource*, int32_t*) override { return ASE_OK; }
    ASIOError setClockSource(int32_t) override { return ASE_OK; }
    ASIOError getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override { return ASE_OK; }
    ASIOError getChannelInfo(ASIOChannelInfo*) override { return ASE_OK; }
    ASIOError createBuffers(ASIOBufferInfo*, int32_t, int32_t, ASIOCallbacks*) override
    {
        return ASE_OK;
    }
    ASIOError disposeBuffers() override { return ASE_OK; }
    ASIOError controlPanel() override { return ASE_OK; }
    ASIOError future(int32_t, void*) override { return ASE_OK; }
    ASIOError outputReady() override
    {
        ++outputReadyCalls;
        return ASE_OK;
    }
};

constexpr uint8_t kDriverFill = 0xAB;
constexpr size_t kGuard = 16;

// A host set up as the driver setup leaves it: generators, buffers for every
// pair, the selected pair and the usable ones.
class RenderHost {
public:
    RenderHost(ASIOSampleType type, int32_t frames, int32_t pairs, int32_t selected)
        : format(FindSampleFormat(type)), frames(frames)
    {
        ClearDriverInfo();
        AsioDriverInfo& info = asioDriverInfo;
        info.preferredSize = frames;
        info.nOutputPairs = pairs;
        info.outputBuffers = 2 * pairs;
        dwBufferSizeBytes = frames * format->bytesPerSample;
        memory.assign(2 * pairs * 2, std::vector<uint8_t>(dwBufferSizeBytes + kGuard, kDriverFill));
        for (int32_t c = 0; c < 2 * pairs; ++c)
            for (int half = 0; half < 2; ++half)
                info.outputBufferInfos[c].buffers[half] = memory[2 * c + half].data();
        info.nSelectedPair = selected;
        info.bPairSelected[selected] = true;
        if (type == ASIOSTInt24LSB) {
            scratchA.assign(frames, 0);
            scratchB.assign(frames, 0);
            info.pInt24ScratchA = scratchA.data();
            info.pInt24ScratchB = scratchB.data();
        }
        sine = new SineGenerator(frames, format->formatCode);
        pink = new PinkNoiseGenerator(format->formatCode);
        white = new WhiteNoiseGenerator(format->formatCode);
        pSineGenerator = sine;
        pPinkNoiseGenerator = pink;
        pWhiteNoiseGenerator = white;
        ptrASIO = &driver;
        dwCountBuffers = 0;
    }
    ~RenderHost()
    {
        sine->Release();
        delete sine;
        delete pink;
        delete white;
        pSineGenerator = nullptr;
        pPinkNoiseGenerator = nullptr;
        pWhiteNoiseGenerator = nullptr;
        ptrASIO = nullptr;
        ClearRenderView();
        ClearDriverInfo();
    }
    void Switch(int32_t half)
    {
        PrepareRenderView();
        format->bufferSwitch(half, ASIOFalse);
    }
    std::vector<uint8_t>& Buffer(int32_t pair, int channel, int half)
    {
        return memory[2 * (2 * pair + channel) + half];
    }
    // The samples of a channel's half, decoded as integers of the card's
    // format (float as itself times 2^31).
    std::vector<double> Samples(int32_t pair, int channel, int half)
    {
        const std::vector<uint8_t>& b = Buffer(pair, channel, half);
        std::vector<double> out(frames);
        for (int32_t i = 0; i < frames; ++i) {
            if (format->type == ASIOSTInt16LSB) {
                int16_t v;
                std::memcpy(&v, &b[2 * i], 2);
                out[i] = v;
            } else if (format->type == ASIOSTInt24LSB) {
                int32_t v = b[3 * i] | (b[3 * i + 1] << 8) | (b[3 * i + 2] << 16);
                if (v & 0x800000) v -= 0x1000000;
                out[i] = v;
            } else if (format->type == ASIOSTInt32LSB) {
                int32_t v;
                std::memcpy(&v, &b[4 * i], 4);
                out[i] = v;
            } else {
                float v;
                std::memcpy(&v, &b[4 * i], 4);
                out[i] = v * 2147483648.0;
            }
        }
        return out;
    }
    bool AllZero(int32_t pair, int half)
    {
        for (int channel = 0; channel < 2; ++channel) {
            const auto& b = Buffer(pair, channel, half);
            for (size_t i = 0; i < dwBufferSizeBytes; ++i)
                if (b[i] != 0) return false;
        }
        return true;
    }
    bool GuardsIntact()
    {
        for (const auto& b : memory)
            for (size_t i = dwBufferSizeBytes; i < b.size(); ++i)
                if (b[i] != kDriverFill) return false;
        return true;
    }
    bool Untouched(int32_t pair)
    {
        for (int channel = 0; channel < 2; ++channel)
            for (int half = 0; half < 2; ++half)
                for (uint8_t byte : Buffer(pair, channel, half))
                    if (byte != kDriverFill) return false;
        return true;
    }

    const SampleFormat* format;
    int32_t frames;
    std::vector<std::vector<uint8_t>> memory;
    std::vector<int32_t> scratchA, scratchB;
    SineGenerator* sine;
    PinkNoiseGenerator* pink;
    WhiteNoiseGenerator* white;
    CountingDriver driver;
};

const ASIOSampleType kTypes[] = {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB};

TEST(BufferSwitch, TwentyFourBitPackingAndFloatConversionByHand)
{
    // Three bytes per sample, low byte first, and not one byte more.
    const int32_t values[] = {-1, 8388607, -8388607, 0x12345678};
    uint8_t out[12 + 4];
    std::memset(out, 0xCC, sizeof out);
    PackInt24LSB(values, out, 4);
    const uint8_t expected[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00,
                                0x80, 0x78, 0x56, 0x34, 0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0);
    uint8_t single[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    PackInt24LSB(values + 1, single, 1);
    const uint8_t one[] = {0xFF, 0xFF, 0x7F, 0xCC};
    EXPECT_EQ(std::memcmp(single, one, 4), 0);

    // 32-bit full scale maps to one.
    int32_t words[] = {2147483647, -2147483647, 1073741824, 0, -1073741824};
    Int32ToFloat32(words, 5);
    float f[5];
    std::memcpy(f, words, sizeof f);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], -1.0f);
    EXPECT_EQ(f[2], 0.5f);
    EXPECT_EQ(f[3], 0.0f);
    EXPECT_FALSE(std::signbit(f[3]));
    EXPECT_EQ(f[4], -0.5f);
}

TEST(BufferSwitch, SilenceGoesToSelectedAndUsablePairsOnly)
{
    for (ASIOSampleType type : kTypes) {
        RenderHost host(type, 64, 3, 1);
        asioDriverInfo.bPairUsable[0] = true; // pair 2 is neither: it keeps its bytes
        asioDriverInfo.bOutputReady = true;
        host.Switch(0);
        host.Switch(1);
        for (int32_t pair : {0, 1})
            EXPECT_TRUE(host.AllZero(pair, 0) && host.AllZero(pair, 1)) << pair;
        EXPECT_TRUE(host.Untouched(2));
        EXPECT_TRUE(host.GuardsIntact());
        EXPECT_EQ(dwCountBuffers.load(), 2u);
        EXPECT_EQ(host.driver.outputReadyCalls, 2);

        // An index that is neither half writes nothing and counts nothing.
        host.Buffer(1, 0, 0).assign(host.Buffer(1, 0, 0).size(), kDriverFill);
        host.Switch(2);
        host.Switch(-1);
        EXPECT_EQ(host.Buffer(1, 0, 0)[0], kDriverFill);
        EXPECT_EQ(dwCountBuffers.load(), 2u);
        EXPECT_EQ(host.driver.outputReadyCalls, 2);

        asioDriverInfo.bOutputReady = false;
        host.Switch(0);
        EXPECT_EQ(host.driver.outputReadyCalls, 2);
        EXPECT_EQ(dwCountBuffers.load(), 3u);
    }
}

TEST(BufferSwitch, NoPairsListedStillPlaysIntoTheSelectedPair)
{
    RenderHost host(ASIOSTInt32LSB, 256, 1, 0);
    asioDriverInfo.nOutputPairs = 0;
    host.sine->StartTone(48000.0, 1000.0, 0.1, 0);
    ASSERT_TRUE(host.sine->bTonePlaying.load());
    host.Switch(0);
    EXPECT_FALSE(host.AllZero(0, 0));
    EXPECT_EQ(host.Samples(0, 0, 0), host.Samples(0, 1, 0));
}

// The tone in every format: both channels equal, the values those of the
// generator's own 32-bit or 16-bit rendering in the card's scale.
TEST(BufferSwitch, ToneReachesBothChannelsInTheCardsFormat)
{
    for (ASIOSampleType type : kTypes) {
        RenderHost host(type, 256, 2, 1);
        asioDriverInfo.bPairUsable[0] = true;
        SineGenerator reference(256, host.format->formatCode);
        host.sine->StartTone(48000.0, 997.0, 0.2, 3);
        reference.StartTone(48000.0, 997.0, 0.2, 3);
        ASSERT_TRUE(host.sine->bTonePlaying.load());
        auto next = [&reference](auto sample) {
            std::vector<decltype(sample)> work(256), copy(256);
            reference.RenderTone(work.data(), copy.data());
            return std::vector<double>(work.begin(), work.end());
        };
        int half = 0;
        uint32_t switches = 0;
        while (host.sine->bTonePlaying.load()) {
            host.Switch(half);
            ++switches;
            const std::vector<double> expected =
                type == ASIOSTInt16LSB ? next(int16_t{}) : next(int32_t{});
            const std::vector<double> left = host.Samples(1, 0, half);
            ASSERT_EQ(left, host.Samples(1, 1, half));
            for (int i = 0; i < 256; ++i) {
                if (type == ASIOSTFloat32LSB)
                    ASSERT_NEAR(left[i], expected[i], std::fabs(expected[i]) * 6e-8 + 1e-9);
                else
                    ASSERT_EQ(left[i], expected[i]) << i;
            }
            EXPECT_TRUE(host.AllZero(0, half));
            half ^= 1;
        }
        EXPECT_EQ(switches, reference.dwToneBuffers);
        EXPECT_TRUE(host.GuardsIntact());
        // Over: the selected pair falls silent.
        host.Switch(half);
        EXPECT_TRUE(host.AllZero(1, half));
    }
}

TEST(BufferSwitch, AHigherSourceMakesALowerOneWaitWholeThenPlay)
{
    RenderHost host(ASIOSTInt16LSB, 256, 1, 0);
    host.sine->StartTone(48000.0, 1000.0, 0.05, 0);
    host.pink->Arm(48000, 0.02, 0); // 960 frames
    host.white->Arm(48000, (256.0 + 100.0) / 48000.0, 0);
    ASSERT_TRUE(host.sine->bTonePlaying.load());
    ASSERT_TRUE(host.pink->bPlaying.load());
    ASSERT_TRUE(host.white->bPlaying.load());
    const uint32_t toneBuffers = host.sine->dwToneBuffers;
    int switches = 0;
    // Plays while the flag is up, with both channels equal; the left channel.
    auto playOut = [&](const std::atomic<bool>& playing, bool whiteWaits) {
        std::vector<double> out;
        while (playing.load()) {
            const int half = switches++ & 1;
            host.Switch(half);
            const auto left = host.Samples(0, 0, half);
            EXPECT_EQ(left, host.Samples(0, 1, half));
            out.insert(out.end(), left.begin(), left.end());
            if (whiteWaits) {
                EXPECT_EQ(host.white->nRemaining, 356u);
            }
        }
        return out;
    };
    while (host.sine->bTonePlaying.load()) {
        host.Switch(switches++ & 1);
        ASSERT_EQ(host.pink->nRemaining, 960u);
        ASSERT_EQ(host.white->nRemaining, 356u);
    }
    EXPECT_EQ(static_cast<uint32_t>(switches), toneBuffers);

    // Pink: 960 frames are three whole buffers and 192 frames of a fourth.
    const std::vector<double> pink = playOut(host.pink->bPlaying, true);
    ASSERT_EQ(pink.size(), 4u * 256u);
    EXPECT_GT(std::count_if(pink.begin(), pink.begin() + 960, [](double v) { return v != 0.0; }),
              900);
    EXPECT_EQ(std::count(pink.begin() + 960, pink.end(), 0.0), 64);

    // White: ends at sample 100 of its second buffer.
    const std::vector<double> white = playOut(host.white->bPlaying, false);
    ASSERT_EQ(white.size(), 512u);
    EXPECT_EQ(std::count(white.begin() + 356, white.end(), 0.0), 156);
    EXPECT_NE(white[355], 0.0);
    host.Switch(switches & 1);
    EXPECT_TRUE(host.AllZero(0, switches & 1));
}

TEST(BufferSwitch, SweepAndNoiseKeepFullScaleInEveryFormat)
{
    for (ASIOSampleType type : kTypes) {
        RenderHost host(type, 128, 1, 0);
        const double fullScale = type == ASIOSTInt16LSB   ? 32767.0
                                 : type == ASIOSTInt24LSB ? 8388607.0
                                                          : 2147483647.0;
        host.sine->StartSweep(48000.0, 100.0, 10000.0, 0.02, 0);
        host.white->Arm(48000, 0.01, 0);
        ASSERT_TRUE(host.sine->bSweepPlaying.load());
        int switches = 0;
        double peak = 0.0;
        while (host.sine->bSweepPlaying.load() || host.white->bPlaying.load()) {
            const int half = switches++ & 1;
            host.Switch(half);
            const auto left = host.Samples(0, 0, half);
            ASSERT_EQ(left, host.Samples(0, 1, half));
            for (double v : left)
                peak = std::max(peak, std::fabs(v));
            ASSERT_LE(peak, fullScale + (type == ASIOSTFloat32LSB ? 128.0 : 0.0));
        }
        // Eight sweep buffers and a closing one, then 480 frames of noise.
        EXPECT_EQ(switches, 9 + 4);
        EXPECT_GT(peak, fullScale * 0.99);
        EXPECT_TRUE(host.GuardsIntact());
    }
}

} // namespace
