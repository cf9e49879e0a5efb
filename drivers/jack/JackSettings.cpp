#include "drivers/jack/JackSettings.h"

#include "drivers/kit/DriverChannels.h"
#include "drivers/kit/DriverSettings.h"

#include <cstdio>

void ReadJackSettings(const char* driverName, JackSettings* settings)
{
    DriverKeyReader key(driverName);
    settings->channels = static_cast<int32_t>(key.Dword(
        "Channels", kJackDefaultChannels, kJackMinChannels, DriverChannels::kMaxChannels));
    settings->inputs = static_cast<int32_t>(
        key.Dword("Inputs", kJackDefaultInputs, 0, DriverChannels::kMaxChannels));
    settings->autoConnect = key.Dword("AutoConnect", 1, 0, 1) != 0;
    key.String("CapturePorts", settings->capturePorts, sizeof settings->capturePorts);
    std::snprintf(settings->refusal, sizeof settings->refusal, "%s", key.Refusal());
}
