#include "drivers/kit/PacingClock.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000u;

} // namespace

uint64_t PacingClock::Now()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * kNanosecondsPerSecond +
           static_cast<uint64_t>(now.tv_nsec);
}

// Whole seconds apart from the rest, so the product never overflows even
// after days of frames.
uint64_t PacingClock::NanosecondsFor(uint64_t frames) const
{
    const uint64_t seconds = frames / nRate;
    const uint64_t rest = frames % nRate;
    return seconds * kNanosecondsPerSecond + rest * kNanosecondsPerSecond / nRate;
}

void PacingClock::Start(uint32_t sampleRate, int32_t bufferSize)
{
    nRate = sampleRate != 0 ? sampleRate : 48000;
    nBufferSize = bufferSize > 0 ? bufferSize : 1;
    qwAnchorNs = Now();
    qwFramesSinceAnchor = 0;
    qwMissed = 0;
}

void PacingClock::ChangeRate(uint32_t sampleRate)
{
    if (sampleRate == 0 || sampleRate == nRate) return;
    qwAnchorNs += NanosecondsFor(qwFramesSinceAnchor);
    qwFramesSinceAnchor = 0;
    nRate = sampleRate;
}

PacingClock::Tick PacingClock::WaitNext()
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
        tick.missed = true;
        ++qwMissed;
        qwAnchorNs = tick.wokeNs;
        qwFramesSinceAnchor = 0;
    }
    qwFramesSinceAnchor += static_cast<uint64_t>(nBufferSize);
    return tick;
}
