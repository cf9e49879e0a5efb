#include "drivers/jack/JackOutputPorts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The physical playback ports in the server's order; free with jack_free.
const char** PhysicalPlaybackPorts(jack_client_t* client)
{
    return jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                          JackPortIsPhysical | JackPortIsInput);
}

} // namespace

bool JackOutputPorts::Register(jack_client_t* client, int32_t count, const char* driverName)
{
    nPorts = 0;
    for (int32_t i = 0; i < count && i < DriverChannels::kMaxChannels; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "out_%d", static_cast<int>(i + 1));
        ports[i] = jack_port_register(client, name, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (ports[i] == nullptr) {
            std::fprintf(stderr, "%s: the JACK port %s cannot be registered\n", driverName, name);
            return false;
        }
        nPorts = i + 1;
    }
    return true;
}

void JackOutputPorts::Attach(const DriverBuffers& buffers)
{
    Detach();
    for (int32_t r = 0; r < buffers.Count(); ++r) {
        const ASIOBufferInfo& record = buffers.Record(r);
        if (record.isInput != ASIOFalse || record.channelNum < 0 || record.channelNum >= nPorts)
            continue;
        halves[record.channelNum][0] = static_cast<const float*>(record.buffers[0]);
        halves[record.channelNum][1] = static_cast<const float*>(record.buffers[1]);
    }
}

void JackOutputPorts::Detach()
{
    std::memset(halves, 0, sizeof halves);
}

void JackOutputPorts::CopyHalf(int32_t half, jack_nframes_t frames)
{
    for (int32_t i = 0; i < nPorts; ++i) {
        auto* out = static_cast<float*>(jack_port_get_buffer(ports[i], frames));
        if (out == nullptr) continue;
        const float* in = halves[i][half];
        if (in != nullptr)
            std::memcpy(out, in, frames * sizeof(float));
        else
            std::memset(out, 0, frames * sizeof(float));
    }
}

void JackOutputPorts::Silence(jack_nframes_t frames)
{
    for (int32_t i = 0; i < nPorts; ++i) {
        auto* out = static_cast<float*>(jack_port_get_buffer(ports[i], frames));
        if (out != nullptr) std::memset(out, 0, frames * sizeof(float));
    }
}

int32_t JackOutputPorts::ConnectToPlayback(jack_client_t* client, const char* driverName)
{
    const char** playback = PhysicalPlaybackPorts(client);
    if (playback == nullptr) {
        std::fprintf(stderr, "%s: the JACK server has no physical playback ports\n", driverName);
        return 0;
    }
    int32_t connected = 0;
    for (int32_t i = 0; i < nPorts && playback[i] != nullptr; ++i) {
        const int result = jack_connect(client, jack_port_name(ports[i]), playback[i]);
        if (result == 0 || result == EEXIST)
            ++connected;
        else
            std::fprintf(stderr, "%s: %s cannot be connected to %s\n", driverName,
                         jack_port_name(ports[i]), playback[i]);
    }
    jack_free(playback);
    return connected;
}

jack_nframes_t JackOutputPorts::PlaybackLatency(jack_client_t* client, bool orPhysical) const
{
    jack_nframes_t latency = 0;
    for (int32_t i = 0; i < nPorts; ++i) {
        jack_latency_range_t range = {0, 0};
        jack_port_get_latency_range(ports[i], JackPlaybackLatency, &range);
        if (range.max > latency) latency = range.max;
    }
    if (latency != 0 || !orPhysical) return latency;
    const char** playback = PhysicalPlaybackPorts(client);
    if (playback == nullptr) return 0;
    for (int32_t i = 0; i < nPorts && playback[i] != nullptr; ++i) {
        jack_port_t* port = jack_port_by_name(client, playback[i]);
        if (port == nullptr) continue;
        jack_latency_range_t range = {0, 0};
        jack_port_get_latency_range(port, JackPlaybackLatency, &range);
        if (range.max > latency) latency = range.max;
    }
    jack_free(playback);
    return latency;
}
