#include "drivers/alsa/AlsaSettings.h"

#include "drivers/alsa/AlsaSampleFormat.h"
#include "drivers/kit/DriverChannels.h"
#include "drivers/kit/DriverSettings.h"

#include <cstdio>
#include <strings.h>

void ReadAlsaSettings(const char* driverName, AlsaSettings* settings)
{
    DriverKeyReader key(driverName);
    if (!key.String("Device", settings->device, sizeof settings->device) ||
        settings->device[0] == '\0')
        std::snprintf(settings->device, sizeof settings->device, "%s", kAlsaDefaultDevice);
    settings->captureNamed =
        key.String("CaptureDevice", settings->captureDevice, sizeof settings->captureDevice) &&
        settings->captureDevice[0] != '\0';
    if (!settings->captureNamed)
        std::snprintf(settings->captureDevice, sizeof settings->captureDevice, "%s",
                      settings->device);

    settings->sampleFormat = nullptr;
    char text[32];
    if (key.String("SampleType", text, sizeof text)) {
        settings->sampleFormat = FindAlsaSampleFormat(text);
        if (settings->sampleFormat == nullptr)
            key.RefuseText("SampleType", text,
                           "is none of Int16LSB, Int24LSB, Int32LSB, Float32LSB");
    }

    settings->channels = static_cast<int32_t>(key.Dword(
        "Channels", kAlsaDefaultChannels, kAlsaMinChannels, DriverChannels::kMaxChannels));
    settings->bufferSize = static_cast<int32_t>(
        key.Dword("BufferSize", kAlsaDefaultBufferSize, kAlsaMinBufferSize, kAlsaMaxBufferSize));

    settings->systemClock = false;
    if (key.String("Clock", text, sizeof text)) {
        if (strcasecmp(text, "system") == 0)
            settings->systemClock = true;
        else if (strcasecmp(text, "device") != 0)
            key.RefuseText("Clock", text, "is neither \"system\" nor \"device\"");
    }
    std::snprintf(settings->refusal, sizeof settings->refusal, "%s", key.Refusal());
}
