// The virtual card's inputs: input c hears output c a fixed number of frames
// later, either exactly or through a simulated analog path (gain, white
// noise, a hard clip, and back into the card's format with rounding and
// saturation). Prepared on the host's thread when the buffers are made; the
// pacing thread fills the inputs before each switch and takes the outputs
// after it, with no allocation, no lock, no log line and no system call.
#pragma once

#include "drivers/kit/DriverBuffers.h"
#include "drivers/virtualcard/VirtualCardSettings.h"

#include <cstdint>

class Loopback {
public:
    Loopback() = default;
    ~Loopback() { Release(); }
    Loopback(const Loopback&) = delete;
    Loopback& operator=(const Loopback&) = delete;

    // After createBuffers: a delay line for every input that has a buffer.
    // The latency is at least one buffer, since what the host renders in a
    // switch can be heard no earlier than the next one. False when the
    // memory cannot be had.
    bool Prepare(const DriverBuffers& buffers, ASIOSampleType type,
                 const LoopbackSettings& settings);
    void Release();
    // Transport stopped: the lines hold silence, so each start begins quiet.
    void Clear();
    // Frames between an output sample and its return at the input.
    uint32_t Latency() const { return nLatency; }

    // Pacing thread: the inputs' half `half` before the switch that hands
    // it over, and the outputs' half `half` after the switch that filled it.
    void FillInputs(const DriverBuffers& buffers, int32_t half);
    void TakeOutputs(const DriverBuffers& buffers, int32_t half);

private:
    void Pass(const uint8_t* from, uint8_t* to, uint32_t frames);
    double Decode(const uint8_t* sample) const;
    void Encode(double value, uint8_t* sample) const;
    double NextNoise();

    uint8_t* pMemory = nullptr;
    uint8_t* lines[DriverChannels::kMaxChannels] = {};
    int32_t nSpan = 0;
    ASIOSampleType type = ASIOSTInt16LSB;
    uint32_t nSampleBytes = 0;
    uint32_t nFrames = 0;
    uint32_t nLatency = 0;
    uint32_t nPosition = 0; // where the next half is read and then written, in frames

    bool bAnalog = false;
    double dGain = 1.0;
    double dNoise = 0.0;
    double dClip = 0.0; // 0: no clip below the format's own full scale
    double dFullScale = 1.0;
    uint64_t qwRandom = 0;
};
