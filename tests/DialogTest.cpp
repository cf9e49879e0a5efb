// The dialog, offscreen: its layout from the template; its start-up and
// shutdown on the virtual card (a sine read back by sox), with no driver, and
// as the built program ended by a signal; and on the scriptable test driver
// each control's request, prompt, message and restart notice.
#include "app/DialogLayout.h"
#include "app/GroupFrame.h"
#include "app/ResetNotice.h"
#include "app/SimpleComboBox.h"
#include "app/TonewrightDlg.h"
#include "gen/NoteTable.h"
#include "gen/SineGenerator.h"
#include "host/HostState.h"
#include "host/SampleRateControl.h"
#include "platform/Registry.h"
#include "res/Resource.h"
#include "tests/ScratchFolder.h"
#include "tests/TestDriverModule.h"
#include "tests/fixtures/SignalMeasure.h"

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

// fontconfig keeps a cache from its first use to the process's end, which
// LeakSanitizer reports; nothing of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Qt's raster engine fills large areas on its own thread pool, synchronised
// inside Qt, which is not built for ThreadSanitizer: the allocations Qt makes
// and frees there look like races. Only calls made from Qt itself are excused.
extern "C" __attribute__((used)) const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Gui.so.6\n";
}

namespace {

namespace fs = std::filesystem;

std::vector<QMessageBox*> OpenBoxes()
{
    std::vector<QMessageBox*> open;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            open.push_back(box);
    return open;
}

// Every message box that appears is recorded as "caption | text | icon [|
// non-modal]"; a modal one is answered with OK at once, a non-modal one left
// to the test.
QStringList seenBoxes;

// The application before any widget, and never destroyed: it must not outlive
// main() into the exit-time destructors, which have taken Qt's own globals by then.
[[maybe_unused]] QTimer* const boxWatcher = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("tonewright-test"), nullptr};
    new QApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [] {
        for (QMessageBox* box : OpenBoxes()) {
            if (!box->property("seen").toBool())
                seenBoxes << box->windowTitle() + " | " + box->text() + " | " +
                                 QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(box->icon()) +
                                 (box->isModal() ? "" : " | non-modal");
            box->setProperty("seen", true);
            if (box->isModal()) box->button(QMessageBox::Ok)->click();
        }
    });
    timer->start(5);
    return timer;
}();

template <class Control = QLineEdit> Control* ById(CTonewrightDlg& dlg, int32_t id)
{
    return qobject_cast<Control*>(dlg.Controls().ById(id));
}

// Runs the dialog as the program does, with body run inside its modal loop
// once start-up is done; then Exit is pressed.
void RunDialog(const std::function<void(CTonewrightDlg&)>& body)
{
    seenBoxes.clear();
    CTonewrightDlg dlg;
    QTimer::singleShot(0, &dlg, [&dlg, body] {
        body(dlg);
        ById<QAbstractButton>(dlg, IDCANCEL)->click();
        EXPECT_FALSE(dlg.isVisible()) << "Exit left the dialog open";
        dlg.reject();
    });
    dlg.DoModal();
}

std::string Log(const char* path = "Dbg.Log")
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

int Count(const std::string& text)
{
    const std::string log = Log();
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
        ++count;
    return count;
}

// The registry read from folder/registry.d only, from now on: the build's
// .reg files that built names (folder and start of the file name), then extra.
void UseRegistry(const fs::path& folder, const fs::path& built, const std::string& extra = "")
{
    fs::create_directories(folder / "registry.d");
    for (const auto& entry : fs::directory_iterator(TONEWRIGHT_BUILD_DIR / built.parent_path()))
        if (entry.path().filename().string().rfind(built.filename().string(), 0) == 0)
            fs::copy_file(entry.path(), folder / "registry.d" / entry.path().filename());
    std::ofstream(folder / "registry.d" / "zz-test.reg")
        << "Windows Registry Editor Version 5.00\n\n"
        << extra;
    setenv("TONEWRIGHT_REGISTRY", (folder / "registry.d").c_str(), 1);
    RegistryReload();
}

TEST(DialogUnitsTest, PixelsFollowWindowsRoundingOfDialogUnits)
{
    EXPECT_EQ(MulDiv(149, 13, 8), 242); // 242.125
    EXPECT_EQ(MulDiv(3, 5, 2), 8);      // 7.5 rounds up
    EXPECT_EQ(MulDiv(-3, 5, 2), -8);    // and away from zero
    EXPECT_EQ(MulDiv(7, 1, 0), -1);
}

// Arial (or the metric-equal Liberation Sans) at 8 point and 96 dpi: its 52
// letters average 5.x pixels, so 6 x 12 pixels for 4 x 8 dialog units.
TEST(DialogLayoutTest, ControlsStandWhereTheTemplatePutsThemInArialUnitsAndNoTextIsClipped)
{
    QDialog dialog;
    const DialogControls controls = BuildDialog(dialog, *FindDialogTemplate(IDD_TONEWRIGHT_DIALOG));
    dialog.show();
    const QFontMetrics metrics(dialog.font());
    const QString family = QFontInfo(dialog.font()).family();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
    EXPECT_EQ(dialog.size(), QSize(696, 266)); // 464 x 177 units
    EXPECT_EQ(controls.ById(IDC_GENERATE_SINE)->geometry(), QRect(63, 224, 111, 21));
    EXPECT_EQ(controls.ById(IDC_NOTE_LIST)->geometry(), QRect(50, 66, 138, 111));
    EXPECT_EQ(controls.ById(IDC_SAMPLE_RATE)->geometry(), QRect(318, 32, 60, 60));
    EXPECT_EQ(controls.ById(IDC_ASIO_DEVICE)->geometry().topLeft(), QPoint(488, 32));
    EXPECT_EQ(controls.controls[9].widget->geometry(), QRect(92, 185, 63, 14));   // "Frequency"
    EXPECT_EQ(controls.controls[16].widget->geometry(), QRect(18, 17, 207, 236)); // sine group
    // Texts wrap within their control; a group's caption shows whole, centred on its frame.
    for (const LaidOutControl& laidOut : controls.controls) {
        const QRect rect = laidOut.widget->geometry();
        const QString text = QString::fromUtf8(laidOut.control->text);
        if (auto* label = qobject_cast<QLabel*>(laidOut.widget); label && !text.isEmpty()) {
            const int flags = Qt::TextWordWrap | label->alignment();
            EXPECT_TRUE(rect.contains(metrics.boundingRect(rect, flags, text)))
                << text.toStdString();
        } else if (auto* frame = dynamic_cast<GroupFrame*>(laidOut.widget)) {
            EXPECT_EQ(frame->TitleRect().width(), metrics.horizontalAdvance(text));
            EXPECT_NEAR(frame->TitleRect().center().x(), rect.width() / 2, 1);
        }
    }
}

TEST(DialogLayoutTest, TabFollowsTheTemplateOrderAndGenerateSineIsTheOneDefaultButton)
{
    QDialog dialog;
    const DialogControls controls = BuildDialog(dialog, *FindDialogTemplate(IDD_TONEWRIGHT_DIALOG));
    std::vector<QWidget*> stops; // five buttons, five edits, the note list, three combos
    for (const LaidOutControl& laidOut : controls.controls) {
        if ((laidOut.control->style & kStyleTabStop) != 0) stops.push_back(laidOut.widget);
        auto* button = qobject_cast<QPushButton*>(laidOut.widget);
        EXPECT_EQ(button && button->isDefault(), laidOut.control->id == IDC_GENERATE_SINE);
    }
    ASSERT_EQ(stops.size(), 14u);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    stops[0]->setFocus(Qt::TabFocusReason);
    for (size_t step = 1; step <= 14; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(stops[step % 14] == focus || stops[step % 14]->isAncestorOf(focus)) << step;
    }
}

// The virtual card's variants, the 16-bit one (the first) at 44100 Hz recording here.
void InstallVirtualCard(const ScratchFolder& scratch)
{
    UseRegistry(scratch.Path(), "registry.d/tonewright_virtualcard",
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Virtual Card 16-bit]\n\"RecordFile\"=\"" +
                    (scratch.Path() / "take.wav").string() + "\"\n\"SampleRate\"=dword:0000ac44\n");
}

TEST(DialogStartupTest, ComesUpOnTheVirtualCardWithA4AndTheCardsRateAndPlaysASineSoxReads)
{
    ScratchFolder scratch("tw-dialog-startup");
    InstallVirtualCard(scratch);
    RunDialog([&](CTonewrightDlg& dlg) {
        SimpleComboBox* rates = dlg.m_comboSampleRate;
        EXPECT_EQ(
            QStringList({dlg.m_listNotes->item(0)->text(), dlg.m_listNotes->item(107)->text(),
                         dlg.m_listNotes->currentItem()->text(), dlg.m_editFrequency->text(),
                         ById(dlg, IDC_SWEEP_START)->text(), ById(dlg, IDC_SWEEP_END)->text(),
                         ById(dlg, IDC_SECONDS)->text(), dlg.m_editAttenuation->text(),
                         rates->GetWindowText(), dlg.m_comboDevice->currentText(),
                         dlg.m_comboOutput->itemText(3)}),
            QStringList({"C0: 16.351598", "B8 7902.132820", "A4 440.000000", "440.00000000000",
                         "65.406391", "4186.009045", "0.5", "12", "44100",
                         "Virtual Card, 16-bit integer samples, recorded to WAV", "Out 7 / 8"}));
        // The card's rate is the third item, not the first or the default.
        EXPECT_EQ(std::vector<int64_t>({dlg.m_listNotes->count(), rates->GetCurSel(),
                                        rates->GetItemData(0), rates->GetItemData(1),
                                        rates->GetItemData(2), dlg.m_comboDevice->count(),
                                        dlg.m_nCurDevice, dlg.m_comboOutput->count()}),
                  std::vector<int64_t>({108, 2, 96000, 48000, 44100, 4, 0, 4}));
        EXPECT_EQ(dlg.m_dFrequency, 440.0);
        EXPECT_FALSE(dlg.windowIcon().isNull());
        // The three rates show without scrolling; every note entry fits beside
        // the scroll bar, as high as the font, as in Windows' list box.
        EXPECT_FALSE(rates->List()->verticalScrollBar()->isVisible());
        EXPECT_TRUE(dlg.m_listNotes->verticalScrollBar()->isVisible());
        const QFontMetrics metrics(dlg.font());
        EXPECT_EQ(dlg.m_listNotes->visualItemRect(dlg.m_listNotes->item(1)).height(),
                  metrics.height());
        for (int i = 0; i < 108; ++i)
            EXPECT_LE(metrics.horizontalAdvance(dlg.m_listNotes->item(i)->text()) + 4,
                      dlg.m_listNotes->viewport()->width());
        dlg.m_listNotes->setCurrentRow(73); // a pick of C#6
        EXPECT_EQ(dlg.m_editFrequency->text(), "1108.73052390749");
        dlg.m_editFrequency->setText("1000");
        ById(dlg, IDC_SECONDS)->setText("0.3");
        ById<QAbstractButton>(dlg, IDC_GENERATE_SINE)->click();
        EXPECT_TRUE(QTest::qWaitFor([] { return !pSineGenerator->bTonePlaying.load(); }));
    });
    EXPECT_TRUE(seenBoxes.empty());
    EXPECT_EQ(g_pNoteFreqs, nullptr); // the shutdown released the note table

    // Out 1, the first pair's left; the level and the other pairs are the host's.
    const SoxAudio take = SoxRead((scratch.Path() / "take-001.wav").string());
    ASSERT_EQ(take.rate, 44100.0);
    EXPECT_NEAR(Frequency(take.channels[0], take.rate), 1000.0, 1.0);
    EXPECT_NEAR(static_cast<double>(take.Frames()), 0.3 * 44100, 2 * 256); // whole buffers
    const std::string log = Log();
    const size_t completed = log.find("Completed app initialization.");
    EXPECT_LT(log.find("CreatePrimaryBuffer success!"), completed);
    EXPECT_LT(completed, log.find("Requested frequency: 1000.000000\nRequested seconds: 0.300000"));
}

TEST(DialogStartupTest, WithNoDriverShowsOneMessageThenClosesAndStillShutsDown)
{
    ScratchFolder scratch("tw-dialog-nodriver");
    UseRegistry(scratch.Path(), "registry.d/none");
    seenBoxes.clear();
    CTonewrightDlg().DoModal(); // no Exit pressed: the failure itself must end the dialog
    EXPECT_EQ(
        seenBoxes,
        QStringList("Tonewright | Can't interface with an ASIO driver - Exiting!! | Warning"));
    EXPECT_EQ(g_pNoteFreqs, nullptr);
    // Stage 2 is never tried, and the shutdown ran to the log's end.
    EXPECT_EQ(Count("Diver selected...") + Count("Completed app initialization."), 0);
    EXPECT_LT(Log().find("AsioDriverList destruction."),
              Log().find("Shutting down debug logging system..."));
}

// The program, under a German locale built here, ends as on Exit on each
// signal: the driver list released, then the log's trailer, dates in English.
TEST(DialogStartupTest, TheProgramShutsDownInOrderOnTermIntAndHup)
{
    ScratchFolder scratch("tw-dialog-signal");
    InstallVirtualCard(scratch);
    // A path, not a name: localedef would add a name to the system's archive.
    std::system("localedef --no-archive -i de_DE -f UTF-8 ./de_DE.UTF-8 >/dev/null 2>&1");
    ASSERT_TRUE(fs::exists("de_DE.UTF-8/LC_TIME"));
    std::ofstream("lsan.supp") << __lsan_default_suppressions();
    std::ofstream("tsan.supp") << __tsan_default_suppressions();
    // The program's log (XDG_STATE_HOME/tonewright) in the test's folder.
    fs::create_directory_symlink(".", "tonewright");
    const std::regex trailer("destruction\\.\n\n\nShutting down debug logging system\\.\\.\\.\n"
                             "Date: [A-Z][a-z]+day, [A-Z][a-z]+/[0-9]{2}/[0-9]{4} - Time: .*\n$");
    for (const std::string signal : {"TERM", "INT", "HUP"}) {
        // A background job starts with SIGINT ignored unless told otherwise.
        EXPECT_EQ(RunCommand("rm -f Dbg.Log; env --default-signal LOCPATH=. LC_ALL=de_DE.UTF-8 "
                             "XDG_STATE_HOME=\"$PWD\" XDG_CONFIG_HOME=\"$PWD\" "
                             "LSAN_OPTIONS=suppressions=lsan.supp TSAN_OPTIONS=suppressions="
                             "tsan.supp '" TONEWRIGHT_PROGRAM
                             "' & for i in $(seq 200); do grep -qs "
                             "'app initialization' Dbg.Log && break; sleep 0.1; done; kill -" +
                             signal + " $!; wait $!; echo $?"),
                  "0\n")
            << signal;
        EXPECT_TRUE(std::regex_search(Log(), trailer)) << signal;
    }
}

// Broken Driver (0), the configured one, is on the test driver's module under
// a CLSID the module does not serve and fails; the test driver (1) opens;
// Zed Spare Driver (2), the same, is never tried.
class DialogCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(script, nullptr);
        script->Reset();
        auto other = [](const std::string& key, const std::string& clsid) {
            return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + key + "]\n\"CLSID\"=\"" + clsid +
                   "\"\n[HKEY_CLASSES_ROOT\\CLSID\\" + clsid +
                   "\\InprocServer32]\n@=\"" TONEWRIGHT_TEST_DRIVER_MODULE "\"\n";
        };
        UseRegistry(scratch.Path(), "test-registry.d/tonewright_testdriver",
                    other("Broken Driver", "{6A1E3C55-2B7D-4F0A-9C61-0D5E8B4A7F01}") +
                        other("Zed Spare Driver", "{6A1E3C55-2B7D-4F0A-9C61-0D5E8B4A7F02}"));
    }
    void TearDown() override
    {
        if (script != nullptr) script->Reset();
    }

    TestDriverScript* const script = OpenTestDriverScript();
    ScratchFolder scratch{"tw-dialog-commands"};
};

// Fields typed, in the order start|end|seconds|frequency|attenuation, empty
// for one left alone; '!' marks the one the prompt then puts the focus on.
struct RequestCase {
    int32_t button;
    const char* typed;
    const char* prompt; // empty: none
    const char* fields; // as the exchange left them, in the same order
    const char* logged; // by the request
    friend void PrintTo(const RequestCase& c, std::ostream* os)
    {
        *os << c.button << " " << c.typed;
    }
};

class DialogRequestsTest : public DialogCommandsTest,
                           public ::testing::WithParamInterface<RequestCase> {};

TEST_P(DialogRequestsTest, EachButtonRequestsItsSignalWithTheFieldsAsTheExchangeLeftThem)
{
    const RequestCase& c = GetParam();
    QStringList fields;
    RunDialog([&](CTonewrightDlg& dlg) {
        const int32_t ids[] = {IDC_SWEEP_START, IDC_SWEEP_END, IDC_SECONDS, IDC_FREQUENCY,
                               IDC_ATTENUATION};
        QWidget* prompted = nullptr;
        for (int i = 0; i < 5; ++i) {
            const QString text = QString(c.typed).split('|')[i];
            if (text.startsWith('!')) prompted = ById(dlg, ids[i]);
            if (!text.isEmpty()) ById(dlg, ids[i])->setText(text.mid(text.startsWith('!')));
        }
        ById<QAbstractButton>(dlg, c.button)->click();
        for (double field : {dlg.m_dStartFreq, dlg.m_dEndFreq, dlg.m_dSeconds, dlg.m_dFrequency,
                             double(dlg.m_dwAttenuation)})
            fields << QString::number(field, 'g', 15);
        EXPECT_TRUE(prompted == nullptr || dlg.focusWidget() == prompted);
    });
    EXPECT_EQ(fields.join('|'), c.fields);
    EXPECT_EQ(seenBoxes.join(""),
              *c.prompt ? QString("Tonewright | ") + c.prompt + " | Warning" : QString());
    EXPECT_EQ(Count(c.logged), 1);
}

// A field that fails stops the exchange: the fields after it keep their
// values, and the request goes out anyway, for the request to refuse.
const char* const kDuration = "Enter a number between 0.01 and 60.";
const char* const kFrequency = "Enter a number between 10 and 22050.";
// clang-format off
INSTANTIATE_TEST_SUITE_P(Fields, DialogRequestsTest, ::testing::Values(
    RequestCase{IDC_GENERATE_SINE, "123||!abc|880|30", "\"abc\" is not a number.\nEnter a number between 0.01 and 60.",
                "123|4186.009045|0.5|440|12", "Requested frequency: 440.000000\n"},
    RequestCase{IDC_GENERATE_SINE, "|||+1000|+20", "", "65.406391|4186.009045|0.5|1000|20",
                "Requested frequency: 1000.000000\n"},
    RequestCase{IDC_GENERATE_SINE, "|||!22051|", kFrequency, "65.406391|4186.009045|0.5|22051|12",
                "Failed: PlaySineWav - Frequency greater than half the sample rate!"},
    RequestCase{IDC_GENERATE_SINE, "||!0.001||", kDuration, "65.406391|4186.009045|0.001|440|12",
                "Failed: PlaySineWav - seconds less than 0.01!"},
    RequestCase{IDC_GENERATE_SWEEP, "!22051||||", kFrequency, "22051|4186.009045|0.5|440|12",
                "Failed: PlaySweepWav - freqStart greater 22050 hz!"},
    RequestCase{IDC_GENERATE_SWEEP, "|!9.5|||", kFrequency, "65.406391|9.5|0.5|440|12",
                "Failed: PlaySweepWav - Frequency less than 10 hz!"},
    RequestCase{IDC_GENERATE_SWEEP, "10|22050| 60 ||60", "", "10|22050|60|440|60", "GenerateSweepWav - dwCountBuffers"},
    RequestCase{IDC_PINK_NOISE, "||||!61", "Enter a whole number between 0 and 60.", "65.406391|4186.009045|0.5|440|61",
                "Failed: PlayPinkNoise - antenuation dBs greater than 60!"},
    RequestCase{IDC_WHITE_NOISE, "||!60.5||", kDuration, "65.406391|4186.009045|60.5|440|12",
                "Failed: PlayWhiteNoise - seconds greater than 60!"},
    RequestCase{IDC_WHITE_NOISE, "||0.01||!-1", "\"-1\" is not a whole number.\nEnter a whole number between 0 and 60.",
                "65.406391|4186.009045|0.01|440|12", "PlayWhiteNoise - dwCountBuffers"}));
// clang-format on

// Picks an entry of a drop-down combo as a user does: open the list, click.
void Pick(QComboBox* combo, int index)
{
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }));
    const QPoint at = view->visualRect(view->model()->index(index, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }));
}

TEST_F(DialogCommandsTest, TheDriverComboRefusesOrStoresAChoiceAndEveryResetGivesItsOwnNotice)
{
    int requestsRightAfterPosts = -1;
    RunDialog([&](CTonewrightDlg& dlg) {
        EXPECT_EQ(dlg.m_comboDevice->itemText(0), "*Broken Driver N/A");
        ASSERT_EQ(dlg.m_comboDevice->currentIndex(), 1);
        Pick(dlg.m_comboDevice, 1); // the driver in use: nothing
        EXPECT_TRUE(seenBoxes.empty());
        Pick(dlg.m_comboDevice, 0); // unavailable: a message, the selection back, no file change
        EXPECT_EQ(seenBoxes.size(), 1);
        EXPECT_EQ(dlg.m_comboDevice->currentIndex(), 1);
        EXPECT_EQ(Log("ASIOConfig.txt"), "1");
        Pick(dlg.m_comboDevice, 2);
        EXPECT_EQ(Log("ASIOConfig.txt"), "2");
        // Each box is waited for until it is recorded, not only until it is up.
        ASSERT_TRUE(QTest::qWaitFor([] { return seenBoxes.size() == 2; }));
        // The dialog keeps working under the notice.
        ById<QAbstractButton>(dlg, IDC_GENERATE_SINE)->click();
        EXPECT_EQ(Count("GenerateSineWav - dwCountBuffers"), 1);
        OpenBoxes()[0]->button(QMessageBox::Ok)->click();
        ASSERT_TRUE(QTest::qWaitFor([] { return ResetNoticeThreadsRunning() == 0; }));
        // Two reset requests from the driver in quick succession, only queued by the posts.
        EXPECT_EQ(script->SendMessage(kAsioResetRequest, 0), 1);
        EXPECT_EQ(script->SendMessage(kAsioResetRequest, 0), 1);
        requestsRightAfterPosts = Count("App received reset request!");
        ASSERT_TRUE(QTest::qWaitFor([] { return seenBoxes.size() == 4; }));
        EXPECT_EQ(OpenBoxes().size(), 2u);
        EXPECT_EQ(ResetNoticeThreadsRunning(), 2);
        // One is answered; the other is still open when the dialog closes.
        OpenBoxes()[0]->button(QMessageBox::Ok)->click();
        EXPECT_TRUE(QTest::qWaitFor([] { return ResetNoticeThreadsRunning() == 1; }));
    });
    EXPECT_TRUE(QTest::qWaitFor([] { return ResetNoticeThreadsRunning() == 0; }));
    EXPECT_EQ(requestsRightAfterPosts, 1);
    const QString notice = "Sample rate or device change request... | Please exit the application "
                           "and restart it for change to take effect. | Warning | non-modal";
    EXPECT_EQ(seenBoxes, QStringList({"Tonewright | Device is not available! | Warning", notice,
                                      notice, notice}));
    EXPECT_EQ(std::pair(Count("App received reset request!"), Count("Requested user reinit app!")),
              std::pair(3, 3));
    EXPECT_LT(Log().find("App received reset request!"), Log().find("Requested user reinit app!"));
}

TEST_F(DialogCommandsTest, ARefusedRateIsReportedAndTheDriversRateReselected)
{
    RunDialog([&](CTonewrightDlg& dlg) {
        SimpleComboBox* rates = dlg.m_comboSampleRate;
        auto at = [&](int row) {
            return rates->List()->visualItemRect(rates->List()->item(row)).center();
        };
        ASSERT_EQ(rates->GetCurSel(), 1); // the test driver runs at 48000 Hz
        script->setSampleRateResult = ASE_InvalidMode;
        QTest::mouseClick(rates->List()->viewport(), Qt::LeftButton, {}, at(0));
        EXPECT_EQ(rates->GetCurSel(), 1);
        EXPECT_EQ(rates->GetWindowText(), "48000");
        EXPECT_EQ(seenBoxes.size(), 1);
        script->setSampleRateResult = ASE_OK;
        QTest::mouseDClick(rates->List()->viewport(), Qt::LeftButton, {}, at(2));
        EXPECT_EQ(ASIOGetSampleRate(), 44100);
        EXPECT_EQ(rates->GetCurSel(), 2);
        // Up in the edit field moves the selection, and sets the rate, as a click does.
        QTest::keyClick(rates->Edit(), Qt::Key_Up);
        EXPECT_EQ(ASIOGetSampleRate(), 48000);
        EXPECT_EQ(rates->GetWindowText(), "48000");
    });
    // The caption is the program's name.
    EXPECT_EQ(seenBoxes,
              QStringList("test_dialog | Can't set sample rate to requested value! | NoIcon"));
    EXPECT_EQ(Count("Couldn't set sound card to requested sample rate: 96000"), 1);
}

TEST_F(DialogCommandsTest, EnterPlaysTheSineFromEveryFieldTheMenuAndF1OfferAboutAndASignalEnds)
{
    std::vector<int> playedAfter;
    QStringList seen; // the context menu's entries and the About box's caption
    script->SetOutputs(4, ASIOSTInt32LSB);
    RunDialog([&](CTonewrightDlg& dlg) {
        dlg.activateWindow();
        auto enter = [&](QWidget* target, const char* typed) {
            target->setFocus();
            if (*typed != '\0') QTest::keyClick(dlg.focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(dlg.focusWidget(), typed);
            QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
            QTest::qWait(20);
            playedAfter.push_back(Count("GenerateSineWav - dwCountBuffers"));
        };
        enter(dlg.m_editFrequency, "");
        enter(dlg.m_listNotes, "");
        // A combo's typed text naming another entry picks nothing.
        enter(dlg.m_comboDevice, "Zed Spare Driver");
        enter(dlg.m_comboOutput, "Out 3 / 4");
        enter(dlg.m_comboSampleRate, "96000");
        EXPECT_EQ(
            std::vector<int>({dlg.m_comboDevice->currentIndex(), dlg.m_comboOutput->currentIndex(),
                              dlg.m_comboSampleRate->GetCurSel(), dlg.isVisible()}),
            std::vector<int>({1, 0, 1, true}));
        // A menu and the About box run loops of their own until closed; a
        // termination signal closes the box, then the dialog.
        QTimer::singleShot(100, [&] {
            for (QAction* action : QApplication::activePopupWidget()->actions())
                seen << action->text();
            QApplication::activePopupWidget()->close();
        });
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, {5, 5},
                                     dlg.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&dlg, &rightClick);
        QTimer::singleShot(100, [&] {
            seen << QApplication::activeModalWidget()->windowTitle();
            raise(SIGTERM);
        });
        // Only for a signal that left the box open.
        QTimer::singleShot(5000, &dlg, [&] {
            if (QWidget* open = QApplication::activeModalWidget()) {
                seen << "left open";
                open->close();
            }
        });
        QTest::keyClick(&dlg, Qt::Key_F1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.isVisible(); }));
    });
    EXPECT_EQ(playedAfter, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(seen, QStringList({"&About Tonewright...", "About Tonewright"}));
    EXPECT_TRUE(seenBoxes.empty());
}

} // namespace
