#include "drivers/kit/RealtimeThread.h"

#include <cstddef>
#include <cstdio>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Set, not inherited from the process's stack limit, so that the pages
// written first always lie inside it. glibc carves a thread's static TLS out
// of its stack, and ThreadSanitizer's is most of a megabyte.
#if defined(__SANITIZE_THREAD__)
constexpr size_t kStackBytes = 4 * 1024 * 1024;
#else
constexpr size_t kStackBytes = 1024 * 1024;
#endif
// More than a period's work ever takes: the host's render, the driver's copy
// and the system calls below them.
constexpr size_t kStackPrefaultBytes = 256 * 1024;
constexpr size_t kPageBytes = 4096;

// Writes a page at a time below the caller's frame, so the pages the body
// will use are in memory before the first period.
[[gnu::noinline]] void PrefaultStack()
{
    unsigned char pages[kStackPrefaultBytes];
    for (size_t i = 0; i < kStackPrefaultBytes; i += kPageBytes)
        pages[i] = 0;
    // The writes are the point: keep them although nothing reads them.
    asm volatile("" : : "r"(pages) : "memory");
}

// Locks and faults in all the process has mapped now. Refused (ENOMEM,
// nothing locked) when an unprivileged caller may lock less than that; left
// alone when the mappings come near the machine's memory (a sanitizer's
// shadow is terabytes). Only what exists now is locked, so later allocations
// elsewhere in the process are not.
void LockMemory()
{
    unsigned long mappedPages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return;
    const bool read = std::fscanf(statm, "%lu", &mappedPages) == 1;
    std::fclose(statm);
    const long machinePages = sysconf(_SC_PHYS_PAGES);
    if (!read || machinePages <= 0 || mappedPages > static_cast<unsigned long>(machinePages) / 4)
        return;
    mlockall(MCL_CURRENT);
}

} // namespace

bool RealtimeThread::Start(void (*body)(void*), void* context)
{
    if (bRunning) return true;
    pBody = body;
    pContext = context;
    LockMemory();

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackBytes);
    sched_param priority = {};
    priority.sched_priority = kRealtimePriority;
    pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attributes, SCHED_FIFO);
    pthread_attr_setschedparam(&attributes, &priority);
    nRefusal = pthread_create(&thread, &attributes, Main, this);
    if (nRefusal != 0) {
        pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
        bRunning = pthread_create(&thread, &attributes, Main, this) == 0;
    } else {
        bRunning = true;
    }
    pthread_attr_destroy(&attributes);
    return bRunning;
}

void RealtimeThread::Join()
{
    if (!bRunning) return;
    pthread_join(thread, nullptr);
    bRunning = false;
}

void* RealtimeThread::Main(void* self)
{
    PrefaultStack();
    auto* started = static_cast<RealtimeThread*>(self);
    started->pBody(started->pContext);
    return nullptr;
}
