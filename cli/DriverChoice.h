// --driver resolved to a driver index before start-up, so that the host opens
// that driver instead of the configured one. Reads the same registry as the
// host, through a driver list of its own that opens nothing.
#pragma once

#include <cstdint>
#include <string>

struct DriverChoice {
    int32_t index;     // -1: none asked for (the configuration file decides), or failed
    int exitStatus;    // 0 when resolved
    std::string error; // for stderr when not resolved
};

// An index ("2"), the registry key name ("Virtual Card 24-bit"), the
// description, or the start of either; case is ignored, and a whole name
// wins over longer names it begins. Must run before the debug log opens: the
// list's own log lines belong to the host's start-up.
DriverChoice ResolveDriverChoice(const std::string& text);

// "no driver is registered; searched: A, B, C", for every message that says
// no driver was found.
std::string NoDriverRegistered();
