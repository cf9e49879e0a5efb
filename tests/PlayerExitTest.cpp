// tonewright-play when a run does not go as planned: interrupted while it
// plays or while it starts, a configuration file that is a FIFO, a driver
// that cannot be used, a take that cannot be written. The built program runs
// as a child with its registry, its XDG folders, HOME and working folder in
// a scratch folder of the test's own, and no JACK server to reach.
#include "tests/ScratchFolder.h"
#include "tests/fixtures/WavReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef TONEWRIGHT_PLAY_PROGRAM
#error "the test target must define TONEWRIGHT_PLAY_PROGRAM"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int status = -1; // -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

class PlayerExitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* folder : {"cwd", "state", "config/tonewright", "home", "registry.d"})
            fs::create_directories(m_dir / folder);
        // The product's drivers but ALSA, whose "default" device needs a sound card here.
        for (const auto& entry : fs::directory_iterator(TONEWRIGHT_PRODUCT_REGISTRY))
            if (entry.path().filename().string().rfind("tonewright_alsa", 0) != 0)
                fs::copy_file(entry.path(), m_dir / "registry.d" / entry.path().filename());
    }

    // The player run with args; signal sent to it once `when` holds.
    Outcome Play(std::vector<std::string> args, int signal = 0, std::function<bool()> when = {})
    {
        args.insert(args.begin(), TONEWRIGHT_PLAY_PROGRAM);
        std::vector<char*> argv;
        for (std::string& word : args)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const std::string out = (m_dir / "out.txt").string();
        const std::string err = (m_dir / "err.txt").string();
        const pid_t child = fork();
        if (child == 0) {
            if (chdir((m_dir / "cwd").c_str()) != 0 || !freopen(out.c_str(), "w", stdout) ||
                !freopen(err.c_str(), "w", stderr))
                _exit(120);
            setenv("TONEWRIGHT_REGISTRY", (m_dir / "registry.d").c_str(), 1);
            setenv("XDG_STATE_HOME", (m_dir / "state").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
            setenv("HOME", (m_dir / "home").c_str(), 1);
            setenv("JACK_DEFAULT_SERVER", "tonewright-test-no-such-server", 1);
            setenv("JACK_NO_START_SERVER", "1", 1);
            execv(argv[0], argv.data());
            _exit(122);
        }
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (waitpid(child, &status, WNOHANG) != child) {
            if (signal != 0 && when && when()) {
                kill(child, signal);
                signal = 0;
            }
            if (Clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "tonewright-play did not end within 60 s";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    }

    ScratchFolder m_scratch{"tw-player-exit"};
    const fs::path& m_dir = m_scratch.Path();
    const fs::path m_config = m_dir / "config/tonewright/ASIOConfig.txt";
};

TEST_F(PlayerExitTest, CtrlCFadesTheSignalToZeroWithinTenMilliseconds)
{
    const fs::path take = m_dir / "cwd" / "Virtual Card 16-bit-001.wav";
    Clock::time_point heard{};
    const Outcome run =
        Play({"--driver", "Virtual Card 16-bit", "--seconds", "10", "sine", "100"}, SIGINT, [&] {
            if (heard == Clock::time_point{} && fs::exists(take)) heard = Clock::now();
            return heard != Clock::time_point{} &&
                   Clock::now() - heard > std::chrono::milliseconds(300);
        });
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_EQ(run.err.find(" / 10.0 s"), std::string::npos); // no progress on a pipe
    EXPECT_NE(run.err.find("interrupted; the signal was faded out before its end\n"),
              std::string::npos);
    // Shut down in order: the driver list released before the log's trailer.
    const std::string log = ReadText(m_dir / "state/tonewright/Dbg.Log");
    const size_t trailer = log.rfind("\n\nShutting down debug logging system...\nDate: ");
    EXPECT_LT(log.find("AsioDriverList destruction."), trailer);
    EXPECT_NE(trailer, std::string::npos);
    const std::vector<double> left = Levels(ReadWavFile(take.string()), 0);
    // At 48000 Hz the ramp is 480 frames; a cut sine jumps by up to its peak.
    const double ramp = 480.0;
    const double lsb = 1.0 / 32768.0;
    double peak = 0.0;
    size_t end = 0; // the last sample that sounds
    for (size_t i = 0; i < left.size(); ++i) {
        peak = std::max(peak, std::fabs(left[i]));
        if (left[i] != 0.0) end = i;
    }
    ASSERT_GT(end, 10 * static_cast<size_t>(ramp)) << "no take of the tone";
    EXPECT_NEAR(peak, std::pow(10.0, -12.0 / 20.0), 0.001);
    // The last 10 ms stay below a line falling to zero at the end (a few frames of slack for
    // the sine's own zero crossing near the end), and no step exceeds the sine's own steepest
    // step plus one step of the ramp.
    for (size_t j = 0; j < static_cast<size_t>(ramp); ++j)
        ASSERT_LE(std::fabs(left[end - j]), peak * (j + 8) / ramp + lsb) << j << " before the end";
    const double steepest = peak * 2.0 * M_PI * 100.0 / 48000.0 + peak / ramp + 2 * lsb;
    for (size_t i = 1; i < left.size(); ++i)
        ASSERT_LE(std::fabs(left[i] - left[i - 1]), steepest) << "frame " << i;
}

TEST_F(PlayerExitTest, StartUpEndsAtOnceOnCtrlCAndAFifoForTheConfigurationIsLeftAlone)
{
    ASSERT_EQ(mkfifo(m_config.c_str(), 0644), 0);
    // 2 MB of registry to read first: 25,000 values under one key.
    std::ofstream reg(m_dir / "registry.d" / "big.reg");
    reg << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\n";
    for (int i = 0; i < 25000; ++i)
        reg << "\"value" << i << "\"=\"" << std::string(64, 'x') << "\"\n";
    reg.close();

    const Outcome played = Play({"--seconds", "0.1", "sine", "440"});
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_NE(played.err.find(m_config.string() + " is not a regular file"), std::string::npos)
        << played.err;
    fs::remove(m_dir / "cwd" / "Virtual Card 16-bit-001.wav");

    // Within the registry's loading (the log has just opened), and within the drivers'
    // creation and first start (the list has been read).
    const fs::path log = m_dir / "state/tonewright/Dbg.Log";
    for (const char* logged : {"Debug log", "Total num devices found"}) {
        fs::remove(log);
        const Outcome run = Play({"--seconds", "1", "sine", "440"}, SIGINT,
                                 [&] { return ReadText(log).find(logged) != std::string::npos; });
        EXPECT_EQ(run.status, 130) << logged << ": " << run.err;
        EXPECT_NE(run.err.find("interrupted while starting"), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_empty(m_dir / "cwd")) << logged;
        EXPECT_TRUE(fs::is_fifo(m_config));
    }
}

TEST_F(PlayerExitTest, NoFailureEndsAsSuccessAndNoneMovesTheConfiguredDriver)
{
    const Outcome listing = Play({"--driver", "Virtual Card 16-bit", "--list"});
    const size_t jackLine = listing.out.rfind("\n", listing.out.find("key \"JACK\""));
    ASSERT_NE(jackLine, std::string::npos) << listing.out;
    const std::string jack = std::to_string(std::stoi(listing.out.substr(jackLine + 1)));
    std::ofstream(m_config) << jack;

    // Asked for by name, JACK must open or nothing plays; the hint says what helps.
    const Outcome named = Play({"--driver", "jack", "sine", "440"});
    EXPECT_EQ(named.status, 1) << named.err;
    EXPECT_NE(named.err.find("driver " + jack + " (JACK) cannot be used: module "),
              std::string::npos)
        << named.err;
    EXPECT_NE(named.err.find("or run tonewright-play under pw-jack"), std::string::npos);
    // The configured JACK falls back; its reason stands beside it in the list and once on stderr.
    const Outcome configured = Play({"--list"});
    EXPECT_EQ(configured.status, 0) << configured.err;
    EXPECT_NE(configured.out.find("  " + jack + "  *JACK N/A  key \"JACK\": module "),
              std::string::npos)
        << configured.out;
    const size_t said = configured.err.find("(JACK) cannot be used");
    EXPECT_NE(said, std::string::npos) << configured.err;
    EXPECT_EQ(configured.err.find("(JACK) cannot be used", said + 1), std::string::npos);
    EXPECT_EQ(ReadText(m_config), jack);

    // A take that cannot be created is a failed run, not "Played".
    std::ofstream(m_dir / "registry.d" / "zz-lost.reg")
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 16-bit]\n\"RecordFile\"=\""
        << (m_dir / "missing" / "take.wav").string() << "\"\n";
    const Outcome lost = Play({"--driver", "Virtual Card 16-bit", "sine", "440"});
    EXPECT_EQ(lost.status, 1) << lost.err;
    EXPECT_NE(lost.err.find("cannot create a take: No such file or directory"), std::string::npos)
        << lost.err;
    EXPECT_EQ(lost.out.find("Played"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(m_dir / "cwd"));
}

} // namespace

TEST_F(PlayerExitTest, AKeyValueOutOfItsRangeIsRefusedByNameAndRangeAndNothingPlays)
{
    const struct {
        const char *key, *value, *said;
    } cases[] = {
        {"Virtual Card 16-bit", "\"Channels\"=dword:00000001",
         "Channels 1 is out of range (2 to 128)"},
        {"Virtual Card 16-bit", "\"RecordFile\"=\"/dev/full\"",
         "RecordFile \"/dev/full\" is not a regular file"},
        {"Virtual Card 16-bit", "\"BufferSize\"=dword:00000030",
         "BufferSize 48 is out of range (a power of two from 32 to 4096)"},
        {"JACK", "\"AutoConnect\"=dword:00000002", "AutoConnect 2 is out of range (0 to 1)"},
        {"Virtual Card 16-bit", "", "RecordFile has 5000 characters (at most 4095)"}};
    for (const auto& c : cases) {
        std::ofstream(m_dir / "registry.d" / "zz-limits.reg")
            << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" << c.key << "]\n"
            << (c.value[0] != '\0' ? c.value : "\"RecordFile\"=\"" + std::string(5000, 'a') + "\"")
            << "\n";
        const Outcome run = Play({"--driver", c.key, "--seconds", "0.1", "sine", "440"});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("(" + std::string(c.key) + ") cannot be set up: " + c.said + "\n"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(ReadText(m_dir / "state/tonewright/Dbg.Log").find(c.said), std::string::npos);
        EXPECT_TRUE(fs::is_empty(m_dir / "cwd")) << c.said;
    }
    EXPECT_FALSE(fs::exists("/dev/full-001.wav"));
}
