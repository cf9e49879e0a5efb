#include "host/SessionWindows.h"

int32_t CollectingCombo::ComboAddString(const char* text)
{
    m_entries.emplace_back(text != nullptr ? text : "");
    return static_cast<int32_t>(m_entries.size()) - 1;
}

int32_t CollectingCombo::ComboSetCurSel(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(m_entries.size())) {
        m_selection = CB_ERR;
        return CB_ERR;
    }
    m_selection = index;
    return index;
}

void CollectingCombo::ComboResetContent()
{
    m_entries.clear();
    m_selection = CB_ERR;
}

bool SessionMainWindow::PostMessage(uint32_t message, WPARAM, LPARAM)
{
    if (message == WM_RESET_REQUEST) m_bResetRequested.store(true, std::memory_order_release);
    return true;
}
