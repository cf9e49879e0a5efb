#include "drivers/jack/JackSettings.h"

#include "drivers/kit/DriverChannels.h"
#include "drivers/kit/DriverSettings.h"

#include <cstdio>

void ReadJackSettings(const char* driverName, JackSettings* settings)
{
    const uint32_t channels = ReadDriverDword(driverName, "Channels", kJackDefaultChannels);
    settings->channels = kJackDefaultChannels;
    if (channels >= 1 && channels <= static_cast<uint32_t>(DriverChannels::kMaxChannels))
        settings->channels = static_cast<int32_t>(channels);
    else
        std::fprintf(stderr, "%s: Channels %u is out of range (1 to %d); using %d\n", driverName,
                     channels, DriverChannels::kMaxChannels, kJackDefaultChannels);

    const uint32_t inputs = ReadDriverDword(driverName, "Inputs", kJackDefaultInputs);
    settings->inputs = kJackDefaultInputs;
    if (inputs <= static_cast<uint32_t>(DriverChannels::kMaxChannels))
        settings->inputs = static_cast<int32_t>(inputs);
    else
        std::fprintf(stderr, "%s: Inputs %u is out of range (0 to %d); using %d\n", driverName,
                     inputs, DriverChannels::kMaxChannels, kJackDefaultInputs);

    const uint32_t autoConnect = ReadDriverDword(driverName, "AutoConnect", 1);
    settings->autoConnect = true;
    if (autoConnect == 0)
        settings->autoConnect = false;
    else if (autoConnect != 1)
        std::fprintf(stderr, "%s: AutoConnect %u is neither 0 nor 1; using 1\n", driverName,
                     autoConnect);

    ReadDriverString(driverName, "CapturePorts", settings->capturePorts,
                     sizeof settings->capturePorts);
}
