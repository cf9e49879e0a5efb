// The virtual card as a host meets it: created through the build's
// registry.d and the object loader, paced by its own thread, and recording
// what the host's callback wrote. The take files are read back with sox and
// the tests' own RIFF reader, not with the card's code.
#include "drivers/virtualcard/VirtualCardVariants.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/WavReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <strings.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

#ifndef TONEWRIGHT_PRODUCT_REGISTRY
#error "the test target must define TONEWRIGHT_PRODUCT_REGISTRY"
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kMaxRecords = 8;
constexpr int kMaxTimes = 4096;
constexpr int kMaxBursts = 4;

uint64_t NowNs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// A sample that is never zero, tells channels apart and changes every frame;
// as a fraction of full scale it is code / 32768 in every format.
int32_t Code(int32_t channel, uint64_t frame)
{
    const int32_t value = ((channel + 1) << 11) | static_cast<int32_t>(frame & 0x7FF);
    return (frame & 1) != 0 ? -value : value;
}

uint32_t BytesOf(ASIOSampleType type)
{
    return type == ASIOSTInt16LSB ? 2 : type == ASIOSTInt24LSB ? 3 : 4;
}

// The card's layout, little-endian with 24-bit packed in three bytes: the
// top bytes of the code at 32-bit full scale, or the float.
void StoreSample(ASIOSampleType type, uint8_t* p, int32_t code)
{
    const uint32_t word = static_cast<uint32_t>(code) << 16;
    const float value = static_cast<float>(code) / 32768.0f;
    uint8_t bytes[4];
    std::memcpy(bytes, type == ASIOSTFloat32LSB ? static_cast<const void*>(&value) : &word, 4);
    std::memcpy(p, bytes + 4 - BytesOf(type), BytesOf(type));
}

// What the host side saw and does. Written by the card's thread; read by the
// test after stop(), which joins that thread.
struct HostSide {
    ASIOBufferInfo infos[kMaxRecords];
    int count;
    ASIOSampleType type;
    int32_t bufferSize;
    // Switches k with begin <= k < end of a burst get the pattern, all
    // others silence.
    int bursts[kMaxBursts][2];
    int nBursts;
    bool soundAlways;
    int stallAt; // the callback sleeps stallMs at this switch
    int stallMs;
    uint64_t times[kMaxTimes];
    int32_t indexes[kMaxTimes];
    IASIO* driver; // asked for its sample position inside each switch
    ASIOError positionResults[kMaxTimes];
    uint64_t positions[kMaxTimes];
    uint64_t stamps[kMaxTimes];
    std::atomic<int> switches;
    std::atomic<bool> stopped;
    std::atomic<int> afterStop;
};
HostSide g_host;

void ResetHost()
{
    std::memset(static_cast<void*>(&g_host), 0, sizeof g_host);
    g_host.stallAt = -1;
}

bool Sounding(int k)
{
    if (g_host.soundAlways) return true;
    for (int b = 0; b < g_host.nBursts; ++b)
        if (k >= g_host.bursts[b][0] && k < g_host.bursts[b][1]) return true;
    return false;
}

void OnBufferSwitch(int32_t index, ASIOBool)
{
    const int k = g_host.switches.load(std::memory_order_relaxed);
    if (k < kMaxTimes) {
        g_host.times[k] = NowNs();
        g_host.indexes[k] = index;
        if (g_host.driver != nullptr) {
            ASIOSamples position = {};
            ASIOTimeStamp stamp = {};
            g_host.positionResults[k] = g_host.driver->getSamplePosition(&position, &stamp);
            g_host.positions[k] = (static_cast<uint64_t>(position.hi) << 32) | position.lo;
            g_host.stamps[k] = (static_cast<uint64_t>(stamp.hi) << 32) | stamp.lo;
        }
    }
    if (g_host.stopped.load(std::memory_order_relaxed)) g_host.afterStop.fetch_add(1);
    const bool sounding = Sounding(k);
    const uint32_t bytes = BytesOf(g_host.type);
    for (int r = 0; r < g_host.count; ++r) {
        auto* half = static_cast<uint8_t*>(g_host.infos[r].buffers[index]);
        for (int32_t i = 0; i < g_host.bufferSize; ++i) {
            const uint64_t frame = static_cast<uint64_t>(k) * g_host.bufferSize + i;
            StoreSample(g_host.type, half + i * bytes,
                        sounding ? Code(g_host.infos[r].channelNum, frame) : 0);
        }
    }
    if (k == g_host.stallAt) std::this_thread::sleep_for(std::chrono::milliseconds(g_host.stallMs));
    g_host.switches.store(k + 1, std::memory_order_release);
}

void OnSampleRateChanged(ASIOSampleRate) {}
int32_t OnAsioMessage(int32_t, int32_t, void*, double*)
{
    return 0;
}
ASIOCallbacks g_callbacks = {OnBufferSwitch, OnSampleRateChanged, OnAsioMessage, nullptr};

std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r"); // sox's warnings go to the test's stderr
    if (pipe == nullptr) return output;
    char chunk[512];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    pclose(pipe);
    return output;
}

// One field of `sox --i`: -r rate, -c channels, -s samples, -p precision,
// -e encoding.
std::string Soxi(const char* field, const std::string& path)
{
    std::string value = RunCommand(std::string("sox --i -") + field + " '" + path + "'");
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

// Interleaved frames [first, first + frames) of the given channels, as the
// callback wrote them; silent switches give zeros.
std::vector<uint8_t> Expected(ASIOSampleType type, const std::vector<int32_t>& channels,
                              int32_t bufferSize, uint64_t first, uint64_t frames)
{
    const uint32_t bytes = BytesOf(type);
    std::vector<uint8_t> out(frames * channels.size() * bytes);
    uint8_t* p = out.data();
    for (uint64_t f = first; f < first + frames; ++f)
        for (int32_t channel : channels) {
            const bool sounding = Sounding(static_cast<int>(f / bufferSize));
            StoreSample(type, p, sounding ? Code(channel, f) : 0);
            p += bytes;
        }
    return out;
}

// The samples as sox decodes them, as 32-bit integers: code / 32768 of full
// scale is code * 65536 whatever the take's format.
std::vector<uint8_t> SoxInt32(const std::string& path)
{
    RunCommand("sox '" + path + "' -t raw -e signed-integer -b 32 -L sox-out.raw");
    std::ifstream file("sox-out.raw", std::ios::binary);
    std::vector<uint8_t> raw((std::istreambuf_iterator<char>(file)), {});
    fs::remove("sox-out.raw");
    return raw;
}

int CountLines(const std::string& text, const std::string& needle)
{
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    while (std::getline(lines, line))
        if (line.find(needle) != std::string::npos) ++count;
    return count;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class VirtualCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetHost();
        UseSettings("");
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }

    void TearDown() override
    {
        Drop();
        CoUninitialize();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }

    // Values added under the variants' keys by a `.reg` file of the test's own.
    void UseSettings(const std::string& regText)
    {
        const fs::path folder = scratch.Path() / "registry.d";
        fs::create_directories(folder);
        std::ofstream(folder / "zz-settings.reg") << regText;
        const std::string folders =
            std::string(TONEWRIGHT_PRODUCT_REGISTRY) + ":" + folder.string();
        setenv("TONEWRIGHT_REGISTRY", folders.c_str(), 1);
        RegistryReload();
    }

    static std::string Key(const VirtualCardVariant& variant)
    {
        return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\") + variant.name + "]\n";
    }

    IASIO* Create(const VirtualCardVariant& variant)
    {
        void* object = nullptr;
        EXPECT_EQ(
            CoCreateInstance(variant.clsid, nullptr, CLSCTX_INPROC_SERVER, variant.clsid, &object),
            S_OK);
        driver = static_cast<IASIO*>(object);
        if (driver != nullptr) {
            EXPECT_EQ(driver->init(nullptr), ASIOTrue);
        }
        return driver;
    }

    void Drop()
    {
        if (driver != nullptr) driver->Release();
        driver = nullptr;
    }

    // Buffers for the given output channels, in the order given.
    void CreateBuffers(const VirtualCardVariant& variant, const std::vector<int32_t>& outputs,
                       int32_t bufferSize)
    {
        g_host.count = static_cast<int>(outputs.size());
        g_host.type = variant.type;
        g_host.bufferSize = bufferSize;
        for (size_t i = 0; i < outputs.size(); ++i)
            g_host.infos[i] = {ASIOFalse, outputs[i], {nullptr, nullptr}};
        ASSERT_EQ(driver->createBuffers(g_host.infos, g_host.count, bufferSize, &g_callbacks),
                  ASE_OK);
    }

    static bool WaitForSwitches(int count)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (g_host.switches.load(std::memory_order_acquire) < count) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Plays until `switches` buffers have been switched, then stops.
    void Play(int switches)
    {
        ASSERT_EQ(driver->start(), ASE_OK);
        EXPECT_TRUE(WaitForSwitches(switches));
        EXPECT_EQ(driver->stop(), ASE_OK);
    }

    ScratchFolder scratch{"tonewright-virtual-card"};
    IASIO* driver = nullptr;
};

TEST_F(VirtualCard, EveryVariantDescribesItsCardAndRecordsExactlyWhatEachChannelPlayed)
{
    for (const VirtualCardVariant& variant : kVirtualCardVariants) {
        SCOPED_TRACE(variant.name);
        ResetHost();
        // A real sound system is opened before any virtual card.
        EXPECT_GT(strcasecmp(variant.name, "ALSA: default"), 0);
        EXPECT_GT(strcasecmp(variant.name, "JACK"), 0);
        ASSERT_NE(Create(variant), nullptr);
        char name[128] = {};
        driver->getDriverName(name);
        EXPECT_STREQ(name, variant.name);
        int32_t inputs = -1, outputs = -1, minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
        EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
        EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
        EXPECT_EQ(std::vector<int32_t>({inputs, outputs, minSize, maxSize, preferred, granularity}),
                  std::vector<int32_t>({8, 8, 32, 4096, 256, -1}))
            << "inputs, outputs, smallest, largest and preferred buffer, granularity";
        for (int32_t c = 0; c < 8; ++c) {
            ASIOChannelInfo info = {c, ASIOFalse, 0, 0, 0, {}};
            ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
            EXPECT_TRUE(info.type == variant.type && info.channelGroup == 0 && !info.isActive) << c;
            EXPECT_EQ(std::string(info.name), "Out " + std::to_string(c + 1));
        }
        ASIOSampleRate rate = 0;
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, 48000.0);
        for (double supported : {44100.0, 48000.0, 96000.0})
            EXPECT_EQ(driver->canSampleRate(supported), ASE_OK) << supported;
        for (double unsupported : {22050.0, 88200.0, 192000.0, 0.0, -48000.0})
            EXPECT_EQ(driver->canSampleRate(unsupported), ASE_NoClock) << unsupported;
        EXPECT_EQ(driver->setSampleRate(22050.0), ASE_NoClock);
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, 48000.0) << "a refused rate leaves the rate alone";
        EXPECT_EQ(driver->setSampleRate(44100.0), ASE_OK);
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, 44100.0);
        int32_t inputLatency = -1, outputLatency = -1;
        EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
        EXPECT_EQ(outputLatency, 256) << "one buffer";
        EXPECT_EQ(driver->outputReady(), ASE_OK);

        // Asked for out of order: the take holds them in channel order.
        CreateBuffers(variant, {5, 0, 2}, 64);
        EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
        EXPECT_EQ(outputLatency, 64) << "the buffer size the host chose";
        const std::vector<int32_t> fileChannels = {0, 2, 5};
        g_host.nBursts = 1;
        g_host.bursts[0][1] = 40;
        Play(60);
        Drop();

        const std::string take = std::string(variant.name) + "-001.wav";
        ASSERT_TRUE(fs::exists(take)) << "the default record file is the key's name";
        EXPECT_FALSE(fs::exists(std::string(variant.name) + "-002.wav"));
        const uint64_t frames = 40 * 64;
        const bool isFloat = variant.type == ASIOSTFloat32LSB;

        const WavData wav = ReadWavFile(take);
        ASSERT_TRUE(wav.valid);
        const uint32_t bytes = BytesOf(variant.type);
        EXPECT_EQ(wav.channels, 3);
        EXPECT_EQ(wav.sampleRate, 44100u);
        EXPECT_EQ(wav.blockAlign, 3 * bytes);
        EXPECT_EQ(wav.byteRate, 44100u * 3 * bytes);
        EXPECT_EQ(wav.bitsPerSample, 8 * bytes);
        EXPECT_EQ(wav.riffSize + 8, fs::file_size(take)) << "the final header covers the file";
        // Three channels need the extensible header; its mask names them L, R, C.
        EXPECT_EQ(wav.formatTag, 0xFFFE) << "WAVE_FORMAT_EXTENSIBLE";
        EXPECT_EQ(wav.validBits, 8 * bytes);
        EXPECT_EQ(wav.subFormat, isFloat ? 3 : 1);
        EXPECT_TRUE(wav.standardGuid);
        EXPECT_EQ(wav.channelMask, 0x7u);
        const std::vector<uint8_t> expected = Expected(variant.type, fileChannels, 64, 0, frames);
        ASSERT_EQ(wav.data.size(), expected.size());
        EXPECT_TRUE(wav.data == expected);

        EXPECT_EQ(Soxi("c", take), "3");
        EXPECT_EQ(Soxi("r", take), "44100");
        EXPECT_EQ(Soxi("s", take), std::to_string(frames));
        // sox counts a float's 24-bit mantissa and its sign.
        EXPECT_EQ(Soxi("p", take), isFloat ? "25" : std::to_string(8 * bytes));
        EXPECT_EQ(Soxi("e", take), isFloat ? "Floating Point PCM" : "Signed Integer PCM");
        EXPECT_TRUE(SoxInt32(take) == Expected(ASIOSTInt32LSB, fileChannels, 64, 0, frames))
            << "sox reads every sample as the code the callback wrote";
    }
}

TEST_F(VirtualCard, SettingsComeFromEachVariantsOwnKeyAndEachBadValueFallsBackWithOneLine)
{
    // 200 channels is past the card's 128; 100 frames is no power of two,
    // which a granularity of -1 promises.
    struct Case {
        const VirtualCardVariant& variant;
        const char* values;
        int32_t outputs, preferred;
        double rate;
        int warnings[3]; // lines naming Channels, BufferSize, SampleRate
    };
    const Case cases[] = {
        {kVirtualCardVariants[1],
         "\"Channels\"=dword:00000004\n\"BufferSize\"=dword:00000080\n"
         "\"SampleRate\"=dword:00017700\n",
         4,
         128,
         96000.0,
         {0, 0, 0}},
        {kVirtualCardVariants[2],
         "\"Channels\"=dword:00000000\n\"BufferSize\"=dword:00001388\n"
         "\"SampleRate\"=dword:00005622\n",
         8,
         256,
         48000.0,
         {1, 1, 1}},
        {kVirtualCardVariants[3],
         "\"Channels\"=dword:000000c8\n\"BufferSize\"=dword:00000064\n",
         8,
         256,
         48000.0,
         {1, 1, 0}},
    };
    std::string settings;
    for (const Case& c : cases)
        settings += Key(c.variant) + c.values;
    UseSettings(settings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant.name);
        testing::internal::CaptureStderr();
        ASSERT_NE(Create(c.variant), nullptr);
        int32_t inputs = 0, outputs = 0, minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
        ASIOSampleRate rate = 0;
        EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
        EXPECT_EQ(outputs, c.outputs);
        EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
        EXPECT_EQ(preferred, c.preferred);
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, c.rate);
        Drop();
        const std::string lines = testing::internal::GetCapturedStderr();
        const int total = c.warnings[0] + c.warnings[1] + c.warnings[2];
        EXPECT_EQ(CountLines(lines, ""), total) << lines;
        EXPECT_EQ(CountLines(lines, c.variant.name), total) << lines;
        EXPECT_EQ(CountLines(lines, "Channels"), c.warnings[0]) << lines;
        EXPECT_EQ(CountLines(lines, "BufferSize"), c.warnings[1]) << lines;
        EXPECT_EQ(CountLines(lines, "SampleRate"), c.warnings[2]) << lines;
    }
}

TEST_F(VirtualCard, SwitchesKeepTheClocksPaceALateOneIsNotCaughtUpAndABadPathStopsOnlyTheTake)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[0];
    std::ofstream("not-a-folder") << "x";
    UseSettings(Key(variant) + "\"RecordFile\"=\"not-a-folder/take.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1}, 256);
    g_host.driver = driver;
    ASSERT_EQ(driver->start(), ASE_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    EXPECT_EQ(driver->stop(), ASE_OK);
    g_host.stopped.store(true);
    const int total = g_host.switches.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(g_host.afterStop.load(), 0);
    EXPECT_EQ(g_host.switches.load(), total) << "no switch after stop returned";

    // 48000 / 256 = 187.5 switches a second.
    ASSERT_GT(total, 375);
    // Where the machine held the clock thread back more than a period, the
    // card re-anchors its schedule instead of catching up: those periods are
    // counted from its own due times and not expected as switches.
    int inTwoSeconds = 0;
    int skipped = 0;
    for (int k = 0; k < total && k < kMaxTimes; ++k) {
        if (g_host.times[k] - g_host.times[0] >= 2000000000u) break;
        ++inTwoSeconds;
        if (k > 0) {
            const uint64_t step = g_host.stamps[k] - g_host.stamps[k - 1];
            if (step > 5333334) skipped += static_cast<int>(step / 5333333) - 1;
        }
    }
    EXPECT_NEAR(inTwoSeconds + skipped, 375, 3.75) << skipped << " periods skipped";
    for (int k = 0; k < total && k < kMaxTimes; ++k)
        ASSERT_EQ(g_host.indexes[k], k % 2) << k;

    // Inside a switch, even the first one, the card tells the frames played
    // before it and when its clock set it due: 256 frames and 16/3 ms apart,
    // but where a late buffer re-anchored the schedule.
    int onSchedule = 0;
    for (int k = 0; k + 1 < total && k + 1 < kMaxTimes; ++k) {
        ASSERT_EQ(g_host.positionResults[k], ASE_OK) << k;
        ASSERT_EQ(g_host.positions[k], static_cast<uint64_t>(k) * 256) << k;
        const uint64_t step = g_host.stamps[k + 1] - g_host.stamps[k];
        if (step == 5333333 || step == 5333334) ++onSchedule;
        EXPECT_LE(g_host.stamps[k], g_host.times[k]) << "never switched before it is due";
    }
    EXPECT_GE(onSchedule, total * 95 / 100);

    // A new start begins again at half 0. Now it sounds, so the take that
    // cannot be opened stops the recording, and one buffer stalls for 80 ms
    // (15 periods of 5.33 ms).
    g_host.switches.store(0);
    g_host.stopped.store(false);
    g_host.soundAlways = true;
    g_host.stallAt = 20;
    g_host.stallMs = 80;
    testing::internal::CaptureStderr();
    Play(60);
    const std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_host.indexes[0], 0);
    EXPECT_EQ(g_host.indexes[1], 1);
    EXPECT_EQ(CountLines(lines, "more than a period late"), 1) << lines;
    EXPECT_EQ(CountLines(lines, "recording stopped"), 1) << lines;
    EXPECT_EQ(CountLines(lines, variant.name) - CountLines(lines, "more than a period late"), 1)
        << lines;

    // Catching up would run some 15 switches at once after the stall.
    const uint64_t resumed = g_host.times[21];
    int soon = 0;
    for (int k = 21; k < 60; ++k)
        if (g_host.times[k] - resumed < 20000000u) ++soon;
    EXPECT_LE(soon, 6) << "switches in the 20 ms after the stall";
}

TEST_F(VirtualCard, TakesStartAtSoundEndAfterASecondOfSilenceAndNeverOverwriteEarlierOnes)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[2];
    UseSettings(Key(variant) + "\"BufferSize\"=dword:00000400\n\"SampleRate\"=dword:00017700\n"
                               "\"RecordFile\"=\"take.wav\"\n");
    std::ofstream("take-001.wav") << "an earlier run's take";
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1}, 1024);

    Play(40);
    EXPECT_FALSE(fs::exists("take-002.wav")) << "silence only makes no take";

    // At 96000 Hz a second is 93.75 buffers of 1024 frames: 93 silent ones
    // stay inside the take, 94 end it.
    g_host.switches.store(0);
    g_host.nBursts = 3;
    const int bursts[3][2] = {{5, 15}, {108, 118}, {212, 222}};
    std::memcpy(g_host.bursts, bursts, sizeof bursts);
    Play(240);

    EXPECT_EQ(fs::file_size("take-001.wav"), 21u) << "the earlier take is left alone";
    const WavData first = ReadWavFile("take-002.wav");
    const WavData second = ReadWavFile("take-003.wav");
    EXPECT_FALSE(fs::exists("take-004.wav"));
    ASSERT_TRUE(first.valid);
    ASSERT_TRUE(second.valid);
    EXPECT_EQ(first.sampleRate, 96000u);
    const std::vector<uint8_t> expectFirst =
        Expected(variant.type, {0, 1}, 1024, 5 * 1024, (118 - 5) * 1024);
    ASSERT_EQ(first.data.size(), expectFirst.size())
        << "from the first to the last sounding buffer";
    EXPECT_TRUE(first.data == expectFirst);
    const std::vector<uint8_t> expectSecond =
        Expected(variant.type, {0, 1}, 1024, 212 * 1024, 10 * 1024);
    ASSERT_EQ(second.data.size(), expectSecond.size()) << "no trailing silence";
    EXPECT_TRUE(second.data == expectSecond);
    EXPECT_EQ(Soxi("s", "take-003.wav"), std::to_string(10 * 1024));
}

TEST_F(VirtualCard, TheHeaderCoversEverySecondAndARateChangeSplitsTheTakeAtTheNextBuffer)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[1];
    constexpr uint32_t kFrameBytes = 2 * 3;
    UseSettings(Key(variant) + "\"RecordFile\"=\"rate.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1}, 256);
    g_host.soundAlways = true;
    ASSERT_EQ(driver->start(), ASE_OK);

    // 1.6 s played: the header has been made to cover the first second, so
    // the unfinished take reads.
    ASSERT_TRUE(WaitForSwitches(300));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const WavData live = ReadWavFile("rate-001.wav");
    const std::string liveSamples = Soxi("s", "rate-001.wav");
    ASSERT_TRUE(live.valid) << "the header's data fits in the file";
    EXPECT_GE(live.data.size(), 48000u * kFrameBytes);
    EXPECT_EQ(live.data.size() % (256 * kFrameBytes), 0u) << "whole buffers";
    EXPECT_GE(std::strtoul(liveSamples.c_str(), nullptr, 10), 48000u) << liveSamples;
    EXPECT_TRUE(live.data ==
                Expected(variant.type, {0, 1}, 256, 0, live.data.size() / kFrameBytes));

    const int before = g_host.switches.load();
    EXPECT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    const int after = g_host.switches.load();
    ASSERT_TRUE(WaitForSwitches(after + 300));
    EXPECT_EQ(driver->stop(), ASE_OK);
    const int total = g_host.switches.load();
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);
    std::vector<double> slow, fast;
    for (int k = 10; k < before - 1; ++k)
        slow.push_back(static_cast<double>(g_host.times[k + 1] - g_host.times[k]));
    for (int k = after + 2; k < after + 250; ++k)
        fast.push_back(static_cast<double>(g_host.times[k + 1] - g_host.times[k]));
    EXPECT_NEAR(Median(slow), 256e9 / 48000, 0.2 * 256e9 / 48000);
    EXPECT_NEAR(Median(fast), 256e9 / 96000, 0.2 * 256e9 / 96000);

    const WavData first = ReadWavFile("rate-001.wav");
    const WavData second = ReadWavFile("rate-002.wav");
    ASSERT_TRUE(first.valid);
    ASSERT_TRUE(second.valid);
    EXPECT_FALSE(fs::exists("rate-003.wav"));
    EXPECT_EQ(first.sampleRate, 48000u);
    EXPECT_EQ(second.sampleRate, 96000u);
    EXPECT_EQ(Soxi("r", "rate-002.wav"), "96000");

    // The split falls on the buffer switched next, and not a frame is lost.
    const uint64_t split = first.data.size() / kFrameBytes;
    EXPECT_EQ(split % 256, 0u);
    EXPECT_GE(split / 256, static_cast<uint64_t>(before));
    EXPECT_LE(split / 256, static_cast<uint64_t>(after + 1));
    const uint64_t all = static_cast<uint64_t>(total) * 256;
    ASSERT_EQ(split + second.data.size() / kFrameBytes, all);
    EXPECT_TRUE(first.data == Expected(variant.type, {0, 1}, 256, 0, split));
    EXPECT_TRUE(second.data == Expected(variant.type, {0, 1}, 256, split, all - split));
}

TEST_F(VirtualCard, AFullDiskStopsTheRecordingWithOneLineLeavingAReadableTake)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[2];
    UseSettings(Key(variant) + "\"RecordFile\"=\"full.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1, 2, 3, 4, 5, 6, 7}, 256);
    g_host.soundAlways = true;

    // A file size limit fails writes as a full disk does.
    rlimit previous = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 300000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    testing::internal::CaptureStderr();
    Play(150);
    const std::string lines = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(CountLines(lines, "recording stopped"), 1) << lines;
    EXPECT_GE(g_host.switches.load(), 150) << "the card plays on";
    const WavData wav = ReadWavFile("full-001.wav");
    ASSERT_TRUE(wav.valid) << "the header's data fits in the file";
    EXPECT_GT(wav.data.size(), 0u);
    EXPECT_EQ(wav.data.size() % (8 * 4), 0u) << "whole frames only";
    EXPECT_TRUE(wav.data ==
                Expected(variant.type, {0, 1, 2, 3, 4, 5, 6, 7}, 256, 0, wav.data.size() / 32));
    EXPECT_EQ(Soxi("s", "full-001.wav"), std::to_string(wav.data.size() / 32));
    EXPECT_FALSE(fs::exists("full-002.wav"));
}

} // namespace
