// Samples per second that white and pink noise give from FillBuffer, one
// 256-frame buffer per iteration, in 16-bit and 32-bit samples, on the wall
// clock and beside sox's own noise (SoxYardstick.h).
#include "bench/SoxYardstick.h"
#include "gen/PinkNoiseGenerator.h"
#include "gen/WhiteNoiseGenerator.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kFrames = 256;
constexpr uint32_t kRate = 96000;

template <class Generator, class Sample> void Fill(benchmark::State& state, uint32_t code)
{
    Generator gen(FormatCode{code});
    std::vector<Sample> buffer(kFrames);
    for (auto _ : state) {
        if (!gen.bPlaying.load(std::memory_order_acquire)) {
            // Arm reads the clock; that is the request's cost, not the render's.
            state.PauseTiming();
            gen.Arm(kRate, 60.0, 6);
            state.ResumeTiming();
        }
        gen.FillBuffer(buffer.data(), kFrames, sizeof(Sample));
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
}

void BM_WhiteFill16(benchmark::State& s)
{
    Fill<WhiteNoiseGenerator, int16_t>(s, 0);
}
void BM_WhiteFill32(benchmark::State& s)
{
    Fill<WhiteNoiseGenerator, int32_t>(s, 2);
}
void BM_PinkFill16(benchmark::State& s)
{
    Fill<PinkNoiseGenerator, int16_t>(s, 0);
}
void BM_PinkFill32(benchmark::State& s)
{
    Fill<PinkNoiseGenerator, int32_t>(s, 2);
}

} // namespace

BENCHMARK(BM_WhiteFill16)->UseRealTime();
BENCHMARK(BM_WhiteFill32)->UseRealTime();
BENCHMARK(BM_PinkFill16)->UseRealTime();
BENCHMARK(BM_PinkFill32)->UseRealTime();

int main(int argc, char** argv)
{
    const SoxComparison comparisons[] = {{"BM_WhiteFill16/real_time", "whitenoise"},
                                         {"BM_WhiteFill32/real_time", "whitenoise"},
                                         {"BM_PinkFill16/real_time", "pinknoise"},
                                         {"BM_PinkFill32/real_time", "pinknoise"}};
    return RunBenchmarksBesideSox(argc, argv, comparisons, 4);
}
