// Start-up up to an open driver, and the driver query with its pair listing,
// on the scriptable test driver.
#include "host/AsioDriverList.h"
#include "host/DriverQuery.h"
#include "tests/HostFixture.h"

#include <cstdio>

namespace {

using HostStartup = HostTest;

TEST_F(HostStartup, NoDriverFailsAfterLoggingTheCommandLineTheCountAndTheFailedOpen)
{
    Install({});
    EXPECT_FALSE(ASIOHostInit(&driverCombo, -1));
    // The first three lines name the program, the command line with its
    // arguments joined by spaces, then a blank.
    std::FILE* file = std::fopen("/proc/self/cmdline", "rb");
    ASSERT_NE(file, nullptr);
    std::string commandLine;
    for (int c; (c = std::fgetc(file)) != EOF;)
        commandLine += c == 0 ? ' ' : static_cast<char>(c);
    std::fclose(file);
    while (!commandLine.empty() && commandLine.back() == ' ')
        commandLine.pop_back();
    const std::string log = Log();
    EXPECT_TRUE(LogHas(log, "Tonewright version 2.31\n" + commandLine + "\n\n"));
    EXPECT_TRUE(LogHas(log, "Couldn't find any ASIO drivers!\n"
                            "Total num devices found: 0\n"
                            "asioOpenDriver failed for device: 0\n"));
    EXPECT_EQ(ptrASIO, nullptr);
    EXPECT_TRUE(driverCombo.entries.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "ASIOConfig.txt"));
}

TEST_F(HostStartup, TwentyDriversAreCutToSixteen)
{
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Card %02d", i);
        names.emplace_back(name);
    }
    Install(names);
    ASSERT_TRUE(ASIOHostInit(&driverCombo, 18)); // beyond the cut: never opened
    EXPECT_EQ(lnumDevs, 16);
    ASSERT_EQ(driverCombo.entries.size(), 16u);
    EXPECT_EQ(driverCombo.entries[15], "Card 15");
    EXPECT_EQ(driverCombo.selection, 0);
    EXPECT_EQ(nCurrentDrvNum, 0);
    EXPECT_EQ(script->CountOf("CreateInstance"), 1);
    EXPECT_TRUE(LogHas(Log(), "Num devices exceeds limit: 20\n"
                              "Total num devices found: 16\n"
                              "asioOpenDriver failed for device: 18\n"));
    EXPECT_EQ(ConfigFile(), "0");
}

TEST_F(HostStartup, ConfiguredDriverFailingFallsBackAndRewritesTheFile)
{
    // Its long description keeps both marks.
    Install({"Card A", "Card B", "!Card C|" + std::string(130, 'x')});
    std::ofstream(dir / "ASIOConfig.txt") << "2";
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    EXPECT_EQ(nCurrentDrvNum, 0);
    EXPECT_NE(ptrASIO, nullptr);
    EXPECT_EQ(
        driverCombo.entries,
        (std::vector<std::string>{"Card A", "Card B", "*" + std::string(123, 'x') + "... N/A"}));
    EXPECT_EQ(driverCombo.selection, 0);
    EXPECT_EQ(ConfigFile(), "0");
    const std::string log = Log();
    EXPECT_TRUE(LogHas(log, "Total num devices found: 3\n"
                            "Found ASIO Configuration file!\n"
                            "nRequestedDrvNum: 2, Num devices: 3\n"
                            "asioOpenDriver failed for device: 2\n"));
    EXPECT_EQ(log.find("asioOpenDriver success!"), std::string::npos);
}

TEST_F(HostStartup, FallbackSkipsEveryFailingDriverAndFailsWhenNoneOpens)
{
    Install({"!Card A", "!Card B", "Card C"});
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    EXPECT_EQ(nCurrentDrvNum, 2);
    EXPECT_EQ(driverCombo.entries,
              (std::vector<std::string>{"*Card A N/A", "*Card B N/A", "Card C"}));
    EXPECT_EQ(driverCombo.selection, 2);
    EXPECT_EQ(ConfigFile(), "2");
    ASIOHostShutdown(true);

    Install({"!Card A", "!Card B"});
    std::filesystem::remove(dir / "ASIOConfig.txt");
    EXPECT_FALSE(ASIOHostInit(&driverCombo, -1));
    EXPECT_EQ(ptrASIO, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir / "ASIOConfig.txt"));
    ASIOHostShutdown(true);

    // A single driver that fails is not retried.
    Install({"!Card A"});
    EXPECT_FALSE(ASIOHostInit(&driverCombo, -1));
    EXPECT_TRUE(bDriverFailed[0] == false);
}

TEST_F(HostStartup, SampleTypeNames)
{
    LogSampleType(ASIOSTInt24LSB);
    LogSampleType(ASIOSTInt32MSB24);
    LogSampleType(ASIOSTFloat64LSB);
    LogSampleType(5);
    LogSampleType(-1);
    EXPECT_TRUE(LogHas(Log(), "ASIO sample type: ASIOSTInt24LSB\n"
                              "ASIO sample type: ASIOSTInt32MSB24\n"
                              "ASIO sample type: ASIOSTFloat64LSB\n"
                              "ASIO sample type: Unknown format\n"
                              "ASIO sample type: Unknown format\n"));
}

using DriverQuery = HostTest;

TEST_F(DriverQuery, QueryLogsTheDriverAndListsPairLabels)
{
    Install({"Card A"});
    script->SetOutputs(6, ASIOSTInt32LSB);
    script->outputs[2].channelGroup = 0;
    ASSERT_TRUE(StartHost());
    EXPECT_EQ(outputCombo.entries,
              (std::vector<std::string>{"Out 1 / 2", "Out 3 / 4", "Out 5 / 6"}));
    EXPECT_EQ(outputCombo.selection, 0);
    EXPECT_EQ(asioDriverInfo.nOutputPairs, 3);
    EXPECT_EQ(pASIOBuffers->lSampleType, ASIOSTInt32LSB);
    EXPECT_EQ(asioDriverInfo.hWndMain, &dialog);
    EXPECT_TRUE(LogHas(Log(), "Tonewright Test Driver\n"
                              "Driver Vers: 1\n"
                              "numInputChannels: 0, numOutputChannels: 6\n"
                              "inputLatency: 256, outputLatency: 512\n"
                              "minSize: 32, maxSize: 4096\n"
                              "preferredSize: 256, granularity: -1\n"
                              "sampleRate: 48000\n"
                              "Channels available...\n"
                              "Channel: 0 - Group: 0 - Out 1, ASIO sample type: ASIOSTInt32LSB\n"
                              "Channel: 1 - Group: 0 - Out 2, ASIO sample type: ASIOSTInt32LSB\n"
                              "Channel: 2 - Group: 0 - Out 3, ASIO sample type: ASIOSTInt32LSB\n"
                              "Channel: 3 - Group: 0 - Out 4, ASIO sample type: ASIOSTInt32LSB\n"
                              "Channel: 4 - Group: 0 - Out 5, ASIO sample type: ASIOSTInt32LSB\n"
                              "Channel: 5 - Group: 0 - Out 6, ASIO sample type: ASIOSTInt32LSB\n"
                              "bOutputReady = true\n"));
}

TEST_F(DriverQuery, LabelsOfOddNamesAndCounts)
{
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {{"Out 1", "Out 2", "Out 3", "Out 4", "Out 5"}, {"Out 1 / 2", "Out 3 / 4"}},
        {{"Analog 10", "Analog 11"}, {"Analog 10 / Analog 11"}},
        {{"Line L", "Line R"}, {"Line L / Line R"}},
        {{"Out 9", "Out 10"}, {"Out 9 / Out 10"}}, // never "Out 9 / :"
        {{"Out 0", "Out 1"}, {"Out 0 / 1"}},
    };
    for (const Case& c : cases) {
        Install({"Card A"});
        script->Reset();
        script->SetOutputs(static_cast<int32_t>(c.names.size()), ASIOSTInt16LSB);
        for (size_t i = 0; i < c.names.size(); ++i)
            std::snprintf(script->outputs[i].name, sizeof script->outputs[i].name, "%s",
                          c.names[i].c_str());
        outputCombo.ComboResetContent();
        ASSERT_TRUE(StartHost()) << c.names[0];
        EXPECT_EQ(outputCombo.entries, c.labels) << c.names[0];
        ASIOHostShutdown(true);
    }
}

TEST_F(DriverQuery, MoreThanThirtyTwoChannelsUseOnlyTheFirstThirtyTwo)
{
    Install({"Card A"});
    script->SetOutputs(40, ASIOSTInt32LSB);
    ASSERT_TRUE(StartHost());
    EXPECT_EQ(asioDriverInfo.nOutputPairs, 16);
    EXPECT_EQ(outputCombo.entries.size(), 16u);
    EXPECT_EQ(outputCombo.entries.back(), "Out 31 / Out 32");
    const std::string log = Log();
    EXPECT_TRUE(LogHas(log, "Channel: 31 - Group: 0 - Out 32, ASIO sample type: ASIOSTInt32LSB\n"
                            "bOutputReady = true\n"));
    EXPECT_EQ(log.find("Channel: 32 -"), std::string::npos);
    EXPECT_TRUE(LogHas(log, "asioDriverInfo.outputBuffers to activate: 32\n"));
}

TEST_F(DriverQuery, CardsTheHostCannotFeedAreRefusedBeforeAnyBuffer)
{
    using Names = std::vector<std::string>;
    struct Case {
        void (*setup)(TestDriverScript*);
        bool checkLabels;
        Names labels;
        std::string excerpt;
    };
    const Case cases[] = {
        // Every channel is still logged; a pair is listed for its second channel.
        {[](TestDriverScript* s) {
             s->SetOutputs(4, ASIOSTInt32MSB);
             s->outputs[3].type = ASIOSTInt16LSB;
         },
         true, Names{"Out 3 / 4"},
         "Channel: 2 - Group: 0 - Out 3, ASIO sample type: ASIOSTInt32MSB\n"
         "Channel: 3 - Group: 0 - Out 4, ASIO sample type: ASIOSTInt16LSB\n"
         "Can't support sound card's internal format!\n\n"},
        {[](TestDriverScript* s) { s->SetOutputs(0, ASIOSTInt32LSB); }, true, Names{},
         "Channels available...\nCan't support sound card's internal format!\n"},
        // Float cards list every pair; a 16-bit card whose second channels are
        // of another type lists none.
        {[](TestDriverScript* s) {
             s->SetOutputs(2, ASIOSTInt16LSB);
             s->outputs[1].type = ASIOSTInt32MSB;
         },
         true, Names{}, "Can't find an output pair in sound card's internal format!\n"},
        {[](TestDriverScript* s) { s->preferredSize = 0; }, false, Names{},
         "Can't support sound card's preferred buffer size!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.excerpt);
        Install({"Card A"});
        script->Reset();
        c.setup(script);
        outputCombo.ComboResetContent();
        EXPECT_FALSE(StartHost());
        if (c.checkLabels) {
            EXPECT_EQ(outputCombo.entries, c.labels);
        }
        EXPECT_EQ(pASIOBuffers, nullptr);
        EXPECT_EQ(script->CountOf("createBuffers"), 0);
        EXPECT_TRUE(LogHas(Log(), c.excerpt));
        ASIOHostShutdown(true);
        DbgLogOpen();
    }
}

// A driver may fill the whole 128 bytes the interface gives its texts: 127
// characters and the terminator reach the log whole.
TEST_F(DriverQuery, InitFailureLogsTheDriversTextAndNamesOfTheLongestLengthFit)
{
    Install({"Card A"});
    script->initResult = ASIOFalse;
    const std::string longest(127, 'e');
    std::snprintf(script->errorMessage, sizeof script->errorMessage, "%s", longest.c_str());
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    EXPECT_FALSE(ASIOSelectDriver(&dialog, &outputCombo));
    EXPECT_EQ(pASIOBuffers, nullptr);
    char path[256] = {};
    ASSERT_EQ(pAsioDriverList->asioDriverPath(0, path, sizeof path), 0);
    EXPECT_TRUE(
        LogHas(Log(), "Diver selected...\nCard A\n" + std::string(path) + "\n\n" + longest + "\n"));
    EXPECT_EQ(script->CountOf("getChannels"), 0);
    ASIOHostShutdown(true);
    DbgLogOpen();

    script->initResult = ASIOTrue;
    const std::string name(127, 'n');
    std::snprintf(script->driverName, sizeof script->driverName, "%s", name.c_str());
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    EXPECT_TRUE(ASIOSelectDriver(&dialog, &outputCombo));
    EXPECT_TRUE(LogHas(Log(), "\n" + name + "\nDriver Vers: 1\n"));
}

} // namespace
