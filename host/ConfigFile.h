// The one thing remembered between runs: the index of the driver to open,
// as a single character ("0" + index) in "ASIOConfig.txt" in the working
// directory (or the folder a front end names). User-interface thread only;
// no toolkit.
#pragma once

#include <cstdint>
#include <string>

// The folder of the file from now on, created when the file is first
// written; "" is the working directory.
void SetConfigFolder(const std::string& folder);
// Where the file is read and written.
std::string ConfigFilePath();

// The configured driver index, or 0 when the file is missing or its index
// unusable. Sets nRequestedDrvNum to what the file held.
int32_t ReadConfigDriverNum();

// Stores the index unless it is the one last read or written.
void WriteConfigDriverNum(int32_t index);

// Both leave a file of that name that is no regular file (a FIFO, a device)
// alone, with one line on stderr: reading it then is as if it were missing,
// writing it as if it could not be created.
