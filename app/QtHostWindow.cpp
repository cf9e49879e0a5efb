#include "app/QtHostWindow.h"

#include <QComboBox>
#include <QCoreApplication>

#include <new>

bool IsPostableMessage(uint32_t message)
{
    return message >= static_cast<uint32_t>(QEvent::User) &&
           message <= static_cast<uint32_t>(QEvent::MaxUser);
}

int32_t ComboHostWindow::ComboAddString(const char* text)
{
    if (m_combo == nullptr) return CB_ERR;
    m_combo->addItem(QString::fromUtf8(text));
    return m_combo->count() - 1;
}

int32_t ComboHostWindow::ComboSetCurSel(int32_t index)
{
    if (m_combo == nullptr) return CB_ERR;
    if (index < 0 || index >= m_combo->count()) {
        m_combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    m_combo->setCurrentIndex(index);
    return index;
}

void ComboHostWindow::ComboResetContent()
{
    if (m_combo != nullptr) m_combo->clear();
}

bool DialogHostWindow::PostMessage(uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (m_receiver == nullptr || !IsPostableMessage(message)) return false;
    auto* event = new (std::nothrow) HostMessageEvent(message, wParam, lParam);
    if (event == nullptr) return false;
    // The queue takes the event over and delivers it on the receiver's thread.
    QCoreApplication::postEvent(m_receiver, event);
    return true;
}
