#include "host/HostStartup.h"

#include "host/AsioDriverList.h"
#include "host/ConfigFile.h"
#include "host/HostState.h"
#include "log/DebugLog.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// The command line as the kernel keeps it (arguments separated by NULs),
// joined by single spaces; empty when /proc cannot be read.
std::string ProcessCommandLine()
{
    std::string text;
    std::FILE* file = std::fopen("/proc/self/cmdline", "rb");
    if (file == nullptr) return text;
    char chunk[512];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    std::fclose(file);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

// Opens driver index into ptrASIO; an index beyond the listed drivers is a
// failed open, so drivers past the limit are never touched.
bool OpenDriver(int32_t index)
{
    ptrASIO = nullptr;
    if (index < 0 || index >= lnumDevs) return false;
    IASIO* driver = nullptr;
    if (pAsioDriverList->asioOpenDriver(index, &driver) == 0 && driver != nullptr) {
        ptrASIO = driver;
        return true;
    }
    return false;
}

// The driver list's reason, after the host's own line about the failure.
void LogWhyNotOpened(int32_t index)
{
    if (index >= 0 && index < lnumDevs) pAsioDriverList->asioLogDriverFailure(index);
}

void MarkFailed(int32_t index)
{
    if (index >= 0 && index < kMaxDrivers) bDriverFailed[index] = true;
}

} // namespace

bool ASIOHostInit(HWND driverCombo, int32_t requestedDriver, const HostInitOptions& options)
{
    DbgLog("Tonewright version 2.31");
    DbgLog(ProcessCommandLine().c_str());
    DbgLog("");

    pAsioDriverList = new (std::nothrow) AsioDriverList();
    if (pAsioDriverList == nullptr) {
        DbgLog("Failed to create AsioDriverList!");
        return false;
    }

    lnumDevs = pAsioDriverList->asioDriverCount();
    if (lnumDevs == 0) DbgLog("Couldn't find any ASIO drivers!");
    if (lnumDevs >= kMaxDrivers) {
        DbgLogInt("Num devices exceeds limit", lnumDevs);
        lnumDevs = kMaxDrivers;
    }
    DbgLogInt("Total num devices found", lnumDevs);

    nRequestedDrvNum = -1;
    for (bool& failed : bDriverFailed)
        failed = false;
    ptrASIO = nullptr;
    pASIOBuffers = nullptr;

    nCurrentDrvNum = requestedDriver >= 0 ? requestedDriver : ReadConfigDriverNum();
    if (OpenDriver(nCurrentDrvNum)) {
        DbgLog("asioOpenDriver success!");
        FillDriverCombo(driverCombo, nCurrentDrvNum);
        if (options.bStoreChoice) WriteConfigDriverNum(nCurrentDrvNum);
        return true;
    }

    DbgLogInt("asioOpenDriver failed for device", nCurrentDrvNum);
    LogWhyNotOpened(nCurrentDrvNum);
    if (lnumDevs < 2) return false;
    MarkFailed(nCurrentDrvNum);
    if (!options.bFallBack) return false;
    for (int32_t index = 0; index < lnumDevs; ++index) {
        if (bDriverFailed[index]) continue;
        nCurrentDrvNum = index;
        if (OpenDriver(index)) {
            FillDriverCombo(driverCombo, nCurrentDrvNum);
            if (options.bStoreChoice) WriteConfigDriverNum(nCurrentDrvNum);
            return true;
        }
        LogWhyNotOpened(index);
        MarkFailed(index);
    }
    return false;
}

void FillDriverCombo(HWND driverCombo, int32_t selected)
{
    for (int32_t index = 0; index < lnumDevs; ++index) {
        char name[128] = {};
        pAsioDriverList->asioDriverName(index, name, 127);
        // Room for the name (at most 126 characters) with both marks.
        char entry[sizeof name + 8];
        if (bDriverFailed[index])
            std::snprintf(entry, sizeof entry, "*%s N/A", name);
        else
            std::snprintf(entry, sizeof entry, "%s", name);
        ComboAddString(driverCombo, entry);
    }
    ComboSetCurSel(driverCombo, selected);
}
