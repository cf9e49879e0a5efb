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

// An index ("2") or the start of a name ("Virtual Card 16", case ignored; a
// whole name wins over longer names it begins). Must run before the debug
// log opens: the list's own log lines belong to the host's start-up.
DriverChoice ResolveDriverChoice(const std::string& text);
