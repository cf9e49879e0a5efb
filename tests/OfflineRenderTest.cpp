// tonewright-play --output against the virtual card's takes of the same
// requests, the files read back by sox, libsndfile's sndfile-info, Python's
// wave module and ffprobe, none of which shares code with ours.
#include "tests/ScratchFolder.h"
#include "tests/fixtures/SignalMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace {

// The player run in the current folder, on cards of two channels that
// record "take.wav", followed by `then` in the same shell; what that prints.
std::string Player(const std::string& args, const char* then = "; echo $?")
{
    std::ofstream cards("cards.reg");
    cards << "Windows Registry Editor Version 5.00\n";
    for (const char* card : {"16-bit", "24-bit", "32-bit", "float"})
        cards << "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card " << card
              << "]\n\"RecordFile\"=\"take.wav\"\n\"Channels\"=dword:00000002\n";
    cards.close();
    return RunCommand("TONEWRIGHT_REGISTRY=" TONEWRIGHT_PRODUCT_REGISTRY
                      ":. " TONEWRIGHT_PLAY_PROGRAM " " +
                      args + " >/dev/null 2>&1 " + then);
}

std::string Layout(const char* path)
{
    return RunCommand(std::string("ffprobe -v error -show_entries stream=channel_layout "
                                  "-of csv=p=0 ") +
                      path);
}

TEST(OfflineRender, EachSignalInEachFormatIsTheCardsTakeAndReadsWithoutAWarning)
{
    ScratchFolder folder("tonewright-offline");
    struct Format {
        const char* name;
        const char* card;
        const char* layout;     // plain 16-bit PCM has no channel mask
        const char* soxWarning; // sox 14.4.2 wants a size after every float format
        int flac;               // the bits of a FLAC file of the format, 0 for none
    };
    const Format formats[] = {
        {"s16", "Virtual Card, 16", "unknown\n", "", 16},
        {"s24", "Virtual Card, 24", "stereo\n", "", 24},
        {"s32", "Virtual Card, 32-bit i", "stereo\n", "", 0},
        {"float", "Virtual Card, 32-bit f", "stereo\n",
         "sox WARN wav: wave header missing extended part of fmt chunk\n", 0},
    };
    for (const Format& format : formats)
        for (const char* signal : {"sine 1000", "sweep 100 5000", "pink", "white"}) {
            SCOPED_TRACE(std::string(format.name) + " " + signal);
            const std::string request = std::string(" --seed 3 --seconds 0.1 ") + signal;
            std::remove("take-001.wav");
            ASSERT_EQ(Player("--driver '" + std::string(format.card) + "'" + request), "0\n");
            ASSERT_EQ(Player(std::string("--output out.wav --format ") + format.name + request),
                      "0\n");
            const SoxAudio take = SoxRead("take-001.wav");
            const SoxAudio file = SoxRead("out.wav");
            ASSERT_EQ(file.channels.size(), 2u);
            EXPECT_GT(Peak(file.channels[1]), 0.05);
            EXPECT_TRUE(file.channels == take.channels) << file.Frames() << " " << take.Frames();
            EXPECT_EQ(file.warnings, format.soxWarning);
            const std::string info = RunCommand("sndfile-info out.wav");
            EXPECT_TRUE(info.find("should") == std::string::npos &&
                        info.find("***") == std::string::npos)
                << info;
            EXPECT_EQ(Layout("out.wav"), format.layout);
            if (format.flac == 16) {
                EXPECT_EQ(RunCommand("python3 -W error -c \"import wave; "
                                     "print(wave.open('out.wav').getnframes())\""),
                          std::to_string(file.Frames()) + "\n");
            }
            if (format.flac == 0) continue;
            ASSERT_EQ(Player(std::string("--output out.flac --format ") + format.name + request),
                      "0\n");
            EXPECT_TRUE(SoxRead("out.flac").channels == file.channels);
        }
    EXPECT_EQ(Player("--output out.flac --format s32 pink"), "64\n") << "FLAC holds 16 or 24 bits";
}

TEST(OfflineRender, AKilledPlayersTakeReadsToItsLastSecondAndCtrlCLeavesAValidShorterFile)
{
    ScratchFolder folder("tonewright-offline-cut");
    EXPECT_EQ(Player("--output out.wav --seconds 10 sine 1000"), "0\n");
    Player("--driver 'Virtual Card, 16' --seconds 10 sine 1000", "& sleep 4; kill -KILL $!");
    const SoxAudio take = SoxRead("take-001.wav");
    const SoxAudio file = SoxRead("out.wav");
    ASSERT_GE(take.Frames(), 48000u) << "the header was brought up to date each second";
    EXPECT_EQ(take.warnings, "");
    EXPECT_TRUE(
        std::equal(take.channels[0].begin(), take.channels[0].end(), file.channels[0].begin()));

    // Interrupted once it has written a megabyte, some way into a long render.
    EXPECT_EQ(Player("--output long.wav --rate 384000 --channels 10 --format s32 --seconds 60 pink",
                     "& while [ $(stat -c %s long.wav 2>/dev/null || echo 0) -lt 1000000 ]; do "
                     "sleep 0.01; done; kill -INT $!; wait $!; echo $?"),
              "130\n");
    const SoxAudio cut = SoxRead("long.wav");
    EXPECT_TRUE(cut.Frames() > 0 && cut.Frames() < 60u * 384000 && cut.Frames() % 256 == 0)
        << cut.Frames();
    EXPECT_EQ(cut.warnings, "");
    EXPECT_EQ(Layout("long.wav"), "10 channels (FL+FR+FC+LFE+BL+BR+FLC+FRC+BC+SL)\n");
}

} // namespace
