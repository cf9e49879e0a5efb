// What the pacing benchmarks share: a baseline thread started by the driver
// kit's own starter (same policy, priority and memory locking as a driver's
// thread) that does nothing but sleep to absolute deadlines of the same
// period on the kit's PacingClock, run beside the driver in the same process
// and phase; the lateness logs of both; busy loops on every core; and the
// report: late fraction (more than one period late), median, 99th
// percentile and maximum of both, their ratio, and over the repeated runs
// of a phase the spread and the median.
#pragma once

#include "drivers/kit/PacingClock.h"
#include "drivers/kit/RealtimeThread.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Nanoseconds each period came late, written by one thread while it runs and
// read once it has stopped. Preallocated and touched before the start.
class LatenessLog {
public:
    void Reserve(size_t periods) { entries.assign(periods, 0); }
    void Clear() { count.store(0, std::memory_order_relaxed); }
    // The writing thread only.
    void Add(int64_t latenessNs)
    {
        const size_t n = count.load(std::memory_order_relaxed);
        if (n >= entries.size()) return;
        entries[n] = latenessNs;
        count.store(n + 1, std::memory_order_release);
    }
    std::vector<int64_t> Sorted() const
    {
        std::vector<int64_t> sorted(entries.begin(),
                                    entries.begin() + count.load(std::memory_order_acquire));
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

private:
    std::vector<int64_t> entries;
    std::atomic<size_t> count{0};
};

// The machine's own lateness: a thread that only sleeps to its deadlines.
class BaselineThread {
public:
    void Start(uint32_t sampleRate, int32_t frames)
    {
        nRate = sampleRate;
        nFrames = frames;
        quit.store(false, std::memory_order_relaxed);
        log.Clear();
        thread.Start(Body, this);
    }
    void Stop()
    {
        quit.store(true, std::memory_order_release);
        thread.Join();
    }
    int Policy() const { return policy; }

    LatenessLog log;

private:
    static void Body(void* self)
    {
        auto* baseline = static_cast<BaselineThread*>(self);
        baseline->policy = sched_getscheduler(0);
        PacingClock clock;
        clock.Start(baseline->nRate, baseline->nFrames);
        while (!baseline->quit.load(std::memory_order_acquire)) {
            const PacingClock::Tick tick = clock.WaitNext();
            baseline->log.Add(static_cast<int64_t>(tick.wokeNs - tick.deadlineNs));
        }
    }

    RealtimeThread thread;
    std::atomic<bool> quit{false};
    uint32_t nRate = 48000;
    int32_t nFrames = 64;
    int policy = -1;
};

struct PacingFigures {
    size_t periods = 0;
    double lateFraction = 0.0; // more than one period late
    double medianUs = 0.0;
    double p99Us = 0.0;
    double maxUs = 0.0;
};

inline PacingFigures Figures(const LatenessLog& log, double periodNs)
{
    const std::vector<int64_t> sorted = log.Sorted();
    PacingFigures f;
    f.periods = sorted.size();
    if (sorted.empty()) return f;
    const size_t late = sorted.end() - std::upper_bound(sorted.begin(), sorted.end(),
                                                        static_cast<int64_t>(periodNs));
    f.lateFraction = static_cast<double>(late) / static_cast<double>(sorted.size());
    f.medianUs = static_cast<double>(sorted[sorted.size() / 2]) / 1000.0;
    f.p99Us = static_cast<double>(sorted[sorted.size() * 99 / 100]) / 1000.0;
    f.maxUs = static_cast<double>(sorted.back()) / 1000.0;
    return f;
}

// Ours against the baseline's late fraction; both on time counts as even.
inline double LateRatio(const PacingFigures& ours, const PacingFigures& baseline)
{
    if (baseline.lateFraction > 0.0) return ours.lateFraction / baseline.lateFraction;
    return ours.lateFraction > 0.0 ? 1e9 : 1.0;
}

inline void PrintRun(const char* phase, int run, const PacingFigures& ours,
                     const PacingFigures& baseline)
{
    std::printf("%-6s run %d  %-8s periods %7zu  late %6.3f %%  median %6.1f us  p99 %7.1f us  "
                "max %8.1f us\n",
                phase, run, "ours", ours.periods, 100.0 * ours.lateFraction, ours.medianUs,
                ours.p99Us, ours.maxUs);
    std::printf("%-6s run %d  %-8s periods %7zu  late %6.3f %%  median %6.1f us  p99 %7.1f us  "
                "max %8.1f us\n",
                phase, run, "baseline", baseline.periods, 100.0 * baseline.lateFraction,
                baseline.medianUs, baseline.p99Us, baseline.maxUs);
    std::printf("%-6s run %d  ratio late %.2f  median %.2f  p99 %.2f  max %.2f\n", phase, run,
                LateRatio(ours, baseline), ours.medianUs / std::max(baseline.medianUs, 1e-3),
                ours.p99Us / std::max(baseline.p99Us, 1e-3),
                ours.maxUs / std::max(baseline.maxUs, 1e-3));
    std::fflush(stdout);
}

// The spread of one figure over a phase's runs: min, median, max.
template <class Get>
void PrintSpread(const char* what, const std::vector<PacingFigures>& runs, Get get, double scale)
{
    std::vector<double> values;
    for (const PacingFigures& f : runs)
        values.push_back(get(f) * scale);
    std::sort(values.begin(), values.end());
    std::printf("  %-22s min %8.3f  median %8.3f  max %8.3f\n", what, values.front(),
                values[values.size() / 2], values.back());
}

inline void PrintPhaseSummary(const char* phase, const std::vector<PacingFigures>& ours,
                              const std::vector<PacingFigures>& baseline)
{
    std::printf("%s, %zu runs:\n", phase, ours.size());
    PrintSpread(
        "ours late %", ours, [](const PacingFigures& f) { return f.lateFraction; }, 100);
    PrintSpread(
        "baseline late %", baseline, [](const PacingFigures& f) { return f.lateFraction; }, 100);
    PrintSpread(
        "ours p99 us", ours, [](const PacingFigures& f) { return f.p99Us; }, 1);
    PrintSpread(
        "baseline p99 us", baseline, [](const PacingFigures& f) { return f.p99Us; }, 1);
    PrintSpread(
        "ours max us", ours, [](const PacingFigures& f) { return f.maxUs; }, 1);
    PrintSpread(
        "baseline max us", baseline, [](const PacingFigures& f) { return f.maxUs; }, 1);
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size(); ++i)
        ratios.push_back(LateRatio(ours[i], baseline[i]));
    std::sort(ratios.begin(), ratios.end());
    std::printf("  %-22s min %8.2f  median %8.2f  max %8.2f   (target: median <= 1.20)\n",
                "late ratio", ratios.front(), ratios[ratios.size() / 2], ratios.back());
    std::fflush(stdout);
}

// One shell busy loop per core, at normal priority, until StopBusyLoops.
inline std::vector<pid_t> StartBusyLoops()
{
    std::vector<pid_t> pids;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", "while :; do :; done", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid > 0) pids.push_back(pid);
    }
    return pids;
}

inline void StopBusyLoops(const std::vector<pid_t>& pids)
{
    for (pid_t pid : pids) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}
