// The virtual card as a host meets it: created through the build's
// registry.d and the object loader, paced by its own thread, and recording
// what the host's callback wrote. The take files are read back with sox (and
// Python's wave module for 16-bit), not with the card's own code.
#include "drivers/virtualcard/VirtualCardVariants.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"

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
#include <iterator>
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

// The card's layout: little-endian, 24-bit packed in three bytes.
void StoreSample(ASIOSampleType type, uint8_t* p, int32_t code)
{
    if (type == ASIOSTInt16LSB) {
        const auto sample = static_cast<int16_t>(code);
        std::memcpy(p, &sample, 2);
    } else if (type == ASIOSTInt24LSB) {
        const int32_t sample = code * 256;
        p[0] = static_cast<uint8_t>(sample);
        p[1] = static_cast<uint8_t>(sample >> 8);
        p[2] = static_cast<uint8_t>(sample >> 16);
    } else if (type == ASIOSTInt32LSB) {
        const int32_t sample = code * 65536;
        std::memcpy(p, &sample, 4);
    } else {
        const float sample = static_cast<float>(code) / 32768.0f;
        std::memcpy(p, &sample, 4);
    }
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

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[512];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    pclose(pipe);
    return output;
}

// The text after "<field>:" on the line of `sox --i` that names it.
std::string SoxInfo(const std::string& info, const std::string& field)
{
    std::istringstream lines(info);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(field, 0) == 0) {
            const size_t colon = line.find(':');
            if (colon == std::string::npos) return "";
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
    return "";
}

uint64_t SoxSamples(const std::string& info)
{
    const std::string duration = SoxInfo(info, "Duration");
    const size_t equals = duration.find('=');
    return equals == std::string::npos ? 0
                                       : std::strtoull(duration.c_str() + equals + 1, nullptr, 10);
}

// The per-channel column values of one row of `sox … -n stats`.
std::vector<double> SoxStatsRow(const std::string& stats, const std::string& row)
{
    std::istringstream lines(stats);
    std::string line;
    std::vector<double> values;
    while (std::getline(lines, line)) {
        if (line.rfind(row, 0) != 0) continue;
        std::istringstream words(line.substr(row.size()));
        double value = 0;
        while (words >> value)
            values.push_back(value);
        if (!values.empty()) values.erase(values.begin()); // the "Overall" column
        break;
    }
    return values;
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16;
}

struct WavFile {
    bool ok;
    uint16_t formatTag, channels, blockAlign, bits, validBits, subFormat;
    uint32_t rate, byteRate, riffSize, dataSize, channelMask;
    size_t dataOffset;
    std::vector<uint8_t> bytes;
};

// Walks the RIFF chunks, as any reader does.
WavFile ReadWav(const std::string& path)
{
    WavFile wav = {};
    wav.bytes = ReadBytes(path);
    const std::vector<uint8_t>& b = wav.bytes;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return wav;
    wav.riffSize = U32(b, 4);
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const uint32_t size = U32(b, at + 4);
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            wav.formatTag = U16(b, at + 8);
            wav.channels = U16(b, at + 10);
            wav.rate = U32(b, at + 12);
            wav.byteRate = U32(b, at + 16);
            wav.blockAlign = U16(b, at + 20);
            wav.bits = U16(b, at + 22);
            if (size >= 40) {
                wav.validBits = U16(b, at + 26);
                wav.channelMask = U32(b, at + 28);
                wav.subFormat = U16(b, at + 32);
                static const uint8_t kTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
                if (std::memcmp(b.data() + at + 34, kTail, 14) != 0) wav.subFormat = 0xDEAD;
            }
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            wav.dataSize = size;
            wav.dataOffset = at + 8;
            wav.ok = wav.channels != 0 && wav.dataOffset + size <= b.size();
            return wav;
        }
        at += 8 + size + (size & 1);
    }
    return wav;
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

const char* SoxEncoding(ASIOSampleType type)
{
    return type == ASIOSTFloat32LSB ? "-e floating-point -b 32"
           : type == ASIOSTInt16LSB ? "-e signed-integer -b 16"
           : type == ASIOSTInt24LSB ? "-e signed-integer -b 24"
                                    : "-e signed-integer -b 32";
}

// The samples as sox decodes them, written back raw in the card's encoding.
std::vector<uint8_t> SoxRaw(const std::string& path, ASIOSampleType type)
{
    RunCommand("sox '" + path + "' -t raw " + SoxEncoding(type) + " -L sox-out.raw");
    std::vector<uint8_t> raw = ReadBytes("sox-out.raw");
    std::filesystem::remove("sox-out.raw");
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
        std::memset(static_cast<void*>(&g_host), 0, sizeof g_host);
        g_host.stallAt = -1;
        UseSettings("");
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }

    void TearDown() override
    {
        if (driver != nullptr) {
            driver->Release();
            driver = nullptr;
        }
        CoUninitialize();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }

    // Values added under the variants' keys by a `.reg` file of the test's own.
    void UseSettings(const std::string& regText)
    {
        const std::filesystem::path folder = scratch.Path() / "registry.d";
        std::filesystem::create_directories(folder);
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

TEST_F(VirtualCard, EveryVariantIsRegisteredAndDescribesTheCardItsSettingsDefaultTo)
{
    for (const VirtualCardVariant& variant : kVirtualCardVariants) {
        SCOPED_TRACE(variant.name);
        // A real sound system is opened before any virtual card.
        EXPECT_GT(strcasecmp(variant.name, "ALSA: default"), 0);
        EXPECT_GT(strcasecmp(variant.name, "JACK"), 0);

        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                (std::string("SOFTWARE\\ASIO\\") + variant.name).c_str(), 0,
                                KEY_READ, &key),
                  ERROR_SUCCESS);
        char text[64] = {};
        DWORD size = sizeof text;
        DWORD type = REG_NONE;
        ASSERT_EQ(
            RegQueryValueExA(key, "CLSID", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
        RegCloseKey(key);
        CLSID registered = {};
        EXPECT_EQ(CLSIDFromString(text, &registered), S_OK);
        EXPECT_EQ(registered, variant.clsid) << "CMake and the module name the same class";

        ASSERT_NE(Create(variant), nullptr);
        char name[128] = {};
        driver->getDriverName(name);
        EXPECT_STREQ(name, variant.name);

        int32_t inputs = -1, outputs = -1;
        EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
        EXPECT_EQ(inputs, 0);
        EXPECT_EQ(outputs, 8);
        for (int32_t c = 0; c < 8; ++c) {
            ASIOChannelInfo info = {};
            info.channel = c;
            info.isInput = ASIOFalse;
            ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
            EXPECT_EQ(info.type, variant.type);
            EXPECT_EQ(info.channelGroup, 0);
            EXPECT_EQ(info.isActive, ASIOFalse);
            EXPECT_EQ(std::string(info.name), "Out " + std::to_string(c + 1));
        }

        int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
        EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
        EXPECT_EQ(minSize, 32);
        EXPECT_EQ(maxSize, 4096);
        EXPECT_EQ(preferred, 256);
        EXPECT_EQ(granularity, -1);

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
        EXPECT_EQ(driver->start(), ASE_InvalidMode) << "no buffers yet";

        CreateBuffers(variant, {0, 1}, 64);
        EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
        EXPECT_EQ(outputLatency, 64) << "the buffer size the host chose";
        ASIOBufferInfo input = {ASIOTrue, 0, {nullptr, nullptr}};
        EXPECT_NE(driver->createBuffers(&input, 1, 64, &g_callbacks), ASE_OK) << "no inputs";
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
        driver->Release();
        driver = nullptr;
    }
}

TEST_F(VirtualCard, SettingsComeFromItsOwnKeyAndEachBadValueFallsBackWithOneLine)
{
    const VirtualCardVariant& good = kVirtualCardVariants[1];
    const VirtualCardVariant& bad = kVirtualCardVariants[2];
    const VirtualCardVariant& odd = kVirtualCardVariants[3];
    UseSettings(Key(good) +
                "\"Channels\"=dword:00000004\n\"BufferSize\"=dword:00000080\n"
                "\"SampleRate\"=dword:00017700\n\"RecordFile\"=\"elsewhere.wav\"\n" +
                Key(bad) +
                "\"Channels\"=dword:00000000\n\"BufferSize\"=dword:00001388\n"
                "\"SampleRate\"=dword:00005622\n" +
                Key(odd) + "\"Channels\"=dword:000000c8\n\"BufferSize\"=dword:00000064\n");

    testing::internal::CaptureStderr();
    ASSERT_NE(Create(good), nullptr);
    int32_t inputs = 0, outputs = 0, minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(outputs, 4);
    EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 128);
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);
    driver->Release();
    driver = nullptr;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "good values say nothing";

    testing::internal::CaptureStderr();
    ASSERT_NE(Create(bad), nullptr);
    EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(outputs, 8);
    EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 256);
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    driver->Release();
    driver = nullptr;
    std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(lines, bad.name), 3) << lines;
    EXPECT_EQ(CountLines(lines, "Channels"), 1) << lines;
    EXPECT_EQ(CountLines(lines, "BufferSize"), 1) << lines;
    EXPECT_EQ(CountLines(lines, "SampleRate"), 1) << lines;

    // 200 channels is past the card's 128; 100 frames is no power of two,
    // which a granularity of -1 promises.
    testing::internal::CaptureStderr();
    ASSERT_NE(Create(odd), nullptr);
    EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(outputs, 8);
    EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 256);
    driver->Release();
    driver = nullptr;
    lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(lines, odd.name), 2) << lines;
}

class VirtualCardRecording : public VirtualCard,
                             public ::testing::WithParamInterface<VirtualCardVariant> {};

TEST_P(VirtualCardRecording, TheTakeHoldsExactlyWhatEveryChannelPlayedAndSoxReadsIt)
{
    const VirtualCardVariant& variant = GetParam();
    SCOPED_TRACE(variant.name);
    ASSERT_NE(Create(variant), nullptr);
    // Asked for out of order: the file holds them in channel order.
    CreateBuffers(variant, {5, 0, 2}, 256);
    const std::vector<int32_t> fileChannels = {0, 2, 5};
    g_host.nBursts = 1;
    g_host.bursts[0][0] = 0;
    g_host.bursts[0][1] = 40;
    Play(60);

    const std::string take = std::string(variant.name) + "-001.wav";
    ASSERT_TRUE(std::filesystem::exists(take)) << "the default record file is the key's name";
    EXPECT_FALSE(std::filesystem::exists(std::string(variant.name) + "-002.wav"));
    const uint64_t frames = 40 * 256;

    const WavFile wav = ReadWav(take);
    ASSERT_TRUE(wav.ok);
    const uint32_t bytes = BytesOf(variant.type);
    EXPECT_EQ(wav.channels, 3);
    EXPECT_EQ(wav.rate, 48000u);
    EXPECT_EQ(wav.blockAlign, 3 * bytes);
    EXPECT_EQ(wav.byteRate, 48000u * 3 * bytes);
    EXPECT_EQ(wav.bits, 8 * bytes);
    EXPECT_EQ(wav.dataSize, frames * 3 * bytes);
    EXPECT_EQ(wav.riffSize + 8, wav.bytes.size()) << "the final header covers the whole file";
    if (variant.type == ASIOSTInt16LSB) {
        EXPECT_EQ(wav.formatTag, 1) << "plain PCM";
    } else {
        EXPECT_EQ(wav.formatTag, 0xFFFE) << "WAVE_FORMAT_EXTENSIBLE";
        EXPECT_EQ(wav.validBits, 8 * bytes);
        EXPECT_EQ(wav.subFormat, variant.type == ASIOSTFloat32LSB ? 3 : 1);
        EXPECT_EQ(wav.channelMask, 0u);
    }
    const std::vector<uint8_t> expected = Expected(variant.type, fileChannels, 256, 0, frames);
    ASSERT_EQ(wav.dataSize, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.bytes.begin() + wav.dataOffset));

    const std::string info = RunCommand("sox --i '" + take + "'");
    EXPECT_EQ(SoxInfo(info, "Channels"), "3") << info;
    EXPECT_EQ(SoxInfo(info, "Sample Rate"), "48000") << info;
    // sox counts a float's 24-bit mantissa and its sign.
    EXPECT_EQ(SoxInfo(info, "Precision"),
              variant.type == ASIOSTFloat32LSB ? "25-bit" : std::to_string(8 * bytes) + "-bit")
        << info;
    EXPECT_EQ(SoxSamples(info), frames) << info;
    EXPECT_NE(SoxInfo(info, "Sample Encoding")
                  .find(variant.type == ASIOSTFloat32LSB ? "Floating Point" : "Signed Integer"),
              std::string::npos)
        << info;
    EXPECT_TRUE(SoxRaw(take, variant.type) == expected) << "sox decodes every sample as written";

    // Each channel's extremes, worked out from the pattern: code / 32768.
    const std::string stats = RunCommand("sox '" + take + "' -n stats");
    const std::vector<double> maxima = SoxStatsRow(stats, "Max level");
    const std::vector<double> minima = SoxStatsRow(stats, "Min level");
    ASSERT_EQ(maxima.size(), 3u) << stats;
    ASSERT_EQ(minima.size(), 3u) << stats;
    for (size_t i = 0; i < fileChannels.size(); ++i) {
        int32_t high = -65536, low = 65536;
        for (uint64_t f = 0; f < frames; ++f) {
            high = std::max(high, Code(fileChannels[i], f));
            low = std::min(low, Code(fileChannels[i], f));
        }
        EXPECT_NEAR(maxima[i], high / 32768.0, 2e-6) << stats;
        EXPECT_NEAR(minima[i], low / 32768.0, 2e-6) << stats;
    }

    if (variant.type == ASIOSTInt16LSB) {
        const std::string python = RunCommand(
            "python3 -c 'import wave; w = wave.open(\"" + take +
            "\"); print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())'");
        EXPECT_EQ(python, "3 2 48000 10240\n");
    }
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, VirtualCardRecording,
                         ::testing::ValuesIn(kVirtualCardVariants),
                         [](const ::testing::TestParamInfo<VirtualCardVariant>& info) {
                             return std::string(BytesOf(info.param.type) == 2       ? "Int16"
                                                : BytesOf(info.param.type) == 3     ? "Int24"
                                                : info.param.type == ASIOSTInt32LSB ? "Int32"
                                                                                    : "Float32");
                         });

TEST_F(VirtualCard, SwitchesComeAtTheClocksPaceAlternatingAndEndBeforeStopReturns)
{
    ASSERT_NE(Create(kVirtualCardVariants[0]), nullptr);
    CreateBuffers(kVirtualCardVariants[0], {0, 1}, 256);
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
    int inTwoSeconds = 0;
    for (int k = 0; k < total && k < kMaxTimes; ++k)
        if (g_host.times[k] - g_host.times[0] < 2000000000u) ++inTwoSeconds;
    EXPECT_NEAR(inTwoSeconds, 375, 3.75);
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

    // A new start begins again at half 0.
    g_host.switches.store(0);
    g_host.stopped.store(false);
    Play(3);
    EXPECT_EQ(g_host.indexes[0], 0);
    EXPECT_EQ(g_host.indexes[1], 1);
}

TEST_F(VirtualCard, ABufferLateByMoreThanAPeriodIsCountedAndNotCaughtUpInABurst)
{
    ASSERT_NE(Create(kVirtualCardVariants[0]), nullptr);
    CreateBuffers(kVirtualCardVariants[0], {0, 1}, 256);
    g_host.stallAt = 20;
    g_host.stallMs = 80; // 15 periods of 5.33 ms
    testing::internal::CaptureStderr();
    Play(60);
    const std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(lines, "more than a period late"), 1) << lines;

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
    EXPECT_FALSE(std::filesystem::exists("take-002.wav")) << "silence only makes no take";

    // At 96000 Hz a second is 93.75 buffers of 1024 frames: 93 silent ones
    // stay inside the take, 94 end it.
    g_host.switches.store(0);
    g_host.nBursts = 3;
    const int bursts[3][2] = {{5, 15}, {108, 118}, {212, 222}};
    std::memcpy(g_host.bursts, bursts, sizeof bursts);
    Play(240);

    EXPECT_EQ(ReadBytes("take-001.wav").size(), 21u) << "the earlier take is left alone";
    const WavFile first = ReadWav("take-002.wav");
    const WavFile second = ReadWav("take-003.wav");
    EXPECT_FALSE(std::filesystem::exists("take-004.wav"));
    ASSERT_TRUE(first.ok);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(first.rate, 96000u);

    const std::vector<uint8_t> expectFirst =
        Expected(variant.type, {0, 1}, 1024, 5 * 1024, (118 - 5) * 1024);
    ASSERT_EQ(first.dataSize, expectFirst.size()) << "from the first to the last sounding buffer";
    EXPECT_TRUE(
        std::equal(expectFirst.begin(), expectFirst.end(), first.bytes.begin() + first.dataOffset));
    const std::vector<uint8_t> expectSecond =
        Expected(variant.type, {0, 1}, 1024, 212 * 1024, 10 * 1024);
    ASSERT_EQ(second.dataSize, expectSecond.size()) << "no trailing silence";
    EXPECT_TRUE(std::equal(expectSecond.begin(), expectSecond.end(),
                           second.bytes.begin() + second.dataOffset));
    EXPECT_EQ(SoxSamples(RunCommand("sox --i take-003.wav")), 10u * 1024);
}

TEST_F(VirtualCard, ARateChangeTakesEffectAtTheNextBufferAndTheNextTakeCarriesIt)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[0];
    UseSettings(Key(variant) + "\"RecordFile\"=\"rate.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1}, 256);
    g_host.soundAlways = true;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(100));
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

    const WavFile first = ReadWav("rate-001.wav");
    const WavFile second = ReadWav("rate-002.wav");
    ASSERT_TRUE(first.ok);
    ASSERT_TRUE(second.ok);
    EXPECT_FALSE(std::filesystem::exists("rate-003.wav"));
    EXPECT_EQ(first.rate, 48000u);
    EXPECT_EQ(second.rate, 96000u);
    EXPECT_EQ(SoxInfo(RunCommand("sox --i rate-002.wav"), "Sample Rate"), "96000");

    // The split falls on the buffer switched next, and not a frame is lost.
    const uint64_t split = first.dataSize / 4;
    EXPECT_EQ(split % 256, 0u);
    EXPECT_GE(split / 256, static_cast<uint64_t>(before));
    EXPECT_LE(split / 256, static_cast<uint64_t>(after + 1));
    const uint64_t all = static_cast<uint64_t>(total) * 256;
    ASSERT_EQ(split + second.dataSize / 4, all);
    const std::vector<uint8_t> head = Expected(variant.type, {0, 1}, 256, 0, split);
    const std::vector<uint8_t> tail = Expected(variant.type, {0, 1}, 256, split, all - split);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), first.bytes.begin() + first.dataOffset));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), second.bytes.begin() + second.dataOffset));
}

TEST_F(VirtualCard, TheHeaderIsValidAfterEverySecondSoAnUnfinishedTakeReads)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[1];
    UseSettings(Key(variant) + "\"RecordFile\"=\"live.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1}, 256);
    g_host.soundAlways = true;
    ASSERT_EQ(driver->start(), ASE_OK);
    // 1.6 s played: the header has been made to cover the first second.
    ASSERT_TRUE(WaitForSwitches(300));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const WavFile live = ReadWav("live-001.wav");
    const std::string info = RunCommand("sox --i live-001.wav");
    EXPECT_EQ(driver->stop(), ASE_OK);

    ASSERT_TRUE(live.ok) << "the header's data fits in the file";
    EXPECT_GE(live.dataSize, 48000u * 6);
    EXPECT_EQ(live.dataSize % (256 * 6), 0u) << "whole buffers";
    EXPECT_GE(SoxSamples(info), 48000u) << info;
    const std::vector<uint8_t> expected = Expected(variant.type, {0, 1}, 256, 0, live.dataSize / 6);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), live.bytes.begin() + live.dataOffset));

    const WavFile done = ReadWav("live-001.wav");
    EXPECT_EQ(done.dataSize, static_cast<uint64_t>(g_host.switches.load()) * 256 * 6);
}

TEST_F(VirtualCard, AnUnwritablePathStopsTheRecordingWithOneLineAndTheCardPlaysOn)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[0];
    std::ofstream("not-a-folder") << "x";
    UseSettings(Key(variant) + "\"RecordFile\"=\"not-a-folder/take.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1}, 256);
    g_host.soundAlways = true;
    testing::internal::CaptureStderr();
    Play(80);
    const std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(lines, "recording stopped"), 1) << lines;
    // A busy machine may add the card's late-buffer report; nothing else.
    EXPECT_EQ(CountLines(lines, variant.name) - CountLines(lines, "more than a period late"), 1)
        << lines;
    EXPECT_GE(g_host.switches.load(), 80);
}

TEST_F(VirtualCard, AFullDiskStopsTheRecordingWithOneLineLeavingAReadableTake)
{
    const VirtualCardVariant& variant = kVirtualCardVariants[2];
    UseSettings(Key(variant) + "\"RecordFile\"=\"full.wav\"\n");
    ASSERT_NE(Create(variant), nullptr);
    CreateBuffers(variant, {0, 1, 2, 3, 4, 5, 6, 7}, 256);
    g_host.soundAlways = true;

    // A file size limit fails writes as a full disk does.
    constexpr rlim_t kLimit = 300000;
    rlimit previous = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    testing::internal::CaptureStderr();
    Play(150);
    const std::string lines = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(CountLines(lines, "recording stopped"), 1) << lines;
    EXPECT_GE(g_host.switches.load(), 150) << "the card plays on";
    const WavFile wav = ReadWav("full-001.wav");
    ASSERT_TRUE(wav.ok);
    EXPECT_GT(wav.dataSize, 0u);
    EXPECT_LE(wav.dataOffset + wav.dataSize, kLimit);
    EXPECT_EQ(wav.dataSize % (8 * 4), 0u) << "whole frames only";
    const std::vector<uint8_t> expected =
        Expected(variant.type, {0, 1, 2, 3, 4, 5, 6, 7}, 256, 0, wav.dataSize / 32);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.bytes.begin() + wav.dataOffset));
    EXPECT_EQ(SoxSamples(RunCommand("sox --i full-001.wav")), wav.dataSize / 32);
    EXPECT_FALSE(std::filesystem::exists("full-002.wav"));
}

} // namespace
