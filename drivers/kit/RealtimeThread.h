// The one way a driver starts the thread that paces it (the virtual card's
// clock, the ALSA writer): SCHED_FIFO at kRealtimePriority from its first
// instruction where the system grants it, an ordinary thread where it does
// not. Before the thread starts, the process's memory is locked and faulted
// in where the system permits it (the driver's buffers, the host's state and
// every library the host's callback runs), and the thread writes its own
// stack's first pages, so its first periods take no page fault. Started and
// joined on the host's thread.
#pragma once

#include <pthread.h>

class RealtimeThread {
public:
    // Below the priorities sound servers give their own threads.
    static constexpr int kRealtimePriority = 60;

    RealtimeThread() = default;
    ~RealtimeThread() { Join(); }
    RealtimeThread(const RealtimeThread&) = delete;
    RealtimeThread& operator=(const RealtimeThread&) = delete;

    // Runs body(context) on a new thread. False when no thread at all can be
    // had; a thread refused real-time scheduling runs as an ordinary one,
    // and RefusalError says why.
    bool Start(void (*body)(void*), void* context);
    // Returns once the body has returned; at once when no thread runs.
    void Join();

    bool Running() const { return bRunning; }
    // The error the real-time request was refused with, 0 when granted.
    int RefusalError() const { return nRefusal; }

private:
    static void* Main(void* self);

    pthread_t thread = {};
    bool bRunning = false;
    int nRefusal = 0;
    void (*pBody)(void*) = nullptr;
    void* pContext = nullptr;
};
