// The four play requests against a fake driver: the order of the value
// checks and their log lines, the retried driver start, the rate handed to
// the generators, and the outcome each request reports.
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/HostState.h"
#include "host/NoiseRequests.h"
#include "host/ToneRequests.h"
#include "log/DebugLog.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/LoggedLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// A two-channel 32-bit card with 256-frame buffers whose start is scripted.
class PlayDriver final : public IASIO {
public:
    double rate = 44100.0;
    ASIOError startResult = ASE_OK;
    int starts = 0;

    HRESULT QueryInterface(const IID&, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    ASIOBool init(void*) override { return ASIOTrue; }
    void getDriverName(char* name) override { std::strcpy(name, "Play card"); }
    int32_t getDriverVersion() override { return 1; }
    void getErrorMessage(char* text) override { text[0] = '\0'; }
    ASIOError start() override
    {
        ++starts;
        return startResult;
    }
    ASIOError stop() override { return ASE_OK; }
    ASIOError getChannels(int32_t* in, int32_t* out) override
    {
        *in = 0;
        *out = 2;
        return ASE_OK;
    }
    ASIOError getLatencies(int32_t* in, int32_t* out) override
    {
        *in = 0;
        *out = 256;
        return ASE_OK;
    }
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferred,
                            int32_t* granularity) override
    {
        *minSize = *maxSize = *preferred = 256;
        *granularity = 0;
        return ASE_OK;
    }
    ASIOError canSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError getSampleRate(ASIOSampleRate* r) override
    {
        *r = rate;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError getClockSources(ASIOClockSource*, int32_t* n) override
    {
        *n = 0;
        return ASE_OK;
    }
    ASIOError setClockSource(int32_t) override { return ASE_OK; }
    ASIOError getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override { return ASE_NotPresent; }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override
    {
        info->isActive = ASIOTrue;
        info->channelGroup = 0;
        info->type = ASIOSTInt32LSB;
        std::strcpy(info->name, info->channel == 0 ? "Out 1" : "Out 2");
        return ASE_OK;
    }
    ASIOError createBuffers(ASIOBufferInfo*, int32_t, int32_t, ASIOCallbacks*) override
    {
        return ASE_OK;
    }
    ASIOError disposeBuffers() override { return ASE_OK; }
    ASIOError controlPanel() override { return ASE_OK; }
    ASIOError future(int32_t, void*) override { return ASE_InvalidParameter; }
    ASIOError outputReady() override { return ASE_NotPresent; }
};

std::string ReasonOf(const PlayOutcome& outcome)
{
    return outcome.reason != nullptr ? outcome.reason : "";
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A queried driver that has started, and the three generators in the
// 32-bit format; the log is opened afterwards so that only the requests'
// lines are read.
class PlayRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        pASIOBuffers = new (std::nothrow) AsioBuffers(&driver, nullptr, nullptr);
        ASSERT_NE(pASIOBuffers, nullptr);
        ASSERT_TRUE(pASIOBuffers->bInitSuccess);
        ASSERT_EQ(asioDriverInfo.sampleRate, 44100.0);
        pASIOBuffers->bStarted = true;
        pSineGenerator = new (std::nothrow) SineGenerator(256, FormatCode::Int32);
        pPinkNoiseGenerator = PinkNoiseGenerator::Create(FormatCode::Int32);
        pWhiteNoiseGenerator = WhiteNoiseGenerator::Create(FormatCode::Int32);
        ASSERT_NE(pSineGenerator, nullptr);
        ASSERT_NE(pPinkNoiseGenerator, nullptr);
        ASSERT_NE(pWhiteNoiseGenerator, nullptr);
        DbgLogOpen();
    }

    void TearDown() override
    {
        DbgLogClose();
        // The setup's destructor frees whichever generators are still there.
        delete pASIOBuffers;
        pASIOBuffers = nullptr;
        delete pSineGenerator;
        pSineGenerator = nullptr;
        ptrASIO = nullptr;
    }

    // The lines the requests logged since the log was opened.
    Lines CloseAndRead()
    {
        DbgLogClose();
        return LoggedLines();
    }

    bool AnythingArmed() const
    {
        return pSineGenerator->bTonePlaying.load() || pSineGenerator->bSweepPlaying.load() ||
               pPinkNoiseGenerator->bPlaying.load() || pWhiteNoiseGenerator->bPlaying.load();
    }

    // As if the callback had played every signal to its end.
    static void StopAll()
    {
        pSineGenerator->bTonePlaying.store(false);
        pSineGenerator->bSweepPlaying.store(false);
        pPinkNoiseGenerator->bPlaying.store(false);
        pWhiteNoiseGenerator->bPlaying.store(false);
    }

    ScratchFolder folder{"tw-play"};
    PlayDriver driver;
};

struct NoiseRequest {
    const char* name;
    PlayOutcome (*play)(double, uint32_t);
    bool Pink() const { return std::strcmp(name, "PlayPinkNoise") == 0; }
    bool PlayingNow() const
    {
        return Pink() ? pPinkNoiseGenerator->bPlaying.load()
                      : pWhiteNoiseGenerator->bPlaying.load();
    }
    uint32_t Remaining() const
    {
        return Pink() ? pPinkNoiseGenerator->nRemaining : pWhiteNoiseGenerator->nRemaining;
    }
};

const NoiseRequest kNoiseRequests[] = {{"PlayPinkNoise", PlayPinkNoise},
                                       {"PlayWhiteNoise", PlayWhiteNoise}};

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

std::string Failed(const std::string& request, const char* what)
{
    return "Failed: " + request + " - " + what;
}

TEST_F(PlayRequests, ValueChecksStopAtTheFirstFailureInTheirOrder)
{
    struct Case {
        PlayOutcome outcome;
        std::string line;
    };
    // Made in this order, each logging its line; where every value is bad,
    // only the first check speaks.
    std::vector<Case> cases = {
        {PlaySineWav(5.0, 0.001, 61), Failed("PlaySineWav", "antenuation dBs greater than 60!")},
        {PlaySineWav(1000.0, 0.5, 4294967295u),
         Failed("PlaySineWav", "antenuation dBs greater than 60!")},
        {PlaySineWav(30000.0, 0.005, 12), Failed("PlaySineWav", "seconds less than 0.01!")},
        {PlaySineWav(30000.0, 60.5, 12), Failed("PlaySineWav", "seconds greater than 60!")},
        {PlaySineWav(22050.5, 0.5, 12),
         Failed("PlaySineWav", "Frequency greater than half the sample rate!")},
        {PlaySineWav(9.99, 0.5, 12), Failed("PlaySineWav", "Frequency less than 10 hz!")},
        {PlaySineWav(1000.0, kNaN, 12), Failed("PlaySineWav", "seconds less than 0.01!")},
        {PlaySineWav(kNaN, 0.5, 12), Failed("PlaySineWav", "Frequency less than 10 hz!")},

        {PlaySweepWav(5.0, 30000.0, 0.001, 61),
         Failed("PlaySweepWav", "antenuation dBs greater than 60!")},
        {PlaySweepWav(100.0, 1000.0, 0.005, 12), Failed("PlaySweepWav", "seconds less than 0.01!")},
        {PlaySweepWav(100.0, 1000.0, 61.0, 12), Failed("PlaySweepWav", "seconds greater than 60!")},
        {PlaySweepWav(22051.0, 5.0, 1.0, 12),
         Failed("PlaySweepWav", "freqStart greater 22050 hz!")},
        {PlaySweepWav(5.0, 30000.0, 1.0, 12), Failed("PlaySweepWav", "Frequency less than 10 hz!")},
        {PlaySweepWav(100.0, 30000.0, 1.0, 12),
         Failed("PlaySweepWav", "Frequency greater than 22050 hz!")},
        {PlaySweepWav(100.0, 9.5, 1.0, 12), Failed("PlaySweepWav", "Frequency less than 10 hz!")},
        {PlaySweepWav(kNaN, 1000.0, 1.0, 12), Failed("PlaySweepWav", "Frequency less than 10 hz!")},
        {PlaySweepWav(100.0, kNaN, 1.0, 12), Failed("PlaySweepWav", "Frequency less than 10 hz!")},
        {PlaySweepWav(100.0, 1000.0, kNaN, 12), Failed("PlaySweepWav", "seconds less than 0.01!")},
    };
    for (const NoiseRequest& r : kNoiseRequests) {
        cases.push_back({r.play(0.001, 61), Failed(r.name, "antenuation dBs greater than 60!")});
        cases.push_back(
            {r.play(1.0, 4294967295u), Failed(r.name, "antenuation dBs greater than 60!")});
        cases.push_back({r.play(0.005, 12), Failed(r.name, "seconds less than 0.01!")});
        cases.push_back({r.play(kNaN, 12), Failed(r.name, "seconds less than 0.01!")});
        cases.push_back({r.play(60.5, 12), Failed(r.name, "seconds greater than 60!")});
    }
    Lines expected;
    for (const Case& c : cases) {
        EXPECT_EQ(c.outcome.status, PlayStatus::Refused) << c.line;
        EXPECT_EQ(ReasonOf(c.outcome), c.line);
        expected.push_back(c.line);
    }
    EXPECT_EQ(CloseAndRead(), expected);
    EXPECT_FALSE(AnythingArmed());
}

TEST_F(PlayRequests, TheBoundsPassAndTheTopFrequencyIsTheSameAtEveryRate)
{
    // 22050 Hz is allowed whatever the rate; at 96000 Hz it plays ...
    asioDriverInfo.sampleRate = 96000.0;
    const PlayOutcome top = PlaySineWav(22050.0, 0.5, 60);
    EXPECT_EQ(top.status, PlayStatus::Armed);
    EXPECT_EQ(top.reason, nullptr);
    EXPECT_EQ(pSineGenerator->dSampleRate, 96000.0);
    StopAll();
    // ... and 22050.5 Hz is refused at 96000 Hz too.
    EXPECT_EQ(ReasonOf(PlaySineWav(22050.5, 0.5, 12)),
              Failed("PlaySineWav", "Frequency greater than half the sample rate!"));

    // The other bounds pass the checks, and each of these plays.
    asioDriverInfo.sampleRate = 44100.0;
    using Play = PlayOutcome (*)();
    const Play passing[] = {
        [] { return PlaySineWav(10.0, 0.5, 0); },
        [] { return PlaySineWav(1000.0, 0.01, 0); },
        [] { return PlaySineWav(1000.0, 60.0, 60); },
        [] { return PlaySweepWav(10.0, 22050.0, 0.01, 60); },
        [] { return PlaySweepWav(10.0, 22050.0, 0.05, 60); },
        [] { return PlaySweepWav(10.0, 22050.0, 60.0, 60); },
    };
    for (size_t i = 0; i < std::size(passing); ++i) {
        const PlayOutcome outcome = passing[i]();
        EXPECT_EQ(outcome.status, PlayStatus::Armed) << i << ReasonOf(outcome);
        StopAll();
    }
}

TEST_F(PlayRequests, RequestsLogTheBufferCountThenArmWithTheCardsRate)
{
    dwCountBuffers.store(1234);
    asioDriverInfo.sampleRate = 48000.0;
    EXPECT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Armed);
    EXPECT_EQ(pSineGenerator->dSampleRate, 48000.0);
    // 48000 frames are 187.5 buffers of 256, rounded to 188, and the closing one.
    EXPECT_EQ(pSineGenerator->dwSweepBuffers, 189u);
    EXPECT_EQ(PlayPinkNoise(1.0, 12).status, PlayStatus::Armed);
    EXPECT_EQ(PlayWhiteNoise(1.0, 12).status, PlayStatus::Armed);
    EXPECT_EQ(pPinkNoiseGenerator->nRemaining, 48000u);
    EXPECT_EQ(pWhiteNoiseGenerator->nRemaining, 48000u);
    EXPECT_EQ(CloseAndRead(), (Lines{"GenerateSweepWav - dwCountBuffers: 1234",
                                     "PlayPinkNoise - dwCountBuffers: 1234",
                                     "PlayWhiteNoise - dwCountBuffers: 1234"}));
    dwCountBuffers.store(0);
}

TEST_F(PlayRequests, BusyGeneratorsRefuseOrRestartAndLogOnlyTheCount)
{
    ASSERT_EQ(PlaySineWav(1000.0, 1.0, 12).status, PlayStatus::Armed);
    // Only the requests below are read back: the armed tone logged its plan.
    DbgLogClose();
    DbgLogOpen();
    // A tone while a tone plays is dropped by the generator; a sweep waits
    // for no tone: it is refused as well.
    const PlayOutcome again = PlaySineWav(500.0, 2.0, 0);
    EXPECT_EQ(again.status, PlayStatus::Refused);
    EXPECT_NE(again.reason, nullptr);
    EXPECT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Refused);
    EXPECT_FALSE(pSineGenerator->bSweepPlaying.load());
    StopAll();

    // A sweep during a sweep restarts it; a tone during a sweep is dropped.
    ASSERT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Armed);
    ASSERT_FALSE(pSineGenerator->bSweepRestart.load());
    EXPECT_EQ(PlaySweepWav(100.0, 1000.0, 1.0, 12).status, PlayStatus::Armed);
    EXPECT_TRUE(pSineGenerator->bSweepRestart.load());
    EXPECT_EQ(PlaySineWav(1000.0, 1.0, 12).status, PlayStatus::Refused);
    EXPECT_FALSE(pSineGenerator->bTonePlaying.load());

    // Noise while it plays keeps the running request; each noise arms at
    // once though the other plays.
    for (const NoiseRequest& request : kNoiseRequests) {
        SCOPED_TRACE(request.name);
        ASSERT_EQ(request.play(1.0, 12).status, PlayStatus::Armed);
        const PlayOutcome noiseAgain = request.play(2.0, 0);
        EXPECT_EQ(noiseAgain.status, PlayStatus::Refused);
        EXPECT_NE(noiseAgain.reason, nullptr);
        EXPECT_EQ(request.Remaining(), 44100u);
    }
    EXPECT_TRUE(pPinkNoiseGenerator->bPlaying.load());
    EXPECT_TRUE(pWhiteNoiseGenerator->bPlaying.load());
    EXPECT_EQ(CloseAndRead(),
              (Lines{"GenerateSineWav - dwCountBuffers: 0", "GenerateSweepWav - dwCountBuffers: 0",
                     "GenerateSweepWav - dwCountBuffers: 0", "GenerateSweepWav - dwCountBuffers: 0",
                     "GenerateSineWav - dwCountBuffers: 0", "PlayPinkNoise - dwCountBuffers: 0",
                     "PlayPinkNoise - dwCountBuffers: 0", "PlayWhiteNoise - dwCountBuffers: 0",
                     "PlayWhiteNoise - dwCountBuffers: 0"}));
    StopAll();

    // 10 Hz for 0.01 s is a tenth of a cycle: the checks pass, the plan fails.
    const PlayOutcome unplannable = PlaySineWav(10.0, 0.01, 12);
    EXPECT_EQ(unplannable.status, PlayStatus::Refused);
    EXPECT_NE(unplannable.reason, nullptr);
    EXPECT_FALSE(pSineGenerator->bTonePlaying.load());
}

TEST_F(PlayRequests, NoiseLengthIsTheRateInWholeHertzTimesTheSeconds)
{
    const struct {
        double rate;
        double seconds;
        uint32_t attenuation;
        uint32_t frames;
    } cases[] = {
        {44100.0, 0.01, 0, 441},
        {44100.0, 60.0, 60, 2646000},
        {44100.9, 10.0, 12, 441000}, // not 441009
        {96000.0, 0.5, 30, 48000},
    };
    for (const NoiseRequest& request : kNoiseRequests) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(request.name) + " " + std::to_string(c.rate) + " " +
                         std::to_string(c.seconds));
            asioDriverInfo.sampleRate = c.rate;
            const PlayOutcome outcome = request.play(c.seconds, c.attenuation);
            EXPECT_EQ(outcome.status, PlayStatus::Armed);
            EXPECT_EQ(outcome.reason, nullptr);
            EXPECT_TRUE(request.PlayingNow());
            EXPECT_EQ(request.Remaining(), c.frames);
            StopAll();
        }
    }
}

TEST_F(PlayRequests, FailedStartIsLoggedArmsNothingAndIsRetriedByTheNextRequest)
{
    for (const auto& request : kRequests) {
        SCOPED_TRACE(request.countLine);
        pASIOBuffers->bStarted = false;
        driver.starts = 0;
        driver.startResult = ASE_HWMalfunction;
        DbgLogClose();
        DbgLogOpen();
        const PlayOutcome refused = request.play();
        EXPECT_EQ(refused.status, PlayStatus::HostFailure);
        EXPECT_EQ(ReasonOf(refused), "Can't start!");
        EXPECT_EQ(driver.starts, 1);
        EXPECT_FALSE(pASIOBuffers->bStarted);
        EXPECT_FALSE(AnythingArmed());

        driver.startResult = ASE_OK;
        EXPECT_EQ(request.play().status, PlayStatus::Armed);
        EXPECT_EQ(driver.starts, 2);
        EXPECT_TRUE(pASIOBuffers->bStarted);
        // The tone's generator adds its own lines after these.
        const Lines lines = CloseAndRead();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2),
                  (Lines{"Can't start!", request.countLine}));
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Can't start!"), 1);

        // Once started, no request starts it again.
        StopAll();
        request.play();
        EXPECT_EQ(driver.starts, 2);
        StopAll();
    }
}

TEST_F(PlayRequests, WithoutSetupOrGeneratorNothingIsLoggedOrStarted)
{
    pASIOBuffers->bStarted = false;
    AsioBuffers* setup = pASIOBuffers;
    pASIOBuffers = nullptr;
    for (const auto& request : kRequests)
        EXPECT_EQ(request.play().status, PlayStatus::HostFailure) << request.countLine;
    pASIOBuffers = setup;

    // The generators are the setup's; without them a request ends quietly.
    SineGenerator* sine = pSineGenerator;
    PinkNoiseGenerator* pink = pPinkNoiseGenerator;
    WhiteNoiseGenerator* white = pWhiteNoiseGenerator;
    pSineGenerator = nullptr;
    pPinkNoiseGenerator = nullptr;
    pWhiteNoiseGenerator = nullptr;
    for (const auto& request : kRequests)
        EXPECT_EQ(request.play().status, PlayStatus::HostFailure) << request.countLine;
    pSineGenerator = sine;
    pPinkNoiseGenerator = pink;
    pWhiteNoiseGenerator = white;

    EXPECT_EQ(driver.starts, 0);
    EXPECT_TRUE(CloseAndRead().empty());
    EXPECT_FALSE(AnythingArmed());
}

} // namespace
