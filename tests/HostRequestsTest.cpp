// What the dialog asks of a host, on the scriptable test driver: the four
// play requests (their checks in order, the retried start, the rate handed
// to the generators, the outcome), the sample rate, and the driver's messages.
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/DriverMessages.h"
#include "host/NoiseRequests.h"
#include "host/SampleRateControl.h"
#include "host/ToneRequests.h"
#include "tests/HostFixture.h"

#include <limits>
#include <thread>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The default test card (two 32-bit channels, 256 frames, 48000 Hz) set up
// with a start that failed, so that the first request starts it.
class PlayRequests : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        Install({"Card A"});
        ASSERT_TRUE(StartHost(false));
        script->ForgetCalls();
        LoggedSince();
    }
    static bool AnythingArmed()
    {
        return pSineGenerator->bTonePlaying || pSineGenerator->bSweepPlaying ||
               pPinkNoiseGenerator->bPlaying || pWhiteNoiseGenerator->bPlaying;
    }
    // As if the callback had played every signal to its end.
    static void StopAll()
    {
        pSineGenerator->bTonePlaying = pSineGenerator->bSweepPlaying = false;
        pPinkNoiseGenerator->bPlaying = pWhiteNoiseGenerator->bPlaying = false;
    }
};

const struct Noise {
    const char* name;
    PlayOutcome (*play)(double, uint32_t);
    uint32_t Remaining() const
    {
        return name[4] == 'P' ? pPinkNoiseGenerator->nRemaining : pWhiteNoiseGenerator->nRemaining;
    }
} kNoises[] = {{"PlayPinkNoise", PlayPinkNoise}, {"PlayWhiteNoise", PlayWhiteNoise}};

// One valid request of each kind, with the count line it logs first.
const struct {
    PlayOutcome (*play)();
    const char* countLine;
} kRequests[] = {
    {[] { return PlaySineWav(1000.0, 0.5, 12); }, "GenerateSineWav - dwCountBuffers: 0"},
    {[] { return PlaySweepWav(100.0, 1000.0, 0.5, 12); }, "GenerateSweepWav - dwCountBuffers: 0"},
    {[] { return PlayPinkNoise(0.5, 12); }, "PlayPinkNoise - dwCountBuffers: 0"},
    {[] { return PlayWhiteNoise(0.5, 12); }, "PlayWhiteNoise - dwCountBuffers: 0"},
};

TEST_F(PlayRequests, ValueChecksStopAtTheFirstFailureInTheirOrderAndTheBoundsPass)
{
    const std::string sine = "Failed: PlaySineWav - ", sweep = "Failed: PlaySweepWav - ";
    const std::string loud = "antenuation dBs greater than 60!", early = "seconds less than 0.01!";
    const std::string late = "seconds greater than 60!", low = "Frequency less than 10 hz!";
    // Made in this order, each logging its line: where several values are
    // bad only the first check speaks, values at a bound pass theirs, and
    // NaN fails every check it meets.
    std::vector<std::pair<PlayOutcome, std::string>> cases = {
        {PlaySineWav(5.0, 0.001, 61), sine + loud},
        {PlaySineWav(1000.0, 0.5, 4294967295u), sine + loud},
        {PlaySineWav(30000.0, 0.005, 60), sine + early},
        {PlaySineWav(30000.0, 60.5, 12), sine + late},
        {PlaySineWav(22050.5, 60.0, 12), sine + "Frequency greater than half the sample rate!"},
        {PlaySineWav(9.99, 0.01, 12), sine + low},
        {PlaySineWav(1000.0, kNaN, 12), sine + early},
        {PlaySineWav(kNaN, 0.5, 12), sine + low},
        {PlaySweepWav(5.0, 30000.0, 0.001, 61), sweep + loud},
        {PlaySweepWav(100.0, 1000.0, 0.005, 12), sweep + early},
        {PlaySweepWav(100.0, 1000.0, 60.5, 12), sweep + late},
        {PlaySweepWav(22050.5, 5.0, 1.0, 12), sweep + "freqStart greater 22050 hz!"},
        {PlaySweepWav(9.99, 30000.0, 1.0, 12), sweep + low},
        {PlaySweepWav(10.0, 22050.5, 0.01, 60), sweep + "Frequency greater than 22050 hz!"},
        {PlaySweepWav(22050.0, 9.5, 60.0, 0), sweep + low},
        {PlaySweepWav(kNaN, 1000.0, 1.0, 12), sweep + low},
    };
    for (const Noise& r : kNoises) {
        const std::string noise = "Failed: " + std::string(r.name) + " - ";
        cases.push_back({r.play(0.001, 61), noise + loud});
        cases.push_back({r.play(1.0, 4294967295u), noise + loud});
        cases.push_back({r.play(0.005, 60), noise + early});
        cases.push_back({r.play(kNaN, 12), noise + early});
        cases.push_back({r.play(60.5, 12), noise + late});
    }
    Lines expected;
    for (const auto& [outcome, line] : cases) {
        EXPECT_EQ(outcome.status, PlayStatus::Refused) << line;
        EXPECT_EQ(std::string(outcome.reason), line);
        expected.push_back(line);
    }
    EXPECT_EQ(LoggedSince(), expected);
    EXPECT_FALSE(AnythingArmed());
    EXPECT_EQ(script->CountOf("start"), 0);
    // 10 Hz for 0.01 s passes the checks; its plan, a tenth of a cycle, fails.
    const PlayOutcome unplannable = PlaySineWav(10.0, 0.01, 12);
    EXPECT_EQ(unplannable.status, PlayStatus::Refused);
    EXPECT_EQ(std::string(unplannable.reason).find("Failed"), std::string::npos);
}

TEST_F(PlayRequests, RequestsLogTheBufferCountThenArmWithTheCardsRateInWholeHertz)
{
    dwCountBuffers = 1234;
    EXPECT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Armed);
    EXPECT_EQ(pSineGenerator->dSampleRate, 48000.0);
    // 48000 frames are 187.5 buffers of 256, rounded to 188, and the closing one.
    EXPECT_EQ(pSineGenerator->dwSweepBuffers, 189u);
    for (const Noise& r : kNoises)
        EXPECT_EQ(r.play(1.0, 12).status, PlayStatus::Armed);
    EXPECT_EQ(LoggedSince(), (Lines{"GenerateSweepWav - dwCountBuffers: 1234",
                                    "PlayPinkNoise - dwCountBuffers: 1234",
                                    "PlayWhiteNoise - dwCountBuffers: 1234"}));
    const struct {
        double rate, seconds;
        uint32_t frames;
    } lengths[] = {{48000.0, 1.0, 48000},
                   {44100.0, 0.01, 441},
                   {44100.0, 60.0, 2646000},
                   {44100.9, 10.0, 441000}};
    for (const Noise& r : kNoises)
        for (const auto& length : lengths) {
            asioDriverInfo.sampleRate = length.rate;
            StopAll();
            EXPECT_EQ(r.play(length.seconds, 60).status, PlayStatus::Armed);
            EXPECT_EQ(r.Remaining(), length.frames) << r.name << " " << length.rate;
        }
    // The top frequency is the same at every rate.
    asioDriverInfo.sampleRate = 96000.0;
    EXPECT_EQ(PlaySineWav(22050.0, 60.0, 0).status, PlayStatus::Armed);
}

TEST_F(PlayRequests, BusyGeneratorsRefuseOrRestartAndLogOnlyTheCount)
{
    // A tone while a tone plays is dropped; a sweep during a sweep restarts it.
    ASSERT_EQ(PlaySineWav(1000.0, 1.0, 12).status, PlayStatus::Armed);
    LoggedSince(); // the tone's plan
    EXPECT_EQ(PlaySineWav(500.0, 2.0, 0).status, PlayStatus::Refused);
    StopAll();
    ASSERT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Armed);
    EXPECT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Armed);
    EXPECT_TRUE(pSineGenerator->bSweepRestart);
    // Noise while it plays keeps the running request; each noise arms at
    // once though the other plays.
    for (const Noise& r : kNoises) {
        ASSERT_EQ(r.play(1.0, 12).status, PlayStatus::Armed);
        EXPECT_EQ(r.play(2.0, 0).status, PlayStatus::Refused);
        EXPECT_EQ(r.Remaining(), 48000u);
    }
    EXPECT_EQ(LoggedSince(),
              (Lines{"GenerateSineWav - dwCountBuffers: 0", "GenerateSweepWav - dwCountBuffers: 0",
                     "GenerateSweepWav - dwCountBuffers: 0", "PlayPinkNoise - dwCountBuffers: 0",
                     "PlayPinkNoise - dwCountBuffers: 0", "PlayWhiteNoise - dwCountBuffers: 0",
                     "PlayWhiteNoise - dwCountBuffers: 0"}));
}

TEST_F(PlayRequests, FailedStartIsLoggedArmsNothingAndIsRetriedByTheNextRequest)
{
    for (const auto& request : kRequests) {
        SCOPED_TRACE(request.countLine);
        script->ForgetCalls();
        LoggedSince();
        pASIOBuffers->bStarted = false;
        script->startResult = ASE_HWMalfunction;
        const PlayOutcome refused = request.play();
        EXPECT_EQ(refused.status, PlayStatus::HostFailure);
        EXPECT_EQ(std::string(refused.reason), "Can't start!");
        EXPECT_FALSE(AnythingArmed());
        script->startResult = ASE_OK;
        EXPECT_EQ(request.play().status, PlayStatus::Armed);
        // The tone's generator adds its own lines after these.
        const Lines lines = LoggedSince();
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2),
                  (Lines{"Can't start!", request.countLine}));
        // Once started, no request starts it again.
        StopAll();
        request.play();
        StopAll();
        EXPECT_EQ(script->CountOf("start"), 2);
    }
}

using SampleRateControl = HostTest;

TEST_F(SampleRateControl, EveryEntryBeforeASuccessfulSetupFailsLeavingTheDriverAlone)
{
    EXPECT_FALSE(ASIOSelectDriver(&dialog, &outputCombo));
    EXPECT_EQ(LoggedSince(), Lines{"ptrASIO == NULL"});
    Install({"Card A"});
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    LoggedSince();
    script->ForgetCalls();
    EXPECT_FALSE(ASIOSetSampleRate(48000));
    EXPECT_EQ(ASIOGetSampleRate(), 0);
    ASIOSelectOutputPair(0);
    for (const auto& request : kRequests)
        EXPECT_EQ(request.play().status, PlayStatus::HostFailure);
    const Lines lines = LoggedSince();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Failed: ASIOSetSampleRate - ASIO system not initialized!");
    EXPECT_EQ(lines[1].rfind("Failed: ASIOGetSampleRate", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "Failed: ASIOSelectOutputPair - ASIO system not initialized!");
    EXPECT_TRUE(script->Calls().empty());
}

TEST_F(SampleRateControl, ReadsAreWholeHertzAndRefusalsLogTheirAdviceAndKeepTheRate)
{
    Install({"Card A"});
    script->sampleRate = 44100.5;
    ASSERT_TRUE(StartHost(false));
    LoggedSince();
    EXPECT_EQ(ASIOGetSampleRate(), 44100);
    script->getSampleRateResult = ASE_NotPresent;
    EXPECT_EQ(ASIOGetSampleRate(), 0);
    script->getSampleRateResult = ASE_HWMalfunction;
    EXPECT_EQ(ASIOGetSampleRate(), 0);
    script->getSampleRateResult = ASE_OK;
    // Only the sure refusals of canSampleRate skip the set.
    script->canSampleRateResult = ASE_NoClock;
    EXPECT_FALSE(ASIOSetSampleRate(96000));
    EXPECT_FALSE(ASIOSetSampleRate(3000000000u)); // above the signed range, logged as asked
    script->canSampleRateResult = ASE_NotPresent;
    EXPECT_FALSE(ASIOSetSampleRate(44100));
    EXPECT_EQ(script->CountOf("setSampleRate"), 0);
    script->canSampleRateResult = ASE_OK;
    script->setSampleRateResult = ASE_InvalidMode;
    EXPECT_FALSE(ASIOSetSampleRate(48000));
    EXPECT_EQ(asioDriverInfo.sampleRate, 44100.5);
    script->canSampleRateResult = ASE_InvalidParameter;
    script->setSampleRateResult = ASE_OK;
    EXPECT_TRUE(ASIOSetSampleRate(96000));
    EXPECT_EQ(asioDriverInfo.sampleRate, 96000.0);
    const std::string locked =
        "Ensure you don't have 'Rate Locked' set in the sound card's control panel";
    const std::string unsupported = "...or perhaps requested sample rate is not supported: ";
    EXPECT_EQ(
        LoggedSince(),
        (Lines{"Sample rate: 44100", "Failed: GetSampleRate - No external clock I/O",
               "Last known sample rate: 44100", "Failed: function GetSampleRate - Reason unknown",
               "Last known sample rate: 44100", "Failed: SetSampleRate", locked + ",",
               unsupported + "96000", "Failed: SetSampleRate", locked + ",",
               unsupported + "3000000000", "Can't set requested sample rate: No external clock I/O",
               "Couldn't set sound card to requested sample rate: 48000", locked + ".",
               "Set sample rate: 96000"}));
    // A rate no card runs at reads as unknown, not as a wrapped number.
    for (double rate : {-44100.0, 0.0, 1.0e12, kNaN, std::numeric_limits<double>::infinity()})
        EXPECT_EQ(WholeHertz(rate), 0) << rate;
}

using DriverMessages = HostTest;

TEST_F(DriverMessages, EachSelectorAndEachSupportedQueryHasItsAnswerAndItsLine)
{
    const char* const none = nullptr; // nothing logged
    const struct {
        int32_t selector, answer;
        const char* line;
    } cases[] = {
        {kAsioEngineVersion, 2, "asioMessages: kAsioEngineVersion"},
        {kAsioBufferSizeChange, 0, none},
        {kAsioResyncRequest, 1, "asioMessages: kAsioResyncRequest"},
        {kAsioLatenciesChanged, 1, "asioMessages: kAsioLatenciesChanged"},
        {kAsioSupportsTimeInfo, 0, "asioMessages: kAsioSupportsTimeInfo"},
        {kAsioSupportsTimeCode, 0, "asioMessages: kAsioSupportsTimeCode"},
        {kAsioMMCCommand, 0, none},
        {kAsioSupportsInputMonitor, 0, none},
        {0, 0, none},
        {11, 0, none},
        {-1, 0, none},
    };
    Lines expected;
    for (const auto& c : cases) {
        EXPECT_EQ(asioMessages(c.selector, 0, nullptr, nullptr), c.answer) << c.selector;
        if (c.line != none) expected.emplace_back(c.line);
    }
    // The reset, the version, resync, latencies, both time questions and
    // input monitoring are announced; the size change and all else are not.
    const int32_t supported[] = {0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 0, 0};
    for (int32_t value = -3; value <= 12; value += value == -3 ? 3 : 1) {
        EXPECT_EQ(asioMessages(kAsioSelectorSupported, value, nullptr, nullptr),
                  value < 0 ? 0 : supported[value])
            << value;
        expected.emplace_back("asioMessages: kAsioSelectorSupported");
    }
    EXPECT_EQ(LoggedSince(), expected);
}

TEST_F(DriverMessages, ResetRequestFromTheDriversThreadIsPostedToTheDialogsQueue)
{
    Install({"Card A"});
    ASSERT_TRUE(StartHost(false));
    LoggedSince();
    // Through the callbacks the driver was handed; answered and logged in
    // the call, handled later on the dialog's thread.
    std::thread([this] { EXPECT_EQ(script->SendMessage(kAsioResetRequest, 0), 1); }).join();
    // Without a dialog it is still answered and logged.
    asioDriverInfo.hWndMain = nullptr;
    EXPECT_EQ(asioMessages(kAsioResetRequest, 0, nullptr, nullptr), 1);
    const std::string line = "asioMessages: kAsioResetRequest received - triggering complete reset";
    EXPECT_EQ(LoggedSince(), (Lines{line, line}));
    ASSERT_EQ(dialog.posted.size(), 1u);
    EXPECT_EQ(dialog.posted[0].message, 0x800Au);
    EXPECT_EQ(dialog.posted[0].wParam, 0u);
    EXPECT_EQ(dialog.posted[0].lParam, 0);
}

} // namespace
