#include "drivers/kit/DriverSettings.h"

#include "platform/Registry.h"

#include <cstdio>

namespace {

// ASIO's key plus a name the registration never makes longer than a subkey.
constexpr int kMaxKeyPath = 256;

HKEY OpenDriverKey(const char* driverName)
{
    if (driverName == nullptr || driverName[0] == '\0') return nullptr;
    char path[kMaxKeyPath];
    int length = std::snprintf(path, sizeof path, "SOFTWARE\\ASIO\\%s", driverName);
    if (length < 0 || length >= kMaxKeyPath) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

} // namespace

uint32_t ReadDriverDword(const char* driverName, const char* valueName, uint32_t fallback)
{
    HKEY key = OpenDriverKey(driverName);
    if (key == nullptr) return fallback;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG status =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return fallback;
    return value;
}

bool ReadDriverString(const char* driverName, const char* valueName, char* text, uint32_t size)
{
    if (text == nullptr || size == 0) return false;
    text[0] = '\0';
    HKEY key = OpenDriverKey(driverName);
    if (key == nullptr) return false;
    DWORD type = REG_NONE;
    DWORD dataSize = size;
    LONG status =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &dataSize);
    RegCloseKey(key);
    // Windows leaves the buffer's contents undefined on ERROR_MORE_DATA.
    if (status != ERROR_SUCCESS || type != REG_SZ || dataSize == 0 || dataSize > size) {
        text[0] = '\0';
        return false;
    }
    text[dataSize - 1] = '\0';
    return true;
}
