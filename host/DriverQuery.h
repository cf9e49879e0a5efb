// What the driver query writes to the debug log about a sample type. The
// query itself is the AsioBuffers constructor (host/HostState.h).
#pragma once

#include "host/AsioInterface.h"

#include <cstddef>

// "ASIO sample type: <name>" as one line; "Unknown format" for a type
// without a name.
void LogSampleType(ASIOSampleType type);

// "ASIOSTInt16LSB" and the like; null for a type without a name.
const char* SampleTypeName(ASIOSampleType type);

// A channel pair's label in an output or input list: "Out 1" with "Out 2"
// reads "Out 1 / 2"; other names read "<first> / <second>".
void PairLabel(char* label, size_t size, const char* first, const char* second);
