// The window seam for Qt widgets: a combo box the host fills and selects,
// and the dialog the host posts messages to. A posted message arrives as a
// HostMessageEvent whose type is the message number, handled by the
// receiver's event() on the thread that owns it.
#pragma once

#include "platform/WindowSeam.h"

#include <QEvent>

class QComboBox;
class QObject;

class HostMessageEvent final : public QEvent {
public:
    HostMessageEvent(uint32_t message, WPARAM wParam, LPARAM lParam)
        : QEvent(static_cast<QEvent::Type>(message)), m_message(message), m_wParam(wParam),
          m_lParam(lParam)
    {
    }
    uint32_t Message() const { return m_message; }
    WPARAM WParam() const { return m_wParam; }
    LPARAM LParam() const { return m_lParam; }

private:
    uint32_t m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

// True for the message numbers that fit Qt's range of user event types; the
// private messages (from WM_APP on) all do.
bool IsPostableMessage(uint32_t message);

// A QComboBox as the host's combo window. User-interface thread only.
class ComboHostWindow final : public HostWindow {
public:
    explicit ComboHostWindow(QComboBox* combo = nullptr) : m_combo(combo) {}
    void Attach(QComboBox* combo) { m_combo = combo; }

    int32_t ComboAddString(const char* text) override;
    int32_t ComboSetCurSel(int32_t index) override;
    void ComboResetContent() override;

private:
    QComboBox* m_combo;
};

// A window the host posts to; the receiver must outlive every poster (the
// host is shut down before the dialog goes).
class DialogHostWindow final : public HostWindow {
public:
    explicit DialogHostWindow(QObject* receiver = nullptr) : m_receiver(receiver) {}
    void Attach(QObject* receiver) { m_receiver = receiver; }

    // From any thread: queues the event and returns; false for a message
    // number outside the user event range.
    bool PostMessage(uint32_t message, WPARAM wParam, LPARAM lParam) override;

private:
    QObject* m_receiver;
};
