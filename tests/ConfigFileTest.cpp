#include "host/ConfigFile.h"

#include "host/HostState.h"
#include "log/DebugLog.h"
#include "tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        nRequestedDrvNum = -1;
        lnumDevs = 0;
        DbgLogOpen();
    }
    void TearDown() override { DbgLogClose(); }
    void Store(const std::string& content)
    {
        std::ofstream out("ASIOConfig.txt", std::ios::binary);
        out << content;
    }
    static std::string Read(const char* name)
    {
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Log()
    {
        DbgLogClose();
        const std::string text = Read("Dbg.Log");
        return text;
    }
    ScratchFolder m_scratch{"tonewright-config"};
};

TEST_F(ConfigFileTest, MissingFileGivesDriverZeroAndTheWriteCreatesIt)
{
    lnumDevs = 2;
    EXPECT_EQ(ReadConfigDriverNum(), 0);
    EXPECT_EQ(nRequestedDrvNum, -1);
    WriteConfigDriverNum(0);
    EXPECT_EQ(Read("ASIOConfig.txt"), "0");
    const std::string log = Log();
    EXPECT_EQ(log.find("Found ASIO Configuration file!"), std::string::npos);
    EXPECT_NE(log.find("Updating ASIO Configuration file!\n"), std::string::npos);
}

TEST_F(ConfigFileTest, AStoredIndexBelowTheCountIsUsedAndNotRewritten)
{
    lnumDevs = 3;
    Store("1 and whatever follows");
    EXPECT_EQ(ReadConfigDriverNum(), 1);
    WriteConfigDriverNum(1);
    EXPECT_EQ(Read("ASIOConfig.txt"), "1 and whatever follows");
    const std::string log = Log();
    EXPECT_NE(log.find("Found ASIO Configuration file!\nnRequestedDrvNum: 1, Num devices: 3\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Updating"), std::string::npos);
}

TEST_F(ConfigFileTest, UnusableContentFallsBackToDriverZero)
{
    lnumDevs = 2;
    Store("7");
    EXPECT_EQ(ReadConfigDriverNum(), 0);
    EXPECT_EQ(nRequestedDrvNum, 7);
    WriteConfigDriverNum(0);
    EXPECT_EQ(Read("ASIOConfig.txt"), "0");
    std::string log = Log();
    EXPECT_NE(log.find("nRequestedDrvNum: 7, Num devices: 2\nnRequestedDrvNum > lnumDevs!: 2\n"),
              std::string::npos);

    const std::string contents[] = {"", "A", "\x01", "\xff\xfe", std::string(5000, '9'), "\n"};
    const int32_t expectedRequests[] = {-49, 17, -47, 0xff - 0x30, 9, 10 - 0x30};
    for (size_t i = 0; i < std::size(contents); ++i) {
        DbgLogOpen();
        Store(contents[i]);
        lnumDevs = 16;
        const int32_t index = ReadConfigDriverNum();
        EXPECT_EQ(nRequestedDrvNum, expectedRequests[i]) << i;
        EXPECT_EQ(index,
                  expectedRequests[i] >= 0 && expectedRequests[i] < 16 ? expectedRequests[i] : 0)
            << i;
        log = Log();
        if (expectedRequests[i] < 0) {
            EXPECT_NE(log.find("Error reading configuration file!\n"), std::string::npos) << i;
        }
    }
}

TEST_F(ConfigFileTest, IndexesAboveNineUseTheCharactersAfterTheDigits)
{
    WriteConfigDriverNum(12);
    EXPECT_EQ(Read("ASIOConfig.txt"), "<");
    nRequestedDrvNum = -1;
    lnumDevs = 16;
    EXPECT_EQ(ReadConfigDriverNum(), 12);
    WriteConfigDriverNum(15);
    EXPECT_EQ(Read("ASIOConfig.txt"), "?");
    // Indexes the single character cannot hold are not written.
    WriteConfigDriverNum(16);
    WriteConfigDriverNum(-3);
    EXPECT_EQ(Read("ASIOConfig.txt"), "?");
    EXPECT_EQ(nRequestedDrvNum, 15);
}

TEST_F(ConfigFileTest, AnUnwritableFileStillMovesTheIndex)
{
    fs::create_directory("ASIOConfig.txt"); // a folder in its place cannot be opened as a file
    WriteConfigDriverNum(3);
    EXPECT_EQ(nRequestedDrvNum, 3);
    EXPECT_EQ(Log().find("Updating"), std::string::npos);
}

} // namespace
