// Setting and reading the card's rate through a fake driver: which driver
// calls are made, what the entries answer, and the log lines in order.
#include "host/SampleRateControl.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/FakeAsioDriver.h"
#include "tests/fixtures/LoggedLines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

// The fake card with its rate calls scripted and recorded.
class RateDriver final : public FakeAsioDriver {
public:
    ASIOBool initResult = ASIOTrue;
    ASIOError canResult = ASE_OK;
    ASIOError setResult = ASE_OK;
    ASIOError getResult = ASE_OK;
    double rate = 48000.0;
    double settlesAt = 0.0; // when non-zero, the rate a successful set lands on
    std::vector<std::string> calls;
    std::vector<double> requestedRates;

    ASIOBool init(void*) override { return initResult; }
    ASIOError canSampleRate(ASIOSampleRate r) override
    {
        calls.push_back("canSampleRate");
        requestedRates.push_back(r);
        return canResult;
    }
    ASIOError getSampleRate(ASIOSampleRate* r) override
    {
        calls.push_back("getSampleRate");
        if (getResult != ASE_OK) return getResult; // a failing driver writes nothing
        *r = rate;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate r) override
    {
        calls.push_back("setSampleRate");
        requestedRates.push_back(r);
        if (setResult == ASE_OK) rate = settlesAt != 0.0 ? settlesAt : r;
        return setResult;
    }
};

class SampleRateControl : public ::testing::Test {
protected:
    void SetUp() override
    {
        ptrASIO = &driver;
        pASIOBuffers = nullptr;
    }

    void TearDown() override
    {
        DbgLogClose();
        delete pASIOBuffers;
        pASIOBuffers = nullptr;
        ptrASIO = nullptr;
    }

    // The driver query against the fake; the rate calls it makes are not
    // the ones under test.
    void QueryDriver()
    {
        pASIOBuffers = new (std::nothrow) AsioBuffers(&driver, nullptr, nullptr);
        ASSERT_NE(pASIOBuffers, nullptr);
        driver.calls.clear();
        driver.requestedRates.clear();
    }

    // Runs action with the log open and gives the lines it wrote.
    template <class Action> std::vector<std::string> Logged(Action action)
    {
        DbgLogOpen();
        action();
        DbgLogClose();
        return LoggedLines();
    }

    ScratchFolder folder{"tw-rate"};
    RateDriver driver;
};

using Lines = std::vector<std::string>;

TEST_F(SampleRateControl, EntriesBeforeASuccessfulSetupLeaveTheDriverAlone)
{
    bool setResult = true;
    int32_t getResult = -1;
    Lines lines = Logged([&] {
        setResult = ASIOSetSampleRate(48000);
        getResult = ASIOGetSampleRate();
    });
    EXPECT_FALSE(setResult);
    EXPECT_EQ(getResult, 0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Failed: ASIOSetSampleRate - ASIO system not initialized!");
    EXPECT_EQ(lines[1].rfind("Failed: ASIOGetSampleRate", 0), 0u) << lines[1];
    EXPECT_TRUE(driver.calls.empty());

    // A setup whose init failed is no setup either.
    driver.initResult = ASIOFalse;
    QueryDriver();
    ASSERT_FALSE(pASIOBuffers->bInitSuccess);
    EXPECT_FALSE(ASIOSetSampleRate(44100));
    EXPECT_EQ(ASIOGetSampleRate(), 0);
    EXPECT_TRUE(driver.calls.empty());
}

TEST_F(SampleRateControl, RefusalsLogTheirAdviceAndNeverTakeTheRate)
{
    const Lines noClock = {
        "Failed: SetSampleRate",
        "Ensure you don't have 'Rate Locked' set in the sound card's control panel,",
        "...or perhaps requested sample rate is not supported: "};
    struct Case {
        ASIOError can, set;
        uint32_t asked;
        Lines lines, calls;
    };
    const Case cases[] = {
        {ASE_NoClock,
         ASE_OK,
         96000,
         {noClock[0], noClock[1], noClock[2] + "96000"},
         {"canSampleRate"}},
        // Above the signed range, still logged as asked.
        {ASE_NoClock,
         ASE_OK,
         3000000000u,
         {noClock[0], noClock[1], noClock[2] + "3000000000"},
         {"canSampleRate"}},
        {ASE_NotPresent,
         ASE_OK,
         44100,
         {"Can't set requested sample rate: No external clock I/O"},
         {"canSampleRate"}},
        {ASE_OK,
         ASE_InvalidMode,
         44100,
         {"Couldn't set sound card to requested sample rate: 44100",
          "Ensure you don't have 'Rate Locked' set in the sound card's control panel."},
         {"canSampleRate", "setSampleRate"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        delete pASIOBuffers;
        QueryDriver();
        driver.canResult = c.can;
        driver.setResult = c.set;
        bool result = true;
        Lines lines = Logged([&] { result = ASIOSetSampleRate(c.asked); });
        EXPECT_FALSE(result);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(driver.calls, c.calls);
        EXPECT_EQ(driver.requestedRates.front(), static_cast<double>(c.asked));
        EXPECT_EQ(asioDriverInfo.sampleRate, 48000.0);
    }
}

TEST_F(SampleRateControl, AnyOtherCanSampleRateAnswerStillSetsTheRate)
{
    for (ASIOError answer : {ASE_OK, ASE_InvalidParameter, ASE_HWMalfunction, ASE_InvalidMode}) {
        SCOPED_TRACE(answer);
        delete pASIOBuffers;
        driver.rate = 48000.0;
        QueryDriver();
        driver.canResult = answer;
        bool result = false;
        Lines lines = Logged([&] { result = ASIOSetSampleRate(96000); });
        EXPECT_TRUE(result);
        EXPECT_EQ(lines, (Lines{"Set sample rate: 96000"}));
        EXPECT_EQ(driver.calls, (Lines{"canSampleRate", "setSampleRate", "getSampleRate"}));
        EXPECT_EQ(driver.requestedRates, (std::vector<double>{96000.0, 96000.0}));
        EXPECT_EQ(asioDriverInfo.sampleRate, 96000.0);
    }
}

TEST_F(SampleRateControl, RatesReadFromTheDriverAreWholeHertzRoundedDown)
{
    QueryDriver();
    // The card settles on a rate near the one asked for: the new rate is
    // what the card reports, not what was requested.
    driver.settlesAt = 44099.75;
    int32_t read = 0;
    Lines lines = Logged([&] {
        EXPECT_TRUE(ASIOSetSampleRate(44100));
        read = ASIOGetSampleRate();
    });
    EXPECT_EQ(read, 44099);
    EXPECT_EQ(lines, (Lines{"Set sample rate: 44099", "Sample rate: 44099"}));
    EXPECT_EQ(asioDriverInfo.sampleRate, 44099.75);

    driver.rate = 44100.5;
    lines = Logged([&] { read = ASIOGetSampleRate(); });
    EXPECT_EQ(read, 44100);
    EXPECT_EQ(lines, (Lines{"Sample rate: 44100"}));
    EXPECT_EQ(asioDriverInfo.sampleRate, 44100.5);

    driver.rate = 95999.99;
    EXPECT_EQ(ASIOGetSampleRate(), 95999);
}

TEST_F(SampleRateControl, FailedReadNamesTheReasonAndTheLastKnownRate)
{
    QueryDriver();
    ASSERT_EQ(asioDriverInfo.sampleRate, 48000.0);
    driver.getResult = ASE_NotPresent;
    int32_t read = -1;
    Lines lines = Logged([&] { read = ASIOGetSampleRate(); });
    EXPECT_EQ(read, 0);
    EXPECT_EQ(lines, (Lines{"Failed: GetSampleRate - No external clock I/O",
                            "Last known sample rate: 48000"}));

    driver.getResult = ASE_HWMalfunction;
    lines = Logged([&] { read = ASIOGetSampleRate(); });
    EXPECT_EQ(read, 0);
    EXPECT_EQ(lines, (Lines{"Failed: function GetSampleRate - Reason unknown",
                            "Last known sample rate: 48000"}));
}

TEST_F(SampleRateControl, ReportedRateThatIsNoRateReadsAsUnknown)
{
    QueryDriver();
    for (double nonsense : {-44100.0, 0.0, 1.0e12, std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(nonsense);
        driver.rate = nonsense;
        EXPECT_EQ(ASIOGetSampleRate(), 0);
    }
}

} // namespace
