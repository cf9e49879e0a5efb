// The one thing remembered between runs: the index of the driver to open,
// as a single character ("0" + index) in "ASIOConfig.txt" in the working
// directory. User-interface thread only; no toolkit.
#pragma once

#include <cstdint>

// The configured driver index, or 0 when the file is missing or its index
// unusable. Sets nRequestedDrvNum to what the file held.
int32_t ReadConfigDriverNum();

// Stores the index unless it is the one last read or written.
void WriteConfigDriverNum(int32_t index);
