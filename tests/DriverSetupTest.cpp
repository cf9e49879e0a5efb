// Driver setup, pair selection and teardown on the scriptable test driver.
#include "tests/HostFixture.h"
#include "tests/fixtures/FakeAsioDriver.h"

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

// Stands in for the driver during teardown: records what the host still
// holds when it stops and disposes, then passes each call on.
class TeardownSpy final : public FakeAsioDriver {
public:
    TeardownSpy(IASIO* real, TestDriverScript* script) : FakeAsioDriver(real), script(script) {}
    std::vector<std::string> seen;

    ASIOError stop() override { return Note("stop"), FakeAsioDriver::stop(); }
    ASIOError disposeBuffers() override
    {
        return Note("disposeBuffers"), FakeAsioDriver::disposeBuffers();
    }

private:
    void Note(const char* call)
    {
        seen.push_back(std::string(call) + (pSineGenerator ? " gen" : " nogen") +
                       (script->LiveDrivers() == 1 ? " live" : " gone"));
    }
    TestDriverScript* script;
};

// A failed start still leaves a setup standing, torn down like any other.
TEST_F(DriverSetup, ShutdownStopsAndDisposesBeforeGeneratorsAndDriverGo)
{
    // The failed start first, so the log read holds only its own setup.
    for (ASIOError startResult : {ASE_HWMalfunction, ASE_OK}) {
        SCOPED_TRACE(startResult);
        Install({"Card A"});
        script->Reset();
        script->startResult = startResult;
        ASSERT_TRUE(StartHost());
        ASSERT_NE(pASIOBuffers, nullptr);
        EXPECT_EQ(pASIOBuffers->bStarted, startResult == ASE_OK);
        if (startResult != ASE_OK) {
            const std::string log = Log();
            EXPECT_TRUE(LogHas(
                log, "dwBufferSizeBytes: 1024\nCan't start!\nCreatePrimaryBuffer success!\n"));
            EXPECT_EQ(log.find("playing silence"), std::string::npos);
        }
        script->ForgetCalls();
        TeardownSpy spy(ptrASIO, script);
        ptrASIO = &spy;
        ASIOHostShutdown(false);
        EXPECT_EQ(spy.seen, (std::vector<std::string>{"stop gen live", "disposeBuffers gen live"}));
        EXPECT_EQ(script->Calls(), (std::vector<std::string>{"stop", "disposeBuffers"}));
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

TEST_F(DriverSetup, PairSelectionAndSetupBeforeAnyDriver)
{
    // Before any driver is open, neither setup nor selection happens.
    EXPECT_FALSE(ASIOSelectDriver(&dialog, &outputCombo));
    ASIOSelectOutputPair(0);
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
    EXPECT_TRUE(LogHas(log, "ptrASIO == NULL\n"));
    EXPECT_TRUE(LogHas(log, "Failed: ASIOSelectOutputPair - ASIO system not initialized!\n"));
    EXPECT_TRUE(LogHas(log, "Using: Out 3 / Out 4\n"
                            "Failed: ASIOSelectOutputPair - no such output pair: 2\n"
                            "Failed: ASIOSelectOutputPair - no such output pair: -1\n"));
}

} // namespace
