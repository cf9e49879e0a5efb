// The JACK driver on a jackd of the test's own (dummy backend, a name of its
// own), recorded by jack_capture; tonewright-play on it when the server goes.
#include "tests/fixtures/DriverHost.h"
#include "tests/fixtures/JackServer.h"

// libjack's metadata store (Berkeley DB) keeps what it allocated when the
// store is first created, to the process's end; nothing of ours.
constexpr const char* kJackLeaks = "leak:libdb-5.3.so\n";

extern "C" __attribute__((used)) const char* __lsan_default_suppressions()
{
    return kJackLeaks;
}

namespace {

constexpr char kJackClsid[] = "{EAD3AE35-3C6F-429C-B960-650B9B43EECA}";

class JackDriverTest : public DriverTest {
protected:
    void TearDown() override
    {
        DriverTest::TearDown();
        End(recorder, SIGINT);
        jack.Stop();
    }

    // Until `frames` more have passed on the server's clock.
    bool WaitForFrames(jack_nframes_t frames)
    {
        const jack_nframes_t from = jack_frame_time(observer);
        return WaitFor([&] { return jack_frame_time(observer) - from >= frames; });
    }

    void Install(const std::string& values)
    {
        UseRegistry(RegEntry("JACK", kJackClsid, TONEWRIGHT_JACK_MODULE, values));
    }

    JackServer jack;
    jack_client_t*& observer = jack.observer;
    pid_t recorder = -1; // jack_capture
};

#define START_SERVER() ASSERT_EQ(jack.Start(), "")

TEST_F(JackDriverTest, WithoutAServerCreationIsRefusedAndNoServerIsStarted)
{
    // libjack starts the server of ~/.jackdrc for a client that allows it.
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", dir.c_str(), 1);
    std::ofstream(dir / ".jackdrc") << "/usr/bin/jackd --no-realtime -d dummy -r 48000 -p 256\n";
    setenv("JACK_DEFAULT_SERVER", ("tonewright-test-none-" + std::to_string(getpid())).c_str(), 1);
    unsetenv("JACK_NO_START_SERVER");
    Install("");
    HRESULT result = S_OK;
    EXPECT_EQ(CreateDriver(GuidFromText(kJackClsid), &result), nullptr);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    setenv("HOME", home.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

TEST_F(JackDriverTest, ItsFactsAreTheServersAndEverySwitchReachesItsPortOnceAndInOrder)
{
    START_SERVER();
    Install("\"Channels\"=dword:00000003\n");
    // jack_capture, the recorder JACK users know, writing its inputs to a float WAV.
    recorder = Spawn("jack_capture --manual-connections --disable-console --no-stdin "
                     "--absolutely-silent -f wav -b FLOAT -c 3 capture.wav");
    ASSERT_TRUE(
        WaitFor([&] { return jack_port_by_name(observer, "jack_capture:input3") != nullptr; }));
    IASIO* driver = CreateDriver(GuidFromText(kJackClsid));
    ASSERT_NE(driver, nullptr);
    // Before start, the latency of the playback ports start connects to.
    jack_latency_range_t playback = {0, 0};
    jack_port_get_latency_range(jack_port_by_name(observer, "system:playback_1"),
                                JackPlaybackLatency, &playback);
    ExpectFacts(driver, "JACK", 2, 3, {256, 256, 256, 0}, ASIOSTFloat32LSB,
                static_cast<int32_t>(playback.max), 48000.0, {48000.0},
                {44100.0, 96000.0, 48000.5, 0.0});

    // Out 2 has no buffer and must stay silent.
    ASSERT_EQ(CreatePatternBuffers(driver, {0, 2}, ASIOSTFloat32LSB, 256), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    for (int c = 0; c < 3; ++c) {
        const std::string name = "tonewright:out_" + std::to_string(c + 1);
        const std::string playback = "system:playback_" + std::to_string(c + 1);
        jack_port_t* port = jack_port_by_name(observer, name.c_str());
        // Started: connected to the server's two playback ports, as they show.
        EXPECT_TRUE(WaitFor([&] {
            return c < 2 ? jack_port_connected_to(port, playback.c_str())
                         : !jack_port_connected(port);
        })) << name;
        const std::string input = "jack_capture:input" + std::to_string(c + 1);
        ASSERT_EQ(jack_connect(observer, name.c_str(), input.c_str()), 0) << name;
    }
    ASSERT_TRUE(WaitForSwitches(200));
    EXPECT_EQ(driver->stop(), ASE_OK);
    const int64_t played = static_cast<int64_t>(g_host.switches.load()) * 256;
    ASSERT_TRUE(WaitForFrames(1024));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(g_host.resets.load(), 0);
    End(recorder, SIGINT);

    // The last sound is the last frame played; from where each connection
    // began, every frame once and in order, and silence after.
    const SoxAudio take = SoxRead((dir / "capture.wav").string());
    ASSERT_EQ(take.channels.size(), 3u);
    size_t end = take.Frames();
    while (end > 0 && take.channels[0][end - 1] == 0.0)
        --end;
    const int64_t offset = played - static_cast<int64_t>(end); // frame played at recorded `at`
    for (int32_t c = 0; c < 3; ++c) {
        const std::vector<double>& samples = take.channels[c];
        size_t at = 0;
        while (at < samples.size() && samples[at] == 0.0)
            ++at;
        ASSERT_TRUE(c != 0 || end >= at + 100 * 256) << "too little was recorded";
        for (; at < samples.size(); ++at) {
            const int64_t frame = static_cast<int64_t>(at) + offset;
            ASSERT_EQ(samples[at], frame < played ? Expected(c, frame) : 0.0)
                << "channel " << c << ", frame " << frame << " of " << played;
        }
    }
}

TEST_F(JackDriverTest, ANewBufferSizeOrAServerThatStopsMakesOneResetRequest)
{
    START_SERVER();
    Install("\"AutoConnect\"=dword:00000000\n");
    IASIO* driver = CreateDriver(GuidFromText(kJackClsid));
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(CreatePatternBuffers(driver, {0, 1}, ASIOSTFloat32LSB, 256), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(20));
    EXPECT_FALSE(jack_port_connected(jack_port_by_name(observer, "tonewright:out_1")));
    ASSERT_EQ(jack_set_buffer_size(observer, 512), 0);
    ASSERT_TRUE(WaitFor([] { return g_host.resets.load() > 0; }));
    // The host's halves are 256 frames long: none is switched in cycles of 512.
    const int switches = g_host.switches.load();
    ASSERT_TRUE(WaitForFrames(8 * 512));
    EXPECT_EQ(g_host.switches.load(), switches);
    EXPECT_EQ(g_host.resets.load(), 1);

    // A client made at the new size asks too when the server goes, and then
    // refuses to start.
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);
    driver = CreateDriver(GuidFromText(kJackClsid));
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(CreatePatternBuffers(driver, {0, 1}, ASIOSTFloat32LSB, 512), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    End(jack.pid, SIGTERM);
    ASSERT_TRUE(WaitFor([] { return g_host.resets.load() > 1; }));
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_HWMalfunction);
    char text[128] = {};
    driver->getErrorMessage(text);
    EXPECT_STREQ(text, "the JACK server has shut down");
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(g_host.resets.load(), 2);
}

TEST_F(JackDriverTest, TonewrightPlayEndsWithAResetWhenTheServerStopsDuringTheTone)
{
    START_SERVER();
    // The player built with the sanitizers must not fail on libjack's leak.
    std::ofstream(dir / "lsan.supp") << kJackLeaks;
    // Its log (XDG_STATE_HOME/tonewright) lands in the test's folder.
    std::error_code exists;
    std::filesystem::create_directory_symlink(".", dir / "tonewright", exists);
    const std::string command = "XDG_STATE_HOME='" + dir.string() + "' XDG_CONFIG_HOME='" +
                                dir.string() + "' LSAN_OPTIONS=suppressions='" +
                                (dir / "lsan.supp").string() + "' TONEWRIGHT_REGISTRY='" +
                                TONEWRIGHT_PRODUCT_REGISTRY + "' '" + TONEWRIGHT_PLAY +
                                "' --driver JACK --seconds 20 sine 440 > play.txt 2>&1";
    int status = -1;
    std::thread player([&] { status = std::system(command.c_str()); });
    // Connected to the playback ports: started.
    const bool playing = WaitFor([&] {
        jack_port_t* port = jack_port_by_name(observer, "tonewright:out_1");
        return port != nullptr && jack_port_connected(port) > 0;
    });
    End(jack.pid, SIGTERM);
    player.join();
    const std::string said = RunCommand("cat play.txt");
    ASSERT_TRUE(playing) << said;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << said;
    EXPECT_NE(said.find("the JACK server stopped while playing"), std::string::npos) << said;
    EXPECT_NE(RunCommand("cat '" + (dir / "Dbg.Log").string() + "'").find("kAsioResetRequest"),
              std::string::npos);
}

} // namespace
