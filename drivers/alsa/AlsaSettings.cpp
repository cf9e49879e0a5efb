#include "drivers/alsa/AlsaSettings.h"

#include "drivers/alsa/AlsaSampleFormat.h"
#include "drivers/kit/DriverChannels.h"
#include "drivers/kit/DriverSettings.h"

#include <cstdio>
#include <strings.h>

void ReadAlsaSettings(const char* driverName, AlsaSettings* settings)
{
    if (!ReadDriverString(driverName, "Device", settings->device, sizeof settings->device) ||
        settings->device[0] == '\0')
        std::snprintf(settings->device, sizeof settings->device, "%s", kAlsaDefaultDevice);
    settings->captureNamed = ReadDriverString(driverName, "CaptureDevice", settings->captureDevice,
                                              sizeof settings->captureDevice) &&
                             settings->captureDevice[0] != '\0';
    if (!settings->captureNamed)
        std::snprintf(settings->captureDevice, sizeof settings->captureDevice, "%s",
                      settings->device);

    settings->sampleFormat = nullptr;
    char text[32];
    if (ReadDriverString(driverName, "SampleType", text, sizeof text)) {
        settings->sampleFormat = FindAlsaSampleFormat(text);
        if (settings->sampleFormat == nullptr)
            std::fprintf(stderr,
                         "%s: SampleType \"%s\" is none of Int16LSB, Int24LSB, Int32LSB, "
                         "Float32LSB; using the device's own\n",
                         driverName, text);
    }

    const uint32_t channels = ReadDriverDword(driverName, "Channels", kAlsaDefaultChannels);
    settings->channels = kAlsaDefaultChannels;
    if (channels >= 1 && channels <= static_cast<uint32_t>(DriverChannels::kMaxChannels))
        settings->channels = static_cast<int32_t>(channels);
    else
        std::fprintf(stderr, "%s: Channels %u is out of range (1 to %d); using %d\n", driverName,
                     channels, DriverChannels::kMaxChannels, kAlsaDefaultChannels);

    const uint32_t bufferSize = ReadDriverDword(driverName, "BufferSize", kAlsaDefaultBufferSize);
    settings->bufferSize = kAlsaDefaultBufferSize;
    if (bufferSize >= static_cast<uint32_t>(kAlsaMinBufferSize) &&
        bufferSize <= static_cast<uint32_t>(kAlsaMaxBufferSize))
        settings->bufferSize = static_cast<int32_t>(bufferSize);
    else
        std::fprintf(stderr, "%s: BufferSize %u is out of range (%d to %d); using %d\n", driverName,
                     bufferSize, kAlsaMinBufferSize, kAlsaMaxBufferSize, kAlsaDefaultBufferSize);

    settings->systemClock = false;
    if (ReadDriverString(driverName, "Clock", text, sizeof text)) {
        if (strcasecmp(text, "system") == 0)
            settings->systemClock = true;
        else if (strcasecmp(text, "device") != 0)
            std::fprintf(stderr,
                         "%s: Clock \"%s\" is neither \"system\" nor \"device\"; the "
                         "device paces the writer\n",
                         driverName, text);
    }
}
