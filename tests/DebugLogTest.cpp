// The debug log: its file from header to trailer, the number and date
// texts, the three rotated files, and logging off where the file cannot be.
#include "log/DebugLog.h"

#include "tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

namespace {

std::string ReadFile(const char* name)
{
    std::stringstream text;
    text << std::ifstream(name).rdbuf();
    return text.str();
}

// Each test runs in a folder of its own: the log lives in the working folder.
class DebugLogTest : public ::testing::Test {
protected:
    void TearDown() override { DbgLogClose(); }
    ScratchFolder scratch{"tonewright-log"};
};

TEST_F(DebugLogTest, TheFileHoldsHeaderLinesAndTrailerWithTextsLongerThanTheBuffersWhole)
{
    DbgLog("before");
    DbgLogOpen();
    DbgLogInt("Value", -1);
    DbgLogDouble("Zero", 0.0, 6);
    DbgLogDouble("Negative zero", -0.0, 6);
    DbgLog(std::string(5000, 'x').c_str());
    DbgLogDouble(std::string(400, 'L').c_str(), 2.5, 2);
    DbgLogClose();
    DbgLogTwoInts("after", "close", 1, 2);
    const std::string text = ReadFile("Dbg.Log");
    EXPECT_NE(text.find("\n\nValue: -1\nZero: 0\nNegative zero: 0\n" + std::string(5000, 'x') +
                        "\n" + std::string(400, 'L') + ": 2.50\n\n\nShutting down"),
              std::string::npos);
    const std::string stamp = "[A-Z][a-z]+day, [A-Z][a-z]+/[0-9]{2}/[0-9]{4} - ";
    const std::string clock = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{3}\n";
    EXPECT_TRUE(testing::internal::RE::FullMatch(
        text, testing::internal::RE("Debug log\n\nDate: " + stamp + "Time started: " + clock +
                                    "\n.*\n\n\nShutting down debug logging system...\nDate: " +
                                    stamp + "Time: " + clock)))
        << text;
}

TEST_F(DebugLogTest, FourRunsLeaveThreeRotatedFilesAndAFolderWithoutRoomLeavesLoggingOff)
{
    for (int run = 1; run <= 4; ++run) {
        DbgLogOpen();
        DbgLogInt("Run", run);
        DbgLogClose();
    }
    EXPECT_NE(ReadFile("Dbg.Log").find("\nRun: 4\n"), std::string::npos);
    EXPECT_NE(ReadFile("Dbg1.Log").find("\nRun: 3\n"), std::string::npos);
    EXPECT_NE(ReadFile("Dbg2.Log").find("\nRun: 2\n"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 3);
    // A working folder that no longer exists refuses the file even to root.
    std::filesystem::create_directory("gone");
    std::filesystem::current_path("gone");
    std::filesystem::remove(scratch.Path() / "gone");
    DbgLogOpen();
    EXPECT_EQ(g_pDbgFile, nullptr);
    EXPECT_EQ(g_hDbgMutex, nullptr);
    DbgLog("nothing");
    DbgLogClose();
}

TEST(DebugLogFormat, DateTimeAndFixedPointTexts)
{
    std::tm t{};
    t.tm_mday = 5, t.tm_mon = 11, t.tm_year = 2026 - 1900, t.tm_wday = 6;
    char text[kDbgDateSize];
    DbgFormatTime(text, sizeof text, t, 7);
    EXPECT_STREQ(text, "00:00:00 007\n");
    t.tm_hour = 23, t.tm_min = 5, t.tm_sec = 9;
    DbgFormatTime(text, sizeof text, t, 42);
    EXPECT_STREQ(text, "23:05:09 042\n");
    DbgFormatDate(text, sizeof text, t);
    EXPECT_STREQ(text, "Saturday, December/05/2026 ");

    const std::tuple<double, int32_t, const char*> cases[] = {
        {-2.5, 3, "-2.500"},     {0.005, 3, "0.005"},    {12.0, 0, "12."},
        {0.5, 6, "0.500000"},    {0.6, 0, "1."},         {0.4, 0, "0."},
        {123.456, 2, "123.46"},  {-0.0004, 3, "-0.000"}, {0.05, 6, "0.050000"},
        {440.0, 6, "440.000000"}};
    char fixed[kDbgDoubleTextSize];
    for (const auto& [value, decimals, expected] : cases) {
        DbgFormatFixed(fixed, sizeof fixed, value, decimals);
        EXPECT_STREQ(fixed, expected) << value << " with " << decimals;
    }
    // A huge value cannot overrun the buffer.
    DbgFormatFixed(fixed, sizeof fixed, 1e300, 6);
    EXPECT_EQ(std::string(fixed).size(), sizeof fixed - 1);
}

} // namespace
