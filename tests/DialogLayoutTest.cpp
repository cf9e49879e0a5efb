// The main dialog laid out from its template with the dialog font's base
// units: positions worked out by hand, every control inside the dialog and
// its group, no overlap the template does not have, no clipped text, and
// the tab order and default button of the template.
#include "app/DialogLayout.h"
#include "app/GroupFrame.h"
#include "app/SimpleComboBox.h"
#include "gen/NoteTable.h"
#include "res/Resource.h"
#include "tests/DialogTestHarness.h"

#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class DialogLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialogTemplate = FindDialogTemplate(IDD_TONEWRIGHT_DIALOG);
        ASSERT_NE(dialogTemplate, nullptr);
        controls = BuildDialog(dialog, *dialogTemplate);
        metrics = std::make_unique<QFontMetrics>(dialog.font());
    }

    // The template's rectangle in pixels; a drop-down combo without its list.
    QRect TemplateRect(const LaidOutControl& laidOut) const
    {
        const ControlTemplate& c = *laidOut.control;
        QRect rect = MapDialogRect(controls.units, c.x, c.y, c.w, c.h);
        if (c.kind == ControlKind::DropDownCombo) rect.setHeight(laidOut.widget->height());
        return rect;
    }

    static bool IsGroup(const LaidOutControl& laidOut)
    {
        return laidOut.control->kind == ControlKind::GroupBox;
    }

    static std::string Name(const LaidOutControl& laidOut)
    {
        return std::to_string(laidOut.control->id) + " \"" + laidOut.control->text + "\"";
    }

    // Before any widget: the application.
    struct ApplicationFirst {
        ApplicationFirst() { DialogTestApp(); }
    } application;
    QDialog dialog;
    const DialogTemplate* dialogTemplate = nullptr;
    DialogControls controls;
    std::unique_ptr<QFontMetrics> metrics;
};

TEST(DialogUnitsTest, PixelsFollowWindowsRoundingOfDialogUnits)
{
    EXPECT_EQ(MulDiv(149, 13, 8), 242); // 242.125
    EXPECT_EQ(MulDiv(3, 5, 2), 8);      // 7.5 rounds up
    EXPECT_EQ(MulDiv(-3, 5, 2), -8);    // and away from zero
    EXPECT_EQ(MulDiv(7, 1, 0), -1);

    // With MS Sans Serif's classic base units 6 x 13: the main dialog's size
    // and its default button, worked out by hand.
    const DialogBaseUnits classic{6, 13};
    EXPECT_EQ(MapDialogRect(classic, 0, 0, 464, 177), QRect(0, 0, 696, 288));
    EXPECT_EQ(MapDialogRect(classic, 42, 149, 74, 14), QRect(63, 242, 111, 23));
}

TEST_F(DialogLayoutTest, UsesArialMetricsAtEightPointAndTheTemplateSize)
{
    const QString family = QFontInfo(dialog.font()).family();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
    // Arial's letters average about 5.6 pixels at 8 point and 96 dpi; its
    // height is about 12: a fallback to a wider face would show here.
    EXPECT_GE(controls.units.x, 5);
    EXPECT_LE(controls.units.x, 7);
    EXPECT_GE(controls.units.y, 11);
    EXPECT_LE(controls.units.y, 15);
    EXPECT_EQ(dialog.size(), MapDialogRect(controls.units, 0, 0, 464, 177).size());
    EXPECT_EQ(dialog.windowTitle(), "Tonewright");
    EXPECT_EQ(static_cast<int>(controls.controls.size()), dialogTemplate->controlCount);
}

TEST_F(DialogLayoutTest, EveryControlLiesInsideTheDialogAndInsideItsGroup)
{
    const QRect client = dialog.rect();
    for (const LaidOutControl& laidOut : controls.controls) {
        EXPECT_TRUE(client.contains(laidOut.widget->geometry())) << Name(laidOut);
        // An edit's 12 dialog units and a button's 14 must still hold a line of text.
        if (laidOut.control->kind != ControlKind::GroupBox) {
            EXPECT_GE(laidOut.widget->height(), metrics->height()) << Name(laidOut);
        }
    }
    int grouped = 0;
    for (const LaidOutControl& group : controls.controls) {
        if (!IsGroup(group)) continue;
        const QRect inside =
            group.widget->geometry().adjusted(1, metrics->height() / 2 + 1, -1, -1);
        for (const LaidOutControl& member : controls.controls) {
            if (IsGroup(member) || !TemplateRect(group).contains(TemplateRect(member))) continue;
            ++grouped;
            EXPECT_TRUE(inside.contains(member.widget->geometry()))
                << Name(member) << " outside " << Name(group);
        }
    }
    // 6 in the sine group, 5 in the rate group, 4 in the sweep group, 3 in the device group.
    EXPECT_EQ(grouped, 18);
}

TEST_F(DialogLayoutTest, ControlsTheTemplateKeepsApartDoNotOverlap)
{
    int pairs = 0;
    for (size_t i = 0; i < controls.controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.controls.size(); ++j) {
            const LaidOutControl& a = controls.controls[i];
            const LaidOutControl& b = controls.controls[j];
            // A group box frames its members; it must not cross another group.
            if (IsGroup(a) != IsGroup(b)) continue;
            if (TemplateRect(a).intersects(TemplateRect(b))) continue;
            ++pairs;
            EXPECT_FALSE(a.widget->geometry().intersects(b.widget->geometry()))
                << Name(a) << " overlaps " << Name(b);
        }
    }
    EXPECT_GT(pairs, 150);
}

TEST_F(DialogLayoutTest, NoTextOfTheTemplateIsClipped)
{
    dialog.show();
    for (const LaidOutControl& laidOut : controls.controls) {
        const QString text = QString::fromUtf8(laidOut.control->text);
        const QRect rect = laidOut.widget->geometry();
        if (auto* label = qobject_cast<QLabel*>(laidOut.widget); label && !text.isEmpty()) {
            const QRect needed = metrics->boundingRect(QRect(0, 0, rect.width(), 10000),
                                                       Qt::TextWordWrap | label->alignment(), text);
            EXPECT_LE(needed.width(), rect.width()) << Name(laidOut);
            EXPECT_LE(needed.height(), rect.height()) << Name(laidOut);
        } else if (qobject_cast<QPushButton*>(laidOut.widget) != nullptr) {
            EXPECT_LE(metrics->horizontalAdvance(text) + 8, rect.width()) << Name(laidOut);
        } else if (auto* frame = dynamic_cast<GroupFrame*>(laidOut.widget)) {
            const QRect title = frame->TitleRect();
            EXPECT_EQ(title.width(), metrics->horizontalAdvance(text));
            EXPECT_TRUE(QRect(QPoint(4, 0), QSize(rect.width() - 8, rect.height())).contains(title))
                << Name(laidOut);
        }
    }

    // The edits' first texts (the fields' initial values, A4 with 11 decimals).
    const std::pair<int32_t, const char*> fields[] = {{IDC_SWEEP_START, "65.406391"},
                                                      {IDC_SWEEP_END, "4186.009045"},
                                                      {IDC_SECONDS, "0.5"},
                                                      {IDC_FREQUENCY, "440.00000000000"},
                                                      {IDC_ATTENUATION, "12"}};
    for (const auto& [id, text] : fields) {
        auto* edit = qobject_cast<QLineEdit*>(controls.ById(id));
        ASSERT_NE(edit, nullptr);
        // QLineEdit keeps two pixels of margin on either side inside its frame.
        EXPECT_LE(metrics->horizontalAdvance(text) + 4, edit->contentsRect().width()) << id;
    }

    // The three rates show without scrolling, and every note entry fits the
    // list beside its scroll bar.
    auto* rates = dynamic_cast<SimpleComboBox*>(controls.ById(IDC_SAMPLE_RATE));
    ASSERT_NE(rates, nullptr);
    ASSERT_EQ(rates->GetCount(), 3);
    EXPECT_EQ(rates->GetItemText(0), "96000");
    EXPECT_EQ(rates->GetItemText(2), "44100");
    QApplication::processEvents();
    EXPECT_GE(rates->List()->viewport()->height(), 3 * metrics->height());
    EXPECT_FALSE(rates->List()->verticalScrollBar()->isVisible());

    auto* notes = qobject_cast<QListWidget*>(controls.ById(IDC_NOTE_LIST));
    ASSERT_NE(notes, nullptr);
    ASSERT_TRUE(CreateNoteArray());
    int widest = 0;
    for (int32_t i = 0; i < kNoteCount; ++i) {
        char frequency[32];
        FormatDecimal(frequency, g_pNoteFreqs[i], 6);
        const QString entry = QString::fromUtf8(NoteName(i)) + frequency;
        notes->addItem(entry);
        widest = std::max(widest, metrics->horizontalAdvance(entry));
    }
    FreeNoteArray();
    QApplication::processEvents();
    EXPECT_TRUE(notes->verticalScrollBar()->isVisible());
    EXPECT_LE(widest + 4, notes->viewport()->width());
    // As high as the font: the list shows as many notes as Windows' list box would.
    EXPECT_EQ(notes->visualItemRect(notes->item(1)).top() -
                  notes->visualItemRect(notes->item(0)).top(),
              metrics->height());
}

TEST_F(DialogLayoutTest, TabFollowsTheTemplateOrderAndOneButtonIsTheDefault)
{
    std::vector<QWidget*> expected;
    for (const LaidOutControl& laidOut : controls.controls)
        if ((laidOut.control->style & kStyleTabStop) != 0) expected.push_back(laidOut.widget);
    // Five buttons, five edits, the note list and three combo boxes.
    ASSERT_EQ(expected.size(), 14u);

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    expected.front()->setFocus(Qt::TabFocusReason);
    auto owner = [&](QWidget* focused) -> QWidget* {
        for (QWidget* candidate : expected)
            if (candidate == focused || candidate->isAncestorOf(focused)) return candidate;
        return focused;
    };
    for (size_t step = 1; step <= expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(owner(QApplication::focusWidget()), expected[step % expected.size()]) << step;
    }

    int defaults = 0;
    for (const LaidOutControl& laidOut : controls.controls) {
        auto* button = qobject_cast<QPushButton*>(laidOut.widget);
        if (button != nullptr && button->isDefault()) {
            ++defaults;
            EXPECT_EQ(laidOut.control->id, IDC_GENERATE_SINE);
        }
    }
    EXPECT_EQ(defaults, 1);
}

} // namespace
