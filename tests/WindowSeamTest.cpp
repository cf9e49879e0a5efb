// Without a window (the host's handle before the dialog exists and after it
// is gone) each call of the window seam does nothing and fails.
#include "platform/WindowSeam.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowSeam, EachCallFailsWithoutAWindow)
{
    EXPECT_EQ(ComboAddString(nullptr, "Virtual Card 16-bit"), CB_ERR);
    EXPECT_EQ(ComboSetCurSel(nullptr, 0), CB_ERR);
    ComboResetContent(nullptr);
    EXPECT_FALSE(PostMessage(nullptr, WM_RESET_REQUEST, 0, 0));
    EXPECT_EQ(WM_RESET_REQUEST, 0x800Au);
}

} // namespace
