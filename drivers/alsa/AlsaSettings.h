// An ALSA driver entry's settings: the values of its own key under
// HKEY_LOCAL_MACHINE\SOFTWARE\ASIO, read once when the driver is created.
// A value that makes no sense makes the driver refuse to start, naming it.
#pragma once

#include <cstdint>

struct AlsaSampleFormat;

struct AlsaSettings {
    char device[256];                     // "Device": the ALSA PCM name
    char captureDevice[256];              // "CaptureDevice": the inputs' PCM; default Device
    bool captureNamed;                    // "CaptureDevice" was given
    const AlsaSampleFormat* sampleFormat; // "SampleType"; null: the device's native one
    int32_t channels;                     // "Channels": outputs wanted
    int32_t bufferSize;                   // "BufferSize": the period asked of the device
    bool systemClock;                     // "Clock"="system": paced by the monotonic clock
    char refusal[128];                    // the value refused; empty when all were taken
};

constexpr const char* kAlsaDefaultDevice = "default";
constexpr int32_t kAlsaDefaultChannels = 2;
// The host plays pairs.
constexpr int32_t kAlsaMinChannels = 2;
constexpr int32_t kAlsaDefaultBufferSize = 256;
constexpr int32_t kAlsaMinBufferSize = 16;
constexpr int32_t kAlsaMaxBufferSize = 8192;

void ReadAlsaSettings(const char* driverName, AlsaSettings* settings);
