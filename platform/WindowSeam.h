// The window handle the host keeps for the dialog, and the few calls it makes
// on it. The dialog implements Window; tests use a fake.
#pragma once

#include <cstdint>

class Window;
using HWND = Window*;

// The private message a driver reset request or a new driver choice posts.
constexpr uint32_t WM_APP = 0x8000;
constexpr uint32_t WM_RESET_REQUEST = WM_APP + 10;

class Window {
public:
    virtual ~Window() = default;
    virtual void AddComboString(int32_t controlId, const char* text) = 0;
    virtual void SetComboSelection(int32_t controlId, int32_t index) = 0;
    // Safe from any thread; the message is handled later on the window's
    // own thread, never inside this call.
    virtual void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};
