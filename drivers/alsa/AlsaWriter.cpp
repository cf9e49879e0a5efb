#include "drivers/alsa/AlsaWriter.h"

#include "drivers/kit/PacingClock.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// How long one wait for room may last, so that a stop is noticed even on a
// device whose clock has stalled.
constexpr int kWaitMilliseconds = 100;

// Said once per process: every later writer would be refused alike.
std::atomic<bool> g_bPriorityRefusalSaid{false};

} // namespace

bool AlsaWriter::Start(const Plan& newPlan)
{
    if (thread.Running()) return true;
    plan = newPlan;
    bQuit.store(false, std::memory_order_relaxed);
    bDeviceLost.store(false, std::memory_order_relaxed);
    if (!thread.Start(Main, this)) return false;
    const int refused = thread.RefusalError();
    if (refused != 0 && !g_bPriorityRefusalSaid.exchange(true))
        std::fprintf(stderr,
                     "%s: no real-time priority for the writer thread (%s); it runs at normal "
                     "priority\n",
                     plan.driverName, std::strerror(refused));
    return true;
}

void AlsaWriter::Stop()
{
    if (!thread.Running()) return;
    bQuit.store(true, std::memory_order_release);
    thread.Join();
    if (!DeviceLost()) plan.device->Reset();
}

void AlsaWriter::Main(void* self)
{
    static_cast<AlsaWriter*>(self)->Run();
}

// The writer thread: no allocation, no lock of ours, no log line; the system
// calls are the device's write and wait, and the pacing sleep.
void AlsaWriter::Run()
{
    PacingClock pacer;
    if (plan.systemClock) pacer.Start(plan.sampleRate, static_cast<int32_t>(plan.frames));
    for (;;) {
        uint64_t dueNs = 0;
        if (plan.systemClock) {
            const PacingClock::Tick tick = pacer.WaitNext();
            if (bQuit.load(std::memory_order_acquire)) break;
            if (tick.missed) CountUnderrun();
            dueNs = tick.deadlineNs;
        } else {
            if (bQuit.load(std::memory_order_acquire)) break;
            dueNs = PacingClock::Now();
        }
        plan.source->RenderPeriod(dueNs);
        if (!WritePeriod()) {
            bDeviceLost.store(true, std::memory_order_release);
            plan.source->OnDeviceLost();
            break;
        }
    }
}

// The whole period, however many writes it takes: after an underrun the
// rest of it is written too, so the signal goes on without a gap in its
// samples.
bool AlsaWriter::WritePeriod()
{
    const uint8_t* data = plan.period;
    snd_pcm_uframes_t left = plan.frames;
    while (left > 0) {
        snd_pcm_sframes_t written = plan.device->Write(data, left);
        if (written > 0) {
            data += static_cast<size_t>(written) * plan.frameBytes;
            left -= static_cast<snd_pcm_uframes_t>(written);
            continue;
        }
        if (written == 0 || written == -EAGAIN) {
            // A period already rendered is written unless the device is full
            // when a stop comes: a restart for a new rate then loses nothing.
            if (bQuit.load(std::memory_order_acquire)) return true;
            const int ready = plan.device->Wait(kWaitMilliseconds);
            if (ready >= 0) continue;
            written = ready;
        }
        if (!Recovered(static_cast<int>(written))) return false;
    }
    return true;
}

bool AlsaWriter::Recovered(int error)
{
    if (error != -EPIPE && error != -ESTRPIPE && error != -EINTR) return false;
    if (plan.device->Recover(error) < 0) return false;
    if (error != -EINTR) CountUnderrun();
    return true;
}

void AlsaWriter::CountUnderrun()
{
    qwUnderruns.fetch_add(1, std::memory_order_relaxed);
    plan.source->OnUnderrun();
}
