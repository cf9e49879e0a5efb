#include "drivers/virtualcard/VirtualCardSettings.h"

#include "drivers/kit/DriverChannels.h"
#include "drivers/kit/DriverSettings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void ReportOutOfRange(const char* driverName, const char* valueName, uint32_t value,
                      const char* range, uint32_t fallback)
{
    std::fprintf(stderr, "%s: %s %u is out of range (%s); using %u\n", driverName, valueName, value,
                 range, fallback);
}

// A decimal number of dB from a text value; false when the value is absent
// or said on stderr to be no number.
bool ReadDecibels(const char* driverName, const char* valueName, double* value)
{
    char text[64];
    if (!ReadDriverString(driverName, valueName, text, sizeof text)) return false;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(parsed)) {
        std::fprintf(stderr, "%s: %s \"%s\" is no number of dB; ignored\n", driverName, valueName,
                     text);
        return false;
    }
    *value = parsed;
    return true;
}

void ReadLoopbackSettings(const char* driverName, LoopbackSettings* loopback)
{
    loopback->latency = ReadDriverDword(driverName, "LoopbackLatency", 0);
    if (loopback->latency > kVirtualCardMaxLoopbackLatency) {
        ReportOutOfRange(driverName, "LoopbackLatency", loopback->latency, "0 to 192000", 0);
        loopback->latency = 0;
    }
    loopback->hasGain = ReadDecibels(driverName, "LoopbackGainDb", &loopback->gainDb);
    loopback->hasNoise = ReadDecibels(driverName, "LoopbackNoiseDb", &loopback->noiseDb);
    loopback->hasClip = ReadDecibels(driverName, "LoopbackClipDb", &loopback->clipDb);
}

} // namespace

void ReadVirtualCardSettings(const char* driverName, VirtualCardSettings* settings)
{
    ReadLoopbackSettings(driverName, &settings->loopback);
    const uint32_t channels = ReadDriverDword(driverName, "Channels", kVirtualCardDefaultChannels);
    settings->channels = kVirtualCardDefaultChannels;
    if (channels >= 1 && channels <= static_cast<uint32_t>(DriverChannels::kMaxChannels))
        settings->channels = static_cast<int32_t>(channels);
    else
        ReportOutOfRange(driverName, "Channels", channels, "1 to 128", kVirtualCardDefaultChannels);

    // The granularity of -1 promises powers of two.
    const uint32_t bufferSize =
        ReadDriverDword(driverName, "BufferSize", kVirtualCardDefaultBufferSize);
    settings->bufferSize = kVirtualCardDefaultBufferSize;
    if (bufferSize >= kVirtualCardMinBufferSize && bufferSize <= kVirtualCardMaxBufferSize &&
        IsPowerOfTwo(bufferSize))
        settings->bufferSize = static_cast<int32_t>(bufferSize);
    else
        ReportOutOfRange(driverName, "BufferSize", bufferSize, "a power of two from 32 to 4096",
                         kVirtualCardDefaultBufferSize);

    const uint32_t rate = ReadDriverDword(driverName, "SampleRate", kVirtualCardDefaultRate);
    settings->sampleRate = kVirtualCardDefaultRate;
    if (IsCardRate(rate))
        settings->sampleRate = rate;
    else
        ReportOutOfRange(driverName, "SampleRate", rate, "44100, 48000 or 96000",
                         kVirtualCardDefaultRate);

    const bool found = ReadDriverString(driverName, "RecordFile", settings->recordFile,
                                        sizeof settings->recordFile);
    if (!found || settings->recordFile[0] == '\0') {
        if (found)
            std::fprintf(stderr, "%s: RecordFile is empty; using \"%s.wav\"\n", driverName,
                         driverName);
        std::snprintf(settings->recordFile, sizeof settings->recordFile, "%s.wav", driverName);
    }
    // The folder the user named for takes holds every relative name.
    const char* takes = std::getenv("TONEWRIGHT_TAKES");
    if (takes == nullptr || takes[0] == '\0' || settings->recordFile[0] == '/') return;
    char joined[sizeof settings->recordFile];
    const int length = std::snprintf(joined, sizeof joined, "%s/%s", takes, settings->recordFile);
    if (length > 0 && static_cast<size_t>(length) < sizeof joined)
        std::memcpy(settings->recordFile, joined, static_cast<size_t>(length) + 1);
    else
        std::fprintf(stderr, "%s: TONEWRIGHT_TAKES is too long; takes go to %s\n", driverName,
                     settings->recordFile);
}
