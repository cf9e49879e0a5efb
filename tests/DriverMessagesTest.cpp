// The host's answers to a driver's messages, the log line of each, and the
// reset request handed to the dialog's queue instead of handled in the call.
#include "host/DriverMessages.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "tests/ScratchFolder.h"
#include "tests/fixtures/FakeWindow.h"
#include "tests/fixtures/LoggedLines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class DriverMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        asioDriverInfo.hWndMain = &window;
        DbgLogOpen();
    }
    void TearDown() override
    {
        DbgLogClose();
        asioDriverInfo.hWndMain = nullptr;
    }

    Lines CloseAndRead()
    {
        DbgLogClose();
        return LoggedLines();
    }

    int PendingMessages()
    {
        return window.PumpMessages([](const PostedMessage&) {});
    }

    ScratchFolder folder{"tw-messages"};
    FakeWindow window;
};

TEST_F(DriverMessages, EachSelectorAndEachSupportedQueryHasItsAnswerAndItsLine)
{
    struct Case {
        int32_t selector;
        int32_t answer;
        const char* line; // null: nothing logged
    };
    const Case cases[] = {
        {kAsioEngineVersion, 2, "asioMessages: kAsioEngineVersion"},
        {kAsioBufferSizeChange, 0, nullptr},
        {kAsioResyncRequest, 1, "asioMessages: kAsioResyncRequest"},
        {kAsioLatenciesChanged, 1, "asioMessages: kAsioLatenciesChanged"},
        {kAsioSupportsTimeInfo, 0, "asioMessages: kAsioSupportsTimeInfo"},
        {kAsioSupportsTimeCode, 0, "asioMessages: kAsioSupportsTimeCode"},
        {kAsioMMCCommand, 0, nullptr},
        {kAsioSupportsInputMonitor, 0, nullptr},
        {0, 0, nullptr},
        {11, 0, nullptr},
        {-1, 0, nullptr},
    };
    Lines expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        EXPECT_EQ(asioMessages(c.selector, 0, nullptr, nullptr), c.answer);
        if (c.line != nullptr) expected.emplace_back(c.line);
    }
    // Hand-written: the reset, the version, resync, latencies, both time
    // questions and input monitoring are announced; the size change and
    // everything else are not.
    const int32_t supported[] = {0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 0, 0};
    for (int32_t value = -3; value <= 12; value += value == -3 ? 3 : 1) {
        SCOPED_TRACE(value);
        EXPECT_EQ(asioMessages(kAsioSelectorSupported, value, nullptr, nullptr),
                  value < 0 ? 0 : supported[value]);
        expected.emplace_back("asioMessages: kAsioSelectorSupported");
    }
    EXPECT_EQ(CloseAndRead(), expected);
    EXPECT_EQ(PendingMessages(), 0);
}

TEST_F(DriverMessages, ResetRequestFromTheDriversThreadIsPostedToTheDialogsQueue)
{
    // Answered and logged in the call, handled later on the dialog's thread.
    std::thread driverThread([] {
        EXPECT_EQ(asioMessages(kAsioResetRequest, 0, nullptr, nullptr), 1);
        EXPECT_EQ(asioMessages(kAsioResetRequest, 0, nullptr, nullptr), 1);
    });
    driverThread.join();
    const std::string line = "asioMessages: kAsioResetRequest received - triggering complete reset";
    EXPECT_EQ(CloseAndRead(), (Lines{line, line}));

    std::vector<PostedMessage> delivered;
    EXPECT_EQ(window.PumpMessages([&](const PostedMessage& m) { delivered.push_back(m); }), 2);
    ASSERT_EQ(delivered.size(), 2u);
    for (const PostedMessage& m : delivered) {
        EXPECT_EQ(m.message, 0x800Au);
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 0);
    }
}

TEST_F(DriverMessages, ResetRequestWithoutADialogIsStillAnsweredAndLogged)
{
    asioDriverInfo.hWndMain = nullptr;
    EXPECT_EQ(asioMessages(kAsioResetRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(CloseAndRead(),
              (Lines{"asioMessages: kAsioResetRequest received - triggering complete reset"}));
    EXPECT_EQ(PendingMessages(), 0);
}

TEST_F(DriverMessages, RateChangeNoticeChangesNothing)
{
    asioDriverInfo.sampleRate = 48000.0;
    sampleRateChanged(96000.0);
    EXPECT_EQ(asioDriverInfo.sampleRate, 48000.0);
    EXPECT_TRUE(CloseAndRead().empty());
    EXPECT_EQ(PendingMessages(), 0);
}

} // namespace
