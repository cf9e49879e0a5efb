// What one buffer switch renders from: the generators, the driver's
// half-buffers of every pair, the pair choice, the scratch of 24-bit cards
// and, only while a capture is set up, the tap that copies its input pair.
// Its owner (the host) prepares it before the driver starts and keeps
// everything it points at alive until the driver has stopped.
#pragma once

#include <atomic>
#include <cstdint>

class SineGenerator;
class PinkNoiseGenerator;
class WhiteNoiseGenerator;
class CaptureTap;

// How samples sit in the driver's buffers: signed 16-bit, signed 24-bit in
// three bytes, signed 32-bit, or float with full scale 1.0; little-endian.
enum class SampleLayout { Int16, Int24, Int32, Float32 };

constexpr int32_t kRenderMaxPairs = 16;

// An end of the signal without a click, asked for by the user-interface
// thread while the driver runs: from the next switch on, the selected pair's
// samples fall linearly to zero over rampFrames frames (sample k of the ramp
// times (rampFrames - 1 - k) / rampFrames, toward zero), then stay silent.
// Nothing changes while rampFrames is 0.
struct RenderFade {
    std::atomic<uint32_t> rampFrames{0}; // set once per setup, published with release
    std::atomic<uint32_t> framesDone{0}; // written by the render path only
};

struct RenderView {
    SineGenerator* sine = nullptr;
    PinkNoiseGenerator* pink = nullptr;
    WhiteNoiseGenerator* white = nullptr;
    uint32_t frames = 0;    // samples in one half-buffer
    uint32_t halfBytes = 0; // bytes in one half-buffer
    int32_t pairs = 0;
    // [pair][channel of the pair][half]
    void* outputs[kRenderMaxPairs][2][2] = {};
    const bool* pairUsable = nullptr;                   // [pairs]
    const std::atomic<bool>* pairSelected = nullptr;    // [pairs]; changes while the driver runs
    const std::atomic<int32_t>* selectedPair = nullptr; // changes while the driver runs
    int32_t* int24ScratchA = nullptr;                   // [frames], 24-bit layout only
    int32_t* int24ScratchB = nullptr;
    RenderFade* fade = nullptr;
    CaptureTap* capture = nullptr; // null: no input is read
};
