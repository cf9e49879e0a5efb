#include "platform/WindowSeam.h"
#include "tests/fixtures/FakeWindow.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(WindowSeam, FillsAndSelectsAComboAndIgnoresAMissingWindow)
{
    FakeWindow combo;
    EXPECT_EQ(ComboAddString(&combo, "Virtual Card 16-bit"), 0);
    EXPECT_EQ(ComboAddString(&combo, "*Gone N/A"), 1);
    EXPECT_EQ(ComboSetCurSel(&combo, 1), 1);
    EXPECT_EQ(combo.selection, 1);
    EXPECT_EQ(ComboSetCurSel(&combo, 2), CB_ERR);
    EXPECT_EQ(combo.selection, CB_ERR);
    ComboResetContent(&combo);
    EXPECT_TRUE(combo.entries.empty());

    // Before the dialog exists the host holds null handles.
    EXPECT_EQ(ComboAddString(nullptr, "x"), CB_ERR);
    EXPECT_EQ(ComboSetCurSel(nullptr, 0), CB_ERR);
    ComboResetContent(nullptr);
    EXPECT_FALSE(PostMessage(nullptr, WM_RESET_REQUEST, 0, 0));
    EXPECT_EQ(WM_RESET_REQUEST, 0x800Au);
}

TEST(WindowSeam, DeliversMessagesPostedFromOtherThreadsOnlyWhenPumped)
{
    FakeWindow dialog;
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&dialog, t] {
            for (int i = 0; i < kEach; ++i)
                ASSERT_TRUE(PostMessage(&dialog, WM_RESET_REQUEST, static_cast<WPARAM>(t), i));
        });
    }
    for (std::thread& poster : posters)
        poster.join();

    const std::thread::id pumper = std::this_thread::get_id();
    std::vector<int> nextPerThread(kThreads, 0);
    int delivered = 0;
    const int pumped = dialog.PumpMessages([&](const PostedMessage& posted) {
        EXPECT_EQ(std::this_thread::get_id(), pumper);
        EXPECT_EQ(posted.message, WM_RESET_REQUEST);
        // Each poster's messages arrive in the order it posted them.
        EXPECT_EQ(posted.lParam, nextPerThread[posted.wParam]++);
        ++delivered;
    });
    EXPECT_EQ(pumped, kThreads * kEach);
    EXPECT_EQ(delivered, kThreads * kEach);
    EXPECT_EQ(dialog.PumpMessages([](const PostedMessage&) { FAIL() << "delivered twice"; }), 0);
}

} // namespace
