#include "gen/NoteTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

class NoteTableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateNoteArray()); }
    void TearDown() override { FreeNoteArray(); }
};

TEST(FormatDecimalTest, WritesTheDocumentedFigures)
{
    EXPECT_EQ(Format(0.0, 6), "0");
    EXPECT_EQ(Format(-0.0, 6), "0");
    EXPECT_EQ(Format(-2.5, 2), "-2.50");
    EXPECT_EQ(Format(3.25, 0), "3.?");
    EXPECT_EQ(Format(16.000001, 6), "16.000001");
    EXPECT_EQ(Format(16.9999999, 6), "17.000000");
    EXPECT_EQ(Format(0.5, 3), "0.500");
    EXPECT_EQ(Format(-0.004, 2), "-0.00");
    EXPECT_EQ(Format(1.005, 1), "1.0");
    EXPECT_EQ(Format(2.96, 1), "3.0");
}

TEST(FormatDecimalTest, TakesTheMagnitudeOfDecimalsAndCapsItAtEleven)
{
    EXPECT_EQ(Format(3.1415926, -6), Format(3.1415926, 6));
    EXPECT_EQ(Format(3.1415926, -6), "3.141593");
    EXPECT_EQ(Format(1.0 / 3.0, 15), "0.33333333333");
    EXPECT_EQ(Format(1.0 / 3.0, 15), Format(1.0 / 3.0, 11));
}

TEST(FormatDecimalTest, NullBufferAndUnprintableValuesAreSafe)
{
    FormatDecimal(nullptr, 440.0, 6);
    // Whole parts beyond a 32-bit integer, and non-numbers, still fit the buffer.
    EXPECT_EQ(Format(3e9, 2), "3000000000.00");
    EXPECT_EQ(Format(1e300, 11), "?");
    EXPECT_EQ(Format(-INFINITY, 11), "-?");
    EXPECT_EQ(Format(NAN, 11), "?");
    EXPECT_LT(Format(-999999999999999.0, 11).size(), 32u);
}

TEST_F(NoteTableTest, TellingFrequenciesReadAsInTheList)
{
    EXPECT_EQ(Format(g_pNoteFreqs[0], 6), "16.351598");
    EXPECT_EQ(Format(g_pNoteFreqs[13], 6), "34.647829");
    EXPECT_EQ(Format(g_pNoteFreqs[24], 6), "65.406391");
    EXPECT_EQ(Format(g_pNoteFreqs[kNoteA4], 6), "440.000000");
    EXPECT_EQ(Format(g_pNoteFreqs[73], 6), "1108.730524");
    EXPECT_EQ(Format(g_pNoteFreqs[96], 6), "4186.009045");
    EXPECT_EQ(Format(g_pNoteFreqs[107], 6), "7902.132820");
    EXPECT_EQ(Format(g_pNoteFreqs[1], 6), "17.323914");
    EXPECT_EQ(Format(g_pNoteFreqs[73], 11), "1108.73052390749");
    EXPECT_EQ(Format(g_pNoteFreqs[kNoteA4], 11), "440.00000000000");
}

TEST_F(NoteTableTest, EveryNoteIsEqualTemperamentFromA0AndEveryAIsExact)
{
    for (int32_t i = 0; i < kNoteCount; ++i) {
        const int32_t octave = i / 12;
        const int32_t step = i % 12;
        const double expected = 27.5 * std::pow(2.0, octave) * std::pow(2.0, (step - 9) / 12.0);
        EXPECT_NEAR(g_pNoteFreqs[i], expected, expected * 1e-15) << "index " << i;
        if (step == 9) {
            EXPECT_EQ(g_pNoteFreqs[i], 27.5 * std::pow(2.0, octave)) << "index " << i;
        }
    }
}

TEST_F(NoteTableTest, EveryTextIsTheValueRoundedToSixAndElevenDecimals)
{
    for (int32_t i = 0; i < kNoteCount; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof(expected), "%.6f", g_pNoteFreqs[i]);
        EXPECT_EQ(Format(g_pNoteFreqs[i], 6), expected) << "index " << i;
        std::snprintf(expected, sizeof(expected), "%.11f", g_pNoteFreqs[i]);
        EXPECT_EQ(Format(g_pNoteFreqs[i], 11), expected) << "index " << i;
    }
}

TEST(FillNoteOctavesTest, FillsOnlyTheOctavesAskedFor)
{
    double notes[36];
    for (double& note : notes)
        note = -1.0;
    FillNoteOctaves(27.5f, 2, notes);
    EXPECT_EQ(notes[9], 27.5);
    EXPECT_EQ(notes[21], 55.0);
    EXPECT_EQ(notes[24], -1.0);
    FillNoteOctaves(27.5f, 0, notes + 24);
    FillNoteOctaves(27.5f, -3, notes + 24);
    EXPECT_EQ(notes[24], -1.0);
}

TEST(NoteNameTest, NamesKeepTheirIrregularities)
{
    EXPECT_STREQ(NoteName(0), "C0: ");
    EXPECT_STREQ(NoteName(1), "C#0/Db0 ");
    EXPECT_STREQ(NoteName(13), "C#1 ");
    EXPECT_STREQ(NoteName(25), "C#2 ");
    EXPECT_STREQ(NoteName(37), "C#3/Db3 ");
    EXPECT_STREQ(NoteName(kNoteA4), "A4 ");
    EXPECT_STREQ(NoteName(73), "C#6Db6 ");
    EXPECT_STREQ(NoteName(106), "A#8Bb8 ");
    EXPECT_STREQ(NoteName(107), "B8 ");
    EXPECT_EQ(NoteName(-1), nullptr);
    EXPECT_EQ(NoteName(kNoteCount), nullptr);
    for (int32_t i = 0; i < kNoteCount; ++i) {
        const std::string name = NoteName(i);
        ASSERT_GE(name.size(), 3u);
        EXPECT_EQ(name.back(), ' ') << i;
        EXPECT_NE(name[name.size() - 2], ' ') << i;
        // The first spelling in each name is the note's own, octave digit included.
        EXPECT_EQ(FindNote(name.substr(0, name[1] == '#' ? 3 : 2).c_str()), i) << name;
    }
}

TEST(FindNoteTest, PlainNamesFindTheirIndex)
{
    EXPECT_EQ(FindNote("A4"), 57);
    EXPECT_EQ(FindNote("a4"), 57);
    EXPECT_EQ(FindNote("C0"), 0);
    EXPECT_EQ(FindNote("B8"), 107);
    EXPECT_EQ(FindNote("C#6"), 73);
    EXPECT_EQ(FindNote("Db6"), 73);
    EXPECT_EQ(FindNote("db6"), 73);
    EXPECT_EQ(FindNote("Db1"), 13);
    EXPECT_EQ(FindNote("Bb8"), 106);
    EXPECT_EQ(FindNote("A#0"), 10);
}

TEST(FindNoteTest, NamesOfNoNoteOfTheTableAreRefused)
{
    for (const char* bad : {"", "A", "4", "H4", "A9", "Cb0", "B#8", "E#4", "Fb4", "A44", "A4 ",
                            " A4", "A#", "Ab", "A-1", "C##4", "Cbb4", "C#b4", "AB4"}) {
        EXPECT_EQ(FindNote(bad), -1) << '"' << bad << '"';
    }
    EXPECT_EQ(FindNote(nullptr), -1);
}

} // namespace
