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

// Reads a driver's values and keeps the first reason to refuse them: a value
// that is there but is of the other type, out of its range or too long. A
// driver that was given such a value refuses to start with that reason
// rather than play on something the user did not ask for; a missing value
// is its default.
class DriverKeyReader {
public:
    explicit DriverKeyReader(const char* driverName) : szDriverName(driverName) {}

    // The DWORD within min to max; fallback when missing or refused.
    uint32_t Dword(const char* valueName, uint32_t fallback, uint32_t min, uint32_t max);
    // The string into text (size bytes, terminator included); false, with
    // text empty, when missing or refused.
    bool String(const char* valueName, char* text, uint32_t size);

    // For a driver's own checks: "<valueName> <value> is out of range (<range>)".
    void RefuseNumber(const char* valueName, uint32_t value, const char* range);
    // "<valueName> "<text>" <why>", a long text cut.
    void RefuseText(const char* valueName, const char* text, const char* why);

    bool Refused() const { return szRefusal[0] != '\0'; }
    // Fits the 128 bytes of a driver's error text; empty when nothing was refused.
    const char* Refusal() const { return szRefusal; }

private:
    void Refuse(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* szDriverName;
    char szRefusal[128] = {};
};
