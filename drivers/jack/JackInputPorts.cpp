#include "drivers/jack/JackInputPorts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool JackInputPorts::Register(jack_client_t* client, int32_t count, const char* driverName)
{
    nPorts = 0;
    for (int32_t i = 0; i < count && i < DriverChannels::kMaxChannels; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "in_%d", static_cast<int>(i + 1));
        ports[i] = jack_port_register(client, name, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (ports[i] == nullptr) {
            std::fprintf(stderr, "%s: the JACK port %s cannot be registered\n", driverName, name);
            return false;
        }
        nPorts = i + 1;
    }
    return true;
}

void JackInputPorts::CopyIn(const DriverBuffers& buffers, int32_t half, jack_nframes_t frames)
{
    for (int32_t i = 0; i < nPorts && i < buffers.InputSpan(); ++i) {
        uint8_t* target = buffers.Half(true, i, half);
        if (target == nullptr) continue;
        const auto* in = static_cast<const float*>(jack_port_get_buffer(ports[i], frames));
        if (in != nullptr)
            std::memcpy(target, in, frames * sizeof(float));
        else
            std::memset(target, 0, frames * sizeof(float));
    }
}

int32_t JackInputPorts::ConnectToCapture(jack_client_t* client, const char* driverName,
                                         const char* pattern)
{
    if (nPorts == 0) return 0;
    const bool physical = pattern[0] == '\0';
    const char** capture =
        jack_get_ports(client, physical ? nullptr : pattern, JACK_DEFAULT_AUDIO_TYPE,
                       physical ? JackPortIsPhysical | JackPortIsOutput : JackPortIsOutput);
    if (capture == nullptr) {
        if (physical)
            std::fprintf(stderr, "%s: the JACK server has no physical capture ports\n", driverName);
        else
            std::fprintf(stderr, "%s: no JACK output port matches CapturePorts \"%.80s\"\n",
                         driverName, pattern);
        return 0;
    }
    int32_t connected = 0;
    for (int32_t i = 0; i < nPorts && capture[i] != nullptr; ++i) {
        const int result = jack_connect(client, capture[i], jack_port_name(ports[i]));
        if (result == 0 || result == EEXIST)
            ++connected;
        else
            std::fprintf(stderr, "%s: %s cannot be connected to %s\n", driverName, capture[i],
                         jack_port_name(ports[i]));
    }
    jack_free(capture);
    return connected;
}
