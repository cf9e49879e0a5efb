// The host's window seam without a toolkit, for a session with no dialog:
// combo boxes that only keep their entries (the driver and output lists a
// front end prints or checks against) and a main window that only notes a
// driver's reset request.
#pragma once

#include "platform/WindowSeam.h"

#include <atomic>
#include <string>
#include <vector>

// User-interface thread only, like a real combo box.
class CollectingCombo final : public HostWindow {
public:
    int32_t ComboAddString(const char* text) override;
    int32_t ComboSetCurSel(int32_t index) override;
    void ComboResetContent() override;

    const std::vector<std::string>& Entries() const { return m_entries; }
    int32_t Selection() const { return m_selection; }

private:
    std::vector<std::string> m_entries;
    int32_t m_selection = CB_ERR;
};

// PostMessage comes from the driver's thread (its reset request), so it
// only sets a flag the main loop polls.
class SessionMainWindow final : public HostWindow {
public:
    bool PostMessage(uint32_t message, WPARAM wParam, LPARAM lParam) override;

    bool ResetRequested() const { return m_bResetRequested.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_bResetRequested{false};
};
