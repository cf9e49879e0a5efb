#include "drivers/alsa/SystemClockPacer.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000u;

} // namespace

uint64_t SystemClockPacer::Now()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * kNanosecondsPerSecond +
           static_cast<uint64_t>(now.tv_nsec);
}

// Whole seconds apart from the rest, so that the product cannot overflow.
uint64_t SystemClockPacer::NanosecondsFor(uint64_t frames) const
{
    return frames / nRate * kNanosecondsPerSecond + frames % nRate * kNanosecondsPerSecond / nRate;
}

void SystemClockPacer::Start(uint32_t sampleRate, int32_t periodFrames)
{
    nRate = sampleRate != 0 ? sampleRate : 48000;
    nPeriodFrames = periodFrames > 0 ? periodFrames : 1;
    qwAnchorNs = Now();
    qwFramesSinceAnchor = 0;
}

SystemClockPacer::Tick SystemClockPacer::WaitNext()
{
    Tick tick = {};
    tick.deadlineNs = qwAnchorNs + NanosecondsFor(qwFramesSinceAnchor);
    timespec due = {};
    due.tv_sec = static_cast<time_t>(tick.deadlineNs / kNanosecondsPerSecond);
    due.tv_nsec = static_cast<long>(tick.deadlineNs % kNanosecondsPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
    tick.wokeNs = Now();
    if (tick.wokeNs > tick.deadlineNs && tick.wokeNs - tick.deadlineNs > PeriodNs()) {
        tick.late = true;
        qwAnchorNs = tick.wokeNs;
        qwFramesSinceAnchor = 0;
    }
    qwFramesSinceAnchor += static_cast<uint64_t>(nPeriodFrames);
    return tick;
}
