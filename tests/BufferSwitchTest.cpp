// The render path from a view of driver buffers with guard bytes: 24-bit
// packing and float conversion worked by hand, which pairs get silence, the
// order in which armed generators play, and the hand-over between threads.
// What the signals' samples are in each format is checked end to end on the
// virtual card.
#include "render/BufferSwitch.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "tests/fixtures/SignalMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr uint8_t kDriverFill = 0xAB;
constexpr size_t kGuard = 16;

// Driver buffers for every pair of a 16-bit card, the generators and the
// pair choice, as a view the render path is handed.
struct Card {
    Card(uint32_t frames, int32_t pairs, int32_t selected)
        : sine(frames, FormatCode::Int16), pink(FormatCode::Int16), white(FormatCode::Int16),
          memory(4 * pairs, std::vector<uint8_t>(2 * frames + kGuard, kDriverFill))
    {
        view.sine = &sine;
        view.pink = &pink;
        view.white = &white;
        view.frames = frames;
        view.halfBytes = 2 * frames;
        view.pairs = pairs;
        for (int32_t p = 0; p < pairs; ++p)
            for (int c = 0; c < 2; ++c)
                for (int h = 0; h < 2; ++h)
                    view.outputs[p][c][h] = Buffer(p, c, h).data();
        view.pairUsable = usable;
        view.pairSelected = chosen;
        view.selectedPair = &selectedPair;
        chosen[selected] = true;
        selectedPair = selected;
    }
    std::vector<uint8_t>& Buffer(int32_t pair, int channel, int half)
    {
        return memory[4 * pair + 2 * channel + half];
    }
    std::vector<double> Left(int32_t pair, int half)
    {
        const auto& left = Buffer(pair, 0, half);
        EXPECT_TRUE(std::equal(left.begin(), left.end(), Buffer(pair, 1, half).begin()));
        std::vector<double> out(view.frames);
        for (uint32_t i = 0; i < view.frames; ++i)
            out[i] = static_cast<int16_t>(left[2 * i] | left[2 * i + 1] << 8);
        return out;
    }
    // Every byte of a half of both channels is the value; the guards intact.
    bool All(int32_t pair, int half, uint8_t value)
    {
        for (int c = 0; c < 2; ++c) {
            const auto& b = Buffer(pair, c, half);
            if (std::count(b.begin(), b.begin() + view.halfBytes, value) != view.halfBytes ||
                std::count(b.begin() + view.halfBytes, b.end(), kDriverFill) != kGuard)
                return false;
        }
        return true;
    }
    void Switch(int32_t half) { RenderBufferSwitch(SampleLayout::Int16, view, half); }

    SineGenerator sine;
    PinkNoiseGenerator pink;
    WhiteNoiseGenerator white;
    std::vector<std::vector<uint8_t>> memory;
    bool usable[kRenderMaxPairs] = {};
    std::atomic<bool> chosen[kRenderMaxPairs] = {};
    std::atomic<int32_t> selectedPair{0};
    RenderView view;
};

TEST(BufferSwitch, TwentyFourBitPackingAndFloatConversionByHand)
{
    // Three bytes per sample, low byte first, and not one byte more.
    const int32_t values[] = {-1, 8388607, -8388607, 0x12345678};
    uint8_t out[16];
    std::memset(out, 0xCC, sizeof out);
    PackInt24LSB(values, out, 4);
    const uint8_t expected[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00,
                                0x80, 0x78, 0x56, 0x34, 0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0);
    uint8_t single[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    PackInt24LSB(values + 1, single, 1);
    const uint8_t one[] = {0xFF, 0xFF, 0x7F, 0xCC};
    EXPECT_EQ(std::memcmp(single, one, 4), 0);

    // 32-bit full scale maps to one; zero stays a positive zero.
    int32_t words[] = {2147483647, -2147483647, 1073741824, 0, -1073741824};
    Int32ToFloat32(words, 5);
    float f[5];
    std::memcpy(f, words, sizeof f);
    EXPECT_EQ(std::vector<float>(f, f + 5), (std::vector<float>{1.0f, -1.0f, 0.5f, 0.0f, -0.5f}));
    EXPECT_FALSE(std::signbit(f[3]));
}

TEST(BufferSwitch, SilenceGoesToTheSelectedAndTheUsablePairsOnly)
{
    Card card(64, 3, 1);
    card.usable[0] = true; // pair 2 is neither: it keeps its bytes
    card.Switch(0);
    card.Switch(1);
    for (int32_t pair : {0, 1})
        EXPECT_TRUE(card.All(pair, 0, 0) && card.All(pair, 1, 0)) << pair;
    EXPECT_TRUE(card.All(2, 0, kDriverFill) && card.All(2, 1, kDriverFill));

    // An index that is neither half writes nothing.
    card.Buffer(1, 0, 0).assign(card.Buffer(1, 0, 0).size(), kDriverFill);
    card.Switch(2);
    card.Switch(-1);
    EXPECT_EQ(card.Buffer(1, 0, 0)[0], kDriverFill);

    // A signal goes to the selected pair only; the usable one stays silent.
    card.sine.StartTone(48000.0, 1000.0, 0.1, 0);
    card.Switch(0);
    EXPECT_GT(Peak(card.Left(1, 0)), 1000.0);
    EXPECT_TRUE(card.All(0, 0, 0));
}

TEST(BufferSwitch, AHigherSourceMakesALowerOneWaitWholeThenPlay)
{
    Card card(256, 1, 0);
    card.sine.StartTone(48000.0, 1000.0, 0.05, 0);
    card.pink.Arm(48000, 0.02, 0);                       // 960 frames
    card.white.Arm(48000, (256.0 + 100.0) / 48000.0, 0); // 356 frames
    auto playOut = [&](const std::atomic<bool>& playing) {
        std::vector<double> out;
        for (int half = 0; playing.load(); half ^= 1) {
            card.Switch(half);
            const std::vector<double> left = card.Left(0, half);
            out.insert(out.end(), left.begin(), left.end());
        }
        return out;
    };
    EXPECT_EQ(playOut(card.sine.bTonePlaying).size(), card.sine.dwToneBuffers * 256u);
    EXPECT_EQ(card.pink.nRemaining, 960u);
    EXPECT_EQ(card.white.nRemaining, 356u);
    // Pink: three whole buffers and 192 frames of a fourth.
    const std::vector<double> pink = playOut(card.pink.bPlaying);
    ASSERT_EQ(pink.size(), 4u * 256u);
    EXPECT_GT(std::count_if(pink.begin(), pink.begin() + 960, [](double v) { return v != 0; }),
              900);
    EXPECT_EQ(Peak(pink, 960), 0.0);
    EXPECT_EQ(card.white.nRemaining, 356u);
    // White: ends at sample 100 of its second buffer, then silence.
    const std::vector<double> white = playOut(card.white.bPlaying);
    ASSERT_EQ(white.size(), 512u);
    EXPECT_NE(white[355], 0.0);
    EXPECT_EQ(Peak(white, 356), 0.0);
    card.Switch(0);
    EXPECT_TRUE(card.All(0, 0, 0));
}

// Run under ThreadSanitizer by the test command: one thread arms the
// generators and moves the selected pair the way the host does while
// another switches buffers; every pair is always rendered or silenced whole.
TEST(BufferSwitch, ArmingAndPairChangesWhileSwitchingStayConsistent)
{
    constexpr int32_t kPairs = 4;
    Card card(64, kPairs, 0);
    std::fill(std::begin(card.usable), std::begin(card.usable) + kPairs, true);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (int round = 0; !done.load(); ++round) {
            if (round % 4 == 0) card.sine.StartTone(48000.0, 1000.0 + round % 7, 0.01, round % 20);
            if (round % 4 == 1) card.sine.StartSweep(48000.0, 200.0, 4000.0, 0.01, 6);
            if (round % 4 == 2) card.pink.Arm(48000, 0.005, 3);
            if (round % 4 == 3) card.white.Arm(48000, 0.005, 3);
            const int32_t selected = card.selectedPair.load(), next = (selected + 1) % kPairs;
            card.chosen[selected].store(false, std::memory_order_relaxed);
            card.selectedPair.store(next, std::memory_order_relaxed);
            card.chosen[next].store(true, std::memory_order_relaxed);
            std::this_thread::yield();
        }
    });
    bool consistent = true;
    for (uint32_t i = 0; i < 20000 && consistent; ++i) {
        card.Switch(static_cast<int>(i & 1));
        for (int32_t p = 0; p < kPairs; ++p)
            consistent = consistent && card.Buffer(p, 0, i & 1) == card.Buffer(p, 1, i & 1);
    }
    done = true;
    ui.join();
    EXPECT_TRUE(consistent);
}

} // namespace
