// The JACK driver's settings: the values of its own key under
// HKEY_LOCAL_MACHINE\SOFTWARE\ASIO, read once when the driver is created.
// A value that makes no sense makes the driver refuse to start, naming it.
#pragma once

#include <cstdint>

struct JackSettings {
    int32_t channels;  // "Channels": output ports out_1 ... out_N
    int32_t inputs;    // "Inputs": input ports in_1 ... in_N, 0 for none
    bool autoConnect;  // "AutoConnect": start connects them to the physical ports
    // "CapturePorts": a regular expression naming the ports the inputs are
    // connected to in their order, in place of the physical capture ports
    // ("^tonewright:out_" loops the driver's own outputs back); "" for those.
    char capturePorts[256];
    char refusal[128]; // the value refused; empty when all were taken
};

constexpr int32_t kJackDefaultChannels = 2;
// The host plays pairs.
constexpr int32_t kJackMinChannels = 2;
constexpr int32_t kJackDefaultInputs = 2;

void ReadJackSettings(const char* driverName, JackSettings* settings);
