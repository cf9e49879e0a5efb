// The dialog's start-up and shutdown as the program runs them: on the
// virtual card (note list, A4, the card's rate, the log), and the failure
// with no driver at all (one message, then the window closes by itself and
// the shutdown still runs).
#include "app/SimpleComboBox.h"
#include "gen/NoteTable.h"
#include "res/Resource.h"
#include "tests/DialogTestHarness.h"
#include "tests/ScratchFolder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <filesystem>

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

} // namespace
