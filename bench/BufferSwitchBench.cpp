// One buffer switch with 16 pairs (32 channels) in each format and from each
// source, as a fraction of the buffer period at 96000 Hz (counter
// "of_period", a ratio the library prints with a time unit: 10us reads as
// 0.001 %).
#include "render/BufferSwitch.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/BufferSwitchEntries.h"
#include "host/HostState.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int32_t kPairs = 16;
constexpr double kRate = 96000.0;

enum SourceKind { kSilence, kTone, kSweepClosing, kPink, kWhite };

void Switch(benchmark::State& state, ASIOSampleType type)
{
    const int32_t frames = static_cast<int32_t>(state.range(0));
    const int source = static_cast<int>(state.range(1));
    const SampleFormat* format = FindSampleFormat(type);
    ClearDriverInfo();
    AsioDriverInfo& info = asioDriverInfo;
    info.preferredSize = frames;
    info.nOutputPairs = kPairs;
    info.outputBuffers = 2 * kPairs;
    dwBufferSizeBytes = frames * format->bytesPerSample;
    std::vector<std::vector<uint8_t>> memory(4 * kPairs, std::vector<uint8_t>(dwBufferSizeBytes));
    for (int32_t c = 0; c < 2 * kPairs; ++c)
        for (int half = 0; half < 2; ++half)
            info.outputBufferInfos[c].buffers[half] = memory[2 * c + half].data();
    for (int32_t p = 0; p < kPairs; ++p)
        info.bPairUsable[p] = true;
    info.bPairSelected[0] = true;
    std::vector<int32_t> scratchA(frames), scratchB(frames);
    info.pInt24ScratchA = scratchA.data();
    info.pInt24ScratchB = scratchB.data();
    SineGenerator sine(frames, format->formatCode);
    PinkNoiseGenerator pink(format->formatCode);
    WhiteNoiseGenerator white(format->formatCode);
    pSineGenerator = &sine;
    pPinkNoiseGenerator = &pink;
    pWhiteNoiseGenerator = &white;

    auto arm = [&] {
        switch (source) {
        case kTone:
            sine.StartTone(kRate, 997.0, 100.0, 6);
            break;
        case kSweepClosing:
            sine.StartSweep(kRate, 100.0, 1000.0, 1.0, 6);
            sine.dwSweepBuffersLeft = 1;
            break;
        case kPink:
            pink.Arm(96000, 100.0, 6);
            break;
        case kWhite:
            white.Arm(96000, 100.0, 6);
            break;
        default:
            break;
        }
    };
    PrepareRenderView();
    arm();
    int32_t half = 0;
    for (auto _ : state) {
        if (source == kSweepClosing && !sine.bSweepPlaying.load()) {
            state.PauseTiming();
            arm();
            state.ResumeTiming();
        }
        format->bufferSwitch(half, ASIOFalse);
        half ^= 1;
    }
    state.counters["of_period"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * frames / kRate,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    sine.Release();
    pSineGenerator = nullptr;
    pPinkNoiseGenerator = nullptr;
    pWhiteNoiseGenerator = nullptr;
    ClearRenderView();
    ClearDriverInfo();
}

void BM_SwitchInt16(benchmark::State& s)
{
    Switch(s, ASIOSTInt16LSB);
}
void BM_SwitchInt24(benchmark::State& s)
{
    Switch(s, ASIOSTInt24LSB);
}
void BM_SwitchInt32(benchmark::State& s)
{
    Switch(s, ASIOSTInt32LSB);
}
void BM_SwitchFloat32(benchmark::State& s)
{
    Switch(s, ASIOSTFloat32LSB);
}

void Arguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"frames", "source"});
    for (int64_t frames : {64, 256})
        for (int64_t source = kSilence; source <= kWhite; ++source)
            b->Args({frames, source});
}

} // namespace

BENCHMARK(BM_SwitchInt16)->Apply(Arguments);
BENCHMARK(BM_SwitchInt24)->Apply(Arguments);
BENCHMARK(BM_SwitchInt32)->Apply(Arguments);
BENCHMARK(BM_SwitchFloat32)->Apply(Arguments);
