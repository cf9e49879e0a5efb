#include "render/BufferSwitch.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "render/CaptureTap.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "the driver buffers are little-endian and are written natively");

namespace {

enum class Source { None, Tone, Sweep, Pink, White };

// First match wins: a lower generator armed meanwhile waits untouched.
Source PlayingSource(const RenderView& view)
{
    if (view.sine->bTonePlaying.load(std::memory_order_acquire)) return Source::Tone;
    if (view.sine->bSweepPlaying.load(std::memory_order_acquire)) return Source::Sweep;
    if (view.pink->bPlaying.load(std::memory_order_acquire)) return Source::Pink;
    if (view.white->bPlaying.load(std::memory_order_acquire)) return Source::White;
    return Source::None;
}

void SilencePair(const RenderView& view, int32_t pair, int32_t half)
{
    std::memset(view.outputs[pair][0][half], 0, view.halfBytes);
    std::memset(view.outputs[pair][1][half], 0, view.halfBytes);
}

// The tone or sweep into (work, target), or the noise into work and its copy
// into target, in the generator's own sample width.
template <class Sample>
void RenderSource(const RenderView& view, Source source, Sample* work, Sample* target)
{
    constexpr uint16_t width = sizeof(Sample);
    const uint32_t n = view.frames;
    switch (source) {
    case Source::Tone:
        view.sine->RenderTone(work, target);
        break;
    case Source::Sweep:
        view.sine->RenderSweep(work, target);
        break;
    case Source::Pink:
        view.pink->FillBuffer(work, n, width);
        std::memcpy(target, work, n * sizeof(Sample));
        break;
    case Source::White:
        view.white->FillBuffer(work, n, width);
        std::memcpy(target, work, n * sizeof(Sample));
        break;
    case Source::None:
        break;
    }
}

// The ramp's gains from frame `done` of the ramp on, over the samples in the
// generator's own width; exact integer arithmetic, truncated toward zero.
template <class Sample> void ApplyFade(Sample* samples, uint32_t n, uint32_t done, uint32_t ramp)
{
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t k = done + i;
        const int64_t gain = k < ramp ? static_cast<int64_t>(ramp - 1 - k) : 0;
        samples[i] = static_cast<Sample>(static_cast<int64_t>(samples[i]) * gain /
                                         static_cast<int64_t>(ramp));
    }
}

template <class Sample>
void FadeBoth(Sample* work, Sample* target, uint32_t n, uint32_t ramp, uint32_t done)
{
    if (ramp == 0) return;
    ApplyFade(work, n, done, ramp);
    ApplyFade(target, n, done, ramp);
}

// ramp 0: no fade; otherwise done frames of the ramp are behind.
template <SampleLayout layout>
void RenderSignal(const RenderView& view, Source source, int32_t pair, int32_t half, uint32_t ramp,
                  uint32_t done)
{
    void* left = view.outputs[pair][0][half];
    void* right = view.outputs[pair][1][half];
    const uint32_t n = view.frames;
    if constexpr (layout == SampleLayout::Int16) {
        auto* work = static_cast<int16_t*>(left);
        auto* target = static_cast<int16_t*>(right);
        RenderSource(view, source, work, target);
        FadeBoth(work, target, n, ramp, done);
    } else if constexpr (layout == SampleLayout::Int24) {
        RenderSource(view, source, view.int24ScratchA, view.int24ScratchB);
        FadeBoth(view.int24ScratchA, view.int24ScratchB, n, ramp, done);
        PackInt24LSB(view.int24ScratchA, static_cast<uint8_t*>(left), n);
        std::memcpy(right, left, 3 * static_cast<size_t>(n));
    } else {
        auto* work = static_cast<int32_t*>(left);
        auto* target = static_cast<int32_t*>(right);
        RenderSource(view, source, work, target);
        FadeBoth(work, target, n, ramp, done);
        if constexpr (layout == SampleLayout::Float32) {
            Int32ToFloat32(static_cast<int32_t*>(left), n);
            Int32ToFloat32(static_cast<int32_t*>(right), n);
        }
    }
}

template <SampleLayout layout> void Render(const RenderView& view, int32_t half)
{
    const int32_t pairs = view.pairs < kRenderMaxPairs ? view.pairs : kRenderMaxPairs;
    const int32_t selected = view.selectedPair->load(std::memory_order_relaxed);
    Source source = PlayingSource(view);

    // A fade asked for counts its frames whatever plays; once it is over the
    // selected pair is silent, as when nothing plays.
    const uint32_t ramp =
        view.fade != nullptr ? view.fade->rampFrames.load(std::memory_order_acquire) : 0;
    const uint32_t done = ramp != 0 ? view.fade->framesDone.load(std::memory_order_relaxed) : 0;
    if (ramp != 0 && done >= ramp) source = Source::None;

    if (source != Source::None && selected >= 0 && selected < kRenderMaxPairs) {
        RenderSignal<layout>(view, source, selected, half, ramp, done);
    } else if (source == Source::None) {
        for (int32_t p = 0; p < pairs; ++p)
            if (view.pairSelected[p].load(std::memory_order_relaxed)) SilencePair(view, p, half);
    }

    for (int32_t p = 0; p < pairs; ++p)
        if (!view.pairSelected[p].load(std::memory_order_relaxed) && view.pairUsable[p])
            SilencePair(view, p, half);

    if (ramp != 0 && done < ramp)
        view.fade->framesDone.store(ramp - done > view.frames ? done + view.frames : ramp,
                                    std::memory_order_release);
    if (view.capture != nullptr) view.capture->OnSwitch(half, source != Source::None);
}

} // namespace

void PackInt24LSB(const int32_t* source, uint8_t* destination, uint32_t n)
{
    if (n == 0) return;
    // One unaligned four-byte store per sample at three-byte steps; the next
    // sample overwrites the fourth byte.
    for (uint32_t k = 0; k + 1 < n; ++k)
        std::memcpy(destination + 3 * k, &source[k], 4);
    const uint32_t last = static_cast<uint32_t>(source[n - 1]);
    uint8_t* tail = destination + 3 * (n - 1);
    const uint16_t low = static_cast<uint16_t>(last);
    std::memcpy(tail, &low, 2);
    tail[2] = static_cast<uint8_t>(last >> 16);
}

void Int32ToFloat32(int32_t* buffer, uint32_t n)
{
    constexpr double kScale = 4.656612873077393e-10; // 2^-31
    for (uint32_t i = 0; i < n; ++i) {
        const float value = static_cast<float>(static_cast<double>(buffer[i]) * kScale);
        std::memcpy(&buffer[i], &value, sizeof value);
    }
}

void RenderBufferSwitch(SampleLayout layout, const RenderView& view, int32_t half)
{
    // Any other index would address past the two halves of each buffer.
    if (half != 0 && half != 1) return;
    switch (layout) {
    case SampleLayout::Int16:
        return Render<SampleLayout::Int16>(view, half);
    case SampleLayout::Int24:
        return Render<SampleLayout::Int24>(view, half);
    case SampleLayout::Int32:
        return Render<SampleLayout::Int32>(view, half);
    case SampleLayout::Float32:
        return Render<SampleLayout::Float32>(view, half);
    }
}
