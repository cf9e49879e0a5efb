#include "log/DebugLog.h"

#include "tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each test runs in a fresh directory, since the log lives in the working
// directory.
class DebugLogTest : public ::testing::Test {
protected:
    void TearDown() override { DbgLogClose(); }
    // The body of the log between the header and the trailer.
    std::string Body()
    {
        const std::string text = ReadFile(m_dir / "Dbg.Log");
        const size_t start = text.find("\n\n", text.find("Time started: "));
        const size_t end = text.find("\n\nShutting down");
        if (start == std::string::npos) return "";
        return text.substr(start + 2,
                           end == std::string::npos ? std::string::npos : end - start - 2);
    }

    ScratchFolder m_scratch{"tonewright-log"};
    const fs::path& m_dir = m_scratch.Path();
};

TEST_F(DebugLogTest, WritersBeforeOpenAndAfterCloseWriteNothingAndDoNotFail)
{
    DbgLog("before");
    DbgLogInt("before", 1);
    DbgLogDouble("before", 1.5, 2);
    EXPECT_FALSE(fs::exists("Dbg.Log"));

    DbgLogOpen();
    DbgLog("inside");
    DbgLogClose();
    EXPECT_EQ(g_pDbgFile, nullptr);
    EXPECT_EQ(g_hDbgMutex, nullptr);
    const std::string closed = ReadFile("Dbg.Log");

    DbgLog("after");
    DbgLogText("after");
    DbgLogTwoInts("a", "b", 1, 2);
    DbgLogIntPart("after", 3);
    EXPECT_EQ(ReadFile("Dbg.Log"), closed);
    EXPECT_NE(closed.find("inside\n"), std::string::npos);
    EXPECT_EQ(closed.find("after"), std::string::npos);
}

TEST_F(DebugLogTest, WritersUseTheirSeparatorsAndEndings)
{
    DbgLogOpen();
    DbgLogInt("Value", -1);
    DbgLogIntPart("Channel", 0);
    DbgLogIntPart("Group", 2);
    DbgLogText("Out 1");
    DbgLog("");
    DbgLogTwoInts("nRequestedDrvNum", "Num devices", 2, 3);
    DbgLogDouble("Zero", 0.0, 6);
    DbgLogDouble("Negative zero", -0.0, 6);
    DbgLogDouble("Requested frequency", 440.0, 6);
    DbgLogDouble("Requested seconds", 0.05, 6);
    DbgLogText("Using: ");
    DbgLogText("Out 1");
    DbgLogText(" / ");
    DbgLog("Out 2");
    DbgLogClose();
    EXPECT_EQ(Body(), "Value: -1\n"
                      "Channel: 0 - Group: 2 - Out 1\n"
                      "nRequestedDrvNum: 2, Num devices: 3\n"
                      "Zero: 0\n"
                      "Negative zero: 0\n"
                      "Requested frequency: 440.000000\n"
                      "Requested seconds: 0.050000\n"
                      "Using: Out 1 / Out 2\n");
}

TEST_F(DebugLogTest, HeaderAndTrailerCarryDateAndTime)
{
    DbgLogOpen();
    DbgLogClose();
    const std::string text = ReadFile("Dbg.Log");
    // Debug log, empty line, "Date: <weekday>, <Month>/dd/yyyy - Time started: hh:mm:ss mmm", empty
    // line.
    const std::string stamp = "[A-Z][a-z]+day, [A-Z][a-z]+/[0-9]{2}/[0-9]{4} - ";
    const std::string clock = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{3}\n";
    EXPECT_TRUE(testing::internal::RE::FullMatch(
        text, testing::internal::RE(std::string("Debug log\n\nDate: ") + stamp + "Time started: " +
                                    clock + "\n\n\nShutting down debug logging system...\nDate: " +
                                    stamp + "Time: " + clock)))
        << text;
}

TEST(DebugLogFormat, DateAndTimeTextsAtAFixedTime)
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 5;
    t.tm_wday = 6;
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    char text[kDbgDateSize];
    DbgFormatTime(text, sizeof text, t, 7);
    EXPECT_STREQ(text, "00:00:00 007\n");
    t.tm_hour = 23;
    t.tm_min = 5;
    t.tm_sec = 9;
    DbgFormatTime(text, sizeof text, t, 42);
    EXPECT_STREQ(text, "23:05:09 042\n");
    DbgFormatTime(text, sizeof text, t, 310);
    EXPECT_STREQ(text, "23:05:09 310\n");
    DbgFormatDate(text, sizeof text, t);
    EXPECT_STREQ(text, "Saturday, December/05/2026 ");
}

TEST(DebugLogFormat, FixedPointTexts)
{
    char text[kDbgDoubleTextSize];
    const struct {
        double value;
        int32_t decimals;
        const char* expected;
    } cases[] = {
        {-2.5, 3, "-2.500"},    {0.005, 3, "0.005"},    {12.0, 0, "12."}, {440.0, 6, "440.000000"},
        {0.5, 6, "0.500000"},   {0.05, 6, "0.050000"},  {0.4, 0, "0."},   {0.6, 0, "1."},
        {123.456, 2, "123.46"}, {-0.0004, 3, "-0.000"},
    };
    for (const auto& c : cases) {
        DbgFormatFixed(text, sizeof text, c.value, c.decimals);
        EXPECT_STREQ(text, c.expected) << c.value << " with " << c.decimals;
    }
    // A huge value cannot overrun the buffer.
    DbgFormatFixed(text, sizeof text, 1e300, 6);
    EXPECT_EQ(std::string(text).size(), sizeof text - 1);
}

TEST_F(DebugLogTest, FourRunsLeaveThreeRotatedFiles)
{
    for (int run = 1; run <= 4; ++run) {
        DbgLogOpen();
        DbgLogInt("Run", run);
        DbgLogClose();
    }
    EXPECT_NE(ReadFile("Dbg.Log").find("Run: 4\n"), std::string::npos);
    EXPECT_NE(ReadFile("Dbg1.Log").find("Run: 3\n"), std::string::npos);
    EXPECT_NE(ReadFile("Dbg2.Log").find("Run: 2\n"), std::string::npos);
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        (void)entry;
        ++count;
    }
    EXPECT_EQ(count, 3u);
}

TEST_F(DebugLogTest, AFolderThatCannotHoldTheFileLeavesLoggingOffSilently)
{
    // A working directory that no longer exists refuses the file even to root.
    const fs::path gone = m_dir / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    DbgLogOpen();
    EXPECT_EQ(g_pDbgFile, nullptr);
    EXPECT_EQ(g_hDbgMutex, nullptr);
    DbgLog("nothing");
    DbgLogInt("nothing", 1);
    DbgLogClose();
    fs::current_path(m_dir);
    EXPECT_FALSE(fs::exists(gone));
}

TEST_F(DebugLogTest, ATextLongerThanTheLineBufferIsWrittenWhole)
{
    const std::string longText(5000, 'x');
    const std::string longLabel(400, 'L');
    DbgLogOpen();
    DbgLog(longText.c_str());
    DbgLogInt(longLabel.c_str(), 12345);
    DbgLogDouble(longLabel.c_str(), 2.5, 2);
    DbgLogClose();
    EXPECT_EQ(Body(), longText + "\n" + longLabel + ": 12345\n" + longLabel + ": 2.50\n");
}

TEST_F(DebugLogTest, ConcurrentWritersNeverInterleaveWithinALine)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    DbgLogOpen();
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            const std::string text = "writer " + std::to_string(t) + " " + std::string(60, 'a' + t);
            for (int i = 0; i < kLines; ++i)
                DbgLogTwoInts(text.c_str(), "line", t, i);
        });
    }
    for (auto& writer : writers)
        writer.join();
    DbgLogClose();

    std::istringstream lines(Body());
    std::string line;
    std::set<std::pair<int, int>> seen;
    while (std::getline(lines, line)) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "writer %d", &t), 1) << line;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        const std::string expected = "writer " + std::to_string(t) + " " +
                                     std::string(60, 'a' + t) + ": " + std::to_string(t) +
                                     ", line: ";
        ASSERT_EQ(line.compare(0, expected.size(), expected), 0) << line;
        i = std::atoi(line.c_str() + expected.size());
        seen.insert({t, i});
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

} // namespace
