// The ALSA driver through libasound with no sound card: entries of the
// test's own registry point the module at ALSA's file plugin over its null
// device ("file:FILE=<path>,FORMAT=raw"), paced by the system clock, and the
// raw file it leaves is compared with samples laid out here by hand, or with
// what a SineGenerator renders for the host's own tone.
#include "gen/SineGenerator.h"
#include "host/DriverSetup.h"
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "render/BufferSwitch.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/CreateDriver.h"
#include "tests/fixtures/FakeWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef TONEWRIGHT_ALSA_MODULE
#error "the test target must define TONEWRIGHT_ALSA_MODULE"
#endif
#ifndef TONEWRIGHT_PLAY
#error "the test target must define TONEWRIGHT_PLAY"
#endif
#ifndef TONEWRIGHT_VIRTUAL_CARD_MODULE
#error "the test target must define TONEWRIGHT_VIRTUAL_CARD_MODULE"
#endif

namespace {

constexpr const char* kClsidA = "{5D0C9B1E-6F42-4A8B-9C3D-2E1F0A4B5C6D}";
constexpr const char* kClsidB = "{7A3E2F10-1B2C-4D5E-8F90-A1B2C3D4E5F6}";
constexpr const char* kVirtualCard16 = "{2631F207-93F0-48D2-BCAA-4E1273588A11}";
constexpr int kMaxRecords = 8;

uint32_t BytesOf(ASIOSampleType type)
{
    return type == ASIOSTInt16LSB ? 2 : type == ASIOSTInt24LSB ? 3 : 4;
}

// A sample that is never zero, tells channels apart and changes every frame.
int32_t Code(int32_t channel, uint64_t frame)
{
    const int32_t value = ((channel + 1) << 11) | static_cast<int32_t>(frame & 0x7FF);
    return (frame & 1) != 0 ? -value : value;
}

// The device's layout, written out byte by byte: little-endian, 24-bit in
// three bytes, float as a fraction of full scale.
void StoreSample(ASIOSampleType type, uint8_t* p, int32_t code)
{
    if (type == ASIOSTInt16LSB) {
        p[0] = static_cast<uint8_t>(code);
        p[1] = static_cast<uint8_t>(code >> 8);
    } else if (type == ASIOSTInt24LSB) {
        const int32_t sample = code * 256;
        p[0] = static_cast<uint8_t>(sample);
        p[1] = static_cast<uint8_t>(sample >> 8);
        p[2] = static_cast<uint8_t>(sample >> 16);
    } else if (type == ASIOSTInt32LSB) {
        const uint32_t sample = static_cast<uint32_t>(code) * 65536u;
        for (int b = 0; b < 4; ++b)
            p[b] = static_cast<uint8_t>(sample >> (8 * b));
    } else {
        const float sample = static_cast<float>(code) / 32768.0f;
        std::memcpy(p, &sample, 4);
    }
}

// The test's host: its callback writes the pattern for the first
// soundSwitches switches and silence after. Written by the driver's thread;
// read by the test after stop(), which joins it.
struct MiniHost {
    ASIOBufferInfo infos[kMaxRecords];
    int count;
    ASIOSampleType type;
    int32_t bufferSize;
    int soundSwitches;
    int stallAt;
    int stallMs;
    int32_t indexes[4096];
    std::atomic<int> switches;
    std::atomic<int> resyncs;
    std::atomic<int> resets;
    std::atomic<int> supportedQueries;
};
MiniHost g_host;

void OnBufferSwitch(int32_t index, ASIOBool)
{
    const int k = g_host.switches.load(std::memory_order_relaxed);
    if (k < 4096) g_host.indexes[k] = index;
    const uint32_t bytes = BytesOf(g_host.type);
    for (int r = 0; r < g_host.count; ++r) {
        auto* out = static_cast<uint8_t*>(g_host.infos[r].buffers[index]);
        for (int32_t i = 0; i < g_host.bufferSize; ++i) {
            const uint64_t frame = static_cast<uint64_t>(k) * g_host.bufferSize + i;
            const int32_t code =
                k < g_host.soundSwitches ? Code(g_host.infos[r].channelNum, frame) : 0;
            StoreSample(g_host.type, out + i * bytes, code);
        }
    }
    if (k == g_host.stallAt) std::this_thread::sleep_for(std::chrono::milliseconds(g_host.stallMs));
    g_host.switches.fetch_add(1, std::memory_order_release);
}

int32_t OnMessage(int32_t selector, int32_t value, void*, double*)
{
    if (selector == kAsioSelectorSupported) {
        g_host.supportedQueries.fetch_add(1);
        return value == kAsioResyncRequest || value == kAsioResetRequest ? 1 : 0;
    }
    if (selector == kAsioResyncRequest) g_host.resyncs.fetch_add(1);
    if (selector == kAsioResetRequest) g_host.resets.fetch_add(1);
    return 0;
}

void OnRateChanged(ASIOSampleRate) {}

ASIOCallbacks g_callbacks = {OnBufferSwitch, OnRateChanged, OnMessage, nullptr};

bool WaitForSwitches(int wanted)
{
    for (int i = 0; i < 5000 && g_host.switches.load(std::memory_order_acquire) < wanted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return g_host.switches.load(std::memory_order_acquire) >= wanted;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

// The planned tone of "sine 1000 --seconds 0.5 --attenuation 12" at 48000 Hz,
// rendered buffer by buffer by a SineGenerator and laid out as the render
// path gives it to the card, must be in the file on both channels, starting
// with a period, with nothing but zeros before and after it.
void ExpectToneInFile(const std::filesystem::path& file, ASIOSampleType asioType, uint32_t n)
{
    const uint32_t bytes = BytesOf(asioType);
    SineGenerator reference(n, asioType == ASIOSTInt16LSB   ? FormatCode::Int16
                               : asioType == ASIOSTInt24LSB ? FormatCode::Int24In32
                                                            : FormatCode::Int32);
    reference.StartTone(48000.0, 1000.0, 0.5, 12);
    std::vector<uint8_t> tone;
    std::vector<int32_t> work(n), copy(n);
    std::vector<int16_t> work16(n), copy16(n);
    std::vector<uint8_t> packed(n * 3 + 1);
    while (reference.bTonePlaying.load()) {
        if (asioType == ASIOSTInt16LSB) {
            reference.RenderTone(work16.data(), copy16.data());
            tone.insert(tone.end(), reinterpret_cast<uint8_t*>(work16.data()),
                        reinterpret_cast<uint8_t*>(work16.data()) + 2 * n);
        } else {
            reference.RenderTone(work.data(), copy.data());
            if (asioType == ASIOSTInt24LSB) {
                PackInt24LSB(work.data(), packed.data(), n);
                tone.insert(tone.end(), packed.begin(), packed.begin() + 3 * n);
            } else {
                if (asioType == ASIOSTFloat32LSB) Int32ToFloat32(work.data(), n);
                tone.insert(tone.end(), reinterpret_cast<uint8_t*>(work.data()),
                            reinterpret_cast<uint8_t*>(work.data()) + 4 * n);
            }
        }
    }
    reference.Release();
    const size_t toneFrames = tone.size() / bytes;
    ASSERT_GE(toneFrames, 24000u);

    const std::vector<uint8_t> raw = ReadFile(file);
    const size_t frameBytes = 2 * bytes;
    ASSERT_EQ(raw.size() % (frameBytes * n), 0u);
    const size_t frames = raw.size() / frameBytes;
    size_t first = 0;
    while (first < frames &&
           std::all_of(raw.begin() + first * frameBytes, raw.begin() + (first + 1) * frameBytes,
                       [](uint8_t b) { return b == 0; }))
        ++first;
    ASSERT_LT(first, frames) << "no tone in the file";
    const size_t start = first / n * n; // the tone starts with a period
    ASSERT_LE(start + toneFrames, frames);
    for (size_t f = 0; f < frames; ++f) {
        for (size_t channel = 0; channel < 2; ++channel) {
            const uint8_t* got = &raw[f * frameBytes + channel * bytes];
            uint8_t want[4] = {};
            if (f >= start && f < start + toneFrames)
                std::memcpy(want, &tone[(f - start) * bytes], bytes);
            ASSERT_EQ(std::memcmp(got, want, bytes), 0)
                << "frame " << f << " channel " << channel << " (tone from frame " << start << ")";
        }
    }
}

// One registry entry: key name, CLSID and its values as `.reg` lines.
struct Entry {
    std::string name;
    std::string clsid;
    std::string values;
};

class AlsaDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(dir / "registry.d");
        setenv("TONEWRIGHT_REGISTRY", (dir / "registry.d").c_str(), 1);
        g_host.count = g_host.soundSwitches = g_host.stallMs = 0;
        g_host.stallAt = -1;
        for (auto* counter :
             {&g_host.switches, &g_host.resyncs, &g_host.resets, &g_host.supportedQueries})
            counter->store(0);
        CoInitialize(nullptr);
    }

    void TearDown() override
    {
        CoUninitialize();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }

    std::string FileDevice(const char* file) const
    {
        return "file:FILE=" + (dir / file).string() + ",FORMAT=raw";
    }

    // An entry on the file device, paced by the system clock.
    Entry FileEntry(const std::string& extra) const
    {
        return {"ALSA: file", kClsidA,
                "\"Device\"=\"" + FileDevice("out.raw") + "\"\n\"Clock\"=\"system\"\n" + extra};
    }

    void Install(const std::vector<Entry>& entries)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n";
        for (const Entry& entry : entries) {
            const bool virtualCard = entry.clsid == kVirtualCard16;
            text += "[HKEY_CLASSES_ROOT\\CLSID\\" + entry.clsid + "\\InprocServer32]\n@=\"" +
                    (virtualCard ? TONEWRIGHT_VIRTUAL_CARD_MODULE : TONEWRIGHT_ALSA_MODULE) +
                    "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + entry.name + "]\n\"CLSID\"=\"" +
                    entry.clsid + "\"\n\"Description\"=\"" + entry.name + "\"\n" + entry.values +
                    "\n";
        }
        std::ofstream(dir / "registry.d" / "entries.reg") << text;
        RegistryReload();
    }

    IASIO* Create(const char* clsidText, HRESULT* result = nullptr)
    {
        return CreateDriver(clsidText, result);
    }

    // Buffers for the given output channels, as the host makes them.
    ASIOError CreateBuffers(IASIO* driver, const std::vector<int32_t>& outputs)
    {
        g_host.count = static_cast<int>(outputs.size());
        for (int r = 0; r < g_host.count; ++r)
            g_host.infos[r] = ASIOBufferInfo{ASIOFalse, outputs[r], {nullptr, nullptr}};
        int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
        EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
        g_host.bufferSize = preferred;
        ASIOChannelInfo info = {0, ASIOFalse, 0, 0, 0, {}};
        EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
        g_host.type = info.type;
        return driver->createBuffers(g_host.infos, g_host.count, preferred, &g_callbacks);
    }

    // Stops and releases the driver, then checks the halves alternated and
    // the whole file, frame by frame: the pattern of switch k on the channels
    // with buffers while k < soundSwitches, zero everywhere else, one period
    // for every switch the host saw.
    void StopAndExpectEverySwitchInFile(IASIO* driver, int32_t channels)
    {
        EXPECT_EQ(driver->stop(), ASE_OK);
        driver->disposeBuffers();
        driver->Release();
        for (int k = 0; k < g_host.switches.load() && k < 4096; ++k)
            ASSERT_EQ(g_host.indexes[k], k % 2) << "switch " << k;
        const std::vector<uint8_t> raw = ReadFile(dir / "out.raw");
        const uint32_t bytes = BytesOf(g_host.type);
        const size_t frameBytes = static_cast<size_t>(channels) * bytes;
        const int switches = g_host.switches.load();
        ASSERT_EQ(raw.size(), static_cast<size_t>(switches) * g_host.bufferSize * frameBytes);
        std::vector<uint8_t> expected(raw.size(), 0);
        for (int k = 0; k < switches && k < g_host.soundSwitches; ++k) {
            for (int r = 0; r < g_host.count; ++r) {
                const int32_t channel = g_host.infos[r].channelNum;
                for (int32_t i = 0; i < g_host.bufferSize; ++i) {
                    const uint64_t frame = static_cast<uint64_t>(k) * g_host.bufferSize + i;
                    StoreSample(g_host.type, &expected[frame * frameBytes + channel * bytes],
                                Code(channel, frame));
                }
            }
        }
        for (size_t at = 0; at < raw.size(); ++at)
            ASSERT_EQ(raw[at], expected[at])
                << "byte " << at << " (frame " << at / frameBytes << ", period "
                << at / frameBytes / g_host.bufferSize << ")";
    }

    ScratchFolder scratch{"tonewright-alsa"};
    const std::filesystem::path& dir = scratch.Path();
};

class AlsaSampleTypes : public AlsaDriverTest, public ::testing::WithParamInterface<const char*> {};

ASIOSampleType TypeNamed(const std::string& name)
{
    if (name == "Int16LSB") return ASIOSTInt16LSB;
    if (name == "Int24LSB") return ASIOSTInt24LSB;
    if (name == "Int32LSB") return ASIOSTInt32LSB;
    return ASIOSTFloat32LSB;
}

TEST_P(AlsaSampleTypes, FileDeviceHoldsEveryPeriodInterleavedInTheFormatAsked)
{
    const std::string type = GetParam();
    Install({FileEntry("\"SampleType\"=\"" + type + "\"\n\"BufferSize\"=dword:00000040\n")});
    IASIO* driver = Create(kClsidA);
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    char name[32] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, "ALSA: file");
    int32_t inputs = -1, outputs = -1;
    ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 2);
    EXPECT_EQ(outputs, 2);
    int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = -5;
    ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ((std::vector<int32_t>{minSize, maxSize, preferred}),
              (std::vector<int32_t>{64, 64, 64}));
    for (int32_t channel = 0; channel < 2; ++channel) {
        ASIOChannelInfo info = {channel, ASIOFalse, 0, 0, 0, {}};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, TypeNamed(type));
        EXPECT_STREQ(info.name, channel == 0 ? "Out 1" : "Out 2");
    }

    ASSERT_EQ(CreateBuffers(driver, {0, 1}), ASE_OK);
    g_host.soundSwitches = 30;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(40));
    StopAndExpectEverySwitchInFile(driver, 2);
}

INSTANTIATE_TEST_SUITE_P(EveryType, AlsaSampleTypes,
                         ::testing::Values("Int16LSB", "Int24LSB", "Int32LSB", "Float32LSB"));

TEST_F(AlsaDriverTest, NativeFormatChannelsBufferSizeAndRatesComeFromTheDevice)
{
    Install({FileEntry("\"Channels\"=dword:00000004\n\"BufferSize\"=dword:00000064\n")});
    IASIO* driver = Create(kClsidA);
    ASSERT_NE(driver, nullptr);
    int32_t inputs = -1, outputs = -1;
    ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(outputs, 4);
    ASIOChannelInfo info = {3, ASIOFalse, 0, 0, 0, {}};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Out 4");
    // The null device takes every format: the first in the order wins.
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 100);
    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    for (double whole : {44100.0, 96000.0, 12345.0})
        EXPECT_EQ(driver->canSampleRate(whole), ASE_OK) << whole;
    for (double notARate : {44100.5, 0.0, -48000.0})
        EXPECT_EQ(driver->canSampleRate(notARate), ASE_NoClock) << notARate;

    // Buffers for the second and fourth channels only: the others stay silent.
    ASSERT_EQ(CreateBuffers(driver, {1, 3}), ASE_OK);
    g_host.soundSwitches = 1000;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(12));
    StopAndExpectEverySwitchInFile(driver, 4);
}

TEST_F(AlsaDriverTest, EachEntryServesItsOwnDeviceAndAMissingDeviceRefusesCreation)
{
    Install({{"ALSA: a", kClsidA,
              "\"Device\"=\"" + FileDevice("a.raw") +
                  "\"\n\"Clock\"=\"system\"\n\"SampleType\"=\"Int16LSB\"\n"},
             {"ALSA: b", kClsidB,
              "\"Device\"=\"" + FileDevice("b.raw") +
                  "\"\n\"Clock\"=\"system\"\n\"SampleType\"=\"Int24LSB\"\n"}});
    IASIO* a = Create(kClsidA);
    IASIO* b = Create(kClsidB);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    char name[32] = {};
    b->getDriverName(name);
    EXPECT_STREQ(name, "ALSA: b");
    ASIOChannelInfo info = {0, ASIOFalse, 0, 0, 0, {}};
    ASSERT_EQ(a->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt16LSB);
    ASSERT_EQ(b->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    a->Release();
    b->Release();
    EXPECT_TRUE(std::filesystem::exists(dir / "b.raw"));

    Install({{"ALSA: no card", kClsidA, "\"Device\"=\"hw:99,0\"\n"}});
    HRESULT result = S_OK;
    EXPECT_EQ(Create(kClsidA, &result), nullptr);
    EXPECT_TRUE(FAILED(result));
    // A CLSID the module was never given has no entry to serve.
    Install({{"ALSA: a", kClsidA, "\"Device\"=\"" + FileDevice("a.raw") + "\"\n"}});
    EXPECT_EQ(Create(kClsidB, &result), nullptr);
    EXPECT_TRUE(FAILED(result));
}

TEST_F(AlsaDriverTest, HostMarksAnEntryWithoutADeviceAndOpensTheVirtualCard)
{
    CoUninitialize(); // the host's driver list initialises on its own
    Install({{"ALSA: no card", kClsidA, "\"Device\"=\"hw:99,0\"\n"},
             {"Virtual Card 16-bit", kVirtualCard16,
              "\"RecordFile\"=\"" + (dir / "take.wav").string() + "\"\n"}});
    DbgLogOpen();
    FakeWindow driverCombo;
    ASSERT_TRUE(ASIOHostInit(&driverCombo, 0));
    EXPECT_EQ(nCurrentDrvNum, 1);
    EXPECT_EQ(driverCombo.entries,
              (std::vector<std::string>{"*ALSA: no card N/A", "Virtual Card 16-bit"}));
    EXPECT_EQ(driverCombo.selection, 1);
    ASIOHostShutdown(true);
    DbgLogClose();
    CoInitialize(nullptr);
}

TEST_F(AlsaDriverTest, UnderrunFromASlowCallbackIsRecoveredCountedAndLosesNoSample)
{
    Install({FileEntry("\"SampleType\"=\"Int16LSB\"\n")});
    IASIO* driver = Create(kClsidA);
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(CreateBuffers(driver, {0, 1}), ASE_OK);
    // 256 frames at 48000 Hz last 5.3 ms; the callback stalls for six times that.
    g_host.soundSwitches = 40;
    g_host.stallAt = 10;
    g_host.stallMs = 32;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(45));
    StopAndExpectEverySwitchInFile(driver, 2);
    EXPECT_GE(g_host.supportedQueries.load(), 1);
    EXPECT_GE(g_host.resyncs.load(), 1);
    EXPECT_LE(g_host.resyncs.load(), 5);
    EXPECT_EQ(g_host.resets.load(), 0);
}

TEST_F(AlsaDriverTest, RateChangeWhileRunningKeepsEveryPeriodInOrder)
{
    Install({FileEntry("\"SampleType\"=\"Int24LSB\"\n\"BufferSize\"=dword:00000080\n")});
    IASIO* driver = Create(kClsidA);
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(CreateBuffers(driver, {0, 1}), ASE_OK);
    g_host.soundSwitches = 1000;
    EXPECT_EQ(driver->setSampleRate(44100.0), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(10));
    EXPECT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(96000.5), ASE_NoClock);
    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);
    const int before = g_host.switches.load();
    ASSERT_TRUE(WaitForSwitches(before + 10));
    StopAndExpectEverySwitchInFile(driver, 2);
}

class AlsaPlayTone : public AlsaSampleTypes {};

TEST_P(AlsaPlayTone, TonewrightPlayLeavesThePlannedToneInTheFileWithSilenceAround)
{
    const std::string type = GetParam();
    Install({FileEntry("\"SampleType\"=\"" + type + "\"\n")});
    // The child inherits the registry folder and the scratch working folder.
    const std::string command = std::string("'") + TONEWRIGHT_PLAY +
                                "' --driver ALSA sine 1000 --seconds 0.5 --attenuation 12"
                                " > play.txt 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream output(dir / "play.txt");
    const std::string said((std::istreambuf_iterator<char>(output)),
                           std::istreambuf_iterator<char>());
    ASSERT_EQ(status, 0) << said;
    EXPECT_NE(said.find("on ALSA: file"), std::string::npos) << said;
    ExpectToneInFile(dir / "out.raw", TypeNamed(type), 256);
}

INSTANTIATE_TEST_SUITE_P(EveryType, AlsaPlayTone,
                         ::testing::Values("Int16LSB", "Int24LSB", "Int32LSB", "Float32LSB"));

} // namespace
