// The dialog's other commands on the scriptable test driver: the driver
// combo (in use, unavailable, another one), the restart notices, a refused
// sample rate, and the keys (Enter, Esc, F1) and the About command.
#include "app/AboutDlg.h"
#include "app/MessageBox.h"
#include "app/ResetNotice.h"
#include "app/SimpleComboBox.h"
#include "host/SampleRateControl.h"
#include "res/Resource.h"
#include "tests/DialogTestHarness.h"
#include "tests/ScratchFolder.h"
#include "tests/TestDriverModule.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char* const kNoticeText =
    "Please exit the application and restart it for change to take effect.";
const char* const kNoticeCaption = "Sample rate or device change request...";
const char* const kPlayedSine = "GenerateSineWav - dwCountBuffers";

// A registry key and class for a driver that sits on the test driver's module
// under a CLSID the module does not serve: listed, but it never opens.
std::string RegisterOtherClass(const char* key, const char* description, const char* clsid)
{
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\") + key + "]\n\"CLSID\"=\"" + clsid +
           "\"\n\"Description\"=\"" + description + "\"\n\n[HKEY_CLASSES_ROOT\\CLSID\\" + clsid +
           "\\InprocServer32]\n@=\"" + TONEWRIGHT_TEST_DRIVER_MODULE + "\"\n\n";
}

class DialogCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialogTestApp();
        script = OpenTestDriverScript();
        ASSERT_NE(script, nullptr);
        script->Reset();
        const fs::path registry = scratch.Path() / "registry.d";
        fs::create_directories(registry);
        fs::copy_file(fs::path(TONEWRIGHT_BUILD_DIR) / "test-registry.d" /
                          "tonewright_testdriver.reg",
                      registry / "tonewright_testdriver.reg");
        // Broken Driver (0) is the configured one and fails; the test driver
        // (1) opens; Spare Driver (2) is never tried.
        std::ofstream(registry / "zz-others.reg")
            << "Windows Registry Editor Version 5.00\n\n"
            << RegisterOtherClass("Broken Driver", "Broken Driver",
                                  "{6A1E3C55-2B7D-4F0A-9C61-0D5E8B4A7F01}")
            << RegisterOtherClass("Zed Spare Driver", "Spare Driver",
                                  "{6A1E3C55-2B7D-4F0A-9C61-0D5E8B4A7F02}");
        UseRegistryFolders(registry.string());
    }
    void TearDown() override
    {
        if (script != nullptr) script->Reset();
    }

    // Picks an entry of a drop-down combo as a user does: open the list, click.
    static void Pick(QComboBox* combo, int index)
    {
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        ASSERT_TRUE(WaitUntil([&] { return view->isVisible(); }));
        const QRect item = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        ASSERT_TRUE(WaitUntil([&] { return !view->isVisible(); }));
    }

    static void ClickItem(QListWidget* list, int row, bool doubleClick = false)
    {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        if (doubleClick)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    static int Count(const char* text) { return CountOccurrences(ReadTextFile("Dbg.Log"), text); }

    TestDriverScript* script = nullptr;
    ScratchFolder scratch{"tw-dialog-commands"};
};

TEST_F(DialogCommandsTest, TheDriverComboRefusesOrStoresAChoiceAndEveryResetGivesItsOwnNotice)
{
    MessageBoxWatcher watcher(false);
    std::vector<SeenMessageBox> afterInUse, afterUnavailable;
    int selectionAfterUnavailable = -1;
    std::string configAfterUnavailable, configAfterOther;
    int logRequestsRightAfterPosts = -1;
    int noticesOpenTogether = 0;
    int playedWhileNoticeOpen = 0;
    {
        CTonewrightDlg dlg;
        RunDialog(dlg, [&] {
            ASSERT_EQ(dlg.m_comboDevice->count(), 3);
            EXPECT_EQ(dlg.m_comboDevice->itemText(0), "*Broken Driver N/A");
            EXPECT_EQ(dlg.m_comboDevice->itemText(2), "Spare Driver");
            ASSERT_EQ(dlg.m_comboDevice->currentIndex(), 1);
            EXPECT_EQ(ReadTextFile("ASIOConfig.txt"), "1");

            Pick(dlg.m_comboDevice, 1);
            RunEventsFor(100);
            afterInUse = watcher.seen;

            Pick(dlg.m_comboDevice, 0);
            RunEventsFor(100);
            afterUnavailable = watcher.seen;
            selectionAfterUnavailable = dlg.m_comboDevice->currentIndex();
            configAfterUnavailable = ReadTextFile("ASIOConfig.txt");

            Pick(dlg.m_comboDevice, 2);
            configAfterOther = ReadTextFile("ASIOConfig.txt");
            ASSERT_TRUE(WaitUntil([&] { return watcher.CountWithText(kNoticeText) == 1; }));
            // The dialog keeps working under the notice.
            QTest::mouseClick(qobject_cast<QPushButton*>(dlg.Controls().ById(IDC_GENERATE_SINE)),
                              Qt::LeftButton);
            playedWhileNoticeOpen = Count(kPlayedSine);
            watcher.CloseAll();
            ASSERT_TRUE(WaitUntil([] { return ResetNoticeThreadsRunning() == 0; }));

            // Two reset requests from the driver in quick succession.
            EXPECT_EQ(script->SendMessage(kAsioResetRequest, 0), 1);
            EXPECT_EQ(script->SendMessage(kAsioResetRequest, 0), 1);
            logRequestsRightAfterPosts = Count("App received reset request!");
            ASSERT_TRUE(WaitUntil([&] { return watcher.OpenBoxes().size() == 2; }));
            noticesOpenTogether = static_cast<int>(watcher.OpenBoxes().size());
            EXPECT_EQ(ResetNoticeThreadsRunning(), 2);
            // One is answered; the other is still open when the dialog closes.
            if (QAbstractButton* ok = watcher.OpenBoxes().front()->button(QMessageBox::Ok))
                ok->click();
            EXPECT_TRUE(WaitUntil([] { return ResetNoticeThreadsRunning() == 1; }));
        });
    }
    // Closing the dialog took the last notice with it and ended its thread.
    EXPECT_TRUE(WaitUntil([] { return ResetNoticeThreadsRunning() == 0; }));

    EXPECT_TRUE(afterInUse.empty());
    ASSERT_EQ(afterUnavailable.size(), 1u);
    EXPECT_EQ(afterUnavailable[0].text, "Device is not available!");
    EXPECT_EQ(afterUnavailable[0].caption, "Tonewright");
    EXPECT_EQ(afterUnavailable[0].icon, QMessageBox::Warning);
    EXPECT_EQ(selectionAfterUnavailable, 1);
    EXPECT_EQ(configAfterUnavailable, "1");
    EXPECT_EQ(configAfterOther, "2");
    EXPECT_EQ(playedWhileNoticeOpen, 1);

    EXPECT_EQ(watcher.CountWithText(kNoticeText), 3);
    for (const SeenMessageBox& box : watcher.seen) {
        if (box.text != kNoticeText) continue;
        EXPECT_EQ(box.caption, kNoticeCaption);
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_FALSE(box.modal);
    }
    EXPECT_EQ(noticesOpenTogether, 2);
    // Posting only queued the requests: the first was handled later.
    EXPECT_EQ(logRequestsRightAfterPosts, 1);

    const std::string log = ReadTextFile("Dbg.Log");
    EXPECT_EQ(CountOccurrences(log, "App received reset request!"), 3);
    EXPECT_EQ(CountOccurrences(log, "Requested user reinit app!"), 3);
    EXPECT_LT(log.find("App received reset request!"), log.find("Requested user reinit app!"));
    EXPECT_EQ(CountOccurrences(log, "asioMessages: kAsioResetRequest received"), 2);
}

TEST_F(DialogCommandsTest, ARefusedRateIsReportedAndTheDriversRateReselected)
{
    MessageBoxWatcher watcher;
    int selectionAfterRefusal = -1;
    QString textAfterRefusal;
    int32_t rateAfterAccepted = 0;
    int selectionAfterAccepted = -1;
    size_t boxesAfterAccepted = 0;
    {
        CTonewrightDlg dlg;
        RunDialog(dlg, [&] {
            SimpleComboBox* rates = dlg.m_comboSampleRate;
            ASSERT_EQ(rates->GetCurSel(), 1); // the test driver runs at 48000 Hz
            script->setSampleRateResult = ASE_InvalidMode;
            ClickItem(rates->List(), 0);
            selectionAfterRefusal = rates->GetCurSel();
            textAfterRefusal = rates->GetWindowText();

            script->setSampleRateResult = ASE_OK;
            ClickItem(rates->List(), 2, true);
            rateAfterAccepted = ASIOGetSampleRate();
            selectionAfterAccepted = rates->GetCurSel();
            boxesAfterAccepted = watcher.seen.size();
            // Up in the edit field moves the selection, and sets the rate, as a click does.
            QTest::keyClick(rates->Edit(), Qt::Key_Up);
            EXPECT_EQ(ASIOGetSampleRate(), 48000);
            EXPECT_EQ(rates->GetWindowText(), "48000");
        });
    }
    ASSERT_EQ(boxesAfterAccepted, 1u);
    EXPECT_EQ(watcher.seen[0].text, "Can't set sample rate to requested value!");
    EXPECT_EQ(watcher.seen[0].caption, "test_dialog_commands");
    EXPECT_EQ(watcher.seen[0].caption, AppNameCaption());
    EXPECT_EQ(watcher.seen[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(selectionAfterRefusal, 1);
    EXPECT_EQ(textAfterRefusal, "48000");
    EXPECT_EQ(rateAfterAccepted, 44100);
    EXPECT_EQ(selectionAfterAccepted, 2);
    EXPECT_NE(
        ReadTextFile("Dbg.Log").find("Couldn't set sound card to requested sample rate: 96000"),
        std::string::npos);
}

TEST_F(DialogCommandsTest, EnterPlaysTheSineFromEveryFieldF1ShowsAboutAndEscEnds)
{
    MessageBoxWatcher watcher;
    std::vector<int> playedAfter;
    bool visibleAfterEnters = false;
    QStringList aboutTitles;
    bool menuHadAbout = false;
    bool visibleAfterEsc = true;

    // Closes an About box as soon as one is up, recording its caption.
    QTimer aboutCloser;
    QObject::connect(&aboutCloser, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                if (action->text() == "&About Tonewright...") {
                    menuHadAbout = true;
                    menu->close();
                    // Later, not inside this timer's call: the About box must be
                    // closable by this same timer.
                    QTimer::singleShot(0, action, &QAction::trigger);
                    return;
                }
            menu->close();
        }
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* about = dynamic_cast<CAboutDlg*>(window); about && about->isVisible()) {
                aboutTitles << about->windowTitle();
                about->accept();
            }
    });
    aboutCloser.start(5);

    script->SetOutputs(4, ASIOSTInt32LSB);
    {
        CTonewrightDlg dlg;
        RunDialog(dlg, [&] {
            dlg.activateWindow();
            // A combo's typed text naming another entry picks nothing, on Enter or on leaving.
            const std::pair<QWidget*, const char*> targets[] = {
                {dlg.Controls().ById(IDC_SECONDS), ""},
                {dlg.m_editFrequency, ""},
                {dlg.m_listNotes, ""},
                {dlg.m_comboDevice, "Spare Driver"},
                {dlg.m_comboOutput, "Out 3 / 4"},
                {dlg.m_comboSampleRate, "96000"}};
            for (auto [target, typed] : targets) {
                target->setFocus();
                QWidget* focused = dlg.focusWidget();
                if (*typed != '\0') QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(focused, typed);
                QTest::keyClick(focused, Qt::Key_Return);
                RunEventsFor(20);
                playedAfter.push_back(Count(kPlayedSine));
            }
            visibleAfterEnters = dlg.isVisible();
            EXPECT_EQ(dlg.m_comboDevice->currentIndex(), 1);
            EXPECT_EQ(dlg.m_comboOutput->currentIndex(), 0);
            EXPECT_EQ(dlg.m_comboSampleRate->GetCurSel(), 1);

            QTest::keyClick(&dlg, Qt::Key_F1);
            RunEventsFor(50);
            QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                         dlg.mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(&dlg, &rightClick);
            RunEventsFor(50);

            QTest::keyClick(dlg.m_editFrequency, Qt::Key_Escape);
            visibleAfterEsc = dlg.isVisible();
        });
    }
    EXPECT_EQ(playedAfter, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(visibleAfterEnters);
    EXPECT_TRUE(menuHadAbout);
    EXPECT_EQ(aboutTitles, QStringList({"About Tonewright", "About Tonewright"}));
    EXPECT_FALSE(visibleAfterEsc);
    EXPECT_TRUE(watcher.seen.empty());
    EXPECT_NE(ReadTextFile("Dbg.Log").find("AsioDriverList destruction."), std::string::npos);
}

} // namespace
