// The driver's JACK output ports, out_1 ... out_N, one per output channel,
// and which half-buffers of the host feed them. Registered with the client
// and freed with it; the host's thread attaches the buffers while the client
// is inactive, and the process thread only reads what was attached.
#pragma once

#include "drivers/kit/DriverBuffers.h"
#include "drivers/kit/DriverChannels.h"

#include <cstdint>
#include <jack/jack.h>

class JackOutputPorts {
public:
    // out_1 ... out_count; false, with one line on stderr, when one cannot be
    // registered (those made so far go with the client).
    bool Register(jack_client_t* client, int32_t count, const char* driverName);
    int32_t Count() const { return nPorts; }
    jack_port_t* Port(int32_t channel) const { return ports[channel]; }

    // Host thread, client inactive: each buffer record feeds the port of its
    // channel; a port without a record plays silence.
    void Attach(const DriverBuffers& buffers);
    void Detach();

    // Process thread: half of every attached record into its port, silence
    // into the others. No allocation, no lock, no system call.
    void CopyHalf(int32_t half, jack_nframes_t frames);
    void Silence(jack_nframes_t frames);

    // Host thread, client active: out_1 ... to the server's physical playback
    // ports in order, as far as both go. The number of ports connected.
    int32_t ConnectToPlayback(jack_client_t* client, const char* driverName);

    // The largest playback latency of the ports in frames, from their
    // connections; while they have none and orPhysical is set, that of the
    // physical playback ports start would connect them to.
    jack_nframes_t PlaybackLatency(jack_client_t* client, bool orPhysical) const;

private:
    jack_port_t* ports[DriverChannels::kMaxChannels] = {};
    const float* halves[DriverChannels::kMaxChannels][2] = {};
    int32_t nPorts = 0;
};
