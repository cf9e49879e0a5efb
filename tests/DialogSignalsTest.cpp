// The play buttons on the virtual card, read back from its takes with sox:
// each button's signal, and the data exchange when a field does not parse
// or lies out of range (the prompt, then the request with the fields as they
// stand).
#include "res/Resource.h"
#include "tests/DialogTestHarness.h"
#include "tests/ScratchFolder.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// sox's stat of the take's first channel (Out 1, the selected pair's left)
// after the given effects; empty when sox cannot read the file.
std::map<std::string, double> SoxStat(const fs::path& take, const std::string& effects = "")
{
    std::map<std::string, double> stat;
    const std::string command = "sox '" + take.string() + "' -n remix 1 " + effects + " stat 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return stat;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text(line);
        const size_t colon = text.find(':');
        if (colon == std::string::npos) continue;
        std::string key = text.substr(0, colon);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        stat[key] = std::atof(text.c_str() + colon + 1);
    }
    pclose(pipe);
    return stat;
}

fs::path Take(const fs::path& folder, int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "take-%03d.wav", number);
    return folder / name;
}

class DialogSignalsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialogTestApp();
        const fs::path registry = scratch.Path() / "registry.d";
        fs::create_directories(registry);
        for (const auto& entry :
             fs::directory_iterator(fs::path(TONEWRIGHT_BUILD_DIR) / "registry.d"))
            if (entry.path().filename().string().rfind("tonewright_virtualcard", 0) == 0)
                fs::copy_file(entry.path(), registry / entry.path().filename());
        std::ofstream(registry / "zz-record.reg")
            << "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 16-bit]\n\"RecordFile\"=\""
            << (scratch.Path() / "take.wav").string() << "\"\n";
        UseRegistryFolders(registry.string());
    }

    static void Type(CTonewrightDlg& dlg, int32_t id, const char* text)
    {
        auto* edit = qobject_cast<QLineEdit*>(dlg.Controls().ById(id));
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    // Clicks the button, then lets the signal play and the card end its
    // take after a second of silence.
    static void Press(CTonewrightDlg& dlg, int32_t id, int playMilliseconds = 300)
    {
        auto* button = qobject_cast<QPushButton*>(dlg.Controls().ById(id));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        RunEventsFor(playMilliseconds + 1400);
    }

    ScratchFolder scratch{"tw-dialog-signals"};
};

TEST_F(DialogSignalsTest, EachPlayButtonRecordsItsSignalAndBadFieldsArePromptedFor)
{
    MessageBoxWatcher watcher;
    QWidget* focusAfterLetters = nullptr;
    QWidget* secondsEdit = nullptr;
    double startAfterLetters = 0, secondsAfterLetters = 0, frequencyAfterLetters = 0;
    uint32_t attenuationAfterLetters = 0;
    double secondsAfterTooShort = 0;
    {
        CTonewrightDlg dlg;
        RunDialog(dlg, [&] {
            secondsEdit = dlg.Controls().ById(IDC_SECONDS);
            Type(dlg, IDC_FREQUENCY, "+1000"); // a leading '+' is a number's sign
            Type(dlg, IDC_SECONDS, "0.3");
            Type(dlg, IDC_ATTENUATION, "+12");
            Press(dlg, IDC_GENERATE_SINE); // take 1
            Type(dlg, IDC_SWEEP_START, "100");
            Type(dlg, IDC_SWEEP_END, "2000");
            Press(dlg, IDC_GENERATE_SWEEP); // take 2
            Press(dlg, IDC_PINK_NOISE);     // take 3
            Press(dlg, IDC_WHITE_NOISE);    // take 4

            // Letters in the duration: the field read before it takes its new
            // value, it and the fields after it keep their previous ones.
            Type(dlg, IDC_SWEEP_START, "123");
            Type(dlg, IDC_SECONDS, "abc");
            Type(dlg, IDC_FREQUENCY, "880");
            Type(dlg, IDC_ATTENUATION, "30");
            Press(dlg, IDC_GENERATE_SINE); // take 5: 1000 Hz, 0.3 s, 12 dB
            focusAfterLetters = dlg.focusWidget();
            startAfterLetters = dlg.m_dStartFreq;
            secondsAfterLetters = dlg.m_dSeconds;
            frequencyAfterLetters = dlg.m_dFrequency;
            attenuationAfterLetters = dlg.m_dwAttenuation;

            // Out of range: prompted for, kept, then refused by the request.
            Type(dlg, IDC_SECONDS, "0.001");
            Press(dlg, IDC_GENERATE_SINE, 0);
            secondsAfterTooShort = dlg.m_dSeconds;
        });
    }

    ASSERT_EQ(watcher.seen.size(), 2u);
    EXPECT_EQ(watcher.seen[0].text,
              "\"abc\" is not a number.\nEnter a number between 0.01 and 60.");
    EXPECT_EQ(watcher.seen[1].text, "Enter a number between 0.01 and 60.");
    for (const SeenMessageBox& box : watcher.seen) {
        EXPECT_EQ(box.caption, "Tonewright");
        EXPECT_EQ(box.icon, QMessageBox::Warning);
    }
    EXPECT_EQ(focusAfterLetters, secondsEdit);
    EXPECT_EQ(startAfterLetters, 123.0);
    EXPECT_EQ(secondsAfterLetters, 0.3);
    EXPECT_EQ(frequencyAfterLetters, 1000.0);
    EXPECT_EQ(attenuationAfterLetters, 12u);
    EXPECT_EQ(secondsAfterTooShort, 0.001);

    const fs::path folder = scratch.Path();
    // 12 dB below full scale: 10^(-12/20) = 0.2512.
    for (int take : {1, 5}) {
        const auto sine = SoxStat(Take(folder, take));
        ASSERT_FALSE(sine.empty()) << take;
        EXPECT_NEAR(sine.at("Rough   frequency"), 1000, 15) << take;
        EXPECT_NEAR(sine.at("Maximum amplitude"), 0.2512, 0.003) << take;
        // Whole buffers of 256 frames at 48000 Hz around 0.3 s.
        EXPECT_NEAR(sine.at("Length (seconds)"), 0.3, 0.011) << take;
    }

    const auto sweepStart = SoxStat(Take(folder, 2), "trim 0 0.05");
    const auto sweepEnd = SoxStat(Take(folder, 2), "trim 0.25 0.05");
    ASSERT_FALSE(sweepStart.empty());
    ASSERT_FALSE(sweepEnd.empty());
    EXPECT_LT(sweepStart.at("Rough   frequency"), 500); // 100 to 417 Hz in the first 50 ms
    EXPECT_GT(sweepEnd.at("Rough   frequency"), 1500);  // 1683 to 2000 Hz in the last

    // Pink noise has equal power per octave, white noise per hertz: the
    // bands below 300 Hz and above 8 kHz weigh the other way round.
    const auto pinkLow = SoxStat(Take(folder, 3), "lowpass 300");
    const auto pinkHigh = SoxStat(Take(folder, 3), "highpass 8000");
    const auto whiteLow = SoxStat(Take(folder, 4), "lowpass 300");
    const auto whiteHigh = SoxStat(Take(folder, 4), "highpass 8000");
    ASSERT_FALSE(pinkLow.empty());
    ASSERT_FALSE(whiteLow.empty());
    EXPECT_GT(pinkLow.at("RMS     amplitude"), pinkHigh.at("RMS     amplitude"));
    EXPECT_GT(whiteHigh.at("RMS     amplitude"), 2 * whiteLow.at("RMS     amplitude"));
    for (int take : {3, 4}) {
        const auto noise = SoxStat(Take(folder, take));
        EXPECT_LE(noise.at("Maximum amplitude"), 0.2513) << take;
        EXPECT_NEAR(noise.at("Length (seconds)"), 0.3, 0.011) << take;
    }

    // 0.001 s never played.
    EXPECT_FALSE(fs::exists(Take(folder, 6)));
    const std::string log = ReadTextFile("Dbg.Log");
    EXPECT_EQ(CountOccurrences(log, "Failed: PlaySineWav - seconds less than 0.01!"), 1);
    EXPECT_EQ(CountOccurrences(log, "Requested frequency: 1000.000000"), 2);
    EXPECT_EQ(log.find("Requested frequency: 880"), std::string::npos);
}

} // namespace
