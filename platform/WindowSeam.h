// The window handle the host keeps and the few calls it makes on it: fill and
// select a combo box, post a message to a dialog. The Qt layer implements
// HostWindow for its widgets; tests use a fake.
#pragma once

#include <cstdint>

using WPARAM = uintptr_t;
using LPARAM = intptr_t;

// First message number free for a program's own use.
constexpr uint32_t WM_APP = 0x8000;
// The private message a driver reset request or a new driver choice posts.
constexpr uint32_t WM_RESET_REQUEST = WM_APP + 10;
// What the combo calls give for a null window or an index out of range.
constexpr int32_t CB_ERR = -1;

// A dialog or one of its combo boxes, as the host sees it. A window that is
// no combo box keeps the combo calls' answers for one (CB_ERR, nothing done);
// one that takes no messages keeps PostMessage's false.
class HostWindow {
public:
    // Appends an entry; returns its index.
    virtual int32_t ComboAddString(const char*) { return CB_ERR; }
    // Selects the entry and returns its index; out of range gives CB_ERR, and
    // -1 clears the selection and also gives CB_ERR, as Windows does.
    virtual int32_t ComboSetCurSel(int32_t) { return CB_ERR; }
    virtual void ComboResetContent() {}
    // Called from any thread. Queues the message for the window's own thread
    // and returns at once: never handled before this returns.
    virtual bool PostMessage(uint32_t, WPARAM, LPARAM) { return false; }

protected:
    ~HostWindow() = default;
};

// Opaque to the host: it stores, passes and hands these to the calls below.
using HWND = HostWindow*;

// Each does nothing and fails (CB_ERR, false) for a null window, the state
// before the dialog exists and after it is gone.
int32_t ComboAddString(HWND combo, const char* text);
int32_t ComboSetCurSel(HWND combo, int32_t index);
void ComboResetContent(HWND combo);
bool PostMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
