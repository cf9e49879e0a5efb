#include "render/BufferSwitch.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/HostState.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "the driver buffers are little-endian and are written natively");

namespace {

enum class Layout { Int16, Int24, Int32, Float32 };

enum class Source { None, Tone, Sweep, Pink, White };

// First match wins: a lower generator armed meanwhile waits untouched.
Source PlayingSource()
{
    if (pSineGenerator->bTonePlaying.load(std::memory_order_acquire)) return Source::Tone;
    if (pSineGenerator->bSweepPlaying.load(std::memory_order_acquire)) return Source::Sweep;
    if (pPinkNoiseGenerator->bPlaying.load(std::memory_order_acquire)) return Source::Pink;
    if (pWhiteNoiseGenerator->bPlaying.load(std::memory_order_acquire)) return Source::White;
    return Source::None;
}

void SilencePair(int32_t pair, int32_t half)
{
    std::memset(asioDriverInfo.outputBufferInfos[2 * pair].buffers[half], 0, dwBufferSizeBytes);
    std::memset(asioDriverInfo.outputBufferInfos[2 * pair + 1].buffers[half], 0, dwBufferSizeBytes);
}

// The tone or sweep into (work, target), or the noise into work and its copy
// into target, in the generator's own sample width.
template <class Sample> void RenderSource(Source source, Sample* work, Sample* target, uint32_t n)
{
    constexpr uint16_t width = sizeof(Sample);
    switch (source) {
    case Source::Tone:
        pSineGenerator->RenderTone(work, target);
        break;
    case Source::Sweep:
        pSineGenerator->RenderSweep(work, target);
        break;
    case Source::Pink:
        pPinkNoiseGenerator->FillBuffer(work, n, width);
        std::memcpy(target, work, n * sizeof(Sample));
        break;
    case Source::White:
        pWhiteNoiseGenerator->FillBuffer(work, n, width);
        std::memcpy(target, work, n * sizeof(Sample));
        break;
    case Source::None:
        break;
    }
}

template <Layout layout> void BufferSwitch(int32_t half)
{
    // Any other index would address past the two halves of each record.
    if (half != 0 && half != 1) return;
    AsioDriverInfo& info = asioDriverInfo;
    const int32_t pairs = info.nOutputPairs;
    const int32_t selected = info.nSelectedPair.load(std::memory_order_relaxed);
    const uint32_t n = static_cast<uint32_t>(info.preferredSize);
    const Source source = PlayingSource();

    if (source != Source::None && selected >= 0 && selected < kMaxOutputPairs) {
        void* left = info.outputBufferInfos[2 * selected].buffers[half];
        void* right = info.outputBufferInfos[2 * selected + 1].buffers[half];
        if constexpr (layout == Layout::Int16) {
            RenderSource(source, static_cast<int16_t*>(left), static_cast<int16_t*>(right), n);
        } else if constexpr (layout == Layout::Int24) {
            RenderSource(source, info.pInt24ScratchA, info.pInt24ScratchB, n);
            PackInt24LSB(info.pInt24ScratchA, static_cast<uint8_t*>(left), n);
            std::memcpy(right, left, 3 * static_cast<size_t>(n));
        } else {
            RenderSource(source, static_cast<int32_t*>(left), static_cast<int32_t*>(right), n);
            if constexpr (layout == Layout::Float32) {
                Int32ToFloat32(static_cast<int32_t*>(left), n);
                Int32ToFloat32(static_cast<int32_t*>(right), n);
            }
        }
    } else if (source == Source::None) {
        for (int32_t p = 0; p < pairs && p < kMaxOutputPairs; ++p)
            if (info.bPairSelected[p].load(std::memory_order_relaxed)) SilencePair(p, half);
    }

    for (int32_t p = 0; p < pairs && p < kMaxOutputPairs; ++p)
        if (!info.bPairSelected[p].load(std::memory_order_relaxed) && info.bPairUsable[p])
            SilencePair(p, half);

    // The render thread is the only writer: a plain increment suffices.
    dwCountBuffers.store(dwCountBuffers.load(std::memory_order_relaxed) + 1,
                         std::memory_order_relaxed);
    if (info.bOutputReady) ptrASIO->outputReady();
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

void bufferSwitchInt16LSB(int32_t doubleBufferIndex, ASIOBool)
{
    BufferSwitch<Layout::Int16>(doubleBufferIndex);
}

void bufferSwitchInt24LSB(int32_t doubleBufferIndex, ASIOBool)
{
    BufferSwitch<Layout::Int24>(doubleBufferIndex);
}

void bufferSwitchInt32LSB(int32_t doubleBufferIndex, ASIOBool)
{
    BufferSwitch<Layout::Int32>(doubleBufferIndex);
}

void bufferSwitchFloat32LSB(int32_t doubleBufferIndex, ASIOBool)
{
    BufferSwitch<Layout::Float32>(doubleBufferIndex);
}
