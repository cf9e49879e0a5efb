// The driver list, start-up, the driver query, setup and teardown on the
// scriptable test driver, and the configuration file: what each logs, lists
// in the combo boxes, writes to the file and asks of the driver.
#include "host/AsioDriverList.h"
#include "host/ConfigFile.h"
#include "tests/HostFixture.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

using AsioDriverListTest = HostTest;
using HostStartup = HostTest;
using DriverQuery = HostTest;
using ConfigFile = HostTest;

TEST_F(AsioDriverListTest, UnusableDriversAreLeftOutSayingWhyAndTheRestNumberedDensely)
{
    const std::string a = (dir / "a.so").string(), gone = (dir / "gone.so").string();
    const std::string forty = "A driver name of exactly forty character";
    std::ofstream(a) << "not a real module";
    // Without a description a driver is named after its key; a key of 128
    // characters ends the enumeration, so Zeta is not listed either.
    Registry(Server(kTestClsid, a) + Server(kBrokenClsid, gone) +
             Driver("Alpha", kTestClsid, forty) + Driver("Beta", "") +
             Driver("Delta", "{DDDDDDDD-0000-0000-0000-000000000000}") +
             Driver("Epsilon", kBrokenClsid) + Driver("Gamma", kTestClsid) +
             Driver("H" + std::string(127, 'x'), kTestClsid) + Driver("Zeta", kTestClsid));
    {
        AsioDriverList list;
        EXPECT_EQ(list.asioDriverCount(), 2);
        // Names are cut to the buffer with "..."; below 4 characters, what fits.
        const std::pair<int, std::string> cuts[] = {{41, forty},
                                                    {40, forty.substr(0, 36) + "..."},
                                                    {32, forty.substr(0, 28) + "..."},
                                                    {3, "A "},
                                                    {1, ""}};
        char text[512];
        for (const auto& [size, name] : cuts) {
            std::memset(text, '#', sizeof text);
            EXPECT_EQ(list.asioDriverName(0, text, size), 0);
            EXPECT_EQ(text, name) << size;
            EXPECT_EQ(text[size], '#') << "written past the buffer of " << size;
        }
        EXPECT_EQ(list.asioDriverName(0, nullptr, 10), DRIVER_ERR_INVALID_PARAM);
        EXPECT_EQ(list.asioDriverName(2, text, 10), DRIVER_ERR_NOT_FOUND);
        // A path one character too long for the buffer leaves it empty.
        EXPECT_EQ(list.asioDriverPath(0, text, static_cast<int>(a.size())),
                  DRIVER_ERR_INVALID_PARAM);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(list.asioDriverPath(1, text, static_cast<int>(a.size() + 1)), 0);
        EXPECT_EQ(text, a);
    }
    EXPECT_TRUE(LogHas(Log(), "Driver \"Beta\" is left out: it has no CLSID value\n"
                              "Driver \"Delta\" is left out: its class "
                              "{DDDDDDDD-0000-0000-0000-000000000000} is not registered under "
                              "HKEY_CLASSES_ROOT\\CLSID\n"
                              "Driver \"Epsilon\" is left out: its module file " +
                                  gone + ": No such file or directory\n" +
                                  "Enumerating ASIO Drivers...\n\nnumDev: 0\n" + forty + "\n" + a +
                                  "\n\nnumDev: 1\nGamma\n" + a +
                                  "\n\nAsioDriverList destruction.\n"));
}

TEST_F(AsioDriverListTest, OpeningPassesTheLoadersCodeAndReasonOnAndKeepsWhatItOpened)
{
    Install({"B", "C"}, Server("{not a class id}", (dir / "broken.so").string()) +
                            Driver("A", "{not a class id}"));
    {
        AsioDriverList list;
        IASIO* driver = nullptr;
        EXPECT_EQ(list.asioOpenDriver(0, &driver), REGDB_E_CLASSNOTREG);
        EXPECT_STREQ(
            list.asioDriverFailure(0),
            "its CLSID \"{not a class id}\" is not in the {8-4-4-4-12} form of a class id");
        script->createResult = E_FAIL;
        EXPECT_EQ(list.asioOpenDriver(1, &driver), E_FAIL);
        list.asioLogDriverFailure(1);
        EXPECT_TRUE(LogHas(Log(),
                           "Driver 1 \"B\" cannot be used: module " TONEWRIGHT_TEST_DRIVER_MODULE
                           " refused to create the object (code 0x80004005"));
        // Any success code brings an object, kept until the list goes.
        script->createResult = S_FALSE;
        EXPECT_EQ(list.asioOpenDriver(2, &driver), 0);
        IASIO* again = reinterpret_cast<IASIO*>(0x1);
        EXPECT_EQ(list.asioOpenDriver(2, &again), DRIVER_ERR_ALREADY_OPEN);
        EXPECT_EQ(again, reinterpret_cast<IASIO*>(0x1));
        EXPECT_EQ(list.asioOpenDriver(0, nullptr), DRIVER_ERR_INVALID_PARAM);
        EXPECT_EQ(list.asioOpenDriver(3, &again), DRIVER_ERR_NOT_FOUND);
        EXPECT_EQ(script->LiveDrivers(), 1);
    }
    EXPECT_EQ(script->LiveDrivers(), 0);
}

TEST_F(HostStartup, OpensTheConfiguredDriverOrFallsBackAndTheFileNamesTheOneOpened)
{
    // No driver: the version, the command line as the kernel keeps it, the count.
    Install({});
    EXPECT_FALSE(ASIOHostInit(&driverCombo, -1));
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string commandLine((std::istreambuf_iterator<char>(file)), {});
    std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
    commandLine.pop_back();
    EXPECT_TRUE(LogHas(Log(), "Tonewright version 2.31\n" + commandLine +
                                  "\n\nEnumerating ASIO Drivers...\n\n"
                                  "Couldn't find any ASIO drivers!\nTotal num devices found: 0\n"
                                  "asioOpenDriver failed for device: 0\n"));
    EXPECT_EQ(Read("ASIOConfig.txt"), "");
    ASIOHostShutdown(true);

    // Twenty drivers are cut to sixteen: driver 18 is never opened, driver 0 is.
    Lines cards;
    for (int i = 0; i < 20; ++i)
        cards.push_back("Card " + std::string(i < 10 ? "0" : "") + std::to_string(i));
    Install(cards);
    ASSERT_TRUE(ASIOHostInit(&driverCombo, 18));
    EXPECT_EQ(driverCombo.entries, Lines(cards.begin(), cards.begin() + 16));
    EXPECT_EQ(script->CountOf("CreateInstance"), 1);
    EXPECT_TRUE(LogHas(Log(), "Num devices exceeds limit: 20\nTotal num devices found: 16\n"
                              "asioOpenDriver failed for device: 18\n"));
    EXPECT_EQ(Read("ASIOConfig.txt"), "0");
    ASIOHostShutdown(true);

    // The configured driver 2 fails and driver 0 opens; the long name of
    // driver 2 keeps both marks in the combo, and the file is rewritten.
    const std::string x(130, 'x');
    Install({"Card A", "Card B"}, Driver("Card C", kBrokenClsid, x));
    std::ofstream(dir / "ASIOConfig.txt") << "2";
    driverCombo.ComboResetContent();
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    EXPECT_EQ(driverCombo.entries, (Lines{"Card A", "Card B", "*" + x.substr(0, 123) + "... N/A"}));
    EXPECT_EQ(driverCombo.selection, 0);
    EXPECT_EQ(Read("ASIOConfig.txt"), "0");
    EXPECT_TRUE(LogHas(Log(), "Total num devices found: 3\nFound ASIO Configuration file!\n"
                              "nRequestedDrvNum: 2, Num devices: 3\n"
                              "asioOpenDriver failed for device: 2\nDriver 2 \"" +
                                  x.substr(0, 80) + "...\" cannot be used: module " +
                                  (dir / "broken.so").string() + " does not load"));
    ASIOHostShutdown(true);

    // Every failing driver is skipped; with none left start-up fails.
    Install({"!Card A", "!Card B", "Card C"});
    driverCombo.ComboResetContent();
    ASSERT_TRUE(ASIOHostInit(&driverCombo, -1));
    EXPECT_EQ(driverCombo.entries, (Lines{"*Card A N/A", "*Card B N/A", "Card C"}));
    EXPECT_EQ(driverCombo.selection, 2);
    EXPECT_EQ(Read("ASIOConfig.txt"), "2");
    ASIOHostShutdown(true);
    Install({"!Card A", "!Card B"});
    EXPECT_FALSE(ASIOHostInit(&driverCombo, -1));
    EXPECT_EQ(ptrASIO, nullptr);
}

TEST_F(DriverQuery, QueryAndSetupLogEveryStepListThePairsAndTearDownInOrder)
{
    // The inactive second channel of pair 1 leaves it unusable: never silenced.
    Install({"Card A"});
    script->SetOutputs(6, ASIOSTInt32LSB);
    script->outputs[3].isActive = ASIOFalse;
    // A driver's name may fill all 128 bytes the interface gives it.
    std::memset(script->driverName, 'n', 127);
    // Switches driven as soon as the driver runs, while the host sleeps.
    std::atomic<bool> done{false};
    std::thread driver([&] {
        while (!done && !script->DriveSwitches(3))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    const bool started = StartHost();
    done = true;
    driver.join();
    ASSERT_TRUE(started);
    EXPECT_EQ(outputCombo.entries, (Lines{"Out 1 / 2", "Out 3 / 4", "Out 5 / 6"}));
    EXPECT_EQ(outputCombo.selection, 0);
    EXPECT_EQ(asioDriverInfo.hWndMain, &dialog);
    const bool* usable = asioDriverInfo.bPairUsable;
    EXPECT_EQ(std::vector<bool>(usable, usable + 3), (std::vector<bool>{true, false, true}));
    // Once from the query, then after every switch.
    EXPECT_EQ(script->CountOf("outputReady"), 4);
    ASIOSelectOutputPair(1);
    ASIOSelectOutputPair(3);
    ASIOSelectOutputPair(-1);
    EXPECT_EQ(std::count(std::begin(asioDriverInfo.bPairSelected),
                         std::end(asioDriverInfo.bPairSelected), true),
              1);
    EXPECT_TRUE(asioDriverInfo.bPairSelected[1]);
    EXPECT_TRUE(
        LogHas(Log(), "asioOpenDriver success!\n"
                      "Updating ASIO Configuration file!\n"
                      "Diver selected...\n"
                      "Card A\n" TONEWRIGHT_TEST_DRIVER_MODULE "\n\n" +
                          std::string(127, 'n') +
                          "\n"
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
                          "bOutputReady = true\n"
                          "pASIOBuffers->bInitSuccess\n"
                          "asioDriverInfo.outputBuffers to activate: 6\n"
                          "asioDriverInfo.inputLatency: 256, asioDriverInfo.outputLatency: 512\n"
                          "Using: Out 1 / Out 2\n"
                          "dwBufferSizeBytes: 1024\n"
                          "OK - we are now playing silence.\n"
                          "Going to sleep for 500 ms to see if count_buffers_played increments\n"
                          "dwCountBuffers: 3\n"
                          "OK - Very encouraging - we played some buffers of silence.\n"
                          "CreatePrimaryBuffer success!\n"
                          "Using: Out 3 / Out 4\n"
                          "Failed: ASIOSelectOutputPair - no such output pair: 3\n"
                          "Failed: ASIOSelectOutputPair - no such output pair: -1\n"));
    // The driver is stopped and its buffers disposed, then the generators
    // go, and only the driver list releases the driver.
    script->ForgetCalls();
    ASIOHostShutdown(false);
    EXPECT_EQ(script->Calls(), (Lines{"stop", "disposeBuffers"}));
    EXPECT_EQ(pSineGenerator, nullptr);
    EXPECT_EQ(script->LiveDrivers(), 1);
    ASIOHostShutdown(true);
    EXPECT_EQ(script->LiveDrivers(), 0);
}

void Name(TestDriverScript* s, const Lines& names)
{
    s->SetOutputs(static_cast<int32_t>(names.size()), ASIOSTInt16LSB);
    for (size_t i = 0; i < names.size(); ++i)
        std::strcpy(s->outputs[i].name, names[i].c_str());
}

TEST_F(DriverQuery, EachCardGetsItsPairLabelsAndBufferSizeOrIsRefusedBeforeAnyBuffer)
{
    // Sets up the card scripted so far, then a fresh one.
    const auto check = [&](bool ok, const Lines& labels, const std::string& excerpt) {
        SCOPED_TRACE(excerpt);
        outputCombo.ComboResetContent();
        EXPECT_EQ(StartHost(false), ok);
        EXPECT_TRUE(LogHas(Log(), excerpt));
        if (!ok || !labels.empty()) {
            EXPECT_EQ(outputCombo.entries, labels);
        }
        if (!ok) { // torn down at once: stopped, nothing to dispose
            EXPECT_EQ(script->CountOf("stop"), 1);
            EXPECT_EQ(script->CountOf("disposeBuffers"), 0);
        }
        ASIOHostShutdown(true);
        script->Reset();
    };
    Install({"Card A"});
    script->SetOutputs(5, ASIOSTInt16LSB);
    check(true, {"Out 1 / 2", "Out 3 / 4"}, "dwBufferSizeBytes: 512\n");
    script->SetOutputs(2, ASIOSTInt24LSB);
    check(true, {"Out 1 / 2"}, "dwBufferSizeBytes: 768\n");
    Name(script,
         {"Analog 10", "Analog 11", "Line L", "Line R", "Out 9", "Out 10", "Out 0", "Out 1"});
    check(true, {"Analog 10 / Analog 11", "Line L / Line R", "Out 9 / Out 10", "Out 0 / 1"}, "");
    // Only the first 32 channels are used.
    script->SetOutputs(40, ASIOSTInt32LSB);
    check(
        true, {},
        "Channel: 31 - Group: 0 - Out 32, ASIO sample type: ASIOSTInt32LSB\nbOutputReady = true\n");
    // Every channel is logged with its type; a pair is listed for its second
    // channel's type.
    script->SetOutputs(4, ASIOSTInt32MSB24);
    script->outputs[1].type = ASIOSTFloat64LSB, script->outputs[2].type = 5;
    script->outputs[3].type = ASIOSTInt16LSB;
    const std::string unsupported = "Can't support sound card's internal format!\n\n";
    check(false, {"Out 3 / 4"},
          "Channel: 0 - Group: 0 - Out 1, ASIO sample type: ASIOSTInt32MSB24\n"
          "Channel: 1 - Group: 0 - Out 2, ASIO sample type: ASIOSTFloat64LSB\n"
          "Channel: 2 - Group: 0 - Out 3, ASIO sample type: Unknown format\n"
          "Channel: 3 - Group: 0 - Out 4, ASIO sample type: ASIOSTInt16LSB\n" +
              unsupported);
    script->SetOutputs(0, ASIOSTInt32LSB);
    check(false, {}, "Channels available...\n" + unsupported);
    script->outputs[1].type = ASIOSTInt32MSB;
    check(false, {}, "Can't find an output pair in sound card's internal format!\n");
    script->preferredSize = 0;
    check(false, {"Out 1 / 2"}, "Can't support sound card's preferred buffer size!\n");
    script->createBuffersResult = ASE_NoMemory;
    check(false, {"Out 1 / 2"},
          "asioDriverInfo.outputBuffers to activate: 2\nptrASIO->createBuffers failed!\n");
    // A driver may fill all 128 bytes the interface gives its texts.
    script->initResult = ASIOFalse;
    std::memset(script->errorMessage, 'e', 127);
    check(false, {},
          "Diver selected...\nCard A\n" TONEWRIGHT_TEST_DRIVER_MODULE "\n\n" +
              std::string(127, 'e') + "\n");
}

TEST_F(ConfigFile, TheFirstCharacterIsTheIndexBelowTheDriverCountAndIsWrittenWhenItChanges)
{
    const std::string found = "Found ASIO Configuration file!",
                      beyond = "nRequestedDrvNum > lnumDevs!: ";
    const struct {
        std::string content;
        int32_t drivers, index, requested;
        Lines lines;
    } cases[] = {
        {"1 and whatever follows", 3, 1, 1, {found, "nRequestedDrvNum: 1, Num devices: 3"}},
        {"0", 1, 0, 0, {found, "nRequestedDrvNum: 0, Num devices: 1"}},
        {"<", 16, 12, 12, {found, "nRequestedDrvNum: 12, Num devices: 16"}},
        {"7", 2, 0, 7, {found, "nRequestedDrvNum: 7, Num devices: 2", beyond + "2"}},
        {"A", 16, 0, 17, {found, "nRequestedDrvNum: 17, Num devices: 16", beyond + "16"}},
        {"\xff", 16, 0, 207, {found, "nRequestedDrvNum: 207, Num devices: 16", beyond + "16"}},
        {"", 2, 0, -49, {found, "Error reading configuration file!"}},
        {"/", 2, 0, -1, {found, "Error reading configuration file!"}},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "ASIOConfig.txt", std::ios::binary) << c.content;
        lnumDevs = c.drivers;
        EXPECT_EQ(ReadConfigDriverNum(), c.index) << c.content;
        EXPECT_EQ(nRequestedDrvNum, c.requested) << c.content;
        EXPECT_EQ(LoggedSince(), c.lines) << c.content;
    }
    // Only an index that differs from the one read or written is written,
    // and only one the single character can hold.
    WriteConfigDriverNum(12);
    EXPECT_EQ(Read("ASIOConfig.txt"), "<");
    std::ofstream(dir / "ASIOConfig.txt") << "x";
    WriteConfigDriverNum(12);
    WriteConfigDriverNum(16);
    EXPECT_EQ(Read("ASIOConfig.txt"), "x");
    EXPECT_EQ(LoggedSince(), Lines{"Updating ASIO Configuration file!"});
    // No file: driver 0, nothing said. A file that cannot be written still
    // moves the index, silently.
    std::filesystem::remove(dir / "ASIOConfig.txt");
    EXPECT_EQ(ReadConfigDriverNum(), 0);
    EXPECT_EQ(nRequestedDrvNum, 12);
    std::filesystem::create_directory(dir / "ASIOConfig.txt");
    WriteConfigDriverNum(3);
    EXPECT_EQ(nRequestedDrvNum, 3);
    EXPECT_TRUE(LoggedSince().empty());
}

} // namespace
