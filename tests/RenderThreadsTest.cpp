// The hand-over between the user-interface thread and the driver's thread,
// run under ThreadSanitizer by the test command: one thread arms generators
// and moves the selected pair while another runs buffer switches.
#include "render/BufferSwitch.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/BufferSwitchEntries.h"
#include "host/HostState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(RenderThreads, ArmingAndPairChangesWhileSwitchingStayConsistent)
{
    constexpr int32_t kFrames = 64;
    constexpr int32_t kPairs = 4;
    ClearDriverInfo();
    AsioDriverInfo& info = asioDriverInfo;
    info.preferredSize = kFrames;
    info.nOutputPairs = kPairs;
    info.outputBuffers = 2 * kPairs;
    dwBufferSizeBytes = kFrames * 2;
    std::vector<std::vector<int16_t>> memory(4 * kPairs, std::vector<int16_t>(kFrames, 0));
    for (int32_t c = 0; c < 2 * kPairs; ++c)
        for (int half = 0; half < 2; ++half)
            info.outputBufferInfos[c].buffers[half] = memory[2 * c + half].data();
    for (int32_t p = 0; p < kPairs; ++p)
        info.bPairUsable[p] = true;
    info.bPairSelected[0] = true;
    info.nSelectedPair = 0;
    SineGenerator sine(kFrames, FormatCode::Int16);
    PinkNoiseGenerator pink(FormatCode::Int16);
    WhiteNoiseGenerator white(FormatCode::Int16);
    pSineGenerator = &sine;
    pPinkNoiseGenerator = &pink;
    pWhiteNoiseGenerator = &white;
    dwCountBuffers = 0;
    PrepareRenderView();

    constexpr uint32_t kSwitches = 20000;
    std::atomic<bool> done{false};
    std::thread ui([&] {
        int32_t selected = 0;
        for (int round = 0; !done.load(); ++round) {
            switch (round % 4) {
            case 0:
                sine.StartTone(48000.0, 1000.0 + round % 7, 0.01, round % 20);
                break;
            case 1:
                sine.StartSweep(48000.0, 200.0, 4000.0, 0.01, 6);
                break;
            case 2:
                pink.Arm(48000, 0.005, 3);
                break;
            case 3:
                white.Arm(48000, 0.005, 3);
                break;
            }
            // Move the selection the way the host does: clear, set, publish.
            const int32_t next = (selected + 1) % kPairs;
            info.bPairSelected[selected].store(false, std::memory_order_relaxed);
            info.bPairSelected[next].store(true, std::memory_order_relaxed);
            info.nSelectedPair.store(next, std::memory_order_relaxed);
            selected = next;
            std::this_thread::yield();
        }
    });

    bool consistent = true;
    for (uint32_t i = 0; i < kSwitches && consistent; ++i) {
        const int half = static_cast<int>(i & 1);
        bufferSwitchInt16LSB(half, ASIOFalse);
        // Every pair was either rendered or silenced: both channels agree.
        for (int32_t p = 0; p < kPairs; ++p)
            if (std::memcmp(memory[2 * (2 * p) + half].data(),
                            memory[2 * (2 * p + 1) + half].data(), kFrames * sizeof(int16_t)) != 0)
                consistent = false;
    }
    done = true;
    ui.join();
    EXPECT_TRUE(consistent);
    EXPECT_EQ(dwCountBuffers.load(), kSwitches);

    sine.Release();
    pSineGenerator = nullptr;
    pPinkNoiseGenerator = nullptr;
    pWhiteNoiseGenerator = nullptr;
    ClearRenderView();
    ClearDriverInfo();
}

} // namespace
