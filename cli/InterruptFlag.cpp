#include "cli/InterruptFlag.h"

#include <atomic>
#include <csignal>

namespace {

// The signal may be delivered on a driver thread, so the flag is an atomic
// (lock-free, hence safe in a handler) rather than a volatile sig_atomic_t.
// The handler touches nothing else: no stdio, no locks, no host calls.
std::atomic<int> g_nInterruptSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void RecordInterrupt(int signalNumber)
{
    g_nInterruptSignal.store(signalNumber, std::memory_order_relaxed);
}

} // namespace

bool InstallInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = RecordInterrupt;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep a sleeping start-up going; the loop sees the flag.
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

int InterruptSignal()
{
    return g_nInterruptSignal.load(std::memory_order_relaxed);
}
