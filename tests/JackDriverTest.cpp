// The JACK driver against a jackd of the test's own (dummy backend, no sound
// card): created through a registry of the test's own, driven by a small
// host here or by tonewright-play, while a capture client of the test
// records its ports. Without a server, creation is refused and the host
// falls back to the virtual card.
#include "gen/SineGenerator.h"
#include "host/DriverSetup.h"
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "render/BufferSwitch.h"
#include "tests/JackCaptureClient.h"
#include "tests/JackTestServer.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/CreateDriver.h"
#include "tests/fixtures/FakeWindow.h"
#include "tests/fixtures/WavReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#ifndef TONEWRIGHT_JACK_MODULE
#error "the test target must define TONEWRIGHT_JACK_MODULE"
#endif
#ifndef TONEWRIGHT_VIRTUAL_CARD_MODULE
#error "the test target must define TONEWRIGHT_VIRTUAL_CARD_MODULE"
#endif
#ifndef TONEWRIGHT_PLAY
#error "the test target must define TONEWRIGHT_PLAY"
#endif
#ifndef TONEWRIGHT_PRODUCT_REGISTRY
#error "the test target must define TONEWRIGHT_PRODUCT_REGISTRY"
#endif

// libjack's metadata store (Berkeley DB) keeps what it allocated when the
// store is first created, to the process's end; nothing of ours.
constexpr const char* kJackLeaks = "leak:libdb-5.3.so\n";

extern "C" __attribute__((used)) const char* __lsan_default_suppressions()
{
    return kJackLeaks;
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kJackClsid = "{EAD3AE35-3C6F-429C-B960-650B9B43EECA}";
constexpr const char* kVirtualCard16 = "{2631F207-93F0-48D2-BCAA-4E1273588A11}";
constexpr int32_t kFrames = 256;
constexpr double kRate = 48000.0;
constexpr int kMaxRecords = 8;
constexpr int kMaxSwitches = 16384;
constexpr size_t kCaptureFrames = 48000 * 30;

// A sample that tells channels apart and names its frame: exact in a float.
float Code(int32_t channel, uint64_t frame)
{
    return static_cast<float>(channel + 1) * static_cast<float>((frame & 0xFFFFF) + 1) /
           16777216.0f;
}

// The frame a sample of Code names.
int64_t FrameOf(int32_t channel, float sample)
{
    return std::lround(static_cast<double>(sample) * 16777216.0 / (channel + 1)) - 1;
}

// The test's host: switch k writes Code(channel, k * n + i) into every
// record. Written by JACK's process thread; read by the test after stop().
struct MiniHost {
    ASIOBufferInfo infos[kMaxRecords];
    int count;
    int32_t bufferSize;
    int32_t indexes[kMaxSwitches];
    std::atomic<int> switches;
    std::atomic<int> resets;
};
MiniHost g_host;

void OnBufferSwitch(int32_t index, ASIOBool)
{
    const int k = g_host.switches.load(std::memory_order_relaxed);
    if (k < kMaxSwitches) g_host.indexes[k] = index;
    for (int r = 0; r < g_host.count; ++r) {
        auto* out = static_cast<float*>(g_host.infos[r].buffers[index]);
        for (int32_t i = 0; i < g_host.bufferSize; ++i)
            out[i] = Code(g_host.infos[r].channelNum, static_cast<uint64_t>(k) * kFrames + i);
    }
    g_host.switches.fetch_add(1, std::memory_order_release);
}

int32_t OnMessage(int32_t selector, int32_t value, void*, double*)
{
    if (selector == kAsioSelectorSupported) return value == kAsioResetRequest ? 1 : 0;
    if (selector == kAsioResetRequest) {
        g_host.resets.fetch_add(1);
        return 1;
    }
    return 0;
}

void OnRateChanged(ASIOSampleRate) {}

ASIOCallbacks g_callbacks = {OnBufferSwitch, OnRateChanged, OnMessage, nullptr};

template <typename Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool WaitForSwitches(int wanted)
{
    return WaitFor([&] { return g_host.switches.load(std::memory_order_acquire) >= wanted; },
                   20000ms);
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Full names of the ports connected to a port.
std::vector<std::string> ConnectionsOf(jack_client_t* client, const char* portName)
{
    std::vector<std::string> names;
    jack_port_t* port = jack_port_by_name(client, portName);
    if (port == nullptr) return names;
    const char** connections = jack_port_get_all_connections(client, port);
    for (int i = 0; connections != nullptr && connections[i] != nullptr; ++i)
        names.emplace_back(connections[i]);
    if (connections != nullptr) jack_free(connections);
    return names;
}

jack_nframes_t PlaybackLatencyOf(jack_client_t* client, const char* portName)
{
    jack_port_t* port = jack_port_by_name(client, portName);
    jack_latency_range_t range = {0, 0};
    if (port != nullptr) jack_port_get_latency_range(port, JackPlaybackLatency, &range);
    return range.max;
}

// The tone of "sine 1000 --seconds 0.5 --attenuation 12" at 48000 Hz as the
// float render path hands it to the card: whole buffers of a SineGenerator,
// converted to full scale 1.0.
std::vector<float> PlannedTone()
{
    SineGenerator reference(kFrames, FormatCode{2});
    reference.StartTone(kRate, 1000.0, 0.5, 12);
    std::vector<float> tone;
    std::vector<int32_t> work(kFrames), copy(kFrames);
    while (reference.bTonePlaying.load()) {
        reference.RenderTone(work.data(), copy.data());
        Int32ToFloat32(work.data(), kFrames);
        const auto* samples = reinterpret_cast<const float*>(work.data());
        tone.insert(tone.end(), samples, samples + kFrames);
    }
    reference.Release();
    return tone;
}

class JackDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(dir / "registry.d");
        setenv("TONEWRIGHT_REGISTRY", (dir / "registry.d").c_str(), 1);
        std::memset(g_host.infos, 0, sizeof g_host.infos);
        g_host.count = 0;
        g_host.bufferSize = 0;
        g_host.switches.store(0);
        g_host.resets.store(0);
        CoInitialize(nullptr);
    }

    void TearDown() override
    {
        CoUninitialize();
        server.Stop();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }

    bool StartServer() { return server.Start((dir / "jackd.log").string()); }

    // The JACK entry with these `.reg` value lines, and the 16-bit virtual
    // card after it when asked.
    void Install(const std::string& values, bool withVirtualCard = false)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CLASSES_ROOT\\CLSID\\" +
                           std::string(kJackClsid) + "\\InprocServer32]\n@=\"" +
                           TONEWRIGHT_JACK_MODULE +
                           "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\JACK]\n\"CLSID\"=\"" +
                           kJackClsid + "\"\n\"Description\"=\"JACK\"\n" + values + "\n";
        if (withVirtualCard)
            text += "[HKEY_CLASSES_ROOT\\CLSID\\" + std::string(kVirtualCard16) +
                    "\\InprocServer32]\n@=\"" + TONEWRIGHT_VIRTUAL_CARD_MODULE +
                    "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 16-bit]\n"
                    "\"CLSID\"=\"" +
                    kVirtualCard16 +
                    "\"\n\"Description\"=\"Virtual Card 16-bit\"\n\"RecordFile\"=\"" +
                    (dir / "take.wav").string() + "\"\n";
        std::ofstream(dir / "registry.d" / "entries.reg") << text;
        RegistryReload();
    }

    IASIO* Create(HRESULT* result = nullptr) { return CreateDriver(kJackClsid, result); }

    ASIOError CreateBuffers(IASIO* driver, const std::vector<int32_t>& outputs)
    {
        g_host.count = static_cast<int>(outputs.size());
        for (int r = 0; r < g_host.count; ++r)
            g_host.infos[r] = ASIOBufferInfo{ASIOFalse, outputs[r], {nullptr, nullptr}};
        int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
        EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
        g_host.bufferSize = preferred;
        return driver->createBuffers(g_host.infos, g_host.count, preferred, &g_callbacks);
    }

    // The command's exit status (-1 when it did not exit by itself), its
    // output in out.
    int RunPlayer(const std::string& args, std::string* out)
    {
        // The player built with the sanitizers must not fail on libjack's leak.
        std::ofstream(dir / "lsan.supp") << kJackLeaks;
        const std::string command = "LSAN_OPTIONS=suppressions='" + (dir / "lsan.supp").string() +
                                    "' TONEWRIGHT_REGISTRY='" +
                                    std::string(TONEWRIGHT_PRODUCT_REGISTRY) + "' '" +
                                    TONEWRIGHT_PLAY + "' " + args + " > play.txt 2>&1";
        const int status = std::system(command.c_str());
        *out = ReadText(dir / "play.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchFolder scratch{"tonewright-jack"};
    const fs::path& dir = scratch.Path();
    JackTestServer server;
};

// jackd2 is installed with the build's packages: a server that cannot run is
// a failure, not a reason to skip.
#define START_SERVER_OR_SKIP()                                                                     \
    do {                                                                                           \
        if (!StartServer()) FAIL() << "no JACK server can run here: " << server.Failure();         \
    } while (false)

TEST_F(JackDriverTest, WithoutAServerCreationIsRefusedNoneIsStartedAndTheHostFallsBack)
{
    // libjack would start this server on its own for a client that allowed
    // it; the driver must not.
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    setenv("HOME", dir.c_str(), 1);
    std::ofstream(dir / ".jackdrc") << "/usr/bin/jackd --no-realtime -d dummy -r 48000 -p 256\n";
    setenv("JACK_DEFAULT_SERVER", JackTestServer::UniqueName().c_str(), 1);
    unsetenv("JACK_NO_START_SERVER");

    Install("", true);
    HRESULT result = S_OK;
    IASIO* driver = Create(&result);
    EXPECT_EQ(driver, nullptr);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    if (driver != nullptr) driver->Release();

    CoUninitialize(); // the host's driver list initialises on its own
    DbgLogOpen();
    FakeWindow driverCombo;
    EXPECT_TRUE(ASIOHostInit(&driverCombo, 0));
    EXPECT_EQ(nCurrentDrvNum, 1);
    EXPECT_EQ(driverCombo.entries, (std::vector<std::string>{"*JACK N/A", "Virtual Card 16-bit"}));
    EXPECT_EQ(driverCombo.selection, 1);
    ASIOHostShutdown(true);
    DbgLogClose();
    CoInitialize(nullptr);

    setenv("HOME", savedHome.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

TEST_F(JackDriverTest, PortsChannelsAndSizesAreTheServersAndOnlyItsRateIsTaken)
{
    START_SERVER_OR_SKIP();
    Install("\"Channels\"=dword:00000003\n\"AutoConnect\"=dword:00000000\n");
    IASIO* driver = Create();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    char name[32] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, "JACK");
    int32_t inputs = -1, outputs = -1;
    ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 2);
    EXPECT_EQ(outputs, 3);
    int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = -1;
    ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minSize, kFrames);
    EXPECT_EQ(maxSize, kFrames);
    EXPECT_EQ(preferred, kFrames);
    EXPECT_EQ(granularity, 0);
    const char* const names[] = {"Out 1", "Out 2", "Out 3"};
    for (int32_t channel = 0; channel < 3; ++channel) {
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = ASIOFalse;
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTFloat32LSB);
        EXPECT_STREQ(info.name, names[channel]);
    }

    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, kRate);
    EXPECT_EQ(driver->canSampleRate(kRate), ASE_OK);
    for (double other : {44100.0, 96000.0, 48000.5, 0.0})
        EXPECT_EQ(driver->canSampleRate(other), ASE_NoClock) << other;
    EXPECT_EQ(driver->setSampleRate(44100.0), ASE_NoClock);
    EXPECT_EQ(driver->setSampleRate(kRate), ASE_OK);
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, kRate);

    // The ports as the server lists them: three outputs, none connected.
    JackCaptureClient observer;
    ASSERT_TRUE(observer.Open("observer", 1, 1));
    for (const char* port : {"tonewright:out_1", "tonewright:out_2", "tonewright:out_3"}) {
        jack_port_t* found = jack_port_by_name(observer.Client(), port);
        ASSERT_NE(found, nullptr) << port;
        EXPECT_TRUE((jack_port_flags(found) & JackPortIsOutput) != 0) << port;
        EXPECT_STREQ(jack_port_type(found), JACK_DEFAULT_AUDIO_TYPE) << port;
    }
    EXPECT_EQ(jack_port_by_name(observer.Client(), "tonewright:out_4"), nullptr);

    // With AutoConnect 0, start connects nothing.
    ASSERT_EQ(CreateBuffers(driver, {0, 1, 2}), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(4));
    EXPECT_TRUE(ConnectionsOf(observer.Client(), "tonewright:out_1").empty());
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);
}

TEST_F(JackDriverTest, EverySwitchReachesThePortsOnceAndInOrderOnBothChannels)
{
    START_SERVER_OR_SKIP();
    Install("");
    JackCaptureClient capture;
    ASSERT_TRUE(capture.Open("capture", 2, kCaptureFrames));
    ASSERT_TRUE(capture.Activate());
    IASIO* driver = Create();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);

    // Before start the latency is that of the playback ports start will use.
    const jack_nframes_t playbackLatency = PlaybackLatencyOf(capture.Client(), "system:playback_1");
    int32_t inputLatency = -1, outputLatency = -1;
    ASSERT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    EXPECT_EQ(inputLatency, 0);
    EXPECT_EQ(outputLatency, static_cast<int32_t>(playbackLatency));

    ASSERT_EQ(CreateBuffers(driver, {0, 1}), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(ConnectionsOf(capture.Client(), "tonewright:out_1"),
              std::vector<std::string>{"system:playback_1"});
    EXPECT_EQ(ConnectionsOf(capture.Client(), "tonewright:out_2"),
              std::vector<std::string>{"system:playback_2"});
    ASSERT_TRUE(capture.Connect("tonewright:out_1", 0));
    ASSERT_TRUE(capture.Connect("tonewright:out_2", 1));
    ASSERT_TRUE(WaitForSwitches(200));
    ASSERT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    EXPECT_EQ(outputLatency, static_cast<int32_t>(playbackLatency));
    EXPECT_EQ(driver->stop(), ASE_OK);
    const int switches = g_host.switches.load(std::memory_order_acquire);
    // The capture goes on recording the silence after the stop.
    const size_t framesAtStop = capture.Frames();
    ASSERT_TRUE(WaitFor([&] { return capture.Frames() >= framesAtStop + 4 * kFrames; }, 10000ms));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);
    capture.Close();

    for (int k = 0; k < switches && k < kMaxSwitches; ++k)
        ASSERT_EQ(g_host.indexes[k], k % 2) << "switch " << k;
    EXPECT_EQ(g_host.resets.load(), 0);

    // From the first switch the capture heard on, every later switch in
    // order, each once, then silence.
    const size_t recorded = std::min(capture.Frames(), kCaptureFrames);
    // The two connections may take effect a cycle apart; where both
    // record, they must record the same switch.
    int64_t offset = 0;
    for (int32_t channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel);
        const std::vector<float>& samples = capture.Recording(channel);
        size_t start = 0;
        while (start < recorded && samples[start] == 0.0f)
            ++start;
        ASSERT_LT(start, recorded) << "nothing recorded";
        const int64_t frame = FrameOf(channel, samples[start]);
        EXPECT_EQ(frame % kFrames, 0) << "the recording starts inside a buffer";
        if (channel == 0) offset = frame - static_cast<int64_t>(start);
        EXPECT_EQ(frame - static_cast<int64_t>(start), offset) << "the channels are not in step";
        const int64_t played = static_cast<int64_t>(switches) * kFrames;
        ASSERT_GE(played - frame, 100 * kFrames) << "too little of the run was recorded";
        ASSERT_LE(start + static_cast<size_t>(played - frame), recorded);
        for (size_t at = start; at < recorded; ++at) {
            const int64_t wanted = frame + static_cast<int64_t>(at - start);
            const float expected = wanted < played ? Code(channel, wanted) : 0.0f;
            ASSERT_EQ(samples[at], expected) << "recorded frame " << at << " (switch "
                                             << wanted / kFrames << " of " << switches << ")";
        }
    }
}

TEST_F(JackDriverTest, StoppingTheServerWhilePlayingRequestsAResetAndTeardownCompletes)
{
    START_SERVER_OR_SKIP();
    Install("");
    IASIO* driver = Create();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(CreateBuffers(driver, {0, 1}), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(20));
    EXPECT_EQ(g_host.resets.load(), 0);

    server.Stop();
    ASSERT_TRUE(WaitFor([] { return g_host.resets.load() > 0; }, 10000ms));
    std::this_thread::sleep_for(100ms);
    const int switches = g_host.switches.load();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(g_host.switches.load(), switches) << "switches after the server is gone";
    EXPECT_EQ(g_host.resets.load(), 1);

    EXPECT_EQ(driver->stop(), ASE_OK);
    // Started again on a server that is gone: refused, and said why.
    EXPECT_EQ(driver->start(), ASE_HWMalfunction);
    char text[128] = {};
    driver->getErrorMessage(text);
    EXPECT_STREQ(text, "the JACK server has shut down");
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);

    HRESULT result = S_OK;
    EXPECT_EQ(Create(&result), nullptr);
    EXPECT_TRUE(FAILED(result));
}

TEST_F(JackDriverTest, ABufferSizeChangeRequestsAResetAndPlaysSilenceUntilThen)
{
    START_SERVER_OR_SKIP();
    Install("\"AutoConnect\"=dword:00000000\n");
    JackCaptureClient capture;
    ASSERT_TRUE(capture.Open("capture", 2, kCaptureFrames));
    ASSERT_TRUE(capture.Activate());
    IASIO* driver = Create();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(CreateBuffers(driver, {0, 1}), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(capture.Connect("tonewright:out_1", 0));
    ASSERT_TRUE(capture.Connect("tonewright:out_2", 1));
    ASSERT_TRUE(WaitForSwitches(20));

    ASSERT_EQ(jack_set_buffer_size(capture.Client(), 2 * kFrames), 0);
    ASSERT_TRUE(WaitFor([] { return g_host.resets.load() > 0; }, 10000ms));
    const int switches = g_host.switches.load();
    const size_t framesAtReset = capture.Frames();
    ASSERT_TRUE(WaitFor([&] { return capture.Frames() >= framesAtReset + 8 * kFrames; }, 10000ms));
    // The host's halves are 256 frames long: none is switched or played.
    EXPECT_EQ(g_host.switches.load(), switches);
    EXPECT_EQ(g_host.resets.load(), 1);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);
    capture.Close();

    for (int32_t channel = 0; channel < 2; ++channel) {
        const std::vector<float>& samples = capture.Recording(channel);
        size_t last = 0;
        for (size_t at = 0; at < framesAtReset + 8 * kFrames; ++at)
            if (samples[at] != 0.0f) last = at;
        ASSERT_GT(last, 0u) << "nothing was played before the change";
        EXPECT_EQ(FrameOf(channel, samples[last]), static_cast<int64_t>(switches) * kFrames - 1)
            << "channel " << channel;
        EXPECT_LT(last, framesAtReset) << "sound after the reset request";
    }
}

extern "C" char** environ;

// jack_capture, the recorder JACK users know, writing its two inputs
// (jack_capture:input1, input2) to a 32-bit float WAV; the test makes the
// connections. Its recording is an independent reading of the ports.
class JackCaptureProgram {
public:
    ~JackCaptureProgram() { Stop(); }

    // Started, with its ports registered within ten seconds.
    bool Start(const fs::path& wav, jack_client_t* observer)
    {
        const std::string path = wav.string();
        const char* argv[] = {"jack_capture",
                              "--manual-connections",
                              "--disable-console",
                              "--no-stdin",
                              "--absolutely-silent",
                              "-f",
                              "wav",
                              "-b",
                              "FLOAT",
                              "-c",
                              "2",
                              path.c_str(),
                              nullptr};
        if (posix_spawnp(&m_pid, "jack_capture", nullptr, nullptr, const_cast<char**>(argv),
                         environ) != 0) {
            m_pid = -1;
            return false;
        }
        return WaitFor(
            [&] { return jack_port_by_name(observer, "jack_capture:input2") != nullptr; }, 10000ms);
    }

    // Ctrl-C, as a user ends it; the file is whole once it has exited.
    bool Stop()
    {
        if (m_pid <= 0) return false;
        kill(m_pid, SIGINT);
        int status = 0;
        const bool waited = waitpid(m_pid, &status, 0) == m_pid;
        m_pid = -1;
        return waited && WIFEXITED(status);
    }

private:
    pid_t m_pid = -1;
};

// tonewright-play on the product registry, its ports recorded from the moment
// they appear.
class JackPlayerTest : public JackDriverTest {
protected:
    // Connects the capture (and jack_capture, when asked) to the driver's
    // ports as soon as they can be: the server takes connections only once
    // the driver's client is active.
    void FollowDriverPorts(bool alsoJackCapture = false)
    {
        follower = std::thread([this, alsoJackCapture] {
            const QuietJackErrors quiet;
            bool done[4] = {false, false, !alsoJackCapture, !alsoJackCapture};
            connected = WaitFor(
                [&] {
                    for (int c = 0; c < 2; ++c) {
                        const std::string source = "tonewright:out_" + std::to_string(c + 1);
                        if (!done[c]) done[c] = capture.Connect(source, c);
                        const std::string input = "jack_capture:input" + std::to_string(c + 1);
                        if (!done[2 + c])
                            done[2 + c] =
                                jack_connect(capture.Client(), source.c_str(), input.c_str()) == 0;
                    }
                    return done[0] && done[1] && done[2] && done[3];
                },
                30000ms);
        });
    }

    void TearDown() override
    {
        if (follower.joinable()) follower.join();
        capture.Close();
        JackDriverTest::TearDown();
    }

    JackCaptureClient capture;
    std::thread follower;
    std::atomic<bool> connected{false};
};

TEST_F(JackPlayerTest, ThePlannedToneArrivesWholeOnBothPortsWithSilenceAround)
{
    START_SERVER_OR_SKIP();
    ASSERT_TRUE(capture.Open("capture", 2, kCaptureFrames));
    ASSERT_TRUE(capture.Activate());
    JackCaptureProgram jackCapture;
    ASSERT_TRUE(jackCapture.Start(dir / "jack_capture.wav", capture.Client()))
        << "jack_capture did not start";
    FollowDriverPorts(true);
    std::string said;
    const int status = RunPlayer("--driver JACK sine 1000 --seconds 0.5 --attenuation 12", &said);
    follower.join();
    ASSERT_TRUE(jackCapture.Stop());
    ASSERT_EQ(status, 0) << said;
    ASSERT_TRUE(connected.load());
    EXPECT_NE(said.find("Played"), std::string::npos) << said;
    capture.Close();

    const std::vector<float> tone = PlannedTone();
    ASSERT_GE(tone.size(), 24000u);
    const size_t recorded = std::min(capture.Frames(), kCaptureFrames);
    const std::vector<float>& left = capture.Recording(0);
    size_t first = 0;
    while (first < recorded && left[first] == 0.0f)
        ++first;
    ASSERT_LT(first, recorded) << "no tone recorded";
    const size_t start = first / kFrames * kFrames; // the tone starts with a buffer
    ASSERT_LE(start + tone.size(), recorded);
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float>& samples = capture.Recording(channel);
        for (size_t at = 0; at < recorded; ++at) {
            const float expected =
                at >= start && at < start + tone.size() ? tone[at - start] : 0.0f;
            ASSERT_EQ(samples[at], expected)
                << "channel " << channel << " frame " << at << " (tone from " << start << ")";
        }
    }

    // jack_capture heard the same: the whole tone, sample for sample, on both
    // channels, silence before and after it.
    const WavData wav = ReadWavFile((dir / "jack_capture.wav").string());
    ASSERT_TRUE(wav.valid);
    ASSERT_EQ(wav.channels, 2);
    ASSERT_EQ(wav.sampleRate, 48000u);
    ASSERT_EQ(wav.bitsPerSample, 32);
    auto sampleAt = [&](size_t frame, int channel) {
        float value = 0.0f;
        std::memcpy(&value, wav.Sample(frame, channel), sizeof value);
        return value;
    };
    size_t heard = 0;
    while (heard < wav.Frames() && sampleAt(heard, 0) == 0.0f)
        ++heard;
    ASSERT_LT(heard, wav.Frames()) << "jack_capture recorded no tone";
    // The tone may begin on zero crossings; its first sound sets the offset.
    size_t toneSounds = 0;
    while (tone[toneSounds] == 0.0f)
        ++toneSounds;
    ASSERT_GE(heard, toneSounds);
    heard -= toneSounds;
    ASSERT_LE(heard + tone.size(), wav.Frames());
    for (int channel = 0; channel < 2; ++channel)
        for (size_t at = 0; at < wav.Frames(); ++at) {
            const float expected =
                at >= heard && at < heard + tone.size() ? tone[at - heard] : 0.0f;
            ASSERT_EQ(sampleAt(at, channel), expected)
                << "jack_capture channel " << channel << " frame " << at;
        }
}

TEST_F(JackPlayerTest, PinkNoiseStaysWithinItsLevelOnBothPorts)
{
    START_SERVER_OR_SKIP();
    ASSERT_TRUE(capture.Open("capture", 2, kCaptureFrames));
    ASSERT_TRUE(capture.Activate());
    FollowDriverPorts();
    std::string said;
    const int status = RunPlayer("--driver JACK --seconds 0.5 pink", &said);
    follower.join();
    ASSERT_EQ(status, 0) << said;
    ASSERT_TRUE(connected.load());
    capture.Close();

    const size_t recorded = std::min(capture.Frames(), kCaptureFrames);
    const std::vector<float>& left = capture.Recording(0);
    const std::vector<float>& right = capture.Recording(1);
    size_t first = recorded;
    size_t last = 0;
    for (size_t at = 0; at < recorded; ++at) {
        ASSERT_EQ(left[at], right[at]) << "frame " << at;
        if (left[at] != 0.0f) {
            first = std::min(first, at);
            last = at;
        }
    }
    ASSERT_LT(first, recorded) << "no noise recorded";
    EXPECT_EQ(first % kFrames, 0u);
    EXPECT_GE(last + 1 - first, 24000u - 8);
    EXPECT_LE(last + 1 - first, 24000u);
    // Every sample within the -12 dB peak; the power well below it.
    const double peakLevel = std::pow(10.0, -12.0 / 20.0);
    double power = 0.0;
    for (size_t at = first; at <= last; ++at) {
        ASSERT_LE(std::fabs(left[at]), peakLevel + 1e-6) << "frame " << at;
        power += static_cast<double>(left[at]) * left[at];
    }
    const double rmsDb = 10.0 * std::log10(power / 24000.0);
    EXPECT_LT(rmsDb, -12.0);
    EXPECT_GT(rmsDb, -45.0);
}

TEST_F(JackPlayerTest, ARateOtherThanTheServersIsRefusedWithTheDialogsTextAndAdvice)
{
    START_SERVER_OR_SKIP();
    std::string said;
    const int status = RunPlayer("--driver JACK --rate 44100 sine 1000", &said);
    EXPECT_EQ(status, 2) << said;
    EXPECT_NE(said.find("Can't set sample rate to requested value!"), std::string::npos) << said;
    EXPECT_EQ(said.find("Played"), std::string::npos) << said;
    const std::string log = ReadText(dir / "Dbg.Log");
    EXPECT_NE(log.find("Failed: SetSampleRate\n"), std::string::npos) << log;
    EXPECT_NE(
        log.find("Ensure you don't have 'Rate Locked' set in the sound card's control panel,"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("...or perhaps requested sample rate is not supported"), std::string::npos)
        << log;
}

TEST_F(JackPlayerTest, AServerStoppedDuringTheToneEndsThePlayerWithAResetInOrder)
{
    START_SERVER_OR_SKIP();
    ASSERT_TRUE(capture.Open("capture", 2, kCaptureFrames));
    ASSERT_TRUE(capture.Activate());
    FollowDriverPorts();
    std::string said;
    int status = -2;
    std::thread player([&] { status = RunPlayer("--driver JACK --seconds 20 sine 440", &said); });
    // Once a second of the tone has been heard, the server goes.
    const bool heard = WaitFor(
        [&] {
            if (!connected.load()) return false;
            const size_t recorded = std::min(capture.Frames(), kCaptureFrames);
            const std::vector<float>& left = capture.Recording(0);
            size_t sounding = 0;
            for (size_t at = 0; at < recorded; at += kFrames)
                if (left[at] != 0.0f) ++sounding;
            return sounding * kFrames >= 48000;
        },
        30000ms);
    capture.Close();
    server.Stop();
    player.join();
    ASSERT_TRUE(heard) << said;
    EXPECT_EQ(status, 1) << said;
    EXPECT_NE(said.find("the driver asked for a reset"), std::string::npos) << said;
    EXPECT_NE(ReadText(dir / "Dbg.Log").find("kAsioResetRequest"), std::string::npos);
}

} // namespace
