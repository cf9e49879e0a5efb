#include "host/ConfigFile.h"

#include "host/HostState.h"
#include "log/DebugLog.h"

#include <cstdio>

namespace {
const char kConfigName[] = "ASIOConfig.txt";
} // namespace

int32_t ReadConfigDriverNum()
{
    FILE* file = std::fopen(kConfigName, "r");
    if (file == nullptr) return 0;
    DbgLog("Found ASIO Configuration file!");
    const int character = std::fgetc(file); // EOF (-1) for an empty file
    std::fclose(file);
    const int32_t n = character - 0x30;
    nRequestedDrvNum = n;
    if (n < 0) {
        DbgLog("Error reading configuration file!");
        return 0;
    }
    DbgLogTwoInts("nRequestedDrvNum", "Num devices", n, lnumDevs);
    if (n < lnumDevs) return n;
    DbgLogInt("nRequestedDrvNum > lnumDevs!", lnumDevs);
    return 0;
}

void WriteConfigDriverNum(int32_t index)
{
    if (index == nRequestedDrvNum) return;
    // Only indexes the one-character form can hold ("0" to "?").
    if (index < 0 || index >= kMaxDrivers) return;
    nRequestedDrvNum = index;
    FILE* file = std::fopen(kConfigName, "w");
    if (file == nullptr) return;
    DbgLog("Updating ASIO Configuration file!");
    std::fputc(0x30 + index, file);
    std::fclose(file);
}
