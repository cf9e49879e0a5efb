// The virtual card as a host meets it: created through the build's
// registry.d, paced by its own clock thread, and recording what the host's
// callback wrote as takes that sox reads back.
#include "drivers/virtualcard/VirtualCardVariants.h"
#include "tests/fixtures/DriverHost.h"
#include "tests/fixtures/SignalMeasure.h"

#include <csignal>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;

// The take as sox reads it: its rate, and frames from `first` on these channels.
void ExpectTake(const std::string& path, double rate, const std::vector<int32_t>& channels,
                uint64_t first, uint64_t frames)
{
    const SoxAudio take = SoxRead(path);
    ASSERT_TRUE(take.rate == rate && take.channels.size() == channels.size()) << path;
    ASSERT_EQ(take.Frames(), frames);
    for (size_t c = 0; c < channels.size(); ++c)
        for (uint64_t f = 0; f < frames; ++f)
            ASSERT_EQ(take.channels[c][f], Expected(channels[c], first + f))
                << path << ", channel " << channels[c] << ", frame " << first + f;
}

class VirtualCard : public DriverTest {
protected:
    void TearDown() override
    {
        if (driver != nullptr) driver->Release();
        DriverTest::TearDown();
    }

    // Values under one variant's key, over the build's registration.
    void UseSettings(int variant, const std::string& values)
    {
        UseRegistry(std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\") +
                        kVirtualCardVariants[variant].name + "]\n" + values,
                    TONEWRIGHT_PRODUCT_REGISTRY);
    }

    void Create(int variant)
    {
        driver = CreateDriver(kVirtualCardVariants[variant].clsid);
        ASSERT_NE(driver, nullptr);
        EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    }

    // From half 0, `switches` buffers, then stopped.
    void Play(int switches)
    {
        g_host.switches = 0;
        ASSERT_EQ(driver->start(), ASE_OK);
        EXPECT_TRUE(WaitForSwitches(switches));
        EXPECT_EQ(driver->stop(), ASE_OK);
        ExpectHalvesAlternate();
    }

    IASIO* driver = nullptr;
};

// Settings under the variant's own key (a bad one refuses init: the player's test).
struct VariantCase {
    const char* values;
    int32_t outputs, preferred;
    double rate;
    const char* encoding; // as sox names it
};

class VirtualCardVariants : public VirtualCard, public ::testing::WithParamInterface<int> {};

TEST_P(VirtualCardVariants, TakesItsSettingsDescribesItselfAndItsTakeIsWhatEachChannelPlayed)
{
    const VariantCase cases[] = {
        {"", 8, 256, 48000.0, "16-bit Signed Integer"},
        {"\"Channels\"=dword:00000006\n\"BufferSize\"=dword:00000080\n"
         "\"SampleRate\"=dword:00017700\n",
         6, 128, 96000.0, "24-bit Signed Integer"},
        {"\"Channels\"=dword:00000080\n\"BufferSize\"=dword:00001000\n"
         "\"SampleRate\"=dword:0000ac44\n",
         128, 4096, 44100.0, "32-bit Signed Integer"},
        {"\"Channels\"=dword:00000006\n\"BufferSize\"=dword:00000020\n", 6, 32, 48000.0,
         "32-bit Floating Point"}};
    const VariantCase& c = cases[GetParam()];
    const VirtualCardVariant& variant = kVirtualCardVariants[GetParam()];
    UseSettings(GetParam(), c.values);
    Create(GetParam());
    ExpectFacts(driver, variant.name, c.outputs, c.outputs, {32, 4096, c.preferred, -1},
                variant.type, c.preferred, c.rate, {44100.0, 48000.0, 96000.0},
                {22050.0, 88200.0, 192000.0, 0.0, -48000.0});
    EXPECT_EQ(driver->setSampleRate(44100.0), ASE_OK);

    // Asked for out of order, held in channel order; the take ends with the last sound.
    ASSERT_EQ(CreatePatternBuffers(driver, {5, 0, 2}, variant.type, 64), ASE_OK);
    int32_t inputLatency = -1, outputLatency = -1;
    EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    EXPECT_TRUE(inputLatency == 0 && outputLatency == 64) << "the buffer size the host chose";
    g_host.bursts = {{0, 40}};
    Play(60);
    EXPECT_EQ(std::exchange(driver, nullptr)->Release(), 0u);
    const std::string take = std::string(variant.name) + "-001.wav";
    ExpectTake(take, 44100.0, {0, 2, 5}, 0, 40 * 64);
    EXPECT_NE(RunCommand("sox --i '" + take + "'").find(c.encoding), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Variants, VirtualCardVariants,
                         ::testing::Range(0, kVirtualCardVariantCount));

TEST_F(VirtualCard, SwitchesComeOnTheClocksDeadlinesAndARateChangeSplitsTheTakeAtTheNextBuffer)
{
    UseSettings(1, "\"RecordFile\"=\"rate.wav\"\n");
    Create(1);
    ASSERT_EQ(CreatePatternBuffers(driver, {0, 1}, ASIOSTInt24LSB, 256), ASE_OK);
    g_host.driver = driver;
    // 80 ms is 15 periods: the next buffer is late, and must not be caught up.
    g_host.stallAt = 20;
    g_host.stallMs = 80;
    testing::internal::CaptureStderr();
    ASSERT_EQ(driver->start(), ASE_OK);
    // The open take reads once its first second is on disk.
    EXPECT_TRUE(WaitFor([] { return SoxRead("rate-001.wav").Frames() >= 48000; }));
    const int before = g_host.switches.load();
    EXPECT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    const int after = g_host.switches.load();
    ASSERT_TRUE(WaitForSwitches(after + 300));
    EXPECT_EQ(driver->stop(), ASE_OK);
    const std::string lines = testing::internal::GetCapturedStderr();
    const int total = g_host.switches.load();
    ASSERT_LT(total, kMaxSwitches);
    ExpectHalvesAlternate();

    // Each switch is stamped with when it was due: 256 frames on, 16/3 ms at
    // 48000 Hz and 8/3 ms at 96000 Hz, never before it is due, except that a
    // late buffer starts the schedule again from its wake.
    int onTime[2] = {0, 0};
    for (int k = 0; k + 1 < total; ++k) {
        ASSERT_LE(g_host.stamps[k], g_host.times[k]) << "switch " << k << " came early";
        if (k + 1 >= before && k <= after) continue; // the change takes effect in here
        const uint64_t period = k < before ? 5333333 : 2666666;
        const uint64_t step = g_host.stamps[k + 1] - g_host.stamps[k];
        if (step > 2 * period) continue;
        ASSERT_TRUE(step == period || step == period + 1) << k << ": " << step;
        ++onTime[k < before ? 0 : 1];
    }
    EXPECT_GT(g_host.stamps[22] - g_host.stamps[21], 2 * 5333334u) << "the stall was caught up";
    EXPECT_TRUE(onTime[0] > 0 && onTime[1] > 0);
    EXPECT_NE(lines.find(" buffers came more than a period late\n"), std::string::npos) << lines;

    // The split falls on the buffer switched next; not a frame is lost.
    const uint64_t split = SoxRead("rate-001.wav").Frames();
    EXPECT_TRUE(split % 256 == 0 && split / 256 >= static_cast<uint64_t>(before) &&
                split / 256 <= static_cast<uint64_t>(after + 1))
        << split << " frames before the split";
    ExpectTake("rate-001.wav", 48000.0, {0, 1}, 0, split);
    ExpectTake("rate-002.wav", 96000.0, {0, 1}, split, total * 256 - split);
    EXPECT_FALSE(fs::exists("rate-003.wav"));
    EXPECT_EQ(g_host.switches.load(), total) << "a switch after stop returned";
}

TEST_F(VirtualCard, TakesStartAtSoundEndAfterASecondOfSilenceAndOutliveAFullDisk)
{
    UseSettings(2, "\"BufferSize\"=dword:00000400\n\"SampleRate\"=dword:00017700\n"
                   "\"RecordFile\"=\"take.wav\"\n");
    std::ofstream("take-001.wav") << "an earlier run's take";
    Create(2);
    ASSERT_EQ(CreatePatternBuffers(driver, {0, 1}, ASIOSTInt32LSB, 1024), ASE_OK);
    g_host.bursts = {};
    Play(40);
    EXPECT_FALSE(fs::exists("take-002.wav")) << "silence only makes no take";

    // At 96000 Hz a second is 93.75 buffers of 1024 frames: 93 silent ones
    // stay inside the take, 94 end it.
    g_host.bursts = {{5, 15}, {108, 118}, {212, 222}};
    Play(240);
    EXPECT_EQ(fs::file_size("take-001.wav"), 21u) << "the earlier take is left alone";
    ExpectTake("take-002.wav", 96000.0, {0, 1}, 5 * 1024, (118 - 5) * 1024);
    ExpectTake("take-003.wav", 96000.0, {0, 1}, 212 * 1024, 10 * 1024);

    // A file size limit fails writes as a full disk does: the recording stops
    // with one line, the card plays on, and what was written reads whole.
    rlimit previous = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 300000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    g_host.bursts = {{0, INT_MAX}};
    testing::internal::CaptureStderr();
    Play(60);
    const std::string lines = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(std::exchange(driver, nullptr)->Release(), 0u);
    EXPECT_NE(lines.find("; recording stopped\n"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("recording stopped"), lines.rfind("recording stopped")) << lines;
    const uint64_t frames = SoxRead("take-004.wav").Frames();
    EXPECT_GT(frames, 0u);
    ExpectTake("take-004.wav", 96000.0, {0, 1}, 0, frames);
    EXPECT_FALSE(fs::exists("take-005.wav"));
}

} // namespace
