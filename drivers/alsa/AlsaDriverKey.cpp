#include "drivers/alsa/AlsaDriverKey.h"

#include "platform/Registry.h"

#include <cstdio>

namespace {

constexpr DWORD kSubkeyNameRoom = 128;

bool CarriesClsid(HKEY asioKey, const char* subkeyName, REFCLSID clsid)
{
    HKEY entry = nullptr;
    if (RegOpenKeyExA(asioKey, subkeyName, 0, KEY_READ, &entry) != ERROR_SUCCESS) return false;
    char text[64] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof text;
    const LONG status =
        RegQueryValueExA(entry, "CLSID", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(entry);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    text[sizeof text - 1] = '\0';
    CLSID registered = {};
    return CLSIDFromString(text, &registered) == S_OK && registered == clsid;
}

} // namespace

bool FindAlsaDriverKey(REFCLSID clsid, char* name, uint32_t size)
{
    if (name == nullptr || size == 0) return false;
    name[0] = '\0';
    HKEY asioKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO", 0, KEY_READ, &asioKey) != ERROR_SUCCESS)
        return false;
    bool found = false;
    char subkeyName[kSubkeyNameRoom];
    for (DWORD index = 0; !found; ++index) {
        const LONG status = RegEnumKeyA(asioKey, index, subkeyName, kSubkeyNameRoom);
        if (status == ERROR_MORE_DATA) continue; // a name too long for any entry of ours
        if (status != ERROR_SUCCESS) break;
        if (CarriesClsid(asioKey, subkeyName, clsid)) {
            std::snprintf(name, size, "%s", subkeyName);
            found = true;
        }
    }
    RegCloseKey(asioKey);
    return found;
}
