// The virtual card's settings, read from the values of its own registry key
// when a card object is made. Each value has a default; one out of range
// makes the card refuse to start, naming the value and its range.
#pragma once

#include <cstdint>

// The inputs hear the outputs through a simulated path: a delay, then an
// optional gain, white noise and a hard clip, each set by a text value
// holding a decimal number ("LoopbackGainDb"="-1.5"), since a dword cannot
// be negative.
struct LoopbackSettings {
    uint32_t latency;                // "LoopbackLatency": frames; 0 (the default) is one buffer
    bool hasGain, hasNoise, hasClip; // none set: the samples come back exactly
    double gainDb;                   // "LoopbackGainDb"
    double noiseDb;                  // "LoopbackNoiseDb": dBFS RMS
    double clipDb;                   // "LoopbackClipDb": dBFS
};

struct VirtualCardSettings {
    int32_t channels;      // "Channels": outputs "Out 1" upward and as many inputs, 2 to 128
    int32_t bufferSize;    // "BufferSize": preferred frames, a power of two from 32 to 4096
    uint32_t sampleRate;   // "SampleRate": one of the card's rates
    char recordFile[4096]; // "RecordFile": the path takes are named after
    LoopbackSettings loopback;
    char refusal[128]; // why the card will not start; empty when every value was taken
};

constexpr int32_t kVirtualCardDefaultChannels = 8;
// The host plays pairs.
constexpr int32_t kVirtualCardMinChannels = 2;
constexpr int32_t kVirtualCardMinBufferSize = 32;
constexpr int32_t kVirtualCardMaxBufferSize = 4096;
constexpr int32_t kVirtualCardDefaultBufferSize = 256;
constexpr uint32_t kVirtualCardDefaultRate = 48000;
constexpr double kVirtualCardRates[] = {44100.0, 48000.0, 96000.0};
constexpr int32_t kVirtualCardRateCount =
    static_cast<int32_t>(sizeof kVirtualCardRates / sizeof kVirtualCardRates[0]);
constexpr uint32_t kVirtualCardMaxRate = 96000;
// Two seconds at the highest rate.
constexpr uint32_t kVirtualCardMaxLoopbackLatency = 2 * kVirtualCardMaxRate;

// The default record file is "<driverName>.wav"; it and a relative
// "RecordFile" are in $TONEWRIGHT_TAKES when that is set, else in the current
// folder. A "RecordFile" that names something other than a regular file (a
// device, a folder) is refused: takes are named after it, never written to it.
void ReadVirtualCardSettings(const char* driverName, VirtualCardSettings* settings);
