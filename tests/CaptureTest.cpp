// Captures of an input pair against independent truth: on the virtual card,
// the offline render of the same request shifted by the loopback latency
// (read back by sox); on a jackd
// of the test's own, the ports looped by the test; on ALSA, the raw samples
// a file device's infile holds; on the test driver, the switch the capture
// starts with, counted on its inputs. Then verify's verdicts on such paths.
#include "host/HostSession.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"
#include "tests/TestDriverModule.h"
#include "tests/fixtures/JackServer.h"
#include "tests/fixtures/SignalMeasure.h"
#include "tests/fixtures/WavReader.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

// libjack's metadata store (Berkeley DB) keeps what it allocated to the
// process's end; nothing of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions()
{
    return "leak:libdb-5.3.so\n";
}

namespace {

constexpr size_t kBuffer = 256;
// The default tail of half a second at 48000 Hz, in whole buffers.
constexpr size_t kTail = (24000 + kBuffer - 1) / kBuffer * kBuffer;

// One driver entry of a registry folder: its key, CLSID, module and values.
std::string Entry(const std::string& key, const std::string& clsid, const std::string& module,
                  const std::string& values = "")
{
    return "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\InprocServer32]\n@=\"" + module +
           "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + key + "]\n\"CLSID\"=\"" + clsid +
           "\"\n\"Description\"=\"" + key + "\"\n" + values + "\n";
}

std::string Hex(size_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08zx", value);
    return text;
}

void WriteRegistry(const std::string& entries)
{
    std::ofstream("cards.reg") << "Windows Registry Editor Version 5.00\n\n" << entries;
}

// tonewright-play in the current folder on the product drivers and cards.reg;
// its exit status, its output in play.txt.
std::string Player(const std::string& args, const std::string& env = "")
{
    return RunCommand(
        env + " TONEWRIGHT_REGISTRY=" TONEWRIGHT_PRODUCT_REGISTRY ":. " TONEWRIGHT_PLAY " " + args +
        " >play.txt 2>&1; echo $?");
}

// The capture is silence, the plan from `latency` frames on (or one buffer
// later, when the request came just before a switch), then silence to the
// end of the tail after the plan's last buffer.
::testing::AssertionResult IsShiftedPlan(const std::vector<double>& capture,
                                         const std::vector<double>& plan, size_t latency)
{
    for (size_t lag : {latency, latency + kBuffer}) {
        std::vector<double> expected(lag - latency + plan.size() + kTail, 0.0);
        std::copy(plan.begin(), plan.end(), expected.begin() + static_cast<long>(lag));
        if (capture == expected) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << capture.size() << " frames, plan " << plan.size() << ", first sound at "
           << std::find_if(capture.begin(), capture.end(), [](double v) { return v != 0.0; }) -
                  capture.begin();
}

TEST(Capture, VirtualCardsInputPairIsThePlayedSignalShiftedByItsLoopbackLatency)
{
    ScratchFolder folder("tonewright-capture");
    struct Card {
        const char* key;
        const char* listed; // the start of its listed name
        const char* format;
        size_t latency; // 0: the default, one buffer
    };
    const Card cards[] = {{"16-bit", "16", "s16", 0},
                          {"24-bit", "24", "s24", 300},
                          {"32-bit", "32-bit i", "s32", 1000},
                          {"float", "32-bit f", "float", 0}};
    for (const Card& card : cards)
        for (const char* signal : {"sine 1000", "sweep 100 5000", "white"}) {
            SCOPED_TRACE(std::string(card.key) + " " + signal);
            WriteRegistry(
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card " + std::string(card.key) +
                "]\n\"Channels\"=dword:00000004\n\"LoopbackLatency\"=dword:" + Hex(card.latency) +
                "\n");
            const std::string request = std::string(" --seed 3 --seconds 0.1 ") + signal;
            // Played on pair 1, captured from input pair 1: pair 0 would be silent.
            ASSERT_EQ(Player(std::string("--driver 'Virtual Card, ") + card.listed +
                             "' --pair 1 --capture cap.wav --input 1" + request),
                      "0\n");
            ASSERT_EQ(Player(std::string("--output plan.wav --format ") + card.format + request),
                      "0\n");
            const SoxAudio capture = SoxRead("cap.wav");
            const std::vector<double> plan = SoxRead("plan.wav").channels.at(0);
            ASSERT_EQ(capture.channels.size(), 2u);
            EXPECT_GT(Peak(plan), 0.05);
            for (const auto& channel : capture.channels)
                EXPECT_TRUE(IsShiftedPlan(channel, plan, card.latency ? card.latency : kBuffer));
        }
}

// A session whose only driver is `entry`, capturing input pair 0 as samples
// while `during` runs once the request is armed.
template <class During>
CaptureResult CaptureInProcess(const std::string& entry, const SignalRequest& request,
                               During during)
{
    WriteRegistry(entry);
    setenv("TONEWRIGHT_REGISTRY", ".", 1);
    RegistryReload();
    HostSession session;
    CaptureRequest capture;
    capture.keepSamples = true;
    session.RequestCapture(capture);
    EXPECT_EQ(session.StartUp(-1), SessionStart::Started);
    EXPECT_EQ(session.CaptureProblem(), "");
    during(session, false);
    EXPECT_EQ(session.Play(request).status, PlayStatus::Armed);
    for (int i = 0; i < 20000 && !session.CaptureEnded(); ++i)
        during(session, true);
    CaptureResult result = session.FinishCapture();
    EXPECT_EQ(result.end, CaptureEnd::Completed);
    EXPECT_EQ(result.lostBuffers, 0u);
    session.ShutDown();
    unsetenv("TONEWRIGHT_REGISTRY");
    RegistryReload();
    return result;
}

void Pause(HostSession&, bool)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

TEST(Capture, JackInputsLoopedToItsOutputsHearThemOnePeriodLaterExactly)
{
    ScratchFolder folder("tonewright-capture-jack");
    JackServer server;
    ASSERT_EQ(server.Start(48000, kBuffer), "");
    ASSERT_EQ(Player("--output plan.wav --format float --seconds 0.2 sine 1000"), "0\n");
    jack_client_t* patch = jack_client_open("patch", JackNoStartServer, nullptr);
    ASSERT_NE(patch, nullptr);
    const CaptureResult result = CaptureInProcess(
        Entry("JACK", "{EAD3AE35-3C6F-429C-B960-650B9B43EECA}", TONEWRIGHT_JACK_MODULE,
              "\"AutoConnect\"=dword:00000000"),
        {Signal::Sine, 1000.0, 0.0, 0.2, 12}, [&](HostSession& session, bool playing) {
            if (!playing) {
                jack_connect(patch, "tonewright:out_1", "tonewright:in_1");
                jack_connect(patch, "tonewright:out_2", "tonewright:in_2");
                // Patched from the next cycle on; the request follows it.
                const uint32_t switched = session.BuffersSwitched();
                while (session.BuffersSwitched() < switched + 3)
                    Pause(session, false);
            }
            Pause(session, playing);
        });
    jack_client_close(patch);
    // The latency of a port looped to its own client is the server's period: 256 frames.
    const std::vector<double> plan = SoxRead("plan.wav").channels.at(0);
    EXPECT_TRUE(IsShiftedPlan(result.left, plan, kBuffer));
    EXPECT_TRUE(IsShiftedPlan(result.right, plan, kBuffer));
}

// An ALSA card in 24-bit that plays into nothing and captures in.raw; the
// environment that makes libasound read its definition.
std::string AlsaFileCard()
{
    std::ofstream("asoundrc") << "pcm.tonewright_in { type file slave.pcm null file \"/dev/null\" "
                                 "infile \"in.raw\" format raw }\n";
    WriteRegistry(Entry("ALSA: file", "{5D0C9B1E-6F42-4A8B-9C3D-2E1F0A4B5C6D}",
                        TONEWRIGHT_ALSA_MODULE,
                        "\"Device\"=\"file:FILE=out.raw,FORMAT=raw\"\n\"CaptureDevice\"="
                        "\"tonewright_in\"\n\"SampleType\"=\"Int24LSB\"\n\"Clock\"=\"system\""));
    return "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:asoundrc";
}

TEST(Capture, AlsaCaptureDeviceGivesTheSamplesOfItsInfile)
{
    ScratchFolder folder("tonewright-capture-alsa");
    // Ten seconds of frames that name themselves: left n + 1, right -(n + 1), 24-bit.
    std::vector<uint8_t> raw;
    for (int32_t n = 1; n <= 480000; ++n)
        for (int32_t sample : {n, -n})
            for (int b = 0; b < 3; ++b)
                raw.push_back(static_cast<uint8_t>(sample >> (8 * b)));
    std::ofstream("in.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(raw.data()), static_cast<long>(raw.size()));
    ASSERT_EQ(Player("--driver 'ALSA: file' --capture cap.wav sine 1000", AlsaFileCard()), "0\n");
    const WavData capture = ReadWavFile("cap.wav");
    ASSERT_GE(capture.Frames(), 48000u);
    const uint32_t first = capture.data[0] | capture.data[1] << 8 | capture.data[2] << 16;
    ASSERT_TRUE(first > 0 && (first - 1) * 6 + capture.data.size() <= raw.size()) << first;
    EXPECT_TRUE(
        std::equal(capture.data.begin(), capture.data.end(), raw.begin() + (first - 1) * 6));
}

TEST(Capture, StartsWithTheSwitchAfterTheRequestAndEndsWithItsTail)
{
    ScratchFolder folder("tonewright-capture-test-driver");
    TestDriverScript* script = OpenTestDriverScript();
    ASSERT_NE(script, nullptr);
    script->Reset();
    script->numInputs = 2;
    script->inputsCountFrames = true;
    const CaptureResult result = CaptureInProcess(
        Entry("Test", "{379E0702-5E41-4909-A9CD-3CD2C5626A87}", TONEWRIGHT_TEST_DRIVER_MODULE),
        {Signal::Sine, 1000.0, 0.0, 0.01, 12},
        [&](HostSession&, bool playing) { script->DriveSwitches(playing ? 1 : 3); });
    script->Reset();
    // Three switches before the request; the tone's 480 frames take two.
    ASSERT_EQ(result.left.size(), 2 * kBuffer + kTail);
    for (size_t i = 0; i < result.left.size(); i += result.left.size() - 1) {
        EXPECT_EQ(std::lround(result.left[i] * 2147483648.0), (1 << 24) + 3 * 256 + long(i));
        EXPECT_EQ(std::lround(result.right[i] * 2147483648.0), (2 << 24) + 3 * 256 + long(i));
    }
}

TEST(Capture, RequestsWhileTheVirtualCardCapturesAreSafe)
{
    ScratchFolder folder("tonewright-capture-requests");
    int step = 0;
    const CaptureResult result = CaptureInProcess(
        Entry("Virtual Card float", "{4AA89145-FC0F-46C8-B3B7-131FE52AEFC8}",
              TONEWRIGHT_VIRTUAL_CARD_MODULE),
        {Signal::Sine, 1000.0, 0.0, 0.3, 12}, [&](HostSession& session, bool playing) {
            if (playing && step++ < 3) {
                session.Play({Signal::White, 0.0, 0.0, 0.1, 20});
                session.SelectPair((step + 1) % 2);
                session.Describe();
            }
            Pause(session, playing);
        });
    EXPECT_GT(Peak(result.left), 0.2);
}

// verify --json in the current folder: its exit status, then the fields the
// help promises, read by Python's json: passed, bitExact, latencyFrames and
// the values of peak, gain, frequency and THD+N ("!" after a failed one).
std::string Verify(const std::string& args, const std::string& env = "")
{
    std::ofstream("fields.py")
        << "import json\nd = json.load(open('v.json'))\nc = {x['name']: x for x in d['checks']}\n"
           "assert {'signal', 'driver', 'sampleType', 'rate', 'inputPair', 'seed', 'latencyMs',\n"
           "        'checks', 'harmonicsDb', 'response'} <= d.keys()\n"
           "print(d['passed'], d['bitExact'], d['latencyFrames'], *('%s=%.2f%s' % (n, "
           "c[n]['value'], '' if c[n]['pass'] else '!') for n in ('peak', 'gain', 'frequency', 'THD+N') "
           "if n in c))\n";
    return RunCommand(env +
                      " TONEWRIGHT_REGISTRY=" TONEWRIGHT_PRODUCT_REGISTRY ":. " TONEWRIGHT_PLAY
                      " --seed 5 --seconds 0.2 " +
                      args + " --json >v.json 2>err.txt; echo $?; python3 fields.py 2>&1");
}

TEST(Capture, VerifyPassesExactLoopbacksAndNamesWhatAnAnalogPathChanged)
{
    ScratchFolder folder("tonewright-verify");
    // Each signal kind in two formats, each format with two kinds: the capture
    // of every signal in every format is exact by the test above.
    struct Card {
        const char* key;
        size_t latency;
        const char* signals[2];
    };
    const Card cards[] = {{"16-bit", 256, {"sine 1000", "pink"}},
                          {"24-bit", 300, {"sweep 100 5000", "white"}},
                          {"32-bit", 1000, {"note A4", "sweep 20 20000"}},
                          {"float", 256, {"white", "sine 997"}}};
    for (const Card& card : cards) {
        WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card " + std::string(card.key) +
                      "]\n\"LoopbackLatency\"=dword:" + Hex(card.latency) + "\n");
        for (const char* signal : card.signals) {
            const std::string verdict =
                Verify("--driver 'Virtual Card " + std::string(card.key) + "' verify " + signal);
            EXPECT_EQ(verdict.rfind("0\nTrue True " + std::to_string(card.latency) + " ", 0), 0u)
                << card.key << " " << signal << ": " << verdict;
        }
    }

    // The simulated analog path: a tone at -12 dBFS (RMS -15.05) over noise at
    // -90 dBFS has a THD+N of -74.95 dB; clipped at -14 dBFS it peaks there
    // and fails THD+N; 1 dB down, it fails the gain (the table below).
    WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 32-bit]\n"
                  "\"LoopbackNoiseDb\"=\"-90\"\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 24-bit]\n"
                  "\"LoopbackClipDb\"=\"-14\"\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 16-bit]\n"
                  "\"LoopbackGainDb\"=\"-1\"\n");
    const std::string noisy = Verify("--driver 'Virtual Card 32-bit' --thdn -70 verify sine 1000");
    EXPECT_TRUE(
        std::regex_match(noisy, std::regex("0\nTrue False 256 peak=-12.00 gain=-?0.00 frequency=1000.00 "
                                           "THD\\+N=-7(4\\.[6-9]|5\\.[0-2]).\n")))
        << noisy;
    EXPECT_TRUE(std::regex_search(Verify("--driver 'Virtual Card 24-bit' verify sine 1000"),
                                  std::regex("^3\nFalse False 256 peak=-14.00 .*THD\\+N=-[0-9.]+!\n")));
    // The table a tester reads, the capture kept and the spectrum drawn.
    const std::string table =
        RunCommand("TONEWRIGHT_REGISTRY=" TONEWRIGHT_PRODUCT_REGISTRY ":. " TONEWRIGHT_PLAY
                   " --driver 'Virtual Card 16-bit' --seconds 0.3 --keep k.wav --plot p.png "
                   "verify sine 1000 2>&1; echo $?; sox --i -b k.wav; file -b p.png | cut -c1-26");
    EXPECT_TRUE(
        std::regex_search(table, std::regex(R"(\n  gain +-1\.00  dB +0 \+- 0\.01 +FAIL\n(.*\n)*)"
                                            "FAIL\n3\n16\nPNG image data, 1200 x 700\n$")))
        << table;
}

TEST(Capture, VerifyOnJackAndAlsaJudgesWhatTheirPathsCarried)
{
    ScratchFolder folder("tonewright-verify-servers");
    JackServer server;
    ASSERT_EQ(server.Start(48000, kBuffer), "");
    // The driver's inputs connected to its own outputs: exact, one period late.
    WriteRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\JACK]\n\"CapturePorts\"=\"^tonewright:out_\"\n");
    const std::string jack = Verify("--driver JACK verify white");
    EXPECT_EQ(jack.rfind("0\nTrue True 256 peak=", 0), 0u) << jack;
    // A 997 Hz tone at -18 dBFS written by sox, captured in place of the
    // planned 1000 Hz at -12 dBFS: the verdict is the file's.
    RunCommand("sox -D -n -r 48000 -c 2 -b 24 -e signed-integer -t raw in.raw synth 5 sine 997 "
               "gain -18");
    const std::string alsa = Verify("--driver 'ALSA: file' verify sine 1000", AlsaFileCard());
    EXPECT_TRUE(std::regex_search(
        alsa,
        std::regex("^3\nFalse False [0-9]+ peak=-18\\.0[01] gain=-(5\\.9[89]|6\\.0[0-2])! "
                         "frequency=997\\.00! ")))
        << alsa;
}

} // namespace
