// The buffer switch with a capture on beside the same switch without one:
// 16 output pairs playing a tone, one input pair copied into the capture
// ring, 64 frames, each format, as a fraction of the buffer period at 96000
// Hz (counter "of_period", a ratio the library prints with a time unit: 10us
// reads as 0.001 %). The switches run far faster than a card's, so no
// draining thread could keep up: the ring is given back right after each
// switch, inside the timing (two atomic steps), and "lost" must stay 0.
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "render/BufferSwitch.h"
#include "render/CaptureTap.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace {

constexpr int32_t kPairs = 16;
constexpr uint32_t kFrames = 64;
constexpr double kRate = 96000.0;

struct Format {
    SampleLayout layout;
    FormatCode code;
    uint32_t bytes;
};
constexpr Format kFormats[] = {{SampleLayout::Int16, FormatCode::Int16, 2},
                               {SampleLayout::Int24, FormatCode::Int24In32, 3},
                               {SampleLayout::Int32, FormatCode::Int32, 4},
                               {SampleLayout::Float32, FormatCode::Int32, 4}};

void BM_SwitchWithCapture(benchmark::State& state)
{
    const Format& format = kFormats[state.range(0)];
    const bool capturing = state.range(1) != 0;
    const uint32_t halfBytes = kFrames * format.bytes;
    std::vector<std::vector<uint8_t>> memory(4 * kPairs + 4, std::vector<uint8_t>(halfBytes));
    RenderView view;
    view.frames = kFrames;
    view.halfBytes = halfBytes;
    view.pairs = kPairs;
    for (int32_t p = 0; p < kPairs; ++p)
        for (int c = 0; c < 2; ++c)
            for (int h = 0; h < 2; ++h)
                view.outputs[p][c][h] = memory[4 * p + 2 * c + h].data();
    bool usable[kPairs];
    std::atomic<bool> selected[kPairs];
    for (int32_t p = 0; p < kPairs; ++p) {
        usable[p] = true;
        selected[p].store(p == 0);
    }
    std::atomic<int32_t> selectedPair{0};
    view.pairUsable = usable;
    view.pairSelected = selected;
    view.selectedPair = &selectedPair;
    std::vector<int32_t> scratchA(kFrames), scratchB(kFrames);
    view.int24ScratchA = scratchA.data();
    view.int24ScratchB = scratchB.data();
    SineGenerator sine(kFrames, format.code);
    PinkNoiseGenerator* pink = PinkNoiseGenerator::Create(format.code);
    WhiteNoiseGenerator* white = WhiteNoiseGenerator::Create(format.code);
    view.sine = &sine;
    view.pink = pink;
    view.white = white;
    sine.StartTone(kRate, 997.0, 60.0, 6);

    // Two seconds of switches in the ring, as the host sizes it.
    CaptureTap tap;
    void* const inputs[2][2] = {{memory[4 * kPairs].data(), memory[4 * kPairs + 1].data()},
                                {memory[4 * kPairs + 2].data(), memory[4 * kPairs + 3].data()}};
    if (capturing) {
        tap.Prepare(inputs, halfBytes, kFrames, static_cast<uint32_t>(2 * kRate / kFrames));
        tap.Arm(UINT64_MAX);
        view.capture = &tap;
    }

    int32_t half = 0;
    uint64_t sequence = 0;
    for (auto _ : state) {
        if (!sine.bTonePlaying.load()) {
            state.PauseTiming();
            sine.StartTone(kRate, 997.0, 60.0, 6);
            state.ResumeTiming();
        }
        RenderBufferSwitch(format.layout, view, half);
        half ^= 1;
        if (capturing && tap.Peek(&sequence) != nullptr) tap.Consume();
    }
    state.counters["of_period"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / kRate,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["lost"] = static_cast<double>(tap.Overruns());
    sine.Release();
    pink->Release();
    delete pink;
    white->Release();
    delete white;
}

} // namespace

BENCHMARK(BM_SwitchWithCapture)
    ->ArgNames({"format", "capture"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}});
