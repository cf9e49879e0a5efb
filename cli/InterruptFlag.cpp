#include "cli/InterruptFlag.h"

#include "cli/ExitStatus.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

// The signal may be delivered on a driver thread, so the flags are atomics
// (lock-free, hence safe in a handler) rather than volatile sig_atomic_t.
// The handler calls nothing but write and _exit: no stdio, no locks, no
// host calls.
std::atomic<int> g_nInterruptSignal{0};
std::atomic<bool> g_bEndAtOnce{true};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RecordInterrupt(int signalNumber)
{
    g_nInterruptSignal.store(signalNumber, std::memory_order_relaxed);
    if (!g_bEndAtOnce.load(std::memory_order_relaxed)) return;
    static const char kText[] = "tonewright-play: interrupted while starting; nothing was played\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kText, sizeof kText - 1);
    _exit(kExitSignalBase + signalNumber);
}

} // namespace

bool InstallInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = RecordInterrupt;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep a sleeping wait going; the loop sees the flag.
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void InterruptInOrder()
{
    g_bEndAtOnce.store(false, std::memory_order_relaxed);
}

int InterruptSignal()
{
    return g_nInterruptSignal.load(std::memory_order_relaxed);
}
