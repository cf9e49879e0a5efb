// Render cost per 256-frame buffer, reported as a fraction of that buffer's
// period at 96000 Hz (counter "of_period", a ratio the library prints with a
// time unit: 1000us reads as 0.1 %), and the time a 10 s tone spends
// in planning before it can start. The tone's frames per second are printed
// beside sox's sine (SoxYardstick.h).
#include "bench/SoxYardstick.h"
#include "gen/SineGenerator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

constexpr uint32_t kFrames = 256;
constexpr double kRate = 96000.0;
constexpr double kPeriodSeconds = kFrames / kRate;

template <class Sample> void RenderTone(benchmark::State& state, uint32_t code)
{
    SineGenerator gen(kFrames, FormatCode{code});
    std::vector<Sample> work(kFrames), target(kFrames);
    for (auto _ : state) {
        if (!gen.bTonePlaying.load()) {
            state.PauseTiming();
            gen.StartTone(kRate, 997.0, 20.0, 6); // long enough to skip the dry run
            state.ResumeTiming();
        }
        gen.RenderTone(work.data(), target.data());
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
    state.counters["of_period"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kPeriodSeconds,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <class Sample> void RenderSweep(benchmark::State& state, uint32_t code)
{
    SineGenerator gen(kFrames, FormatCode{code});
    std::vector<Sample> work(kFrames), target(kFrames);
    for (auto _ : state) {
        if (!gen.bSweepPlaying.load()) {
            state.PauseTiming();
            gen.StartSweep(kRate, 20.0, 20000.0, 20.0, 6);
            state.ResumeTiming();
        }
        gen.RenderSweep(work.data(), target.data());
        benchmark::DoNotOptimize(work.data());
    }
    state.counters["of_period"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kPeriodSeconds,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RenderTone16(benchmark::State& s)
{
    RenderTone<int16_t>(s, 0);
}
void BM_RenderTone32(benchmark::State& s)
{
    RenderTone<int32_t>(s, 2);
}
void BM_RenderSweep16(benchmark::State& s)
{
    RenderSweep<int16_t>(s, 0);
}
void BM_RenderSweep32(benchmark::State& s)
{
    RenderSweep<int32_t>(s, 2);
}

// One or two dry-run passes over 960,000 samples.
void BM_StartTone10s(benchmark::State& state)
{
    const uint32_t code = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        SineGenerator gen(512, FormatCode{code});
        gen.StartTone(kRate, 1000.0, 10.0, 0);
        benchmark::DoNotOptimize(gen.lCorrection);
    }
}

} // namespace

BENCHMARK(BM_RenderTone16)->UseRealTime();
BENCHMARK(BM_RenderTone32)->UseRealTime();
BENCHMARK(BM_RenderSweep16);
BENCHMARK(BM_RenderSweep32);
BENCHMARK(BM_StartTone10s)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    const SoxComparison comparisons[] = {{"BM_RenderTone16/real_time", "sine"},
                                         {"BM_RenderTone32/real_time", "sine"}};
    return RunBenchmarksBesideSox(argc, argv, comparisons, 2);
}
