#include "app/ResetNotice.h"

#include "app/MessageBox.h"
#include "app/TonewrightDlg.h"
#include "log/DebugLog.h"

#include <QMessageBox>
#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace {

const char* const kNoticeText =
    "Please exit the application and restart it for change to take effect.";
const char* const kNoticeCaption = "Sample rate or device change request...";

std::mutex g_noticeHostMutex;
QWidget* g_pNoticeHost = nullptr; // guarded by g_noticeHostMutex
std::atomic<int32_t> g_nNoticeThreads{0};
std::atomic<uint32_t> g_nNoticesStarted{0};

// What a notice thread waits on until its box is gone.
class NoticeWait {
public:
    void Close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bClosed = true;
        m_closed.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closed.wait(lock, [this] { return m_bClosed; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_closed;
    bool m_bClosed = false;
};

// Ends the wait when the last holder lets go: the box once it is destroyed,
// or the queued call when Qt discards it because the dialog went first.
struct NoticeCloser {
    explicit NoticeCloser(std::shared_ptr<NoticeWait> w) : wait(std::move(w)) {}
    ~NoticeCloser() { wait->Close(); }
    NoticeCloser(const NoticeCloser&) = delete;
    NoticeCloser& operator=(const NoticeCloser&) = delete;
    std::shared_ptr<NoticeWait> wait;
};

// On the user-interface thread: the box, shown and left to the user.
void ShowNotice(QWidget* owner, const std::shared_ptr<NoticeCloser>& closer)
{
    auto* box = new (std::nothrow)
        QMessageBox(QMessageBox::Warning, kNoticeCaption, kNoticeText, QMessageBox::Ok, owner);
    if (box == nullptr) return; // the closer ends the wait
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QObject::destroyed, [closer] { closer->wait->Close(); });
    box->show();
}

} // namespace

void SetResetNoticeHost(QWidget* dialog)
{
    std::lock_guard<std::mutex> lock(g_noticeHostMutex);
    g_pNoticeHost = dialog;
}

int32_t ResetNoticeThreadsRunning()
{
    return g_nNoticeThreads.load();
}

void* ResetNoticeThread(void* dialog)
{
    DbgLog("Requested user reinit app!");
    auto wait = std::make_shared<NoticeWait>();
    {
        auto closer = std::make_shared<NoticeCloser>(wait);
        auto* owner = static_cast<QWidget*>(dialog);
        // Held while queueing, so the host cannot be destroyed in between.
        std::lock_guard<std::mutex> lock(g_noticeHostMutex);
        if (g_pNoticeHost != nullptr)
            QMetaObject::invokeMethod(
                g_pNoticeHost, [owner, closer] { ShowNotice(owner, closer); },
                Qt::QueuedConnection);
    }
    wait->Wait();
    g_nNoticeThreads.fetch_sub(1);
    return nullptr;
}

LRESULT CTonewrightDlg::WindowProc(uint32_t message, WPARAM, LPARAM)
{
    if (message != WM_RESET_REQUEST) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    DbgLog("App received reset request!");

    g_nNoticeThreads.fetch_add(1);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_t thread = 0;
    const int created = pthread_create(&thread, &attributes, ResetNoticeThread, this);
    pthread_attr_destroy(&attributes);
    if (created != 0) {
        g_nNoticeThreads.fetch_sub(1);
        ShowMessageBox(this, "Failed creating a thread - exiting!!",
                       "Thread initialization error - ", MessageIcon::Exclamation);
        PostQuitRequest();
        return 0;
    }
    m_hThread = thread;
    // pthread gives no 32-bit id before the thread runs: the notices are numbered instead.
    m_dwThreadId = g_nNoticesStarted.fetch_add(1) + 1;
    // The thread runs on by itself; nothing joins it.
    pthread_detach(m_hThread);
    m_hThread = 0;
    return 0;
}
