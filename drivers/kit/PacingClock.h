// A driver thread's clock for devices with none of their own: absolute
// deadlines on CLOCK_MONOTONIC, each worked out from an anchor and the frames
// played since it, so rounding never accumulates into drift. One thread only.
#pragma once

#include <cstdint>

class PacingClock {
public:
    struct Tick {
        uint64_t deadlineNs; // when this buffer was due
        uint64_t wokeNs;     // when the wait returned
        bool missed;         // later than one period: the schedule was re-anchored
    };

    // Anchors the schedule at now: the first buffer is due at once.
    void Start(uint32_t sampleRate, int32_t bufferSize);
    // From the next deadline on, buffers last bufferSize frames at the new
    // rate; the buffer before it keeps the old rate's length.
    void ChangeRate(uint32_t sampleRate);
    // Sleeps until the next buffer is due. A wake more than one period after
    // the deadline is counted as missed and the schedule starts again from
    // the wake, so late buffers are never caught up in a burst.
    Tick WaitNext();

    uint32_t Rate() const { return nRate; }
    uint64_t PeriodNs() const { return NanosecondsFor(static_cast<uint64_t>(nBufferSize)); }
    uint64_t MissedCount() const { return qwMissed; }

    // Nanoseconds that frames last at the current rate, exact to the floor.
    uint64_t NanosecondsFor(uint64_t frames) const;
    static uint64_t Now();

private:
    uint64_t qwAnchorNs = 0;
    uint64_t qwFramesSinceAnchor = 0;
    uint32_t nRate = 48000;
    int32_t nBufferSize = 256;
    uint64_t qwMissed = 0;
};
