// The ALSA driver's writer thread: once per period it has the host fill the
// next half of the double buffer, interleaved into one period (through its
// AlsaPeriodSource), and writes that period to the device. Paced by the
// device, which blocks the writer while its buffer is full, or by the
// monotonic clock for devices with no clock of their own. Started and
// stopped on the host's thread.
#pragma once

#include "drivers/alsa/AlsaDevice.h"
#include "drivers/kit/RealtimeThread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// What the writer thread calls; every call runs on it, in the host's
// real-time path.
class AlsaPeriodSource {
public:
    // The host fills the next half and it is interleaved into the period;
    // dueNs is when the period was due on the monotonic clock.
    virtual void RenderPeriod(uint64_t dueNs) = 0;
    // An underrun was recovered from; playing goes on.
    virtual void OnUnderrun() = 0;
    // The device is gone; the writer has stopped writing.
    virtual void OnDeviceLost() = 0;

protected:
    ~AlsaPeriodSource() = default;
};

class AlsaWriter {
public:
    struct Plan {
        AlsaDevice* device;
        AlsaPeriodSource* source;
        const uint8_t* period; // the interleaved period the source fills
        snd_pcm_uframes_t frames;
        size_t frameBytes;
        bool systemClock;
        uint32_t sampleRate;
        const char* driverName; // for the one line said about the thread's priority
    };

    AlsaWriter() = default;
    ~AlsaWriter() { Stop(); }
    AlsaWriter(const AlsaWriter&) = delete;
    AlsaWriter& operator=(const AlsaWriter&) = delete;

    // False when no thread can be had.
    bool Start(const Plan& plan);
    // Returns once the thread has ended; what is still queued is dropped and
    // the device is prepared for the next start.
    void Stop();

    bool Running() const { return thread.Running(); }
    // Underruns recovered since ClearUnderruns.
    uint64_t Underruns() const { return qwUnderruns.load(std::memory_order_relaxed); }
    void ClearUnderruns() { qwUnderruns.store(0, std::memory_order_relaxed); }
    // The device failed beyond recovery; a new start tries it again.
    bool DeviceLost() const { return bDeviceLost.load(std::memory_order_acquire); }

private:
    static void Main(void* self);
    void Run();
    // False when the device is lost.
    bool WritePeriod();
    bool Recovered(int error);
    void CountUnderrun();

    Plan plan = {};
    RealtimeThread thread;
    std::atomic<bool> bQuit{false};
    std::atomic<bool> bDeviceLost{false};
    std::atomic<uint64_t> qwUnderruns{0};
};
