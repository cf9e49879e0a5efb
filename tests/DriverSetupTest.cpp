// Driver setup, pair selection and teardown on the scriptable test driver.
#include "tests/HostFixture.h"

#include "gen/SineGenerator.h"

#include <atomic>
#include <thread>

namespace {

using DriverSetup = HostTest;

TEST_F(DriverSetup, SetupCreatesBuffersGeneratorsSelectsPairZeroAndStarts)
{
    Install({"Card A"});
    script->SetOutputs(4, ASIOSTInt32LSB);
    ASSERT_TRUE(StartHost());
    ASSERT_NE(pASIOBuffers, nullptr);
    EXPECT_TRUE(pASIOBuffers->bStarted);
    EXPECT_TRUE(pASIOBuffers->bBuffersCreated);
    EXPECT_NE(pSineGenerator, nullptr);
    EXPECT_NE(pPinkNoiseGenerator, nullptr);
    EXPECT_NE(pWhiteNoiseGenerator, nullptr);
    EXPECT_EQ(dwBufferSizeBytes, 1024u);
    EXPECT_EQ(asioDriverInfo.outputBuffers, 4);
    EXPECT_TRUE(asioDriverInfo.bPairUsable[0]);
    EXPECT_TRUE(asioDriverInfo.bPairUsable[1]);
    EXPECT_TRUE(asioDriverInfo.bPairSelected[0].load());
    EXPECT_FALSE(asioDriverInfo.bPairSelected[1].load());
    for (int32_t i = 0; i < 4; ++i)
        for (void* half : asioDriverInfo.outputBufferInfos[i].buffers)
            ASSERT_NE(half, nullptr);
    EXPECT_TRUE(LogHas(Log(),
                       "pASIOBuffers->bInitSuccess\n"
                       "asioDriverInfo.outputBuffers to activate: 4\n"
                       "asioDriverInfo.inputLatency: 256, asioDriverInfo.outputLatency: 512\n"
                       "Using: Out 1 / Out 2\n"
                       "dwBufferSizeBytes: 1024\n"
                       "OK - we are now playing silence.\n"
                       "Going to sleep for 500 ms to see if count_buffers_played increments\n"
                       "dwCountBuffers: 0\n"
                       "Hmmm... No buffers played. Now what are we going to do?\n"
                       "CreatePrimaryBuffer success!\n"));
}

TEST_F(DriverSetup, BufferSwitchesDuringTheCheckAreReported)
{
    Install({"Card A"});
    std::atomic<bool> done{false};
    // Drives switches as soon as the driver runs, while the host sleeps.
    std::thread driver([&] {
        while (!done.load())
            if (!script->DriveSwitches(3))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            else
                break;
    });
    const bool started = StartHost();
    done = true;
    driver.join();
    ASSERT_TRUE(started);
    EXPECT_TRUE(LogHas(Log(), "dwCountBuffers: 3\n"
                              "OK - Very encouraging - we played some buffers of silence.\n"
                              "CreatePrimaryBuffer success!\n"));
}

TEST_F(DriverSetup, Int24CardGetsThreeBytesAndZeroedScratch)
{
    Install({"Card A"});
    script->SetOutputs(2, ASIOSTInt24LSB);
    ASSERT_TRUE(StartHost());
    EXPECT_EQ(dwBufferSizeBytes, 768u);
    ASSERT_NE(asioDriverInfo.pInt24ScratchA, nullptr);
    ASSERT_NE(asioDriverInfo.pInt24ScratchB, nullptr);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(asioDriverInfo.pInt24ScratchA[i] | asioDriverInfo.pInt24ScratchB[i], 0);
    ASIOHostShutdown(true);
    EXPECT_EQ(asioDriverInfo.pInt24ScratchA, nullptr);

    Install({"Card A"});
    script->Reset();
    script->SetOutputs(2, ASIOSTFloat32LSB);
    ASSERT_TRUE(StartHost());
    EXPECT_EQ(dwBufferSizeBytes, 1024u);
    EXPECT_EQ(asioDriverInfo.pInt24ScratchA, nullptr);
}

TEST_F(DriverSetup, InactiveOrForeignSecondChannelLeavesThePairUnusable)
{
    Install({"Card A"});
    script->SetOutputs(6, ASIOSTInt16LSB);
    script->outputs[3].isActive = ASIOFalse;
    script->outputs[5].infoResult = ASE_InvalidParameter;
    ASSERT_TRUE(StartHost());
    EXPECT_TRUE(asioDriverInfo.bPairUsable[0]);
    EXPECT_FALSE(asioDriverInfo.bPairUsable[1]);
    EXPECT_FALSE(asioDriverInfo.bPairUsable[2]);
}

TEST_F(DriverSetup, CreateBuffersFailureDestroysTheSetup)
{
    Install({"Card A"});
    script->createBuffersResult = ASE_NoMemory;
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    script->ForgetCalls();
    EXPECT_FALSE(ASIOSelectDriver(&dialog, &outputCombo));
    EXPECT_EQ(pASIOBuffers, nullptr);
    EXPECT_EQ(pSineGenerator, nullptr);
    EXPECT_EQ(script->CountOf("disposeBuffers"), 0);
    EXPECT_EQ(script->CountOf("stop"), 1);
    EXPECT_TRUE(LogHas(Log(), "asioDriverInfo.outputBuffers to activate: 2\n"
                              "ptrASIO->createBuffers failed!\n"));
}

TEST_F(DriverSetup, FailedStartStillStandsAndIsStoppedAndDisposedAtShutdown)
{
    Install({"Card A"});
    script->startResult = ASE_HWMalfunction;
    ASSERT_TRUE(StartHost());
    ASSERT_NE(pASIOBuffers, nullptr);
    EXPECT_FALSE(pASIOBuffers->bStarted);
    const std::string log = Log();
    EXPECT_TRUE(
        LogHas(log, "dwBufferSizeBytes: 1024\nCan't start!\nCreatePrimaryBuffer success!\n"));
    EXPECT_EQ(log.find("playing silence"), std::string::npos);

    script->ForgetCalls();
    ASIOHostShutdown(true);
    EXPECT_EQ(script->Calls(), (std::vector<std::string>{"stop", "disposeBuffers"}));
    EXPECT_EQ(script->LiveDrivers(), 0);
}

// Stands in for the driver during teardown: records what the host still
// holds at each call, then passes the call on.
class TeardownSpy final : public IASIO {
public:
    explicit TeardownSpy(IASIO* real) : real(real) {}
    std::vector<std::string> seen;
    TestDriverScript* script = nullptr;

    void Note(const char* call)
    {
        seen.push_back(std::string(call) + (pSineGenerator ? " gen" : " nogen") +
                       (script->LiveDrivers() == 1 ? " live" : " gone"));
    }
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        return real->QueryInterface(iid, object);
    }
    ULONG AddRef() override { return real->AddRef(); }
    ULONG Release() override { return real->Release(); }
    ASIOBool init(void* h) override { return real->init(h); }
    void getDriverName(char* n) override { real->getDriverName(n); }
    int32_t getDriverVersion() override { return real->getDriverVersion(); }
    void getErrorMessage(char* t) override { real->getErrorMessage(t); }
    ASIOError start() override { return real->start(); }
    ASIOError stop() override
    {
        Note("stop");
        return real->stop();
    }
    ASIOError getChannels(int32_t* a, int32_t* b) override { return real->getChannels(a, b); }
    ASIOError getLatencies(int32_t* a, int32_t* b) override { return real->getLatencies(a, b); }
    ASIOError getBufferSize(int32_t* a, int32_t* b, int32_t* c, int32_t* d) override
    {
        return real->getBufferSize(a, b, c, d);
    }
    ASIOError canSampleRate(ASIOSampleRate r) override { return real->canSampleRate(r); }
    ASIOError getSampleRate(ASIOSampleRate* r) override { return real->getSampleRate(r); }
    ASIOError setSampleRate(ASIOSampleRate r) override { return real->setSampleRate(r); }
    ASIOError getClockSources(ASIOClockSource* c, int32_t* n) override
    {
        return real->getClockSources(c, n);
    }
    ASIOError setClockSource(int32_t r) override { return real->setClockSource(r); }
    ASIOError getSamplePosition(ASIOSamples* p, ASIOTimeStamp* t) override
    {
        return real->getSamplePosition(p, t);
    }
    ASIOError getChannelInfo(ASIOChannelInfo* i) override { return real->getChannelInfo(i); }
    ASIOError createBuffers(ASIOBufferInfo* b, int32_t n, int32_t s, ASIOCallbacks* c) override
    {
        return real->createBuffers(b, n, s, c);
    }
    ASIOError disposeBuffers() override
    {
        Note("disposeBuffers");
        return real->disposeBuffers();
    }
    ASIOError controlPanel() override { return real->controlPanel(); }
    ASIOError future(int32_t s, void* o) override { return real->future(s, o); }
    ASIOError outputReady() override { return real->outputReady(); }

private:
    IASIO* real;
};

TEST_F(DriverSetup, ShutdownStopsAndDisposesBeforeGeneratorsAndDriverGo)
{
    for (ASIOError startResult : {ASE_OK, ASE_HWMalfunction}) {
        Install({"Card A"});
        script->Reset();
        script->startResult = startResult;
        ASSERT_TRUE(StartHost());
        TeardownSpy spy(ptrASIO);
        spy.script = script;
        ptrASIO = &spy;
        ASIOHostShutdown(false);
        EXPECT_EQ(spy.seen, (std::vector<std::string>{"stop gen live", "disposeBuffers gen live"}))
            << startResult;
        EXPECT_EQ(pSineGenerator, nullptr);
        EXPECT_EQ(pPinkNoiseGenerator, nullptr);
        EXPECT_EQ(pWhiteNoiseGenerator, nullptr);
        EXPECT_EQ(script->LiveDrivers(), 1); // the list still holds the driver
        ASIOHostShutdown(true);
        EXPECT_EQ(script->LiveDrivers(), 0);
        EXPECT_EQ(pAsioDriverList, nullptr);
        EXPECT_EQ(ptrASIO, nullptr);
    }
}

TEST_F(DriverSetup, PairSelection)
{
    ASIOSelectOutputPair(0); // before any setup
    Install({"Card A"});
    script->SetOutputs(4, ASIOSTInt32LSB);
    ASSERT_TRUE(StartHost());
    ASIOSelectOutputPair(1);
    EXPECT_EQ(asioDriverInfo.nSelectedPair.load(), 1);
    EXPECT_FALSE(asioDriverInfo.bPairSelected[0].load());
    EXPECT_TRUE(asioDriverInfo.bPairSelected[1].load());
    for (int32_t bad : {2, -1, 16, 1000}) {
        ASIOSelectOutputPair(bad);
        EXPECT_EQ(asioDriverInfo.nSelectedPair.load(), 1) << bad;
    }
    int selected = 0;
    for (const auto& flag : asioDriverInfo.bPairSelected)
        selected += flag.load() ? 1 : 0;
    EXPECT_EQ(selected, 1);
    const std::string log = Log();
    EXPECT_TRUE(LogHas(log, "Failed: ASIOSelectOutputPair - ASIO system not initialized!\n"));
    EXPECT_TRUE(LogHas(log, "Using: Out 3 / Out 4\n"
                            "Failed: ASIOSelectOutputPair - no such output pair: 2\n"
                            "Failed: ASIOSelectOutputPair - no such output pair: -1\n"));
}

TEST_F(DriverSetup, SetupWithoutDriverFails)
{
    EXPECT_FALSE(ASIOSelectDriver(&dialog, &outputCombo));
    EXPECT_TRUE(LogHas(Log(), "ptrASIO == NULL\n"));
}

} // namespace
