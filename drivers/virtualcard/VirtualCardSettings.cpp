#include "drivers/virtualcard/VirtualCardSettings.h"

#include "drivers/kit/DriverChannels.h"
#include "drivers/kit/DriverSettings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

bool IsPowerOfTwo(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

bool IsCardRate(uint32_t rate)
{
    for (double known : kVirtualCardRates)
        if (static_cast<double>(rate) == known) return true;
    return false;
}

// A decimal number of dB from a text value; false when the value is absent
// or refused as no number.
bool ReadDecibels(DriverKeyReader& key, const char* valueName, double* value)
{
    char text[64];
    if (!key.String(valueName, text, sizeof text)) return false;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(parsed)) {
        key.RefuseText(valueName, text, "is no number of dB");
        return false;
    }
    *value = parsed;
    return true;
}

void ReadLoopbackSettings(DriverKeyReader& key, LoopbackSettings* loopback)
{
    loopback->latency = key.Dword("LoopbackLatency", 0, 0, kVirtualCardMaxLoopbackLatency);
    loopback->hasGain = ReadDecibels(key, "LoopbackGainDb", &loopback->gainDb);
    loopback->hasNoise = ReadDecibels(key, "LoopbackNoiseDb", &loopback->noiseDb);
    loopback->hasClip = ReadDecibels(key, "LoopbackClipDb", &loopback->clipDb);
}

void ReadRecordFile(DriverKeyReader& key, const char* driverName, VirtualCardSettings* settings)
{
    char* file = settings->recordFile;
    const size_t size = sizeof settings->recordFile;
    if (!key.String("RecordFile", file, size)) {
        std::snprintf(file, size, "%s.wav", driverName);
    } else if (file[0] == '\0') {
        key.RefuseText("RecordFile", file, "is empty");
        return;
    }
    // The folder the user named for takes holds every relative name.
    const char* takes = std::getenv("TONEWRIGHT_TAKES");
    if (takes != nullptr && takes[0] != '\0' && file[0] != '/') {
        char joined[sizeof settings->recordFile];
        const int length = std::snprintf(joined, sizeof joined, "%s/%s", takes, file);
        if (length < 0 || static_cast<size_t>(length) >= sizeof joined) {
            key.RefuseText("RecordFile", file, "with the takes folder is too long a path");
            return;
        }
        std::memcpy(file, joined, static_cast<size_t>(length) + 1);
    }
    struct stat named {};
    if (stat(file, &named) == 0 && !S_ISREG(named.st_mode))
        key.RefuseText("RecordFile", file, "is not a regular file");
}

} // namespace

void ReadVirtualCardSettings(const char* driverName, VirtualCardSettings* settings)
{
    DriverKeyReader key(driverName);
    ReadLoopbackSettings(key, &settings->loopback);
    settings->channels =
        static_cast<int32_t>(key.Dword("Channels", kVirtualCardDefaultChannels,
                                       kVirtualCardMinChannels, DriverChannels::kMaxChannels));

    // The granularity of -1 promises powers of two.
    const uint32_t bufferSize =
        key.Dword("BufferSize", kVirtualCardDefaultBufferSize, 0, UINT32_MAX);
    settings->bufferSize = kVirtualCardDefaultBufferSize;
    if (bufferSize >= kVirtualCardMinBufferSize && bufferSize <= kVirtualCardMaxBufferSize &&
        IsPowerOfTwo(bufferSize))
        settings->bufferSize = static_cast<int32_t>(bufferSize);
    else
        key.RefuseNumber("BufferSize", bufferSize, "a power of two from 32 to 4096");

    const uint32_t rate = key.Dword("SampleRate", kVirtualCardDefaultRate, 0, UINT32_MAX);
    settings->sampleRate = kVirtualCardDefaultRate;
    if (IsCardRate(rate))
        settings->sampleRate = rate;
    else
        key.RefuseNumber("SampleRate", rate, "44100, 48000 or 96000");

    ReadRecordFile(key, driverName, settings);
    std::snprintf(settings->refusal, sizeof settings->refusal, "%s", key.Refusal());
}
