#include "platform/WindowSeam.h"

int32_t ComboAddString(HWND combo, const char* text)
{
    if (combo == nullptr || text == nullptr) return CB_ERR;
    return combo->ComboAddString(text);
}

int32_t ComboSetCurSel(HWND combo, int32_t index)
{
    if (combo == nullptr) return CB_ERR;
    return combo->ComboSetCurSel(index);
}

void ComboResetContent(HWND combo)
{
    if (combo != nullptr) combo->ComboResetContent();
}

bool PostMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (window == nullptr) return false;
    return window->PostMessage(message, wParam, lParam);
}
