// tonewright-play's command lines read into what the run needs, or refused
// as usage errors. Ranges are the requests' to judge: parsing lets them through.
#include "cli/PlayArguments.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The words of a line written with '|' between them.
std::string Read(const std::string& line)
{
    std::vector<std::string> words{"tonewright-play"};
    std::istringstream split(line);
    for (std::string word; !line.empty() && std::getline(split, word, '|');)
        words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    PlayArguments a;
    const ParseResult result = ParsePlayArguments(static_cast<int>(argv.size()), argv.data(), a);
    if (!result.ok) return "error: " + result.error;
    const char* const commands[] = {"sine",  "note", "sweep", "pink",
                                    "white", "list", "help",  "version"};
    std::ostringstream text;
    text.precision(15);
    text << commands[static_cast<int>(a.command)] << " " << a.frequency << " " << a.noteIndex
         << a.noteName << " " << a.freqStart << "-" << a.freqEnd << " " << a.seconds << "s "
         << a.attenuation << "dB pair " << a.pair << " rate " << a.rate << " '" << a.driver << "'";
    if (a.verify)
        text << " verify " << a.gainDb << " " << a.toleranceDb << " " << a.thdnDb << " "
             << a.frequencyToleranceHz << (a.json ? " json '" : " '") << a.keep << "' '" << a.plot
             << "' in " << a.inputPair;
    return text.str();
}

class PlayArgumentsTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(PlayArgumentsTest, EachCommandLineReadsAsItsSignalAndOptions)
{
    EXPECT_EQ(Read(GetParam().first), GetParam().second);
}

// A signal alone takes the dialog's initial values: 0.5 s, 12 dB, the first
// pair, the card's rate, the configured driver. Options go anywhere, in
// either spelling; the last of a repeated one counts. Help and version
// answer whatever else is given.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Lines, PlayArgumentsTest, ::testing::Values(
    std::pair{"sine|1108.73052390749", "sine 1108.73052390749 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"sweep|65.406391|4186.009045", "sweep 0 -1 65.406391-4186.009045 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"pink", "pink 0 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"white", "white 0 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"--list", "list 0 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"note|Db6", "note 0 73Db6 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"--driver|Virtual Card, 24|--pair=1|white|--rate|96000|--seconds=2.25|--attenuation|0|--pair|3",
              "white 0 -1 0-0 2.25s 0dB pair 3 rate 96000 'Virtual Card, 24'"},
    std::pair{"--seconds|-1|--attenuation|4294967295|sine|-5", "sine -5 -1 0-0 -1s 4294967295dB pair -1 rate 0 ''"},
    std::pair{"sweep|5|2e3|--driver=2", "sweep 0 -1 5-2000 0.5s 12dB pair -1 rate 0 '2'"},
    std::pair{"sine|440|--help", "help 0 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"--version|pink", "version 0 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"-h|--version", "help 0 -1 0-0 0.5s 12dB pair -1 rate 0 ''"},
    std::pair{"sine|440|880", "error: unexpected '880'"},
    std::pair{"verify|pink", "pink 0 -1 0-0 0.5s 12dB pair -1 rate 0 '' verify 0 0.01 1 0.01 '' '' in 0"},
    std::pair{"--json|verify|--gain|-1.5|--tolerance=0.5|--thdn|-80|--frequency-tolerance|2|--keep|k.wav|--plot|p.png|--input|1|sweep|20|2e4",
              "sweep 0 -1 20-20000 0.5s 12dB pair -1 rate 0 '' verify -1.5 0.5 -80 2 json 'k.wav' 'p.png' in 1"}));

// No signal, no such signal, a value missing or one too many, a note outside
// the table or as the list writes it; numbers with trailing text, blanks, a
// comma, not finite or beyond the double; an unsigned or whole value with a
// sign, a fraction, hex or beyond 32 bits; an index beyond its type; no rate;
// an empty driver; no such option; a single dash is a value (and pink takes
// none); a listing plays nothing.
TEST(PlayArgumentsUsage, MalformedCommandLinesAreUsageErrors)
{
    for (const char* line : {"", "hum", "sine", "sine|440|880", "sweep|100", "pink|2", "note", "note|A9",
            "note|C#0/Db0", "sine|440Hz", "sine| 440", "sine|1,5", "sine|inf", "sine|nan", "sine|1e999",
            "--seconds|half|pink", "pink|--seconds", "--attenuation|+3|pink", "--attenuation|12.5|pink",
            "--rate|0x10|pink", "--attenuation|4294967296|pink", "--attenuation=99999999999999999999|pink",
            "--pair|-1|pink", "--pair|2147483648|pink", "--rate|0|pink", "--rate=|pink", "--driver=|pink",
            "--volume|3|pink", "-x|pink", "--list|pink", "verify", "--json|pink", "--gain|1|pink",
            "verify|--output|x.wav|pink", "verify|--capture|x.wav|pink", "verify|--list",
            "verify|--tolerance|0|pink", "verify|--gain|-x|pink", "--keep=|verify|pink"})
        EXPECT_GT(Read(line).rfind("error: ", 0) == 0 ? Read(line).size() : 0, 7u) << line;
}
// clang-format on

} // namespace
