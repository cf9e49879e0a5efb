#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

// The pipe's writing end for the handler; -1 while no instance listens.
std::atomic<int> g_nSignalPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

extern "C" void OnTerminationSignal(int)
{
    // Only async-signal-safe calls here; a full pipe already holds a wake-up.
    const int savedErrno = errno;
    const int fd = g_nSignalPipe.load(std::memory_order_relaxed);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = fd >= 0 ? write(fd, &byte, 1) : 0;
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : m_onSignal(std::move(onSignal))
{
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
        char bytes[16];
        while (read(m_pipe[0], bytes, sizeof bytes) > 0) {
        }
        if (m_onSignal) m_onSignal();
    });
    g_nSignalPipe.store(m_pipe[1]);

    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        // A signal the program was started ignoring (nohup, a background job) stays ignored.
        if (sigaction(kSignals[i], nullptr, &m_previous[i]) != 0 ||
            m_previous[i].sa_handler == SIG_IGN)
            continue;
        m_bInstalled[i] = sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals()
{
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (m_bInstalled[i]) sigaction(kSignals[i], &m_previous[i], nullptr);
    g_nSignalPipe.store(-1);
    m_notifier.reset();
    for (int fd : m_pipe)
        if (fd >= 0) close(fd);
}
