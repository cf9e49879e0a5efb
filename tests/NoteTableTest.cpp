// The note table: the formatter's documented figures, the 108 equal-tempered
// frequencies with their list texts, the names with their irregularities,
// and the plain note names the command-line player accepts.
#include "gen/NoteTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

std::string Format(double value, int32_t decimals)
{
    char text[32];
    std::memset(text, 'x', sizeof(text));
    FormatDecimal(text, value, decimals);
    return text;
}

TEST(NoteTable, FormatDecimalWritesTheDocumentedFigures)
{
    const struct {
        double value;
        int32_t decimals;
        const char* text;
    } cases[] = {{0.0, 6, "0"},
                 {-0.0, 6, "0"},
                 {-2.5, 2, "-2.50"},
                 {3.25, 0, "3.?"},
                 {16.000001, 6, "16.000001"},
                 {16.9999999, 6, "17.000000"},
                 {-0.004, 2, "-0.00"},
                 {2.96, 1, "3.0"},
                 {3.1415926, -6, "3.141593"},
                 {1.0 / 3.0, 15, "0.33333333333"},
                 {3e9, 2, "3000000000.00"},
                 {1e300, 11, "?"},
                 {-INFINITY, 11, "-?"},
                 {NAN, 11, "?"}};
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.value, c.decimals), c.text) << c.value << " " << c.decimals;
    FormatDecimal(nullptr, 440.0, 6);
}

TEST(NoteTable, EveryNoteIsEqualTemperamentFromA0AndListsAsItsValueRounded)
{
    ASSERT_TRUE(CreateNoteArray());
    for (int32_t i = 0; i < kNoteCount; ++i) {
        const int32_t octave = i / 12, step = i % 12;
        const double expected = 27.5 * std::pow(2.0, octave) * std::pow(2.0, (step - 9) / 12.0);
        EXPECT_NEAR(g_pNoteFreqs[i], expected, expected * 1e-15) << i;
        if (step == 9) {
            EXPECT_EQ(g_pNoteFreqs[i], 27.5 * std::pow(2.0, octave)) << i;
        }
        char rounded[64];
        std::snprintf(rounded, sizeof rounded, "%.6f", g_pNoteFreqs[i]);
        EXPECT_EQ(Format(g_pNoteFreqs[i], 6), rounded) << i;
        std::snprintf(rounded, sizeof rounded, "%.11f", g_pNoteFreqs[i]);
        EXPECT_EQ(Format(g_pNoteFreqs[i], 11), rounded) << i;
    }
    FreeNoteArray();
    EXPECT_EQ(g_pNoteFreqs, nullptr);

    double notes[36];
    std::fill(std::begin(notes), std::end(notes), -1.0);
    FillNoteOctaves(27.5f, 2, notes);
    FillNoteOctaves(27.5f, -3, notes + 24);
    EXPECT_EQ(notes[21], 55.0);
    EXPECT_EQ(notes[24], -1.0);
}

TEST(NoteTable, NamesKeepTheirIrregularitiesAndPlainNamesFindTheirNote)
{
    const struct {
        int32_t index;
        const char* name;
    } names[] = {{0, "C0: "},      {1, "C#0/Db0 "}, {13, "C#1 "},    {25, "C#2 "},
                 {37, "C#3/Db3 "}, {57, "A4 "},     {73, "C#6Db6 "}, {107, "B8 "}};
    for (const auto& n : names)
        EXPECT_STREQ(NoteName(n.index), n.name);
    EXPECT_EQ(NoteName(-1), nullptr);
    EXPECT_EQ(NoteName(kNoteCount), nullptr);
    for (int32_t i = 0; i < kNoteCount; ++i) {
        // The first spelling in each name is the note's own.
        const std::string name = NoteName(i);
        EXPECT_EQ(FindNote(name.substr(0, name[1] == '#' ? 3 : 2).c_str()), i) << name;
    }
    EXPECT_EQ(FindNote("a4"), 57);
    EXPECT_EQ(FindNote("db6"), 73);
    EXPECT_EQ(FindNote("Bb8"), 106);
    for (const char* bad :
         {"", "A", "H4", "A9", "Cb0", "B#8", "E#4", "Fb4", "A44", " A4", "A#", "C##4", "C#b4"})
        EXPECT_EQ(FindNote(bad), -1) << '"' << bad << '"';
    EXPECT_EQ(FindNote(nullptr), -1);
}

} // namespace
