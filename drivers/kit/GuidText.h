// A CLSID written in C++ in the same "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
// text that the driver's CMake registration carries, checked while compiling:
// a mistyped digit fails the build instead of the driver's creation.
#pragma once

#include "platform/Guid.h"

#include <cstdint>

namespace guid_text {

// Not constexpr: reaching it during constant evaluation is the compile error.
inline void NotAGuidText() {}

consteval uint32_t HexDigit(char c)
{
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
    NotAGuidText();
    return 0;
}

consteval uint32_t Hex(const char* text, int first, int digits)
{
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i)
        value = value * 16 + HexDigit(text[first + i]);
    return value;
}

} // namespace guid_text

consteval GUID GuidFromText(const char (&text)[39])
{
    if (text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-' ||
        text[37] != '}')
        guid_text::NotAGuidText();
    GUID guid = {};
    guid.Data1 = guid_text::Hex(text, 1, 8);
    guid.Data2 = static_cast<uint16_t>(guid_text::Hex(text, 10, 4));
    guid.Data3 = static_cast<uint16_t>(guid_text::Hex(text, 15, 4));
    guid.Data4[0] = static_cast<uint8_t>(guid_text::Hex(text, 20, 2));
    guid.Data4[1] = static_cast<uint8_t>(guid_text::Hex(text, 22, 2));
    for (int i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<uint8_t>(guid_text::Hex(text, 25 + 2 * i, 2));
    return guid;
}
