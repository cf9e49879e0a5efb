// What the driver query writes to the debug log about a sample type. The
// query itself is the AsioBuffers constructor (host/HostState.h).
#pragma once

#include "host/AsioInterface.h"

// "ASIO sample type: <name>" as one line; "Unknown format" for a type
// without a name.
void LogSampleType(ASIOSampleType type);

// "ASIOSTInt16LSB" and the like; null for a type without a name.
const char* SampleTypeName(ASIOSampleType type);
