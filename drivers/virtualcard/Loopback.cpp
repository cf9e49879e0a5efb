#include "drivers/virtualcard/Loopback.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr uint64_t kNoiseSeed = 0x9E3779B97F4A7C15u;

double FromDecibels(double decibels)
{
    return std::pow(10.0, decibels / 20.0);
}

} // namespace

bool Loopback::Prepare(const DriverBuffers& buffers, ASIOSampleType typeIn,
                       const LoopbackSettings& settings)
{
    Release();
    type = typeIn;
    nSampleBytes = SampleBytes(type);
    nFrames = static_cast<uint32_t>(buffers.BufferSize());
    nLatency = std::max(settings.latency, nFrames);
    nSpan = buffers.InputSpan();
    int32_t lineCount = 0;
    for (int32_t channel = 0; channel < nSpan; ++channel)
        if (buffers.Half(true, channel, 0) != nullptr) ++lineCount;
    if (lineCount == 0) return true;

    const uint64_t lineBytes = static_cast<uint64_t>(nLatency) * nSampleBytes;
    pMemory = new (std::nothrow) uint8_t[lineBytes * static_cast<uint64_t>(lineCount)]();
    if (pMemory == nullptr) {
        nSpan = 0;
        return false;
    }
    uint8_t* next = pMemory;
    for (int32_t channel = 0; channel < nSpan; ++channel) {
        if (buffers.Half(true, channel, 0) == nullptr) continue;
        lines[channel] = next;
        next += lineBytes;
    }

    bAnalog = settings.hasGain || settings.hasNoise || settings.hasClip;
    dGain = settings.hasGain ? FromDecibels(settings.gainDb) : 1.0;
    dNoise = settings.hasNoise ? FromDecibels(settings.noiseDb) : 0.0;
    dClip = settings.hasClip ? FromDecibels(settings.clipDb) : 0.0;
    // Integer samples as fractions of 2^(bits-1), as sound editors read them.
    switch (type) {
    case ASIOSTInt16LSB:
        dFullScale = 32768.0;
        break;
    case ASIOSTInt24LSB:
        dFullScale = 8388608.0;
        break;
    case ASIOSTInt32LSB:
        dFullScale = 2147483648.0;
        break;
    default:
        dFullScale = 1.0;
        break;
    }
    Clear();
    return true;
}

void Loopback::Release()
{
    delete[] pMemory;
    pMemory = nullptr;
    std::memset(lines, 0, sizeof lines);
    nSpan = 0;
    nPosition = 0;
}

void Loopback::Clear()
{
    for (int32_t channel = 0; channel < nSpan; ++channel)
        if (lines[channel] != nullptr)
            std::memset(lines[channel], 0, static_cast<size_t>(nLatency) * nSampleBytes);
    nPosition = 0;
    qwRandom = kNoiseSeed;
}

// The line of latency frames is read where it is next written: what comes
// out is what went in latency frames before.
void Loopback::FillInputs(const DriverBuffers& buffers, int32_t half)
{
    if (pMemory == nullptr) return;
    const uint32_t first = std::min(nFrames, nLatency - nPosition);
    for (int32_t channel = 0; channel < nSpan; ++channel) {
        const uint8_t* line = lines[channel];
        uint8_t* input = buffers.Half(true, channel, half);
        if (line == nullptr || input == nullptr) continue;
        Pass(line + static_cast<size_t>(nPosition) * nSampleBytes, input, first);
        Pass(line, input + static_cast<size_t>(first) * nSampleBytes, nFrames - first);
    }
}

void Loopback::TakeOutputs(const DriverBuffers& buffers, int32_t half)
{
    if (pMemory == nullptr) return;
    const uint32_t first = std::min(nFrames, nLatency - nPosition);
    const size_t firstBytes = static_cast<size_t>(first) * nSampleBytes;
    const size_t restBytes = static_cast<size_t>(nFrames - first) * nSampleBytes;
    for (int32_t channel = 0; channel < nSpan; ++channel) {
        uint8_t* line = lines[channel];
        if (line == nullptr) continue;
        uint8_t* at = line + static_cast<size_t>(nPosition) * nSampleBytes;
        // An output the host has no buffer for is silent.
        const uint8_t* output = buffers.Half(false, channel, half);
        if (output == nullptr) {
            std::memset(at, 0, firstBytes);
            std::memset(line, 0, restBytes);
            continue;
        }
        std::memcpy(at, output, firstBytes);
        std::memcpy(line, output + firstBytes, restBytes);
    }
    nPosition = (nPosition + nFrames) % nLatency;
}

void Loopback::Pass(const uint8_t* from, uint8_t* to, uint32_t frames)
{
    if (!bAnalog) {
        std::memcpy(to, from, static_cast<size_t>(frames) * nSampleBytes);
        return;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        double value = Decode(from + static_cast<size_t>(i) * nSampleBytes) * dGain;
        if (dNoise > 0.0) value += NextNoise();
        if (dClip > 0.0) value = std::clamp(value, -dClip, dClip);
        Encode(value, to + static_cast<size_t>(i) * nSampleBytes);
    }
}

double Loopback::Decode(const uint8_t* sample) const
{
    switch (type) {
    case ASIOSTInt16LSB: {
        int16_t value;
        std::memcpy(&value, sample, 2);
        return value / dFullScale;
    }
    case ASIOSTInt24LSB: {
        const uint32_t bits = static_cast<uint32_t>(sample[0]) << 8 |
                              static_cast<uint32_t>(sample[1]) << 16 |
                              static_cast<uint32_t>(sample[2]) << 24;
        return static_cast<int32_t>(bits) / 256 / dFullScale;
    }
    case ASIOSTInt32LSB: {
        int32_t value;
        std::memcpy(&value, sample, 4);
        return value / dFullScale;
    }
    default: {
        float value;
        std::memcpy(&value, sample, 4);
        return value;
    }
    }
}

// Rounded to the nearest step and saturated at full scale, as a converter
// hands samples over.
void Loopback::Encode(double value, uint8_t* sample) const
{
    if (type == ASIOSTFloat32LSB) {
        const float stored = static_cast<float>(std::clamp(value, -1.0, 1.0));
        std::memcpy(sample, &stored, 4);
        return;
    }
    const double step = std::clamp(std::nearbyint(value * dFullScale), -dFullScale, dFullScale - 1);
    const int32_t integer = static_cast<int32_t>(step);
    const uint32_t bits = static_cast<uint32_t>(integer);
    for (uint32_t b = 0; b < nSampleBytes; ++b)
        sample[b] = static_cast<uint8_t>(bits >> (8 * b));
}

// White noise of exactly the set RMS: each sample is the level with a random
// sign (xorshift64*), so a measurement over any stretch finds the level.
double Loopback::NextNoise()
{
    qwRandom ^= qwRandom >> 12;
    qwRandom ^= qwRandom << 25;
    qwRandom ^= qwRandom >> 27;
    return (qwRandom * 0x2545F4914F6CDD1Du) >> 63 ? dNoise : -dNoise;
}
