// The dialog's start-up and shutdown as the program runs them: on the
// virtual card (note list, A4, the card's rate, the log), and the failure
// with no driver at all (one message, then the window closes by itself and
// the shutdown still runs); the built program ended by a signal.
#include "app/SimpleComboBox.h"
#include "gen/NoteTable.h"
#include "res/Resource.h"
#include "tests/DialogTestHarness.h"
#include "tests/ScratchFolder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The virtual card's four registrations from the build, with the 16-bit
// variant (the first) recording into the scratch folder at 44100 Hz.
void InstallVirtualCard(const fs::path& folder)
{
    fs::create_directories(folder / "registry.d");
    for (const auto& entry : fs::directory_iterator(fs::path(TONEWRIGHT_BUILD_DIR) / "registry.d"))
        if (entry.path().filename().string().rfind("tonewright_virtualcard", 0) == 0)
            fs::copy_file(entry.path(), folder / "registry.d" / entry.path().filename());
    std::ofstream(folder / "registry.d" / "zz-settings.reg")
        << "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 16-bit]\n"
           "\"RecordFile\"=\""
        << (folder / "take.wav").string() << "\"\n\"SampleRate\"=dword:0000ac44\n";
    UseRegistryFolders((folder / "registry.d").string());
}

TEST(DialogStartupTest, ComesUpOnTheVirtualCardWithA4SelectedAndTheCardsRate)
{
    DialogTestApp();
    ScratchFolder scratch("tw-dialog-startup");
    InstallVirtualCard(scratch.Path());
    MessageBoxWatcher watcher;

    bool ran = false;
    {
        CTonewrightDlg dlg;
        RunDialog(dlg, [&] {
            ran = true;
            ASSERT_NE(dlg.m_listNotes, nullptr);
            ASSERT_EQ(dlg.m_listNotes->count(), 108);
            EXPECT_EQ(dlg.m_listNotes->item(0)->text(), "C0: 16.351598");
            EXPECT_EQ(dlg.m_listNotes->item(1)->text(), "C#0/Db0 17.323914");
            EXPECT_EQ(dlg.m_listNotes->item(73)->text(), "C#6Db6 1108.730524");
            EXPECT_EQ(dlg.m_listNotes->item(107)->text(), "B8 7902.132820");
            EXPECT_EQ(dlg.m_listNotes->currentRow(), 57);
            EXPECT_EQ(dlg.m_listNotes->currentItem()->text(), "A4 440.000000");
            EXPECT_EQ(dlg.m_editFrequency->text(), "440.00000000000");
            EXPECT_EQ(dlg.m_dFrequency, 440.0);

            // The card runs at 44100 Hz: the third item, not the first or the default.
            EXPECT_EQ(dlg.m_comboSampleRate->GetCurSel(), 2);
            EXPECT_EQ(dlg.m_comboSampleRate->GetWindowText(), "44100");
            EXPECT_EQ(dlg.m_comboSampleRate->GetItemData(0), 96000u);
            EXPECT_EQ(dlg.m_comboSampleRate->GetItemData(2), 44100u);

            ASSERT_EQ(dlg.m_comboDevice->count(), 4);
            EXPECT_EQ(dlg.m_comboDevice->currentIndex(), 0);
            EXPECT_EQ(dlg.m_comboDevice->currentText(),
                      "Virtual Card, 16-bit integer samples, recorded to WAV");
            EXPECT_EQ(dlg.m_nCurDevice, 0);
            ASSERT_EQ(dlg.m_comboOutput->count(), 4);
            EXPECT_EQ(dlg.m_comboOutput->itemText(0), "Out 1 / 2");
            EXPECT_EQ(dlg.m_comboOutput->itemText(3), "Out 7 / 8");
            EXPECT_EQ(dlg.m_comboOutput->currentIndex(), 0);

            // The other fields as the first data exchange showed them.
            EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.Controls().ById(IDC_SWEEP_START))->text(),
                      "65.406391");
            EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.Controls().ById(IDC_SWEEP_END))->text(),
                      "4186.009045");
            EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.Controls().ById(IDC_SECONDS))->text(), "0.5");
            EXPECT_EQ(dlg.m_editAttenuation->text(), "12");
            EXPECT_FALSE(dlg.windowIcon().isNull());
            EXPECT_EQ(dlg.windowTitle(), "Tonewright");
        });
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_TRUE(ran);
    EXPECT_TRUE(watcher.seen.empty());
    // The shutdown released the note table.
    EXPECT_EQ(g_pNoteFreqs, nullptr);

    const std::string log = ReadTextFile("Dbg.Log");
    const size_t setup = log.find("CreatePrimaryBuffer success!");
    const size_t completed = log.find("Completed app initialization.");
    const size_t destruction = log.find("AsioDriverList destruction.");
    ASSERT_NE(setup, std::string::npos);
    ASSERT_NE(completed, std::string::npos);
    ASSERT_NE(destruction, std::string::npos);
    EXPECT_LT(setup, completed);
    EXPECT_LT(completed, destruction);
    EXPECT_NE(log.find("Sample rate: 44100"), std::string::npos);
    EXPECT_EQ(ReadTextFile("ASIOConfig.txt"), "0");
}

TEST(DialogStartupTest, WithNoDriverShowsOneMessageThenClosesAndStillShutsDown)
{
    DialogTestApp();
    ScratchFolder scratch("tw-dialog-nodriver");
    fs::create_directories(scratch.Path() / "registry.d");
    UseRegistryFolders((scratch.Path() / "registry.d").string());
    MessageBoxWatcher watcher;

    {
        CTonewrightDlg dlg;
        // No body and no Exit: the failure itself must end the dialog.
        dlg.DoModal();
        EXPECT_FALSE(dlg.isVisible());
    }
    ASSERT_EQ(watcher.seen.size(), 1u);
    EXPECT_EQ(watcher.seen[0].text, "Can't interface with an ASIO driver - Exiting!!");
    EXPECT_EQ(watcher.seen[0].caption, "Tonewright");
    EXPECT_EQ(watcher.seen[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(watcher.seen[0].modal);
    EXPECT_EQ(g_pNoteFreqs, nullptr);

    const std::string log = ReadTextFile("Dbg.Log");
    EXPECT_NE(log.find("Couldn't find any ASIO drivers!"), std::string::npos);
    EXPECT_NE(log.find("asioOpenDriver failed for device: 0"), std::string::npos);
    // Stage 2 is never tried, and the shutdown ran to the log's end.
    EXPECT_EQ(log.find("Diver selected..."), std::string::npos);
    EXPECT_EQ(log.find("Completed app initialization."), std::string::npos);
    EXPECT_NE(log.find("AsioDriverList destruction."), std::string::npos);
    EXPECT_NE(log.find("Shutting down debug logging system..."), std::string::npos);
}

// The program, under a German locale built here, ends as on Exit on each
// signal: the driver list released, then the log's trailer, dates in English.
TEST(DialogStartupTest, TheProgramShutsDownInOrderOnTermIntAndHup)
{
    ScratchFolder scratch("tw-dialog-signal");
    InstallVirtualCard(scratch.Path());
    // A path, not a name: localedef would add a name to the system's archive.
    std::system("localedef --no-archive -i de_DE -f UTF-8 ./de_DE.UTF-8 >/dev/null 2>&1");
    std::ofstream("lsan.supp") << __lsan_default_suppressions();
    std::ofstream("tsan.supp") << __tsan_default_suppressions();
    // The program's log (XDG_STATE_HOME/tonewright) in the test's folder.
    fs::create_directory_symlink(".", "tonewright");
    const char* argv[] = {"sh", "-c",
                          "exec env LOCPATH=. LC_ALL=de_DE.UTF-8 QT_QPA_PLATFORM=offscreen "
                          "XDG_STATE_HOME=\"$PWD\" XDG_CONFIG_HOME=\"$PWD\" "
                          "LSAN_OPTIONS=suppressions=lsan.supp TSAN_OPTIONS=suppressions=tsan.supp "
                          "'" TONEWRIGHT_PROGRAM "'",
                          nullptr};
    const std::regex trailer("destruction\\.\n\n\nShutting down debug logging system\\.\\.\\.\n"
                             "Date: [A-Z][a-z]+day, [A-Z][a-z]+/[0-9]{2}/[0-9]{4} - Time: .*\n$");
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        fs::remove("Dbg.Log");
        pid_t child = 0;
        ASSERT_EQ(
            posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        const auto started = [] {
            return ReadTextFile("Dbg.Log").find("app initialization") != std::string::npos;
        };
        EXPECT_TRUE(WaitUntil(started, 20000));
        kill(child, signal);
        int status = -1;
        if (!WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; }, 20000))
            kill(child, SIGKILL);
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal << ": " << status;
        EXPECT_TRUE(std::regex_search(ReadTextFile("Dbg.Log"), trailer)) << signal;
    }
    EXPECT_TRUE(fs::exists(scratch.Path() / "de_DE.UTF-8" / "LC_TIME"));
}

} // namespace
