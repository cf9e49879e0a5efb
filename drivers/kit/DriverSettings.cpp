#include "drivers/kit/DriverSettings.h"

#include "platform/Registry.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// A quoted value in a refusal: its first characters, so that the name and the
// reason still fit the driver's error text.
constexpr int kShownCharacters = 60;

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

uint32_t DriverKeyReader::Dword(const char* valueName, uint32_t fallback, uint32_t min,
                                uint32_t max)
{
    HKEY key = OpenDriverKey(szDriverName);
    if (key == nullptr) return fallback;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
    DWORD value = 0;
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value)
        status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                  &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return fallback;
    if (type != REG_DWORD || size != sizeof value) {
        Refuse("%s is no dword", valueName);
        return fallback;
    }
    if (value < min || value > max) {
        char range[32];
        std::snprintf(range, sizeof range, "%u to %u", min, max);
        RefuseNumber(valueName, value, range);
        return fallback;
    }
    return value;
}

bool DriverKeyReader::String(const char* valueName, char* text, uint32_t size)
{
    if (text == nullptr || size == 0) return false;
    text[0] = '\0';
    HKEY key = OpenDriverKey(szDriverName);
    if (key == nullptr) return false;
    DWORD type = REG_NONE;
    DWORD dataSize = 0;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &dataSize);
    const bool fits = status == ERROR_SUCCESS && type == REG_SZ && dataSize > 0 && dataSize <= size;
    if (fits)
        status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text),
                                  &dataSize);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        text[0] = '\0';
        return false;
    }
    if (type != REG_SZ) {
        Refuse("%s is no text", valueName);
        return false;
    }
    if (!fits) {
        text[0] = '\0';
        Refuse("%s has %u characters (at most %u)", valueName, dataSize - 1, size - 1);
        return false;
    }
    text[dataSize - 1] = '\0';
    return true;
}

void DriverKeyReader::RefuseNumber(const char* valueName, uint32_t value, const char* range)
{
    Refuse("%s %u is out of range (%s)", valueName, value, range);
}

void DriverKeyReader::RefuseText(const char* valueName, const char* text, const char* why)
{
    const bool cut = std::strlen(text) > static_cast<size_t>(kShownCharacters);
    Refuse("%s \"%.*s%s\" %s", valueName, kShownCharacters, text, cut ? "..." : "", why);
}

void DriverKeyReader::Refuse(const char* format, ...)
{
    if (Refused()) return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(szRefusal, sizeof szRefusal, format, arguments);
    va_end(arguments);
}
