// A driver's own settings: values under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO\<name>,
// the key its registration made, where a later `.reg` file may add values.
// Each call opens and closes the key, so a registry reload in between is safe.
#pragma once

#include <cstdint>

// The DWORD value, or fallback when the key or value is missing or is not
// a DWORD.
uint32_t ReadDriverDword(const char* driverName, const char* valueName, uint32_t fallback);

// The string value into text (size bytes, terminator included). False, with
// text empty, when the key or value is missing, is not a string or does not
// fit.
bool ReadDriverString(const char* driverName, const char* valueName, char* text, uint32_t size);
