// The 16-byte identifiers of classes and interfaces, their text form
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and the conversions between them.
// Used by the object loader, the driver list and the drivers.
#pragma once

#include "platform/HResult.h"

#include <cstddef>
#include <cstdint>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16, "a GUID is the 16 bytes Windows lays out");

using CLSID = GUID;
using IID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

constexpr GUID GUID_NULL = {};
constexpr CLSID CLSID_NULL = {};

constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a == b;
}

// Braces, hyphens and hex digits only, in either case, nothing before or
// after: a driver's registered text is checked, never guessed at. On any
// failure *clsid becomes CLSID_NULL and CO_E_CLASSSTRING is returned; a null
// argument gives E_INVALIDARG.
HRESULT CLSIDFromString(const char* text, CLSID* clsid);
// The same for text already widened, as the driver list converts it.
HRESULT CLSIDFromString(const wchar_t* text, CLSID* clsid);

// Characters of the text form, terminator included.
constexpr size_t kGuidStringSize = 39;

// Writes the upper-case text form, the spelling used as the registry's class
// key. Returns the characters written with the terminator, or 0 when size is
// below kGuidStringSize (the buffer is then left alone).
int StringFromGUID2(REFGUID guid, char* buffer, int size);
