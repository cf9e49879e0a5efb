// The answer to a reset request: the dialog's window procedure starts a
// notice thread per request; the thread logs, has the user-interface thread
// show a non-modal notice over the dialog, and waits until the user closes
// it. Several notices can be open at once; the dialog keeps working.
#pragma once

#include <cstdint>

class QWidget;

// The thread's entry; dialog is the notice's owner, or null for none.
// Returns null (exit code 0).
void* ResetNoticeThread(void* dialog);

// The dialog that shows the notices, set by start-up; null from shutdown on,
// after which a notice still asked for is not shown and its thread ends.
void SetResetNoticeHost(QWidget* dialog);

// Notice threads started and not yet ended (any thread).
int32_t ResetNoticeThreadsRunning();
