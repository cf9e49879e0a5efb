// The driver's JACK input ports, in_1 ... in_N, one per input channel, and
// which input halves of the host's buffers they fill. Registered with the
// client and freed with it; the process thread copies each port's samples
// into its channel's half before the host's switch.
#pragma once

#include "drivers/kit/DriverBuffers.h"
#include "drivers/kit/DriverChannels.h"

#include <cstdint>
#include <jack/jack.h>

class JackInputPorts {
public:
    // in_1 ... in_count; false, with one line on stderr, when one cannot be
    // registered (those made so far go with the client).
    bool Register(jack_client_t* client, int32_t count, const char* driverName);
    int32_t Count() const { return nPorts; }

    // Process thread: every port whose channel has a buffer into half
    // `half` of it. No allocation, no lock, no system call.
    void CopyIn(const DriverBuffers& buffers, int32_t half, jack_nframes_t frames);

    // Host thread, client active: in_1 ... from the server's physical
    // capture ports in order, as far as both go. The number connected.
    int32_t ConnectToCapture(jack_client_t* client, const char* driverName, const char* pattern);

private:
    jack_port_t* ports[DriverChannels::kMaxChannels] = {};
    int32_t nPorts = 0;
};
