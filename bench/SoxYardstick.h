// sox as the generator benchmarks' yardstick: after the benchmarks, each
// generator's frames per second is printed beside those of a whole sox
// process making the same kind of signal, timed in the same run:
//
//   sox -V1 -r 96000 -c 1 -n -t null /dev/null synth 60 <signal>
//
// one channel made at the output rate (no resampling), written nowhere,
// wall clock from spawn to exit, the median of five. Generator benchmarks
// compared with it run on the wall clock (UseRealTime) too, so that both
// figures pay alike for a busy machine. Without sox the comparison is left out.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

struct SoxComparison {
    const char* benchmark; // the run's name, e.g. "BM_WhiteFill16/real_time"
    const char* signal;    // sox's name for the signal
};

namespace sox_yardstick {

constexpr int kRate = 96000;
constexpr int kSeconds = 60;
constexpr int kRuns = 5;

inline double WallSeconds()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Frames per second of one sox run; 0 when sox cannot be run or fails.
inline double SoxRun(const char* signal)
{
    const std::string rate = std::to_string(kRate);
    const std::string seconds = std::to_string(kSeconds);
    const char* argv[] = {"sox",  "-V1",       "-r",    rate.c_str(),    "-c",   "1",    "-n", "-t",
                          "null", "/dev/null", "synth", seconds.c_str(), signal, nullptr};
    const double start = WallSeconds();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sox", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return 0.0;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 0.0;
    return static_cast<double>(kRate) * kSeconds / (WallSeconds() - start);
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The console's report, keeping each run's items per second.
class Reporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own main does.
    Reporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (run.run_type == Run::RT_Iteration && !run.error_occurred &&
                rate != run.counters.end())
                framesPerSecond[run.benchmark_name()].push_back(rate->second.value);
        }
    }
    std::map<std::string, std::vector<double>> framesPerSecond;
};

} // namespace sox_yardstick

// A main for a generator benchmark: runs the benchmarks, then sox once per
// signal named, and prints each comparison as a ratio.
inline int RunBenchmarksBesideSox(int argc, char** argv, const SoxComparison* comparisons,
                                  int count)
{
    using namespace sox_yardstick;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::map<std::string, double> soxRates;
    for (int i = 0; i < count; ++i) {
        const auto ours = reporter.framesPerSecond.find(comparisons[i].benchmark);
        if (ours == reporter.framesPerSecond.end()) continue;
        if (soxRates.count(comparisons[i].signal) == 0) {
            std::vector<double> runs;
            for (int k = 0; k < kRuns; ++k)
                runs.push_back(SoxRun(comparisons[i].signal));
            const double median = Median(runs);
            if (median <= 0.0) {
                std::printf("sox could not be run: no comparison\n");
                return 0;
            }
            soxRates[comparisons[i].signal] = median;
            std::printf("sox -V1 -r %d -c 1 -n -t null /dev/null synth %d %-10s %7.2f M frames/s "
                        "(median of %d, min %.2f, max %.2f)\n",
                        kRate, kSeconds, comparisons[i].signal, median / 1e6, kRuns,
                        *std::min_element(runs.begin(), runs.end()) / 1e6,
                        *std::max_element(runs.begin(), runs.end()) / 1e6);
        }
        const double rate = Median(ours->second);
        std::printf("%-30s %7.2f M frames/s = %5.2f x sox %s\n", comparisons[i].benchmark,
                    rate / 1e6, rate / soxRates[comparisons[i].signal], comparisons[i].signal);
    }
    return 0;
}
