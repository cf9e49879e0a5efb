// tonewright-play end to end: the built program run as a child process on
// the virtual card of the build's product registry.d, with registry
// overrides of the test's own, in a scratch working folder; the takes the
// card records are then read back and measured.
#include "tests/ScratchFolder.h"
#include "tests/fixtures/WavReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef TONEWRIGHT_PLAY_PROGRAM
#error "the test target must define TONEWRIGHT_PLAY_PROGRAM"
#endif
#ifndef TONEWRIGHT_PRODUCT_REGISTRY
#error "the test target must define TONEWRIGHT_PRODUCT_REGISTRY"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000.0; // the card's default rate
constexpr int kFrames = 256;      // and buffer
constexpr int kChannels = 6;      // set by the test's override: three pairs
// 10^(-12/20): the peak at the default attenuation of 12 dB.
constexpr double kPeakAt12Db = 0.25118864315095801;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct PlayerRun {
    int exitStatus = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
    fs::path dir;                     // its working folder
    double secondsAfterSignal = -1.0; // from SIGINT to its exit
};

// How a run is watched: stderr on a terminal, and a SIGINT once the
// condition holds.
struct RunOptions {
    bool stderrOnTerminal = false;
    bool interruptOnceTakeStarts = false;
    std::string config; // written to ASIOConfig.txt first when not empty
};

void DrainTerminal(int terminal, std::string& text)
{
    pollfd ready{terminal, POLLIN, 0};
    while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
        char chunk[512];
        const ssize_t got = read(terminal, chunk, sizeof chunk);
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
}

class TonewrightPlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(m_dir / "overrides");
        std::ofstream reg(m_dir / "overrides" / "zz-player-test.reg");
        reg << "Windows Registry Editor Version 5.00\n\n";
        for (const char* variant : {"16-bit", "24-bit", "32-bit", "float"})
            reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card " << variant
                << "]\n\"RecordFile\"=\"take.wav\"\n\"Channels\"=dword:0000000" << kChannels
                << "\n\n";
        m_registry =
            std::string(TONEWRIGHT_PRODUCT_REGISTRY) + ":" + (m_dir / "overrides").string();
    }

    PlayerRun Play(const std::vector<std::string>& args, const RunOptions& options = {})
    {
        return RunProgram(m_registry, args, options);
    }

    PlayerRun RunProgram(const std::string& registry, std::vector<std::string> args,
                         const RunOptions& options = {})
    {
        PlayerRun run;
        run.dir = m_dir / ("run-" + std::to_string(++m_runs));
        fs::create_directory(run.dir);
        // The program's state and configuration folders (XDG_*_HOME/tonewright) are the run's.
        fs::create_directory_symlink(".", run.dir / "tonewright");
        if (!options.config.empty()) std::ofstream(run.dir / "ASIOConfig.txt") << options.config;
        const std::string outPath = run.dir.string() + ".out";
        const std::string errPath = run.dir.string() + ".err";
        args.insert(args.begin(), TONEWRIGHT_PLAY_PROGRAM);
        std::vector<char*> argv;
        for (std::string& word : args)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        int terminal = -1;
        std::string terminalName;
        if (options.stderrOnTerminal) {
            terminal = posix_openpt(O_RDWR | O_NOCTTY);
            EXPECT_GE(terminal, 0);
            EXPECT_EQ(grantpt(terminal), 0);
            EXPECT_EQ(unlockpt(terminal), 0);
            terminalName = ptsname(terminal);
        }

        const pid_t child = fork();
        if (child == 0) {
            if (chdir(run.dir.c_str()) != 0) _exit(120);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = terminal >= 0
                                ? open(terminalName.c_str(), O_RDWR | O_NOCTTY)
                                : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0) _exit(121);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            setenv("TONEWRIGHT_REGISTRY", registry.c_str(), 1);
            setenv("XDG_STATE_HOME", run.dir.c_str(), 1);
            setenv("XDG_CONFIG_HOME", run.dir.c_str(), 1);
            execv(argv[0], argv.data());
            _exit(122);
        }
        EXPECT_GT(child, 0);

        const auto deadline = Clock::now() + std::chrono::seconds(60);
        bool interrupted = false;
        Clock::time_point interruptedAt;
        int status = 0;
        while (waitpid(child, &status, WNOHANG) != child) {
            if (terminal >= 0) DrainTerminal(terminal, run.err);
            if (options.interruptOnceTakeStarts && !interrupted &&
                fs::exists(run.dir / "take-001.wav")) {
                // A moment of sound in the take before the interruption.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                interruptedAt = Clock::now();
                kill(child, SIGINT);
                interrupted = true;
            }
            if (Clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "tonewright-play did not end within 60 s";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (interrupted)
            run.secondsAfterSignal =
                std::chrono::duration<double>(Clock::now() - interruptedAt).count();
        if (terminal >= 0) {
            DrainTerminal(terminal, run.err);
            close(terminal);
        } else {
            run.err = ReadText(errPath);
        }
        run.out = ReadText(outPath);
        if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
        return run;
    }

    ScratchFolder m_scratch{"tonewright-play"};
    const fs::path& m_dir = m_scratch.Path();
    std::string m_registry;
    int m_runs = 0;
};

// The index --list gives a driver whose listed name starts with name.
int ListedIndex(const std::string& listing, const std::string& name)
{
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        int index = -1;
        char rest[256] = {};
        if (std::sscanf(line.c_str(), " %d %255[^\n]", &index, rest) == 2 &&
            std::string(rest).rfind(name, 0) == 0)
            return index;
    }
    return -1;
}

double Peak(const std::vector<double>& samples)
{
    double peak = 0.0;
    for (double s : samples)
        peak = std::max(peak, std::fabs(s));
    return peak;
}

// Frequency from the rising zero crossings between the first and the last.
double Frequency(const std::vector<double>& samples, double rate)
{
    long first = -1;
    long last = -1;
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0 && samples[i] >= 0.0) {
            if (first < 0) first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rate / static_cast<double>(last - first);
}

TEST_F(TonewrightPlayTest, ListNamesTheFourVirtualVariantsAndTheOpenOnesDetails)
{
    const PlayerRun run = Play({"--driver", "Virtual Card, 32-bit float", "--list"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    // The start of each variant's listed name (its registry description).
    for (const char* name : {"Virtual Card, 16-bit", "Virtual Card, 24-bit", "Virtual Card, 32-bit",
                             "Virtual Card, 32-bit float"})
        EXPECT_GE(ListedIndex(run.out, name), 0) << name << " missing in:\n" << run.out;
    const int floatIndex = ListedIndex(run.out, "Virtual Card, 32-bit float");
    EXPECT_NE(run.out.find(std::to_string(floatIndex) +
                           "  Virtual Card, 32-bit float samples, recorded to WAV  (open)"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Output pairs of Virtual Card float:\n  0  Out 1 / 2\n  1  Out 3 / 4\n"
                           "  2  Out 5 / 6\nSample rates: 44100 48000 96000 (now 48000)\n"
                           "Sample type: ASIOSTFloat32LSB\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("  3  Out 7 / 8"), std::string::npos);
    EXPECT_FALSE(fs::exists(run.dir / "take-001.wav"));
}

TEST_F(TonewrightPlayTest, EachSignalsTakeHoldsWhatWasAskedAndNoteA4IsSine440)
{
    using Measure = std::function<void(const std::vector<double>& left)>;
    struct Signal {
        std::vector<std::string> args;
        const char* said; // on stdout
        int bits;
        uint32_t rate;
        int pair;
        double seconds;
        Measure measure;
    };
    const Signal signals[] = {
        {{"--driver", "Virtual Card, 16", "sine", "1000"},
         "Played sine 1000 Hz, 0.5 s at -12 dB on Virtual Card 16-bit",
         16,
         48000,
         0,
         0.5,
         [](const std::vector<double>& left) {
             EXPECT_NEAR(Peak(left), kPeakAt12Db, 0.002);
             EXPECT_NEAR(Frequency(left, kRate), 1000.0, 1.0);
         }},
        {{"--driver", "Virtual Card, 24", "--seconds", "0.75", "--attenuation", "6", "sweep", "200",
          "2000"},
         "Played",
         24,
         48000,
         0,
         0.75,
         [](const std::vector<double>& left) {
             EXPECT_NEAR(Peak(left), std::pow(10.0, -6.0 / 20.0), 0.002);
             // Rising: the last quarter crosses zero far more often than the first.
             const std::vector<double> head(left.begin(), left.begin() + left.size() / 4);
             const std::vector<double> tail(left.end() - left.size() / 4, left.end());
             EXPECT_LT(Frequency(head, kRate), 800.0);
             EXPECT_GT(Frequency(tail, kRate), 1400.0);
         }},
        {{"--driver", "Virtual Card, 32-bit i", "--seconds", "1", "pink"},
         "Played",
         32,
         48000,
         0,
         1.0,
         [](const std::vector<double>& left) {
             // The loudest pink values reach about the attenuated full scale.
             EXPECT_LE(Peak(left), kPeakAt12Db * 1.0001);
             EXPECT_GT(Peak(left), kPeakAt12Db * 0.3);
         }},
        {{"--driver", "Virtual Card, 32-bit f", "--attenuation", "20", "white"},
         "Played",
         32,
         48000,
         0,
         0.5,
         [](const std::vector<double>& left) {
             // Gaussian noise whose RMS lies about 16.5 dB below its peak level.
             double power = 0.0;
             for (double s : left)
                 power += s * s;
             EXPECT_LE(Peak(left), 0.1);
             EXPECT_NEAR(10.0 * std::log10(power / static_cast<double>(left.size())) + 20.0, -16.5,
                         1.5);
         }},
        {{"--driver", "Virtual Card, 16", "--pair", "1", "--rate", "44100", "sine", "441"},
         "pair 1 (Out 3 / 4), 44100 Hz",
         16,
         44100,
         1,
         0.5,
         [](const std::vector<double>& left) {
             EXPECT_NEAR(Frequency(left, 44100.0), 441.0, 0.5);
         }},
        // Compared below: note A4 is sine 440 to the byte; Bb4 is not.
        {{"--driver", "Virtual Card, 24", "note", "A4"},
         "note A4 (440.00000000000 Hz)",
         24,
         48000,
         0,
         0.5,
         [](const std::vector<double>&) {}},
        {{"--driver", "Virtual Card, 24", "sine", "440"},
         "Played",
         24,
         48000,
         0,
         0.5,
         [](const std::vector<double>&) {}},
        {{"--driver", "Virtual Card, 24", "note", "Bb4"},
         "Played",
         24,
         48000,
         0,
         0.5,
         [](const std::vector<double>& left) {
             EXPECT_NEAR(Frequency(left, kRate), 466.164, 0.5);
         }},
    };
    std::vector<WavData> takes;
    for (const Signal& signal : signals) {
        SCOPED_TRACE(signal.args.back());
        const PlayerRun run = Play(signal.args);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_NE(run.out.find(signal.said), std::string::npos) << run.out;
        const WavData& take = takes.emplace_back(ReadWavFile((run.dir / "take-001.wav").string()));
        ASSERT_TRUE(take.valid);
        // One take, at the new rate from its start: no piece at the old one.
        EXPECT_FALSE(fs::exists(run.dir / "take-002.wav"));
        EXPECT_EQ(take.channels, kChannels);
        EXPECT_EQ(take.sampleRate, signal.rate);
        EXPECT_EQ(take.bitsPerSample, signal.bits);
        // Whole buffers from the first that sounds to the last.
        EXPECT_EQ(take.Frames() % kFrames, 0u);
        EXPECT_NEAR(static_cast<double>(take.Frames()), signal.seconds * signal.rate,
                    2.0 * kFrames);
        // Sound on the pair's two channels, alike, and nothing anywhere else.
        for (int channel = 0; channel < take.channels; ++channel) {
            if (channel / 2 != signal.pair) {
                EXPECT_EQ(Peak(Levels(take, channel)), 0.0) << "channel " << channel;
            }
        }
        const std::vector<double> left = Levels(take, 2 * signal.pair);
        EXPECT_GT(Peak(left), 0.01);
        EXPECT_EQ(left, Levels(take, 2 * signal.pair + 1));
        signal.measure(left);
        if (signal.pair == 1) {
            EXPECT_NE(ReadText(run.dir / "Dbg.Log").find("Using: Out 3 / Out 4"),
                      std::string::npos);
        }
    }
    EXPECT_TRUE(takes[5].data == takes[6].data) << "note A4 and sine 440 differ";
    EXPECT_FALSE(takes[5].data == takes[7].data);
}

TEST_F(TonewrightPlayTest, EveryWayOfEndingHasItsExitStatus)
{
    // Refusals of the request or the rate, bad arguments and a missing pair;
    // the checks themselves are the request's and the parser's own tests'.
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
        const char* log = ""; // the debug log's own line, kept as it was
    };
    const Case cases[] = {
        {{"--seconds", "61", "sine", "440"},
         2,
         "duration must be 0.01 to 60 seconds",
         "Failed: PlaySineWav - seconds greater than 60!"},
        {{"--attenuation", "61", "white"},
         2,
         "attenuation must be 0 to 60 dB",
         "Failed: PlayWhiteNoise - antenuation dBs greater than 60!"},
        {{"--rate", "12345", "pink"}, 2, "the card does not take 12345 Hz"},
        {{"sine", "abc"}, 64, "usage: tonewright-play"},
        {{"note", "H4"}, 64, "usage: tonewright-play"},
        {{"--pair", "3", "pink"}, 1, "there is no pair 3"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--driver", "Virtual Card, 16"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const PlayerRun run = Play(args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(run.exitStatus, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        // Nothing played, and nothing said to be.
        EXPECT_FALSE(fs::exists(run.dir / "take-001.wav"));
        EXPECT_EQ(run.out.find("Played"), std::string::npos);
        if (c.log[0] != '\0') {
            EXPECT_NE(ReadText(run.dir / "Dbg.Log").find(std::string(c.log) + "\n"),
                      std::string::npos);
        }
    }

    fs::create_directory(m_dir / "empty-registry");
    const PlayerRun none = RunProgram((m_dir / "empty-registry").string(), {"sine", "440"});
    EXPECT_EQ(none.exitStatus, 1) << none.err;
    EXPECT_NE(
        none.err.find("no driver is registered; searched: " + (m_dir / "empty-registry").string()),
        std::string::npos)
        << none.err;
    const std::string log = ReadText(none.dir / "Dbg.Log");
    EXPECT_NE(log.find("Couldn't find any ASIO drivers!"), std::string::npos) << log;
    EXPECT_NE(log.find("Shutting down debug logging system..."), std::string::npos) << log;
    const PlayerRun unknown = Play({"--driver", "No Such Card", "pink"});
    EXPECT_EQ(unknown.exitStatus, 1) << unknown.err;
    EXPECT_NE(unknown.err.find("no installed driver is named 'No Such Card'"), std::string::npos);
    const PlayerRun ambiguous = Play({"--driver", "Virtual Card", "pink"});
    EXPECT_EQ(ambiguous.exitStatus, 64) << ambiguous.err;
    EXPECT_NE(ambiguous.err.find("names several drivers"), std::string::npos) << ambiguous.err;

    // Help and version need no driver.
    const PlayerRun help = RunProgram("/nonexistent", {"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("SYNOPSIS"), std::string::npos);
    EXPECT_NE(help.out.find("EXIT STATUS"), std::string::npos);
    const PlayerRun version = RunProgram("/nonexistent", {"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("tonewright-play ", 0), 0u) << version.out;
    EXPECT_FALSE(fs::exists(version.dir / "Dbg.Log"));
}

TEST_F(TonewrightPlayTest, CtrlCEndsATenSecondSineInOrder)
{
    const PlayerRun listing = Play({"--driver", "Virtual Card, 16", "--list"});
    const int index = ListedIndex(listing.out, "Virtual Card, 16-bit");
    ASSERT_GE(index, 0) << listing.out;
    ASSERT_LT(index, 10);
    // No --driver: the configured driver is opened, and the file must survive.
    RunOptions options;
    options.interruptOnceTakeStarts = true;
    options.config = std::to_string(index);
    const PlayerRun run = Play({"--seconds", "10", "sine", "440"}, options);

    EXPECT_EQ(run.exitStatus, 130) << run.err;
    ASSERT_GE(run.secondsAfterSignal, 0.0) << "the take never started";
    EXPECT_LT(run.secondsAfterSignal, 0.5);
    EXPECT_EQ(run.out.find("Played"), std::string::npos);
    EXPECT_EQ(ReadText(run.dir / "ASIOConfig.txt"), options.config);
    const std::string log = ReadText(run.dir / "Dbg.Log");
    const size_t trailer = log.rfind("\n\nShutting down debug logging system...\nDate: ");
    ASSERT_NE(trailer, std::string::npos) << log;
    EXPECT_NE(log.find("- Time: ", trailer), std::string::npos);
    EXPECT_LT(log.find("AsioDriverList destruction."), trailer);
    // A cut take: complete on disk, far shorter than asked.
    const WavData take = ReadWavFile((run.dir / "take-001.wav").string());
    ASSERT_TRUE(take.valid);
    EXPECT_GT(take.Frames(), 0u);
    EXPECT_LT(take.Frames(), static_cast<size_t>(5.0 * kRate));
}

TEST_F(TonewrightPlayTest, ProgressShowsOnATerminalOnlyForSignalsOverOneSecond)
{
    RunOptions onTerminal;
    onTerminal.stderrOnTerminal = true;
    const PlayerRun shown =
        Play({"--driver", "Virtual Card, 16", "--seconds", "1.5", "white"}, onTerminal);
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_NE(shown.err.find("\r  0.0 / 1.5 s"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("\r  0.7 / 1.5 s"), std::string::npos) << shown.err;
    // The terminal turns the line end into "\r\n".
    EXPECT_NE(shown.err.find("\r  1.5 / 1.5 s\r\n"), std::string::npos) << shown.err;

    const PlayerRun shortOne =
        Play({"--driver", "Virtual Card, 16", "--seconds", "1", "white"}, onTerminal);
    ASSERT_EQ(shortOne.exitStatus, 0) << shortOne.err;
    // Other lines reach the terminal as "...\r\n": only the progress text tells.
    EXPECT_EQ(shortOne.err.find(" / 1.0 s"), std::string::npos) << shortOne.err;

    const PlayerRun onPipe = Play({"--driver", "Virtual Card, 16", "--seconds", "1.5", "white"});
    ASSERT_EQ(onPipe.exitStatus, 0) << onPipe.err;
    EXPECT_EQ(onPipe.err.find('\r'), std::string::npos) << onPipe.err;
    EXPECT_EQ(onPipe.err.find(" / 1.5 s"), std::string::npos) << onPipe.err;
}

} // namespace
