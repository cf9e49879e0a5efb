// Paces the writer of a device with no clock of its own (ALSA's null and
// file plugins) by the monotonic clock: absolute deadlines, each worked out
// from an anchor and the frames since it, so that rounding never drifts.
// Writer thread only.
#pragma once

#include <cstdint>

class SystemClockPacer {
public:
    struct Tick {
        uint64_t deadlineNs; // when this period was due
        uint64_t wokeNs;     // when the wait returned
        bool late;           // more than a period late: the schedule starts again from now
    };

    // The first period is due at once.
    void Start(uint32_t sampleRate, int32_t periodFrames);
    // Sleeps until the next period is due. A wake more than one period late
    // is what an underrun is to a device with a clock: it is reported and
    // the lost time is not caught up in a burst.
    Tick WaitNext();

    uint64_t PeriodNs() const { return NanosecondsFor(static_cast<uint64_t>(nPeriodFrames)); }
    static uint64_t Now();

private:
    uint64_t NanosecondsFor(uint64_t frames) const;

    uint64_t qwAnchorNs = 0;
    uint64_t qwFramesSinceAnchor = 0;
    uint32_t nRate = 48000;
    int32_t nPeriodFrames = 256;
};
