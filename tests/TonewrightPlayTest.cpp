// tonewright-play end to end: the built program run by the shell on the
// virtual card of the build's product registry.d, with overrides of the
// test's own, each run in a folder of its own; what it prints, its exit
// status, its log and its take, read back by sox.
#include "tests/ScratchFolder.h"
#include "tests/fixtures/SignalMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

class TonewrightPlayTest : public ::testing::Test {
protected:
    // Every variant with three pairs, recording take.wav in the run's folder.
    void SetUp() override
    {
        std::ofstream reg(m_scratch.Path() / "zz-player-test.reg");
        reg << "Windows Registry Editor Version 5.00\n\n";
        for (const char* variant : {"16-bit", "24-bit", "32-bit", "float"})
            reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card " << variant
                << "]\n\"RecordFile\"=\"take.wav\"\n\"Channels\"=dword:00000006\n\n";
    }

    // Runs a shell script in a new folder, the program as $PLAY; its exit status.
    int Run(const std::string& script, bool noDriver = false)
    {
        dir = m_scratch.Path() / ("run-" + std::to_string(++m_runs));
        fs::create_directory(dir);
        // The program's state and configuration folders (XDG_*_HOME/tonewright) are the run's.
        fs::create_directory_symlink(".", dir / "tonewright");
        const std::string registry =
            noDriver ? "/nonexistent" : TONEWRIGHT_PRODUCT_REGISTRY ":" + m_scratch.Path().string();
        int status = -1;
        RunCommand(
            "cd '" + dir.string() + "' || exit 120; export TONEWRIGHT_REGISTRY='" + registry +
                "' XDG_STATE_HOME=\"$PWD\" XDG_CONFIG_HOME=\"$PWD\" PLAY='" TONEWRIGHT_PLAY_PROGRAM
                "'; " +
                script,
            &status);
        out = ReadText(dir / "out");
        err = ReadText(dir / "err");
        log = ReadText(dir / "Dbg.Log");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Play(const std::string& args, bool noDriver = false)
    {
        return Run("timeout 60 \"$PLAY\" " + args + " >out 2>err", noDriver);
    }

    ScratchFolder m_scratch{"tonewright-play"};
    int m_runs = 0;
    fs::path dir; // of the last run, with what it wrote to stdout, stderr and its log
    std::string out, err, log;
};

// One sine with every option, read by sox: on the pair asked for and no
// other, at the rate asked for from the take's start, level and length as asked.
TEST_F(TonewrightPlayTest, PlaysASineWithEveryOptionAsAsked)
{
    ASSERT_EQ(Play("--driver 'Virtual Card, 16' --pair 1 --rate 44100 --seconds 0.3 "
                   "--attenuation 6 sine 441"),
              0)
        << err;
    EXPECT_EQ(out, "Played sine 441 Hz, 0.3 s at -6 dB on Virtual Card 16-bit, pair 1 "
                   "(Out 3 / 4), 44100 Hz\n");
    EXPECT_FALSE(fs::exists(dir / "take-002.wav"));
    const SoxAudio take = SoxRead((dir / "take-001.wav").string());
    ASSERT_EQ(take.channels.size(), 6u);
    EXPECT_EQ(take.rate, 44100.0);
    for (int channel : {0, 1, 4, 5})
        EXPECT_EQ(Peak(take.channels[channel]), 0.0) << channel;
    EXPECT_EQ(take.channels[2], take.channels[3]);
    EXPECT_NEAR(Frequency(take.channels[2], take.rate), 441.0, 0.5);
    EXPECT_NEAR(Peak(take.channels[2]), std::pow(10.0, -6.0 / 20.0), 0.002);
    EXPECT_NEAR(static_cast<double>(take.Frames()), 0.3 * 44100, 2 * 256); // whole buffers
}

struct Ending {
    const char* args;
    bool noDriver; // no registry at all
    int status;
    const char* said;   // on stdout or stderr
    const char* logged; // empty: nothing played
    friend void PrintTo(const Ending& e, std::ostream* os) { *os << e.args; }
};

class TonewrightPlayEndings : public TonewrightPlayTest,
                              public ::testing::WithParamInterface<Ending> {};

// Each signal's request, the listing, or a way of failing: what is said, the
// exit status, the log's line; a take when a signal played, and only then.
TEST_P(TonewrightPlayEndings, EachRunEndsWithItsStatusMessageAndLogLine)
{
    const Ending& e = GetParam();
    EXPECT_EQ(Play(e.args, e.noDriver), e.status) << err;
    EXPECT_NE((out + err).find(e.said), std::string::npos) << out << err;
    EXPECT_NE(log.find(e.logged), std::string::npos) << log;
    const bool played = e.status == 0 && *e.logged != '\0';
    EXPECT_EQ(out.rfind("Played ", 0) == 0, played) << out;
    EXPECT_EQ(fs::exists(dir / "take-001.wav"), played);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Runs, TonewrightPlayEndings, ::testing::Values(
    Ending{"--driver 'Virtual Card, 24' --seconds 0.1 sweep 200 2000", false, 0,
           "Played sweep 200 to 2000 Hz, 0.1 s at -12 dB on Virtual Card 24-bit, pair 0 (Out 1 / 2), 48000 Hz\n",
           "GenerateSweepWav - dwCountBuffers"},
    Ending{"--driver 'Virtual Card, 32-bit i' --seconds 0.1 pink", false, 0, "Played pink noise, 0.1 s at -12 dB",
           "PlayPinkNoise - dwCountBuffers"},
    Ending{"--driver 'Virtual Card, 32-bit f' --seconds 0.1 white", false, 0, "Played white noise, 0.1 s at -12 dB",
           "PlayWhiteNoise - dwCountBuffers"},
    // A note is played as the dialog plays it: its frequency with 11 decimals.
    Ending{"--driver 'Virtual Card, 16' --seconds 0.1 note Bb4", false, 0, "Played note Bb4 (466.16376151809 Hz)",
           "Requested frequency: 466.163762\n"},
    Ending{"--driver 'Virtual Card, 32-bit float' --list", false, 0,
           "  Virtual Card, 32-bit float samples, recorded to WAV  (open)  key \"Virtual Card float\"\n"
           "Output pairs of Virtual Card float:\n  0  Out 1 / 2\n  1  Out 3 / 4\n  2  Out 5 / 6\n"
           "Sample rates: 44100 48000 96000 (now 48000)\nSample type: ASIOSTFloat32LSB\n"
           "Input pairs of Virtual Card float:\n  0  In 1 / 2\n", ""},
    Ending{"--driver 'Virtual Card, 16' --seconds 61 sine 440", false, 2,
           "tonewright-play: duration must be 0.01 to 60 seconds\n",
           "Failed: PlaySineWav - seconds greater than 60!\n"},
    Ending{"--driver 'Virtual Card, 16' --rate 12345 pink", false, 2,
           "the card does not take 12345 Hz (it takes 44100, 48000, 96000)", ""},
    Ending{"--driver 'Virtual Card, 16' --pair 3 pink", false, 1,
           "Virtual Card 16-bit has 3 output pairs; there is no pair 3", ""},
    Ending{"--driver 'No Such Card' pink", false, 1, "no installed driver is named 'No Such Card'", ""},
    Ending{"--driver 99 pink", false, 1, "there is no driver 99 (drivers 0 to ", ""},
    Ending{"--driver 'Virtual Card' pink", false, 64, "'Virtual Card' names several drivers: ", ""},
    Ending{"sine abc", false, 64, "play: sine takes a frequency in Hz, not 'abc'\nusage: ", ""},
    Ending{"sine 440", true, 1, "no driver is registered; searched: /nonexistent", "Couldn't find any ASIO drivers!"},
    Ending{"--help", true, 0, "SYNOPSIS", ""},
    Ending{"--version", true, 0, "tonewright-play ", ""}));
// clang-format on

TEST_F(TonewrightPlayTest, ProgressShowsOnATerminalOnlyForSignalsOverOneSecond)
{
    const std::string white = "script -qec '\"$PLAY\" --driver \"Virtual Card, 16\" --seconds ";
    EXPECT_EQ(Run(white + "1.5 white >out' /dev/null >err"), 0) << err;
    EXPECT_NE(err.find("\r  0.0 / 1.5 s"), std::string::npos) << err;
    EXPECT_TRUE(std::regex_search(err, std::regex("\r  (0\\.[1-9]|1\\.[0-4]) / 1\\.5 s"))) << err;
    // The terminal turns the line end into "\r\n".
    EXPECT_NE(err.find("\r  1.5 / 1.5 s\r\n"), std::string::npos) << err;
    EXPECT_EQ(Run(white + "1 white >out' /dev/null >err"), 0) << err;
    EXPECT_EQ(err.find(" / 1.0 s"), std::string::npos) << err;
}

} // namespace
