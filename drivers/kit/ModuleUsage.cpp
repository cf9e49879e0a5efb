#include "drivers/kit/ModuleUsage.h"

#include <atomic>

namespace {

// Objects are released on whatever thread the host likes.
std::atomic<int> g_nObjects{0};
std::atomic<int> g_nLocks{0};

} // namespace

void ModuleObjectCreated()
{
    g_nObjects.fetch_add(1, std::memory_order_relaxed);
}

void ModuleObjectDestroyed()
{
    g_nObjects.fetch_sub(1, std::memory_order_acq_rel);
}

void ModuleLock(bool lock)
{
    g_nLocks.fetch_add(lock ? 1 : -1, std::memory_order_acq_rel);
}

bool ModuleInUse()
{
    return g_nObjects.load(std::memory_order_acquire) > 0 ||
           g_nLocks.load(std::memory_order_acquire) > 0;
}
