#include "cli/PlayArguments.h"

#include "gen/NoteTable.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct Parsed {
    ParseResult result;
    PlayArguments arguments;
};

Parsed Parse(std::initializer_list<const char*> words)
{
    std::vector<const char*> argv{"tonewright-play"};
    argv.insert(argv.end(), words.begin(), words.end());
    Parsed parsed{{false, {}}, {}};
    parsed.result =
        ParsePlayArguments(static_cast<int>(argv.size()), argv.data(), parsed.arguments);
    return parsed;
}

TEST(PlayArgumentsTest, ASignalAloneTakesTheDialogsInitialValues)
{
    const Parsed sine = Parse({"sine", "1000"});
    ASSERT_TRUE(sine.result.ok) << sine.result.error;
    EXPECT_EQ(sine.arguments.command, PlayCommand::Sine);
    EXPECT_EQ(sine.arguments.frequency, 1000.0);
    EXPECT_EQ(sine.arguments.seconds, 0.5);
    EXPECT_EQ(sine.arguments.attenuation, 12u);
    EXPECT_EQ(sine.arguments.pair, -1);
    EXPECT_EQ(sine.arguments.rate, 0u);
    EXPECT_TRUE(sine.arguments.driver.empty());

    const Parsed sweep = Parse({"sweep", "65.406391", "4186.009045"});
    ASSERT_TRUE(sweep.result.ok) << sweep.result.error;
    EXPECT_EQ(sweep.arguments.command, PlayCommand::Sweep);
    EXPECT_EQ(sweep.arguments.freqStart, 65.406391);
    EXPECT_EQ(sweep.arguments.freqEnd, 4186.009045);

    EXPECT_EQ(Parse({"pink"}).arguments.command, PlayCommand::Pink);
    EXPECT_EQ(Parse({"white"}).arguments.command, PlayCommand::White);
    EXPECT_EQ(Parse({"--list"}).arguments.command, PlayCommand::List);
}

TEST(PlayArgumentsTest, OptionsGoAnywhereInEitherSpelling)
{
    const Parsed parsed = Parse({"--driver", "Virtual Card, 24", "--pair=1", "white", "--rate",
                                 "96000", "--seconds=2.25", "--attenuation", "0"});
    ASSERT_TRUE(parsed.result.ok) << parsed.result.error;
    EXPECT_EQ(parsed.arguments.command, PlayCommand::White);
    EXPECT_EQ(parsed.arguments.driver, "Virtual Card, 24");
    EXPECT_EQ(parsed.arguments.pair, 1);
    EXPECT_EQ(parsed.arguments.rate, 96000u);
    EXPECT_EQ(parsed.arguments.seconds, 2.25);
    EXPECT_EQ(parsed.arguments.attenuation, 0u);

    // The last of a repeated option counts.
    EXPECT_EQ(Parse({"--pair", "1", "--pair", "3", "pink"}).arguments.pair, 3);
}

TEST(PlayArgumentsTest, ValuesOutOfRangeAreLeftForTheRequestToRefuse)
{
    // The requests hold the checks and their log lines: parsing lets these through.
    const Parsed parsed = Parse({"--seconds", "-1", "--attenuation", "4294967295", "sine", "-5"});
    ASSERT_TRUE(parsed.result.ok) << parsed.result.error;
    EXPECT_EQ(parsed.arguments.seconds, -1.0);
    EXPECT_EQ(parsed.arguments.attenuation, 4294967295u);
    EXPECT_EQ(parsed.arguments.frequency, -5.0);
    EXPECT_TRUE(Parse({"sine", "30000", "--seconds", "61"}).result.ok);
    EXPECT_TRUE(Parse({"sweep", "5", "1e5"}).result.ok);
}

TEST(PlayArgumentsTest, NotesArePlainNamesOfTheTable)
{
    const Parsed a4 = Parse({"note", "A4"});
    ASSERT_TRUE(a4.result.ok) << a4.result.error;
    EXPECT_EQ(a4.arguments.command, PlayCommand::Note);
    EXPECT_EQ(a4.arguments.noteIndex, kNoteA4);
    EXPECT_EQ(a4.arguments.noteName, "A4");
    EXPECT_EQ(Parse({"note", "C#6"}).arguments.noteIndex,
              Parse({"note", "Db6"}).arguments.noteIndex);
    EXPECT_EQ(Parse({"note", "C#6"}).arguments.noteIndex, 73);
    EXPECT_EQ(Parse({"note", "C0"}).arguments.noteIndex, 0);

    // Names as the list decorates them, and notes outside the table.
    for (const char* bad : {"C0:", "C#0/Db0", "A9", "H4", "Cb0", "B#8", "440"}) {
        const Parsed parsed = Parse({"note", bad});
        EXPECT_FALSE(parsed.result.ok) << bad;
        EXPECT_NE(parsed.result.error.find(bad), std::string::npos) << parsed.result.error;
    }
}

TEST(PlayArgumentsTest, MalformedCommandLinesAreUsageErrors)
{
    const std::vector<std::vector<const char*>> cases = {
        {},                                      // nothing to play
        {"hum"},                                 // no such signal
        {"sine"},                                // frequency missing
        {"sine", "440", "880"},                  // one value too many
        {"sweep", "100"},                        // end frequency missing
        {"pink", "2"},                           // noise takes no value
        {"sine", "abc"},                         // not a number
        {"sine", "440Hz"},                       // trailing text
        {"sine", " 440"},                        // leading blank
        {"sine", "inf"},                         // not finite
        {"sine", "nan"},                         // not a number at all
        {"sine", "1e999"},                       // overflows
        {"note"},                                // name missing
        {"--seconds", "half", "pink"},           // duration not a number
        {"--seconds"},                           // value missing
        {"--attenuation", "-3", "pink"},         // the field is unsigned
        {"--attenuation", "12.5", "pink"},       // and whole
        {"--attenuation", "4294967296", "pink"}, // beyond 32 bits
        {"--pair", "one", "pink"},               // not an index
        {"--pair", "-1", "pink"},                // negative index
        {"--rate", "0", "pink"},                 // no rate
        {"--rate", "48k", "pink"},               // not a number
        {"--driver=", "pink"},                   // empty driver
        {"--volume", "3", "pink"},               // no such option
        {"-x", "pink"},                          // single dash is a value, and pink takes none
        {"--list", "pink"},                      // a listing plays nothing
    };
    for (const auto& words : cases) {
        std::vector<const char*> argv{"tonewright-play"};
        argv.insert(argv.end(), words.begin(), words.end());
        PlayArguments arguments;
        const ParseResult result =
            ParsePlayArguments(static_cast<int>(argv.size()), argv.data(), arguments);
        std::string line;
        for (const char* word : words)
            line += std::string(word) + " ";
        EXPECT_FALSE(result.ok) << line;
        EXPECT_FALSE(result.error.empty()) << line;
    }
}

TEST(PlayArgumentsTest, HelpAndVersionAnswerWhateverElseIsGiven)
{
    EXPECT_EQ(Parse({"sine", "440", "--help"}).arguments.command, PlayCommand::Help);
    EXPECT_EQ(Parse({"-h"}).arguments.command, PlayCommand::Help);
    EXPECT_EQ(Parse({"--version", "pink"}).arguments.command, PlayCommand::Version);
    EXPECT_EQ(Parse({"--help", "--version"}).arguments.command, PlayCommand::Help);
}

TEST(PlayArgumentsTest, NumbersAreReadWhole)
{
    uint32_t value = 7;
    EXPECT_TRUE(ParseUnsigned("4294967295", value));
    EXPECT_EQ(value, 4294967295u);
    EXPECT_TRUE(ParseUnsigned("0", value));
    EXPECT_EQ(value, 0u);
    for (const char* bad :
         {"", "+1", "-1", " 1", "1 ", "4294967296", "99999999999999999999", "0x10"})
        EXPECT_FALSE(ParseUnsigned(bad, value)) << '"' << bad << '"';
    EXPECT_FALSE(ParseUnsigned(nullptr, value));

    double number = 0.0;
    EXPECT_TRUE(ParseNumber("1108.73052390749", number));
    EXPECT_EQ(number, 1108.73052390749);
    EXPECT_TRUE(ParseNumber("-0.5", number));
    EXPECT_EQ(number, -0.5);
    EXPECT_TRUE(ParseNumber("2e3", number));
    EXPECT_EQ(number, 2000.0);
    for (const char* bad : {"", ".", "-", "1.2.3", "1,5", "inf", "-inf", "nan", "1e400", "\t1"})
        EXPECT_FALSE(ParseNumber(bad, number)) << '"' << bad << '"';
}

} // namespace
